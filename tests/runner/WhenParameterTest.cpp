#include "catalog/ProductKeys.h"
#include "runner/WhenParameter.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
DWORD g_productType = 0;
BOOL g_productInfoResult = TRUE;
std::vector<DWORD> g_askedVersion;

bool Windows7()
{
    return false;
}
bool Windows8()
{
    return true;
}
BOOL WINAPI FakeProductInfo(DWORD major, DWORD minor, DWORD spMajor, DWORD spMinor, PDWORD type)
{
    g_askedVersion = {major, minor, spMajor, spMinor};
    *type = g_productType;
    return g_productInfoResult;
}

class WhenParameterTest : public ::testing::Test
{
  protected:
    WhenParameterTest()
    {
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", m_folder.Path() + L"\\");
    }
    ~WhenParameterTest() override { WindowsEditionQueries() = m_original; }

    // Presents a Windows of that version test and product type, and corrects the value.
    std::wstring Correct(bool (*version)(), DWORD productType, std::wstring when)
    {
        WindowsEditionQueries() = {version, FakeProductInfo};
        g_productType = productType;
        CorrectWhenPar(when);
        return when;
    }
    bool Traced(const std::string& text) const
    {
        return ReadFileBytes(m_folder / L"ZAPatch.log").find(text) != std::string::npos;
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CWindowsEditionQueries m_original = WindowsEditionQueries();
};

const std::string kHomeTrace = "CorrectWhenPar: Set value '/when now', because it's home version "
                               "windows.";
const std::string kHomeMilestone =
    "ALW\tpatch\tValue of 'when' parameter is changed to 'now' because 'Home' version of Windows "
    "doesn't support shutdown scripts.";
} // namespace

TEST_F(WhenParameterTest, HomePremiumBeforeWindows8AlwaysGetsNow)
{
    EXPECT_EQ(L"now", Correct(Windows7, PRODUCT_HOME_PREMIUM, L"reboot"));
    EXPECT_EQ((std::vector<DWORD>{6, 1, 0, 0}), g_askedVersion);
    EXPECT_TRUE(Traced(kHomeTrace));
    EXPECT_TRUE(Traced(kHomeMilestone));
    EXPECT_EQ(L"now", Correct(Windows7, PRODUCT_HOME_PREMIUM, L"later"));
}

TEST_F(WhenParameterTest, HomeBasicTurnsAnEmptyValueToNowByTheHomeRule)
{
    EXPECT_EQ(L"now", Correct(Windows7, PRODUCT_HOME_BASIC, L""));
    EXPECT_TRUE(Traced(kHomeTrace));
    EXPECT_FALSE(Traced("is empty"));
    EXPECT_FALSE(Traced("Default 'when'"));
}

TEST_F(WhenParameterTest, OtherEditionsAndWindows8KeepTheValue)
{
    EXPECT_EQ(L"reboot", Correct(Windows7, PRODUCT_PROFESSIONAL, L"reboot"));
    EXPECT_EQ(L"reboot", Correct(Windows8, PRODUCT_HOME_PREMIUM, L"reboot"));
    g_productInfoResult = FALSE;
    EXPECT_EQ(L"reboot", Correct(Windows7, PRODUCT_HOME_BASIC, L"reboot"));
    g_productInfoResult = TRUE;
    EXPECT_EQ(L"Now", Correct(Windows7, PRODUCT_ULTIMATE, L"Now"));
    EXPECT_TRUE(Traced("NTF\tpatch\tCorrectWhenPar: Keep user 'When' parameter."));
    EXPECT_FALSE(Traced(kHomeTrace));
}

TEST_F(WhenParameterTest, EmptyValueGetsTheDefaultOnOtherEditions)
{
    EXPECT_EQ(L"now", Correct(Windows8, PRODUCT_HOME_BASIC, L""));
    EXPECT_TRUE(Traced("CorrectWhenPar: 'When' parameter is empty. Set default value."));
    EXPECT_TRUE(Traced("GetDefaultWhenParValue: Default 'when' parameter is 'now'."));
}

TEST_F(WhenParameterTest, WindowsAsWineReportsItIsNoHomeEdition)
{
    EXPECT_FALSE(IsWindows8OrLater());
    std::wstring when = L"reboot";
    CorrectWhenPar(when);
    EXPECT_EQ(L"reboot", when);
}
