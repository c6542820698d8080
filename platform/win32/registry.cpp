// The Win32 registry calls over the shared store (platform/host/registry_store.h): key handles
// with their access rights, the five predefined keys, the merged HKEY_CLASSES_ROOT view, the
// administrator rule, the 8-bit forms and the shell helpers.
//
// Where the predefined keys lead:
//   HKEY_LOCAL_MACHINE, HKEY_USERS   the two stored roots
//   HKEY_CURRENT_USER                HKEY_USERS\<the current user's SID>
//   HKEY_CURRENT_CONFIG              HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current
//   HKEY_CLASSES_ROOT                merged view of HKLM\Software\Classes and HKCU\Software\Classes
// The classes view, as on Windows XP: a key opened through it is the user's key when the user
// has one, else the machine's; values are read and written on that key; its subkeys are the
// union of both sides. A key created through it that exists on neither side goes to the machine's
// classes when its nearest existing ancestor exists there, else to the user's (so new keys go to
// HKEY_LOCAL_MACHINE, which a user who is not an administrator may not write).
//
// Writes are refused with ERROR_ACCESS_DENIED for a user who is not an administrator except in
// the user's own hive (HKEY_LOCAL_MACHINE, HKEY_USERS\.DEFAULT and other users' hives are the
// machine's); the check is made when a key is opened for writing, as Windows checks a key's ACL,
// and again on each write through a predefined key.
//
// Each call asks platform::fault::check(call, full key path) first; SH* helpers are checked under
// their own name only.
#include "platform/win32/registry.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/host.h"
#include "platform/host/registry_store.h"
#include "platform/win32/system.h"
#include "platform/win32/security.h"

static_assert(std::endian::native == std::endian::little, "registry data is UTF-16LE in memory");

