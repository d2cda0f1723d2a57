#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "track/Calendar.h"
#include "track/RawLog.h"
#include "track/RecordFilter.h"
#include "track/TimeZone.h"
#include "track/TrackParts.h"

// The zone a command was given, or the system's own. Prints the error itself.
std::optional<TimeZone> ResolveTimeZone(const std::string& strZone);

// A length of time: "90" or "90s" seconds, "30m" minutes, "2h" hours. Nothing for other text.
std::optional<uint32_t> ParseDurationSeconds(std::string_view text);

// "YYYY-MM-DD HH:MM:SS" (a "T" may stand for the blank; seconds may be left out).
std::optional<LogDateTime> ParseLogDateTime(std::string_view text);

// Loads a raw log for a command; prints the reason and returns false when it cannot.
[[nodiscard]] bool LoadRawLogForCommand(const std::string& strPath, RawLogImage& image);

// Error line on standard error: the program name and the message.
void PrintError(const std::string& strMessage);

// The options that keep bad fixes out, as every command that writes or sums up a track takes them.
struct FilterOptions {
    uint32_t nMinSatellites = 0;
    double dMaxHdop = -1.0;
    double dMaxSpeedKmh = 0.0;
    RecordFilter Filter() const;
};
void AddFilterOptions(CLI::App& app, FilterOptions& options);

// "day" or "gap=DURATION" ("gap=30m"). Prints the error itself.
std::optional<SplitRule> ResolveSplitRule(const std::string& strText);
