#include "catalog/ConfigManager.h"
#include "support/RandomInput.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace
{
constexpr int kEntries = 100000;
constexpr int kEntriesPerSection = 100;

// What the platform's file format carries, found by trying: it trims blanks (and 0x1A) around
// keys and values, ends a line at CR or LF, reads a line that starts with ";" as a comment and
// one in square brackets as a section header, and writes a new file in the ANSI code page, so
// only characters of that page come back. The program itself stores only patch codes and state
// words, well inside this.
const wchar_t kKeyChars[] = L"Ab9{}-_.;[]\"'\\%# \t\x01\x1F\x7F\x00A0\x00E9\x00FF";
const wchar_t kBlanks[] = L" \t";

std::wstring TrimBlanks(const std::wstring& text)
{
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::wstring RandomKey(CRandomInput& random)
{
    std::wstring key = TrimBlanks(random.Text(40, kKeyChars));
    return key.starts_with(L';') || key.starts_with(L'[') ? L"k" + key : key;
}

std::wstring RandomValue(CRandomInput& random)
{
    std::wstring value = TrimBlanks(random.Text(40, kKeyChars));
    return random.OneIn(4) ? value + L"=" + value : value;
}

SectionMap RandomSection(CRandomInput& random)
{
    SectionMap entries;
    for (int i = 0; i < kEntriesPerSection; ++i)
        entries[RandomKey(random)] = RandomValue(random);
    return entries;
}
} // namespace

TEST(ConfigManagerRandomTest, SectionsComeBackAsWritten)
{
    CRegistrySandbox registry;
    DiscardTraces();
    CTempFolder folder;
    CConfigManager config((folder / L"Patches.ini").c_str());

    CRandomInput random(0x5EED0501);
    for (int i = 0; i < kEntries / kEntriesPerSection; ++i)
    {
        SectionMap written = RandomSection(random);
        config.SetSection(L"PATCHES_STATE", written);
        SectionMap read;
        config.GetSection(L"PATCHES_STATE", read);
        ASSERT_EQ(written, read) << "seed " << random.Seed() << " section " << i;
    }
}
