// Winsock-shaped start-up and name lookup over the host's server table (see winsock.h).
#include "platform/net/winsock.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/net/servers.h"
#include "platform/win32/error.h"

namespace {

namespace net = platform::net;

const platform::fault::Points kWinsockPoints{"WSAStartup", "getaddrinfo", "GetAddrInfoW"};

std::atomic<int> startups{0};

constexpr WORD kHighestVersion = MAKEWORD(2, 2);
// Longest host name getaddrinfo takes, and so the longest canonical name it gives.
constexpr std::size_t kMaxName = 255;

// One result entry with its address and canonical name in the same allocation, so that the
// free walks the list and deletes one object per entry.
template <class Info, class Char>
struct Entry {
  Info info{};
  union {
    sockaddr_in v4;
    sockaddr_in6 v6;
  } addr{};
  Char canon[kMaxName + 1]{};
};

template <class Info, class Char>
void freeList(Info* head) {
  while (head) {
    Info* next = head->ai_next;
    // info is the first member of its entry, which is standard-layout.
    std::unique_ptr<Entry<Info, Char>> owner(reinterpret_cast<Entry<Info, Char>*>(head));
    head = next;
  }
}

struct Request {
  std::optional<std::string> node;  // UTF-8
  std::optional<std::string> service;
  int flags = 0, family = AF_UNSPEC, socktype = 0, protocol = 0;
};

struct Answer {
  std::vector<unsigned char> address;  // 4 or 16 bytes
  std::u16string canonicalName;
  USHORT port = 0;
};

// The well-known services a Windows host's services file names, for a service given by name.
std::optional<USHORT> servicePort(std::string_view service) {
  if (service.empty()) return USHORT{0};
  if (std::all_of(service.begin(), service.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    if (service.size() > 5) return std::nullopt;
    unsigned long port = std::stoul(std::string(service));
    if (port > 0xFFFF) return std::nullopt;
    return static_cast<USHORT>(port);
  }
  static constexpr std::pair<std::string_view, USHORT> kKnown[] = {
      {"echo", 7}, {"ftp", 21}, {"smtp", 25}, {"domain", 53}, {"http", 80}, {"pop3", 110}, {"nntp", 119},
      {"imap", 143}, {"ldap", 389}, {"https", 443},
  };
  for (const auto& [name, port] : kKnown)
    if (platform::text::equalNoCase(platform::text::fromUtf8(service), platform::text::fromUtf8(name))) return port;
  return std::nullopt;
}

// The lookup itself, shared by the narrow and wide forms: 0 and the answer, or the error code.
int lookUp(const Request& r, Answer& answer) {
  if (startups.load() <= 0) return WSANOTINITIALISED;
  if (r.family != AF_UNSPEC && r.family != AF_INET && r.family != AF_INET6) return WSAEAFNOSUPPORT;
  if (r.socktype != 0 && r.socktype != SOCK_STREAM && r.socktype != SOCK_DGRAM && r.socktype != SOCK_RAW)
    return WSAESOCKTNOSUPPORT;
  if (r.flags & ~(AI_PASSIVE | AI_CANONNAME | AI_NUMERICHOST)) return WSAEINVAL;
  if (!r.node && !r.service) return WSAHOST_NOT_FOUND;
  if ((r.flags & AI_CANONNAME) && !r.node) return WSAEINVAL;
  std::u16string node = r.node ? platform::text::fromUtf8(*r.node) : std::u16string();

  std::optional<USHORT> port = servicePort(r.service.value_or(""));
  if (!port) return WSATYPE_NOT_FOUND;
  answer.port = *port;

  if (!r.node) {
    // No name: this computer, as a listener (any address) or a client (loopback).
    bool passive = r.flags & AI_PASSIVE;
    if (r.family == AF_INET6) {
      answer.address.assign(16, 0);
      if (!passive) answer.address[15] = 1;
    } else {
      answer.address = passive ? std::vector<unsigned char>{0, 0, 0, 0} : std::vector<unsigned char>{127, 0, 0, 1};
    }
    return 0;
  }
  if (r.node->size() > kMaxName) return WSAHOST_NOT_FOUND;
  std::vector<unsigned char> bytes = net::addressBytes(*r.node);
  if (!bytes.empty()) {
    answer.canonicalName = node;
  } else {
    if (r.flags & AI_NUMERICHOST) return WSAHOST_NOT_FOUND;
    std::optional<net::Server> server = net::findServer(node);
    if (!server) return WSAHOST_NOT_FOUND;
    bytes = net::addressBytes(server->address);
    answer.canonicalName = server->name;
  }
  const int family = bytes.size() == 4 ? AF_INET : AF_INET6;
  if (r.family != AF_UNSPEC && r.family != family) return WSAHOST_NOT_FOUND;
  answer.address = std::move(bytes);
  return 0;
}

template <class Info, class Char>
Info* buildResult(const Request& r, const Answer& a) {
  auto entry = std::make_unique<Entry<Info, Char>>();
  Info& info = entry->info;
  info.ai_flags = 0;
  info.ai_socktype = r.socktype;
  info.ai_protocol = r.protocol;
  const USHORT port = htons(a.port);
  if (a.address.size() == 4) {
    info.ai_family = AF_INET;
    entry->addr.v4.sin_family = AF_INET;
    entry->addr.v4.sin_port = port;
    std::memcpy(&entry->addr.v4.sin_addr, a.address.data(), 4);
    info.ai_addrlen = sizeof(sockaddr_in);
  } else {
    info.ai_family = AF_INET6;
    entry->addr.v6.sin6_family = AF_INET6;
    entry->addr.v6.sin6_port = port;
    std::memcpy(&entry->addr.v6.sin6_addr, a.address.data(), 16);
    info.ai_addrlen = sizeof(sockaddr_in6);
  }
  info.ai_addr = reinterpret_cast<sockaddr*>(&entry->addr);
  if (r.flags & AI_CANONNAME) {
    if constexpr (sizeof(Char) == 1) {
      std::string name = platform::text::toUtf8(a.canonicalName).substr(0, kMaxName);
      std::copy(name.begin(), name.end(), entry->canon);
    } else {
      std::u16string name = a.canonicalName.substr(0, kMaxName);
      std::copy(name.begin(), name.end(), entry->canon);
    }
    info.ai_canonname = entry->canon;
  }
  return &entry.release()->info;
}

// Hints may set only flags, family, type and protocol.
template <class Info>
bool readHints(const Info* hints, Request& r) {
  if (!hints) return true;
  if (hints->ai_addrlen || hints->ai_canonname || hints->ai_addr || hints->ai_next) return false;
  r.flags = hints->ai_flags;
  r.family = hints->ai_family;
  r.socktype = hints->ai_socktype;
  r.protocol = hints->ai_protocol;
  return true;
}

template <class Info, class Char>
int finish(const Request& r, Info** result, int error, const Answer& answer) {
  if (error) {
    WSASetLastError(error);
    return error;
  }
  *result = buildResult<Info, Char>(r, answer);
  WSASetLastError(0);
  return 0;
}

}  // namespace

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  if (DWORD fault = platform::fault::check("WSAStartup")) return static_cast<int>(fault);
  if (!lpWSAData) return WSAEFAULT;
  const unsigned major = wVersionRequested & 0xFF, minor = wVersionRequested >> 8;
  std::memset(lpWSAData, 0, sizeof(WSADATA));
  lpWSAData->wHighVersion = kHighestVersion;
  const bool above = major > 2 || (major == 2 && minor > 2);
  lpWSAData->wVersion = above ? kHighestVersion : wVersionRequested;
  std::strcpy(lpWSAData->szDescription, "WinSock 2.0");
  std::strcpy(lpWSAData->szSystemStatus, "Running");
  if (major < 1) return WSAVERNOTSUPPORTED;
  ++startups;
  return 0;
}

