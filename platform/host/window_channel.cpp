// The channel between processes (see window_channel.h): the listener thread, connections, frames
// and the marshalling of the messages whose parameters point at data.
#include "platform/host/window_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <span>
#include <thread>
#include <unordered_map>

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/process_table.h"
#include "platform/host/window_mirror.h"
#include "platform/host/window_table.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/device_notify.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/remote_memory.h"

namespace platform::host {

namespace {

enum Kind : std::uint32_t { kPost = 1, kSend = 2, kNotify = 3, kReply = 4 };
enum Status : std::uint32_t { kOk = 0, kNoWindow = 1, kHung = 2 };

struct Header {
  std::uint32_t kind;
  std::uint32_t hwnd;
  std::uint32_t message;
  std::uint32_t flags;
  std::uint64_t wParam;
  std::int64_t lParam;
  std::uint32_t senderPid;
  std::uint32_t senderThread;
  std::uint64_t callId;
  std::uint32_t payloadLength;
  std::uint32_t reserved;
};
static_assert(sizeof(Header) == 56, "the wire header is 56 bytes");

using Bytes = std::vector<std::byte>;

// Largest payload accepted: WM_COPYDATA may carry a lot, nothing carries more.
constexpr std::uint32_t kMaxPayload = 64u << 20;
// Text buffers the receiving side makes: WM_GETTEXT's is as large as asked up to this many
// characters; list box, combo box and list-view text get this many (the sender vouches for its
// own buffer, as on Windows).
constexpr std::size_t kMaxTextChars = 1u << 20;
constexpr std::size_t kItemTextChars = 32768;
// A WM_DEVICECHANGE record larger than this is refused.
constexpr DWORD kMaxDeviceRecord = 64 * 1024;
// How long a writer waits for a full socket to drain before it gives the connection up.
constexpr int kWriteStallMs = 10000;

// ---- Marshalling ----

void putBytes(Bytes& out, const void* p, std::size_t n) {
  auto* b = static_cast<const std::byte*>(p);
  out.insert(out.end(), b, b + n);
}

template <class T>
void putValue(Bytes& out, const T& v) {
  putBytes(out, &v, sizeof v);
}

void putText(Bytes& out, std::u16string_view s) { putBytes(out, s.data(), s.size() * 2); }

// Characters of a NUL-terminated text in a buffer of at most `limit` characters.
std::u16string_view boundedText(const WCHAR* p, std::size_t limit) {
  if (!p) return {};
  std::size_t n = 0;
  while (n < limit && p[n]) ++n;
  return {p, n};
}

bool takesItemText(UINT msg) { return msg == LB_GETTEXT || msg == CB_GETLBTEXT; }
bool isItemRecord(UINT msg) { return msg == LVM_GETITEMW || msg == LVM_GETITEMTEXTW || msg == LVM_SETITEMSTATE; }
bool carriesDeviceRecord(UINT msg, WPARAM wParam) { return msg == WM_DEVICECHANGE && (wParam & 0x8000); }

// ---- Pointers into memory allocated in the target (see remote_memory.h) ----
//
// A list-view message whose lParam points into a block allocated in the target travels as this
// record instead of a copy; the target maps the block and the control works on it in place, as
// it would on Windows. The new messages take no other pointer.

constexpr std::uint64_t kRemoteTag = 0x544d45524f50494bull;  // "KIPOREMT"
struct RemotePointer {
  std::uint64_t tag;
  std::uint64_t address;
};

// Tree-view messages whose record holds an item (and maybe its text): as on Windows they reach
// another program's tree only through memory allocated in that program.
bool isTreeRecord(UINT msg) { return msg == TVM_GETITEMW || msg == TVM_SETITEMW || msg == TVM_INSERTITEMW; }

bool takesRemoteOnly(UINT msg) {
  return msg == LVM_GETITEMPOSITION || msg == LVM_SETITEMPOSITION32 || msg == LVM_GETWORKAREAS ||
         msg == LVM_SETWORKAREAS || msg == LVM_GETNUMBEROFWORKAREAS || msg == LVM_FINDITEMW ||
         msg == LVM_GETITEMRECT || msg == LVM_HITTEST || msg == TVM_GETITEMRECT || msg == TVM_HITTEST ||
         isTreeRecord(msg);
}

// Where the item lies in a tree record.
std::size_t treeItemOffset(UINT msg) { return msg == TVM_INSERTITEMW ? offsetof(TVINSERTSTRUCTW, item) : 0; }

// Bytes of the record lParam points to; 0 for a message that carries none.
std::size_t remoteRecordSize(UINT msg, WPARAM wParam) {
  switch (msg) {
    case LVM_GETITEMPOSITION:
    case LVM_SETITEMPOSITION32: return sizeof(POINT);
    case LVM_GETWORKAREAS:
    case LVM_SETWORKAREAS: return std::min<std::size_t>(wParam, LV_MAX_WORKAREAS) * sizeof(RECT);
    case LVM_FINDITEMW: return sizeof(LVFINDINFOW);
    case LVM_GETNUMBEROFWORKAREAS: return sizeof(UINT);
    case LVM_GETITEMRECT: return sizeof(RECT);
    case LVM_HITTEST: return sizeof(LVHITTESTINFO);
    case TVM_GETITEMRECT: return sizeof(RECT);
    case TVM_HITTEST: return sizeof(TVHITTESTINFO);
    case TVM_GETITEMW:
    case TVM_SETITEMW: return sizeof(TVITEMW);
    case TVM_INSERTITEMW: return sizeof(TVINSERTSTRUCTW);
    default: return isItemRecord(msg) ? sizeof(LVITEMW) : 0;
  }
}

// Characters of the text an item record in a block names (to the buffer's end) when it is used.
std::size_t itemTextChars(UINT msg, const LVITEMW& item) {
  if (msg == LVM_GETITEMTEXTW || (msg == LVM_GETITEMW && (item.mask & LVIF_TEXT)))
    return static_cast<std::size_t>(std::max(item.cchTextMax, 0));
  return 0;
}

bool recordInTarget(const WindowRow& target, UINT msg, WPARAM wParam, std::uint64_t address);

// Sending side: whether lParam lies in a block of the target (then whether the record and the
// pointers in it do as well).
enum class InTarget { No, Yes, Broken };
InTarget pointsIntoTarget(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto address = static_cast<std::uint64_t>(lParam);
  if (!remote::blockHolds(target.pid, target.start, address, 1)) return InTarget::No;
  return recordInTarget(target, msg, wParam, address) ? InTarget::Yes : InTarget::Broken;
}

bool recordInTarget(const WindowRow& target, UINT msg, WPARAM wParam, std::uint64_t address) {
  const std::size_t size = std::max<std::size_t>(remoteRecordSize(msg, wParam), 1);
  if (!remote::blockHolds(target.pid, target.start, address, size)) return false;
  if (msg == LVM_FINDITEMW) {
    LVFINDINFOW find;
    if (!remote::readBlock(target.pid, target.start, address, &find, sizeof find)) return false;
    if ((find.flags & (LVFI_STRING | LVFI_PARTIAL)) && find.psz)
      return remote::blockHolds(target.pid, target.start, reinterpret_cast<std::uintptr_t>(find.psz), 2);
    return true;
  }
  if (isTreeRecord(msg)) {
    TVITEMW item;
    if (!remote::readBlock(target.pid, target.start, address + treeItemOffset(msg), &item, sizeof item)) return false;
    if (!(item.mask & TVIF_TEXT) || !item.pszText || item.pszText == LPSTR_TEXTCALLBACKW) return true;
    // A text read back needs its whole buffer in the block; one given needs its first character
    // there (it is cut at the block's end).
    const std::size_t bytes = msg == TVM_GETITEMW ? static_cast<std::size_t>(std::max(item.cchTextMax, 0)) * 2 : 2;
    return bytes == 0 ||
           remote::blockHolds(target.pid, target.start, reinterpret_cast<std::uintptr_t>(item.pszText), bytes);
  }
  if (isItemRecord(msg)) {
    LVITEMW item;
    if (!remote::readBlock(target.pid, target.start, address, &item, sizeof item)) return false;
    const std::size_t chars = itemTextChars(msg, item);
    if (chars && item.pszText && item.pszText != LPSTR_TEXTCALLBACKW)
      return remote::blockHolds(target.pid, target.start, reinterpret_cast<std::uintptr_t>(item.pszText), chars * 2);
  }
  return true;
}

// Receiving side of a tree record in a block: the control works on a copy whose text pointer is
// this process's view of the caller's text (a given text is copied and ends inside the block);
// the record goes back into the block with the caller's pointer kept.
void resolveTreeRecord(SentMessage& m, void* view, std::size_t size, std::function<void(SentMessage&)>& after) {
  const UINT msg = m.message;
  const std::size_t at = treeItemOffset(msg);
  TVITEMW item;
  std::memcpy(&item, static_cast<std::byte*>(view) + at, sizeof item);
  const LPWSTR remoteText = item.pszText;
  const bool hasText = (item.mask & TVIF_TEXT) && remoteText && remoteText != LPSTR_TEXTCALLBACKW;
  std::u16string_view given;
  if (hasText) {
    std::size_t room = 0;
    auto* text = static_cast<WCHAR*>(remote::resolveInSelf(reinterpret_cast<std::uintptr_t>(remoteText), 2, &room));
    if (!text) return;
    if (msg == TVM_GETITEMW) {
      if (room / 2 < static_cast<std::size_t>(std::max(item.cchTextMax, 0))) return;
      item.pszText = text;
    } else {
      given = boundedText(text, room / 2);
    }
  }
  m.data.assign(size + (given.size() + 1) * 2, std::byte{0});
  std::byte* p = m.data.data();
  std::memcpy(p, view, size);
  if (hasText && msg != TVM_GETITEMW) {
    std::memcpy(p + size, given.data(), given.size() * 2);
    item.pszText = reinterpret_cast<LPWSTR>(p + size);
  }
  std::memcpy(p + at, &item, sizeof item);
  m.lParam = reinterpret_cast<LPARAM>(p);
  if (msg != TVM_GETITEMW) return;
  after = [view, at, remoteText](SentMessage& sm) {
    TVITEMW done;
    std::memcpy(&done, sm.data.data() + at, sizeof done);
    done.pszText = remoteText;
    std::memcpy(static_cast<std::byte*>(view) + at, &done, sizeof done);
    sm.lParam = 0;  // nothing to marshal back: the caller reads the block
  };
}

// Receiving side: points the message at the target's view of the block; `after` writes back
// what the control changed in a record that had to be copied. lParam 0 when the block is gone.
void resolveRemote(SentMessage& m, std::uint64_t address, std::function<void(SentMessage&)>& after) {
  const UINT msg = m.message;
  const std::size_t size = std::max<std::size_t>(remoteRecordSize(msg, m.wParam), 1);
  void* view = remote::resolveInSelf(address, size);
  m.lParam = 0;
  if (!view) return;
  if (msg == LVM_FINDITEMW) {
    LVFINDINFOW find;
    std::memcpy(&find, view, sizeof find);
    if ((find.flags & (LVFI_STRING | LVFI_PARTIAL)) && find.psz) {
      // The text must end inside its block; one that does not is cut at the block's end.
      std::size_t room = 0;
      auto* text = static_cast<const WCHAR*>(remote::resolveInSelf(reinterpret_cast<std::uintptr_t>(find.psz), 2, &room));
      if (!text) return;
      std::u16string_view t = boundedText(text, room / 2);
      std::byte* p = [&] {
        m.data.assign(sizeof find + (t.size() + 1) * 2, std::byte{0});
        return m.data.data();
      }();
      std::memcpy(p + sizeof find, t.data(), t.size() * 2);
      find.psz = reinterpret_cast<LPCWSTR>(p + sizeof find);
      std::memcpy(p, &find, sizeof find);
      m.lParam = reinterpret_cast<LPARAM>(p);
    } else {
      m.lParam = reinterpret_cast<LPARAM>(view);
    }
    return;
  }
  if (isTreeRecord(msg)) {
    resolveTreeRecord(m, view, size, after);
    return;
  }
  if (!isItemRecord(msg)) {
    m.lParam = reinterpret_cast<LPARAM>(view);
    return;
  }
  LVITEMW item;
  std::memcpy(&item, view, sizeof item);
  const std::size_t chars = itemTextChars(msg, item);
  LPWSTR remoteText = item.pszText;
  WCHAR* text = nullptr;
  if (chars && remoteText && remoteText != LPSTR_TEXTCALLBACKW) {
    text = static_cast<WCHAR*>(remote::resolveInSelf(reinterpret_cast<std::uintptr_t>(remoteText), chars * 2));
    if (!text) return;
  }
  item.pszText = text ? text : (remoteText == LPSTR_TEXTCALLBACKW ? remoteText : nullptr);
  item.puColumns = nullptr;
  m.data.assign(sizeof item, std::byte{0});
  std::memcpy(m.data.data(), &item, sizeof item);
  m.lParam = reinterpret_cast<LPARAM>(m.data.data());
  after = [view, text, remoteText, chars](SentMessage& sm) {
    LVITEMW done;
    std::memcpy(&done, sm.data.data(), sizeof done);
    // The control may point the record at its own text: the text goes into the caller's buffer.
    if (text && done.pszText != text && done.pszText && done.pszText != LPSTR_TEXTCALLBACKW) {
      std::u16string_view t = boundedText(done.pszText, chars - 1);
      std::memcpy(text, t.data(), t.size() * 2);
      text[t.size()] = 0;
    }
    LVITEMW original;
    std::memcpy(&original, view, sizeof original);
    done.pszText = remoteText;
    done.puColumns = original.puColumns;
    std::memcpy(view, &done, sizeof done);
    sm.lParam = 0;  // nothing to marshal back: the caller reads the block
  };
}

// Sending side: the payload of a request. False when a record cannot be marshalled.
bool marshalRequest(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam, Bytes& out) {
  if ((takesRemoteOnly(msg) || isItemRecord(msg)) && lParam) {
    switch (pointsIntoTarget(target, msg, wParam, lParam)) {
      case InTarget::Yes:
        putValue(out, RemotePointer{kRemoteTag, static_cast<std::uint64_t>(lParam)});
        return true;
      case InTarget::Broken:
        return false;  // never read here: the address is only reserved in this process
      case InTarget::No:
        break;
    }
  }
  if (takesRemoteOnly(msg)) return lParam == 0;
  switch (msg) {
    case WM_SETTEXT:
    case WM_SETTINGCHANGE:
      putValue<std::uint8_t>(out, lParam ? 1 : 0);
      if (lParam) putText(out, text::view(reinterpret_cast<LPCWSTR>(lParam)));
      return true;
    case WM_GETTEXT:
      putValue<std::uint8_t>(out, lParam ? 1 : 0);
      return true;
    case WM_COPYDATA: {
      putValue<std::uint8_t>(out, lParam ? 1 : 0);
      if (!lParam) return true;
      auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (cds->cbData && !cds->lpData) return false;
      if (cds->cbData > kMaxPayload - 16) return false;
      putValue<std::uint64_t>(out, cds->dwData);
      putBytes(out, cds->lpData, cds->cbData);
      return true;
    }
    default:
      break;
  }
  if (carriesDeviceRecord(msg, wParam)) {
    if (!lParam) return true;
    auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (hdr->dbch_size < sizeof(DEV_BROADCAST_HDR) || hdr->dbch_size > kMaxDeviceRecord) return false;
    putBytes(out, hdr, hdr->dbch_size);
    return true;
  }
  if (isItemRecord(msg)) {
    if (!lParam) return false;
    LVITEMW item = *reinterpret_cast<const LVITEMW*>(lParam);
    item.pszText = nullptr;
    item.puColumns = nullptr;
    putValue(out, item);
  }
  return true;
}

// Whether a payload is a pointer into a block of the target.
bool remotePointerIn(UINT msg, std::span<const std::byte> in, std::uint64_t& address) {
  if (!(takesRemoteOnly(msg) || isItemRecord(msg)) || in.size() != sizeof(RemotePointer)) return false;
  RemotePointer r;
  std::memcpy(&r, in.data(), sizeof r);
  if (r.tag != kRemoteTag) return false;
  address = r.address;
  return true;
}

// Receiving side: rebuilds what the parameters point to in m.data and points m.lParam (and
// m.wParam for a clamped count) at it; `after` runs once the procedure answered. False for a
// payload that does not fit the message.
bool unmarshalRequest(SentMessage& m, std::span<const std::byte> in, std::function<void(SentMessage&)>& after) {
  const UINT msg = m.message;
  if (std::uint64_t address; remotePointerIn(msg, in, address)) {
    resolveRemote(m, address, after);
    return true;
  }
  if (takesRemoteOnly(msg)) {
    if (!in.empty()) return false;
    m.lParam = 0;
    return true;
  }
  auto storage = [&](std::size_t n) {
    m.data.assign(n, std::byte{0});
    return m.data.data();
  };
  switch (msg) {
    case WM_SETTEXT:
    case WM_SETTINGCHANGE: {
      if (in.empty() || (in.size() - 1) % 2) return false;
      if (in[0] == std::byte{0}) {
        if (in.size() != 1) return false;
        m.lParam = 0;
        return true;
      }
      std::byte* p = storage(in.size() - 1 + 2);
      std::memcpy(p, in.data() + 1, in.size() - 1);
      m.lParam = reinterpret_cast<LPARAM>(p);
      return true;
    }
    case WM_GETTEXT: {
      if (in.size() != 1) return false;
      const std::size_t n = std::min<std::size_t>(m.wParam, kMaxTextChars);
      m.wParam = n;
      m.lParam = (in[0] == std::byte{0} || n == 0) ? 0 : reinterpret_cast<LPARAM>(storage(n * 2));
      return true;
    }
    case WM_COPYDATA: {
      if (in.empty()) return false;
      if (in[0] == std::byte{0}) {
        if (in.size() != 1) return false;
        m.lParam = 0;
        return true;
      }
      if (in.size() < 1 + sizeof(std::uint64_t)) return false;
      std::uint64_t dwData;
      std::memcpy(&dwData, in.data() + 1, sizeof dwData);
      const std::size_t n = in.size() - 1 - sizeof dwData;
      std::byte* p = storage(sizeof(COPYDATASTRUCT) + n);
      auto* cds = reinterpret_cast<COPYDATASTRUCT*>(p);
      cds->dwData = static_cast<ULONG_PTR>(dwData);
      cds->cbData = static_cast<DWORD>(n);
      cds->lpData = n ? p + sizeof(COPYDATASTRUCT) : nullptr;
      if (n) std::memcpy(p + sizeof(COPYDATASTRUCT), in.data() + 1 + sizeof dwData, n);
      m.lParam = reinterpret_cast<LPARAM>(p);
      return true;
    }
    default:
      break;
  }
  if (takesItemText(msg)) {
    if (!in.empty()) return false;
    m.lParam = reinterpret_cast<LPARAM>(storage(kItemTextChars * 2));
    return true;
  }
  if (carriesDeviceRecord(msg, m.wParam)) {
    if (in.empty()) {
      m.lParam = 0;
      return true;
    }
    DEV_BROADCAST_HDR hdr;
    if (in.size() < sizeof hdr || in.size() > kMaxDeviceRecord) return false;
    std::memcpy(&hdr, in.data(), sizeof hdr);
    if (hdr.dbch_size != in.size()) return false;
    if (hdr.dbch_devicetype == DBT_DEVTYP_VOLUME && in.size() < sizeof(DEV_BROADCAST_VOLUME)) return false;
    if (hdr.dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
        in.size() < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name))
      return false;
    // Two zero bytes more, so a name that lost its terminator still ends inside the buffer.
    std::byte* p = storage(in.size() + 2);
    std::memcpy(p, in.data(), in.size());
    m.lParam = reinterpret_cast<LPARAM>(p);
    return true;
  }
  if (isItemRecord(msg)) {
    if (in.size() != sizeof(LVITEMW)) return false;
    LVITEMW item;
    std::memcpy(&item, in.data(), sizeof item);
    const bool wantsText = msg == LVM_GETITEMTEXTW || (msg == LVM_GETITEMW && (item.mask & LVIF_TEXT));
    const std::size_t chars = wantsText ? std::min<std::size_t>(std::max(item.cchTextMax, 0), kItemTextChars) : 0;
    std::byte* p = storage(sizeof(LVITEMW) + chars * 2);
    item.pszText = chars ? reinterpret_cast<LPWSTR>(p + sizeof(LVITEMW)) : nullptr;
    item.cchTextMax = static_cast<int>(chars);
    item.puColumns = nullptr;
    std::memcpy(p, &item, sizeof item);
    m.lParam = reinterpret_cast<LPARAM>(p);
    return true;
  }
  if (!in.empty()) return false;
  return true;
}

// Receiving side, after the procedure: what goes back to the sender besides the result.
Bytes marshalReply(const SentMessage& m) {
  Bytes out;
  const UINT msg = m.message;
  if (msg == WM_GETTEXT && m.lParam) {
    putText(out, boundedText(reinterpret_cast<const WCHAR*>(m.lParam), m.wParam));
  } else if (takesItemText(msg) && m.result >= 0) {
    putText(out, boundedText(reinterpret_cast<const WCHAR*>(m.lParam), kItemTextChars));
  } else if ((msg == LVM_GETITEMW || msg == LVM_GETITEMTEXTW) && m.lParam) {
    LVITEMW item;
    std::memcpy(&item, reinterpret_cast<const void*>(m.lParam), sizeof item);
    // The control may point pszText at its own text; only ours is read back.
    const WCHAR* own = reinterpret_cast<const WCHAR*>(m.data.data() + sizeof(LVITEMW));
    std::u16string_view t;
    if (item.pszText == own) t = boundedText(item.pszText, static_cast<std::size_t>(std::max(item.cchTextMax, 0)));
    item.pszText = nullptr;
    putValue(out, item);
    putText(out, t);
  }
  return out;
}

// Sending side: copies the reply's data into the sender's buffers.
void unmarshalReply(UINT msg, WPARAM wParam, LPARAM lParam, const Bytes& in) {
  const std::size_t chars = in.size() / 2;
  if (msg == WM_GETTEXT) {
    if (!lParam || wParam == 0) return;
    auto* buffer = reinterpret_cast<WCHAR*>(lParam);
    std::size_t n = std::min<std::size_t>(chars, wParam - 1);
    std::memcpy(buffer, in.data(), n * 2);
    buffer[n] = 0;
  } else if (takesItemText(msg)) {
    if (!lParam || in.empty()) return;
    auto* buffer = reinterpret_cast<WCHAR*>(lParam);
    std::memcpy(buffer, in.data(), chars * 2);
    buffer[chars] = 0;
  } else if (msg == LVM_GETITEMW || msg == LVM_GETITEMTEXTW) {
    if (!lParam || in.size() < sizeof(LVITEMW)) return;
    auto* item = reinterpret_cast<LVITEMW*>(lParam);
    LVITEMW got;
    std::memcpy(&got, in.data(), sizeof got);
    LPWSTR buffer = item->pszText;
    const int limit = item->cchTextMax;
    PUINT columns = item->puColumns;
    *item = got;
    item->pszText = buffer;
    item->cchTextMax = limit;
    item->puColumns = columns;
    if (buffer && buffer != LPSTR_TEXTCALLBACKW && limit > 0) {
      std::size_t n = std::min<std::size_t>((in.size() - sizeof(LVITEMW)) / 2, static_cast<std::size_t>(limit - 1));
      std::memcpy(buffer, in.data() + sizeof(LVITEMW), n * 2);
      buffer[n] = 0;
    }
  }
}

// ---- Connections ----

// A connection is closed by the listener thread only (so it never reads a descriptor another
// thread closed and the system reused); a writer that fails shuts it down, and the listener,
// seeing it end, drops it.
struct Connection {
  int fd = -1;
  std::string name;  // outgoing: the target's socket name; empty for one accepted
  std::mutex writeMutex;  // guards writing and `closed`
  bool closed = false;
  Bytes inbox;  // touched by the listener thread only

