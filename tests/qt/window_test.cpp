#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "TrackGenerator.h"
#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/qt/QuorvelWindow.h"
#include "protocol/DownloadResult.h"
#include "sim/SimRunner.h"
#include "track/RawLog.h"

namespace {

// Deals with the modal windows a handler opens, one callback per window in the order they appear.
// Polls, because the test's own thread is inside the modal loop while they are open.
class ModalScript : public QObject {
  public:
    using Step = std::function<void(QWidget*)>;

    explicit ModalScript(std::vector<Step> steps) : m_steps(std::move(steps)) {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(10);
    }
    bool Done() const { return m_nNext == m_steps.size(); }
    const QStringList& Unexpected() const { return m_unexpected; }

  private:
    void Poll() {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal || pModal == m_pLast) return;
        m_pLast = pModal;
        if (Done()) {
            // Not in the script: note it and get it out of the way so that the test fails, not
            // hangs.
            auto* pBox = qobject_cast<QMessageBox*>(pModal);
            m_unexpected << QString::fromLatin1(pModal->metaObject()->className()) +
                                (pBox ? QStringLiteral(": ") + pBox->text() : QString());
            QMetaObject::invokeMethod(
                pModal, [pModal] { qobject_cast<QDialog*>(pModal)->reject(); },
                Qt::QueuedConnection);
            return;
        }
        m_steps[m_nNext++](pModal);
    }

    std::vector<Step> m_steps;
    size_t m_nNext = 0;
    QWidget* m_pLast = nullptr;
    QStringList m_unexpected;
    QTimer m_timer;
};

// A step that records a message box's text and presses its button.
ModalScript::Step CloseBox(QStringList& texts) {
    return [&texts](QWidget* p) {
        auto* pBox = qobject_cast<QMessageBox*>(p);
        texts << (pBox ? pBox->text()
                       : QStringLiteral("<not a box: %1>").arg(p->metaObject()->className()));
        QMetaObject::invokeMethod(
            p, [p] { qobject_cast<QDialog*>(p)->done(QMessageBox::Ok); }, Qt::QueuedConnection);
    };
}

ModalScript::Step PickFile(const QString& path, QStringList& titles) {
    return [path, &titles](QWidget* p) {
        auto* pDialog = qobject_cast<QFileDialog*>(p);
        titles << (pDialog ? pDialog->nameFilters().join(QLatin1Char('|'))
                           : QStringLiteral("<none>"));
        QMetaObject::invokeMethod(
            p,
            [pDialog, path] {
                if (!pDialog) return;
                if (path.isEmpty()) {
                    pDialog->reject();
                } else {
                    // Typed as a whole path, the way a user may; the dialog takes it as it is.
                    auto* pName = pDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    if (pName) pName->setText(path);
                    static_cast<QDialog*>(pDialog)->accept();
                }
            },
            Qt::QueuedConnection);
    };
}

