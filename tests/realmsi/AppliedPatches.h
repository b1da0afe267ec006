#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The codes of the patches that the installer engine lists as applied to the product
// (MsiEnumPatchesW), in its order. ERROR_SUCCESS or the engine's status.
UINT AppliedPatches(const std::wstring& productCode, std::vector<std::wstring>& codes);
