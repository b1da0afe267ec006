#include "catalog/RegistryUtils.h"

#include "catalog/Handles.h"
#include "diag/TraceLog.h"

#include <algorithm>

namespace
{
constexpr size_t kFirstReadChars = MAX_PATH;
constexpr wchar_t kSubstitute[] = L"SubstituteRegVariables";

DWORD ReadValue(HKEY key, const wchar_t* valueName, std::vector<wchar_t>& buffer, DWORD& bytes)
{
    return RegQueryValueExW(key, valueName, nullptr, nullptr,
                            reinterpret_cast<BYTE*>(buffer.data()), &bytes);
}
} // namespace

// RegSetValueExW adds the terminator that the count of a string value leaves out whenever the
// character after the counted bytes is zero; a non-zero character there keeps the bytes exact.
DWORD RegSetValueExact(HKEY key, const wchar_t* valueName, DWORD type, const BYTE* data,
                       DWORD bytes)
{
    std::vector<BYTE> guarded(data, data + bytes);
    guarded.insert(guarded.end(), 2, 0xFF);
    return RegSetValueExW(key, valueName, 0, type, guarded.data(), bytes);
}

DWORD RegQueryStrValue(HKEY key, const wchar_t* valueName, std::vector<wchar_t>& buffer)
{
    buffer.assign(kFirstReadChars, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD status = ReadValue(key, valueName, buffer, bytes);
    while (status == ERROR_MORE_DATA)
    {
        buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        status = ReadValue(key, valueName, buffer, bytes);
    }
    // A value stored without its terminator can fill the buffer to the last character.
    if (status == ERROR_SUCCESS && std::find(buffer.begin(), buffer.end(), L'\0') == buffer.end())
        buffer.push_back(L'\0');
    return status;
}

DWORD RegQuerySubKeyStrValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                             std::vector<wchar_t>& buffer)
{
    CRegKeyHandle key;
    DWORD status = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE, key.Put());
    if (status != ERROR_SUCCESS)
        return status;
    return RegQueryStrValue(key.Get(), valueName.c_str(), buffer);
}

DWORD SubstituteRegVariables(HKEY root, const wchar_t* subKey, std::wstring& text)
{
    if (!root || !subKey)
        return ERROR_INVALID_PARAMETER;
    for (int substitutions = 0;; ++substitutions)
    {
        size_t open = text.find(L'%');
        size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        // A lone % is no reference: the text is left as it stands.
        if (close == std::wstring::npos)
            return ERROR_SUCCESS;
        if (substitutions == kMaxSubstitutions)
            return ERROR_CIRCULAR_DEPENDENCY;

        std::wstring name = text.substr(open + 1, close - open - 1);
        CTraceLog::Instance().Trace(500, L"%s: Current variable name: %s", kSubstitute,
                                    name.c_str());
        std::vector<wchar_t> value;
        DWORD status = RegQuerySubKeyStrValue(root, subKey, name, value);
        if (status != ERROR_SUCCESS)
            return status;

        std::wstring replaced = text.substr(0, open) + value.data() + text.substr(close + 1);
        if (replaced.size() > kMaxSubstitutedLength)
            return ERROR_FILENAME_EXCED_RANGE;
        text = std::move(replaced);
        CTraceLog::Instance().Trace(500, L"%s: New value: %s", kSubstitute, text.c_str());
    }
}
