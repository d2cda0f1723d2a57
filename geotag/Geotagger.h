#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "PhotoTime.h"
#include "TrackIndex.h"
#include "track/TimeZone.h"

// The whole geotagging job for both front ends: the track from raw logs, the photos from files and
// folders, and each photo's time, place and outcome. It prints nothing; the caller renders the
// result, and may watch progress and stop the job between two photos.

// Reads raw logs (.dlg) and GPX tracks (.gpx) into the track; a folder (an archive) gives all the
// raw logs in it. False with a message naming the file when one cannot be read or a folder holds
// none.
[[nodiscard]] bool LoadTrack(const std::vector<std::string>& sources, TrackIndex& track,
                             std::string& strError);

// The photos among the paths, sorted, each once: files as named, and the JPEG, TIFF and raw files
// in folders (and in the folders below them with bRecursive); other files in folders and names
// beginning with a dot are passed over. False with a message when a path does not exist.
[[nodiscard]] bool CollectPhotos(const std::vector<std::string>& paths, bool bRecursive,
                                 std::vector<std::string>& photos, std::string& strError);

enum class PhotoOutcome {
    Tagged,       // the position was written (or would be, in a dry run)
    Outside,      // no fix near enough to its instant: left untouched
    HadPosition,  // it holds a position already: left untouched
    NoTime,       // no date and time of its taking: left untouched
    NotWritten,   // it could not be read or written: left as it was
};

struct GeotagRow {
    std::string strPath;
    PhotoOutcome outcome = PhotoOutcome::NotWritten;
    std::string strCameraTime;  // the photo's own time texts, "2009:05:01 17:30:00.25+02:00"
    std::optional<UtcMillis> instant;
    TrackLookup lookup;
    std::string strReason;  // why it was not written
};

struct GeotagCounts {
    size_t nTagged = 0;
    size_t nOutside = 0;
    size_t nHadPosition = 0;
    size_t nNoTime = 0;
    size_t nNotWritten = 0;
    size_t nNotLookedAt = 0;  // left when the job was stopped
};

struct GeotagResult {
    std::vector<GeotagRow> rows;  // one per photo looked at, in the order of the list
    GeotagCounts counts;
    bool bStopped = false;
};

struct GeotagOptions {
    TimeZone cameraZone;                // read the camera's clock in this zone ...
    int32_t nCameraOffsetSeconds = 0;   // ... less this (the clock minus the true time) ...
    uint32_t nMaxGapSeconds = 300;      // ... and use fixes at most this far apart or away
    bool bOverwrite = false;            // replace a position a photo holds
    bool bDryRun = false;               // work out everything, write nothing
    bool bKeepModificationTime = true;  // a tagged photo keeps its modification time
    // Before each photo: how many are done, of how many. Called from the job's threads, one call
    // at a time.
    std::function<void(size_t nDone, size_t nTotal)> onProgress;
    // Set from any thread to stop before the next photo; those under way are finished.
    const std::atomic<int32_t>* pStop = nullptr;
};

// Works on a few photos at once; the rows come out in the order of the list all the same. Each
// photo is left as it was or fully tagged, also when the job is stopped, and the folders of the
// photos tagged are on the disk when it returns.
GeotagResult GeotagPhotos(const TrackIndex& track, const std::vector<std::string>& photos,
                          const GeotagOptions& options);

// "7 photos: 4 tagged, 1 outside the track, 1 already had a position, 1 without a time" (a dry
// run's "to tag"); with bMarkListed the counts of photos listed apart say "(listed)".
std::string GeotagSummary(const GeotagResult& result, bool bDryRun, bool bMarkListed);

// What became of a photo, as the tables say it ("tagged", "outside the track", ...); one that
// could not be read or written gets pszFailure and the reason ("unreadable: ...").
std::string PhotoOutcomeText(const GeotagRow& row, const char* pszFailure);
