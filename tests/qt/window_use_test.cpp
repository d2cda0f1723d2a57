// The window as people use it, in the real Qt window offscreen: the track view's pictures, the
// Save dialog's file type, drops, Enter on a button, boxes as wide as their titles, remembered
// choices, a typed zone moving the pickers, and stable port names.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/qt/QtSettingsStore.h"
#include "app/qt/QuorvelWindow.h"
#include "app/qt/TrackViewWindow.h"
#include "common/TrackPictures.h"

namespace {

// Runs act on the next modal window (other than pNot) once it is up, while the caller's click
// waits in its loop.
void OnNextModal(std::function<void(QWidget*)> act, QWidget* pNot = nullptr) {
    auto* pTimer = new QTimer;
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, act, pNot] {
        if (QWidget* p = QApplication::activeModalWidget(); p && p != pNot) {
            pTimer->deleteLater();
            pTimer->stop();
            act(p);
        }
    });
    pTimer->start(10);
}

void CloseModal(QWidget* p) {
    QMetaObject::invokeMethod(
        p, [p] { qobject_cast<QDialog*>(p)->done(0); }, Qt::QueuedConnection);
}

}  // namespace

class WindowUseTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QuorvelWindow> m_pWindow;
    std::unique_ptr<CQuorvelDlg> m_pDlg;
    std::unique_ptr<QtSettingsStore> m_pStore;

    template <typename T>
    T* Get(int nId) {
        return qobject_cast<T*>(m_pWindow->Control(nId));
    }
    QString WriteLog(const QString& name, const std::vector<FixRecord>& records) {
        QByteArray bytes(qsizetype(records.size() * kFixRecordSize), '\0');
        for (size_t i = 0; i < records.size(); ++i) {
            EncodeFixRecord(records[i],
                            reinterpret_cast<uint8_t*>(bytes.data()) + i * kFixRecordSize);
        }
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
        return file.fileName();
    }
    void Start() {
        m_pWindow = std::make_unique<QuorvelWindow>();
        m_pDlg = std::make_unique<CQuorvelDlg>(*m_pWindow, [] {
            return std::vector<SerialPortInfo>{
                {"/dev/ttyUSB0", "", "/dev/serial/by-id/usb-A1-port0"}};
        });
        m_pStore = std::make_unique<QtSettingsStore>(m_dir.filePath(QStringLiteral("q.conf")));
        m_pDlg->SetSettingsStore(m_pStore.get());
        m_pWindow->SetHandler(m_pDlg.get());
        m_pWindow->Start();
        (void)QTest::qWaitForWindowActive(m_pWindow.get());
    }
    void Stop() {
        m_pWindow->SetHandler(nullptr);
        m_pDlg.reset();
        m_pWindow.reset();
        m_pStore.reset();
    }

  private slots:
    void init() { Start(); }
    void cleanup() { Stop(); }

    void trackViewPictures() {
        QTest::mouseClick(Get<QRadioButton>(IDC_ALL), Qt::LeftButton);
        QTest::mouseClick(m_pWindow->Control(IDC_DROP_NOFIX), Qt::LeftButton);
        QVERIFY(!Get<QPushButton>(IDC_TRACK_VIEW)->isEnabled());
        for (const track_pictures::Case& c : track_pictures::KnownTracks()) {
            QVERIFY(
                m_pDlg->OpenRawLogPath(WriteLog(QStringLiteral("t.dlg"), c.records).toStdString()));
            // Ctrl+T opens it; later loads redraw the open view.
            if (!m_pWindow->TrackView())
                QTest::keyClick(m_pWindow.get(), Qt::Key_T, Qt::ControlModifier);
            TrackViewWindow* pView = m_pWindow->TrackView();
            QVERIFY(pView && pView->isVisible());
            pView->resize(700, 560);
            const QImage image = pView->grab().toImage();
            const std::string strProblem = track_pictures::CheckPicture(
                c, pView->Plot().MapRect(), pView->Plot().TrackArea(), [&](int x, int y) {
                    const QRgb rgb = image.pixel(x, y);
                    return PlotColor{uint8_t(qRed(rgb)), uint8_t(qGreen(rgb)), uint8_t(qBlue(rgb))};
                });
            QVERIFY2(strProblem.empty(), (std::string(c.pszName) + ": " + strProblem).c_str());
        }
        // The pointer on the single fix shows it in the window's zone (GMT+8:00).
        m_pDlg->OpenRawLogPath(
            WriteLog(QStringLiteral("one.dlg"), {track_pictures::At(1, 2, 2, 0)}).toStdString());
        TrackViewWindow* pView = m_pWindow->TrackView();
        const PlotRect area = pView->Plot().TrackArea();
        const QPointF at(area.x + area.cx / 2, area.y + area.cy / 2);
        QMouseEvent move(QEvent::MouseMove, at, pView->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(pView, &move);
        QVERIFY(pView->HoveredRecord() == 0u);
        QCOMPARE(QString::fromStdString(pView->Plot().HoverText(0)),
                 QStringLiteral("Record 1: 2019-01-05 18:40:00, 0.00 km/h, 8 satellites"));
    }

    void trackViewFollowsTheBoxes() {
        std::vector<FixRecord> records;
        for (uint32_t i = 0; i < 20; ++i) records.push_back(track_pictures::At(1, 0.001 * i, 2, i));
        m_pDlg->OpenRawLogPath(WriteLog(QStringLiteral("r.dlg"), records).toStdString());
        QTest::mouseClick(Get<QPushButton>(IDC_TRACK_VIEW), Qt::LeftButton);
        QCOMPARE(m_pWindow->TrackView()->Plot().SelectedCount(), 20u);
        QTest::mouseClick(Get<QRadioButton>(IDC_BY_SIZE), Qt::LeftButton);
        QTest::keyClicks(Get<QLineEdit>(IDC_RECORDS), QStringLiteral("5"));
        QCOMPARE(m_pWindow->TrackView()->Plot().SelectedCount(), 5u);
        // A zone typed in the box moves the pickers: the same instants, shown in GMT.
        auto* pZone = Get<QComboBox>(IDC_TIME_ZONE);
        pZone->lineEdit()->selectAll();
        QTest::keyClicks(pZone->lineEdit(), QStringLiteral("GMT+0:00"));
        QCOMPARE(Get<QTimeEdit>(IDC_SIZE_FROM_TIME)->time(), QTime(10, 40, 0));
        QCOMPARE(m_pWindow->TrackView()->Plot().SelectedCount(), 5u);
    }

    // The file type chosen decides the extension of a name typed without one, and the writer.
    void fileTypeDecidesExtensionAndWriter() {
        m_pDlg->OpenRawLogPath(
            WriteLog(QStringLiteral("walk.dlg"), {track_pictures::At(1, 2, 2, 0)}).toStdString());
        const struct {
            int nDown;  // presses of the down arrow in the file type box
            const char* pszSwapped;
            const char* pszFile;
            QByteArray content;
        } rows[] = {{1, "walk.csv", "out.csv", "Local time,GPS time,"},
                    {2, "walk.kml", "out.kml", "<gx:Track>"}};
        for (const auto& row : rows) {
            QString proposed, swapped;
            OnNextModal([&](QWidget* p) {
                auto* pDialog = qobject_cast<QFileDialog*>(p);
                auto* pName = pDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                auto* pType = pDialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                proposed = pName->text();
                for (int i = 0; i < row.nDown; ++i) QTest::keyClick(pType, Qt::Key_Down);
                swapped = pName->text();
                pName->setText(QStringLiteral("out"));
                OnNextModal(CloseModal, pDialog);  // "Translate OK."
                QMetaObject::invokeMethod(
                    pDialog, [pDialog] { static_cast<QDialog*>(pDialog)->accept(); },
                    Qt::QueuedConnection);
            });
            QTest::mouseClick(Get<QPushButton>(IDC_TRANSLATE), Qt::LeftButton);
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QCOMPARE(proposed, QStringLiteral("walk.kml"));
            QCOMPARE(swapped, QString::fromLatin1(row.pszSwapped));
            QFile out(m_dir.filePath(QString::fromLatin1(row.pszFile)));
            QVERIFY2(out.open(QIODevice::ReadOnly), row.pszFile);
            QVERIFY2(out.readAll().contains(row.content), row.pszFile);
        }
    }

    void dropOnTheWindowOpens() {
        const QString path = WriteLog(QStringLiteral("drop.dlg"), {track_pictures::At(1, 2, 2, 0)});
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QWidget* pTarget = m_pWindow->Control(IDC_RAW_PATH);  // on the path box, too
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pTarget, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pTarget, &drop);
        QCOMPARE(Get<QLineEdit>(IDC_RAW_PATH)->text(), path);
        QCOMPARE(m_pDlg->m_RawLog.m_nRecordCount, 1u);
    }

    void enterPressesTheFocusedButtonAndBoxesFitTheirTitles() {
        QTest::keyClick(Get<QLineEdit>(IDC_RAW_PATH), Qt::Key_Return);
        QVERIFY(!QApplication::activeModalWidget());
        int nWidth = 0, nTitle = 0;
        OnNextModal([&](QWidget* p) {
            QFont bold = p->font();
            bold.setBold(true);
            const QFontMetrics metrics(bold);
            // The title and the frame's buttons, a square of the title's height each.
            nTitle = metrics.horizontalAdvance(p->windowTitle()) + 3 * metrics.height();
            nWidth = p->width();
            CloseModal(p);
        });
        Get<QPushButton>(IDC_TRANSLATE)->setFocus();
        QTest::keyClick(Get<QPushButton>(IDC_TRANSLATE),
                        Qt::Key_Return);  // "No raw data available."
        QVERIFY(nWidth > 0);
        QVERIFY2(nWidth >= nTitle, qPrintable(QString("%1 < %2").arg(nWidth).arg(nTitle)));
    }

    void choicesAndStablePortNamesAfterARestart() {
        auto* pPort = Get<QComboBox>(IDC_PORT_LIST);
        QCOMPARE(pPort->currentText(), QStringLiteral("/dev/serial/by-id/usb-A1-port0"));
        QCOMPARE(pPort->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB0"));
        Get<QComboBox>(IDC_BAUD_LIST)->setCurrentIndex(0);
        QTest::mouseClick(Get<QRadioButton>(IDC_BY_SIZE), Qt::LeftButton);
        Get<QComboBox>(IDC_TIME_ZONE)->setCurrentIndex(24);
        (void)m_pWindow->close();
        QSettings saved(m_dir.filePath(QStringLiteral("q.conf")), QSettings::IniFormat);
        QCOMPARE(saved.value(QStringLiteral("Window/Speed")).toString(), QStringLiteral("4800"));
        Stop();
        Start();
        QCOMPARE(Get<QComboBox>(IDC_BAUD_LIST)->currentText(), QStringLiteral("4800"));
        QCOMPARE(Get<QComboBox>(IDC_TIME_ZONE)->currentText(), QStringLiteral("GMT+0:00"));
        QVERIFY(Get<QRadioButton>(IDC_BY_SIZE)->isChecked());
        QCOMPARE(m_pDlg->m_nSelectMode, 1);
    }
};

QTEST_MAIN(WindowUseTest)
#include "window_use_test.moc"
