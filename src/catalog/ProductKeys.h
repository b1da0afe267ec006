#pragma once

// The product's own registry keys under HKEY_LOCAL_MACHINE, read with query access only.
inline constexpr wchar_t kEnvironmentKey[] =
    L"Software\\TessalyLab\\protected\\ZOREN5_1\\environment";
inline constexpr wchar_t kDataKey[] = L"Software\\TessalyLab\\protected\\ZOREN5_1\\Data";

// The managed product, found through its upgrade code.
inline constexpr wchar_t kProductUpgradeCode[] = L"{5A2F7D10-3E64-4B8C-9F01-A7C3E28D4B65}";
