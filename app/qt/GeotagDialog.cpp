#include "GeotagDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>
#include <cstdio>

#include "track/TimeZone.h"

namespace {

// What a job hands back to the window's thread.
struct JobOutcome {
    GeotagResult result;
    std::vector<std::string> photos;  // all the photos the job was given or found
    std::string strError;             // the folder could not be read: nothing was looked at
};

QString ToQString(const std::string& str) {
    return QString::fromUtf8(str.data(), qsizetype(str.size()));
}

std::string PositionText(const TrackPosition& pos) {
    char szText[96];
    std::snprintf(szText, sizeof szText, "%.7f, %.7f, %.1f m", pos.dLatitude, pos.dLongitude,
                  pos.dAltitude);
    return szText;
}

std::string OutcomeText(const GeotagRow& row, bool bDryRun) {
    if (row.outcome == PhotoOutcome::Tagged && bDryRun) return "will be tagged";
    return PhotoOutcomeText(row, bDryRun ? "unreadable" : "not written");
}

// The photo's name below the folder chosen, as the table shows it.
std::string NameBelow(const std::string& strPath, const std::string& strFolder) {
    const std::string strPrefix =
        strFolder.empty() || strFolder.back() == '/' ? strFolder : strFolder + "/";
    return strPath.rfind(strPrefix, 0) == 0 ? strPath.substr(strPrefix.size()) : strPath;
}

}  // namespace

GeotagDialog::GeotagDialog(QWidget* pParent, std::shared_ptr<const RawLogImage> pTrack,
                           const QString& zoneText)
    : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Geotag photos"));
    if (pTrack) m_track.Add(*pTrack);
    m_track.Finish();

    m_pFolder = new QLineEdit(this);
    m_pFolder->setObjectName(QStringLiteral("folder"));
    auto* pBrowse = new QPushButton(QStringLiteral("Browse..."), this);
    m_pSubfolders = new QCheckBox(QStringLiteral("Include subfolders"), this);
    // The window's list of zones, and its zone to start with: a camera set to the zone the user
    // reads the track in is the common case.
    m_pZone = new QComboBox(this);
    m_pZone->setEditable(true);
    m_pZone->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 0; i < kTimeZoneCount; ++i) {
        m_pZone->addItem(ToQString(TimeZoneText(TimeZoneOffsetAt(i))));
    }
    m_pZone->setEditText(zoneText);
    m_pOffset = new QLineEdit(QStringLiteral("0"), this);
    m_pOffset->setObjectName(QStringLiteral("offset"));
    m_pOffset->setToolTip(
        QStringLiteral("The camera's clock minus the true time, +/-[H:]MM:SS (+0:02:00 for a "
                       "clock two minutes fast)"));
    m_pMaxGap = new QSpinBox(this);
    m_pMaxGap->setRange(1, 24 * 3600);
    m_pMaxGap->setValue(300);
    m_pMaxGap->setSuffix(QStringLiteral(" s"));
    m_pOverwrite = new QCheckBox(QStringLiteral("Replace positions photos already have"), this);

    m_pTable = new QTableWidget(0, 6, this);
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("Photo"), QStringLiteral("Camera time"),
                                         QStringLiteral("UTC"), QStringLiteral("Position"),
                                         QStringLiteral("To nearest fix"),
                                         QStringLiteral("What happens")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(0);
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("summary"));
    m_pSummary->setWordWrap(true);
    m_pPreview = new QPushButton(QStringLiteral("Preview"), this);
    m_pWrite = new QPushButton(QStringLiteral("Write"), this);
    m_pWrite->setEnabled(false);
    m_pCancel = new QPushButton(QStringLiteral("Close"), this);
    for (QPushButton* pButton : {pBrowse, m_pPreview, m_pWrite, m_pCancel}) {
        pButton->setAutoDefault(false);
    }

    auto* pGrid = new QGridLayout(this);
    int nRow = 0;
    pGrid->addWidget(new QLabel(QStringLiteral("Photos' folder"), this), nRow, 0);
    pGrid->addWidget(m_pFolder, nRow, 1, 1, 2);
    pGrid->addWidget(pBrowse, nRow++, 3);
    pGrid->addWidget(m_pSubfolders, nRow++, 1, 1, 3);
    pGrid->addWidget(new QLabel(QStringLiteral("Camera's zone"), this), nRow, 0);
    pGrid->addWidget(m_pZone, nRow++, 1);
    pGrid->addWidget(new QLabel(QStringLiteral("Camera offset"), this), nRow, 0);
    pGrid->addWidget(m_pOffset, nRow++, 1);
    pGrid->addWidget(new QLabel(QStringLiteral("Max gap"), this), nRow, 0);
    pGrid->addWidget(m_pMaxGap, nRow++, 1);
    pGrid->addWidget(m_pOverwrite, nRow++, 1, 1, 3);
    pGrid->addWidget(m_pTable, nRow++, 0, 1, 4);
    pGrid->addWidget(m_pProgress, nRow++, 0, 1, 4);
    pGrid->addWidget(m_pSummary, nRow++, 0, 1, 4);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch();
    pButtons->addWidget(m_pPreview);
    pButtons->addWidget(m_pWrite);
    pButtons->addWidget(m_pCancel);
    pGrid->addLayout(pButtons, nRow, 0, 1, 4);
    pGrid->setColumnStretch(2, 1);
    resize(920, 540);

    connect(pBrowse, &QPushButton::clicked, this, &GeotagDialog::Browse);
    connect(m_pPreview, &QPushButton::clicked, this, &GeotagDialog::Preview);
    connect(m_pWrite, &QPushButton::clicked, this, &GeotagDialog::Write);
    connect(m_pCancel, &QPushButton::clicked, this, &GeotagDialog::CancelOrClose);
    connect(m_pFolder, &QLineEdit::textChanged, this, &GeotagDialog::ForgetPreview);
    connect(m_pSubfolders, &QCheckBox::toggled, this, &GeotagDialog::ForgetPreview);
    connect(m_pZone, &QComboBox::editTextChanged, this, &GeotagDialog::ForgetPreview);
    connect(m_pOffset, &QLineEdit::textChanged, this, &GeotagDialog::ForgetPreview);
    connect(m_pMaxGap, &QSpinBox::valueChanged, this, &GeotagDialog::ForgetPreview);
    connect(m_pOverwrite, &QCheckBox::toggled, this, &GeotagDialog::ForgetPreview);
}

