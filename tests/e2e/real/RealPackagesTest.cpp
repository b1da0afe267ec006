#include "e2e/real/RealPackages.h"
#include "e2e/FaultChecks.h"

#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"

#include <msi.h>

// Wine's engine cannot remove a patch: /uninstall is left to the stand-in tests.

TEST_F(RealPackagesTest, NewPatchChosenByItsLetterIsAppliedNowAndRecordedFromTheEngine)
{
    SetMachineString(kDataKey, L"ProductHotfix", L"B");
    AddRealPatch(L"a.msp", 1, L"A"); // older than the installed hotfix
    AddRealPatch(L"b.msp", 2, L"C");
    AddRealPatch(L"c.msp", 3, L"C");
    // Applied by the engine before the run: listed by it, so not applied again.
    ASSERT_EQ(ERROR_SUCCESS,
              MsiApplyPatchW((m_patches + L"\\c.msp").c_str(), nullptr, INSTALLTYPE_DEFAULT, L""));
    CProgramRun run = Run(L"/when now");

    ExpectSuccessfulRun(run);
    EXPECT_EQ((std::vector<std::wstring>{Code(3), Code(2)}), RegisteredPatches());
    EXPECT_TRUE(Contains(run.trace, " /update \"b.msp\" INSTALLONREBOOT=1")) << run.trace;
    std::string state = StateFile();
    EXPECT_TRUE(Contains(state, State(1, "not_installed"))) << state;
    EXPECT_TRUE(Contains(state, State(2, "installed"))) << state;
    EXPECT_TRUE(Contains(state, State(3, "installed"))) << state;
    ASSERT_EQ(2u, run.events.size());
    EXPECT_EQ(L"Patch version: 1.0.0.72\nPatches installed successfully:\nb.msp\n",
              run.events[1].text);
    EXPECT_TRUE(Contains(InstallerLog(), "b.msp")) << InstallerLog();
}

TEST_F(RealPackagesTest, DeferredPatchIsAppliedByTheShutdownRun)
{
    AddRealPatch(L"b.msp", 2, L"C");
    CProgramRun request = Run(L"/when reboot");

    ExpectSuccessfulRun(request);
    EXPECT_TRUE(RegisteredPatches().empty());
    EXPECT_TRUE(Contains(StateFile(), State(2, "not_installed"))) << StateFile();
    auto scripts = ShutdownScripts();
    ASSERT_EQ(1u, scripts.size());

    CProgramRun shutdown = RunCommandLine(scripts[0].first + L" " + scripts[0].second);

    ExpectSuccessfulRun(shutdown);
    EXPECT_EQ((std::vector<std::wstring>{Code(2)}), RegisteredPatches());
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
    EXPECT_TRUE(ShutdownScripts().empty());
}

TEST_F(RealPackagesTest, PatchForAnotherProductStaysNotInstalledWithTheEngineFailureReported)
{
    AddRealPatch(L"x.msp", 4, L"C", kAbsentProduct);
    CProgramRun run = Run(L"/when now");

    ExpectFailedRun(run, ErrorTextA("CPatchRunner::ApplyPublicPachesNow", ERROR_UNKNOWN_PRODUCT));
    EXPECT_TRUE(RegisteredPatches().empty());
    EXPECT_TRUE(Contains(StateFile(), State(4, "not_installed"))) << StateFile();
}

TEST_F(RealPackagesTest, IgnoredRealPatchesAreNotAppliedByTheNextRun)
{
    AddRealPatch(L"a.msp", 1, L"C");
    AddRealPatch(L"b.msp", 2, L"D");
    CProgramRun ignore = Run(L"/ignore all");

    ExpectSuccessfulRun(ignore);
    EXPECT_TRUE(Contains(StateFile(), State(1, "ignored"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "ignored"))) << StateFile();

    CProgramRun next = Run(L"/when now");

    ExpectSuccessfulRun(next);
    EXPECT_FALSE(Contains(next.trace, "Run msiexec")) << next.trace;
    EXPECT_TRUE(RegisteredPatches().empty());
    EXPECT_TRUE(Contains(StateFile(), State(1, "ignored"))) << StateFile();
}

TEST_F(RealPackagesTest, SeveralNewPatchesAreAppliedInOneUpdateThroughTheThinMsiexec)
{
    // Wine's msiexec.exe fails on "/update a.msp;b.msp" (1627); here msiexec.exe is ours and
    // hands the same command line to Wine's engine (MsiApplyMultiplePatchesW).
    AddRealPatch(L"a.msp", 1, L"C");
    AddRealPatch(L"b.msp", 2, L"D");
    CProgramRun run = RunWithThinMsiexec(L"/when now");

    ExpectSuccessfulRun(run);
    EXPECT_TRUE(Contains(run.trace, " /update \"a.msp;b.msp\" INSTALLONREBOOT=1")) << run.trace;
    EXPECT_EQ((std::vector<std::wstring>{Code(1), Code(2)}), RegisteredPatches());
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
    ASSERT_EQ(2u, run.events.size());
    EXPECT_EQ(L"Patch version: 1.0.0.72\nPatches installed successfully:\na.msp\nb.msp\n",
              run.events[1].text);
}
