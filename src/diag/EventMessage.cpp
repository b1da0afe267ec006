#include "diag/EventMessage.h"

#include "catalog/ConfigManager.h"
#include "catalog/ProductKeys.h"
#include "catalog/RegistryUtils.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"

#include <iterator>
#include <stdexcept>
#include <vector>

namespace
{
constexpr wchar_t kConstructor[] = L"CEventMessage::CEventMessage";
constexpr const wchar_t* kKindKeys[] = {L"Prepare", L"AtRestart", L"InstallSuccess",
                                        L"InstallFail"};

const SectionMap& BuiltInPhrases()
{
    static const SectionMap phrases = {
        {L"Version", L"Patch version:"},
        {L"Prepare", L"Preparing for installation of patches"},
        {L"AtRestart", L"Patches will be installed when the operating system restarts"},
        {L"InstallSuccess", L"Patches installed successfully"},
        {L"InstallFail", L"Cannot install patches"},
    };
    return phrases;
}

void ThrowOnError(DWORD status)
{
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CEventMessage::CEventMessage", status));
}

std::wstring ReadEnvironmentValue(const wchar_t* name)
{
    std::vector<wchar_t> value;
    ThrowOnError(RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, name, value));
    return value.data();
}

// The localization file that the product's "Skin" and "Localization" settings name.
std::wstring GetLocalizationFilePath()
{
    std::wstring skin = ReadEnvironmentValue(L"Skin");
    ThrowOnError(SubstituteRegVariables(HKEY_LOCAL_MACHINE, kEnvironmentKey, skin));
    return skin + L"\\loc\\" + ReadEnvironmentValue(L"Localization") + L"\\patcher.loc";
}
} // namespace

CEventMessage::CEventMessage(const std::wstring& version) : m_version(version)
{
    try
    {
        LoadLocalizedPhrases();
    }
    catch (const std::logic_error& failure)
    {
        CTraceLog::Instance().Trace(300, L"%S", failure.what());
    }
    if (m_phrases.empty())
    {
        CTraceLog::Instance().Trace(500, L"%s: Messages map empty. Fill it default strings.",
                                    kConstructor);
        m_phrases = BuiltInPhrases();
    }
}

void CEventMessage::LoadLocalizedPhrases()
{
    std::wstring path = GetLocalizationFilePath();
    CTraceLog::Instance().Trace(500, L"%s: Localization file path = %s", kConstructor,
                                path.c_str());
    SectionMap phrases;
    CConfigManager(path.c_str()).GetSection(L"PatchMessages", phrases);
    if (phrases.empty())
    {
        CTraceLog::Instance().Trace(500, L"%s: Localization map empty. Use default strungs",
                                    kConstructor);
        return;
    }
    CTraceLog::Instance().Trace(500, L"%s: Localization map not empty. It will be used.",
                                kConstructor);
    // Used as it stands: phrases the file lacks read as empty.
    m_phrases = std::move(phrases);
}

void CEventMessage::ComposeText(std::wstring& text, DWORD kind, const StringList& lines)
{
    text = m_phrases[L"Version"] + L" " + m_version + L"\n";
    if (kind < std::size(kKindKeys))
        text += m_phrases[kKindKeys[kind]];
    text += lines.empty() ? L".\n" : L":\n";
    for (const std::wstring& line : lines)
        text += line + L"\n";
}

void CEventMessage::GetText(std::wstring& text, DWORD kind)
{
    ComposeText(text, kind, {});
}
