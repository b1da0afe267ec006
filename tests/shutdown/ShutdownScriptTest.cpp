#include "RegistryTree.h"

#include "catalog/FileSystemUtils.h"
#include "catalog/ProductKeys.h"
#include "shutdown/ScriptKeyNames.h"
#include "shutdown/ShutdownScript.h"
#include "support/PolicyKeys.h"
#include "support/Sandbox.h"
#include "standins/common/StandinFiles.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <map>
#include <stdexcept>
#include <vector>

namespace
{
constexpr wchar_t kOurs[] = L"C:\\Program Files\\Tessaly\\ZOREN\\ZAPatch.exe";
constexpr wchar_t kOursOtherCase[] = L"c:\\program files\\TESSALY\\zoren\\zapatch.EXE";
constexpr wchar_t kDeferred[] = L"/when now /clean ";
constexpr wchar_t kNoParameters[] = L"<none>";

struct Script
{
    std::wstring name;
    std::wstring script;
    std::wstring parameters = L"/foreign ";
};

class ShutdownScriptTest : public ::testing::Test
{
  protected:
    ShutdownScriptTest() : m_windir(m_folder / L"Windows")
    {
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", m_folder.Path() + L"\\");
        SetEnvironmentVariableW(L"windir", m_windir.c_str());
    }

    std::wstring MachineFolder() const { return m_windir + L"\\system32\\GroupPolicy\\Machine"; }
    std::wstring IniPath() const { return MachineFolder() + L"\\Scripts\\scripts.ini"; }

    // A script key written the way Group Policy tools write it; kNoParameters leaves it out.
    static void AddScript(const Script& script)
    {
        std::wstring path = std::wstring(kScriptsPolicyKey) + L"\\" + script.name;
        if (script.parameters != kNoParameters)
            CRegistrySandbox::SetString(path, L"Parameters", script.parameters);
        CRegistrySandbox::SetString(path, L"Script", script.script);
        CRegistrySandbox::SetDword(path, L"IsPowershell", 0);
        MirrorScriptsStateKey();
    }
    // A script key as a change cut short left it: the state key only, the mirror as it was; an
    // empty script leaves the value out, so does kNoParameters.
    static void AddScriptCutShort(const Script& script)
    {
        std::wstring path = std::wstring(kScriptsPolicyKey) + L"\\" + script.name;
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
        CRegistrySandbox::SetString(kScriptsPolicyKey, L"FileSysPath", L"C:\\Windows");
        CRegKeyHandle key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Put(), nullptr);
        if (script.parameters != kNoParameters)
            CRegistrySandbox::SetString(path, L"Parameters", script.parameters);
        if (!script.script.empty())
            CRegistrySandbox::SetString(path, L"Script", script.script);
    }
    static void AddScripts(const std::vector<Script>& scripts)
    {
        for (const Script& script : scripts)
            AddScript(script);
    }

    static CRegistryTree ScriptKey(const std::wstring& name)
    {
        return ReadRegistryTree(HKEY_LOCAL_MACHINE, std::wstring(kScriptsPolicyKey) + L"\\" + name);
    }

    static std::wstring ScriptOf(const CRegistryTree& key)
    {
        return reinterpret_cast<const wchar_t*>(key.values.at(L"Script").bytes.c_str());
    }

    // The script keys under a policy object key, by the script they run.
    static std::map<std::wstring, CRegistryTree> KeysByScript(const CRegistryTree& policy)
    {
        std::map<std::wstring, CRegistryTree> keys;
        for (const auto& [name, key] : policy.subKeys)
            keys[ScriptOf(key)] = key;
        return keys;
    }

