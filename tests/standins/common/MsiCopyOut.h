#pragma once

#include <windows.h>

#include <string>

namespace standin
{
// The installer's documented out-string contract: the length without the NUL comes back in
// *chars; a buffer too small gets what fits, terminated, and ERROR_MORE_DATA.
inline UINT CopyOut(const std::wstring& value, LPWSTR buffer, DWORD* chars)
{
    if (!chars)
        return buffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD offered = *chars;
    *chars = static_cast<DWORD>(value.size());
    if (!buffer)
        return ERROR_SUCCESS;
    if (offered <= value.size())
    {
        if (offered > 0)
            buffer[value.copy(buffer, offered - 1)] = L'\0';
        return ERROR_MORE_DATA;
    }
    buffer[value.copy(buffer, value.size())] = L'\0';
    return ERROR_SUCCESS;
}
} // namespace standin
