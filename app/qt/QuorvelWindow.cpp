#include "QuorvelWindow.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QSpacerItem>
#include <QStyledItemDelegate>
#include <QTimeEdit>
#include <QTimer>
#include <QUrl>
#include <QtGlobal>
#include <climits>

#include "AboutDlg.h"
#ifdef QUORVEL_HAVE_GEOTAG
#include "GeotagDialog.h"
#endif
#include "TrackViewWindow.h"
#include "app/DialogLayout.h"
#include "app/Resource.h"

namespace {

// Window font size in pixels: 10 points at 96 dots per inch, as the layout was drawn.
constexpr int kWindowFontPixels = 13;
// The part of a combo box's layout height that is its closed field.
constexpr int kComboFieldHeight = 12;

QString ToQString(const std::string& str) {
    return QString::fromUtf8(str.data(), qsizetype(str.size()));
}
std::string ToStdString(const QString& str) {
    return str.toStdString();
}

QFont WindowFont() {
    // Where Arial is missing, the metric-compatible Liberation Sans keeps the layout's proportions.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont font(QString::fromLatin1(MainWindowLayout().pszFontName));
    font.setPixelSize(kWindowFontPixels);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

// A four-digit year whatever the locale's short format abbreviates.
QString ShortDateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

// A group frame drawn the way the layout was designed: a thin etched box whose title sits on its
// top line, so the controls placed just below that line stay clear of the title.
class GroupFrame final : public QGroupBox {
  public:
    GroupFrame(const QString& title, QWidget* pParent) : QGroupBox(title, pParent) {}

  protected:
    void paintEvent(QPaintEvent* /*pEvent*/) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect box = rect().adjusted(0, metrics.height() / 2, -2, -2);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(box);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(box.translated(1, 1));
        const int nTextX = metrics.averageCharWidth() + 1;
        const QRect textRect(nTextX, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(textRect, palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textRect, Qt::AlignCenter, title());
    }
};

#ifdef QUORVEL_HAVE_GEOTAG
// Geotag photos..., in dialog units: under the time zone, in the row the layout keeps free there
// (its hidden Scan button's), above the Config frame.
constexpr QRect kGeotagButton(257, 33, 94, 11);
#endif

// The progress bar holds int; a 32-bit range is scaled down by this many bits.
constexpr char kProgressShift[] = "quorvelProgressShift";

// A list entry's note, drawn beside its text in the opened list.
constexpr int kNoteRole = Qt::UserRole + 1;

class NoteDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* pPainter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(pPainter, option, index);
        const QString note = index.data(kNoteRole).toString();
        if (note.isEmpty()) return;
        pPainter->save();
        const bool bSelected = (option.state & QStyle::State_Selected) != 0;
        pPainter->setPen(option.palette.color(bSelected ? QPalette::HighlightedText
                                                        : QPalette::PlaceholderText));
        pPainter->drawText(option.rect.adjusted(0, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter,
                           note);
        pPainter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QString note = index.data(kNoteRole).toString();
        if (!note.isEmpty()) size.rwidth() += option.fontMetrics.horizontalAdvance(note) + 24;
        return size;
    }
};

// The local files among dropped URLs.
QStringList LocalFiles(const QMimeData* pData) {
    QStringList files;
    if (!pData) return files;
    for (const QUrl& url : pData->urls()) {
        if (url.isLocalFile()) files << url.toLocalFile();
    }
    return files;
}

}  // namespace

// The icon lives in this static library's resources, which a program must register explicitly.
static void InitQuorvelResources() {
    Q_INIT_RESOURCE(quorvel);
}

QuorvelWindow::QuorvelWindow(QWidget* pParent)
    : QDialog(pParent), m_queue([this] {
          // One queued call per post; each takes one event, so modal loops keep the queue flowing.
          QMetaObject::invokeMethod(this, &QuorvelWindow::DispatchQueued, Qt::QueuedConnection);
      }) {
    InitQuorvelResources();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromLatin1(MainWindowLayout().pszTitle));
    setFont(WindowFont());

    // Dialog base units: the average width of the alphabet and the height of the font.
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_nBaseUnitX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    m_nBaseUnitY = metrics.height();

    BuildControls();
    const QPoint size = DialogUnitsToPixels(MainWindowLayout().cx, MainWindowLayout().cy);
    setFixedSize(size.x(), size.y());
    // A raw log dropped on the window opens as OPEN existing file would open it.
    setAcceptDrops(true);
    if (QWidget* pTrack = Control(IDC_TRACK_VIEW)) {
        pTrack->setToolTip(QStringLiteral("Show the loaded track (Ctrl+T)"));
    }
