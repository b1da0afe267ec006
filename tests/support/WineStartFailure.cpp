#include "support/WineStartFailure.h"

#include "diag/ErrorText.h"

#include <cstdio>

void NoteWineStartFailure(DWORD error, const std::wstring& commandLine)
{
    if (error == ERROR_INTERNAL_ERROR)
    {
        std::printf("%s: %ls\n", kWineStartFailureLine, commandLine.c_str());
        std::fflush(stdout);
    }
}

bool Started(BOOL created, const std::wstring& commandLine)
{
    if (!created)
        NoteWineStartFailure(GetLastError(), commandLine);
    return created;
}

void NoteProgramWineStartFailure(const std::string& trace)
{
    if (trace.find('\t' + ErrorTextA("CrtProc", ERROR_INTERNAL_ERROR)) == std::string::npos)
        return;
    std::printf("%s: msiexec.exe, started by the program under test\n", kWineStartFailureLine);
    std::fflush(stdout);
}
