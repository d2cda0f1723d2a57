#pragma once

#include <windows.h>

#include <string>

// The application: starts the common controls and runs the main window modally; the program ends
// when the window does.
class CQuorvelApp {
  public:
    explicit CQuorvelApp(HINSTANCE hInstance) : m_hInstance(hInstance) {}
    // Returns false: there is no message loop beyond the window's own.
    bool InitInstance();

    // A raw log named on the command line, opened once the window is up.
    std::string m_strStartupFile;

  private:
    HINSTANCE m_hInstance;
};
