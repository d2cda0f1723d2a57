#pragma once

// Compiled zone files (TZif, RFC 8536): what /etc/localtime and the files of /usr/share/zoneinfo
// hold. The bytes come from outside, so any of them may be damaged or hostile.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ZoneRules.h"

// The rules a zone file states: its listed changes, and the TZ rule of its footer for the time
// after the last one. Versions 1 to 4 are read; leap-second records are skipped. Null when the
// bytes are not a sound zone file. The rules answer any time within about ±2^61 seconds.
std::shared_ptr<const ZoneRules> ParseZoneFile(std::string_view bytes);

// The bytes of a file no larger than any zone file; nothing when it cannot be read or is larger.
std::optional<std::string> ReadZoneFileBytes(const std::filesystem::path& path);
