#include "catalog/ConfigManager.h"
#include "catalog/PatchManager.h"
#include "diag/ErrorText.h"
#include "support/InstallerStandin.h"
#include "support/FailureOf.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace
{

class PatchManagerTest : public ::testing::Test
{
  protected:
    PatchManagerTest()
    {
        SetCurrentDirectoryW(m_folder.Path().c_str());
        CreateDirectoryW(Patches().c_str(), nullptr);
        m_installer.InstallProduct(kSampleProduct);
    }

    std::wstring Patches() const { return m_folder / L"Patches"; }
    std::wstring StateFile() const { return Patches() + L"\\Patches.ini"; }
    std::string Trace() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }
    void AddPatch(const std::wstring& name, const std::wstring& code) const
    {
        CInstallerStandin::WritePatch(Patches() + L"\\" + name, code);
    }
    std::shared_ptr<CPatchManager> Open() const
    {
        return std::make_shared<CPatchManager>(m_folder.Path(), Patches(), StateFile(), false);
    }
    SectionMap States() const
    {
        SectionMap states;
        CConfigManager(StateFile().c_str()).GetSection(L"PATCHES_STATE", states);
        return states;
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CInstallerStandin m_installer{m_folder.Path()};
};
} // namespace

TEST_F(PatchManagerTest, EmptyFolderGivesAnEmptySectionAndNothingToInstall)
{
    auto catalog = Open();
    // Whether an empty section leaves a header behind is the platform's business.
    EXPECT_NE(std::string::npos,
              Trace().find("CConfigManager::SetSection: Set section 'PATCHES_STATE'"));
    EXPECT_TRUE(States().empty());
    StringList names{L"stale"};
    catalog->GetMSPNamesToInstall(names);
    EXPECT_TRUE(names.empty());
    EXPECT_NE(std::string::npos,
              Trace().find("CPatchManager::GetMSPNamesToInstall: 0 patches total"));
    EXPECT_NE(std::string::npos,
              Trace().find("CPatchManager::GetMSPNamesToInstall: 0 patches not installed"));
    EXPECT_EQ(kSampleProduct, catalog->GetProductCode());
}

TEST_F(PatchManagerTest, PatchCodeLivesFromNewToInstalledToIgnored)
{
    AddPatch(L"a.msp", kSampleCodeB);
    AddPatch(L"b.msp", kSampleCodeA);
    auto catalog = Open();
    EXPECT_EQ((SectionMap{{kSampleCodeA, L"not_installed"}, {kSampleCodeB, L"not_installed"}}),
              States());
    StringList names;
    catalog->GetMSPNamesToInstall(names);
    EXPECT_EQ((StringList{L"b.msp", L"a.msp"}), names); // in the order of their codes

    m_installer.SetAppliedPatches(
        {kSampleCodeA, kSampleCodeC}); // kSampleCodeC was applied without a file here
    catalog.reset();
    EXPECT_EQ((SectionMap{{kSampleCodeA, L"installed"},
                          {kSampleCodeB, L"not_installed"},
                          {kSampleCodeC, L"installed"}}),
              States());
    EXPECT_NE(std::string::npos,
              Trace().find("CPatchManager::~CPatchManager: config-ini updated successfully."));

    m_installer.SetAppliedPatches({kSampleCodeC});
    catalog = Open();
    EXPECT_EQ((SectionMap{{kSampleCodeA, L"ignored"},
                          {kSampleCodeB, L"not_installed"},
                          {kSampleCodeC, L"installed"}}),
              States());
    EXPECT_TRUE(catalog->IsPatchInstalled(kSampleCodeC));
    EXPECT_FALSE(catalog->IsPatchInstalled(kSampleCodeA));

    AddPatch(L"new.msp", kSampleCodeA); // a new file with an ignored code stays ignored
    catalog->GetMSPNamesToInstall(names);
    EXPECT_EQ((StringList{L"a.msp"}), names);
    EXPECT_EQ(L"ignored", States()[kSampleCodeA]);
}

TEST_F(PatchManagerTest, IgnoresListedCodesButNeverInstalledOnes)
{
    AddPatch(L"a.msp", kSampleCodeA);
    AddPatch(L"b.msp", kSampleCodeB);
    m_installer.SetAppliedPatches({kSampleCodeC});
    auto catalog = Open();
    std::wstring lowerA = L"{0a1b2c3d-4e5f-6a7b-8c9d-a0b1c2d3e4f5}";
    catalog->IgnorePatches(std::wstring(L";") + kSampleCodeB + L";;" + kSampleCodeC + L";" +
                           lowerA + L";{UNKNOWN};");
    EXPECT_EQ((SectionMap{{kSampleCodeA, L"not_installed"},
                          {kSampleCodeB, L"ignored"},
                          {kSampleCodeC, L"installed"},
                          {lowerA, L"ignored"},
                          {L"{UNKNOWN}", L"ignored"}}),
              States());
}

TEST_F(PatchManagerTest, IgnoresAllButInstalledAndKeepsOddValuesOtherwise)
{
    AddPatch(L"a.msp", kSampleCodeA);
    WriteFileBytes(StateFile(), "[PATCHES_STATE]\r\n{ODD}=maybe\r\n");
    m_installer.SetAppliedPatches({kSampleCodeC});
    auto catalog = Open();
    EXPECT_EQ(L"maybe", States()[L"{ODD}"]);
    StringList names;
    catalog->GetMSPNamesToInstall(names);
    EXPECT_EQ((StringList{L"a.msp"}), names);

    catalog->IgnoreAllPatches();
    EXPECT_EQ((SectionMap{{kSampleCodeA, L"ignored"},
                          {kSampleCodeC, L"installed"},
                          {L"{ODD}", L"ignored"}}),
              States());
}

