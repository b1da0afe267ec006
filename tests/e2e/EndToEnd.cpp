#include "e2e/EndToEnd.h"
#include "support/PolicyKeys.h"

#include "catalog/Handles.h"
#include "catalog/FileSystemUtils.h"
#include "catalog/ProductKeys.h"
#include "catalog/RegistryUtils.h"

namespace
{
constexpr wchar_t kEventLogKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Tessaly Event Log";
} // namespace

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

EndToEndTest::EndToEndTest()
{
    RemoveMachineState();
    for (const std::wstring& folder : {m_product, m_patches, m_traceFolder, m_windows})
        CreateDirectoryW(folder.c_str(), nullptr);
    SetProductValue(L"ProductRoot", m_product);
    SetProductValue(L"TraceRoot", m_traceFolder + L"\\");
    m_installer.InstallProduct(kSampleProduct);
    m_installer.SetSwitch(L"MSIEXEC_CMDLINE", m_root / L"msiexec-cmdline.txt");
    m_installer.SetSwitch(L"MSIEXEC_CWD", m_root / L"msiexec-cwd.txt");
    SetEnvironmentVariableW(L"ZAPATCH_STANDIN_LTREMOTE_JOURNAL",
                            (m_root / L"ltremote.txt").c_str());
    SetEnvironmentVariableW(L"ZAPATCH_TEST_NO_WAITS", L"1");
}

EndToEndTest::~EndToEndTest()
{
    RemoveMachineState();
}

void EndToEndTest::RemoveMachineState()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\TessalyLab");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\TessalyLab");
    for (const wchar_t* key : {kScriptsStateKey, kScriptsMirrorKey, kEventLogKey})
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    }
}

void EndToEndTest::SetProductValue(const std::wstring& name, const std::wstring& value)
{
    CRegKeyHandle key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

void EndToEndTest::DeleteProductValue(const std::wstring& name)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kEnvironmentKey, name.c_str());
}

std::wstring EndToEndTest::ProgramPath()
{
    std::wstring self = GetModuleFilePath();
    return self.substr(0, self.rfind(L'\\')) + L"\\ZAPatch.exe";
}

std::wstring EndToEndTest::Code(int i)
{
    wchar_t code[40];
    swprintf(code, 40, L"{%08d-0000-0000-0000-000000000000}", i);
    return code;
}

std::string EndToEndTest::State(int code, const char* state)
{
    return Narrow(Code(code)) + "=" + state;
}

void EndToEndTest::AddPatch(const std::wstring& name, int code, const std::wstring& letter) const
{
    CInstallerStandin::WritePatch(m_patches + L"\\" + name, Code(code), letter);
}

CProgramRun EndToEndTest::Run(const std::wstring& arguments,
                              const std::vector<std::wstring>& settings)
{
    return RunCommandLine(L"\"" + ProgramPath() + L"\" " + arguments, settings);
}

CProgramRun EndToEndTest::RunCommandLine(const std::wstring& commandLine,
                                         const std::vector<std::wstring>& settings)
{
    std::vector<std::wstring> all = settings;
    all.push_back(L"windir=" + m_windows);
    CEventRun run = RunWithEventOutput(commandLine, all, m_root.Path().c_str());
    CProgramRun result;
    result.exitCode = run.exitCode;
    result.standardOutput = run.standardOutput;
    for (CReportedEvent& event : ParseReportedEvents(run.debugOutput))
        if (event.source == L"zoren")
            result.events.push_back(std::move(event));
    std::string trace = ReadFileBytes(m_traceFolder + L"\\ZAPatch.log");
    result.trace = trace.substr(std::min(m_traceSeen, trace.size()));
    m_traceSeen = trace.size();
    return result;
}

std::string EndToEndTest::ScriptsIni() const
{
    return ReadFileBytes(m_windows + L"\\system32\\GroupPolicy\\Machine\\Scripts\\scripts.ini");
}

std::vector<std::pair<std::wstring, std::wstring>> EndToEndTest::ShutdownScripts()
{
    std::vector<std::pair<std::wstring, std::wstring>> scripts;
    std::wstring policyObject = std::wstring(kScriptsPolicyKey) + L"\\";
    for (int number = 0;; ++number)
    {
        wchar_t name[16];
        swprintf(name, 16, L"%x", number);
        std::vector<wchar_t> script;
        std::vector<wchar_t> parameters;
        if (RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, policyObject + name, L"Script", script) !=
            ERROR_SUCCESS)
            return scripts;
        RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, policyObject + name, L"Parameters", parameters);
        scripts.emplace_back(script.data(), parameters.empty() ? L"" : parameters.data());
    }
}
