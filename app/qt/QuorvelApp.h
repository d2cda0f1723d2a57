#pragma once

// The application: runs the main window modally; the program ends when the window does.
#include <string>

class CQuorvelApp {
  public:
    // Returns false: there is no message loop beyond the window's own.
    bool InitInstance();

    // A raw log named on the command line, opened once the window is up.
    std::string m_strStartupFile;
};
