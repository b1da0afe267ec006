#include "diag/TraceLog.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    CTraceLog::Instance().Trace(500, L"Starting ZOREN Patch Manager %s", L"1.0.0.72");
    return 0;
}
