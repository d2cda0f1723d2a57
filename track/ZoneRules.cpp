#include "ZoneRules.h"

#include <algorithm>
#include <array>

namespace {

constexpr int64_t kDaysFrom1970To2000 = 10957;

bool IsLeap(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// 0 = Sunday; 2000-01-01 was a Saturday.
unsigned WeekdayOf(int64_t nDay) {
    return static_cast<unsigned>(((nDay % 7) + 7 + 6) % 7);
}

int64_t DayOfChange(const ZoneDayRule& r, int64_t nYear) {
    const int64_t jan1 = ZoneDaysFromCivil(nYear, 1, 1);
    switch (r.eKind) {
        case ZoneDayRule::kJulianNoLeap:
            return jan1 + r.nDay - 1 + (IsLeap(nYear) && r.nDay >= 60 ? 1 : 0);
        case ZoneDayRule::kJulianZero:
            return jan1 + r.nDay;
        case ZoneDayRule::kFixedDate:
            return ZoneDaysFromCivil(nYear, r.nMonth, r.nDay);
        case ZoneDayRule::kWeekdayInMonth:
            break;
    }
    const int64_t first = ZoneDaysFromCivil(nYear, r.nMonth, 1);
    const int64_t next = r.nMonth == 12 ? ZoneDaysFromCivil(nYear + 1, 1, 1)
                                        : ZoneDaysFromCivil(nYear, r.nMonth + 1u, 1);
    int64_t day = first + (r.nWeekday + 7 - WeekdayOf(first)) % 7 + 7 * (r.nWeek - 1);
    while (day >= next) day -= 7;  // week 5 means the last one
    return day;
}

// The UTC instants at which a year's daylight saving starts and ends.
void ChangesOfYear(const AnnualZoneRule& r, int64_t nYear, ZoneSeconds& start, ZoneSeconds& end) {
    start = DayOfChange(r.start, nYear) * 86400 + r.start.nSeconds - r.nStdOffset;
    end = DayOfChange(r.end, nYear) * 86400 + r.end.nSeconds - r.nDstOffset;
}

ZoneSeconds YearStart(int64_t nYear) {
    return ZoneDaysFromCivil(nYear, 1, 1) * 86400;
}

int32_t OffsetByRules(ZoneSeconds u, const std::function<AnnualZoneRule(int64_t)>& ruleOf) {
    const int64_t year = ZoneYearOfDay(FloorDiv(u, 86400));
    const AnnualZoneRule r = ruleOf(year);
    if (!r.bDst) return r.nStdOffset;
    ZoneSeconds start = 0;
    ZoneSeconds end = 0;
    ChangesOfYear(r, year, start, end);
    // Northern rules have the period inside the year; southern ones across its turn.
    const bool bDst = start < end ? (start <= u && u < end) : !(end <= u && u < start);
    return bDst ? r.nDstOffset : r.nStdOffset;
}

// Reads up to nMaxDigits digits into value; false when there is none.
bool ReadNumber(std::string_view s, size_t& i, size_t nMaxDigits, int32_t& value) {
    const size_t start = i;
    value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < nMaxDigits) {
        value = value * 10 + (s[i] - '0');
        ++i;
    }
    return i > start;
}

// "[+|-]hh[:mm[:ss]]" in seconds, hours up to nMaxHours.
bool ReadClock(std::string_view s, size_t& i, int32_t nMaxHours, int32_t& seconds) {
    int32_t sign = 1;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) sign = s[i++] == '-' ? -1 : 1;
    int32_t part = 0;
    if (!ReadNumber(s, i, 3, part) || part > nMaxHours) return false;
    seconds = part * 3600;
    for (int32_t scale : {60, 1}) {
        if (i >= s.size() || s[i] != ':') break;
        ++i;
        if (!ReadNumber(s, i, 2, part) || part > 59) return false;
        seconds += part * scale;
    }
    seconds *= sign;
    return true;
}

// A zone abbreviation: three or more letters, or anything but '>' between '<' and '>'.
bool SkipName(std::string_view s, size_t& i) {
    const size_t start = i;
    if (i < s.size() && s[i] == '<') {
        const size_t close = s.find('>', i);
        if (close == std::string_view::npos || close == i + 1) return false;
        i = close + 1;
        return true;
    }
    while (i < s.size() && ((s[i] | 0x20) >= 'a' && (s[i] | 0x20) <= 'z')) ++i;
    return i - start >= 3;
}

