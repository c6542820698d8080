// Time calls: FILETIME/SYSTEMTIME conversions with their validation, the host's time zone (never
// the Linux TZ), tick counts and the performance counter on monotonic time.
#include "platform/win32/time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/base/clock.h"
#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"
#include "tests/support/test_host.h"

namespace clk = platform::clock;
using platform::host::Host;

namespace {

SYSTEMTIME st(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0, WORD dow = 0) {
  return SYSTEMTIME{y, mo, dow, d, h, mi, s, ms};
}

std::string show(const SYSTEMTIME& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u dow %u", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
  return buf;
}

std::uint64_t ticksOf(const SYSTEMTIME& t) {
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&t, &ft)) << show(t);
  return platform::fileTimeToU64(ft);
}

SYSTEMTIME utcToLocal(const SYSTEMTIME& utc, const TIME_ZONE_INFORMATION* tzi = nullptr) {
  SYSTEMTIME out{};
  EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(tzi, &utc, &out));
  return out;
}

void useZone(const char* zone) { Host::current().setFact(platform::host::fact::TimeZone, zone); }

}  // namespace

TEST(FileTimeConversion, RoundTripsIncludingLeapDaysAndLimits) {
  struct Case {
    SYSTEMTIME time;
    std::uint64_t ticks;
    WORD dayOfWeek;
  } cases[] = {
      {st(1601, 1, 1), 0, 1},
      {st(1970, 1, 1), 116444736000000000ull, 4},
      {st(1999, 12, 31, 23, 59, 59), 125911583990000000ull, 5},
      {st(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ull, 2},  // 2000 is a leap year
      {st(2004, 3, 1, 0, 0, 0, 1), 127225728000010000ull, 1},         // the day after a leap day
      {st(2100, 2, 28, 23, 59, 59, 999), 157520159999990000ull, 0},   // 2100 is not
      {st(9999, 12, 31, 23, 59, 59, 999), 2650467743999990000ull, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(show(c.time));
    SYSTEMTIME in = c.time;
    in.wDayOfWeek = 6;  // ignored on input
    EXPECT_EQ(ticksOf(in), c.ticks);
    FILETIME ft = platform::u64ToFileTime(c.ticks);
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    SYSTEMTIME expected = c.time;
    expected.wDayOfWeek = c.dayOfWeek;
    EXPECT_EQ(show(back), show(expected));
  }
  // Sub-millisecond ticks are dropped, not rounded.
  FILETIME ft = platform::u64ToFileTime(116444736000000000ull + 9999);
  SYSTEMTIME t{};
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &t));
  EXPECT_EQ(t.wMilliseconds, 0);
  // The largest FILETIME converts; one with the top bit set does not.
  ft = platform::u64ToFileTime(0x7FFFFFFFFFFFFFFFull);
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &t));
  EXPECT_EQ(show(t), "30828-09-14 02:48:05.477 dow 4");
  SYSTEMTIME sentinel = st(1234, 5, 6, 7, 8, 9, 10, 3);
  t = sentinel;
  ft = platform::u64ToFileTime(0x8000000000000000ull);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(FileTimeToSystemTime(&ft, &t));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(show(t), show(sentinel));
}

TEST(FileTimeConversion, InvalidSystemTimesAreRefusedAndLeaveTheOutputAlone) {
  const SYSTEMTIME bad[] = {
      st(1600, 12, 31),             st(30828, 1, 1),  st(2000, 0, 1),        st(2000, 13, 1),
      st(2000, 1, 0),               st(2000, 1, 32),  st(2001, 2, 29),       st(2100, 2, 29),
      st(2000, 2, 30),              st(2000, 4, 31),  st(2000, 1, 1, 24),    st(2000, 1, 1, 0, 60),
      st(2000, 1, 1, 0, 0, 60),     st(2000, 1, 1, 0, 0, 0, 1000),
  };
  for (const auto& t : bad) {
    FILETIME ft{0xdeadbeef, 0xdeadbeef};
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&t, &ft)) << show(t);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << show(t);
    EXPECT_EQ(ft.dwLowDateTime, 0xdeadbeefu);
    EXPECT_EQ(ft.dwHighDateTime, 0xdeadbeefu);
  }
  FILETIME ft{};
  SYSTEMTIME last = st(30827, 12, 31, 23, 59, 59, 999);
  EXPECT_TRUE(SystemTimeToFileTime(&last, &ft));
}

