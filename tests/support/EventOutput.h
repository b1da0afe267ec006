#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Wine writes no event log: with WINEDEBUG=+eventlog its ReportEventW prints the event's type and
// identifier (on a fixme line of the advapi channel) and each insertion string (on the eventlog
// channel). That output goes to the standard error of the first Wine process, which
// scripts/wine-test points at the file named by ZAPATCH_WINE_STDERR; these helpers start a
// process that way and read its events back from that file.
struct CReportedEvent
{
    std::wstring source; // as given to RegisterEventSourceW
    WORD type = 0;
    DWORD id = 0;
    WORD stringCount = 0;
    std::wstring text;      // the first insertion string
    bool truncated = false; // Wine shortens long strings to about 300 printed characters
};

struct CEventRun
{
    DWORD startError = ERROR_SUCCESS; // CreateProcessW's error when the process never started
    DWORD exitCode = static_cast<DWORD>(-1);
    std::string standardOutput;
    std::string debugOutput; // what Wine printed while the process ran
};

// Starts the command line with WINEDEBUG=+eventlog and the extra "NAME=value" settings, waits
// for it and returns what it wrote. A process that cannot start is no test failure here: a
// probe of what runs on this machine must be able to report it as a reason to skip.
CEventRun RunWithEventOutput(const std::wstring& commandLine,
                             const std::vector<std::wstring>& settings = {},
                             const wchar_t* workingDirectory = nullptr);

std::vector<CReportedEvent> ParseReportedEvents(const std::string& debugOutput);

// True in a child started by RunCurrentTestForEvents.
bool IsEventChild();

// Runs the current test again in a child process and returns the events it reported; the test
// fails when the child does. Set-up (registry sandbox, folders) happens again in the child.
std::vector<CReportedEvent> RunCurrentTestForEvents();
