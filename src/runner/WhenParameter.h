#pragma once

#include <windows.h>

#include <string>

// What the Home-edition rule asks of Windows; tests present other editions and versions.
struct CWindowsEditionQueries
{
    bool (*isWindows8OrLater)();
    BOOL(WINAPI* getProductInfo)(DWORD, DWORD, DWORD, DWORD, PDWORD);
};

// The queries in use: Windows' own unless a test replaced them.
CWindowsEditionQueries& WindowsEditionQueries();

// Windows 8 / Windows Server 2012 or later.
bool IsWindows8OrLater();

std::wstring GetDefaultWhenParValue();

// Home editions before Windows 8 run no shutdown scripts, so they always get "now"; an empty
// value gets the default; anything else is kept.
void CorrectWhenPar(std::wstring& when);
