#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "QtSettingsStore.h"
#include "QuorvelApp.h"
#include "QuorvelVersion.h"
#include "TrackViewWindow.h"
#include "app/MapTiles.h"
#include "platform/File.h"

namespace {

constexpr char kUsage[] = "Usage: quorvel [Qt options] [--tile-url TEMPLATE] [raw-log.dlg]\n";

}  // namespace

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
                "%s"
                "The Quorvel window: download, erase and configure a GPS track logger on a serial\n"
                "port, and translate its raw logs (.dlg) into KML or CSV. A raw log named here is\n"
                "opened at start.\n\n"
                "Options:\n"
                "  --tile-url TEMPLATE  Map tiles for the track view from this server for this\n"
                "                       run, e.g. https://tile.openstreetmap.org/{z}/{x}/{y}.png\n"
                "  -h, --help           Show this help and exit\n"
                "  --version            Show the version and exit\n",
                kUsage);
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
    // What Qt left of the arguments: our options, and the first other argument is a raw log to
    // open. An option nobody knows is refused rather than taken for a file.
    const QStringList arguments = QApplication::arguments();
    std::optional<std::string> strTileUrl;
    bool bOptions = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (bOptions && arg == QStringLiteral("--")) {
            bOptions = false;
        } else if (bOptions && arg == QStringLiteral("--tile-url") && i + 1 < arguments.size()) {
            strTileUrl = arguments[++i].toStdString();
        } else if (bOptions && arg.startsWith(QStringLiteral("--tile-url="))) {
            strTileUrl = arg.mid(11).toStdString();
        } else if (bOptions && arg.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "quorvel: unknown option %s\n%s", arg.toLocal8Bit().constData(),
                         kUsage);
            return 2;
        } else if (app.m_strStartupFile.empty()) {
            app.m_strStartupFile = arg.toStdString();
        }
    }
    MapTileOptions tiles = ReadMapTileOptions(QtSettingsStore());
    if (strTileUrl) {
        tiles.SetUrl(*strTileUrl);
        tiles.bEnabled = true;
    }
    TrackViewWindow::SetDefaultMapOptions(tiles);
    (void)app.InitInstance();
    return 0;
}
