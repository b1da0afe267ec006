#include "RegistryTree.h"

#include "catalog/Handles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{
std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::string Hex(const std::string& bytes)
{
    std::string text;
    char digits[4];
    for (unsigned char byte : bytes)
    {
        snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

// Sized from the key itself: value names and classes may be far longer than a path.
CRegistryTree ReadKey(HKEY key)
{
    CRegistryTree tree;
    DWORD maxValueName = 0;
    DWORD maxData = 0;
    std::vector<wchar_t> keyClass(MAX_PATH);
    DWORD classChars = 0;
    LSTATUS status = ERROR_SUCCESS;
    // Wine reports no class length without a buffer: grow until the class fits.
    while (true)
    {
        classChars = static_cast<DWORD>(keyClass.size());
        status = RegQueryInfoKeyW(key, keyClass.data(), &classChars, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, &maxValueName, &maxData, nullptr, nullptr);
        if (status != ERROR_INSUFFICIENT_BUFFER && status != ERROR_MORE_DATA)
            break;
        keyClass.resize(keyClass.size() * 2);
    }
    EXPECT_EQ(ERROR_SUCCESS, status);
    tree.keyClass.assign(keyClass.data(), classChars);

    std::vector<wchar_t> name(std::max<DWORD>(MAX_PATH, maxValueName + 1));
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index)
    {
        DWORD nameChars = static_cast<DWORD>(name.size());
        std::vector<char> data(maxData + 1);
        DWORD bytes = maxData + 1;
        DWORD type = 0;
        status = RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (status == ERROR_SUCCESS)
            tree.values[std::wstring(name.data(), nameChars)] = {type,
                                                                 std::string(data.data(), bytes)};
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, status) << "reading the values";
    for (DWORD index = 0;; ++index)
    {
        DWORD nameChars = static_cast<DWORD>(name.size());
        status =
            RegEnumKeyExW(key, index, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        tree.subKeys[name.data()] = ReadRegistryTree(key, name.data());
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, status) << "reading the subkeys";
    return tree;
}
} // namespace

CRegistryTree ReadRegistryTree(HKEY root, const std::wstring& path)
{
    CRegKeyHandle key;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put());
    if (status != ERROR_SUCCESS)
    {
        ADD_FAILURE() << "cannot open " << Narrow(path) << ", status " << status;
        return {};
    }
    return ReadKey(key.Get());
}

bool RegistryKeyExists(HKEY root, const std::wstring& path)
{
    CRegKeyHandle key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::string CRegistryTree::Describe(const std::string& indent) const
{
    std::string text = indent + "class '" + Narrow(keyClass) + "'\n";
    for (const auto& [name, value] : values)
        text += indent + "'" + Narrow(name) + "' type " + std::to_string(value.type) + " " +
                Hex(value.bytes) + "\n";
    for (const auto& [name, subKey] : subKeys)
        text += indent + "[" + Narrow(name) + "]\n" + subKey.Describe(indent + "  ");
    return text;
}
