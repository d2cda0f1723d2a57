#include "RecordSelection.h"

#include <utility>

#include <cstdint>
#include <limits>

int32_t ParseRecordLimit(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        bNegative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kCap) value = kCap;
    }
    if (bNegative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

void OrderBounds(RecordSelection& selection) {
    if (selection.nSelectMode == kSelectByTime && selection.dwFromTime > selection.dwToTime) {
        std::swap(selection.dwFromTime, selection.dwToTime);
    }
}
