#include "diag/EventLog.h"

#include "catalog/Handles.h"
#include "catalog/ProductKeys.h"
#include "catalog/RegistryUtils.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"

#include <vector>

namespace
{
constexpr DWORD kErrorEventId = 0xC0021234;
constexpr DWORD kWarningEventId = 0x80021236;
constexpr DWORD kInformationEventId = 0x40021237;

struct CEventSourceTraits
{
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type source) noexcept { DeregisterEventSource(source); }
};
using CEventSourceHandle = CUniqueHandle<CEventSourceTraits>;

void TraceError(const wchar_t* name, DWORD code)
{
    CTraceLog::Instance().Trace(300, L"%s", ErrorTextW(name, code).c_str());
}

DWORD WriteMessageFile(const std::wstring& messageFile)
{
    CRegKeyHandle key;
    DWORD status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExW(key.Get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(messageFile.c_str()),
                          static_cast<DWORD>((messageFile.size() + 1) * sizeof(wchar_t)));
}
} // namespace

DWORD EventIdentifierForType(WORD type)
{
    switch (type)
    {
    case EVENTLOG_ERROR_TYPE:
    case EVENTLOG_AUDIT_FAILURE:
        return kErrorEventId;
    case EVENTLOG_WARNING_TYPE:
        return kWarningEventId;
    default:
        return kInformationEventId;
    }
}

CEventLog& CEventLog::Instance()
{
    static CEventLog* instance = new CEventLog;
    return *instance;
}

CEventLog::CEventLog() : m_sourceName(L"zoren")
{
    Register();
}

void CEventLog::Register()
{
    std::vector<wchar_t> productRoot;
    DWORD status =
        RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"ProductRoot", productRoot);
    if (status != ERROR_SUCCESS)
    {
        TraceError(L"CEventLog::CEventLogRegQueryStrValue", status);
        return;
    }
    // The folder is taken as stored: a trailing separator gives two before the file name.
    status = WriteMessageFile(std::wstring(productRoot.data()) + L"\\bl.lmd");
    if (status != ERROR_SUCCESS)
    {
        TraceError(L"CEventLog::CEventLogRegSetValueEx", status);
        return;
    }
    m_registered = true;
}

void CEventLog::Report(WORD type, const std::wstring& text)
{
    if (!m_registered)
    {
        CTraceLog::Instance().Trace(300, L"%s: Message provider not registered",
                                    L"CEventLog::Report");
        return;
    }
    CEventSourceHandle source(RegisterEventSourceW(nullptr, m_sourceName.c_str()));
    if (!source)
    {
        TraceError(L"CEventLog::ReportRegisterEventSource", GetLastError());
        return;
    }
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source.Get(), type, 0, EventIdentifierForType(type), nullptr, 1, 0, strings,
                 nullptr);
}
