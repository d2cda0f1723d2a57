// Zone rules from the system's zone database (/usr/share/zoneinfo) through the date/tz library.

#include <date/tz.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ZoneFile.h"
#include "ZoneRules.h"

namespace {

constexpr ZoneSeconds kUnixTimeOf2000 = 946684800;
constexpr char kZoneDir[] = "/usr/share/zoneinfo/";
constexpr char kLocalZoneFile[] = "/etc/localtime";

ZoneSeconds FromSys(date::sys_seconds t) {
    return t.time_since_epoch().count() - kUnixTimeOf2000;
}

// The rule a zone file states for the time after its last listed change, in the TZ string that
// ends the file. The library stops at that last change (2037 in most files), which would leave
// every later summer on winter time.
std::optional<AnnualZoneRule> ReadClosingRule(const std::string& strName) {
    std::ifstream file(kZoneDir + strName, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (bytes.size() < 6 || bytes.compare(0, 4, "TZif") != 0 || bytes[4] < '2' ||
        bytes.back() != '\n') {
        return std::nullopt;
    }
    const size_t open = bytes.rfind('\n', bytes.size() - 2);
    if (open == std::string::npos) return std::nullopt;
    std::optional<AnnualZoneRule> rule =
        ParsePosixZoneRule(std::string_view(bytes).substr(open + 1, bytes.size() - open - 2));
    if (!rule || !rule->bDst) return std::nullopt;
    return rule;
}

class DatabaseZoneRules final : public ZoneRules {
  public:
    DatabaseZoneRules(const date::time_zone* pZone, std::optional<AnnualZoneRule> closing)
        : m_pZone(pZone), m_closing(closing) {}

    ZoneSpan SpanAt(ZoneSeconds t) const override {
        const date::sys_info info =
            m_pZone->get_info(date::sys_seconds{std::chrono::seconds{t + kUnixTimeOf2000}});
        const ZoneSpan span{FromSys(info.begin), FromSys(info.end),
                            static_cast<int32_t>(info.offset.count())};
        if (!m_closing || span.nEnd < kOpenEnd) return span;
        ZoneSpan byRule = SpanFromAnnualRules(t, [this](int64_t) { return *m_closing; });
        byRule.nBegin = std::max(byRule.nBegin, span.nBegin);
        return byRule;
    }

  private:
    // A span that ends later than this is the file's open end, not a change.
    static constexpr ZoneSeconds kOpenEnd = ZoneSeconds{200} * 366 * 86400;

    const date::time_zone* m_pZone;  // owned by the library's database, which lives on
    std::optional<AnnualZoneRule> m_closing;
};

TimeZoneStatus MakeRules(const date::time_zone* pZone, std::shared_ptr<const ZoneRules>& pRules,
                         std::string& strName) {
    try {
        (void)pZone->get_info(date::sys_seconds{});  // loads the zone's file now, not mid-walk
    } catch (const std::exception&) {
        return TimeZoneStatus::NoDatabase;
    }
    strName = pZone->name();
    pRules = std::make_shared<DatabaseZoneRules>(pZone, ReadClosingRule(strName));
    return TimeZoneStatus::Ok;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x | 0x20 : x) ==
                      (y >= 'A' && y <= 'Z' ? y | 0x20 : y);
           });
}

// The database zone a zone file is: the one it links to, else the one with the same bytes
// ("Area/Location" names first); empty when none is.
std::string DatabaseNameOf(const std::string& strPath, const std::string& bytes) {
    std::error_code ec;
    const std::string strTarget = std::filesystem::canonical(strPath, ec).generic_string();
    constexpr std::string_view kFolder = "/zoneinfo/";
    if (const size_t at = strTarget.rfind(kFolder); !ec && at != std::string::npos) {
        std::string strName = strTarget.substr(at + kFolder.size());
        if (strName.starts_with("posix/")) strName.erase(0, 6);
        return strName;
    }
    std::vector<std::string> names = ListZoneNames();
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const bool bAreaA = a.find('/') != std::string::npos;
        const bool bAreaB = b.find('/') != std::string::npos;
        return bAreaA != bAreaB ? bAreaA : a < b;
    });
    for (const std::string& name : names) {
        // Sizes first: a few hundred file sizes, and the bytes only of the same-sized. A link is
        // another name for the zone it points to, which is the one to name.
        const std::filesystem::path candidate = kZoneDir + name;
        if (std::filesystem::file_size(candidate, ec) != bytes.size() || ec ||
            std::filesystem::is_symlink(candidate, ec)) {
            continue;
        }
        if (ReadZoneFileBytes(candidate) == bytes) return name;
    }
    return "";
}

}  // namespace

