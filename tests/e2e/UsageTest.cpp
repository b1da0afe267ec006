#include "e2e/EndToEnd.h"
#include "e2e/TraceLines.h"

#include "catalog/Handles.h"

namespace
{
constexpr wchar_t kMutexName[] = L"Global\\PATCHER_7C0B52E4-19AF-4d36-B8E2-5D4F06A1C93B";

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

// Started with its output in a file, the program finds no console of its parent to borrow; the
// console it then allocates is invisible under Wine and cannot be opened as "CONOUT$".
TEST_F(UsageTest, HelpInCapitalsPrintsTheUsageAndPerformsNothing)
{
    CProgramRun run = Run(L"/HELP");
    ExpectNothingPerformed(run);
    std::vector<CTraceLine> lines = TraceLines(run.trace);
    ASSERT_EQ(5u, lines.size()) << run.trace;
    EXPECT_EQ("Starting ZOREN Patch Manager 1.0.0.72", lines[0].text);
    EXPECT_EQ("NTF", lines[0].level);
    EXPECT_EQ("Parse CMD line: /HELP", lines[1].text);
    EXPECT_EQ("CConsoleOutput::Enable: Cann't attach to parent console. Error code: 6",
              lines[2].text);
    EXPECT_EQ("NTF", lines[2].level);
    EXPECT_TRUE(lines[3].text.starts_with("CConsoleOutput::Enable: Error: Cannot reopen stdout ("))
        << lines[3].text;
    EXPECT_EQ("ERR", lines[3].level);
    EXPECT_EQ("CConsoleOutput::Enable: Output to console successfully enabled.", lines[4].text);
    EXPECT_EQ("NTF", lines[4].level);
}

TEST_F(UsageTest, HelpAmongOtherOptionsPerformsNothing)
{
    ExpectNothingPerformed(Run(L"/when reboot /uninstall all /help /ignore all"));
    ExpectNothingPerformed(Run(L"/reinstall all /? /when now"));
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
