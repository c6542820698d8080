// Time calls over platform::clock, calendar arithmetic on FILETIME ticks, and the host's time zone
// read from the system's time zone database (TZif files under /usr/share/zoneinfo: transitions
// for the past, the file's rule for the future).
#include "platform/win32/time.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/clock.h"
#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDays1601To1970 = 134774;

// --- calendar ---------------------------------------------------------------------------------

bool isLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(std::int64_t y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

// 0 = Sunday.
int weekday(std::int64_t daysSince1970) { return static_cast<int>(((daysSince1970 % 7) + 11) % 7); }

// Seconds since 1970 (may be negative) of FILETIME ticks, and back.
std::int64_t ticksToUnixSeconds(std::uint64_t ticks, std::int64_t* remainderTicks = nullptr) {
  std::int64_t t = static_cast<std::int64_t>(ticks) - static_cast<std::int64_t>(platform::kFileTimeUnixEpoch);
  std::int64_t s = t / kTicksPerSecond, r = t % kTicksPerSecond;
  if (r < 0) {
    r += kTicksPerSecond;
    --s;
  }
  if (remainderTicks) *remainderTicks = r;
  return s;
}

SYSTEMTIME systemTimeFromTicks(std::uint64_t ticks) {
  std::int64_t rest = 0;
  std::int64_t secs = ticksToUnixSeconds(ticks, &rest);
  std::int64_t days = secs / kSecondsPerDay, sod = secs % kSecondsPerDay;
  if (sod < 0) {
    sod += kSecondsPerDay;
    --days;
  }
  std::int64_t y;
  unsigned m, d;
  civilFromDays(days, y, m, d);
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(weekday(days));
  st.wHour = static_cast<WORD>(sod / 3600);
  st.wMinute = static_cast<WORD>(sod / 60 % 60);
  st.wSecond = static_cast<WORD>(sod % 60);
  st.wMilliseconds = static_cast<WORD>(rest / 10000);
  return st;
}

bool validSystemTime(const SYSTEMTIME& st) {
  return st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
         st.wDay <= daysInMonth(st.wYear, st.wMonth) && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 &&
         st.wMilliseconds < 1000;
}

std::uint64_t ticksFromSystemTime(const SYSTEMTIME& st) {
  std::int64_t days = daysFromCivil(st.wYear, st.wMonth, st.wDay) + kDays1601To1970;
  std::int64_t secs = days * kSecondsPerDay + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
  return static_cast<std::uint64_t>(secs * kTicksPerSecond + st.wMilliseconds * 10000);
}

// --- time zones ---------------------------------------------------------------------------------

// A daylight rule date: month, week of month (5 = last), weekday, seconds after midnight.
struct RuleDate {
  enum class Kind { MonthWeekDay, Julian1, Julian0 } kind = Kind::MonthWeekDay;
  int month = 0, week = 0, weekday = 0, day = 0;
  std::int32_t time = 7200;
};

struct Zone {
  std::string name;
  struct Type {
    std::int32_t offset;
    bool daylight;
    std::string abbreviation;
  };
  std::vector<std::int64_t> transitions;
  std::vector<std::uint8_t> typeOf;  // per transition
  std::vector<Type> types;
  // The rule for times after the last transition (the file's POSIX-style footer).
  bool hasRule = false;
  std::string stdName, dstName;
  std::int32_t stdOffset = 0, dstOffset = 0;
  bool hasDaylight = false;
  RuleDate start, end;
};

// Local midnight-relative date of a rule in `year`, as days since 1970.
std::int64_t ruleDay(const RuleDate& r, std::int64_t year) {
  switch (r.kind) {
    case RuleDate::Kind::Julian1: {  // 1..365, February 29 never counted
      int n = r.day;
      std::int64_t days = daysFromCivil(year, 1, 1) + n - 1;
      if (isLeap(year) && n >= 60) ++days;
      return days;
    }
    case RuleDate::Kind::Julian0:
      return daysFromCivil(year, 1, 1) + r.day;
    case RuleDate::Kind::MonthWeekDay:
      break;
  }
  std::int64_t first = daysFromCivil(year, static_cast<unsigned>(r.month), 1);
  int delta = (r.weekday - weekday(first) + 7) % 7;
  std::int64_t day = first + delta + (r.week - 1) * 7;
  int dim = daysInMonth(year, r.month);
  while (day >= first + dim) day -= 7;
  return day;
}

// Parses "[+-]hh[:mm[:ss]]" into seconds.
bool parseHms(const std::string& s, std::size_t& i, std::int32_t& out) {
  int sign = 1;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) sign = s[i++] == '-' ? -1 : 1;
  std::int32_t parts[3] = {0, 0, 0};
  for (int p = 0; p < 3; ++p) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) {
      if (p == 0) return false;
      break;
    }
    std::int32_t v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) v = v * 10 + (s[i++] - '0');
    parts[p] = v;
    if (p < 2 && i < s.size() && s[i] == ':') ++i;
    else break;
  }
  out = sign * (parts[0] * 3600 + parts[1] * 60 + parts[2]);
  return true;
}

