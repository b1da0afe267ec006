#include "catalog/ProductKeys.h"
#include "runner/PatchRunner.h"
#include "runner/MakeRunner.h"
#include "support/InstallerStandin.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{

class CommandLineTest : public ::testing::Test
{
  protected:
    CommandLineTest()
    {
        m_installer.InstallProduct(kSampleProduct);
        CRegistrySandbox::SetString(kEnvironmentKey, L"ProductRoot", m_folder.Path());
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", L"C:\\T\\");
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
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kSampleProduct + L" /uninstall " +
                  kSampleCodeA + L";" + kSampleCodeB +
                  L" /lv+* \"C:\\T\\ZAPatchMSI.log\" /qn INSTALLONREBOOT=1",
              runner.GetUninstallCmdLine({kSampleCodeA, kSampleCodeB}));
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kSampleProduct +
                  L" /uninstall  /lv+* \"C:\\T\\ZAPatchMSI.log\" /qn INSTALLONREBOOT=1",
              runner.GetUninstallCmdLine({}));
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kSampleProduct + L" /uninstall " +
                  kSampleCodeA + L" /lv+* \"C:\\T\\ZAPatchMSI.log\" INSTALLONREBOOT=1",
              MakeRunner(L"/showui /noskipdrivers").GetUninstallCmdLine({kSampleCodeA}));
}

TEST_F(CommandLineTest, UnreadableTraceRootPutsTheLogInTheWorkingDirectory)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"TraceRoot");
    CPatchRunner runner = MakeRunner(L"");
    EXPECT_EQ(L"msiexec.exe /qn /lv+* \"ZAPatchMSI.log\" /update \"a.msp\" INSTALLONREBOOT=1 "
              L"SKIPUNINSTALLDRIVERS=1 SKIPINSTALLDRIVERS=1",
              runner.GetInstallCmdLine({L"a.msp"}));
    EXPECT_EQ(std::wstring(L"msiexec.exe /package ") + kSampleProduct + L" /uninstall " +
                  kSampleCodeA + L" /lv+* \"ZAPatchMSI.log\" /qn INSTALLONREBOOT=1",
              runner.GetUninstallCmdLine({kSampleCodeA}));
}
