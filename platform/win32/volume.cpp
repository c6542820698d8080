// Volume calls over the drive table.
#include "platform/win32/volume.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/drives.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"

namespace {

using platform::host::Drive;
namespace text = platform::text;

std::atomic<UINT> g_errorMode{0};

// The drive a root path names ("E:\", "E:" when allowed, "\\server\share\"), or the current
// directory's for null. Sets `error` when there is none.
std::shared_ptr<const Drive> driveOfRoot(LPCWSTR root, bool slashRequired, DWORD& error) {
  auto set = platform::host::drives();
  std::u16string path = root ? std::u16string(text::view(root)) : platform::host::currentDirectory();
  if (!root) {
    if (path.size() >= 2 && path[1] == u':') path = path.substr(0, 2) + u"\\";
    else if (std::size_t a = path.find(u'\\', 2); a != std::u16string::npos) {
      std::size_t b = path.find(u'\\', a + 1);
      path = path.substr(0, b == std::u16string::npos ? path.size() : b) + u"\\";
    }
  }
  std::replace(path.begin(), path.end(), u'/', u'\\');
  if (path.size() >= 2 && path[1] == u':') {
    if (path.size() == 2 && slashRequired) {
      error = ERROR_INVALID_NAME;
      return nullptr;
    }
    if (path.size() > 3 || (path.size() == 3 && path[2] != u'\\')) {
      error = ERROR_INVALID_NAME;
      return nullptr;
    }
    auto d = set->letter(path[0]);
    if (!d) error = ERROR_PATH_NOT_FOUND;
    return d;
  }
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\') {
    if (slashRequired && path.back() != u'\\') {
      error = ERROR_INVALID_NAME;
      return nullptr;
    }
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    std::size_t a = path.find(u'\\', 2);
    if (a == std::u16string::npos || path.find(u'\\', a + 1) != std::u16string::npos) {
      error = ERROR_INVALID_NAME;
      return nullptr;
    }
    auto d = set->share(std::u16string_view(path).substr(2, a - 2), std::u16string_view(path).substr(a + 1));
    if (!d) error = set->knowsServer(std::u16string_view(path).substr(2, a - 2)) ? ERROR_BAD_NET_NAME : ERROR_BAD_NETPATH;
    return d;
  }
  error = ERROR_INVALID_NAME;
  return nullptr;
}

