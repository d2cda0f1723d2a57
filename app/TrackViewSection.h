#pragma once

#include "DialogView.h"
#include "SectionInterfaces.h"

// The track view of the loaded file: a window of its own, kept in step with the Translate choices
// once it has been opened.
class TrackViewSection final : public TrackChangeListener {
  public:
    TrackViewSection(DialogView& view, TrackSource& source);

    // Opens the track view of the loaded file (button, window menu, Ctrl+T).
    void OnTrackView();
    void UpdateTrackView();

    // TrackChangeListener
    void OnTrackChanged() override { UpdateTrackView(); }

  private:
    TrackViewData CurrentTrackView();

    DialogView& m_view;
    TrackSource& m_source;
    bool m_bTrackViewOpened = false;
};
