#include "TimeZone.h"

#include <algorithm>
#include <cstdio>

#include "Digits.h"
#include "ZoneRules.h"

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
    const DigitRun run = ReadDigits(s, i, UINT32_MAX, nMaxDigits);
    value = static_cast<int>(run.nValue);
    return run.nDigits > 0;
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

TimeZone TimeZone::Fixed(int32_t nOffset) {
    TimeZone zone;
    zone.m_nOffset = nOffset;
    zone.m_strName = TimeZoneText(nOffset);
    return zone;
}

int32_t TimeZone::OffsetAt(uint32_t dwTime) const {
    return m_pRules ? m_pRules->SpanAt(dwTime).nOffset : m_nOffset;
}

namespace {

constexpr ZoneSeconds kLastRecordTime = UINT32_MAX;
// Farther than any zone's offset reaches, so that every span a local time can fall in is seen.
constexpr ZoneSeconds kOffsetReach = 2 * 86400;

// The UTC instant of a local time: the earliest span whose offset maps the local time into itself;
// when none does, the local time lies in a gap and the span after the gap begins the answer.
ZoneSeconds LocalToUtc(const ZoneRules& rules, ZoneSeconds nLocal) {
    std::optional<ZoneSeconds> earliest;
    std::optional<ZoneSeconds> gapEnd;
    ZoneSpan span = rules.SpanAt(nLocal - kOffsetReach);
    std::optional<ZoneSpan> prev;
    for (int i = 0; i < 64; ++i) {
        const ZoneSeconds u = nLocal - span.nOffset;
        if (u >= span.nBegin && u < span.nEnd && (!earliest || u < *earliest)) earliest = u;
        if (prev && prev->nOffset < span.nOffset && span.nBegin + prev->nOffset <= nLocal &&
            nLocal < span.nBegin + span.nOffset) {
            gapEnd = span.nBegin;
        }
        if (span.nEnd > nLocal + kOffsetReach) break;
        prev = span;
        span = rules.SpanAt(span.nEnd);
    }
    if (earliest) return *earliest;
    return gapEnd ? *gapEnd : nLocal - span.nOffset;
}

}  // namespace

uint32_t TimeZone::LocalToRecordTime(ZoneSeconds nLocal) const {
    ZoneSeconds t = 0;
    if (!m_pRules) {
        t = nLocal - m_nOffset;
    } else if (nLocal < -kOffsetReach) {
        t = -1;
    } else if (nLocal > kLastRecordTime + kOffsetReach) {
        t = kLastRecordTime + 1;
    } else {
        t = LocalToUtc(*m_pRules, nLocal);
    }
    return static_cast<uint32_t>(std::clamp<ZoneSeconds>(t, 0, kLastRecordTime));
}

TimeZoneStatus ParseTimeZone(std::string_view text, TimeZone& zone) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return TimeZoneStatus::Empty;
    if (const std::optional<int32_t> offset = ParseTimeZoneText(text)) {
        zone = TimeZone::Fixed(*offset);
        return TimeZoneStatus::Ok;
    }
    std::shared_ptr<const ZoneRules> pRules;
    std::string strName;
    const bool bLocal = text.size() == 5 && (text[0] | 0x20) == 'l' && (text[1] | 0x20) == 'o' &&
                        (text[2] | 0x20) == 'c' && (text[3] | 0x20) == 'a' &&
                        (text[4] | 0x20) == 'l';
    const TimeZoneStatus status =
        bLocal ? LoadLocalZoneRules(pRules, strName) : LoadNamedZoneRules(text, pRules, strName);
    if (status != TimeZoneStatus::Ok) return status;
    zone.m_pRules = std::move(pRules);
    zone.m_nOffset = 0;
    zone.m_strName = bLocal ? "local (" + strName + ")" : strName;
    return TimeZoneStatus::Ok;
}

std::string SystemZoneName() {
    std::shared_ptr<const ZoneRules> pRules;
    std::string strName;
    return LoadLocalZoneRules(pRules, strName) == TimeZoneStatus::Ok ? strName : std::string();
}

std::vector<std::string> AvailableTimeZoneNames() {
    static constexpr std::string_view kAreas[] = {"Africa/", "America/",  "Antarctica/", "Arctic/",
                                                  "Asia/",   "Atlantic/", "Australia/",  "Europe/",
                                                  "Indian/", "Pacific/"};
    std::vector<std::string> names = ListZoneNames();
    std::erase_if(names, [](const std::string& name) {
        return std::none_of(std::begin(kAreas), std::end(kAreas),
                            [&](std::string_view area) { return name.starts_with(area); });
    });
    std::sort(names.begin(), names.end());
    return names;
}

std::string TimeZoneStatusMessage(TimeZoneStatus status, std::string_view text) {
    switch (status) {
        case TimeZoneStatus::Ok:
            return "";
        case TimeZoneStatus::Empty:
            return "No time zone given.";
        case TimeZoneStatus::UnknownName:
            return "Unknown time zone \"" + std::string(text) +
                   "\" (expected GMT+H:MM, UTC, local or a zone name such as Europe/Berlin).";
        case TimeZoneStatus::NoDatabase:
            return "The system's time zone data cannot be read.";
        case TimeZoneStatus::NoLocalZone:
            return "The system's own time zone cannot be determined.";
    }
    return "Unknown time zone.";
}

ZoneOffsetCache::ZoneOffsetCache(const TimeZone& zone)
    : m_pRules(zone.m_pRules.get()), m_nOffset(zone.m_nOffset) {
    if (m_pRules) Load(0);
}

void ZoneOffsetCache::Load(uint32_t dwTime) {
    const ZoneSpan span = m_pRules->SpanAt(dwTime);
    const ZoneSeconds first = std::max<ZoneSeconds>(span.nBegin, 0);
    const ZoneSeconds last = std::min<ZoneSeconds>(span.nEnd - 1, kLastRecordTime);
    m_dwBegin = static_cast<uint32_t>(first);
    m_dwLastStep = static_cast<uint32_t>(last - first);
    m_nOffset = span.nOffset;
}

uint32_t LocalBound(const LogDateTime& local, const TimeZone& zone) {
    return zone.LocalToRecordTime(LocalSecondsOf(local));
}

std::optional<int> TimeZoneListIndex(std::string_view text) {
    const std::optional<int32_t> nOffset = ParseTimeZoneText(text);
    if (!nOffset || TimeZoneText(*nOffset) != text) return std::nullopt;
    for (int i = 0; i < kTimeZoneCount; ++i) {
        if (TimeZoneOffsetAt(i) == *nOffset) return i;
    }
    return std::nullopt;
}
