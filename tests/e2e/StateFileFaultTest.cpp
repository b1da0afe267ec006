#include "e2e/FaultChecks.h"
#include "e2e/TraceLines.h"

#include "catalog/Handles.h"

#include <algorithm>
#include <filesystem>
#include <set>

// Faults of the patches folder, the state file and the trace folder, end to end.

class StateFileFaultTest : public EndToEndTest
{
  protected:
    StateFileFaultTest()
    {
        AddPatch(L"a.msp", 1);
        AddPatch(L"b.msp", 2);
        AddPatch(L"c.msp", 3); // new since the earlier run: the state must change
        WriteFileBytes(StatePath(), m_earlierState);
    }

    // What an earlier run recorded: one patch ignored, which a lost state file would forget.
    const std::string m_earlierState =
        StateFileText(Narrow(Code(1)) + "=ignored\r\n" + Narrow(Code(2)) + "=not_installed\r\n");

    std::wstring StatePath() const { return m_patches + L"\\Patches.ini"; }

    void ExpectNothingInstalled() const
    {
        EXPECT_TRUE(MsiexecCommandLines().empty()) << MsiexecCommandLines();
        EXPECT_TRUE(m_installer.AppliedPatches().empty());
    }

    std::set<std::wstring> PatchesFolderNames() const
    {
        std::set<std::wstring> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_patches))
            names.insert(entry.path().filename().wstring());
        return names;
    }

    // Before the failure, whose text it repeats, an error line names the file that support must
    // replace.
    static void ExpectUnreadableFileNamed(const CProgramRun& run, const std::wstring& path)
    {
        const std::string failure = "CPatchManager::GetMSPsGUIDsMap: ";
        const std::string naming = failure + "Can't read the patch code of " + Narrow(path) + ": ";
        std::vector<std::string> errors = TraceTexts(run.trace, "ERR");
        auto named = std::find_if(errors.begin(), errors.end(), [&naming](const std::string& text) {
            return text.starts_with(naming);
        });
        ASSERT_NE(errors.end(), named) << run.trace;
        EXPECT_NE(errors.end(),
                  std::find(named, errors.end(), failure + named->substr(naming.size())))
            << run.trace;
    }
};

// A replace cut short can leave the state file's flushed copy and no state file: the copy is the
// state file, so the patch recorded as ignored stays ignored, and no copy stays behind.
TEST_F(StateFileFaultTest, CopyLeftWithoutTheStateFileIsTheStateFile)
{
    ASSERT_TRUE(MoveFileW(StatePath().c_str(), (StatePath() + L".new").c_str()));
    CProgramRun run = Run(L"/when now");
    ExpectSuccessfulRun(run);
    EXPECT_EQ((std::vector<std::wstring>{Code(2), Code(3)}), m_installer.AppliedPatches());
    EXPECT_TRUE(Contains(StateFile(), State(1, "ignored"))) << StateFile();
    EXPECT_EQ((std::set<std::wstring>{L"Patches.ini", L"a.msp", L"b.msp", L"c.msp"}),
              PatchesFolderNames());
}

