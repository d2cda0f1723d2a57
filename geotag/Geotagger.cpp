#include "Geotagger.h"

#include <algorithm>
#include <filesystem>
#include <set>

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

GeotagResult GeotagPhotos(const TrackIndex& track, const std::vector<std::string>& photos,
                          const GeotagOptions& options) {
    GeotagResult result;
    GeotagCounts& counts = result.counts;
    // Folders whose new names are put on the disk at the end, once each rather than per photo.
    std::set<std::string> written;
    for (size_t i = 0; i < photos.size(); ++i) {
        if (options.pStop != nullptr && options.pStop->load() != 0) {
            result.bStopped = true;
            counts.nNotLookedAt = photos.size() - i;
            break;
        }
        if (options.onProgress) options.onProgress(i, photos.size());
        GeotagRow& row = result.rows.emplace_back();
        row.strPath = photos[i];
        PhotoTags tags;
        if (PhotoKindOf(row.strPath) == PhotoKind::Other) {
            row.strReason = "not a JPEG, TIFF or camera raw file";
        } else if (!tags.Open(row.strPath)) {
            row.strReason = tags.Error();
        } else {
            row.strCameraTime = CameraTimeText(tags.Times());
            row.instant =
                PhotoInstant(tags.Times(), options.cameraZone, options.nCameraOffsetSeconds);
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
                // A linked photo is replaced where the link leads, a sidecar beside the link.
                written.insert(FolderOf(ResolveLinks(row.strPath)));
                written.insert(FolderOf(row.strPath));
            } else {
                row.strReason = tags.Error();
            }
        }
        switch (row.outcome) {
            case PhotoOutcome::Tagged:
                ++counts.nTagged;
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
    return result;
}
