#include "shutdown/Wow64FsRedirectionDisabler.h"

#include "diag/TraceLog.h"

namespace
{
constexpr wchar_t kConstructor[] = L"CWow64FsRedirectionDisabler::CWow64FsRedirectionDisabler";
constexpr wchar_t kDestructor[] = L"CWow64FsRedirectionDisabler::~CWow64FsRedirectionDisabler";

using RedirectionFunction = BOOL(WINAPI*)(PVOID);
using DisableFunction = BOOL(WINAPI*)(PVOID*);

// The kernel32 export of that name, or null (also traced when kernel32 itself is missing).
template <typename Function> Function FindKernelFunction(const wchar_t* method, const char* name)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel)
    {
        CTraceLog::Instance().Trace(350, L"%s: Cann't get kernel32.dll handle.", method);
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

const wchar_t* BoolText(BOOL value)
{
    return value ? L"TRUE" : L"FALSE";
}
} // namespace

CWow64FsRedirectionDisabler::CWow64FsRedirectionDisabler()
{
    CTraceLog& log = CTraceLog::Instance();
    log.Trace(500, L"%s: Start", kConstructor);
    if (auto disable =
            FindKernelFunction<DisableFunction>(kConstructor, "Wow64DisableWow64FsRedirection"))
    {
        m_disabled = disable(&m_previousState);
        log.Trace(500, L"%s: FS WOW64 redirection disabled %s", kConstructor, BoolText(m_disabled));
    }
    log.Trace(500, L"%s: Finish", kConstructor);
}

CWow64FsRedirectionDisabler::~CWow64FsRedirectionDisabler()
{
    CTraceLog& log = CTraceLog::Instance();
    log.Trace(500, L"%s: Start", kDestructor);
    auto revert =
        FindKernelFunction<RedirectionFunction>(kDestructor, "Wow64RevertWow64FsRedirection");
    if (revert && m_disabled)
    {
        m_disabled = revert(m_previousState);
        log.Trace(500, L"%s: FS WOW64 redirection enabled %s", kDestructor, BoolText(m_disabled));
    }
    log.Trace(500, L"%s: Finish", kDestructor);
}
