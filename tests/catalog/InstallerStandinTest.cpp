// The contract of the Windows Installer stand-ins themselves, which every other test relies on.
#include "catalog/Handles.h"
#include "catalog/ProductKeys.h"
#include "support/WineStartFailure.h"
#include "support/InstallerStandin.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <msiquery.h>

namespace
{
constexpr wchar_t kQuery[] =
    L"SELECT `Property`, `Value` FROM `MsiPatchMetadata` WHERE `Property` = 'Description'";

class InstallerStandinTest : public ::testing::Test
{
  protected:
    InstallerStandinTest()
    {
        SetCurrentDirectoryW(m_folder.Path().c_str());
        m_installer.InstallProduct(kSampleProduct);
    }

    // Runs msiexec.exe as the program does: found by the system's search, in the given folder.
    DWORD RunMsiexec(std::wstring commandLine, const std::wstring& folder)
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                            NORMAL_PRIORITY_CLASS, nullptr, folder.c_str(), &startup, &process))
        {
            DWORD error = GetLastError();
            NoteWineStartFailure(error, commandLine);
            return error;
        }
        CKernelHandle thread(process.hThread), child(process.hProcess);
        WaitForSingleObject(child.Get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(child.Get(), &code);
        return code;
    }
    static std::vector<std::wstring> Lines(const std::wstring& path)
    {
        return standin::ReadLines(path).value_or(std::vector<std::wstring>());
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CInstallerStandin m_installer{m_folder.Path()};
};
} // namespace

TEST_F(InstallerStandinTest, PatchXmlFollowsTheBufferContract)
{
    CInstallerStandin::WritePatch(m_folder / L"a.msp", kSampleCodeA, L"G");
    std::wstring xml = standin::PatchXml(kSampleCodeA);
    DWORD chars = 0;
    ASSERT_EQ(0u, MsiExtractPatchXMLDataW((m_folder / L"a.msp").c_str(), 0, nullptr, &chars));
    EXPECT_EQ(xml.size(), chars);

    std::vector<wchar_t> buffer(10, L'x');
    chars = 10;
    EXPECT_EQ(static_cast<UINT>(ERROR_MORE_DATA),
              MsiExtractPatchXMLDataW((m_folder / L"a.msp").c_str(), 0, buffer.data(), &chars));
    EXPECT_EQ(xml.size(), chars);
    EXPECT_EQ(xml.substr(0, 9), buffer.data());

    buffer.assign(xml.size() + 1, L'x');
    chars = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(0u, MsiExtractPatchXMLDataW((m_folder / L"a.msp").c_str(), 0, buffer.data(), &chars));
    EXPECT_EQ(xml, buffer.data());
    EXPECT_EQ(xml.size(), chars);

    WriteFileBytes(m_folder / L"text.msp", "text");
    EXPECT_EQ(static_cast<UINT>(ERROR_PATCH_PACKAGE_INVALID),
              MsiExtractPatchXMLDataW((m_folder / L"text.msp").c_str(), 0, nullptr, &chars));
    m_installer.SetSwitch(L"MSI_UNOPENABLE", L"A.MSP");
    EXPECT_EQ(static_cast<UINT>(ERROR_PATCH_PACKAGE_OPEN_FAILED),
              MsiExtractPatchXMLDataW((m_folder / L"a.msp").c_str(), 0, nullptr, &chars));
}

TEST_F(InstallerStandinTest, DescriptionIsReadThroughTheOneKnownQuery)
{
    CInstallerStandin::WritePatch(m_folder / L"a.msp", kSampleCodeA, L"pu:G");
    CMsiHandle database, view, record;
    ASSERT_EQ(0u, MsiOpenDatabaseW((m_folder / L"a.msp").c_str(),
                                   MSIDBOPEN_READONLY + MSIDBOPEN_PATCHFILE, database.Put()));
    EXPECT_EQ(static_cast<UINT>(ERROR_BAD_QUERY_SYNTAX),
              MsiDatabaseOpenViewW(database.Get(), L"SELECT * FROM MsiPatchMetadata", view.Put()));
    ASSERT_EQ(0u, MsiDatabaseOpenViewW(database.Get(), kQuery, view.Put()));
    EXPECT_EQ(static_cast<UINT>(ERROR_FUNCTION_FAILED), MsiViewFetch(view.Get(), record.Put()));
    ASSERT_EQ(0u, MsiViewExecute(view.Get(), 0));
    ASSERT_EQ(0u, MsiViewFetch(view.Get(), record.Put()));

    DWORD chars = 0;
    EXPECT_EQ(0u, MsiRecordGetStringW(record.Get(), 2, nullptr, &chars));
    EXPECT_EQ(4u, chars);
    wchar_t value[8] = {};
    chars = 4;
    EXPECT_EQ(static_cast<UINT>(ERROR_MORE_DATA),
              MsiRecordGetStringW(record.Get(), 2, value, &chars));
    EXPECT_EQ(4u, chars);
    chars = 5;
    EXPECT_EQ(0u, MsiRecordGetStringW(record.Get(), 2, value, &chars));
    EXPECT_STREQ(L"pu:G", value);

    MSIHANDLE second = 0;
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS), MsiViewFetch(view.Get(), &second));
    MSIHANDLE closed = record.Release();
    EXPECT_EQ(0u, MsiCloseHandle(closed));
    EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_HANDLE), MsiCloseHandle(closed));
}

