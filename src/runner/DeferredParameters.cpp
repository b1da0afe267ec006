#include "runner/DeferredParameters.h"

namespace
{
constexpr wchar_t kNeedQuotes[] = L" \t\n\v\f\r\"";

bool NeedsQuotes(const std::wstring& argument)
{
    return argument.find_first_of(kNeedQuotes) != std::wstring::npos;
}

// Quoted by the rules CommandLineToArgvW reads back: backslashes are literal unless a double
// quote follows them, so those before a quote, and before the closing one, are doubled.
std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!NeedsQuotes(argument))
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t ch : argument)
    {
        if (ch == L'\\')
        {
            ++backslashes;
            continue;
        }
        quoted.append(ch == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted += ch;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L'"';
}
} // namespace

// The first token is read as a program name, up to the next blank or closing quote with no
// escapes: an option that needs quotes is never put first.
std::wstring DeferredParameters(const CCMDParser& commandLine)
{
    SectionMap options = commandLine.GetAllParams();
    bool whenFirst = !commandLine.IsParamPresent(L"/when") ||
                     (!options.empty() && NeedsQuotes(options.begin()->first));
    std::wstring parameters = whenFirst ? L"/when now " : L"";
    for (const auto& [name, value] : options)
        parameters +=
            QuoteArgument(name) + L' ' + QuoteArgument(name == L"/when" ? L"now" : value) + L' ';
    return parameters + L"/clean ";
}
