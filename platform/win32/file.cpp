// Files, folders and their attributes over the drive folders (see file.h).
//
// Share modes: each open that asks for data access or denies sharing holds OFD read locks on
// bytes at kLockBase + {access read, write, delete; deny read, write, delete}. A new open takes
// its own bytes, then tests the opposite ones (F_OFD_GETLK): of two conflicting opens racing, one
// always sees the other. Locks vanish with the open file description, also when a process is
// killed. Folders take no share locks.
//
// XP behaviours kept here: DeleteFileW and MoveFileW of a file open without FILE_SHARE_DELETE
// fail with ERROR_SHARING_VIOLATION (the image of a running program: ERROR_ACCESS_DENIED);
// CopyFileW with bFailIfExists onto an existing file fails with ERROR_FILE_EXISTS, MoveFileW onto
// one with ERROR_ALREADY_EXISTS; CREATE_ALWAYS over a hidden or system file fails unless the same
// attributes are asked for. Unlike Windows, a deleted file that is still open (with
// FILE_SHARE_DELETE) loses its name at once rather than at the last close.
#include "platform/win32/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/ioctl.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"

namespace platform {

namespace {

using host::ResolvedPath;

constexpr const char* kAttribXattr = "user.kipo.attrib";
constexpr const char* kBtimeXattr = "user.kipo.btime";
constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A regular file that carries stored attributes or a creation time also carries the sticky bit,
// which Linux gives no meaning on a regular file: a listing then learns from its one statx whether
// the extended attributes are worth reading. Folders are few and always read.
constexpr mode_t kStoredMark = S_ISVTX;

void markStored(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & kStoredMark))
    ::fchmod(fd, (st.st_mode & 07777) | kStoredMark);
}

void markStored(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & kStoredMark))
    ::chmod(path.c_str(), (st.st_mode & 07777) | kStoredMark);
}

// Whether a file of this mode may carry stored attributes or a creation time.
bool mayHaveStored(mode_t mode) { return !S_ISREG(mode) || (mode & kStoredMark); }

constexpr off_t kLockBase = static_cast<off_t>(1) << 62;
enum LockByte { kAccessRead = 0, kAccessWrite, kAccessDelete, kDenyRead, kDenyWrite, kDenyDelete };

std::atomic<bool (*)(const std::string&)> g_runningImageTest{nullptr};

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

