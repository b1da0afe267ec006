#include "catalog/FileSystemUtils.h"
#include "catalog/ProductKeys.h"
#include "catalog/RegistryUtils.h"
#include "app/CMDParser.h"
#include "runner/PatchRunner.h"
#include "runner/MakeRunner.h"
#include "support/FailureOf.h"
#include "support/InstallerStandin.h"
#include "support/PolicyKeys.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{
constexpr wchar_t kCode[] = L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";

class DeferredRunTest : public ::testing::Test
{
  protected:
    DeferredRunTest()
    {
        m_installer.InstallProduct(kSampleProduct);
        CRegistrySandbox::SetString(kEnvironmentKey, L"ProductRoot", m_folder.Path());
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", m_folder.Path() + L"\\");
        SetEnvironmentVariableW(L"windir", m_folder.Path().c_str());
    }
    // The parameters registered for the first script key, or "(none)".
    static std::wstring RegisteredParameters()
    {
        std::vector<wchar_t> value;
        if (RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, std::wstring(kScriptsPolicyKey) + L"\\0",
                                   L"Parameters", value) != ERROR_SUCCESS)
            return L"(none)";
        return value.data();
    }
    static std::wstring Deferred(const wchar_t* commandLine)
    {
        MakeRunner(commandLine).CreateShutdownScript(L"C:\\Prod\\ZAPatch.exe");
        std::wstring parameters = RegisteredParameters();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft");
        return parameters;
    }
    std::string Trace() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CInstallerStandin m_installer{m_folder.Path()};
};
} // namespace

TEST_F(DeferredRunTest, ParametersRepeatTheRequestAsAnImmediateOne)
{
    EXPECT_EQ(L"/when now /clean ", Deferred(L"/when reboot"));
    EXPECT_EQ(L"/uninstall all /when now /clean ", Deferred(L"/uninstall all /when reboot"));
    EXPECT_EQ(L"/showui  /when now /clean ", Deferred(L"/when reboot /showui"));
    EXPECT_EQ(L"/clean  /when now /clean ", Deferred(L"/clean /when reboot"));
    std::wstring list = std::wstring(kCode) + L";{1B2C3D4E-5F60-7182-93A4-B5C6D7E8F90A};";
    EXPECT_EQ(L"/reinstall " + list + L" /when now /clean ",
              Deferred((L"/when reboot /reinstall " + list).c_str()));
    EXPECT_EQ(L"/when now /showui  /clean ", Deferred(L"/showui")) << "no /when at all";
    EXPECT_NE(
        std::string::npos,
        Trace().find("CPatchRunner::CreateShutdownScript: Parameters: /when now /clean \r\n"));
}

// Values with blanks or double quotes are quoted, so that /when now /clean is never swallowed.
TEST_F(DeferredRunTest, AwkwardValuesSurviveTheDeferredRun)
{
    for (const wchar_t* line :
         {L"/when reboot /showui a\\\"b", L"/uninstall {A};x\\\"y /when reboot",
          L"/when reboot /reinstall \"a b\\\\\" /showui \"\\\\\\\"\t\"",
          L"/when reboot \"/a\\\" y\" v"})
    {
        SectionMap expected = CCMDParser(line).GetAllParams();
        expected[L"/when"] = L"now";
        expected[L"/clean"] = L"";
        EXPECT_EQ(expected, CCMDParser(Deferred(line).c_str()).GetAllParams()) << line;
    }
    EXPECT_EQ(L"/showui \"a\\\"b\" /when now /clean ", Deferred(L"/when reboot /showui a\\\"b"));
}

TEST_F(DeferredRunTest, IgnoreEndsTheRunWithOnlyTheStateFileChanged)
{
    CreateDirectoryW((m_folder / L"Patches").c_str(), nullptr);
    CInstallerStandin::WritePatch(m_folder / L"Patches\\a.msp", kCode);
    MakeRunner(L"/ignore all /uninstall all /when reboot").RunPublicPatch(nullptr);
    EXPECT_NE(std::string::npos,
              ReadFileBytes(m_folder / L"Patches\\Patches.ini").find("=ignored"));
    EXPECT_EQ(L"(none)", RegisteredParameters());
    EXPECT_NE(std::string::npos, Trace().find("CPatchRunner::RunPublicPatch: Config-ini updated."));
}

TEST_F(DeferredRunTest, RebootWithNothingToDoRegistersNothing)
{
    MakeRunner(L"/when reboot").RunPublicPatch(nullptr);
    MakeRunner(L"/when reboot /uninstall {NOT-INSTALLED};").RunPublicPatch(nullptr);
    EXPECT_EQ(L"(none)", RegisteredParameters());
    EXPECT_NE(std::string::npos, Trace().find("CPatchRunner::RunPublicPatch: Nothing to install."));
    EXPECT_NE(std::string::npos,
              Trace().find("CPatchRunner::RunPublicPatch: Nothing to uninstall."));
}

TEST_F(DeferredRunTest, UnknownWhenFailsAfterTheClean)
{
    MakeRunner(L"/when reboot /uninstall all").CreateShutdownScript(GetModuleFilePath());
    ASSERT_NE(L"(none)", RegisteredParameters());
    EXPECT_EQ("CPatchRunner::RunPublicPatch: value of parameter /when",
              FailureOf([] { MakeRunner(L"/clean /when Now").RunPublicPatch(nullptr); }));
    EXPECT_EQ(L"(none)", RegisteredParameters());
    EXPECT_NE(std::string::npos, Trace().find("\tERR\tpatch\tCPatchRunner::RunPublicPatch: "));
}
