#include <string>

#include "PortEnumeration.h"

namespace {

template <typename Char>
std::optional<std::string> PortNameFrom(std::basic_string_view<Char> name) {
    static constexpr Char kOpen[] = {'(', 'C', 'O', 'M', 0};
    const size_t nOpen = name.find(kOpen);
    if (nOpen == std::basic_string_view<Char>::npos) return std::nullopt;
    const size_t nClose = name.find(Char(')'), nOpen);
    if (nClose == std::basic_string_view<Char>::npos) return std::nullopt;
    std::string port;
    for (const Char c : name.substr(nOpen + 1, nClose - nOpen - 1)) {
        // Port names are ASCII; anything else cannot be opened by name and shows as '?'.
        port += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    return port;
}

}  // namespace

std::optional<std::string> PortNameFromFriendlyName(std::wstring_view friendlyName) {
    return PortNameFrom(friendlyName);
}

std::optional<std::string> PortNameFromFriendlyName(std::string_view friendlyName) {
    return PortNameFrom(friendlyName);
}