#ifdef QUORVEL_HAVE_GEOTAG
    // Beside the layout's controls; usable, like Track view, once a file is loaded.
    m_pGeotagButton = new QPushButton(QStringLiteral("Geotag photos..."), this);
    m_pGeotagButton->setAutoDefault(false);
    m_pGeotagButton->setToolTip(
        QStringLiteral("Write positions from the loaded track into photos (Ctrl+G)"));
    const QPoint at = DialogUnitsToPixels(kGeotagButton.x(), kGeotagButton.y());
    const QPoint extent = DialogUnitsToPixels(kGeotagButton.width(), kGeotagButton.height());
    m_pGeotagButton->setGeometry(at.x(), at.y(), extent.x(), extent.y());
    m_pGeotagButton->setEnabled(false);
    connect(m_pGeotagButton, &QPushButton::clicked, this, &QuorvelWindow::OpenGeotagDialog);
    auto* pShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
    connect(pShortcut, &QShortcut::activated, this, [this] {
        if (m_pGeotagButton->isEnabled()) OpenGeotagDialog();
    });
#endif
}

void QuorvelWindow::OpenGeotagDialog() {
#ifdef QUORVEL_HAVE_GEOTAG
    if (m_pGeotag) {
        m_pGeotag->raise();
        m_pGeotag->activateWindow();
        return;
    }
    std::shared_ptr<const RawLogImage> pTrack = m_loadedTrack ? m_loadedTrack() : nullptr;
    if (!pTrack) return;
    auto* pDialog = new GeotagDialog(this, pTrack, ToQString(GetControlText(IDC_TIME_ZONE)));
    pDialog->setAttribute(Qt::WA_DeleteOnClose);
    pDialog->SetPinsReceiver(
        [this, pTrack](std::vector<PhotoPin> pins) { ShowPhotoPins(pTrack, std::move(pins)); });
    m_pGeotag = pDialog;
    pDialog->show();
#endif
}

void QuorvelWindow::ShowPhotoPins(std::shared_ptr<const RawLogImage> pTrack,
                                  std::vector<PhotoPin> pins) {
    m_pPinnedTrack = std::move(pTrack);
    m_photoPins = std::move(pins);
    ShowPinsInTrackView();
}

void QuorvelWindow::ShowPinsInTrackView() {
    if (!m_pTrackView) return;
    m_pTrackView->SetPhotoPins(
        m_pShownTrack && m_pShownTrack == m_pPinnedTrack ? m_photoPins : std::vector<PhotoPin>());
}

QuorvelWindow::~QuorvelWindow() = default;

QPoint QuorvelWindow::DialogUnitsToPixels(int x, int y) const {
    // Rounded like the platform's MulDiv.
    const auto scale = [](int v, int nBase, int nDiv) {
        return static_cast<int>((static_cast<long long>(v) * nBase + nDiv / 2) / nDiv);
    };
    return {scale(x, m_nBaseUnitX, 4), scale(y, m_nBaseUnitY, 8)};
}

QWidget* QuorvelWindow::MakeCombo(const ControlLayout& c) {
    auto* pCombo = new QComboBox(this);
    const bool bEditable = c.kind == ControlKind::EditableCombo;
    pCombo->setEditable(bEditable);
    if (bEditable) {
        pCombo->setInsertPolicy(QComboBox::NoInsert);
        pCombo->lineEdit()->setAcceptDrops(false);
    }
    pCombo->setItemDelegate(new NoteDelegate(pCombo));
    // The layout height is that of the opened list; show about as many rows.
    const int nRowPixels = QFontMetrics(font()).height() + 2;
    const int nListPixels = DialogUnitsToPixels(0, c.cy - kComboFieldHeight).y();
    pCombo->setMaxVisibleItems(qMax(1, nListPixels / nRowPixels));
    return pCombo;
}

