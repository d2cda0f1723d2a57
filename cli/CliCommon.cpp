#include "CliCommon.h"

#include <cstdio>

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

std::optional<int32_t> ResolveTimeZone(const std::string& strZone) {
    if (strZone.empty()) return TimeZoneOffsetAt(kDefaultTimeZoneIndex);
    const std::optional<int32_t> offset = ParseTimeZoneText(strZone);
    if (!offset) {
        PrintError("Unknown time zone \"" + strZone +
                   "\" (use a list text such as GMT+8:00 or GMT-3:30, UTC, or +H[:MM]).");
    }
    return offset;
}

namespace {

bool TakeNumber(std::string_view& s, size_t nDigits, unsigned& value) {
    if (s.size() < nDigits) return false;
    value = 0;
    for (size_t i = 0; i < nDigits; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + static_cast<unsigned>(s[i] - '0');
    }
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
