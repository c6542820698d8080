// MAPI's chained buffers. Each block has a header before the caller's bytes: a marker telling
// a root block (MAPIAllocateBuffer) from a chained one, and the root's list of chained blocks.
#include "platform/modules/mapi32/memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace mapi {
namespace {

constexpr std::uint32_t kRootMark = 0x4D415042;   // "MAPB"
constexpr std::uint32_t kChainMark = 0x4D41504D;  // "MAPM"
constexpr std::uint32_t kFreedMark = 0x46524545;  // "FREE"

struct alignas(16) Header {
  std::uint32_t mark;
  Header* next;  // root: first chained block; chained: the next one
};
static_assert(sizeof(Header) % 16 == 0);

Header* headerOf(LPVOID p) { return reinterpret_cast<Header*>(static_cast<char*>(p) - sizeof(Header)); }
LPVOID bodyOf(Header* h) { return reinterpret_cast<char*>(h) + sizeof(Header); }

Header* newBlock(ULONG cb, std::uint32_t mark) {
  void* raw = std::malloc(sizeof(Header) + (cb ? cb : 1));
  if (!raw) return nullptr;
  auto* h = new (raw) Header{mark, nullptr};
  return h;
}

}  // namespace

SCODE allocateBuffer(ULONG cb, LPVOID* buffer) {
  if (!buffer) return MAPI_E_INVALID_PARAMETER;
  *buffer = nullptr;
  Header* h = newBlock(cb, kRootMark);
  if (!h) return MAPI_E_NOT_ENOUGH_MEMORY;
  *buffer = bodyOf(h);
  return S_OK;
}

SCODE allocateMore(ULONG cb, LPVOID object, LPVOID* buffer) {
  if (!buffer) return MAPI_E_INVALID_PARAMETER;
  *buffer = nullptr;
  if (!object) return MAPI_E_INVALID_PARAMETER;
  Header* owner = headerOf(object);
  // A chained block may also serve as owner: its bytes are freed with the same root, so the
  // new block goes into the chain right after it.
  if (owner->mark != kRootMark && owner->mark != kChainMark) return MAPI_E_INVALID_PARAMETER;
  Header* h = newBlock(cb, kChainMark);
  if (!h) return MAPI_E_NOT_ENOUGH_MEMORY;
  h->next = owner->next;
  owner->next = h;
  *buffer = bodyOf(h);
  return S_OK;
}

ULONG freeBuffer(LPVOID buffer) {
  if (!buffer) return 0;
  Header* root = headerOf(buffer);
  if (root->mark != kRootMark) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
  Header* h = root->next;
  root->mark = kFreedMark;
  std::free(root);
  while (h) {
    Header* next = h->next;
    h->mark = kFreedMark;
    std::free(h);
    h = next;
  }
  return 0;
}

void freeRows(LPSRowSet rows) {
  if (!rows) return;
  for (ULONG i = 0; i < rows->cRows; ++i) freeBuffer(rows->aRow[i].lpProps);
  freeBuffer(rows);
}

SCODE copyValue(const SPropValue& from, SPropValue& to, LPVOID owner) {
  to = from;
  auto bytes = [&](const void* src, std::size_t n, LPVOID& out) -> SCODE {
    if (n > 0xFFFFFFFFu) return MAPI_E_NOT_ENOUGH_MEMORY;
    SCODE sc = allocateMore(static_cast<ULONG>(n), owner, &out);
    if (sc == S_OK && n) std::memcpy(out, src, n);
    return sc;
  };
  LPVOID out = nullptr;
  SCODE sc = S_OK;
  switch (PROP_TYPE(from.ulPropTag)) {
    case PT_STRING8: {
      const char* s = from.Value.lpszA ? from.Value.lpszA : "";
      sc = bytes(s, std::strlen(s) + 1, out);
      to.Value.lpszA = static_cast<LPSTR>(out);
      break;
    }
    case PT_UNICODE: {
      const char16_t* s = from.Value.lpszW ? from.Value.lpszW : u"";
      std::size_t n = 0;
      while (s[n]) ++n;
      sc = bytes(s, (n + 1) * sizeof(char16_t), out);
      to.Value.lpszW = static_cast<LPWSTR>(out);
      break;
    }
    case PT_BINARY:
      sc = bytes(from.Value.bin.lpb, from.Value.bin.lpb ? from.Value.bin.cb : 0, out);
      to.Value.bin.lpb = static_cast<LPBYTE>(out);
      if (!from.Value.bin.lpb) to.Value.bin.cb = 0;
      break;
    case PT_CLSID:
      sc = bytes(from.Value.lpguid, from.Value.lpguid ? sizeof(GUID) : 0, out);
      to.Value.lpguid = from.Value.lpguid ? static_cast<LPGUID>(out) : nullptr;
      break;
    case PT_MV_BINARY: {
      const ULONG n = from.Value.MVbin.lpbin ? from.Value.MVbin.cValues : 0;
      sc = bytes(from.Value.MVbin.lpbin, std::size_t(n) * sizeof(SBinary), out);
      to.Value.MVbin = {n, static_cast<SBinary*>(out)};
      for (ULONG i = 0; sc == S_OK && i < n; ++i) {
        LPVOID b = nullptr;
        sc = bytes(from.Value.MVbin.lpbin[i].lpb, from.Value.MVbin.lpbin[i].cb, b);
        to.Value.MVbin.lpbin[i].lpb = static_cast<LPBYTE>(b);
      }
      break;
    }
    case PT_MV_STRING8: {
      const ULONG n = from.Value.MVszA.lppszA ? from.Value.MVszA.cValues : 0;
      sc = bytes(from.Value.MVszA.lppszA, std::size_t(n) * sizeof(LPSTR), out);
      to.Value.MVszA = {n, static_cast<LPSTR*>(out)};
      for (ULONG i = 0; sc == S_OK && i < n; ++i) {
        const char* s = from.Value.MVszA.lppszA[i] ? from.Value.MVszA.lppszA[i] : "";
        LPVOID b = nullptr;
        sc = bytes(s, std::strlen(s) + 1, b);
        to.Value.MVszA.lppszA[i] = static_cast<LPSTR>(b);
      }
      break;
    }
    case PT_MV_LONG: {
      const ULONG n = from.Value.MVl.lpl ? from.Value.MVl.cValues : 0;
      sc = bytes(from.Value.MVl.lpl, std::size_t(n) * sizeof(LONG), out);
      to.Value.MVl = {n, static_cast<LONG*>(out)};
      break;
    }
    default:
      if (PROP_TYPE(from.ulPropTag) & MV_FLAG) return MAPI_E_NO_SUPPORT;
      break;
  }
  return sc;
}

}  // namespace mapi
