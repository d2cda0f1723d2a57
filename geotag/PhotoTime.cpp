#include "PhotoTime.h"

#include <cstdio>

namespace {

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return text;
}

bool TakeDigits(std::string_view& s, size_t nDigits, int& nValue) {
    if (s.size() < nDigits) return false;
    nValue = 0;
    for (size_t i = 0; i < nDigits; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        nValue = nValue * 10 + (s[i] - '0');
    }
    s.remove_prefix(nDigits);
    return true;
}

bool TakeOneOf(std::string_view& s, std::string_view chars, char* pTaken = nullptr) {
    if (s.empty() || chars.find(s.front()) == std::string_view::npos) return false;
    if (pTaken != nullptr) *pTaken = s.front();
    s.remove_prefix(1);
    return true;
}

int DaysInMonth(int nYear, int nMonth) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return nMonth == 2 && IsLeapYear(static_cast<unsigned>(nYear)) ? 29 : kDays[nMonth - 1];
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

}  // namespace

std::optional<LogDateTime> ParseExifDateTime(std::string_view s) {
    s = TrimEnd(s);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    char cSeparator = 0;
    if (!TakeDigits(s, 4, y) || !TakeOneOf(s, ":-/", &cSeparator) || !TakeDigits(s, 2, mo) ||
        !TakeOneOf(s, std::string_view(&cSeparator, 1)) || !TakeDigits(s, 2, d) ||
        !TakeOneOf(s, " T") || !TakeDigits(s, 2, h) || !TakeOneOf(s, ":") ||
        !TakeDigits(s, 2, mi) || !TakeOneOf(s, ":") || !TakeDigits(s, 2, sec) || !s.empty()) {
        return std::nullopt;
    }
    // A camera that does not know the date writes zeros.
    if (y == 0 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 ||
        sec > 59) {
        return std::nullopt;
    }
    return LogDateTime{static_cast<uint16_t>(y), static_cast<uint8_t>(mo),
                       static_cast<uint8_t>(d),  static_cast<uint8_t>(h),
                       static_cast<uint8_t>(mi), static_cast<uint8_t>(sec)};
}

std::optional<uint16_t> ParseSubSeconds(std::string_view s) {
    s = TrimEnd(s);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    int nMillis = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        if (i < 3) nMillis = nMillis * 10 + (s[i] - '0');
    }
    for (size_t i = s.size(); i < 3; ++i) nMillis *= 10;
    return static_cast<uint16_t>(nMillis);
}

std::optional<int32_t> ParseExifOffset(std::string_view s) {
    s = TrimEnd(s);
    if (s == "Z") return 0;
    char cSign = 0;
    int h = 0, m = 0;
    if (!TakeOneOf(s, "+-", &cSign) || !TakeDigits(s, 2, h)) return std::nullopt;
    if (!s.empty()) {
        TakeOneOf(s, ":");
        if (!TakeDigits(s, 2, m) || !s.empty()) return std::nullopt;
    }
    if (m > 59 || h * 60 + m > 14 * 60) return std::nullopt;
    const int32_t nSeconds = (h * 60 + m) * 60;
    return cSign == '-' ? -nSeconds : nSeconds;
}

std::optional<int32_t> ParseCameraOffset(std::string_view s) {
    char cSign = '+';
    TakeOneOf(s, "+-", &cSign);
    int32_t nSeconds = 0;
    for (int nGroup = 0; nGroup < 3; ++nGroup) {
        int nDigits = 0, nValue = 0;
        while (nDigits < 2 && !s.empty() && s.front() >= '0' && s.front() <= '9') {
            nValue = nValue * 10 + (s.front() - '0');
            s.remove_prefix(1);
            ++nDigits;
        }
        // Minutes and seconds after a colon stay below 60; the first number is the largest unit.
        if (nDigits == 0 || (nGroup > 0 && nValue > 59)) return std::nullopt;
        nSeconds = nSeconds * 60 + nValue;
        if (s.empty()) return cSign == '-' ? -nSeconds : nSeconds;
        if (!TakeOneOf(s, ":")) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<UtcMillis> PhotoInstant(const PhotoTimeTags& tags, const TimeZone& cameraZone,
                                      int32_t nCameraOffsetSeconds) {
    const std::optional<LogDateTime> clock = ParseExifDateTime(tags.strDateTime);
    if (!clock) return std::nullopt;
    const int64_t nLocal = LocalSecondsOf(*clock);
    int64_t nUtc = 0;
    if (const std::optional<int32_t> offset = ParseExifOffset(tags.strOffset)) {
        nUtc = nLocal - *offset;
    } else {
        // The zone's rules know daylight saving; off the record scale its conversion stops at
        // the scale's ends, and the offset there is as good as any.
        const uint32_t dwUtc = cameraZone.LocalToRecordTime(nLocal);
        nUtc = dwUtc == 0 || dwUtc == UINT32_MAX ? nLocal - cameraZone.OffsetAt(dwUtc) : dwUtc;
    }
    const uint16_t wMillis = ParseSubSeconds(tags.strSubSeconds).value_or(0);
    return (nUtc - nCameraOffsetSeconds) * 1000 + wMillis;
}

std::string FormatUtcMillis(UtcMillis nMillis) {
    const int64_t nSeconds = FloorDiv(nMillis, 1000);
    const int nFraction = static_cast<int>(nMillis - nSeconds * 1000);
    const LogDateTime dt = SecondsToDateTime(nSeconds, 0);
    char szText[48];
    std::snprintf(szText, sizeof szText, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{dt.wYear},
                  unsigned{dt.bMonth}, unsigned{dt.bDay}, unsigned{dt.bHour}, unsigned{dt.bMinute},
                  unsigned{dt.bSecond});
    std::string strText = szText;
    if (nFraction != 0) {
        std::snprintf(szText, sizeof szText, ".%03d", nFraction);
        strText += szText;
    }
    return strText;
}
