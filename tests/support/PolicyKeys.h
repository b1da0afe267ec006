#pragma once

// Where Windows keeps the machine's Group Policy shutdown scripts, as tests look for them.
inline constexpr wchar_t kScriptsStateKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group"
                                              L" Policy\\State\\Machine\\Scripts\\Shutdown";
// The local Group Policy object: its subkeys are the script keys.
inline constexpr wchar_t kScriptsPolicyKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group "
    L"Policy\\State\\Machine\\Scripts\\Shutdown\\0";
inline constexpr wchar_t kScriptsMirrorKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts\\Shutdown";
