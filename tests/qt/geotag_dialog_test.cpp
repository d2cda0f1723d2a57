// Geotag photos... in the real window offscreen: photos made by ImageMagick with their times set
// by exiftool, a raw log opened in the window, the preview's table against positions worked out by
// hand, and what Write put into the photos read back by exiftool.
#include <QtTest>
#include <QtWidgets>

#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/qt/QuorvelWindow.h"
#include "app/qt/TrackViewWindow.h"

namespace {

constexpr uint32_t kT0 = 294507000;  // 2009-05-01 15:30:00 UTC

// Photos by ImageMagick in "$1", their clock times (and one a position) set by exiftool. Camera
// times at GMT+2:00 on a clock a minute fast: 17:31:10.5 is 15:30:10.5 UTC, 0.525 of the way from
// the track's first fix to the second.
constexpr char kMakePhotos[] = R"(set -e; cd "$1"
for n in before between 'in gap' tagged; do convert -size 32x32 gradient:red-blue "$n.jpg"; done
t() { exiftool -q -overwrite_original "$@"; }
t '-DateTimeOriginal=2009:05:01 17:30:50' before.jpg
t '-DateTimeOriginal=2009:05:01 17:31:10' -SubSecTimeOriginal=5 between.jpg tagged.jpg
t '-DateTimeOriginal=2009:05:01 17:39:00' 'in gap.jpg'
t -GPSLatitude=10 -GPSLatitudeRef=N -GPSLongitude=20 -GPSLongitudeRef=E tagged.jpg)";

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<QString> Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

template <typename Predicate>
bool WaitFor(Predicate done) {
    for (int i = 0; i < 3000 && !done(); ++i) QTest::qWait(10);  // only a hang fails
    return done();
}

}  // namespace

class GeotagDialogTest : public QObject {
    Q_OBJECT

