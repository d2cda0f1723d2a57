// A GPX file as any device or download may hand it over, read in two pieces split anywhere: the
// pieces read as the whole does, and every point taken lies on the earth.

#include <cmath>

#include "FuzzInput.h"
#include "geotag/GpxTrack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    FuzzInput in(pData, nSize);
    const size_t nSplit = in.Byte();
    const std::span<const uint8_t> rest = in.Rest();
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());

    GpxReader whole;
    const bool bWhole = whole.Feed(text, true);
    GpxReader pieces;
    const size_t nAt = std::min(nSplit, text.size());
    const bool bPieces =
        pieces.Feed(text.substr(0, nAt), false) && pieces.Feed(text.substr(nAt), true);
    FUZZ_CHECK(bWhole == bPieces);
    FUZZ_CHECK(bWhole == whole.Error().empty());
    FUZZ_CHECK(whole.Points().size() == pieces.Points().size());
    for (size_t i = 0; i < whole.Points().size(); ++i) {
        const GpxPoint& p = whole.Points()[i];
        const GpxPoint& q = pieces.Points()[i];
        FUZZ_CHECK(p.nTime == q.nTime && p.dLatitude == q.dLatitude &&
                   p.dLongitude == q.dLongitude && p.dAltitude == q.dAltitude);
        FUZZ_CHECK(std::fabs(p.dLatitude) <= 90.0 && std::fabs(p.dLongitude) <= 180.0);
        FUZZ_CHECK(std::isfinite(p.dAltitude));
    }
    return 0;
}