  // A writer gives the connection up.
  void shutDown() {
    std::lock_guard lock(writeMutex);
    if (closed) return;
    closed = true;
    ::shutdown(fd, SHUT_RDWR);
  }

  // Writes one frame whole; false when the connection is closed or broken.
  bool write(const Header& h, const Bytes& payload) {
    std::lock_guard lock(writeMutex);
    if (closed) return false;
    return writeAll(&h, sizeof h) && (payload.empty() || writeAll(payload.data(), payload.size()));
  }

 private:
  bool writeAll(const void* p, std::size_t n) {
    auto* b = static_cast<const char*>(p);
    while (n) {
      ssize_t k = ::send(fd, b, n, MSG_NOSIGNAL);
      if (k > 0) {
        b += k;
        n -= static_cast<std::size_t>(k);
        continue;
      }
      if (k < 0 && errno == EINTR) continue;
      if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, kWriteStallMs) > 0) continue;
      }
      return false;
    }
    return true;
  }
};

struct Pending {
  std::shared_ptr<SentMessage> message;
  Connection* connection = nullptr;
};

// Marks the epoll entry of a listening socket.
constexpr std::uint64_t kListenTag = 1ull << 40;

struct Channel {
  std::mutex mutex;
  int epoll = -1;
  int listenFd = -1;
  std::atomic<std::uint64_t> epoch{0};  // the host epoch listened for
  std::string hostHash;
  std::unordered_map<int, std::shared_ptr<Connection>> byFd;
  std::unordered_map<std::string, std::shared_ptr<Connection>> outgoing;
  std::unordered_map<std::uint64_t, Pending> pending;
  std::uint64_t nextCall = 1;
};