QWidget* QuorvelWindow::MakePicker(ControlKind kind) {
    if (kind == ControlKind::DatePicker) {
        auto* pDate = new QDateEdit(QDate::currentDate(), this);
        pDate->setCalendarPopup(true);
        pDate->setDisplayFormat(ShortDateFormat());
        pDate->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return pDate;
    }
    auto* pTime = new QTimeEdit(QTime::currentTime(), this);
    pTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    pTime->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // Stepping past midnight wraps round, as a time-of-day field does.
    pTime->setWrapping(true);
    return pTime;
}

QWidget* QuorvelWindow::MakeControl(const ControlLayout& c) {
    const QString text = QString::fromLatin1(c.pszText);
    switch (c.kind) {
        case ControlKind::Edit: {
            auto* pEdit = new QLineEdit(text, this);
            // A file dropped anywhere on the window opens it, the path boxes included.
            pEdit->setAcceptDrops(false);
            return pEdit;
        }
        case ControlKind::EditableCombo:
        case ControlKind::DropListCombo:
            return MakeCombo(c);
        case ControlKind::PushButton: {
            auto* pButton = new QPushButton(text, this);
            // No default button: Enter must not press one.
            pButton->setAutoDefault(false);
            pButton->setDefault(false);
            return pButton;
        }
        case ControlKind::RadioButton: {
            auto* pRadio = new QRadioButton(text, this);
            pRadio->setFocusPolicy(Qt::ClickFocus);
            return pRadio;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(text, this);
        case ControlKind::Label:
            return new QLabel(text, this);
        case ControlKind::GroupFrame: {
            auto* pFrame = new GroupFrame(text, this);
            // A frame is drawn behind the controls it surrounds and never takes their clicks.
            pFrame->setAttribute(Qt::WA_TransparentForMouseEvents);
            pFrame->setFocusPolicy(Qt::NoFocus);
            return pFrame;
        }
        case ControlKind::ProgressBar: {
            auto* pBar = new QProgressBar(this);
            pBar->setTextVisible(false);
            pBar->setRange(0, 100);
            pBar->setValue(0);
            return pBar;
        }
        case ControlKind::DatePicker:
        case ControlKind::TimePicker:
            return MakePicker(c.kind);
        case ControlKind::ListBox: {
            auto* pList = new QListWidget(this);
            pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            pList->setSortingEnabled(false);
            return pList;
        }
    }
    return new QLabel(text, this);
}

void QuorvelWindow::PlaceControl(QWidget* pWidget, const ControlLayout& c) {
    // A combo box's layout height is that of its opened list; the field itself is one line.
    const bool bCombo =
        c.kind == ControlKind::EditableCombo || c.kind == ControlKind::DropListCombo;
    const QPoint pos = DialogUnitsToPixels(c.x, c.y);
    const QPoint size = DialogUnitsToPixels(c.cx, bCombo ? kComboFieldHeight + 1 : c.cy);
    pWidget->setGeometry(pos.x(), pos.y(), size.x(), size.y());
    pWidget->setEnabled(c.bEnabled);
    pWidget->setVisible(c.bVisible);
    if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
        pButton->setChecked(c.bChecked);
        if (c.kind == ControlKind::RadioButton || c.kind == ControlKind::CheckBox) {
            pButton->setCheckable(true);
            pButton->setChecked(c.bChecked);
        }
    }
    if (c.kind == ControlKind::GroupFrame) pWidget->lower();
}

void QuorvelWindow::BuildControls() {
    QWidget* pPrevious = nullptr;
    for (const ControlLayout& c : MainWindowControls()) {
        QWidget* pWidget = MakeControl(c);
        PlaceControl(pWidget, c);
        if (c.nId == IDC_STATIC) continue;
        pWidget->setProperty("controlId", c.nId);
        m_controls.insert(c.nId, pWidget);
        WatchChanges(pWidget, c.nId);
        if (pWidget->focusPolicy() != Qt::NoFocus && c.kind != ControlKind::Label) {
            if (pPrevious) setTabOrder(pPrevious, pWidget);
            pPrevious = pWidget;
        }
        if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
            const int nId = c.nId;
            connect(pButton, &QAbstractButton::clicked, this, [this, nId] {
                if (m_pHandler) (void)m_pHandler->OnCommand(nId);
            });
        }
    }
}

