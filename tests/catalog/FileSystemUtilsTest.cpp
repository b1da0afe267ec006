#include "catalog/FileSystemUtils.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
class FileSystemUtilsTest : public ::testing::Test
{
  protected:
    FileSystemUtilsTest() { SetCurrentDirectoryW(m_folder.Path().c_str()); }
    std::string Trace() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }

    CRegistrySandbox m_registry; // no TraceRoot: traces land in the current folder
    CTempFolder m_folder;
};

// ReplaceFileW failing half-way, which Wine does not do: the original is gone (1176), or it is
// left under another name, the backup name when one was given (1177).
BOOL WINAPI ReplaceLosingTheOriginal(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID)
{
    DeleteFileW(replaced);
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return FALSE;
}

BOOL WINAPI ReplaceLeavingTheOriginalUnderAnotherName(LPCWSTR replaced, LPCWSTR, LPCWSTR backup,
                                                      DWORD, LPVOID, LPVOID)
{
    std::wstring otherName = backup ? backup : std::wstring(replaced) + L".tmp";
    MoveFileExW(replaced, otherName.c_str(), MOVEFILE_REPLACE_EXISTING);
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return FALSE;
}

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
} // namespace

TEST_F(FileSystemUtilsTest, CreatesEveryMissingParent)
{
    std::wstring deep = m_folder / L"a\\b\\c";
    EXPECT_EQ(ERROR_SUCCESS, CreateDirRecurs(deep.c_str()));
    EXPECT_TRUE(IsFolder(deep));
    EXPECT_EQ(ERROR_SUCCESS, CreateDirRecurs(deep.c_str())) << "an existing folder";
    EXPECT_FALSE(FileExists(m_folder / L"ZAPatch.log")) << "success traces nothing";
    EXPECT_EQ(ERROR_SUCCESS, CreateDirRecurs((m_folder / L"x\\y\\").c_str()))
        << "a trailing backslash";
    EXPECT_TRUE(IsFolder(m_folder / L"x\\y"));
}

TEST_F(FileSystemUtilsTest, LongPathsWork)
{
    std::wstring deep = m_folder.Path();
    for (int i = 0; i < 30; ++i)
        deep += L"\\folder-with-a-long-name";
    ASSERT_GT(deep.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(ERROR_SUCCESS, CreateDirRecurs(deep.c_str()));
    EXPECT_TRUE(IsFolder(L"\\\\?\\" + deep));
    RemoveTree(L"\\\\?\\" + m_folder / L"folder-with-a-long-name");
}

TEST_F(FileSystemUtilsTest, ExistingFileCountsAsSuccess)
{
    WriteFileBytes(m_folder / L"file", "x");
    EXPECT_EQ(ERROR_SUCCESS, CreateDirRecurs((m_folder / L"file").c_str()));
}

TEST_F(FileSystemUtilsTest, ParentThatIsAFileFailsWithATrace)
{
    WriteFileBytes(m_folder / L"file", "x");
    DWORD status = CreateDirRecurs((m_folder / L"file\\sub\\deeper").c_str());
    EXPECT_NE(ERROR_SUCCESS, status);
    EXPECT_FALSE(IsFolder(m_folder / L"file\\sub"));
}

TEST_F(FileSystemUtilsTest, NameWithoutBackslashIsABadPath)
{
    EXPECT_EQ(ERROR_BAD_PATHNAME, CreateDirRecurs(L"nowhere/at/all"));
    EXPECT_NE(std::string::npos,
              Trace().find("\tERR\tpatch\tCreateDirRecurs: incorrect path nowhere/at/all"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateDirRecurs(nullptr));
}

TEST(ModulePathTest, IsTheRunningExecutable)
{
    std::wstring path = GetModuleFilePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(L".exe", path.substr(path.size() - 4));
    EXPECT_TRUE(FileExists(path));
}

// The profile functions write the copy: its bytes are those of a write in place, in the file's
// own encoding (or as a new file when there was none), and no copy stays beside the file, also
// where an interrupted write left one beside it.
TEST_F(FileSystemUtilsTest, ReplacedSectionHasTheBytesOfAWriteInPlace)
{
    const wchar_t lines[] = L"k=v\0e=\u00e9\0";
    const std::string utf16 = std::string("\xFF\xFE[\0S\0]\0\r\0\n\0o\0=\0\x31\0\r\0\n\0", 20);
    std::wstring inPlace = m_folder / L"in-place.ini";
    std::wstring replaced = m_folder / L"replaced.ini";
    for (const std::string& before :
         {std::string("[S]\r\nold=1\r\n[T]\r\nt=1\r\n"), utf16, std::string("no file")})
    {
        if (before == "no file")
        {
            DeleteFileW(inPlace.c_str());
            DeleteFileW(replaced.c_str());
        }
        else
        {
            WriteFileBytes(inPlace, before);
            WriteFileBytes(replaced, before);
            // Beside a file, and only there, a copy is a leftover of an interrupted write.
            WriteFileBytes(replaced + L".new", "left by an interrupted write");
        }
        ASSERT_TRUE(WritePrivateProfileSectionW(L"S", lines, inPlace.c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ReplaceIniSection(replaced, L"S", lines));
        EXPECT_EQ(ReadFileBytes(inPlace), ReadFileBytes(replaced)) << before;
        EXPECT_FALSE(FileExists(replaced + L".new")) << before;
    }
}

// A replace that fails half-way loses nothing: the copy takes the place of a lost original and
// the write is done; an original left under the backup name is put back and the write fails.
TEST_F(FileSystemUtilsTest, ReplaceFailingHalfWayLeavesOneWholeFile)
{
    const std::wstring path = m_folder / L"state.ini";
    const std::string before = "[S]\r\nold=1\r\n";
    auto expectNothingBeside = [&path] {
        EXPECT_FALSE(FileExists(path + L".new"));
        EXPECT_FALSE(FileExists(path + L".old"));
    };
    WriteFileBytes(path, before);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ReplaceIniSection(path, L"S", L"k=v\0", &ReplaceLosingTheOriginal));
    EXPECT_EQ("[S]\r\nk=v\r\n", ReadFileBytes(path));
    expectNothingBeside();

    WriteFileBytes(path, before);
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2),
              ReplaceIniSection(path, L"S", L"k=v\0", &ReplaceLeavingTheOriginalUnderAnotherName));
    EXPECT_EQ(before, ReadFileBytes(path));
    expectNothingBeside();
}
