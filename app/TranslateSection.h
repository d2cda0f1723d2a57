#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "DialogView.h"
#include "FolderMemory.h"
#include "SectionInterfaces.h"
#include "export/Translate.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

// The loaded raw log.
struct RawLogState {
    std::shared_ptr<const RawLogImage> m_pRawData;  // null: no file loaded
    uint32_t m_nRecordCount = 0;
    uint32_t m_dwFirstTime = 0;
    uint32_t m_dwLastTime = 0;
    uint32_t m_dwFromTime = 0;  // selection bounds on the record time scale
    uint32_t m_dwToTime = 0;
};

// The raw log opened and shown in the chosen zone, and the Translate Format group: the selection
// mode, the pickers, the records box, Drop no-fix and the output file.
class TranslateSection final : public RawLogHolder, public TranslateChoices, public TrackSource {
  public:
    // listener hears of every change of the records, the selection or the zone.
    TranslateSection(DialogView& view, FolderMemory& folders, TrackChangeListener& listener);

    void FillTimeZoneList();
    // The zone remembered, else the system's, so that a first start shows the user's own times.
    void ShowStartZone(const std::optional<std::string>& strRemembered);
    // Selects the list entry that is strZone's text, else shows strZone typed.
    void ShowZoneText(const std::string& strZone);
    // The zone changed: the pickers keep their instants, shown in the new zone, and the span label
    // follows.
    void OnTimeZoneChange();

    void OnOpenFile();
    // Puts a file's name into the raw path box and loads it, as OPEN existing file does with the
    // file chosen.
    bool OpenRawLogPath(const std::string& strPath);
    void ShowRawLogInfo();

    void OnByTime();
    void OnBySize();
    void OnAll();
    // The choices of the records box and Drop no-fix within these bounds, in the chosen mode.
    RecordSelection SelectionWithin(uint32_t dwFromTime, uint32_t dwToTime);
    void OnTranslate();
    // Writes the loaded records to the file named in IDC_OUT_PATH in the format its extension
    // names; false (after telling the user) when the file cannot be written.
    bool WriteOutputFile(const TranslateOptions& options);

    // RawLogHolder
    void DropRawImage() override { SetRawImage(nullptr); }
    bool LoadRawLogFile() override;
    // TranslateChoices
    int32_t SelectMode() const override { return m_nSelectMode; }
    void ChooseSelectMode(int32_t nMode) override;
    // The zone of the time-zone box: a zone typed the way ParseTimeZone reads it (an offset, a
    // zone name, "local"), else the entry selected last.
    TimeZone GetTimeZone() override;
    // TrackSource
    std::shared_ptr<const RawLogImage> LoadedImage() const override { return m_RawLog.m_pRawData; }
    const std::string& LoadedPath() const override { return m_strLoadedPath; }
    // What Translate would select now: the mode, the pickers as bounds, the records box and Drop
    // no-fix; nothing is stored.
    RecordSelection CurrentSelection() override;

    RawLogState m_RawLog;
    int32_t m_nSelectMode = 0;  // 0 By Time, 1 By Size, 2 All

  private:
    // The loaded image changed (or went): the track view's button and the view follow.
    void SetRawImage(std::shared_ptr<const RawLogImage> pImage);
    // The selection bound from a date picker and a time picker, read as local time.
    uint32_t ReadPickerBound(int nDateId, int nTimeId);
    void SetPickers(uint32_t dwTime, const TimeZone& zone, std::initializer_list<int> ids);
    // The selection bounds of the pickers, By Time's reversed bounds exchanged.
    RecordSelection ReadSelectionBounds();

    DialogView& m_view;
    FolderMemory& m_folders;
    TrackChangeListener& m_listener;
    // The file the loaded image came from: Translate offers the image only while the raw path box
    // names this file.
    std::string m_strLoadedPath;
    // The time-zone entry selected last; used while the box holds text that is no zone.
    TimeZone m_lastZone;
    // The zone the pickers and the span label are shown in.
    TimeZone m_shownZone;
    bool m_bSpanShown = false;  // the span label describes a file (loaded now or before)
    bool m_bTranslatedSinceLoad = false;
};
