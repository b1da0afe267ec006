#include "catalog/PatchManager.h"

#include "catalog/ConfigManager.h"
#include "catalog/PatchFiles.h"
#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"

#include <algorithm>
#include <stdexcept>

namespace
{
constexpr wchar_t kSection[] = L"PATCHES_STATE";
constexpr wchar_t kInstalled[] = L"installed";
constexpr wchar_t kNotInstalled[] = L"not_installed";
constexpr wchar_t kIgnored[] = L"ignored";

void Trace(int level, const wchar_t* format, const wchar_t* operation)
{
    CTraceLog::Instance().Trace(level, format, operation);
}

bool Contains(const StringList& list, const std::wstring& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// An installed patch is never marked; any other entry, known or not, becomes ignored.
void MarkIgnored(std::wstring& state)
{
    if (state != kInstalled)
        state = kIgnored;
}
} // namespace

CPatchManager::CPatchManager(const std::wstring& productFolder, const std::wstring& patchesFolder,
                             const std::wstring& stateFilePath, bool listing)
    : m_productFolder(productFolder), m_patchesFolder(patchesFolder),
      m_stateFilePath(stateFilePath), m_listing(listing)
{
    m_productCode = GetProductCodeByUpgradeCode(kProductUpgradeCode);
    UpdateConfig();
}

CPatchManager::~CPatchManager()
{
    try
    {
        UpdateConfig();
        Trace(500, L"%s: config-ini updated successfully.", L"CPatchManager::~CPatchManager");
    }
    catch (const std::exception& failure) // the failure exception and every other standard one
    {
        CTraceLog::Instance().Trace(350, L"%S", failure.what());
    }
}

SectionMap CPatchManager::ReadStates() const
{
    SectionMap states;
    CConfigManager(m_stateFilePath.c_str()).GetSection(kSection, states);
    return states;
}

void CPatchManager::WriteStates(const SectionMap& states) const
{
    CConfigManager(m_stateFilePath.c_str()).SetSection(kSection, states);
}

SectionMap CPatchManager::MapFolder() const
{
    StringList names;
    FindMSPFiles(m_patchesFolder, names);
    SectionMap codeToName;
    GetMSPsGUIDsMap(names, codeToName);
    return codeToName;
}

void CPatchManager::GetMSPsGUIDsMap(const StringList& names, SectionMap& codeToName) const
{
    codeToName.clear();
    for (const std::wstring& name : names)
    {
        std::wstring code;
        const std::wstring path = m_patchesFolder + L"\\" + name;
        UINT status = GetMSPPatchGUID(path, code);
        if (status != ERROR_SUCCESS)
        {
            // The failure's own text cannot say which of the folder's files to replace.
            CTraceLog::Instance().Trace(300, L"%s: Can't read the patch code of %s",
                                        L"CPatchManager::GetMSPsGUIDsMap",
                                        ErrorTextW(path.c_str(), status).c_str());
            throw std::logic_error(ErrorTextA("CPatchManager::GetMSPsGUIDsMap", status));
        }
        codeToName[code] = name; // of two files with one code, the later one stays
    }
}

void CPatchManager::UpdateConfig() const
{
    Trace(500, L"%s: Start", L"CPatchManager::UpdateConfig");
    SectionMap states = ReadStates();
    for (const auto& [code, name] : MapFolder())
        states.emplace(code, kNotInstalled); // existing entries keep their value

    StringList applied;
    UINT status = EnumProductPatches(m_productCode, applied);
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CPatchManager::UpdateConfig", status));
    for (const std::wstring& code : applied)
        states[code] = kInstalled;
    for (auto& [code, state] : states)
        if (state == kInstalled && !Contains(applied, code))
            state = kIgnored; // removed, here or elsewhere: later runs must not put it back

    WriteStates(states);
    Trace(500, L"%s: Finish success", L"CPatchManager::UpdateConfig");
}

void CPatchManager::GetMSPNamesToInstall(StringList& names) const
{
    constexpr wchar_t kName[] = L"CPatchManager::GetMSPNamesToInstall";
    UpdateConfig();
    SectionMap states = ReadStates();
    CTraceLog::Instance().Trace(500, L"%s: %d patches total", kName,
                                static_cast<int>(states.size()));
    StringList waiting;
    for (const auto& [code, state] : states)
        if (state == kNotInstalled)
            waiting.push_back(code);
    CTraceLog::Instance().Trace(500, L"%s: %d patches not installed", kName,
                                static_cast<int>(waiting.size()));
    GetMSPNamesByGUIDs(waiting, names);
}

void CPatchManager::GetMSPNamesByGUIDs(const StringList& codes, StringList& names) const
{
    constexpr wchar_t kName[] = L"CPatchManager::GetMSPNamesByGUIDs";
    Trace(500, L"%s: Start", kName);
    names.clear();
    SectionMap codeToName = MapFolder();
    for (const std::wstring& code : codes)
    {
        auto found = codeToName.find(code);
        if (found == codeToName.end())
        {
            CTraceLog::Instance().Trace(300, L"%s: Patch with GUID = %s not found", kName,
                                        code.c_str());
            throw std::logic_error(
                ErrorTextA("CPatchManager::GetMSPNamesByGUIDs", ERROR_PATH_NOT_FOUND));
        }
        names.push_back(found->second);
    }
    Trace(500, L"%s: Finish success", kName);
}

void CPatchManager::IgnorePatches(const std::wstring& codeList) const
{
    UpdateConfig();
    SectionMap states = ReadStates();
    StringList codes;
    SplitString(codeList, L';', codes);
    for (const std::wstring& code : codes)
        MarkIgnored(states[code]); // an unknown code is recorded in advance
    WriteStates(states);
}

void CPatchManager::IgnoreAllPatches() const
{
    UpdateConfig();
    SectionMap states = ReadStates();
    for (auto& [code, state] : states)
        MarkIgnored(state);
    WriteStates(states);
}

void CPatchManager::GetInstalledPatchesGUIDs(StringList& codes) const
{
    UINT status = EnumProductPatches(m_productCode, codes);
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CPatchManager::GetInstalledPatchesGUIDs", status));
}

bool CPatchManager::IsPatchInstalled(const std::wstring& code) const
{
    StringList applied;
    UINT status = EnumProductPatches(m_productCode, applied);
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CPatchManager::IsPatchInstalled", status));
    return Contains(applied, code);
}
