// Zone files from disk: whatever the bytes, rules that come out give, at any time asked, a span
// that holds it with an offset a zone file can state, and a span after it.

#include <string_view>

#include "FuzzInput.h"
#include "track/ZoneFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string_view bytes(reinterpret_cast<const char*>(pData), nSize);
    const std::shared_ptr<const ZoneRules> pRules = ParseZoneFile(bytes);
    if (!pRules) return 0;
    // Before the record scale, on it, past the files' 2037 and past the scale's end in 2136.
    for (ZoneSeconds t :
         {ZoneSeconds{-4'000'000'000}, ZoneSeconds{-1}, ZoneSeconds{0}, ZoneSeconds{800'000'000},
          ZoneSeconds{1'300'000'000}, ZoneSeconds{0xFFFFFFFF}, ZoneSeconds{20'000'000'000}}) {
        const ZoneSpan span = pRules->SpanAt(t);
        FUZZ_CHECK(span.nBegin <= t && t < span.nEnd && span.nOffset >= -89999 &&
                   span.nOffset <= 93599);
        if (span.nEnd > ZoneSeconds{1} << 40) continue;
        const ZoneSpan next = pRules->SpanAt(span.nEnd);
        FUZZ_CHECK(next.nBegin <= span.nEnd && span.nEnd < next.nEnd);
    }
    return 0;
}
