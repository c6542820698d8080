// The RPC runtime's UUID text conversion ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", no braces).
#pragma once

#include "platform/base/types.h"

using RPC_STATUS = LONG;
using UUID = GUID;

#define RPC_S_OK 0
#define RPC_S_INVALID_STRING_UUID 1705L

// A null text gives the nil UUID. Anything but 36 characters in the 8-4-4-4-12 hexadecimal form
// (either case) gives RPC_S_INVALID_STRING_UUID and leaves *Uuid unchanged.
RPC_STATUS UuidFromStringA(const unsigned char* StringUuid, UUID* Uuid);
RPC_STATUS UuidFromStringW(const char16_t* StringUuid, UUID* Uuid);
