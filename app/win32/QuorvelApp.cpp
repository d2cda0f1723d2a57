#include "QuorvelApp.h"

#include <commctrl.h>

#include "IniSettingsStore.h"
#include "Win32DialogView.h"
#include "app/QuorvelDlg.h"

bool CQuorvelApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The date and time pickers are outside that set; an application framework registers them
    // for a dialog that holds them, so this program does.
    INITCOMMONCONTROLSEX pickers{sizeof pickers, ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&pickers);

    Win32DialogView view(m_hInstance);
    IniSettingsStore settings;
    CQuorvelDlg dlg(view);
    dlg.SetSettingsStore(&settings);
    dlg.SetStartupFile(m_strStartupFile);
    view.SetHandler(&dlg);
    view.SetLoadedTrackSource([&dlg] { return dlg.m_RawLog.m_pRawData; });
    static_cast<void>(view.RunModal());
    // The close steps have stopped everything the window started.
    view.SetHandler(nullptr);
    return false;
}
