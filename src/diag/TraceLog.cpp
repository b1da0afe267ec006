#include "diag/TraceLog.h"

#include "catalog/FileSystemUtils.h"
#include "catalog/Handles.h"
#include "catalog/RegistryUtils.h"
#include "catalog/ProductKeys.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cstdio>
#include <share.h>
#include <vector>

namespace
{
constexpr wchar_t kFileName[] = L"ZAPatch.log";
constexpr wchar_t kBanner[] = L"\n===Slim Node patcher trace file===\n";
constexpr wchar_t kPrefixFormat[] = L"\n%02d:%02d:%02d.%03d\t%03x\t%s\t%s\t";
constexpr size_t kPrefixCapacity = 128;
// How long an entry waits for another process that has the file open for writing.
constexpr ULONGLONG kSharingWaitMs = 50;

std::wstring ReadTraceRoot()
{
    std::vector<wchar_t> buffer;
    if (RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"TraceRoot", buffer) !=
        ERROR_SUCCESS)
        return {};
    return buffer.data();
}

// A trace folder that a cleanup tool deleted is made again: the installer's log goes there too,
// and Windows Installer refuses to run when it cannot open its log. Only a full path is made.
void CreateFolderOf(const std::wstring& filePath)
{
    std::wstring folder = filePath.substr(0, filePath.find_last_of(L'\\') + 1);
    if (folder.size() > 1 && !PathIsRelativeW(folder.c_str()))
        CreateDirRecursUntraced(folder.substr(0, folder.size() - 1).c_str());
}

// Another patch manager started at the same moment writes its one line too: a sharing violation
// is waited out for a short while instead of losing the entry.
FILE* OpenForAppend(const std::wstring& filePath)
{
    const ULONGLONG deadline = GetTickCount64() + kSharingWaitMs;
    for (;;)
    {
        // Others may read the file while it is open, but nobody else may write to it.
        FILE* file = _wfsopen(filePath.c_str(), L"ab", _SH_DENYWR);
        if (file || GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount64() >= deadline)
            return file;
        Sleep(1);
    }
}

// Formats with msvcrt, whose wide printf family keeps the Microsoft meaning of %s and %S.
std::wstring FormatV(const wchar_t* format, va_list args)
{
    va_list counting;
    va_copy(counting, args);
    int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length), L'\0');
    _vsnwprintf(text.data(), text.size(), format, args);
    return text;
}

// The file holds one byte per character, as the runtime's default locale would write it, and
// CR LF line ends. A character that has no byte becomes "?" instead of ending the entry there.
std::string ToFileBytes(const std::wstring& text)
{
    std::string bytes;
    bytes.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i)
    {
        wchar_t ch = text[i];
        if (ch == L'\n')
            bytes += "\r\n";
        else if (ch <= 0xFF)
            bytes += static_cast<char>(ch);
        else
        {
            bool pair =
                IS_HIGH_SURROGATE(ch) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]);
            i += pair ? 1 : 0;
            bytes += '?';
        }
    }
    return bytes;
}
} // namespace

std::wstring TraceLevelText(int level)
{
    static const wchar_t* const kTexts[] = {L"ALW", L"FTL", L"DNG", L"ERR", L"IMP",
                                            L"NTF", L"NOI", L"SPM", L"ANN", L"FFR"};
    int hundreds = level / 100; // C++ division rounds toward zero
    if (hundreds < 0 || hundreds > 9)
        return std::to_wstring(level);
    return kTexts[hundreds];
}

CTraceLog& CTraceLog::Instance()
{
    static CTraceLog* instance = new CTraceLog();
    return *instance;
}

CTraceLog::CTraceLog() : m_traceFolder(ReadTraceRoot())
{
    m_filePath = m_traceFolder + kFileName;
    CreateFolderOf(m_filePath);
    Append(kBanner);
}

void CTraceLog::Trace(int level, const wchar_t* format, ...)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t prefix[kPrefixCapacity] = {};
    _snwprintf(prefix, kPrefixCapacity - 1, kPrefixFormat, now.wHour, now.wMinute, now.wSecond,
               now.wMilliseconds, GetCurrentThreadId(), TraceLevelText(level).c_str(), L"patch");

    va_list args;
    va_start(args, format);
    std::wstring message = FormatV(format, args);
    va_end(args);
    Append(prefix + message);
}

void CTraceLog::Append(const std::wstring& text) const
{
    FILE* file = OpenForAppend(m_filePath);
    if (!file)
        return;
    std::string bytes = ToFileBytes(text);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}
