#include "catalog/ConfigManager.h"
#include "support/FailureOf.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{
class ConfigManagerTest : public ::testing::Test
{
  protected:
    ConfigManagerTest() { SetCurrentDirectoryW(m_folder.Path().c_str()); }
    std::wstring IniPath() const { return m_folder / L"Patches.ini"; }
    std::string Trace() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }
    static size_t Count(const std::string& text, const std::string& what)
    {
        size_t count = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++count;
        return count;
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
};
} // namespace

TEST_F(ConfigManagerTest, MissingFileGivesAnEmptyMapAfterOneRead)
{
    SectionMap entries{{L"stale", L"x"}};
    CConfigManager(IniPath().c_str()).GetSection(L"PATCHES_STATE", entries);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(1u, Count(Trace(),
                        "CConfigManager::GetSection: New buffer size for ini-section = 520 chars"));
    EXPECT_EQ(0u, Count(Trace(), "= 1040 chars"));
}

TEST_F(ConfigManagerTest, WritesLinesInCodeUnitOrderAndKeepsOtherSections)
{
    WriteFileBytes(IniPath(), "[Other]\r\nkeep=me\r\n[PATCHES_STATE]\r\nold=1\r\n");
    CConfigManager config(IniPath().c_str());
    config.SetSection(L"PATCHES_STATE", {{L"b", L"2"}, {L"B", L"1"}, {L"K", L"x=y"}, {L"a", L""}});
    std::string file = ReadFileBytes(IniPath());
    EXPECT_NE(std::string::npos, file.find("[PATCHES_STATE]\r\nB=1\r\nK=x=y\r\na=\r\nb=2\r\n"))
        << file;
    EXPECT_EQ(std::string::npos, file.find("old=1"));
    EXPECT_NE(std::string::npos, file.find("[Other]\r\nkeep=me\r\n"));
    std::wstring path = IniPath();
    EXPECT_NE(
        std::string::npos,
        Trace().find("CConfigManager::SetSection: Set section 'PATCHES_STATE' in config file " +
                     std::string(path.begin(), path.end())));

    SectionMap entries;
    config.GetSection(L"PATCHES_STATE", entries);
    EXPECT_EQ((SectionMap{{L"b", L"2"}, {L"B", L"1"}, {L"K", L"x=y"}, {L"a", L""}}), entries);

    config.SetSection(L"PATCHES_STATE", {});
    config.GetSection(L"PATCHES_STATE", entries);
    EXPECT_TRUE(entries.empty());
    config.GetSection(L"Other", entries);
    EXPECT_EQ((SectionMap{{L"keep", L"me"}}), entries);
}

TEST_F(ConfigManagerTest, ReadsOddLinesAsThePlatformGivesThem)
{
    WriteFileBytes(IniPath(), "[S]\r\nA=1\r\nB\r\nA=2\r\n=v\r\nK=x=y\r\n");
    SectionMap entries;
    CConfigManager(IniPath().c_str()).GetSection(L"S", entries);
    EXPECT_EQ((SectionMap{{L"", L"v"}, {L"A", L"2"}, {L"K", L"x=y"}}), entries);
}

TEST_F(ConfigManagerTest, LongSectionIsReadWholeByDoubling)
{
    SectionMap written;
    for (int i = 0; i < 20; ++i)
        written[L"{0A1B2C3D-4E5F-6A7B-8C9D-A0B1C2D3E4" + std::to_wstring(10 + i) + L"}"] =
            L"not_installed";
    CConfigManager config(IniPath().c_str());
    config.SetSection(L"PATCHES_STATE", written);
    SectionMap read;
    config.GetSection(L"PATCHES_STATE", read);
    EXPECT_EQ(written, read);
    EXPECT_EQ(1u, Count(Trace(), "= 520 chars"));
    EXPECT_EQ(1u, Count(Trace(), "= 1040 chars"));
}

