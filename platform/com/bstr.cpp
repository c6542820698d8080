// BSTR allocation. Each string is one malloc block: 4 bytes of padding, the 32-bit byte length,
// the bytes, and a 16-bit NUL, so the text itself is 8-byte aligned.
#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/base/text.h"

namespace {

constexpr std::size_t kHeader = 8;
// The length field is 32 bits; keep room for the header and terminator.
constexpr std::size_t kMaxBytes = std::numeric_limits<std::uint32_t>::max() - 16;

BSTR allocBytes(const void* source, std::size_t bytes) {
  if (bytes > kMaxBytes) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const auto length = static_cast<std::uint32_t>(bytes);
  std::memcpy(block + kHeader - sizeof(length), &length, sizeof(length));
  unsigned char* text = block + kHeader;
  if (source) {
    std::memcpy(text, source, bytes);
  } else {
    std::memset(text, 0, bytes);
  }
  // Two zero bytes after the data, also when the byte count is odd.
  text[bytes] = 0;
  text[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(text);
}

unsigned char* blockOf(BSTR text) { return reinterpret_cast<unsigned char*>(text) - kHeader; }

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return allocBytes(text, platform::text::length(text) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  return allocBytes(text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return allocBytes(bytes, length); }

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
  if (!target) return FALSE;
  // Allocate before freeing: text may point into the old string.
  BSTR fresh = SysAllocStringLen(text, length);
  if (!fresh) return FALSE;
  SysFreeString(*target);
  *target = fresh;
  return TRUE;
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (!target) return FALSE;
  BSTR fresh = text ? SysAllocString(text) : nullptr;
  if (text && !fresh) return FALSE;
  SysFreeString(*target);
  *target = fresh;
  return TRUE;
}

void SysFreeString(BSTR text) {
  if (text) std::free(blockOf(text));
}

UINT SysStringByteLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t length;
  std::memcpy(&length, blockOf(text) + kHeader - sizeof(length), sizeof(length));
  return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
