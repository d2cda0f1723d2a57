// Zone rules from the system's zone database (/usr/share/zoneinfo) through the date/tz library.

#include <date/tz.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "ZoneRules.h"

namespace {

constexpr ZoneSeconds kUnixTimeOf2000 = 946684800;
constexpr char kZoneDir[] = "/usr/share/zoneinfo/";

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

TimeZoneStatus LoadLocalZoneRules(std::shared_ptr<const ZoneRules>& pRules, std::string& strName) {
    // TZ overrides the system's zone for this process, as it does for the C library.
    if (const char* pszTz = std::getenv("TZ"); pszTz != nullptr && *pszTz != '\0') {
        std::string_view tz = pszTz;
        if (tz.front() == ':') tz.remove_prefix(1);
        if (tz.starts_with(kZoneDir)) tz.remove_prefix(sizeof kZoneDir - 1);
        if (LoadNamedZoneRules(tz, pRules, strName) == TimeZoneStatus::Ok)
            return TimeZoneStatus::Ok;
        if (const std::optional<AnnualZoneRule> rule = ParsePosixZoneRule(tz)) {
            pRules = MakeAnnualZoneRules(*rule);
            strName = tz;
            return TimeZoneStatus::Ok;
        }
    }
    try {
        return MakeRules(date::current_zone(), pRules, strName);
    } catch (const std::exception&) {
        return TimeZoneStatus::NoLocalZone;
    }
}
