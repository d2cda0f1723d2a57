#include "Translate.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <unordered_map>

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

// Why no record of the image passed the selection, as a clause ending with a full stop.
std::string EmptySelectionReason(const RawLogImage& image, const RecordSelection& selection,
                                 const TimeZone& zone) {
    const uint32_t dwFirst = std::min(image.FirstTime(), image.LastTime());
    const uint32_t dwLast = std::max(image.FirstTime(), image.LastTime());
    if (selection.nSelectMode == kSelectByTime &&
        (selection.dwToTime < dwFirst || selection.dwFromTime > dwLast)) {
        return "the time window " + LocalText(selection.dwFromTime, zone) + " ~ " +
               LocalText(selection.dwToTime, zone) + " lies outside the file's span " +
               LocalText(dwFirst, zone) + " ~ " + LocalText(dwLast, zone) + " in " +
               zone.DisplayName() + ".";
    }
    if (selection.nSelectMode == kSelectBySize && selection.dwFromTime > dwLast) {
        return "the start " + LocalText(selection.dwFromTime, zone) +
               " lies after the file's last record (" + LocalText(dwLast, zone) + " in " +
               zone.DisplayName() + ").";
    }
    if (selection.bDropNoFix) {
        return "every record in the selection is without a position fix (Drop no-fix data).";
    }
    return "no record lies between the bounds.";
}

}  // namespace

std::string DroppedText(const FilterCounts& dropped, const RecordFilter& filter,
                        uint32_t nNoPosition) {
    std::string strText = FilterCountsText(dropped, filter);
    if (nNoPosition > 0) {
        if (!strText.empty()) strText += ", ";
        strText += std::to_string(nNoPosition) +
                   " without a position fix (a map has no place for " +
                   (nNoPosition == 1 ? "it)" : "them)");
    }
    return strText.empty() ? strText : "\nLeft out: " + strText + ".";
}

std::string TranslateResult::FailureMessage(const std::string& strPath) const {
    switch (status) {
        case TranslateStatus::Ok:
            return {};
        case TranslateStatus::NoExtension:
            return "Unknown file format.";
        case TranslateStatus::Unsupported:
            return "File format not supported.\n\n" + SupportedFormatsText();
        case TranslateStatus::CannotCreate:
        case TranslateStatus::CannotFinish:
            return OutputFileMessage(strPath, nError);
        case TranslateStatus::BadPattern:
            return "Unknown field in the output name \"" + strPath +
                   "\": use %Y, %m, %d (the part's date), %n (its number) or %% (a percent sign).";
        case TranslateStatus::SameName:
            return "Two parts would both be written to " + strPath +
                   ": add %n or a finer date to the output name.";
        case TranslateStatus::SameFile:
            return "Two parts would both be written to one file (" + strPath +
                   "): give each part a name of its own, without \"..\" or links between them.";
        case TranslateStatus::NothingSelected:
            return "No record lies in the selection: nothing was written.";
        case TranslateStatus::NameTaken:
            return strPath +
                   " is there already and was not made from this raw log; nothing was written. "
                   "Move it away and try again.";
    }
    return {};
}

TranslateStatus OutputFormatFromPath(std::string_view path, const TranslateOptions& options,
                                     OutputFormat& format) {
    const size_t nDot = path.rfind('.');
    if (nDot == std::string_view::npos) return TranslateStatus::NoExtension;
    const OutputFormatRow* pRow = FormatForExtension(path.substr(nDot), options);
    if (!pRow) return TranslateStatus::Unsupported;
    format = pRow->format;
    return TranslateStatus::Ok;
}

namespace {

// Creates the output file and writes the document into it, leaving it to be finished.
TranslateResult WriteDocument(const TrackDocument& doc, const std::string& strPath,
                              const TranslateOptions& options, OutputFile& out) {
    TranslateResult result;
    result.status = OutputFormatFromPath(strPath, options, result.format);
    if (result.status != TranslateStatus::Ok) return result;
    if (!out.Create(strPath)) {
        result.status = TranslateStatus::CannotCreate;
        result.nError = out.Error();
        return result;
    }
    const FormatCounts counts = FormatRow(result.format).write(out, doc, options);
    result.nWritten = counts.nWritten;
    result.nNoPosition = counts.nNoPosition;
    return result;
}

TranslateResult TranslateDocument(const TrackDocument& doc, const std::string& strPath,
                                  const TranslateOptions& options) {
    OutputFile out;
    TranslateResult result = WriteDocument(doc, strPath, options, out);
    // A write that failed on the way is not a translation: the target stays as it was.
    if (result.status == TranslateStatus::Ok && !out.Finish()) {
        result.status = TranslateStatus::CannotFinish;
        result.nError = out.Error();
    }
    return result;
}

bool IsFileThere(const std::string& strPath) {
    File file;
    return file.OpenRead(strPath);
}

// The file a name finally leads to: "..", "." and links of the parts that exist resolved.
std::string FileIdentity(const std::string& strPath) {
    // The output file writes through a link to its target, even one that does not exist yet.
    const std::string strTarget = ResolveLinks(strPath);
    std::error_code error;
    const auto* pText = reinterpret_cast<const char8_t*>(strTarget.data());
    const std::filesystem::path path(pText, pText + strTarget.size());
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (error) resolved = std::filesystem::absolute(path, error).lexically_normal();
    const std::u8string text = resolved.u8string();
    return {text.begin(), text.end()};
}

// Two names that differ as text but lead to one file: "A and B", else empty.
std::string SameFileNames(const std::vector<std::string>& names) {
    std::unordered_map<std::string, size_t> seen;
    for (size_t i = 0; i < names.size(); ++i) {
        const auto [it, bNew] = seen.emplace(FileIdentity(names[i]), i);
        if (!bNew) return names[it->second] + " and " + names[i];
    }
    return {};
}

}  // namespace

