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

// Writes the section of an initialization file into a copy beside it and puts the flushed copy
// in place of the file (or makes it the file when there was none), so that a power cut leaves the
// old file or the new one, never a file cut short. The profile functions write the copy, so its
// format and encoding are the file's own. On a failure the file is left as it was and the copy
// removed; a copy left by an interrupted write is overwritten.
DWORD ReplaceIniSection(const std::wstring& path, const wchar_t* section, const wchar_t* lines);
