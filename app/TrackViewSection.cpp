#include "TrackViewSection.h"

#include "WindowBoxes.h"

TrackViewSection::TrackViewSection(DialogView& view, TrackSource& source)
    : m_view(view), m_source(source) {}

TrackViewData TrackViewSection::CurrentTrackView() {
    TrackViewData data;
    data.pImage = m_source.LoadedImage();
    if (data.pImage) data.selection = m_source.CurrentSelection();
    data.zone = m_source.GetTimeZone();
    data.strTitle = m_source.LoadedPath();
    return data;
}

void TrackViewSection::UpdateTrackView() {
    if (m_bTrackViewOpened) m_view.UpdateTrackView(CurrentTrackView());
}

void TrackViewSection::OnTrackView() {
    if (!m_source.LoadedImage()) {
        ShowError(m_view, kNoRawData);
        return;
    }
    m_bTrackViewOpened = true;
    m_view.ShowTrackView(CurrentTrackView());
}