TimeZoneStatus LoadNamedZoneRules(std::string_view name, std::shared_ptr<const ZoneRules>& pRules,
                                  std::string& strName) {
    const date::tzdb* pDb = nullptr;
    try {
        pDb = &date::get_tzdb();
    } catch (const std::exception&) {
        return TimeZoneStatus::NoDatabase;
    }
    const auto exact = std::find_if(pDb->zones.begin(), pDb->zones.end(),
                                    [&](const date::time_zone& z) { return z.name() == name; });
    if (exact != pDb->zones.end()) return MakeRules(&*exact, pRules, strName);
    const auto anyCase =
        std::find_if(pDb->zones.begin(), pDb->zones.end(),
                     [&](const date::time_zone& z) { return SameIgnoringCase(z.name(), name); });
    if (anyCase != pDb->zones.end()) return MakeRules(&*anyCase, pRules, strName);
    return TimeZoneStatus::UnknownName;
}

std::vector<std::string> ListZoneNames() {
    std::vector<std::string> names;
    try {
        for (const date::time_zone& zone : date::get_tzdb().zones) names.push_back(zone.name());
    } catch (const std::exception&) {
        names.clear();
    }
    return names;
}

TimeZoneStatus LoadZoneFileRules(const std::string& strPath,
                                 std::shared_ptr<const ZoneRules>& pRules, std::string& strName) {
    const std::optional<std::string> bytes = ReadZoneFileBytes(strPath);
    std::shared_ptr<const ZoneRules> pFileRules = bytes ? ParseZoneFile(*bytes) : nullptr;
    if (!pFileRules) return TimeZoneStatus::NoLocalZone;
    pRules = std::move(pFileRules);
    strName = DatabaseNameOf(strPath, *bytes);
    if (strName.empty()) strName = strPath;
    return TimeZoneStatus::Ok;
}

TimeZoneStatus LoadLocalZoneRules(std::shared_ptr<const ZoneRules>& pRules, std::string& strName) {
    // TZ overrides the system's zone for this process, read as the C library reads it: a zone
    // name or file (either may follow a ':'), or a rule such as "CET-1CEST,M3.5.0,M10.5.0/3".
    if (const char* pszTz = std::getenv("TZ"); pszTz != nullptr) {
        std::string_view tz = pszTz;
        if (tz.empty()) {
            // An empty TZ is UTC to the C library, and so to `date`.
            pRules = MakeAnnualZoneRules(AnnualZoneRule{});
            strName = "UTC";
            return TimeZoneStatus::Ok;
        }
        if (tz.front() == ':') tz.remove_prefix(1);
        std::string_view name = tz;
        if (name.starts_with(kZoneDir)) name.remove_prefix(sizeof kZoneDir - 1);
        if (!name.starts_with('/') &&
            LoadNamedZoneRules(name, pRules, strName) == TimeZoneStatus::Ok) {
            return TimeZoneStatus::Ok;
        }
        if (const std::optional<AnnualZoneRule> rule = ParsePosixZoneRule(tz)) {
            pRules = MakeAnnualZoneRules(*rule);
            strName = tz;
            return TimeZoneStatus::Ok;
        }
        // A file: a path, or a name the database lists only as a link ("UTC", "US/Eastern").
        // Anything else is refused rather than taken as UTC, which would shift every time.
        return LoadZoneFileRules(tz.starts_with('/') ? std::string(tz) : kZoneDir + std::string(tz),
                                 pRules, strName);
    }
    try {
        return MakeRules(date::current_zone(), pRules, strName);
    } catch (const std::exception&) {
        // /etc/localtime a copy rather than a link, and no other file naming the zone.
        return LoadZoneFileRules(kLocalZoneFile, pRules, strName);
    }
}
