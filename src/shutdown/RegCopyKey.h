#pragma once

#include <windows.h>

// The program's own recursive registry key copy. It keeps the name and the argument order of the
// system function of that name, but it lives in this namespace on purpose: Wine's advapi32 does
// not export such a function and our headers do not declare it today, and should a header ever
// declare it (extern "C", dllimport), an unqualified definition of the same name and parameters
// would clash with that declaration and could bind callers to the import instead. A function of
// C++ linkage inside a namespace is a different entity with a different symbol, so callers that
// name zapatch::RegCopyKeyW always reach this copy, whatever the headers declare.
namespace zapatch
{
// Copies every subkey (at any depth, with its class) and every value of source\subKey into the
// open destination; a null subKey copies source itself. Returns a Windows status code, 0 on
// success; the first failing call stops the copy and what was copied until then stays.
DWORD RegCopyKeyW(HKEY source, const wchar_t* subKey, HKEY destination);
} // namespace zapatch
