#include "app/CMDParser.h"
#include "runner/DeferredParameters.h"
#include "catalog/Handles.h"
#include "support/RandomInput.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <vector>

namespace
{
constexpr int kCases = 100000;

// Pieces that matter to the split and to the names: slashes, quotes, backslash runs, blanks,
// the known options in both cases, characters that lower-case outside A to Z under some tables.
const wchar_t* const kPieces[] = {
    L"/",      L"/when",        L"/WHEN", L"/Ignore", L"/?",     L"now",    L"reboot", L"all",
    L"\"",     L"\"\"",         L"\\",    L"\\\\",    L"\\\"",   L"\\\\\"", L" ",      L"  ",
    L"\t",     L"{A};",         L"x",     L"Q",       L"\x00C9", L"\x0130", L"\x212A", L"\x4E2D",
    L"\xFF21", L"\xD83D\xDE00", L"=",     L"-"};

std::wstring RandomLine(CRandomInput& random)
{
    size_t pieces = random.OneIn(1000) ? 4000 + random.Below(4000) : random.Below(24);
    std::wstring line;
    for (size_t i = 0; i < pieces; ++i)
        line += kPieces[random.Below(std::size(kPieces))];
    return line;
}

std::vector<std::wstring> PlatformTokens(const wchar_t* line)
{
    int count = 0;
    CLocalMemory<wchar_t*> argv(CommandLineToArgvW(line, &count));
    if (!argv)
        return {};
    return std::vector<std::wstring>(argv.Get(), argv.Get() + count);
}

// The table as the grammar defines it, stated without the parser's index walk: every option
// token, in order, takes the next token as its value unless that one is an option too; the first
// pair of a name stays.
SectionMap ModelTable(const std::vector<std::wstring>& tokens)
{
    auto isOption = [&](size_t i) { return i < tokens.size() && tokens[i].starts_with(L'/'); };
    SectionMap table;
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        if (!isOption(i))
            continue;
        std::wstring name = tokens[i];
        for (wchar_t& ch : name)
            if (ch >= L'A' && ch <= L'Z')
                ch += L'a' - L'A';
        bool hasValue = i + 1 < tokens.size() && !isOption(i + 1);
        table.try_emplace(name, hasValue ? tokens[i + 1] : L"");
    }
    return table;
}

// What any table must satisfy, whatever the model says.
::testing::AssertionResult SatisfiesGrammar(const SectionMap& table,
                                            const std::vector<std::wstring>& tokens)
{
    for (const auto& [name, value] : table)
    {
        if (!name.starts_with(L'/') ||
            name.find_first_of(L"ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::wstring::npos)
            return ::testing::AssertionFailure() << "name '" << Printable(name) << "'";
        bool isToken = std::find(tokens.begin(), tokens.end(), value) != tokens.end();
        if (value.starts_with(L'/') || (!value.empty() && !isToken))
            return ::testing::AssertionFailure() << "value '" << Printable(value) << "'";
    }
    return ::testing::AssertionSuccess();
}
} // namespace

TEST(CMDParserRandomTest, TableFollowsThePlatformSplit)
{
    CRegistrySandbox registry;
    DiscardTraces();

    CRandomInput random(0x5EED0102);
    for (int i = 0; i < kCases; ++i)
    {
        std::wstring line = RandomLine(random);
        std::vector<std::wstring> tokens = PlatformTokens(line.c_str());
        CCMDParser parser(line.c_str());
        SectionMap table = parser.GetAllParams();
        ASSERT_TRUE(SatisfiesGrammar(table, tokens)) << random.Case(i, line);
        ASSERT_EQ(ModelTable(tokens), table) << random.Case(i, line);
        for (const auto& [name, value] : table)
        {
            std::wstring got;
            parser.GetParamValue(got, name.c_str());
            ASSERT_EQ(value, got) << random.Case(i, line);
        }
    }
}

// The run deferred to the shutdown parses the same options back, with /when now and /clean.
TEST(CMDParserRandomTest, DeferredParametersGiveBackTheSameOptions)
{
    CRegistrySandbox registry;
    DiscardTraces();

    CRandomInput random(0x5EED0109);
    for (int i = 0; i < kCases / 10; ++i)
    {
        std::wstring line = RandomLine(random);
        CCMDParser parser(line.c_str());
        SectionMap expected = parser.GetAllParams();
        expected[L"/when"] = L"now";
        expected.try_emplace(L"/clean", L"");
        std::wstring parameters = DeferredParameters(parser);
        ASSERT_EQ(expected, CCMDParser(parameters.c_str()).GetAllParams())
            << random.Case(i, line) << " parameters '" << Printable(parameters) << "'";
    }
}
