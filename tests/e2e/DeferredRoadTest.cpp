#include "e2e/EndToEnd.h"
#include "e2e/FaultChecks.h"
#include "support/PolicyKeys.h"
#include "e2e/TraceLines.h"

#include "catalog/RegistryUtils.h"

namespace
{
const std::wstring kMirrorScriptKey = std::wstring(kScriptsMirrorKey) + L"\\0\\0";
constexpr char kRebootMessages[] =
    "sysSendMsg 1 64e52db8 0 0 null 0\nsysSendMsg 1 2937151d c1d5efa5 0 null 0\n";

class DeferredRoadTest : public EndToEndTest
{
  protected:
    using Scripts = std::vector<std::pair<std::wstring, std::wstring>>;

    static std::wstring MirroredScript()
    {
        std::vector<wchar_t> script;
        if (RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kMirrorScriptKey.c_str(), L"Script",
                                   script) != ERROR_SUCCESS)
            return L"(none)";
        return script.data();
    }

    // Registered, mirrored and listed in scripts.ini with these parameters, and the service told
    // that the machine must restart.
    void ExpectScheduled(const std::wstring& parameters) const
    {
        EXPECT_EQ((Scripts{{ProgramPath(), parameters}}), ShutdownScripts());
        EXPECT_EQ(ProgramPath(), MirroredScript());
        std::string ini = ScriptsIni();
        EXPECT_TRUE(Contains(ini, "[Shutdown]\r\n0CmdLine=" + Narrow(ProgramPath()) +
                                      "\r\n0Parameters=" + Narrow(parameters) + "\r\n"))
            << ini;
        EXPECT_TRUE(Contains(ServiceJournal(), kRebootMessages)) << ServiceJournal();
        EXPECT_EQ("", MsiexecCommandLines());
    }

    void ExpectNothingScheduled(const CProgramRun& run) const
    {
        EXPECT_EQ(0u, run.exitCode) << run.trace;
        EXPECT_TRUE(ShutdownScripts().empty());
        EXPECT_EQ(L"(none)", MirroredScript());
        EXPECT_FALSE(Contains(ScriptsIni(), "CmdLine")) << ScriptsIni();
        EXPECT_FALSE(Contains(ServiceJournal(), "64e52db8")) << ServiceJournal();
        EXPECT_TRUE(run.events.empty());
        EXPECT_EQ("", MsiexecCommandLines());
    }

    // The registered script run as the machine's shutdown runs it.
    CProgramRun RunAtShutdown()
    {
        Scripts scripts = ShutdownScripts();
        EXPECT_EQ(1u, scripts.size());
        return RunCommandLine(scripts.at(0).first + L" " + scripts.at(0).second);
    }
};
} // namespace

// For a 32-bit program system32 is syswow64 while redirection is on: scripts.ini must land in the
// real system folder all the same, with redirection switched off and on again around the write.
TEST_F(DeferredRoadTest, ScriptsIniLandsInTheRealSystemFolder)
{
    wchar_t windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    m_windows = windows;
    const std::wstring ini = L"\\GroupPolicy\\Machine\\Scripts\\scripts.ini";
    auto removeInis = [&] {
        for (const wchar_t* system : {L"\\system32", L"\\syswow64"})
            DeleteFileW((m_windows + system + ini).c_str());
    };
    removeInis();
    AddPatch(L"a.msp", 1);
    CProgramRun run = Run(L"/when reboot");
    ExpectScheduled(L"/when now /clean ");
    EXPECT_FALSE(FileExists(m_windows + L"\\syswow64" + ini));
    if (Is32BitProgram())
    {
        EXPECT_TRUE(Contains(run.trace, "FS WOW64 redirection disabled TRUE")) << run.trace;
        EXPECT_TRUE(Contains(run.trace, "FS WOW64 redirection enabled TRUE")) << run.trace;
    }
    removeInis();
}

