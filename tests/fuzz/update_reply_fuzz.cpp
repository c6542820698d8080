// Fuzz harness of the update check's reading of the version file: each input is what the update
// server answers, sent by a loopback server. Inputs whose first byte is odd are sent raw (status
// line and headers too); the others are the body of a plain 200 reply, so most of the fuzzer's
// work reaches the version numbers. Whatever the check accepts must be four numbers the parser
// reads back the same from their own text.
#include <cstdio>
#include <mutex>
#include <string>

#include "app/software_updater.h"
#include "platform/base/text.h"
#include "tests/fuzz/fuzz_app.h"
#include "tests/platform/net/wininet/loopback_server.h"

namespace {

std::mutex g_replyLock;
std::string g_reply;

kipotest::LoopbackServer& server() {
  static kipotest::LoopbackServer s([](const kipotest::HttpRequest&, const kipotest::LoopbackServer::Send& send) {
    std::string reply;
    {
      std::lock_guard lock(g_replyLock);
      reply = g_reply;
    }
    send(reply);
  });
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  static const bool pointed = [] {
    setUpdateBaseUrl(CString(platform::text::fromUtf8("http://127.0.0.1:" + std::to_string(server().port()) + "/kipo").c_str()));
    return true;
  }();
  (void)pointed;
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  {
    std::lock_guard lock(g_replyLock);
    if (data[0] & 1)
      g_reply = bytes;
    else
      g_reply = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(bytes.size()) +
                "\r\nConnection: close\r\n\r\n" + bytes;
  }
  CSoftwareUpdater updater;
  const bool ok = updater.getServerVersionInfo();
  kipofuzz::waitUntil([] { return server().idle(); });
  // A refused reply leaves the four numbers 0.
  if (!ok) {
    if (updater.major || updater.minor || updater.build || updater.revision) __builtin_trap();
    return 0;
  }
  if (!updater.major && !updater.minor && !updater.build && !updater.revision) __builtin_trap();
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%u %u %u %u", updater.major, updater.minor, updater.build, updater.revision);
  WORD again[4] = {};
  if (!CSoftwareUpdater::parseVersionText(text, static_cast<DWORD>(n), again) || again[0] != updater.major ||
      again[1] != updater.minor || again[2] != updater.build || again[3] != updater.revision)
    __builtin_trap();
  return 0;
}