void QuorvelWindow::WatchChanges(QWidget* pWidget, int nId) {
    const auto Notify = [this, nId] {
        if (m_pHandler) m_pHandler->OnControlChange(nId);
    };
    // The view's own settings of these values block their signals: only the user's edits come.
    if (auto* pEdit = qobject_cast<QDateTimeEdit*>(pWidget)) {
        connect(pEdit, &QDateTimeEdit::dateTimeChanged, this, Notify);
    } else if (auto* pLine = qobject_cast<QLineEdit*>(pWidget)) {
        connect(pLine, &QLineEdit::textEdited, this, Notify);
    } else if (auto* pCombo = qobject_cast<QComboBox*>(pWidget)) {
        connect(pCombo, &QComboBox::currentIndexChanged, this, Notify);
        if (pCombo->isEditable()) connect(pCombo, &QComboBox::editTextChanged, this, Notify);
    }
}

void QuorvelWindow::Start() {
    if (m_pHandler) (void)m_pHandler->OnInitDialog();
    StartDeviceWatch();
    show();
    if (QWidget* pFirst = Control(IDC_RAW_PATH)) pFirst->setFocus(Qt::OtherFocusReason);
}

void QuorvelWindow::StartDeviceWatch() {
    if (!m_pDeviceWatch) m_pDeviceWatch = std::make_unique<DeviceWatch>();
    m_bDeviceEvents = m_pDeviceWatch->Start() && m_pDeviceWatch->Fd() >= 0;
    if (m_bDeviceEvents) {
        auto* pNotifier = new QSocketNotifier(m_pDeviceWatch->Fd(), QSocketNotifier::Read, this);
        connect(pNotifier, &QSocketNotifier::activated, this,
                [this] { DeliverDeviceEvents(m_pDeviceWatch->ReadEvents()); });
        return;
    }
    // No udev events here (a container, say): look at the ports now and then.
    auto* pTimer = new QTimer(this);
    connect(pTimer, &QTimer::timeout, this,
            [this] { DeliverDeviceEvents(m_pDeviceWatch->Poll()); });
    pTimer->start(DeviceWatch::kPollIntervalMs);
}

void QuorvelWindow::DeliverDeviceEvents(const std::vector<unsigned>& codes) {
    // Through the window's queue, like every other message, so the order with the worker's
    // notifications is kept.
    for (unsigned nCode : codes) m_queue.PostWindowMessage(WM_DEVICECHANGE, nCode, 0);
}

int QuorvelWindow::RunModal() {
    Start();
    return exec();
}

void QuorvelWindow::ShowControl(int nId, bool bShow) {
    if (QWidget* p = Control(nId)) p->setVisible(bShow);
}

void QuorvelWindow::EnableControl(int nId, bool bEnable) {
    if (QWidget* p = Control(nId)) p->setEnabled(bEnable);
    // Geotagging needs a loaded file, as the track view does.
    if (nId == IDC_TRACK_VIEW && m_pGeotagButton) m_pGeotagButton->setEnabled(bEnable);
}

void QuorvelWindow::SetControlText(int nId, const std::string& strText) {
    QWidget* p = Control(nId);
    const QString text = ToQString(strText);
    const QSignalBlocker blocker(p);
    if (auto* pEdit = qobject_cast<QLineEdit*>(p)) {
        pEdit->setText(text);
    } else if (auto* pCombo = qobject_cast<QComboBox*>(p)) {
        if (pCombo->isEditable()) {
            pCombo->setEditText(text);
        } else {
            pCombo->setCurrentText(text);
        }
    } else if (auto* pButton = qobject_cast<QAbstractButton*>(p)) {
        pButton->setText(text);
    } else if (auto* pLabel = qobject_cast<QLabel*>(p)) {
        pLabel->setText(text);
    }
}

