#include "e2e/EndToEnd.h"
#include "e2e/TraceLines.h"

#include "diag/ErrorText.h"

namespace
{
const std::wstring kPrepare = L"Patch version: 1.0.0.72\nPreparing for installation of patches.\n";
const std::wstring kInstallFail = L"Patch version: 1.0.0.72\nCannot install patches.\n";
constexpr char kRegisterInvisible[] = "sysSendMsg 1 ae5e2ea3 1002 0 type 229000 value 1 pid ";
constexpr char kRebootRequest[] = "sysSendMsg 1 64e52db8 0 0 null 0";

class DispatchTest : public EndToEndTest
{
  protected:
    DispatchTest()
    {
        // The localization settings name a folder without patcher.loc: built-in texts, and no
        // failure trace of their own in the way of the ones checked here.
        SetProductValue(L"Skin", m_product);
        SetProductValue(L"Localization", L"en");
    }

    std::string InstallCommandLine(const std::string& files) const
    {
        return "msiexec.exe /qn /lv+* \"" + Narrow(m_traceFolder) +
               "\\ZAPatchMSI.log\" /update \"" + files +
               "\" INSTALLONREBOOT=1 SKIPUNINSTALLDRIVERS=1 SKIPINSTALLDRIVERS=1\n";
    }

    // The run failed as the entry reports failures: its one failure trace comes last of the
    // failure traces, one error event, exit code 1.
    static void ExpectFailure(const CProgramRun& run, const std::string& failure)
    {
        EXPECT_EQ(1u, run.exitCode) << run.trace;
        std::vector<std::string> failures = TraceTexts(run.trace, "ERR");
        ASSERT_FALSE(failures.empty()) << run.trace;
        EXPECT_EQ(failure, failures.back()) << run.trace;
        EXPECT_EQ(1, CountOf(run.trace, "\t" + failure + "\r\n")) << run.trace;
        EXPECT_FALSE(Contains(run.trace, "finished successfully")) << run.trace;
        ASSERT_FALSE(run.events.empty());
        EXPECT_EQ(EVENTLOG_ERROR_TYPE, run.events.back().type);
        EXPECT_EQ(kInstallFail, run.events.back().text);
        for (size_t i = 0; i + 1 < run.events.size(); ++i)
            EXPECT_NE(EVENTLOG_ERROR_TYPE, run.events[i].type);
    }
};
} // namespace

TEST_F(DispatchTest, NoOptionsInstallsNowWithPrepareAndSuccessEvents)
{
    AddPatch(L"a.msp", 1, L"B");
    AddPatch(L"b.msp", 2, L"C");
    CProgramRun run = Run(L"");

    EXPECT_EQ(0u, run.exitCode) << run.trace;
    std::vector<std::string> milestones = TraceTexts(run.trace, "ALW");
    EXPECT_EQ((std::vector<std::string>{"ZOREN Patch Manager 1.0.0.72 started",
                                        "ZOREN Patch Manager finished successfully"}),
              milestones);
    EXPECT_EQ(InstallCommandLine("a.msp;b.msp"), MsiexecCommandLines());
    EXPECT_EQ((std::vector<std::wstring>{Code(1), Code(2)}), m_installer.AppliedPatches());
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
    ASSERT_EQ(2u, run.events.size());
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, run.events[0].type);
    EXPECT_EQ(kPrepare, run.events[0].text);
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, run.events[1].type);
    EXPECT_EQ(L"Patch version: 1.0.0.72\nPatches installed successfully:\na.msp\nb.msp\n",
              run.events[1].text);
    EXPECT_TRUE(Contains(ServiceJournal(), kRegisterInvisible)) << ServiceJournal();
    EXPECT_FALSE(Contains(ServiceJournal(), kRebootRequest)) << ServiceJournal();
    EXPECT_TRUE(TraceTexts(run.trace, "ERR").empty()) << run.trace;
}