HANDLE failHandle(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// One fcntl per run of adjacent bytes in `mask` (bit n: byte kLockBase + n).
template <class Fn>
bool forEachRun(unsigned mask, Fn fn) {
  for (int start = 0; start < 6;) {
    if (!(mask & (1u << start))) {
      ++start;
      continue;
    }
    int end = start;
    while (end + 1 < 6 && (mask & (1u << (end + 1)))) ++end;
    if (!fn(start, end - start + 1)) return false;
    start = end + 1;
  }
  return true;
}

// Whether another open file description holds any of the bytes in `mask`.
bool anyLockOn(int fd, unsigned mask) {
  return !forEachRun(mask, [fd](int start, int len) {
    struct flock l {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    l.l_start = kLockBase + start;
    l.l_len = len;
    if (::fcntl(fd, F_OFD_GETLK, &l) != 0) return true;
    return l.l_type == F_UNLCK;
  });
}

void lockBytes(int fd, unsigned mask) {
  forEachRun(mask, [fd](int start, int len) {
    struct flock l {};
    l.l_type = F_RDLCK;
    l.l_whence = SEEK_SET;
    l.l_start = kLockBase + start;
    l.l_len = len;
    ::fcntl(fd, F_OFD_SETLK, &l);
    return true;
  });
}

constexpr unsigned bit(LockByte b) { return 1u << b; }

bool wantsRead(DWORD access) { return access & (FILE_READ_DATA | FILE_EXECUTE); }
bool wantsWrite(DWORD access) { return access & (FILE_WRITE_DATA | FILE_APPEND_DATA); }
bool wantsDelete(DWORD access) { return access & DELETE; }

// Records `access`/`share` on the file and tests them against its other opens; false on a
// conflict (the caller closes the descriptor, which drops what was recorded). Recording before
// testing needs no lock around the pair: of two conflicting opens racing, at least one sees the
// other (both may fail, never both succeed).
// A file this open has just made has no other opens to test against (the original test's
// answer was never used there), so `test` false only records.
bool takeShare(int fd, DWORD access, DWORD share, bool test = true) {
  bool r = wantsRead(access), w = wantsWrite(access), d = wantsDelete(access);
  if (!r && !w && !d) return true;  // attribute-only opens neither check nor hold share state
  unsigned mine = (r ? bit(kAccessRead) : 0) | (w ? bit(kAccessWrite) : 0) | (d ? bit(kAccessDelete) : 0) |
                  (share & FILE_SHARE_READ ? 0 : bit(kDenyRead)) | (share & FILE_SHARE_WRITE ? 0 : bit(kDenyWrite)) |
                  (share & FILE_SHARE_DELETE ? 0 : bit(kDenyDelete));
  // Each access byte meets the matching deny byte three places on, and the other way round.
  unsigned against = ((mine & 7u) << 3) | ((mine >> 3) & 7u);
  lockBytes(fd, mine);
  return !test || !anyLockOn(fd, against);
}

DWORD mapGeneric(DWORD access) {
  DWORD out = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (access & GENERIC_READ) out |= FILE_GENERIC_READ;
  if (access & GENERIC_WRITE) out |= FILE_GENERIC_WRITE;
  if (access & GENERIC_EXECUTE) out |= FILE_GENERIC_EXECUTE;
  if (access & (GENERIC_ALL | MAXIMUM_ALLOWED)) out |= FILE_ALL_ACCESS;
  return out;
}

std::uint64_t readBtimeXattr(const std::string& path, int fd) {
  char buf[32];
  ssize_t n = fd >= 0 ? ::fgetxattr(fd, kBtimeXattr, buf, sizeof buf - 1) : ::getxattr(path.c_str(), kBtimeXattr, buf, sizeof buf - 1);
  if (n <= 0) return 0;
  buf[n] = 0;
  return std::strtoull(buf, nullptr, 10);
}

struct Times {
  std::uint64_t creation, access, write;
};

// FAT keeps write times to 2 seconds; a time that falls between is rounded up, as a copy onto
// FAT does, so a file on such a drive never looks older than its source.
bool twoSecondWriteTimes(const host::Drive& drive) {
  return text::equalNoCase(drive.fileSystem, u"FAT32") || text::equalNoCase(drive.fileSystem, u"FAT");
}

std::uint64_t roundUpToTwoSeconds(std::uint64_t ticks) {
  constexpr std::uint64_t kTwoSeconds = 20000000;
  std::uint64_t rest = ticks % kTwoSeconds;
  return rest ? ticks + (kTwoSeconds - rest) : ticks;
}

Times timesOf(const std::string& path, int fd, const struct stat& st, const host::Drive& drive) {
  Times t{};
  t.access = unixToFileTimeTicks(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  t.write = unixToFileTimeTicks(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  t.creation = mayHaveStored(st.st_mode) ? readBtimeXattr(path, fd) : 0;
  if (!t.creation) {
    struct statx sx {};
    int rc = fd >= 0 ? ::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) : ::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx);
    if (rc == 0 && (sx.stx_mask & STATX_BTIME))
      t.creation = unixToFileTimeTicks(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    else
      t.creation = t.write;
  }
  if (twoSecondWriteTimes(drive)) t.write = roundUpToTwoSeconds(t.write);
  return t;
}

DWORD attributesFromXattr(ssize_t n, const char* buf, bool isDirectory) {
  DWORD stored;
  if (n > 0) {
    stored = static_cast<DWORD>(std::strtoul(std::string(buf, static_cast<std::size_t>(n)).c_str(), nullptr, 10)) & kStoredAttributes;
  } else {
    stored = isDirectory ? 0 : FILE_ATTRIBUTE_ARCHIVE;  // what a file written on Windows would carry
  }
  if (isDirectory) stored |= FILE_ATTRIBUTE_DIRECTORY;
  return stored ? stored : FILE_ATTRIBUTE_NORMAL;
}

DWORD attributesOfFd(int fd, bool isDirectory) {
  char buf[16];
  ssize_t n = ::fgetxattr(fd, kAttribXattr, buf, sizeof buf);
  return attributesFromXattr(n, buf, isDirectory);
}

// A resolved path's attributes; a file without the mark has none stored.
DWORD attributesOf(const ResolvedPath& r) {
  bool dir = S_ISDIR(r.st.st_mode);
  if (!mayHaveStored(r.st.st_mode)) return attributesFromXattr(0, nullptr, dir);
  char buf[16];
  ssize_t n = ::getxattr(r.linux.c_str(), kAttribXattr, buf, sizeof buf);
  return attributesFromXattr(n, buf, dir);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

FILETIME toFileTime(std::uint64_t ticks) { return u64ToFileTime(ticks); }

}  // namespace

// An open file or folder.
class FileObject : public KernelObject {
 public:
  ~FileObject() override {
    if (fd >= 0) ::close(fd);
  }
  void onClose() override {
    if (!deleteOnClose) return;
    struct stat st {};
    bool sized = ::fstat(fd, &st) == 0;
    if (::unlink(linux.c_str()) == 0 && sized && drive->used)
      drive->used->adjust(-static_cast<std::int64_t>(host::allocatedSize(static_cast<std::uint64_t>(st.st_size), drive->clusterSize)));
  }

  int fd = -1;
  std::shared_ptr<const host::Drive> drive;
  std::u16string path;  // full Windows path, for faults and messages
  std::u16string_view faultSubject() const override { return path; }
  std::string linux;
  DWORD access = 0;
  DWORD attributes = 0;  // as read at open (0 when not read)
  bool directory = false;
  bool deleteOnClose = false;
  std::atomic<bool> archiveChecked{false};
};

namespace {

std::shared_ptr<FileObject> fileOf(HANDLE h, DWORD& error) {
  auto f = lookupHandleAs<FileObject>(h);
  if (!f) {
    error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (!host::driveAlive(f->drive->id)) {
    error = ERROR_NOT_READY;
    return nullptr;
  }
  error = 0;
  return f;
}

// Grows or shrinks the drive's used bytes for a size change; false (nothing changed) when the
// drive would be over its capacity.
bool accountResize(const host::Drive& drive, std::uint64_t from, std::uint64_t to) {
  if (!drive.used) return true;
  std::int64_t delta = static_cast<std::int64_t>(host::allocatedSize(to, drive.clusterSize)) -
                       static_cast<std::int64_t>(host::allocatedSize(from, drive.clusterSize));
  return delta == 0 || drive.used->adjust(delta);
}

// An intent to take a file's name away (delete, rename, replace): records DELETE access on the
// file for its lifetime, so opens without FILE_SHARE_DELETE fail meanwhile, and tells whether an
// open without FILE_SHARE_DELETE already exists or the file is a running program's image.
class NameRemoval {
 public:
  explicit NameRemoval(const std::string& linux) {
    if (isRunningImage(linux)) {
      error_ = ERROR_ACCESS_DENIED;
      return;
    }
    fd_ = ::open(linux.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) return;  // unreadable: no share state to honour
    lockBytes(fd_, bit(kAccessDelete));
    if (anyLockOn(fd_, bit(kDenyDelete))) error_ = ERROR_SHARING_VIOLATION;
  }
  ~NameRemoval() {
    if (fd_ >= 0) ::close(fd_);
  }
  NameRemoval(const NameRemoval&) = delete;
  NameRemoval& operator=(const NameRemoval&) = delete;
  DWORD error() const { return error_; }

 private:
  int fd_ = -1;
  DWORD error_ = 0;
};

struct OpenRequest {
  DWORD access;       // generic rights already mapped
  DWORD share;
  DWORD disposition;
  DWORD flags;        // FILE_FLAG_* and FILE_ATTRIBUTE_*
};

// CreateFileW's work on a resolved path; sets `error` and returns null on failure.
std::shared_ptr<FileObject> openResolved(const ResolvedPath& r, const OpenRequest& q, DWORD& error, bool& existed) {
  existed = r.exists;
  auto f = std::make_shared<FileObject>();
  f->drive = r.drive;
  f->path = r.full;
  f->linux = r.linux;
  f->access = q.access;
  const bool truncating = q.disposition == CREATE_ALWAYS || q.disposition == TRUNCATE_EXISTING;

  if (r.exists && S_ISDIR(r.st.st_mode)) {
    if (q.disposition == CREATE_NEW) {
      error = ERROR_FILE_EXISTS;
      return nullptr;
    }
    if (!(q.flags & FILE_FLAG_BACKUP_SEMANTICS) || truncating) {
      error = ERROR_ACCESS_DENIED;
      return nullptr;
    }
    f->fd = ::open(r.linux.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (f->fd < 0) {
      error = host::errorFromErrno(errno);
      return nullptr;
    }
    f->directory = true;
    f->attributes = attributesOfFd(f->fd, true);
    return f;
  }
  if (r.trailingSlash) {
    error = r.exists ? ERROR_INVALID_NAME : (q.disposition == OPEN_EXISTING ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_NAME);
    return nullptr;
  }
  if (q.flags & FILE_FLAG_DELETE_ON_CLOSE && !(q.access & DELETE)) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  // Read locks need a readable descriptor, so write-only opens are read-write underneath.
  const int mode = (q.access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) || truncating ? O_RDWR : O_RDONLY;

  if (r.exists) {
    if (q.disposition == CREATE_NEW) {
      error = ERROR_FILE_EXISTS;
      return nullptr;
    }
    f->fd = ::open(r.linux.c_str(), mode | O_CLOEXEC | O_NOCTTY);
    if (f->fd < 0) {
      error = host::errorFromErrno(errno);
      return nullptr;
    }
    if (mode == O_RDWR || (q.flags & FILE_FLAG_DELETE_ON_CLOSE)) {
      f->attributes = attributesOfFd(f->fd, false);
      if (f->attributes & FILE_ATTRIBUTE_READONLY) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      DWORD keep = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
      if (q.disposition == CREATE_ALWAYS && (f->attributes & keep & ~q.flags)) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      f->archiveChecked = (f->attributes & FILE_ATTRIBUTE_ARCHIVE) != 0;
    }
    if (!takeShare(f->fd, q.access, q.share)) {
      error = ERROR_SHARING_VIOLATION;
      return nullptr;
    }
    if (truncating) {
      struct stat st {};
      ::fstat(f->fd, &st);
      if (st.st_size > 0) {
        if (::ftruncate(f->fd, 0) != 0) {
          error = host::errorFromErrno(errno);
          return nullptr;
        }
        accountResize(*r.drive, static_cast<std::uint64_t>(st.st_size), 0);
      }
      if (q.disposition == CREATE_ALWAYS) {
        DWORD attrs = (q.flags & kStoredAttributes) | FILE_ATTRIBUTE_ARCHIVE;
        if (attrs != f->attributes) storeFileAttributes(r.linux, attrs);
        f->attributes = attrs;
        f->archiveChecked = true;
      }
    }
  } else {
    if (q.disposition == OPEN_EXISTING || q.disposition == TRUNCATE_EXISTING) {
      error = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    f->fd = ::open(r.linux.c_str(), (mode == O_RDWR ? O_RDWR : O_RDONLY) | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (f->fd < 0) {
      int err = errno;
      error = err == EEXIST ? ERROR_FILE_EXISTS : host::errorFromErrno(err);
      return nullptr;
    }
    DWORD attrs = (q.flags & kStoredAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (attrs != FILE_ATTRIBUTE_ARCHIVE) storeFileAttributes(r.linux, attrs);
    f->attributes = attrs;
    f->archiveChecked = true;
    takeShare(f->fd, q.access, q.share, false);
    host::noteOwnAddition(r.parent, r.linux.substr(r.linux.rfind('/') + 1));
  }
  if (q.flags & FILE_FLAG_DELETE_ON_CLOSE) f->deleteOnClose = true;
  return f;
}

// Sets the archive bit once per handle when data is first changed, as Windows does.
void markChanged(FileObject& f) {
  if (f.archiveChecked.exchange(true)) return;
  DWORD attrs = attributesOfFd(f.fd, false);
  if (!(attrs & FILE_ATTRIBUTE_ARCHIVE)) {
    attrs = (attrs & kStoredAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    std::string v = std::to_string(attrs);
    if (::fsetxattr(f.fd, kAttribXattr, v.data(), v.size(), 0) == 0) markStored(f.fd);
  }
}

bool copyData(int from, int to, std::uint64_t size, DWORD& error) {
  std::uint64_t done = 0;
  while (done < size) {
    ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, size - done, 0);
    if (n > 0) {
      done += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      error = host::errorFromErrno(errno);
      return false;
    }
    char buf[65536];
    for (;;) {
      ssize_t got = ::read(from, buf, sizeof buf);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        error = host::errorFromErrno(errno);
        return false;
      }
      if (got == 0) return true;
      for (ssize_t off = 0; off < got;) {
        ssize_t w = ::write(to, buf + off, static_cast<std::size_t>(got - off));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) {
          error = host::errorFromErrno(errno);
          return false;
        }
        off += w;
      }
    }
  }
  return true;
}

// CopyFileW's work on resolved paths; keeps the last-write time and attributes.
DWORD copyResolved(const ResolvedPath& src, const ResolvedPath& dst, bool failIfExists) {
  if (!src.exists) return ERROR_FILE_NOT_FOUND;
  if (S_ISDIR(src.st.st_mode)) return ERROR_ACCESS_DENIED;
  if (dst.exists && failIfExists) return ERROR_FILE_EXISTS;
  if (dst.exists && S_ISDIR(dst.st.st_mode)) return ERROR_ACCESS_DENIED;
  DWORD error = 0;
  bool existed = false;
  // Only an open that denies reading stops a copy, as Explorer copies files being logged to.
  auto in = openResolved(src, {FILE_GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0},
                         error, existed);
  if (!in) return error;
  struct stat st {};
  ::fstat(in->fd, &st);
  DWORD attrs = (mayHaveStored(st.st_mode) ? attributesOfFd(in->fd, false) : attributesFromXattr(0, nullptr, false)) & kStoredAttributes;
  if (dst.exists && sameFile(st, dst.st)) return ERROR_SHARING_VIOLATION;
  auto out = openResolved(dst, {FILE_GENERIC_WRITE | DELETE, 0, failIfExists ? static_cast<DWORD>(CREATE_NEW) : static_cast<DWORD>(CREATE_ALWAYS), attrs}, error, existed);
  if (!out) return error;
  std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
  bool ok = accountResize(*dst.drive, 0, size);
  if (!ok) error = ERROR_DISK_FULL;
  if (ok && !copyData(in->fd, out->fd, size, error)) {
    accountResize(*dst.drive, size, 0);
    ok = false;
  }
  if (!ok) {
    // Windows removes a destination it could not fill.
    ::unlink(out->linux.c_str());
    return error;
  }
  struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
  ::futimens(out->fd, times);
  if (attrs != FILE_ATTRIBUTE_ARCHIVE) storeFileAttributes(out->linux, attrs ? attrs : 0);
  return 0;
}

constexpr const char16_t* kSessionManagerKey = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char16_t* kPendingRenames = u"PendingFileRenameOperations";

// A rename (or with `remove`, a deletion) at the next start, appended as Windows records it: pairs
// of "\??\" paths in PendingFileRenameOperations, an empty target for a deletion, "!" before a
// target that may be replaced. Writing there needs an administrator, as on Windows.
DWORD recordPendingRename(std::u16string_view from, std::u16string_view to, bool remove, bool replace) {
  std::u16string fullFrom, fullTo;
  if (DWORD e = host::fullPathName(from, fullFrom)) return e;
  if (!remove)
    if (DWORD e = host::fullPathName(to, fullTo)) return e;
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                            nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
  std::u16string list;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ && size >= 2) {
    list.resize(size / 2);
    if (RegQueryValueExW(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(list.data()), &size) != ERROR_SUCCESS)
      list.clear();
    list.resize(size / 2);
    // Strings end with NUL and the list with one more; an empty string (a deletion's target)
    // must survive, so exactly one closing NUL is taken off.
    if (!list.empty() && list.back() == 0) list.pop_back();
    if (!list.empty() && list.back() != 0) list += u'\0';
  }
  list += u"\\??\\" + fullFrom + u'\0';
  if (!remove) list += (replace ? u"!\\??\\" : u"\\??\\") + fullTo;
  list += u'\0';
  list += u'\0';
  rc = RegSetValueExW(key, kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                      static_cast<DWORD>(list.size() * 2));
  RegCloseKey(key);
  return static_cast<DWORD>(rc);
}

bool checkFault(const char* call, LPCWSTR path) {
  if (DWORD e = fault::check(call, text::view(path))) {
    SetLastError(e);
    return true;
  }
  return false;
}

}  // namespace

bool isRunningImage(const std::string& linuxPath) {
  auto test = g_runningImageTest.load();
  return test && test(linuxPath);
}

void setRunningImageTest(bool (*test)(const std::string&)) { g_runningImageTest.store(test); }

DWORD fileAttributesOf(const std::string& linuxPath, bool isDirectory) {
  char buf[16];
  ssize_t n = ::getxattr(linuxPath.c_str(), kAttribXattr, buf, sizeof buf);
  return attributesFromXattr(n, buf, isDirectory);
}

void attributeDataOf(const host::ResolvedPath& r, WIN32_FILE_ATTRIBUTE_DATA& data) {
  bool dir = S_ISDIR(r.st.st_mode);
  auto t = timesOf(r.linux, -1, r.st, *r.drive);
  data.dwFileAttributes = attributesOf(r);
  data.ftCreationTime = toFileTime(t.creation);
  data.ftLastAccessTime = toFileTime(t.access);
  data.ftLastWriteTime = toFileTime(t.write);
  std::uint64_t size = dir ? 0 : static_cast<std::uint64_t>(r.st.st_size);
  data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(size);
}

DWORD storeFileAttributes(const std::string& linuxPath, DWORD attributes) {
  std::string v = std::to_string(attributes & kStoredAttributes);
  if (::setxattr(linuxPath.c_str(), kAttribXattr, v.data(), v.size(), 0) != 0) return host::errorFromErrno(errno);
  markStored(linuxPath);
  return 0;
}

}  // namespace platform

using platform::FileObject;
using platform::host::ResolvedPath;
using platform::host::resolvePath;

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  if (platform::checkFault("CreateFileW", lpFileName)) return INVALID_HANDLE_VALUE;
  if (!lpFileName) return platform::failHandle(ERROR_PATH_NOT_FOUND);
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwShareMode & ~(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)))
    return platform::failHandle(ERROR_INVALID_PARAMETER);
  DWORD access = platform::mapGeneric(dwDesiredAccess);
  if (dwCreationDisposition == TRUNCATE_EXISTING && !(access & FILE_WRITE_DATA))
    return platform::failHandle(ERROR_INVALID_PARAMETER);
  if (HANDLE device; platform::openStorageDevice(lpFileName, device)) return device;
  ResolvedPath r = resolvePath(platform::text::view(lpFileName));
  if (r.error) return platform::failHandle(r.error);
  DWORD error = 0;
  bool existed = false;
  auto f = platform::openResolved(r, {access, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes}, error, existed);
  if (!f) return platform::failHandle(error);
  HANDLE h = platform::registerHandle(f);
  // As XP: ERROR_ALREADY_EXISTS when CREATE_ALWAYS or OPEN_ALWAYS found the file, else cleared.
  bool found = existed && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
  SetLastError(found ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES sa,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  if (!lpFileName) return platform::failHandle(ERROR_PATH_NOT_FOUND);
  std::u16string w = platform::text::ansiToWide(lpFileName);
  return CreateFileW(w.c_str(), dwDesiredAccess, dwShareMode, sa, dwCreationDisposition, dwFlagsAndAttributes,
                     hTemplateFile);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  // Standard handles (GetStdHandle, process.h) read their Linux descriptor.
  if (auto s = platform::lookupHandleAs<platform::StdStreamObject>(hFile))
    return s->read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  if (DWORD e = platform::fault::check("ReadFile", f->path)) return platform::fail(e);
  if (f->directory) return platform::fail(ERROR_INVALID_FUNCTION);
  if (!(f->access & FILE_READ_DATA)) return platform::fail(ERROR_ACCESS_DENIED);
  auto* out = static_cast<char*>(lpBuffer);
  DWORD done = 0;
  off_t at = 0;
  if (lpOverlapped) at = static_cast<off_t>((static_cast<std::uint64_t>(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset);
  while (done < nNumberOfBytesToRead) {
    ssize_t n = lpOverlapped ? ::pread(f->fd, out + done, nNumberOfBytesToRead - done, at + done)
                             : ::read(f->fd, out + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return platform::fail(platform::host::errorFromErrno(errno));
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (lpOverlapped) {
    ::lseek(f->fd, at + done, SEEK_SET);
    lpOverlapped->InternalHigh = done;
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  // Standard handles (GetStdHandle, process.h) write to their Linux descriptor.
  if (auto s = platform::lookupHandleAs<platform::StdStreamObject>(hFile))
    return s->write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  if (DWORD e = platform::fault::check("WriteFile", f->path)) return platform::fail(e);
  if (f->directory) return platform::fail(ERROR_INVALID_FUNCTION);
  if (!(f->access & (FILE_WRITE_DATA | FILE_APPEND_DATA))) return platform::fail(ERROR_ACCESS_DENIED);
  if (nNumberOfBytesToWrite == 0) return TRUE;
  const bool appendOnly = !(f->access & FILE_WRITE_DATA);
  off_t at;
  if (lpOverlapped && !appendOnly)
    at = static_cast<off_t>((static_cast<std::uint64_t>(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset);
  else
    at = appendOnly ? ::lseek(f->fd, 0, SEEK_END) : ::lseek(f->fd, 0, SEEK_CUR);
  std::uint64_t oldSize = 0;
  const auto& drive = *f->drive;
  if (drive.used) {
    // A write that would pass the capacity fails whole: nothing of it reaches the file.
    struct stat st {};
    ::fstat(f->fd, &st);
    oldSize = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t end = static_cast<std::uint64_t>(at) + nNumberOfBytesToWrite;
    if (end > oldSize && !platform::accountResize(drive, oldSize, end)) return platform::fail(ERROR_DISK_FULL);
  }
  const auto* in = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  DWORD failure = 0;
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = ::pwrite(f->fd, in + done, nNumberOfBytesToWrite - done, at + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failure = platform::host::errorFromErrno(errno);
      break;
    }
    done += static_cast<DWORD>(n);
  }
  ::lseek(f->fd, at + done, SEEK_SET);
  if (drive.used && done < nNumberOfBytesToWrite) {
    std::uint64_t reserved = std::max(oldSize, static_cast<std::uint64_t>(at) + nNumberOfBytesToWrite);
    std::uint64_t actual = std::max(oldSize, static_cast<std::uint64_t>(at) + done);
    platform::accountResize(drive, reserved, actual);
  }
  if (done) platform::markChanged(*f);
  if (lpOverlapped) lpOverlapped->InternalHigh = done;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  if (failure) return platform::fail(failure);
  return TRUE;
}

namespace {

// The new position for a move, or an error.
bool computeSeek(FileObject& f, std::int64_t distance, DWORD method, std::int64_t& pos, DWORD& error) {
  std::int64_t base;
  switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = ::lseek(f.fd, 0, SEEK_CUR); break;
    case FILE_END: {
      struct stat st {};
      ::fstat(f.fd, &st);
      base = st.st_size;
      break;
    }
    default: error = ERROR_INVALID_PARAMETER; return false;
  }
  pos = base + distance;
  if (pos < 0) {
    error = ERROR_NEGATIVE_SEEK;
    return false;
  }
  return true;
}

}  // namespace

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) {
    SetLastError(error);
    return INVALID_SET_FILE_POINTER;
  }
  if (DWORD e = platform::fault::check("SetFilePointer", f->path)) {
    SetLastError(e);
    return INVALID_SET_FILE_POINTER;
  }
  std::int64_t distance = lpDistanceToMoveHigh
                              ? static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                                          static_cast<std::uint32_t>(lDistanceToMove))
                              : lDistanceToMove;
  std::int64_t pos;
  if (!computeSeek(*f, distance, dwMoveMethod, pos, error)) {
    SetLastError(error);
    return INVALID_SET_FILE_POINTER;
  }
  if (!lpDistanceToMoveHigh && pos > 0xFFFFFFFEll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  ::lseek(f->fd, pos, SEEK_SET);
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(pos >> 32);
  DWORD low = static_cast<DWORD>(pos & 0xFFFFFFFF);
  // A real position with low part 0xFFFFFFFF is told apart from failure by a cleared last error.
  if (low == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return low;
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  if (DWORD e = platform::fault::check("SetFilePointerEx", f->path)) return platform::fail(e);
  std::int64_t pos;
  if (!computeSeek(*f, liDistanceToMove.QuadPart, dwMoveMethod, pos, error)) return platform::fail(error);
  ::lseek(f->fd, pos, SEEK_SET);
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = pos;
  return TRUE;
}

BOOL SetEndOfFile(HANDLE hFile) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  if (DWORD e = platform::fault::check("SetEndOfFile", f->path)) return platform::fail(e);
  if (f->directory || !(f->access & FILE_WRITE_DATA)) return platform::fail(ERROR_ACCESS_DENIED);
  off_t pos = ::lseek(f->fd, 0, SEEK_CUR);
  struct stat st {};
  ::fstat(f->fd, &st);
  std::uint64_t from = static_cast<std::uint64_t>(st.st_size), to = static_cast<std::uint64_t>(pos);
  if (!platform::accountResize(*f->drive, from, to)) return platform::fail(ERROR_DISK_FULL);
  if (::ftruncate(f->fd, pos) != 0) {
    int err = errno;
    platform::accountResize(*f->drive, to, from);
    return platform::fail(platform::host::errorFromErrno(err));
  }
  if (from != to) platform::markChanged(*f);
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  if (DWORD e = platform::fault::check("FlushFileBuffers", f->path)) return platform::fail(e);
  if (!(f->access & (FILE_WRITE_DATA | FILE_APPEND_DATA))) return platform::fail(ERROR_ACCESS_DENIED);
  if (::fdatasync(f->fd) != 0) return platform::fail(platform::host::errorFromErrno(errno));
  return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) {
    SetLastError(error);
    return INVALID_FILE_SIZE;
  }
  if (DWORD e = platform::fault::check("GetFileSize", f->path)) {
    SetLastError(e);
    return INVALID_FILE_SIZE;
  }
  struct stat st {};
  ::fstat(f->fd, &st);
  std::uint64_t size = f->directory ? 0 : static_cast<std::uint64_t>(st.st_size);
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  DWORD low = static_cast<DWORD>(size & 0xFFFFFFFF);
  if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return low;
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  if (DWORD e = platform::fault::check("GetFileSizeEx", f->path)) return platform::fail(e);
  struct stat st {};
  ::fstat(f->fd, &st);
  if (lpFileSize) lpFileSize->QuadPart = f->directory ? 0 : st.st_size;
  return TRUE;
}

DWORD GetFileType(HANDLE hFile) {
  // A standard handle is whatever its descriptor is: a terminal (or the null device) is a
  // character device as the console and NUL are, a pipe or socket a pipe, a file a disk file.
  if (auto s = platform::lookupHandleAs<platform::StdStreamObject>(hFile)) {
    struct stat st {};
    if (::fstat(s->fd, &st) != 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FILE_TYPE_UNKNOWN;
    }
    SetLastError(NO_ERROR);
    if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_TYPE_DISK;
    return FILE_TYPE_UNKNOWN;
  }
  if (!platform::lookupHandleAs<FileObject>(hFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  return FILE_TYPE_DISK;
}

BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime, LPFILETIME lpLastWriteTime) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  struct stat st {};
  if (::fstat(f->fd, &st) != 0) return platform::fail(platform::host::errorFromErrno(errno));
  auto t = platform::timesOf(f->linux, f->fd, st, *f->drive);
  if (lpCreationTime) *lpCreationTime = platform::toFileTime(t.creation);
  if (lpLastAccessTime) *lpLastAccessTime = platform::toFileTime(t.access);
  if (lpLastWriteTime) *lpLastWriteTime = platform::toFileTime(t.write);
  return TRUE;
}

BOOL SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                 const FILETIME* lpLastWriteTime) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  if (DWORD e = platform::fault::check("SetFileTime", f->path)) return platform::fail(e);
  if (!(f->access & FILE_WRITE_ATTRIBUTES)) return platform::fail(ERROR_ACCESS_DENIED);
  auto toSpec = [](const FILETIME* ft) {
    struct timespec ts {0, UTIME_OMIT};
    if (ft) {
      std::int64_t s, ns;
      platform::fileTimeTicksToUnix(platform::fileTimeToU64(*ft), s, ns);
      ts.tv_sec = s;
      ts.tv_nsec = ns;
    }
    return ts;
  };
  if (lpLastAccessTime || lpLastWriteTime) {
    struct timespec times[2] = {toSpec(lpLastAccessTime), toSpec(lpLastWriteTime)};
    if (::futimens(f->fd, times) != 0) return platform::fail(platform::host::errorFromErrno(errno));
  }
  if (lpCreationTime) {
    std::string v = std::to_string(platform::fileTimeToU64(*lpCreationTime));
    if (::fsetxattr(f->fd, platform::kBtimeXattr, v.data(), v.size(), 0) != 0)
      return platform::fail(platform::host::errorFromErrno(errno));
    platform::markStored(f->fd);
  }
  return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION info) {
  DWORD error;
  auto f = platform::fileOf(hFile, error);
  if (!f) return platform::fail(error);
  struct stat st {};
  if (::fstat(f->fd, &st) != 0) return platform::fail(platform::host::errorFromErrno(errno));
  auto t = platform::timesOf(f->linux, f->fd, st, *f->drive);
  info->dwFileAttributes = platform::attributesOfFd(f->fd, f->directory);
  info->ftCreationTime = platform::toFileTime(t.creation);
  info->ftLastAccessTime = platform::toFileTime(t.access);
  info->ftLastWriteTime = platform::toFileTime(t.write);
  info->dwVolumeSerialNumber = f->drive->serial;
  std::uint64_t size = f->directory ? 0 : static_cast<std::uint64_t>(st.st_size);
  info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info->nFileSizeLow = static_cast<DWORD>(size);
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  info->nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(st.st_ino) >> 32);
  info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  if (platform::checkFault("GetFileAttributesW", lpFileName)) return INVALID_FILE_ATTRIBUTES;
  ResolvedPath r = resolvePath(platform::text::view(lpFileName));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) {
    SetLastError(r.error);
    return INVALID_FILE_ATTRIBUTES;
  }
  return platform::attributesOf(r);
}