bool rootReady(const Drive& d) {
  struct stat st {};
  return ::stat(d.rootString.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Space {
  std::uint64_t total, free;
};

Space spaceOf(const Drive& d) {
  if (d.used) {
    std::uint64_t used = d.used->used();
    return {d.used->capacity(), used >= d.used->capacity() ? 0 : d.used->capacity() - used};
  }
  struct statvfs vfs {};
  if (::statvfs(d.rootString.c_str(), &vfs) != 0) return {0, 0};
  return {static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize, static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize};
}

DWORD fileSystemFlags(const Drive& d) {
  if (text::equalNoCase(d.fileSystem, u"NTFS"))
    return FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS |
           FILE_FILE_COMPRESSION | FILE_VOLUME_QUOTAS | FILE_SUPPORTS_SPARSE_FILES | FILE_SUPPORTS_REPARSE_POINTS |
           FILE_SUPPORTS_OBJECT_IDS | FILE_SUPPORTS_ENCRYPTION | FILE_NAMED_STREAMS;
  if (text::equalNoCase(d.fileSystem, u"CDFS") || text::equalNoCase(d.fileSystem, u"UDF"))
    return FILE_CASE_SENSITIVE_SEARCH | FILE_UNICODE_ON_DISK | FILE_READ_ONLY_VOLUME;
  return FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;  // FAT, FAT32
}

template <class Char>
bool fits(const std::basic_string<Char>& s, DWORD size) {
  return s.size() + 1 <= size;
}

}  // namespace

DWORD GetLogicalDrives() {
  DWORD mask = 0;
  for (const auto& d : platform::host::drives()->drives)
    if (!d->isUnc()) mask |= 1u << (d->letter() - u'A');
  return mask;
}

DWORD GetLogicalDriveStringsW(DWORD nBufferLength, LPWSTR lpBuffer) {
  std::u16string all;
  for (const auto& d : platform::host::drives()->drives) {
    if (d->isUnc()) continue;
    all += d->name;
    all += u'\\';
    all += u'\0';
  }
  if (!lpBuffer || nBufferLength < all.size() + 1) return static_cast<DWORD>(all.size() + 1);
  std::copy(all.begin(), all.end(), lpBuffer);
  lpBuffer[all.size()] = 0;
  return static_cast<DWORD>(all.size());
}

UINT GetDriveTypeW(LPCWSTR lpRootPathName) {
  DWORD error = 0;
  auto d = driveOfRoot(lpRootPathName, false, error);
  return d ? d->type : DRIVE_NO_ROOT_DIR;
}

UINT GetDriveTypeA(LPCSTR lpRootPathName) {
  if (!lpRootPathName) return GetDriveTypeW(nullptr);
  return GetDriveTypeW(text::ansiToWide(lpRootPathName).c_str());
}

BOOL GetVolumeInformationW(LPCWSTR lpRootPathName, LPWSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                           LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                           LPDWORD lpFileSystemFlags, LPWSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize) {
  if (DWORD e = platform::fault::check("GetVolumeInformationW", text::view(lpRootPathName))) {
    SetLastError(e);
    return FALSE;
  }
  DWORD error = 0;
  auto d = driveOfRoot(lpRootPathName, true, error);
  if (!d) {
    SetLastError(error);
    return FALSE;
  }
  if (!rootReady(*d)) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  if ((lpVolumeNameBuffer && !fits(d->label, nVolumeNameSize)) ||
      (lpFileSystemNameBuffer && !fits(d->fileSystem, nFileSystemNameSize))) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (lpVolumeNameBuffer) {
    std::copy(d->label.begin(), d->label.end(), lpVolumeNameBuffer);
    lpVolumeNameBuffer[d->label.size()] = 0;
  }
  if (lpFileSystemNameBuffer) {
    std::copy(d->fileSystem.begin(), d->fileSystem.end(), lpFileSystemNameBuffer);
    lpFileSystemNameBuffer[d->fileSystem.size()] = 0;
  }
  if (lpVolumeSerialNumber) *lpVolumeSerialNumber = d->serial;
  if (lpMaximumComponentLength) *lpMaximumComponentLength = 255;
  if (lpFileSystemFlags) *lpFileSystemFlags = fileSystemFlags(*d);
  return TRUE;
}

BOOL GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                           LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                           LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize) {
  std::u16string root = lpRootPathName ? text::ansiToWide(lpRootPathName) : std::u16string();
  char16_t label[MAX_PATH + 1], fs[MAX_PATH + 1];
  if (!GetVolumeInformationW(lpRootPathName ? root.c_str() : nullptr, label, MAX_PATH + 1, lpVolumeSerialNumber,
                             lpMaximumComponentLength, lpFileSystemFlags, fs, MAX_PATH + 1))
    return FALSE;
  std::string l = text::wideToAnsi(label), f = text::wideToAnsi(fs);
  if ((lpVolumeNameBuffer && l.size() + 1 > nVolumeNameSize) || (lpFileSystemNameBuffer && f.size() + 1 > nFileSystemNameSize)) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (lpVolumeNameBuffer) std::copy(l.c_str(), l.c_str() + l.size() + 1, lpVolumeNameBuffer);
  if (lpFileSystemNameBuffer) std::copy(f.c_str(), f.c_str() + f.size() + 1, lpFileSystemNameBuffer);
  return TRUE;
}

BOOL GetDiskFreeSpaceW(LPCWSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                       LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters) {
  DWORD error = 0;
  auto d = driveOfRoot(lpRootPathName, true, error);
  if (!d) {
    SetLastError(error);
    return FALSE;
  }
  if (!rootReady(*d)) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  Space s = spaceOf(*d);
  DWORD cluster = d->clusterSize ? d->clusterSize : 4096;
  auto clamp = [](std::uint64_t v) { return static_cast<DWORD>(std::min<std::uint64_t>(v, 0xFFFFFFFFu)); };
  if (lpBytesPerSector) *lpBytesPerSector = 512;
  if (lpSectorsPerCluster) *lpSectorsPerCluster = std::max<DWORD>(1, cluster / 512);
  if (lpNumberOfFreeClusters) *lpNumberOfFreeClusters = clamp(s.free / cluster);
  if (lpTotalNumberOfClusters) *lpTotalNumberOfClusters = clamp(s.total / cluster);
  return TRUE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                         PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
  if (DWORD e = platform::fault::check("GetDiskFreeSpaceExW", text::view(lpDirectoryName))) {
    SetLastError(e);
    return FALSE;
  }
  std::u16string dir = lpDirectoryName ? std::u16string(text::view(lpDirectoryName)) : platform::host::currentDirectory();
  auto r = platform::host::resolvePath(dir);
  if (!r.error && (!r.exists || !S_ISDIR(r.st.st_mode))) r.error = ERROR_PATH_NOT_FOUND;
  if (r.error) {
    SetLastError(r.error);
    return FALSE;
  }
  Space s = spaceOf(*r.drive);
  if (lpFreeBytesAvailableToCaller) lpFreeBytesAvailableToCaller->QuadPart = s.free;
  if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = s.total;
  if (lpTotalNumberOfFreeBytes) lpTotalNumberOfFreeBytes->QuadPart = s.free;
  return TRUE;
}

UINT SetErrorMode(UINT uMode) { return g_errorMode.exchange(uMode); }
