#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "track/Calendar.h"
#include "track/RawLog.h"
#include "track/TimeZone.h"

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
