#include "app/ConsoleOutput.h"

#include "diag/TraceLog.h"

#include <iostream>

namespace
{
constexpr wchar_t kEnable[] = L"CConsoleOutput::Enable";

} // namespace

CConsoleOutput::~CConsoleOutput()
{
    fflush(stdout);
    fflush(stdin);
    if (m_reopenedStdout)
        fclose(m_reopenedStdout);
    if (m_consoleTaken)
        FreeConsole();
}

void CConsoleOutput::Enable()
{
    if (m_consoleTaken)
        return;
    CTraceLog& log = CTraceLog::Instance();
    m_consoleTaken = AttachConsole(ATTACH_PARENT_PROCESS);
    if (!m_consoleTaken)
    {
        DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED)
            log.Trace(500, L"%s: Parent console already used.", kEnable);
        else
            log.Trace(500, L"%s: Cann't attach to parent console. Error code: %d", kEnable, error);
        m_consoleTaken = AllocConsole();
        if (!m_consoleTaken)
        {
            log.Trace(350, L"%s: Cann't allocate new console.", kEnable);
            return;
        }
    }
    m_reopenedStdout = freopen("CONOUT$", "w", stdout);
    if (!m_reopenedStdout)
        log.Trace(350, L"%s: Error: Cannot reopen stdout (%d)", kEnable, GetLastError());
    else
        std::cout.clear(); // the stream object keeps its error state across the reopen
    wprintf(L"\n");
    log.Trace(500, L"%s: Output to console successfully enabled.", kEnable);
}
