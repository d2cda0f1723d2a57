#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Text.h"

// Requests to the logger are single lines of 8-bit text: a body, the tail "*XX!" carrying the XOR
// of the body's characters as two uppercase hex digits, and CR LF. The body is built as UTF-16 so
// that the checksum covers the low byte of each unit, whatever the conversion to 8-bit text makes
// of characters outside Latin-1.

// Room of the sentence buffer in UTF-16 units, terminator included.
inline constexpr size_t kSentenceCapacity = 256;
// Longest body that still leaves room for the tail (4), CR LF (2) and the terminator (1).
inline constexpr size_t kMaxSentenceBody = kSentenceCapacity - 7;
// Room for the converted 8-bit text.
inline constexpr size_t kMaxSentenceBytes = 260;

inline constexpr std::u16string_view kDeviceIdentity = u"VendrimaxQM-518";
inline constexpr std::u16string_view kCommandDownload = u"LB";
inline constexpr std::u16string_view kCommandErase = u"LC";

// XOR of the low 8 bits of every unit of the body.
uint8_t SentenceChecksum(std::u16string_view body);

// Writes "*XX!" and a new terminator over the terminator of the zero-terminated body in pBuffer.
// The tail is given capacity - length - 1 units of room; returns the characters written (4), or
// 0 when the tail does not fit (the buffer is then left as it was).
size_t AppendChecksum(char16_t* pBuffer, size_t nCapacity);

enum class SentenceStatus {
    Ok,
    TooLong,           // the body (or its 8-bit form) does not fit the sentence's frame
    ControlCharacter,  // a character below 0x20 or 0x7F: it could end the line and start another
    NotSendable,       // a character the line's code page cannot carry as itself
};

// The message for a refused sentence; empty for Ok.
const char* SentenceStatusMessage(SentenceStatus status);

// Whether a character may travel inside a sentence: no control character, and one byte of the
// line's code page that stands for this very character.
SentenceStatus CheckSentenceCharacter(char16_t c);

// Why a value typed for a setting cannot be sent, naming it (pszWhat, "interval") and the
// offending character; empty when it can.
std::string SettingsValueProblem(std::u16string_view value, const char* pszWhat);

// Frames a body into the bytes that go on the line: body, tail, CR LF. Nothing is produced when
// the body is too long or holds a character that must not or cannot go on the line.
[[nodiscard]] SentenceStatus FrameSentence(std::u16string_view body, std::string& strBytes);

// The bodies of the four requests.
std::u16string DownloadSentenceBody();
std::u16string EraseSentenceBody();
std::u16string ConfigQuerySentenceBody();
std::u16string ConfigWriteSentenceBody(bool bGpsAlwaysOn, std::u16string_view interval,
                                       std::u16string_view distance);
