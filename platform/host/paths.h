// Windows paths to Linux paths: full-path rules as Win32 applies them (current directory, drive-
// relative "E:foo", rooted "\foo", UNC, the "\\?\" prefix, "." and "..", trailing dots and spaces),
// name checks (refused characters, reserved device names, MAX_PATH), and the case-insensitive,
// case-preserving lookup through the drive table.
// Hot path: an exact-case path costs one stat after the drive snapshot check; a miss of the last
// name alone (a file about to be made) costs one more stat of its folder and a look-up in the
// process's cache of that folder's upper-cased names; only a deeper miss walks from the root. No
// database; a lock only around that cache and the one of folders' short names.
// The process's current directory (Windows form) lives here too.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"
#include "platform/host/drives.h"

namespace platform::host {

// errno of a Linux call as the Windows error code a file call reports. The one mapping.
DWORD errorFromErrno(int err);

// GetFullPathNameW's work: `path` made absolute in Windows form against the current directory,
// separators unified, "." and ".." applied, trailing dots and spaces of the last component
// dropped (none of this for "\\?\" paths). Returns 0 or an error code.
DWORD fullPathName(std::u16string_view path, std::u16string& full);

enum ResolveFlags : unsigned {
  kResolveWildcards = 1,   // the last component may hold * and ? (FindFirstFileW)
  kResolveDirLimit = 2,    // the shorter limit of CreateDirectoryW (MAX_PATH - 12)
};

struct ResolvedPath {
  DWORD error = 0;                     // 0, or why the path cannot name anything
  std::shared_ptr<const Drive> drive;  // the drive or share it lies on
  std::u16string full;                 // full Windows path
  std::string linux;                   // Linux path; found components in their on-disk case
  std::string parent;                  // Linux path of the containing folder (empty at a root)
  std::u16string name;                 // last component as given (empty at a root)
  bool exists = false;                 // the whole path names something (st is valid)
  bool isRoot = false;
  bool trailingSlash = false;          // the Windows path ended with a separator
  struct stat st {};
};

// Maps a Windows path. With error 0 the parent folder exists; `exists` tells whether the last
// component does. Errors: ERROR_INVALID_NAME, ERROR_PATH_NOT_FOUND (missing folder, unknown
// letter, path too long), ERROR_FILENAME_EXCED_RANGE, ERROR_NOT_READY (drive folder gone),
// ERROR_BAD_NETPATH / ERROR_BAD_NET_NAME (unknown server / share).
ResolvedPath resolvePath(std::u16string_view path, unsigned flags = 0);

// Tells the per-process cache of folder names that this process has just made `name` (on-disk
// spelling) in Linux folder `dir`, right after resolvePath found the name missing there.
void noteOwnAddition(const std::string& dir, const std::string& name);

// The drive-relative tail of a Linux path under a drive root, as Windows "E:\a\b"; empty when the
// Linux path lies under no drive.
std::u16string windowsPathOf(const std::string& linuxPath);

// True when `name` is a legal Windows file name component (no refused characters, not a
// reserved device name); wildcards allowed when asked.
bool isLegalName(std::u16string_view name, bool allowWildcards);

// 8.3 aliases as Windows XP gives them: for each of `names` (the entries of Linux folder `dir`),
// its alias "NAME~1.EXT", or empty when the name is already a valid 8.3 name. Names sharing an
// alias stem are numbered in creation order (then by name), ~1 to ~4, then by a hash of the name.
// `dirFd`, when given, is the folder open, for reading creation times relative to it.
// `folderSt`, when given, is the folder's status taken before `names` were read: the aliases are
// then kept per process and served again while the folder's inode and change time stay the same
// (numbering them reads each numbered name's creation time, a system call per name).
std::vector<std::u16string> shortNames(const std::string& dir, const std::vector<std::u16string>& names, int dirFd = -1,
                                       const struct stat* folderSt = nullptr);
bool isValid83(std::u16string_view name);

// The process's current directory in Windows form ("C:\" or "E:\Work", no trailing separator
// except at a root). First use maps the Linux working directory when it lies on a drive.
std::u16string currentDirectory();
// Sets it (the caller has checked the folder exists); also remembers it as its drive's own.
void setCurrentDirectory(const std::u16string& full);

}  // namespace platform::host
