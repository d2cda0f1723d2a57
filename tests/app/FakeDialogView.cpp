#include "FakeDialogView.h"

#include "app/DialogLayout.h"
#include "app/Resource.h"

FakeDialogView::FakeDialogView() {
    // The controls as the layout creates them, before any handler ran.
    for (const ControlLayout& c : MainWindowControls()) {
        if (c.nId == IDC_STATIC) continue;
        Control& control = m_controls[c.nId];
        control.bVisible = c.bVisible;
        control.bEnabled = c.bEnabled;
        control.bChecked = c.bChecked;
        control.strText = c.pszText;
    }
}

FakeDialogView::Control& FakeDialogView::At(int nId) {
    return m_controls.at(nId);
}

void FakeDialogView::DrainQueue(DialogHandler& handler) {
    while (m_queue.DispatchOne(handler)) {
    }
}

bool FakeDialogView::PumpUntil(DialogHandler& handler, const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        uint64_t nSeen = 0;
        {
            std::lock_guard lock(m_postMutex);
            nSeen = m_nPosts;
        }
        DrainQueue(handler);
        if (done()) return true;
        std::unique_lock lock(m_postMutex);
        // Woken by a post; the short slice also lets conditions outside the queue be seen.
        m_posted.wait_for(lock, std::chrono::milliseconds(10), [&] { return m_nPosts != nSeen; });
        if (std::chrono::steady_clock::now() > deadline) {
            lock.unlock();
            DrainQueue(handler);
            return done();
        }
    }
}

void FakeDialogView::ShowControl(int nId, bool bShow) {
    At(nId).bVisible = bShow;
    m_log.push_back((bShow ? "show " : "hide ") + std::to_string(nId));
}

void FakeDialogView::EnableControl(int nId, bool bEnable) {
    At(nId).bEnabled = bEnable;
    m_log.push_back((bEnable ? "enable " : "disable ") + std::to_string(nId));
}

void FakeDialogView::SetControlText(int nId, const std::string& strText) {
    At(nId).strText = strText;
    m_log.push_back("text " + std::to_string(nId) + " " + strText);
}

std::string FakeDialogView::GetControlText(int nId) const {
    return m_controls.at(nId).strText;
}

void FakeDialogView::SetCheck(int nId, bool bChecked) {
    At(nId).bChecked = bChecked;
    m_log.push_back((bChecked ? "check " : "uncheck ") + std::to_string(nId));
}

bool FakeDialogView::GetCheck(int nId) const {
    return m_controls.at(nId).bChecked;
}

void FakeDialogView::ResetList(int nId) {
    Control& c = At(nId);
    c.entries.clear();
    c.notes.clear();
    c.nSelected = -1;
    c.strText.clear();  // a combo box's edit text goes with its entries
}

int FakeDialogView::AddListEntry(int nId, const std::string& strText, int64_t nValue) {
    Control& c = At(nId);
    c.entries.emplace_back(strText, nValue);
    return static_cast<int>(c.entries.size()) - 1;
}

void FakeDialogView::SelectListEntry(int nId, int nIndex) {
    Control& c = At(nId);
    if (nIndex < 0 || nIndex >= static_cast<int>(c.entries.size())) {
        c.nSelected = -1;
        return;
    }
    c.nSelected = nIndex;
    c.strText = c.entries[static_cast<size_t>(nIndex)].first;
}

std::optional<int64_t> FakeDialogView::GetSelectedListValue(int nId) const {
    const Control& c = m_controls.at(nId);
    if (c.nSelected < 0) return std::nullopt;
    return c.entries[static_cast<size_t>(c.nSelected)].second;
}

int FakeDialogView::GetListCount(int nId) const {
    return static_cast<int>(m_controls.at(nId).entries.size());
}

void FakeDialogView::DeleteListEntry(int nId, int nIndex) {
    Control& c = At(nId);
    c.entries.erase(c.entries.begin() + nIndex);
    if (c.nSelected == nIndex) c.nSelected = -1;
    if (c.nSelected > nIndex) --c.nSelected;
}

void FakeDialogView::SetProgressRange(int nId, uint32_t nLower, uint32_t nUpper) {
    At(nId).nLower = nLower;
    At(nId).nUpper = nUpper;
    m_log.push_back("range " + std::to_string(nId) + " " + std::to_string(nLower) + ".." +
                    std::to_string(nUpper));
}

void FakeDialogView::SetProgressPosition(int nId, uint32_t nPosition) {
    At(nId).nPosition = nPosition;
    m_log.push_back("position " + std::to_string(nId) + " " + std::to_string(nPosition));
}

void FakeDialogView::SetPickerTime(int nId, const PickerTime& time) {
    At(nId).time = time;
    m_log.push_back("picker " + std::to_string(nId));
}

PickerTime FakeDialogView::GetPickerTime(int nId) const {
    return m_controls.at(nId).time;
}

BoxAnswer FakeDialogView::ShowMessageBox(const std::string& strText, const std::string& strTitle,
                                         BoxButtons buttons, BoxIcon icon) {
    const unsigned nButtons = buttons == BoxButtons::OkCancel ? MB_OKCANCEL
                              : buttons == BoxButtons::YesNo  ? MB_YESNO
                                                              : 0u;
    const unsigned nIcon = icon == BoxIcon::Error         ? MB_ICONERROR
                           : icon == BoxIcon::Question    ? MB_ICONQUESTION
                           : icon == BoxIcon::Information ? MB_ICONINFORMATION
                                                          : 0u;
    const size_t nBreak = strText.find("\n\n");
    m_boxes.push_back({strText, strTitle, nButtons | nIcon, strText.substr(0, nBreak),
                       nBreak == std::string::npos ? std::string() : strText.substr(nBreak + 2)});
    m_log.push_back("box " + m_boxes.back().strHead);
    if (m_pPumpWhileBoxOpen) DrainQueue(*m_pPumpWhileBoxOpen);
    m_log.push_back("closed " + m_boxes.back().strHead);
    if (m_boxAnswers.empty()) return BoxAnswer::Ok;
    const BoxAnswer answer = m_boxAnswers.front();
    m_boxAnswers.pop_front();
    return answer;
}

std::optional<FileDialogResult> FakeDialogView::ShowSaveDialog(const FileDialogRequest& request) {
    m_saveRequests.push_back(request);
    if (m_fileAnswers.empty()) return std::nullopt;
    auto answer = m_fileAnswers.front();
    m_fileAnswers.pop_front();
    if (!answer) return std::nullopt;
    size_t nFilter = 0;
    if (!m_filterAnswers.empty()) {
        nFilter = m_filterAnswers.front();
        m_filterAnswers.pop_front();
    }
    return FileDialogResult{*answer, nFilter};
}

std::optional<std::string> FakeDialogView::ShowOpenDialog(const FileDialogRequest& request) {
    m_openRequests.push_back(request);
    if (m_fileAnswers.empty()) return std::nullopt;
    auto answer = m_fileAnswers.front();
    m_fileAnswers.pop_front();
    return answer;
}
