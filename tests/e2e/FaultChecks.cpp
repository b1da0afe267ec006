#include "e2e/FaultChecks.h"

#include "catalog/Handles.h"

namespace
{
constexpr char kFailEventText[] = "Patch version: 1.0.0.72\nCannot install patches.\n";

void ExpectFailureTrace(const CProgramRun& run, const std::string& failureText)
{
    EXPECT_EQ(1u, run.exitCode) << run.trace;
    EXPECT_TRUE(Contains(run.trace, "\tERR\tpatch\t" + failureText)) << run.trace;
    EXPECT_FALSE(Contains(run.trace, "finished successfully")) << run.trace;
}
} // namespace

void ExpectFailedRun(const CProgramRun& run, const std::string& failureText)
{
    ExpectFailureTrace(run, failureText);
    ASSERT_FALSE(run.events.empty()) << run.trace;
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, run.events.back().type);
    EXPECT_EQ(kFailEventText, Narrow(run.events.back().text));
}

void ExpectFailedRunWithoutEvent(const CProgramRun& run, const std::string& failureText)
{
    ExpectFailureTrace(run, failureText);
    EXPECT_TRUE(run.events.empty());
    EXPECT_TRUE(Contains(run.trace, "CEventLog::Report: Message provider not registered"))
        << run.trace;
}

void ExpectFailedInstallationWithoutTrace(const CProgramRun& run)
{
    EXPECT_EQ(1u, run.exitCode);
    ASSERT_EQ(2u, run.events.size());
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, run.events[0].type);
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, run.events[1].type);
    EXPECT_EQ(kFailEventText, Narrow(run.events[1].text));
}

void ExpectSuccessfulRun(const CProgramRun& run)
{
    EXPECT_EQ(0u, run.exitCode) << run.trace;
    EXPECT_TRUE(Contains(run.trace, "ZOREN Patch Manager finished successfully")) << run.trace;
    for (const CReportedEvent& event : run.events)
        EXPECT_NE(EVENTLOG_ERROR_TYPE, event.type) << Narrow(event.text);
}

void SetMachineValue(const std::wstring& key, const std::wstring& name, DWORD type,
                     const void* data, DWORD bytes, REGSAM view)
{
    CRegKeyHandle opened;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                              nullptr, opened.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(opened.Get(), name.c_str(), 0, type,
                                            static_cast<const BYTE*>(data), bytes));
}

void SetMachineString(const std::wstring& key, const std::wstring& name, const std::wstring& value,
                      REGSAM view)
{
    SetMachineValue(key, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), view);
}

std::string StateFileText(const std::string& lines)
{
    return "[PATCHES_STATE]\r\n" + lines;
}
