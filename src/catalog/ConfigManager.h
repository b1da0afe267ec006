#pragma once

#include "catalog/SharedTypes.h"

#include <string>

// Reads and writes one key=value section of an initialization file; keeps no handle and caches
// nothing, so every call goes to the file.
class CConfigManager
{
  public:
    explicit CConfigManager(const wchar_t* path);

    // An absent file or section gives an empty map. A key that occurs twice keeps its later value.
    // A missing file whose replace was cut short is first put back from what the replace left.
    void GetSection(const wchar_t* section, SectionMap& entries) const;

    // Replaces the section's lines by the entries, in key order; an empty map empties the section.
    // The file is replaced whole, so a failure or a power cut leaves it as it was.
    void SetSection(const wchar_t* section, const SectionMap& entries) const;

  private:
    std::wstring m_path;
};