DWORD GetFileAttributesA(LPCSTR lpFileName) {
  if (!lpFileName) return GetFileAttributesW(nullptr);
  return GetFileAttributesW(platform::text::ansiToWide(lpFileName).c_str());
}

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation) {
  if (platform::checkFault("GetFileAttributesExW", lpFileName)) return FALSE;
  if (fInfoLevelId != GetFileExInfoStandard || !lpFileInformation) return platform::fail(ERROR_INVALID_PARAMETER);
  ResolvedPath r = resolvePath(platform::text::view(lpFileName));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) return platform::fail(r.error);
  platform::attributeDataOf(r, *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation));
  return TRUE;
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  if (platform::checkFault("SetFileAttributesW", lpFileName)) return FALSE;
  ResolvedPath r = resolvePath(platform::text::view(lpFileName));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) return platform::fail(r.error);
  if (DWORD e = platform::storeFileAttributes(r.linux, dwFileAttributes)) return platform::fail(e);
  return TRUE;
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  if (platform::checkFault("CopyFileW", lpExistingFileName)) return FALSE;
  ResolvedPath src = resolvePath(platform::text::view(lpExistingFileName));
  if (src.error) return platform::fail(src.error);
  ResolvedPath dst = resolvePath(platform::text::view(lpNewFileName));
  if (dst.error) return platform::fail(dst.error);
  if (DWORD e = platform::copyResolved(src, dst, bFailIfExists != FALSE)) return platform::fail(e);
  return TRUE;
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  return MoveFileExW(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  using namespace platform;
  if (checkFault("MoveFileExW", lpExistingFileName)) return FALSE;
  if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    if (dwFlags & MOVEFILE_COPY_ALLOWED) return fail(ERROR_INVALID_PARAMETER);
    if (DWORD e = recordPendingRename(text::view(lpExistingFileName), lpNewFileName ? text::view(lpNewFileName) : std::u16string_view(),
                                      lpNewFileName == nullptr, (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0))
      return fail(e);
    return TRUE;
  }
  if (!lpNewFileName) return fail(ERROR_INVALID_PARAMETER);
  ResolvedPath src = resolvePath(text::view(lpExistingFileName));
  if (!src.error && !src.exists) src.error = ERROR_FILE_NOT_FOUND;
  if (src.error) return fail(src.error);
  if (src.isRoot) return fail(ERROR_ACCESS_DENIED);
  ResolvedPath dst = resolvePath(text::view(lpNewFileName));
  if (dst.error) return fail(dst.error);
  if (dst.isRoot) return fail(ERROR_ACCESS_DENIED);
  const bool srcDir = S_ISDIR(src.st.st_mode);
  const std::string target = dst.parent + (dst.parent == "/" ? "" : "/") + text::toUtf8(dst.name);
  const bool sameObject = dst.exists && sameFile(src.st, dst.st);
  if (dst.exists && !sameObject) {
    if (!(dwFlags & MOVEFILE_REPLACE_EXISTING)) return fail(ERROR_ALREADY_EXISTS);
    if (srcDir || S_ISDIR(dst.st.st_mode)) return fail(ERROR_ACCESS_DENIED);
    if (fileAttributesOf(dst.linux, false) & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
  }
  std::optional<NameRemoval> replacing, moving;
  if (dst.exists && !sameObject) {
    replacing.emplace(dst.linux);
    if (replacing->error()) return fail(replacing->error());
  }
  if (!srcDir) {
    moving.emplace(src.linux);
    if (moving->error()) return fail(moving->error());
  }

  if (src.drive->id == dst.drive->id) {
    if (dst.exists && !sameObject && dst.linux != target) ::unlink(dst.linux.c_str());
    std::uint64_t replaced = dst.exists && !sameObject && dst.st.st_nlink == 1 ? static_cast<std::uint64_t>(dst.st.st_size) : 0;
    if (::rename(src.linux.c_str(), target.c_str()) == 0) {
      if (replaced) accountResize(*dst.drive, replaced, 0);
      return TRUE;
    }
    if (errno != EXDEV) return fail(host::errorFromErrno(errno));
  }
  // Another drive (or another Linux file system under one drive): files are copied, folders refused.
  if (!(dwFlags & MOVEFILE_COPY_ALLOWED) || srcDir) return fail(ERROR_NOT_SAME_DEVICE);
  replacing.reset();  // the copy opens both files itself
  moving.reset();
  if (DWORD e = copyResolved(src, dst, false)) return fail(e);
  // The copy carries the source's creation time too, as a move would.
  std::uint64_t btime = timesOf(src.linux, -1, src.st, *src.drive).creation;
  std::string v = std::to_string(btime);
  if (::setxattr(target.c_str(), kBtimeXattr, v.data(), v.size(), 0) == 0) markStored(target);
  if (::unlink(src.linux.c_str()) == 0 && src.st.st_nlink == 1)
    accountResize(*src.drive, static_cast<std::uint64_t>(src.st.st_size), 0);
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  using namespace platform;
  if (checkFault("DeleteFileW", lpFileName)) return FALSE;
  ResolvedPath r = resolvePath(text::view(lpFileName));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) return fail(r.error);
  if (S_ISDIR(r.st.st_mode)) return fail(ERROR_ACCESS_DENIED);
  if (fileAttributesOf(r.linux, false) & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
  NameRemoval removal(r.linux);
  if (removal.error()) return fail(removal.error());
  if (::unlink(r.linux.c_str()) != 0) return fail(host::errorFromErrno(errno));
  if (r.st.st_nlink == 1) accountResize(*r.drive, static_cast<std::uint64_t>(r.st.st_size), 0);
  return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
  if (!lpFileName) return DeleteFileW(nullptr);
  return DeleteFileW(platform::text::ansiToWide(lpFileName).c_str());
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  using namespace platform;
  if (checkFault("CreateDirectoryW", lpPathName)) return FALSE;
  ResolvedPath r = resolvePath(text::view(lpPathName), host::kResolveDirLimit);
  if (r.error) return fail(r.error);
  if (r.isRoot) return fail(ERROR_ACCESS_DENIED);
  if (r.exists) return fail(ERROR_ALREADY_EXISTS);
  if (::mkdir(r.linux.c_str(), 0777) != 0) return fail(host::errorFromErrno(errno));
  host::noteOwnAddition(r.parent, r.linux.substr(r.linux.rfind('/') + 1));
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  using namespace platform;
  if (checkFault("RemoveDirectoryW", lpPathName)) return FALSE;
  ResolvedPath r = resolvePath(text::view(lpPathName));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) return fail(r.error);
  if (r.isRoot) return fail(ERROR_ACCESS_DENIED);
  if (!S_ISDIR(r.st.st_mode)) return fail(ERROR_DIRECTORY);
  if (fileAttributesOf(r.linux, true) & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
  // The process holds its current directory open, as Windows does.
  ResolvedPath cwd = resolvePath(host::currentDirectory());
  if (!cwd.error && cwd.exists && sameFile(cwd.st, r.st)) return fail(ERROR_SHARING_VIOLATION);
  if (::rmdir(r.linux.c_str()) != 0) return fail(host::errorFromErrno(errno));
  return TRUE;
}

// ---- Finding files ----------------------------------------------------------------------------

namespace platform {

namespace {

constexpr char16_t kDosStar = u'<', kDosQm = u'>', kDosDot = u'"';

// The pattern as FindFirstFileW hands it to the file system: '?' becomes DOS_QM, a '.' followed
// by a wildcard or ending the pattern becomes DOS_DOT, a '*' before a '.' becomes DOS_STAR.
std::u16string dosPattern(std::u16string_view p) {
  std::u16string out(p);
  for (std::size_t i = 0; i < out.size(); ++i) {
    char16_t next = i + 1 < p.size() ? p[i + 1] : 0;
    if (p[i] == u'?') out[i] = kDosQm;
    else if (p[i] == u'.' && (next == u'?' || next == u'*' || next == 0)) out[i] = kDosDot;
    else if (p[i] == u'*' && next == u'.') out[i] = kDosStar;
  }
  return out;
}

// FsRtl-style matching of a translated pattern; `lastDot` is the index of the name's last '.'.
bool dosMatch(std::u16string_view pat, std::size_t pi, std::u16string_view name, std::size_t ni, std::size_t lastDot) {
  while (pi < pat.size()) {
    char16_t c = pat[pi];
    switch (c) {
      case u'*':
        for (std::size_t k = ni; k <= name.size(); ++k)
          if (dosMatch(pat, pi + 1, name, k, lastDot)) return true;
        return false;
      case kDosStar: {
        // Any run of characters that does not pass the name's last dot.
        std::size_t limit = lastDot == std::u16string_view::npos || lastDot < ni ? name.size() : lastDot;
        for (std::size_t k = ni; k <= limit; ++k)
          if (dosMatch(pat, pi + 1, name, k, lastDot)) return true;
        return false;
      }
      case kDosQm:
        if (ni == name.size() || name[ni] == u'.') {
          // At a dot or the end it matches nothing, together with the DOS_QMs that follow.
          while (pi < pat.size() && pat[pi] == kDosQm) ++pi;
          continue;
        }
        ++pi;
        ++ni;
        continue;
      case kDosDot:
        if (ni == name.size()) {
          ++pi;
          continue;
        }
        if (name[ni] != u'.') return false;
        ++pi;
        ++ni;
        continue;
      default:
        if (ni == name.size() || text::upcase(name[ni]) != text::upcase(c)) return false;
        ++pi;
        ++ni;
        continue;
    }
  }
  return ni == name.size();
}

struct FindEntry {
  std::u16string name, alias;
  std::string onDisk;  // relative to the listed folder ("." and ".." included)
};

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

// The folder stays open for the whole search: each entry then costs one statx relative to it,
// and the extended attributes are read only for entries marked as carrying any.
class FindObject : public KernelObject {
 public:
  std::shared_ptr<const host::Drive> drive;
  std::u16string pattern;  // as given to FindFirstFileW: the subject of FindNextFileW's faults
  std::u16string_view faultSubject() const override { return pattern; }
  std::string dir;  // Linux path of the listed folder
  std::unique_ptr<DIR, DirCloser> folder;
  std::vector<FindEntry> entries;
  std::size_t next = 0;
};

std::uint64_t ticksOf(const struct statx_timestamp& t) { return unixToFileTimeTicks(t.tv_sec, t.tv_nsec); }

bool fillFindData(const FindObject& f, const FindEntry& e, WIN32_FIND_DATAW* data) {
  struct statx sx {};
  if (::statx(dirfd(f.folder.get()), e.onDisk.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  const bool dir = S_ISDIR(sx.stx_mode);
  DWORD attributes;
  std::uint64_t creation = 0;
  if (mayHaveStored(sx.stx_mode)) {
    std::string path = f.dir + "/" + e.onDisk;
    attributes = fileAttributesOf(path, dir);
    creation = readBtimeXattr(path, -1);
  } else {
    attributes = attributesFromXattr(0, nullptr, dir);
  }
  std::uint64_t write = ticksOf(sx.stx_mtime);
  if (!creation) creation = sx.stx_mask & STATX_BTIME ? ticksOf(sx.stx_btime) : write;
  if (twoSecondWriteTimes(*f.drive)) write = roundUpToTwoSeconds(write);
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = attributes;
  data->ftCreationTime = toFileTime(creation);
  data->ftLastAccessTime = toFileTime(ticksOf(sx.stx_atime));
  data->ftLastWriteTime = toFileTime(write);
  std::uint64_t size = dir ? 0 : sx.stx_size;
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  std::size_t n = std::min<std::size_t>(e.name.size(), MAX_PATH - 1);
  std::copy_n(e.name.begin(), n, data->cFileName);
  std::size_t a = std::min<std::size_t>(e.alias.size(), 13);
  std::copy_n(e.alias.begin(), a, data->cAlternateFileName);
  return true;
}

// Next entry that still exists, or false at the end.
bool advance(FindObject& f, WIN32_FIND_DATAW* data) {
  while (f.next < f.entries.size()) {
    if (fillFindData(f, f.entries[f.next++], data)) return true;
  }
  return false;
}

// The folder's entries but "." and "..", on-disk (UTF-8) and as Windows names.
void readFolder(DIR* d, std::vector<std::string>& onDisk, std::vector<std::u16string>& names) {
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))) continue;
    onDisk.emplace_back(e->d_name);
    names.push_back(text::fromUtf8(e->d_name));
  }
}

}  // namespace

}  // namespace platform

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  using namespace platform;
  if (checkFault("FindFirstFileW", lpFileName)) return INVALID_HANDLE_VALUE;
  std::u16string_view input = text::view(lpFileName);
  ResolvedPath r = resolvePath(input, host::kResolveWildcards);
  if (r.error) return failHandle(r.error);
  if (r.isRoot || r.trailingSlash) return failHandle(ERROR_FILE_NOT_FOUND);
  // The pattern before trailing dots were dropped: "*." must keep its dot.
  std::size_t cut = input.find_last_of(u"\\/");
  std::u16string_view raw = cut == std::u16string_view::npos ? input.substr(input.size() >= 2 && input[1] == u':' ? 2 : 0) : input.substr(cut + 1);
  std::u16string pattern = raw.find_first_of(u"*?") != std::u16string_view::npos ? std::u16string(raw) : r.name;
  const bool wild = pattern.find_first_of(u"*?") != std::u16string::npos;
  const std::string dir = r.parent;

  auto find = std::make_shared<FindObject>();
  find->drive = r.drive;
  find->pattern = input;
  find->dir = dir;
  find->folder.reset(::opendir(dir.c_str()));
  if (!find->folder) return failHandle(host::errorFromErrno(errno));
  // Read before the names, so a change made while they are read leaves the kept aliases stale.
  struct stat folderSt {};
  const struct stat* folderStatus = ::fstat(dirfd(find->folder.get()), &folderSt) == 0 ? &folderSt : nullptr;
  std::vector<std::string> onDisk;
  std::vector<std::u16string> names;
  if (!wild && r.exists) {
    std::string own = r.linux.substr(r.linux.rfind('/') + 1);
    std::u16string name = text::fromUtf8(own);
    std::u16string alias;
    if (!host::isValid83(name)) {
      readFolder(find->folder.get(), onDisk, names);
      auto aliases = host::shortNames(dir, names, dirfd(find->folder.get()), folderStatus);
      for (std::size_t i = 0; i < names.size(); ++i)
        if (onDisk[i] == own) alias = aliases[i];
    }
    find->entries.push_back({std::move(name), std::move(alias), std::move(own)});
  } else {
    readFolder(find->folder.get(), onDisk, names);
    auto aliases = host::shortNames(dir, names, dirfd(find->folder.get()), folderStatus);
    std::u16string dos = dosPattern(pattern);
    auto matches = [&](const std::u16string& n) { return dosMatch(dos, 0, n, 0, n.rfind(u'.')); };
    // A folder that is not a root lists "." and ".." first, as NTFS does.
    bool isRootFolder = dir == r.drive->rootString;
    if (!isRootFolder) {
      if (matches(u".")) find->entries.push_back({u".", u"", "."});
      if (matches(u"..")) find->entries.push_back({u"..", u"", ".."});
    }
    std::vector<FindEntry> found;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (matches(names[i]) || (!aliases[i].empty() && matches(aliases[i])))
        found.push_back({std::move(names[i]), std::move(aliases[i]), std::move(onDisk[i])});
    }
    std::sort(found.begin(), found.end(), [](const FindEntry& a, const FindEntry& b) { return text::compareNoCase(a.name, b.name) < 0; });
    for (auto& e : found) find->entries.push_back(std::move(e));
  }
  WIN32_FIND_DATAW data;
  if (!advance(*find, &data)) return failHandle(ERROR_FILE_NOT_FOUND);
  if (lpFindFileData) *lpFindFileData = data;
  return registerHandle(find);
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  auto find = platform::lookupHandleAs<platform::FindObject>(hFindFile);
  if (!find) return platform::fail(ERROR_INVALID_HANDLE);
  if (DWORD e = platform::fault::check("FindNextFileW", find->pattern)) return platform::fail(e);
  if (!platform::host::driveAlive(find->drive->id)) return platform::fail(ERROR_NOT_READY);
  WIN32_FIND_DATAW data;
  if (!platform::advance(*find, &data)) return platform::fail(ERROR_NO_MORE_FILES);
  if (lpFindFileData) *lpFindFileData = data;
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (!platform::lookupHandleAs<platform::FindObject>(hFindFile)) return platform::fail(ERROR_INVALID_HANDLE);
  return CloseHandle(hFindFile);
}

