#include "Trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "Text.h"
#endif

bool TraceEnabled() {
    const char* pValue = std::getenv("QUORVEL_TRACE");
    const bool bSwitched = pValue != nullptr && std::strcmp(pValue, "1") == 0;
#ifdef _WIN32
    return bSwitched || ::IsDebuggerPresent();
#else
    return bSwitched;
#endif
}

void TraceLine(std::string_view text) {
    if (!TraceEnabled()) return;
    std::string line(text);
    line += '\n';
#ifdef _WIN32
    ::OutputDebugStringW(WidenUtf8(line).c_str());
#endif
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void TraceBytes(std::string_view strPort, const char* pszWhat, const uint8_t* pBytes,
                size_t nBytes) {
    if (!TraceEnabled()) return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto nMicros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    char head[96];
    std::snprintf(head, sizeof head, "%lld.%06lld ", static_cast<long long>(nMicros / 1000000),
                  static_cast<long long>(nMicros % 1000000));
    std::string line = head;
    line += strPort;
    std::snprintf(head, sizeof head, " %s %zu:", pszWhat, nBytes);
    line += head;
    for (size_t i = 0; i < nBytes; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", pBytes[i]);
        line += hex;
    }
    TraceLine(line);
}
