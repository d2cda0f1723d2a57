// The real Qt window offscreen, for what only it can get wrong: its boxes' buttons and texts, the
// file dialogs' filters and chosen type, keys, drops, the track view it draws, the choices it keeps
// in QSettings, and a download from the simulator through its modal loops.
#include <QtTest>
#include <QtWidgets>

#include "TrackGenerator.h"
#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/qt/QtSettingsStore.h"
#include "app/qt/QuorvelWindow.h"
#include "app/qt/TrackViewWindow.h"
#include "sim/SimRunner.h"
#include "tests/common/TrackPictures.h"

namespace {

using Step = std::function<void(QWidget*)>;

// Runs the steps on the modal windows a click opens, one each in the order they come up. Polled,
// since the click waits in their loops meanwhile.
void Modals(std::vector<Step> steps, QPointer<QWidget> pBefore = nullptr) {
    if (steps.empty()) return;
    auto* pTimer = new QTimer;
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, steps, pBefore] {
        QWidget* p = QApplication::activeModalWidget();
        if (!p || p == pBefore) return;
        pTimer->stop();
        pTimer->deleteLater();
        Modals({steps.begin() + 1, steps.end()}, p);
        steps.front()(p);
    });
    pTimer->start(10);
}

void Later(QWidget* p, std::function<void()> act) {
    QMetaObject::invokeMethod(p, std::move(act), Qt::QueuedConnection);
}

// Notes a box's text and presses OK.
Step Box(QStringList& texts) {
    return [&texts](QWidget* p) {
        auto* pBox = qobject_cast<QMessageBox*>(p);
        texts << (pBox ? pBox->text() : QStringLiteral("not a box"));
        Later(p, [p] { qobject_cast<QDialog*>(p)->done(QMessageBox::Ok); });
    };
}

// Notes a file dialog's filters, types path whole (nothing: cancels) after nDown presses of the
// down arrow in its file type box.
Step Choose(const QString& path, QStringList& filters, int nDown = 0) {
    return [path, &filters, nDown](QWidget* p) {
        auto* pDialog = qobject_cast<QFileDialog*>(p);
        filters = pDialog->nameFilters();
        for (int i = 0; i < nDown; ++i)
            QTest::keyClick(pDialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")),
                            Qt::Key_Down);
        auto* pName = pDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        filters << pName->text();
        if (!path.isEmpty()) pName->setText(path);
        Later(p, [pDialog, path] {
            path.isEmpty() ? pDialog->reject() : static_cast<QDialog*>(pDialog)->accept();
        });
    };
}

