// Fuzz harness of the WinInet calls' reading of a server's reply: each input is sent raw by a
// loopback server as the answer to a request, and the reply is queried and read to its end.
#include <mutex>
#include <string>

#include "platform/base/text.h"
#include "platform/net/wininet.h"
#include "tests/fuzz/fuzz_host.h"
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

void queryAll(HINTERNET file) {
  const DWORD numbers[] = {HTTP_QUERY_STATUS_CODE, HTTP_QUERY_CONTENT_LENGTH};
  for (DWORD level : numbers) {
    DWORD value = 0, size = sizeof value;
    HttpQueryInfoW(file, level | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
    WCHAR text[64];
    size = sizeof text;
    HttpQueryInfoW(file, level, text, &size, nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureHost();
  {
    std::lock_guard lock(g_replyLock);
    g_reply.assign(reinterpret_cast<const char*>(data), size);
  }
  static HINTERNET session = InternetOpenW(u"Kipo", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return 0;
  const std::u16string url =
      platform::text::fromUtf8("http://127.0.0.1:" + std::to_string(server().port()) + "/f");
  // No redirects: a reply that names this server again would be fetched without end.
  HINTERNET file = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT, 0);
  if (!file) return 0;
  queryAll(file);
  char buffer[4096];
  for (int i = 0; i < 1024; ++i) {
    DWORD available = 0, read = 0;
    InternetQueryDataAvailable(file, &available, 0, 0);
    if (!InternetReadFile(file, buffer, sizeof buffer, &read) || read == 0) break;
  }
  InternetCloseHandle(file);
  kipofuzz::waitUntil([] { return server().idle(); });
  return 0;
}
