#include <windows.h>

#include "CommandSentence.h"

// Windows: sentences go out, and lines come in, in the system's ANSI code page.

std::string ToAnsi(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* pWide = reinterpret_cast<const wchar_t*>(text.data());
    const int nIn = static_cast<int>(text.size());
    // Flags 0 and the code page's own substitute for what it cannot show.
    const int nOut = ::WideCharToMultiByte(CP_ACP, 0, pWide, nIn, nullptr, 0, nullptr, nullptr);
    if (nOut <= 0) return {};
    std::string out(static_cast<size_t>(nOut), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, pWide, nIn, out.data(), nOut, nullptr, nullptr);
    return out;
}

std::u16string FromAnsi(std::string_view text) {
    if (text.empty()) return {};
    const int nIn = static_cast<int>(text.size());
    const int nOut = ::MultiByteToWideChar(CP_ACP, 0, text.data(), nIn, nullptr, 0);
    if (nOut <= 0) return {};
    std::u16string out(static_cast<size_t>(nOut), u'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), nIn, reinterpret_cast<wchar_t*>(out.data()),
                          nOut);
    return out;
}