std::string QuorvelWindow::GetControlText(int nId) const {
    QWidget* p = Control(nId);
    if (auto* pEdit = qobject_cast<QLineEdit*>(p)) return ToStdString(pEdit->text());
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) return ToStdString(pCombo->currentText());
    if (auto* pButton = qobject_cast<QAbstractButton*>(p)) return ToStdString(pButton->text());
    if (auto* pLabel = qobject_cast<QLabel*>(p)) return ToStdString(pLabel->text());
    return {};
}

void QuorvelWindow::SetCheck(int nId, bool bChecked) {
    auto* pButton = qobject_cast<QAbstractButton*>(Control(nId));
    if (!pButton || pButton->isChecked() == bChecked) return;
    // An exclusive radio button cannot be cleared directly.
    const bool bExclusive = pButton->autoExclusive();
    pButton->setAutoExclusive(false);
    pButton->setChecked(bChecked);
    pButton->setAutoExclusive(bExclusive);
}

bool QuorvelWindow::GetCheck(int nId) const {
    auto* pButton = qobject_cast<QAbstractButton*>(Control(nId));
    return pButton && pButton->isChecked();
}

void QuorvelWindow::ResetList(int nId) {
    QWidget* p = Control(nId);
    const QSignalBlocker blocker(p);
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) {
        pCombo->clear();
    } else if (auto* pList = qobject_cast<QListWidget*>(p)) {
        pList->clear();
    }
}

int QuorvelWindow::AddListEntry(int nId, const std::string& strText, int64_t nValue) {
    QWidget* p = Control(nId);
    const QSignalBlocker blocker(p);
    const QVariant value = QVariant::fromValue(static_cast<qlonglong>(nValue));
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) {
        // Adding selects nothing and keeps an editable box's text, as the platform's list does.
        const QString text = pCombo->currentText();
        const int nCurrent = pCombo->currentIndex();
        pCombo->addItem(ToQString(strText), value);
        if (pCombo->isEditable() && nCurrent < 0) {
            pCombo->setCurrentIndex(-1);
            pCombo->setEditText(text);
        }
        return pCombo->count() - 1;
    }
    if (auto* pList = qobject_cast<QListWidget*>(p)) {
        // A received line keeps its CR LF, which a list box shows as nothing; here it would make
        // the entry two lines tall.
        QString text = ToQString(strText);
        while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'))) text.chop(1);
        auto* pItem = new QListWidgetItem(text);
        pItem->setData(Qt::UserRole, value);
        pList->addItem(pItem);
        return pList->count() - 1;
    }
    return -1;
}

void QuorvelWindow::SelectListEntry(int nId, int nIndex) {
    QWidget* p = Control(nId);
    const QSignalBlocker blocker(p);
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) {
        pCombo->setCurrentIndex(nIndex);
    } else if (auto* pList = qobject_cast<QListWidget*>(p)) {
        pList->setCurrentRow(nIndex);
        if (QListWidgetItem* pItem = pList->item(nIndex)) pList->scrollToItem(pItem);
    }
}

std::optional<int64_t> QuorvelWindow::GetSelectedListValue(int nId) const {
    QWidget* p = Control(nId);
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) {
        if (pCombo->currentIndex() < 0) return std::nullopt;
        return pCombo->currentData().toLongLong();
    }
    if (auto* pList = qobject_cast<QListWidget*>(p)) {
        const QListWidgetItem* pItem = pList->currentItem();
        if (!pItem) return std::nullopt;
        return pItem->data(Qt::UserRole).toLongLong();
    }
    return std::nullopt;
}

int QuorvelWindow::GetListCount(int nId) const {
    QWidget* p = Control(nId);
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) return pCombo->count();
    if (auto* pList = qobject_cast<QListWidget*>(p)) return pList->count();
    return 0;
}

void QuorvelWindow::DeleteListEntry(int nId, int nIndex) {
    QWidget* p = Control(nId);
    const QSignalBlocker blocker(p);
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) {
        pCombo->removeItem(nIndex);
    } else if (auto* pList = qobject_cast<QListWidget*>(p)) {
        delete pList->takeItem(nIndex);
    }
}

