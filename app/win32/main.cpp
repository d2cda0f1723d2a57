#include <windows.h>

#include "QuorvelApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    CQuorvelApp app(hInstance);
    static_cast<void>(app.InitInstance());
    return 0;
}
