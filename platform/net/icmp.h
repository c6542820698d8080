// The built-in module "ICMP.DLL": one echo request at a time to an IPv4 address, answered from
// the host's server table (servers.h) instead of the network. A listed reachable server answers
// after its round-trip time; an unreachable one, or one slower than the time-out, lets the
// time-out pass and fails with IP_REQ_TIMED_OUT; an address no server has fails at once with
// IP_DEST_HOST_UNREACHABLE. The loopback network always answers, at once.
// Waits run on the stand-in's clock (scaled, instant under a virtual clock).
#pragma once

#include "platform/base/types.h"

// Status of an echo (ICMP_ECHO_REPLY::Status) and the last error of a failed IcmpSendEcho.
#define IP_STATUS_BASE 11000
#define IP_SUCCESS 0
#define IP_BUF_TOO_SMALL (IP_STATUS_BASE + 1)
#define IP_DEST_NET_UNREACHABLE (IP_STATUS_BASE + 2)
#define IP_DEST_HOST_UNREACHABLE (IP_STATUS_BASE + 3)
#define IP_REQ_TIMED_OUT (IP_STATUS_BASE + 10)
#define IP_GENERAL_FAILURE (IP_STATUS_BASE + 50)

using IPAddr = ULONG;  // an IPv4 address in network order, as in_addr's S_addr

struct ip_option_information {
  UCHAR Ttl;
  UCHAR Tos;
  UCHAR Flags;
  UCHAR OptionsSize;
  UCHAR* OptionsData;
};
using IP_OPTION_INFORMATION = ip_option_information;
using PIP_OPTION_INFORMATION = ip_option_information*;

struct icmp_echo_reply {
  IPAddr Address;
  ULONG Status;
  ULONG RoundTripTime;
  USHORT DataSize;
  USHORT Reserved;
  PVOID Data;
  ip_option_information Options;
};
using ICMP_ECHO_REPLY = icmp_echo_reply;
using PICMP_ECHO_REPLY = icmp_echo_reply*;

// INVALID_HANDLE_VALUE with the last error set on failure.
HANDLE IcmpCreateFile();
// FALSE with ERROR_INVALID_HANDLE for a handle IcmpCreateFile did not give.
BOOL IcmpCloseHandle(HANDLE IcmpHandle);
// Sends one echo and waits up to Timeout ms. Returns the number of replies in ReplyBuffer (1),
// each an ICMP_ECHO_REPLY followed by the echoed data (as much of it as fits); 0 on failure with
// the last error: IP_REQ_TIMED_OUT, IP_DEST_HOST_UNREACHABLE, IP_BUF_TOO_SMALL when ReplySize
// cannot hold a reply and an ICMP error message (8 bytes), ERROR_INVALID_PARAMETER for a missing
// buffer or data, ERROR_INVALID_HANDLE. The reply buffer is left as it was on failure.
DWORD IcmpSendEcho(HANDLE IcmpHandle, IPAddr DestinationAddress, LPVOID RequestData, WORD RequestSize,
                   PIP_OPTION_INFORMATION RequestOptions, LPVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout);