bool parseZoneName(const std::string& s, std::size_t& i, std::string& out) {
  if (i < s.size() && s[i] == '<') {
    std::size_t close = s.find('>', i);
    if (close == std::string::npos) return false;
    out = s.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
  }
  std::size_t start = i;
  while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
  out = s.substr(start, i - start);
  return out.size() >= 3;
}

bool parseRuleDate(const std::string& s, std::size_t& i, RuleDate& r) {
  if (i >= s.size()) return false;
  if (s[i] == 'M') {
    r.kind = RuleDate::Kind::MonthWeekDay;
    if (std::sscanf(s.c_str() + i, "M%d.%d.%d", &r.month, &r.week, &r.weekday) != 3) return false;
    ++i;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
    if (r.month < 1 || r.month > 12 || r.week < 1 || r.week > 5 || r.weekday < 0 || r.weekday > 6) return false;
  } else {
    r.kind = RuleDate::Kind::Julian0;
    if (s[i] == 'J') {
      r.kind = RuleDate::Kind::Julian1;
      ++i;
    }
    r.day = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) r.day = r.day * 10 + (s[i++] - '0');
  }
  r.time = 7200;
  if (i < s.size() && s[i] == '/') {
    ++i;
    if (!parseHms(s, i, r.time)) return false;
  }
  return true;
}

// "CET-1CEST,M3.5.0,M10.5.0/3": POSIX offsets count west, ours east.
bool parseRule(const std::string& s, Zone& z) {
  std::size_t i = 0;
  std::int32_t west = 0;
  if (!parseZoneName(s, i, z.stdName) || !parseHms(s, i, west)) return false;
  z.stdOffset = -west;
  z.hasRule = true;
  if (i >= s.size()) return true;
  if (!parseZoneName(s, i, z.dstName)) return false;
  z.dstOffset = z.stdOffset + 3600;
  if (i < s.size() && s[i] != ',') {
    if (!parseHms(s, i, west)) return false;
    z.dstOffset = -west;
  }
  if (i >= s.size() || s[i] != ',') {
    z.hasRule = false;  // daylight time without rules: leave it to the transitions
    return false;
  }
  ++i;
  if (!parseRuleDate(s, i, z.start) || i >= s.size() || s[i] != ',') return false;
  ++i;
  if (!parseRuleDate(s, i, z.end)) return false;
  z.hasDaylight = true;
  return true;
}

