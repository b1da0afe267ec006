#pragma once

#include "standins/common/StandinFiles.h"

#include <optional>
#include <string>
#include <vector>

// Drives the Windows Installer stand-ins of this process and of its children: points their
// state and journal files into a folder, and clears every switch it set when it goes.
class CInstallerStandin
{
  public:
    explicit CInstallerStandin(const std::wstring& folder);
    ~CInstallerStandin();
    CInstallerStandin(const CInstallerStandin&) = delete;
    CInstallerStandin& operator=(const CInstallerStandin&) = delete;

    // Installs the managed product (its upgrade code) with the given applied patches.
    void InstallProduct(const std::wstring& productCode,
                        const std::vector<std::wstring>& patches = {});
    void SetAppliedPatches(const std::vector<std::wstring>& patches);
    std::vector<std::wstring> AppliedPatches() const;

    // Sets ZAPATCH_STANDIN_<name>; an empty value removes it.
    void SetSwitch(const std::wstring& name, const std::wstring& value);

    // One line per installer call since the last ClearJournal.
    std::vector<std::wstring> JournalLines() const;
    void ClearJournal() const;

    // A patch file that declares the code, with a Description unless none is given.
    static void WritePatch(const std::wstring& path, const std::wstring& patchCode,
                           std::optional<std::wstring> description = std::nullopt);
    static void WritePatchXml(const std::wstring& path, const std::wstring& xml);

    const std::wstring& StatePath() const { return m_statePath; }
    const std::wstring& JournalPath() const { return m_journalPath; }

  private:
    std::wstring m_statePath;
    std::wstring m_journalPath;
    std::vector<std::wstring> m_switches;
};