void QuorvelWindow::SetListEntryNote(int nId, int nIndex, const std::string& strNote) {
    auto* pCombo = qobject_cast<QComboBox*>(Control(nId));
    if (!pCombo || nIndex < 0 || nIndex >= pCombo->count()) return;
    const QString note = ToQString(strNote);
    pCombo->setItemData(nIndex, note, kNoteRole);
    pCombo->setItemData(nIndex, note, Qt::ToolTipRole);
    // The opened list is as wide as its longest entry with its note.
    const QFontMetrics metrics(pCombo->font());
    const int nWidth =
        metrics.horizontalAdvance(pCombo->itemText(nIndex)) + metrics.horizontalAdvance(note) + 48;
    pCombo->view()->setMinimumWidth(qMax(pCombo->view()->minimumWidth(), nWidth));
}

void QuorvelWindow::SetProgressRange(int nId, uint32_t nLower, uint32_t nUpper) {
    auto* pBar = qobject_cast<QProgressBar*>(Control(nId));
    if (!pBar) return;
    int nShift = 0;
    while ((nUpper >> nShift) > static_cast<uint32_t>(INT_MAX)) ++nShift;
    pBar->setProperty(kProgressShift, nShift);
    pBar->setRange(static_cast<int>(nLower >> nShift), static_cast<int>(nUpper >> nShift));
}

void QuorvelWindow::SetProgressPosition(int nId, uint32_t nPosition) {
    auto* pBar = qobject_cast<QProgressBar*>(Control(nId));
    if (!pBar) return;
    const int nShift = pBar->property(kProgressShift).toInt();
    const int nValue = static_cast<int>(nPosition >> nShift);
    pBar->setValue(qBound(pBar->minimum(), nValue, pBar->maximum()));
}

void QuorvelWindow::SetPickerTime(int nId, const PickerTime& time) {
    QWidget* p = Control(nId);
    const QSignalBlocker blocker(p);
    if (auto* pTime = qobject_cast<QTimeEdit*>(p)) {
        pTime->setTime(QTime(time.wHour, time.wMinute, time.wSecond));
    } else if (auto* pDate = qobject_cast<QDateEdit*>(p)) {
        pDate->setDate(QDate(time.wYear, time.wMonth, time.wDay));
    }
}

PickerTime QuorvelWindow::GetPickerTime(int nId) const {
    PickerTime result;
    QWidget* p = Control(nId);
    // QTimeEdit derives from QDateTimeEdit like QDateEdit: test the time picker first.
    if (auto* pTime = qobject_cast<QTimeEdit*>(p)) {
        const QTime time = pTime->time();
        result.wHour = static_cast<uint16_t>(time.hour());
        result.wMinute = static_cast<uint16_t>(time.minute());
        result.wSecond = static_cast<uint16_t>(time.second());
        result.wMilliseconds = static_cast<uint16_t>(time.msec());
        const QDate date = pTime->date();
        result.wYear = static_cast<uint16_t>(date.year());
        result.wMonth = static_cast<uint16_t>(date.month());
        result.wDay = static_cast<uint16_t>(date.day());
        result.wDayOfWeek = static_cast<uint16_t>(date.dayOfWeek() % 7);
    } else if (auto* pDate = qobject_cast<QDateEdit*>(p)) {
        const QDate date = pDate->date();
        result.wYear = static_cast<uint16_t>(date.year());
        result.wMonth = static_cast<uint16_t>(date.month());
        result.wDay = static_cast<uint16_t>(date.day());
        result.wDayOfWeek = static_cast<uint16_t>(date.dayOfWeek() % 7);
    }
    return result;
}

