// Winsock-shaped start-up and name lookup: numeric addresses resolve alone, names only through
// the host's server table, and the errors come as Winsock gives them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/net/servers.h"
#include "platform/net/winsock.h"
#include "platform/win32/error.h"
#include "tests/support/faults.h"
#include "tests/support/test_host.h"

namespace {

namespace net = platform::net;

// The IPv4 or IPv6 address of a result as text, "-" for another family.
std::string addressText(const sockaddr* a) {
  char text[64] = "-";
  if (a->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(a);
    const UCHAR* b = &in->sin_addr.S_un.S_un_b.s_b1;
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", b[0], b[1], b[2], b[3], ntohs(in->sin_port));
  } else if (a->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a);
    std::string t;
    for (int i = 0; i < 16; i += 2) {
      char part[8];
      std::snprintf(part, sizeof part, "%s%x", i ? ":" : "", (in6->sin6_addr.u.Byte[i] << 8) | in6->sin6_addr.u.Byte[i + 1]);
      t += part;
    }
    std::snprintf(text, sizeof text, "[%s]:%u", t.c_str(), ntohs(in6->sin6_port));
  }
  return text;
}

class Winsock : public ::testing::Test {
 protected:
  void SetUp() override {
    net::addServer({u"Exchange.Corp", "10.1.2.3", true, 20});
    net::addServer({u"v6only.corp", "2001:db8::5", true, 1});
  }
  kipotest::TestHost host_;
};

TEST_F(Winsock, StartupVersionsAndCounting) {
  struct Case {
    WORD requested;
    int result;
    WORD version;
  } const cases[] = {
      {MAKEWORD(2, 2), 0, MAKEWORD(2, 2)},
      {MAKEWORD(1, 1), 0, MAKEWORD(1, 1)},
      {MAKEWORD(2, 0), 0, MAKEWORD(2, 0)},
      {MAKEWORD(3, 0), 0, MAKEWORD(2, 2)},
      {MAKEWORD(2, 9), 0, MAKEWORD(2, 2)},
      {MAKEWORD(0, 9), WSAVERNOTSUPPORTED, MAKEWORD(0, 9)},
  };
  int started = 0;
  for (const auto& c : cases) {
    WSADATA data;
    std::memset(&data, 0xCD, sizeof data);
    EXPECT_EQ(WSAStartup(c.requested, &data), c.result) << std::hex << c.requested;
    EXPECT_EQ(data.wVersion, c.version) << std::hex << c.requested;
    EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
    EXPECT_STREQ(data.szSystemStatus, "Running");
    if (c.result == 0) ++started;
  }
  EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), nullptr), WSAEFAULT);
  // Each successful start-up needs its clean-up; one more fails.
  for (int i = 0; i < started; ++i) EXPECT_EQ(WSACleanup(), 0) << i;
  SetLastError(0);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST_F(Winsock, LookupBeforeStartupAndAfterCleanupFails) {
  PADDRINFOA result = reinterpret_cast<PADDRINFOA>(0x1);
  EXPECT_EQ(getaddrinfo("10.0.0.1", nullptr, nullptr, &result), WSANOTINITIALISED);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  ASSERT_EQ(getaddrinfo("10.0.0.1", nullptr, nullptr, &result), 0);
  freeaddrinfo(result);
  ASSERT_EQ(WSACleanup(), 0);
  PADDRINFOW wide = nullptr;
  EXPECT_EQ(GetAddrInfoW(u"10.0.0.1", nullptr, nullptr, &wide), WSANOTINITIALISED);
  EXPECT_EQ(wide, nullptr);
}

