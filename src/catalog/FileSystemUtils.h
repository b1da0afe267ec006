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

// A replace cut short may leave no file, only its flushed copy (<file>.new) or the original under
// the backup name (<file>.old): that one is the file, and is put in place (the copy first, as the
// newer). A copy beside an existing file is a leftover of an interrupted write, which the next
// write removes. Run before the file is read or written.
DWORD RecoverInterruptedReplace(const std::wstring& path);

using ReplaceFileFunction = decltype(&ReplaceFileW);

// Writes the section of an initialization file into a copy beside it and puts the flushed copy
// in place of the file (or makes it the file when there was none), so that a power cut leaves the
// old file or the new one, never a file cut short. The profile functions write the copy, so its
// format and encoding are the file's own. On a failure the file is left as it was and the copy
// removed, unless the file is missing and the copy all that is left of it; a copy left by an
// interrupted write is overwritten. Where ReplaceFileW loses the original on its way (1176), the
// copy becomes the file and the write is done; an original it leaves under the backup name
// (1177) is put back. The replace function is ReplaceFileW except in tests of its failures.
DWORD ReplaceIniSection(const std::wstring& path, const wchar_t* section, const wchar_t* lines,
                        ReplaceFileFunction replace = &ReplaceFileW);
