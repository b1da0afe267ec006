#include "e2e/EndToEnd.h"

TEST_F(EndToEndTest, NoOptionsInstallsTheNewPatchesNow)
{
    AddPatch(L"a.msp", 1);
    AddPatch(L"b.msp", 2);
    CProgramRun run = Run(L"");
    EXPECT_EQ(0u, run.exitCode) << run.trace;
    EXPECT_TRUE(Contains(run.trace, "ZOREN Patch Manager finished successfully")) << run.trace;
    EXPECT_TRUE(Contains(MsiexecCommandLines(), "/update \"a.msp;b.msp\""))
        << MsiexecCommandLines();
    EXPECT_TRUE(Contains(StateFile(), Narrow(Code(1)) + "=installed")) << StateFile();
    ASSERT_EQ(2u, run.events.size());
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, run.events[0].type);
    EXPECT_TRUE(Contains(ServiceJournal(), "sysSendMsg")) << ServiceJournal();
}
