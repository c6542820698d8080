// The built-in "ICMP.DLL" over the host's server table (see icmp.h).
#include "platform/net/icmp.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/clock.h"
#include "platform/base/fault.h"
#include "platform/host/host.h"
#include "platform/host/module_registry.h"
#include "platform/net/servers.h"
#include "platform/win32/error.h"
#include "platform/win32/handle.h"

namespace {

namespace net = platform::net;

const platform::fault::Points kIcmpPoints{"IcmpCreateFile", "IcmpSendEcho"};

// An ICMP error message the reply buffer must also have room for.
constexpr DWORD kIcmpErrorSize = 8;
// What a reply's time to live reads: Windows' default.
constexpr UCHAR kReplyTtl = 128;

class IcmpFile : public platform::KernelObject {};

struct Peer {
  bool answers = false;
  unsigned rttMs = 0;
};

// Who is at an IPv4 address (bytes in network order): the server listed with it, or the host's
// own loopback network; nullopt when nobody is.
std::optional<Peer> peerAt(const unsigned char (&address)[4]) {
  if (address[0] == 127) return Peer{true, 0};
  for (const net::Server& s : net::servers()) {
    std::vector<unsigned char> bytes = net::addressBytes(s.address);
    if (bytes.size() == 4 && std::equal(bytes.begin(), bytes.end(), address)) return Peer{s.reachable, s.rttMs};
  }
  return std::nullopt;
}

DWORD fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

HANDLE IcmpCreateFile() {
  if (DWORD fault = platform::fault::check("IcmpCreateFile")) {
    SetLastError(fault);
    return INVALID_HANDLE_VALUE;
  }
  return platform::registerHandle(std::make_shared<IcmpFile>());
}

BOOL IcmpCloseHandle(HANDLE IcmpHandle) {
  if (!platform::lookupHandleAs<IcmpFile>(IcmpHandle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(IcmpHandle);
}

DWORD IcmpSendEcho(HANDLE IcmpHandle, IPAddr DestinationAddress, LPVOID RequestData, WORD RequestSize,
                   PIP_OPTION_INFORMATION RequestOptions, LPVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout) {
  (void)RequestOptions;  // no hop counts: the table's servers are all one hop away
  if (!platform::lookupHandleAs<IcmpFile>(IcmpHandle)) return fail(ERROR_INVALID_HANDLE);
  if (!ReplyBuffer || (RequestSize && !RequestData)) return fail(ERROR_INVALID_PARAMETER);
  if (ReplySize < sizeof(ICMP_ECHO_REPLY) + kIcmpErrorSize) return fail(IP_BUF_TOO_SMALL);
  unsigned char address[4];
  std::memcpy(address, &DestinationAddress, sizeof address);
  const std::string subject = std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
                              std::to_string(address[2]) + "." + std::to_string(address[3]);
  if (DWORD fault = platform::fault::check("IcmpSendEcho", std::u16string(subject.begin(), subject.end())))
    return fail(fault);

  std::optional<Peer> peer = peerAt(address);
  if (!peer) return fail(IP_DEST_HOST_UNREACHABLE);
  if (!peer->answers || peer->rttMs > Timeout) {
    platform::clock::sleepMs(Timeout);
    return fail(IP_REQ_TIMED_OUT);
  }
  platform::clock::sleepMs(peer->rttMs);

  auto* reply = static_cast<ICMP_ECHO_REPLY*>(ReplyBuffer);
  auto* data = reinterpret_cast<unsigned char*>(reply + 1);
  const WORD echoed = static_cast<WORD>(std::min<DWORD>(RequestSize, ReplySize - sizeof(ICMP_ECHO_REPLY)));
  if (echoed) std::memcpy(data, RequestData, echoed);
  reply->Address = DestinationAddress;
  reply->Status = IP_SUCCESS;
  reply->RoundTripTime = peer->rttMs;
  reply->DataSize = echoed;
  reply->Reserved = 0;
  reply->Data = data;
  reply->Options = {kReplyTtl, 0, 0, 0, nullptr};
  SetLastError(ERROR_SUCCESS);
  return 1;
}

namespace {

platform::module::BuiltinVersion icmpVersion() {
  platform::host::Host& h = platform::host::Host::current();
  std::string v = h.fact(platform::host::fact::WindowsVersion) + "." + h.fact(platform::host::fact::WindowsBuild) + ".0";
  return {v, v, u"ICMP.DLL"};
}

platform::module::RegisterBuiltinModule icmpModule("ICMP.DLL", false, icmpVersion);

}  // namespace

KIPO_BUILTIN_EXPORT("ICMP.DLL", "IcmpCreateFile", IcmpCreateFile);
KIPO_BUILTIN_EXPORT("ICMP.DLL", "IcmpCloseHandle", IcmpCloseHandle);
KIPO_BUILTIN_EXPORT("ICMP.DLL", "IcmpSendEcho", IcmpSendEcho);
