#include "RegistryTree.h"

#include "catalog/Handles.h"
#include "shutdown/RegCopyKey.h"
#include "support/RandomInput.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
constexpr wchar_t kSource[] = L"Software\\Source";
constexpr wchar_t kDestination[] = L"Software\\Destination";
// Keys and values created, copied and compared in all. Each costs some ten registry calls of
// about 0.1 ms under Wine: this many keep the test near fifteen seconds.
constexpr size_t kItems = 10000;
constexpr size_t kMaxDepth = 3;

// Key names cannot hold a backslash; value names and classes can.
constexpr std::wstring_view kKeyNameChars = L"aB1 _.-{}\x00E9\x00FF\x4E2D";
constexpr std::wstring_view kValueNameChars = L"aB1 _.-{}\\\x00E9\x00FF\x4E2D";
// The longest names the registry takes.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

std::wstring KeyName(CRandomInput& random)
{
    return random.OneIn(50) ? std::wstring(kMaxKeyName - random.Below(3), L'k')
                            : L"k" + random.Text(12, kKeyNameChars);
}

// Mostly short; now and then longer than a path, up to the longest the registry takes.
std::wstring ValueName(CRandomInput& random)
{
    if (random.OneIn(100))
        return random.Text(kMaxValueName, kValueNameChars);
    return random.Text(random.OneIn(20) ? 400 : 12, kValueNameChars);
}

// Any type with any bytes, odd counts and strings without terminator included; rarely large.
std::string ValueData(CRandomInput& random)
{
    size_t length = random.OneIn(500) ? 70000 + random.Below(1000) : random.Below(40);
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = random.OneIn(4) ? '\0' : static_cast<char>(random.Below(256));
    return bytes;
}

const DWORD kTypes[] = {REG_NONE,  REG_SZ,       REG_EXPAND_SZ, REG_BINARY,
                        REG_DWORD, REG_MULTI_SZ, REG_QWORD,     0x12345678};

// Fills key with random values and subkeys; returns how many items it created.
size_t FillRandomKey(CRandomInput& random, HKEY key, size_t depth)
{
    size_t items = 0;
    for (size_t values = random.Below(6); values > 0; --values, ++items)
    {
        std::wstring name = ValueName(random);
        std::string data = ValueData(random);
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, name.c_str(), 0, kTypes[random.Below(std::size(kTypes))],
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())));
    }
    for (size_t subKeys = depth < kMaxDepth ? random.Below(4) : 0; subKeys > 0; --subKeys, ++items)
    {
        std::wstring keyClass =
            random.OneIn(30) ? random.Text(600, kValueNameChars) : random.Text(8, kValueNameChars);
        CRegKeyHandle subKey;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(key, KeyName(random).c_str(), 0, keyClass.data(), 0,
                                  KEY_ALL_ACCESS, nullptr, subKey.Put(), nullptr));
        items += FillRandomKey(random, subKey.Get(), depth + 1);
    }
    return items;
}

CRegKeyHandle CreateEmptyKey(const wchar_t* path)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
    CRegKeyHandle key;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    return key;
}
} // namespace

// Random trees, with names and classes longer than a path and values of every type and size:
// the copy is identical to its source, and the source is left as it was.
TEST(RegCopyKeyRandomTest, CopyOfAnyTreeIsIdentical)
{
    CRegistrySandbox registry;
    DiscardTraces();
    CRandomInput random(20261208);
    size_t items = 0;
    for (size_t tree = 0; items < kItems; ++tree)
    {
        items += FillRandomKey(random, CreateEmptyKey(kSource).Get(), 0);
        CRegistryTree source = ReadRegistryTree(HKEY_LOCAL_MACHINE, kSource);
        ASSERT_EQ(ERROR_SUCCESS, zapatch::RegCopyKeyW(HKEY_LOCAL_MACHINE, kSource,
                                                      CreateEmptyKey(kDestination).Get()))
            << "seed " << random.Seed() << " tree " << tree;
        ASSERT_EQ(source, ReadRegistryTree(HKEY_LOCAL_MACHINE, kDestination))
            << "seed " << random.Seed() << " tree " << tree;
        ASSERT_EQ(source, ReadRegistryTree(HKEY_LOCAL_MACHINE, kSource));
    }
}