bool ReadDayRule(std::string_view s, size_t& i, ZoneDayRule& r) {
    int32_t v = 0;
    if (i < s.size() && s[i] == 'M') {
        int32_t week = 0;
        int32_t weekday = 0;
        ++i;
        if (!ReadNumber(s, i, 2, v) || v < 1 || v > 12 || i >= s.size() || s[i++] != '.' ||
            !ReadNumber(s, i, 1, week) || week < 1 || week > 5 || i >= s.size() || s[i++] != '.' ||
            !ReadNumber(s, i, 1, weekday) || weekday > 6) {
            return false;
        }
        r.eKind = ZoneDayRule::kWeekdayInMonth;
        r.nMonth = static_cast<uint8_t>(v);
        r.nWeek = static_cast<uint8_t>(week);
        r.nWeekday = static_cast<uint8_t>(weekday);
    } else if (i < s.size() && s[i] == 'J') {
        ++i;
        if (!ReadNumber(s, i, 3, v) || v < 1 || v > 365) return false;
        r.eKind = ZoneDayRule::kJulianNoLeap;
        r.nDay = static_cast<uint16_t>(v);
    } else {
        if (!ReadNumber(s, i, 3, v) || v > 365) return false;
        r.eKind = ZoneDayRule::kJulianZero;
        r.nDay = static_cast<uint16_t>(v);
    }
    r.nSeconds = 7200;
    if (i < s.size() && s[i] == '/') {
        ++i;
        return ReadClock(s, i, 167, r.nSeconds);
    }
    return true;
}

class AnnualRules final : public ZoneRules {
  public:
    explicit AnnualRules(const AnnualZoneRule& rule) : m_rule(rule) {}
    ZoneSpan SpanAt(ZoneSeconds t) const override {
        return SpanFromAnnualRules(t, [this](int64_t) { return m_rule; });
    }

  private:
    AnnualZoneRule m_rule;
};

}  // namespace

int64_t ZoneDaysFromCivil(int64_t nYear, unsigned nMonth, unsigned nDay) {
    const int64_t y = nYear - (nMonth <= 2 ? 1 : 0);
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (nMonth > 2 ? nMonth - 3 : nMonth + 9) + 2) / 5 + nDay - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 - kDaysFrom1970To2000;
}

int64_t ZoneYearOfDay(int64_t nDay) {
    const int64_t z = nDay + kDaysFrom1970To2000 + 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    return yoe + era * 400 + (mp >= 10 ? 1 : 0);
}

ZoneSpan SpanFromAnnualRules(ZoneSeconds t, const std::function<AnnualZoneRule(int64_t)>& ruleOf) {
    // Every instant where the offset may change near t: the turns of the UTC years (the rule may
    // change with the year) and each year's two changes.
    const int64_t year = ZoneYearOfDay(FloorDiv(t, 86400));
    const ZoneSeconds lo = YearStart(year - 1);
    const ZoneSeconds hi = YearStart(year + 2);
    std::array<ZoneSeconds, 10> cands{};
    size_t n = 0;
    for (int64_t y = year - 1; y <= year + 2; ++y) cands[n++] = YearStart(y);
    for (int64_t y = year - 1; y <= year + 1; ++y) {
        const AnnualZoneRule r = ruleOf(y);
        if (!r.bDst) continue;
        ZoneSeconds start = 0;
        ZoneSeconds end = 0;
        ChangesOfYear(r, y, start, end);
        for (ZoneSeconds c : {start, end}) {
            if (c > lo && c < hi) cands[n++] = c;
        }
    }
    std::sort(cands.begin(), cands.begin() + static_cast<ptrdiff_t>(n));
    n = static_cast<size_t>(std::unique(cands.begin(), cands.begin() + static_cast<ptrdiff_t>(n)) -
                            cands.begin());

    size_t k = 0;
    while (k + 2 < n && cands[k + 1] <= t) ++k;
    const int32_t offset = OffsetByRules(t, ruleOf);
    size_t first = k;
    while (first > 0 && OffsetByRules(cands[first - 1], ruleOf) == offset) --first;
    size_t last = k + 1;
    while (last + 1 < n && OffsetByRules(cands[last], ruleOf) == offset) ++last;
    return {cands[first], cands[last], offset};
}

std::optional<AnnualZoneRule> ParsePosixZoneRule(std::string_view text) {
    AnnualZoneRule r;
    size_t i = 0;
    int32_t west = 0;
    if (!SkipName(text, i) || !ReadClock(text, i, 24, west)) return std::nullopt;
    r.nStdOffset = -west;
    r.nDstOffset = r.nStdOffset;
    if (i == text.size()) return r;
    if (!SkipName(text, i)) return std::nullopt;
    r.bDst = true;
    r.nDstOffset = r.nStdOffset + 3600;
    if (i < text.size() && text[i] != ',') {
        if (!ReadClock(text, i, 24, west)) return std::nullopt;
        r.nDstOffset = -west;
    }
    if (i == text.size()) {
        // No rule given: the United States' rule, as the C library assumes.
        r.start = {ZoneDayRule::kWeekdayInMonth, 3, 2, 0, 0, 7200};
        r.end = {ZoneDayRule::kWeekdayInMonth, 11, 1, 0, 0, 7200};
        return r;
    }
    if (text[i++] != ',' || !ReadDayRule(text, i, r.start) || i >= text.size() ||
        text[i++] != ',' || !ReadDayRule(text, i, r.end) || i != text.size()) {
        return std::nullopt;
    }
    return r;
}

std::shared_ptr<const ZoneRules> MakeAnnualZoneRules(const AnnualZoneRule& rule) {
    return std::make_shared<AnnualRules>(rule);
}