TEST_F(ConfigManagerTest, NullArgumentsAndWriteFailuresThrow)
{
    EXPECT_THROW(CConfigManager(nullptr), std::logic_error);
    SectionMap entries{{L"k", L"v"}};
    EXPECT_THROW(CConfigManager(IniPath().c_str()).GetSection(nullptr, entries), std::logic_error);
    EXPECT_EQ(1u, entries.size()) << "the map is untouched";
    try
    {
        CConfigManager((m_folder / L"missing\\Patches.ini").c_str())
            .SetSection(L"PATCHES_STATE", entries);
        FAIL() << "writing into a missing folder must fail";
    }
    catch (const std::logic_error& failure)
    {
        EXPECT_EQ(0u, std::string(failure.what()).find("CConfigManager::SetSection: "));
    }
}

// The section is written into a copy that replaces the file whole: a failure before the
// replacement fails as a failed write did, leaves the file byte for byte and removes the copy.
TEST_F(ConfigManagerTest, FailedWriteLeavesTheFileAsItWas)
{
    const std::string before = "[PATCHES_STATE]\r\n{A}=ignored\r\n";
    WriteFileBytes(IniPath(), before);
    auto failureOfWrite = [this] {
        return FailureOf([this] {
            CConfigManager(IniPath().c_str())
                .SetSection(L"PATCHES_STATE", {{L"{A}", L"installed"}});
        });
    };
    CreateDirectoryW((IniPath() + L".new").c_str(), nullptr); // in the copy's place
    EXPECT_EQ(0u, failureOfWrite().find("CConfigManager::SetSection: "));
    EXPECT_EQ(before, ReadFileBytes(IniPath()));
    RemoveDirectoryW((IniPath() + L".new").c_str());

    // Held open by another program, the file cannot be replaced.
    CFileHandle held(CreateFileW(IniPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(0u, failureOfWrite().find("CConfigManager::SetSection: "));
    held.Reset();
    EXPECT_EQ(before, ReadFileBytes(IniPath()));
    EXPECT_FALSE(FileExists(IniPath() + L".new"));
}

// Scanners and backup tools hold files open with read and delete sharing: the file is replaced
// in one step all the same, and holds the new section also once the other program lets go.
TEST_F(ConfigManagerTest, WriteReplacesAFileHeldWithReadAndDeleteSharing)
{
    WriteFileBytes(IniPath(), "[PATCHES_STATE]\r\n{A}=ignored\r\n");
    CFileHandle held(CreateFileW(IniPath().c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const std::string after = "[PATCHES_STATE]\r\n{A}=installed\r\n";
    EXPECT_EQ("no failure", FailureOf([this] {
                  CConfigManager(IniPath().c_str())
                      .SetSection(L"PATCHES_STATE", {{L"{A}", L"installed"}});
              }));
    EXPECT_EQ(after, ReadFileBytes(IniPath()));
    held.Reset();
    EXPECT_EQ(after, ReadFileBytes(IniPath()));
    EXPECT_FALSE(FileExists(IniPath() + L".old"));
}

// A missing file is read from what a replace cut short left of it: the flushed copy, newer than
// the original under the backup name, or else that original.
TEST_F(ConfigManagerTest, MissingFileIsReadFromWhatACutReplaceLeft)
{
    WriteFileBytes(IniPath() + L".old", "[PATCHES_STATE]\r\n{A}=ignored\r\n");
    WriteFileBytes(IniPath() + L".new", "[PATCHES_STATE]\r\n{A}=installed\r\n");
    SectionMap entries;
    CConfigManager config(IniPath().c_str());
    config.GetSection(L"PATCHES_STATE", entries);
    EXPECT_EQ((SectionMap{{L"{A}", L"installed"}}), entries);

    DeleteFileW(IniPath().c_str());
    config.GetSection(L"PATCHES_STATE", entries);
    EXPECT_EQ((SectionMap{{L"{A}", L"ignored"}}), entries);
    EXPECT_TRUE(FileExists(IniPath()));
    EXPECT_FALSE(FileExists(IniPath() + L".old"));
}
