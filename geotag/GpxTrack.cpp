#include "GpxTrack.h"

#include <expat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/File.h"
#include "track/Digits.h"

namespace {

// An element's own name, without a namespace prefix ("gpx:trkpt").
std::string_view LocalName(const XML_Char* pszName) {
    const std::string_view name(pszName);
    const size_t nColon = name.rfind(':');
    return nColon == std::string_view::npos ? name : name.substr(nColon + 1);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                             text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// A decimal number, all of the text; nothing for anything else (hex, inf, nan, blanks inside).
std::optional<double> ParseDecimal(std::string_view text) {
    text = Trimmed(text);
    if (text.empty() || text.size() > 64) return std::nullopt;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    const std::string copy(text);
    char* pEnd = nullptr;
    errno = 0;
    const double d = std::strtod(copy.c_str(), &pEnd);
    if (pEnd != copy.c_str() + copy.size() || errno == ERANGE || !std::isfinite(d))
        return std::nullopt;
    return d;
}

}  // namespace

std::optional<UtcMillis> ParseGpxTime(std::string_view text) {
    text = Trimmed(text);
    // The date and time as Exif has them but for '-' and 'T'; then the fraction and the offset.
    constexpr size_t kDateTime = 19;
    if (text.size() < kDateTime + 1 || text[4] != '-' || text[10] != 'T') return std::nullopt;
    const std::optional<LogDateTime> dt = ParseExifDateTime(text.substr(0, kDateTime));
    if (!dt) return std::nullopt;
    size_t i = kDateTime;
    int64_t nMillis = 0;
    if (text[i] == '.') {
        const size_t nStart = ++i;
        nMillis = static_cast<int64_t>(ReadDigits(text, i, UINT32_MAX, 3).nValue);
        if (i == nStart) return std::nullopt;
        for (size_t n = i - nStart; n < 3; ++n) nMillis *= 10;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;  // past the millisecond
    }
    // A time without its zone is UTC, as GPX has all its times.
    const std::optional<int32_t> offset =
        i == text.size() ? std::optional<int32_t>(0) : ParseExifOffset(text.substr(i));
    if (!offset) return std::nullopt;
    return (LocalSecondsOf(*dt) - *offset) * 1000 + nMillis;
}

struct GpxReader::Impl {
    XML_Parser parser = XML_ParserCreate(nullptr);
    std::vector<GpxPoint> points;
    std::string strError;
    bool bInPoint = false;
    bool bHasTime = false;
    GpxPoint point;
    std::string* pText = nullptr;  // the text of the child element being read
    std::string strTime, strElevation;

    void Fail(const std::string& strWhat) {
        if (strError.empty()) {
            strError = strWhat + " on line " + std::to_string(XML_GetCurrentLineNumber(parser));
        }
        XML_StopParser(parser, XML_FALSE);
    }

    void Start(const XML_Char* pszName, const XML_Char** attributes) {
        const std::string_view name = LocalName(pszName);
        if (name == "trkpt") {
            bInPoint = true;
            point = {};
            strTime.clear(), strElevation.clear();
            bool bLat = false, bLon = false;
            for (size_t i = 0; attributes[i] != nullptr; i += 2) {
                const std::string_view key = attributes[i];
                const std::optional<double> value = ParseDecimal(attributes[i + 1]);
                if (key != "lat" && key != "lon") continue;
                if (!value || std::fabs(*value) > (key == "lat" ? 90.0 : 180.0)) {
                    return Fail("a track point's " + std::string(key) + " \"" +
                                std::string(attributes[i + 1]).substr(0, 40) + "\" is no " +
                                (key == "lat" ? "latitude" : "longitude"));
                }
                (key == "lat" ? point.dLatitude : point.dLongitude) = *value;
                (key == "lat" ? bLat : bLon) = true;
            }
            if (!bLat || !bLon) return Fail("a track point without lat and lon");
        } else if (bInPoint && name == "time") {
            pText = &strTime;
        } else if (bInPoint && name == "ele") {
            pText = &strElevation;
        }
    }