Channel& channel() {
  static Channel* c = new Channel();
  return *c;
}

// FNV-1a of the host folder's canonical path, so every process names the same host alike.
std::string hashHost() {
  std::error_code ec;
  std::string path = std::filesystem::weakly_canonical(Host::current().folder(), ec).string();
  if (ec) path = Host::current().folder().string();
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : path) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

std::string nameFor(const std::string& hostHash, DWORD pid, std::uint64_t start) {
  std::string name(1, '\0');
  name += "kipo/" + hostHash + "/" + std::to_string(pid) + "-" + std::to_string(start);
  return name;
}

bool fillAddress(const std::string& name, sockaddr_un& addr, socklen_t& len) {
  if (name.size() > sizeof(addr.sun_path)) return false;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, name.data(), name.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  return true;
}

Header header(Kind kind, std::uint32_t hwnd, UINT msg, std::uint32_t flags, WPARAM wParam, LPARAM lParam,
              std::uint64_t callId, std::size_t payload) {
  Header h{};
  h.kind = kind;
  h.hwnd = hwnd;
  h.message = msg;
  h.flags = flags;
  h.wParam = static_cast<std::uint64_t>(wParam);
  h.lParam = static_cast<std::int64_t>(lParam);
  h.senderPid = static_cast<std::uint32_t>(::getpid());
  h.senderThread = currentThreadId();
  h.callId = callId;
  h.payloadLength = static_cast<std::uint32_t>(payload);
  return h;
}