    // Script key names in the order the registry enumerates them.
    static std::vector<std::wstring> ScriptKeyNames()
    {
        std::vector<std::wstring> names;
        CRegKeyHandle key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScriptsPolicyKey, 0, KEY_READ, key.Put()) != 0)
            return names;
        wchar_t name[MAX_PATH];
        DWORD chars = MAX_PATH;
        for (DWORD i = 0; RegEnumKeyExW(key.Get(), i, name, &chars, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
             ++i, chars = MAX_PATH)
            names.push_back(name);
        return names;
    }

    static void ExpectMirrorMatchesState()
    {
        CRegistryTree mirror = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsMirrorKey);
        EXPECT_EQ(ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsStateKey), mirror)
            << mirror.Describe();
    }

    // The lines of a section of scripts.ini, in UTF-8 whatever the file's encoding.
    std::vector<std::string> IniSection(const std::string& section) const
    {
        std::string text = ReadIniText(IniPath());
        std::vector<std::string> lines;
        size_t pos = text.find("[" + section + "]\r\n");
        if (pos == std::string::npos)
            return lines;
        pos = text.find("\r\n", pos) + 2;
        for (size_t end; pos < text.size() && text[pos] != '['; pos = end + 2)
        {
            end = text.find("\r\n", pos);
            if (end == std::string::npos)
                end = text.size();
            if (end > pos)
                lines.push_back(text.substr(pos, end - pos));
        }
        return lines;
    }

    // The section "Shutdown" that lists these scripts, in this order.
    static std::vector<std::string> Entries(const std::vector<Script>& scripts)
    {
        std::vector<std::string> entries;
        for (const Script& s : scripts)
        {
            std::wstring parameters = s.parameters == kNoParameters ? L"" : s.parameters;
            for (const std::wstring& entry :
                 {s.name + L"CmdLine=" + s.script, s.name + L"Parameters=" + parameters})
                entries.push_back(std::string(entry.begin(), entry.end()));
        }
        return entries;
    }

    void WriteIni(const std::string& text) const
    {
        CreateDirRecurs((MachineFolder() + L"\\Scripts").c_str());
        WriteFileBytes(IniPath(), text);
    }

    std::string TraceText() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    std::wstring m_windir;
    CShutdownScript m_ours{kOurs};
};

const Script kA{L"0", L"C:\\Tools\\a.cmd"};
const Script kB{L"1", L"C:\\Tools\\b.cmd", L"/b "};
const Script kOursAt1{L"1", kOursOtherCase, L"/old "};
} // namespace

TEST_F(ShutdownScriptTest, CreateOnMachineWithoutShutdownScript)
{
    m_ours.Create(kDeferred);

    EXPECT_NE(std::string::npos, TraceText().find("CShutdownScript::Delete: "))
        << "the removal run first finds nothing";
    CRegistryTree policy = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);
    std::wstring folder = MachineFolder();
    // Stored as Group Policy stores it: without the terminator.
    const CRegistryTree::Value& fileSysPath = policy.values[L"FileSysPath"];
    EXPECT_EQ(REG_SZ, fileSysPath.type);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(folder.data()), folder.size() * 2),
              fileSysPath.bytes);
    ASSERT_EQ(1u, policy.subKeys.size());
    const CRegistryTree& key = policy.subKeys[L"0"];
    std::wstring parameters = kDeferred;
    EXPECT_EQ((parameters.size() + 1) * 2, key.values.at(L"Parameters").bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kOurs), sizeof kOurs),
              key.values.at(L"Script").bytes);
    EXPECT_EQ((CRegistryTree::Value{REG_DWORD, std::string(4, '\0')}),
              key.values.at(L"IsPowershell"));
    ExpectMirrorMatchesState();
    EXPECT_EQ(Entries({{L"0", kOurs, kDeferred}}), IniSection("Shutdown"));
}

TEST_F(ShutdownScriptTest, CreateTwiceKeepsOneRegistrationAndForeignOrder)
{
    AddScript(kA);
    m_ours.Create(L"/first ");
    ExpectMirrorMatchesState();
    AddScript({L"2", L"C:\\Tools\\c.cmd"});

    CShutdownScript(kOursOtherCase).Create(kDeferred);

    Script c{L"1", L"C:\\Tools\\c.cmd"};
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"1", L"2"}), ScriptKeyNames());
    EXPECT_EQ(Entries({kA, c, {L"2", kOursOtherCase, kDeferred}}), IniSection("Shutdown"));
    ExpectMirrorMatchesState();
}

TEST_F(ShutdownScriptTest, DeleteMovesFollowingKeysDownWithTheirWholeTree)
{
    AddScripts({kA, kOursAt1, {L"2", L"C:\\Tools\\c.cmd"}});
    CRegistrySandbox::SetString(std::wstring(kScriptsPolicyKey) + L"\\2\\Nested", L"Deep",
                                L"value");
    CRegistryTree formerTwo = ScriptKey(L"2");

    m_ours.Delete();

    EXPECT_EQ((std::vector<std::wstring>{L"0", L"1"}), ScriptKeyNames());
    EXPECT_EQ(formerTwo, ScriptKey(L"1"));
    EXPECT_EQ(Entries({kA, {L"1", L"C:\\Tools\\c.cmd"}}), IniSection("Shutdown"));
    ExpectMirrorMatchesState();
}

