#include "e2e/FaultChecks.h"
#include "e2e/TraceLines.h"

// msiexec.exe failing: the run fails with the exit code's text, nothing is recorded as
// installed, and the state file keeps the patches waiting for the next run.

class InstallerFaultTest : public EndToEndTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(InstallerFaultTest, FailedInstallationLeavesThePatchesWaiting)
{
    AddPatch(L"a.msp", 1);
    AddPatch(L"b.msp", 2);
    m_installer.SetSwitch(L"MSIEXEC_EXIT", std::to_wstring(GetParam()));
    CProgramRun run = Run(L"/when now");
    ExpectFailedRun(run, "CPatchRunner::ApplyPublicPachesNow: ");
    char exitCode[32];
    snprintf(exitCode, sizeof exitCode, "MSIEXEC exit code: 0x%X", GetParam());
    EXPECT_TRUE(Contains(run.trace, exitCode)) << run.trace;
    ASSERT_EQ(2u, run.events.size()); // "Prepare", then the failure
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, run.events[0].type);
    EXPECT_TRUE(m_installer.AppliedPatches().empty());
    EXPECT_TRUE(Contains(StateFile(), State(1, "not_installed"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "not_installed"))) << StateFile();

    // Once the installer works again, the next run installs both.
    m_installer.SetSwitch(L"MSIEXEC_EXIT", L"");
    ExpectSuccessfulRun(Run(L"/when now"));
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
}

TEST_P(InstallerFaultTest, FailedUninstallationKeepsThePatchesInstalled)
{
    AddPatch(L"a.msp", 1);
    m_installer.SetAppliedPatches({Code(1)});
    m_installer.SetSwitch(L"MSIEXEC_EXIT", std::to_wstring(GetParam()));
    CProgramRun run = Run(L"/uninstall all /when now");
    ExpectFailedRun(run, "CPatchRunner::UninstallPublicPachesNow: ");
    EXPECT_EQ(std::vector<std::wstring>{Code(1)}, m_installer.AppliedPatches());
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
}

// 1603: a fatal error during installation; 1618: another installation is in progress.
INSTANTIATE_TEST_SUITE_P(ExitCodes, InstallerFaultTest, ::testing::Values(1603, 1618));

// Another installation in progress: msiexec.exe ends with 1618 for its first runs. The run waits
// for it (the test build skips the 20 seconds) and runs the same command line at most 4 times.
class InstallerBusyTest : public EndToEndTest
{
  protected:
    InstallerBusyTest()
    {
        AddPatch(L"a.msp", 1);
        AddPatch(L"b.msp", 2);
        m_installer.SetSwitch(L"MSIEXEC_BUSY", m_busyRuns);
    }

    int MsiexecRuns() const { return CountOf(MsiexecCommandLines(), "\n"); }

    std::wstring m_busyRuns = m_root / L"msiexec-busy.txt";
};

TEST_F(InstallerBusyTest, InstallsOnceTheOtherInstallationEnds)
{
    WriteFileBytes(m_busyRuns, "2");
    CProgramRun run = Run(L"/when now");
    ExpectSuccessfulRun(run);
    EXPECT_EQ(3, MsiexecRuns()) << MsiexecCommandLines();
    EXPECT_TRUE(Contains(run.trace, "\tERR\tpatch\tCPatchRunner::ApplyPublicPachesNow: Another "
                                    "installation is in progress (run 1 of 4)."))
        << run.trace;
    EXPECT_EQ((std::vector<std::wstring>{Code(1), Code(2)}), m_installer.AppliedPatches());
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
}

TEST_F(InstallerBusyTest, FailsAsBeforeWhenTheOtherInstallationGoesOn)
{
    WriteFileBytes(m_busyRuns, "100");
    CProgramRun run = Run(L"/when now");
    ExpectFailedRun(run, "CPatchRunner::ApplyPublicPachesNow: ");
    EXPECT_EQ(4, MsiexecRuns()) << MsiexecCommandLines();
    EXPECT_TRUE(Contains(run.trace, "MSIEXEC exit code: 0x652")) << run.trace;
    EXPECT_EQ(2u, run.events.size()); // "Prepare", then the failure
    EXPECT_TRUE(m_installer.AppliedPatches().empty());
    EXPECT_TRUE(Contains(StateFile(), State(2, "not_installed"))) << StateFile();
}

// Only another installation in progress is waited for: any other failure runs msiexec.exe once.
TEST_F(InstallerBusyTest, OtherFailureRunsMsiexecOnce)
{
    m_installer.SetSwitch(L"MSIEXEC_EXIT", L"1603");
    ExpectFailedRun(Run(L"/when now"), "CPatchRunner::ApplyPublicPachesNow: ");
    EXPECT_EQ(1, MsiexecRuns()) << MsiexecCommandLines();
}
