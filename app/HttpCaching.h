#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The seconds a server lets its answer be used without asking again, from the Cache-Control
// header's value: its max-age, 0 when it says no-cache or no-store, nothing when it says neither
// (then an Expires header, or the fetcher's own rule, decides). Ages beyond ten years count as ten.
std::optional<int64_t> CacheControlMaxAge(std::string_view strHeader);
