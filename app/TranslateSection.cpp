#include "TranslateSection.h"

#include <utility>
#include <vector>

#include "Resource.h"
#include "WindowBoxes.h"
#include "export/OutputFile.h"
#include "platform/File.h"
#include "track/Calendar.h"

namespace {

// The records box is read through a buffer of this many characters.
constexpr size_t kRecordsTextLimit = 259;

}  // namespace

TranslateSection::TranslateSection(DialogView& view, FolderMemory& folders,
                                   TrackChangeListener& listener)
    : m_view(view), m_folders(folders), m_listener(listener) {}

void TranslateSection::FillTimeZoneList() {
    m_view.ResetList(IDC_TIME_ZONE);
    for (int i = 0; i < kTimeZoneCount; ++i) {
        const int32_t nOffset = TimeZoneOffsetAt(i);
        const int nIndex = m_view.AddListEntry(IDC_TIME_ZONE, TimeZoneText(nOffset), nOffset);
        (void)nIndex;
    }
    m_view.SelectListEntry(IDC_TIME_ZONE, kDefaultTimeZoneIndex);
    m_lastZone = TimeZone::Fixed(TimeZoneOffsetAt(kDefaultTimeZoneIndex));
    m_shownZone = m_lastZone;
}

void TranslateSection::ShowStartZone(const std::optional<std::string>& strRemembered) {
    TimeZone zone;
    if (strRemembered && ParseTimeZone(*strRemembered, zone) == TimeZoneStatus::Ok) {
        ShowZoneText(*strRemembered);
    } else if (const std::string strName = SystemZoneName(); !strName.empty()) {
        // Shown by its name, which is what will be remembered, when that name reads back as a
        // zone; a zone known only by a rule or a file stays "local".
        ShowZoneText(ParseTimeZone(strName, zone) == TimeZoneStatus::Ok ? strName : "local");
    }  // else the list's entry stays
    m_shownZone = GetTimeZone();
}

void TranslateSection::ShowZoneText(const std::string& strZone) {
    if (const std::optional<int> nIndex = TimeZoneListIndex(strZone)) {
        m_view.SelectListEntry(IDC_TIME_ZONE, *nIndex);
    } else {
        // A zone of the user's own typing stays typed.
        m_view.SetControlText(IDC_TIME_ZONE, strZone);
    }
}

TimeZone TranslateSection::GetTimeZone() {
    if (const auto nSelected = m_view.GetSelectedListValue(IDC_TIME_ZONE)) {
        m_lastZone = TimeZone::Fixed(static_cast<int32_t>(*nSelected));
    }
    // A zone typed as an offset, a zone name or "local" counts; other text keeps the last entry.
    TimeZone typed;
    if (ParseTimeZone(m_view.GetControlText(IDC_TIME_ZONE), typed) == TimeZoneStatus::Ok) {
        return typed;
    }
    return m_lastZone;
}

void TranslateSection::OnTimeZoneChange() {
    const TimeZone zone = GetTimeZone();
    if (zone.DisplayName() == m_shownZone.DisplayName()) return;
    // The pickers keep the instants they showed: read in the zone they were shown in, shown again
    // in the new one, so that By Time selects the same records.
    static constexpr std::pair<int, int> kPairs[] = {{IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME},
                                                     {IDC_TIME_TO_DATE, IDC_TIME_TO_TIME},
                                                     {IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME}};
    for (const auto& [nDateId, nTimeId] : kPairs) {
        PickerTime local = m_view.GetPickerTime(nDateId);
        const PickerTime timeOfDay = m_view.GetPickerTime(nTimeId);
        local.wHour = timeOfDay.wHour;
        local.wMinute = timeOfDay.wMinute;
        local.wSecond = timeOfDay.wSecond;
        const uint32_t dwInstant =
            m_shownZone.LocalToRecordTime(LocalSecondsOf(SystemTimeToLogDateTime(local)));
        SetPickers(dwInstant, zone, {nDateId, nTimeId});
    }
    m_shownZone = zone;
    if (m_bSpanShown) {
        m_view.SetControlText(IDC_TIME_LABEL, FormatTimeSpanLabel(m_RawLog.m_dwFirstTime,
                                                                  m_RawLog.m_dwLastTime, zone));
    }
    m_listener.OnTrackChanged();
}

void TranslateSection::SetPickers(uint32_t dwTime, const TimeZone& zone,
                                  std::initializer_list<int> ids) {
    const PickerTime time =
        LogDateTimeToSystemTime(SecondsToDateTime(dwTime, zone.OffsetAt(dwTime)));
    for (int nId : ids) m_view.SetPickerTime(nId, time);
}

