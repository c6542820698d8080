// ICMP echo through "ICMP.DLL" after a Winsock name lookup (see ping.h).
#include "app/ping.h"

#include <cstring>
#include <string>
#include <vector>

#include "app/log.h"
#include "platform/base/text.h"
#include "platform/net/icmp.h"
#include "platform/net/winsock.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char16_t* kIcmpLibrary = u"ICMP.DLL";
constexpr WORD kEchoBytes = 64;
constexpr BYTE kEchoFill = 0xAA;
constexpr DWORD kReplyBytes = 92;

using IcmpCreateFileFn = HANDLE (*)();
using IcmpSendEchoFn = DWORD (*)(HANDLE, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
using IcmpCloseHandleFn = BOOL (*)(HANDLE);

// The process's one binding of the library: all three entry points, or none.
struct IcmpBinding {
  HMODULE module = nullptr;
  IcmpCreateFileFn create = nullptr;
  IcmpSendEchoFn send = nullptr;
  IcmpCloseHandleFn close = nullptr;

  IcmpBinding() {
    module = LoadLibraryW(kIcmpLibrary);
    if (module == nullptr) return;
    create = reinterpret_cast<IcmpCreateFileFn>(GetProcAddress(module, "IcmpCreateFile"));
    send = reinterpret_cast<IcmpSendEchoFn>(GetProcAddress(module, "IcmpSendEcho"));
    close = reinterpret_cast<IcmpCloseHandleFn>(GetProcAddress(module, "IcmpCloseHandle"));
    if (create == nullptr || send == nullptr || close == nullptr) {
      FreeLibrary(module);
      module = nullptr;
      create = nullptr;
      send = nullptr;
      close = nullptr;
    }
  }
  bool bound() const { return module != nullptr; }
};

IcmpBinding& binding() {
  static IcmpBinding b;
  return b;
}

// Winsock is started once for the process, before its first lookup, and kept to the end.
bool startWinsock() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(0x0202, &data) == 0;
  }();
  return started;
}

// Frees a getaddrinfo list on every way out.
struct AddressList {
  ADDRINFOA* list = nullptr;
  ~AddressList() {
    if (list != nullptr) freeaddrinfo(list);
  }
};

}  // namespace

bool CPing::isLibraryBound() { return binding().bound(); }

bool CPing::ping(const CString& host, PingReply& reply, DWORD timeoutMs) {
  if (!startWinsock()) {
    writeLog(u"{Ping}: Winsock could not be started (%d).", WSAGetLastError());
    return false;
  }
  ADDRINFOA hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  AddressList addresses;
  const std::string name = platform::text::toUtf8(host.view());
  if (getaddrinfo(name.c_str(), nullptr, &hints, &addresses.list) != 0 || addresses.list == nullptr ||
      addresses.list->ai_addr == nullptr) {
    return false;
  }
  IcmpBinding& icmp = binding();
  if (!icmp.bound()) return false;
  HANDLE handle = icmp.create();
  if (handle == INVALID_HANDLE_VALUE) return false;

  std::vector<BYTE> data(kEchoBytes, kEchoFill);
  std::vector<BYTE> buffer(kReplyBytes, 0);
  const auto* address = reinterpret_cast<const sockaddr_in*>(addresses.list->ai_addr);
  const DWORD answers = icmp.send(handle, address->sin_addr.s_addr, data.data(), kEchoBytes, nullptr, buffer.data(),
                                  kReplyBytes, timeoutMs);
  bool answered = false;
  if (answers > 0) {
    ICMP_ECHO_REPLY echo{};
    std::memcpy(&echo, buffer.data(), sizeof(echo));
    reply.address = echo.Address;
    reply.roundTripMs = echo.RoundTripTime;
    reply.status = echo.Status;
    answered = true;
  }
  icmp.close(handle);
  return answered;
}
