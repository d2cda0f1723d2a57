#pragma once

// The application: runs the main window modally; the program ends when the window does.
class CQuorvelApp {
  public:
    // Returns false: there is no message loop beyond the window's own.
    bool InitInstance();
};