bool TranslateSection::LoadRawLogFile() {
    RawLogImage image;
    const std::string strPath = m_view.GetControlText(IDC_RAW_PATH);
    SystemError nError = 0;
    const RawLogStatus status = LoadRawLogImage(strPath, image, &nError);
    switch (status) {
        case RawLogStatus::Ok:
            break;
        case RawLogStatus::BadSize:
            // Nothing usable is loaded any more; the count and times keep their old values.
            SetRawImage(nullptr);
            ShowError(m_view, RawLogLoadMessage(status, strPath, nError));
            return false;
        case RawLogStatus::NoRecords:
            SetRawImage(nullptr);
            m_RawLog.m_nRecordCount = 0;
            ShowError(m_view, RawLogLoadMessage(status, strPath, nError));
            return false;
        case RawLogStatus::CannotOpen:
        case RawLogStatus::TooLarge:
        case RawLogStatus::OutOfMemory:
        case RawLogStatus::XmlFile:
        case RawLogStatus::TextFile:
            // The file never got in: the previous one stays loaded.
            ShowError(m_view, RawLogLoadMessage(status, strPath, nError));
            return false;
    }
    m_strLoadedPath = strPath;

    m_RawLog.m_nRecordCount = image.RecordCount();
    m_RawLog.m_dwFirstTime = image.FirstTime();
    m_RawLog.m_dwLastTime = image.LastTime();
    m_bTranslatedSinceLoad = false;

    const TimeZone zone = GetTimeZone();
    m_shownZone = zone;
    SetPickers(m_RawLog.m_dwFirstTime, zone,
               {IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME});
    SetPickers(m_RawLog.m_dwLastTime, zone, {IDC_TIME_TO_DATE, IDC_TIME_TO_TIME});
    ShowRawLogInfo();
    // Last, so that the view sees the new pickers.
    SetRawImage(std::make_shared<const RawLogImage>(std::move(image)));
    return true;
}

void TranslateSection::SetRawImage(std::shared_ptr<const RawLogImage> pImage) {
    m_RawLog.m_pRawData = std::move(pImage);
    m_view.EnableControl(IDC_TRACK_VIEW, m_RawLog.m_pRawData != nullptr);
    m_listener.OnTrackChanged();
}

void TranslateSection::ShowRawLogInfo() {
    m_bSpanShown = true;
    m_view.ShowControl(IDC_PROGRESS, false);
    m_view.SetControlText(
        IDC_TIME_LABEL,
        FormatTimeSpanLabel(m_RawLog.m_dwFirstTime, m_RawLog.m_dwLastTime, GetTimeZone()));
    m_view.ShowControl(IDC_TIME_LABEL, true);
    m_view.SetControlText(IDC_SIZE_LABEL, FormatSizeLabel(m_RawLog.m_nRecordCount));
    m_view.ShowControl(IDC_SIZE_LABEL, true);
}

void TranslateSection::OnOpenFile() {
    FileDialogRequest request;
    const std::string strRawPath = m_view.GetControlText(IDC_RAW_PATH);
    request.strInitialFolder =
        strRawPath.empty() ? m_folders.Folder(FolderUse::Open) : InitialFolderOf(strRawPath);
    request.filters = {{"Data logger file(*.dlg)", "*.dlg"}, {"All Files(*.*)", "*.*"}};
    request.nOptions = kFileMustExist | kHideReadOnly;
    const std::optional<std::string> strPath = m_view.ShowOpenDialog(request);
    if (!strPath) {
        ShowError(m_view, RawLogStatusMessage(RawLogStatus::CannotOpen));
        return;
    }
    (void)OpenRawLogPath(*strPath);
}

bool TranslateSection::OpenRawLogPath(const std::string& strPath) {
    m_view.SetControlText(IDC_RAW_PATH, strPath);
    m_folders.RememberFolderOf(FolderUse::Open, strPath);
    return LoadRawLogFile();
}

void TranslateSection::OnByTime() {
    m_nSelectMode = kSelectByTime;
    m_view.SetCheck(IDC_BY_SIZE, false);
    m_view.SetCheck(IDC_ALL, false);
}

void TranslateSection::OnBySize() {
    m_nSelectMode = kSelectBySize;
    m_view.SetCheck(IDC_BY_TIME, false);
    m_view.SetCheck(IDC_ALL, false);
}

void TranslateSection::OnAll() {
    m_nSelectMode = kSelectAll;
    m_view.SetCheck(IDC_BY_TIME, false);
    m_view.SetCheck(IDC_BY_SIZE, false);
}

void TranslateSection::ChooseSelectMode(int32_t nMode) {
    static constexpr int kRadios[] = {IDC_BY_TIME, IDC_BY_SIZE, IDC_ALL};
    if (nMode < kSelectByTime || nMode > kSelectAll) return;
    m_view.SetCheck(kRadios[nMode], true);
    if (nMode == kSelectByTime) OnByTime();
    if (nMode == kSelectBySize) OnBySize();
    if (nMode == kSelectAll) OnAll();
    m_listener.OnTrackChanged();
}

uint32_t TranslateSection::ReadPickerBound(int nDateId, int nTimeId) {
    PickerTime combined = m_view.GetPickerTime(nDateId);
    const PickerTime timeOfDay = m_view.GetPickerTime(nTimeId);
    combined.wHour = timeOfDay.wHour;
    combined.wMinute = timeOfDay.wMinute;
    combined.wSecond = timeOfDay.wSecond;
    // A bound before the first second of the record scale is that second, one past its last is
    // the last: a wrapped bound would turn the window around.
    return LocalBound(SystemTimeToLogDateTime(combined), GetTimeZone());
}

