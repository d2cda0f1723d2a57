#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string_view>

#include "QuorvelApp.h"
#include "QuorvelVersion.h"
#include "platform/File.h"

int main(int argc, char* argv[]) {
    OpenClosedStandardStreams();
    // Answered on the terminal before Qt starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("quorvel %s\n", kQuorvelVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "Usage: quorvel [Qt options] [raw-log.dlg]\n"
                "The Quorvel window: download, erase and configure a GPS track logger on a serial\n"
                "port, and translate its raw logs (.dlg) into KML or CSV. A raw log named here is\n"
                "opened at start.\n\n"
                "Options:\n"
                "  -h, --help     Show this help and exit\n"
                "  --version      Show the version and exit\n");
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION_STRING));
    // Lets a Wayland desktop match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvel/quorvel.png")));
    CQuorvelApp app;
    // What Qt left of the arguments: the first that is no option is a raw log to open.
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].startsWith(QLatin1Char('-'))) continue;
        app.m_strStartupFile = arguments[i].toStdString();
        break;
    }
    (void)app.InitInstance();
    return 0;
}
