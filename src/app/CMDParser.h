#pragma once

#include "catalog/SharedTypes.h"

#include <string>

// The options of the command line: names lower-cased with their slash, values exactly as
// written. Filled once; the first occurrence of an option wins.
class CCMDParser
{
  public:
    // The command line without the program path. Never fails: a line that cannot be split
    // gives an empty table.
    explicit CCMDParser(const wchar_t* commandLine);
    CCMDParser(const CCMDParser&) = delete;
    CCMDParser& operator=(const CCMDParser&) = delete;

    bool IsParamPresent(const wchar_t* name) const;

    // Empty for an absent option and for one without a value.
    void GetParamValue(std::wstring& value, const wchar_t* name) const;

    SectionMap GetAllParams() const { return m_params; }

  private:
    SectionMap m_params;
};
