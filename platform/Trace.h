#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Debug traces: on when QUORVEL_TRACE=1 (and, on Windows, when a debugger is attached). A line
// goes to standard error, and on Windows to the debugger too.
bool TraceEnabled();
void TraceLine(std::string_view text);
// "<time> <port> <what> <n>: XX XX ..." for the bytes that crossed a serial line.
void TraceBytes(std::string_view strPort, const char* pszWhat, const uint8_t* pBytes,
                size_t nBytes);
