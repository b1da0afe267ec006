#include "e2e/EndToEnd.h"
#include "e2e/TraceLines.h"

#include "catalog/Handles.h"

namespace
{
constexpr wchar_t kMutexName[] = L"Global\\PATCHER_7C0B52E4-19AF-4d36-B8E2-5D4F06A1C93B";
// Standard output in text mode: every line feed is written as CR LF.
constexpr char kUsageText[] =
    "\r\nZOREN Patch Manager parameters:\r\n"
    "\t[/when now] - apply patch now\r\n"
    "\t[/when reboot] - apply patch at reboot\r\n"
    "\t\tdefault: /when now\r\n"
    "\t[/reinstall all] - reinstall all patches\r\n"
    "\t[/reinstall <PatchCodeGuid1>;[PatchCodeGuid;] - reinstall patches with GUID\r\n"
    "\t[/uninstall all] - uninstall all installed patches\r\n"
    "\t[/uninstall <PatchCodeGuid1>;[PatchCodeGuid;] - uninstall patches with GUID\r\n"
    "\t[/ignore all] - ignore all new and not installed patches\r\n"
    "\t[/ignore <PatchCodeGuid1>;[PatchCodeGuid;] - ignore patches with GUID\r\n"
    "\t[/showui] - show user interface during installation\r\n"
    "Press 'Enter' to return...\r\n";

class UsageTest : public EndToEndTest
{
  protected:
    UsageTest() { AddPatch(L"a.msp", 1); }

    // No service link, no runner, no catalogue, no installer, no registration, no event.
    void ExpectNothingPerformed(const CProgramRun& run) const
    {
        EXPECT_EQ(0u, run.exitCode) << run.trace;
        EXPECT_FALSE(Contains(run.trace, "started")) << run.trace;
        EXPECT_FALSE(Contains(run.trace, "finished")) << run.trace;
        EXPECT_FALSE(Contains(run.trace, "CUsingOMX")) << run.trace;
        EXPECT_FALSE(Contains(run.trace, "CPatchRunner")) << run.trace;
        EXPECT_EQ("", ServiceJournal());
        EXPECT_EQ("", StateFile());
        EXPECT_EQ("", MsiexecCommandLines());
        EXPECT_TRUE(ShutdownScripts().empty());
        EXPECT_TRUE(run.events.empty());
    }
};
} // namespace

// Started by another Wine program with its output in a file, the program finds its parent's
// console taken and can allocate none: the text goes to the standard output it was given.
TEST_F(UsageTest, HelpInCapitalsPrintsTheUsageAndPerformsNothing)
{
    CProgramRun run = Run(L"/HELP");
    ExpectNothingPerformed(run);
    EXPECT_EQ(kUsageText, run.standardOutput);
    std::vector<CTraceLine> lines = TraceLines(run.trace);
    ASSERT_EQ(4u, lines.size()) << run.trace;
    EXPECT_EQ("Starting ZOREN Patch Manager 1.0.0.72", lines[0].text);
    EXPECT_EQ("NTF", lines[0].level);
    EXPECT_EQ("Parse CMD line: /HELP", lines[1].text);
    EXPECT_EQ("CConsoleOutput::Enable: Parent console already used.", lines[2].text);
    EXPECT_EQ("NTF", lines[2].level);
    EXPECT_EQ("CConsoleOutput::Enable: Cann't allocate new console.", lines[3].text);
    EXPECT_EQ("ERR", lines[3].level);
}

TEST_F(UsageTest, HelpAmongOtherOptionsPerformsNothing)
{
    for (const wchar_t* arguments :
         {L"/when reboot /uninstall all /help /ignore all", L"/reinstall all /? /when now"})
    {
        CProgramRun run = Run(arguments);
        ExpectNothingPerformed(run);
        EXPECT_EQ(kUsageText, run.standardOutput);
    }
}

TEST_F(UsageTest, SecondInstanceOnlyTracesThatTheFirstRuns)
{
    CKernelHandle first(CreateMutexW(nullptr, FALSE, kMutexName));
    ASSERT_TRUE(first);
    CProgramRun run = Run(L"/when now");
    ExpectNothingPerformed(run);
    std::vector<CTraceLine> lines = TraceLines(run.trace);
    ASSERT_EQ(1u, lines.size()) << run.trace;
    EXPECT_EQ("ZOREN Patcher or Patch Manager is already running", lines[0].text);
    EXPECT_EQ("NTF", lines[0].level);
    EXPECT_TRUE(Contains(run.trace, "===Slim Node patcher trace file===")) << run.trace;
}
