#include "catalog/Handles.h"
#include "catalog/RegistryUtils.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
constexpr wchar_t kKey[] = L"Software\\Test";

class RegistryUtilsTest : public ::testing::Test
{
  protected:
    DWORD Read(const std::wstring& name, std::vector<wchar_t>& buffer)
    {
        return RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kKey, name, buffer);
    }
    DWORD Substitute(std::wstring& text)
    {
        return SubstituteRegVariables(HKEY_LOCAL_MACHINE, kKey, text);
    }

    CRegistrySandbox m_registry;
    CTempFolder m_folder; // the trace file of the substitution lands here
    RegistryUtilsTest() { SetCurrentDirectoryW(m_folder.Path().c_str()); }
};
} // namespace

TEST_F(RegistryUtilsTest, ReadsValuesOfEveryLengthWhole)
{
    for (size_t length : {0u, 1u, 259u, 260u, 261u, 1000u, 40000u})
    {
        std::wstring value(length, L'v');
        CRegistrySandbox::SetString(kKey, L"V", value);
        std::vector<wchar_t> buffer;
        ASSERT_EQ(ERROR_SUCCESS, Read(L"V", buffer)) << length;
        EXPECT_EQ(value, buffer.data()) << length;
        if (length == 259)
        {
            EXPECT_EQ(260u, buffer.size()) << "fits the first read";
        }
    }
}

TEST_F(RegistryUtilsTest, ValueWithoutTerminatorComesBackTerminated)
{
    for (size_t length : {3u, 260u, 1000u})
    {
        std::wstring value(length, L'x');
        CRegistrySandbox::SetRaw(kKey, L"Raw", REG_SZ, value.data(),
                                 static_cast<DWORD>(length * sizeof(wchar_t)));
        std::vector<wchar_t> buffer;
        ASSERT_EQ(ERROR_SUCCESS, Read(L"Raw", buffer));
        EXPECT_EQ(value, buffer.data()) << length;
    }
}

TEST_F(RegistryUtilsTest, ReportsMissingKeyAndValue)
{
    std::vector<wchar_t> buffer;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Read(L"V", buffer));
    CRegistrySandbox::SetString(kKey, L"Other", L"x");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Read(L"V", buffer));
}

TEST_F(RegistryUtilsTest, SubstitutesReferencesLeftToRight)
{
    CRegistrySandbox::SetString(kKey, L"R", L"C:\\P");
    CRegistrySandbox::SetString(kKey, L"A", L"1");
    CRegistrySandbox::SetString(kKey, L"Nested", L"%R%\\n");
    CRegistrySandbox::SetString(kKey, L"", L"default");

    std::wstring text = L"%R%\\skin";
    EXPECT_EQ(ERROR_SUCCESS, Substitute(text));
    EXPECT_EQ(L"C:\\P\\skin", text);
    text = L"x%A%y";
    EXPECT_EQ(ERROR_SUCCESS, Substitute(text));
    EXPECT_EQ(L"x1y", text);
    text = L"%Nested%%A%";
    EXPECT_EQ(ERROR_SUCCESS, Substitute(text));
    EXPECT_EQ(L"C:\\P\\n1", text);
    text = L"[%%]";
    EXPECT_EQ(ERROR_SUCCESS, Substitute(text));
    EXPECT_EQ(L"[default]", text);
}

TEST_F(RegistryUtilsTest, LeavesTextWithoutReferenceAlone)
{
    std::wstring text = L"C:\\plain";
    EXPECT_EQ(ERROR_SUCCESS, Substitute(text)) << "the key does not even exist";
    EXPECT_EQ(L"C:\\plain", text);
    for (std::wstring lone : {L"C:\\100%", L"%", L"a%b"})
    {
        text = lone;
        EXPECT_EQ(ERROR_SUCCESS, Substitute(text));
        EXPECT_EQ(lone, text);
    }
}

TEST_F(RegistryUtilsTest, MissingValueKeepsTheReference)
{
    CRegistrySandbox::SetString(kKey, L"A", L"1");
    std::wstring text = L"%A%-%Missing%";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Substitute(text));
    EXPECT_EQ(L"1-%Missing%", text);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SubstituteRegVariables(nullptr, kKey, text));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SubstituteRegVariables(HKEY_LOCAL_MACHINE, nullptr, text));
}

TEST_F(RegistryUtilsTest, SelfReferenceEndsWithAnError)
{
    CRegistrySandbox::SetString(kKey, L"A", L"%A%");
    CRegistrySandbox::SetString(kKey, L"B", L"%C%");
    CRegistrySandbox::SetString(kKey, L"C", L"x%B%");
    CRegistrySandbox::SetString(kKey, L"Grow", std::wstring(20000, L'g') + L"%Grow%");
    std::wstring text = L"%A%";
    EXPECT_EQ(ERROR_CIRCULAR_DEPENDENCY, Substitute(text));
    text = L"%B%";
    EXPECT_EQ(ERROR_CIRCULAR_DEPENDENCY, Substitute(text));
    text = L"%Grow%";
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, Substitute(text));
    EXPECT_LE(text.size(), kMaxSubstitutedLength);
}
