// Windows Installer stand-in (msi.dll) for the tests. Exports exactly the nine functions the
// program calls, with their documented contracts: a null buffer asks for the length, a buffer too
// small gives ERROR_MORE_DATA and the length needed (without the NUL), an enumeration ends with
// ERROR_NO_MORE_ITEMS (259). Patch packages are the stand-in patch files of StandinFiles.h.
//
// Environment variables (read on every call, so a test may change them between calls):
//   ZAPATCH_STANDIN_MSI_STATE        file with the installed product and its applied patches
//                                    (shared with the msiexec.exe stand-in); absent = no product
//   ZAPATCH_STANDIN_MSI_JOURNAL      file that gets one line per call: "<Function> <args> ->
//   <status>" ZAPATCH_STANDIN_MSI_UNOPENABLE   ";"-separated file names (no folder, any case) of
//   patch files
//                                    that cannot be opened: MsiExtractPatchXMLDataW gives 1635,
//                                    MsiOpenDatabaseW gives 110
//   ZAPATCH_STANDIN_MSI_ENUM_STATUS  "<status>" or "<status>@<index>": MsiEnumPatchesW returns that
//                                    status (for every index, or from that index on)
//   ZAPATCH_STANDIN_MSI_NO_PRODUCT   non-empty: MsiEnumRelatedProductsW finds no product (259)
//   ZAPATCH_STANDIN_MSI_LONG_TRANSFORMS  non-empty: every patch's transforms list is longer than
//                                    63 characters
//   ZAPATCH_STANDIN_MSI_XML          non-empty: MsiExtractPatchXMLDataW gives this text as the XML
//                                    description of any path, without opening a file (for
//                                    randomized tests that try many descriptions)
//
// Only the query that reads a patch's "Description" metadata is understood; any other text
// fails with ERROR_BAD_QUERY_SYNTAX, so a wrong query shows at once.

#include "MsiCopyOut.h"
#include "StandinFiles.h"

#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <map>

namespace
{
constexpr wchar_t kDescriptionQuery[] =
    L"SELECT `Property`, `Value` FROM `MsiPatchMetadata` WHERE `Property` = 'Description'";

enum class Kind
{
    Database,
    View,
    Record
};

struct CObject
{
    CObject(Kind kind, std::optional<std::wstring> description = {},
            std::vector<std::wstring> fields = {})
        : kind(kind), description(std::move(description)), fields(std::move(fields))
    {
    }