TEST_F(Winsock, ResolvesFromTheTableAndNumericAddressesAlone) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  struct Case {
    const char* node;
    const char* service;
    int flags, family, socktype;
    int result;
    std::string address;  // of the single result
    const char* canon;    // with AI_CANONNAME
  } const cases[] = {
      {"exchange.corp", nullptr, 0, AF_INET, SOCK_STREAM, 0, "10.1.2.3:0", nullptr},
      {"EXCHANGE.CORP", "80", AI_CANONNAME, AF_UNSPEC, 0, 0, "10.1.2.3:80", "Exchange.Corp"},
      {"exchange.corp", "https", 0, AF_UNSPEC, 0, 0, "10.1.2.3:443", nullptr},
      {"v6only.corp", nullptr, 0, AF_UNSPEC, 0, 0, "[2001:db8:0:0:0:0:0:5]:0", nullptr},
      {"192.0.2.7", "25", AI_CANONNAME, AF_INET, SOCK_STREAM, 0, "192.0.2.7:25", "192.0.2.7"},
      {"::1", nullptr, AI_NUMERICHOST, AF_UNSPEC, 0, 0, "[0:0:0:0:0:0:0:1]:0", nullptr},
      {nullptr, "8080", 0, AF_INET, 0, 0, "127.0.0.1:8080", nullptr},
      {nullptr, "8080", AI_PASSIVE, AF_INET, 0, 0, "0.0.0.0:8080", nullptr},
      {nullptr, "21", AI_PASSIVE, AF_INET6, 0, 0, "[0:0:0:0:0:0:0:0]:21", nullptr},
      // Nothing outside the table resolves, not even the host's own names.
      {"www.example.com", nullptr, 0, AF_INET, SOCK_STREAM, WSAHOST_NOT_FOUND, "", nullptr},
      {"localhost", nullptr, 0, AF_UNSPEC, 0, WSAHOST_NOT_FOUND, "", nullptr},
      {"exchange.corp", nullptr, AI_NUMERICHOST, AF_UNSPEC, 0, WSAHOST_NOT_FOUND, "", nullptr},
      {"v6only.corp", nullptr, 0, AF_INET, SOCK_STREAM, WSAHOST_NOT_FOUND, "", nullptr},
      {"10.0.0.1", nullptr, 0, AF_INET6, 0, WSAHOST_NOT_FOUND, "", nullptr},
      {"", nullptr, 0, AF_UNSPEC, 0, WSAHOST_NOT_FOUND, "", nullptr},
      {nullptr, nullptr, 0, AF_UNSPEC, 0, WSAHOST_NOT_FOUND, "", nullptr},
      {"exchange.corp", "gopherish", 0, AF_UNSPEC, 0, WSATYPE_NOT_FOUND, "", nullptr},
      {"exchange.corp", "65536", 0, AF_UNSPEC, 0, WSATYPE_NOT_FOUND, "", nullptr},
      {"exchange.corp", nullptr, 0, 17, 0, WSAEAFNOSUPPORT, "", nullptr},
      {"exchange.corp", nullptr, 0, AF_INET, 9, WSAESOCKTNOSUPPORT, "", nullptr},
      {"exchange.corp", nullptr, 0x100000, AF_INET, 0, WSAEINVAL, "", nullptr},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.node ? c.node : "(null)") + " " + (c.service ? c.service : "(null)");
    ADDRINFOA hints{};
    hints.ai_flags = c.flags;
    hints.ai_family = c.family;
    hints.ai_socktype = c.socktype;
    hints.ai_protocol = c.socktype == SOCK_STREAM ? IPPROTO_TCP : 0;
    PADDRINFOA result = reinterpret_cast<PADDRINFOA>(0x1);
    SetLastError(0xBEEF);
    int rc = getaddrinfo(c.node, c.service, &hints, &result);
    EXPECT_EQ(rc, c.result) << what;
    EXPECT_EQ(WSAGetLastError(), c.result) << what;
    if (rc != 0) {
      EXPECT_EQ(result, nullptr) << what;
      continue;
    }
    ASSERT_NE(result, nullptr) << what;
    EXPECT_EQ(result->ai_next, nullptr) << what;
    EXPECT_EQ(addressText(result->ai_addr), c.address) << what;
    EXPECT_EQ(result->ai_addrlen, result->ai_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6)) << what;
    EXPECT_EQ(result->ai_socktype, c.socktype) << what;
    EXPECT_EQ(result->ai_protocol, hints.ai_protocol) << what;
    if (c.canon) {
      ASSERT_NE(result->ai_canonname, nullptr) << what;
      EXPECT_STREQ(result->ai_canonname, c.canon) << what;
    } else {
      EXPECT_EQ(result->ai_canonname, nullptr) << what;
    }
    freeaddrinfo(result);
  }
  // Hints may carry nothing but flags, family, type and protocol.
  ADDRINFOA dirty{};
  dirty.ai_addrlen = 16;
  PADDRINFOA result = nullptr;
  EXPECT_EQ(getaddrinfo("exchange.corp", nullptr, &dirty, &result), WSANO_RECOVERY);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(WSACleanup(), 0);
}

TEST_F(Winsock, WideLookupAndAnEntryAddedByAnotherProcess) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  PADDRINFOW result = nullptr;
  EXPECT_EQ(GetAddrInfoW(u"late.corp", nullptr, nullptr, &result), WSAHOST_NOT_FOUND);
  ASSERT_EQ(kipotest::runTool({"net", "add", "Late.Corp", "--address", "10.9.9.9"}), 0);
  ADDRINFOW hints{};
  hints.ai_flags = AI_CANONNAME;
  ASSERT_EQ(GetAddrInfoW(u"late.corp", u"110", &hints, &result), 0);
  EXPECT_EQ(addressText(result->ai_addr), "10.9.9.9:110");
  EXPECT_EQ(std::u16string(result->ai_canonname), u"Late.Corp");
  FreeAddrInfoW(result);
  // Resolution works from another thread of the process as well.
  int threadResult = -1;
  std::thread([&] {
    PADDRINFOA r = nullptr;
    threadResult = getaddrinfo("late.corp", nullptr, nullptr, &r);
    freeaddrinfo(r);
  }).join();
  EXPECT_EQ(threadResult, 0);
  EXPECT_EQ(WSACleanup(), 0);
}

TEST_F(Winsock, FaultPointsFailTheCallsWithTheirCode) {
  WSADATA data;
  kipotest::failCall("WSAStartup", WSASYSNOTREADY, {}, 1, 1);
  EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), WSASYSNOTREADY);
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  kipotest::failCall("getaddrinfo", WSATRY_AGAIN, u"EXCHANGE", 1, 1);
  PADDRINFOA result = nullptr;
  EXPECT_EQ(getaddrinfo("other.corp", nullptr, nullptr, &result), WSAHOST_NOT_FOUND) << "another subject";
  EXPECT_EQ(getaddrinfo("exchange.corp", nullptr, nullptr, &result), WSATRY_AGAIN);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(getaddrinfo("exchange.corp", nullptr, nullptr, &result), 0) << "spent after one call";
  freeaddrinfo(result);
  kipotest::failCall("GetAddrInfoW", WSATRY_AGAIN);
  PADDRINFOW wide = nullptr;
  EXPECT_EQ(GetAddrInfoW(u"10.0.0.1", nullptr, nullptr, &wide), WSATRY_AGAIN);
  EXPECT_EQ(WSAGetLastError(), WSATRY_AGAIN);
  platform::fault::clearLocal();
  EXPECT_EQ(WSACleanup(), 0);
}

}  // namespace