TEST_F(DeferredRoadTest, RebootRegistersTheScriptAndTheShutdownRunInstalls)
{
    AddPatch(L"a.msp", 1, L"B");
    AddPatch(L"b.msp", 2, L"C");
    CProgramRun request = Run(L"/when reboot");

    EXPECT_EQ(0u, request.exitCode) << request.trace;
    ExpectScheduled(L"/when now /clean ");
    ASSERT_EQ(1u, request.events.size());
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, request.events[0].type);
    EXPECT_EQ(
        L"Patch version: 1.0.0.72\nPatches will be installed when the operating system restarts.\n",
        request.events[0].text);
    EXPECT_TRUE(Contains(StateFile(), State(1, "not_installed"))) << StateFile();
    EXPECT_TRUE(Contains(request.trace, "ZOREN Patch Manager finished successfully"));

    CProgramRun shutdown = RunAtShutdown();

    EXPECT_EQ(0u, shutdown.exitCode) << shutdown.trace;
    EXPECT_TRUE(ShutdownScripts().empty());
    EXPECT_EQ(L"(none)", MirroredScript());
    EXPECT_FALSE(Contains(ScriptsIni(), "CmdLine")) << ScriptsIni();
    std::string commandLine = MsiexecCommandLines();
    EXPECT_TRUE(Contains(commandLine, " /update \"a.msp;b.msp\" INSTALLONREBOOT=1")) << commandLine;
    EXPECT_EQ((std::vector<std::wstring>{Code(1), Code(2)}), m_installer.AppliedPatches());
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
    EXPECT_TRUE(Contains(StateFile(), State(2, "installed"))) << StateFile();
    ASSERT_EQ(2u, shutdown.events.size());
    EXPECT_TRUE(Contains(Narrow(shutdown.events[0].text), "Preparing for installation"));
    EXPECT_EQ(L"Patch version: 1.0.0.72\nPatches installed successfully:\na.msp\nb.msp\n",
              shutdown.events[1].text);
    // The registration is gone before anything is installed.
    EXPECT_LT(shutdown.trace.find("CShutdownScript::Delete"),
              shutdown.trace.find("Run msiexec. CMD:"));
    EXPECT_TRUE(Contains(shutdown.trace, "ZOREN Patch Manager finished successfully"));
}

TEST_F(DeferredRoadTest, RebootWithNothingToInstallSchedulesNothing)
{
    AddPatch(L"a.msp", 1);
    m_installer.SetAppliedPatches({Code(1)});
    CProgramRun run = Run(L"/when reboot");

    ExpectNothingScheduled(run);
    EXPECT_TRUE(Contains(run.trace, "CPatchRunner::RunPublicPatch: Nothing to install."));
}

TEST_F(DeferredRoadTest, RebootUninstallAllIsScheduledWithNothingInstalled)
{
    AddPatch(L"a.msp", 1);
    CProgramRun run = Run(L"/when reboot /uninstall all");

    EXPECT_EQ(0u, run.exitCode) << run.trace;
    ExpectScheduled(L"/uninstall all /when now /clean ");
    EXPECT_TRUE(run.events.empty());
}

TEST_F(DeferredRoadTest, RebootUninstallListIsScheduledWhenOnlyItsLastCodeIsInstalled)
{
    for (int code : {1, 2, 3})
        AddPatch(std::wstring(1, static_cast<wchar_t>(L'a' + code - 1)) + L".msp", code);
    m_installer.SetAppliedPatches({Code(3)});
    std::wstring list = Code(1) + L";" + Code(2) + L";" + Code(3);
    CProgramRun run = Run(L"/when reboot /uninstall " + list);

    EXPECT_EQ(0u, run.exitCode) << run.trace;
    ExpectScheduled(L"/uninstall " + list + L" /when now /clean ");
    EXPECT_TRUE(run.events.empty());
}

// An option value with a double quote must not swallow /clean: the shutdown run removes its own
// registration and installs.
TEST_F(DeferredRoadTest, ShutdownRunWithAQuotedValueRemovesItsRegistration)
{
    AddPatch(L"a.msp", 1);
    ExpectSuccessfulRun(Run(L"/when reboot /showui a\\\"b"));
    ExpectScheduled(L"/showui \"a\\\"b\" /when now /clean ");

    CProgramRun shutdown = RunAtShutdown();

    EXPECT_EQ(0u, shutdown.exitCode) << shutdown.trace;
    EXPECT_TRUE(ShutdownScripts().empty());
    EXPECT_EQ((std::vector<std::wstring>{Code(1)}), m_installer.AppliedPatches());
}
