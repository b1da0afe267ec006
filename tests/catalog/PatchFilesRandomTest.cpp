#include "catalog/PatchFiles.h"
#include "support/InstallerStandin.h"
#include "support/RandomInput.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
constexpr int kCases = 100000;

// Pieces of patch descriptions: the attribute in any case, whole and cut, quotes of both kinds,
// markup, GUID characters, and characters that upper-case outside a to z under some tables.
const wchar_t* const kPieces[] = {
    L"PatchGUID=", L"PATCHGUID=",  L"patchguid=", L"PatchGUID", L"PATCHGUI", L"=",
    L"\"",         L"'",           L"<",          L">",         L"/>",       L" ",
    L"\t",         L"{",           L"}",          L"-",         L"0A1B",     L"c3d4",
    L"ef",         L"MsiPatch",    L"\x00E9",     L"\x0131",    L"\x017F",   L"\xFF41",
    L"\x4E2D",     L"\xD83D\xDE00"};

std::wstring RandomDescription(CRandomInput& random)
{
    size_t pieces = random.OneIn(500) ? 3000 + random.Below(3000) : 1 + random.Below(16);
    std::wstring text;
    for (size_t i = 0; i < pieces; ++i)
        text += kPieces[random.Below(std::size(kPieces))];
    return text;
}

// The code the scan must find, stated as a walk over the description: after the first
// "PATCHGUID=" (a to z upper-cased first), skip to a quote and collect up to the next one.
std::optional<std::wstring> ModelCode(const std::wstring& description)
{
    std::wstring upper = description;
    for (wchar_t& ch : upper)
        if (ch >= L'a' && ch <= L'z')
            ch -= L'a' - L'A';
    size_t attribute = upper.find(L"PATCHGUID=");
    if (attribute == std::wstring::npos)
        return std::nullopt;
    std::wstring code;
    int quotesSeen = 0;
    for (size_t i = attribute + 10; i < upper.size() && quotesSeen < 2; ++i)
    {
        if (upper[i] == L'"')
            ++quotesSeen;
        else if (quotesSeen == 1)
            code += upper[i];
    }
    return code;
}
} // namespace

TEST(PatchFilesRandomTest, ScanFindsTheQuotedCodeInAnyDescription)
{
    CRegistrySandbox registry;
    DiscardTraces();
    CTempFolder folder;
    CInstallerStandin installer(folder.Path());
    installer.SetSwitch(L"MSI_JOURNAL", L""); // a journal line per call would cost a file write

    CRandomInput random(0x5EED0301);
    for (int i = 0; i < kCases; ++i)
    {
        std::wstring description = RandomDescription(random);
        installer.SetSwitch(L"MSI_XML", description);
        std::wstring code = L"stale";
        UINT status = GetMSPPatchGUID(folder / L"p.msp", code);
        std::optional<std::wstring> expected = ModelCode(description);
        ASSERT_EQ(expected ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS, status)
            << random.Case(i, description);
        ASSERT_EQ(expected.value_or(L""), code) << random.Case(i, description);
    }
}