  private slots:
    // The button waits for a loaded file; the preview shows each photo's times, place and fate
    // and writes nothing; the photos placed are pins in the track view; Write tags them.
    void previewThenWrite() {
        if (!Run("exiftool", {"-ver"}) || !Run("convert", {"-version"}))
            QSKIP("exiftool or ImageMagick missing");
        QTemporaryDir dir;
        const QString photos = dir.filePath("photos of May");
        QVERIFY(QDir().mkpath(photos) && Run("sh", {"-c", kMakePhotos, "sh", photos}));
        const auto contents = [&photos] {
            QByteArray all;
            for (const QString& name : QDir(photos).entryList(QDir::Files)) {
                QFile file(photos + '/' + name);
                all += file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
            }
            return all;
        };
        const QByteArray before = contents();
        // Fixes 20 s apart, then one 980 s later: beyond the gap of 300 s.
        const FixRecord fixes[] = {{kT0, 25000000, 121000000, 10, 0, 0x88, 0, 0, 0},
                                   {kT0 + 20, 25000200, 121000400, 30, 0, 0x88, 0, 0, 0},
                                   {kT0 + 1000, 25001000, 121001000, 50, 0, 0x88, 0, 0, 0}};
        QByteArray log(3 * qsizetype(kFixRecordSize), '\0');
        for (size_t i = 0; i < 3; ++i)
            EncodeFixRecord(fixes[i], reinterpret_cast<uint8_t*>(log.data()) + i * kFixRecordSize);
        QFile track(dir.filePath("track.dlg"));
        QVERIFY(track.open(QIODevice::WriteOnly) && track.write(log) == log.size());
        track.close();

        const PortEnumerator noPorts = [] { return std::vector<SerialPortInfo>(); };
        QuorvelWindow window;
        window.SetDeviceWatch(std::make_unique<DeviceWatch>(noPorts));
        CQuorvelDlg dlg(window, noPorts);
        window.SetHandler(&dlg);
        window.SetLoadedTrackSource([&dlg] { return dlg.m_RawLog.m_pRawData; });
        window.Start();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPushButton* pGeotag = nullptr;
        for (QPushButton* p : window.findChildren<QPushButton*>())
            if (p->text() == "Geotag photos...") pGeotag = p;
        QVERIFY(pGeotag && !pGeotag->isEnabled());
        QVERIFY(dlg.OpenRawLogPath(track.fileName().toStdString()));
        QVERIFY(pGeotag->isEnabled());
        QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
        QDialog* pDialog = window.GeotagWindow();
        QVERIFY(pDialog && pDialog->isVisible());
        const auto button = [pDialog](const char* pszText) {
            for (QPushButton* p : pDialog->findChildren<QPushButton*>())
                if (p->text() == QLatin1String(pszText)) return p;
            return static_cast<QPushButton*>(nullptr);
        };
        auto* pTable = pDialog->findChild<QTableWidget*>();
        auto* pSummary = pDialog->findChild<QLabel*>("summary");
        QVERIFY(button("Preview") && button("Write") && pTable && !button("Write")->isEnabled());
        pDialog->findChild<QLineEdit*>("folder")->setText(photos);
        pDialog->findChild<QComboBox*>()->setEditText("GMT+2:00");
        pDialog->findChild<QLineEdit*>("offset")->setText("+1:00");
        QTest::mouseClick(button("Preview"), Qt::LeftButton);
        QVERIFY(WaitFor([&] { return button("Write")->isEnabled(); }));

        QStringList rows;
        for (int nRow = 0; nRow < pTable->rowCount(); ++nRow) {
            QStringList cells;
            for (int nColumn = 0; nColumn < pTable->columnCount(); ++nColumn)
                cells << pTable->item(nRow, nColumn)->text();
            rows << cells.join(" | ");
        }
        QCOMPARE(rows, (QStringList{
                           "before.jpg | 2009:05:01 17:30:50 | 2009-05-01 15:29:50 | 25.0000000, "
                           "121.0000000, 10.0 m | 10.0 s | will be tagged",
                           "between.jpg | 2009:05:01 17:31:10.5 | 2009-05-01 15:30:10.500 | "
                           "25.0001050, 121.0002100, 20.5 m | 9.5 s | will be tagged",
                           "in gap.jpg | 2009:05:01 17:39:00 | 2009-05-01 15:38:00 |  | 460.0 s | "
                           "outside the track",
                           "tagged.jpg | 2009:05:01 17:31:10.5 | 2009-05-01 15:30:10.500 |  | 9.5 "
                           "s | has a position already"}));
        QCOMPARE(pSummary->text(), QStringLiteral("4 photos: 2 to tag, 1 outside the track, 1 "
                                                  "already had a position. Nothing is written "
                                                  "until Write."));
        QCOMPARE(contents(), before);
        // The track view opened after the preview shows the two photos placed.
        QTest::mouseClick(window.Control(IDC_TRACK_VIEW), Qt::LeftButton);
        QVERIFY(window.TrackView());
        const TrackPlot& plot = window.TrackView()->Plot();
        QVERIFY(QString::fromStdString(plot.PinText(0)).startsWith("Photo before.jpg\n"));
        QVERIFY(QString::fromStdString(plot.PinText(1))
                    .endsWith("\nLatitude 25.000105, longitude 121.000210"));
        QVERIFY(plot.PinText(2).empty());

        QTest::mouseClick(button("Write"), Qt::LeftButton);
        QVERIFY(WaitFor([&] { return button("Close") != nullptr; }));
        QCOMPARE(pSummary->text(), QStringLiteral("4 photos: 2 tagged, 1 outside the track, 1 "
                                                  "already had a position."));
        const std::optional<QString> read =
            Run("exiftool",
                {"-n", "-T", "-FileName", "-GPSLatitude", "-GPSLongitude", "-GPSAltitude", photos});
        QVERIFY(read);
        QStringList lines = read->split('\n', Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines,
                 (QStringList{"before.jpg\t25\t121\t10", "between.jpg\t25.000105\t121.00021\t20.5",
                              "in gap.jpg\t-\t-\t-", "tagged.jpg\t10\t20\t-"}));
        window.SetHandler(nullptr);
    }
};

QTEST_MAIN(GeotagDialogTest)
#include "geotag_dialog_test.moc"
