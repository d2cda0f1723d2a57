#include "HttpCaching.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int64_t kLongestAge = int64_t{10} * 365 * 24 * 3600;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<int64_t> CacheControlMaxAge(std::string_view strHeader) {
    std::optional<int64_t> nAge;
    while (!strHeader.empty()) {
        const size_t nComma = strHeader.find(',');
        const std::string_view directive = Trim(strHeader.substr(0, nComma));
        strHeader.remove_prefix(nComma == std::string_view::npos ? strHeader.size() : nComma + 1);
        const size_t nEquals = directive.find('=');
        const std::string_view name = Trim(directive.substr(0, nEquals));
        // Either forbids using a stored answer without asking: it is stale at once.
        if (SameName(name, "no-cache") || SameName(name, "no-store")) return 0;
        if (!SameName(name, "max-age") || nEquals == std::string_view::npos || nAge) continue;
        std::string_view value = Trim(directive.substr(nEquals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.empty()) continue;
        int64_t n = 0;
        bool bDigits = true;
        for (const char c : value) {
            if (c < '0' || c > '9') {
                bDigits = false;
                break;
            }
            n = std::min(kLongestAge, n * 10 + (c - '0'));
        }
        if (bDigits) nAge = n;
    }
    return nAge;
}
