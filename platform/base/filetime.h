// FILETIME (100-ns intervals since 1601-01-01 UTC) against Linux times (since 1970).
#pragma once

#include <cstdint>

#include "platform/base/types.h"

namespace platform {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
inline constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

inline std::uint64_t fileTimeToU64(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline FILETIME u64ToFileTime(std::uint64_t v) {
  return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

// Linux seconds and nanoseconds to FILETIME ticks (truncated to 100 ns).
inline std::uint64_t unixToFileTimeTicks(std::int64_t seconds, std::int64_t nanoseconds) {
  return static_cast<std::uint64_t>(seconds * 10000000 + nanoseconds / 100 + static_cast<std::int64_t>(kFileTimeUnixEpoch));
}

// FILETIME ticks to Linux seconds and nanoseconds (times before 1970 give negative seconds).
inline void fileTimeTicksToUnix(std::uint64_t ticks, std::int64_t& seconds, std::int64_t& nanoseconds) {
  std::int64_t rel = static_cast<std::int64_t>(ticks - kFileTimeUnixEpoch);
  seconds = rel / 10000000;
  std::int64_t rest = rel % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  nanoseconds = rest * 100;
}

}  // namespace platform
