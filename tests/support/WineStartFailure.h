#pragma once

#include <windows.h>

#include <string>

// Wine's CreateProcessW now and then fails with ERROR_INTERNAL_ERROR (1359) on a loaded machine,
// for a program that exists and started a moment before; Windows does not fail that way. A test
// that meets such a failure prints this line, by which scripts/run-tests knows to run the test
// once more.
inline constexpr char kWineStartFailureLine[] = "Wine could not start a process (error 1359)";

// Prints the line, with the command line, when CreateProcessW failed with ERROR_INTERNAL_ERROR.
void NoteWineStartFailure(DWORD error, const std::wstring& commandLine);

// For ASSERT_TRUE(Started(CreateProcessW(...), commandLine)): notes a start failure as above.
bool Started(BOOL created, const std::wstring& commandLine);

// Prints the line when the program's trace shows that it could not start msiexec.exe that way.
void NoteProgramWineStartFailure(const std::string& trace);
