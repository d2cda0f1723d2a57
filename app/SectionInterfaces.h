#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

// What the window's sections ask of one another. Each section sees only these of the others, so
// that it can be built and tried alone over a view.

// The connection, for the requests to the logger (download, erase, the logger's settings).
class LoggerPort {
  public:
    virtual ~LoggerPort() = default;
    virtual bool IsPortOpen() const = 0;
    // A closed port is opened as Open/Close would; false (after telling the user) when it stays
    // closed.
    virtual bool EnsurePortOpen() = 0;
    // "Can't open COM port. Action cancelled." with what is known of why.
    virtual void ShowPortClosedError() = 0;
    // Frames and writes one request to the open port; false (after telling the user) when it
    // could not be sent.
    [[nodiscard]] virtual bool SendCommandSentence(const std::u16string& body) = 0;
};

// Told when the port opens and closes: what only works over an open port follows.
class PortStateListener {
  public:
    virtual ~PortStateListener() = default;
    virtual void OnPortOpened() = 0;
    virtual void OnPortClosed() = 0;
};

// The loaded records, as a download replaces them.
class RawLogHolder {
  public:
    virtual ~RawLogHolder() = default;
    // The records in memory no longer come from the file the raw path box names.
    virtual void DropRawImage() = 0;
    // Loads the file named in IDC_RAW_PATH; false (after telling the user) when it fails.
    virtual bool LoadRawLogFile() = 0;
};

// The Translate choices that are kept between runs.
class TranslateChoices {
  public:
    virtual ~TranslateChoices() = default;
    virtual int32_t SelectMode() const = 0;
    // As a click on the mode's radio button.
    virtual void ChooseSelectMode(int32_t nMode) = 0;
    // The zone of the time-zone box.
    virtual TimeZone GetTimeZone() = 0;
};

// What the track view shows, as the Translate choices stand.
class TrackSource {
  public:
    virtual ~TrackSource() = default;
    virtual std::shared_ptr<const RawLogImage> LoadedImage() const = 0;
    // The file the loaded image came from.
    virtual const std::string& LoadedPath() const = 0;
    virtual RecordSelection CurrentSelection() = 0;
    virtual TimeZone GetTimeZone() = 0;
};

// Told whenever the records, the selection or the zone that the track view shows may have changed.
class TrackChangeListener {
  public:
    virtual ~TrackChangeListener() = default;
    virtual void OnTrackChanged() = 0;
};
