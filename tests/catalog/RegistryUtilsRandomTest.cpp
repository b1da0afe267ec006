#include "catalog/RegistryUtils.h"
#include "support/RandomInput.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
constexpr wchar_t kKey[] = L"Software\\Test";
constexpr int kCases = 100000;
constexpr int kCasesPerKeyState = 2000;

// Value names, ASCII so that the registry's case-insensitive match is plain to model; "" is the
// key's default value, "B" and "b" are one value. A value refers only to names after its own, so
// that only "Loop" (which may refer to any) makes cycles: every cycle costs 64 registry reads.
const wchar_t* const kNames[] = {L"A", L"b", L"", L"B", L"Product Root", L"Loop", L"missing"};
const wchar_t* const kLiterals[] = {L"C:\\", L"x", L"\x00E9", L"%", L"%%%", L"%\x4E2D%"};
constexpr size_t kPlainLiterals = 3; // the others make lookups too

// A registry lookup costs about half a millisecond under Wine: references are rare enough that
// all cases together make some ten thousand of them.
std::wstring RandomText(CRandomInput& random, size_t firstName, size_t maxPieces)
{
    std::wstring text;
    for (size_t pieces = random.Below(maxPieces + 1); pieces > 0; --pieces)
    {
        size_t reference = firstName + random.Below(std::size(kNames) + 1 - firstName);
        bool loop = reference < std::size(kNames) && std::wstring(kNames[reference]) == L"Loop";
        if (!random.OneIn(16) || reference == std::size(kNames) || (loop && !random.OneIn(50)))
            text +=
                kLiterals[random.Below(random.OneIn(8) ? std::size(kLiterals) : kPlainLiterals)];
        else
            text += L"%" + std::wstring(kNames[reference]) + L"%";
    }
    return text;
}

std::wstring Lower(std::wstring name)
{
    for (wchar_t& ch : name)
        if (ch >= L'A' && ch <= L'Z')
            ch += L'a' - L'A';
    return name;
}

// The values of the key by lower-cased name, as texts up to their first NUL.
using CValues = std::map<std::wstring, std::wstring>;

// Rewrites the key's values: each name is set, set to a huge or NUL-holding text, or left out.
CValues RandomKeyState(CRandomInput& random)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    CValues values;
    for (size_t index = 0; index < std::size(kNames); ++index)
    {
        std::wstring name = kNames[index];
        if (random.OneIn(4) || name == L"missing")
            continue;
        std::wstring value = name == L"Loop" ? L"%" + std::wstring(kNames[random.Below(6)]) + L"%"
                                             : RandomText(random, index + 1, 2);
        if (random.OneIn(50))
            value += std::wstring(12000, L'y'); // a few of them pass the length bound
        if (random.OneIn(10))
            value += std::wstring(1, L'\0') + L"%A%"; // nothing after a NUL counts
        CRegistrySandbox::SetRaw(kKey, name, REG_SZ, value.c_str(),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        values[Lower(name)] = value.c_str();
    }
    return values;
}

// The expansion as it must come out: references left to right, each value expanded in turn,
// bounded in count and length.
DWORD ModelSubstitute(const CValues& values, std::wstring& text)
{
    for (int substitutions = 0;; ++substitutions)
    {
        size_t open = text.find(L'%');
        if (open == std::wstring::npos || text.find(L'%', open + 1) == std::wstring::npos)
            return ERROR_SUCCESS;
        if (substitutions == kMaxSubstitutions)
            return ERROR_CIRCULAR_DEPENDENCY;
        size_t close = text.find(L'%', open + 1);
        auto value = values.find(Lower(text.substr(open + 1, close - open - 1)));
        if (value == values.end())
            return ERROR_FILE_NOT_FOUND;
        if (text.size() - (close - open + 1) + value->second.size() > kMaxSubstitutedLength)
            return ERROR_FILENAME_EXCED_RANGE;
        text.replace(open, close - open + 1, value->second);
    }
}
} // namespace

TEST(RegistryUtilsRandomTest, SubstitutionAlwaysEndsAsModelled)
{
    CRegistrySandbox registry;
    DiscardTraces();

    CRandomInput random(0x5EED0401);
    CValues values;
    for (int i = 0; i < kCases; ++i)
    {
        if (i % kCasesPerKeyState == 0)
            values = RandomKeyState(random);
        std::wstring original = RandomText(random, 0, 3);
        std::wstring text = original;
        std::wstring expected = original;
        DWORD expectedStatus = ModelSubstitute(values, expected);
        ASSERT_EQ(expectedStatus, SubstituteRegVariables(HKEY_LOCAL_MACHINE, kKey, text))
            << random.Case(i, original);
        ASSERT_EQ(expected, text) << random.Case(i, original);
    }
}
