#include "e2e/EndToEnd.h"
#include "e2e/FaultChecks.h"
#include "support/WineStartFailure.h"
#include "support/PolicyKeys.h"

#include "catalog/Handles.h"
#include "catalog/FileSystemUtils.h"
#include "catalog/ProductKeys.h"
#include "catalog/RegistryUtils.h"
#include "service/UsingOMX.h"
#include "standins/omx/OmxStandin.h"

namespace
{
constexpr wchar_t kEventLogKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Tessaly Event Log";
constexpr wchar_t kProgramSetting[] = L"ZAPATCH_E2E_PROGRAM";
constexpr wchar_t kServiceRunningSetting[] = L"ZAPATCH_E2E_SERVICE_RUNNING";
constexpr char kProbeLine[] = "32-bit code runs";

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.rfind(L'\\'));
}

bool IsSet(const wchar_t* setting)
{
    return GetEnvironmentVariableW(setting, nullptr, 0) != 0;
}

void DeleteProductKeys(REGSAM view)
{
    CRegKeyHandle software;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, software.Put()) !=
        ERROR_SUCCESS)
        return;
    RegDeleteTreeW(software.Get(), L"TessalyLab");
    RegDeleteKeyExW(software.Get(), L"TessalyLab", view, 0);
}

// Empty when the probe beside the program under test prints its line, else why not.
std::string Why32BitCodeDoesNotRun()
{
    std::wstring probe = FolderOf(EndToEndTest::ProgramPath()) + L"\\wow64-probe.exe";
    if (!FileExists(probe))
        return "no " + Narrow(probe) + " (cmake --build --preset win32 builds it)";
    CEventRun run = RunWithEventOutput(L"\"" + probe + L"\"");
    if (Contains(run.standardOutput, kProbeLine))
        return "";
    std::string outcome =
        run.startError != ERROR_SUCCESS
            ? "could not be started (error " + std::to_string(run.startError) + ")"
            : "ended with exit code " + std::to_string(run.exitCode) + " without printing \"" +
                  kProbeLine + "\"";
    return "32-bit Windows programs do not run here: wow64-probe.exe " + outcome +
           " (Wine's wow64 mode needs its 32-bit DLLs named by WINEDLLPATH, see "
           "scripts/prepare-wow64, and a kernel that runs 32-bit code)";
}
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
    if (IsSet(kServiceRunningSetting))
        StopOmxStandins();
    RemoveMachineState();
}

void EndToEndTest::SetUp()
{
    if (!Is32BitProgram())
        return;
    std::string why = Why32BitCodeDoesNotRun();
    if (!why.empty())
        GTEST_SKIP() << why;
    if (IsSet(kServiceRunningSetting))
        StartServiceUnlessRunning();
}

void EndToEndTest::RemoveMachineState()
{
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        DeleteProductKeys(view);
    for (const wchar_t* key : {kScriptsStateKey, kScriptsMirrorKey, kEventLogKey})
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    }
}

void EndToEndTest::SetProductValue(const std::wstring& name, const std::wstring& value)
{
    SetMachineString(kEnvironmentKey, name, value);
}

void EndToEndTest::DeleteProductValue(const std::wstring& name, const wchar_t* key)
{
    CRegKeyHandle opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | ProgramView(), opened.Put()) ==
        ERROR_SUCCESS)
        RegDeleteValueW(opened.Get(), name.c_str());
}

std::wstring EndToEndTest::ProgramPath()
{
    std::wstring folder = FolderOf(GetModuleFilePath());
    wchar_t relative[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(kProgramSetting, relative, MAX_PATH))
        return folder + L"\\ZAPatch.exe";
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW((folder + L"\\" + relative).c_str(), MAX_PATH, full, nullptr);
    return full;
}

bool EndToEndTest::Is32BitProgram()
{
    static const bool is32Bit = [] {
        DWORD type = 0;
        return GetBinaryTypeW(ProgramPath().c_str(), &type) && type == SCS_32BIT_BINARY;
    }();
    return is32Bit;
}

REGSAM EndToEndTest::ProgramView()
{
    return Is32BitProgram() ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

// The shipped program waits seconds between its checks for the service: for it the product's
// service is already up, as on a working machine.
void EndToEndTest::StartServiceUnlessRunning()
{
    if (IsOMXRunning())
        return;
    std::wstring commandLine = L"\"" + FolderOf(ProgramPath()) + L"\\omx.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(Started(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                       nullptr, nullptr, &startup, &started),
                        commandLine));
    CKernelHandle thread(started.hThread);
    CKernelHandle process(started.hProcess);
    ASSERT_TRUE(WaitOmxStandinReady(started.dwProcessId));
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
    if (IsSet(kServiceRunningSetting))
        StartServiceUnlessRunning();
    std::vector<std::wstring> all = settings;
    all.push_back(L"windir=" + m_windows);
    CEventRun run = RunWithEventOutput(commandLine, all, m_root.Path().c_str());
    EXPECT_EQ(ERROR_SUCCESS, run.startError) << "cannot start " << Narrow(commandLine);
    CProgramRun result;
    result.exitCode = run.exitCode;
    result.standardOutput = run.standardOutput;
    for (CReportedEvent& event : ParseReportedEvents(run.debugOutput))
        if (event.source == L"zoren")
            result.events.push_back(std::move(event));
    std::string trace = ReadFileBytes(m_traceFolder + L"\\ZAPatch.log");
    result.trace = trace.substr(std::min(m_traceSeen, trace.size()));
    NoteProgramWineStartFailure(result.trace);
    m_traceSeen = trace.size();
    return result;
}

std::string EndToEndTest::ScriptsIni() const
{
    return ReadIniText(m_windows + L"\\system32\\GroupPolicy\\Machine\\Scripts\\scripts.ini");
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
