// The framework's Internet classes against a loopback server: a URL opened through a session,
// the reply's status and length, and failures arriving as CInternetException.
#include "platform/afx/inet.h"

#include <gtest/gtest.h>

#include <memory>

#include "loopback_server.h"
#include "platform/base/text.h"
#include "platform/net/servers.h"
#include "platform/win32/error.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::HttpRequest;
using kipotest::LoopbackServer;

void serve(const HttpRequest& request, const LoopbackServer::Send& send) {
  if (request.path.rfind("/update.txt", 0) == 0) {
    send(kipotest::httpReply(200, "OK", "2 0 0 0\r\nsecond line"));
  } else if (request.path == "/Kipo.exe") {
    // An installer cut short: 20,480 bytes announced, 10,240 sent.
    send("HTTP/1.1 200 OK\r\nContent-Length: 20480\r\nConnection: close\r\n\r\n" + std::string(10240, 'M'));
  } else {
    send(kipotest::httpReply(404, "Not Found", "gone"));
  }
}

class InternetSessionTest : public ::testing::Test {
 protected:
  InternetSessionTest() : server_(&serve) { platform::net::addServer({u"update.test", "127.0.0.1"}); }

  CString url(const std::string& path) const {
    return CString(platform::text::fromUtf8("http://update.test:" + std::to_string(server_.port()) + path).c_str());
  }

  // Runs `call`, which must throw a CInternetException; its error and context.
  template <class Call>
  static std::pair<DWORD, DWORD_PTR> internetError(Call call) {
    try {
      call();
    } catch (CInternetException* e) {
      std::pair<DWORD, DWORD_PTR> result{e->m_dwError, e->m_dwContext};
      e->Delete();
      return result;
    }
    ADD_FAILURE() << "no CInternetException";
    return {0, 0};
  }

  kipotest::TestHost host_;
  LoopbackServer server_;
};

TEST_F(InternetSessionTest, OpenUrlGivesAnHttpFileWithStatusAndBody) {
  CInternetSession session(u"Kipo");
  std::unique_ptr<CStdioFile> file(
      session.OpenURL(url("/update.txt?cacheBreak=0000002A"), 1, INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_RELOAD));
  auto* http = dynamic_cast<CHttpFile*>(file.get());
  ASSERT_NE(http, nullptr);
  DWORD status = 0;
  EXPECT_TRUE(http->QueryInfoStatusCode(status));
  EXPECT_EQ(status, 200u);
  CString length;
  EXPECT_TRUE(http->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length));
  EXPECT_EQ(length, CString(u"20"));
  EXPECT_EQ(http->GetLength(), 20u) << "what can be read now: the whole small reply";
  CString line;
  EXPECT_TRUE(http->ReadString(line));
  EXPECT_EQ(line, CString(u"2 0 0 0"));
  EXPECT_TRUE(http->ReadString(line));
  EXPECT_EQ(line, CString(u"second line"));
  EXPECT_FALSE(http->ReadString(line));
  EXPECT_EQ(http->GetLength(), 0u);
  http->Close();
}

TEST_F(InternetSessionTest, AnErrorStatusStillOpens) {
  CInternetSession session;
  std::unique_ptr<CStdioFile> file(session.OpenURL(url("/missing")));
  DWORD status = 0;
  EXPECT_TRUE(static_cast<CHttpFile*>(file.get())->QueryInfoStatusCode(status));
  EXPECT_EQ(status, 404u);
}

TEST_F(InternetSessionTest, FailuresThrowInternetExceptions) {
  CInternetSession session(u"Kipo", 1);
  auto [openError, openContext] = internetError([&] {
    delete session.OpenURL(u"http://unlisted.test/update.txt", 7, INTERNET_FLAG_TRANSFER_ASCII);
  });
  EXPECT_EQ(openError, static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
  EXPECT_EQ(openContext, 7u);

  // The installer download: chunks of 10,240 bytes until the reply is cut short.
  std::unique_ptr<CStdioFile> file(session.OpenURL(url("/Kipo.exe"), 1, INTERNET_FLAG_TRANSFER_BINARY));
  std::string chunk(10240, '\0');
  EXPECT_EQ(file->Read(chunk.data(), 10240), 10240u);
  auto [readError, readContext] = internetError([&] { file->Read(chunk.data(), 10240); });
  EXPECT_EQ(readError, static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET));
  EXPECT_EQ(readContext, 1u);

  CInternetException exception(ERROR_INTERNET_NAME_NOT_RESOLVED);
  WCHAR text[80];
  EXPECT_TRUE(exception.GetErrorMessage(text, 80));
  EXPECT_EQ(std::u16string(text), u"The server name or address could not be resolved");
}

}  // namespace
