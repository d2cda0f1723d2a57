#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The one reader of decimal digits behind every number typed or received as text: the count line,
// the port's speed, record limits, durations, dates and zone offsets. Each caller keeps its own
// rules (blanks, signs, units, how much is too much) around it.
struct DigitRun {
    uint64_t nValue = 0;  // saturated at the cap asked for
    size_t nDigits = 0;   // how many digits were read
};

// The digits of text from position i on, at most nMaxDigits of them; i moves past them. The cap
// stays far below 2^60, so that no value read overflows on its way there.
inline DigitRun ReadDigits(std::string_view text, size_t& i,
                           uint64_t nCap = UINT32_MAX + uint64_t{1}, size_t nMaxDigits = SIZE_MAX) {
    DigitRun run;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && run.nDigits < nMaxDigits; ++i) {
        const uint64_t nNext = run.nValue * 10 + static_cast<uint64_t>(text[i] - '0');
        run.nValue = nNext < nCap ? nNext : nCap;
        ++run.nDigits;
    }
    return run;
}
