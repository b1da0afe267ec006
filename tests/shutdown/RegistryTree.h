#pragma once

#include <windows.h>

#include <map>
#include <ostream>
#include <string>

// A snapshot of a registry key: its class, every value with type and exact bytes, and every
// subkey, so that two keys compare as whole trees.
struct CRegistryTree
{
    struct Value
    {
        DWORD type = REG_NONE;
        std::string bytes;
        bool operator==(const Value&) const = default;
    };

    std::wstring keyClass;
    std::map<std::wstring, Value> values;
    std::map<std::wstring, CRegistryTree> subKeys;

    bool operator==(const CRegistryTree&) const = default;
    // Readable form for failure messages.
    std::string Describe(const std::string& indent = "") const;
};

// Lets test failures show trees readably.
inline void PrintTo(const CRegistryTree& tree, std::ostream* out)
{
    *out << "\n" << tree.Describe();
}
inline void PrintTo(const CRegistryTree::Value& value, std::ostream* out)
{
    *out << CRegistryTree{{}, {{L"", value}}, {}}.Describe();
}

// The tree of root\path; a missing key fails the test and gives an empty tree.
CRegistryTree ReadRegistryTree(HKEY root, const std::wstring& path);
bool RegistryKeyExists(HKEY root, const std::wstring& path);