TEST_F(DispatchTest, IgnoreAllWithUninstallAllNowOnlyChangesTheStateFile)
{
    AddPatch(L"a.msp", 1);
    AddPatch(L"b.msp", 2);
    m_installer.SetAppliedPatches({Code(2)});
    CProgramRun run = Run(L"/ignore all /uninstall all /when now");

    EXPECT_EQ(0u, run.exitCode) << run.trace;
    EXPECT_TRUE(Contains(StateFile(), State(1, "ignored"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
    EXPECT_EQ((std::vector<std::wstring>{Code(2)}), m_installer.AppliedPatches());
    EXPECT_EQ("", MsiexecCommandLines());
    EXPECT_TRUE(ShutdownScripts().empty());
    EXPECT_TRUE(run.events.empty());
    EXPECT_TRUE(Contains(run.trace, "CPatchRunner::RunPublicPatch: CMD has parameter /ignore"));
    EXPECT_TRUE(Contains(run.trace, "CPatchRunner::RunPublicPatch: Config-ini updated."));
    EXPECT_TRUE(Contains(run.trace, "ZOREN Patch Manager finished successfully"));
}

TEST_F(DispatchTest, IgnoreWithoutValueIsAsIfAbsent)
{
    AddPatch(L"a.msp", 1);
    CProgramRun run = Run(L"/ignore \"\" /when now");

    EXPECT_EQ(0u, run.exitCode) << run.trace;
    EXPECT_TRUE(Contains(run.trace, "CPatchRunner::RunPublicPatch: CMD has parameter /ignore"));
    EXPECT_FALSE(Contains(run.trace, "Config-ini updated.")) << run.trace;
    EXPECT_EQ(InstallCommandLine("a.msp"), MsiexecCommandLines());
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
    ASSERT_EQ(2u, run.events.size());
    EXPECT_EQ(kPrepare, run.events[0].text);
}

TEST_F(DispatchTest, WhenIsCaseSensitive)
{
    AddPatch(L"a.msp", 1);
    CProgramRun run = Run(L"/when Now");

    std::vector<std::string> failures = TraceTexts(run.trace, "ERR");
    ASSERT_EQ(2u, failures.size()) << run.trace;
    EXPECT_EQ("CPatchRunner::RunPublicPatch: \"" + Narrow(ProgramPath()) + "\" /when Now",
              failures[0]);
    ExpectFailure(run, "CPatchRunner::RunPublicPatch: value of parameter /when");
    EXPECT_EQ(1u, run.events.size());
    EXPECT_EQ("", MsiexecCommandLines());
    EXPECT_TRUE(Contains(StateFile(), State(1, "not_installed"))) << StateFile();
}

TEST_F(DispatchTest, CleanHappensBeforeAnUnknownWhenFails)
{
    AddPatch(L"a.msp", 1);
    ASSERT_EQ(0u, Run(L"/when reboot").exitCode);
    ASSERT_EQ(1u, ShutdownScripts().size());

    CProgramRun run = Run(L"/clean /when later");

    ExpectFailure(run, "CPatchRunner::RunPublicPatch: value of parameter /when");
    EXPECT_TRUE(ShutdownScripts().empty());
    EXPECT_FALSE(Contains(ScriptsIni(), "CmdLine")) << ScriptsIni();
    EXPECT_EQ("", MsiexecCommandLines());
}

TEST_F(DispatchTest, ReinstallOfACodeNoFileDeclaresFails)
{
    AddPatch(L"a.msp", 1);
    CProgramRun run = Run(L"/reinstall " + Code(1) + L";" + Code(9));

    std::vector<std::string> failures = TraceTexts(run.trace, "ERR");
    ASSERT_EQ(2u, failures.size()) << run.trace;
    EXPECT_EQ("CPatchManager::GetMSPNamesByGUIDs: Patch with GUID = " + Narrow(Code(9)) +
                  " not found",
              failures[0]);
    ExpectFailure(run, ErrorTextA("CPatchManager::GetMSPNamesByGUIDs", ERROR_PATH_NOT_FOUND));
    EXPECT_EQ("", MsiexecCommandLines());
    ASSERT_EQ(2u, run.events.size());
    EXPECT_EQ(kPrepare, run.events[0].text);
}

TEST_F(DispatchTest, ReinstallAllInstallsEveryFileWhateverItsState)
{
    AddPatch(L"a.msp", 1);
    AddPatch(L"b.msp", 2);
    AddPatch(L"c.msp", 3);
    m_installer.SetAppliedPatches({Code(1)});
    ASSERT_EQ(0u, Run(L"/ignore " + Code(3)).exitCode);
    CProgramRun run = Run(L"/reinstall all");

    EXPECT_EQ(0u, run.exitCode) << run.trace;
    EXPECT_TRUE(Contains(run.trace, "Getting all available MSP")) << run.trace;
    std::string commandLine = MsiexecCommandLines();
    for (const char* file : {"a.msp", "b.msp", "c.msp"})
        EXPECT_TRUE(Contains(commandLine, file)) << commandLine;
    EXPECT_EQ(1, CountOf(commandLine, "/update")) << commandLine;
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(3, "installed"))) << StateFile();
}

// The product is not installed: the catalogue cannot be built, so neither can the runner.
TEST_F(DispatchTest, FailureWhileTheRunnerIsBuiltEndsWithOneEntryTraceAndOneErrorEvent)
{
    DeleteFileW(m_installer.StatePath().c_str());
    CProgramRun run = Run(L"/when now");

    std::vector<std::string> failures = TraceTexts(run.trace, "ERR");
    ASSERT_EQ(2u, failures.size()) << run.trace;
    EXPECT_TRUE(failures[0].starts_with("GetProductCodeByUpgradeCode: Can't get product code"))
        << failures[0];
    EXPECT_TRUE(failures[1].starts_with("GetProductCodeByUpgradeCode: ")) << failures[1];
    ExpectFailure(run, failures[1]);
    EXPECT_EQ(1u, run.events.size());
    EXPECT_TRUE(Contains(run.trace, "ZOREN Patch Manager 1.0.0.72 started"));
    EXPECT_FALSE(Contains(run.trace, "CPatchRunner::CPatchRunner: Created.")) << run.trace;
}

// Without "ProductRoot" the service link fails first; the event source cannot be registered
// either, so the failure reaches only the trace and the exit code.
TEST_F(DispatchTest, MissingProductRootFailsWithoutAnEvent)
{
    DeleteProductValue(L"ProductRoot");
    CProgramRun run = Run(L"");

    EXPECT_EQ(1u, run.exitCode) << run.trace;
    std::vector<std::string> failures = TraceTexts(run.trace, "ERR");
    ASSERT_FALSE(failures.empty()) << run.trace;
    EXPECT_TRUE(failures[0].starts_with("CUsingOMX::CUsingOMX: ")) << run.trace;
    EXPECT_EQ(1, CountOf(run.trace, "\tCUsingOMX::CUsingOMX: ")) << run.trace;
    EXPECT_TRUE(Contains(run.trace, "CEventLog::Report: Message provider not registered"));
    EXPECT_FALSE(Contains(run.trace, "finished successfully")) << run.trace;
    EXPECT_TRUE(run.events.empty());
}
