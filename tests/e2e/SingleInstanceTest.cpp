#include "e2e/FaultChecks.h"

#include "catalog/Handles.h"

#include <array>

// Two patch managers started at the same moment: one works, the other only traces that it
// found the first and ends with 0.

namespace
{
size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size())
        ++count;
    return count;
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
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                   CREATE_SUSPENDED, nullptr, m_root.Path().c_str(), &startup,
                                   &process));
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
    EXPECT_EQ(0u, exitCodes[0]) << trace;
    EXPECT_EQ(0u, exitCodes[1]) << trace;
    EXPECT_EQ(1u, Count(trace, "ZOREN Patcher or Patch Manager is already running")) << trace;
    EXPECT_EQ(1u, Count(trace, "Starting ZOREN Patch Manager")) << trace;
    EXPECT_EQ(1u, Count(trace, "ZOREN Patch Manager finished successfully")) << trace;
    EXPECT_EQ(1u, Count(MsiexecCommandLines(), "/update")) << MsiexecCommandLines();
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
}
