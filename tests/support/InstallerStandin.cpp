#include "support/InstallerStandin.h"

#include "catalog/ProductKeys.h"

#include <algorithm>
#include <stdexcept>

CInstallerStandin::CInstallerStandin(const std::wstring& folder)
    : m_statePath(folder + L"\\installer-state.txt"),
      m_journalPath(folder + L"\\installer-calls.txt")
{
    SetSwitch(L"MSI_STATE", m_statePath);
    SetSwitch(L"MSI_JOURNAL", m_journalPath);
}

CInstallerStandin::~CInstallerStandin()
{
    for (const std::wstring& name : m_switches)
        SetEnvironmentVariableW(name.c_str(), nullptr);
}

void CInstallerStandin::InstallProduct(const std::wstring& productCode,
                                       const std::vector<std::wstring>& patches)
{
    if (!standin::WriteInstallerState(m_statePath, {kProductUpgradeCode, productCode, patches}))
        throw std::runtime_error("cannot write the installer state");
}

void CInstallerStandin::SetAppliedPatches(const std::vector<std::wstring>& patches)
{
    InstallProduct(standin::ReadInstallerState(m_statePath).productCode, patches);
}

std::vector<std::wstring> CInstallerStandin::AppliedPatches() const
{
    return standin::ReadInstallerState(m_statePath).patches;
}

void CInstallerStandin::SetSwitch(const std::wstring& name, const std::wstring& value)
{
    std::wstring variable = L"ZAPATCH_STANDIN_" + name;
    SetEnvironmentVariableW(variable.c_str(), value.empty() ? nullptr : value.c_str());
    if (std::find(m_switches.begin(), m_switches.end(), variable) == m_switches.end())
        m_switches.push_back(variable);
}

std::vector<std::wstring> CInstallerStandin::JournalLines() const
{
    return standin::ReadLines(m_journalPath).value_or(std::vector<std::wstring>());
}

void CInstallerStandin::ClearJournal() const
{
    DeleteFileW(m_journalPath.c_str());
}

void CInstallerStandin::WritePatch(const std::wstring& path, const std::wstring& patchCode,
                                   std::optional<std::wstring> description)
{
    if (!standin::WritePatchFile(path, {patchCode, description, standin::PatchXml(patchCode)}))
        throw std::runtime_error("cannot write a patch file");
}

void CInstallerStandin::WritePatchXml(const std::wstring& path, const std::wstring& xml)
{
    if (!standin::WritePatchFile(path, {L"", std::nullopt, xml}))
        throw std::runtime_error("cannot write a patch file");
}
