#include "ServiceTestSupport.h"

#include "diag/ErrorText.h"
#include "service/UsingOMX.h"

#include <memory>
#include <functional>

using Lines = std::vector<std::string>;

namespace
{
const std::string kStartRequest = "StartProcess -1 omx.exe -s 20000 0 0 0";
const Lines kConnectCalls = {"LTGetAPI2",
                             "Init ZAPatch 1 0",
                             "GetRoot",
                             "AllocMem 12",
                             "LoadProxyStub 0 pxstub.lmd 10 -12",
                             "AttachProxy -1 TaskManager -> 1"};
const Lines kReleaseCalls = {"FreeMem 12", "ReleaseProxy 1", "Deinit"};

Lines Joined(Lines first, const Lines& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::string ThrownText(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const std::logic_error& failure)
    {
        return failure.what();
    }
    return "nothing thrown";
}
} // namespace

class UsingOMXTest : public ServiceTest
{
  protected:
    std::unique_ptr<CUsingOMX> MakeLink(HINSTANCE instance = GetModuleHandleW(nullptr))
    {
        return std::make_unique<CUsingOMX>(instance, &ServiceTest::RecordWait);
    }
    std::string FailedLinkText(HINSTANCE instance = GetModuleHandleW(nullptr))
    {
        return ThrownText([&] { MakeLink(instance); });
    }
    static DWORD WaitedFor(DWORD pause)
    {
        return static_cast<DWORD>(std::count(Waits().begin(), Waits().end(), pause));
    }
};

TEST_F(UsingOMXTest, RunningServiceTakesOneTryAndIsLeftRunning)
{
    StartService();
    auto link = MakeLink();
    EXPECT_EQ(kConnectCalls, Journal());
    link.reset();
    EXPECT_EQ(Joined(kConnectCalls, kReleaseCalls), Journal());

    std::string trace = TraceText();
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: ProductFolder: "));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: the 1 try."));
    EXPECT_EQ(0, Count(trace, "the 2 try."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: OMX running."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: SUCCESS."));
    EXPECT_EQ(0, Count(trace, "Stop OMX service."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::~CUsingOMX: Free Lattice."));
    EXPECT_TRUE(Waits().empty());
    EXPECT_TRUE(IsOMXRunning());
}

TEST_F(UsingOMXTest, ServiceStartedByTheLinkIsStoppedAtTheEnd)
{
    Switch(L"START_FAILS", L"2");
    auto link = MakeLink();
    EXPECT_TRUE(IsOMXRunning());
    Lines journal = Journal();
    EXPECT_EQ(3, Count(journal, kStartRequest));
    std::string trace = TraceText();
    EXPECT_EQ(2, Count(trace, "\tcOMX::Start: CreateProcess -s returned: 0x8000004c"));
    EXPECT_EQ(1, Count(trace, "\tcOMX::Start: CreateProcess -s returned: 0x0"));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: OMX not running."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: Start OMX service."));
    EXPECT_EQ(30, Count(trace, "CUsingOMX::WaitOMX: Wait OMX service..."));
    EXPECT_EQ(std::vector<DWORD>(30, 1000), Waits());

    link.reset();
    EXPECT_FALSE(IsOMXRunning());
    EXPECT_EQ(Joined(journal, Joined({"CheckProxy 1", "Stop 1 0"}, kReleaseCalls)), Journal());
    EXPECT_EQ(1, Count(TraceText(), "CUsingOMX::StopOMXIfNeed: Stop OMX service."));
}

TEST_F(UsingOMXTest, UnusableProxyIsAttachedAgainForTheStopRequest)
{
    Switch(L"CHECK_FAILS", L"1");
    auto link = MakeLink();
    link.reset();
    Lines journal = Journal();
    EXPECT_EQ(Lines({"CheckProxy 1", "ReleaseProxy 1", "AttachProxy -1 TaskManager -> 2",
                     "Stop 2 0", "FreeMem 12", "ReleaseProxy 2", "Deinit"}),
              Lines(journal.end() - 7, journal.end()));
    EXPECT_FALSE(IsOMXRunning());
}

