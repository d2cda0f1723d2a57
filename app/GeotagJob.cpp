#include "GeotagJob.h"

#include <algorithm>
#include <cstdio>

#include "track/TimeZone.h"

namespace {

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

std::string Trimmed(const std::string& strText) {
    const size_t nFirst = strText.find_first_not_of(" \t");
    if (nFirst == std::string::npos) return {};
    return strText.substr(nFirst, strText.find_last_not_of(" \t") - nFirst + 1);
}

// The options of the fields; false with the reason when one does not read.
bool ReadOptions(const GeotagFields& fields, GeotagOptions& options, std::string& strProblem) {
    const std::string strZone = Trimmed(fields.strZone);
    const TimeZoneStatus status = ParseTimeZone(strZone, options.cameraZone);
    if (status != TimeZoneStatus::Ok) {
        strProblem = TimeZoneStatusMessage(status, strZone) + ".";
        return false;
    }
    const std::string strOffset = Trimmed(fields.strOffset);
    const std::optional<int32_t> offset = ParseCameraOffset(strOffset);
    if (!offset) {
        strProblem = "Invalid camera offset \"" + strOffset + "\" (+/-[H:]MM:SS, or seconds).";
        return false;
    }
    options.nCameraOffsetSeconds = *offset;
    options.nMaxGapSeconds = fields.nMaxGapSeconds;
    options.bOverwrite = fields.bOverwrite;
    return true;
}

GeotagReport MakeReport(const GeotagResult& result, bool bDryRun, const std::string& strFolder) {
    GeotagReport report;
    for (const GeotagRow& row : result.rows) {
        char szSeconds[32] = "";
        if (row.lookup.dSecondsToFix >= 0) {
            std::snprintf(szSeconds, sizeof szSeconds, "%.1f s", row.lookup.dSecondsToFix);
        }
        const bool bPlaced = row.outcome == PhotoOutcome::Tagged;
        report.rows.push_back({NameBelow(row.strPath, strFolder), row.strCameraTime,
                               row.instant ? FormatUtcMillis(*row.instant) : std::string(),
                               bPlaced ? PositionText(row.lookup.position) : std::string(),
                               szSeconds, OutcomeText(row, bDryRun)});
        if (!bPlaced) continue;
        // Pins carry record seconds; the instant is whole enough to the second.
        const UtcMillis nMillis = *row.instant;
        const int64_t nSeconds = nMillis / 1000 - (nMillis % 1000 < 0 ? 1 : 0);
        report.pins.push_back({NameBelow(row.strPath, strFolder),
                               static_cast<uint32_t>(std::max<int64_t>(0, nSeconds)),
                               row.lookup.position.dLatitude, row.lookup.position.dLongitude});
    }
    report.strSummary = GeotagSummary(result, bDryRun, false) + ".";
    if (result.bStopped) {
        report.strSummary +=
            " Stopped: " + std::to_string(result.counts.nNotLookedAt) + " not looked at.";
    } else if (bDryRun) {
        report.strSummary += " Nothing is written until Write.";
    }
    // Only a whole preview can be written.
    report.bCanWrite = bDryRun && !result.bStopped && result.counts.nTagged > 0;
    return report;
}

}  // namespace

GeotagJob::GeotagJob(std::shared_ptr<const RawLogImage> pTrack, Post post)
    : m_post(std::move(post)) {
    if (pTrack) m_track.Add(*pTrack);
    m_track.Finish();
}

GeotagJob::~GeotagJob() {
    Stop();
}

void GeotagJob::Stop() {
    if (!m_thread.joinable()) return;
    m_nStop.store(1);
    m_thread.join();
}

std::string GeotagJob::Preview(const GeotagFields& fields) {
    if (IsRunning()) return {};
    if (Trimmed(fields.strFolder).empty()) return "Choose the photos' folder.";
    return Start(fields, {}, true);
}

std::string GeotagJob::Write(const GeotagFields& fields) {
    if (!CanWrite()) return {};
    // The photos the table shows, as they were previewed.
    std::vector<std::string> photos = std::move(m_previewed);
    m_previewed.clear();
    return Start(fields, std::move(photos), false);
}

std::string GeotagJob::Start(const GeotagFields& fields, std::vector<std::string> photos,
                             bool bDryRun) {
    GeotagOptions options;
    std::string strProblem;
    if (!ReadOptions(fields, options, strProblem)) return strProblem;
    m_nStop.store(0);
    const int nJob = ++m_nJob;
    options.pStop = &m_nStop;
    options.bDryRun = bDryRun;
    // From the job's threads: the window hears of it on its own.
    options.onProgress = [this, nJob](size_t nDone, size_t nTotal) {
        m_post([this, nJob, nDone, nTotal] {
            if (nJob == m_nJob && m_thread.joinable() && onProgress) onProgress(nDone, nTotal);
        });
    };
    const std::string strFolder = Trimmed(fields.strFolder);
    const bool bRecursive = fields.bSubfolders;
    m_thread = std::thread([this, photos = std::move(photos), options, strFolder, bRecursive,
                            nJob]() mutable {
        std::string strError;
        if (photos.empty()) {
            static_cast<void>(CollectPhotos({strFolder}, bRecursive, photos, strError));
        }
        GeotagReport report;
        if (strError.empty()) {
            report = MakeReport(GeotagPhotos(m_track, photos, options), options.bDryRun, strFolder);
        } else {
            report.strSummary = strError;
            report.bLookedAt = false;
        }
        auto pReport = std::make_shared<GeotagReport>(std::move(report));
        auto pPhotos = std::make_shared<std::vector<std::string>>(std::move(photos));
        m_post([this, nJob, pReport, pPhotos] {
            // A job that Stop already waited for is over and done with.
            if (nJob != m_nJob || !m_thread.joinable()) return;
            m_thread.join();
            if (pReport->bCanWrite) m_previewed = std::move(*pPhotos);
            if (onFinished) onFinished(*pReport);
        });
    });
    return bDryRun ? "Reading the photos..." : "Writing the positions...";
}
