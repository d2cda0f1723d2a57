#include "Sync.h"

#include <chrono>
#include <optional>

#include "platform/Clock.h"
#include "platform/File.h"

namespace {

DownloadWait AwaitDownload(WorkerEventQueue& events, SyncObserver& observer, bool bShowProgress) {
    const auto progress = [&](uint32_t nReceived, uint32_t nAnnounced) {
        if (bShowProgress) observer.OnProgress(nReceived, nAnnounced);
    };
    return AwaitDownloadEnd(
        events, [&] { return observer.StopRequested(); },
        [&](const std::string& strText) { observer.OnLoggerLine(strText); }, progress);
}

// Hands on the logger's answer lines until it has been quiet a moment.
void PassOnReplies(WorkerEventQueue& events, SyncObserver& observer) {
    const Deadline deadline(5000);
    while (!deadline.Passed()) {
        const std::optional<WorkerEvent> event = events.Pop(std::chrono::milliseconds(300));
        if (!event) return;
        if (event->kind == WorkerEvent::Kind::LogEntry) observer.OnLoggerLine(event->strText);
    }
}

// The download result's message, saying where what arrived is kept (strKept, possibly nowhere).
std::string DownloadFailure(uint32_t nResult, DownloadOutcome where, const std::string& strKept) {
    if (nResult == DR_FILE_ERROR) {
        std::string strText = DownloadResultMessage(nResult, where);
        if (!strKept.empty()) strText += "\nThe records that arrived are in " + strKept + ".";
        return strText;
    }
    where.strFile = strKept;
    return DownloadResultMessage(nResult, where);
}

SyncOutcome Fail(SyncOutcome outcome, SyncStep step, std::string strMessage) {
    outcome.bOk = false;
    outcome.failedStep = step;
    outcome.strMessage = std::move(strMessage);
    return outcome;
}

// Sends the download request for a new file in the archive folder and waits for its result.
std::optional<DownloadWait> RequestDownload(LinkSession& session, WorkerEventQueue& events,
                                            SyncObserver& observer, const std::string& strPath,
                                            bool bShowProgress, std::string& strError) {
    session.BeginDownload(strPath);
    const SendStatus sent = session.Send(DownloadSentenceBody());
    if (!sent.Ok()) {
        session.CancelDownload();
        strError = sent.Message();
        return std::nullopt;
    }
    return AwaitDownload(events, observer, bShowProgress);
}

}  // namespace

const char* SyncStepText(SyncStep step) {
    switch (step) {
        case SyncStep::Folder:
            return "make the archive folder";
        case SyncStep::Download:
            return "download";
        case SyncStep::Store:
            return "verify and store the download";
        case SyncStep::Outputs:
            return "write the output files";
        case SyncStep::Erase:
            return "erase the logger";
        case SyncStep::Confirm:
            return "confirm the erase";
    }
    return "";
}

