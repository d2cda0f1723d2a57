#include "Text.h"

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// One UTF-8 sequence at text[i]: the code point (U+FFFD when invalid) and its length.
char32_t DecodeUtf8(std::string_view text, size_t i, size_t& nLen) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    nLen = 1;
    if (b0 < 0x80) return b0;
    size_t nNeed = 0;
    char32_t c = 0;
    char32_t nMin = 0;
    if ((b0 & 0xE0) == 0xC0) {
        nNeed = 1, c = b0 & 0x1F, nMin = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        nNeed = 2, c = b0 & 0x0F, nMin = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        nNeed = 3, c = b0 & 0x07, nMin = 0x10000;
    } else {
        return 0xFFFD;
    }
    for (size_t k = 1; k <= nNeed; ++k) {
        if (i + k >= text.size()) return 0xFFFD;
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < nMin || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
    nLen = nNeed + 1;
    return c;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t nLen = 1;
        char32_t c = DecodeUtf8(text, i, nLen);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += nLen;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view text) {
    return Utf16ToUtf8(FromAnsi(text));
}

#ifndef _WIN32  // Windows converts with the system's code page (TextWin32.cpp)

std::string ToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c <= 0xFF) {
            out.push_back(static_cast<char>(c));
        } else {
            if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
            out.push_back('?');
        }
    }
    return out;
}

std::u16string FromAnsi(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

bool IsAnsiRepresentable(char16_t c) {
    return c <= 0xFF;
}

#endif
