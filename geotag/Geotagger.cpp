#include "Geotagger.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "GpxTrack.h"
#include "PhotoTags.h"
#include "platform/File.h"
#include "track/RawLog.h"

namespace fs = std::filesystem;

namespace {

fs::path PathOf(const std::string& strUtf8) {
    return fs::path(std::u8string(strUtf8.begin(), strUtf8.end()));
}

bool IsFolder(const std::string& strPath) {
    std::error_code error;
    return fs::is_directory(PathOf(strPath), error);
}

bool EndsWithNoCase(const std::string& strText, const std::string& strEnd) {
    if (strText.size() < strEnd.size()) return false;
    return std::equal(
        strEnd.begin(), strEnd.end(), strText.end() - strEnd.size(), [](char cEnd, char c) {
            return cEnd == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
        });
}

std::string Joined(const std::string& strFolder, const std::string& strName) {
    return strFolder.empty() || strFolder.back() == '/' ? strFolder + strName
                                                        : strFolder + "/" + strName;
}

// Photos in a folder by name; folders below only when asked, and never through a link (which
// could lead back up).
void CollectFolder(const std::string& strFolder, bool bRecursive,
                   std::vector<std::string>& photos) {
    std::vector<std::string> names;
    if (!ListFolder(strFolder, names)) return;
    for (const std::string& strName : names) {
        if (strName.empty() || strName.front() == '.') continue;
        const std::string strPath = Joined(strFolder, strName);
        std::error_code error;
        if (fs::is_directory(fs::symlink_status(PathOf(strPath), error))) {
            if (bRecursive) CollectFolder(strPath, bRecursive, photos);
        } else if (PhotoKindOf(strPath) != PhotoKind::Other && !IsFolder(strPath)) {
            photos.push_back(strPath);
        }
    }
}

std::string CameraTimeText(const PhotoTimeTags& times) {
    std::string strText = times.strDateTime;
    if (!times.strSubSeconds.empty()) strText += "." + times.strSubSeconds;
    return strText + times.strOffset;
}

}  // namespace

bool LoadTrack(const std::vector<std::string>& sources, TrackIndex& track, std::string& strError) {
    for (const std::string& strSource : sources) {
        std::vector<std::string> files;
        if (IsFolder(strSource)) {
            std::vector<std::string> names;
            if (!ListFolder(strSource, names)) {
                strError = "Can't read the folder " + strSource + ".";
                return false;
            }
            for (const std::string& strName : names) {
                if (EndsWithNoCase(strName, ".dlg")) files.push_back(Joined(strSource, strName));
            }
            if (files.empty()) {
                strError = "No raw log (.dlg) in the folder " + strSource + ".";
                return false;
            }
        } else {
            files.push_back(strSource);
        }
        for (const std::string& strFile : files) {
            if (EndsWithNoCase(strFile, ".gpx")) {
                std::vector<GpxPoint> points;
                if (!LoadGpxFile(strFile, points, strError)) return false;
                for (const GpxPoint& p : points) {
                    track.Add(p.nTime, p.dLatitude, p.dLongitude, p.dAltitude);
                }
                continue;
            }
            RawLogImage image;
            SystemError nError = 0;
            const RawLogStatus status = LoadRawLogImage(strFile, image, &nError);
            if (status != RawLogStatus::Ok) {
                strError = RawLogLoadMessage(status, strFile, nError);
                return false;
            }
            track.Add(image);
        }
    }
    track.Finish();
    return true;
}

bool CollectPhotos(const std::vector<std::string>& paths, bool bRecursive,
                   std::vector<std::string>& photos, std::string& strError) {
    for (const std::string& strPath : paths) {
        if (!PathExists(strPath)) {
            strError = "Can't find the photo or folder " + strPath + ".";
            return false;
        }
        if (IsFolder(strPath)) {
            CollectFolder(strPath, bRecursive, photos);
        } else {
            photos.push_back(strPath);
        }
    }
    std::sort(photos.begin(), photos.end());
    photos.erase(std::unique(photos.begin(), photos.end()), photos.end());
    return true;
}

