#include "app/PrintUsage.h"

#include <cstdio>

namespace
{
const wchar_t* const kUsageLines[] = {
    L"\nZOREN Patch Manager parameters:\n",
    L"\t[/when now] - apply patch now\n",
    L"\t[/when reboot] - apply patch at reboot\n",
    L"\t\tdefault: /when now\n",
    L"\t[/reinstall all] - reinstall all patches\n",
    L"\t[/reinstall <PatchCodeGuid1>;[PatchCodeGuid;] - reinstall patches with GUID\n",
    L"\t[/uninstall all] - uninstall all installed patches\n",
    L"\t[/uninstall <PatchCodeGuid1>;[PatchCodeGuid;] - uninstall patches with GUID\n",
    L"\t[/ignore all] - ignore all new and not installed patches\n",
    L"\t[/ignore <PatchCodeGuid1>;[PatchCodeGuid;] - ignore patches with GUID\n",
    L"\t[/showui] - show user interface during installation\n",
    L"Press 'Enter' to return...\n",
};
} // namespace

void PrintUsage(CConsoleOutput& console)
{
    console.Enable();
    for (const wchar_t* line : kUsageLines)
        wprintf(L"%ls", line);
}
