#include "runner/CrtProc.h"

#include "diag/ErrorText.h"
#include "diag/TraceLog.h"

namespace
{
void CloseRecord(PROCESS_INFORMATION& process)
{
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    process.hThread = process.hProcess = nullptr;
}
} // namespace

DWORD CrtProc(wchar_t* commandLine, PROCESS_INFORMATION& process,
              const std::wstring& workingDirectory)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                       nullptr, workingDirectory.c_str(), &startup, &process))
        return ERROR_SUCCESS;

    DWORD error = GetLastError();
    CTraceLog::Instance().Trace(300, L"%s", ErrorTextW(L"CrtProc", error).c_str());
    CTraceLog::Instance().Trace(300, L"Command line: %s", commandLine);
    CloseRecord(process);
    return error;
}
