#include "app/CMDParser.h"
#include "catalog/ProductKeys.h"
#include "runner/PatchRunner.h"
#include "support/InstallerStandin.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
constexpr wchar_t kProduct[] = L"{11111111-2222-3333-4444-555555555555}";
constexpr wchar_t kCodeA[] = L"{0A1B2C3D-4E5F-6A7B-8C9D-A0B1C2D3E4F5}";
constexpr wchar_t kCodeB[] = L"{1B2C3D4E-5F6A-7B8C-9DA0-B1C2D3E4F5A6}";

class CommandLineTest : public ::testing::Test
{
  protected:
    CommandLineTest()
    {
        m_installer.InstallProduct(kProduct);
        CRegistrySandbox::SetString(kEnvironmentKey, L"ProductRoot", m_folder.Path());
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", L"C:\\T\\");
    }
    static CPatchRunner MakeRunner(const wchar_t* commandLine)
    {
        return CPatchRunner(std::make_shared<CCMDParser>(commandLine), L"1.0.0.72", true);
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CInstallerStandin m_installer{m_folder.Path()};
};
} // namespace

TEST_F(CommandLineTest, InstallLineByteForByte)
{
    EXPECT_EQ(L"msiexec.exe /qn /lv+* \"C:\\T\\ZAPatchMSI.log\" /update \"a.msp;b.msp\" "
              L"INSTALLONREBOOT=1 SKIPUNINSTALLDRIVERS=1 SKIPINSTALLDRIVERS=1",
              MakeRunner(L"/when now").GetInstallCmdLine({L"a.msp", L"b.msp"}));
    EXPECT_EQ(L"msiexec.exe /lv+* \"C:\\T\\ZAPatchMSI.log\" /update \"a.msp\" "
              L"INSTALLONREBOOT=1 SKIPUNINSTALLDRIVERS=1 SKIPINSTALLDRIVERS=1",
              MakeRunner(L"/showui").GetInstallCmdLine({L"a.msp"}));
    EXPECT_EQ(L"msiexec.exe /qn /lv+* \"C:\\T\\ZAPatchMSI.log\" /update \"a.msp;b.msp\" "
              L"INSTALLONREBOOT=1",
              MakeRunner(L"/noskipdrivers").GetInstallCmdLine({L"a.msp", L"b.msp"}));
    EXPECT_EQ(L"msiexec.exe /lv+* \"C:\\T\\ZAPatchMSI.log\" /update \"a.msp\" INSTALLONREBOOT=1",
              MakeRunner(L"/noskipdrivers /showui").GetInstallCmdLine({L"a.msp"}));
}

TEST_F(CommandLineTest, UninstallLineByteForByte)
{
    CPatchRunner runner = MakeRunner(L"");
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kProduct + L" /uninstall " + kCodeA + L";" +
                  kCodeB + L" /lv+* \"C:\\T\\ZAPatchMSI.log\" /qn INSTALLONREBOOT=1",
              runner.GetUninstallCmdLine({kCodeA, kCodeB}));
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kProduct +
                  L" /uninstall  /lv+* \"C:\\T\\ZAPatchMSI.log\" /qn INSTALLONREBOOT=1",
              runner.GetUninstallCmdLine({}));
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kProduct + L" /uninstall " + kCodeA +
                  L" /lv+* \"C:\\T\\ZAPatchMSI.log\" INSTALLONREBOOT=1",
              MakeRunner(L"/showui /noskipdrivers").GetUninstallCmdLine({kCodeA}));
}

TEST_F(CommandLineTest, UnreadableTraceRootPutsTheLogInTheWorkingDirectory)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"TraceRoot");
    CPatchRunner runner = MakeRunner(L"");
    EXPECT_EQ(L"msiexec.exe /qn /lv+* \"ZAPatchMSI.log\" /update \"a.msp\" INSTALLONREBOOT=1 "
              L"SKIPUNINSTALLDRIVERS=1 SKIPINSTALLDRIVERS=1",
              runner.GetInstallCmdLine({L"a.msp"}));
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kProduct + L" /uninstall " + kCodeA +
                  L" /lv+* \"ZAPatchMSI.log\" /qn INSTALLONREBOOT=1",
              runner.GetUninstallCmdLine({kCodeA}));
}
