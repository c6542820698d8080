// The simulated host a process runs on: the folder named by KIPO_HOST, its database, its change
// counters and its facts (computer name, user, versions, locale, time zone, screen, time scale).
// Every program, test and tool of the product reaches host state through Host::current().
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/host/counters.h"
#include "platform/host/database.h"

namespace platform::host {

// Names of the host facts and their defaults (a Windows XP SP2 machine for one user).
namespace fact {
inline constexpr const char* ComputerName = "computer_name";
inline constexpr const char* UserName = "user_name";
inline constexpr const char* UserIsAdmin = "user_is_admin";      // "1" or "0"
inline constexpr const char* WindowsVersion = "windows_version";  // "5.1"
inline constexpr const char* WindowsBuild = "windows_build";      // "2600"
inline constexpr const char* ServicePack = "service_pack";        // "Service Pack 2"
inline constexpr const char* ShellVersion = "shell_version";      // "6.0"
inline constexpr const char* IeVersion = "ie_version";            // "6.0.2900.2180"
inline constexpr const char* UserLocale = "user_locale";          // "0409" (hex LCID)
inline constexpr const char* SystemLocale = "system_locale";      // "0409"
inline constexpr const char* TimeZone = "time_zone";              // "UTC" or an IANA name
inline constexpr const char* ScreenWidth = "screen_width";
inline constexpr const char* ScreenHeight = "screen_height";
inline constexpr const char* TaskbarPosition = "taskbar_position";  // bottom, top, left, right
inline constexpr const char* TimeScale = "time_scale";              // monotonic time speed-up
inline constexpr const char* MemoryBytes = "memory_bytes";          // physical memory reported
// "1" on a host made for tests: there a product bug the stand-in can see (a format whose
// arguments Windows would misread) ends the process instead of being logged.
inline constexpr const char* TestHost = "test_host";
}  // namespace fact

// Every fact with its default, in a fixed order (for `kipo-host info`).
const std::map<std::string, std::string>& defaultFacts();

class Host {
 public:
  // The process's host, opened from KIPO_HOST on first use. A process without a usable host
  // cannot do anything Windows-shaped: this prints a clear message and ends it with code 3.
  static Host& current();
  // Whether KIPO_HOST names a host (no message, no exit).
  static bool available();
  // Closes the process's connection and opens KIPO_HOST again (tests switch hosts this way).
  // Facilities that cache host state compare epoch() to notice.
  static void reopen();
  static std::uint64_t epoch();

  explicit Host(const std::filesystem::path& folder);
  ~Host();

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path cDrive() const { return folder_ / "C"; }
  Database& db() { return *db_; }
  SharedCounters& counters() { return *counters_; }

  // A host fact, or its default when the host does not set it.
  std::string fact(std::string_view name);
  void setFact(std::string_view name, std::string_view value);
  // Convenience forms.
  std::u16string factW(std::string_view name);
  // Decimal facts only; the locale facts are hexadecimal LCIDs.
  long factNumber(std::string_view name, long fallback);

 private:
  std::filesystem::path folder_;
  std::unique_ptr<Database> db_;
  std::unique_ptr<SharedCounters> counters_;
  std::uint64_t factsSeen_ = ~0ull;
  std::map<std::string, std::string, std::less<>> facts_;
};

// Checks that a host folder exists and holds a database; empty when fine, else the reason.
std::string hostProblem(const std::filesystem::path& folder);

}  // namespace platform::host
