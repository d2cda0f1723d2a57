#include "PhotoTags.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/File.h"
#include "platform/ReplacementFile.h"

namespace fs = std::filesystem;

namespace {

// Raw formats exiv2 reads but should not rewrite: their makers' own layouts.
constexpr const char* kRawExtensions[] = {
    "3fr", "arw", "cr2", "cr3", "crw", "dcr", "dng", "erf", "iiq", "kdc", "mef", "mos", "mrw",
    "nef", "nrw", "orf", "pef", "raf", "raw", "rw2", "rwl", "sr2", "srf", "srw", "x3f"};
constexpr const char* kInPlaceExtensions[] = {"jpg", "jpeg", "jpe", "tif", "tiff"};

// exiv2's owning pointer to an image: std::auto_ptr before 0.28, std::unique_ptr from then on.
using ImagePtr = decltype(Exiv2::ImageFactory::create(Exiv2::ImageType::xmp));

fs::path PathOf(const std::string& strUtf8) {
    return fs::path(std::u8string(strUtf8.begin(), strUtf8.end()));
}

// The XMP toolkit registers the namespaces it meets in one table for the whole program; photos
// read on several threads take turns at it.
void LockXmpToolkit(void* pMutex, bool bLock) {
    auto* pLock = static_cast<std::mutex*>(pMutex);
    if (bLock) {
        pLock->lock();
    } else {
        pLock->unlock();
    }
}

[[nodiscard]] bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& bytes,
                                 std::string& strError) {
    File file;
    uint64_t nSize = 0;
    if (!file.OpenRead(strPath) || !file.Size(nSize)) {
        strError = SystemErrorText(file.Error());
        return false;
    }
    bytes.resize(static_cast<size_t>(nSize));
    size_t nHave = 0;
    while (nHave < bytes.size()) {
        size_t nRead = 0;
        if (!file.Read(bytes.data() + nHave, bytes.size() - nHave, nRead)) {
            strError = SystemErrorText(file.Error());
            return false;
        }
        if (nRead == 0) break;
        nHave += nRead;
    }
    bytes.resize(nHave);
    return true;
}

// The bytes replace the file in one step (platform/'s one way: a copy beside it, on the disk
// before the rename), so that a failure or a stop at any point leaves the old file or the new one
// and never half a file. The folder is put on the disk by the caller, once for all the files
// written into it.
[[nodiscard]] bool ReplaceFile(const std::string& strPath, const std::vector<uint8_t>& bytes,
                               bool bKeepModificationTime, std::string& strError) {
    ReplacementFile file;
    if (!file.Create(strPath)) {
        strError = SystemErrorText(file.Error());
        return false;
    }
    file.KeepModificationTime(bKeepModificationTime);
    if (!file.Temp().WriteAll(bytes.data(), bytes.size())) {
        strError = SystemErrorText(file.Temp().Error());
        return false;
    }
    // The disk starts on the bytes now; the sync in Commit then mostly waits for the journal.
    file.Temp().StartWriteBack(0, bytes.size());
    if (!file.Commit()) {
        strError = SystemErrorText(file.Error());
        return false;
    }
    return true;
}

bool IsReadOnly(const std::string& strPath) {
    std::error_code error;
    const fs::perms perms = fs::status(PathOf(strPath), error).permissions();
    constexpr fs::perms kWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return !error && (perms & kWrite) == fs::perms::none;
}

std::string ExifText(const Exiv2::ExifData& exif, const char* pszKey) {
    const auto it = exif.findKey(Exiv2::ExifKey(pszKey));
    return it == exif.end() ? std::string() : it->toString();
}

// Degrees, minutes and seconds as Exif rationals, seconds to a hundred-thousandth (0.3 mm).
std::string ExifDegrees(double dDegrees) {
    constexpr int64_t kPerSecond = 100000;
    const int64_t nTotal = std::llround(std::fabs(dDegrees) * 3600.0 * kPerSecond);
    char szText[64];
    std::snprintf(szText, sizeof szText, "%lld/1 %lld/1 %lld/%lld",
                  static_cast<long long>(nTotal / (3600 * kPerSecond)),
                  static_cast<long long>(nTotal / (60 * kPerSecond) % 60),
                  static_cast<long long>(nTotal % (60 * kPerSecond)),
                  static_cast<long long>(kPerSecond));
    return szText;
}

// XMP's "DDD,MM.mmmmmmmmR": degrees and minutes to a hundred-millionth.
std::string XmpDegrees(double dDegrees, char cRef) {
    constexpr int64_t kPerMinute = 100000000;
    const int64_t nTotal = std::llround(std::fabs(dDegrees) * 60.0 * kPerMinute);
    char szText[64];
    std::snprintf(szText, sizeof szText, "%lld,%02lld.%08lld%c",
                  static_cast<long long>(nTotal / (60 * kPerMinute)),
                  static_cast<long long>(nTotal / kPerMinute % 60),
                  static_cast<long long>(nTotal % kPerMinute), cRef);
    return szText;
}

