#include "app/CMDParser.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
class CMDParserTest : public ::testing::Test
{
  protected:
    CMDParserTest() { SetCurrentDirectoryW(m_folder.Path().c_str()); }
    static SectionMap Parse(const wchar_t* line) { return CCMDParser(line).GetAllParams(); }

    CRegistrySandbox m_registry;
    CTempFolder m_folder; // the trace file lands here
};
} // namespace

TEST_F(CMDParserTest, SplitsOptionsAndValues)
{
    EXPECT_EQ((SectionMap{{L"/when", L"reboot"}, {L"/uninstall", L"all"}}),
              Parse(L"/when reboot /uninstall all"));
    EXPECT_EQ((SectionMap{{L"/uninstall", L""}, {L"/when", L"now"}}),
              Parse(L"/uninstall /when now"));
    EXPECT_EQ((SectionMap{{L"/clean", L"extra"}}), Parse(L"/clean extra"));
    EXPECT_EQ((SectionMap{{L"/when", L""}}), Parse(L"now /when"));
    EXPECT_EQ((SectionMap{{L"/ignore", L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9};"
                                       L"{1B2C3D4E-5F60-7182-93A4-B5C6D7E8F90A};"},
                          {L"/when", L"now"}}),
              Parse(L"/ignore {0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9};"
                    L"{1B2C3D4E-5F60-7182-93A4-B5C6D7E8F90A}; /when now"));
}

TEST_F(CMDParserTest, LowersNamesOnlyAndKeepsTheFirstOccurrence)
{
    EXPECT_EQ((SectionMap{{L"/when", L"Reboot"}}), Parse(L"/WHEN Reboot"));
    EXPECT_EQ((SectionMap{{L"/when", L"now"}}), Parse(L"/when now /when reboot"));
    EXPECT_EQ((SectionMap{{L"/\x00C9t\x00E9", L""}}), Parse(L"/\x00C9T\x00E9"));
}

TEST_F(CMDParserTest, QuotesGroupAndEmptyTokensAreValues)
{
    EXPECT_EQ((SectionMap{{L"/ignore", L"{A}; {B}"}, {L"/when", L"now"}}),
              Parse(L"/ignore \"{A}; {B}\" /when now"));
    EXPECT_EQ((SectionMap{{L"/reinstall", L""}, {L"/showui", L""}}),
              Parse(L"/reinstall \"\" x /showui"));
}

TEST_F(CMDParserTest, EmptyLineGivesNoEntries)
{
    EXPECT_TRUE(Parse(L"").empty());
    EXPECT_TRUE(Parse(nullptr).empty());
    EXPECT_NE(std::string::npos, ReadFileBytes(m_folder / L"ZAPatch.log").find("Parse CMD line: "));
}

TEST_F(CMDParserTest, QueriesIgnoreTheCaseOfThePresenceCheckOnly)
{
    CCMDParser parser(L"/When now /clean");
    std::wstring value = L"stale";
    EXPECT_TRUE(parser.IsParamPresent(L"/WHEN"));
    EXPECT_FALSE(parser.IsParamPresent(nullptr));
    EXPECT_FALSE(parser.IsParamPresent(L"/help"));
    parser.GetParamValue(value, L"/when");
    EXPECT_EQ(L"now", value);
    parser.GetParamValue(value, L"/clean");
    EXPECT_EQ(L"", value);
    value = L"stale";
    parser.GetParamValue(value, L"/help");
    EXPECT_EQ(L"", value);
    value = L"stale";
    parser.GetParamValue(value, L"/WHEN"); // present, but looked up as given
    EXPECT_EQ(L"", value);
}
