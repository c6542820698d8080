// The built-in "ICMP.DLL", bound by name as programs bind it, answering echoes from the host's
// server table: a reachable server after its round-trip time, an unreachable or slow one with a
// time-out after the caller's wait, an unknown address at once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/clock.h"
#include "platform/net/icmp.h"
#include "platform/net/servers.h"
#include "platform/net/winsock.h"
#include "platform/win32/error.h"
#include "platform/win32/module.h"
#include "tests/support/faults.h"
#include "tests/support/test_host.h"

namespace {

namespace net = platform::net;

using CreateFn = HANDLE (*)();
using SendFn = DWORD (*)(HANDLE, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
using CloseFn = BOOL (*)(HANDLE);

struct Icmp {
  HMODULE module = LoadLibraryA("ICMP.DLL");
  CreateFn create = reinterpret_cast<CreateFn>(GetProcAddress(module, "IcmpCreateFile"));
  SendFn send = reinterpret_cast<SendFn>(GetProcAddress(module, "IcmpSendEcho"));
  CloseFn close = reinterpret_cast<CloseFn>(GetProcAddress(module, "IcmpCloseHandle"));
  ~Icmp() {
    if (module) FreeLibrary(module);
  }
};

IPAddr ipv4(const char* text) {
  std::vector<unsigned char> b = net::addressBytes(text);
  IPAddr a = 0;
  if (b.size() == 4) std::memcpy(&a, b.data(), 4);
  return a;
}

constexpr unsigned char kSentinel = 0xCD;

TEST(Icmp, EchoesAnswerFromTheServerTable) {
  kipotest::TestHost host;
  platform::clock::VirtualClock clock;
  net::addServer({u"exchange.corp", "10.1.2.3", true, 20});
  net::addServer({u"slow.corp", "10.1.2.4", true, 900});
  net::addServer({u"down.corp", "10.1.2.5", false, 1});
  Icmp icmp;
  ASSERT_TRUE(icmp.module && icmp.create && icmp.send && icmp.close);
  HANDLE h = icmp.create();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);

  struct Case {
    const char* address;
    DWORD timeout;
    DWORD replies;     // IcmpSendEcho's result
    DWORD error;       // last error when it fails
    ULONG rtt;         // round trip reported
    std::uint64_t waited;  // monotonic ms the call took
  } const cases[] = {
      {"10.1.2.3", 5000, 1, 0, 20, 20},
      {"10.1.2.4", 5000, 1, 0, 900, 900},
      {"10.1.2.4", 500, 0, IP_REQ_TIMED_OUT, 0, 500},  // slower than the wait
      {"10.1.2.5", 5000, 0, IP_REQ_TIMED_OUT, 0, 5000},
      {"10.9.9.9", 5000, 0, IP_DEST_HOST_UNREACHABLE, 0, 0},
      {"127.0.0.1", 1000, 1, 0, 0, 0},
  };
  unsigned char request[64];
  std::memset(request, 0xAA, sizeof request);
  for (const auto& c : cases) {
    // Room for the reply, 64 echoed bytes and a sentinel tail that must stay untouched.
    std::vector<unsigned char> buffer(sizeof(ICMP_ECHO_REPLY) + 64 + 16, kSentinel);
    const DWORD size = static_cast<DWORD>(buffer.size() - 16);
    SetLastError(0xBEEF);
    const std::uint64_t before = clock.nowMs();
    DWORD replies = icmp.send(h, ipv4(c.address), request, sizeof request, nullptr, buffer.data(), size, c.timeout);
    EXPECT_EQ(clock.nowMs() - before, c.waited) << c.address;
    EXPECT_EQ(replies, c.replies) << c.address;
    for (std::size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kSentinel) << c.address << " byte " << i;
    if (!replies) {
      EXPECT_EQ(GetLastError(), c.error) << c.address;
      for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(buffer[i], kSentinel) << c.address << ": buffer changed";
      continue;
    }
    const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(buffer.data());
    EXPECT_EQ(reply->Status, static_cast<ULONG>(IP_SUCCESS)) << c.address;
    EXPECT_EQ(reply->Address, ipv4(c.address)) << c.address;
    EXPECT_EQ(reply->RoundTripTime, c.rtt) << c.address;
    EXPECT_EQ(reply->DataSize, 64) << c.address;
    EXPECT_EQ(reply->Data, buffer.data() + sizeof(ICMP_ECHO_REPLY)) << c.address;
    EXPECT_EQ(std::memcmp(reply->Data, request, 64), 0) << c.address;
  }
  EXPECT_TRUE(icmp.close(h));
  EXPECT_FALSE(icmp.close(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Icmp, PingAsProgramsDoItByName) {
  // Resolve with getaddrinfo, echo 64 bytes into a 92-byte buffer: what fits of the data is
  // echoed.
  kipotest::TestHost host;
  platform::clock::VirtualClock clock;
  ASSERT_EQ(kipotest::runTool({"net", "add", "Exchange.Corp", "--address", "10.1.2.3", "--rtt", "35"}), 0);
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  ADDRINFOA hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  PADDRINFOA result = nullptr;
  ASSERT_EQ(getaddrinfo("exchange.corp", nullptr, &hints, &result), 0);
  const IPAddr address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(result);

  Icmp icmp;
  HANDLE h = icmp.create();
  unsigned char request[64];
  std::memset(request, 0xAA, sizeof request);
  unsigned char reply[92] = {};
  ASSERT_EQ(icmp.send(h, address, request, sizeof request, nullptr, reply, sizeof reply, 5000), 1u);
  const auto* r = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
  EXPECT_EQ(r->Status, static_cast<ULONG>(IP_SUCCESS));
  EXPECT_EQ(r->RoundTripTime, 35u);
  EXPECT_EQ(r->Address, ipv4("10.1.2.3"));
  EXPECT_EQ(r->DataSize, sizeof reply - sizeof(ICMP_ECHO_REPLY));
  EXPECT_TRUE(icmp.close(h));
  EXPECT_EQ(WSACleanup(), 0);
}

TEST(Icmp, BadArgumentsAndFaultPoints) {
  kipotest::TestHost host;
  platform::clock::VirtualClock clock;
  net::addServer({u"exchange.corp", "10.1.2.3", true, 5});
  Icmp icmp;
  HANDLE h = icmp.create();
  unsigned char request[8] = {};
  std::vector<unsigned char> buffer(sizeof(ICMP_ECHO_REPLY) + 64, kSentinel);
  const DWORD size = static_cast<DWORD>(buffer.size());
  const IPAddr to = ipv4("10.1.2.3");
  struct Case {
    const char* what;
    HANDLE handle;
    LPVOID data;
    LPVOID reply;
    DWORD replySize;
    DWORD error;
  } const cases[] = {
      {"closed handle", reinterpret_cast<HANDLE>(0x4444), request, buffer.data(), size, ERROR_INVALID_HANDLE},
      {"invalid handle", INVALID_HANDLE_VALUE, request, buffer.data(), size, ERROR_INVALID_HANDLE},
      {"no reply buffer", h, request, nullptr, size, ERROR_INVALID_PARAMETER},
      {"no request data", h, nullptr, buffer.data(), size, ERROR_INVALID_PARAMETER},
      {"no room for a reply", h, request, buffer.data(), sizeof(ICMP_ECHO_REPLY), IP_BUF_TOO_SMALL},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(icmp.send(c.handle, to, c.data, sizeof request, nullptr, c.reply, c.replySize, 1000), 0u) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
    for (unsigned char b : buffer) ASSERT_EQ(b, kSentinel) << c.what;
  }
  // A non-ICMP handle is not closed by IcmpCloseHandle.
  EXPECT_FALSE(icmp.close(reinterpret_cast<HANDLE>(0x4444)));

  kipotest::failCall("IcmpSendEcho", IP_GENERAL_FAILURE, u"10.1.2.3", 1, 1);
  EXPECT_EQ(icmp.send(h, to, request, sizeof request, nullptr, buffer.data(), size, 1000), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(IP_GENERAL_FAILURE));
  EXPECT_EQ(icmp.send(h, to, request, sizeof request, nullptr, buffer.data(), size, 1000), 1u) << "spent";
  kipotest::failCall("IcmpCreateFile", ERROR_NOT_ENOUGH_MEMORY, {}, 1, 1);
  EXPECT_EQ(icmp.create(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  platform::fault::clearLocal();
  EXPECT_TRUE(icmp.close(h));
}

}  // namespace
