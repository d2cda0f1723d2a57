#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "geotag/Geotagger.h"
#include "platform/Signals.h"

namespace {

struct GeotagCliOptions {
    std::vector<std::string> photos;
    std::vector<std::string> tracks;
    std::string strZone = "local";  // the system's zone unless --camera-tz names one
    std::string strCameraOffset = "0";
    std::string strMaxGap = "300";
    bool bRecursive = false;
    bool bOverwrite = false;
    bool bDryRun = false;
    bool bTouch = false;
};

std::string Photos(size_t n) {
    return std::to_string(n) + (n == 1 ? " photo" : " photos");
}

std::string PositionText(const TrackPosition& pos) {
    char szText[96];
    std::snprintf(szText, sizeof szText, "%.7f, %.7f, %.1f m", pos.dLatitude, pos.dLongitude,
                  pos.dAltitude);
    return szText;
}

// What the dry run's table says where a photo gets no position.
std::string OutcomeText(const GeotagRow& row) {
    return row.outcome == PhotoOutcome::Tagged ? PositionText(row.lookup.position)
                                               : PhotoOutcomeText(row, "unreadable");
}

std::string SecondsText(double dSeconds) {
    char szText[32];
    std::snprintf(szText, sizeof szText, "%.1f s", dSeconds);
    return szText;
}

void PrintTable(const GeotagResult& result) {
    int nWidth = 5;
    for (const GeotagRow& row : result.rows) {
        nWidth = std::max(nWidth, static_cast<int>(row.strPath.size()));
    }
    std::printf("%-*s  %-28s  %-23s  %-15s  %s\n", nWidth, "Photo", "Camera time", "UTC",
                "To nearest fix", "Position");
    for (const GeotagRow& row : result.rows) {
        std::printf(
            "%-*s  %-28s  %-23s  %-15s  %s\n", nWidth, row.strPath.c_str(),
            row.strCameraTime.empty() ? "-" : row.strCameraTime.c_str(),
            row.instant ? FormatUtcMillis(*row.instant).c_str() : "-",
            row.lookup.dSecondsToFix >= 0 ? SecondsText(row.lookup.dSecondsToFix).c_str() : "-",
            OutcomeText(row).c_str());
    }
}

// The photos left untouched for want of a place or a time, and those that could not be written.
void PrintLists(const GeotagResult& result) {
    for (const GeotagRow& row : result.rows) {
        if (row.outcome == PhotoOutcome::Outside) {
            std::printf("Outside the track: %s (%s UTC", row.strPath.c_str(),
                        FormatUtcMillis(*row.instant).c_str());
            if (row.lookup.dSecondsToFix >= 0) {
                std::printf(", %s from the nearest fix",
                            SecondsText(row.lookup.dSecondsToFix).c_str());
            }
            std::printf(")\n");
        } else if (row.outcome == PhotoOutcome::NoTime) {
            std::printf(
                "No time of taking: %s (DateTimeOriginal %s)\n", row.strPath.c_str(),
                row.strCameraTime.empty() ? "missing" : ("\"" + row.strCameraTime + "\"").c_str());
        }
    }
    std::fflush(stdout);
    for (const GeotagRow& row : result.rows) {
        if (row.outcome == PhotoOutcome::NotWritten) {
            PrintError("Not written: " + row.strPath + ": " + row.strReason);
        }
    }
}

int RunGeotag(const GeotagCliOptions& opt) {
    GeotagOptions options;
    const std::optional<TimeZone> zone = ResolveTimeZone(opt.strZone);
    if (!zone) return kExitUsage;
    options.cameraZone = *zone;
    const std::optional<int32_t> offset = ParseCameraOffset(opt.strCameraOffset);
    const std::optional<uint32_t> gap = ParseDurationSeconds(opt.strMaxGap);
    if (!offset || !gap) {
        PrintError(!offset ? "Invalid --camera-offset \"" + opt.strCameraOffset +
                                 "\" (+/-[H:]MM:SS, or seconds)."
                           : "Invalid --max-gap \"" + opt.strMaxGap +
                                 "\" (seconds, or a number with s, m or h).");
        return kExitUsage;
    }
    options.nCameraOffsetSeconds = *offset;
    options.nMaxGapSeconds = *gap;
    options.bOverwrite = opt.bOverwrite;
    options.bDryRun = opt.bDryRun;
    options.bKeepModificationTime = !opt.bTouch;

    TrackIndex track;
    std::vector<std::string> photos;
    std::string strError;
    if (!LoadTrack(opt.tracks, track, strError) ||
        !CollectPhotos(opt.photos, opt.bRecursive, photos, strError)) {
        PrintError(strError);
        return kExitFailure;
    }
    // Ctrl-C, SIGTERM and SIGHUP stop the job between two photos: each is left as it was or
    // fully tagged, and the summary says how far it came.
    std::atomic<int32_t> nStop{0};
    options.pStop = &nStop;
    options.onProgress = [&nStop](size_t, size_t) {
        if (StopSignal() != 0) nStop.store(1);
    };
    CatchStopSignals(false);
    const GeotagResult result = GeotagPhotos(track, photos, options);
    const bool bStopped = StopSignal() != 0;
    if (opt.bDryRun) {
        PrintTable(result);
    } else {
        PrintLists(result);
    }
    std::printf("%s\n", GeotagSummary(result, opt.bDryRun, true).c_str());
    std::printf("Camera times in %s where a photo names no offset%s.\n",
                zone->DisplayName().c_str(),
                *offset == 0 ? "" : (", less " + std::to_string(*offset) + " s").c_str());
    if (opt.bDryRun) std::printf("Dry run: no photo was changed.\n");
    if (result.bStopped) {
        std::printf("Stopped: %s not looked at.\n", Photos(result.counts.nNotLookedAt).c_str());
    }
    std::fflush(stdout);
    if (bStopped) EndLikeStopSignal();
    ReleaseStopSignals();
    return result.counts.nNotWritten > 0 ? kExitFailure : kExitOk;
}

}  // namespace

