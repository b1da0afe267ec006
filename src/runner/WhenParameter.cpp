#include "runner/WhenParameter.h"

#include "diag/TraceLog.h"

namespace
{
bool IsHomeBeforeWindows8()
{
    const CWindowsEditionQueries& queries = WindowsEditionQueries();
    if (queries.isWindows8OrLater())
        return false;
    DWORD productType = 0;
    return queries.getProductInfo(6, 1, 0, 0, &productType) &&
           (productType == PRODUCT_HOME_BASIC || productType == PRODUCT_HOME_PREMIUM);
}
} // namespace

CWindowsEditionQueries& WindowsEditionQueries()
{
    static CWindowsEditionQueries queries = {IsWindows8OrLater, GetProductInfo};
    return queries;
}

bool IsWindows8OrLater()
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 2;
    version.wServicePackMajor = 0;
    DWORDLONG condition = 0;
    VER_SET_CONDITION(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    VER_SET_CONDITION(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    VER_SET_CONDITION(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              condition) != FALSE;
}

std::wstring GetDefaultWhenParValue()
{
    CTraceLog::Instance().Trace(500, L"%s: Default 'when' parameter is 'now'.",
                                L"GetDefaultWhenParValue");
    return L"now";
}

void CorrectWhenPar(std::wstring& when)
{
    constexpr wchar_t kName[] = L"CorrectWhenPar";
    CTraceLog& log = CTraceLog::Instance();
    if (IsHomeBeforeWindows8())
    {
        log.Trace(500, L"%s: Set value '/when now', because it's home version windows.", kName);
        log.Trace(0, L"Value of 'when' parameter is changed to 'now' because 'Home' version of "
                     L"Windows doesn't support shutdown scripts.");
        when = L"now";
    }
    else if (when.empty())
    {
        log.Trace(500, L"%s: 'When' parameter is empty. Set default value.", kName);
        when = GetDefaultWhenParValue();
    }
    else
        log.Trace(500, L"%s: Keep user 'When' parameter.", kName);
}
