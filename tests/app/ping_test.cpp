// One ICMP echo through the product's ping: a name resolved in a process that never started
// Winsock itself, answers filled in only when they came, and the library bound once.
#include "app/ping.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/base/clock.h"
#include "platform/net/servers.h"
#include "tests/support/test_host.h"

namespace {

namespace net = platform::net;

DWORD ipv4(const char* text) {
  std::vector<unsigned char> bytes = net::addressBytes(text);
  DWORD address = 0;
  std::memcpy(&address, bytes.data(), 4);
  return address;
}

TEST(Ping, AnswersFillTheReplyAndSilenceLeavesItAlone) {
  kipotest::TestHost host;
  platform::clock::VirtualClock clock;
  net::addServer({u"mail.corp", "10.1.2.3", true, 20});
  net::addServer({u"slow.corp", "10.1.2.4", true, 900});
  net::addServer({u"down.corp", "10.1.2.5", false, 1});
  // Nothing in this test program calls WSAStartup: the ping must start Winsock before its lookup.
  struct Case {
    const char16_t* host;
    DWORD timeoutMs;
    bool answered;
    const char* address;
    DWORD roundTripMs;
  };
  const Case cases[] = {
      {u"mail.corp", 500, true, "10.1.2.3", 20},
      {u"MAIL.CORP", 500, true, "10.1.2.3", 20},
      {u"127.0.0.1", 500, true, "127.0.0.1", 0},
      {u"slow.corp", 500, false, nullptr, 0},
      {u"down.corp", 500, false, nullptr, 0},
      {u"unlisted.corp", 500, false, nullptr, 0},
      {u"", 500, false, nullptr, 0},
  };
  CPing ping;
  for (const Case& c : cases) {
    PingReply reply;
    reply.address = 0xDEADBEEF;
    reply.roundTripMs = 0xDEADBEEF;
    reply.status = 0xDEADBEEF;
    EXPECT_EQ(ping.ping(CString(c.host), reply, c.timeoutMs), c.answered);
    if (c.answered) {
      EXPECT_EQ(reply.address, ipv4(c.address));
      EXPECT_EQ(reply.roundTripMs, c.roundTripMs);
      EXPECT_EQ(reply.status, 0u);
    } else {
      EXPECT_EQ(reply.address, 0xDEADBEEFu) << "untouched without an answer";
      EXPECT_EQ(reply.status, 0xDEADBEEFu);
    }
  }
  EXPECT_TRUE(CPing::isLibraryBound());
}

}  // namespace
