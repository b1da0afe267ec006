#pragma once

// End-to-end tests run the real ZAPatch.exe beside the stand-ins (msi.dll, msiexec.exe,
// ltremote.dll, omx.exe) in build/win64. A child process sees the prefix's real registry, so the
// fixture writes the product's keys there and removes them, the Group Policy script keys and
// the event source again at both ends; these tests run one at a time.
//
// The same tests run the 32-bit programs in build/win32 under Wine's wow64 mode: the
// environment names the program under test (ZAPATCH_E2E_PROGRAM, relative to the test program)
// and, for the shipped program, whose service waits are real, asks for the product's service to
// be running before each run (ZAPATCH_E2E_SERVICE_RUNNING). Where 32-bit code does not run
// here, every test of a 32-bit program reports itself skipped.

#include "support/EventOutput.h"
#include "support/InstallerStandin.h"
#include "support/Sandbox.h"

#include "catalog/ProductKeys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct CProgramRun
{
    DWORD exitCode = static_cast<DWORD>(-1);
    std::vector<CReportedEvent> events;
    std::string trace; // what this run added to ZAPatch.log
    std::string standardOutput;
};

class EndToEndTest : public ::testing::Test
{
  public:
    static std::wstring ProgramPath();
    static bool Is32BitProgram();
    // KEY_WOW64_32KEY or KEY_WOW64_64KEY: the view in which the program under test finds its
    // keys under HKEY_LOCAL_MACHINE\Software.
    static REGSAM ProgramView();

  protected:
    EndToEndTest();
    ~EndToEndTest() override;
    void SetUp() override;

    // Runs ZAPatch.exe with the arguments (after the program path) and the extra settings.
    CProgramRun Run(const std::wstring& arguments, const std::vector<std::wstring>& settings = {});
    // Runs a command line exactly as given (for example one read back from a script key).
    CProgramRun RunCommandLine(const std::wstring& commandLine,
                               const std::vector<std::wstring>& settings = {});

    static std::wstring Code(int i); // {0000000i-0000-0000-0000-000000000000}, ascending with i
    // The state file's line for Code(code), without its line end.
    static std::string State(int code, const char* state);

    // A patch file in the patches folder declaring Code(code) with the letter as Description.
    void AddPatch(const std::wstring& name, int code, const std::wstring& letter = L"A") const;
    std::string StateFile() const { return ReadFileBytes(m_patches + L"\\Patches.ini"); }
    std::string MsiexecCommandLines() const
    {
        return ReadFileBytes(m_root / L"msiexec-cmdline.txt");
    }
    std::string ServiceJournal() const { return ReadFileBytes(m_root / L"ltremote.txt"); }
    std::string ScriptsIni() const;
    // The registered shutdown scripts: "Script" and "Parameters" of each script key, in order.
    static std::vector<std::pair<std::wstring, std::wstring>> ShutdownScripts();

    static void SetProductValue(const std::wstring& name, const std::wstring& value);
    static void DeleteProductValue(const std::wstring& name, const wchar_t* key = kEnvironmentKey);

    CTempFolder m_root;
    std::wstring m_product = m_root / L"Product";
    std::wstring m_patches = m_product + L"\\Patches";
    std::wstring m_traceFolder = m_root / L"Trace";
    std::wstring m_windows = m_root / L"Windows";
    CInstallerStandin m_installer{m_root.Path()};

  private:
    static void RemoveMachineState();
    static void StartServiceUnlessRunning();
    size_t m_traceSeen = 0;
};

std::string Narrow(const std::wstring& text);
bool Contains(const std::string& text, const std::string& part);