TEST_F(ShutdownScriptTest, DeleteOfTheOnlyScriptRemovesThePolicyObjectKey)
{
    WriteIni("[Startup]\r\n0CmdLine=start.cmd\r\n[Shutdown]\r\n0CmdLine=stale\r\n");
    m_ours.Create(kDeferred);
    EXPECT_EQ(Entries({{L"0", kOurs, kDeferred}}), IniSection("Shutdown"));

    m_ours.Delete();

    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kScriptsPolicyKey));
    EXPECT_EQ(CRegistryTree{}, ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsMirrorKey));
    ExpectMirrorMatchesState();
    EXPECT_TRUE(IniSection("Shutdown").empty());
    EXPECT_EQ(std::vector<std::string>{"0CmdLine=start.cmd"}, IniSection("Startup"));
}

// A mirror unlike the state key tells that a change was cut short: then scripts.ini is brought
// in line with the keys as well.
TEST_F(ShutdownScriptTest, DeleteWithoutMatchChangesNothingButAStaleMirrorAndItsScriptsIni)
{
    AddScripts({kA, kB});
    const std::string ini = "[Shutdown]\r\n0CmdLine=stale\r\n";
    WriteIni(ini);
    CRegistryTree before = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsStateKey);

    m_ours.Delete();
    EXPECT_EQ(ini, ReadFileBytes(IniPath()));
    EXPECT_NE(std::string::npos, TraceText().find("skip remove of 'C:\\Tools\\b.cmd'"));

    CRegistrySandbox::SetString(std::wstring(kScriptsMirrorKey) + L"\\Stale", L"V", L"stale");
    m_ours.Delete();
    EXPECT_EQ(before, ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsStateKey));
    ExpectMirrorMatchesState();
    EXPECT_EQ(Entries({kA, kB}), IniSection("Shutdown"));
}

// What a removal or a registration cut short leaves, with the mirror still as it was before:
// a gap, a copy below the key it copies (whole, without its script, empty), our key with its
// script only, an empty key. The next removal completes the change: the keys numbered without a
// gap, each foreign script once, the mirror and scripts.ini in line.
TEST_F(ShutdownScriptTest, DeleteCompletesAChangeCutShort)
{
    const Script c{L"2", L"C:\\Tools\\c.cmd", L"/c "};
    const Script cMoved{L"1", c.script, c.parameters};
    const std::vector<Script> removing = {kA, {L"1", kOurs, kDeferred}, c};
    const std::vector<Script> removed = {kA, cMoved};
    const std::vector<Script> registering = {kA, kB};
    struct Case
    {
        std::vector<Script> before, left, after;
    };
    const Case cases[] = {
        {removing, {kA, c}, removed},
        {removing, {kA, cMoved, c}, removed},
        {removing, {kA, {L"1", L"", c.parameters}, c}, removed},
        {removing, {kA, {L"1", L"", kNoParameters}, c}, removed},
        {removing, removed, removed},
        {registering, {kA, kB, {L"2", kOurs, kNoParameters}}, registering},
        {registering, {kA, kB, {L"2", L"", kNoParameters}}, registering},
    };
    for (const Case& change : cases)
    {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, kScriptsStateKey);
        AddScripts(change.before);
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);
        for (const Script& script : change.left)
            AddScriptCutShort(script);

        m_ours.Delete();

        std::vector<std::wstring> names;
        for (const Script& script : change.after)
            names.push_back(script.name);
        EXPECT_EQ(names, ScriptKeyNames()) << change.left.size();
        EXPECT_EQ(Entries(change.after), IniSection("Shutdown")) << change.left.size();
        ExpectMirrorMatchesState();
    }

    // Cut short after the last key and the policy object key went, before the mirror was rebuilt.
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);
    m_ours.Delete();
    ExpectMirrorMatchesState();
    // A mirror without its state key mirrors nothing.
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kScriptsStateKey);
    m_ours.Delete();
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kScriptsMirrorKey));
}