// On the listener thread: ends a connection; calls waiting on it fail as if their window had gone.
void drop(const std::shared_ptr<Connection>& conn) {
  Channel& c = channel();
  std::vector<std::shared_ptr<SentMessage>> failed;
  {
    std::lock_guard lock(c.mutex);
    if (auto it = c.byFd.find(conn->fd); it != c.byFd.end() && it->second == conn) c.byFd.erase(it);
    if (auto it = c.outgoing.find(conn->name); it != c.outgoing.end() && it->second == conn) c.outgoing.erase(it);
    for (auto it = c.pending.begin(); it != c.pending.end();) {
      if (it->second.connection == conn.get()) {
        failed.push_back(std::move(it->second.message));
        it = c.pending.erase(it);
      } else {
        ++it;
      }
    }
    std::lock_guard wlock(conn->writeMutex);
    conn->closed = true;
    if (conn->fd >= 0) {
      ::epoll_ctl(c.epoll, EPOLL_CTL_DEL, conn->fd, nullptr);
      ::close(conn->fd);
      conn->fd = -1;
    }
  }
  for (auto& m : failed) {
    {
      std::lock_guard lock(m->sender->mutex);
      m->failure = ERROR_INVALID_WINDOW_HANDLE;
      m->result = 0;
      m->replied = true;
    }
    m->sender->wake();
  }
}

