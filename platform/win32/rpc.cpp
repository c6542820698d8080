// UUID text conversion of the RPC runtime.
#include "platform/win32/rpc.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at `at` into value; false on a non-digit.
bool readHex(std::u16string_view s, std::size_t at, int digits, unsigned long long& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    int d = hexDigit(s[at + static_cast<std::size_t>(i)]);
    if (d < 0) return false;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return true;
}

RPC_STATUS parse(std::u16string_view s, UUID* uuid) {
  if (!uuid) return RPC_S_INVALID_STRING_UUID;
  if (s.size() != 36 || s[8] != u'-' || s[13] != u'-' || s[18] != u'-' || s[23] != u'-') return RPC_S_INVALID_STRING_UUID;
  UUID out{};
  unsigned long long v = 0;
  if (!readHex(s, 0, 8, v)) return RPC_S_INVALID_STRING_UUID;
  out.Data1 = static_cast<DWORD>(v);
  if (!readHex(s, 9, 4, v)) return RPC_S_INVALID_STRING_UUID;
  out.Data2 = static_cast<WORD>(v);
  if (!readHex(s, 14, 4, v)) return RPC_S_INVALID_STRING_UUID;
  out.Data3 = static_cast<WORD>(v);
  const std::size_t bytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!readHex(s, bytes[i], 2, v)) return RPC_S_INVALID_STRING_UUID;
    out.Data4[i] = static_cast<BYTE>(v);
  }
  *uuid = out;
  return RPC_S_OK;
}

}  // namespace

RPC_STATUS UuidFromStringW(const char16_t* StringUuid, UUID* Uuid) {
  if (!StringUuid) {
    if (!Uuid) return RPC_S_INVALID_STRING_UUID;
    std::memset(Uuid, 0, sizeof *Uuid);
    return RPC_S_OK;
  }
  return parse(std::u16string_view(StringUuid), Uuid);
}

RPC_STATUS UuidFromStringA(const unsigned char* StringUuid, UUID* Uuid) {
  if (!StringUuid) return UuidFromStringW(nullptr, Uuid);
  // Only ASCII can form a UUID; other bytes map to a character that is no digit.
  std::u16string wide;
  for (const unsigned char* p = StringUuid; *p; ++p) wide += *p < 0x80 ? static_cast<char16_t>(*p) : u'?';
  return parse(wide, Uuid);
}
