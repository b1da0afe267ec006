#include "runner/PatchLetter.h"
#include "support/InstallerStandin.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

TEST(PatchLetterTest, ALetterIsOlderWhenShorterOrSmallerWhereItDiffers)
{
    EXPECT_FALSE(IsOlderLetter(L"G", L"F"));
    EXPECT_TRUE(IsOlderLetter(L"E", L"F"));
    EXPECT_FALSE(IsOlderLetter(L"F", L"F"));
    EXPECT_FALSE(IsOlderLetter(L"FA", L"F"));
    EXPECT_TRUE(IsOlderLetter(L"EG", L"F"));
    EXPECT_TRUE(IsOlderLetter(L"FG", L"FGH"));
    EXPECT_FALSE(IsOlderLetter(L"G", L"E"));
    EXPECT_TRUE(IsOlderLetter(L"G", L"K"));
    EXPECT_TRUE(IsOlderLetter(L"a", L"b"));
    EXPECT_FALSE(IsOlderLetter(L"b", L"B")); // code units, not letters of the alphabet
}

TEST(PatchLetterTest, PublicMarkAndPrivateNames)
{
    EXPECT_EQ(L"G", PatchLetterFromDescription(L"pu:G"));
    EXPECT_EQ(L"pu:", PatchLetterFromDescription(L"pu:"));
    EXPECT_EQ(L"pfZ", PatchLetterFromDescription(L"pu:pfZ"));
    EXPECT_EQ(L"PU:G", PatchLetterFromDescription(L"PU:G"));
    EXPECT_FALSE(IsPrivateLetter(L"pu:"));
    EXPECT_TRUE(IsPrivateLetter(L"pfZ"));
    EXPECT_TRUE(IsPrivateLetter(L""));
    EXPECT_FALSE(IsPrivateLetter(L"pf"));
    EXPECT_FALSE(IsPrivateLetter(L"PfX"));
    EXPECT_TRUE(IsPrivateHotfix(L"pfX"));
    EXPECT_FALSE(IsPrivateHotfix(L"pf"));
    EXPECT_FALSE(IsPrivateHotfix(L""));
}

TEST(PatchLetterTest, DescriptionComesFromThePatchMetadata)
{
    CTempFolder folder;
    CInstallerStandin installer(folder.Path());
    CInstallerStandin::WritePatch(folder / L"a.msp", kSampleCodeA, L"pu:G");
    CInstallerStandin::WritePatch(folder / L"none.msp", kSampleCodeA);
    CInstallerStandin::WritePatch(folder / L"long.msp", kSampleCodeA, std::wstring(700, L'x'));

    EXPECT_EQ(L"pu:G", GetMSPDescription((folder / L"a.msp").c_str()));
    EXPECT_EQ(std::wstring(700, L'x'), GetMSPDescription((folder / L"long.msp").c_str()));
    EXPECT_EQ(L"", GetMSPDescription((folder / L"none.msp").c_str()));
    EXPECT_EQ(L"", GetMSPDescription((folder / L"missing.msp").c_str()));
    EXPECT_EQ(L"", GetMSPDescription(nullptr));
}