void answer(const std::shared_ptr<Connection>& conn, const Header& req, Status status) {
  conn->write(header(kReply, req.hwnd, req.message, status, 0, 0, req.callId, 0), {});
}

// A request or reply arrived whole; false when it does not add up (the connection then ends).
bool handleFrame(const std::shared_ptr<Connection>& conn, const Header& h, std::span<const std::byte> payload) {
  Channel& c = channel();
  switch (h.kind) {
    case kReply: {
      std::shared_ptr<SentMessage> m;
      {
        std::lock_guard lock(c.mutex);
        auto it = c.pending.find(h.callId);
        if (it == c.pending.end()) return true;  // the sender gave up waiting
        m = std::move(it->second.message);
        c.pending.erase(it);
      }
      {
        std::lock_guard lock(m->sender->mutex);
        if (!m->abandoned) {
          m->result = static_cast<LRESULT>(h.lParam);
          m->data.assign(payload.begin(), payload.end());
          m->failure = h.flags == kOk ? 0 : h.flags == kHung ? ERROR_TIMEOUT : ERROR_INVALID_WINDOW_HANDLE;
          m->replied = true;
        }
      }
      m->sender->wake();
      return true;
    }
    case kPost:
      if (!payload.empty()) return false;
      postFromOutside(h.hwnd, h.message, static_cast<WPARAM>(h.wParam), static_cast<LPARAM>(h.lParam));
      return true;
    case kSend:
    case kNotify: {
      auto m = std::make_shared<SentMessage>();
      m->hwnd = toHwnd(h.hwnd);
      m->message = h.message;
      m->wParam = static_cast<WPARAM>(h.wParam);
      m->lParam = static_cast<LPARAM>(h.lParam);
      std::function<void(SentMessage&)> after;
      if (!unmarshalRequest(*m, payload, after)) return false;
      if (h.kind == kSend) {
        std::weak_ptr<Connection> weak = conn;
        const Header req = h;
        m->replyHook = [weak, req, after = std::move(after)](SentMessage& sm) {
          if (after) after(sm);
          auto target = weak.lock();
          if (!target) return;
          Bytes out = marshalReply(sm);
          target->write(header(kReply, req.hwnd, req.message, kOk, 0, sm.result, req.callId, out.size()), out);
        };
      }
      Queued q = sendFromOutside(m, h.kind == kSend && (h.flags & SMTO_ABORTIFHUNG));
      if (h.kind == kSend && q != Queued::Yes) answer(conn, h, q == Queued::Hung ? kHung : kNoWindow);
      return true;
    }
    default:
      return false;
  }
}

