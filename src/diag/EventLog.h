#pragma once

#include <windows.h>

#include <string>

// The program's event source "zoren" under the product's own event log. One per process, never
// destroyed; the source is registered once, at the first use.
class CEventLog
{
  public:
    static CEventLog& Instance();

    // Writes one event with the text as its single insertion string; never fails.
    void Report(WORD type, const std::wstring& text);

  private:
    CEventLog();
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    void Register();

    bool m_registered = false;
    std::wstring m_sourceName;
};

// The message identifier that the product's message file holds for an event type.
DWORD EventIdentifierForType(WORD type);

inline constexpr wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Tessaly Event Log\\zoren";
