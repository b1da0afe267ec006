#include "catalog/Handles.h"
#include "catalog/ProductKeys.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

namespace
{
class TraceLogTest : public ::testing::Test
{
  protected:
    void SetTraceRoot(const std::wstring& value)
    {
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", value);
    }
    std::string LogBytes() const { return ReadFileBytes(m_folder / L"ZAPatch.log"); }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
};

const std::string kBanner = "\r\n===Slim Node patcher trace file===\r\n";
// One entry's prefix: CR LF, time, thread, level text, component, each field ended by a tab.
const std::string kPrefix = R"(\r\n\d\d:\d\d:\d\d\.\d{3}\t[0-9a-f]{3,}\t)";
} // namespace

TEST_F(TraceLogTest, WritesBannerAndEntriesByteForByte)
{
    SetTraceRoot(m_folder.Path() + L"\\");
    CTraceLog log;
    EXPECT_EQ(m_folder.Path() + L"\\", log.GetTraceFolder());
    log.Trace(500, L"Starting ZOREN Patch Manager %s", L"1.0.0.72");
    log.Trace(350, L"%s: code %d, hex %x %X, narrow %S", L"Op", 42, 255, 255, "ascii");

    std::string bytes = LogBytes();
    ASSERT_EQ(0u, bytes.find(kBanner));
    std::regex expected(kBanner + kPrefix +
                        "NTF\tpatch\tStarting ZOREN Patch Manager 1\\.0\\.0\\.72" + kPrefix +
                        "ERR\tpatch\tOp: code 42, hex ff FF, narrow ascii");
    EXPECT_TRUE(std::regex_match(bytes, expected)) << bytes;
    char thread[16];
    snprintf(thread, sizeof thread, "\t%03lx\t", GetCurrentThreadId());
    EXPECT_NE(std::string::npos, bytes.find(thread));
}

TEST_F(TraceLogTest, LevelTextsRoundTowardZero)
{
    EXPECT_EQ(L"ALW", TraceLevelText(0));
    EXPECT_EQ(L"ALW", TraceLevelText(-99));
    EXPECT_EQ(L"FTL", TraceLevelText(100));
    EXPECT_EQ(L"DNG", TraceLevelText(299));
    EXPECT_EQ(L"ERR", TraceLevelText(350));
    EXPECT_EQ(L"IMP", TraceLevelText(400));
    EXPECT_EQ(L"NTF", TraceLevelText(500));
    EXPECT_EQ(L"NOI", TraceLevelText(600));
    EXPECT_EQ(L"SPM", TraceLevelText(700));
    EXPECT_EQ(L"ANN", TraceLevelText(800));
    EXPECT_EQ(L"FFR", TraceLevelText(999));
    EXPECT_EQ(L"1000", TraceLevelText(1000));
    EXPECT_EQ(L"-150", TraceLevelText(-150));
}

TEST_F(TraceLogTest, TwoRunsLeaveTwoBanners)
{
    SetTraceRoot(m_folder.Path() + L"\\");
    CTraceLog{}.Trace(0, L"first");
    CTraceLog{}.Trace(0, L"second");
    std::regex expected(kBanner + kPrefix + "ALW\tpatch\tfirst" + kBanner + kPrefix +
                        "ALW\tpatch\tsecond");
    EXPECT_TRUE(std::regex_match(LogBytes(), expected)) << LogBytes();
}

TEST_F(TraceLogTest, MissingTraceRootWritesToCurrentFolder)
{
    ASSERT_TRUE(SetCurrentDirectoryW(m_folder.Path().c_str()));
    CTraceLog log;
    log.Trace(500, L"here");
    EXPECT_EQ(L"", log.GetTraceFolder());
    EXPECT_NE(std::string::npos, LogBytes().find("\tNTF\tpatch\there"));
}

