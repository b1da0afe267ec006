// Writes one real patch file: PatchWriter.exe <path> <patch code> <product code> <letter>.
// Exit code 0, or the installer's or storage's status.

#include "RealPatchWriter.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
    {
        fwprintf(stderr, L"usage: PatchWriter <path> <patch code> <product code> <letter>\n");
        return ERROR_INVALID_PARAMETER;
    }
    UINT status = WriteRealPatch(argv[1], {argv[2], argv[3], argv[4]});
    if (status)
        fwprintf(stderr, L"PatchWriter: %ls: error %u\n", argv[1], status);
    return static_cast<int>(status);
}