// Reads what arrived on a connection; false when it ended or broke its framing.
bool readFrom(const std::shared_ptr<Connection>& conn) {
  char buf[65536];
  // A peer that writes and exits at once (kipo-host post) leaves its frames and the end of the
  // connection in one read: the frames are still handled before the connection is let go.
  bool ended = false;
  for (;;) {
    ssize_t k = ::recv(conn->fd, buf, sizeof buf, 0);
    if (k == 0) {
      ended = true;
      break;
    }
    if (k < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      ended = true;
      break;
    }
    auto* b = reinterpret_cast<const std::byte*>(buf);
    conn->inbox.insert(conn->inbox.end(), b, b + k);
  }
  std::size_t used = 0;
  Bytes& in = conn->inbox;
  while (in.size() - used >= sizeof(Header)) {
    Header h;
    std::memcpy(&h, in.data() + used, sizeof h);
    if (h.payloadLength > kMaxPayload || h.reserved != 0) return false;
    if (in.size() - used - sizeof h < h.payloadLength) break;
    std::span<const std::byte> payload(in.data() + used + sizeof h, h.payloadLength);
    if (!handleFrame(conn, h, payload)) return false;
    used += sizeof h + h.payloadLength;
  }
  in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(used));
  return !ended;
}

void acceptAll(int listenFd) {
  Channel& c = channel();
  for (;;) {
    int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return;
    }
    auto conn = std::make_shared<Connection>();
    conn->fd = fd;
    std::lock_guard lock(c.mutex);
    c.byFd[fd] = conn;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.u64 = static_cast<std::uint64_t>(fd);
    ::epoll_ctl(c.epoll, EPOLL_CTL_ADD, fd, &ev);
  }
}

