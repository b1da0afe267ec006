#include "catalog/FileSystemUtils.h"

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
