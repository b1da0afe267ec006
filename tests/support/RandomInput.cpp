#include "support/RandomInput.h"

#include "catalog/ProductKeys.h"
#include "support/Sandbox.h"

#include <cstdio>
#include <cstdlib>

namespace
{
constexpr size_t kShownChars = 400;

uint32_t ChosenSeed(uint32_t defaultSeed)
{
    const char* given = std::getenv("ZAPATCH_TEST_SEED");
    return given && *given ? static_cast<uint32_t>(std::strtoul(given, nullptr, 0)) : defaultSeed;
}
} // namespace

CRandomInput::CRandomInput(uint32_t defaultSeed) : m_seed(ChosenSeed(defaultSeed)), m_engine(m_seed)
{
}

size_t CRandomInput::Below(size_t bound)
{
    return std::uniform_int_distribution<size_t>(0, bound - 1)(m_engine);
}

std::wstring CRandomInput::Text(size_t maxLength, std::wstring_view alphabet)
{
    std::wstring text(Below(maxLength + 1), L'\0');
    for (wchar_t& ch : text)
        ch = CharFrom(alphabet);
    return text;
}

std::string CRandomInput::Case(size_t index, std::wstring_view input) const
{
    return "seed " + std::to_string(m_seed) + " case " + std::to_string(index) + ": '" +
           Printable(input) + "'";
}

void DiscardTraces()
{
    CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", L"|\\");
}

std::string Printable(std::wstring_view text)
{
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text.size() > kShownChars && i == kShownChars / 2)
        {
            shown += "...(" + std::to_string(text.size()) + " chars)...";
            i = text.size() - kShownChars / 2;
        }
        wchar_t ch = text[i];
        if (ch >= 0x20 && ch < 0x7F && ch != L'\\')
            shown += static_cast<char>(ch);
        else
        {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, "\\x{%x}", static_cast<unsigned>(ch));
            shown += escaped;
        }
    }
    return shown;
}
