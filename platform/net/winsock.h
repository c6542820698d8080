// Winsock-shaped start-up and name lookup (WSAStartup, getaddrinfo, GetAddrInfoW, ...), over the
// host's server table (servers.h): a numeric address resolves to itself, any other name only when
// the host lists it, so that no program of the host reaches a real network. No sockets.
// Declares Windows' own types and values (AF_INET6 is 23 here), so a file that includes this
// header includes no Linux network header.
#pragma once

#include <cstddef>

#include "platform/base/types.h"

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
#define SOCKET_ERROR (-1)


// Winsock's error codes (GetLastError and WSAGetLastError read the same value).
#define WSA_NOT_ENOUGH_MEMORY 8L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEAFNOSUPPORT 10047L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSATYPE_NOT_FOUND 10109L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L

// getaddrinfo's results are Winsock error codes.
#define EAI_AGAIN WSATRY_AGAIN
#define EAI_BADFLAGS WSAEINVAL
#define EAI_FAIL WSANO_RECOVERY
#define EAI_FAMILY WSAEAFNOSUPPORT
#define EAI_MEMORY WSA_NOT_ENOUGH_MEMORY
#define EAI_NONAME WSAHOST_NOT_FOUND
#define EAI_SERVICE WSATYPE_NOT_FOUND
#define EAI_SOCKTYPE WSAESOCKTNOSUPPORT
#define EAI_NODATA EAI_NONAME

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define PF_UNSPEC AF_UNSPEC
#define PF_INET AF_INET
#define PF_INET6 AF_INET6

#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define SOCK_RAW 3

#define IPPROTO_IP 0
#define IPPROTO_ICMP 1
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

#define AI_PASSIVE 0x00000001
#define AI_CANONNAME 0x00000002
#define AI_NUMERICHOST 0x00000004

using ADDRESS_FAMILY = USHORT;

// The types live in a namespace of their own and are brought to global scope by name, so that
// they are not confused with the C library's types of the same names inside the platform library.
namespace platform::winsock {

struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};
using WSADATA = WSAData;
using LPWSADATA = WSADATA*;

struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      USHORT s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
};
#define s_addr S_un.S_addr

struct in6_addr {
  union {
    UCHAR Byte[16];
    USHORT Word[8];
  } u;
};

struct sockaddr {
  ADDRESS_FAMILY sa_family;
  CHAR sa_data[14];
};

struct sockaddr_in {
  ADDRESS_FAMILY sin_family;
  USHORT sin_port;  // network order
  in_addr sin_addr;
  CHAR sin_zero[8];
};

struct sockaddr_in6 {
  ADDRESS_FAMILY sin6_family;
  USHORT sin6_port;  // network order
  ULONG sin6_flowinfo;
  in6_addr sin6_addr;
  ULONG sin6_scope_id;
};

using SOCKADDR = sockaddr;
using PSOCKADDR = sockaddr*;
using SOCKADDR_IN = sockaddr_in;
using SOCKADDR_IN6 = sockaddr_in6;

struct addrinfo {
  int ai_flags;
  int ai_family;
  int ai_socktype;
  int ai_protocol;
  std::size_t ai_addrlen;
  char* ai_canonname;
  sockaddr* ai_addr;
  addrinfo* ai_next;
};
using ADDRINFOA = addrinfo;
using PADDRINFOA = addrinfo*;

struct addrinfoW {
  int ai_flags;
  int ai_family;
  int ai_socktype;
  int ai_protocol;
  std::size_t ai_addrlen;
  PWSTR ai_canonname;
  sockaddr* ai_addr;
  addrinfoW* ai_next;
};
using ADDRINFOW = addrinfoW;
using PADDRINFOW = addrinfoW*;

}  // namespace platform::winsock

using platform::winsock::WSAData;
using platform::winsock::WSADATA;
using platform::winsock::LPWSADATA;
using platform::winsock::in_addr;
using platform::winsock::in6_addr;
using platform::winsock::sockaddr;
using platform::winsock::sockaddr_in;
using platform::winsock::sockaddr_in6;
using platform::winsock::SOCKADDR;
using platform::winsock::PSOCKADDR;
using platform::winsock::SOCKADDR_IN;
using platform::winsock::SOCKADDR_IN6;
using platform::winsock::addrinfo;
using platform::winsock::ADDRINFOA;
using platform::winsock::PADDRINFOA;
using platform::winsock::addrinfoW;
using platform::winsock::ADDRINFOW;
using platform::winsock::PADDRINFOW;

// Counted per process: each successful start-up needs its clean-up. Versions below 1.0 are
// refused; above 2.2 the answer is 2.2.
int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
// SOCKET_ERROR with WSANOTINITIALISED when there was no start-up left to end.
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int iError);

// Returns 0 and a list to free with freeaddrinfo, or a Winsock error code (also the last error):
// WSANOTINITIALISED before WSAStartup, WSAHOST_NOT_FOUND for a name the host does not list (or
// with no address of the asked family), WSAEAFNOSUPPORT, WSAESOCKTNOSUPPORT, WSAEINVAL for bad
// flags, WSANO_RECOVERY for hints with anything but flags, family, type and protocol set,
// WSATYPE_NOT_FOUND for a service that is no port number or well-known name. Without a name the
// answer is the loopback address, or the any address with AI_PASSIVE.
int getaddrinfo(PCSTR pNodeName, PCSTR pServiceName, const ADDRINFOA* pHints, PADDRINFOA* ppResult);
void freeaddrinfo(PADDRINFOA pAddrInfo);
int GetAddrInfoW(PCWSTR pNodeName, PCWSTR pServiceName, const ADDRINFOW* pHints, PADDRINFOW* ppResult);
void FreeAddrInfoW(PADDRINFOW pAddrInfo);

USHORT htons(USHORT hostshort);
USHORT ntohs(USHORT netshort);
ULONG htonl(ULONG hostlong);
ULONG ntohl(ULONG netlong);
