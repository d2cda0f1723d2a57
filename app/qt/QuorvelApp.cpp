#include "QuorvelApp.h"

#include "QtSettingsStore.h"
#include "QuorvelWindow.h"
#include "app/QuorvelDlg.h"

bool CQuorvelApp::InitInstance() {
    QuorvelWindow window;
    QtSettingsStore settings;
    CQuorvelDlg dlg(window);
    dlg.SetSettingsStore(&settings);
    dlg.SetStartupFile(m_strStartupFile);
    window.SetHandler(&dlg);
    window.SetLoadedTrackSource([&dlg] { return dlg.m_RawLog.m_pRawData; });
    (void)window.RunModal();
    // The close steps have stopped everything the window started; nothing queued reaches the logic
    // any more, which goes (stopping a worker still running) before the window.
    window.SetHandler(nullptr);
    return false;
}
