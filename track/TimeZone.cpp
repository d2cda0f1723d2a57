#include "TimeZone.h"

#include <cstdio>

std::string TimeZoneText(int32_t nOffsetSeconds) {
    const int32_t m = nOffsetSeconds / 60;
    char buf[32];
    if (m >= 0) {
        std::snprintf(buf, sizeof buf, "GMT+%d:%02d", m / 60, m % 60);
    } else {
        std::snprintf(buf, sizeof buf, "GMT-%d:%02d", -m / 60, -m % 60);
    }
    return buf;
}

namespace {

bool ParseDigits(std::string_view s, size_t& i, size_t nMaxDigits, int& value) {
    const size_t start = i;
    value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < nMaxDigits) {
        value = value * 10 + (s[i] - '0');
        ++i;
    }
    return i > start;
}

}  // namespace

std::optional<int32_t> ParseTimeZoneText(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.starts_with("GMT") || text.starts_with("UTC")) {
        text.remove_prefix(3);
        if (text.empty()) return 0;
    }
    if (text.empty() || (text[0] != '+' && text[0] != '-')) return std::nullopt;
    const int sign = text[0] == '-' ? -1 : 1;
    size_t i = 1;
    int hours = 0;
    int minutes = 0;
    if (!ParseDigits(text, i, 2, hours) || hours > 14) return std::nullopt;
    if (i < text.size()) {
        if (text[i] != ':') return std::nullopt;
        ++i;
        const size_t start = i;
        if (!ParseDigits(text, i, 2, minutes) || i - start != 2 || minutes >= 60) {
            return std::nullopt;
        }
    }
    if (i != text.size()) return std::nullopt;
    return sign * (hours * 3600 + minutes * 60);
}