TEST_F(TraceLogTest, TraceRootWithoutBackslashIsGluedToTheName)
{
    SetTraceRoot(m_folder / L"Trace");
    CTraceLog{}.Trace(500, L"glued");
    EXPECT_NE(std::string::npos, ReadFileBytes(m_folder / L"TraceZAPatch.log").find("glued"));
}

TEST_F(TraceLogTest, ReadyTextIsNeverInterpreted)
{
    SetTraceRoot(m_folder.Path() + L"\\");
    std::wstring path = L"C:\\100%s\\%d%n";
    CTraceLog{}.Trace(300, L"%s", ErrorTextW(path.c_str(), ERROR_ACCESS_DENIED).c_str());
    EXPECT_NE(std::string::npos, LogBytes().find("\tERR\tpatch\tC:\\100%s\\%d%n: "));
}

TEST_F(TraceLogTest, CharactersWithoutAByteBecomeQuestionMarks)
{
    SetTraceRoot(m_folder.Path() + L"\\");
    CTraceLog{}.Trace(500, L"%s", L"C:\\\x00E9t\x00E9\\\x041F\x0443\x0442\\\xD83D\xDE00 end");
    EXPECT_NE(std::string::npos, LogBytes().find("patch\tC:\\\xE9t\xE9\\???\\? end")) << LogBytes();
}

// A deleted trace folder is made again, with its parents; a relative or unusable one is not.
TEST_F(TraceLogTest, MissingFolderIsMadeAgain)
{
    SetTraceRoot(m_folder / L"deleted\\Trace\\");
    CTraceLog{}.Trace(500, L"kept");
    EXPECT_NE(std::string::npos,
              ReadFileBytes(m_folder / L"deleted\\Trace\\ZAPatch.log").find("kept"));

    ASSERT_TRUE(SetCurrentDirectoryW(m_folder.Path().c_str()));
    SetTraceRoot(L"relative\\");
    CTraceLog{}.Trace(500, L"lost");
    EXPECT_FALSE(FileExists(m_folder / L"relative"));
}

// Another process that holds the file for writing for a moment delays the entry, never loses it;
// one that keeps holding it loses the entry after a bounded wait.
TEST_F(TraceLogTest, EntryWaitsForAWriterThatLetsGo)
{
    SetTraceRoot(m_folder.Path() + L"\\");
    CTraceLog log;
    auto holdFile = [this] {
        return CFileHandle(CreateFileW((m_folder / L"ZAPatch.log").c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    {
        CFileHandle held = holdFile();
        ASSERT_TRUE(held);
        std::thread release([&held] {
            Sleep(10);
            held.Reset();
        });
        log.Trace(500, L"delayed");
        release.join();
    }
    EXPECT_NE(std::string::npos, LogBytes().find("delayed"));

    CFileHandle held = holdFile();
    log.Trace(500, L"dropped");
    held.Reset();
    EXPECT_EQ(std::string::npos, LogBytes().find("dropped"));
}

TEST(ErrorTextTest, AppendsTheSystemTextOrUnknown)
{
    auto systemText = [](DWORD code) {
        char* text = nullptr;
        DWORD length = FormatMessageA(0x13FF, nullptr, code, 0x0400, reinterpret_cast<char*>(&text),
                                      0, nullptr);
        std::string result = length ? std::string(text, length) : "Unknown error.";
        LocalFree(text);
        return result;
    };
    EXPECT_EQ("CConfigManager::SetSection: " + systemText(5),
              ErrorTextA("CConfigManager::SetSection", 5));
    EXPECT_NE("CConfigManager::SetSection: Unknown error.",
              ErrorTextA("CConfigManager::SetSection", 5));
    EXPECT_EQ("X: Unknown error.", ErrorTextA("X", 0x2FFFFFFF));
    EXPECT_EQ(L"X: Unknown error.", ErrorTextW(L"X", 0x2FFFFFFF));
    std::string narrow = ErrorTextA("P", 2);
    std::wstring wide = ErrorTextW(L"P", 2);
    EXPECT_EQ(std::wstring(narrow.begin(), narrow.end()), wide);
}
