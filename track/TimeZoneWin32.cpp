// Zone rules from Windows' own zone data. IANA names map to Windows zone keys through CLDR's table;
// Windows gives each key's rule year by year, which the yearly rule engine turns into spans.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "ZoneRules.h"
#include "platform/Text.h"

namespace {

struct WindowsZoneName {
    const char* pszName;
    uint16_t nKey;
    bool bPrimary;
};

#include "WindowsZones.inc"

// Every UTC year a record time can fall in, with one to spare either side.
constexpr int kFirstYear = 1999;
constexpr int kLastYear = 2137;

ZoneDayRule DayRuleOf(const SYSTEMTIME& st) {
    ZoneDayRule r;
    r.nMonth = static_cast<uint8_t>(st.wMonth);
    if (st.wYear == 0) {
        r.eKind = ZoneDayRule::kWeekdayInMonth;
        r.nWeek = static_cast<uint8_t>(std::clamp<WORD>(st.wDay, 1, 5));
        r.nWeekday = static_cast<uint8_t>(st.wDayOfWeek % 7);
    } else {
        r.eKind = ZoneDayRule::kFixedDate;
        r.nDay = st.wDay;
    }
    // Some zones change at 23:59:59.999, which means midnight.
    r.nSeconds = st.wHour * 3600 + st.wMinute * 60 + st.wSecond + (st.wMilliseconds + 999) / 1000;
    return r;
}

// Biases are minutes west of UTC; the daylight date is in standard time, the standard date in
// daylight time, as the yearly rule wants them.
AnnualZoneRule RuleOf(LONG nBias, LONG nStdBias, LONG nDstBias, const SYSTEMTIME& dstDate,
                      const SYSTEMTIME& stdDate, bool bDstDisabled) {
    AnnualZoneRule r;
    r.nStdOffset = -(nBias + nStdBias) * 60;
    r.nDstOffset = -(nBias + nDstBias) * 60;
    r.bDst = !bDstDisabled && dstDate.wMonth >= 1 && dstDate.wMonth <= 12 && stdDate.wMonth >= 1 &&
             stdDate.wMonth <= 12 && r.nDstOffset != r.nStdOffset;
    if (r.bDst) {
        r.start = DayRuleOf(dstDate);
        r.end = DayRuleOf(stdDate);
    }
    return r;
}

class WindowsZoneRules final : public ZoneRules {
  public:
    explicit WindowsZoneRules(std::vector<AnnualZoneRule> rules) : m_rules(std::move(rules)) {}

    ZoneSpan SpanAt(ZoneSeconds t) const override {
        return SpanFromAnnualRules(t, [this](int64_t nYear) {
            return m_rules[static_cast<size_t>(std::clamp<int64_t>(nYear, kFirstYear, kLastYear) -
                                               kFirstYear)];
        });
    }

  private:
    std::vector<AnnualZoneRule> m_rules;  // one per year from kFirstYear
};

// The rules of every year, read once so that walks never call into the system.
bool ReadYearlyRules(DYNAMIC_TIME_ZONE_INFORMATION& dtzi,
                     std::shared_ptr<const ZoneRules>& pRules) {
    std::vector<AnnualZoneRule> rules;
    for (int nYear = kFirstYear; nYear <= kLastYear; ++nYear) {
        TIME_ZONE_INFORMATION tzi{};
        if (!GetTimeZoneInformationForYear(static_cast<USHORT>(nYear), &dtzi, &tzi)) return false;
        rules.push_back(RuleOf(tzi.Bias, tzi.StandardBias, tzi.DaylightBias, tzi.DaylightDate,
                               tzi.StandardDate, dtzi.DynamicDaylightTimeDisabled != 0));
    }
    pRules = std::make_shared<WindowsZoneRules>(std::move(rules));
    return true;
}

// The full record of a zone key. EnumDynamicTimeZoneInformation exists from Windows 8 on and the
// build still allows Windows 7, so it is looked up at run time; without it the key alone names
// the zone to GetTimeZoneInformationForYear.
bool FindZoneKey(const wchar_t* pszKey, DYNAMIC_TIME_ZONE_INFORMATION& dtzi) {
    using EnumZones = DWORD(WINAPI*)(DWORD, PDYNAMIC_TIME_ZONE_INFORMATION);
    EnumZones pEnum = nullptr;
    for (const wchar_t* pszDll : {L"advapi32.dll", L"kernel32.dll"}) {
        if (HMODULE hDll = GetModuleHandleW(pszDll)) {
            pEnum = reinterpret_cast<EnumZones>(
                reinterpret_cast<void*>(GetProcAddress(hDll, "EnumDynamicTimeZoneInformation")));
        }
        if (pEnum) break;
    }
    if (pEnum) {
        for (DWORD i = 0; pEnum(i, &dtzi) == ERROR_SUCCESS; ++i) {
            if (std::wcscmp(dtzi.TimeZoneKeyName, pszKey) == 0) return true;
        }
        return false;
    }
    dtzi = {};
    std::wcsncpy(dtzi.TimeZoneKeyName, pszKey, std::size(dtzi.TimeZoneKeyName) - 1);
    return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x | 0x20 : x) ==
                      (y >= 'A' && y <= 'Z' ? y | 0x20 : y);
           });
}