TranslateResult TranslateToFile(const RawLogImage& image, const std::string& strPath,
                                const RecordSelection& selection, const TimeZone& zone,
                                const TranslateOptions& options) {
    TranslateResult result;
    result.status = OutputFormatFromPath(strPath, options, result.format);
    if (result.status != TranslateStatus::Ok) return result;
    const RecordPicks picks(image, SelectionFor(result.format, selection));
    if (picks.Count() == 0 && image.RecordCount() > 0) {
        // A file of nothing but a header would pass for a translation.
        result.status = TranslateStatus::NothingSelected;
        result.dropped = picks.Dropped();
        return result;
    }
    const TrackPart part = WholePart(picks);
    result = TranslateDocument({image, picks, part, zone}, strPath, options);
    result.dropped = picks.Dropped();
    return result;
}

TranslateStatus PartFileNames(std::string_view pattern, const std::vector<LogDateTime>& dates,
                              std::vector<std::string>& names) {
    names.clear();
    bool bField = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        const char c = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c != 'Y' && c != 'm' && c != 'd' && c != 'n' && c != '%') {
            names.emplace_back(pattern);
            return TranslateStatus::BadPattern;
        }
        bField = bField || c != '%';
        ++i;
    }
    std::string strPattern(pattern);
    if (!bField) {
        // "-%n" before the extension: after the last "." of the file's own name.
        const size_t nSlash = strPattern.find_last_of("/\\");
        const size_t nDot = strPattern.rfind('.');
        const bool bExt =
            nDot != std::string::npos && (nSlash == std::string::npos || nDot > nSlash);
        strPattern.insert(bExt ? nDot : strPattern.size(), "-%n");
    }
    for (size_t nPart = 0; nPart < dates.size(); ++nPart) {
        std::string strName;
        for (size_t i = 0; i < strPattern.size(); ++i) {
            if (strPattern[i] != '%') {
                strName += strPattern[i];
                continue;
            }
            const LogDateTime& d = dates[nPart];
            const auto two = [](unsigned v) {
                return std::string(1, char('0' + v / 10)) + char('0' + v % 10);
            };
            switch (strPattern[++i]) {
                case 'Y':
                    strName += std::to_string(d.wYear);
                    break;
                case 'm':
                    strName += two(d.bMonth);
                    break;
                case 'd':
                    strName += two(d.bDay);
                    break;
                case 'n':
                    strName += std::to_string(nPart + 1);
                    break;
                default:
                    strName += '%';
                    break;
            }
        }
        for (const std::string& strEarlier : names) {
            if (strEarlier == strName) {
                names.assign(1, strName);
                return TranslateStatus::SameName;
            }
        }
        names.push_back(std::move(strName));
    }
    return TranslateStatus::Ok;
}

