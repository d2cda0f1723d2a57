#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "app/GeotagJob.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

// Geotag photos...: the photos of a folder placed on the raw log loaded in the window. Preview
// reads the photos and shows what each would get, writing nothing; Write then tags them. Both run
// on a thread of their own, so the window stays responsive, with progress and Cancel.
class GeotagDialog final : public QDialog {
    Q_OBJECT

  public:
    // The track is the loaded raw log; the camera's zone starts as the window's zone text.
    GeotagDialog(QWidget* pParent, std::shared_ptr<const RawLogImage> pTrack,
                 const QString& zoneText);
    ~GeotagDialog() override;

    // Receives the photos placed on the track after each preview and write.
    void SetPinsReceiver(std::function<void(std::vector<PhotoPin>)> receiver) {
        m_pinsReceiver = std::move(receiver);
    }
    // Whether a preview or a write is under way.
    bool IsRunning() const { return m_job.IsRunning(); }

  public slots:
    void reject() override;

  private:
    void Browse();
    void Preview();
    void Write();
    void CancelOrClose();
    GeotagFields Fields() const;
    // Shows what a Preview or Write said, and locks the fields when a job began.
    void Started(const std::string& strStatus);
    void Finish(const GeotagReport& report);
    void SetRunning(bool bRunning);
    void ForgetPreview();

    GeotagJob m_job;
    QLineEdit* m_pFolder = nullptr;
    QCheckBox* m_pSubfolders = nullptr;
    QComboBox* m_pZone = nullptr;
    QLineEdit* m_pOffset = nullptr;
    QSpinBox* m_pMaxGap = nullptr;
    QCheckBox* m_pOverwrite = nullptr;
    QTableWidget* m_pTable = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pSummary = nullptr;
    QPushButton* m_pPreview = nullptr;
    QPushButton* m_pWrite = nullptr;
    QPushButton* m_pCancel = nullptr;
    std::function<void(std::vector<PhotoPin>)> m_pinsReceiver;
};
