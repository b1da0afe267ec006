// Stand-in for the product's service omx.exe. It runs until it is asked to stop, then ends.
//
// Stop request: the manual-reset event named by OmxStopEventName(own process id) (OmxStandin.h),
//   which the framework stand-in ltremote.dll sets for its stop request. Without one it ends by
//   itself after a minute, so that a failed test never leaves it behind for long.
// Files: ZAPATCH_STANDIN_OMX_JOURNAL - when set, the command line is appended to this file.

#include "OmxStandin.h"

#include <windows.h>

#include <cstdio>

namespace
{
constexpr DWORD kLifetime = 60000;

void JournalCommandLine()
{
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"ZAPATCH_STANDIN_OMX_JOURNAL", path, MAX_PATH))
        return;
    if (FILE* journal = _wfopen(path, L"ab"))
    {
        fprintf(journal, "%ls\n", GetCommandLineW());
        fclose(journal);
    }
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    HANDLE stop =
        CreateEventW(nullptr, TRUE, FALSE, OmxStopEventName(GetCurrentProcessId()).c_str());
    if (!stop)
        return 1;
    JournalCommandLine();
    WaitForSingleObject(stop, kLifetime);
    CloseHandle(stop);
    return 0;
}
