#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "diag/EventLog.h"
#include "diag/TraceLog.h"
#include "support/EventOutput.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
class EventLogTest : public ::testing::Test
{
  protected:
    EventLogTest()
    {
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", m_folder.Path() + L"\\");
    }
    static void SetProductRoot(const std::wstring& value)
    {
        CRegistrySandbox::SetString(kEnvironmentKey, L"ProductRoot", value);
    }
    std::string TraceBytes() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}
} // namespace

TEST_F(EventLogTest, RegistersMessageFileAsExpandableStringOnce)
{
    SetProductRoot(L"C:\\Prod\\");
    CEventLog::Instance();
    SetProductRoot(L"D:\\Other");
    CEventLog::Instance().Report(EVENTLOG_INFORMATION_TYPE, L"x");

    wchar_t data[64] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(data);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"EventMessageFile",
                                          RRF_RT_ANY | RRF_NOEXPAND, &type, data, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    // The folder's own separator is kept, so two come before the file name.
    EXPECT_EQ(std::wstring(L"C:\\Prod\\\\bl.lmd"), data);
    EXPECT_EQ(sizeof(L"C:\\Prod\\\\bl.lmd"), bytes);

    CRegKeyHandle key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, key.Put()));
    DWORD values = 0;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(1u, values);
}

TEST_F(EventLogTest, ReportsEachTypeWithItsIdentifierAndWholeText)
{
    const std::wstring text = L"Patch version: 1.0.0.72\nPreparing \"now\"\t\\ \x00e9.\n";
    if (!IsEventChild())
    {
        std::vector<CReportedEvent> events = RunCurrentTestForEvents();
        const std::pair<WORD, DWORD> expected[] = {
            {EVENTLOG_INFORMATION_TYPE, 0x40021237}, {EVENTLOG_ERROR_TYPE, 0xC0021234},
            {EVENTLOG_WARNING_TYPE, 0x80021236},     {EVENTLOG_AUDIT_FAILURE, 0xC0021234},
            {EVENTLOG_SUCCESS, 0x40021237},          {EVENTLOG_AUDIT_SUCCESS, 0x40021237},
        };
        ASSERT_EQ(std::size(expected), events.size());
        for (size_t i = 0; i < events.size(); ++i)
        {
            EXPECT_EQ(L"zoren", events[i].source);
            EXPECT_EQ(expected[i].first, events[i].type);
            EXPECT_EQ(expected[i].second, events[i].id);
            EXPECT_EQ(1u, events[i].stringCount);
            EXPECT_EQ(text, events[i].text) << Narrow(events[i].text);
        }
        return;
    }
    SetProductRoot(L"C:\\Prod");
    for (WORD type : {EVENTLOG_INFORMATION_TYPE, EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE,
                      EVENTLOG_AUDIT_FAILURE, EVENTLOG_SUCCESS, EVENTLOG_AUDIT_SUCCESS})
        CEventLog::Instance().Report(type, text);
    EXPECT_EQ(std::string::npos, TraceBytes().find("CEventLog"));
}

TEST_F(EventLogTest, WithoutProductRootNothingIsRegisteredOrReported)
{
    if (!IsEventChild())
    {
        EXPECT_TRUE(RunCurrentTestForEvents().empty());
        return;
    }
    CEventLog::Instance().Report(EVENTLOG_ERROR_TYPE, L"lost");
    CEventLog::Instance().Report(EVENTLOG_INFORMATION_TYPE, L"lost");

    std::string trace = TraceBytes();
    EXPECT_NE(std::string::npos,
              trace.find("ERR\tpatch\t" +
                         ErrorTextA("CEventLog::CEventLogRegQueryStrValue", ERROR_FILE_NOT_FOUND)));
    size_t first = trace.find("ERR\tpatch\tCEventLog::Report: Message provider not registered");
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, trace.find("CEventLog::Report: Message provider", first + 1));
    CRegKeyHandle key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, key.Put()));
}
