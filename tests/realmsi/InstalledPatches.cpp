// Lists the patches that the installer engine has applied to a product, one code a line:
// InstalledPatches.exe <product code>. Exit code 0, or the engine's status.

#include "AppliedPatches.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
    {
        fwprintf(stderr, L"usage: InstalledPatches <product code>\n");
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::wstring> codes;
    UINT status = AppliedPatches(argv[1], codes);
    for (const std::wstring& code : codes)
        wprintf(L"%ls\n", code.c_str());
    return static_cast<int>(status);
}
