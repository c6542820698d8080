// The WinInet calls against a loopback server: status, length and error table, a reply cut short,
// a stalled server closed from another thread, redirects, name lookup through the host's table,
// and HTTPS with the host's trusted roots.
#include "platform/net/wininet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "loopback_server.h"
#include "platform/base/text.h"
#include "platform/net/servers.h"
#include "platform/win32/error.h"
#include "tests/support/faults.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::HttpRequest;
using kipotest::LoopbackServer;

constexpr DWORD kSentinel = 0xdeadbeef;

// The routes of the plain server.
void serveFiles(LoopbackServer* self, const HttpRequest& request, const LoopbackServer::Send& send) {
  const std::string& path = request.path;
  if (path == "/hello.txt") {
    send(kipotest::httpReply(200, "OK", "1 2 3 4\r\n", "Content-Type: text/plain\r\n"));
  } else if (path == "/chunked") {
    send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
  } else if (path == "/cut") {
    // Announces 1000 bytes, sends 100 and closes.
    send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" + std::string(100, 'x'));
  } else if (path == "/slow") {
    send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n" + std::string(10, 's'));
    self->waitForStop(std::chrono::seconds(20));
  } else if (path == "/percent") {
    send(kipotest::httpReply(200, "%s%n%s%n", "%s%n%x%x"));
  } else if (path == "/to-hello") {
    send(kipotest::httpReply(302, "Found", "", "Location: /hello.txt\r\n"));
  } else if (path == "/to-far") {
    send(kipotest::httpReply(302, "Found", "", "Location: http://far.test/x\r\n"));
  } else if (path == "/to-unlisted") {
    send(kipotest::httpReply(301, "Moved", "", "Location: http://nowhere.test/x\r\n"));
  } else {
    send(kipotest::httpReply(404, "Not Found", "no such file"));
  }
}

