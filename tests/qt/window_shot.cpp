#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/qt/QuorvelWindow.h"
#include "app/qt/TrackViewWindow.h"

// quorvel_window_shot <window.png> [raw.dlg [track-view.png]]
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) return 2;
    QuorvelWindow window;
    CQuorvelDlg dlg(window);
    window.SetHandler(&dlg);
    window.Start();
    if (argc >= 3) {
        // A raw log to show loaded, for a look at the labels.
        (void)dlg.OpenRawLogPath(argv[2]);
    }
    if (argc >= 4) dlg.OnTrackView();
    int nResult = 1;
    // Grab once the windows have been laid out and painted.
    QTimer::singleShot(1500, &window, [&] {
        nResult = window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        if (argc >= 4 && window.TrackView()) {
            if (!window.TrackView()->grab().save(QString::fromLocal8Bit(argv[3]))) nResult = 1;
        }
        window.EndDialog(0);
        application.quit();
    });
    application.exec();
    window.SetHandler(nullptr);
    return nResult;
}
