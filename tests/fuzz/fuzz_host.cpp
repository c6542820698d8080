// The shared host of the fuzz harnesses: one fresh host per process under the build's temporary
// folder, so a harness never touches a user's host and leaves nothing behind.
#include "tests/fuzz/fuzz_host.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/host.h"

namespace kipofuzz {

namespace fs = std::filesystem;

namespace {

fs::path g_folder;

void removeHost() {
  std::error_code ec;
  if (!g_folder.empty()) fs::remove_all(g_folder, ec);
}

// libFuzzer ends a run without the exit handlers, and a crash skips them too: the hosts of
// processes that are gone are removed by the next harness.
void removeHostsOfEndedProcesses(const fs::path& base) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(base, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("host-", 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + 5, nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
  }
}

}  // namespace

void ensureHost() {
  static std::once_flag once;
  std::call_once(once, [] {
    fs::path base = KIPO_FUZZ_TMP;
    fs::create_directories(base);
    removeHostsOfEndedProcesses(base);
    g_folder = base / ("host-" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(g_folder, ec);
    platform::host::createHost(g_folder, {});
    ::setenv("KIPO_HOST", g_folder.c_str(), 1);
    platform::host::Host::reopen();
    fs::create_directories(g_folder / "C" / "fuzz");
    std::atexit(removeHost);
  });
}

std::u16string writeFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  ensureHost();
  std::ofstream out(g_folder / "C" / "fuzz" / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return u"C:\\fuzz\\" + platform::text::fromUtf8(name);
}

std::u16string utf16Of(const std::uint8_t* data, std::size_t size) {
  std::u16string s(size / 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return s;
}

}  // namespace kipofuzz