TEST_F(StateFileFaultTest, ReadOnlyStateFileFailsTheRunAndStaysAsItWas)
{
    ASSERT_TRUE(SetFileAttributesW(StatePath().c_str(), FILE_ATTRIBUTE_READONLY));
    if (CFileHandle(
            CreateFileW(StatePath().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)))
    {
        SetFileAttributesW(StatePath().c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "Wine running as root writes read-only files";
    }
    CProgramRun run = Run(L"/when now");
    SetFileAttributesW(StatePath().c_str(), FILE_ATTRIBUTE_NORMAL);
    ExpectFailedRun(run, "CConfigManager::SetSection: ");
    EXPECT_EQ(m_earlierState, StateFile());
    ExpectNothingInstalled();
}

TEST_F(StateFileFaultTest, StateFileHeldWithoutSharingFailsTheRunAndStaysAsItWas)
{
    CFileHandle held(CreateFileW(StatePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    CProgramRun run = Run(L"/when now");
    held.Reset();
    ExpectFailedRun(run, "CConfigManager::");
    EXPECT_EQ(m_earlierState, StateFile());
    ExpectNothingInstalled();
}

TEST_F(StateFileFaultTest, NotAPatchPackageFailsEveryCatalogueOperation)
{
    WriteFileBytes(m_patches + L"\\broken.msp", "this is no patch package\r\n");
    for (const wchar_t* arguments : {L"/when now", L"/when reboot", L"/ignore all"})
    {
        CProgramRun run = Run(arguments);
        ExpectFailedRun(run, "CPatchManager::GetMSPsGUIDsMap: ");
        ExpectUnreadableFileNamed(run, m_patches + L"\\broken.msp");
        EXPECT_EQ(m_earlierState, StateFile()) << Narrow(arguments);
    }
    ExpectNothingInstalled();
    EXPECT_TRUE(ShutdownScripts().empty());
}

class PatchesFolderFaultTest : public EndToEndTest
{
};

// A file that takes the folder's name counts as the folder; the state file beneath it cannot
// be written, and the run fails before anything is installed.
TEST_F(PatchesFolderFaultTest, FileInPlaceOfThePatchesFolderFailsTheRun)
{
    RemoveTree(m_patches);
    WriteFileBytes(m_patches, "not a folder");
    CProgramRun run = Run(L"/when now");
    ExpectFailedRun(run, "CConfigManager::SetSection: ");
    EXPECT_EQ("not a folder", ReadFileBytes(m_patches));
    EXPECT_TRUE(MsiexecCommandLines().empty());
}

// With no patch there is nothing to record: the folder is made, and the state file holds no entry
// (Windows writes the empty section, Wine no file at all).
TEST_F(PatchesFolderFaultTest, MissingPatchesFolderIsCreated)
{
    RemoveTree(m_patches);
    CProgramRun run = Run(L"/when now");
    ExpectSuccessfulRun(run);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesW(m_patches.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(Contains(StateFile(), "=")) << StateFile();
}

// A cleanup tool may delete the trace folder: the run makes it again, so that neither the trace
// nor the installer's log (without which Windows Installer ends with 1622) is lost.
TEST_F(PatchesFolderFaultTest, MissingTraceFolderIsMadeAgain)
{
    AddPatch(L"a.msp", 1);
    RemoveTree(m_traceFolder);
    CProgramRun run = Run(L"/when now");
    ExpectSuccessfulRun(run);
    EXPECT_EQ(0u, run.trace.find("\r\n===Slim Node patcher trace file===\r\n")) << run.trace;
    EXPECT_TRUE(Contains(ReadFileBytes(m_traceFolder + L"\\ZAPatchMSI.log"), "msiexec stand-in"));
    EXPECT_EQ(std::vector<std::wstring>{Code(1)}, m_installer.AppliedPatches());
    EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << StateFile();
}

// The file recorded "not_installed" is gone when the deferred run comes: that run fails with
// the "not found" failure, its registration removed, and the record stays for a later run.
TEST_F(PatchesFolderFaultTest, PatchRemovedBeforeTheDeferredRunFailsIt)
{
    AddPatch(L"a.msp", 1);
    AddPatch(L"b.msp", 2);
    ExpectSuccessfulRun(Run(L"/when reboot"));
    auto scripts = ShutdownScripts();
    ASSERT_EQ(1u, scripts.size());
    std::string recorded = StateFile();
    ASSERT_TRUE(Contains(recorded, State(1, "not_installed"))) << recorded;

    DeleteFileW((m_patches + L"\\a.msp").c_str());
    CProgramRun run = RunCommandLine(L"\"" + scripts[0].first + L"\" " + scripts[0].second);
    ExpectFailedRun(run, "CPatchManager::GetMSPNamesByGUIDs: ");
    EXPECT_TRUE(Contains(run.trace, "Patch with GUID = " + Narrow(Code(1)) + " not found"));
    EXPECT_EQ(recorded, StateFile());
    EXPECT_TRUE(MsiexecCommandLines().empty());
    EXPECT_TRUE(ShutdownScripts().empty());
    EXPECT_TRUE(Contains(ScriptsIni(), "[Shutdown]")) << ScriptsIni();
    EXPECT_FALSE(Contains(ScriptsIni(), "CmdLine")) << ScriptsIni();
}
