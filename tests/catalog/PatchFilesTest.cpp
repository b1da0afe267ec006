#include "catalog/PatchFiles.h"
#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "support/InstallerStandin.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace
{

class PatchFilesTest : public ::testing::Test
{
  protected:
    PatchFilesTest() { SetCurrentDirectoryW(m_folder.Path().c_str()); }
    std::string Trace() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }
    size_t JournalCount(const std::wstring& function) const
    {
        auto lines = m_installer.JournalLines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::wstring& line) {
            return line.starts_with(function + L" ");
        });
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CInstallerStandin m_installer{m_folder.Path()};
};
} // namespace

TEST_F(PatchFilesTest, ListsBareNamesOfPatchFilesOnly)
{
    WriteFileBytes(m_folder / L"a.msp", "");
    WriteFileBytes(m_folder / L"b.MSP", "");
    WriteFileBytes(m_folder / L"d.txt", "");
    CreateDirectoryW((m_folder / L"c.msp").c_str(), nullptr);
    StringList names{L"kept"};
    FindMSPFiles(m_folder.Path(), names);
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ((StringList{L"kept", L"a.msp", L"b.MSP"}), names);

    FindMSPFiles(m_folder / L"missing", names);
    EXPECT_EQ(3u, names.size());
}

TEST_F(PatchFilesTest, ReadsThePatchCodeUpperCased)
{
    CInstallerStandin::WritePatchXml(
        m_folder / L"a.msp", L"<MsiPatch patchguid=\"{0a1b2c3d-4e5f-6a7b-8c9d-a0b1c2d3e4f5}\""
                             L" SchemaVersion=\"1\"/>");
    std::wstring code = L"stale";
    EXPECT_EQ(0u, GetMSPPatchGUID(m_folder / L"a.msp", code));
    EXPECT_EQ(kSampleCodeA, code);
    std::wstring path = m_folder / L"a.msp";
    EXPECT_NE(std::string::npos,
              Trace().find("GetMSPPatchGUID: Patch " + std::string(path.begin(), path.end()) +
                           " GUID = {0A1B2C3D-4E5F-6A7B-8C9D-A0B1C2D3E4F5}"));
    EXPECT_EQ(2u, JournalCount(L"MsiExtractPatchXMLDataW"));
}

TEST_F(PatchFilesTest, ScansQuotesAfterTheAttribute)
{
    struct Case
    {
        const wchar_t* xml;
        const wchar_t* code;
    };
    for (Case c : {Case{L"<P PatchGUID = x PatchGUID= \"{ab}\"", L"{AB}"},
                   Case{L"<P PatchGUID=\"{open", L"{OPEN"}, Case{L"<P PatchGUID=nothing", L""}})
    {
        CInstallerStandin::WritePatchXml(m_folder / L"p.msp", c.xml);
        std::wstring code = L"stale";
        EXPECT_EQ(0u, GetMSPPatchGUID(m_folder / L"p.msp", code)) << c.xml;
        EXPECT_EQ(c.code, code) << c.xml;
    }
}

TEST_F(PatchFilesTest, ReportsFilesThatAreNoPatchOrNameNoCode)
{
    WriteFileBytes(m_folder / L"text.msp", "just text");
    std::wstring code = L"earlier";
    EXPECT_NE(0u, GetMSPPatchGUID(m_folder / L"text.msp", code));
    EXPECT_EQ(L"earlier", code);
    EXPECT_NE(0u, GetMSPPatchGUID(m_folder / L"missing.msp", code));
    EXPECT_EQ(L"earlier", code);

    CInstallerStandin::WritePatchXml(m_folder / L"nocode.msp", L"<MsiPatch/>");
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS),
              GetMSPPatchGUID(m_folder / L"nocode.msp", code));
    EXPECT_EQ(L"", code);
    EXPECT_EQ(std::string::npos, Trace().find("GUID ="));
}

TEST_F(PatchFilesTest, FindsTheProductByItsUpgradeCode)
{
    m_installer.InstallProduct(kSampleProduct);
    EXPECT_EQ(kSampleProduct, GetProductCodeByUpgradeCode(kProductUpgradeCode));

    m_installer.SetSwitch(L"MSI_NO_PRODUCT", L"1");
    try
    {
        GetProductCodeByUpgradeCode(kProductUpgradeCode);
        FAIL() << "no failure";
    }
    catch (const std::logic_error& failure)
    {
        EXPECT_EQ(ErrorTextA("GetProductCodeByUpgradeCode", ERROR_NO_MORE_ITEMS), failure.what());
    }
    EXPECT_NE(std::string::npos,
              Trace().find("GetProductCodeByUpgradeCode: Can't get product code by upgrade code = "
                           "<{5A2F7D10-3E64-4B8C-9F01-A7C3E28D4B65}>."));
}

TEST_F(PatchFilesTest, EnumeratesAppliedPatchesAndRetriesLongTransforms)
{
    m_installer.InstallProduct(kSampleProduct);
    StringList codes{L"stale"};
    EXPECT_EQ(0u, EnumProductPatches(kSampleProduct, codes));
    EXPECT_TRUE(codes.empty());

    m_installer.SetAppliedPatches({kSampleCodeB, kSampleCodeA});
    m_installer.SetSwitch(L"MSI_LONG_TRANSFORMS", L"1");
    m_installer.ClearJournal();
    EXPECT_EQ(0u, EnumProductPatches(kSampleProduct, codes));
    EXPECT_EQ((StringList{kSampleCodeB, kSampleCodeA}), codes);
    // Each index is asked once too small and once again; then the end.
    EXPECT_EQ(5u, JournalCount(L"MsiEnumPatchesW"));
    EXPECT_EQ(2u, JournalCount(L"MsiEnumPatchesW " + std::wstring(kSampleProduct) + L" 0"));
}

TEST_F(PatchFilesTest, EnumerationFailureKeepsTheCodesFoundBefore)
{
    m_installer.InstallProduct(kSampleProduct, {kSampleCodeA, kSampleCodeB});
    m_installer.SetSwitch(L"MSI_ENUM_STATUS", L"1610@1");
    StringList codes;
    EXPECT_EQ(1610u, EnumProductPatches(kSampleProduct, codes));
    EXPECT_EQ((StringList{kSampleCodeA}), codes);
}

TEST_F(PatchFilesTest, SplitDropsEmptyPiecesAndTrimsNothing)
{
    StringList pieces{L"stale"};
    SplitString(L";A;;B;", L';', pieces);
    EXPECT_EQ((StringList{L"A", L"B"}), pieces);
    SplitString(L"", L';', pieces);
    EXPECT_TRUE(pieces.empty());
    SplitString(L"1.2.3", L'.', pieces);
    EXPECT_EQ((StringList{L"1", L"2", L"3"}), pieces);
    SplitString(L"{A}; {B}", L';', pieces);
    EXPECT_EQ((StringList{L"{A}", L" {B}"}), pieces);
}
