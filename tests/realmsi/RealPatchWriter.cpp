#include "RealPatchWriter.h"

#include "catalog/Handles.h"

#include <msidefs.h>
#include <msiquery.h>
#include <objbase.h>

#include <vector>

namespace
{
// The storage class that marks a compound file as a patch package.
constexpr CLSID kPatchStorageClass = {
    0x000C1086, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// One transform pair, named as the summary information's transform list names it.
constexpr const wchar_t* kTransforms[] = {L"T1", L"#T1"};
constexpr wchar_t kTransformList[] = L":T1;:#T1";

constexpr wchar_t kCreateMetadata[] =
    L"CREATE TABLE `MsiPatchMetadata` (`Company` CHAR(72), `Property` CHAR(72) NOT NULL, "
    L"`Value` LONGCHAR NOT NULL PRIMARY KEY `Company`, `Property`)";
constexpr wchar_t kCreateSequence[] =
    L"CREATE TABLE `MsiPatchSequence` (`PatchFamily` CHAR(72) NOT NULL, `ProductCode` CHAR(38), "
    L"`Sequence` CHAR(72) NOT NULL, `Attributes` SHORT PRIMARY KEY `PatchFamily`, `ProductCode`)";

UINT Execute(MSIHANDLE database, const std::wstring& query)
{
    CMsiHandle view;
    UINT status = MsiDatabaseOpenViewW(database, query.c_str(), view.Put());
    return status ? status : MsiViewExecute(view.Get(), 0);
}

std::wstring Quoted(const std::wstring& text)
{
    return L"'" + text + L"'";
}

UINT WriteTables(MSIHANDLE database, const CRealPatch& patch)
{
    std::vector<std::wstring> queries{kCreateMetadata, kCreateSequence};
    const std::pair<const wchar_t*, std::wstring> metadata[] = {
        {L"Description", patch.description},
        {L"DisplayName", L"Patch " + patch.description},
        {L"Classification", L"Hotfix"},
        {L"AllowRemoval", L"1"}};
    for (const auto& [property, value] : metadata)
        queries.push_back(L"INSERT INTO `MsiPatchMetadata` (`Property`, `Value`) VALUES (" +
                          Quoted(property) + L", " + Quoted(value) + L")");
    queries.push_back(L"INSERT INTO `MsiPatchSequence` (`PatchFamily`, `ProductCode`, "
                      L"`Sequence`, `Attributes`) VALUES ('ZOREN', " +
                      Quoted(patch.productCode) + L", '1.0.0.0', 0)");
    for (const std::wstring& query : queries)
        if (UINT status = Execute(database, query))
            return status;
    return ERROR_SUCCESS;
}

UINT WriteSummary(MSIHANDLE database, const CRealPatch& patch)
{
    CMsiHandle summary;
    UINT status = MsiGetSummaryInformationW(database, nullptr, 8, summary.Put());
    const std::pair<UINT, std::wstring> texts[] = {{PID_TITLE, L"Patch"},
                                                   {PID_SUBJECT, patch.description},
                                                   {PID_AUTHOR, L"TessalyLab"},
                                                   {PID_TEMPLATE, patch.productCode},
                                                   {PID_LASTAUTHOR, kTransformList},
                                                   {PID_REVNUMBER, patch.patchCode}};
    for (const auto& [property, text] : texts)
        if (!status)
            status = MsiSummaryInfoSetPropertyW(summary.Get(), property, VT_LPSTR, 0, nullptr,
                                                text.c_str());
    return status ? status : MsiSummaryInfoPersist(summary.Get());
}

UINT WriteDatabase(const std::wstring& path, const CRealPatch& patch)
{
    CMsiHandle database;
    UINT status = MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_CREATE, database.Put());
    if (!status)
        status = WriteTables(database.Get(), patch);
    if (!status)
        status = WriteSummary(database.Get(), patch);
    return status ? status : MsiDatabaseCommit(database.Get());
}

// The installer writes a database; the patch's storage class and transforms are set apart.
UINT MakePatchStorage(const std::wstring& path)
{
    IStorage* storage = nullptr;
    HRESULT result = StgOpenStorage(path.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                    nullptr, 0, &storage);
    if (FAILED(result))
        return HRESULT_CODE(result);
    result = storage->SetClass(kPatchStorageClass);
    for (const wchar_t* name : kTransforms)
    {
        IStorage* transform = nullptr;
        if (SUCCEEDED(result))
            result = storage->CreateStorage(
                name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &transform);
        if (transform)
            transform->Release();
    }
    if (SUCCEEDED(result))
        result = storage->Commit(STGC_DEFAULT);
    storage->Release();
    return SUCCEEDED(result) ? ERROR_SUCCESS : HRESULT_CODE(result);
}
} // namespace

UINT WriteRealPatch(const std::wstring& path, const CRealPatch& patch)
{
    DeleteFileW(path.c_str());
    UINT status = WriteDatabase(path, patch);
    return status ? status : MakePatchStorage(path);
}
