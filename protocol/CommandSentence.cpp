#include "CommandSentence.h"

#include <cstdio>

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

const char* SentenceStatusMessage(SentenceStatus status) {
    switch (status) {
        case SentenceStatus::Ok:
            return "";
        case SentenceStatus::TooLong:
            return "The command is too long for the logger: the interval and distance texts may "
                   "hold at most 213 characters together. Nothing was sent.";
        case SentenceStatus::ControlCharacter:
            return "The command holds a control character, which could start a second command. "
                   "Nothing was sent.";
        case SentenceStatus::NotSendable:
            return "The command holds a character that the logger's line cannot carry. Nothing "
                   "was sent.";
    }
    return "";
}

SentenceStatus CheckSentenceCharacter(char16_t c) {
    if (c < 0x20 || c == 0x7F) return SentenceStatus::ControlCharacter;
    return IsAnsiRepresentable(c) ? SentenceStatus::Ok : SentenceStatus::NotSendable;
}

std::string SettingsValueProblem(std::u16string_view value, const char* pszWhat) {
    for (size_t i = 0; i < value.size(); ++i) {
        const SentenceStatus status = CheckSentenceCharacter(value[i]);
        if (status == SentenceStatus::Ok) continue;
        char code[48];
        std::snprintf(code, sizeof code, "U+%04X at character %zu", static_cast<unsigned>(value[i]),
                      i + 1);
        std::string strText = std::string("The ") + pszWhat + " holds ";
        if (status == SentenceStatus::ControlCharacter) {
            strText += std::string("a control character (") + code +
                       "), which could end the command and start another.";
        } else {
            // A surrogate pair is one character to the user.
            const size_t nUnits =
                (value[i] >= 0xD800 && value[i] <= 0xDBFF && i + 1 < value.size()) ? 2 : 1;
            strText += "\"" + Utf16ToUtf8(value.substr(i, nUnits)) + "\" (" + code +
                       "), which the logger's line cannot carry as itself.";
        }
        return strText + " Nothing was sent.";
    }
    return {};
}

SentenceStatus FrameSentence(std::u16string_view body, std::string& strBytes) {
    if (body.size() > kMaxSentenceBody) return SentenceStatus::TooLong;
    for (char16_t c : body) {
        const SentenceStatus status = CheckSentenceCharacter(c);
        if (status != SentenceStatus::Ok) return status;
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
