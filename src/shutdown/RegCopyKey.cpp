#include "shutdown/RegCopyKey.h"

#include "catalog/Handles.h"
#include "catalog/RegistryUtils.h"
#include "diag/TraceLog.h"

#include <algorithm>
#include <vector>

namespace
{
constexpr DWORD kMinNameCapacity = MAX_PATH;
// A value that grew to an empty reported size still gets room for a path on the retry.
constexpr DWORD kRetryFallbackBytes = MAX_PATH;

// Buffer sizes for one key. Value names (up to 16,383 characters) and classes may be longer than
// a path, so the name buffers grow to the longest the key holds.
struct CKeySizes
{
    DWORD classCapacity = kMinNameCapacity;
    DWORD valueNameCapacity = kMinNameCapacity;
    DWORD dataCapacity = 1;
};

DWORD QueryKeySizes(HKEY key, CKeySizes& sizes)
{
    DWORD maxClassChars = 0;
    DWORD maxValueNameChars = 0;
    DWORD maxDataBytes = 0;
    DWORD status =
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, &maxClassChars, nullptr,
                         &maxValueNameChars, &maxDataBytes, nullptr, nullptr);
    sizes.classCapacity = std::max(kMinNameCapacity, maxClassChars + 1);
    sizes.valueNameCapacity = std::max(kMinNameCapacity, maxValueNameChars + 1);
    sizes.dataCapacity = maxDataBytes + 1;
    return status;
}

// Copies the subkeys of source, depth first, each with its class; ERROR_NO_MORE_ITEMS when all
// were copied. Key names never exceed 255 characters.
DWORD CopySubKeys(HKEY source, const CKeySizes& sizes, HKEY destination)
{
    std::vector<wchar_t> name(kMinNameCapacity, L'\0');
    std::vector<wchar_t> keyClass(sizes.classCapacity, L'\0');
    for (DWORD index = 0;; ++index)
    {
        DWORD nameChars = kMinNameCapacity;
        DWORD classChars = sizes.classCapacity;
        DWORD status = RegEnumKeyExW(source, index, name.data(), &nameChars, nullptr,
                                     keyClass.data(), &classChars, nullptr);
        if (status != ERROR_SUCCESS)
            return status;

        CRegKeyHandle child;
        DWORD disposition = 0;
        status = RegCreateKeyExW(destination, name.data(), 0, keyClass.data(), 0, KEY_ALL_ACCESS,
                                 nullptr, child.Put(), &disposition);
        if (status == ERROR_SUCCESS)
            status = zapatch::RegCopyKeyW(source, name.data(), child.Get());
        if (status != ERROR_SUCCESS)
            return status;
    }
}

// Reads the value at index, enlarging the data buffer once if the value grew since the size
// query.
DWORD EnumValue(HKEY source, DWORD index, std::vector<wchar_t>& name, DWORD& type,
                std::vector<BYTE>& data, DWORD& dataBytes)
{
    DWORD nameChars = static_cast<DWORD>(name.size());
    dataBytes = static_cast<DWORD>(data.size());
    DWORD status = RegEnumValueW(source, index, name.data(), &nameChars, nullptr, &type,
                                 data.data(), &dataBytes);
    if (status != ERROR_MORE_DATA)
        return status;

    CTraceLog::Instance().Trace(500, L"%s: New buff size = %d", L"RegCopyKeyW", dataBytes);
    data.resize(dataBytes ? dataBytes : kRetryFallbackBytes, 0);
    nameChars = static_cast<DWORD>(name.size());
    dataBytes = static_cast<DWORD>(data.size());
    return RegEnumValueW(source, index, name.data(), &nameChars, nullptr, &type, data.data(),
                         &dataBytes);
}

// Copies every value of source with its name, type and exact bytes; ERROR_NO_MORE_ITEMS when
// all were copied.
DWORD CopyValues(HKEY source, const CKeySizes& sizes, HKEY destination)
{
    DWORD status = ERROR_SUCCESS;
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index)
    {
        std::vector<BYTE> data(sizes.dataCapacity, 0);
        std::vector<wchar_t> name(sizes.valueNameCapacity, L'\0');
        DWORD type = 0;
        DWORD dataBytes = 0;
        status = EnumValue(source, index, name, type, data, dataBytes);
        if (status != ERROR_SUCCESS)
            break;
        status = RegSetValueExact(destination, name.data(), type, data.data(), dataBytes);
    }
    return status;
}

DWORD CopyKey(HKEY source, HKEY destination)
{
    CKeySizes sizes;
    DWORD status = QueryKeySizes(source, sizes);
    if (status != ERROR_SUCCESS)
        return status;
    status = CopySubKeys(source, sizes, destination);
    if (status == ERROR_NO_MORE_ITEMS)
        status = CopyValues(source, sizes, destination);
    return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
}
} // namespace

DWORD zapatch::RegCopyKeyW(HKEY source, const wchar_t* subKey, HKEY destination)
{
    if (!subKey)
        return source ? CopyKey(source, destination) : ERROR_INVALID_PARAMETER;

    CRegKeyHandle opened;
    DWORD status =
        RegOpenKeyExW(source, subKey, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, opened.Put());
    if (status != ERROR_SUCCESS)
        return status;
    return CopyKey(opened.Get(), destination);
}
