#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/TrackPlot.h"
#include "geotag/Geotagger.h"
#include "track/RawLog.h"

// Geotag photos... for both windows, without their toolkits: the dialog's fields read into a job,
// the preview (a dry run over the folder) and the write of what it showed, each on a thread of its
// own, and what the dialog shows when one ends. The dialogs only lay out the fields and the table.

struct GeotagFields {
    std::string strFolder;
    bool bSubfolders = false;
    std::string strZone;    // the camera's zone, as the zone box reads
    std::string strOffset;  // the camera's clock minus the true time: +/-[H:]MM:SS, or seconds
    uint32_t nMaxGapSeconds = 300;
    bool bOverwrite = false;
};

// The table's columns, and what a job ends with.
inline constexpr std::array<const char*, 6> kGeotagColumns = {
    "Photo", "Camera time", "UTC", "Position", "To nearest fix", "What happens"};

struct GeotagReport {
    std::vector<std::array<std::string, 6>> rows;
    std::string strSummary;      // or why the folder could not be read
    bool bLookedAt = true;       // false: the folder could not be read, nothing was looked at
    std::vector<PhotoPin> pins;  // the photos placed, named below the folder
    bool bCanWrite = false;      // a whole preview with photos to tag: Write may follow
};

class GeotagJob {
  public:
    // Runs a task on the window's thread, after what was posted before it.
    using Post = std::function<void(std::function<void()>)>;

    GeotagJob(std::shared_ptr<const RawLogImage> pTrack, Post post);
    ~GeotagJob();  // stops and waits: the photos under way are finished
    GeotagJob(const GeotagJob&) = delete;
    GeotagJob& operator=(const GeotagJob&) = delete;

    // Both on the window's thread, while a job runs: progress, then its end.
    std::function<void(size_t nDone, size_t nTotal)> onProgress;
    std::function<void(const GeotagReport&)> onFinished;

    // Each returns the text for the dialog's status line: what is under way, or why nothing
    // started (a field that does not read, no folder, no preview to write).
    std::string Preview(const GeotagFields& fields);
    std::string Write(const GeotagFields& fields);
    bool IsRunning() const { return m_thread.joinable(); }
    bool CanWrite() const { return !m_previewed.empty() && !IsRunning(); }
    // A field changed after a preview: its table no longer says what Write would do.
    void ForgetPreview() { m_previewed.clear(); }
    // Ends the job between two photos; onFinished still reports what was done.
    void Cancel() { m_nStop.store(1); }
    // Cancels and waits; nothing more is reported.
    void Stop();

  private:
    std::string Start(const GeotagFields& fields, std::vector<std::string> photos, bool bDryRun);

    TrackIndex m_track;
    Post m_post;
    std::vector<std::string> m_previewed;  // the photos of the last whole preview
    std::thread m_thread;
    int m_nJob = 0;  // numbers the jobs: the end of one already waited for is dropped
    std::atomic<int32_t> m_nStop{0};
};
