#pragma once

#include <cstdint>
#include <cstring>

#include "track/Calendar.h"

// Number formatting for the writers. Every decimal in the outputs is an integer scaled by a power
// of ten, so placing the point by hand gives exactly what printf's "%.Nf" prints for the scaled
// double, with no locale involved: the double's error is far below half a unit of the last digit.

namespace textformat {

inline constexpr char kDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

template <size_t N>
inline char* PutText(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

// Two digits, with a leading zero (v < 100).
inline char* Put2(char* p, unsigned v) {
    std::memcpy(p, kDigitPairs + 2 * v, 2);
    return p + 2;
}

// Decimal digits of v, like "%u".
inline char* PutUInt(char* p, uint32_t v) {
    char tmp[10];
    char* t = tmp + sizeof tmp;
    while (v >= 100) {
        t -= 2;
        std::memcpy(t, kDigitPairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (v >= 10) {
        t -= 2;
        std::memcpy(t, kDigitPairs + 2 * v, 2);
    } else {
        *--t = static_cast<char>('0' + v);
    }
    const size_t n = static_cast<size_t>(tmp + sizeof tmp - t);
    std::memcpy(p, t, n);
    return p + n;
}

// v / 10^nDecimals with nDecimals digits after the point, like "%.Nf" of that quotient.
inline char* PutScaled(char* p, int64_t v, unsigned nDecimals) {
    uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    if (v < 0) *p++ = '-';
    uint64_t scale = 1;
    for (unsigned i = 0; i < nDecimals; ++i) scale *= 10;
    p = PutUInt(p, static_cast<uint32_t>(mag / scale));
    *p++ = '.';
    uint64_t frac = mag % scale;
    for (unsigned i = nDecimals; i > 0; --i) {
        p[i - 1] = static_cast<char>('0' + frac % 10);
        frac /= 10;
    }
    return p + nDecimals;
}

// Millionths of a degree as "%.06f" of degrees.
inline char* PutMicroDegrees(char* p, int32_t v) {
    return PutScaled(p, v, 6);
}

// "%d-%02d-%02d" then cSep then "%02d:%02d:%02d".
inline char* PutDateTime(char* p, const LogDateTime& dt, char cDateSep, char cSep) {
    p = PutUInt(p, dt.wYear);
    *p++ = cDateSep;
    p = Put2(p, dt.bMonth);
    *p++ = cDateSep;
    p = Put2(p, dt.bDay);
    *p++ = cSep;
    p = Put2(p, dt.bHour);
    *p++ = ':';
    p = Put2(p, dt.bMinute);
    *p++ = ':';
    return Put2(p, dt.bSecond);
}

}  // namespace textformat
