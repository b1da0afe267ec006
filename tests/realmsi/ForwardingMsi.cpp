// msi.dll for the tests on real packages: Wine's own Windows Installer, renamed msi_real.dll
// beside this library, does all the work (every other export forwards to it through the
// generated .def), except MsiExtractPatchXMLDataW, which Wine lacks. That one is built here from
// the patch's summary information, read through the real engine: the revision number starts
// with the patch code, the template lists the target products.

#include "MsiCopyOut.h"

#include <windows.h>
#include <msi.h>
#include <msidefs.h>

#include <string>

namespace
{
constexpr size_t kCodeChars = 38;

using SummaryOpen = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, UINT, MSIHANDLE*);
using SummaryGet = UINT(WINAPI*)(MSIHANDLE, UINT, UINT*, INT*, FILETIME*, LPWSTR, DWORD*);
using HandleClose = UINT(WINAPI*)(MSIHANDLE);

struct CRealEngine
{
    HMODULE module = LoadLibraryW(L"msi_real.dll");
    SummaryOpen open = Function<SummaryOpen>("MsiGetSummaryInformationW");
    SummaryGet get = Function<SummaryGet>("MsiSummaryInfoGetPropertyW");
    HandleClose close = Function<HandleClose>("MsiCloseHandle");

    template <typename T> T Function(const char* name) const
    {
        return module ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                      : nullptr;
    }
    bool Loaded() const { return open && get && close; }
};

const CRealEngine& Engine()
{
    static const CRealEngine engine; // loaded once; the process keeps it to its end
    return engine;
}

std::wstring SummaryText(MSIHANDLE summary, UINT property)
{
    UINT type = 0;
    wchar_t empty[1] = L"";
    DWORD chars = 0;
    if (Engine().get(summary, property, &type, nullptr, nullptr, empty, &chars) != ERROR_MORE_DATA)
        return {};
    std::wstring text(chars + 1, L'\0');
    DWORD offered = chars + 1;
    if (Engine().get(summary, property, &type, nullptr, nullptr, text.data(), &offered))
        return {};
    text.resize(offered);
    return text;
}

// The patch code and target products, or ERROR_PATCH_PACKAGE_INVALID / _OPEN_FAILED.
UINT ReadSummary(LPCWSTR path, std::wstring& patchCode, std::wstring& products)
{
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES || !Engine().Loaded())
        return ERROR_PATCH_PACKAGE_OPEN_FAILED;
    MSIHANDLE summary = 0;
    if (Engine().open(0, path, 0, &summary))
        return ERROR_PATCH_PACKAGE_INVALID;
    patchCode = SummaryText(summary, PID_REVNUMBER).substr(0, kCodeChars);
    products = SummaryText(summary, PID_TEMPLATE);
    Engine().close(summary);
    return patchCode.size() == kCodeChars && patchCode[0] == L'{' ? ERROR_SUCCESS
                                                                  : ERROR_PATCH_PACKAGE_INVALID;
}

std::wstring PatchXml(const std::wstring& patchCode, const std::wstring& products)
{
    std::wstring targets;
    for (size_t start = 0; start < products.size();)
    {
        size_t end = products.find(L';', start);
        end = end == std::wstring::npos ? products.size() : end;
        if (end > start)
            targets += L"<TargetProductCode Validate=\"true\">" +
                       products.substr(start, end - start) + L"</TargetProductCode>";
        start = end + 1;
    }
    return L"<MsiPatch xmlns=\"http://www.microsoft.com/msi/patch_applicability.xsd\" "
           L"SchemaVersion=\"1.0.0.0\" PatchGUID=\"" +
           patchCode + L"\" MinMsiVersion=\"3\"><TargetProduct MinMsiVersion=\"3\">" + targets +
           L"</TargetProduct></MsiPatch>";
}

} // namespace

extern "C" UINT WINAPI MsiExtractPatchXMLDataW(LPCWSTR path, DWORD reserved, LPWSTR buffer,
                                               DWORD* chars)
{
    if (!path || reserved != 0 || (buffer && !chars))
        return ERROR_INVALID_PARAMETER;
    std::wstring patchCode;
    std::wstring products;
    UINT status = ReadSummary(path, patchCode, products);
    return status ? status : standin::CopyOut(PatchXml(patchCode, products), buffer, chars);
}