namespace platform::registry {

namespace {

using host::Host;
using text::view;

enum class Root { None, ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// What a handle stands for. Immutable once made; shared with calls in progress on other threads.
struct KeyObject {
  Root root = Root::None;
  bool predefined = false;
  KeyId id = 0;            // the real key (resolved per call for predefined keys)
  REGSAM access = 0;
  bool classes = false;    // reached through HKEY_CLASSES_ROOT
  std::u16string classesPath;  // path below the two classes keys
  std::u16string path;     // full path as opened ("HKEY_CURRENT_USER\Software\X")
  std::uint64_t epoch = 0;
};
using KeyPtr = std::shared_ptr<const KeyObject>;

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr UINT_PTR kPredefinedBase = 0x80000000u;

struct HandleTable {
  std::unordered_map<UINT_PTR, KeyPtr> keys;
  UINT_PTR next = 0x1000;
};

HandleTable& handles() {
  static HandleTable* t = new HandleTable();  // outlives static destructors that close keys
  return *t;
}

KeyPtr makePredefined(Root root, std::u16string_view name) {
  auto k = std::make_shared<KeyObject>();
  k->root = root;
  k->predefined = true;
  k->access = KEY_ALL_ACCESS;
  k->classes = root == Root::ClassesRoot;
  k->path = name;
  return k;
}

KeyPtr predefined(UINT_PTR value) {
  static const KeyPtr keys[] = {
      makePredefined(Root::ClassesRoot, u"HKEY_CLASSES_ROOT"),
      makePredefined(Root::CurrentUser, u"HKEY_CURRENT_USER"),
      makePredefined(Root::LocalMachine, u"HKEY_LOCAL_MACHINE"),
      makePredefined(Root::Users, u"HKEY_USERS"),
      nullptr,  // HKEY_PERFORMANCE_DATA is not provided
      makePredefined(Root::CurrentConfig, u"HKEY_CURRENT_CONFIG"),
  };
  UINT_PTR i = value - kPredefinedBase;
  return i < std::size(keys) ? keys[i] : nullptr;
}

// The object behind a handle, or null for a value that is not an open key.
KeyPtr lookup(HKEY hkey) {
  UINT_PTR value = reinterpret_cast<UINT_PTR>(hkey);
  if (value >= kPredefinedBase && value < kPredefinedBase + 0x10) return predefined(value);
  auto l = lock();
  auto& t = handles();
  auto it = t.keys.find(value);
  return it == t.keys.end() ? nullptr : it->second;
}

HKEY addHandle(std::shared_ptr<KeyObject> key) {
  auto l = lock();
  auto& t = handles();
  UINT_PTR value = t.next;
  t.next += 4;
  t.keys.emplace(value, std::move(key));
  return reinterpret_cast<HKEY>(value);
}

std::u16string joinPath(std::u16string_view a, std::u16string_view b) {
  std::u16string out(a);
  if (!a.empty() && !b.empty()) out += u'\\';
  out += b;
  return out;
}

// A caller's subkey path: one trailing backslash is dropped; a leading or doubled backslash is
// a bad path; a component longer than a key name may be, a name holding a NUL (only a counted
// string can carry one, as the stand-in's own tools pass) and a path of more levels than a tree
// may have are invalid parameters.
LONG cleanSubKey(std::u16string_view in, std::u16string_view& out) {
  if (!in.empty() && in.back() == u'\\') in.remove_suffix(1);
  out = in;
  if (in.find(u'\0') != std::u16string_view::npos) return ERROR_INVALID_PARAMETER;
  std::size_t start = 0, levels = 0;
  while (start <= in.size() && !in.empty()) {
    std::size_t cut = in.find(u'\\', start);
    std::size_t len = (cut == std::u16string_view::npos ? in.size() : cut) - start;
    if (len == 0) return ERROR_BAD_PATHNAME;
    if (len > REG_MAX_KEY_NAME) return ERROR_INVALID_PARAMETER;
    if (++levels > REG_MAX_KEY_DEPTH) return ERROR_INVALID_PARAMETER;
    if (cut == std::u16string_view::npos) break;
    start = cut + 1;
  }
  return ERROR_SUCCESS;
}

// Whether the calling thread's user may write keys of this key's hive. The user is the thread's
// effective one (an impersonated user on an impersonating thread, platform/win32/security.h),
// whose own hive is HKEY_USERS\<its SID>; HKEY_CURRENT_USER itself stays the process user's
// hive, as on XP, so an impersonating user who is not an administrator may not write there.
bool hiveWritable(Store& s, KeyId id) {
  if (setupActive()) return true;
  security::Identity who = security::effectiveIdentity();
  if (who.admin) return true;
  Node* n = s.node(id);
  if (!n) return false;
  if (!who.impersonating) return n->hive == s.currentUserHive();
  return n->hive == s.child(s.usersRoot(), s.userSid(who.name));
}

REGSAM mapGeneric(REGSAM sam) {
  REGSAM out = sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | KEY_WOW64_RES);
  if (sam & GENERIC_READ) out |= KEY_READ;
  if (sam & GENERIC_WRITE) out |= KEY_WRITE;
  if (sam & GENERIC_EXECUTE) out |= KEY_EXECUTE;
  if (sam & GENERIC_ALL) out |= KEY_ALL_ACCESS;
  return out;
}

// The access a new handle on key `id` gets for `sam`, or ERROR_ACCESS_DENIED.
LONG grant(Store& s, KeyId id, REGSAM sam, REGSAM& granted) {
  sam = mapGeneric(sam);
  bool writable = hiveWritable(s, id);
  if (sam & MAXIMUM_ALLOWED) {
    granted = (sam & ~MAXIMUM_ALLOWED) | (writable ? KEY_ALL_ACCESS : KEY_READ);
    if (!writable && (granted & kWriteRights)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
  }
  if ((sam & kWriteRights) && !writable) return ERROR_ACCESS_DENIED;
  granted = sam;
  return ERROR_SUCCESS;
}

KeyId userClasses(Store& s) { return s.walk(s.currentUserHive(), kClassesPath); }
KeyId machineClasses(Store& s) { return s.walk(s.machineRoot(), kClassesPath); }

// A path of the classes view: the user's key when there is one, else the machine's, else 0.
KeyId resolveClasses(Store& s, std::u16string_view rel) {
  if (KeyId u = userClasses(s); u)
    if (KeyId id = s.walk(u, rel)) return id;
  if (KeyId m = machineClasses(s); m) return s.walk(m, rel);
  return 0;
}

// The real key a handle stands for in this call.
LONG target(Store& s, const KeyObject& k, KeyId& id) {
  if (!k.predefined) {
    if (k.epoch != s.epoch()) return ERROR_INVALID_HANDLE;
    if (!s.node(k.id)) return ERROR_KEY_DELETED;
    id = k.id;
    return ERROR_SUCCESS;
  }
  switch (k.root) {
    case Root::LocalMachine: id = s.machineRoot(); break;
    case Root::Users: id = s.usersRoot(); break;
    case Root::CurrentUser: id = s.currentUserHive(); break;
    case Root::CurrentConfig: id = s.walk(s.machineRoot(), kCurrentConfigPath); break;
    case Root::ClassesRoot: id = resolveClasses(s, u""); break;
    case Root::None: id = 0; break;
  }
  return id ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Subkeys as the handle shows them: the classes view merges both sides (the user's spelling
// first), cached per handle until the store changes.
const std::vector<Child>& subkeysOf(Store& s, const KeyObject& k, KeyId id) {
  if (!k.classes) return s.children(id);
  struct Merged {
    KeyId user = -1, machine = -1;
    std::uint64_t generation = ~0ull;
    std::vector<Child> list;
  };
  static Merged merged;
  KeyId u = userClasses(s), m = machineClasses(s);
  KeyId uk = u ? s.walk(u, k.classesPath) : 0, mk = m ? s.walk(m, k.classesPath) : 0;
  if (merged.user == uk && merged.machine == mk && merged.generation == s.generation()) return merged.list;
  std::vector<Child> list;
  if (uk) list = s.children(uk);
  if (mk)
    for (const Child& c : s.children(mk))
      if (std::none_of(list.begin(), list.end(), [&](const Child& e) { return text::equalNoCase(e.name, c.name); }))
        list.push_back(c);
  std::stable_sort(list.begin(), list.end(), [](const Child& a, const Child& b) { return text::compareNoCase(a.name, b.name) < 0; });
  merged.user = uk;
  merged.machine = mk;
  merged.generation = s.generation();
  merged.list = std::move(list);
  return merged.list;
}

LONG fromDbError(const host::DbError& e) {
  switch (e.code() & 0xff) {
    case 13: return ERROR_DISK_FULL;  // SQLITE_FULL
    case 5:                           // SQLITE_BUSY
    case 6: return ERROR_BUSY;        // SQLITE_LOCKED
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

// Runs a call body, turning a database failure into an error code with the cache dropped.
template <class F>
LONG guarded(F&& body) {
  try {
    return body();
  } catch (const host::DbError& e) {
    auto l = lock();
    Store::get().invalidate();
    return fromDbError(e);
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

// ---- the operations, shared by the W, A and SH forms ----

struct Opened {
  std::shared_ptr<KeyObject> key;
  bool created = false;
};

// Opens (create = false) or creates hkey\sub. Runs under the lock; with create, inside the
// caller's WriteScope, so that what exists is decided by the database in the same transaction.
LONG openKey(Store& s, const KeyObject& parent, std::u16string_view sub, REGSAM sam, bool create, Opened& out) {
  KeyId base;
  if (LONG rc = target(s, parent, base)) return rc;
  auto key = std::make_shared<KeyObject>();
  key->root = parent.root;
  key->classes = parent.classes;
  key->path = joinPath(parent.path, sub);
  key->epoch = s.epoch();
  KeyId id = 0;
  if (parent.classes) {
    key->classesPath = joinPath(parent.classesPath, sub);
    id = resolveClasses(s, key->classesPath);
  } else {
    id = s.walk(base, sub);
  }
  if (!id && !create) return ERROR_FILE_NOT_FOUND;
  if (!id) {
    // Find the nearest existing ancestor and the side it is created under.
    std::u16string_view full = parent.classes ? std::u16string_view(key->classesPath) : sub;
    std::size_t have = 0;  // characters of `full` that exist
    KeyId from = parent.classes ? 0 : base;
    if (parent.classes) {
      KeyId m = machineClasses(s), u = userClasses(s);
      for (std::size_t len = full.size();; len = full.rfind(u'\\', len - 1)) {
        if (len == std::u16string_view::npos) len = 0;
        std::u16string_view prefix = full.substr(0, len);
        if (KeyId mk = m ? s.walk(m, prefix) : 0) from = mk;
        else if (KeyId uk = u ? s.walk(u, prefix) : 0) from = uk;
        if (from) {
          have = len;
          break;
        }
        if (len == 0) break;
      }
      if (!from) return ERROR_FILE_NOT_FOUND;
    } else {
      // Walk as far as the path exists.
      std::size_t pos = 0;
      while (pos < full.size()) {
        std::size_t cut = full.find(u'\\', pos);
        std::size_t end = cut == std::u16string_view::npos ? full.size() : cut;
        KeyId next = s.child(from, full.substr(pos, end - pos));
        if (!next) break;
        from = next;
        have = end;
        pos = end + 1;
      }
    }
    if (!(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (!hiveWritable(s, from)) return ERROR_ACCESS_DENIED;
    REGSAM granted;
    if (LONG rc = grant(s, from, sam, granted)) return rc;
    std::u16string_view rest = full.substr(have);
    if (!rest.empty() && rest.front() == u'\\') rest.remove_prefix(1);
    // A hive is at most REG_MAX_KEY_DEPTH levels deep, so no walk of it runs away.
    if (s.depth(from) + static_cast<std::size_t>(std::count(rest.begin(), rest.end(), u'\\')) + 1 > REG_MAX_KEY_DEPTH)
      return ERROR_INVALID_PARAMETER;
    while (!rest.empty()) {
      std::size_t cut = rest.find(u'\\');
      from = s.createChild(from, rest.substr(0, cut));
      rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut + 1);
    }
    key->id = from;
    key->access = granted;
    out.key = std::move(key);
    out.created = true;
    return ERROR_SUCCESS;
  }
  if (LONG rc = grant(s, id, sam, key->access)) return rc;
  key->id = id;
  out.key = std::move(key);
  return ERROR_SUCCESS;
}

// RegOpenKeyEx/RegCreateKeyEx behind every form.
LONG openOrCreate(const char* call, HKEY hkey, std::u16string_view rawSub, REGSAM sam, bool create, PHKEY result,
                  LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  KeyPtr parent = lookup(hkey);
  if (!parent) {
    *result = nullptr;
    return ERROR_INVALID_HANDLE;
  }
  std::u16string_view sub;
  LONG rc = cleanSubKey(rawSub, sub);
  if (DWORD f = fault::check(call, joinPath(parent->path, sub))) {
    *result = nullptr;
    return static_cast<LONG>(f);
  }
  if (rc == ERROR_SUCCESS) {
    rc = guarded([&]() -> LONG {
      Opened o;
      {
        auto l = lock();
        LONG e = openKey(Store::get(), *parent, sub, sam, false, o);
        if (e && !(create && e == ERROR_FILE_NOT_FOUND)) return e;
      }
      if (!o.key) {
        WriteScope w;
        if (LONG e = openKey(w.store(), *parent, sub, sam, true, o)) return e;
        w.commit();
      }
      *result = addHandle(std::move(o.key));
      if (disposition) *disposition = o.created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
      return ERROR_SUCCESS;
    });
  }
  if (rc != ERROR_SUCCESS) *result = nullptr;
  return rc;
}

// Common start of a call on one handle: the object, the fault check and a lock.
struct Call {
  KeyPtr key;
  LONG early = ERROR_SUCCESS;
  Call(const char* name, HKEY hkey) : key(lookup(hkey)) {
    if (!key) early = ERROR_INVALID_HANDLE;
    else if (DWORD f = fault::check(name, key->path)) early = static_cast<LONG>(f);
  }
};

LONG writeCheck(Store& s, const KeyObject& k, KeyId id, REGSAM need) {
  if (!(k.access & need)) return ERROR_ACCESS_DENIED;
  if (k.predefined && !hiveWritable(s, id)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// Copies `data` to a caller's buffer with the size rules of RegQueryValueEx.
LONG deliver(DWORD type, std::string_view data, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData && data.size() > *lpcbData) {
    if (lpType) *lpType = type;
    *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_MORE_DATA;
  }
  if (lpData && !data.empty()) std::memcpy(lpData, data.data(), data.size());
  if (lpType) *lpType = type;
  if (lpcbData) *lpcbData = static_cast<DWORD>(data.size());
  return ERROR_SUCCESS;
}

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// UTF-16LE bytes to ANSI bytes (an odd last byte is kept as it is).
std::string wideBytesToAnsi(std::string_view bytes) {
  std::u16string w(bytes.size() / 2, u'\0');
  if (!w.empty()) std::memcpy(w.data(), bytes.data(), w.size() * 2);
  std::string out = text::wideToAnsi(w);
  if (bytes.size() % 2) out += bytes.back();
  return out;
}

std::string wideToBytes(std::u16string_view w) {
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
}

std::u16string fromAnsi(LPCSTR s) { return s ? text::ansiToWide(s) : std::u16string(); }

// RegQueryValueEx ends a string type that was stored without its NUL with one when the caller's
// buffer has room for it; the size reported stays the stored one.
void terminate(DWORD type, std::size_t size, std::size_t unit, LPBYTE lpData, DWORD room) {
  if (!lpData || !isStringType(type) || size < unit || size + unit > room) return;
  if (std::all_of(lpData + size - unit, lpData + size, [](BYTE b) { return b == 0; })) return;
  std::memset(lpData + size, 0, unit);
}

LONG queryValue(HKEY hkey, std::u16string_view name, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData, bool ansi,
                const char* call) {
  Call c(call, hkey);
  if (c.early) return c.early;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  return guarded([&]() -> LONG {
    auto l = lock();
    Store& s = Store::get();
    KeyId id;
    if (LONG rc = target(s, *c.key, id)) return rc;
    if (!(c.key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const Value* v = s.value(id, name);
    if (!v) {
      // A size query learns there is nothing; a caller's buffer size is left as it was.
      if (lpcbData && !lpData) *lpcbData = 0;
      return ERROR_FILE_NOT_FOUND;
    }
    DWORD room = lpcbData ? *lpcbData : 0;
    std::string converted;
    if (ansi && isStringType(v->type)) converted = wideBytesToAnsi(v->data);
    std::string_view bytes = ansi && isStringType(v->type) ? std::string_view(converted) : std::string_view(v->data);
    LONG rc = deliver(v->type, bytes, lpType, lpData, lpcbData);
    if (rc == ERROR_SUCCESS) terminate(v->type, bytes.size(), ansi ? 1 : 2, lpData, room);
    return rc;
  });
}

// Copies n bytes at `at` without touching memory that is not there: the kernel reads them, so an
// unmapped or protected page is an answer (false), not a crash, and no sanitizer sees a read
// past a caller's buffer. A process may always read itself this way; where the call is refused
// the answer is false.
bool probeRead(const void* at, void* out, std::size_t n) {
  iovec local{out, n};
  iovec remote{const_cast<void*>(at), n};
  return ::syscall(SYS_process_vm_readv, ::getpid(), &local, 1UL, &remote, 1UL, 0UL) == static_cast<long>(n);
}

// The `unit` bytes after the caller's `size` bytes, for countWithNul. Bytes in the same 4 KB
// block as the last byte of the data, which was just read, are on a readable page and are read
// directly: the probe is a system call or two, and every string a program writes (a crash mark
// per file copied among them) would pay them. Under AddressSanitizer a read past a caller's
// buffer would be reported, so there the probe is always made.
bool peekAfter(const BYTE* data, std::size_t size, BYTE* out, std::size_t unit) {
#if !defined(__SANITIZE_ADDRESS__)
  const auto last = reinterpret_cast<std::uintptr_t>(data + size - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(data + size + unit - 1);
  if (last / 4096 == end / 4096) {
    std::memcpy(out, data + size, unit);
    return true;
  }
#endif
  return probeRead(data + size, out, unit);
}

// The size RegSetValueEx stores for `size` bytes at `data`: as NT does, a string type whose
// count leaves out the NUL that follows it in memory is stored with that NUL. Only whole
// characters count (an odd wide count is stored as given), and the character after the count
// is peeked through probeRead, so a buffer ending at the edge of readable memory is stored as
// given, as NT's guarded peek does.
DWORD countWithNul(DWORD type, const BYTE* data, DWORD size, bool ansi) {
  std::size_t unit = ansi ? 1 : 2;
  if (!data || !isStringType(type) || size < unit || size % unit || size > 0xFFFFFFFFu - unit) return size;
  if (std::all_of(data + size - unit, data + size, [](BYTE b) { return b == 0; })) return size;
  BYTE next[2] = {1, 1};
  if (!peekAfter(data, size, next, unit)) return size;
  return std::all_of(next, next + unit, [](BYTE b) { return b == 0; }) ? size + static_cast<DWORD>(unit) : size;
}

// The bytes RegSetValueEx and SHSetValue store for the caller's data.
std::string storedBytes(DWORD type, const BYTE* data, DWORD size, bool ansi) {
  std::string bytes(reinterpret_cast<const char*>(data), data ? countWithNul(type, data, size, ansi) : 0);
  if (ansi && isStringType(type)) bytes = wideToBytes(text::ansiToWide(bytes));
  return bytes;
}

LONG setValue(HKEY hkey, std::u16string_view name, DWORD type, const BYTE* data, DWORD size, bool ansi, const char* call) {
  Call c(call, hkey);
  if (c.early) return c.early;
  if (!data && size) return ERROR_NOACCESS;
  if (name.size() > REG_MAX_VALUE_NAME) return ERROR_INVALID_PARAMETER;
  std::string bytes = storedBytes(type, data, size, ansi);
  return guarded([&]() -> LONG {
    WriteScope w;
    Store& s = w.store();
    KeyId id;
    if (LONG rc = target(s, *c.key, id)) return rc;
    if (LONG rc = writeCheck(s, *c.key, id, KEY_SET_VALUE)) return rc;
    s.setValue(id, name, type, bytes);
    w.commit();
    return ERROR_SUCCESS;
  });
}

LONG deleteValue(HKEY hkey, std::u16string_view name, const char* call) {
  Call c(call, hkey);
  if (c.early) return c.early;
  return guarded([&]() -> LONG {
    WriteScope w;
    Store& s = w.store();
    KeyId id;
    if (LONG rc = target(s, *c.key, id)) return rc;
    if (LONG rc = writeCheck(s, *c.key, id, KEY_SET_VALUE)) return rc;
    if (!s.deleteValue(id, name)) return ERROR_FILE_NOT_FOUND;
    w.commit();
    return ERROR_SUCCESS;
  });
}

// RegDeleteKey (recursive = false: refused when the key has subkeys) and SHDeleteKey.
LONG deleteKey(HKEY hkey, std::u16string_view rawSub, bool recursive, bool onlyEmpty, const char* call) {
  KeyPtr parent = lookup(hkey);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::u16string_view sub;
  LONG rc = cleanSubKey(rawSub, sub);
  if (DWORD f = fault::check(call, joinPath(parent->path, sub))) return static_cast<LONG>(f);
  if (rc) return rc;
  return guarded([&]() -> LONG {
    WriteScope w;
    Store& s = w.store();
    Opened o;
    if (LONG e = openKey(s, *parent, sub, KEY_READ, false, o)) return e;
    KeyId id = o.key->id;
    Node* n = s.node(id);
    if (!n || n->parent == 0 || n->hive == id) return ERROR_ACCESS_DENIED;  // roots and hives stay
    if (!hiveWritable(s, id)) return ERROR_ACCESS_DENIED;
    if (onlyEmpty && (!s.children(id).empty() || !s.values(id).empty())) return ERROR_KEY_HAS_CHILDREN;
    if (!recursive && !s.children(id).empty()) return ERROR_ACCESS_DENIED;
    s.deleteTree(id);
    w.commit();
    return ERROR_SUCCESS;
  });
}

// Writes `name` and its NUL into a buffer of *cch characters; ERROR_MORE_DATA, touching
// nothing, when it does not fit.
template <class Ch>
LONG putName(const std::basic_string<Ch>& name, Ch* buf, LPDWORD cch) {
  if (name.size() + 1 > *cch) return ERROR_MORE_DATA;
  std::copy(name.begin(), name.end(), buf);
  buf[name.size()] = 0;
  *cch = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

template <class Ch>
LONG enumKey(const char* call, HKEY hkey, DWORD index, Ch* name, LPDWORD cch, Ch* cls, LPDWORD cchClass,
             PFILETIME lastWrite) {
  Call c(call, hkey);
  if (c.early) return c.early;
  if (!name || !cch) return ERROR_INVALID_PARAMETER;
  return guarded([&]() -> LONG {
    auto l = lock();
    Store& s = Store::get();
    KeyId id;
    if (LONG rc = target(s, *c.key, id)) return rc;
    if (!(c.key->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    const auto& list = subkeysOf(s, *c.key, id);
    if (index >= list.size()) return ERROR_NO_MORE_ITEMS;
    const Child& child = list[index];
    LONG rc;
    if constexpr (sizeof(Ch) == 1) rc = putName(text::wideToAnsi(child.name), name, cch);
    else rc = putName(child.name, name, cch);
    if (rc) return rc;
    if (cls && cchClass) {
      if (*cchClass == 0) return ERROR_MORE_DATA;
      cls[0] = 0;
      *cchClass = 0;
    }
    if (lastWrite) {
      Node* n = s.node(child.id);
      *lastWrite = u64ToFileTime(n ? n->written : 0);
    }
    return ERROR_SUCCESS;
  });
}

template <class Ch>
LONG enumValue(const char* call, HKEY hkey, DWORD index, Ch* name, LPDWORD cch, LPDWORD lpType, LPBYTE lpData,
               LPDWORD lpcbData) {
  Call c(call, hkey);
  if (c.early) return c.early;
  if (!name || !cch || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  return guarded([&]() -> LONG {
    auto l = lock();
    Store& s = Store::get();
    KeyId id;
    if (LONG rc = target(s, *c.key, id)) return rc;
    if (!(c.key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const auto& list = s.values(id);
    if (index >= list.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = list[index];
    std::string converted;
    if constexpr (sizeof(Ch) == 1) {
      if (isStringType(v.type)) converted = wideBytesToAnsi(v.data);
    }
    std::string_view bytes = sizeof(Ch) == 1 && isStringType(v.type) ? std::string_view(converted) : std::string_view(v.data);
    LONG rc;
    if constexpr (sizeof(Ch) == 1) rc = putName(text::wideToAnsi(v.name), name, cch);
    else rc = putName(v.name, name, cch);
    if (rc) {
      // A name that does not fit still tells the value's type and data size; nothing is copied.
      if (lpType) *lpType = v.type;
      if (lpcbData) *lpcbData = static_cast<DWORD>(bytes.size());
      return rc;
    }
    return deliver(v.type, bytes, lpType, lpData, lpcbData);
  });
}

// SHCopyKey: values then subkeys, recursively, merging into the destination.
void copyTree(Store& s, KeyId from, KeyId to) {
  std::vector<Value> values = s.values(from);
  for (const Value& v : values) s.setValue(to, v.name, v.type, v.data);
  std::vector<Child> children = s.children(from);
  for (const Child& c : children) {
    KeyId dest = s.child(to, c.name);
    if (!dest) dest = s.createChild(to, c.name);
    copyTree(s, c.id, dest);
  }
}

// A fresh host's structural keys; the facilities that fill them run later.
const std::u16string_view kMachineKeys[] = {
    u"HARDWARE\\DESCRIPTION\\System",
    u"SAM",
    u"SECURITY",
    u"SOFTWARE\\Classes",
    u"SOFTWARE\\Microsoft",
    u"SYSTEM\\CurrentControlSet\\Control",
    u"SYSTEM\\CurrentControlSet\\Enum",
    u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
    u"SYSTEM\\CurrentControlSet\\Services",
    u"SYSTEM\\MountedDevices",
};

KeyId ensurePath(Store& s, KeyId from, std::u16string_view path) {
  while (!path.empty()) {
    std::size_t cut = path.find(u'\\');
    std::u16string_view part = path.substr(0, cut);
    KeyId next = s.child(from, part);
    from = next ? next : s.createChild(from, part);
    path = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut + 1);
  }
  return from;
}

host::CreateStep structuralKeys(10, [](Host&) {
  beginSetup();
  WriteScope w;
  Store& s = w.store();
  for (auto path : kMachineKeys) ensurePath(s, s.machineRoot(), path);
  ensurePath(s, s.usersRoot(), u".DEFAULT\\Software\\Classes");
  ensurePath(s, s.currentUserHive(), kClassesPath);
  w.commit();
});
// Last of all the steps: setup is over, the administrator rule applies again.
host::CreateStep endOfSetup(1 << 30, [](Host&) { endSetup(); });

}  // namespace

}  // namespace platform::registry

using namespace platform::registry;
using platform::text::view;

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return openOrCreate("RegOpenKeyExW", hKey, view(lpSubKey), samDesired, false, phkResult, nullptr);
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return openOrCreate("RegOpenKeyExA", hKey, fromAnsi(lpSubKey), samDesired, false, phkResult, nullptr);
}

// RegOpenKey hands back the same handle for an empty subkey and opens with full access.
LONG RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  if (!lpSubKey || !*lpSubKey) {
    if (!lookup(hKey)) return ERROR_INVALID_HANDLE;
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  return openOrCreate("RegOpenKeyW", hKey, view(lpSubKey), MAXIMUM_ALLOWED, false, phkResult, nullptr);
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  std::u16string sub = fromAnsi(lpSubKey);
  return RegOpenKeyW(hKey, lpSubKey ? sub.c_str() : nullptr, phkResult);
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired, const SECURITY_ATTRIBUTES*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
  return openOrCreate("RegCreateKeyExW", hKey, view(lpSubKey), samDesired, true, phkResult, lpdwDisposition);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, const SECURITY_ATTRIBUTES*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
  return openOrCreate("RegCreateKeyExA", hKey, fromAnsi(lpSubKey), samDesired, true, phkResult, lpdwDisposition);
}

LONG RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  return openOrCreate("RegCreateKeyW", hKey, view(lpSubKey), MAXIMUM_ALLOWED, true, phkResult, nullptr);
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return openOrCreate("RegCreateKeyA", hKey, fromAnsi(lpSubKey), MAXIMUM_ALLOWED, true, phkResult, nullptr);
}

LONG RegCloseKey(HKEY hKey) {
  UINT_PTR value = reinterpret_cast<UINT_PTR>(hKey);
  if (value >= kPredefinedBase && value < kPredefinedBase + 0x10)
    return predefined(value) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  auto l = lock();
  return handles().keys.erase(value) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// Every write is committed when its call returns; flushing only checks the handle.
LONG RegFlushKey(HKEY hKey) {
  Call c("RegFlushKey", hKey);
  if (c.early) return c.early;
  return guarded([&]() -> LONG {
    auto l = lock();
    KeyId id;
    return target(Store::get(), *c.key, id);
  });
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return queryValue(hKey, view(lpValueName), lpType, lpData, lpcbData, false, "RegQueryValueExW");
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return queryValue(hKey, fromAnsi(lpValueName), lpType, lpData, lpcbData, true, "RegQueryValueExA");
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  return setValue(hKey, view(lpValueName), dwType, lpData, cbData, false, "RegSetValueExW");
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  return setValue(hKey, fromAnsi(lpValueName), dwType, lpData, cbData, true, "RegSetValueExA");
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return deleteValue(hKey, view(lpValueName), "RegDeleteValueW");
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return deleteValue(hKey, fromAnsi(lpValueName), "RegDeleteValueA");
}

// RegDeleteKey needs a subkey string; an empty one deletes the key of the handle itself.
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return deleteKey(hKey, view(lpSubKey), false, false, "RegDeleteKeyW");
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return deleteKey(hKey, fromAnsi(lpSubKey), false, false, "RegDeleteKeyA");
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD, LPWSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  return enumKey("RegEnumKeyExW", hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  return enumKey("RegEnumKeyExA", hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
  return enumKey("RegEnumKeyW", hKey, dwIndex, lpName, &cchName, static_cast<LPWSTR>(nullptr), nullptr, nullptr);
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
  return enumKey("RegEnumKeyA", hKey, dwIndex, lpName, &cchName, static_cast<LPSTR>(nullptr), nullptr, nullptr);
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData) {
  return enumValue("RegEnumValueW", hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData) {
  return enumValue("RegEnumValueA", hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
  Call c("RegQueryInfoKeyW", hKey);
  if (c.early) return c.early;
  if (lpClass && !lpcchClass) return ERROR_INVALID_PARAMETER;
  return guarded([&]() -> LONG {
    auto l = lock();
    Store& s = Store::get();
    KeyId id;
    if (LONG rc = target(s, *c.key, id)) return rc;
    if (!(c.key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (lpClass) {
      if (*lpcchClass == 0) return ERROR_MORE_DATA;
      lpClass[0] = 0;
    }
    if (lpcchClass) *lpcchClass = 0;
    const auto& subkeys = subkeysOf(s, *c.key, id);
    std::size_t maxSub = 0, maxName = 0, maxData = 0;
    for (const Child& k : subkeys) maxSub = std::max(maxSub, k.name.size());
    const auto& values = s.values(id);
    for (const Value& v : values) {
      maxName = std::max(maxName, v.name.size());
      maxData = std::max(maxData, v.data.size());
    }
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(subkeys.size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSub);
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = static_cast<DWORD>(values.size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(maxName);
    if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(maxData);
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) {
      Node* n = s.node(id);
      *lpftLastWriteTime = platform::u64ToFileTime(n ? n->written : 0);
    }
    return ERROR_SUCCESS;
  });
}

namespace {

// The shell helpers: one fault check under their own name, then the operation on hkey\sub.
DWORD shSetValue(const char* call, HKEY hkey, std::u16string_view rawSub, std::u16string_view value, DWORD type,
                 LPCVOID data, DWORD size, bool ansi) {
  KeyPtr parent = lookup(hkey);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::u16string_view sub;
  LONG rc = cleanSubKey(rawSub, sub);
  if (DWORD f = platform::fault::check(call, joinPath(parent->path, sub))) return f;
  if (rc) return static_cast<DWORD>(rc);
  if (!data && size) return ERROR_NOACCESS;
  if (value.size() > REG_MAX_VALUE_NAME) return ERROR_INVALID_PARAMETER;
  std::string bytes = storedBytes(type, static_cast<const BYTE*>(data), size, ansi);
  return static_cast<DWORD>(guarded([&]() -> LONG {
    WriteScope w;
    Store& s = w.store();
    Opened o;
    if (LONG e = openKey(s, *parent, sub, KEY_SET_VALUE, true, o)) return e;
    s.setValue(o.key->id, value, type, bytes);
    w.commit();
    return ERROR_SUCCESS;
  }));
}

// SHGetValue reads as SHQueryValueEx does: a REG_EXPAND_SZ comes back expanded, as REG_SZ.
DWORD shGetValue(const char* call, HKEY hkey, std::u16string_view rawSub, std::u16string_view value, DWORD* type,
                 void* data, DWORD* size, bool ansi) {
  KeyPtr parent = lookup(hkey);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::u16string_view sub;
  LONG rc = cleanSubKey(rawSub, sub);
  if (DWORD f = platform::fault::check(call, joinPath(parent->path, sub))) return f;
  if (rc) return static_cast<DWORD>(rc);
  if (data && !size) return ERROR_INVALID_PARAMETER;
  DWORD foundType = 0;
  std::string bytes;
  rc = guarded([&]() -> LONG {
    auto l = lock();
    Store& s = Store::get();
    Opened o;
    if (LONG e = openKey(s, *parent, sub, KEY_QUERY_VALUE, false, o)) return e;
    const Value* v = s.value(o.key->id, value);
    if (!v) return ERROR_FILE_NOT_FOUND;
    foundType = v->type;
    bytes = v->data;
    return ERROR_SUCCESS;
  });
  if (rc == ERROR_FILE_NOT_FOUND && size) *size = 0;
  if (rc) return static_cast<DWORD>(rc);
  // Expanding reads the environment, which may itself read the registry: done outside the lock.
  if (foundType == REG_EXPAND_SZ) {
    std::u16string text(bytes.size() / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * 2);
    text = text.substr(0, text.find(u'\0'));
    DWORD need = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    std::u16string expanded(need, u'\0');
    if (need) ExpandEnvironmentStringsW(text.c_str(), expanded.data(), need);
    if (!expanded.empty() && expanded.back() == 0) expanded.pop_back();
    bytes = wideToBytes(expanded + u'\0');
    foundType = REG_SZ;
  }
  if (ansi && isStringType(foundType)) bytes = wideBytesToAnsi(bytes);
  return static_cast<DWORD>(deliver(foundType, bytes, type, static_cast<LPBYTE>(data), size));
}

}  // namespace

DWORD SHSetValueW(HKEY hkey, LPCWSTR pszSubKey, LPCWSTR pszValue, DWORD dwType, LPCVOID pvData, DWORD cbData) {
  return shSetValue("SHSetValueW", hkey, view(pszSubKey), view(pszValue), dwType, pvData, cbData, false);
}

DWORD SHSetValueA(HKEY hkey, LPCSTR pszSubKey, LPCSTR pszValue, DWORD dwType, LPCVOID pvData, DWORD cbData) {
  return shSetValue("SHSetValueA", hkey, fromAnsi(pszSubKey), fromAnsi(pszValue), dwType, pvData, cbData, true);
}

DWORD SHGetValueW(HKEY hkey, LPCWSTR pszSubKey, LPCWSTR pszValue, DWORD* pdwType, void* pvData, DWORD* pcbData) {
  return shGetValue("SHGetValueW", hkey, view(pszSubKey), view(pszValue), pdwType, pvData, pcbData, false);
}

DWORD SHGetValueA(HKEY hkey, LPCSTR pszSubKey, LPCSTR pszValue, DWORD* pdwType, void* pvData, DWORD* pcbData) {
  return shGetValue("SHGetValueA", hkey, fromAnsi(pszSubKey), fromAnsi(pszValue), pdwType, pvData, pcbData, true);
}

DWORD SHDeleteValueW(HKEY hkey, LPCWSTR pszSubKey, LPCWSTR pszValue) {
  KeyPtr parent = lookup(hkey);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::u16string_view sub;
  LONG rc = cleanSubKey(view(pszSubKey), sub);
  if (DWORD f = platform::fault::check("SHDeleteValueW", joinPath(parent->path, sub))) return f;
  if (rc) return static_cast<DWORD>(rc);
  return static_cast<DWORD>(guarded([&]() -> LONG {
    WriteScope w;
    Store& s = w.store();
    Opened o;
    if (LONG e = openKey(s, *parent, sub, KEY_SET_VALUE, false, o)) return e;
    if (!s.deleteValue(o.key->id, view(pszValue))) return ERROR_FILE_NOT_FOUND;
    w.commit();
    return ERROR_SUCCESS;
  }));
}

DWORD SHDeleteKeyW(HKEY hkey, LPCWSTR pszSubKey) {
  return static_cast<DWORD>(deleteKey(hkey, view(pszSubKey), true, false, "SHDeleteKeyW"));
}

DWORD SHDeleteKeyA(HKEY hkey, LPCSTR pszSubKey) {
  return static_cast<DWORD>(deleteKey(hkey, fromAnsi(pszSubKey), true, false, "SHDeleteKeyA"));
}

DWORD SHDeleteEmptyKeyW(HKEY hkey, LPCWSTR pszSubKey) {
  return static_cast<DWORD>(deleteKey(hkey, view(pszSubKey), false, true, "SHDeleteEmptyKeyW"));
}

DWORD SHCopyKeyW(HKEY hkeySrc, LPCWSTR pszSrcSubKey, HKEY hkeyDest, DWORD) {
  KeyPtr src = lookup(hkeySrc), dest = lookup(hkeyDest);
  if (!src || !dest) return ERROR_INVALID_HANDLE;
  std::u16string_view sub;
  LONG rc = cleanSubKey(view(pszSrcSubKey), sub);
  if (DWORD f = platform::fault::check("SHCopyKeyW", joinPath(src->path, sub))) return f;
  if (rc) return static_cast<DWORD>(rc);
  return static_cast<DWORD>(guarded([&]() -> LONG {
    WriteScope w;
    Store& s = w.store();
    Opened o;
    if (LONG e = openKey(s, *src, sub, KEY_READ, false, o)) return e;
    KeyId to;
    if (LONG e = target(s, *dest, to)) return e;
    if (LONG e = writeCheck(s, *dest, to, KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) return e;
    if (!hiveWritable(s, to)) return ERROR_ACCESS_DENIED;
    copyTree(s, o.key->id, to);
    w.commit();
    return ERROR_SUCCESS;
  }));
}

LONG platform::registry::writeKeySection(HKEY root, std::u16string_view rawSub, const std::vector<ValueChange>& changes,
                                         int* failedValue) {
  if (failedValue) *failedValue = -1;
  KeyPtr parent = lookup(root);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::u16string_view sub;
  LONG rc = cleanSubKey(rawSub, sub);
  std::u16string path = joinPath(parent->path, sub);
  if (DWORD f = platform::fault::check("RegCreateKeyExW", path)) return static_cast<LONG>(f);
  if (rc) return rc;
  // Every fault is asked before the transaction begins (a host-wide fault counts in host.db).
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const ValueChange& c = changes[i];
    bool badName = c.name.size() > REG_MAX_VALUE_NAME || c.name.find(u'\0') != std::u16string::npos;
    LONG e = badName ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    if (DWORD f = platform::fault::check(c.remove ? "RegDeleteValueW" : "RegSetValueExW", path)) e = static_cast<LONG>(f);
    if (e) {
      if (failedValue) *failedValue = static_cast<int>(i);
      return e;
    }
  }
  return guarded([&]() -> LONG {
    WriteScope w;
    Store& s = w.store();
    Opened o;
    if (LONG e = openKey(s, *parent, sub, KEY_SET_VALUE, true, o)) return e;
    for (const ValueChange& c : changes) {
      if (c.remove) s.deleteValue(o.key->id, c.name);
      else s.setValue(o.key->id, c.name, c.type, c.data);
    }
    w.commit();
    return ERROR_SUCCESS;
  });
}
