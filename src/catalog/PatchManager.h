#pragma once

#include "catalog/SharedTypes.h"

#include <string>

// The catalogue of the product's patches: the patch files of the patches folder, the patches
// the installer reports as applied, and the state of every patch code in the state file. Caches
// nothing: every operation reads the folder, the files, the installer and the state file anew.
class CPatchManager
{
  public:
    // Finds the installed product and brings the state file up to date; throws if either fails.
    CPatchManager(const std::wstring& productFolder, const std::wstring& patchesFolder,
                  const std::wstring& stateFilePath, bool listing);
    // Records the installations and removals of the run; never throws.
    ~CPatchManager();
    CPatchManager(const CPatchManager&) = delete;
    CPatchManager& operator=(const CPatchManager&) = delete;

    void UpdateConfig() const;
    void GetMSPsGUIDsMap(const StringList& names, SectionMap& codeToName) const;
    void GetMSPNamesToInstall(StringList& names) const;
    void GetMSPNamesByGUIDs(const StringList& codes, StringList& names) const;
    void IgnorePatches(const std::wstring& codeList) const;
    void IgnoreAllPatches() const;
    void GetInstalledPatchesGUIDs(StringList& codes) const;
    bool IsPatchInstalled(const std::wstring& code) const;

    const std::wstring& GetProductCode() const { return m_productCode; }

  private:
    SectionMap ReadStates() const;
    void WriteStates(const SectionMap& states) const;
    SectionMap MapFolder() const;

    std::wstring m_productFolder;
    std::wstring m_patchesFolder;
    std::wstring m_stateFilePath;
    std::wstring m_productCode;
    bool m_listing;
};
