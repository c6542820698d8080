// Binary values owned by the MAPI layer, allocated with the C++ allocator (never with MAPI's).
#include "outlook/mapi_binary.h"

#include <cstring>
#include <new>

namespace {

bool sameBytes(const SBinary& a, const SBinary& b) {
  return a.cb == b.cb && (a.cb == 0 || std::memcmp(a.lpb, b.lpb, a.cb) == 0);
}

}  // namespace

void destroySBinary(SBinary* value) {
  if (!value) return;
  freeSBinary(*value);
  delete value;
}

SBinaryPtr copySBinary(const SBinary& value) {
  SBinaryPtr copy(new (std::nothrow) SBinary{0, nullptr});
  if (!copy) return nullptr;
  if (!copyProperty(*copy, value)) return nullptr;
  return copy;
}

void freeSBinary(SBinary& value) {
  delete[] value.lpb;
  value.lpb = nullptr;
  value.cb = 0;
}

bool copyProperty(SBinary& destination, const SBinary& source) {
  freeSBinary(destination);
  if (source.cb == 0) return true;
  destination.lpb = new (std::nothrow) BYTE[source.cb];
  if (!destination.lpb) return false;
  std::memcpy(destination.lpb, source.lpb, source.cb);
  destination.cb = source.cb;
  return true;
}

int findNewEntry(const SBinaryVector& before, const SBinaryVector& after) {
  for (std::size_t i = 0; i < after.size(); ++i) {
    bool seen = false;
    for (const SBinaryPtr& old : before) seen = seen || (old && after[i] && sameBytes(*old, *after[i]));
    if (!seen) return static_cast<int>(i);
  }
  return -1;
}

void freeBinaryVector(SBinaryVector& list) { list.clear(); }