std::string Altitude(double dAltitude) {
    return std::to_string(std::llround(std::fabs(dAltitude) * 1000.0)) + "/1000";
}

struct UtcParts {
    LogDateTime dt;
    int nMillis;
};
UtcParts SplitInstant(UtcMillis nInstant) {
    const int64_t nSeconds = nInstant / 1000 - (nInstant % 1000 < 0 ? 1 : 0);
    return {SecondsToDateTime(nSeconds, 0), static_cast<int>(nInstant - nSeconds * 1000)};
}

void SetExifPosition(Exiv2::ExifData& exif, const TrackPosition& pos, UtcMillis nInstant) {
    const UtcParts utc = SplitInstant(nInstant);
    char szText[64];
    exif["Exif.GPSInfo.GPSVersionID"] = "2 3 0 0";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = pos.dLatitude < 0 ? "S" : "N";
    exif["Exif.GPSInfo.GPSLatitude"] = ExifDegrees(pos.dLatitude);
    exif["Exif.GPSInfo.GPSLongitudeRef"] = pos.dLongitude < 0 ? "W" : "E";
    exif["Exif.GPSInfo.GPSLongitude"] = ExifDegrees(pos.dLongitude);
    exif["Exif.GPSInfo.GPSAltitudeRef"] = pos.dAltitude < 0 ? "1" : "0";
    exif["Exif.GPSInfo.GPSAltitude"] = Altitude(pos.dAltitude);
    std::snprintf(szText, sizeof szText, "%u/1 %u/1 %u/1000", unsigned{utc.dt.bHour},
                  unsigned{utc.dt.bMinute}, utc.dt.bSecond * 1000u + unsigned(utc.nMillis));
    exif["Exif.GPSInfo.GPSTimeStamp"] = szText;
    std::snprintf(szText, sizeof szText, "%04u:%02u:%02u", unsigned{utc.dt.wYear},
                  unsigned{utc.dt.bMonth}, unsigned{utc.dt.bDay});
    exif["Exif.GPSInfo.GPSDateStamp"] = szText;
    exif["Exif.GPSInfo.GPSMapDatum"] = "WGS-84";
}

void SetXmpPosition(Exiv2::XmpData& xmp, const TrackPosition& pos, UtcMillis nInstant) {
    const UtcParts utc = SplitInstant(nInstant);
    char szText[64];
    xmp["Xmp.exif.GPSVersionID"] = "2.3.0.0";
    xmp["Xmp.exif.GPSLatitude"] = XmpDegrees(pos.dLatitude, pos.dLatitude < 0 ? 'S' : 'N');
    xmp["Xmp.exif.GPSLongitude"] = XmpDegrees(pos.dLongitude, pos.dLongitude < 0 ? 'W' : 'E');
    xmp["Xmp.exif.GPSAltitudeRef"] = pos.dAltitude < 0 ? "1" : "0";
    xmp["Xmp.exif.GPSAltitude"] = Altitude(pos.dAltitude);
    std::snprintf(szText, sizeof szText, "%04u-%02u-%02uT%02u:%02u:%02u.%03dZ",
                  unsigned{utc.dt.wYear}, unsigned{utc.dt.bMonth}, unsigned{utc.dt.bDay},
                  unsigned{utc.dt.bHour}, unsigned{utc.dt.bMinute}, unsigned{utc.dt.bSecond},
                  utc.nMillis);
    xmp["Xmp.exif.GPSTimeStamp"] = szText;
    xmp["Xmp.exif.GPSMapDatum"] = "WGS-84";
}

bool HasExifPosition(const Exiv2::ExifData& exif) {
    return !ExifText(exif, "Exif.GPSInfo.GPSLatitude").empty() &&
           !ExifText(exif, "Exif.GPSInfo.GPSLongitude").empty();
}

bool HasXmpPosition(const Exiv2::XmpData& xmp) {
    return xmp.findKey(Exiv2::XmpKey("Xmp.exif.GPSLatitude")) != xmp.end() &&
           xmp.findKey(Exiv2::XmpKey("Xmp.exif.GPSLongitude")) != xmp.end();
}

// The bytes exiv2 left in an image held in memory.
std::vector<uint8_t> ImageBytes(Exiv2::Image& image) {
    Exiv2::BasicIo& io = image.io();
    std::vector<uint8_t> bytes(io.size());
    io.seek(0, Exiv2::BasicIo::beg);
    bytes.resize(static_cast<size_t>(io.read(bytes.data(), static_cast<long>(bytes.size()))));
    return bytes;
}

std::string Lower(std::string strText) {
    for (char& c : strText) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return strText;
}

}  // namespace

PhotoKind PhotoKindOf(const std::string& strPath) {
    const size_t nDot = strPath.rfind('.');
    const size_t nSlash = strPath.rfind('/');
    if (nDot == std::string::npos || (nSlash != std::string::npos && nDot < nSlash)) {
        return PhotoKind::Other;
    }
    const std::string strExtension = Lower(strPath.substr(nDot + 1));
    const auto is = [&strExtension](const char* psz) { return strExtension == psz; };
    if (std::any_of(std::begin(kInPlaceExtensions), std::end(kInPlaceExtensions), is)) {
        return PhotoKind::InPlace;
    }
    if (std::any_of(std::begin(kRawExtensions), std::end(kRawExtensions), is)) {
        return PhotoKind::Raw;
    }
    return PhotoKind::Other;
}

