#pragma once

// Checks shared by the fault tests: how a failed run must end, and the machine state it must
// leave behind.

#include "e2e/EndToEnd.h"

#include <string>

// Exit code 1, the failure's text in the trace at the error level, no success trace, and the
// error event with the failed-installation text as the run's last event.
void ExpectFailedRun(const CProgramRun& run, const std::string& failureText);

// The same without the event: a run whose product folder is unknown cannot register its source.
void ExpectFailedRunWithoutEvent(const CProgramRun& run, const std::string& failureText);

void ExpectSuccessfulRun(const CProgramRun& run);

// An installation that failed after the "Prepare" event in a run whose trace is lost: exit code 1
// and the error event.
void ExpectFailedInstallationWithoutTrace(const CProgramRun& run);

// Writes a value of any type under HKEY_LOCAL_MACHINE\key of the prefix's real registry, in the
// program's view unless told another.
void SetMachineValue(const std::wstring& key, const std::wstring& name, DWORD type,
                     const void* data, DWORD bytes, REGSAM view = EndToEndTest::ProgramView());
void SetMachineString(const std::wstring& key, const std::wstring& name, const std::wstring& value,
                      REGSAM view = EndToEndTest::ProgramView());

// "[PATCHES_STATE]" with the given lines, as another run would have left it.
std::string StateFileText(const std::string& lines);
