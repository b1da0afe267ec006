#include "runner/PatchLetter.h"

#include "catalog/Handles.h"

#include <msiquery.h>

#include <vector>

namespace
{
constexpr wchar_t kPublicMark[] = L"pu:";
constexpr wchar_t kDescriptionQuery[] =
    L"SELECT `Property`, `Value` FROM `MsiPatchMetadata` WHERE `Property` = 'Description'";
} // namespace

std::wstring GetMSPDescription(const wchar_t* path)
{
    if (!path)
        return {};
    CMsiHandle database;
    CMsiHandle view;
    CMsiHandle record;
    if (MsiOpenDatabaseW(path, MSIDBOPEN_READONLY + MSIDBOPEN_PATCHFILE, database.Put()) ||
        MsiDatabaseOpenViewW(database.Get(), kDescriptionQuery, view.Put()) ||
        MsiViewExecute(view.Get(), 0) || MsiViewFetch(view.Get(), record.Put()))
        return {};
    DWORD length = 0;
    if (MsiRecordGetStringW(record.Get(), 2, nullptr, &length))
        return {};
    std::vector<wchar_t> value(length + 1, L'\0');
    length = static_cast<DWORD>(value.size());
    if (MsiRecordGetStringW(record.Get(), 2, value.data(), &length))
        return {};
    return value.data();
}

std::wstring PatchLetterFromDescription(const std::wstring& description)
{
    if (description.size() > 3 && description.starts_with(kPublicMark))
        return description.substr(3);
    return description;
}

bool IsPrivateHotfix(const std::wstring& hotfix)
{
    return hotfix.size() > 2 && hotfix.starts_with(L"pf");
}

bool IsPrivateLetter(const std::wstring& letter)
{
    return letter.empty() || IsPrivateHotfix(letter);
}

bool IsOlderLetter(const std::wstring& letter, const std::wstring& installed)
{
    return letter.size() < installed.size() || letter.compare(0, installed.size(), installed) < 0;
}