    void End(const XML_Char* pszName) {
        const std::string_view name = LocalName(pszName);
        if (name == "time" || name == "ele") {
            pText = nullptr;
            return;
        }
        if (name != "trkpt" || !bInPoint) return;
        bInPoint = false;
        if (!strElevation.empty()) {
            const std::optional<double> elevation = ParseDecimal(strElevation);
            if (!elevation)
                return Fail("a track point's ele \"" + strElevation.substr(0, 40) +
                            "\" is no number");
            point.dAltitude = *elevation;
        }
        if (Trimmed(strTime).empty()) return;  // cannot place a photo
        const std::optional<UtcMillis> time = ParseGpxTime(strTime);
        if (!time)
            return Fail("a track point's time \"" + strTime.substr(0, 40) + "\" does not read");
        point.nTime = *time;
        points.push_back(point);
    }

    void Text(const XML_Char* p, int nLength) {
        // A time or an elevation is short; a longer one is no number either way.
        if (pText != nullptr && pText->size() < 256) {
            pText->append(p, static_cast<size_t>(nLength));
        }
    }
};

GpxReader::GpxReader() : m_p(std::make_unique<Impl>()) {
    XML_SetUserData(m_p->parser, m_p.get());
    XML_SetElementHandler(
        m_p->parser,
        [](void* pData, const XML_Char* pszName, const XML_Char** attributes) {
            static_cast<Impl*>(pData)->Start(pszName, attributes);
        },
        [](void* pData, const XML_Char* pszName) { static_cast<Impl*>(pData)->End(pszName); });
    XML_SetCharacterDataHandler(m_p->parser, [](void* pData, const XML_Char* p, int nLength) {
        static_cast<Impl*>(pData)->Text(p, nLength);
    });
}

GpxReader::~GpxReader() {
    XML_ParserFree(m_p->parser);
}

bool GpxReader::Feed(std::string_view text, bool bLast) {
    Impl& m = *m_p;
    if (m.parser == nullptr) {
        m.strError = "out of memory";
        return false;
    }
    if (!m.strError.empty()) return false;
    // Expat takes int lengths: a large piece goes in several.
    do {
        const size_t nPiece = std::min<size_t>(text.size(), 1 << 20);
        const bool bFinal = bLast && nPiece == text.size();
        if (XML_Parse(m.parser, text.data(), static_cast<int>(nPiece),
                      bFinal ? XML_TRUE : XML_FALSE) != XML_STATUS_OK &&
            m.strError.empty()) {
            m.strError = std::string(XML_ErrorString(XML_GetErrorCode(m.parser))) + " on line " +
                         std::to_string(XML_GetCurrentLineNumber(m.parser));
        }
        text.remove_prefix(nPiece);
    } while (!text.empty() && m.strError.empty());
    return m.strError.empty();
}

const std::vector<GpxPoint>& GpxReader::Points() const {
    return m_p->points;
}

const std::string& GpxReader::Error() const {
    return m_p->strError;
}

bool LoadGpxFile(const std::string& strPath, std::vector<GpxPoint>& points, std::string& strError) {
    File file;
    if (!file.OpenRead(strPath)) {
        strError = "Can't read " + strPath + ": " + SystemErrorText(file.Error()) + ".";
        return false;
    }
    GpxReader reader;
    std::vector<uint8_t> buffer(1 << 16);
    for (;;) {
        size_t nRead = 0;
        if (!file.Read(buffer.data(), buffer.size(), nRead)) {
            strError = "Can't read " + strPath + ": " + SystemErrorText(file.Error()) + ".";
            return false;
        }
        if (!reader.Feed({reinterpret_cast<const char*>(buffer.data()), nRead}, nRead == 0)) {
            strError = strPath + " is no GPX track: " + reader.Error() + ".";
            return false;
        }
        if (nRead == 0) break;
    }
    if (reader.Points().empty()) {
        strError = "No track point with a time in " + strPath + ".";
        return false;
    }
    points = reader.Points();
    return true;
}
