#include "e2e/FaultChecks.h"
#include "e2e/TraceLines.h"
#include "support/WineStartFailure.h"

#include "catalog/Handles.h"

#include <algorithm>
#include <array>

// Two patch managers started at the same moment. Whether or not their runs overlap (a 32-bit
// process may finish before the other has started), the patch is applied once and recorded, both
// end with 0, and each traces its own start and end: either a whole run, or that it found the
// other running.

namespace
{
// The messages that the process whose main thread has this id wrote.
std::vector<std::string> MessagesOf(DWORD thread, const std::string& trace)
{
    std::vector<std::string> messages;
    for (const CTraceLine& line : TraceLines(trace))
        if (line.thread == thread)
            messages.push_back(line.text);
    return messages;
}

bool IsWholeRunOrFoundTheOther(const std::vector<std::string>& messages)
{
    if (messages.size() == 1)
        return messages[0] == "ZOREN Patcher or Patch Manager is already running";
    // The tear-down traces after the run's last milestone.
    return !messages.empty() && Contains(messages.front(), "Starting ZOREN Patch Manager") &&
           std::ranges::count(messages, "ZOREN Patch Manager finished successfully") == 1;
}
} // namespace

using SingleInstanceTest = EndToEndTest;

TEST_F(SingleInstanceTest, OfTwoManagersStartedTogetherExactlyOneWorks)
{
    AddPatch(L"a.msp", 1);
    std::array<PROCESS_INFORMATION, 2> started = {};
    for (PROCESS_INFORMATION& process : started)
    {
        std::wstring commandLine = L"\"" + ProgramPath() + L"\" /when now";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(Started(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                           CREATE_SUSPENDED, nullptr, m_root.Path().c_str(),
                                           &startup, &process),
                            commandLine));
    }
    for (PROCESS_INFORMATION& process : started)
        ResumeThread(process.hThread);
    std::array<DWORD, 2> exitCodes = {};
    for (size_t i = 0; i < started.size(); ++i)
    {
        CKernelHandle process(started[i].hProcess);
        CKernelHandle thread(started[i].hThread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 60000));
        GetExitCodeProcess(process.Get(), &exitCodes[i]);
    }

    std::string trace = ReadFileBytes(m_traceFolder + L"\\ZAPatch.log");
    for (size_t i = 0; i < started.size(); ++i)
    {
        EXPECT_EQ(0u, exitCodes[i]) << trace;
        EXPECT_TRUE(IsWholeRunOrFoundTheOther(MessagesOf(started[i].dwThreadId, trace)))
            << "process " << i << ", thread " << started[i].dwThreadId << ":\n"
            << trace;
    }
    EXPECT_EQ(1, CountOf(MsiexecCommandLines(), "/update")) << MsiexecCommandLines();
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
}
