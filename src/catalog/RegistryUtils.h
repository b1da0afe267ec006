#pragma once

#include <windows.h>

#include <string>
#include <vector>

// How many %name% references one expansion may replace, so that self-references end.
inline constexpr int kMaxSubstitutions = 64;
// The longest text an expansion may produce: the longest path Windows accepts.
inline constexpr size_t kMaxSubstitutedLength = 32767;

// Reads a value of any length and type as characters; on success the buffer is NUL-terminated.
DWORD RegQueryStrValue(HKEY key, const wchar_t* valueName, std::vector<wchar_t>& buffer);

DWORD RegQuerySubKeyStrValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                             std::vector<wchar_t>& buffer);

// Stores exactly bytes of data, also for a string whose count leaves its terminator out.
DWORD RegSetValueExact(HKEY key, const wchar_t* valueName, DWORD type, const BYTE* data,
                       DWORD bytes);

// Replaces each %name% in text, left to right, by the value name of root\subKey.
DWORD SubstituteRegVariables(HKEY root, const wchar_t* subKey, std::wstring& text);
