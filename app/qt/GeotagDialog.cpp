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

QString ToQString(const std::string& str) {
    return QString::fromUtf8(str.data(), qsizetype(str.size()));
}

}  // namespace

GeotagDialog::GeotagDialog(QWidget* pParent, std::shared_ptr<const RawLogImage> pTrack,
                           const QString& zoneText)
    : QDialog(pParent), m_job(std::move(pTrack), [this](std::function<void()> task) {
          QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
      }) {
    setWindowTitle(QStringLiteral("Geotag photos"));

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
    QStringList headings;
    for (const char* pszColumn : kGeotagColumns) headings << QString::fromUtf8(pszColumn);
    m_pTable->setHorizontalHeaderLabels(headings);
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
    m_job.onProgress = [this](size_t nDone, size_t nTotal) {
        m_pProgress->setRange(0, static_cast<int>(nTotal));
        m_pProgress->setValue(static_cast<int>(nDone));
    };
    m_job.onFinished = [this](const GeotagReport& report) { Finish(report); };
}

GeotagDialog::~GeotagDialog() {
    m_job.Stop();
}

void GeotagDialog::reject() {
    // Escape and the close button: the photos under way are finished, no other is begun.
    m_job.Stop();
    SetRunning(false);
    QDialog::reject();
}

void GeotagDialog::Browse() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Photos' folder"),
                                                             m_pFolder->text());
    if (!folder.isEmpty()) m_pFolder->setText(folder);
}

void GeotagDialog::ForgetPreview() {
    m_job.ForgetPreview();
    m_pWrite->setEnabled(false);
}

GeotagFields GeotagDialog::Fields() const {
    return {m_pFolder->text().toStdString(),           m_pSubfolders->isChecked(),
            m_pZone->currentText().toStdString(),      m_pOffset->text().toStdString(),
            static_cast<uint32_t>(m_pMaxGap->value()), m_pOverwrite->isChecked()};
}

void GeotagDialog::Preview() {
    Started(m_job.Preview(Fields()));
}

void GeotagDialog::Write() {
    Started(m_job.Write(Fields()));
}

void GeotagDialog::Started(const std::string& strStatus) {
    if (!strStatus.empty()) m_pSummary->setText(ToQString(strStatus));
    if (m_job.IsRunning()) SetRunning(true);
}

void GeotagDialog::CancelOrClose() {
    if (m_job.IsRunning()) {
        m_job.Cancel();
        return;
    }
    reject();
}

void GeotagDialog::Finish(const GeotagReport& report) {
    SetRunning(false);
    m_pSummary->setText(ToQString(report.strSummary));
    if (!report.bLookedAt) return;
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(1);
    m_pTable->setRowCount(static_cast<int>(report.rows.size()));
    for (size_t i = 0; i < report.rows.size(); ++i) {
        for (size_t nColumn = 0; nColumn < report.rows[i].size(); ++nColumn) {
            m_pTable->setItem(static_cast<int>(i), static_cast<int>(nColumn),
                              new QTableWidgetItem(ToQString(report.rows[i][nColumn])));
        }
    }
    m_pTable->resizeColumnsToContents();
    m_pWrite->setEnabled(m_job.CanWrite());
    if (m_pinsReceiver) m_pinsReceiver(report.pins);
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