RecordSelection TranslateSection::ReadSelectionBounds() {
    RecordSelection bounds;
    bounds.nSelectMode = m_nSelectMode;
    bounds.dwFromTime = m_nSelectMode == kSelectBySize
                            ? ReadPickerBound(IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME)
                            : ReadPickerBound(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME);
    bounds.dwToTime = ReadPickerBound(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME);
    // The window does not depend on the order in which the user set the two ends.
    OrderBounds(bounds);
    return bounds;
}

RecordSelection TranslateSection::CurrentSelection() {
    const RecordSelection bounds = ReadSelectionBounds();
    return SelectionWithin(bounds.dwFromTime, bounds.dwToTime);
}

RecordSelection TranslateSection::SelectionWithin(uint32_t dwFromTime, uint32_t dwToTime) {
    std::string strRecords = m_view.GetControlText(IDC_RECORDS);
    if (strRecords.size() > kRecordsTextLimit) strRecords.resize(kRecordsTextLimit);
    return MakeSelection(m_nSelectMode, dwFromTime, dwToTime, strRecords,
                         m_view.GetCheck(IDC_DROP_NOFIX));
}

void TranslateSection::OnTranslate() {
    if (!m_RawLog.m_pRawData) {
        ShowError(m_view, kNoRawData);
        return;
    }
    // Never records of another file than the one the path box shows.
    if (m_view.GetControlText(IDC_RAW_PATH) != m_strLoadedPath) {
        ShowError(m_view, std::string(kNoRawData) + "\n\nThe records in memory come from " +
                              m_strLoadedPath +
                              "; open the file the raw path names to translate it.");
        return;
    }
    const RecordSelection bounds = ReadSelectionBounds();
    m_RawLog.m_dwFromTime = bounds.dwFromTime;
    m_RawLog.m_dwToTime = bounds.dwToTime;

    FileDialogRequest request;
    // The loaded file's name and folder, until an output of it went elsewhere.
    const std::string strOutPath = m_view.GetControlText(IDC_OUT_PATH);
    if (m_bTranslatedSinceLoad && !strOutPath.empty()) {
        request.strInitialFolder = InitialFolderOf(strOutPath);
    } else if (!FolderOf(m_strLoadedPath).empty()) {
        request.strInitialFolder = FolderOf(m_strLoadedPath);
    } else {
        request.strInitialFolder =
            strOutPath.empty() ? m_folders.Folder(FolderUse::Output) : InitialFolderOf(strOutPath);
    }
    request.strInitialName = StemOf(m_strLoadedPath) + ".kml";
    const std::vector<const OutputFormatRow*> formats = DialogFormats();
    for (const OutputFormatRow* pFormat : formats) {
        request.filters.push_back(
            {std::string(pFormat->dialogLabel), "*" + std::string(pFormat->extensions[0])});
    }
    request.strDefaultExtension = "kml";
    request.nOptions = kOverwritePrompt | kHideReadOnly | kPathMustExist;
    const std::optional<FileDialogResult> chosen = m_view.ShowSaveDialog(request);
    if (!chosen) return;
    m_view.SetControlText(IDC_OUT_PATH, chosen->strPath);
    m_bTranslatedSinceLoad = true;
    m_folders.RememberFolderOf(FolderUse::Output, chosen->strPath);

    TranslateOptions options;
    if (chosen->nFilter < formats.size()) PickFormat(options, formats[chosen->nFilter]->format);
    (void)WriteOutputFile(options);
}

bool TranslateSection::WriteOutputFile(const TranslateOptions& options) {
    if (!m_RawLog.m_pRawData) {
        ShowError(m_view, kNoRawData);
        return false;
    }
    const std::string strPath = m_view.GetControlText(IDC_OUT_PATH);
    OutputFormat format = OutputFormat::Kml;
    const TranslateStatus formatStatus = OutputFormatFromPath(strPath, options, format);
    if (formatStatus != TranslateStatus::Ok) {
        ShowError(m_view, TranslateResult{formatStatus}.FailureMessage(strPath));
        return false;
    }

    const RecordSelection selection = SelectionWithin(m_RawLog.m_dwFromTime, m_RawLog.m_dwToTime);

    const TimeZone zone = GetTimeZone();
    const TranslateResult result =
        TranslateToFile(*m_RawLog.m_pRawData, strPath, selection, zone, options);
    if (result.status == TranslateStatus::CannotCreate) {
        ShowError(m_view, result.FailureMessage(strPath));
        return false;
    }
    // The box shows the limit it read once the file exists.
    if (selection.nLimit == 0) m_view.SetControlText(IDC_RECORDS, "0");
    if (result.status == TranslateStatus::NothingSelected) {
        ShowError(m_view,
                  NothingSelectedMessage(*m_RawLog.m_pRawData, selection, zone, result.dropped));
        return false;
    }
    if (result.status != TranslateStatus::Ok) {
        ShowError(m_view, result.FailureMessage(strPath));
        return false;
    }
    ShowInfo(m_view,
             TranslateSummary(result, *m_RawLog.m_pRawData, selection, zone, strPath).BoxText());
    return true;
}