    Kind kind;
    std::optional<std::wstring> description; // database and view: the patch's Description
    bool executed = false;
    bool fetched = false;
    std::vector<std::wstring> fields; // record: fields 1..n
};

std::map<MSIHANDLE, CObject> g_objects;
MSIHANDLE g_lastHandle = 0;

MSIHANDLE NewHandle(CObject object)
{
    g_objects.emplace(++g_lastHandle, std::move(object));
    return g_lastHandle;
}

CObject* Find(MSIHANDLE handle, Kind kind)
{
    auto found = g_objects.find(handle);
    return found != g_objects.end() && found->second.kind == kind ? &found->second : nullptr;
}

std::wstring Text(const wchar_t* text)
{
    return text ? text : L"(null)";
}

UINT Journal(const std::wstring& call, UINT status)
{
    std::wstring path = standin::Env(L"ZAPATCH_STANDIN_MSI_JOURNAL");
    if (!path.empty())
        standin::WriteLines(path, {call + L" -> " + std::to_wstring(status)}, true);
    return status;
}

bool IsUnopenable(const std::wstring& path)
{
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    std::wstring list = L";" + standin::Env(L"ZAPATCH_STANDIN_MSI_UNOPENABLE") + L";";
    CharLowerW(name.data());
    CharLowerW(list.data());
    return list.find(L";" + name + L";") != std::wstring::npos;
}

// ERROR_SUCCESS, ERROR_OPEN_FAILED or ERROR_BAD_FORMAT.
DWORD OpenPatch(const wchar_t* path, standin::CPatchFile& patch)
{
    if (IsUnopenable(path))
        return ERROR_OPEN_FAILED;
    return standin::ReadPatchFile(path, patch);
}

standin::CInstallerState State()
{
    return standin::ReadInstallerState(standin::Env(L"ZAPATCH_STANDIN_MSI_STATE"));
}

std::optional<UINT> InjectedEnumStatus(DWORD index)
{
    std::wstring setting = standin::Env(L"ZAPATCH_STANDIN_MSI_ENUM_STATUS");
    if (setting.empty())
        return std::nullopt;
    size_t at = setting.find(L'@');
    DWORD from = at == std::wstring::npos ? 0 : wcstoul(setting.c_str() + at + 1, nullptr, 10);
    if (index < from)
        return std::nullopt;
    return wcstoul(setting.c_str(), nullptr, 10);
}

std::wstring TransformsOf(const std::wstring& patchCode)
{
    std::wstring one = L":" + patchCode;
    if (standin::Env(L"ZAPATCH_STANDIN_MSI_LONG_TRANSFORMS").empty())
        return one;
    return one + L";" + one + L";" + one;
}

UINT OpenDatabase(LPCWSTR path, LPCWSTR persist, MSIHANDLE* database)
{
    if (!path || !database)
        return ERROR_INVALID_PARAMETER;
    if (persist != MSIDBOPEN_READONLY + MSIDBOPEN_PATCHFILE)
        return ERROR_INVALID_PARAMETER; // a patch is only ever read here
    standin::CPatchFile patch;
    DWORD status = OpenPatch(path, patch);
    if (status == ERROR_BAD_FORMAT)
        return ERROR_INSTALL_PACKAGE_INVALID;
    if (status != ERROR_SUCCESS)
        return ERROR_OPEN_FAILED;
    *database = NewHandle({Kind::Database, patch.description});
    return ERROR_SUCCESS;
}

UINT OpenView(MSIHANDLE database, LPCWSTR query, MSIHANDLE* view)
{
    CObject* object = Find(database, Kind::Database);
    if (!object)
        return ERROR_INVALID_HANDLE;
    if (!query || !view)
        return ERROR_INVALID_PARAMETER;
    if (wcscmp(query, kDescriptionQuery) != 0)
        return ERROR_BAD_QUERY_SYNTAX;
    *view = NewHandle({Kind::View, object->description});
    return ERROR_SUCCESS;
}

UINT Execute(MSIHANDLE view)
{
    CObject* object = Find(view, Kind::View);
    if (!object)
        return ERROR_INVALID_HANDLE;
    object->executed = true;
    object->fetched = false;
    return ERROR_SUCCESS;
}

UINT Fetch(MSIHANDLE view, MSIHANDLE* record)
{
    CObject* object = Find(view, Kind::View);
    if (!object)
        return ERROR_INVALID_HANDLE;
    if (!record)
        return ERROR_INVALID_PARAMETER;
    if (!object->executed)
        return ERROR_FUNCTION_FAILED;
    if (object->fetched || !object->description)
        return ERROR_NO_MORE_ITEMS;
    object->fetched = true;
    *record = NewHandle({Kind::Record, {}, {L"Description", *object->description}});
    return ERROR_SUCCESS;
}

UINT RecordString(MSIHANDLE record, UINT field, LPWSTR buffer, DWORD* chars)
{
    CObject* object = Find(record, Kind::Record);
    if (!object)
        return ERROR_INVALID_HANDLE;
    if (!chars)
        return ERROR_INVALID_PARAMETER;
    bool exists = field >= 1 && field <= object->fields.size();
    return standin::CopyOut(exists ? object->fields[field - 1] : L"", buffer, chars);
}

UINT CloseHandleOf(MSIHANDLE handle)
{
    if (handle == 0)
        return ERROR_SUCCESS;
    return g_objects.erase(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

UINT ExtractPatchXml(LPCWSTR path, DWORD reserved, LPWSTR buffer, DWORD* chars)
{
    if (!path || reserved != 0 || (buffer && !chars))
        return ERROR_INVALID_PARAMETER;
    std::wstring given = standin::Env(L"ZAPATCH_STANDIN_MSI_XML");
    if (!given.empty())
        return standin::CopyOut(given, buffer, chars);
    standin::CPatchFile patch;
    DWORD status = OpenPatch(path, patch);
    if (status == ERROR_BAD_FORMAT)
        return ERROR_PATCH_PACKAGE_INVALID;
    if (status != ERROR_SUCCESS)
        return ERROR_PATCH_PACKAGE_OPEN_FAILED;
    return standin::CopyOut(patch.xml, buffer, chars);
}

UINT EnumRelatedProducts(LPCWSTR upgradeCode, DWORD reserved, DWORD index, LPWSTR product)
{
    if (!upgradeCode || reserved != 0 || !product)
        return ERROR_INVALID_PARAMETER;
    if (!standin::Env(L"ZAPATCH_STANDIN_MSI_NO_PRODUCT").empty())
        return ERROR_NO_MORE_ITEMS;
    standin::CInstallerState state = State();
    if (index != 0 || state.productCode.empty() || state.upgradeCode != upgradeCode)
        return ERROR_NO_MORE_ITEMS;
    wcsncpy(product, state.productCode.c_str(), 38); // the caller offers 39 characters
    product[std::min<size_t>(state.productCode.size(), 38)] = L'\0';
    return ERROR_SUCCESS;
}

UINT EnumPatches(LPCWSTR product, DWORD index, LPWSTR patch, LPWSTR transforms, DWORD* chars)
{
    if (!product || !patch || !transforms || !chars)
        return ERROR_INVALID_PARAMETER;
    if (auto injected = InjectedEnumStatus(index))
        return *injected;
    standin::CInstallerState state = State();
    if (state.productCode.empty() || state.productCode != product)
        return ERROR_UNKNOWN_PRODUCT;
    if (index >= state.patches.size())
        return ERROR_NO_MORE_ITEMS;
    const std::wstring& code = state.patches[index];
    UINT status = standin::CopyOut(TransformsOf(code), transforms, chars);
    if (status == ERROR_SUCCESS)
    {
        wcsncpy(patch, code.c_str(), 38);
        patch[std::min<size_t>(code.size(), 38)] = L'\0';
    }
    return status;
}

std::wstring Number(unsigned long long value)
{
    return std::to_wstring(value);
}

std::wstring Chars(const DWORD* chars)
{
    return chars ? std::to_wstring(*chars) : L"(null)";
}
} // namespace

extern "C"
{

    UINT WINAPI MsiOpenDatabaseW(LPCWSTR path, LPCWSTR persist, MSIHANDLE* database)
    {
        UINT status = OpenDatabase(path, persist, database);
        return Journal(L"MsiOpenDatabaseW " + Text(path) + L" " +
                           Number(reinterpret_cast<ULONG_PTR>(persist)),
                       status);
    }

    UINT WINAPI MsiDatabaseOpenViewW(MSIHANDLE database, LPCWSTR query, MSIHANDLE* view)
    {
        UINT status = OpenView(database, query, view);
        return Journal(L"MsiDatabaseOpenViewW " + Number(database) + L" " + Text(query), status);
    }

    UINT WINAPI MsiViewExecute(MSIHANDLE view, MSIHANDLE record)
    {
        UINT status = Execute(view);
        return Journal(L"MsiViewExecute " + Number(view) + L" " + Number(record), status);
    }

    UINT WINAPI MsiViewFetch(MSIHANDLE view, MSIHANDLE* record)
    {
        UINT status = Fetch(view, record);
        return Journal(L"MsiViewFetch " + Number(view), status);
    }

    UINT WINAPI MsiRecordGetStringW(MSIHANDLE record, UINT field, LPWSTR buffer, DWORD* chars)
    {
        std::wstring offered = Chars(chars);
        UINT status = RecordString(record, field, buffer, chars);
        return Journal(L"MsiRecordGetStringW " + Number(record) + L" " + Number(field) + L" " +
                           offered + L" " + Chars(chars),
                       status);
    }

    UINT WINAPI MsiCloseHandle(MSIHANDLE handle)
    {
        UINT status = CloseHandleOf(handle);
        return Journal(L"MsiCloseHandle " + Number(handle), status);
    }

    UINT WINAPI MsiExtractPatchXMLDataW(LPCWSTR path, DWORD reserved, LPWSTR buffer, DWORD* chars)
    {
        std::wstring offered = Chars(chars);
        UINT status = ExtractPatchXml(path, reserved, buffer, chars);
        return Journal(L"MsiExtractPatchXMLDataW " + Text(path) + L" " + offered + L" " +
                           Chars(chars),
                       status);
    }

    UINT WINAPI MsiEnumRelatedProductsW(LPCWSTR upgradeCode, DWORD reserved, DWORD index,
                                        LPWSTR product)
    {
        UINT status = EnumRelatedProducts(upgradeCode, reserved, index, product);
        return Journal(L"MsiEnumRelatedProductsW " + Text(upgradeCode) + L" " + Number(index),
                       status);
    }

    UINT WINAPI MsiEnumPatchesW(LPCWSTR product, DWORD index, LPWSTR patch, LPWSTR transforms,
                                DWORD* chars)
    {
        std::wstring offered = Chars(chars);
        UINT status = EnumPatches(product, index, patch, transforms, chars);
        return Journal(L"MsiEnumPatchesW " + Text(product) + L" " + Number(index) + L" " + offered +
                           L" " + Chars(chars),
                       status);
    }
}
