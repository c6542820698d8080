// Time calls: wall time as FILETIME/SYSTEMTIME and its conversions, the host's time zone, tick
// counts, the performance counter and Sleep, plus the C runtime's 64-bit time functions.
// Wall time is real and never scaled; ticks, the performance counter and Sleep are monotonic
// time (scaled by the host's time scale, or a test's virtual clock: platform/base/clock.h).
// Local time is the HOST's time zone (host fact "time_zone": "UTC" or a zone name of the
// system's time zone database such as "Europe/Paris"), never the Linux TZ.
#pragma once

#include <ctime>
#include <cstdint>
#include <string>

#include "platform/base/types.h"

#ifndef INFINITE
#define INFINITE 0xFFFFFFFF
#endif

#define TIME_ZONE_ID_INVALID 0xFFFFFFFFu
#define TIME_ZONE_ID_UNKNOWN 0u
#define TIME_ZONE_ID_STANDARD 1u
#define TIME_ZONE_ID_DAYLIGHT 2u

// UTC = local time + Bias (minutes); StandardBias/DaylightBias add to Bias in each season.
// StandardDate/DaylightDate with wYear 0 say "the wDay-th (5: last) wDayOfWeek of wMonth at
// wHour:wMinute" local time; wMonth 0 means the zone has no daylight time.
struct TIME_ZONE_INFORMATION {
  LONG Bias;
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
};
using LPTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;

void GetSystemTime(LPSYSTEMTIME lpSystemTime);
void GetLocalTime(LPSYSTEMTIME lpSystemTime);
void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);

// FALSE with ERROR_INVALID_PARAMETER (output untouched) for a FILETIME with its top bit set, or a
// SYSTEMTIME with a field out of range (year 1601..30827, a day the month does not have, ...);
// wDayOfWeek is ignored on input and computed on output.
BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
// As Windows does, both use the bias in force NOW (daylight or not), whatever the date converted.
BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
// By the rules of the zone given (null: the host's zone, with its full history) for that date.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime);
BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime);
// -1, 0 or 1.
LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);
// The host's zone: TIME_ZONE_ID_UNKNOWN (no daylight time), _STANDARD or _DAYLIGHT (now).
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);

// Milliseconds of monotonic time; wraps at 2^32 (every 49.7 days, sooner at a time scale).
DWORD GetTickCount();
ULONGLONG GetTickCount64();
// 10 MHz.
BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);
void Sleep(DWORD dwMilliseconds);
// No asynchronous procedure calls are ever queued, so it always returns 0 after the full time.
DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable);

// C runtime: seconds since 1970 UTC; local time of the host's zone.
using __time64_t = long long;
__time64_t _time64(__time64_t* timer);
int _localtime64_s(struct tm* result, const __time64_t* timer);
int _gmtime64_s(struct tm* result, const __time64_t* timer);
// Local broken-down time (host zone) to seconds; normalises *timeptr; tm_isdst < 0: find out.
__time64_t _mktime64(struct tm* timeptr);

namespace platform::time {

// The host zone's offset from UTC (seconds east) at a moment (seconds since 1970 UTC).
struct Offset {
  std::int32_t seconds = 0;
  bool daylight = false;
};
Offset hostOffsetAt(std::int64_t utcSeconds);

// Whether a time_zone fact names a zone: "UTC" or one of the system's time zone database.
bool knownZone(const std::string& name);

}  // namespace platform::time