GeotagDialog::~GeotagDialog() {
    StopJob();
}

void GeotagDialog::reject() {
    // Escape and the close button: the photos under way are finished, no other is begun.
    StopJob();
    QDialog::reject();
}

void GeotagDialog::StopJob() {
    if (!m_job.joinable()) return;
    m_nStop.store(1);
    m_job.join();
    SetRunning(false);
}

void GeotagDialog::Browse() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Photos' folder"),
                                                             m_pFolder->text());
    if (!folder.isEmpty()) m_pFolder->setText(folder);
}

void GeotagDialog::ForgetPreview() {
    m_previewed.clear();
    m_pWrite->setEnabled(false);
}

bool GeotagDialog::ReadOptions(GeotagOptions& options) {
    const std::string strZone = m_pZone->currentText().trimmed().toStdString();
    const TimeZoneStatus status = ParseTimeZone(strZone, options.cameraZone);
    const std::string strOffset = m_pOffset->text().trimmed().toStdString();
    const std::optional<int32_t> offset = ParseCameraOffset(strOffset);
    if (status != TimeZoneStatus::Ok || !offset) {
        m_pSummary->setText(ToQString(status != TimeZoneStatus::Ok
                                          ? TimeZoneStatusMessage(status, strZone) + "."
                                          : "Invalid camera offset \"" + strOffset +
                                                "\" (+/-[H:]MM:SS, or seconds)."));
        return false;
    }
    options.nCameraOffsetSeconds = *offset;
    options.nMaxGapSeconds = static_cast<uint32_t>(m_pMaxGap->value());
    options.bOverwrite = m_pOverwrite->isChecked();
    return true;
}

void GeotagDialog::Preview() {
    GeotagOptions options;
    if (IsRunning() || !ReadOptions(options)) return;
    if (m_pFolder->text().trimmed().isEmpty()) {
        m_pSummary->setText(QStringLiteral("Choose the photos' folder."));
        return;
    }
    options.bDryRun = true;
    Start({}, options);
}

void GeotagDialog::Write() {
    GeotagOptions options;
    if (IsRunning() || m_previewed.empty() || !ReadOptions(options)) return;
    // The photos the table shows, as they were previewed.
    std::vector<std::string> photos = std::move(m_previewed);
    ForgetPreview();
    Start(std::move(photos), options);
}

void GeotagDialog::CancelOrClose() {
    if (IsRunning()) {
        m_nStop.store(1);
        return;
    }
    reject();
}