TEST_F(UsingOMXTest, ServiceThatNeverStartsFailsAfterTwelveTries)
{
    Switch(L"START_FAILS", L"100000");
    EXPECT_EQ("CUsingOMX::CUsingOMX: Cann't start OMX service.", FailedLinkText());
    Lines journal = Journal();
    EXPECT_EQ(12 * 12, Count(journal, kStartRequest));
    EXPECT_EQ("Deinit", journal.back());
    EXPECT_EQ(0, Count(journal, "AllocMem 12"));

    std::string trace = TraceText();
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: the 12 try."));
    EXPECT_EQ(0, Count(trace, "the 13 try."));
    EXPECT_EQ(11, Count(trace, "CUsingOMX::CUsingOMX: Wait before next try."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: Free Lattice."));
    EXPECT_EQ(0, Count(trace, "Stop OMX service."));
    EXPECT_EQ(11u, WaitedFor(5000));
    EXPECT_EQ(12u * 60, WaitedFor(1000));
    EXPECT_FALSE(IsOMXRunning());
}

TEST_F(UsingOMXTest, MissingLibraryFailsEveryTryWithoutCallingIt)
{
    Switch(L"REFUSE_LOAD", L"1");
    StartService();
    EXPECT_EQ("CUsingOMX::CUsingOMX: LoadProxyStub error.", FailedLinkText());
    std::string trace = TraceText();
    EXPECT_EQ(12, Count(trace, "CUsingOMX::CUsingOMX: LoadProxyStub error 0x800001c1."));
    EXPECT_EQ(12, Count(trace, "CUsingOMX::StopOMXIfNeed: Stop OMX service."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: Free Lattice."));
    EXPECT_FALSE(FileExists(JournalPath()));
}

// Nothing of a framework that failed to set up may be called, so nothing can start the service.
TEST_F(UsingOMXTest, MissingLibraryMakesNoStartRequests)
{
    Switch(L"REFUSE_LOAD", L"1");
    EXPECT_EQ("CUsingOMX::CUsingOMX: Cann't start OMX service.", FailedLinkText());
    EXPECT_EQ(12, Count(TraceText(), "CUsingOMX::CUsingOMX: Start OMX service."));
    EXPECT_EQ(0, Count(TraceText(), "cOMX::Start"));
    EXPECT_FALSE(IsOMXRunning());
}

TEST_F(UsingOMXTest, LibraryWithoutGetApiIsNeverCalled)
{
    StartService();
    HMODULE module = LibraryWithoutApi();
    ASSERT_NE(nullptr, module);
    EXPECT_EQ("CUsingOMX::CUsingOMX: LoadProxyStub error.", FailedLinkText(module));
    EXPECT_EQ(12, Count(TraceText(), "CUsingOMX::CUsingOMX: LoadProxyStub error 0x8000006b."));
    EXPECT_FALSE(FileExists(JournalPath()));
}

TEST_F(UsingOMXTest, FailingProxyStubIsRetriedWithANewProxyEachTime)
{
    Switch(L"PXSTUB_FAILS", L"1");
    StartService();
    EXPECT_EQ("CUsingOMX::CUsingOMX: LoadProxyStub error.", FailedLinkText());
    Lines journal = Journal();
    EXPECT_EQ(12, Count(journal, "LoadProxyStub 0 pxstub.lmd 10 -12"));
    EXPECT_EQ(12, Count(journal, "AllocMem 12"));
    EXPECT_EQ(12, Count(journal, "FreeMem 12"));
    EXPECT_EQ(1, Count(journal, "Init ZAPatch 1 0"));
    EXPECT_EQ(12, Count(TraceText(), "CUsingOMX::CUsingOMX: LoadProxyStub error 0x8000004c."));
}

TEST_F(UsingOMXTest, AttachThatFailsRecoversOnALaterTry)
{
    Switch(L"ATTACH_FAILS", L"2");
    StartService();
    auto link = MakeLink();
    Lines journal = Journal();
    EXPECT_EQ(2, Count(journal, "AttachProxy -1 TaskManager -> failed"));
    EXPECT_EQ("AttachProxy -1 TaskManager -> 1", journal.back());
    std::string trace = TraceText();
    EXPECT_EQ(2, Count(trace, "CUsingOMX::CUsingOMX: cannot attach TM proxy."));
    EXPECT_EQ(2, Count(trace, "CUsingOMX::StopOMXIfNeed: Stop OMX service."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: the 3 try."));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::CUsingOMX: SUCCESS."));
    EXPECT_EQ(std::vector<DWORD>(2, 5000), Waits());

    link.reset();
    EXPECT_EQ(2, Count(TraceText(), "Stop OMX service."));
    EXPECT_EQ(0, Count(Journal(), "Stop 1 0"));
    EXPECT_TRUE(IsOMXRunning());
}

TEST_F(UsingOMXTest, MessagesGoOutInOrderWithTheirPayload)
{
    StartService();
    auto link = MakeLink();
    link->RegisterSelfInvisible();
    link->SetStatusNeedRebootOS();
    Lines journal = Journal();
    std::string invisible = "sysSendMsg 1 ae5e2ea3 1002 0 type 229000 value 1 pid " +
                            std::to_string(GetCurrentProcessId()) + " ffffffff";
    EXPECT_EQ(Lines({invisible, "sysSendMsg 1 64e52db8 0 0 null 0",
                     "sysSendMsg 1 2937151d c1d5efa5 0 null 0"}),
              Lines(journal.end() - 3, journal.end()));

    std::string trace = TraceText();
    size_t reboot =
        trace.find("CUsingOMX::SetStatusNeedRebootOS: Before create task OS reboot request.");
    size_t state = trace.find(
        "CUsingOMX::SetStatusNeedRebootOS: Before send message about change product state.");
    EXPECT_LT(reboot, state);
    EXPECT_NE(std::string::npos, trace.find("CUsingOMX::SetStatusNeedRebootOS: SUCCESS", state));
    EXPECT_EQ(1, Count(trace, "CUsingOMX::RegisterSelfInvisible: SUCCESS"));
}

TEST_F(UsingOMXTest, FailedSendThrowsAndSendsNothingMore)
{
    Switch(L"SEND_FAILS_FROM", L"2");
    StartService();
    auto link = MakeLink();
    link->RegisterSelfInvisible();
    EXPECT_EQ("CUsingOMX::SetStatusNeedRebootOS: sysSendMsg error.",
              ThrownText([&] { link->SetStatusNeedRebootOS(); }));
    Lines journal = Journal();
    EXPECT_EQ("sysSendMsg 1 64e52db8 0 0 null 0", journal.back());
    EXPECT_EQ(1,
              Count(TraceText(), "CUsingOMX::SetStatusNeedRebootOS: sysSendMsg error 0x8000004c."));
    EXPECT_EQ(0, Count(TraceText(), "CUsingOMX::SetStatusNeedRebootOS: SUCCESS"));

    EXPECT_EQ("CUsingOMX::RegisterSelfInvisible: sysSendMsg error.",
              ThrownText([&] { link->RegisterSelfInvisible(); }));
    EXPECT_EQ(1,
              Count(TraceText(), "CUsingOMX::RegisterSelfInvisible: sysSendMsg error 0x8000004c."));
}

TEST_F(UsingOMXTest, MissingProductFolderFailsAtOnce)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"ProductRoot");
    EXPECT_EQ(ErrorTextA("CUsingOMX::CUsingOMX", ERROR_FILE_NOT_FOUND), FailedLinkText());
    EXPECT_EQ(0, Count(TraceText(), "try."));
    EXPECT_FALSE(FileExists(JournalPath()));
}

TEST_F(UsingOMXTest, ServiceNameMustMatchExactly)
{
    StartService(L"OMX.EXE");
    EXPECT_FALSE(IsOMXRunning());
    StartService();
    EXPECT_TRUE(IsOMXRunning());
}
