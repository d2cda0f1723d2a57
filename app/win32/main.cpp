#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>

#include "QuorvelApp.h"
#include "QuorvelVersion.h"
#include "platform/Text.h"

namespace {

// A window program has no console of its own: the version goes to a redirected standard output,
// else to the console it was started from, else into a box.
void ShowVersion() {
    const std::string line = std::string("quorvel ") + kQuorvelVersion + "\r\n";
    HANDLE hOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if ((hOut == nullptr || hOut == INVALID_HANDLE_VALUE) &&
        ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        hOut = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    }
    DWORD nWritten = 0;
    if (hOut != nullptr && hOut != INVALID_HANDLE_VALUE &&
        ::WriteFile(hOut, line.data(), static_cast<DWORD>(line.size()), &nWritten, nullptr)) {
        return;
    }
    ::MessageBoxW(nullptr, L"Quorvel " QUORVEL_VERSION_STRING, L"Quorvel",
                  MB_OK | MB_ICONINFORMATION);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR pszCommandLine, int) {
    std::string_view arguments = pszCommandLine != nullptr ? pszCommandLine : "";
    while (!arguments.empty() && arguments.front() == ' ') arguments.remove_prefix(1);
    while (!arguments.empty() && arguments.back() == ' ') arguments.remove_suffix(1);
    if (arguments == "--version") {
        ShowVersion();
        return 0;
    }
    CQuorvelApp app(hInstance);
    // "quorvel track.dlg": the file opens at start. The UTF-16 command line keeps any name intact.
    int nArgs = 0;
    if (LPWSTR* pArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs)) {
        if (nArgs >= 2) app.m_strStartupFile = NarrowToUtf8(pArgs[1]);
        ::LocalFree(pArgs);
    }
    static_cast<void>(app.InitInstance());
    return 0;
}
