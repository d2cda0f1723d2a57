#include "RecordSelection.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "Digits.h"

int32_t ParseRecordLimit(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        bNegative = text[i] == '-';
        ++i;
    }
    constexpr uint64_t kCap = uint64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = static_cast<int64_t>(ReadDigits(text, i, kCap).nValue);
    if (bNegative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

RecordSelection MakeSelection(int32_t nSelectMode, uint32_t dwFromTime, uint32_t dwToTime,
                              std::string_view recordsText, bool bDropNoFix,
                              const RecordFilter& filter) {
    RecordSelection selection;
    selection.nSelectMode = nSelectMode;
    selection.dwFromTime = dwFromTime;
    selection.dwToTime = dwToTime;
    OrderBounds(selection);
    selection.nLimit = ParseRecordLimit(recordsText);
    selection.bDropNoFix = bDropNoFix;
    selection.filter = filter;
    return selection;
}

void OrderBounds(RecordSelection& selection) {
    if (selection.nSelectMode == kSelectByTime && selection.dwFromTime > selection.dwToTime) {
        std::swap(selection.dwFromTime, selection.dwToTime);
    }
}