std::int64_t readBig(const unsigned char* p, int bytes) {
  std::uint64_t v = 0;
  for (int k = 0; k < bytes; ++k) v = (v << 8) | p[k];
  if (bytes == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return static_cast<std::int64_t>(v);
}

// Reads a TZif file; false (zone left as UTC) when it is missing or malformed. Every count is
// checked against what is left of the file before it is used.
bool loadTzif(const std::string& path, Zone& z) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t pos = 0;
  auto header = [&](std::size_t at, std::int64_t counts[6]) {
    if (at + 44 > data.size() || std::memcmp(&data[at], "TZif", 4) != 0) return false;
    for (int k = 0; k < 6; ++k) counts[k] = readBig(&data[at + 20 + 4 * k], 4);
    return true;
  };
  std::int64_t c[6];  // isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt
  if (!header(0, c)) return false;
  char version = static_cast<char>(data[4]);
  int timeSize = 4;
  pos = 44;
  if (version >= '2') {
    // Skip the 32-bit block and read the 64-bit one.
    std::int64_t skip = c[3] * 5 + c[4] * 6 + c[5] + c[2] * 8 + c[1] + c[0];
    if (skip < 0 || pos + static_cast<std::size_t>(skip) > data.size()) return false;
    pos += static_cast<std::size_t>(skip);
    if (!header(pos, c)) return false;
    pos += 44;
    timeSize = 8;
  }
  for (auto v : c)
    if (v < 0 || v > 100000) return false;
  std::size_t need = static_cast<std::size_t>(c[3]) * (timeSize + 1) + static_cast<std::size_t>(c[4]) * 6 +
                     static_cast<std::size_t>(c[5]) + static_cast<std::size_t>(c[2]) * (timeSize + 4) +
                     static_cast<std::size_t>(c[1] + c[0]);
  if (pos + need > data.size() || c[4] == 0) return false;
  for (std::int64_t k = 0; k < c[3]; ++k) z.transitions.push_back(readBig(&data[pos + k * timeSize], timeSize));
  pos += static_cast<std::size_t>(c[3]) * timeSize;
  for (std::int64_t k = 0; k < c[3]; ++k) {
    if (data[pos + k] >= c[4]) return false;
    z.typeOf.push_back(data[pos + k]);
  }
  pos += static_cast<std::size_t>(c[3]);
  std::size_t typesAt = pos, charsAt = pos + static_cast<std::size_t>(c[4]) * 6;
  for (std::int64_t k = 0; k < c[4]; ++k) {
    const unsigned char* t = &data[typesAt + k * 6];
    std::size_t abbr = t[5];
    std::string name;
    if (abbr < static_cast<std::size_t>(c[5]))
      name = std::string(reinterpret_cast<const char*>(&data[charsAt + abbr]),
                         strnlen(reinterpret_cast<const char*>(&data[charsAt + abbr]), c[5] - abbr));
    z.types.push_back({static_cast<std::int32_t>(readBig(t, 4)), t[4] != 0, name});
  }
  pos += need - static_cast<std::size_t>(c[3]) * (timeSize + 1);
  if (timeSize == 8 && pos < data.size() && data[pos] == '\n') {
    std::size_t end = std::find(data.begin() + static_cast<std::ptrdiff_t>(pos) + 1, data.end(), '\n') - data.begin();
    if (end < data.size()) {
      std::string footer(data.begin() + static_cast<std::ptrdiff_t>(pos) + 1, data.begin() + static_cast<std::ptrdiff_t>(end));
      if (!footer.empty() && !parseRule(footer, z)) z.hasDaylight = false;
    }
  }
  return true;
}

// Zone names are paths inside the time zone database and nothing else.
bool safeZoneName(const std::string& name) {
  if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) return false;
  return std::all_of(name.begin(), name.end(), [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '/' || ch == '_' || ch == '-' || ch == '+';
  });
}

const std::string kZoneFolder = "/usr/share/zoneinfo/";
std::mutex g_zoneMutex;

const Zone& hostZone() {
  static Zone* zone = nullptr;
  std::string name = platform::host::Host::current().fact(platform::host::fact::TimeZone);
  std::lock_guard lock(g_zoneMutex);
  if (zone && zone->name == name) return *zone;
  auto* z = new Zone;
  z->name = name;
  if (name == "UTC" || !safeZoneName(name) || !loadTzif(kZoneFolder + name, *z)) {
    Zone utc;
    utc.name = name;
    utc.types.push_back({0, false, "UTC"});
    utc.hasRule = true;
    utc.stdName = "UTC";
    *z = utc;
  }
  // Zones are few and small; an old one may still be read by another thread, so it is kept.
  zone = z;
  return *zone;
}

// Whether the rule puts a UTC moment in daylight time.
bool ruleDaylight(const Zone& z, std::int64_t t) {
  if (!z.hasDaylight) return false;
  std::int64_t y;
  unsigned m, d;
  civilFromDays((t + z.stdOffset) / kSecondsPerDay - ((t + z.stdOffset) % kSecondsPerDay < 0), y, m, d);
  std::int64_t start = ruleDay(z.start, y) * kSecondsPerDay + z.start.time - z.stdOffset;
  std::int64_t end = ruleDay(z.end, y) * kSecondsPerDay + z.end.time - z.dstOffset;
  return start < end ? (t >= start && t < end) : (t >= start || t < end);
}

platform::time::Offset offsetIn(const Zone& z, std::int64_t t) {
  if (z.transitions.empty() || t >= z.transitions.back()) {
    if (z.hasRule) {
      bool dst = ruleDaylight(z, t);
      return {dst ? z.dstOffset : z.stdOffset, dst};
    }
    if (z.transitions.empty()) return {z.types[0].offset, z.types[0].daylight};
  }
  auto it = std::upper_bound(z.transitions.begin(), z.transitions.end(), t);
  if (it == z.transitions.begin()) {
    // Before the first transition: the first standard-time type.
    for (const auto& type : z.types)
      if (!type.daylight) return {type.offset, false};
    return {z.types[0].offset, z.types[0].daylight};
  }
  const Zone::Type& type = z.types[z.typeOf[static_cast<std::size_t>(it - z.transitions.begin()) - 1]];
  return {type.offset, type.daylight};
}

