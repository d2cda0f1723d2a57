// The window as people use it, in the real Qt window offscreen: the track view's pictures, the
// Save dialog's file type, drops, Enter on a button, boxes as wide as their titles, remembered
// choices, a typed zone moving the pickers, and stable port names.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <tuple>

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
    // Writes a raw log (one fix by default) and opens it as OPEN existing file does.
    QString Open(const QString& name,
                 const std::vector<FixRecord>& records = {track_pictures::At(1, 2, 2, 0)}) {
        QByteArray bytes(qsizetype(records.size() * kFixRecordSize), '\0');
        for (size_t i = 0; i < records.size(); ++i) {
            EncodeFixRecord(records[i],
                            reinterpret_cast<uint8_t*>(bytes.data()) + i * kFixRecordSize);
        }
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
        file.close();
        (void)m_pDlg->OpenRawLogPath(file.fileName().toStdString());
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
        for (const track_pictures::Case& c : track_pictures::KnownTracks()) {
            QVERIFY(!Open(QStringLiteral("t.dlg"), c.records).isEmpty());
            // Ctrl+T opens it; later loads redraw the open view.
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
        // The pointer on the single fix shows it in the window's zone (GMT+8:00).
        Open(QStringLiteral("one.dlg"));
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
        Open(QStringLiteral("r.dlg"), records);
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
    }

    // The file type chosen decides the extension of a name typed without one, and the writer.
    void fileTypeDecidesExtensionAndWriter() {
        Open(QStringLiteral("walk.dlg"));
        // Presses of the down arrow in the file type box, the name then, the file, its content.
        for (const auto& [nDown, pszSwapped, pszFile, pszContent] :
             {std::tuple{1, "walk.csv", "out.csv", "Local time,GPS time,"},
              std::tuple{2, "walk.kml", "out.kml", "<gx:Track>"}}) {
            QString proposed, swapped;
            OnNextModal([&](QWidget* p) {
                auto* pDialog = qobject_cast<QFileDialog*>(p);
                auto* pName = pDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                auto* pType = pDialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                proposed = pName->text();
                for (int i = 0; i < nDown; ++i) QTest::keyClick(pType, Qt::Key_Down);
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
            QCOMPARE(swapped, QString::fromLatin1(pszSwapped));
            QFile out(m_dir.filePath(QString::fromLatin1(pszFile)));
            QVERIFY2(out.open(QIODevice::ReadOnly), pszFile);
            QVERIFY2(out.readAll().contains(pszContent), pszFile);
        }
    }

    // Enter presses a focused button, nothing elsewhere; a box is as wide as its title and the
    // frame's buttons (a square of the title's height each); a file dropped on the path box opens.
    void enterBoxWidthAndDrop() {
        QTest::keyClick(Get<QLineEdit>(IDC_RAW_PATH), Qt::Key_Return);
        QVERIFY(!QApplication::activeModalWidget());
        int nWidth = 0, nTitle = 0;
        OnNextModal([&](QWidget* p) {
            QFont bold = p->font();
            bold.setBold(true);
            nTitle = QFontMetrics(bold).horizontalAdvance(p->windowTitle()) +
                     3 * QFontMetrics(bold).height();
            nWidth = p->width();
            CloseModal(p);
        });
        Get<QPushButton>(IDC_TRANSLATE)->setFocus();  // "No raw data available."
        QTest::keyClick(Get<QPushButton>(IDC_TRANSLATE), Qt::Key_Return);
        QVERIFY2(nWidth >= nTitle, qPrintable(QString("%1 < %2").arg(nWidth).arg(nTitle)));

        const QString path = Open(QStringLiteral("drop.dlg"));
        Get<QLineEdit>(IDC_RAW_PATH)->clear();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QWidget* pTarget = m_pWindow->Control(IDC_RAW_PATH);
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pTarget, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pTarget, &drop);
        QVERIFY(enter.isAccepted());
        QCOMPARE(Get<QLineEdit>(IDC_RAW_PATH)->text(), path);
    }

    // Nothing remembered: the written start state; what the user set comes back after a restart.
    void choicesAndStablePortNamesAfterARestart() {
        auto* pPort = Get<QComboBox>(IDC_PORT_LIST);
        QCOMPARE(pPort->currentText(), QStringLiteral("/dev/serial/by-id/usb-A1-port0"));
        QCOMPARE(pPort->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(Get<QComboBox>(IDC_BAUD_LIST)->currentText(), QStringLiteral("115200"));
        QCOMPARE(Get<QComboBox>(IDC_TIME_ZONE)->currentText(), QStringLiteral("GMT+8:00"));
        Get<QComboBox>(IDC_BAUD_LIST)->setCurrentIndex(0);
        Get<QComboBox>(IDC_TIME_ZONE)->setEditText(QStringLiteral("Europe/Berlin"));
        QTest::mouseClick(Get<QRadioButton>(IDC_ALL), Qt::LeftButton);
        QTest::mouseClick(m_pWindow->Control(IDC_DROP_NOFIX), Qt::LeftButton);
        const QString log = Open(QStringLiteral("a.dlg"));
        (void)m_pWindow->close();
        Stop();
        Start();
        QCOMPARE(Get<QComboBox>(IDC_BAUD_LIST)->currentText(), QStringLiteral("4800"));
        QCOMPARE(Get<QComboBox>(IDC_TIME_ZONE)->currentText(), QStringLiteral("Europe/Berlin"));
        QCOMPARE(m_pDlg->GetTimeZone().DisplayName(), std::string("Europe/Berlin"));
        QVERIFY(Get<QRadioButton>(IDC_ALL)->isChecked() &&
                !Get<QRadioButton>(IDC_BY_TIME)->isChecked());
        QCOMPARE(m_pDlg->m_nSelectMode, 2);
        QVERIFY(!Get<QCheckBox>(IDC_DROP_NOFIX)->isChecked());
        QString folder;
        OnNextModal([&](QWidget* p) {
            folder = qobject_cast<QFileDialog*>(p)->directory().absolutePath();
            OnNextModal(CloseModal, p);  // "Can't open raw data file."
            CloseModal(p);
        });
        QTest::mouseClick(Get<QPushButton>(IDC_OPEN_FILE), Qt::LeftButton);
        QCOMPARE(folder, QFileInfo(log).absolutePath());
    }
};

QTEST_MAIN(WindowUseTest)
#include "window_use_test.moc"