[[noreturn]] void listenLoop() {
  Channel& c = channel();
  epoll_event events[32];
  for (;;) {
    int n = ::epoll_wait(c.epoll, events, 32, -1);
    for (int i = 0; i < n; ++i) {
      const std::uint64_t tag = events[i].data.u64;
      if (tag & kListenTag) {
        acceptAll(static_cast<int>(tag & 0xFFFFFFFFu));
        continue;
      }
      std::shared_ptr<Connection> conn;
      {
        std::lock_guard lock(c.mutex);
        auto it = c.byFd.find(static_cast<int>(tag));
        if (it == c.byFd.end()) continue;
        conn = it->second;
      }
      if (!readFrom(conn)) drop(conn);
    }
  }
}

// The connection to a process's listener, made when there is none; null when it cannot be reached.
std::shared_ptr<Connection> connectTo(const WindowRow& target) {
  Channel& c = channel();
  std::string name;
  {
    std::lock_guard lock(c.mutex);
    name = nameFor(c.hostHash, target.pid, target.start);
    if (auto it = c.outgoing.find(name); it != c.outgoing.end()) return it->second;
  }
  sockaddr_un addr;
  socklen_t len;
  if (!fillAddress(name, addr, len)) return nullptr;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  auto conn = std::make_shared<Connection>();
  conn->fd = fd;
  conn->name = name;
  std::lock_guard lock(c.mutex);
  if (auto it = c.outgoing.find(name); it != c.outgoing.end()) {
    ::close(fd);
    return it->second;
  }
  c.outgoing[name] = conn;
  c.byFd[fd] = conn;
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLRDHUP;
  ev.data.u64 = static_cast<std::uint64_t>(fd);
  ::epoll_ctl(c.epoll, EPOLL_CTL_ADD, fd, &ev);
  return conn;
}