TEST_F(PatchManagerTest, CodesAreComparedExactly)
{
    AddPatch(L"a.msp", kSampleCodeA);
    AddPatch(L"b.msp", kSampleCodeB);
    auto catalog = Open();
    StringList names{L"stale"};
    catalog->GetMSPNamesByGUIDs({kSampleCodeB, kSampleCodeA}, names);
    EXPECT_EQ((StringList{L"b.msp", L"a.msp"}), names);

    std::wstring lowerA = L"{0a1b2c3d-4e5f-6a7b-8c9d-a0b1c2d3e4f5}";
    EXPECT_EQ(ErrorTextA("CPatchManager::GetMSPNamesByGUIDs", ERROR_PATH_NOT_FOUND), FailureOf([&] {
                  catalog->GetMSPNamesByGUIDs({kSampleCodeB, lowerA}, names);
              }));
    EXPECT_EQ((StringList{L"b.msp"}), names);
    EXPECT_NE(std::string::npos,
              Trace().find("CPatchManager::GetMSPNamesByGUIDs: Patch with GUID = "
                           "{0a1b2c3d-4e5f-6a7b-8c9d-a0b1c2d3e4f5} not found"));
}

TEST_F(PatchManagerTest, LaterFileWinsForTheSameCode)
{
    AddPatch(L"x.msp", kSampleCodeA);
    AddPatch(L"y.msp", kSampleCodeA);
    auto catalog = Open();
    SectionMap map;
    catalog->GetMSPsGUIDsMap({L"x.msp", L"y.msp"}, map);
    EXPECT_EQ((SectionMap{{kSampleCodeA, L"y.msp"}}), map);
    catalog->GetMSPsGUIDsMap({L"y.msp", L"x.msp"}, map);
    EXPECT_EQ((SectionMap{{kSampleCodeA, L"x.msp"}}), map);
}

TEST_F(PatchManagerTest, UnreadablePatchFailsTheUpdateAndLeavesTheFile)
{
    AddPatch(L"a.msp", kSampleCodeA);
    auto catalog = Open();
    std::string before = ReadFileBytes(StateFile());
    AddPatch(L"b.msp", kSampleCodeB);
    m_installer.SetSwitch(L"MSI_UNOPENABLE", L"b.msp");
    m_installer.SetAppliedPatches({kSampleCodeA});
    EXPECT_EQ(ErrorTextA("CPatchManager::GetMSPsGUIDsMap", ERROR_PATCH_PACKAGE_OPEN_FAILED),
              FailureOf([&] { catalog->UpdateConfig(); }));
    EXPECT_EQ(before, ReadFileBytes(StateFile()));

    m_installer.SetSwitch(L"MSI_UNOPENABLE", L"");
    CInstallerStandin::WritePatchXml(Patches() + L"\\b.msp", L"<MsiPatch/>");
    EXPECT_EQ(ErrorTextA("CPatchManager::GetMSPsGUIDsMap", ERROR_NO_MORE_ITEMS),
              FailureOf([&] { catalog->UpdateConfig(); }));
}

TEST_F(PatchManagerTest, RemovedWaitingFileBlocksInstallationUntilIgnored)
{
    AddPatch(L"a.msp", kSampleCodeA);
    auto catalog = Open();
    DeleteFileW((Patches() + L"\\a.msp").c_str());
    StringList names;
    EXPECT_EQ(ErrorTextA("CPatchManager::GetMSPNamesByGUIDs", ERROR_PATH_NOT_FOUND),
              FailureOf([&] { catalog->GetMSPNamesToInstall(names); }));
    catalog->IgnorePatches(kSampleCodeA);
    catalog->GetMSPNamesToInstall(names);
    EXPECT_TRUE(names.empty());
}

TEST_F(PatchManagerTest, InstallerFailuresNameTheOperation)
{
    auto catalog = Open();
    m_installer.SetSwitch(L"MSI_ENUM_STATUS", L"1610");
    StringList codes;
    EXPECT_EQ(ErrorTextA("CPatchManager::GetInstalledPatchesGUIDs", 1610),
              FailureOf([&] { catalog->GetInstalledPatchesGUIDs(codes); }));
    EXPECT_EQ(ErrorTextA("CPatchManager::IsPatchInstalled", 1610),
              FailureOf([&] { catalog->IsPatchInstalled(kSampleCodeA); }));
    EXPECT_EQ(ErrorTextA("CPatchManager::UpdateConfig", 1610),
              FailureOf([&] { catalog->IgnoreAllPatches(); }));

    m_installer.SetSwitch(L"MSI_NO_PRODUCT", L"1");
    EXPECT_EQ(ErrorTextA("GetProductCodeByUpgradeCode", ERROR_NO_MORE_ITEMS),
              FailureOf([&] { Open(); }));
}

TEST_F(PatchManagerTest, DestructorTracesItsFailureAndGoesOn)
{
    auto catalog = Open();
    m_installer.SetSwitch(L"MSI_ENUM_STATUS", L"1610");
    EXPECT_NO_THROW(catalog.reset());
    std::string expected = "\tERR\tpatch\t" + ErrorTextA("CPatchManager::UpdateConfig", 1610);
    EXPECT_NE(std::string::npos, Trace().find(expected)) << Trace();
    EXPECT_EQ(std::string::npos, Trace().find("config-ini updated successfully"));
}