template <typename Predicate>
bool WaitFor(Predicate done) {
    for (int i = 0; i < 3000 && !done(); ++i) QTest::qWait(10);  // only a hang fails
    return done();
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_pDir;
    // The system's serial ports as the window's scan and its polled device watch see them.
    std::shared_ptr<std::vector<SerialPortInfo>> m_pPorts;
    std::unique_ptr<QtSettingsStore> m_pStore;
    std::unique_ptr<QuorvelWindow> m_pWindow;
    std::unique_ptr<CQuorvelDlg> m_pDlg;

    template <typename T = QWidget>
    T* Get(int nId) {
        return qobject_cast<T*>(m_pWindow->Control(nId));
    }
    void Click(int nId) { QTest::mouseClick(Get(nId), Qt::LeftButton); }
    QString PathOf(const char* pszName) { return m_pDir->filePath(QString::fromLatin1(pszName)); }
    // Writes a raw log (one fix by default) and opens it as OPEN existing file does.
    QString Open(const char* pszName,
                 const std::vector<FixRecord>& records = {track_pictures::At(1, 2, 2, 0)}) {
        QByteArray bytes(qsizetype(records.size() * kFixRecordSize), '\0');
        for (size_t i = 0; i < records.size(); ++i)
            EncodeFixRecord(records[i],
                            reinterpret_cast<uint8_t*>(bytes.data()) + i * kFixRecordSize);
        QFile file(PathOf(pszName));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
        file.close();
        (void)m_pDlg->OpenRawLogPath(file.fileName().toStdString());
        return file.fileName();
    }
    void Start() {
        const PortEnumerator enumerate = [pPorts = m_pPorts] { return *pPorts; };
        m_pWindow = std::make_unique<QuorvelWindow>();
        m_pWindow->SetDeviceWatch(std::make_unique<DeviceWatch>(enumerate));
        m_pDlg = std::make_unique<CQuorvelDlg>(*m_pWindow, enumerate);
        m_pStore = std::make_unique<QtSettingsStore>(PathOf("quorvel.conf"));
        m_pDlg->SetSettingsStore(m_pStore.get());
        m_pWindow->SetHandler(m_pDlg.get());
        m_pWindow->Start();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    }
    void Stop() {
        // As the program ends: nothing queued reaches the logic, which stops its worker first.
        m_pWindow->SetHandler(nullptr);
        m_pDlg.reset();
        m_pWindow.reset();
        m_pStore.reset();
    }
    // The simulated logger (unpaced) as the only port, opened.
    std::unique_ptr<SimRunner> OpenLogger(SimLogger& logger) {
        auto pRunner = std::make_unique<SimRunner>(logger, 230400, false);
        std::string strError;
        if (!pRunner->Open(strError) || !pRunner->Start()) qFatal("%s", strError.c_str());
        *m_pPorts = {{pRunner->PortPath(), "simulated logger"}};
        m_pDlg->ScanComPorts();
        Click(IDC_OPEN_CLOSE);
        return pRunner;
    }

  private slots:
    void init() {
        m_pDir = std::make_unique<QTemporaryDir>();
        m_pPorts = std::make_shared<std::vector<SerialPortInfo>>();
        Start();
    }
    void cleanup() {
        Stop();
        m_pDir.reset();
    }

    // A fixed window; Enter presses a focused button and nothing else; a file dropped on it opens.
    void windowKeysBoxesAndDrops() {
        QCOMPARE(m_pWindow->windowTitle(),
                 QStringLiteral("Vendrimax QM-900 Ostrello v0.3(1003231)"));
        QCOMPARE(m_pWindow->minimumSize(), m_pWindow->maximumSize());
        QVERIFY(!(m_pWindow->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!m_pWindow->windowIcon().isNull());
        // Frames lie behind the controls: a click inside one reaches the control.
        QCOMPARE(m_pWindow->childAt(Get(IDC_TRANSLATE)->geometry().center()), Get(IDC_TRANSLATE));
        QVERIFY(Get(IDC_RAW_PATH)->hasFocus());
        QTest::keyClick(Get(IDC_RAW_PATH), Qt::Key_Return);
        QTest::keyClick(m_pWindow.get(), Qt::Key_Enter);
        QVERIFY(m_pWindow->isVisible() && !QApplication::activeModalWidget());

        const QString path = Open("drop.dlg");
        Get<QLineEdit>(IDC_RAW_PATH)->clear();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Get(IDC_RAW_PATH), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Get(IDC_RAW_PATH), &drop);
        QVERIFY(enter.isAccepted());
        QCOMPARE(Get<QLineEdit>(IDC_RAW_PATH)->text(), path);
    }

    // The Open and Save dialogs: their file types, a cancel, the pickers of the file chosen, and
    // the file type deciding a typed name's extension and the writer.
    void openAndTranslateThroughTheFileDialogs() {
        const QString path =
            Open("walk.dlg", {track_pictures::At(1, 2, 2, 0), track_pictures::At(1, 2, 0, 2)});
        Get<QLineEdit>(IDC_RAW_PATH)->clear();
        QStringList filters, boxes;
        Modals({Choose({}, filters), Box(boxes)});
        Click(IDC_OPEN_FILE);
        QCOMPARE(boxes, QStringList{"Can't open raw data file."});
        QCOMPARE(filters,
                 (QStringList{"Data logger file(*.dlg) (*.dlg)", "All Files(*.*) (*)", ""}));
        Modals({Choose(path, filters)});
        Click(IDC_OPEN_FILE);
        QCOMPARE(Get<QLabel>(IDC_SIZE_LABEL)->text(), QStringLiteral("Size(Record): 2"));
        // 2019-01-05 10:40:00 and 10:42:00 on the record scale, at GMT+8:00.
        QCOMPARE(Get<QDateEdit>(IDC_TIME_FROM_DATE)->date(), QDate(2019, 1, 5));
        QCOMPARE(Get<QTimeEdit>(IDC_TIME_FROM_TIME)->time(), QTime(18, 40, 0));
        QCOMPARE(Get<QTimeEdit>(IDC_TIME_TO_TIME)->time(), QTime(18, 42, 0));

        Click(IDC_ALL);
        // Presses of the down arrow in the file type box, the name it proposes then, the content.
        for (const auto& [nDown, pszProposed, pszSuffix, pszContent] :
             {std::tuple{1, "walk.csv", ".csv", "Local time,GPS time,"},
              std::tuple{2, "walk.kml", ".kml", "<gx:Track>"}}) {
            boxes.clear();
            Modals({Choose(PathOf("out"), filters, nDown), Box(boxes)});
            Click(IDC_TRANSLATE);
            QCOMPARE(filters.first(), QStringLiteral("Google earth file(*.kml) (*.kml)"));
            QCOMPARE(filters.last(), QString::fromLatin1(pszProposed));
            const QString out = PathOf("out") + QString::fromLatin1(pszSuffix);
            QCOMPARE(boxes, QStringList{"Translate OK.\n\n1 of 2 records written to " + out});
            QCOMPARE(Get<QLineEdit>(IDC_OUT_PATH)->text(), out);
            QFile file(out);
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains(pszContent));
        }
    }

    // The bar moves through a download, the logger's lines are listed without their line ends, and
    // Escape with the port open stops the worker before the window ends.
    void downloadFromTheSimulatedLoggerThenEscape() {
        TrackGeneratorOptions options;
        options.nRecords = 600;
        SimLogger logger(GenerateTrack(options));
        const auto pRunner = OpenLogger(logger);
        QVERIFY(!Get(IDC_PORT_LIST)->isEnabled() && Get(IDC_LOAD_CONFIG)->isEnabled());
        std::vector<int> values;
        auto* pBar = Get<QProgressBar>(IDC_PROGRESS);
        connect(pBar, &QProgressBar::valueChanged, this, [&](int v) { values.push_back(v); });
        QStringList filters, boxes;
        Modals({Choose(PathOf("track.dlg"), filters), Box(boxes)});
        Click(IDC_GET_DATA);
        QVERIFY(WaitFor([&] { return !boxes.isEmpty() && !QApplication::activeModalWidget(); }));
        QCOMPARE(filters.first(), QStringLiteral("Data logger file(*.dlg) (*.dlg)"));
        QCOMPARE(boxes, QStringList{"Download OK."});
        QVERIFY(std::any_of(values.begin(), values.end(),
                            [&](int v) { return v > 0 && v < pBar->maximum(); }));
        QVERIFY(std::is_sorted(values.begin() + 1, values.end()));
        QVERIFY(!pBar->isVisible() && Get(IDC_TIME_LABEL)->isVisible());
        QCOMPARE(Get<QLabel>(IDC_SIZE_LABEL)->text(), QStringLiteral("Size(Record): 600"));
        QCOMPARE(Get<QPushButton>(IDC_GET_DATA)->text(), QStringLiteral("GET data from device"));
        auto* pList = Get<QListWidget>(IDC_LOG_LIST);
        QVERIFY(!pList->findItems(QStringLiteral("dataCount=600"), Qt::MatchExactly).isEmpty());
        QCOMPARE(pList->currentRow(), pList->count() - 1);

        QTest::keyClick(Get(IDC_RAW_PATH), Qt::Key_Escape);
        QCOMPARE(m_pDlg->m_hComPort.load(), kInvalidPortHandle);
        QCOMPARE(m_pDlg->m_bStopWorker.load(), 0);
        QVERIFY(!m_pWindow->isVisible());
        QCOMPARE(m_pWindow->result(), IDCANCEL);
    }

    // The erase question has OK and Cancel; Cancel, Escape and the box's close button decline it.
    // The window's close button then goes through the close steps.
    void deleteIsSentOnlyAfterOkThenClose() {
        SimLogger logger(std::vector<uint8_t>(40, 1));
        const auto pRunner = OpenLogger(logger);
        const auto Answer = [](std::function<void(QMessageBox*)> act) -> Step {
            return [act](QWidget* p) {
                auto* pBox = qobject_cast<QMessageBox*>(p);
                QVERIFY(pBox && pBox->text() == "Delete data in device?" &&
                        pBox->button(QMessageBox::Cancel));
                Later(p, [pBox, act] { act(pBox); });
            };
        };
        const auto Erasures = [&] {
            return pRunner->WithLogger([](SimLogger& l) { return l.Erasures(); });
        };
        for (const auto& step :
             {Answer([](QMessageBox* p) { p->button(QMessageBox::Cancel)->click(); }),
              Answer([](QMessageBox* p) { QTest::keyClick(p, Qt::Key_Escape); }),
              Answer([](QMessageBox* p) { p->close(); })}) {
            Modals({step});
            Click(IDC_DELETE);
            QVERIFY(WaitFor([] { return !QApplication::activeModalWidget(); }));
            QTest::qWait(300);
            QCOMPARE(Erasures(), 0);
        }
        Modals({Answer([](QMessageBox* p) { p->button(QMessageBox::Ok)->click(); })});
        Click(IDC_DELETE);
        QVERIFY(WaitFor([&] { return Erasures() == 1; }));

        Get(IDC_SET_CONFIG)->setEnabled(true);
        (void)m_pWindow->close();
        QCOMPARE(m_pDlg->m_hComPort.load(), kInvalidPortHandle);
        QVERIFY(!Get(IDC_SET_CONFIG)->isEnabled() && !m_pWindow->isVisible());
    }

    // Ctrl+T draws the loaded track, later loads redraw it, the pointer reads a fix in the window's
    // zone, and the view follows the Translate choices; a zone typed moves the pickers.
    void trackView() {
        Click(IDC_ALL);
        Click(IDC_DROP_NOFIX);
        for (const track_pictures::Case& c : track_pictures::KnownTracks()) {
            QVERIFY(!Open("t.dlg", c.records).isEmpty());
            if (!m_pWindow->TrackView())
                QTest::keyClick(m_pWindow.get(), Qt::Key_T, Qt::ControlModifier);
            TrackViewWindow* pView = m_pWindow->TrackView();
            QVERIFY(pView && pView->isVisible());
            pView->resize(700, 560);
            const QImage image = pView->grab().toImage();
            const std::string strProblem =
                track_pictures::CheckPicture(c, pView->Plot().TrackArea(), [&](int x, int y) {
                    const QRgb rgb = image.pixel(x, y);
                    return PlotColor{uint8_t(qRed(rgb)), uint8_t(qGreen(rgb)), uint8_t(qBlue(rgb))};
                });
            QVERIFY2(strProblem.empty(), (std::string(c.pszName) + ": " + strProblem).c_str());
        }
        Open("one.dlg");
        TrackViewWindow* pView = m_pWindow->TrackView();
        const PlotRect area = pView->Plot().TrackArea();
        const QPointF at(area.x + area.cx / 2, area.y + area.cy / 2);
        QMouseEvent move(QEvent::MouseMove, at, pView->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(pView, &move);
        QVERIFY(pView->HoveredRecord() == 0u);
        QCOMPARE(QString::fromStdString(pView->Plot().HoverText(0)),
                 QStringLiteral("Record 1, 3D fix\n2019-01-05 18:40:00 Etc/GMT-8 (GMT+8:00)\n"
                                "Latitude 1.000000, longitude 2.000000\n"
                                "Altitude 0 m, 0.00 km/h, 8 satellites"));

        std::vector<FixRecord> records;
        for (uint32_t i = 0; i < 20; ++i) records.push_back(track_pictures::At(1, 0.001 * i, 2, i));
        Open("r.dlg", records);
        QCOMPARE(pView->Plot().SelectedCount(), 20u);
        Click(IDC_BY_SIZE);
        QTest::keyClicks(Get(IDC_RECORDS), QStringLiteral("5"));
        QCOMPARE(pView->Plot().SelectedCount(), 5u);
        auto* pZone = Get<QComboBox>(IDC_TIME_ZONE);
        pZone->lineEdit()->selectAll();
        QTest::keyClicks(pZone->lineEdit(), QStringLiteral("GMT+0:00"));
        QCOMPARE(Get<QTimeEdit>(IDC_SIZE_FROM_TIME)->time(), QTime(10, 40, 0));
        QCOMPARE(m_pDlg->GetTimeZone().OffsetAt(0), 0);
    }

    // Nothing kept: the written start state in the system's zone. What the user set comes back
    // after a restart, and a port with a stable name is listed by it, the kernel's name beside it.
    void choicesAndStablePortNamesAfterARestart() {
        QCOMPARE(Get<QComboBox>(IDC_BAUD_LIST)->currentText(), QStringLiteral("115200"));
        QCOMPARE(Get<QComboBox>(IDC_TIME_ZONE)->currentText(), QStringLiteral("Etc/GMT-8"));
        QVERIFY(Get<QRadioButton>(IDC_BY_TIME)->isChecked() &&
                Get<QCheckBox>(IDC_DROP_NOFIX)->isChecked());
        Get<QComboBox>(IDC_BAUD_LIST)->setCurrentIndex(0);
        Get<QComboBox>(IDC_TIME_ZONE)->setEditText(QStringLiteral("Europe/Berlin"));
        Click(IDC_ALL);
        Click(IDC_DROP_NOFIX);
        const QString log = Open("a.dlg");
        (void)m_pWindow->close();
        Stop();
        *m_pPorts = {{"/dev/ttyUSB0", "", "/dev/serial/by-id/usb-A1-port0"}};
        Start();
        auto* pPort = Get<QComboBox>(IDC_PORT_LIST);
        QCOMPARE(pPort->currentText(), QStringLiteral("/dev/serial/by-id/usb-A1-port0"));
        QCOMPARE(pPort->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(Get<QComboBox>(IDC_BAUD_LIST)->currentText(), QStringLiteral("4800"));
        QCOMPARE(Get<QComboBox>(IDC_TIME_ZONE)->currentText(), QStringLiteral("Europe/Berlin"));
        QCOMPARE(m_pDlg->GetTimeZone().DisplayName(), std::string("Europe/Berlin"));
        QVERIFY(Get<QRadioButton>(IDC_ALL)->isChecked() &&
                !Get<QRadioButton>(IDC_BY_TIME)->isChecked());
        QCOMPARE(m_pDlg->m_nSelectMode, 2);
        QVERIFY(!Get<QCheckBox>(IDC_DROP_NOFIX)->isChecked());
        QString folder;
        QStringList boxes;
        Modals({[&](QWidget* p) {
                    folder = qobject_cast<QFileDialog*>(p)->directory().absolutePath();
                    Later(p, [p] { qobject_cast<QDialog*>(p)->reject(); });
                },
                Box(boxes)});
        Click(IDC_OPEN_FILE);
        QCOMPARE(folder, QFileInfo(log).absolutePath());
    }

    void portsThatComeAndGoAreListed() {
        if (m_pWindow->WatchesDeviceEvents())
            QSKIP("udev reports real devices here; the polled watch is not in use");
        *m_pPorts = {{"/dev/ttyUSB0", ""}, {"/dev/ttyUSB1", ""}};
        QVERIFY(WaitFor([&] { return Get<QComboBox>(IDC_PORT_LIST)->count() == 2; }));
        QCOMPARE(Get<QComboBox>(IDC_PORT_LIST)->currentText(), QStringLiteral("/dev/ttyUSB1"));
        m_pPorts->clear();
        QVERIFY(WaitFor([&] { return Get<QComboBox>(IDC_PORT_LIST)->count() == 0; }));
        QCOMPARE(Get<QComboBox>(IDC_PORT_LIST)->currentText(), QString());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
