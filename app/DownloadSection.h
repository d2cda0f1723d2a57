#pragma once

#include <atomic>
#include <cstdint>

#include "DialogView.h"
#include "FolderMemory.h"
#include "SectionInterfaces.h"
#include "link/LinkSession.h"

// GET data with its progress and result, and DELETE: the requests for the logger's memory.
class DownloadSection {
  public:
    // port carries the requests; rawLog is told when its records are replaced.
    DownloadSection(DialogView& view, LinkSession& link, LoggerPort& port, RawLogHolder& rawLog,
                    FolderMemory& folders);

    void OnGetData();
    void OnDelete();
    // The worker's notifications.
    void OnDownloadProgress(uint32_t nAnnounced, uint32_t nReceived);
    void OnDownloadDone(uint32_t nResult);
    // From GET data's request to the download's result.
    bool IsDownloading() const { return m_bDownloading || m_bDownloadMode != 0; }

  private:
    // The buttons that a download disables, back to their idle state.
    void RestoreIdleButtons();

    DialogView& m_view;
    LinkSession& m_link;
    std::atomic<int32_t>& m_bDownloadMode;
    LoggerPort& m_port;
    RawLogHolder& m_rawLog;
    FolderMemory& m_folders;
    bool m_bDownloading = false;
};