int WSACleanup() {
  int count = startups.load();
  while (count > 0 && !startups.compare_exchange_weak(count, count - 1)) {
  }
  if (count <= 0) {
    WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }
void WSASetLastError(int iError) { SetLastError(static_cast<DWORD>(iError)); }

int getaddrinfo(PCSTR pNodeName, PCSTR pServiceName, const ADDRINFOA* pHints, PADDRINFOA* ppResult) {
  Request r;
  if (!ppResult) return finish<ADDRINFOA, char>(r, ppResult, WSA_NOT_ENOUGH_MEMORY, {});
  *ppResult = nullptr;
  if (!readHints(pHints, r)) return finish<ADDRINFOA, char>(r, ppResult, WSANO_RECOVERY, {});
  // Narrow names are in the ANSI code page.
  if (pNodeName) r.node = platform::text::toUtf8(platform::text::ansiToWide(pNodeName));
  if (pServiceName) r.service = platform::text::toUtf8(platform::text::ansiToWide(pServiceName));
  Answer answer;
  int error = startups.load() <= 0 ? WSANOTINITIALISED : 0;
  if (!error) error = static_cast<int>(platform::fault::check("getaddrinfo", platform::text::fromUtf8(r.node.value_or(""))));
  if (!error) error = lookUp(r, answer);
  return finish<ADDRINFOA, char>(r, ppResult, error, answer);
}

void freeaddrinfo(PADDRINFOA pAddrInfo) { freeList<ADDRINFOA, char>(pAddrInfo); }

int GetAddrInfoW(PCWSTR pNodeName, PCWSTR pServiceName, const ADDRINFOW* pHints, PADDRINFOW* ppResult) {
  Request r;
  if (!ppResult) return finish<ADDRINFOW, char16_t>(r, ppResult, WSA_NOT_ENOUGH_MEMORY, {});
  *ppResult = nullptr;
  if (!readHints(pHints, r)) return finish<ADDRINFOW, char16_t>(r, ppResult, WSANO_RECOVERY, {});
  if (pNodeName) r.node = platform::text::toUtf8(platform::text::view(pNodeName));
  if (pServiceName) r.service = platform::text::toUtf8(platform::text::view(pServiceName));
  Answer answer;
  int error = startups.load() <= 0 ? WSANOTINITIALISED : 0;
  if (!error) error = static_cast<int>(platform::fault::check("GetAddrInfoW", platform::text::view(pNodeName)));
  if (!error) error = lookUp(r, answer);
  return finish<ADDRINFOW, char16_t>(r, ppResult, error, answer);
}

void FreeAddrInfoW(PADDRINFOW pAddrInfo) { freeList<ADDRINFOW, char16_t>(pAddrInfo); }

USHORT htons(USHORT hostshort) { return static_cast<USHORT>((hostshort >> 8) | (hostshort << 8)); }
USHORT ntohs(USHORT netshort) { return htons(netshort); }
ULONG htonl(ULONG hostlong) { return __builtin_bswap32(hostlong); }
ULONG ntohl(ULONG netlong) { return htonl(netlong); }
