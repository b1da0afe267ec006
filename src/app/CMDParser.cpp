#include "app/CMDParser.h"

#include "catalog/Handles.h"
#include "diag/TraceLog.h"

#include <shellapi.h>

namespace
{
// Only A to Z change, as under the runtime's default locale, whatever Wine's tables say.
std::wstring ToLowerAscii(std::wstring text)
{
    for (wchar_t& ch : text)
        if (ch >= L'A' && ch <= L'Z')
            ch = static_cast<wchar_t>(ch - L'A' + L'a');
    return text;
}

bool IsOption(const wchar_t* token)
{
    return token[0] == L'/';
}
} // namespace

CCMDParser::CCMDParser(const wchar_t* commandLine)
{
    const wchar_t* line = commandLine ? commandLine : L"";
    CTraceLog::Instance().Trace(500, L"Parse CMD line: %s", line);
    int count = 0;
    CLocalMemory<wchar_t*> tokens(CommandLineToArgvW(line, &count));
    if (!tokens)
    {
        CTraceLog::Instance().Trace(300, L"Parse CMD line: %s Error code: %d", line,
                                    static_cast<int>(GetLastError()));
        return;
    }
    wchar_t** argv = tokens.Get();
    for (int i = 0; i < count; ++i)
    {
        if (!IsOption(argv[i]))
            continue; // also skips empty tokens
        std::wstring name = ToLowerAscii(argv[i]);
        std::wstring value;
        if (i + 1 < count && !IsOption(argv[i + 1]))
            value = argv[++i];
        m_params.emplace(std::move(name), std::move(value)); // keeps an earlier occurrence
    }
}

bool CCMDParser::IsParamPresent(const wchar_t* name) const
{
    return name && m_params.count(ToLowerAscii(name)) != 0;
}

void CCMDParser::GetParamValue(std::wstring& value, const wchar_t* name) const
{
    value.clear();
    if (!IsParamPresent(name))
        return;
    auto found = m_params.find(name);
    if (found != m_params.end())
        value = found->second;
}