const WindowsZoneName* FindName(std::string_view name) {
    const auto* pEnd = std::end(kWindowsZoneNames);
    const auto* p = std::lower_bound(
        std::begin(kWindowsZoneNames), pEnd, name,
        [](const WindowsZoneName& z, std::string_view n) { return z.pszName < n; });
    if (p != pEnd && p->pszName == name) return p;
    p = std::find_if(std::begin(kWindowsZoneNames), pEnd,
                     [&](const WindowsZoneName& z) { return SameIgnoringCase(z.pszName, name); });
    return p != pEnd ? p : nullptr;
}

}  // namespace

TimeZoneStatus LoadNamedZoneRules(std::string_view name, std::shared_ptr<const ZoneRules>& pRules,
                                  std::string& strName) {
    const WindowsZoneName* pName = FindName(name);
    if (!pName) return TimeZoneStatus::UnknownName;
    DYNAMIC_TIME_ZONE_INFORMATION dtzi{};
    if (!FindZoneKey(kWindowsZoneKeys[pName->nKey], dtzi) || !ReadYearlyRules(dtzi, pRules)) {
        return TimeZoneStatus::NoDatabase;
    }
    strName = pName->pszName;
    return TimeZoneStatus::Ok;
}

std::vector<std::string> ListZoneNames() {
    std::vector<std::string> names;
    for (const WindowsZoneName& z : kWindowsZoneNames) names.push_back(z.pszName);
    return names;
}

TimeZoneStatus LoadLocalZoneRules(std::shared_ptr<const ZoneRules>& pRules, std::string& strName) {
    DYNAMIC_TIME_ZONE_INFORMATION dtzi{};
    if (GetDynamicTimeZoneInformation(&dtzi) == TIME_ZONE_ID_INVALID) {
        return TimeZoneStatus::NoLocalZone;
    }
    if (dtzi.TimeZoneKeyName[0] == L'\0') {
        // A zone set up by hand has no key and no yearly rules: its one rule holds for all years.
        pRules = MakeAnnualZoneRules(RuleOf(dtzi.Bias, dtzi.StandardBias, dtzi.DaylightBias,
                                            dtzi.DaylightDate, dtzi.StandardDate,
                                            dtzi.DynamicDaylightTimeDisabled != 0));
        strName = NarrowToUtf8(dtzi.StandardName);
        return TimeZoneStatus::Ok;
    }
    if (!ReadYearlyRules(dtzi, pRules)) return TimeZoneStatus::NoLocalZone;
    // Named as the zone the key stands for, when the table knows the key.
    strName = NarrowToUtf8(dtzi.TimeZoneKeyName);
    for (const WindowsZoneName& z : kWindowsZoneNames) {
        if (z.bPrimary && std::wcscmp(kWindowsZoneKeys[z.nKey], dtzi.TimeZoneKeyName) == 0) {
            strName = z.pszName;
            break;
        }
    }
    return TimeZoneStatus::Ok;
}
