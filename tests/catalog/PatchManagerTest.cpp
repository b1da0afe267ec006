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
constexpr wchar_t kProduct[] = L"{11111111-2222-3333-4444-555555555555}";
constexpr wchar_t kA[] = L"{0A1B2C3D-4E5F-6A7B-8C9D-A0B1C2D3E4F5}";
constexpr wchar_t kB[] = L"{1B2C3D4E-5F6A-7B8C-9DA0-B1C2D3E4F5A6}";
constexpr wchar_t kC[] = L"{2C3D4E5F-6A7B-8C9D-A0B1-C2D3E4F5A6B7}";

class PatchManagerTest : public ::testing::Test
{
  protected:
    PatchManagerTest()
    {
        SetCurrentDirectoryW(m_folder.Path().c_str());
        CreateDirectoryW(Patches().c_str(), nullptr);
        m_installer.InstallProduct(kProduct);
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
    EXPECT_EQ(kProduct, catalog->GetProductCode());
}

TEST_F(PatchManagerTest, PatchCodeLivesFromNewToInstalledToIgnored)
{
    AddPatch(L"a.msp", kB);
    AddPatch(L"b.msp", kA);
    auto catalog = Open();
    EXPECT_EQ((SectionMap{{kA, L"not_installed"}, {kB, L"not_installed"}}), States());
    StringList names;
    catalog->GetMSPNamesToInstall(names);
    EXPECT_EQ((StringList{L"b.msp", L"a.msp"}), names); // in the order of their codes

    m_installer.SetAppliedPatches({kA, kC}); // kC was applied without a file here
    catalog.reset();
    EXPECT_EQ((SectionMap{{kA, L"installed"}, {kB, L"not_installed"}, {kC, L"installed"}}),
              States());
    EXPECT_NE(std::string::npos,
              Trace().find("CPatchManager::~CPatchManager: config-ini updated successfully."));

    m_installer.SetAppliedPatches({kC});
    catalog = Open();
    EXPECT_EQ((SectionMap{{kA, L"ignored"}, {kB, L"not_installed"}, {kC, L"installed"}}), States());
    EXPECT_TRUE(catalog->IsPatchInstalled(kC));
    EXPECT_FALSE(catalog->IsPatchInstalled(kA));

    AddPatch(L"new.msp", kA); // a new file with an ignored code stays ignored
    catalog->GetMSPNamesToInstall(names);
    EXPECT_EQ((StringList{L"a.msp"}), names);
    EXPECT_EQ(L"ignored", States()[kA]);
}

TEST_F(PatchManagerTest, IgnoresListedCodesButNeverInstalledOnes)
{
    AddPatch(L"a.msp", kA);
    AddPatch(L"b.msp", kB);
    m_installer.SetAppliedPatches({kC});
    auto catalog = Open();
    std::wstring lowerA = L"{0a1b2c3d-4e5f-6a7b-8c9d-a0b1c2d3e4f5}";
    catalog->IgnorePatches(std::wstring(L";") + kB + L";;" + kC + L";" + lowerA + L";{UNKNOWN};");
    EXPECT_EQ((SectionMap{{kA, L"not_installed"},
                          {kB, L"ignored"},
                          {kC, L"installed"},
                          {lowerA, L"ignored"},
                          {L"{UNKNOWN}", L"ignored"}}),
              States());
}

TEST_F(PatchManagerTest, IgnoresAllButInstalledAndKeepsOddValuesOtherwise)
{
    AddPatch(L"a.msp", kA);
    WriteFileBytes(StateFile(), "[PATCHES_STATE]\r\n{ODD}=maybe\r\n");
    m_installer.SetAppliedPatches({kC});
    auto catalog = Open();
    EXPECT_EQ(L"maybe", States()[L"{ODD}"]);
    StringList names;
    catalog->GetMSPNamesToInstall(names);
    EXPECT_EQ((StringList{L"a.msp"}), names);

    catalog->IgnoreAllPatches();
    EXPECT_EQ((SectionMap{{kA, L"ignored"}, {kC, L"installed"}, {L"{ODD}", L"ignored"}}), States());
}

TEST_F(PatchManagerTest, CodesAreComparedExactly)
{
    AddPatch(L"a.msp", kA);
    AddPatch(L"b.msp", kB);
    auto catalog = Open();
    StringList names{L"stale"};
    catalog->GetMSPNamesByGUIDs({kB, kA}, names);
    EXPECT_EQ((StringList{L"b.msp", L"a.msp"}), names);

    std::wstring lowerA = L"{0a1b2c3d-4e5f-6a7b-8c9d-a0b1c2d3e4f5}";
    EXPECT_EQ(ErrorTextA("CPatchManager::GetMSPNamesByGUIDs", ERROR_PATH_NOT_FOUND), FailureOf([&] {
                  catalog->GetMSPNamesByGUIDs({kB, lowerA}, names);
              }));
    EXPECT_EQ((StringList{L"b.msp"}), names);
    EXPECT_NE(std::string::npos,
              Trace().find("CPatchManager::GetMSPNamesByGUIDs: Patch with GUID = "
                           "{0a1b2c3d-4e5f-6a7b-8c9d-a0b1c2d3e4f5} not found"));
}

TEST_F(PatchManagerTest, LaterFileWinsForTheSameCode)
{
    AddPatch(L"x.msp", kA);
    AddPatch(L"y.msp", kA);
    auto catalog = Open();
    SectionMap map;
    catalog->GetMSPsGUIDsMap({L"x.msp", L"y.msp"}, map);
    EXPECT_EQ((SectionMap{{kA, L"y.msp"}}), map);
    catalog->GetMSPsGUIDsMap({L"y.msp", L"x.msp"}, map);
    EXPECT_EQ((SectionMap{{kA, L"x.msp"}}), map);
}

TEST_F(PatchManagerTest, UnreadablePatchFailsTheUpdateAndLeavesTheFile)
{
    AddPatch(L"a.msp", kA);
    auto catalog = Open();
    std::string before = ReadFileBytes(StateFile());
    AddPatch(L"b.msp", kB);
    m_installer.SetSwitch(L"MSI_UNOPENABLE", L"b.msp");
    m_installer.SetAppliedPatches({kA});
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
    AddPatch(L"a.msp", kA);
    auto catalog = Open();
    DeleteFileW((Patches() + L"\\a.msp").c_str());
    StringList names;
    EXPECT_EQ(ErrorTextA("CPatchManager::GetMSPNamesByGUIDs", ERROR_PATH_NOT_FOUND),
              FailureOf([&] { catalog->GetMSPNamesToInstall(names); }));
    catalog->IgnorePatches(kA);
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
              FailureOf([&] { catalog->IsPatchInstalled(kA); }));
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