// Windows names of the zones people pick most; others show their abbreviations.
struct ZoneNames {
  const char* zone;
  const char16_t* standard;
  const char16_t* daylight;
};
const ZoneNames kZoneNames[] = {
    {"UTC", u"Coordinated Universal Time", u"Coordinated Universal Time"},
    {"Etc/UTC", u"Coordinated Universal Time", u"Coordinated Universal Time"},
    {"Europe/London", u"GMT Standard Time", u"GMT Daylight Time"},
    {"Europe/Paris", u"Romance Standard Time", u"Romance Daylight Time"},
    {"Europe/Brussels", u"Romance Standard Time", u"Romance Daylight Time"},
    {"Europe/Berlin", u"W. Europe Standard Time", u"W. Europe Daylight Time"},
    {"Europe/Amsterdam", u"W. Europe Standard Time", u"W. Europe Daylight Time"},
    {"America/New_York", u"Eastern Standard Time", u"Eastern Daylight Time"},
    {"America/Chicago", u"Central Standard Time", u"Central Daylight Time"},
    {"America/Denver", u"Mountain Standard Time", u"Mountain Daylight Time"},
    {"America/Los_Angeles", u"Pacific Standard Time", u"Pacific Daylight Time"},
    {"Asia/Tokyo", u"Tokyo Standard Time", u"Tokyo Daylight Time"},
    {"Australia/Sydney", u"AUS Eastern Standard Time", u"AUS Eastern Daylight Time"},
};

void copyName(WCHAR (&dst)[32], std::u16string_view name) {
  std::fill(std::begin(dst), std::end(dst), u'\0');
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 31), dst);
}

SYSTEMTIME ruleToSystemTime(const RuleDate& r) {
  SYSTEMTIME st{};
  if (r.kind != RuleDate::Kind::MonthWeekDay) return st;  // not expressible; reported as no rule
  st.wMonth = static_cast<WORD>(r.month);
  st.wDay = static_cast<WORD>(r.week);
  st.wDayOfWeek = static_cast<WORD>(r.weekday);
  st.wHour = static_cast<WORD>(r.time / 3600);
  st.wMinute = static_cast<WORD>(r.time / 60 % 60);
  st.wSecond = static_cast<WORD>(r.time % 60);
  return st;
}

