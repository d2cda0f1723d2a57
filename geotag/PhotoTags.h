#pragma once

#include <memory>
#include <string>

#include "PhotoTime.h"
#include "TrackIndex.h"

// The photo metadata library (exiv2) behind one small interface: a photo's time tags and whether
// it holds a position, and the position written into it. Only this file's source knows exiv2.

enum class PhotoKind {
    Other,    // not a photo by its name: folders skip it
    InPlace,  // JPEG and TIFF: the tags go into the photo itself
    Raw,      // camera raw files: the tags go into an XMP sidecar beside the photo
};
PhotoKind PhotoKindOf(const std::string& strPath);

// The sidecar of a raw photo: its whole name and ".xmp" ("IMG_1.CR2.xmp"), the name darktable
// and digiKam read and write.
std::string SidecarPath(const std::string& strPhoto);

// Sets the library up once for the whole program; called before photos are read on more than one
// thread (Open calls it too).
void PrepareTagLibrary();

// One photo's tags. An object is used by one thread at a time; photos on other threads have
// objects of their own.
class PhotoTags {
  public:
    PhotoTags();
    ~PhotoTags();
    PhotoTags(const PhotoTags&) = delete;
    PhotoTags& operator=(const PhotoTags&) = delete;

    // Reads a photo's tags, and for a raw photo also those of its sidecar when there is one.
    // False when they cannot be read; Error() says why.
    [[nodiscard]] bool Open(const std::string& strPath);

    const PhotoTimeTags& Times() const;
    // Whether the photo (or its sidecar) holds a latitude and a longitude.
    bool HasPosition() const;

    // Writes the position and the instant (as GPS time and date stamps, in UTC) into the photo, or
    // into the sidecar of a raw photo, replacing any it held and keeping every other tag. The file
    // is replaced in one step by a complete copy written beside it, with the same permissions and,
    // when asked, the same modification time; on failure it is left as it was and Error() says
    // why. The new name is on the disk once the photo's folder is (SyncFolder).
    [[nodiscard]] bool WritePosition(const TrackPosition& position, UtcMillis nInstant,
                                     bool bKeepModificationTime);

    const std::string& Error() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_p;
};