void GeotagDialog::Start(std::vector<std::string> photos, GeotagOptions options) {
    m_nStop.store(0);
    const int nJob = ++m_nJob;
    options.pStop = &m_nStop;
    // From the job's threads: the bar is moved on the window's thread.
    options.onProgress = [this](size_t nDone, size_t nTotal) {
        QMetaObject::invokeMethod(
            this,
            [this, nDone, nTotal] {
                m_pProgress->setRange(0, static_cast<int>(nTotal));
                m_pProgress->setValue(static_cast<int>(nDone));
            },
            Qt::QueuedConnection);
    };
    const std::string strFolder = m_pFolder->text().trimmed().toStdString();
    const bool bRecursive = m_pSubfolders->isChecked();
    SetRunning(true);
    m_pSummary->setText(options.bDryRun ? QStringLiteral("Reading the photos...")
                                        : QStringLiteral("Writing the positions..."));
    m_job = std::thread([this, photos = std::move(photos), options, strFolder, bRecursive, nJob] {
        auto pOutcome = std::make_shared<JobOutcome>();
        pOutcome->photos = photos;
        if (pOutcome->photos.empty()) {
            static_cast<void>(
                CollectPhotos({strFolder}, bRecursive, pOutcome->photos, pOutcome->strError));
        }
        if (pOutcome->strError.empty()) {
            pOutcome->result = GeotagPhotos(m_track, pOutcome->photos, options);
        }
        auto pResult = std::make_shared<GeotagResult>(std::move(pOutcome->result));
        QMetaObject::invokeMethod(
            this,
            [this, pOutcome, pResult, nJob, bDryRun = options.bDryRun] {
                // A job that a close already waited for is over and done with.
                if (nJob != m_nJob || !m_job.joinable()) return;
                m_job.join();
                SetRunning(false);
                if (!pOutcome->strError.empty()) {
                    m_pSummary->setText(ToQString(pOutcome->strError));
                    return;
                }
                // Only a whole preview can be written.
                if (bDryRun && !pResult->bStopped && pResult->counts.nTagged > 0) {
                    m_previewed = std::move(pOutcome->photos);
                    m_pWrite->setEnabled(true);
                }
                Finish(pResult, bDryRun);
            },
            Qt::QueuedConnection);
    });
}

void GeotagDialog::Finish(const std::shared_ptr<GeotagResult>& pResult, bool bDryRun) {
    const GeotagResult& result = *pResult;
    ShowRows(result, bDryRun);
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(1);
    std::string strSummary = GeotagSummary(result, bDryRun, false) + ".";
    if (result.bStopped) {
        strSummary += " Stopped: " + std::to_string(result.counts.nNotLookedAt) + " not looked at.";
    } else if (bDryRun) {
        strSummary += " Nothing is written until Write.";
    }
    m_pSummary->setText(ToQString(strSummary));
    std::vector<PhotoPin> pins;
    const std::string strFolder = m_pFolder->text().trimmed().toStdString();
    for (const GeotagRow& row : result.rows) {
        if (row.outcome != PhotoOutcome::Tagged) continue;
        // Pins carry record seconds; the instant is whole enough to the second.
        const UtcMillis nMillis = *row.instant;
        const int64_t nSeconds = nMillis / 1000 - (nMillis % 1000 < 0 ? 1 : 0);
        pins.push_back({NameBelow(row.strPath, strFolder),
                        static_cast<uint32_t>(std::max<int64_t>(0, nSeconds)),
                        row.lookup.position.dLatitude, row.lookup.position.dLongitude});
    }
    if (m_pinsReceiver) m_pinsReceiver(std::move(pins));
}

void GeotagDialog::ShowRows(const GeotagResult& result, bool bDryRun) {
    const std::string strFolder = m_pFolder->text().trimmed().toStdString();
    m_pTable->setRowCount(static_cast<int>(result.rows.size()));
    for (size_t i = 0; i < result.rows.size(); ++i) {
        const GeotagRow& row = result.rows[i];
        char szSeconds[32] = "";
        if (row.lookup.dSecondsToFix >= 0) {
            std::snprintf(szSeconds, sizeof szSeconds, "%.1f s", row.lookup.dSecondsToFix);
        }
        const std::string cells[] = {
            NameBelow(row.strPath, strFolder),
            row.strCameraTime,
            row.instant ? FormatUtcMillis(*row.instant) : std::string(),
            row.outcome == PhotoOutcome::Tagged ? PositionText(row.lookup.position) : std::string(),
            szSeconds,
            OutcomeText(row, bDryRun)};
        for (int nColumn = 0; nColumn < 6; ++nColumn) {
            m_pTable->setItem(static_cast<int>(i), nColumn,
                              new QTableWidgetItem(ToQString(cells[nColumn])));
        }
    }
    m_pTable->resizeColumnsToContents();
}

void GeotagDialog::SetRunning(bool bRunning) {
    for (QWidget* p : std::initializer_list<QWidget*>{m_pFolder, m_pSubfolders, m_pZone, m_pOffset,
                                                      m_pMaxGap, m_pOverwrite, m_pPreview}) {
        p->setEnabled(!bRunning);
    }
    if (bRunning) m_pWrite->setEnabled(false);
    m_pCancel->setText(bRunning ? QStringLiteral("Cancel") : QStringLiteral("Close"));
    if (bRunning) {
        m_pProgress->setRange(0, 0);
        m_pProgress->setValue(0);
    }
}