DWORD fillZoneInformation(const Zone& z, std::int64_t now, TIME_ZONE_INFORMATION& tzi) {
  tzi = {};
  std::u16string standard, daylight;
  for (const auto& n : kZoneNames)
    if (z.name == n.zone) {
      standard = n.standard;
      daylight = n.daylight;
    }
  platform::time::Offset current = offsetIn(z, now);
  std::int32_t stdOffset = z.hasRule ? z.stdOffset : (current.daylight ? current.seconds - 3600 : current.seconds);
  if (standard.empty()) standard = platform::text::fromUtf8(z.hasRule ? z.stdName : z.types[0].abbreviation);
  if (daylight.empty()) daylight = platform::text::fromUtf8(z.hasDaylight ? z.dstName : z.stdName);
  tzi.Bias = -stdOffset / 60;
  copyName(tzi.StandardName, standard);
  copyName(tzi.DaylightName, daylight);
  tzi.StandardBias = 0;
  if (!z.hasDaylight || z.start.kind != RuleDate::Kind::MonthWeekDay || z.end.kind != RuleDate::Kind::MonthWeekDay)
    return TIME_ZONE_ID_UNKNOWN;
  tzi.DaylightBias = -(z.dstOffset - z.stdOffset) / 60;
  tzi.StandardDate = ruleToSystemTime(z.end);
  tzi.DaylightDate = ruleToSystemTime(z.start);
  return current.daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

std::int64_t nowUnixSeconds() { return ticksToUnixSeconds(platform::clock::wallFileTime()); }

// Seconds to add to UTC for local time NOW.
std::int64_t currentOffsetSeconds() { return offsetIn(hostZone(), nowUnixSeconds()).seconds; }

// --- rules of a TIME_ZONE_INFORMATION -------------------------------------------------------------

// The moment (local seconds since 1970) a TZI date falls in `year`.
std::int64_t tziTransition(const SYSTEMTIME& st, std::int64_t year) {
  std::int64_t day;
  if (st.wYear == 0) {
    RuleDate r;
    r.month = st.wMonth;
    r.week = st.wDay;
    r.weekday = st.wDayOfWeek;
    day = ruleDay(r, year);
  } else {
    day = daysFromCivil(year, st.wMonth, st.wDay);
  }
  return day * kSecondsPerDay + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
}

// Bias in minutes (UTC = local + bias) at UTC moment t by the TZI's rules.
LONG tziBiasAt(const TIME_ZONE_INFORMATION& tzi, std::int64_t t) {
  if (tzi.DaylightDate.wMonth == 0 || tzi.StandardDate.wMonth == 0) return tzi.Bias + tzi.StandardBias;
  std::int64_t localStd = t - (tzi.Bias + tzi.StandardBias) * 60;
  std::int64_t y;
  unsigned m, d;
  civilFromDays(localStd / kSecondsPerDay - (localStd % kSecondsPerDay < 0), y, m, d);
  std::int64_t start = tziTransition(tzi.DaylightDate, y) + (tzi.Bias + tzi.StandardBias) * 60;
  std::int64_t end = tziTransition(tzi.StandardDate, y) + (tzi.Bias + tzi.DaylightBias) * 60;
  bool dst = start < end ? (t >= start && t < end) : (t >= start || t < end);
  return tzi.Bias + (dst ? tzi.DaylightBias : tzi.StandardBias);
}

void fillTm(struct tm& out, std::int64_t localSeconds, bool dst) {
  std::int64_t days = localSeconds / kSecondsPerDay, sod = localSeconds % kSecondsPerDay;
  if (sod < 0) {
    sod += kSecondsPerDay;
    --days;
  }
  std::int64_t y;
  unsigned m, d;
  civilFromDays(days, y, m, d);
  out = {};
  out.tm_year = static_cast<int>(y - 1900);
  out.tm_mon = static_cast<int>(m - 1);
  out.tm_mday = static_cast<int>(d);
  out.tm_hour = static_cast<int>(sod / 3600);
  out.tm_min = static_cast<int>(sod / 60 % 60);
  out.tm_sec = static_cast<int>(sod % 60);
  out.tm_wday = weekday(days);
  out.tm_yday = static_cast<int>(days - daysFromCivil(y, 1, 1));
  out.tm_isdst = dst ? 1 : 0;
}

}  // namespace

namespace platform::time {
Offset hostOffsetAt(std::int64_t utcSeconds) { return offsetIn(hostZone(), utcSeconds); }

bool knownZone(const std::string& name) {
  Zone z;
  return name == "UTC" || (safeZoneName(name) && loadTzif(kZoneFolder + name, z));
}
}  // namespace platform::time

void GetSystemTimeAsFileTime(LPFILETIME ft) {
  if (ft) *ft = platform::u64ToFileTime(platform::clock::wallFileTime());
}

void GetSystemTime(LPSYSTEMTIME st) {
  if (st) *st = systemTimeFromTicks(platform::clock::wallFileTime());
}

void GetLocalTime(LPSYSTEMTIME st) {
  if (!st) return;
  std::uint64_t now = platform::clock::wallFileTime();
  std::int64_t offset = platform::time::hostOffsetAt(ticksToUnixSeconds(now)).seconds;
  *st = systemTimeFromTicks(now + static_cast<std::uint64_t>(offset * kTicksPerSecond));
}

