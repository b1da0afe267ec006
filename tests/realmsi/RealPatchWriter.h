#pragma once

// Writes Windows Installer patch files (.msp) that a real installer engine accepts and
// registers: a patch database with its metadata, summary information naming the patch and its
// target product, and two empty transforms. Such a patch changes nothing in the product; being
// applied and listed is all that the patch manager observes.

#include <windows.h>

#include <string>

struct CRealPatch
{
    std::wstring patchCode;   // {GUID} in upper case
    std::wstring productCode; // the product the patch targets
    std::wstring description; // the patch letter the patch manager reads
};

// ERROR_SUCCESS or the failing installer or storage call's status.
UINT WriteRealPatch(const std::wstring& path, const CRealPatch& patch);