TEST(FileTimeConversion, CompareFileTime) {
  FILETIME a = platform::u64ToFileTime(5), b = platform::u64ToFileTime(0x100000000ull), c = b;
  EXPECT_EQ(CompareFileTime(&a, &b), -1);
  EXPECT_EQ(CompareFileTime(&b, &a), 1);
  EXPECT_EQ(CompareFileTime(&b, &c), 0);
}

TEST(TimeZone, DefaultIsUtcWhateverLinuxTzSays) {
  kipotest::TestHost host;
  ::setenv("TZ", "Asia/Tokyo", 1);
  ::tzset();
  TIME_ZONE_INFORMATION tzi;
  std::memset(&tzi, 0xBD, sizeof tzi);
  EXPECT_EQ(GetTimeZoneInformation(&tzi), TIME_ZONE_ID_UNKNOWN);
  EXPECT_EQ(tzi.Bias, 0);
  EXPECT_EQ(tzi.DaylightDate.wMonth, 0);
  EXPECT_EQ(std::u16string(tzi.StandardName), u"Coordinated Universal Time");

  clk::VirtualClock vc;
  vc.fixWallTime(ticksOf(st(2024, 7, 1, 23, 30)));
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_EQ(show(local), show(utc));
  ::unsetenv("TZ");
  ::tzset();
}

TEST(TimeZone, ZoneFromTheDatabaseGivesBiasRulesAndLocalTimes) {
  kipotest::TestHost host;
  useZone("Europe/Paris");
  TIME_ZONE_INFORMATION tzi{};
  DWORD id = GetTimeZoneInformation(&tzi);
  EXPECT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT);
  EXPECT_EQ(tzi.Bias, -60);
  EXPECT_EQ(tzi.StandardBias, 0);
  EXPECT_EQ(tzi.DaylightBias, -60);
  EXPECT_EQ(std::u16string(tzi.StandardName), u"Romance Standard Time");
  // Daylight time from the last Sunday of March at 2:00 to the last Sunday of October at 3:00.
  EXPECT_EQ(show(tzi.DaylightDate), "0000-03-05 02:00:00.000 dow 0");
  EXPECT_EQ(show(tzi.StandardDate), "0000-10-05 03:00:00.000 dow 0");

  struct Case {
    const char* zone;
    SYSTEMTIME utc;
    SYSTEMTIME local;
  } cases[] = {
      {"Europe/Paris", st(2024, 1, 15, 12), st(2024, 1, 15, 13, 0, 0, 0, 1)},
      {"Europe/Paris", st(2024, 7, 1, 12), st(2024, 7, 1, 14, 0, 0, 0, 1)},
      {"Europe/Paris", st(2024, 3, 31, 0, 59, 59), st(2024, 3, 31, 1, 59, 59, 0, 0)},  // just before the change
      {"Europe/Paris", st(2024, 3, 31, 1), st(2024, 3, 31, 3, 0, 0, 0, 0)},           // at it
      {"America/New_York", st(2024, 3, 10, 6, 59), st(2024, 3, 10, 1, 59, 0, 0, 0)},
      {"America/New_York", st(2024, 3, 10, 7), st(2024, 3, 10, 3, 0, 0, 0, 0)},
      {"America/New_York", st(2024, 12, 31, 23, 30), st(2024, 12, 31, 18, 30, 0, 0, 2)},
      {"Australia/Sydney", st(2024, 1, 1), st(2024, 1, 1, 11, 0, 0, 0, 1)},  // summer in January
      {"Australia/Sydney", st(2024, 7, 1), st(2024, 7, 1, 10, 0, 0, 0, 1)},
      {"Asia/Tokyo", st(2024, 7, 1, 20), st(2024, 7, 2, 5, 0, 0, 0, 2)},
      {"No/Such_Zone", st(2024, 7, 1, 20), st(2024, 7, 1, 20, 0, 0, 0, 1)},  // unknown: UTC
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + show(c.utc));
    useZone(c.zone);
    EXPECT_EQ(show(utcToLocal(c.utc)), show(c.local)) << "by the zone's history";
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    EXPECT_EQ(show(utcToLocal(c.utc, &zone)), show(c.local)) << "by the zone's current rules";
    SYSTEMTIME back{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(&zone, &c.local, &back));
    SYSTEMTIME expected = c.utc;
    expected.wDayOfWeek = back.wDayOfWeek;
    EXPECT_EQ(show(back), show(expected));
  }
}

