// A photo's time texts as any file may hold them: whatever reads is in range and reads back the
// same from its own text, and the instant is the clock time less the offset the photo states.

#include <cstdio>
#include <string>

#include "FuzzInput.h"
#include "geotag/PhotoTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    FuzzInput in(pData, nSize);
    PhotoTimeTags tags;
    tags.strDateTime = in.Field();
    tags.strSubSeconds = in.Field();
    tags.strOffset = in.Field();
    const std::string_view cameraOffset = in.Field();

    const std::optional<LogDateTime> dt = ParseExifDateTime(tags.strDateTime);
    if (dt) {
        FUZZ_CHECK(dt->wYear >= 1 && dt->bMonth >= 1 && dt->bMonth <= 12 && dt->bDay >= 1);
        FUZZ_CHECK(dt->bHour < 24 && dt->bMinute < 60 && dt->bSecond < 60);
        char szText[32];
        std::snprintf(szText, sizeof szText, "%04u:%02u:%02u %02u:%02u:%02u", unsigned{dt->wYear},
                      unsigned{dt->bMonth}, unsigned{dt->bDay}, unsigned{dt->bHour},
                      unsigned{dt->bMinute}, unsigned{dt->bSecond});
        FUZZ_CHECK(ParseExifDateTime(szText) == dt);
    }
    const std::optional<uint16_t> millis = ParseSubSeconds(tags.strSubSeconds);
    FUZZ_CHECK(!millis || *millis < 1000);
    const std::optional<int32_t> offset = ParseExifOffset(tags.strOffset);
    FUZZ_CHECK(!offset || (*offset % 60 == 0 && *offset >= -14 * 3600 && *offset <= 14 * 3600));
    const std::optional<int32_t> camera = ParseCameraOffset(cameraOffset);
    FUZZ_CHECK(!camera || (*camera >= -359999 && *camera <= 359999));

    const std::optional<UtcMillis> instant =
        PhotoInstant(tags, TimeZone::Fixed(3600), camera.value_or(0));
    FUZZ_CHECK(instant.has_value() == dt.has_value());
    if (instant) {
        const int64_t nLocal = LocalSecondsOf(*dt) - offset.value_or(3600);
        FUZZ_CHECK(*instant == (nLocal - camera.value_or(0)) * 1000 + millis.value_or(0));
        FUZZ_CHECK(!FormatUtcMillis(*instant).empty());
    }
    return 0;
}
