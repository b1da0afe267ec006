#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "runner/CrtProc.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
class CrtProcTest : public ::testing::Test
{
  protected:
    CrtProcTest()
    {
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", m_folder.Path() + L"\\");
    }
    std::string TraceBytes() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
};
} // namespace

TEST_F(CrtProcTest, StartsTheNamedProgramInTheWorkingDirectory)
{
    wchar_t commandLine[] = L"cmd.exe /c cd > where.txt & exit 7";
    PROCESS_INFORMATION process = {};
    ASSERT_EQ(0u, CrtProc(commandLine, process, m_folder.Path()));
    ASSERT_TRUE(process.hProcess && process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(7u, exitCode);
    std::wstring folder = m_folder.Path();
    EXPECT_EQ(std::string(folder.begin(), folder.end()) + "\r\n",
              ReadFileBytes(m_folder / L"where.txt"));
}

TEST_F(CrtProcTest, FailedStartTracesTheErrorAndTheCommandLine)
{
    wchar_t commandLine[] = L"zapatch-missing-program.exe /qn";
    PROCESS_INFORMATION process = {};
    DWORD error = CrtProc(commandLine, process, m_folder.Path());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
    EXPECT_EQ(nullptr, process.hProcess);
    EXPECT_EQ(nullptr, process.hThread);
    std::string trace = TraceBytes();
    size_t first = trace.find("ERR\tpatch\t" + ErrorTextA("CrtProc", error));
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos,
              trace.find("ERR\tpatch\tCommand line: zapatch-missing-program.exe /qn", first));
}
