#include <windows.h>

#include "Text.h"

// Windows: the logger's text in the system's ANSI code page; paths and window text in UTF-16.

std::string ToAnsi(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* pWide = reinterpret_cast<const wchar_t*>(text.data());
    const int nIn = static_cast<int>(text.size());
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

bool IsAnsiRepresentable(char16_t c) {
    // One byte out and the same character back: anything else would travel as a substitute, a
    // "best fit" look-alike or more than one byte.
    const wchar_t wide = static_cast<wchar_t>(c);
    char bytes[8];
    BOOL bDefaultUsed = FALSE;
    const int nOut = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes,
                                           sizeof bytes, nullptr, &bDefaultUsed);
    if (nOut != 1 || bDefaultUsed) return false;
    wchar_t back = 0;
    return ::MultiByteToWideChar(CP_ACP, 0, bytes, 1, &back, 1) == 1 && back == wide;
}

std::wstring WidenUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int nIn = static_cast<int>(text.size());
    const int nOut = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), nIn, nullptr, 0);
    if (nOut <= 0) return {};
    std::wstring out(static_cast<size_t>(nOut), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), nIn, out.data(), nOut);
    return out;
}

std::string NarrowToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int nIn = static_cast<int>(text.size());
    const int nOut =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), nIn, nullptr, 0, nullptr, nullptr);
    if (nOut <= 0) return {};
    std::string out(static_cast<size_t>(nOut), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), nIn, out.data(), nOut, nullptr, nullptr);
    return out;
}