BoxAnswer QuorvelWindow::ShowMessageBox(const std::string& strText, const std::string& strTitle,
                                        BoxButtons buttons, BoxIcon icon) {
    QMessageBox::Icon qIcon = QMessageBox::NoIcon;
    switch (icon) {
        case BoxIcon::None:
            break;
        case BoxIcon::Error:
            qIcon = QMessageBox::Critical;
            break;
        case BoxIcon::Question:
            qIcon = QMessageBox::Question;
            break;
        case BoxIcon::Information:
            qIcon = QMessageBox::Information;
            break;
    }
    QMessageBox::StandardButtons qButtons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
        case BoxButtons::Ok:
            break;
        case BoxButtons::OkCancel:
            qButtons = QMessageBox::Ok | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case BoxButtons::YesNo:
            qButtons = QMessageBox::Yes | QMessageBox::No;
            escape = QMessageBox::No;
            break;
    }
    QMessageBox box(qIcon, ToQString(strTitle), ToQString(strText), qButtons, this);
    // Escape and the close button give the cautious answer, never OK or Yes.
    box.setEscapeButton(escape);
    // A short text makes a narrow box whose title bar cuts its title ("I..."): the box is kept
    // as wide as the title in a bold font with room for the frame's buttons.
    if (auto* pGrid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont bold = box.font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        const int nWidth = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
        pGrid->addItem(new QSpacerItem(nWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                       pGrid->rowCount(), 0, 1, pGrid->columnCount());
    }
    // The box's own event loop keeps the window's queue flowing while it is open.
    box.exec();
    QAbstractButton* pClicked = box.clickedButton();
    switch (pClicked != nullptr ? box.standardButton(pClicked) : escape) {
        case QMessageBox::Ok:
            return BoxAnswer::Ok;
        case QMessageBox::Yes:
            return BoxAnswer::Yes;
        case QMessageBox::No:
            return BoxAnswer::No;
        default:
            return BoxAnswer::Cancel;
    }
}

std::optional<FileDialogResult> QuorvelWindow::RunFileDialog(const FileDialogRequest& request,
                                                             bool bSave) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode((request.nOptions & kFileMustExist) ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
    if (!(request.nOptions & kOverwritePrompt)) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList filters;
    QStringList labels;
    QStringList suffixes;
    for (const FileFilter& filter : request.filters) {
        QString pattern = ToQString(filter.strPattern);
        // "*.*" means every file, also those without a dot.
        if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
        labels << ToQString(filter.strLabel);
        filters << labels.back() + QStringLiteral(" (") + pattern + QLatin1Char(')');
        suffixes << (pattern.startsWith(QStringLiteral("*.")) ? pattern.mid(2) : QString());
    }
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    // The file type chosen. With its details hidden the dialog names a filter by its label alone.
    const auto ChosenFilter = [&] {
        const QString chosen = dialog.selectedNameFilter();
        const qsizetype nAt = filters.indexOf(chosen);
        return nAt >= 0 ? nAt : labels.indexOf(chosen);
    };
    if (!request.strDefaultExtension.empty()) {
        dialog.setDefaultSuffix(ToQString(request.strDefaultExtension));
        // A name typed without an extension gets the one of the file type chosen.
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&] {
            const qsizetype nAt = ChosenFilter();
            if (nAt >= 0 && !suffixes[nAt].isEmpty()) dialog.setDefaultSuffix(suffixes[nAt]);
        });
    }
    if (!request.strInitialFolder.empty()) dialog.setDirectory(ToQString(request.strInitialFolder));
    // In a Save dialog Qt swaps a proposed name's extension for the file type chosen.
    if (!request.strInitialName.empty()) dialog.selectFile(ToQString(request.strInitialName));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    const qsizetype nFilter = ChosenFilter();
    return FileDialogResult{ToStdString(files.front()),
                            nFilter > 0 ? static_cast<size_t>(nFilter) : 0};
}

std::optional<FileDialogResult> QuorvelWindow::ShowSaveDialog(const FileDialogRequest& request) {
    return RunFileDialog(request, true);
}

std::optional<std::string> QuorvelWindow::ShowOpenDialog(const FileDialogRequest& request) {
    const std::optional<FileDialogResult> chosen = RunFileDialog(request, false);
    if (!chosen) return std::nullopt;
    return chosen->strPath;
}

