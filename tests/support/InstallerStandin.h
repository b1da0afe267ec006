#pragma once

#include "standins/common/StandinFiles.h"

#include <optional>
#include <string>
#include <vector>

// The product code and patch codes the tests install and declare.
inline constexpr wchar_t kSampleProduct[] = L"{11111111-2222-3333-4444-555555555555}";
inline constexpr wchar_t kSampleCodeA[] = L"{0A1B2C3D-4E5F-6A7B-8C9D-A0B1C2D3E4F5}";
inline constexpr wchar_t kSampleCodeB[] = L"{1B2C3D4E-5F6A-7B8C-9DA0-B1C2D3E4F5A6}";
inline constexpr wchar_t kSampleCodeC[] = L"{2C3D4E5F-6A7B-8C9D-A0B1-C2D3E4F5A6B7}";

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
