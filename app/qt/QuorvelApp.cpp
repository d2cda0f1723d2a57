#include "QuorvelApp.h"

#include "QuorvelWindow.h"
#include "app/QuorvelDlg.h"

bool CQuorvelApp::InitInstance() {
    QuorvelWindow window;
    CQuorvelDlg dlg(window);
    window.SetHandler(&dlg);
    (void)window.RunModal();
    // The close steps have stopped everything the window started; the window goes before its logic.
    window.SetHandler(nullptr);
    return false;
}