// Posts or notifies: a frame nobody answers.
bool sendOneWay(Kind kind, const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam) {
  Bytes payload;
  if (kind == kNotify && !marshalRequest(target, msg, wParam, lParam, payload)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  ensureChannel();
  auto conn = connectTo(target);
  const bool marshalled = !payload.empty();
  if (conn &&
      conn->write(header(kind, target.handle, msg, 0, wParam, marshalled ? 0 : lParam, 0, payload.size()), payload))
    return true;
  if (conn) conn->shutDown();
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

}  // namespace

std::string channelName(DWORD pid, std::uint64_t start) { return nameFor(hashHost(), pid, start); }

void ensureChannel() {
  Channel& c = channel();
  const std::uint64_t epoch = Host::epoch();
  if (c.epoch.load(std::memory_order_acquire) == epoch) return;
  std::lock_guard lock(c.mutex);
  if (c.epoch.load() == epoch) return;
  if (c.epoll < 0) {
    c.epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (c.epoll < 0) return;
    std::thread(listenLoop).detach();
  }
  if (c.listenFd >= 0) {
    ::epoll_ctl(c.epoll, EPOLL_CTL_DEL, c.listenFd, nullptr);
    ::close(c.listenFd);
    c.listenFd = -1;
  }
  c.hostHash = hashHost();
  sockaddr_un addr;
  socklen_t len;
  if (!fillAddress(nameFor(c.hostHash, static_cast<DWORD>(::getpid()), currentStartTime()), addr, len)) return;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 128) != 0) {
    ::close(fd);
    return;
  }
  c.listenFd = fd;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kListenTag | static_cast<std::uint64_t>(fd);
  ::epoll_ctl(c.epoll, EPOLL_CTL_ADD, fd, &ev);
  c.epoch.store(epoch, std::memory_order_release);
}

bool postToProcess(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam) {
  return sendOneWay(kPost, target, msg, wParam, lParam);
}

bool notifyProcess(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam) {
  return sendOneWay(kNotify, target, msg, wParam, lParam);
}

bool sendToProcess(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                   std::uint32_t timeoutMs, LRESULT* result) {
  Bytes payload;
  if (!marshalRequest(target, msg, wParam, lParam, payload)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::uint64_t remoteAddress;
  const bool inTarget = remotePointerIn(msg, payload, remoteAddress);
  ensureChannel();
  auto conn = connectTo(target);
  if (!conn) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  auto m = std::make_shared<SentMessage>();
  m->hwnd = toHwnd(target.handle);
  m->message = msg;
  m->wParam = wParam;
  m->lParam = lParam;
  m->sender = currentQueue();
  Channel& c = channel();
  std::uint64_t id;
  {
    std::lock_guard lock(c.mutex);
    id = c.nextCall++;
    c.pending[id] = Pending{m, conn.get()};
  }
  const bool marshalled = !payload.empty();
  if (!conn->write(header(kSend, target.handle, msg, flags, wParam, marshalled ? 0 : lParam, id, payload.size()),
                   payload)) {
    conn->shutDown();
    {
      std::lock_guard lock(c.mutex);
      c.pending.erase(id);
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  LRESULT r = 0;
  const bool answered = awaitReply(m, flags, timeoutMs, &r);
  {
    std::lock_guard lock(c.mutex);
    c.pending.erase(id);
  }
  if (!answered) return false;
  if (m->failure) {
    SetLastError(m->failure);
    return false;
  }
  if (!inTarget) unmarshalReply(msg, wParam, lParam, m->data);
  *result = r;
  return true;
}

}  // namespace platform::host
