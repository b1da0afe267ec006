#include "e2e/FaultChecks.h"
#include "support/PolicyKeys.h"

#include "catalog/FileSystemUtils.h"
#include "catalog/Handles.h"

#include <set>
#include <sstream>

// Shutdown scripts of other tools, some named in decimal and some without a "Script" value,
// through a deferred run and the shutdown run that follows it: no other tool's key is taken or
// loses anything, the keys after ours move down by one (names are hexadecimal numbers), the
// mirror always equals the state key, scripts.ini follows the keys.

namespace
{
const std::wstring kPolicyObject = kScriptsPolicyKey;

// Every value under the key, one line each with its path below the key, type and bytes.
void Dump(HKEY parent, const std::wstring& path, const std::wstring& shown, std::string& out)
{
    CRegKeyHandle key;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i)
    {
        wchar_t name[256];
        DWORD chars = 256;
        BYTE data[4096];
        DWORD bytes = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueW(key.Get(), i, name, &chars, nullptr, &type, data, &bytes) !=
            ERROR_SUCCESS)
            break;
        out += Narrow(shown) + "|" + Narrow(name) + "|" + std::to_string(type) + "|" +
               std::string(reinterpret_cast<char*>(data), bytes) + "\n";
    }
    for (DWORD i = 0;; ++i)
    {
        wchar_t name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        out += Narrow(shown) + "\\" + Narrow(name) + "\n";
        Dump(key.Get(), name, shown + L"\\" + name, out);
    }
}

std::string Dump(const std::wstring& path)
{
    std::string out;
    Dump(HKEY_LOCAL_MACHINE, path, L"", out);
    return out;
}

// The script keys of other tools: decimal names, and two keys without a "Script" value.
void WriteForeignScripts()
{
    SetMachineString(kPolicyObject, L"DisplayName", L"Local Group Policy");
    for (const wchar_t* name : {L"0", L"2", L"10"})
    {
        SetMachineString(kPolicyObject + L"\\" + name, L"Script",
                         std::wstring(L"C:\\tools\\script") + name + L".cmd");
        SetMachineString(kPolicyObject + L"\\" + name, L"Parameters", L"/quiet");
    }
    SetMachineString(kPolicyObject + L"\\1", L"Parameters", L"/no-script");
    DWORD order = 11;
    SetMachineValue(kPolicyObject + L"\\11", L"Order", REG_DWORD, &order, sizeof(order));
    SetMachineString(kPolicyObject + L"\\11\\Nested", L"Kept", L"yes");
    MirrorScriptsStateKey();
}

// The lines of a dump, in any order of enumeration.
std::multiset<std::string> Lines(const std::string& dump)
{
    std::multiset<std::string> lines;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);)
        lines.insert(line);
    return lines;
}

// The dump with each key path starting with one of the names renamed.
std::string Renamed(std::string dump, const std::vector<std::pair<std::string, std::string>>& names)
{
    std::string renamed;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);)
    {
        for (const auto& [from, to] : names)
            if (line.starts_with(from + "\\") || line.starts_with(from + "|") || line == from)
            {
                line = to + line.substr(from.size());
                break;
            }
        renamed += line + "\n";
    }
    return renamed;
}

// Our script key: the one whose "Script" names the program.
std::wstring FindScriptKey(const std::wstring& program)
{
    CRegKeyHandle key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyObject.c_str(), 0, KEY_READ, key.Put());
    for (DWORD i = 0;; ++i)
    {
        wchar_t name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return {};
        wchar_t script[1024] = {};
        DWORD bytes = sizeof(script) - sizeof(wchar_t);
        if (RegGetValueW(key.Get(), name, L"Script", RRF_RT_REG_SZ, nullptr, script, &bytes) ==
                ERROR_SUCCESS &&
            _wcsicmp(script, program.c_str()) == 0)
            return name;
    }
}
} // namespace

class ForeignScriptsTest : public EndToEndTest
{
  protected:
    static std::wstring FindOurKey() { return FindScriptKey(ProgramPath()); }

    void ExpectMirrorEqualsStateKey() const
    {
        EXPECT_EQ(Dump(kScriptsStateKey), Dump(kScriptsMirrorKey));
    }
};

TEST_F(ForeignScriptsTest, OtherToolsScriptsSurviveRegistrationAndRemoval)
{
    WriteForeignScripts();
    std::wstring scriptsIni = m_windows + L"\\system32\\GroupPolicy\\Machine\\Scripts";
    CreateDirRecurs(scriptsIni.c_str());
    WriteFileBytes(scriptsIni + L"\\scripts.ini", "[Startup]\r\n0CmdLine=C:\\tools\\up.cmd\r\n");
    std::string foreign = Dump(kScriptsStateKey);
    AddPatch(L"a.msp", 1);

    ExpectSuccessfulRun(Run(L"/when reboot"));
    std::wstring ours = FindOurKey();
    ASSERT_FALSE(ours.empty()) << Dump(kScriptsStateKey);
    for (const wchar_t* taken : {L"0", L"1", L"2", L"10", L"11"})
        EXPECT_NE(taken, ours);
    std::string withOurs = Dump(kScriptsStateKey);
    for (const std::string& line : {std::string("\\0\\0|Script"), std::string("\\0\\10|Script"),
                                    std::string("\\0\\11\\Nested|Kept")})
        EXPECT_TRUE(Contains(withOurs, line)) << withOurs;
    ExpectMirrorEqualsStateKey();
    EXPECT_TRUE(Contains(ScriptsIni(), "0CmdLine=C:\\tools\\script0.cmd")) << ScriptsIni();
    EXPECT_TRUE(Contains(ScriptsIni(), "[Startup]")) << ScriptsIni();

    std::wstring parameters(1024, L'\0');
    DWORD bytes = static_cast<DWORD>(parameters.size() * sizeof(wchar_t));
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_LOCAL_MACHINE, (kPolicyObject + L"\\" + ours).c_str(),
                           L"Parameters", RRF_RT_REG_SZ, nullptr, parameters.data(), &bytes));
    CProgramRun shutdown =
        RunCommandLine(L"\"" + ProgramPath() + L"\" " + std::wstring(parameters.c_str()));
    ExpectSuccessfulRun(shutdown);
    EXPECT_TRUE(FindOurKey().empty());
    // Ours was 3: hexadecimal 10 and 11 move down to f and 10. The policy object keeps the
    // FileSysPath the registration gave it.
    std::multiset<std::string> expected =
        Lines(Renamed(foreign, {{"\\0\\10", "\\0\\f"}, {"\\0\\11", "\\0\\10"}}));
    std::multiset<std::string> after = Lines(Dump(kScriptsStateKey));
    std::erase_if(after,
                  [](const std::string& line) { return line.starts_with("\\0|FileSysPath|"); });
    EXPECT_EQ(expected, after) << Dump(kScriptsStateKey);
    ExpectMirrorEqualsStateKey();
    EXPECT_TRUE(Contains(ScriptsIni(), "0CmdLine=C:\\tools\\script0.cmd")) << ScriptsIni();
    EXPECT_TRUE(Contains(ScriptsIni(), "1CmdLine=\r\n1Parameters=/no-script")) << ScriptsIni();
    EXPECT_FALSE(Contains(ScriptsIni(), Narrow(ProgramPath()))) << ScriptsIni();
    EXPECT_TRUE(Contains(ScriptsIni(), "[Startup]\r\n0CmdLine=C:\\tools\\up.cmd")) << ScriptsIni();
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
}
