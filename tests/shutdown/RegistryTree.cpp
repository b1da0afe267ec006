#include "RegistryTree.h"

#include "catalog/Handles.h"

#include <gtest/gtest.h>

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

CRegistryTree ReadKey(HKEY key)
{
    CRegistryTree tree;
    wchar_t name[MAX_PATH];
    wchar_t keyClass[MAX_PATH];
    DWORD classChars = MAX_PATH;
    DWORD maxData = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(key, keyClass, &classChars, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, &maxData, nullptr, nullptr));
    tree.keyClass.assign(keyClass, classChars);

    for (DWORD index = 0;; ++index)
    {
        DWORD nameChars = MAX_PATH;
        std::vector<char> data(maxData + 1);
        DWORD bytes = maxData + 1;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &nameChars, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &bytes) != ERROR_SUCCESS)
            break;
        tree.values[name] = {type, std::string(data.data(), bytes)};
    }
    for (DWORD index = 0;; ++index)
    {
        DWORD nameChars = MAX_PATH;
        if (RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        tree.subKeys[name] = ReadRegistryTree(key, name);
    }
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
