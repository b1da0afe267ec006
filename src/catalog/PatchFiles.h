#pragma once

#include "catalog/SharedTypes.h"

#include <windows.h>

#include <string>

// Appends the bare names of the *.msp files of the folder (no trailing backslash), in the order
// the file system reports them; folders and reparse points are left out. Never fails.
void FindMSPFiles(const std::wstring& folder, StringList& names);

// Reads the patch code from the patch's XML description, upper-cased. Returns the installer's
// status, or ERROR_NO_MORE_ITEMS when the description names no patch code.
UINT GetMSPPatchGUID(const std::wstring& path, std::wstring& code);

// The first installed product related to the upgrade code; throws when there is none.
std::wstring GetProductCodeByUpgradeCode(const std::wstring& upgradeCode);

// The codes of the patches applied to the product, in the installer's order. Returns 0 when the
// enumeration ran to its end, else the failing status (the codes found until then stay).
UINT EnumProductPatches(const std::wstring& productCode, StringList& codes);

// The non-empty pieces of the text between separators, untrimmed.
void SplitString(const std::wstring& text, wchar_t separator, StringList& pieces);
