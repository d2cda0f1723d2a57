#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Archive.h"
#include "link/LinkSession.h"
#include "link/WorkerEventQueue.h"

// From the logger to safe files in one go: download into the archive folder, read the download
// back and check it against the count the logger announced, store it under its span (once), write
// the files asked for, and only when all of that succeeded and an erase was asked for, erase the
// logger and check that it then reports no records. A failure stops there: nothing after it runs,
// above all no erase, and everything written so far stays.

enum class SyncStep { Folder, Download, Store, Outputs, Erase, Confirm };

// "download", "verify and store the download", ...
const char* SyncStepText(SyncStep step);

struct SyncOptions {
    std::string strArchive;
    ArchiveOutputOptions outputs;
    TimeZone zone;
    bool bErase = false;
};

// What a front end shows while a sync runs. Called on the thread that runs the sync.
class SyncObserver {
  public:
    virtual ~SyncObserver() = default;
    virtual void OnProgress(uint32_t /*nReceived*/, uint32_t /*nAnnounced*/) {}
    virtual void OnLoggerLine(std::string_view /*text*/) {}
    virtual void OnStored(const StoreResult& /*stored*/) {}
    virtual void OnOutput(OutputFormat /*format*/, const TranslatedFile& /*file*/) {}
    // A stop request: the sync ends at the next step, never erasing.
    virtual bool StopRequested() { return false; }
};

struct SyncOutcome {
    bool bOk = false;
    bool bNoData = false;     // the logger had nothing to download; nothing else ran
    bool bCancelled = false;  // a stop request ended it (before any erase)
    bool bErased = false;     // the erase was sent and the logger then reported no records
    SyncStep failedStep = SyncStep::Folder;
    std::string strMessage;  // why it failed
    std::string strKept;     // where an incomplete or unverified download's records are
    StoreResult stored;      // the download in the archive
    FilterCounts dropped;    // records the outputs' filter refused
};

// Runs the steps over an open session whose events arrive in the queue.
[[nodiscard]] SyncOutcome RunSync(LinkSession& session, WorkerEventQueue& events,
                                  const SyncOptions& options, SyncObserver& observer);