TEST_F(InstallerStandinTest, DatabaseOpensOnlyReadablePatchesReadOnly)
{
    CInstallerStandin::WritePatch(m_folder / L"a.msp", kSampleCodeA); // no Description
    CMsiHandle database, view, record;
    EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_PARAMETER),
              MsiOpenDatabaseW((m_folder / L"a.msp").c_str(), MSIDBOPEN_READONLY, database.Put()));
    ASSERT_EQ(0u, MsiOpenDatabaseW((m_folder / L"a.msp").c_str(),
                                   MSIDBOPEN_READONLY + MSIDBOPEN_PATCHFILE, database.Put()));
    ASSERT_EQ(0u, MsiDatabaseOpenViewW(database.Get(), kQuery, view.Put()));
    ASSERT_EQ(0u, MsiViewExecute(view.Get(), 0));
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS), MsiViewFetch(view.Get(), record.Put()));

    m_installer.SetSwitch(L"MSI_UNOPENABLE", L"a.msp");
    EXPECT_NE(0u, MsiOpenDatabaseW((m_folder / L"a.msp").c_str(),
                                   MSIDBOPEN_READONLY + MSIDBOPEN_PATCHFILE, database.Put()));
}

TEST_F(InstallerStandinTest, EnumerationsEndWithNoMoreItems)
{
    m_installer.SetAppliedPatches({kSampleCodeA});
    wchar_t product[39] = {}, patch[39] = {}, transforms[8] = {};
    EXPECT_EQ(0u, MsiEnumRelatedProductsW(kProductUpgradeCode, 0, 0, product));
    EXPECT_STREQ(kSampleProduct, product);
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS),
              MsiEnumRelatedProductsW(kProductUpgradeCode, 0, 1, product));
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS),
              MsiEnumRelatedProductsW(kSampleCodeA, 0, 0, product));

    DWORD chars = 8;
    EXPECT_EQ(static_cast<UINT>(ERROR_MORE_DATA),
              MsiEnumPatchesW(kSampleProduct, 0, patch, transforms, &chars));
    EXPECT_EQ(39u, chars); // ":" and the code
    std::vector<wchar_t> wide(40);
    chars = 40;
    EXPECT_EQ(0u, MsiEnumPatchesW(kSampleProduct, 0, patch, wide.data(), &chars));
    EXPECT_STREQ(kSampleCodeA, patch);
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS),
              MsiEnumPatchesW(kSampleProduct, 1, patch, wide.data(), &chars));
    EXPECT_EQ(static_cast<UINT>(ERROR_UNKNOWN_PRODUCT),
              MsiEnumPatchesW(kSampleCodeA, 0, patch, wide.data(), &chars));
    EXPECT_EQ(7u, m_installer.JournalLines().size()); // one line per call
}

TEST_F(InstallerStandinTest, MsiexecAppliesAndRemovesPatchesAndRecordsItsRun)
{
    CTempFolder patches;
    CInstallerStandin::WritePatch(patches / L"a.msp", kSampleCodeA);
    CInstallerStandin::WritePatch(patches / L"b.msp", kSampleCodeB);
    m_installer.SetSwitch(L"MSIEXEC_CMDLINE", m_folder / L"cmdline.txt");
    m_installer.SetSwitch(L"MSIEXEC_CWD", m_folder / L"cwd.txt");
    std::wstring log = m_folder / L"ZAPatchMSI.log";
    std::wstring update =
        L"msiexec.exe /qn /lv+* \"" + log + L"\" /update \"a.msp;b.msp\" INSTALLONREBOOT=1";
    EXPECT_EQ(0u, RunMsiexec(update, patches.Path()));
    EXPECT_EQ((std::vector<std::wstring>{kSampleCodeA, kSampleCodeB}),
              m_installer.AppliedPatches());
    EXPECT_EQ((std::vector<std::wstring>{update}), Lines(m_folder / L"cmdline.txt"));
    EXPECT_EQ((std::vector<std::wstring>{patches.Path()}), Lines(m_folder / L"cwd.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"msiexec stand-in: " + update + L" -> 0"}), Lines(log));

    m_installer.SetSwitch(L"MSIEXEC_EXIT", L"3010");
    std::wstring uninstall = std::wstring(L"msiexec.exe /package ") + kSampleProduct +
                             L" /uninstall " + kSampleCodeA + L" /lv+* \"" + log +
                             L"\" /qn INSTALLONREBOOT=1";
    EXPECT_EQ(3010u, RunMsiexec(uninstall, patches.Path()));
    EXPECT_EQ((std::vector<std::wstring>{kSampleCodeB}), m_installer.AppliedPatches());
    EXPECT_EQ(2u, Lines(log).size());
    EXPECT_EQ(L"msiexec.exe " + uninstall + L" -> 3010", m_installer.JournalLines().back());
}

TEST_F(InstallerStandinTest, MsiexecChangesNothingWhenItFails)
{
    CTempFolder patches;
    CInstallerStandin::WritePatch(patches / L"a.msp", kSampleCodeA);
    m_installer.SetSwitch(L"MSIEXEC_EXIT", L"1603");
    EXPECT_EQ(1603u, RunMsiexec(L"msiexec.exe /update a.msp", patches.Path()));
    EXPECT_TRUE(m_installer.AppliedPatches().empty());

    m_installer.SetSwitch(L"MSIEXEC_EXIT", L"");
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATCH_PACKAGE_OPEN_FAILED),
              RunMsiexec(L"msiexec.exe /update \"a.msp;missing.msp\"", patches.Path()));
    EXPECT_TRUE(m_installer.AppliedPatches().empty());
    EXPECT_EQ(1647u, RunMsiexec(std::wstring(L"msiexec.exe /package ") + kSampleProduct +
                                    L" /uninstall " + kSampleCodeB,
                                patches.Path()));
}