TEST(TimeZone, LocalFileTimeUsesTheBiasInForceNow) {
  kipotest::TestHost host;
  useZone("Europe/Paris");
  clk::VirtualClock vc;
  vc.fixWallTime(ticksOf(st(2024, 7, 1, 12)));  // summer: UTC+2 now
  FILETIME winter = platform::u64ToFileTime(ticksOf(st(2024, 1, 15, 12))), local{}, back{};
  ASSERT_TRUE(FileTimeToLocalFileTime(&winter, &local));
  SYSTEMTIME t{};
  FileTimeToSystemTime(&local, &t);
  EXPECT_EQ(t.wHour, 14) << "a January time shifted by today's summer bias, as Windows does";
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(CompareFileTime(&back, &winter), 0);

  SYSTEMTIME now{};
  GetLocalTime(&now);
  EXPECT_EQ(show(now), show(st(2024, 7, 1, 14, 0, 0, 0, 1)));
  TIME_ZONE_INFORMATION tzi{};
  EXPECT_EQ(GetTimeZoneInformation(&tzi), TIME_ZONE_ID_DAYLIGHT);
}

TEST(TimeZone, CRuntimeLocalTimeFollowsTheHostZone) {
  kipotest::TestHost host;
  useZone("Europe/Paris");
  const __time64_t summer = 1719835200;  // 2024-07-01 12:00 UTC
  struct tm tm {};
  ASSERT_EQ(_localtime64_s(&tm, &summer), 0);
  EXPECT_EQ(tm.tm_hour, 14);
  EXPECT_EQ(tm.tm_isdst, 1);
  EXPECT_EQ(tm.tm_yday, 182);
  EXPECT_EQ(tm.tm_wday, 1);
  tm.tm_isdst = -1;
  EXPECT_EQ(_mktime64(&tm), summer);
  // Out-of-range fields are normalised: 1 July minus 31 days at 14:00 local is 31 May 12:00 UTC.
  tm.tm_mday -= 31;
  tm.tm_isdst = -1;
  EXPECT_EQ(_mktime64(&tm), summer - 31 * 86400);
  EXPECT_EQ(tm.tm_mon, 4);
  EXPECT_EQ(tm.tm_mday, 31);
  ASSERT_EQ(_gmtime64_s(&tm, &summer), 0);
  EXPECT_EQ(tm.tm_hour, 12);

  clk::VirtualClock vc;
  vc.fixWallTime(platform::kFileTimeUnixEpoch + static_cast<std::uint64_t>(summer) * 10000000u);
  __time64_t now = 0;
  EXPECT_EQ(_time64(&now), summer);
  EXPECT_EQ(now, summer);
}

TEST(Ticks, TickCountWrapsAndCountersFollowMonotonicTime) {
  clk::VirtualClock vc(0xFFFFFFFFull - 10);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF5u);
  LARGE_INTEGER freq{}, before{}, after{};
  ASSERT_TRUE(QueryPerformanceFrequency(&freq));
  EXPECT_EQ(freq.QuadPart, 10000000);
  QueryPerformanceCounter(&before);
  Sleep(20);
  QueryPerformanceCounter(&after);
  EXPECT_EQ(GetTickCount(), 9u) << "wraps at 2^32 ms";
  EXPECT_EQ(GetTickCount64(), 0x100000009ull);
  EXPECT_EQ(after.QuadPart - before.QuadPart, 20 * freq.QuadPart / 1000);
  EXPECT_EQ(SleepEx(5, TRUE), 0u);
  EXPECT_EQ(GetTickCount(), 14u);
  Sleep(0);
  EXPECT_EQ(GetTickCount(), 14u);
}

TEST(Ticks, WallTimeIsNotScaledButTicksAre) {
  kipotest::TestHost host;
  Host::current().setFact(platform::host::fact::TimeScale, "100");
  FILETIME w0{}, w1{};
  GetSystemTimeAsFileTime(&w0);
  DWORD t0 = GetTickCount();
  Sleep(2000);
  DWORD t1 = GetTickCount();
  GetSystemTimeAsFileTime(&w1);
  EXPECT_GE(t1 - t0, 2000u);
  EXPECT_LT(platform::fileTimeToU64(w1) - platform::fileTimeToU64(w0), 10000000u) << "under a second of wall time";
}