BOOL FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
  if (!ft || !st || (ft->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *st = systemTimeFromTicks(platform::fileTimeToU64(*ft));
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
  if (!st || !ft || !validSystemTime(*st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *ft = platform::u64ToFileTime(ticksFromSystemTime(*st));
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* ft, LPFILETIME local) {
  if (!ft || !local) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t ticks = static_cast<std::int64_t>(platform::fileTimeToU64(*ft)) + currentOffsetSeconds() * kTicksPerSecond;
  *local = platform::u64ToFileTime(static_cast<std::uint64_t>(ticks));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME ft) {
  if (!ft || !local) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t ticks = static_cast<std::int64_t>(platform::fileTimeToU64(*local)) - currentOffsetSeconds() * kTicksPerSecond;
  *ft = platform::u64ToFileTime(static_cast<std::uint64_t>(ticks));
  return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* tzi, const SYSTEMTIME* utc, LPSYSTEMTIME local) {
  if (!utc || !local || !validSystemTime(*utc)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = ticksFromSystemTime(*utc);
  std::int64_t t = ticksToUnixSeconds(ticks);
  std::int64_t offset = tzi ? -static_cast<std::int64_t>(tziBiasAt(*tzi, t)) * 60 : platform::time::hostOffsetAt(t).seconds;
  *local = systemTimeFromTicks(static_cast<std::uint64_t>(static_cast<std::int64_t>(ticks) + offset * kTicksPerSecond));
  return TRUE;
}

BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* tzi, const SYSTEMTIME* local, LPSYSTEMTIME utc) {
  if (!local || !utc || !validSystemTime(*local)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t ticks = ticksFromSystemTime(*local);
  std::int64_t l = ticksToUnixSeconds(ticks);
  auto offsetAt = [&](std::int64_t t) -> std::int64_t {
    return tzi ? -static_cast<std::int64_t>(tziBiasAt(*tzi, t)) * 60 : platform::time::hostOffsetAt(t).seconds;
  };
  // Try the offset of the moment reached by guessing; one refinement settles it.
  std::int64_t offset = offsetAt(l);
  offset = offsetAt(l - offset);
  *utc = systemTimeFromTicks(static_cast<std::uint64_t>(static_cast<std::int64_t>(ticks) - offset * kTicksPerSecond));
  return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
  std::uint64_t x = platform::fileTimeToU64(*a), y = platform::fileTimeToU64(*b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION tzi) {
  if (!tzi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  return fillZoneInformation(hostZone(), nowUnixSeconds(), *tzi);
}

DWORD GetTickCount() { return static_cast<DWORD>(platform::clock::monotonicMs()); }

ULONGLONG GetTickCount64() { return platform::clock::monotonicMs(); }

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
  if (!counter) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  counter->QuadPart = static_cast<LONGLONG>(platform::clock::monotonicNs() / 100u);
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  frequency->QuadPart = 10000000;
  return TRUE;
}

void Sleep(DWORD ms) { platform::clock::sleepMs(ms); }

DWORD SleepEx(DWORD ms, BOOL) {
  platform::clock::sleepMs(ms);
  return 0;
}

__time64_t _time64(__time64_t* timer) {
  __time64_t now = nowUnixSeconds();
  if (timer) *timer = now;
  return now;
}

int _localtime64_s(struct tm* result, const __time64_t* timer) {
  if (!result || !timer || *timer < 0) return 22;  // EINVAL
  platform::time::Offset off = platform::time::hostOffsetAt(*timer);
  fillTm(*result, *timer + off.seconds, off.daylight);
  return 0;
}

int _gmtime64_s(struct tm* result, const __time64_t* timer) {
  if (!result || !timer || *timer < 0) return 22;
  fillTm(*result, *timer, false);
  return 0;
}

__time64_t _mktime64(struct tm* tp) {
  if (!tp) return -1;
  // Normalise months into years first, then count the rest as days and seconds.
  std::int64_t year = 1900 + static_cast<std::int64_t>(tp->tm_year) + tp->tm_mon / 12;
  int mon = tp->tm_mon % 12;
  if (mon < 0) {
    mon += 12;
    --year;
  }
  std::int64_t local = (daysFromCivil(year, static_cast<unsigned>(mon + 1), 1) + tp->tm_mday - 1) * kSecondsPerDay +
                       static_cast<std::int64_t>(tp->tm_hour) * 3600 + tp->tm_min * 60 + tp->tm_sec;
  std::int64_t offset = platform::time::hostOffsetAt(local).seconds;
  std::int64_t utc = local - offset;
  platform::time::Offset settled = platform::time::hostOffsetAt(utc);
  if (settled.seconds != offset) utc = local - settled.seconds;
  if (tp->tm_isdst >= 0) {
    // An explicit daylight flag decides an ambiguous or skipped hour.
    platform::time::Offset at = platform::time::hostOffsetAt(utc);
    if ((tp->tm_isdst > 0) != at.daylight) {
      std::int64_t alt = local - (at.daylight ? at.seconds - 3600 : at.seconds + 3600);
      if (platform::time::hostOffsetAt(alt).daylight == (tp->tm_isdst > 0)) utc = alt;
    }
  }
  if (utc < 0) return -1;
  platform::time::Offset off = platform::time::hostOffsetAt(utc);
  fillTm(*tp, utc + off.seconds, off.daylight);
  return utc;
}
