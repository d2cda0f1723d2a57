#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "track/Calendar.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

// What the window logic needs of a platform's window, addressed by control identifier. Texts are
// UTF-8. Every call but the two posts is made on the window's thread. Setting a control's value
// from here never reports a change back (DialogHandler::OnControlChange is the user's edits only).

struct FileFilter {
    std::string strLabel;    // "Data logger file(*.dlg)"
    std::string strPattern;  // "*.dlg"
};

enum FileDialogOption : unsigned {
    kFileMustExist = 1u << 0,
    kPathMustExist = 1u << 1,
    kOverwritePrompt = 1u << 2,
    kHideReadOnly = 1u << 3,
};

struct FileDialogRequest {
    std::string strInitialFolder;  // empty: the dialog chooses
    // The name proposed, with the first filter's extension; a view swaps the extension when the
    // user picks another file type. Empty: none.
    std::string strInitialName;
    std::vector<FileFilter> filters;  // the first one is preselected
    std::string strDefaultExtension;  // without the dot; empty: none
    unsigned nOptions = 0;            // FileDialogOption bits
};

// The buttons and icon of a message box, and the answers. Enumerations, so that a view that does
// not handle one is a compile-time warning rather than a box with the wrong buttons.
enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxIcon { None, Error, Question, Information };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// What the track view shows: the loaded records, which of them the Translate choices select, and
// the zone of its times.
struct TrackViewData {
    std::shared_ptr<const RawLogImage> pImage;  // null: nothing loaded
    RecordSelection selection;
    TimeZone zone;
    std::string strTitle;
};

struct FileDialogResult {
    std::string strPath;
    size_t nFilter = 0;  // the file type chosen: its place in the request's filters
};

class DialogView {
  public:
    virtual ~DialogView() = default;

    virtual void ShowControl(int nId, bool bShow) = 0;
    virtual void EnableControl(int nId, bool bEnable) = 0;
    virtual void SetControlText(int nId, const std::string& strText) = 0;
    virtual std::string GetControlText(int nId) const = 0;
    virtual void SetCheck(int nId, bool bChecked) = 0;
    virtual bool GetCheck(int nId) const = 0;

    // Lists and combo boxes: each entry carries an integer.
    virtual void ResetList(int nId) = 0;
    // Returns the new entry's index.
    virtual int AddListEntry(int nId, const std::string& strText, int64_t nValue) = 0;
    virtual void SelectListEntry(int nId, int nIndex) = 0;
    // The integer of the selected entry; nothing when no entry is selected.
    virtual std::optional<int64_t> GetSelectedListValue(int nId) const = 0;
    virtual int GetListCount(int nId) const = 0;
    virtual void DeleteListEntry(int nId, int nIndex) = 0;
    // A second text shown beside an entry's own in the opened list; the entry's text is unchanged.
    virtual void SetListEntryNote(int nId, int nIndex, const std::string& strNote) = 0;

    virtual void SetProgressRange(int nId, uint32_t nLower, uint32_t nUpper) = 0;
    virtual void SetProgressPosition(int nId, uint32_t nPosition) = 0;

    // Date and time pickers. A date picker shows and returns only its date, a time picker only its
    // time of day; both accept a full date and time.
    virtual void SetPickerTime(int nId, const PickerTime& time) = 0;
    virtual PickerTime GetPickerTime(int nId) const = 0;

    // A modal box owned by the window. Closing it any other way than with a button (Escape, the
    // close button) answers Cancel or No.
    virtual BoxAnswer ShowMessageBox(const std::string& strText, const std::string& strTitle,
                                     BoxButtons buttons, BoxIcon icon) = 0;
    // The chosen path and file type; nothing when the user cancels.
    virtual std::optional<FileDialogResult> ShowSaveDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> ShowOpenDialog(const FileDialogRequest& request) = 0;
    virtual void ShowAboutBox() = 0;
    // The track view, a window of its own beside the main one: Show opens or raises it; Update
    // refreshes it only while it is open.
    virtual void ShowTrackView(const TrackViewData& data) = 0;
    virtual void UpdateTrackView(const TrackViewData& data) = 0;

    // Window-level operations of start-up and closing.
    virtual void AppendWindowMenuCommand(const std::string& strText, unsigned nCommand) = 0;
    virtual void SetWindowIcon(int nIconId) = 0;
    virtual void CenterWindow() = 0;
    virtual void EndDialog(int nResult) = 0;

    // Thread-safe. Both kinds share one queue, handled on the window's thread in posting order.
    virtual void PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) = 0;
    virtual void PostTask(std::function<void()> task) = 0;
};
