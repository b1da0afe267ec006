#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

// Deterministic random inputs for the randomized tests. The seed is the test's own unless
// ZAPATCH_TEST_SEED names another, so a failure reported with its seed can be replayed.
class CRandomInput
{
  public:
    explicit CRandomInput(uint32_t defaultSeed);

    uint32_t Seed() const { return m_seed; }
    // 0 to bound - 1; bound must not be 0.
    size_t Below(size_t bound);
    bool OneIn(size_t n) { return Below(n) == 0; }
    wchar_t CharFrom(std::wstring_view alphabet) { return alphabet[Below(alphabet.size())]; }
    // 0 to maxLength characters, each from the alphabet.
    std::wstring Text(size_t maxLength, std::wstring_view alphabet);

    // "seed S case N: 'input'" for the message of a failing case.
    std::string Case(size_t index, std::wstring_view input) const;

  private:
    uint32_t m_seed;
    std::mt19937 m_engine;
};

// Randomized tests trace millions of times: a trace folder that cannot exist makes every trace
// fail at once instead of costing a file write. Needs the registry sandbox, and must come before
// the process's first trace.
void DiscardTraces();

// The text with every character outside printable ASCII written as \x{hex}, for failure
// messages; long texts are shortened in the middle.
std::string Printable(std::wstring_view text);
