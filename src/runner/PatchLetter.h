#pragma once

#include <string>

// The "Description" metadata of a patch file: its patch letter, possibly marked "pu:". Empty
// when the file or the value cannot be read, and for a null path.
std::wstring GetMSPDescription(const wchar_t* path);

// The letter that a Description gives: a leading "pu:" is dropped unless nothing follows it.
std::wstring PatchLetterFromDescription(const std::wstring& description);

// Private fixes are named "pf..." (more than two characters); an empty letter is private too.
bool IsPrivateHotfix(const std::wstring& hotfix);
bool IsPrivateLetter(const std::wstring& letter);

// A letter is older than an installed one when it is shorter, or smaller at the first position
// where the two differ; equal letters and longer ones that begin with it are not older.
bool IsOlderLetter(const std::wstring& letter, const std::wstring& installed);
