// One ICMP echo to a host, to tell whether it answers: the name is resolved through Winsock (the
// process starts Winsock once, before its first lookup) and the echo goes through "ICMP.DLL",
// bound once for the process by name.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

struct PingReply {
  DWORD address = 0;  // IPv4, network order
  DWORD roundTripMs = 0;
  DWORD status = 0;
};

class CPing {
 public:
  // One echo of 64 bytes of 0xAA, waiting up to `timeoutMs`. The reply record is filled only
  // when an answer came (then true); false when the name does not resolve, the library or its
  // handle is missing, or no answer came.
  bool ping(const CString& host, PingReply& reply, DWORD timeoutMs);

  // Whether "ICMP.DLL" and its three entry points were found (bound at the first call).
  static bool isLibraryBound();
};
