#pragma once

#include <string>
#include <string_view>

// Text conversions. The program's own text is UTF-8; the logger's line carries 8-bit text in the
// system's ANSI code page (the system's code page on Windows, ISO-8859-1 elsewhere).

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-16 to the ANSI code page. A character the code page cannot show becomes the code page's
// substitute ('?'); use IsAnsiRepresentable to refuse such text instead.
std::string ToAnsi(std::u16string_view text);
// The ANSI code page to UTF-16.
std::u16string FromAnsi(std::string_view text);
// Whether every character of the text goes out in the ANSI code page as itself.
bool IsAnsiRepresentable(char16_t c);
// ANSI bytes (a received line) as UTF-8, for a window or a terminal.
std::string AnsiToUtf8(std::string_view text);

#ifdef _WIN32
// UTF-8 to the UTF-16 of the wide Win32 calls and back.
std::wstring WidenUtf8(std::string_view text);
std::string NarrowToUtf8(std::wstring_view text);
#endif
