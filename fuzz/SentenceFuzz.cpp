// Sentence framing with settings texts of any length and any characters, typed as UTF-8 (the
// command line) or as raw UTF-16 units (the window's edits). A framed sentence is always the
// body's 8-bit form, a tail with the body's checksum, and CR LF, within the frame's room; anything
// longer, or with a character that must not or cannot go on the line, is refused whole.

#include <cstdio>
#include <string>

#include "FuzzInput.h"
#include "protocol/CommandSentence.h"

namespace {

void CheckFramed(std::u16string_view body) {
    std::string strBytes = "untouched";
    const SentenceStatus status = FrameSentence(body, strBytes);
    if (status != SentenceStatus::Ok) {
        FUZZ_CHECK(strBytes == "untouched");
        FUZZ_CHECK(std::string_view(SentenceStatusMessage(status)).size() > 0);
        // Refused only for its length or a character that may not or cannot go on the line.
        bool bRefusable = body.size() > kMaxSentenceBody;
        for (char16_t c : body) bRefusable |= CheckSentenceCharacter(c) != SentenceStatus::Ok;
        FUZZ_CHECK(bRefusable);
        return;
    }
    FUZZ_CHECK(body.size() <= kMaxSentenceBody);
    FUZZ_CHECK(strBytes.size() + 1 <= kMaxSentenceBytes);
    const std::string strBody = ToAnsi(body);
    FUZZ_CHECK(strBytes.size() == strBody.size() + 6);
    FUZZ_CHECK(strBytes.compare(0, strBody.size(), strBody) == 0);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X!\r\n", SentenceChecksum(body));
    FUZZ_CHECK(strBytes.compare(strBody.size(), 6, tail) == 0);
    // Nothing in the sentence but its own line end can end a line on the logger's side.
    FUZZ_CHECK(strBytes.find_first_of("\r\n") == strBody.size() + 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    FuzzInput in(pData, nSize);
    const bool bGpsAlwaysOn = (in.Byte() & 1) != 0;
    const std::string_view interval = in.Field();
    const std::string_view distance = in.Field();

    const std::u16string interval16 = Utf8ToUtf16(interval);
    const std::u16string distance16 = Utf8ToUtf16(distance);
    // UTF-8 survives the trip through UTF-16 whenever it was valid to begin with.
    if (interval16.find(u'\xFFFD') == std::u16string::npos) {
        FUZZ_CHECK(Utf16ToUtf8(interval16) == interval);
    }
    CheckFramed(ConfigWriteSentenceBody(bGpsAlwaysOn, interval16, distance16));

    // The rest as UTF-16 units, lone surrogates and all.
    const std::span<const uint8_t> rest = in.Rest();
    std::u16string units;
    for (size_t i = 0; i + 1 < rest.size(); i += 2) {
        units += static_cast<char16_t>(rest[i] | (rest[i + 1] << 8));
    }
    CheckFramed(units);
    CheckFramed(ConfigWriteSentenceBody(!bGpsAlwaysOn, units, interval16));
    // Latin-1 text goes to 8 bits and back unchanged.
    const std::string strAnsi = ToAnsi(units);
    FUZZ_CHECK(ToAnsi(FromAnsi(strAnsi)) == strAnsi);
    FUZZ_CHECK(!AnsiToUtf8(strAnsi).empty() || strAnsi.empty());
    return 0;
}
