#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "runner/PatchRunner.h"
#include "runner/MakeRunner.h"
#include "support/EventOutput.h"
#include "support/InstallerStandin.h"
#include "support/FailureOf.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace
{

// Patch codes in ascending order, so that the catalogue hands out new files in this order.
std::wstring Code(int i)
{
    wchar_t code[40];
    swprintf(code, 40, L"{%08d-0000-0000-0000-000000000000}", i);
    return code;
}

class PatchRunnerRunTest : public ::testing::Test
{
  protected:
    PatchRunnerRunTest()
    {
        m_installer.InstallProduct(kSampleProduct);
        CRegistrySandbox::SetString(kEnvironmentKey, L"ProductRoot", m_folder.Path());
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", m_folder.Path() + L"\\");
        CreateDirectoryW(m_patches.c_str(), nullptr);
        m_installer.SetSwitch(L"MSIEXEC_CMDLINE", m_folder / L"cmdline.txt");
        m_installer.SetSwitch(L"MSIEXEC_CWD", m_folder / L"cwd.txt");
    }
    void AddPatch(const std::wstring& name, int code, std::optional<std::wstring> description)
    {
        CInstallerStandin::WritePatch(m_patches + L"\\" + name, Code(code), description);
    }
    static void SetHotfixes(const std::wstring& value)
    {
        CRegistrySandbox::SetString(kDataKey, L"ProductHotfix", value);
    }
    std::string Trace() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }
    bool Traced(const std::string& text) const { return Trace().find(text) != std::string::npos; }
    std::string MsiexecCommandLines() const { return ReadFileBytes(m_folder / L"cmdline.txt"); }
    std::string LogOption() const
    {
        std::wstring path = m_folder / L"ZAPatchMSI.log";
        return " /lv+* \"" + std::string(path.begin(), path.end()) + "\"";
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CInstallerStandin m_installer{m_folder.Path()};
    std::wstring m_patches = m_folder / L"Patches";
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}
} // namespace

TEST_F(PatchRunnerRunTest, InstallsTheFilesThatAreNotOlderAndReportsThem)
{
    if (!IsEventChild())
    {
        std::vector<CReportedEvent> events = RunCurrentTestForEvents();
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, events[0].type);
        EXPECT_EQ(0x40021237u, events[0].id);
        EXPECT_EQ(L"Patch version: 1.0.0.72\nPatches installed successfully:\ng.msp\nf.msp\n"
                  L"fa.msp\nnone.msp\npfz.msp\npu.msp\n",
                  events[0].text);
        return;
    }
    SetHotfixes(L"F");
    AddPatch(L"g.msp", 1, L"pu:G");
    AddPatch(L"e.msp", 2, L"E");
    AddPatch(L"f.msp", 3, L"F");
    AddPatch(L"fa.msp", 4, L"FA");
    AddPatch(L"eg.msp", 5, L"EG");
    AddPatch(L"none.msp", 6, std::nullopt);
    AddPatch(L"pfz.msp", 7, L"pu:pfZ");
    AddPatch(L"pu.msp", 8, L"pu:");
    MakeRunner().ApplyPublicPachesNow();

    EXPECT_EQ("msiexec.exe /qn" + LogOption() +
                  " /update \"g.msp;f.msp;fa.msp;none.msp;pfz.msp;pu.msp\" INSTALLONREBOOT=1 "
                  "SKIPUNINSTALLDRIVERS=1 SKIPINSTALLDRIVERS=1\n",
              MsiexecCommandLines());
    EXPECT_EQ(Narrow(m_patches) + "\n", ReadFileBytes(m_folder / L"cwd.txt"));
    EXPECT_EQ((std::vector<std::wstring>{Code(1), Code(3), Code(4), Code(6), Code(7), Code(8)}),
              m_installer.AppliedPatches());
    EXPECT_TRUE(FileExists(m_folder / L"ZAPatchMSI.log"));
    EXPECT_TRUE(Traced("Will install public patch 'g.msp' with letter 'G'"));
    EXPECT_TRUE(Traced("Checking patch 'EG' (size 2) against patch 'F' (size 1)"));
    EXPECT_TRUE(Traced("Will install private patch 'none.msp' with letter ''"));
    EXPECT_TRUE(Traced("Will install private patch 'pfz.msp' with letter 'pfZ'"));
    EXPECT_TRUE(Traced("Will install public patch 'pu.msp' with letter 'pu:'"));
    EXPECT_TRUE(Traced("Checking patch '" + Narrow(m_patches) + "\\g.msp' with id 'pu:G'"));
    EXPECT_TRUE(Traced("6 total patches to install"));
    EXPECT_TRUE(Traced("MSIEXEC exit code: 0x0"));
    EXPECT_TRUE(Traced("CPatchRunner::ApplyPublicPachesNow: Patches applied"));
}

