#pragma once

#include <windows.h>

#include <string>

// Creates the folder and every missing parent; 0 when the folder (or anything of that name)
// exists afterwards.
DWORD CreateDirRecurs(const wchar_t* path);
// The same without trace lines, for the trace log's own folder.
DWORD CreateDirRecursUntraced(const wchar_t* path);

// The full path of a loaded module, by default the running executable; empty when Windows cannot
// give it.
std::wstring GetModuleFilePath(HMODULE module = nullptr);