SplitTranslateResult TranslateToFiles(const RawLogImage& image, const std::string& strPattern,
                                      const RecordSelection& selection, const TimeZone& zone,
                                      const TranslateOptions& options,
                                      const SplitOutputOptions& split) {
    SplitTranslateResult all;
    all.strFailed = strPattern;
    all.result.status = OutputFormatFromPath(strPattern, options, all.result.format);
    if (all.result.status != TranslateStatus::Ok) return all;
    const RecordPicks picks(image, SelectionFor(all.result.format, selection));
    all.result.dropped = picks.Dropped();
    // Unsplit, the one file is written even when it holds nothing, as a plain translation is.
    const bool bWhole = split.split.kind == SplitRule::Kind::None;
    const std::vector<TrackPart> parts = bWhole ? std::vector<TrackPart>{WholePart(picks)}
                                                : SplitPicks(image, picks, split.split, zone);
    std::vector<LogDateTime> dates;
    for (const TrackPart& part : parts) {
        dates.push_back(part.bOneDay
                            ? SecondsToDateTime(part.nLocalDay * 86400u, 0)
                            : SecondsToDateTime(part.dwFirstTime, zone.OffsetAt(part.dwFirstTime)));
    }
    std::vector<std::string> names;
    if (bWhole) {
        names.assign(1, strPattern);
    } else {
        all.result.status = PartFileNames(strPattern, dates, names);
    }
    if (all.result.status != TranslateStatus::Ok) {
        all.strFailed = names.empty() ? strPattern : names.front();
        return all;
    }
    // Decided before anything is written: a part must never replace the one before it.
    if (std::string strBoth = SameFileNames(names); !strBoth.empty()) {
        all.result.status = TranslateStatus::SameFile;
        all.strFailed = std::move(strBoth);
        return all;
    }
    if (split.existing == ExistingFile::Refuse) {
        for (const std::string& strName : names) {
            if (!IsFileThere(strName)) continue;
            all.result.status = TranslateStatus::NameTaken;
            all.strFailed = strName;
            return all;
        }
    }
    // A file is finished (put on the disk and renamed) on a thread of its own while the next one
    // is written: the disk's wait and the formatting overlap.
    struct Finishing {
        std::unique_ptr<OutputFile> pOut;
        std::future<bool> done;
        TranslatedFile file;
    };
    std::optional<Finishing> finishing;
    bool bStop = false;
    const auto report = [&](const TranslatedFile& file) {
        all.files.push_back(file);
        if (!file.bKept) all.result.nWritten += file.nRecords;
        bStop = split.onFile && !split.onFile(file);
    };
    const auto settle = [&]() {
        if (!finishing) return all.result.status == TranslateStatus::Ok;
        const bool bDone = finishing->done.get();
        if (bDone) {
            report(finishing->file);
        } else if (all.result.status == TranslateStatus::Ok) {
            all.result.status = TranslateStatus::CannotFinish;
            all.result.nError = finishing->pOut->Error();
            all.strFailed = finishing->file.strPath;
        }
        finishing.reset();
        return bDone;
    };
    for (size_t i = 0; i < parts.size() && !bStop; ++i) {
        TranslatedFile file{names[i], parts[i].nRecords, false};
        if (split.existing == ExistingFile::Keep && IsFileThere(file.strPath)) {
            file.bKept = true;
            if (!settle()) return all;
            if (!bStop) report(file);
            continue;
        }
        auto pOut = std::make_unique<OutputFile>();
        const TranslateResult one =
            WriteDocument({image, picks, parts[i], zone}, file.strPath, options, *pOut);
        file.nRecords = one.nWritten;
        if (!settle() || bStop) return all;
        if (one.status != TranslateStatus::Ok) {
            all.result.status = one.status;
            all.result.nError = one.nError;
            all.strFailed = file.strPath;
            return all;
        }
        all.result.nNoPosition += one.nNoPosition;
        OutputFile* pFinish = pOut.get();
        finishing = Finishing{
            std::move(pOut),
            std::async(std::launch::async, [pFinish] { return pFinish->Finish(); }), file};
    }
    settle();
    return all;
}

TranslateSummaryText TranslateSummary(const TranslateResult& result, const RawLogImage& image,
                                      const RecordSelection& selection, const TimeZone& zone,
                                      const std::string& strPath) {
    std::string strText =
        std::to_string(result.nWritten) + " of " + std::to_string(image.RecordCount()) +
        (image.RecordCount() == 1 ? " record" : " records") + " written to " + strPath;
    const std::string strDropped =
        DroppedText(result.dropped, selection.filter, result.nNoPosition);
    // Records left out by the format say so themselves.
    if (result.nWritten > 0 || image.RecordCount() == 0 || result.nNoPosition > 0) {
        return {"Translate OK.", strText + strDropped};
    }
    // Nothing passed the selection: say why.
    return {"Translate OK.",
            strText + "; " + EmptySelectionReason(image, selection, zone) + strDropped};
}

std::string NothingSelectedMessage(const RawLogImage& image, const RecordSelection& selection,
                                   const TimeZone& zone, const FilterCounts& dropped) {
    std::string strReason = EmptySelectionReason(image, selection, zone);
    strReason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(strReason[0])));
    std::string strText = "No record lies in the selection: nothing was written.\n\n" + strReason;
    if (strReason.find("the file's span") == std::string::npos) {
        // Spans are ordered by instant: a file whose times run backwards still reads forwards.
        const uint32_t dwFirst = std::min(image.FirstTime(), image.LastTime());
        const uint32_t dwLast = std::max(image.FirstTime(), image.LastTime());
        strText += " The file's span: " + LocalText(dwFirst, zone) + " ~ " +
                   LocalText(dwLast, zone) + " in " + zone.DisplayName() + ".";
    }
    return strText + DroppedText(dropped, selection.filter);
}