SyncOutcome RunSync(LinkSession& session, WorkerEventQueue& events, const SyncOptions& options,
                    SyncObserver& observer) {
    SyncOutcome outcome;
    const SystemError nFolderError = CreateFolders(options.strArchive);
    if (nFolderError != 0) {
        return Fail(outcome, SyncStep::Folder,
                    options.strArchive + ": " + SystemErrorText(nFolderError));
    }

    // Download into a name of its own in the archive, so that nothing there is replaced.
    const std::string strDownload = IncompleteDownloadPath(options.strArchive);
    std::string strError;
    const std::optional<DownloadWait> download =
        RequestDownload(session, events, observer, strDownload, true, strError);
    if (!download) return Fail(outcome, SyncStep::Download, strError);
    if (!download->result) {
        // Stopped: the worker ends the download as aborted and closes the file.
        session.CancelDownload();
        static_cast<void>(session.Close());
        outcome.bCancelled = true;
        outcome.strKept = KeepIncompleteDownload(strDownload);
        return Fail(outcome, SyncStep::Download,
                    DownloadFailure(DR_ABORTED, session.LastDownload(), outcome.strKept));
    }
    if (*download->result == DR_NO_DATA) {
        outcome.bOk = outcome.bNoData = true;
        return outcome;
    }
    if (*download->result != DR_OK) {
        outcome.strKept = KeepIncompleteDownload(strDownload);
        return Fail(outcome, SyncStep::Download,
                    DownloadFailure(*download->result, session.LastDownload(), outcome.strKept));
    }
    observer.OnProgress(download->nAnnounced, download->nAnnounced);

    RawLogImage image;
    outcome.stored = StoreDownload(strDownload, download->nAnnounced, options.strArchive, image);
    if (!outcome.stored.Ok()) {
        outcome.strKept = KeepIncompleteDownload(strDownload);
        return Fail(outcome, SyncStep::Store, outcome.stored.FailureMessage());
    }
    observer.OnStored(outcome.stored);

    // A new raw file's outputs are new too: a file that has one of their names is another's.
    ArchiveOutputOptions outputs = options.outputs;
    outputs.existing = outcome.stored.status == StoreStatus::AlreadyStored ? ExistingFile::Keep
                                                                           : ExistingFile::Refuse;
    const SplitTranslateResult written =
        WriteArchiveOutputs(image, outcome.stored.strPath, options.zone, outputs,
                            [&observer](OutputFormat format, const TranslatedFile& file) {
                                observer.OnOutput(format, file);
                                return !observer.StopRequested();
                            });
    outcome.dropped = written.result.dropped;
    if (written.result.status != TranslateStatus::Ok) {
        return Fail(outcome, SyncStep::Outputs, written.FailureMessage());
    }
    if (observer.StopRequested()) {
        outcome.bCancelled = true;
        return Fail(outcome, SyncStep::Outputs, "Stopped before the erase.");
    }
    for (const TranslatedFile& file : written.files) {
        if (!PathExists(file.strPath)) {
            return Fail(outcome, SyncStep::Outputs, file.strPath + " is missing.");
        }
    }
    if (!options.bErase) {
        outcome.bOk = true;
        return outcome;
    }

    // Everything is on the disk: only now may the logger forget it.
    const SendStatus erased = session.Send(EraseSentenceBody());
    if (!erased.Ok()) return Fail(outcome, SyncStep::Erase, erased.Message());
    PassOnReplies(events, observer);

    // An empty logger answers a download request with a zero count and creates no file.
    const std::string strCheck = IncompleteDownloadPath(options.strArchive);
    const std::optional<DownloadWait> check =
        RequestDownload(session, events, observer, strCheck, false, strError);
    if (!check) return Fail(outcome, SyncStep::Confirm, strError);
    if (!check->result) {
        session.CancelDownload();
        static_cast<void>(session.Close());
        outcome.bCancelled = true;
        outcome.strKept = KeepIncompleteDownload(strCheck);
        return Fail(outcome, SyncStep::Confirm, "Stopped before the erase was confirmed.");
    }
    if (*check->result == DR_NO_DATA) {
        outcome.bOk = outcome.bErased = true;
        return outcome;
    }
    if (*check->result == DR_OK) {
        // Records the erase left, or the logger made since: stored like any download.
        RawLogImage left;
        const StoreResult more =
            StoreDownload(strCheck, check->nAnnounced, options.strArchive, left);
        outcome.strKept = more.Ok() ? more.strPath : KeepIncompleteDownload(strCheck);
        return Fail(outcome, SyncStep::Confirm,
                    "The logger still reports " + std::to_string(check->nAnnounced) +
                        " records after the erase; they are in " + outcome.strKept + ".");
    }
    outcome.strKept = KeepIncompleteDownload(strCheck);
    return Fail(outcome, SyncStep::Confirm,
                DownloadFailure(*check->result, session.LastDownload(), outcome.strKept));
}
