#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The window's side of a view: what the view calls when the platform reports something. All calls
// come on the window's thread.
class DialogHandler {
  public:
    virtual ~DialogHandler() = default;

    // Once, after every control exists and before the user can act.
    virtual bool OnInitDialog() = 0;
    // A click on a button, or IDOK for the Enter key. False when the window has no handler for it.
    virtual bool OnCommand(int nId) = 0;
    // A window-menu command. False when the platform's default handling should run.
    virtual bool OnSysCommand(unsigned nId, uint32_t lParam) = 0;
    // Close button, Alt+F4, the window menu's Close and Escape.
    virtual void OnClose() = 0;
    // The user changed a value: a picker, an edit, a combo box's text or selection.
    virtual void OnControlChange(int /*nId*/) {}
    // Files dropped on the window, by full path.
    virtual void OnDropFiles(const std::vector<std::string>& /*paths*/) {}
    // Every posted window message. Returns whether it was handled, the result in *pResult.
    virtual bool OnWndMsg(uint32_t nMessage, uint32_t wParam, uint32_t lParam,
                          intptr_t* pResult) = 0;
};
