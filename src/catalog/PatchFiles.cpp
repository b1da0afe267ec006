#include "catalog/PatchFiles.h"

#include "catalog/Handles.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"

#include <msi.h>

#include <stdexcept>
#include <vector>

namespace
{
constexpr DWORD kSkippedAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
constexpr size_t kCodeBufferChars = 40; // a GUID with braces and its NUL need 39
constexpr DWORD kInitialTransformsChars = 64;
constexpr wchar_t kPatchCodeAttribute[] = L"PATCHGUID=";

std::wstring ToUpperAscii(std::wstring text)
{
    for (wchar_t& ch : text)
        if (ch >= L'a' && ch <= L'z')
            ch = static_cast<wchar_t>(ch - L'a' + L'A');
    return text;
}

// The text between the first two quotes after the attribute's "=", or up to the end when the
// closing quote is missing.
std::wstring QuotedValueAfter(const std::wstring& text, size_t start)
{
    size_t open = text.find(L'"', start);
    if (open == std::wstring::npos)
        return {};
    size_t close = text.find(L'"', open + 1);
    return text.substr(open + 1,
                       close == std::wstring::npos ? std::wstring::npos : close - open - 1);
}
} // namespace

void FindMSPFiles(const std::wstring& folder, StringList& names)
{
    WIN32_FIND_DATAW entry = {};
    CFindHandle search(FindFirstFileW((folder + L"\\*.msp").c_str(), &entry));
    if (!search)
        return;
    do
    {
        if (!(entry.dwFileAttributes & kSkippedAttributes))
            names.push_back(entry.cFileName);
    } while (FindNextFileW(search.Get(), &entry));
}

UINT GetMSPPatchGUID(const std::wstring& path, std::wstring& code)
{
    DWORD length = 0;
    UINT status = MsiExtractPatchXMLDataW(path.c_str(), 0, nullptr, &length);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD offered = length + 2;
    status = MsiExtractPatchXMLDataW(path.c_str(), 0, buffer.data(), &offered);
    if (status != ERROR_SUCCESS)
        return status;

    code.clear();
    std::wstring description = ToUpperAscii(buffer.data());
    size_t attribute = description.find(kPatchCodeAttribute);
    if (attribute == std::wstring::npos)
        return ERROR_NO_MORE_ITEMS;
    code = QuotedValueAfter(description, attribute + wcslen(kPatchCodeAttribute));
    CTraceLog::Instance().Trace(500, L"%s: Patch %s GUID = %s", L"GetMSPPatchGUID", path.c_str(),
                                code.c_str());
    return ERROR_SUCCESS;
}

std::wstring GetProductCodeByUpgradeCode(const std::wstring& upgradeCode)
{
    wchar_t product[kCodeBufferChars] = {};
    UINT status = MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, 0, product);
    if (status != ERROR_SUCCESS)
    {
        CTraceLog::Instance().Trace(300, L"%s: Can't get product code by upgrade code = <%s>.",
                                    L"GetProductCodeByUpgradeCode", upgradeCode.c_str());
        throw std::logic_error(ErrorTextA("GetProductCodeByUpgradeCode", status));
    }
    return product;
}

UINT EnumProductPatches(const std::wstring& productCode, StringList& codes)
{
    codes.clear();
    wchar_t patch[kCodeBufferChars] = {};
    std::vector<wchar_t> transforms(kInitialTransformsChars, L'\0');
    DWORD transformsChars = kInitialTransformsChars;
    for (DWORD index = 0;;)
    {
        UINT status =
            MsiEnumPatchesW(productCode.c_str(), index, patch, transforms.data(), &transformsChars);
        if (status == ERROR_MORE_DATA)
        {
            transformsChars += 2;
            transforms.resize(transformsChars, L'\0');
            continue; // the same index again, with room for the list
        }
        if (status == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return status;
        codes.push_back(patch);
        ++index;
    }
}

void SplitString(const std::wstring& text, wchar_t separator, StringList& pieces)
{
    pieces.clear();
    std::wstring piece;
    for (wchar_t ch : text)
    {
        if (ch != separator)
        {
            piece += ch;
            continue;
        }
        if (!piece.empty())
            pieces.push_back(std::move(piece));
        piece.clear();
    }
    if (!piece.empty())
        pieces.push_back(std::move(piece));
}
