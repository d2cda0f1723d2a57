#include "CliCommon.h"

#include <cstdio>

#include "track/Digits.h"
#include "track/TimeZone.h"

void PrintError(const std::string& strMessage) {
    // A message's second part (the file, the reason) on a line of its own.
    size_t nStart = 0;
    while (nStart <= strMessage.size()) {
        size_t nEnd = strMessage.find('\n', nStart);
        if (nEnd == std::string::npos) nEnd = strMessage.size();
        if (nEnd > nStart) {
            std::fprintf(stderr, "quorvel-cli: %.*s\n", static_cast<int>(nEnd - nStart),
                         strMessage.c_str() + nStart);
        }
        nStart = nEnd + 1;
    }
}

bool LoadRawLogForCommand(const std::string& strPath, RawLogImage& image) {
    SystemError nError = 0;
    const RawLogStatus status = LoadRawLogImage(strPath, image, &nError);
    if (status != RawLogStatus::Ok) PrintError(RawLogLoadMessage(status, strPath, nError));
    return status == RawLogStatus::Ok;
}

std::optional<TimeZone> ResolveTimeZone(const std::string& strZone) {
    TimeZone zone;
    const TimeZoneStatus status = ParseTimeZone(strZone, zone);
    if (status != TimeZoneStatus::Ok) {
        PrintError(TimeZoneStatusMessage(status, strZone));
        return std::nullopt;
    }
    return zone;
}

std::optional<uint32_t> ParseDurationSeconds(std::string_view text) {
    size_t i = 0;
    const DigitRun run = ReadDigits(text, i);
    const uint64_t nValue = run.nValue;
    if (run.nDigits == 0 || nValue > UINT32_MAX) return std::nullopt;
    const std::string_view unit = text.substr(i);
    const uint64_t nScale = unit.empty() || unit == "s" ? 1
                            : unit == "m"               ? 60
                            : unit == "h"               ? 3600
                                                        : 0;
    if (nScale == 0 || nValue * nScale > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(nValue * nScale);
}

namespace {

bool TakeNumber(std::string_view& s, size_t nDigits, unsigned& value) {
    size_t i = 0;
    const DigitRun run = ReadDigits(s, i, UINT32_MAX, nDigits);
    if (run.nDigits != nDigits) return false;
    value = static_cast<unsigned>(run.nValue);
    s.remove_prefix(nDigits);
    return true;
}

bool TakeChar(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

}  // namespace

std::optional<LogDateTime> ParseLogDateTime(std::string_view s) {
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (!TakeNumber(s, 4, y) || !TakeChar(s, '-') || !TakeNumber(s, 2, mo) || !TakeChar(s, '-') ||
        !TakeNumber(s, 2, d)) {
        return std::nullopt;
    }
    if (!TakeChar(s, ' ') && !TakeChar(s, 'T')) return std::nullopt;
    if (!TakeNumber(s, 2, h) || !TakeChar(s, ':') || !TakeNumber(s, 2, mi)) return std::nullopt;
    if (TakeChar(s, ':') && !TakeNumber(s, 2, sec)) return std::nullopt;
    if (!s.empty()) return std::nullopt;
    LogDateTime dt{static_cast<uint16_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d),
                   static_cast<uint8_t>(h),  static_cast<uint8_t>(mi), static_cast<uint8_t>(sec)};
    uint32_t dwSeconds = 0;
    // Also rejects days a month does not have: a typed date should mean what it says.
    if (!DateTimeToSeconds(dt, dwSeconds) || SecondsToDateTime(dwSeconds, 0) != dt) {
        return std::nullopt;
    }
    return dt;
}

RecordFilter FilterOptions::Filter() const {
    RecordFilter filter;
    filter.nMinSatellites = nMinSatellites;
    // HDOP is kept in tenths: "2.55" keeps 2.5 and refuses 2.6.
    filter.nMaxHdopTenths = dMaxHdop < 0 ? -1 : static_cast<int32_t>(dMaxHdop * 10 + 1e-9);
    filter.dMaxSpeedKmh = dMaxSpeedKmh;
    return filter;
}

void AddFilterOptions(CLI::App& app, FilterOptions& options) {
    app.add_option("--min-sats", options.nMinSatellites,
                   "Leave out fixes with fewer satellites used than this");
    app.add_option("--max-hdop", options.dMaxHdop, "Leave out fixes with a larger HDOP than this")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--max-speed", options.dMaxSpeedKmh,
                   "Leave out fixes reached faster than this many km/h from the fix before "
                   "(spikes)")
        ->check(CLI::PositiveNumber);
}

std::optional<SplitRule> ResolveSplitRule(const std::string& strText) {
    SplitRule rule;
    if (strText == "day") {
        rule.kind = SplitRule::Kind::Day;
        return rule;
    }
    const std::optional<uint32_t> gap =
        strText.rfind("gap=", 0) == 0 ? ParseDurationSeconds(strText.substr(4)) : std::nullopt;
    if (!gap) {
        PrintError("Invalid --split \"" + strText +
                   "\" (day, or gap= and a time such as gap=30m: seconds, or a number with s, m "
                   "or h).");
        return std::nullopt;
    }
    rule.kind = SplitRule::Kind::Gap;
    rule.nGapSeconds = *gap;
    return rule;
}
