// The message stores' SQLite file system: the default one with open-file-description locks.
// The lock protocol is SQLite's own (shared, reserved, pending, exclusive over the bytes at
// 0x40000000), taken on a descriptor the wrapper opens for the database file alone.
#include "platform/modules/mapi32/store_vfs.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace mapi {
namespace {

constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kReservedByte = kPendingByte + 1;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

struct LockedFile {
  sqlite3_file base;  // methods: ours
  int lockFd;         // -1 for files that take no locks (journals)
  int level;          // SQLITE_LOCK_*
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_vfs* g_base = nullptr;
sqlite3_vfs g_vfs;

// F_OFD_SETLK on one range; true when granted.
bool setLock(int fd, short type, off_t start, off_t len) {
  struct flock l {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = start;
  l.l_len = len;
  return ::fcntl(fd, F_OFD_SETLK, &l) == 0;
}

// What a refused lock means: another holder (busy), or a lock that cannot be taken at all.
int refused() { return errno == EAGAIN || errno == EACCES ? SQLITE_BUSY : SQLITE_IOERR_LOCK; }

LockedFile* self(sqlite3_file* f) { return reinterpret_cast<LockedFile*>(f); }

int xClose(sqlite3_file* f) {
  LockedFile* p = self(f);
  if (p->lockFd >= 0) ::close(p->lockFd);
  p->lockFd = -1;
  return p->real()->pMethods ? p->real()->pMethods->xClose(p->real()) : SQLITE_OK;
}
int xRead(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return self(f)->real()->pMethods->xRead(self(f)->real(), b, n, o); }
int xWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
  return self(f)->real()->pMethods->xWrite(self(f)->real(), b, n, o);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 s) { return self(f)->real()->pMethods->xTruncate(self(f)->real(), s); }
int xSync(sqlite3_file* f, int flags) { return self(f)->real()->pMethods->xSync(self(f)->real(), flags); }
int xFileSize(sqlite3_file* f, sqlite3_int64* s) { return self(f)->real()->pMethods->xFileSize(self(f)->real(), s); }

int xLock(sqlite3_file* f, int level) {
  LockedFile* p = self(f);
  if (p->lockFd < 0 || level <= p->level) {
    if (p->lockFd < 0) p->level = level;
    return SQLITE_OK;
  }
  const int fd = p->lockFd;
  if (level == SQLITE_LOCK_SHARED) {
    // The pending byte keeps new readers out while a writer waits for the shared range.
    if (!setLock(fd, F_RDLCK, kPendingByte, 1)) return refused();
    const bool got = setLock(fd, F_RDLCK, kSharedFirst, kSharedSize);
    const int why = got ? SQLITE_OK : refused();
    setLock(fd, F_UNLCK, kPendingByte, 1);
    if (!got) return why;
    p->level = SQLITE_LOCK_SHARED;
    return SQLITE_OK;
  }
  if (level == SQLITE_LOCK_RESERVED) {
    if (!setLock(fd, F_WRLCK, kReservedByte, 1)) return refused();
    p->level = SQLITE_LOCK_RESERVED;
    return SQLITE_OK;
  }
  // Exclusive (through pending).
  if (p->level < SQLITE_LOCK_PENDING) {
    if (!setLock(fd, F_WRLCK, kPendingByte, 1)) return refused();
    p->level = SQLITE_LOCK_PENDING;
  }
  if (level == SQLITE_LOCK_PENDING) return SQLITE_OK;
  if (!setLock(fd, F_WRLCK, kSharedFirst, kSharedSize)) return refused();
  p->level = SQLITE_LOCK_EXCLUSIVE;
  return SQLITE_OK;
}

int xUnlock(sqlite3_file* f, int level) {
  LockedFile* p = self(f);
  if (level >= p->level) return SQLITE_OK;
  if (p->lockFd < 0) {
    p->level = level;
    return SQLITE_OK;
  }
  const int fd = p->lockFd;
  if (level == SQLITE_LOCK_SHARED) {
    if (p->level >= SQLITE_LOCK_EXCLUSIVE && !setLock(fd, F_RDLCK, kSharedFirst, kSharedSize)) return SQLITE_IOERR_RDLOCK;
    setLock(fd, F_UNLCK, kPendingByte, 2);  // pending and reserved
  } else {
    setLock(fd, F_UNLCK, kPendingByte, 2 + kSharedSize);
  }
  p->level = level;
  return SQLITE_OK;
}

int xCheckReservedLock(sqlite3_file* f, int* out) {
  LockedFile* p = self(f);
  *out = 0;
  if (p->lockFd < 0) return SQLITE_OK;
  if (p->level >= SQLITE_LOCK_RESERVED) {
    *out = 1;
    return SQLITE_OK;
  }
  struct flock l {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  l.l_start = kReservedByte;
  l.l_len = 1;
  if (::fcntl(p->lockFd, F_OFD_GETLK, &l) != 0) return SQLITE_IOERR_CHECKRESERVEDLOCK;
  *out = l.l_type != F_UNLCK;
  return SQLITE_OK;
}

int xFileControl(sqlite3_file* f, int op, void* arg) {
  if (op == SQLITE_FCNTL_LOCKSTATE) {
    *static_cast<int*>(arg) = self(f)->level;
    return SQLITE_OK;
  }
  return self(f)->real()->pMethods->xFileControl(self(f)->real(), op, arg);
}
int xSectorSize(sqlite3_file* f) { return self(f)->real()->pMethods->xSectorSize(self(f)->real()); }
int xDeviceCharacteristics(sqlite3_file* f) {
  return self(f)->real()->pMethods->xDeviceCharacteristics(self(f)->real());
}

// Version 1 methods: no shared memory (the stores keep a rollback journal) and no memory mapping.
const sqlite3_io_methods kMethods = {1,     xClose,          xRead,       xWrite,       xTruncate,
                                     xSync, xFileSize,       xLock,       xUnlock,      xCheckReservedLock,
                                     xFileControl, xSectorSize, xDeviceCharacteristics,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  LockedFile* p = self(f);
  p->base.pMethods = nullptr;
  p->lockFd = -1;
  p->level = SQLITE_LOCK_NONE;
  std::memset(p->real(), 0, static_cast<std::size_t>(g_base->szOsFile));
  int rc = g_base->xOpen(g_base, name, p->real(), flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  if ((flags & SQLITE_OPEN_MAIN_DB) && name) {
    // Write locks need a descriptor open for writing; a read-only file gets read locks only.
    p->lockFd = ::open(name, O_RDWR | O_CLOEXEC);
    if (p->lockFd < 0) p->lockFd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (p->lockFd < 0) {
      p->real()->pMethods->xClose(p->real());
      return SQLITE_CANTOPEN;
    }
  }
  p->base.pMethods = &kMethods;
  return SQLITE_OK;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir) { return g_base->xDelete(g_base, name, syncDir); }
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) { return g_base->xAccess(g_base, name, flags, out); }
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out) { return g_base->xFullPathname(g_base, name, n, out); }
int xRandomness(sqlite3_vfs*, int n, char* out) { return g_base->xRandomness(g_base, n, out); }
int xSleep(sqlite3_vfs*, int us) { return g_base->xSleep(g_base, us); }
int xCurrentTime(sqlite3_vfs*, double* out) { return g_base->xCurrentTime(g_base, out); }
int xGetLastError(sqlite3_vfs*, int n, char* out) { return g_base->xGetLastError ? g_base->xGetLastError(g_base, n, out) : 0; }

}  // namespace

const char* storeVfsName() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_base = sqlite3_vfs_find("unix");
    if (!g_base) g_base = sqlite3_vfs_find(nullptr);
    g_vfs = sqlite3_vfs{};
    g_vfs.iVersion = 1;
    g_vfs.szOsFile = static_cast<int>(sizeof(LockedFile)) + g_base->szOsFile;
    g_vfs.mxPathname = g_base->mxPathname;
    g_vfs.zName = "kipo-mapi-store";
    g_vfs.xOpen = xOpen;
    g_vfs.xDelete = xDelete;
    g_vfs.xAccess = xAccess;
    g_vfs.xFullPathname = xFullPathname;
    g_vfs.xRandomness = xRandomness;
    g_vfs.xSleep = xSleep;
    g_vfs.xCurrentTime = xCurrentTime;
    g_vfs.xGetLastError = xGetLastError;
    sqlite3_vfs_register(&g_vfs, 0);
  });
  return g_vfs.zName;
}

}  // namespace mapi
