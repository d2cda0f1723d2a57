// Finds a top-level window by its exact title, waiting up to the given seconds, and asks it to
// close as its close button would. Exit status 0 when the window was found and asked.
// Usage: close_window <title> [seconds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Text.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: close_window <title> [seconds]\n", stderr);
        return 2;
    }
    const std::wstring title = WidenUtf8(argv[1]);
    const int nSeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    for (int i = 0; i < nSeconds * 10; ++i) {
        if (const HWND hWnd = ::FindWindowW(nullptr, title.c_str())) {
            std::printf("found the window after %d ms\n", i * 100);
            ::PostMessageW(hWnd, WM_CLOSE, 0, 0);
            return 0;
        }
        ::Sleep(100);
    }
    std::fprintf(stderr, "no window titled \"%s\"\n", argv[1]);
    return 1;
}
