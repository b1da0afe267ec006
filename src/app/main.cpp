#include "app/CMDParser.h"
#include "app/ConsoleOutput.h"
#include "app/PrintUsage.h"
#include "diag/EventLog.h"
#include "diag/EventMessage.h"
#include "diag/TraceLog.h"
#include "runner/PatchRunner.h"
#include "service/UsingOMX.h"

#include <windows.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

namespace
{
constexpr wchar_t kMutexName[] = L"Global\\PATCHER_7C0B52E4-19AF-4d36-B8E2-5D4F06A1C93B";

// Another patch manager holds the mutex, possibly in a context this process may not open.
bool IsAnotherInstanceRunning()
{
    // The handle is never closed: the name stays taken until the process ends.
    CreateMutexW(nullptr, FALSE, kMutexName);
    DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

// The service link waits seconds for the service between its checks and tries, the runner
// between msiexec.exe runs while another installation is in progress. Test builds let the
// end-to-end tests drop those waits; the shipped program always waits.
CUsingOMX::WaitFunction RunWait()
{
#ifdef ZAPATCH_TEST_BUILD
    if (GetEnvironmentVariableW(L"ZAPATCH_TEST_NO_WAITS", nullptr, 0))
        return [](DWORD) {};
#endif
    return &CUsingOMX::Sleep;
}

// Everything between the start trace and the tear-down; the objects go in reverse order of
// construction: runner, service link, command line.
void Run(HINSTANCE instance, const wchar_t* commandLine, const std::wstring& version,
         CConsoleOutput& console)
{
    auto parser = std::make_shared<CCMDParser>(commandLine);
    if (parser->IsParamPresent(L"/help") || parser->IsParamPresent(L"/?"))
    {
        PrintUsage(console);
        return;
    }
    CTraceLog& log = CTraceLog::Instance();
    log.Trace(0, L"ZOREN Patch Manager %s started", version.c_str());
    auto service = std::make_shared<CUsingOMX>(instance, RunWait());
    service->RegisterSelfInvisible();
    CPatchRunner runner(parser, version, true, RunWait());
    runner.RunPublicPatch(service);
    log.Trace(0, L"ZOREN Patch Manager finished successfully");
}

void ReportFailure(const char* failure, const std::wstring& version)
{
    CTraceLog::Instance().Trace(300, L"%S", failure);
    std::wstring text;
    CEventMessage(version).GetText(text, kMessageInstallFail);
    CEventLog::Instance().Report(EVENTLOG_ERROR_TYPE, text);
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    if (IsAnotherInstanceRunning())
    {
        CTraceLog::Instance().Trace(500, L"ZOREN Patcher or Patch Manager is already running");
        return 0;
    }
    CConsoleOutput console;
    const std::wstring version = L"1.0.0.72";
    CTraceLog::Instance().Trace(500, L"Starting ZOREN Patch Manager %s", version.c_str());
    try
    {
        Run(instance, commandLine, version, console);
        return 0;
    }
    catch (const std::exception& failure) // logic_error, the program's own, included
    {
        ReportFailure(failure.what(), version);
        return 1;
    }
}
