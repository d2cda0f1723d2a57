#include "Translate.h"

#include "OutputFile.h"

namespace {

// Local time in the zone as the labels write it.
std::string LocalText(uint32_t dwTime, const TimeZone& zone) {
    const LogDateTime t = SecondsToDateTime(dwTime, zone.OffsetAt(dwTime));
    char text[32];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", t.wYear, t.bMonth, t.bDay,
                  t.bHour, t.bMinute, t.bSecond);
    return text;
}

}  // namespace

std::string TranslateResult::FailureMessage(const std::string& strPath) const {
    switch (status) {
        case TranslateStatus::Ok:
            return {};
        case TranslateStatus::NoExtension:
            return "Unknown file format.";
        case TranslateStatus::Unsupported:
            return "File format not supported.\n\nSupported: .kml (Google Earth), .gpx (GPS "
                   "exchange format), .csv and .txt (spreadsheet).";
        case TranslateStatus::CannotCreate:
        case TranslateStatus::CannotFinish:
            return OutputFileMessage(strPath, nError);
    }
    return {};
}

TranslateStatus OutputFormatFromPath(std::string_view path, const TranslateOptions& options,
                                     OutputFormat& format) {
    const size_t nDot = path.rfind('.');
    if (nDot == std::string_view::npos) return TranslateStatus::NoExtension;
    const std::string_view ext = path.substr(nDot);
    if (ext == ".kml") {
        format = options.bKmlTrack ? OutputFormat::KmlTrack : OutputFormat::Kml;
    } else if (ext == ".csv" || ext == ".txt") {
        format = OutputFormat::Csv;
    } else if (ext == ".gpx") {
        format = OutputFormat::Gpx;
    } else {
        return TranslateStatus::Unsupported;
    }
    return TranslateStatus::Ok;
}

uint32_t LocalBound(const LogDateTime& local, const TimeZone& zone) {
    return zone.LocalToRecordTime(LocalSecondsOf(local));
}

TranslateResult TranslateToFile(const RawLogImage& image, const std::string& strPath,
                                const RecordSelection& selection, const TimeZone& zone,
                                const TranslateOptions& options) {
    TranslateResult result;
    result.status = OutputFormatFromPath(strPath, options, result.format);
    if (result.status != TranslateStatus::Ok) return result;
    OutputFile out;
    if (!out.Create(strPath)) {
        result.status = TranslateStatus::CannotCreate;
        result.nError = out.Error();
        return result;
    }
    switch (result.format) {
        case OutputFormat::Kml:
            result.nWritten = WriteKml(out, image, selection, zone);
            break;
        case OutputFormat::KmlTrack:
            result.nWritten = WriteKmlTrack(out, image, selection, zone, options.kmlTrack);
            break;
        case OutputFormat::Csv:
            result.nWritten = WriteCsv(out, image, selection, zone);
            break;
        case OutputFormat::Gpx:
            result.nWritten = WriteGpx(out, image, selection, options.gpx);
            break;
    }
    // A write that failed on the way is not a translation: the target stays as it was.
    if (!out.Finish()) {
        result.status = TranslateStatus::CannotFinish;
        result.nError = out.Error();
    }
    return result;
}

std::string TranslateSummary(const TranslateResult& result, const RawLogImage& image,
                             const RecordSelection& selection, const TimeZone& zone,
                             const std::string& strPath) {
    std::string strText = "Translate OK.\n\n" + std::to_string(result.nWritten) + " of " +
                          std::to_string(image.RecordCount()) + " records written to " + strPath;
    if (result.nWritten > 0 || image.RecordCount() == 0) return strText;
    // Nothing passed the selection: say why.
    const uint32_t dwFirst = image.FirstTime();
    const uint32_t dwLast = image.LastTime();
    if (selection.nSelectMode == kSelectByTime &&
        (selection.dwToTime < std::min(dwFirst, dwLast) ||
         selection.dwFromTime > std::max(dwFirst, dwLast))) {
        strText += "; the time window " + LocalText(selection.dwFromTime, zone) + " ~ " +
                   LocalText(selection.dwToTime, zone) + " lies outside the file's span " +
                   LocalText(dwFirst, zone) + " ~ " + LocalText(dwLast, zone) + " in " +
                   zone.DisplayName() + ".";
    } else if (selection.nSelectMode == kSelectBySize && selection.dwFromTime > dwLast) {
        strText += "; the start " + LocalText(selection.dwFromTime, zone) +
                   " lies after the file's last record (" + LocalText(dwLast, zone) + " in " +
                   zone.DisplayName() + ").";
    } else if (selection.bDropNoFix) {
        strText += "; every record in the selection is without a position fix (Drop no-fix data).";
    } else {
        strText += "; no record lies in the selection.";
    }
    return strText;
}
