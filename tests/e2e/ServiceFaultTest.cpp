#include "e2e/FaultChecks.h"

#include <algorithm>

// The product service link failing: the run stops before the runner touches anything, or,
// for the reboot-status message, after the registration that stays for the restart.

namespace
{
size_t CountLines(const std::string& journal, const std::string& start)
{
    size_t count = 0;
    for (size_t at = 0; (at = journal.find(start, at)) != std::string::npos; at += start.size())
        count += at == 0 || journal[at - 1] == '\n';
    return count;
}
} // namespace

class ServiceFaultTest : public EndToEndTest
{
  protected:
    ServiceFaultTest() { AddPatch(L"a.msp", 1); }
    ~ServiceFaultTest() override
    {
        for (const wchar_t* name :
             {L"ZAPATCH_STANDIN_LTREMOTE_REFUSE_LOAD", L"ZAPATCH_STANDIN_LTREMOTE_START_FAILS",
              L"ZAPATCH_STANDIN_LTREMOTE_SEND_FAILS_FROM"})
            SetEnvironmentVariableW(name, nullptr);
    }

    void ExpectNothingDone() const
    {
        EXPECT_FALSE(FileExists(m_patches + L"\\Patches.ini"));
        EXPECT_TRUE(MsiexecCommandLines().empty());
        EXPECT_TRUE(ShutdownScripts().empty());
    }
};

TEST_F(ServiceFaultTest, MissingFrameworkLibraryFailsAfterTheTries)
{
    SetEnvironmentVariableW(L"ZAPATCH_STANDIN_LTREMOTE_REFUSE_LOAD", L"1");
    CProgramRun run = Run(L"/when now");
    ExpectFailedRun(run, "CUsingOMX::CUsingOMX: Cann't start OMX service.");
    EXPECT_TRUE(Contains(run.trace, "CUsingOMX::CUsingOMX: the 12 try.")) << run.trace;
    EXPECT_FALSE(Contains(run.trace, "the 13 try.")) << run.trace;
    ExpectNothingDone();
}

TEST_F(ServiceFaultTest, ServiceThatNeverStartsFailsAfterTwelveTries)
{
    SetEnvironmentVariableW(L"ZAPATCH_STANDIN_LTREMOTE_START_FAILS", L"100000");
    CProgramRun run = Run(L"/when now");
    ExpectFailedRun(run, "CUsingOMX::CUsingOMX: Cann't start OMX service.");
    EXPECT_EQ(12u * 12u, CountLines(ServiceJournal(), "StartProcess ")) << ServiceJournal();
    EXPECT_EQ(1u, CountLines(ServiceJournal(), "Deinit")) << ServiceJournal();
    ExpectNothingDone();
}

TEST_F(ServiceFaultTest, FailedInvisibilityMessageStopsTheStartedServiceAgain)
{
    SetEnvironmentVariableW(L"ZAPATCH_STANDIN_LTREMOTE_SEND_FAILS_FROM", L"1");
    CProgramRun run = Run(L"/when now");
    ExpectFailedRun(run, "CUsingOMX::RegisterSelfInvisible: sysSendMsg error.");
    EXPECT_EQ(1u, CountLines(ServiceJournal(), "Stop ")) << ServiceJournal();
    ExpectNothingDone();
}

// The registration made before the failed message stays, consistent in all three places, so
// that the patches are still installed at the restart.
TEST_F(ServiceFaultTest, FailedRebootMessageKeepsTheRegistrationConsistent)
{
    SetEnvironmentVariableW(L"ZAPATCH_STANDIN_LTREMOTE_SEND_FAILS_FROM", L"2");
    CProgramRun run = Run(L"/when reboot");
    ExpectFailedRun(run, "CUsingOMX::SetStatusNeedRebootOS: sysSendMsg error.");
    auto scripts = ShutdownScripts();
    ASSERT_EQ(1u, scripts.size());
    EXPECT_EQ(L"/when now /clean ", scripts[0].second);
    EXPECT_TRUE(Contains(ScriptsIni(), "0CmdLine=" + Narrow(ProgramPath()))) << ScriptsIni();
    EXPECT_TRUE(Contains(StateFile(), State(1, "not_installed"))) << StateFile();
}