TEST_F(PatchRunnerRunTest, NothingChosenRunsNoMsiexecButReportsSuccess)
{
    if (!IsEventChild())
    {
        std::vector<CReportedEvent> events = RunCurrentTestForEvents();
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(L"Patch version: 1.0.0.72\nPatches installed successfully.\n", events[0].text);
        return;
    }
    SetHotfixes(L"E..K.");
    AddPatch(L"g.msp", 1, L"G");
    AddPatch(L"fg.msp", 2, L"FG");
    MakeRunner().ApplyPublicPachesNow();

    EXPECT_FALSE(FileExists(m_folder / L"cmdline.txt"));
    EXPECT_TRUE(Traced("The installed patches are 'E..K.'"));
    EXPECT_TRUE(Traced("2 installed patches found"));
    EXPECT_TRUE(Traced("2 installed public patches found"));
    EXPECT_TRUE(Traced("patch 'K'"));
    EXPECT_TRUE(Traced("Checking patch 'G' (size 1) against patch 'K' (size 1)"));
    EXPECT_TRUE(Traced("0 total patches to install"));
}

TEST_F(PatchRunnerRunTest, AnInstalledPrivateHotfixStopsEverySilently)
{
    if (!IsEventChild())
    {
        EXPECT_TRUE(RunCurrentTestForEvents().empty());
        return;
    }
    AddPatch(L"g.msp", 1, L"G");
    SetHotfixes(L"A.pfX");
    MakeRunner().ApplyPublicPachesNow();
    EXPECT_TRUE(Traced("1 installed private patches found. Skipping installing public patch ... "));
    EXPECT_FALSE(FileExists(m_folder / L"cmdline.txt"));
    EXPECT_TRUE(m_installer.AppliedPatches().empty());
}

TEST_F(PatchRunnerRunTest, TwoLetterPfHotfixIsPublic)
{
    AddPatch(L"pg.msp", 1, L"pg");
    SetHotfixes(L"pf");
    MakeRunner().ApplyPublicPachesNow();
    EXPECT_TRUE(Traced("1 installed public patches found"));
    EXPECT_TRUE(Traced("Will install public patch 'pg.msp' with letter 'pg'"));
    EXPECT_EQ(std::vector<std::wstring>{Code(1)}, m_installer.AppliedPatches());
}

TEST_F(PatchRunnerRunTest, RestartCodesCountAsSuccess)
{
    for (const wchar_t* code : {L"1641", L"3010"})
    {
        m_installer.SetAppliedPatches({});
        AddPatch(L"a.msp", 1, L"A");
        m_installer.SetSwitch(L"MSIEXEC_EXIT", code);
        EXPECT_EQ("no failure",
                  FailureOf([] { MakeRunner(L"/reinstall all").ApplyPublicPachesNow(); }));
        EXPECT_EQ(std::vector<std::wstring>{Code(1)}, m_installer.AppliedPatches());
    }
    EXPECT_TRUE(Traced("MSIEXEC exit code: 0x669"));
    EXPECT_TRUE(Traced("MSIEXEC exit code: 0xBC2"));
}

TEST_F(PatchRunnerRunTest, FailedInstallationRaisesTheExitCodeAndReportsNothing)
{
    if (!IsEventChild())
    {
        EXPECT_TRUE(RunCurrentTestForEvents().empty());
        return;
    }
    AddPatch(L"a.msp", 1, L"A");
    m_installer.SetSwitch(L"MSIEXEC_EXIT", L"1603");
    EXPECT_EQ(ErrorTextA("CPatchRunner::ApplyPublicPachesNow", 1603),
              FailureOf([] { MakeRunner().ApplyPublicPachesNow(); }));
    EXPECT_TRUE(Traced("MSIEXEC exit code: 0x643"));
    EXPECT_FALSE(Traced("Patches applied"));
}

