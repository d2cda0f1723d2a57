#include "CommandSentence.h"

#include <cstdio>

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

}  // namespace

uint8_t SentenceChecksum(std::u16string_view body) {
    uint8_t nSum = 0;
    for (char16_t c : body) nSum ^= static_cast<uint8_t>(c & 0xFF);
    return nSum;
}

size_t AppendChecksum(char16_t* pBuffer, size_t nCapacity) {
    size_t nLength = 0;
    while (nLength < nCapacity && pBuffer[nLength] != 0) ++nLength;
    if (nLength >= nCapacity) return 0;
    const size_t nRoom = nCapacity - nLength - 1;
    // Four characters and their terminator.
    if (nRoom < 5) return 0;
    const uint8_t nSum = SentenceChecksum(std::u16string_view(pBuffer, nLength));
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X!", nSum);
    for (size_t i = 0; i < 4; ++i) pBuffer[nLength + i] = static_cast<char16_t>(tail[i]);
    pBuffer[nLength + 4] = 0;
    return 4;
}

#ifndef _WIN32  // Windows converts with the system's ANSI code page (AnsiTextWin32.cpp)
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
#endif

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        char32_t c = 0xFFFD;
        size_t nLen = 1;
        if (b0 < 0x80) {
            c = b0;
        } else {
            size_t nNeed = 0;
            char32_t nMin = 0;
            if ((b0 & 0xE0) == 0xC0) {
                nNeed = 1, c = b0 & 0x1F, nMin = 0x80;
            } else if ((b0 & 0xF0) == 0xE0) {
                nNeed = 2, c = b0 & 0x0F, nMin = 0x800;
            } else if ((b0 & 0xF8) == 0xF0) {
                nNeed = 3, c = b0 & 0x07, nMin = 0x10000;
            }
            bool bValid = nNeed > 0;
            for (size_t k = 1; bValid && k <= nNeed; ++k) {
                if (i + k >= text.size()) {
                    bValid = false;
                    break;
                }
                const auto b = static_cast<unsigned char>(text[i + k]);
                if ((b & 0xC0) != 0x80)
                    bValid = false;
                else
                    c = (c << 6) | (b & 0x3F);
            }
            if (bValid && c >= nMin && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
                nLen = nNeed + 1;
            } else {
                c = 0xFFFD;
            }
        }
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
    std::string out;
    out.reserve(text.size());
    for (char c : text) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

const char* SentenceStatusMessage(SentenceStatus status) {
    switch (status) {
        case SentenceStatus::Ok:
            return "";
        case SentenceStatus::TooLong:
            return "The command is too long for the logger: the interval and distance texts may "
                   "hold at most 213 characters together. Nothing was sent.";
    }
    return "";
}

SentenceStatus FrameSentence(std::u16string_view body, std::string& strBytes) {
    if (body.size() > kMaxSentenceBody || body.find(u'\0') != std::u16string_view::npos) {
        return SentenceStatus::TooLong;
    }
    char16_t buffer[kSentenceCapacity] = {};
    body.copy(buffer, body.size());
    if (AppendChecksum(buffer, kSentenceCapacity) != 4) return SentenceStatus::TooLong;
    std::u16string framed(buffer);
    framed += u"\r\n";
    std::string bytes = ToAnsi(framed);
    if (bytes.size() + 1 > kMaxSentenceBytes) return SentenceStatus::TooLong;
    strBytes = std::move(bytes);
    return SentenceStatus::Ok;
}

std::u16string DownloadSentenceBody() {
    return u"VXC," + std::u16string(kDeviceIdentity) + u"," + std::u16string(kCommandDownload);
}

std::u16string EraseSentenceBody() {
    return u"VXC," + std::u16string(kDeviceIdentity) + u"," + std::u16string(kCommandErase);
}

std::u16string ConfigQuerySentenceBody() {
    return u"VXC," + std::u16string(kDeviceIdentity) + u",L1(C0,O2,OH)";
}

std::u16string ConfigWriteSentenceBody(bool bGpsAlwaysOn, std::u16string_view interval,
                                       std::u16string_view distance) {
    std::u16string body = u"VXS," + std::u16string(kDeviceIdentity) + u",3,0,C0=";
    body += bGpsAlwaysOn ? u"1" : u"0";
    body += u",O2=";
    body += interval;
    body += u",OH=";
    body += distance;
    return body;
}