// Other tools may name script keys in decimal; the registry lists 10 and 11 before 2, so the
// first gap in the enumeration is not a free number, nor is the one after it.
TEST_F(ShutdownScriptTest, DecimalNamedForeignKeysAreNeverOverwritten)
{
    std::vector<Script> foreign;
    for (const wchar_t* name : {L"0", L"1", L"10", L"11", L"2", L"3"})
        foreign.push_back({name, std::wstring(L"C:\\Tools\\") + name + L".cmd"});
    AddScripts(foreign);
    CRegistryTree before = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);

    m_ours.Create(kDeferred);

    CRegistryTree after = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);
    EXPECT_EQ(kOurs, ScriptOf(ScriptKey(L"4")));
    after.subKeys.erase(L"4");
    EXPECT_EQ(before.subKeys, after.subKeys);
    ExpectMirrorMatchesState();
    // The file lists the scripts up to the first name that does not read as its position.
    EXPECT_EQ(Entries({foreign[0], foreign[1]}), IniSection("Shutdown"));

    m_ours.Delete();

    // Every foreign script is still registered, with all its own values.
    EXPECT_EQ(KeysByScript(before),
              KeysByScript(ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey)));
    ExpectMirrorMatchesState();
}

// Names beyond the largest key number saturate instead of wrapping round to negative numbers.
TEST_F(ShutdownScriptTest, HugeKeyNumbersNeitherWrapNorHideOurKey)
{
    for (const wchar_t* ourName : {L"80000000", L"ffffffff", L"123456789"})
    {
        AddScripts({kA, kB, {ourName, kOursOtherCase, L"/old "}});
        CRegistryTree foreign = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);
        foreign.subKeys.erase(ourName);

        m_ours.Delete();

        EXPECT_EQ(foreign, ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey)) << ourName;
        ExpectMirrorMatchesState();
    }

    AddScripts({{L"0", kOursOtherCase, L"/old "}, {L"1", kA.script}, {L"fffffffff", kB.script}});
    m_ours.Delete();
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"7ffffffe"}), ScriptKeyNames());
    EXPECT_EQ(kB.script, ScriptOf(ScriptKey(L"7ffffffe")));
}

// A key is moved by the name it has, not by one rebuilt from its number; a key that cannot be
// moved stays as it was, and the mirror and scripts.ini still follow the keys.
TEST_F(ShutdownScriptTest, DeleteMovesKeysByTheirOwnNames)
{
    AddScripts({{L"0", kOurs, kDeferred}, {L"01", kA.script, L"/a "}});
    CRegistryTree formerOne = ScriptKey(L"01");
    m_ours.Delete();
    EXPECT_EQ((std::vector<std::wstring>{L"0"}), ScriptKeyNames());
    EXPECT_EQ(formerOne, ScriptKey(L"0"));
    EXPECT_EQ(Entries({{L"0", kA.script, L"/a "}}), IniSection("Shutdown"));
    ExpectMirrorMatchesState();

    // Both "01" and "1" would move to "0": the second one stays where it is.
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);
    AddScripts({{L"0", kOurs, kDeferred}, {L"01", kA.script, L"/a "}, kB});
    m_ours.Delete();
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"1"}), ScriptKeyNames());
    EXPECT_EQ(formerOne, ScriptKey(L"0"));
    EXPECT_EQ(kB.script, ScriptOf(ScriptKey(L"1")));
    EXPECT_NE(std::string::npos, TraceText().find("(key 1 stays as it was)"));
    EXPECT_EQ(Entries({{L"0", kA.script, L"/a "}, kB}), IniSection("Shutdown"));
    ExpectMirrorMatchesState();
}

// The policy key may be deleted under an open handle; the search must end with that status.
TEST_F(ShutdownScriptTest, FreeNumberSearchOnADeletedKeyFails)
{
    AddScripts({kA, kB});
    CRegKeyHandle key;
    ASSERT_EQ(0, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScriptsPolicyKey, 0, KEY_READ, key.Put()));
    ASSERT_EQ(0, SHDeleteKeyW(HKEY_LOCAL_MACHINE, kScriptsPolicyKey));

    int number = -1;
    EXPECT_EQ(static_cast<DWORD>(ERROR_KEY_DELETED), FindFreeScriptKeyNumber(key.Get(), number));
}

TEST_F(ShutdownScriptTest, KeyNumbersAreHexadecimal)
{
    std::vector<Script> foreign;
    for (int i = 0; i < 10; ++i)
        foreign.push_back({std::to_wstring(i), L"C:\\Tools\\" + std::to_wstring(i) + L".cmd"});
    AddScripts(foreign);

    m_ours.Create(kDeferred);
    ASSERT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kScriptsPolicyKey) + L"\\a"));
    std::vector<Script> listed = foreign;
    listed.push_back({L"a", kOurs, kDeferred});
    EXPECT_EQ(Entries(listed), IniSection("Shutdown"));

    Script b{L"b", L"C:\\Tools\\b.cmd"};
    AddScript(b);
    m_ours.Delete();
    EXPECT_EQ(b.script, ScriptOf(ScriptKey(L"a")));
    listed.back() = {L"a", b.script};
    EXPECT_EQ(Entries(listed), IniSection("Shutdown"));
    ExpectMirrorMatchesState();
}