// ---- Path names, current directory, temporary files --------------------------------------------

namespace {

// Copies `s` out with Win32's size rule: the length without NUL on success, else the size needed
// with NUL (buffer left untouched).
DWORD copyOut(const std::u16string& s, LPWSTR buffer, DWORD size) {
  if (!buffer || size < s.size() + 1) return static_cast<DWORD>(s.size() + 1);
  std::copy(s.begin(), s.end(), buffer);
  buffer[s.size()] = 0;
  return static_cast<DWORD>(s.size());
}

// Rewrites each component of an existing full path through `pick(onDiskName, alias, given)`.
DWORD mapComponents(LPCWSTR path, std::u16string& out,
                    std::u16string (*pick)(const std::u16string& onDisk, const std::u16string& alias, const std::u16string& given)) {
  using namespace platform;
  ResolvedPath r = resolvePath(text::view(path));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) return r.error;
  std::u16string full = r.full;
  // Split after the root: "X:\" or "\\server\share\".
  std::size_t rootEnd = full.size() >= 3 && full[1] == u':' ? 3 : 0;
  if (!rootEnd) {
    std::size_t a = full.find(u'\\', 2);
    std::size_t b = a == std::u16string::npos ? a : full.find(u'\\', a + 1);
    rootEnd = b == std::u16string::npos ? full.size() : b + 1;
  }
  out = full.substr(0, rootEnd);
  std::string cur = r.drive->rootString;
  std::u16string rest = full.substr(rootEnd);
  std::size_t start = 0;
  bool first = true;
  while (start < rest.size()) {
    std::size_t end = rest.find(u'\\', start);
    if (end == std::u16string::npos) end = rest.size();
    std::u16string given = rest.substr(start, end - start);
    start = end + 1;
    if (given.empty()) continue;
    std::vector<std::u16string> names;
    struct stat folderSt {};
    DIR* d = ::stat(cur.c_str(), &folderSt) == 0 ? ::opendir(cur.c_str()) : nullptr;
    if (!d) return ERROR_PATH_NOT_FOUND;
    while (dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(text::fromUtf8(e->d_name));
    ::closedir(d);
    auto aliases = host::shortNames(cur, names, -1, &folderSt);
    std::size_t hit = names.size();
    for (std::size_t i = 0; i < names.size() && hit == names.size(); ++i)
      if (names[i] == given) hit = i;
    for (std::size_t i = 0; i < names.size() && hit == names.size(); ++i)
      if (text::equalNoCase(names[i], given) || (!aliases[i].empty() && text::equalNoCase(aliases[i], given))) hit = i;
    if (hit == names.size()) return ERROR_FILE_NOT_FOUND;
    if (!first) out += u'\\';
    first = false;
    out += pick(names[hit], aliases[hit], given);
    cur += "/" + text::toUtf8(names[hit]);
  }
  if (r.trailingSlash) out += u'\\';
  return 0;
}

}  // namespace

DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
  std::u16string full;
  if (DWORD e = platform::host::fullPathName(platform::text::view(lpFileName), full)) {
    SetLastError(e);
    return 0;
  }
  DWORD n = copyOut(full, lpBuffer, nBufferLength);
  if (n == full.size() && lpFilePart) {
    std::size_t slash = full.rfind(u'\\');
    *lpFilePart = slash == std::u16string::npos || slash + 1 == full.size() ? nullptr : lpBuffer + slash + 1;
  }
  return n;
}

DWORD GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer) {
  if (!lpszLongPath) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string out;
  DWORD e = mapComponents(lpszLongPath, out, [](const std::u16string&, const std::u16string& alias, const std::u16string& given) {
    return alias.empty() ? given : alias;
  });
  if (e) {
    SetLastError(e);
    return 0;
  }
  return copyOut(out, lpszShortPath, cchBuffer);
}

DWORD GetLongPathNameW(LPCWSTR lpszShortPath, LPWSTR lpszLongPath, DWORD cchBuffer) {
  if (!lpszShortPath) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string out;
  DWORD e = mapComponents(lpszShortPath, out, [](const std::u16string& onDisk, const std::u16string& alias, const std::u16string& given) {
    return !alias.empty() && platform::text::equalNoCase(alias, given) && !platform::text::equalNoCase(onDisk, given) ? onDisk : given;
  });
  if (e) {
    SetLastError(e);
    return 0;
  }
  return copyOut(out, lpszLongPath, cchBuffer);
}

DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return copyOut(platform::host::currentDirectory(), lpBuffer, nBufferLength);
}

BOOL SetCurrentDirectoryW(LPCWSTR lpPathName) {
  using namespace platform;
  if (checkFault("SetCurrentDirectoryW", lpPathName)) return FALSE;
  ResolvedPath r = resolvePath(text::view(lpPathName));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) return fail(r.error);
  if (!S_ISDIR(r.st.st_mode)) return fail(ERROR_DIRECTORY);
  host::setCurrentDirectory(r.full);
  return TRUE;
}

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  // As Windows: TMP, then TEMP, then USERPROFILE, then the Windows folder; made a full path that
  // ends with a separator. The folder need not exist.
  std::u16string value;
  for (const char16_t* name : {u"TMP", u"TEMP", u"USERPROFILE"}) {
    char16_t buf[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) {
      value.assign(buf, n);
      break;
    }
  }
  if (value.empty()) value = u"C:\\WINDOWS";
  std::u16string full;
  if (platform::host::fullPathName(value, full) != 0) full = value;
  if (full.back() != u'\\') full += u'\\';
  return copyOut(full, lpBuffer, nBufferLength);
}

UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName) {
  using namespace platform;
  if (!lpPathName || !lpTempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string base(text::view(lpPathName));
  if (!base.empty() && base.back() != u'\\' && base.back() != u'/') base += u'\\';
  std::u16string prefix(text::view(lpPrefixString).substr(0, 3));
  auto nameFor = [&](UINT n) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string hex;
    do {
      hex.insert(hex.begin(), digits[n & 0xF]);
      n >>= 4;
    } while (n);
    return base + prefix + hex + u".tmp";
  };
  uUnique &= 0xFFFF;
  if (uUnique) {
    std::u16string name = nameFor(uUnique);
    if (name.size() >= MAX_PATH) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    std::copy(name.begin(), name.end(), lpTempFileName);
    lpTempFileName[name.size()] = 0;
    return uUnique;
  }
  UINT start = static_cast<UINT>(std::chrono::steady_clock::now().time_since_epoch().count() / 1000) & 0xFFFF;
  for (UINT i = 0; i < 0x10000; ++i) {
    UINT n = (start + i) & 0xFFFF;
    if (!n) continue;
    std::u16string name = nameFor(n);
    if (name.size() >= MAX_PATH) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      std::copy(name.begin(), name.end(), lpTempFileName);
      lpTempFileName[name.size()] = 0;
      return n;
    }
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return 0;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}
