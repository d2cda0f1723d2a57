// The track view's map through the real window under the offscreen platform: tiles from a tile
// server on 127.0.0.1 land where web-mercator puts them under the track, come back from the disk
// cache when the server is gone, and a failing server leaves a responsive view with a grid and
// its reason; the pointer's readout and the legend in words; the program refuses an unknown
// option. Where a tile or a pixel should be is worked out here from the standard formulas.
#include <QBuffer>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <QtWidgets>
#include <cmath>
#include <memory>

#include "app/qt/TrackViewWindow.h"
#include "tests/common/TrackPictures.h"

namespace {

// A tile's colour tells which it is: red 12 per zoom level, green its x, blue its y (mod 256).
QColor TileColor(int z, int x, int y) {
    return QColor(z * 12, x & 255, y & 255);
}

// Serves {z}/{x}/{y}.png tiles of one colour each, or fails as told.
class TileServer : public QObject {
  public:
    enum class Mode { Tiles, Error500, BrokenPng, Stall };
    explicit TileServer(Mode mode) : m_mode(mode) {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* pSocket = m_server.nextPendingConnection()) {
                QObject::connect(pSocket, &QTcpSocket::readyRead, pSocket,
                                 [this, pSocket] { Answer(pSocket); });
            }
        });
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }
    QString Url() const {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(m_server.serverPort());
    }
    void Stop() { m_server.close(); }
    int m_nServed = 0;

  private:
    void Answer(QTcpSocket* pSocket) {
        const QByteArray request = pSocket->readAll();
        if (m_mode == Mode::Stall) return;
        const QList<QByteArray> parts = request.split(' ').value(1).replace(".png", "").split('/');
        QByteArray body = "not a picture";
        if (m_mode == Mode::Tiles && parts.size() == 4) {
            QImage tile(256, 256, QImage::Format_RGB32);
            tile.fill(TileColor(parts[1].toInt(), parts[2].toInt(), parts[3].toInt()));
            QBuffer buffer(&body);
            body.clear();
            buffer.open(QIODevice::WriteOnly);
            tile.save(&buffer, "PNG");
        }
        const QByteArray status = m_mode == Mode::Error500 ? "500 Server Error" : "200 OK";
        pSocket->write("HTTP/1.1 " + status + "\r\nContent-Type: image/png\r\nContent-Length: " +
                       QByteArray::number(body.size()) +
                       "\r\nCache-Control: max-age=86400\r\n\r\n" + body);
        ++m_nServed;
    }
    Mode m_mode;
    QTcpServer m_server;
};

std::shared_ptr<const RawLogImage> Image(const std::vector<FixRecord>& records) {
    auto pData = std::make_unique<uint8_t[]>(records.size() * kFixRecordSize);
    for (size_t i = 0; i < records.size(); ++i)
        EncodeFixRecord(records[i], pData.get() + i * kFixRecordSize);
    return std::make_shared<const RawLogImage>(std::move(pData), uint32_t(records.size()));
}

bool HasText(const TrackViewWindow& view, const QString& text) {
    for (const PlotItem& item : view.Items()) {
        if (item.shape == PlotShape::Text && QString::fromStdString(item.strText).contains(text))
            return true;
    }
    return false;
}

double WorldX(double lon) {
    return (lon + 180) / 360;
}
double WorldY(double lat) {
    const double phi = lat * M_PI / 180;
    return (1 - std::log(std::tan(phi) + 1 / std::cos(phi)) / M_PI) / 2;
}

// Two fixes, south-west and north-east, over Zurich.
constexpr double kLatA = 47.36, kLonA = 8.52, kLatB = 47.39, kLonB = 8.56;

}  // namespace

class MapTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_pCache;

    std::unique_ptr<TrackViewWindow> Open(const QString& strUrl, int nTimeoutMs = 10000) {
        MapTileOptions options;
        options.SetUrl(strUrl.toStdString());
        options.nTimeoutMs = nTimeoutMs;
        auto pView = std::make_unique<TrackViewWindow>(nullptr);
        pView->SetMapOptions(options);
        pView->SetData({Image({track_pictures::At(kLatA, kLonA, 2, 0),
                               track_pictures::At(kLatB, kLonB, 2, 1)}),
                        {kSelectAll, 0, 0, 0, false},
                        {},
                        "z.dlg"});
        pView->resize(700, 560);
        pView->show();
        return pView;
    }

    // The share of sample points of the map whose pixel has the colour of the tile
    // that web-mercator puts there, placed by the two fixes as drawn.
    static double TilesInPlace(TrackViewWindow& view) {
        const QImage image = view.grab().toImage();
        const PlotRect area = view.Plot().TrackArea();
        int nLeft = INT32_MAX, nRight = INT32_MIN, nTop = INT32_MAX, nBottom = INT32_MIN;
        for (int y = area.y; y < area.y + area.cy; ++y) {
            for (int x = area.x; x < area.x + area.cx; ++x) {
                const QRgb rgb = image.pixel(x, y);
                if (qRed(rgb) > 20 || qGreen(rgb) < 100 || qGreen(rgb) > 150 || qBlue(rgb) > 20)
                    continue;
                nLeft = std::min(nLeft, x), nRight = std::max(nRight, x);
                nTop = std::min(nTop, y), nBottom = std::max(nBottom, y);
            }
        }
        if (nLeft >= nRight || nTop >= nBottom) return 0;
        // The 2-pixel line reaches half a pixel beyond each fix.
        const double ax = nLeft + 0.5, bx = nRight - 0.5, ay = nBottom - 0.5, by = nTop + 0.5;
        // Over the whole map, its edges too: a tile missing there fails.
        const PlotRect map = view.Plot().View().rect;
        int nMatch = 0, nSamples = 0;
        for (int i = 0; i < 12; ++i) {
            for (int j = 1; j < 8; ++j) {
                const int x = map.x + 2 + (map.cx - 4) * i / 11, y = map.y + map.cy * j / 8;
                const double wx =
                    WorldX(kLonA) + (x + 0.5 - ax) / (bx - ax) * (WorldX(kLonB) - WorldX(kLonA));
                const double wy =
                    WorldY(kLatA) + (y + 0.5 - ay) / (by - ay) * (WorldY(kLatB) - WorldY(kLatA));
                const QColor c = image.pixelColor(x, y);
                const int z = (c.red() + 6) / 12;
                ++nSamples;
                nMatch += c == TileColor(z, int(std::floor(wx * (1 << z))),
                                         int(std::floor(wy * (1 << z))));
            }
        }
        return double(nMatch) / nSamples;
    }

  private slots:
    void init() {
        m_pCache = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", m_pCache->path().toUtf8());
    }

    // The second start has no server: the tiles come from the disk cache.
    void tilesUnderTheTrackThenFromTheCache() {
        auto pServer = std::make_unique<TileServer>(TileServer::Mode::Tiles);
        const QString strUrl = pServer->Url();
        auto pView = Open(strUrl);
        QTRY_VERIFY_WITH_TIMEOUT(pServer->m_nServed > 0 && TilesInPlace(*pView) > 0.95, 60000);
        QVERIFY(HasText(*pView, QStringLiteral("Map tiles: http://127.0.0.1")));
        pView.reset();
        pServer.reset();

        pView = Open(strUrl);
        QTRY_VERIFY_WITH_TIMEOUT(TilesInPlace(*pView) > 0.95, 60000);
        QVERIFY(!HasText(*pView, QStringLiteral("unavailable")));
    }

    void failingServersLeaveAResponsiveView_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("notice");
        QTest::newRow("HTTP 500") << int(TileServer::Mode::Error500)
                                  << "Map tiles unavailable: the server answered HTTP 500";
        QTest::newRow("broken PNG") << int(TileServer::Mode::BrokenPng)
                                    << "Map tiles unavailable: a tile could not be read";
        QTest::newRow("stalled") << int(TileServer::Mode::Stall)
                                 << "Map tiles unavailable: the server did not answer in time";
        QTest::newRow("gone") << -1 << "Map tiles unavailable: connection refused";
    }
    // Keys still zoom while tiles fail; a grid with its degrees stands in for them.
    void failingServersLeaveAResponsiveView() {
        QFETCH(int, mode);
        QFETCH(QString, notice);
        TileServer server(mode < 0 ? TileServer::Mode::Tiles : TileServer::Mode(mode));
        if (mode < 0) server.Stop();
        auto pView = Open(server.Url(), 500);
        QTest::keyClick(pView.get(), Qt::Key_Plus);
        QTRY_VERIFY(!pView->Plot().IsFitted());
        QTRY_VERIFY_WITH_TIMEOUT(HasText(*pView, notice), 60000);
        QVERIFY(HasText(*pView, QString::fromUtf8("\xC2\xB0 N")) &&
                HasText(*pView, QString::fromUtf8("\xC2\xB0 E")));
        QTest::keyClick(pView.get(), Qt::Key_Home);
        QTRY_VERIFY(pView->Plot().IsFitted());
    }

    // A fix and a photo read under the pointer in a named zone (10:40 GMT is 11:40 in Berlin in
    // winter); the legend names the fix modes.
    void readoutLegendAndPhotoPins() {
        TimeZone berlin;
        if (ParseTimeZone("Europe/Berlin", berlin) != TimeZoneStatus::Ok) QSKIP("no zone database");
        FixRecord r = track_pictures::At(47.123456, 8.654321, 2, 0);
        r.wAltitude = 435;
        r.wSpeed = 1234;
        TrackViewWindow view(nullptr);
        view.SetData({Image({r}), {kSelectAll, 0, 0, 0, false}, berlin, "r.dlg"});
        view.SetPhotoPins({{"IMG_0001.JPG", r.dwTime + 60, 47.123456, 8.654321}});
        view.resize(700, 560);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(QString::fromStdString(view.Plot().HoverText(0)),
                 QStringLiteral("Record 1, 3D fix\n2019-01-05 11:40:00 Europe/Berlin (GMT+1:00)\n"
                                "Latitude 47.123456, longitude 8.654321\n"
                                "Altitude 435 m, 12.34 km/h, 8 satellites"));
        for (const char* psz : {"No fix", "2D fix", "3D fix", "DGPS", "Start", "End"})
            QVERIFY2(HasText(view, QString::fromLatin1(psz)), psz);

        // The pin's head, found by its colour, answers the pointer.
        const QImage image = view.grab().toImage();
        QPoint head(-1, -1);
        for (int y = 0; y < image.height() && head.x() < 0; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == QColor(0xd0, 0x20, 0x90)) {
                    head = {x + 1, y + 1};
                    break;
                }
            }
        }
        QVERIFY(head.x() >= 0);
        QMouseEvent move(QEvent::MouseMove, head, view.mapToGlobal(head), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
        QVERIFY(view.HoveredPin() == 0u);
        QCOMPARE(QString::fromStdString(view.Plot().PinText(0)),
                 QStringLiteral("Photo IMG_0001.JPG\n2019-01-05 11:41:00 Europe/Berlin (GMT+1:00)\n"
                                "Latitude 47.123456, longitude 8.654321"));
    }

    // Out east and back further north, zoomed in: both lines cross the map, their ends off it.
    void zoomedInLinesCrossTheMap() {
        std::vector<FixRecord> records;
        for (uint32_t i = 0; i < 200; ++i)
            records.push_back(
                track_pictures::At(i < 100 ? 10 : 10.001, 10 + 0.001 * std::min(i, 199 - i), 2, i));
        TrackViewWindow view(nullptr);
        view.SetData({Image(records), {kSelectAll, 0, 0, 0, false}, {}, "b.dlg"});
        view.resize(700, 560);
        view.grab();  // fitted to the track first
        for (int i = 0; i < 2; ++i) QTest::keyClick(&view, Qt::Key_Plus);
        const QImage image = view.grab().toImage();
        const PlotRect map = view.Plot().View().rect;
        int nFullRows = 0;  // of the 3D fix's colour
        for (int y = map.y, x = map.x; y < map.y + map.cy; ++y, x = map.x) {
            while (x < map.x + map.cx && image.pixel(x, y) == qRgb(0, 0x7f, 0)) ++x;
            nFullRows += x == map.x + map.cx;
        }
        QCOMPARE(nFullRows, 4);  // two lines, two pixels wide
    }

    void unknownOptionRefused() {
        QProcess program;
        program.start(QStringLiteral(QUORVEL_BINARY_DIR "/app/qt/quorvel"),
                      {QStringLiteral("--tile-ur1"), QStringLiteral("x.dlg")});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(program.readAllStandardError().contains("Usage: quorvel"));
    }
};

QTEST_MAIN(MapTest)
#include "map_test.moc"