TEST_F(ShutdownScriptTest, CreateKeepsAnExistingFileSysPath)
{
    CRegistrySandbox::SetString(kScriptsPolicyKey, L"FileSysPath", L"D:\\Policies\\Machine");
    CRegistrySandbox::SetString(kScriptsPolicyKey, L"Other", L"kept");
    MirrorScriptsStateKey();
    CRegistryTree before = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);

    m_ours.Create(kDeferred);

    CRegistryTree after = ReadRegistryTree(HKEY_LOCAL_MACHINE, kScriptsPolicyKey);
    EXPECT_EQ(before.values, after.values);
    ExpectMirrorMatchesState();
}

TEST_F(ShutdownScriptTest, ScriptsIniStopsAtGapAndLeavesMissingParametersEmpty)
{
    Script c{L"2", L"C:\\Tools\\c.cmd", kNoParameters};
    AddScripts({kA, kOursAt1, c, {L"4", L"C:\\Tools\\d.cmd"}});
    WriteIni("[Startup]\r\n0CmdLine=start.cmd\r\n");

    m_ours.Delete();

    EXPECT_EQ((std::vector<std::wstring>{L"0", L"1", L"3"}), ScriptKeyNames());
    c.name = L"1";
    EXPECT_EQ(Entries({kA, c}), IniSection("Shutdown"));
    EXPECT_EQ(std::vector<std::string>{"0CmdLine=start.cmd"}, IniSection("Startup"));
    ExpectMirrorMatchesState();
}

// Group Policy keeps scripts.ini in UTF-16LE: a new file is made so and keeps a path outside the
// ANSI code page whole, while an existing ANSI file stays ANSI.
TEST_F(ShutdownScriptTest, NewScriptsIniIsUnicodeAndAnExistingOneKeepsItsEncoding)
{
    const std::wstring program = L"C:\\Tessaly\\Pr\u00f6d \u6d4b\u8bd5\\ZAPatch.exe";
    CShutdownScript(program).Create(kDeferred);
    EXPECT_TRUE(ReadFileBytes(IniPath()).starts_with("\xFF\xFE")) << "a byte order mark";
    EXPECT_EQ((std::vector<std::string>{"0CmdLine=" + standin::ToUtf8(program),
                                        "0Parameters=/when now /clean "}),
              IniSection("Shutdown"));

    WriteIni("[Startup]\r\n0CmdLine=start.cmd\r\n");
    m_ours.Create(kDeferred);
    std::string text = ReadFileBytes(IniPath());
    EXPECT_EQ(0u, text.find("[Startup]\r\n0CmdLine=start.cmd\r\n[Shutdown]\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("1CmdLine=" + standin::ToUtf8(kOurs) + "\r\n")) << text;
}

// A replace cut short can leave the copy of scripts.ini and no scripts.ini: the copy is the file,
// not a new empty one, so its other sections stay; no copy stays behind.
TEST_F(ShutdownScriptTest, CopyLeftWithoutScriptsIniIsScriptsIni)
{
    WriteIni("[Startup]\r\n0CmdLine=start.cmd\r\n");
    ASSERT_TRUE(MoveFileW(IniPath().c_str(), (IniPath() + L".new").c_str()));
    m_ours.Create(kDeferred);
    EXPECT_EQ(std::vector<std::string>{"0CmdLine=start.cmd"}, IniSection("Startup"));
    EXPECT_EQ(Entries({{L"0", kOurs, kDeferred}}), IniSection("Shutdown"));
    EXPECT_FALSE(FileExists(IniPath() + L".new"));
}

TEST_F(ShutdownScriptTest, UnwritableScriptsIniFailsCreate)
{
    WriteFileBytes(m_windir, "a file where the Windows folder should be");
    try
    {
        m_ours.Create(kDeferred);
        FAIL() << "no exception";
    }
    catch (const std::logic_error& error)
    {
        EXPECT_EQ(0u, std::string(error.what()).find("CShutdownScript::UpdateScriptIni: "))
            << error.what();
    }
}
