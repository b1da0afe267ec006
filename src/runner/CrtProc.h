#pragma once

#include <windows.h>

#include <string>

// Starts the program that the command line names, found by the system's search, in the working
// directory. Returns 0 with both handles of the record owned by the caller, or the start's error
// (traced with the command line) with the record's handles closed.
DWORD CrtProc(wchar_t* commandLine, PROCESS_INFORMATION& process,
              const std::wstring& workingDirectory);
