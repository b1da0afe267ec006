#include "catalog/FileSystemUtils.h"

#include "catalog/Handles.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"

#include <vector>

namespace
{
constexpr wchar_t kCreateDirRecurs[] = L"CreateDirRecurs";

// The extended-length form, so that paths longer than MAX_PATH work.
DWORD CreateOneDir(const std::wstring& path)
{
    std::wstring extended = L"\\\\?\\" + path;
    return CreateDirectoryW(extended.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
}

DWORD IgnoreExisting(DWORD status)
{
    return status == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : status;
}

// The trace log creates its own folder with traced off: it cannot trace before it exists.
DWORD CreateDirTree(const std::wstring& folder, bool traced)
{
    DWORD status = CreateOneDir(folder);
    if (status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND)
        return IgnoreExisting(status);

    size_t lastSeparator = folder.rfind(L'\\');
    if (lastSeparator == std::wstring::npos)
    {
        if (traced)
            CTraceLog::Instance().Trace(300, L"%s: incorrect path %s", kCreateDirRecurs,
                                        folder.c_str());
        return ERROR_BAD_PATHNAME;
    }
    status = CreateDirTree(folder.substr(0, lastSeparator), traced);
    if (status != ERROR_SUCCESS)
        return status;
    status = CreateOneDir(folder);
    if (status != ERROR_SUCCESS && traced)
        CTraceLog::Instance().Trace(300, L"%s", ErrorTextW(kCreateDirRecurs, status).c_str());
    return IgnoreExisting(status);
}

bool IsMissing(DWORD status)
{
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

// A copy of a read-only file is read-only too, and only a writable file can be deleted.
DWORD RemoveCopy(const std::wstring& copy)
{
    DWORD attributes = GetFileAttributesW(copy.c_str());
    constexpr DWORD kReadOnlyFile = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & kReadOnlyFile) == FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(copy.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(copy.c_str()))
        return ERROR_SUCCESS;
    DWORD status = GetLastError();
    return IsMissing(status) ? ERROR_SUCCESS : status;
}

// A missing file or folder is no failure here: the write on the copy reports it as before.
DWORD CopyExisting(const std::wstring& path, const std::wstring& copy, bool& existed)
{
    existed = CopyFileW(path.c_str(), copy.c_str(), FALSE);
    DWORD status = existed ? ERROR_SUCCESS : GetLastError();
    return IsMissing(status) ? ERROR_SUCCESS : status;
}

// Makes the written copy durable before it takes the file's place.
DWORD FlushCopy(const std::wstring& copy)
{
    CFileHandle file(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError();
    return FlushFileBuffers(file.Get()) ? ERROR_SUCCESS : GetLastError();
}

// ReplaceFileW keeps the replaced file's attributes and security.
DWORD PutInPlace(const std::wstring& copy, const std::wstring& path, bool existed)
{
    BOOL done = existed ? ReplaceFileW(path.c_str(), copy.c_str(), nullptr,
                                       REPLACEFILE_WRITE_THROUGH, nullptr, nullptr)
                        : MoveFileExW(copy.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    return done ? ERROR_SUCCESS : GetLastError();
}

DWORD WriteCopy(const std::wstring& path, const std::wstring& copy, const wchar_t* section,
                const wchar_t* lines)
{
    bool existed = false;
    DWORD status = RemoveCopy(copy);
    if (status == ERROR_SUCCESS)
        status = CopyExisting(path, copy, existed);
    if (status != ERROR_SUCCESS)
        return status;
    if (!WritePrivateProfileSectionW(section, lines, copy.c_str()))
        return GetLastError();
    // An empty section written into a missing file may make no file: nothing to put in place.
    if (!existed && GetFileAttributesW(copy.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ERROR_SUCCESS;
    status = FlushCopy(copy);
    return status == ERROR_SUCCESS ? PutInPlace(copy, path, existed) : status;
}
} // namespace

DWORD CreateDirRecurs(const wchar_t* path)
{
    return path ? CreateDirTree(path, true) : ERROR_INVALID_PARAMETER;
}

DWORD CreateDirRecursUntraced(const wchar_t* path)
{
    return path ? CreateDirTree(path, false) : ERROR_INVALID_PARAMETER;
}

std::wstring GetModuleFilePath(HMODULE module)
{
    std::vector<wchar_t> buffer;
    for (;;)
    {
        buffer.resize(buffer.size() + MAX_PATH, L'\0');
        DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
    }
}

DWORD ReplaceIniSection(const std::wstring& path, const wchar_t* section, const wchar_t* lines)
{
    const std::wstring copy = path + L".new";
    DWORD status = WriteCopy(path, copy, section, lines);
    if (status != ERROR_SUCCESS)
        RemoveCopy(copy);
    return status;
}