std::string SidecarPath(const std::string& strPhoto) {
    return strPhoto + ".xmp";
}

struct PhotoTags::Impl {
    std::string strPath;
    PhotoKind kind = PhotoKind::Other;
    PhotoTimeTags times;
    bool bHasPosition = false;
    std::string strError;
    // The file the tags go into, as read: the photo itself, or a raw photo's sidecar (empty when
    // it has none yet), and exiv2's image over those bytes.
    std::vector<uint8_t> bytes;
    ImagePtr pImage;
};

PhotoTags::PhotoTags() : m_p(std::make_unique<Impl>()) {}
PhotoTags::~PhotoTags() = default;

const PhotoTimeTags& PhotoTags::Times() const {
    return m_p->times;
}
bool PhotoTags::HasPosition() const {
    return m_p->bHasPosition;
}
const std::string& PhotoTags::Error() const {
    return m_p->strError;
}

void PrepareTagLibrary() {
    // exiv2 prints its warnings unless told otherwise; its XMP toolkit wants one initialisation,
    // before any thread uses it.
    static std::once_flag once;
    static std::mutex xmpLock;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(LockXmpToolkit, &xmpLock);
    });
}

bool PhotoTags::Open(const std::string& strPath) {
    PrepareTagLibrary();
    m_p = std::make_unique<Impl>();
    Impl& m = *m_p;
    m.strPath = strPath;
    m.kind = PhotoKindOf(strPath);
    const std::string strTarget = m.kind == PhotoKind::Raw ? SidecarPath(strPath) : strPath;
    try {
        // Every file is read into memory by platform/ (exiv2 opens paths in the ANSI code page on
        // Windows); a raw photo is only read, its sidecar, like an in-place photo, is where exiv2
        // writes.
        std::vector<uint8_t> raw;  // outlives the image over it
        ImagePtr pPhoto;
        if (m.kind == PhotoKind::Raw) {
            if (!ReadWholeFile(strPath, raw, m.strError)) return false;
            pPhoto = Exiv2::ImageFactory::open(raw.data(), static_cast<long>(raw.size()));
            pPhoto->readMetadata();
            m.bHasPosition =
                HasExifPosition(pPhoto->exifData()) || HasXmpPosition(pPhoto->xmpData());
        }
        if (m.kind != PhotoKind::Raw || PathExists(strTarget)) {
            if (!ReadWholeFile(strTarget, m.bytes, m.strError)) return false;
            m.pImage = Exiv2::ImageFactory::open(m.bytes.data(), static_cast<long>(m.bytes.size()));
            m.pImage->readMetadata();
            m.bHasPosition = m.bHasPosition || HasExifPosition(m.pImage->exifData()) ||
                             HasXmpPosition(m.pImage->xmpData());
        }
        const Exiv2::ExifData& exif =
            pPhoto.get() != nullptr ? pPhoto->exifData() : m.pImage->exifData();
        m.times.strDateTime = ExifText(exif, "Exif.Photo.DateTimeOriginal");
        m.times.strSubSeconds = ExifText(exif, "Exif.Photo.SubSecTimeOriginal");
        m.times.strOffset = ExifText(exif, "Exif.Photo.OffsetTimeOriginal");
    } catch (const Exiv2::AnyError& e) {
        m.strError = std::string("unreadable metadata (") + e.what() + ")";
        return false;
    } catch (const std::exception& e) {
        m.strError = e.what();
        return false;
    }
    return true;
}

bool PhotoTags::WritePosition(const TrackPosition& position, UtcMillis nInstant,
                              bool bKeepModificationTime) {
    Impl& m = *m_p;
    const bool bRaw = m.kind == PhotoKind::Raw;
    const std::string strTarget = bRaw ? SidecarPath(m.strPath) : m.strPath;
    if (PathExists(strTarget) && IsReadOnly(ResolveLinks(strTarget))) {
        m.strError = "read-only file";
        return false;
    }
    std::vector<uint8_t> bytes;
    try {
        if (m.pImage.get() == nullptr) {
            m.pImage = Exiv2::ImageFactory::create(Exiv2::ImageType::xmp);
        }
        if (bRaw) {
            SetXmpPosition(m.pImage->xmpData(), position, nInstant);
        } else {
            SetExifPosition(m.pImage->exifData(), position, nInstant);
        }
        m.pImage->writeMetadata();
        bytes = ImageBytes(*m.pImage);
    } catch (const Exiv2::AnyError& e) {
        m.strError = std::string("the metadata cannot be written (") + e.what() + ")";
        return false;
    }
    if (!ReplaceFile(strTarget, bytes, bKeepModificationTime, m.strError)) {
        return false;
    }
    m.bHasPosition = true;
    return true;
}
