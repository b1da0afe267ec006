#pragma once

#include <windows.h>

#include <cstdio>

// Borrows the parent's console (or opens a new one) for the usage text and gives it back at the
// end of the run. A GUI-subsystem program has no console of its own.
class CConsoleOutput
{
  public:
    CConsoleOutput() = default;
    ~CConsoleOutput();
    CConsoleOutput(const CConsoleOutput&) = delete;
    CConsoleOutput& operator=(const CConsoleOutput&) = delete;

    // Never fails: what goes wrong is traced, and the text then goes to the old standard output.
    void Enable();

  private:
    BOOL m_consoleTaken = FALSE;
    FILE* m_reopenedStdout = nullptr;
};
