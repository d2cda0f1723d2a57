#include <windows.h>

#include "WideText.h"

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