TEST_F(PatchRunnerRunTest, RunSelectionFollowsReinstall)
{
    AddPatch(L"a.msp", 1, L"A");
    AddPatch(L"b.msp", 2, L"B");
    m_installer.SetAppliedPatches({Code(1)});
    StringList names;
    MakeRunner().GetMSPNamesForRun(names);
    EXPECT_EQ(StringList{L"b.msp"}, names);
    EXPECT_TRUE(Traced("Getting MSP from config"));

    MakeRunner(L"/reinstall all").GetMSPNamesForRun(names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((StringList{L"a.msp", L"b.msp"}), names);
    EXPECT_TRUE(Traced("Getting all available MSP"));

    std::wstring list = L"/reinstall " + Code(2) + L";;" + Code(1) + L";";
    MakeRunner(list.c_str()).GetMSPNamesForRun(names);
    EXPECT_EQ((StringList{L"b.msp", L"a.msp"}), names);
    EXPECT_TRUE(Traced("Getting selected MSP"));
}

TEST_F(PatchRunnerRunTest, UninstallsAllInstalledPatchesWithOneMsiexec)
{
    if (!IsEventChild())
    {
        EXPECT_TRUE(RunCurrentTestForEvents().empty());
        return;
    }
    m_installer.SetAppliedPatches({Code(1), Code(2)});
    m_installer.SetSwitch(L"MSIEXEC_EXIT", L"3010");
    MakeRunner(L"/uninstall all").UninstallPublicPachesNow();

    EXPECT_EQ("msiexec.exe /package " + Narrow(kSampleProduct) + " /uninstall " + Narrow(Code(1)) +
                  ";" + Narrow(Code(2)) + LogOption() + " /qn INSTALLONREBOOT=1\n",
              MsiexecCommandLines());
    EXPECT_EQ(Narrow(m_patches) + "\n", ReadFileBytes(m_folder / L"cwd.txt"));
    EXPECT_TRUE(m_installer.AppliedPatches().empty());
    EXPECT_TRUE(Traced("CPatchRunner::UninstallPublicPachesNow: Patches uninstalled."));
}

TEST_F(PatchRunnerRunTest, UninstallListIsPassedAsWritten)
{
    m_installer.SetAppliedPatches({Code(1), Code(2)});
    std::wstring list = L"/uninstall " + Code(2) + L";;";
    MakeRunner(list.c_str()).UninstallPublicPachesNow();
    EXPECT_EQ(std::vector<std::wstring>{Code(1)}, m_installer.AppliedPatches());

    EXPECT_EQ(ErrorTextA("CPatchRunner::UninstallPublicPachesNow", 1647),
              FailureOf([] { MakeRunner(L"/uninstall ALL").UninstallPublicPachesNow(); }));
    EXPECT_NE(std::string::npos, MsiexecCommandLines().find(" /uninstall ALL /lv+* "));
}

// msiexec.exe ends with 1618 while another installation is in progress: the same command line
// runs again after 20 seconds, at most three more times, for installing and uninstalling alike.
TEST_F(PatchRunnerRunTest, BusyInstallerIsWaitedForABoundedTime)
{
    static std::vector<DWORD> waits;
    auto recordWait = [](DWORD milliseconds) { waits.push_back(milliseconds); };
    std::wstring busyRuns = m_folder / L"busy.txt";
    m_installer.SetSwitch(L"MSIEXEC_BUSY", busyRuns);
    AddPatch(L"a.msp", 1, L"A");
    WriteFileBytes(busyRuns, "2");
    MakeRunner(L"", recordWait).ApplyPublicPachesNow();
    EXPECT_EQ((std::vector<DWORD>{20000, 20000}), waits);
    EXPECT_EQ(std::vector<std::wstring>{Code(1)}, m_installer.AppliedPatches());
    std::string line = MsiexecCommandLines().substr(0, MsiexecCommandLines().find('\n') + 1);
    EXPECT_EQ(line + line + line, MsiexecCommandLines());
    EXPECT_TRUE(Traced("ERR\tpatch\tCPatchRunner::ApplyPublicPachesNow: Another installation is "
                       "in progress (run 2 of 4). Run msiexec again in 20 seconds."));

    waits.clear();
    WriteFileBytes(busyRuns, "9");
    EXPECT_EQ(ErrorTextA("CPatchRunner::UninstallPublicPachesNow", 1618), FailureOf([&] {
                  MakeRunner(L"/uninstall all", recordWait).UninstallPublicPachesNow();
              }));
    EXPECT_EQ(3u, waits.size());
    EXPECT_EQ("5\n", ReadFileBytes(busyRuns)) << "four runs";
    EXPECT_EQ(std::vector<std::wstring>{Code(1)}, m_installer.AppliedPatches());
}

TEST_F(PatchRunnerRunTest, MsiexecThatCannotStartFailsTheRun)
{
    m_installer.SetAppliedPatches({Code(1)});
    CPatchRunner runner = MakeRunner(L"/uninstall all");
    RemoveTree(m_patches);
    std::string failure = FailureOf([&] { runner.UninstallPublicPachesNow(); });
    EXPECT_EQ(0u, failure.find("CPatchRunner::UninstallPublicPachesNow: ")) << failure;
    std::string trace = Trace();
    size_t start = trace.find("ERR\tpatch\tCrtProc: ");
    ASSERT_NE(std::string::npos, start);
    EXPECT_NE(std::string::npos,
              trace.find("ERR\tpatch\tCommand line: msiexec.exe /package ", start));
    EXPECT_FALSE(FileExists(m_folder / L"cmdline.txt"));
}
