// A tile server's Cache-Control header: whatever it says gives no age or one within ten years,
// and a max-age written out reads back as written.

#include <string>

#include "FuzzInput.h"
#include "app/HttpCaching.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string_view text(reinterpret_cast<const char*>(pData), nSize);
    if (const std::optional<int64_t> nAge = CacheControlMaxAge(text))
        FUZZ_CHECK(*nAge >= 0 && *nAge <= int64_t{10} * 365 * 24 * 3600);
    const int64_t nSeconds = static_cast<int64_t>(nSize) * 1000;
    FUZZ_CHECK(CacheControlMaxAge("public, max-age=" + std::to_string(nSeconds)) == nSeconds);
    return 0;
}