class WinInetTest : public ::testing::Test {
 protected:
  WinInetTest()
      : server_([this](const HttpRequest& r, const LoopbackServer::Send& s) { serveFiles(&server_, r, s); }) {
    platform::net::addServer({u"files.test", "127.0.0.1"});
    platform::net::addServer({u"far.test", "192.0.2.10"});  // listed, but off the loopback network
    session_ = InternetOpenW(u"Kipo", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  }
  ~WinInetTest() override {
    if (session_) InternetCloseHandle(session_);
  }

  std::u16string url(const std::string& path, const std::string& host = "files.test") const {
    return platform::text::fromUtf8("http://" + host + ":" + std::to_string(server_.port()) + path);
  }

  // Reads the whole body; false (error in `error`) when a read failed.
  static bool readAll(HINTERNET file, std::string& body, DWORD& error, DWORD chunk = 7) {
    std::string buffer(chunk, '\0');
    for (;;) {
      DWORD read = kSentinel;
      if (!InternetReadFile(file, buffer.data(), chunk, &read)) {
        error = GetLastError();
        EXPECT_EQ(read, 0u) << "a failed read reports no bytes";
        return false;
      }
      if (read == 0) return true;
      EXPECT_LE(read, chunk);
      body.append(buffer, 0, read);
    }
  }

  kipotest::TestHost host_;
  LoopbackServer server_;
  HINTERNET session_ = nullptr;
};

TEST_F(WinInetTest, StatusLengthAndBodyPerReply) {
  ASSERT_NE(session_, nullptr) << GetLastError();
  struct Case {
    const char* path;
    DWORD status;
    DWORD length;  // kSentinel: no Content-Length header
    const char* body;
  } cases[] = {
      {"/hello.txt", 200, 9, "1 2 3 4\r\n"},
      {"/missing", 404, 12, "no such file"},        // an error status still opens the URL
      {"/chunked", 200, kSentinel, "hello"},        // no announced length
      {"/to-hello", 200, 9, "1 2 3 4\r\n"},          // a redirect on the same server is followed
      {"/percent", 200, 8, "%s%n%x%x"},              // server text is data, never a format
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    HINTERNET file = InternetOpenUrlW(session_, url(c.path).c_str(), nullptr, 0,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_TRANSFER_BINARY,
                                      1);
    ASSERT_NE(file, nullptr) << GetLastError();
    DWORD status = kSentinel, size = sizeof status;
    ASSERT_TRUE(HttpQueryInfoW(file, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(size, sizeof(DWORD));
    DWORD length = kSentinel;
    size = sizeof length;
    BOOL hasLength = HttpQueryInfoW(file, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr);
    if (c.length == kSentinel) {
      EXPECT_FALSE(hasLength);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND));
      EXPECT_EQ(length, kSentinel) << "left unchanged";
    } else {
      EXPECT_TRUE(hasLength);
      EXPECT_EQ(length, c.length);
    }
    std::string body;
    DWORD error = 0;
    EXPECT_TRUE(readAll(file, body, error)) << error;
    EXPECT_EQ(body, c.body);
    DWORD read = kSentinel;
    char byte = 0;
    EXPECT_TRUE(InternetReadFile(file, &byte, 1, &read)) << "reads past the end keep succeeding";
    EXPECT_EQ(read, 0u);
    EXPECT_TRUE(InternetCloseHandle(file));
  }
}

TEST_F(WinInetTest, QueryInfoAsTextFollowsTheBufferRules) {
  HINTERNET file = InternetOpenUrlW(session_, url("/hello.txt").c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_ASCII, 1);
  ASSERT_NE(file, nullptr) << GetLastError();
  char16_t text[32];
  std::fill(std::begin(text), std::end(text), u'\xbdbd');
  DWORD size = 3 * sizeof(char16_t);  // "200" needs 4 characters with its NUL
  EXPECT_FALSE(HttpQueryInfoW(file, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 4 * sizeof(char16_t)) << "the size needed, with the NUL";
  EXPECT_EQ(text[0], u'\xbdbd') << "a short buffer is left untouched";
  EXPECT_TRUE(HttpQueryInfoW(file, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
  EXPECT_EQ(std::u16string(text), u"200");
  EXPECT_EQ(size, 3 * sizeof(char16_t)) << "the size without the NUL";
  EXPECT_EQ(text[4], u'\xbdbd');
  size = sizeof text;
  EXPECT_TRUE(HttpQueryInfoW(file, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
  EXPECT_EQ(std::u16string(text), u"9");
  DWORD index = 0;
  size = sizeof text;
  EXPECT_TRUE(HttpQueryInfoW(file, HTTP_QUERY_CONTENT_TYPE, text, &size, &index));
  EXPECT_EQ(std::u16string(text), u"text/plain");
  EXPECT_EQ(index, 1u);
  size = sizeof text;
  SetLastError(kSentinel);
  EXPECT_FALSE(HttpQueryInfoW(file, HTTP_QUERY_CONTENT_LENGTH | 0x80000000 /* request headers */, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED)) << "never the reply's header instead";
  DWORD available = kSentinel;
  EXPECT_TRUE(InternetQueryDataAvailable(file, &available, 0, 0));
  EXPECT_EQ(available, 9u);
  InternetCloseHandle(file);

  // A status text full of format directives comes back as it was sent.
  file = InternetOpenUrlW(session_, url("/percent").c_str(), nullptr, 0, 0, 1);
  ASSERT_NE(file, nullptr);
  size = sizeof text;
  EXPECT_TRUE(HttpQueryInfoW(file, HTTP_QUERY_STATUS_TEXT, text, &size, nullptr));
  EXPECT_EQ(std::u16string(text), u"%s%n%s%n");
  InternetCloseHandle(file);
}

TEST_F(WinInetTest, OpenErrorsTable) {
  ASSERT_NE(session_, nullptr);
  // A port nothing listens on: bind one, note it, close it.
  unsigned deadPort = 0;
  {
    LoopbackServer gone([](const HttpRequest&, const LoopbackServer::Send&) {});
    deadPort = gone.port();
  }
  struct Case {
    std::u16string url;
    DWORD error;
  } cases[] = {
      {url("/hello.txt", "nowhere.test"), ERROR_INTERNET_NAME_NOT_RESOLVED},  // not in the host's table
      {url("/x", "far.test"), ERROR_INTERNET_CANNOT_CONNECT},             // never leaves the loopback network
      {url("/to-far"), ERROR_INTERNET_CANNOT_CONNECT},                    // nor by a redirect
      {url("/to-unlisted"), ERROR_INTERNET_NAME_NOT_RESOLVED},
      {platform::text::fromUtf8("http://files.test:" + std::to_string(deadPort) + "/"), ERROR_INTERNET_CANNOT_CONNECT},
      {u"ftp://files.test/x", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {u"files.test/x", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {u"http://files.test:99999/", ERROR_INTERNET_INVALID_URL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::text::toUtf8(c.url));
    SetLastError(kSentinel);
    EXPECT_EQ(InternetOpenUrlW(session_, c.url.c_str(), nullptr, 0, 0, 1), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  SetLastError(kSentinel);
  EXPECT_EQ(InternetOpenUrlW(reinterpret_cast<HINTERNET>(0x1234), url("/").c_str(), nullptr, 0, 0, 1), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(InternetCloseHandle(reinterpret_cast<HINTERNET>(0x1234)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(WinInetTest, ReplyShorterThanAnnouncedIsAnError) {
  HINTERNET file = InternetOpenUrlW(session_, url("/cut").c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_BINARY, 1);
  ASSERT_NE(file, nullptr) << GetLastError();
  std::string body;
  DWORD error = 0;
  EXPECT_FALSE(readAll(file, body, error, 64));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET));
  EXPECT_EQ(body, std::string(100, 'x')) << "the bytes that came are still read first";
  InternetCloseHandle(file);

  // One read asking for the whole announced length fails too, rather than returning 100 bytes.
  file = InternetOpenUrlW(session_, url("/cut").c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_BINARY, 1);
  ASSERT_NE(file, nullptr);
  std::string buffer(1000, '\0');
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(file, buffer.data(), 1000, &read));
  EXPECT_EQ(read, 100u);
  EXPECT_FALSE(InternetReadFile(file, buffer.data(), 1000, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET));
  InternetCloseHandle(file);
}

TEST_F(WinInetTest, CloseFromAnotherThreadEndsABlockedRead) {
  HINTERNET file = InternetOpenUrlW(session_, url("/slow").c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_BINARY, 1);
  ASSERT_NE(file, nullptr) << GetLastError();
  BOOL ok = TRUE;
  DWORD error = 0, read = kSentinel;
  auto started = std::chrono::steady_clock::now();
  std::thread reader([&] {
    char buffer[100];
    ok = InternetReadFile(file, buffer, sizeof buffer, &read);  // 10 bytes come, then nothing
    error = GetLastError();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(InternetCloseHandle(file));
  reader.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  EXPECT_EQ(read, 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  DWORD after = 0;
  char byte;
  EXPECT_FALSE(InternetReadFile(file, &byte, 1, &after));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(WinInetTest, ClosingTheSessionClosesItsFiles) {
  HINTERNET file = InternetOpenUrlW(session_, url("/hello.txt").c_str(), nullptr, 0, 0, 1);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(InternetCloseHandle(session_));
  session_ = nullptr;
  DWORD read = 0;
  char buffer[16];
  EXPECT_FALSE(InternetReadFile(file, buffer, sizeof buffer, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(WinInetTest, WorkerThreadsFetchAtOnce) {
  std::vector<std::thread> workers;
  std::atomic<int> good{0};
  for (int i = 0; i < 4; ++i) {
    workers.emplace_back([&] {
      HINTERNET session = InternetOpenW(u"worker", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
      for (int n = 0; n < 5 && session; ++n) {
        HINTERNET file = InternetOpenUrlW(session, url("/hello.txt").c_str(), nullptr, 0, 0, 1);
        std::string body;
        DWORD error = 0;
        if (file && readAll(file, body, error) && body == "1 2 3 4\r\n") ++good;
        if (file) InternetCloseHandle(file);
      }
      if (session) InternetCloseHandle(session);
    });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(good.load(), 20);
}

TEST_F(WinInetTest, FaultPointsFailTheCalls) {
  kipotest::failCall("InternetOpenUrlW", ERROR_INTERNET_TIMEOUT, u"http://files.test", 1, 1);
  EXPECT_EQ(InternetOpenUrlW(session_, url("/hello.txt").c_str(), nullptr, 0, 0, 1), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
  EXPECT_EQ(server_.requests(), 0) << "nothing was sent";
  kipotest::failCall("InternetReadFile", ERROR_INTERNET_CONNECTION_ABORTED, {}, 1, 1);
  HINTERNET file = InternetOpenUrlW(session_, url("/hello.txt").c_str(), nullptr, 0, 0, 1);
  ASSERT_NE(file, nullptr);
  char buffer[16];
  DWORD read = kSentinel;
  EXPECT_FALSE(InternetReadFile(file, buffer, sizeof buffer, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(InternetReadFile(file, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 9u);
  InternetCloseHandle(file);
  platform::fault::clearLocal();
}

// HTTPS: a test authority made with the openssl tool, trusted through the host's roots.
class WinInetHttpsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new std::filesystem::path(kipotest::freshTempDir("tls"));
    std::string f = folder_->string();
    std::string script =
        "cd '" + f + "' && "
        "printf 'subjectAltName=DNS:secure.test\\n' > ext.cnf && "
        "for ca in root rogue; do openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-keyout $ca.key -out $ca.pem -days 2 -subj \"/CN=Test $ca\" "
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null && "
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout $ca-server.key "
        "-out $ca-server.csr -subj /CN=secure.test 2>/dev/null && "
        "openssl x509 -req -in $ca-server.csr -CA $ca.pem -CAkey $ca.key -CAcreateserial -days 2 "
        "-extfile ext.cnf -out $ca-server.pem 2>/dev/null || exit 1; done";
    ASSERT_EQ(std::system(script.c_str()), 0);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }

  static std::string file(const std::string& name) { return (*folder_ / name).string(); }
  static std::string read(const std::string& name) {
    std::ifstream in(file(name));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  WinInetHttpsTest() {
    platform::net::addServer({u"secure.test", "127.0.0.1"});
    platform::net::addServer({u"alias.test", "127.0.0.1"});
    platform::net::addTrustedRoot(read("root.pem"));
  }

  // The product's HTTPS POST: a connection, a request with its flags, a form body, and the
  // reply read in chunks of 1,023 bytes. The status, or 0 with `error` set by the failing call.
  DWORD post(unsigned port, const char16_t* server, DWORD flags, std::string& reply, DWORD& error) {
    HINTERNET session = InternetOpenW(u"Kipo", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectW(session, server, static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request =
        HttpOpenRequestW(connection, u"POST", u"/ccprocess/Update.php", nullptr, u"", nullptr, flags, 0);
    DWORD status = 0;
    std::string body = "name=a+b&count=3";
    if (!request || !HttpSendRequestW(request, u"Content-Type:application/x-www-form-urlencoded",
                                      static_cast<DWORD>(-1), body.data(), static_cast<DWORD>(body.size()))) {
      error = GetLastError();
    } else {
      DWORD size = sizeof status;
      HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
      char chunk[1023];
      DWORD read = 0;
      while (InternetReadFile(request, chunk, sizeof chunk, &read) && read > 0) reply.append(chunk, read);
    }
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (session) InternetCloseHandle(session);
    return status;
  }

  static void checkForm(const HttpRequest& request, const LoopbackServer::Send& send) {
    bool good = request.method == "POST" && request.path == "/ccprocess/Update.php" &&
                request.header("Content-Type") == "application/x-www-form-urlencoded" &&
                request.body == "name=a+b&count=3";
    send(good ? kipotest::httpReply(200, "OK", "<result>1</result>") : kipotest::httpReply(400, "Bad", "bad form"));
  }

  static std::filesystem::path* folder_;
  kipotest::TestHost host_;
};

std::filesystem::path* WinInetHttpsTest::folder_ = nullptr;

constexpr DWORD kProductFlags = 0x84C01000;  // reload, no cache write, secure, keep connection, ignore name

TEST_F(WinInetHttpsTest, PostReachesTheServerIntact) {
  LoopbackServer server(&checkForm, file("root-server.pem"), file("root-server.key"));
  std::string reply;
  DWORD error = 0;
  EXPECT_EQ(post(server.port(), u"secure.test", kProductFlags, reply, error), 200u) << error;
  EXPECT_EQ(reply, "<result>1</result>");
}

TEST_F(WinInetHttpsTest, CertificateTable) {
  LoopbackServer trusted(&checkForm, file("root-server.pem"), file("root-server.key"));
  LoopbackServer rogue(&checkForm, file("rogue-server.pem"), file("rogue-server.key"));
  constexpr DWORD kStrict = INTERNET_FLAG_SECURE | INTERNET_FLAG_RELOAD;
  struct Case {
    const char* what;
    unsigned port;
    const char16_t* server;
    DWORD flags;
    DWORD status;
    DWORD error;
  } cases[] = {
      {"trusted, name matches", trusted.port(), u"secure.test", kStrict, 200, 0},
      {"trusted, other name", trusted.port(), u"alias.test", kStrict, 0, ERROR_INTERNET_SEC_CERT_CN_INVALID},
      {"trusted, other name ignored", trusted.port(), u"alias.test", kStrict | INTERNET_FLAG_IGNORE_CERT_CN_INVALID,
       200, 0},
      {"untrusted root", rogue.port(), u"secure.test", kStrict, 0, ERROR_INTERNET_INVALID_CA},
      {"untrusted root, name ignored", rogue.port(), u"secure.test", kProductFlags, 0, ERROR_INTERNET_INVALID_CA},
      {"unlisted name", trusted.port(), u"nowhere.test", kProductFlags, 0, ERROR_INTERNET_NAME_NOT_RESOLVED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string reply;
    DWORD error = 0;
    EXPECT_EQ(post(c.port, c.server, c.flags, reply, error), c.status);
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(WinInetHttpsTest, ServerHangingUpOnALongBodyIsAnErrorNotACrash) {
  // The server answers after 64 KiB and closes while the client still writes: the write fails
  // (under TLS through write(), which raises SIGPIPE) and the call must report it, not die.
  LoopbackServer server([](const HttpRequest&, const LoopbackServer::Send& send) {
    send(kipotest::httpReply(413, "Too Large", "no"));
  }, file("root-server.pem"), file("root-server.key"));
  HINTERNET session = InternetOpenW(u"Kipo", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connection = InternetConnectW(session, u"secure.test", static_cast<INTERNET_PORT>(server.port()),
                                          nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  for (int round = 0; round < 2; ++round) {
    HINTERNET request = HttpOpenRequestW(connection, u"POST", u"/upload", nullptr, nullptr, nullptr,
                                         INTERNET_FLAG_SECURE | INTERNET_FLAG_RELOAD, 0);
    std::string body(2 << 20, 'b');
    if (HttpSendRequestW(request, nullptr, 0, body.data(), static_cast<DWORD>(body.size()))) {
      DWORD status = 0, size = sizeof status;
      EXPECT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
      EXPECT_EQ(status, 413u);
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET));
    }
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
}

TEST_F(WinInetHttpsTest, NoRootsTrustsNothing) {
  kipotest::TestHost fresh;  // a host whose list of roots is empty
  platform::net::addServer({u"secure.test", "127.0.0.1"});
  LoopbackServer server(&checkForm, file("root-server.pem"), file("root-server.key"));
  std::string reply;
  DWORD error = 0;
  EXPECT_EQ(post(server.port(), u"secure.test", kProductFlags, reply, error), 0u);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_INVALID_CA));
}

}  // namespace
