#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "track/Calendar.h"
#include "track/RawLog.h"

// The zone a command was given, or the window's default (GMT+8:00). Prints the error itself.
std::optional<int32_t> ResolveTimeZone(const std::string& strZone);

// "YYYY-MM-DD HH:MM:SS" (a "T" may stand for the blank; seconds may be left out).
std::optional<LogDateTime> ParseLogDateTime(std::string_view text);

// Loads a raw log for a command; prints the reason and returns false when it cannot.
[[nodiscard]] bool LoadRawLogForCommand(const std::string& strPath, RawLogImage& image);

// Error line on standard error: the program name and the message.
void PrintError(const std::string& strMessage);
