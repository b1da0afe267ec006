#include "RegistryTree.h"

#include "catalog/Handles.h"
#include "shutdown/RegCopyKey.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
constexpr wchar_t kSource[] = L"Software\\Source";
constexpr wchar_t kDestination[] = L"Software\\Destination";

CRegKeyHandle CreateKey(const std::wstring& path, const wchar_t* keyClass = nullptr)
{
    CRegKeyHandle key;
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, const_cast<wchar_t*>(keyClass),
                              0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    return key;
}

void SetValue(HKEY key, const wchar_t* name, DWORD type, const void* data, size_t bytes)
{
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                                            static_cast<DWORD>(bytes)));
}

// Every value type the copy must carry byte for byte, the default value included. Values go
// through the open handle: creating the key again would drop its class under Wine.
void FillValues(HKEY key, const std::wstring& tag)
{
    std::wstring text = L"text " + tag;
    SetValue(key, nullptr, REG_SZ, text.c_str(), (text.size() + 1) * 2);
    SetValue(key, L"Text", REG_SZ, text.c_str(), (text.size() + 1) * 2);
    // A non-zero character after the counted bytes, or the system would store a terminator.
    std::wstring unterminated = L"no terminator " + tag + L"!";
    SetValue(key, L"Unterminated", REG_SZ, unterminated.c_str(), (unterminated.size() - 1) * 2);
    DWORD number = 0xDEADBEEF;
    SetValue(key, L"Number", REG_DWORD, &number, sizeof number);
    const BYTE binary[] = {0, 1, 2, 0xFF, 0, 0x80};
    SetValue(key, L"Binary", REG_BINARY, binary, sizeof binary);
    const wchar_t multi[] = L"one\0two\0\0";
    SetValue(key, L"Multi", REG_MULTI_SZ, multi, sizeof multi);
}

class RegCopyKeyTest : public ::testing::Test
{
  protected:
    RegCopyKeyTest()
    {
        SetCurrentDirectoryW(m_folder.Path().c_str()); // a retry's trace would land here
        FillValues(CreateKey(kSource).Get(), L"top");
        std::wstring path = kSource;
        for (const wchar_t* level : {L"A", L"B", L"C"})
        {
            path += std::wstring(L"\\") + level;
            FillValues(CreateKey(path, (std::wstring(L"Class") + level).c_str()).Get(), level);
        }
        CreateKey(std::wstring(kSource) + L"\\Empty");
        CRegistrySandbox::SetString(std::wstring(kSource) + L"\\A\\Sibling", L"V", L"sibling");
        m_destination = CreateKey(kDestination);
    }

    CRegistryTree Source() const { return ReadRegistryTree(HKEY_LOCAL_MACHINE, kSource); }
    CRegistryTree Destination() const { return ReadRegistryTree(HKEY_LOCAL_MACHINE, kDestination); }

    CRegistrySandbox m_registry;
    CTempFolder m_folder;
    CRegKeyHandle m_destination;
};
} // namespace

TEST_F(RegCopyKeyTest, CopiesWholeTreeWithClassesAndExactBytes)
{
    CRegistryTree before = Source();
    ASSERT_EQ(L"ClassC", before.subKeys[L"A"].subKeys[L"B"].subKeys[L"C"].keyClass);
    ASSERT_EQ(17u * 2, before.values[L"Unterminated"].bytes.size()) << "stored without terminator";

    ASSERT_EQ(ERROR_SUCCESS,
              zapatch::RegCopyKeyW(HKEY_LOCAL_MACHINE, kSource, m_destination.Get()));
    EXPECT_EQ(before, Destination()) << Destination().Describe();
    EXPECT_EQ(before, Source()) << "the source stays unchanged";
    EXPECT_EQ(std::string("n\0o\0", 4), Destination().values[L"Unterminated"].bytes.substr(0, 4));
    EXPECT_EQ(17u * 2, Destination().values[L"Unterminated"].bytes.size());
}

TEST_F(RegCopyKeyTest, NullSubKeyCopiesTheOpenSourceItself)
{
    CRegKeyHandle source;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSource, 0, KEY_READ, source.Put()));
    ASSERT_EQ(ERROR_SUCCESS, zapatch::RegCopyKeyW(source.Get(), nullptr, m_destination.Get()));
    EXPECT_EQ(Source(), Destination());
    // The handle given as source stays open.
    DWORD subKeys = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(source.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2u, subKeys);
}

TEST_F(RegCopyKeyTest, FillsAnExistingDestinationSubKey)
{
    std::wstring existing = std::wstring(kDestination) + L"\\A";
    CRegistrySandbox::SetString(existing, L"Text", L"overwritten");
    CRegistrySandbox::SetString(existing, L"Kept", L"kept");
    CRegistrySandbox::SetString(existing + L"\\Own", L"V", L"own");

    ASSERT_EQ(ERROR_SUCCESS,
              zapatch::RegCopyKeyW(HKEY_LOCAL_MACHINE, kSource, m_destination.Get()));
    CRegistryTree expected = Source();
    CRegistryTree& a = expected.subKeys[L"A"];
    // Whether an existing key takes the class differs between Wine and Windows; not ours to say.
    a.keyClass = Destination().subKeys[L"A"].keyClass;
    a.values[L"Kept"] = ReadRegistryTree(HKEY_LOCAL_MACHINE, existing).values[L"Kept"];
    a.subKeys[L"Own"] = ReadRegistryTree(HKEY_LOCAL_MACHINE, existing + L"\\Own");
    EXPECT_EQ(expected, Destination()) << Destination().Describe();
}

TEST_F(RegCopyKeyTest, RejectsMissingSourceAndNullArguments)
{
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              zapatch::RegCopyKeyW(HKEY_LOCAL_MACHINE, L"Software\\Missing", m_destination.Get()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, zapatch::RegCopyKeyW(nullptr, nullptr, m_destination.Get()));
    EXPECT_EQ(CRegistryTree{}, Destination());
}

// Value names may be up to 16,383 characters and classes longer than a path: a buffer of a
// path's size made the copy fail with ERROR_MORE_DATA.
TEST_F(RegCopyKeyTest, CopiesNamesAndClassesLongerThanAPath)
{
    std::wstring longName(16383, L'n');
    std::wstring longClass(600, L'c');
    FillValues(CreateKey(std::wstring(kSource) + L"\\Long", longClass.c_str()).Get(), longName);
    CRegistrySandbox::SetString(kSource, longName, L"top");

    ASSERT_EQ(ERROR_SUCCESS,
              zapatch::RegCopyKeyW(HKEY_LOCAL_MACHINE, kSource, m_destination.Get()));
    EXPECT_EQ(Source(), Destination());
    EXPECT_EQ(longClass, Destination().subKeys[L"Long"].keyClass);
}
