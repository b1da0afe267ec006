#include "AppliedPatches.h"

#include <msi.h>

UINT AppliedPatches(const std::wstring& productCode, std::vector<std::wstring>& codes)
{
    codes.clear();
    wchar_t patch[40];
    wchar_t transforms[1024];
    for (DWORD index = 0;; ++index)
    {
        DWORD chars = 1024;
        UINT status = MsiEnumPatchesW(productCode.c_str(), index, patch, transforms, &chars);
        if (status == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return status;
        codes.push_back(patch);
    }
}
