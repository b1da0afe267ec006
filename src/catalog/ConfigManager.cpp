#include "catalog/ConfigManager.h"

#include "catalog/FileSystemUtils.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace
{
constexpr size_t kInitialChars = MAX_PATH;

void ParseLines(const std::vector<wchar_t>& buffer, SectionMap& entries)
{
    for (const wchar_t* line = buffer.data(); *line; line += wcslen(line) + 1)
    {
        const wchar_t* separator = wcschr(line, L'=');
        if (separator)
            entries[std::wstring(line, separator)] = separator + 1;
    }
}
} // namespace

CConfigManager::CConfigManager(const wchar_t* path)
{
    if (!path)
        throw std::logic_error(
            ErrorTextA("CConfigManager::CConfigManager", ERROR_INVALID_PARAMETER));
    m_path = path;
}

void CConfigManager::GetSection(const wchar_t* section, SectionMap& entries) const
{
    if (!section)
        throw std::logic_error(ErrorTextA("CConfigManager::GetSection", ERROR_INVALID_PARAMETER));
    // Read without its left copy in place, a missing file would pass for an empty one.
    DWORD status = RecoverInterruptedReplace(m_path);
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CConfigManager::GetSection", status));
    entries.clear();
    std::vector<wchar_t> buffer(kInitialChars, L'\0');
    DWORD read = 0;
    do
    {
        buffer.resize(buffer.size() * 2, L'\0');
        CTraceLog::Instance().Trace(500, L"%s: New buffer size for ini-section = %d chars",
                                    L"CConfigManager::GetSection", static_cast<int>(buffer.size()));
        read = GetPrivateProfileSectionW(section, buffer.data(), static_cast<DWORD>(buffer.size()),
                                         m_path.c_str());
    } while (read == buffer.size() - 2); // the platform's sign that the section did not fit
    ParseLines(buffer, entries);
}

void CConfigManager::SetSection(const wchar_t* section, const SectionMap& entries) const
{
    std::wstring lines;
    for (const auto& [key, value] : entries)
    {
        lines += key + L'=' + value;
        lines += L'\0';
    }
    lines += L'\0';
    if (lines.size() == 1)
        lines += L'\0';
    CTraceLog::Instance().Trace(500, L"%s: Set section '%s' in config file %s",
                                L"CConfigManager::SetSection", section, m_path.c_str());
    DWORD status = ReplaceIniSection(m_path, section, lines.c_str());
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CConfigManager::SetSection", status));
}
