#pragma once

#include "catalog/Handles.h"
#include "shutdown/RegCopyKey.h"

#include <windows.h>
#include <shlwapi.h>

// Where Windows keeps the machine's Group Policy shutdown scripts, as tests look for them.
inline constexpr wchar_t kScriptsStateKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group"
                                              L" Policy\\State\\Machine\\Scripts\\Shutdown";
// The local Group Policy object: its subkeys are the script keys.
inline constexpr wchar_t kScriptsPolicyKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group "
    L"Policy\\State\\Machine\\Scripts\\Shutdown\\0";
inline constexpr wchar_t kScriptsMirrorKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts\\Shutdown";

// Rebuilds the mirror from the state key, as Group Policy and the tools that register scripts
// keep it.
inline void MirrorScriptsStateKey()
{
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kScriptsMirrorKey);
    CRegKeyHandle mirror;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kScriptsMirrorKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, mirror.Put(), nullptr) == ERROR_SUCCESS)
        zapatch::RegCopyKeyW(HKEY_LOCAL_MACHINE, kScriptsStateKey, mirror.Get());
}
