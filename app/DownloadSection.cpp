#include "DownloadSection.h"

#include <cstdio>
#include <optional>
#include <string>

#include "Resource.h"
#include "WindowBoxes.h"

namespace {

constexpr char kGetDataText[] = "GET data from device";
constexpr char kCancelText[] = "Cancel";

}  // namespace

DownloadSection::DownloadSection(DialogView& view, LinkSession& link, LoggerPort& port,
                                 RawLogHolder& rawLog, FolderMemory& folders)
    : m_view(view),
      m_link(link),
      m_bDownloadMode(link.Flags().m_bDownloadMode),
      m_port(port),
      m_rawLog(rawLog),
      m_folders(folders) {}

void DownloadSection::OnGetData() {
    if (!m_port.EnsurePortOpen()) return;
    if (m_bDownloadMode != 0) {
        // Cancel: the worker closes the raw file when the next bytes arrive.
        m_bDownloadMode = 0;
        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, DR_ABORTED, 0);
        return;
    }

    FileDialogRequest request;
    const std::string strRawPath = m_view.GetControlText(IDC_RAW_PATH);
    request.strInitialFolder =
        strRawPath.empty() ? m_folders.Folder(FolderUse::Download) : InitialFolderOf(strRawPath);
    request.filters = {{"Data logger file(*.dlg)", "*.dlg"}};
    request.strDefaultExtension = "dlg";
    request.nOptions = kHideReadOnly | kOverwritePrompt | kPathMustExist;
    const std::optional<FileDialogResult> chosen = m_view.ShowSaveDialog(request);
    if (!chosen) return;
    const std::string& strPath = chosen->strPath;
    m_view.SetControlText(IDC_RAW_PATH, strPath);
    m_folders.RememberFolderOf(FolderUse::Download, strPath);
    // From here on the records in memory are not the file the path box names.
    m_rawLog.DropRawImage();
    m_bDownloading = true;

    // Download mode goes on before the request goes out, so that the worker is ready for the
    // answer; the worker gets the file's path with it.
    m_link.BeginDownload(strPath);
    m_view.EnableControl(IDC_DELETE, false);
    m_view.EnableControl(IDC_OPEN_FILE, false);
    m_view.EnableControl(IDC_TRANSLATE, false);
    m_view.EnableControl(IDC_OPEN_CLOSE, false);
    m_view.SetControlText(IDC_GET_DATA, kCancelText);
    if (!m_port.SendCommandSentence(DownloadSentenceBody())) {
        // Nothing was asked, so nothing will come: no download.
        m_bDownloadMode = 0;
        RestoreIdleButtons();
    }
}

void DownloadSection::OnDelete() {
    if (!m_port.EnsurePortOpen()) return;
    if (m_view.ShowMessageBox(kDeleteQuestion, "Question", BoxButtons::OkCancel,
                              BoxIcon::Question) != BoxAnswer::Ok) {
        return;
    }
    (void)m_port.SendCommandSentence(EraseSentenceBody());
}

void DownloadSection::OnDownloadProgress(uint32_t nAnnounced, uint32_t nReceived) {
    if (nReceived == 0) {
        m_view.ShowControl(IDC_TIME_LABEL, false);
        m_view.ShowControl(IDC_SIZE_LABEL, true);
        m_view.ShowControl(IDC_PROGRESS, true);
        m_view.SetProgressRange(IDC_PROGRESS, 0, nAnnounced);
        m_view.SetProgressPosition(IDC_PROGRESS, 0);
        return;
    }
    m_view.SetProgressPosition(IDC_PROGRESS, nReceived);
    char szText[32];
    std::snprintf(szText, sizeof szText, "%d / %d", static_cast<int>(nReceived),
                  static_cast<int>(nAnnounced));
    m_view.SetControlText(IDC_SIZE_LABEL, szText);
}

void DownloadSection::OnDownloadDone(uint32_t nResult) {
    m_view.ShowControl(IDC_TIME_LABEL, false);
    m_view.ShowControl(IDC_SIZE_LABEL, false);
    m_view.ShowControl(IDC_PROGRESS, false);

    const DownloadOutcome outcome = m_link.LastDownload();
    if (DownloadResultText(nResult) != nullptr) {
        const std::string strText = DownloadResultMessage(nResult, outcome);
        if (DownloadResultIsError(nResult)) {
            ShowError(m_view, strText);
        } else {
            ShowInfo(m_view, strText);
        }
    }
    if (nResult == DR_OK) {
        // The file the download wrote, whatever the path box was given meanwhile.
        if (!outcome.strFile.empty()) m_view.SetControlText(IDC_RAW_PATH, outcome.strFile);
        (void)m_rawLog.LoadRawLogFile();
    }
    RestoreIdleButtons();
}

void DownloadSection::RestoreIdleButtons() {
    m_bDownloading = false;
    m_view.EnableControl(IDC_DELETE, true);
    m_view.EnableControl(IDC_OPEN_FILE, true);
    m_view.EnableControl(IDC_TRANSLATE, true);
    m_view.EnableControl(IDC_OPEN_CLOSE, true);
    m_view.SetControlText(IDC_GET_DATA, kGetDataText);
}
