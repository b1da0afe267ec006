#pragma once

#include <windows.h>

#include <string>

// The names of the script keys under a Group Policy scripts key: each is its number in
// lowercase hexadecimal without leading zeros, and scripts run from 0 up to the first gap.

std::wstring KeyName(int number);

// Reads a name as hexadecimal: leading white space skipped, stops at the first other character;
// a name that begins with no hexadecimal digit reads as 0.
int KeyNumber(const std::wstring& name);

// The name of the subkey at index. After a failed enumeration only what Windows terminated
// inside the buffer counts.
DWORD EnumSubKeyName(HKEY key, DWORD index, std::wstring& name);

// A number whose key does not exist under key: the first gap in the numbering, moved on past any
// key of that name further down the enumeration.
DWORD FindFreeScriptKeyNumber(HKEY key, int& number);