namespace {

// Photos worked on at once. Each is read, tagged and put on the disk before its rename by one
// thread; with several under way their syncs share the file system's journal commits instead of
// waiting for one each, one after another.
constexpr size_t kWorkers = 4;

// One photo: its time, its place on the track and what becomes of it.
void GeotagPhoto(const TrackIndex& track, const GeotagOptions& options, GeotagRow& row) {
    PhotoTags tags;
    if (PhotoKindOf(row.strPath) == PhotoKind::Other) {
        row.strReason = "not a JPEG, TIFF or camera raw file";
        return;
    }
    if (!tags.Open(row.strPath)) {
        row.strReason = tags.Error();
        return;
    }
    row.strCameraTime = CameraTimeText(tags.Times());
    row.instant = PhotoInstant(tags.Times(), options.cameraZone, options.nCameraOffsetSeconds);
    if (row.instant) row.lookup = track.Lookup(*row.instant, options.nMaxGapSeconds);
    if (tags.HasPosition() && !options.bOverwrite) {
        row.outcome = PhotoOutcome::HadPosition;
    } else if (!row.instant) {
        row.outcome = PhotoOutcome::NoTime;
    } else if (!row.lookup.bFound) {
        row.outcome = PhotoOutcome::Outside;
    } else if (options.bDryRun || tags.WritePosition(row.lookup.position, *row.instant,
                                                     options.bKeepModificationTime)) {
        row.outcome = PhotoOutcome::Tagged;
    } else {
        row.strReason = tags.Error();
    }
}

}  // namespace

GeotagResult GeotagPhotos(const TrackIndex& track, const std::vector<std::string>& photos,
                          const GeotagOptions& options) {
    GeotagResult result;
    result.rows.resize(photos.size());
    for (size_t i = 0; i < photos.size(); ++i) result.rows[i].strPath = photos[i];
    PrepareTagLibrary();

    // The photos are handed out in the order of the list, so those looked at before a stop are
    // always its beginning, whichever thread took them.
    std::atomic<size_t> nNext{0};
    std::mutex mutex;  // the progress callback and nDone
    size_t nDone = 0;
    const auto work = [&] {
        for (;;) {
            if (options.pStop != nullptr && options.pStop->load() != 0) return;
            const size_t i = nNext.fetch_add(1);
            if (i >= photos.size()) return;
            if (options.onProgress) {
                const std::lock_guard<std::mutex> lock(mutex);
                options.onProgress(nDone, photos.size());
            }
            GeotagPhoto(track, options, result.rows[i]);
            const std::lock_guard<std::mutex> lock(mutex);
            ++nDone;
        }
    };
    std::vector<std::thread> workers;
    for (size_t n = 1; n < std::min(kWorkers, photos.size()); ++n) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();

    const size_t nLookedAt = std::min(nNext.load(), photos.size());
    if (nLookedAt < photos.size()) {
        result.bStopped = true;
        result.counts.nNotLookedAt = photos.size() - nLookedAt;
        result.rows.resize(nLookedAt);
    }
    // The new names are on the disk once their folders are: once per folder, not per photo. A
    // linked photo was replaced where the link leads, a sidecar beside the link.
    std::set<std::string> written;
    GeotagCounts& counts = result.counts;
    for (const GeotagRow& row : result.rows) {
        switch (row.outcome) {
            case PhotoOutcome::Tagged:
                ++counts.nTagged;
                if (!options.bDryRun) {
                    written.insert(FolderOf(ResolveLinks(row.strPath)));
                    written.insert(FolderOf(row.strPath));
                }
                break;
            case PhotoOutcome::Outside:
                ++counts.nOutside;
                break;
            case PhotoOutcome::HadPosition:
                ++counts.nHadPosition;
                break;
            case PhotoOutcome::NoTime:
                ++counts.nNoTime;
                break;
            case PhotoOutcome::NotWritten:
                ++counts.nNotWritten;
                break;
        }
    }
    for (const std::string& strFolder : written) SyncFolder(strFolder);
    return result;
}

std::string GeotagSummary(const GeotagResult& result, bool bDryRun, bool bMarkListed) {
    const GeotagCounts& n = result.counts;
    const auto listed = [bMarkListed](size_t nCount) {
        return bMarkListed && nCount > 0 ? " (listed)" : "";
    };
    const size_t nPhotos = result.rows.size();
    std::string strText = std::to_string(nPhotos) + (nPhotos == 1 ? " photo: " : " photos: ") +
                          std::to_string(n.nTagged) + (bDryRun ? " to tag, " : " tagged, ") +
                          std::to_string(n.nOutside) + " outside the track" + listed(n.nOutside) +
                          ", " + std::to_string(n.nHadPosition) + " already had a position";
    if (n.nNoTime > 0) {
        strText += ", " + std::to_string(n.nNoTime) + " without a time" + listed(n.nNoTime);
    }
    if (n.nNotWritten > 0) {
        strText += ", " + std::to_string(n.nNotWritten) + " not written" + listed(n.nNotWritten);
    }
    return strText;
}

std::string PhotoOutcomeText(const GeotagRow& row, const char* pszFailure) {
    switch (row.outcome) {
        case PhotoOutcome::Tagged:
            return "tagged";
        case PhotoOutcome::Outside:
            return "outside the track";
        case PhotoOutcome::HadPosition:
            return "has a position already";
        case PhotoOutcome::NoTime:
            return "no time of taking";
        case PhotoOutcome::NotWritten:
            break;
    }
    return std::string(pszFailure) + ": " + row.strReason;
}