void QuorvelWindow::ShowAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void QuorvelWindow::AppendWindowMenuCommand(const std::string& strText, unsigned nCommand) {
    if (strText.empty()) return;
    // Linux window managers keep their window menu to themselves, so the entry goes into the
    // window's context menu.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* pSeparator = new QAction(this);
    pSeparator->setSeparator(true);
    addAction(pSeparator);
    // "Text\tCtrl+T": the part after the tab is the command's shortcut.
    const QStringList parts = ToQString(strText).split(QLatin1Char('\t'));
    auto* pAction = new QAction(parts.front(), this);
    if (parts.size() > 1) pAction->setShortcut(QKeySequence::fromString(parts[1]));
    connect(pAction, &QAction::triggered, this, [this, nCommand] {
        if (m_pHandler) (void)m_pHandler->OnSysCommand(nCommand, 0);
    });
    addAction(pAction);
}

void QuorvelWindow::ShowTrackView(const TrackViewData& view) {
    if (!m_pTrackView) m_pTrackView = new TrackViewWindow(this);
    m_pTrackView->SetData(view);
    m_pShownTrack = view.pImage;
    ShowPinsInTrackView();
    m_pTrackView->setWindowIcon(windowIcon());
    m_pTrackView->show();
    m_pTrackView->raise();
    m_pTrackView->activateWindow();
}

void QuorvelWindow::UpdateTrackView(const TrackViewData& view) {
    if (!m_pTrackView || !m_pTrackView->isVisible()) return;
    m_pTrackView->SetData(view);
    if (view.pImage != m_pShownTrack) {
        m_pShownTrack = view.pImage;
        ShowPinsInTrackView();
    }
}

void QuorvelWindow::SetWindowIcon(int nIconId) {
    if (nIconId != IDR_MAINFRAME) return;
    setWindowIcon(QIcon(QStringLiteral(":/quorvel/quorvel.png")));
}

void QuorvelWindow::CenterWindow() {
    const QScreen* pScreen = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!pScreen) return;
    const QRect area = pScreen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void QuorvelWindow::EndDialog(int nResult) {
    m_bEnding = true;
    done(nResult);
}

void QuorvelWindow::PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) {
    m_queue.PostWindowMessage(nMessage, wParam, lParam);
}

void QuorvelWindow::PostTask(std::function<void()> task) {
    m_queue.PostTask(std::move(task));
}

void QuorvelWindow::DispatchQueued() {
    if (m_pHandler) (void)m_queue.DispatchOne(*m_pHandler);
}

void QuorvelWindow::accept() {
    // Enter: the handler decides, and it keeps the window open.
    if (m_pHandler) (void)m_pHandler->OnCommand(IDOK);
}

void QuorvelWindow::reject() {
    // Escape.
    if (m_bEnding) {
        QDialog::reject();
        return;
    }
    if (m_pHandler) {
        m_pHandler->OnClose();
    } else {
        EndDialog(IDCANCEL);
    }
}

void QuorvelWindow::closeEvent(QCloseEvent* pEvent) {
    if (m_bEnding) {
        pEvent->accept();
        return;
    }
    // The close steps end the window themselves.
    pEvent->ignore();
    if (m_pHandler) {
        m_pHandler->OnClose();
    } else {
        EndDialog(IDCANCEL);
    }
}

void QuorvelWindow::keyPressEvent(QKeyEvent* pEvent) {
    // No button is the default, yet Enter on a focused button presses it, as on Windows.
    if (pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter) {
        auto* pButton = qobject_cast<QPushButton*>(focusWidget());
        if (pButton && pButton->isEnabled() && pButton->property("controlId").isValid()) {
            pButton->click();
            return;
        }
    }
    QDialog::keyPressEvent(pEvent);
}

void QuorvelWindow::dragEnterEvent(QDragEnterEvent* pEvent) {
    if (!LocalFiles(pEvent->mimeData()).isEmpty()) pEvent->acceptProposedAction();
}

void QuorvelWindow::dragMoveEvent(QDragMoveEvent* pEvent) {
    if (!LocalFiles(pEvent->mimeData()).isEmpty()) pEvent->acceptProposedAction();
}

void QuorvelWindow::dropEvent(QDropEvent* pEvent) {
    const QStringList files = LocalFiles(pEvent->mimeData());
    if (files.isEmpty() || !m_pHandler) return;
    pEvent->acceptProposedAction();
    std::vector<std::string> paths;
    for (const QString& file : files) paths.push_back(ToStdString(file));
    m_pHandler->OnDropFiles(paths);
}
