#include "catalog/FileSystemUtils.h"
#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "runner/PatchRunner.h"
#include "runner/MakeRunner.h"
#include "support/InstallerStandin.h"
#include "support/FailureOf.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{

class PatchRunnerSetupTest : public ::testing::Test
{
  protected:
    PatchRunnerSetupTest() { m_installer.InstallProduct(kSampleProduct); }
    static void SetEnvironment(const std::wstring& name, const std::wstring& value)
    {
        CRegistrySandbox::SetString(kEnvironmentKey, name, value);
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CInstallerStandin m_installer{m_folder.Path()};
};
} // namespace

TEST_F(PatchRunnerSetupTest, ProductFolderAlwaysEndsInASeparator)
{
    SetEnvironment(L"ProductRoot", L"C:\\Prod");
    EXPECT_EQ(L"C:\\Prod\\", GetProductFolder());
    SetEnvironment(L"ProductRoot", L"C:\\Prod\\");
    EXPECT_EQ(L"C:\\Prod\\", GetProductFolder());
    SetEnvironment(L"ProductRoot", L"C:\\Prod/");
    EXPECT_EQ(L"C:\\Prod/", GetProductFolder());
    SetEnvironment(L"ProductRoot", L"");
    EXPECT_EQ(L"\\", GetProductFolder());
}

TEST_F(PatchRunnerSetupTest, BuildsThePatchesFolderAndStatePathFromProductRoot)
{
    const std::wstring root = m_folder / L"Prod";
    for (const std::wstring& productRoot : {root, root + L"\\", root + L"/"})
    {
        SetEnvironment(L"ProductRoot", productRoot);
        CPatchRunner runner = MakeRunner();
        std::wstring folder = productRoot.back() == L'/' ? productRoot : root + L"\\";
        EXPECT_EQ(folder, runner.GetProductFolderPath());
        EXPECT_EQ(folder + L"Patches", runner.GetPatchesFolder());
        EXPECT_EQ(folder + L"Patches\\Patches.ini", runner.GetStateFilePath());
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
                  GetFileAttributesW((root + L"\\Patches").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        RemoveTree(root);
    }
}

TEST_F(PatchRunnerSetupTest, ExistingPatchesFolderIsNoFailure)
{
    SetEnvironment(L"TraceRoot", m_folder.Path() + L"\\");
    SetEnvironment(L"ProductRoot", m_folder.Path());
    CreateDirectoryW((m_folder / L"Patches").c_str(), nullptr);
    MakeRunner();
    std::string trace = ReadFileBytes(m_folder / L"ZAPatch.log");
    std::wstring patches = m_folder / L"Patches";
    EXPECT_NE(std::string::npos,
              trace.find("NTF\tpatch\tCPatchRunner::CPatchRunner: Create " +
                         std::string(patches.begin(), patches.end()) + " folder for patches."));
    EXPECT_NE(std::string::npos, trace.find("NTF\tpatch\tCPatchRunner::CPatchRunner: Created."));
}

TEST_F(PatchRunnerSetupTest, FailuresNameTheirOperation)
{
    WriteFileBytes(m_folder / L"file", "");
    std::wstring blocked = m_folder / L"file";
    DWORD status = CreateDirRecurs((blocked + L"\\Patches").c_str());
    ASSERT_NE(0u, status);
    SetEnvironment(L"ProductRoot", blocked);
    EXPECT_EQ(ErrorTextA("CPatchRunner::CPatchRunner", status), FailureOf([] { MakeRunner(); }));

    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"ProductRoot");
    EXPECT_EQ(ErrorTextA("GetProductFolder", ERROR_FILE_NOT_FOUND),
              FailureOf([] { MakeRunner(); }));
}
