#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "diag/EventMessage.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
class EventMessageTest : public ::testing::Test
{
  protected:
    EventMessageTest()
    {
        SetEnvironment(L"TraceRoot", m_folder.Path() + L"\\");
        SetEnvironment(L"ProductRoot", m_folder.Path() + L"\\");
        SetEnvironment(L"Skin", L"%ProductRoot%Skin");
        SetEnvironment(L"Localization", L"de");
    }
    static void SetEnvironment(const std::wstring& name, const std::wstring& value)
    {
        CRegistrySandbox::SetString(kEnvironmentKey, name, value);
    }
    // Writes patcher.loc where Skin and Localization point, with the given section lines.
    void WriteLocalization(const std::string& lines)
    {
        CreateDirectoryW((m_folder / L"Skin").c_str(), nullptr);
        CreateDirectoryW((m_folder / L"Skin\\loc").c_str(), nullptr);
        CreateDirectoryW((m_folder / L"Skin\\loc\\de").c_str(), nullptr);
        WriteFileBytes(m_folder / L"Skin\\loc\\de\\patcher.loc",
                       "[Other]\r\nVersion=wrong\r\n[PatchMessages]\r\n" + lines);
    }
    static std::wstring Text(CEventMessage& messages, DWORD kind, const StringList& lines = {})
    {
        std::wstring text = L"previous";
        messages.ComposeText(text, kind, lines);
        return text;
    }
    std::string TraceBytes() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }
    bool Traced(const std::string& text) const
    {
        return TraceBytes().find(text) != std::string::npos;
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
};

const std::string kBuiltInTrace =
    "NTF\tpatch\tCEventMessage::CEventMessage: Messages map empty. Fill it default strings.";
} // namespace

TEST_F(EventMessageTest, BuiltInPhrasesWithoutLocalizationSettings)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"Localization");
    CEventMessage messages(L"1.0.0.72");

    EXPECT_EQ(L"Patch version: 1.0.0.72\nCannot install patches.\n", Text(messages, 3));
    EXPECT_EQ(L"Patch version: 1.0.0.72\nPreparing for installation of patches.\n",
              Text(messages, 0));
    EXPECT_EQ(L"Patch version: 1.0.0.72\nPatches installed successfully:\na.msp\nb.msp\n",
              Text(messages, 2, {L"a.msp", L"b.msp"}));
    std::wstring text;
    messages.GetText(text, 1);
    EXPECT_EQ(L"Patch version: 1.0.0.72\n"
              L"Patches will be installed when the operating system restarts.\n",
              text);
    EXPECT_EQ(L"Patch version: 1.0.0.72\n.\n", Text(messages, 7));
    EXPECT_EQ(L"Patch version: 1.0.0.72\n:\nx\n", Text(messages, 7, {L"x"}));

    EXPECT_TRUE(
        Traced("ERR\tpatch\t" + ErrorTextA("CEventMessage::CEventMessage", ERROR_FILE_NOT_FOUND)));
    EXPECT_TRUE(Traced(kBuiltInTrace));
}

TEST_F(EventMessageTest, LocalizedPhrasesFromTheSkinFolder)
{
    WriteLocalization("Version=Version:\r\nPrepare=Vorbereitung\r\nAtRestart=Beim Neustart\r\n"
                      "InstallSuccess=Installiert\r\nInstallFail=Fehlgeschlagen\r\n");
    CEventMessage messages(L"2.0");

    EXPECT_EQ(L"Version: 2.0\nVorbereitung.\n", Text(messages, 0));
    EXPECT_EQ(L"Version: 2.0\nBeim Neustart.\n", Text(messages, 1));
    EXPECT_EQ(L"Version: 2.0\nInstalliert:\na.msp\n", Text(messages, 2, {L"a.msp"}));
    EXPECT_EQ(L"Version: 2.0\nFehlgeschlagen.\n", Text(messages, 3));
    std::wstring path = m_folder / L"Skin\\loc\\de\\patcher.loc";
    EXPECT_TRUE(Traced("CEventMessage::CEventMessage: Localization file path = " +
                       std::string(path.begin(), path.end())));
    EXPECT_TRUE(
        Traced("CEventMessage::CEventMessage: Localization map not empty. It will be used."));
    EXPECT_FALSE(Traced(kBuiltInTrace));
}

TEST_F(EventMessageTest, IncompleteSectionLeavesMissingPhrasesEmpty)
{
    WriteLocalization("Version=Fassung\r\n");
    CEventMessage messages(L"1.0.0.72");

    EXPECT_EQ(L"Fassung 1.0.0.72\n.\n", Text(messages, 0));
    EXPECT_EQ(L"Fassung 1.0.0.72\n:\na.msp\n", Text(messages, 2, {L"a.msp"}));
}

TEST_F(EventMessageTest, KeysAreCaseSensitiveAndALowerCaseKeyStillReplacesTheBuiltIns)
{
    WriteLocalization("version=Fassung\r\n");
    CEventMessage messages(L"1.0.0.72");

    EXPECT_EQ(L" 1.0.0.72\n.\n", Text(messages, 3));
}

TEST_F(EventMessageTest, MissingFileOrUnresolvedSkinReferenceGivesBuiltInPhrases)
{
    {
        CEventMessage messages(L"1");
        EXPECT_EQ(L"Patch version: 1\nCannot install patches.\n", Text(messages, 3));
        EXPECT_TRUE(Traced("CEventMessage::CEventMessage: Localization map empty. Use default "
                           "strungs"));
    }
    WriteLocalization("Version=Fassung\r\n");
    SetEnvironment(L"Skin", L"%Unknown%Skin");
    CEventMessage messages(L"1");
    EXPECT_EQ(L"Patch version: 1\nCannot install patches.\n", Text(messages, 3));
}
