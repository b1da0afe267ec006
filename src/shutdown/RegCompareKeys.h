#pragma once

#include <windows.h>

// Whether root\first and root\second hold the same tree: the same subkey names at every depth
// and the same values, by name, type and bytes (classes and times aside). Two missing keys are
// the same tree, one missing key is not. Returns a Windows status code, 0 when equal was set.
DWORD RegCompareKeys(HKEY root, const wchar_t* first, const wchar_t* second, bool& equal);

// Whether every value of root\first, and every subkey at every depth, is in root\second with
// the same type and bytes; a null second stands for an empty key. Returns a Windows status code,
// 0 when within was set.
DWORD RegKeyWithin(HKEY root, const wchar_t* first, const wchar_t* second, bool& within);
