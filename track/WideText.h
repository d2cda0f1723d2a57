#pragma once

#include <string>
#include <string_view>

// UTF-8 (the program's text) to and from UTF-16 (the wide Win32 calls). Windows only. Invalid
// sequences become U+FFFD; an empty result means empty input.
std::wstring WidenUtf8(std::string_view text);
std::string NarrowToUtf8(std::wstring_view text);
