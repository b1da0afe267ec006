#include "shutdown/RegCompareKeys.h"

#include "catalog/Handles.h"

#include <vector>

namespace
{
struct CKeyCounts
{
    DWORD subKeys = 0;
    DWORD values = 0;
    DWORD longestValueName = 0;
    DWORD longestData = 0;
};

DWORD QueryCounts(HKEY key, CKeyCounts& counts)
{
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &counts.subKeys, nullptr, nullptr,
                            &counts.values, &counts.longestValueName, &counts.longestData, nullptr,
                            nullptr);
}

DWORD OpenForReading(HKEY parent, const wchar_t* name, CRegKeyHandle& key)
{
    return RegOpenKeyExW(parent, name, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, key.Put());
}

// A value's type and bytes; ERROR_FILE_NOT_FOUND when it is missing.
DWORD QueryValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
{
    DWORD bytes = 0;
    DWORD status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
    data.assign(bytes, 0);
    if (status == ERROR_SUCCESS && bytes)
        status = RegQueryValueExW(key, name, nullptr, &type, data.data(), &bytes);
    return status;
}

DWORD CompareOpenKeys(HKEY first, HKEY second, bool whole, bool& equal);

// Every value of first is in second with the same type and bytes.
DWORD CompareValues(HKEY first, HKEY second, const CKeyCounts& counts, bool& equal)
{
    std::vector<wchar_t> name(counts.longestValueName + 1);
    std::vector<BYTE> data, other;
    for (DWORD index = 0; index < counts.values && equal; ++index)
    {
        DWORD chars = static_cast<DWORD>(name.size());
        DWORD type = 0, otherType = 0;
        DWORD status =
            RegEnumValueW(first, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            status = QueryValue(first, name.data(), type, data);
        if (status != ERROR_SUCCESS)
            return status;
        status = QueryValue(second, name.data(), otherType, other);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;
        equal = status == ERROR_SUCCESS && type == otherType && data == other;
    }
    return ERROR_SUCCESS;
}

// Every subkey of first is a subkey of second holding the same tree, or one within it.
DWORD CompareSubKeys(HKEY first, HKEY second, const CKeyCounts& counts, bool whole, bool& equal)
{
    for (DWORD index = 0; index < counts.subKeys && equal; ++index)
    {
        wchar_t name[MAX_PATH] = {};
        DWORD chars = MAX_PATH;
        CRegKeyHandle firstChild, secondChild;
        DWORD status =
            RegEnumKeyExW(first, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            status = OpenForReading(first, name, firstChild);
        if (status != ERROR_SUCCESS)
            return status;
        status = OpenForReading(second, name, secondChild);
        if (status == ERROR_FILE_NOT_FOUND)
            equal = false;
        else if (status == ERROR_SUCCESS)
            status = CompareOpenKeys(firstChild.Get(), secondChild.Get(), whole, equal);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;
    }
    return ERROR_SUCCESS;
}

// With whole, the trees are the same; else the first is within the second. A missing second key
// is an empty one.
DWORD CompareOpenKeys(HKEY first, HKEY second, bool whole, bool& equal)
{
    CKeyCounts counts, otherCounts;
    DWORD status = QueryCounts(first, counts);
    if (status == ERROR_SUCCESS && second)
        status = QueryCounts(second, otherCounts);
    if (status != ERROR_SUCCESS)
        return status;
    if (!second)
    {
        equal = counts.subKeys == 0 && counts.values == 0;
        return ERROR_SUCCESS;
    }
    equal =
        !whole || (counts.subKeys == otherCounts.subKeys && counts.values == otherCounts.values);
    status = CompareValues(first, second, counts, equal);
    if (status == ERROR_SUCCESS)
        status = CompareSubKeys(first, second, counts, whole, equal);
    return status;
}
} // namespace

DWORD RegCompareKeys(HKEY root, const wchar_t* first, const wchar_t* second, bool& equal)
{
    CRegKeyHandle firstKey, secondKey;
    DWORD firstStatus = OpenForReading(root, first, firstKey);
    DWORD secondStatus = OpenForReading(root, second, secondKey);
    for (DWORD status : {firstStatus, secondStatus})
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;
    if (firstStatus != ERROR_SUCCESS || secondStatus != ERROR_SUCCESS)
    {
        equal = firstStatus == secondStatus;
        return ERROR_SUCCESS;
    }
    return CompareOpenKeys(firstKey.Get(), secondKey.Get(), true, equal);
}

DWORD RegKeyWithin(HKEY root, const wchar_t* first, const wchar_t* second, bool& within)
{
    CRegKeyHandle firstKey, secondKey;
    DWORD status = OpenForReading(root, first, firstKey);
    if (status == ERROR_SUCCESS && second)
        status = OpenForReading(root, second, secondKey);
    if (status != ERROR_SUCCESS)
        return status;
    return CompareOpenKeys(firstKey.Get(), secondKey.Get(), false, within);
}