CliCommand MakeGeotagCommand() {
    auto opt = std::make_shared<GeotagCliOptions>();
    return {
        "geotag", "Write positions from raw logs or GPX tracks into photos taken along the track",
        [opt](CLI::App& app) {
            app.add_option("PHOTOS", opt->photos,
                           "Photos (JPEG and TIFF tagged in place; camera raw files get an XMP "
                           "sidecar named after the whole file, IMG_1.CR2.xmp) or folders of "
                           "them")
                ->required();
            app.add_option("-t,--track", opt->tracks,
                           "Raw log (.dlg), archive folder of raw logs, or GPX track (.gpx) from "
                           "another device; may be given more than once")
                ->required()
                ->allow_extra_args(false);
            app.add_flag("-r,--recursive", opt->bRecursive, "Also take photos in folders below");
            app.add_option("--camera-tz", opt->strZone,
                           "The zone of the camera's clock where a photo names no offset: local "
                           "(the default), a zone name such as Europe/Berlin, UTC, or an offset "
                           "such as GMT+8:00");
            app.add_option("--camera-offset", opt->strCameraOffset,
                           "How far the camera's clock is off: the camera's time minus the true "
                           "time, +/-[H:]MM:SS (+0:02:00 for a clock two minutes fast)");
            app.add_option("--max-gap", opt->strMaxGap,
                           "Interpolate only between fixes at most this far apart, and take the "
                           "first or last fix only this near (default 300 seconds; 5m, 1h)");
            app.add_flag("--overwrite", opt->bOverwrite, "Replace a position a photo holds");
            app.add_flag("--dry-run", opt->bDryRun,
                         "Show each photo's time, instant and position; change nothing");
            app.add_flag("--touch", opt->bTouch,
                         "Give tagged photos the current modification time rather than keep "
                         "theirs");
        },
        [opt] { return RunGeotag(*opt); }};
}