template <typename Predicate>
bool WaitFor(Predicate done) {
    // Generous: only a hang fails here, never a slow machine.
    for (int i = 0; i < 3000 && !done(); ++i) QTest::qWait(10);
    return done();
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QuorvelWindow> m_pWindow;
    std::unique_ptr<CQuorvelDlg> m_pDlg;
    // The system's serial ports as the window's scan and its device watch see them.
    std::shared_ptr<std::vector<SerialPortInfo>> m_pPorts;

    template <typename T>
    T* Get(int nId) {
        return qobject_cast<T*>(m_pWindow->Control(nId));
    }

  private slots:
    void init() {
        m_pPorts = std::make_shared<std::vector<SerialPortInfo>>();
        const PortEnumerator enumerate = [pPorts = m_pPorts] { return *pPorts; };
        m_pWindow = std::make_unique<QuorvelWindow>();
        m_pWindow->SetDeviceWatch(std::make_unique<DeviceWatch>(enumerate));
        m_pDlg = std::make_unique<CQuorvelDlg>(*m_pWindow, enumerate);
        m_pWindow->SetHandler(m_pDlg.get());
        m_pWindow->Start();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    }

    void cleanup() {
        // As the program ends: nothing queued reaches the logic, which stops its worker first.
        m_pWindow->SetHandler(nullptr);
        m_pDlg.reset();
        m_pWindow.reset();
    }

    void everyControlWithKindTextAndState() {
        enum Kind { Edit, Combo, Button, Radio, Check, Label, Bar, Date, Time, List };
        struct Row {
            int nId;
            Kind kind;
            const char* text;
            bool bVisible;
            bool bEnabled;
            bool bChecked;
        };
        const Row rows[] = {
            {IDC_RAW_PATH, Edit, "", true, true, false},
            {IDC_PORT_LIST, Combo, "", true, true, false},
            {IDC_BAUD_LIST, Combo, "115200", true, true, false},
            {IDC_SCAN, Button, "Scan", false, false, false},
            {IDC_OPEN_CLOSE, Button, "Open/Close", true, true, false},
            {IDC_TIME_ZONE, Combo, "GMT+8:00", true, true, false},
            {IDC_GET_DATA, Button, "GET data from device", true, true, false},
            {IDC_OPEN_FILE, Button, "OPEN existing file", true, true, false},
            {IDC_BY_TIME, Radio, "By Time", true, true, true},
            {IDC_BY_SIZE, Radio, "By Size", true, true, false},
            {IDC_ALL, Radio, "All", true, true, false},
            {IDC_RECORDS, Edit, "", true, true, false},
            {IDC_OUT_PATH, Edit, "", true, true, false},
            {IDC_TRANSLATE, Button, "Translate", true, true, false},
            {IDC_DELETE, Button, "DELETE data in device", true, true, false},
            {IDC_PROGRESS, Bar, "", false, true, false},
            {IDC_TIME_FROM_DATE, Date, "", true, true, false},
            {IDC_TIME_FROM_TIME, Time, "", true, true, false},
            {IDC_TIME_TO_DATE, Date, "", true, true, false},
            {IDC_TIME_TO_TIME, Time, "", true, true, false},
            {IDC_TIME_LABEL, Label, "Time:", false, true, false},
            {IDC_SIZE_LABEL, Label, "Size:", false, true, false},
            {IDC_LOG_LIST, List, "", true, true, false},
            {IDC_DROP_NOFIX, Check, "Drop no-fix data", true, true, true},
            {IDC_SIZE_FROM_DATE, Date, "", true, true, false},
            {IDC_SIZE_FROM_TIME, Time, "", true, true, false},
            {IDC_SET_CONFIG, Button, "SET config to device", true, false, false},
            {IDC_LOAD_CONFIG, Button, "LOAD config from device", true, false, false},
            {IDC_INTERVAL, Edit, "", true, false, false},
            {IDC_DISTANCE, Edit, "", true, false, false},
            {IDC_GPS_ALWAYS_ON, Check, "(C0) GPS always on", false, false, false},
        };
        for (const Row& row : rows) {
            QWidget* p = m_pWindow->Control(row.nId);
            const QByteArray where = QByteArray::number(row.nId);
            QVERIFY2(p, where);
            QCOMPARE(p->property("controlId").toInt(), row.nId);
            QVERIFY2(p->isVisible() == row.bVisible, where);
            QVERIFY2(p->isEnabled() == row.bEnabled, where);
            QString text;
            switch (row.kind) {
                case Edit:
                    QVERIFY2(qobject_cast<QLineEdit*>(p), where);
                    text = qobject_cast<QLineEdit*>(p)->text();
                    break;
                case Combo:
                    QVERIFY2(qobject_cast<QComboBox*>(p), where);
                    text = qobject_cast<QComboBox*>(p)->currentText();
                    break;
                case Button:
                    QVERIFY2(qobject_cast<QPushButton*>(p), where);
                    QVERIFY2(!qobject_cast<QPushButton*>(p)->isDefault(), where);
                    text = qobject_cast<QPushButton*>(p)->text();
                    break;
                case Radio:
                    QVERIFY2(qobject_cast<QRadioButton*>(p), where);
                    text = qobject_cast<QRadioButton*>(p)->text();
                    QVERIFY2(qobject_cast<QRadioButton*>(p)->isChecked() == row.bChecked, where);
                    break;
                case Check:
                    QVERIFY2(qobject_cast<QCheckBox*>(p), where);
                    text = qobject_cast<QCheckBox*>(p)->text();
                    QVERIFY2(qobject_cast<QCheckBox*>(p)->isChecked() == row.bChecked, where);
                    break;
                case Label:
                    QVERIFY2(qobject_cast<QLabel*>(p), where);
                    text = qobject_cast<QLabel*>(p)->text();
                    break;
                case Bar:
                    QVERIFY2(qobject_cast<QProgressBar*>(p), where);
                    break;
                case Date:
                    QVERIFY2(qobject_cast<QDateEdit*>(p), where);
                    QVERIFY2(qobject_cast<QDateEdit*>(p)->calendarPopup(), where);
                    QCOMPARE(qobject_cast<QDateEdit*>(p)->date(), QDate::currentDate());
                    break;
                case Time:
                    QVERIFY2(qobject_cast<QTimeEdit*>(p), where);
                    QCOMPARE(qobject_cast<QTimeEdit*>(p)->buttonSymbols(),
                             QAbstractSpinBox::UpDownArrows);
                    break;
                case List:
                    QVERIFY2(qobject_cast<QListWidget*>(p), where);
                    break;
            }
            QCOMPARE(text, QString::fromLatin1(row.text));
        }
        QCOMPARE(Get<QComboBox>(IDC_BAUD_LIST)->count(), 7);
        QVERIFY(!Get<QComboBox>(IDC_BAUD_LIST)->isEditable());
        QCOMPARE(Get<QComboBox>(IDC_TIME_ZONE)->count(), 51);
        QVERIFY(Get<QComboBox>(IDC_TIME_ZONE)->isEditable());
        QVERIFY(Get<QComboBox>(IDC_PORT_LIST)->isEditable());
        QCOMPARE(Get<QComboBox>(IDC_PORT_LIST)->count(), 0);
        QVERIFY(m_pWindow->Control(IDC_RAW_PATH)->hasFocus());
    }

    void windowFrameTitleAndStaticTexts() {
        QCOMPARE(m_pWindow->windowTitle(),
                 QStringLiteral("Vendrimax QM-900 Ostrello v0.3(1003231)"));
        QCOMPARE(m_pWindow->minimumSize(), m_pWindow->maximumSize());
        const Qt::WindowFlags flags = m_pWindow->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!m_pWindow->windowIcon().isNull());

        // 366 by 332 dialog units of a 13-pixel font: wider than high, at a sane size.
        QVERIFY(m_pWindow->width() > 500 && m_pWindow->width() < 800);
        QVERIFY(m_pWindow->height() > 450 && m_pWindow->height() < 750);

        QStringList frames;
        for (auto* p : m_pWindow->findChildren<QGroupBox*>()) frames << p->title();
        frames.sort();
        QCOMPARE(frames, (QStringList{"Com Port", "Config", "Raw Data", "Translate Format"}));
        QStringList labels;
        for (auto* p : m_pWindow->findChildren<QLabel*>()) {
            if (!p->property("controlId").isValid()) labels << p->text();
        }
        labels.sort();
        QCOMPARE(labels, (QStringList{"(0~4Giga m,0=disable)", "(0~65535 sec,0=disable)",
                                      "(O2) Datalogger interval:", "(OH) Datalogger distance:",
                                      "From", "From", "Records", "Time Zone", "To"}));
        // Frames lie behind the controls: a click inside one reaches the control.
        QWidget* pAt = m_pWindow->childAt(Get<QPushButton>(IDC_TRANSLATE)->geometry().center());
        QCOMPARE(pAt, m_pWindow->Control(IDC_TRANSLATE));
    }

    void radioClicksReachTheirHandlers() {
        QTest::mouseClick(Get<QRadioButton>(IDC_BY_SIZE), Qt::LeftButton);
        QCOMPARE(m_pDlg->m_nSelectMode, 1);
        QVERIFY(!Get<QRadioButton>(IDC_BY_TIME)->isChecked());
        QTest::mouseClick(Get<QRadioButton>(IDC_ALL), Qt::LeftButton);
        QCOMPARE(m_pDlg->m_nSelectMode, 2);
        QVERIFY(Get<QRadioButton>(IDC_ALL)->isChecked());
        QVERIFY(!Get<QRadioButton>(IDC_BY_SIZE)->isChecked());
        QTest::mouseClick(Get<QRadioButton>(IDC_BY_TIME), Qt::LeftButton);
        QCOMPARE(m_pDlg->m_nSelectMode, 0);
        QVERIFY(m_pWindow->Control(IDC_TIME_FROM_DATE)->isEnabled());
    }

    void translateClickWithoutRecords() {
        QStringList boxes;
        ModalScript script({CloseBox(boxes)});
        QTest::mouseClick(Get<QPushButton>(IDC_TRANSLATE), Qt::LeftButton);
        QVERIFY(script.Done());
        QCOMPARE(script.Unexpected(), QStringList());
        QCOMPARE(boxes, QStringList{"No raw data available."});
    }

    void openFileCancelledThenChosen() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TrackGeneratorOptions options;
        options.nRecords = 25;
        const std::vector<uint8_t> bytes = GenerateTrack(options);
        const QString path = dir.filePath(QStringLiteral("track.dlg"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        file.close();

        QStringList filters;
        QStringList boxes;
        {
            ModalScript script({PickFile(QString(), filters), CloseBox(boxes)});
            QTest::mouseClick(Get<QPushButton>(IDC_OPEN_FILE), Qt::LeftButton);
            QVERIFY(WaitFor([&] { return script.Done(); }));
        }
        QCOMPARE(boxes, QStringList{"Can't open raw data file."});
        QCOMPARE(filters, QStringList{"Data logger file(*.dlg) (*.dlg)|All Files(*.*) (*)"});

        {
            ModalScript script({PickFile(path, filters)});
            QTest::mouseClick(Get<QPushButton>(IDC_OPEN_FILE), Qt::LeftButton);
            QVERIFY(script.Done());
            QCOMPARE(script.Unexpected(), QStringList());
        }
        QCOMPARE(Get<QLineEdit>(IDC_RAW_PATH)->text(), path);
        QVERIFY(m_pDlg->m_RawLog.m_pRawData);
        QCOMPARE(Get<QLabel>(IDC_SIZE_LABEL)->text(), QStringLiteral("Size(Record): 25"));
        QVERIFY(Get<QLabel>(IDC_TIME_LABEL)->isVisible());
        // Record time 0 at GMT+8:00.
        QCOMPARE(Get<QDateEdit>(IDC_TIME_FROM_DATE)->date(), QDate(2000, 1, 1));
        QCOMPARE(Get<QTimeEdit>(IDC_TIME_FROM_TIME)->time(), QTime(8, 0, 0));
        QCOMPARE(Get<QTimeEdit>(IDC_TIME_TO_TIME)->time(), QTime(8, 2, 0));

        // Translate into a name without extension: the default one is added.
        const QString out = dir.filePath(QStringLiteral("out"));
        {
            ModalScript script({PickFile(out, filters), CloseBox(boxes)});
            QTest::mouseClick(Get<QPushButton>(IDC_TRANSLATE), Qt::LeftButton);
            QVERIFY(script.Done());
            QCOMPARE(script.Unexpected(), QStringList());
        }
        QVERIFY(boxes.last().startsWith(QStringLiteral("Translate OK.\n\n25 of 25 records")));
        QCOMPARE(Get<QLineEdit>(IDC_OUT_PATH)->text(), out + QStringLiteral(".kml"));
        QVERIFY(QFile::exists(out + QStringLiteral(".kml")));
    }

    void loggerButtonsWithoutAPort() {
        // Open/Close fails silently; GET and DELETE try to open and then say why they cannot.
        QTest::mouseClick(Get<QPushButton>(IDC_OPEN_CLOSE), Qt::LeftButton);
        QVERIFY(!QApplication::activeModalWidget());
        for (int nId : {IDC_GET_DATA, IDC_DELETE}) {
            QStringList boxes;
            ModalScript script({CloseBox(boxes)});
            QTest::mouseClick(Get<QPushButton>(nId), Qt::LeftButton);
            QCOMPARE(boxes.size(), 1);
            QVERIFY2(
                boxes[0].startsWith(QStringLiteral("Can't open COM port. Action cancelled.\n\n")),
                qPrintable(boxes[0]));
            QCOMPARE(script.Unexpected(), QStringList());
        }
        QVERIFY(m_pWindow->isVisible());
    }

    void downloadFromTheSimulatedLogger() {
        TrackGeneratorOptions options;
        options.nRecords = 600;
        options.nSeed = 3;
        SimLogger logger(GenerateTrack(options));
        SimRunner runner(logger, 230400, false);
        std::string strError;
        QVERIFY2(runner.Open(strError), strError.c_str());
        QVERIFY(runner.Start());
        *m_pPorts = {{runner.PortPath(), "simulated logger"}};
        m_pDlg->ScanComPorts();
        QCOMPARE(Get<QComboBox>(IDC_PORT_LIST)->currentText(),
                 QString::fromStdString(runner.PortPath()));

        QTest::mouseClick(Get<QPushButton>(IDC_OPEN_CLOSE), Qt::LeftButton);
        QCOMPARE(m_pDlg->m_bPortOpened, 1);
        QVERIFY(!Get<QComboBox>(IDC_PORT_LIST)->isEnabled());
        QVERIFY(Get<QPushButton>(IDC_LOAD_CONFIG)->isEnabled());

        std::vector<int> values;
        auto* pBar = Get<QProgressBar>(IDC_PROGRESS);
        connect(pBar, &QProgressBar::valueChanged, this, [&](int v) { values.push_back(v); });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("track.dlg"));
        QStringList filters;
        QStringList boxes;
        ModalScript script({PickFile(path, filters), CloseBox(boxes)});
        QTest::mouseClick(Get<QPushButton>(IDC_GET_DATA), Qt::LeftButton);
        QVERIFY(WaitFor([&] { return script.Done() && !QApplication::activeModalWidget(); }));
        QCOMPARE(script.Unexpected(), QStringList());
        QCOMPARE(filters, QStringList{QStringLiteral("Data logger file(*.dlg) (*.dlg)")});
        QCOMPARE(boxes, QStringList{QStringLiteral("Download OK.")});

        // The bar went up through the download, not straight to its end.
        QVERIFY(std::any_of(values.begin(), values.end(),
                            [&](int v) { return v > pBar->minimum() && v < pBar->maximum(); }));
        QVERIFY(std::is_sorted(values.begin() + 1, values.end()));
        // The new file is loaded: its labels are shown, the bar hidden, the buttons back.
        QVERIFY(!pBar->isVisible());
        QVERIFY(Get<QLabel>(IDC_SIZE_LABEL)->isVisible());
        QVERIFY(Get<QLabel>(IDC_TIME_LABEL)->isVisible());
        QCOMPARE(Get<QLabel>(IDC_SIZE_LABEL)->text(), QString::fromStdString(FormatSizeLabel(600)));
        QCOMPARE(Get<QPushButton>(IDC_GET_DATA)->text(), QStringLiteral("GET data from device"));
        QVERIFY(Get<QPushButton>(IDC_OPEN_CLOSE)->isEnabled());
        QCOMPARE(m_pDlg->m_RawLog.m_nRecordCount, 600u);
        // The logger's lines are listed without their line ends, the newest selected.
        auto* pList = Get<QListWidget>(IDC_LOG_LIST);
        QVERIFY(!pList->findItems(QStringLiteral("dataCount=600"), Qt::MatchExactly).isEmpty());
        QCOMPARE(pList->currentRow(), pList->count() - 1);

        QTest::mouseClick(Get<QPushButton>(IDC_OPEN_CLOSE), Qt::LeftButton);
        QCOMPARE(m_pDlg->m_hComPort.load(), kInvalidPortHandle);
        QVERIFY(Get<QComboBox>(IDC_PORT_LIST)->isEnabled());
    }

    void escapeWithTheLoggerOpenStopsTheWorkerFirst() {
        SimLogger logger(std::vector<uint8_t>{});
        SimRunner runner(logger, 230400, false);
        std::string strError;
        QVERIFY2(runner.Open(strError), strError.c_str());
        QVERIFY(runner.Start());
        *m_pPorts = {{runner.PortPath(), ""}};
        m_pDlg->ScanComPorts();
        QTest::mouseClick(Get<QPushButton>(IDC_OPEN_CLOSE), Qt::LeftButton);
        QVERIFY(m_pDlg->m_hComPort.load() != kInvalidPortHandle);
        QTest::keyClick(Get<QLineEdit>(IDC_RAW_PATH), Qt::Key_Escape);
        QCOMPARE(m_pDlg->m_hComPort.load(), kInvalidPortHandle);
        QCOMPARE(m_pDlg->m_bStopWorker.load(), 0);
        QVERIFY(!m_pWindow->isVisible());
        QCOMPARE(m_pWindow->result(), IDCANCEL);
    }

    void portsThatComeAndGoAreListed() {
        if (m_pWindow->WatchesDeviceEvents()) {
            QSKIP("udev reports real devices here; the polled watch is not in use");
        }
        QCOMPARE(Get<QComboBox>(IDC_PORT_LIST)->count(), 0);
        *m_pPorts = {{"/dev/ttyUSB0", ""}, {"/dev/ttyUSB1", ""}};
        QVERIFY(WaitFor([&] { return Get<QComboBox>(IDC_PORT_LIST)->count() == 2; }));
        QCOMPARE(Get<QComboBox>(IDC_PORT_LIST)->currentText(), QStringLiteral("/dev/ttyUSB1"));
        m_pPorts->clear();
        QVERIFY(WaitFor([&] { return Get<QComboBox>(IDC_PORT_LIST)->count() == 0; }));
        QCOMPARE(Get<QComboBox>(IDC_PORT_LIST)->currentText(), QString());
    }

    void enterDoesNotClose() {
        QTest::keyClick(Get<QLineEdit>(IDC_RAW_PATH), Qt::Key_Return);
        QTest::keyClick(Get<QLineEdit>(IDC_RECORDS), Qt::Key_Enter);
        QTest::keyClick(m_pWindow.get(), Qt::Key_Return);
        QVERIFY(m_pWindow->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void closeButtonGoesThroughTheCloseSteps() {
        SimLogger logger(std::vector<uint8_t>{});
        SimRunner runner(logger, 230400, false);
        std::string strError;
        QVERIFY2(runner.Open(strError), strError.c_str());
        QVERIFY(runner.Start());
        *m_pPorts = {{runner.PortPath(), ""}};
        m_pDlg->ScanComPorts();
        QTest::mouseClick(Get<QPushButton>(IDC_OPEN_CLOSE), Qt::LeftButton);
        QVERIFY(m_pDlg->m_hComPort.load() != kInvalidPortHandle);
        Get<QPushButton>(IDC_SET_CONFIG)->setEnabled(true);
        // The event itself is refused: the close steps end the window.
        (void)m_pWindow->close();
        QCOMPARE(m_pDlg->m_hComPort.load(), kInvalidPortHandle);
        QCOMPARE(m_pDlg->m_bStopWorker.load(), 0);
        QVERIFY(!Get<QPushButton>(IDC_SET_CONFIG)->isEnabled());
        QVERIFY(!m_pWindow->isVisible());
    }

    // The erase question is declined by Cancel, Escape and the box's close button alike; only OK
    // puts the erase sentence on the line.
    void deleteIsSentOnlyAfterOk() {
        SimLogger logger(std::vector<uint8_t>(40, 1));
        SimRunner runner(logger, 230400, false);
        std::string strError;
        QVERIFY2(runner.Open(strError), strError.c_str());
        QVERIFY(runner.Start());
        *m_pPorts = {{runner.PortPath(), ""}};
        m_pDlg->ScanComPorts();
        const auto answer = [](std::function<void(QMessageBox*)> act) -> ModalScript::Step {
            return [act](QWidget* p) {
                QMetaObject::invokeMethod(
                    p, [p, act] { act(qobject_cast<QMessageBox*>(p)); }, Qt::QueuedConnection);
            };
        };
        const std::vector<std::pair<const char*, ModalScript::Step>> refusals = {
            {"Cancel",
             answer([](QMessageBox* pBox) { pBox->button(QMessageBox::Cancel)->click(); })},
            {"Escape", answer([](QMessageBox* pBox) { QTest::keyClick(pBox, Qt::Key_Escape); })},
            {"close button", answer([](QMessageBox* pBox) { pBox->close(); })},
        };
        const auto erasures = [&runner] {
            return runner.WithLogger([](SimLogger& l) { return l.Erasures(); });
        };
        for (const auto& [pszHow, step] : refusals) {
            QStringList titles;
            ModalScript script({[&titles, step](QWidget* p) {
                auto* pBox = qobject_cast<QMessageBox*>(p);
                titles << (pBox ? pBox->text() : QStringLiteral("not a box"));
                QVERIFY(pBox && pBox->button(QMessageBox::Ok) && pBox->button(QMessageBox::Cancel));
                step(p);
            }});
            QTest::mouseClick(Get<QPushButton>(IDC_DELETE), Qt::LeftButton);
            QVERIFY2(WaitFor([&] { return script.Done() && !QApplication::activeModalWidget(); }),
                     pszHow);
            QCOMPARE(titles, QStringList{QStringLiteral("Delete data in device?")});
            QTest::qWait(300);
            QVERIFY2(erasures() == 0, pszHow);
        }
        ModalScript ok({answer([](QMessageBox* pBox) { pBox->button(QMessageBox::Ok)->click(); })});
        QTest::mouseClick(Get<QPushButton>(IDC_DELETE), Qt::LeftButton);
        QVERIFY(WaitFor([&] { return erasures() == 1; }));
    }

    void aboutFromTheContextMenu() {
        QAction* pAbout = nullptr;
        for (QAction* pAction : m_pWindow->actions()) {
            if (pAction->text() == QStringLiteral("&About Quorvel...")) pAbout = pAction;
        }
        QVERIFY(pAbout);
        QCOMPARE(m_pWindow->contextMenuPolicy(), Qt::ActionsContextMenu);
        QString title;
        QStringList lines;
        bool bLinesFit = true;
        ModalScript script({[&](QWidget* p) {
            title = p->windowTitle();
            for (auto* pLabel : p->findChildren<QLabel*>()) {
                if (pLabel->text().isEmpty()) continue;
                lines << pLabel->text();
                // The labels have a fixed size: text beyond it is cut off.
                bLinesFit = bLinesFit && pLabel->fontMetrics().horizontalAdvance(pLabel->text()) <=
                                             pLabel->width();
            }
            QMetaObject::invokeMethod(
                p, [p] { qobject_cast<QDialog*>(p)->accept(); }, Qt::QueuedConnection);
        }});
        pAbout->trigger();
        QVERIFY(script.Done());
        QCOMPARE(script.Unexpected(), QStringList());
        QCOMPARE(title, QStringLiteral("About Quorvel"));
        QCOMPARE(lines,
                 (QStringList{"Quorvel Version 1.0", "Release " QUORVEL_PROJECT_VERSION
                                                     ", Copyright (C) The Quorvel developers"}));
        QVERIFY(bLinesFit);
    }

    void notificationsFromAThreadWhileABoxIsOpen() {
        Get<QPushButton>(IDC_TRANSLATE)->setEnabled(false);
        Get<QPushButton>(IDC_GET_DATA)->setText(QStringLiteral("Cancel"));
        int nMostBoxes = 0;
        QStringList boxes;
        // Close a box only once the second one is open (or it is clear that it will not come).
        int nTicks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            int nOpen = 0;
            for (QWidget* p : QApplication::topLevelWidgets()) {
                if (qobject_cast<QMessageBox*>(p) && p->isVisible()) ++nOpen;
            }
            nMostBoxes = std::max(nMostBoxes, nOpen);
            if (nOpen == 0 || (nOpen < 2 && boxes.isEmpty() && ++nTicks < 500)) return;
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox) return;
            boxes << pBox->text();
            pBox->done(QMessageBox::Ok);
        });
        timer.start(10);

        std::thread worker([this] {
            m_pWindow->PostWindowMessage(WM_DOWNLOAD_PROGRESS, 100, 0);
            m_pWindow->PostWindowMessage(WM_DOWNLOAD_PROGRESS, 100, 40);
            m_pWindow->PostWindowMessage(WM_DOWNLOAD_DONE, DR_ABORTED, 0);
            m_pWindow->PostWindowMessage(WM_DOWNLOAD_DONE, DR_ABORTED, 0);
        });
        worker.join();
        QVERIFY(WaitFor([&] { return boxes.size() == 2 && !QApplication::activeModalWidget(); }));
        QCOMPARE(nMostBoxes, 2);
        QCOMPARE(boxes, (QStringList{"Abort download process.", "Abort download process."}));
        QCOMPARE(Get<QLabel>(IDC_SIZE_LABEL)->text(), QStringLiteral("40 / 100"));
        QCOMPARE(Get<QProgressBar>(IDC_PROGRESS)->value(), 40);
        QVERIFY(!Get<QProgressBar>(IDC_PROGRESS)->isVisible());
        QVERIFY(Get<QPushButton>(IDC_TRANSLATE)->isEnabled());
        QCOMPARE(Get<QPushButton>(IDC_GET_DATA)->text(), QStringLiteral("GET data from device"));
    }

    void progressBeyondTheToolkitsRange() {
        m_pWindow->SetProgressRange(IDC_PROGRESS, 0, 4000000000u);
        m_pWindow->SetProgressPosition(IDC_PROGRESS, 3000000000u);
        auto* pBar = Get<QProgressBar>(IDC_PROGRESS);
        QVERIFY(pBar->maximum() > 0);
        const double fraction = double(pBar->value()) / pBar->maximum();
        QVERIFY(fraction > 0.74 && fraction < 0.76);
    }

    void typedTimeZone() {
        auto* pZone = Get<QComboBox>(IDC_TIME_ZONE);
        pZone->setCurrentIndex(24);
        QCOMPARE(m_pDlg->GetTimeZone().OffsetAt(0), 0);
        pZone->lineEdit()->clear();
        QTest::keyClicks(pZone->lineEdit(), QStringLiteral("GMT+5:45"));
        QCOMPARE(m_pDlg->GetTimeZone().OffsetAt(0), 20700);
        pZone->lineEdit()->clear();
        QTest::keyClicks(pZone->lineEdit(), QStringLiteral("Kathmandu"));
        QCOMPARE(m_pDlg->GetTimeZone().OffsetAt(0), 0);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
