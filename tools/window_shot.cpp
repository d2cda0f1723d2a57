// Saves a picture of the window, optionally with a raw log loaded, for the README and reviews:
// window_shot picture.png [log.dlg] (under xvfb-run where there is no display).
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/qt/QuorvelWindow.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) return 2;
    QuorvelWindow window;
    CQuorvelDlg dlg(window);
    window.SetHandler(&dlg);
    window.Start();
    if (argc >= 3) {
        // A raw log to show loaded, for a look at the labels.
        window.SetControlText(IDC_RAW_PATH, argv[2]);
        (void)dlg.LoadRawLogFile();
    }
    int nResult = 1;
    // Grab once the window has been laid out and painted.
    QTimer::singleShot(500, &window, [&] {
        nResult = window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        window.EndDialog(0);
        application.quit();
    });
    application.exec();
    window.SetHandler(nullptr);
    return nResult;
}
