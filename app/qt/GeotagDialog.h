#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/TrackPlot.h"
#include "geotag/Geotagger.h"
#include "track/RawLog.h"

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
    bool IsRunning() const { return m_job.joinable(); }

  public slots:
    void reject() override;

  private:
    void Browse();
    void Preview();
    void Write();
    void CancelOrClose();
    // The choices of the fields; false (with the reason shown) when one does not read.
    bool ReadOptions(GeotagOptions& options);
    void Start(std::vector<std::string> photos, GeotagOptions options);
    void Finish(const std::shared_ptr<GeotagResult>& pResult, bool bDryRun);
    void ShowRows(const GeotagResult& result, bool bDryRun);
    void SetRunning(bool bRunning);
    // A field changed after a preview: its table no longer says what Write would do.
    void ForgetPreview();
    void StopJob();

    TrackIndex m_track;
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

    std::vector<std::string> m_previewed;  // the photos of the last preview; empty: none
    std::thread m_job;
    int m_nJob = 0;  // numbers the jobs: a late report of one waited for at a close is dropped
    std::atomic<int32_t> m_nStop{0};
    std::function<void(std::vector<PhotoPin>)> m_pinsReceiver;
};
