#pragma once

#include <windows.h>

#include <string>

// "<prefix>: <system text for code>", or "Unknown error." where the system has none.
std::wstring ErrorTextW(const wchar_t* prefix, DWORD code);
std::string ErrorTextA(const char* prefix, DWORD code);
