#include "shutdown/ScriptKeyNames.h"

#include "catalog/Handles.h"
#include "diag/TraceLog.h"

#include <climits>
#include <vector>

namespace
{
constexpr wchar_t kFindFreeKeyNumber[] = L"CShutdownScript::FindFreeKeyNumber";
constexpr DWORD kNameCapacity = MAX_PATH;

// Only ASCII digits count: a key name is no place for locale rules.
int HexDigitValue(wchar_t ch)
{
    if (ch >= L'0' && ch <= L'9')
        return ch - L'0';
    if (ch >= L'a' && ch <= L'f')
        return ch - L'a' + 10;
    if (ch >= L'A' && ch <= L'F')
        return ch - L'A' + 10;
    return -1;
}

// Only a missing key is free, and a key that this process may not open is taken too. Any other
// status is returned: a policy key deleted meanwhile answers every open with ERROR_KEY_DELETED.
DWORD IsSubKeyTaken(HKEY key, const std::wstring& name, bool& taken)
{
    CRegKeyHandle subKey;
    DWORD status = RegOpenKeyExW(key, name.c_str(), 0, KEY_QUERY_VALUE, subKey.Put());
    taken = status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED;
    return taken || status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// The first position, in enumeration order, whose subkey name does not read as that position.
int FirstNumberGap(HKEY key)
{
    DWORD status = ERROR_SUCCESS;
    int index = 0;
    while (status == ERROR_SUCCESS)
    {
        std::wstring name;
        status = EnumSubKeyName(key, static_cast<DWORD>(index), name);
        if (status == ERROR_NO_MORE_ITEMS)
            return index;
        CTraceLog::Instance().Trace(500, L"%s: current subkey = %s", kFindFreeKeyNumber,
                                    name.c_str());
        if (KeyNumber(name) != index)
            return index;
        ++index;
    }
    return index;
}
} // namespace

std::wstring KeyName(int number)
{
    wchar_t name[16] = {};
    swprintf(name, _countof(name), L"%x", static_cast<unsigned>(number));
    return name;
}

// A longer number saturates at the largest one: no name may read as negative or wrap round.
int KeyNumber(const std::wstring& name)
{
    size_t pos = name.find_first_not_of(L" \t\r\n\v\f");
    int number = 0;
    for (; pos < name.size() && HexDigitValue(name[pos]) >= 0; ++pos)
    {
        int digit = HexDigitValue(name[pos]);
        number = number > (INT_MAX - digit) / 16 ? INT_MAX : number * 16 + digit;
    }
    return number;
}

DWORD EnumSubKeyName(HKEY key, DWORD index, std::wstring& name)
{
    std::vector<wchar_t> buffer(kNameCapacity, L'\0');
    DWORD chars = kNameCapacity;
    DWORD status =
        RegEnumKeyExW(key, index, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr);
    name.assign(buffer.data(), wcsnlen(buffer.data(), kNameCapacity));
    return status;
}

// Other tools may name keys in decimal, and 10 and 11 sort before 2: the first gap in the
// enumeration can be a number whose key exists further down, and that key is never taken over.
DWORD FindFreeScriptKeyNumber(HKEY key, int& number)
{
    for (number = FirstNumberGap(key);; ++number)
    {
        bool taken = false;
        DWORD status = IsSubKeyTaken(key, KeyName(number), taken);
        if (status != ERROR_SUCCESS || !taken)
            return status;
        CTraceLog::Instance().Trace(500, L"%s: subkey %s exists already", kFindFreeKeyNumber,
                                    KeyName(number).c_str());
    }
}
