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

// The folder is there and nothing bears the name.
bool IsMissingFile(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool IsFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CopyPath(const std::wstring& path)
{
    return path + L".new";
}

std::wstring BackupPath(const std::wstring& path)
{
    return path + L".old";
}

// A copy or backup of a read-only file is read-only too, and only a writable file can be deleted.
DWORD RemoveLeftFile(const std::wstring& left)
{
    DWORD attributes = GetFileAttributesW(left.c_str());
    constexpr DWORD kReadOnlyFile = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & kReadOnlyFile) == FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(left.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(left.c_str()))
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

// Never over an existing file: what stands at the name is kept.
DWORD MoveInPlace(const std::wstring& from, const std::wstring& to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? ERROR_SUCCESS
                                                                         : GetLastError();
}

DWORD PutLeftFileInPlace(const std::wstring& left, const std::wstring& path)
{
    CTraceLog::Instance().Trace(350, L"%s: %s takes the place of the missing %s",
                                L"RecoverInterruptedReplace", left.c_str(), path.c_str());
    return MoveInPlace(left, path);
}

// ReplaceFileW keeps the replaced file's attributes and security. It moves the original to the
// backup name first, from where it can be put back; a leftover that cannot be removed from that
// name (still held by another program) leaves the replace without one.
DWORD ReplaceByCopy(const std::wstring& path, const std::wstring& copy, ReplaceFileFunction replace)
{
    const std::wstring backup = BackupPath(path);
    const wchar_t* backupName = RemoveLeftFile(backup) == ERROR_SUCCESS ? backup.c_str() : nullptr;
    if (replace(path.c_str(), copy.c_str(), backupName, REPLACEFILE_WRITE_THROUGH, nullptr,
                nullptr))
    {
        RemoveLeftFile(backup);
        return ERROR_SUCCESS;
    }
    DWORD status = GetLastError();
    // The original is gone and the copy kept its own name: the copy is the file now.
    if (status == ERROR_UNABLE_TO_MOVE_REPLACEMENT && IsMissingFile(path))
        return PutLeftFileInPlace(copy, path);
    // The original waits under the backup name: it is put back, and the write has failed.
    if (status == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && IsMissingFile(path))
        PutLeftFileInPlace(backup, path);
    return status;
}

DWORD WriteCopy(const std::wstring& path, const std::wstring& copy, const wchar_t* section,
                const wchar_t* lines, ReplaceFileFunction replace)
{
    bool existed = false;
    DWORD status = RecoverInterruptedReplace(path);
    if (status == ERROR_SUCCESS)
        status = RemoveLeftFile(copy);
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
    if (status != ERROR_SUCCESS)
        return status;
    return existed ? ReplaceByCopy(path, copy, replace) : MoveInPlace(copy, path);
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

DWORD RecoverInterruptedReplace(const std::wstring& path)
{
    if (!IsMissingFile(path))
        return ERROR_SUCCESS;
    // The copy was flushed before the replace began, so it is newer than the original.
    for (const std::wstring& left : {CopyPath(path), BackupPath(path)})
        if (IsFile(left))
            return PutLeftFileInPlace(left, path);
    return ERROR_SUCCESS;
}

DWORD ReplaceIniSection(const std::wstring& path, const wchar_t* section, const wchar_t* lines,
                        ReplaceFileFunction replace)
{
    const std::wstring copy = CopyPath(path);
    DWORD status = WriteCopy(path, copy, section, lines, replace);
    // The copy of a failed write goes, unless it is all that is left of the file.
    if (status != ERROR_SUCCESS && !IsMissingFile(path))
        RemoveLeftFile(copy);
    return status;
}
