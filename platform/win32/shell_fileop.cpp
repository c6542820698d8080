// SHFileOperationW over the Win32 file calls: the sources are expanded (wildcards), each is given
// its destination by Explorer's rules, and trees are walked with FindFirstFileW so every file and
// folder goes through CopyFileW, MoveFileExW, DeleteFileW, CreateDirectoryW and RemoveDirectoryW.
#include "platform/win32/shell_fileop.h"

#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"

namespace {

using std::u16string;
using std::u16string_view;

std::vector<u16string> parseList(LPCWSTR list) {
  std::vector<u16string> out;
  if (!list) return out;
  for (const char16_t* p = list; *p; p += out.back().size() + 1) out.emplace_back(p);
  return out;
}

u16string fullPath(const u16string& path) {
  char16_t buf[1024];
  DWORD n = GetFullPathNameW(path.c_str(), 1024, buf, nullptr);
  if (n == 0 || n >= 1024) return path;
  u16string full(buf, n);
  // Keep a root's backslash; drop any other trailing one.
  while (full.size() > 3 && full.back() == u'\\') full.pop_back();
  return full;
}

// The same path as the file system spells it (long names), for comparing two paths.
u16string canonical(const u16string& path) {
  char16_t buf[1024];
  DWORD n = GetLongPathNameW(path.c_str(), buf, 1024);
  if (n == 0 || n >= 1024) return path;
  return u16string(buf, n);
}

bool samePath(const u16string& a, const u16string& b) {
  return platform::text::equalNoCase(canonical(a), canonical(b));
}

// Whether `inner` is `outer` or lies below it.
bool isWithin(const u16string& inner, const u16string& outer) {
  u16string a = platform::text::upcased(canonical(inner)), b = platform::text::upcased(canonical(outer));
  if (a == b) return true;
  if (!b.empty() && b.back() != u'\\') b += u'\\';
  return a.size() > b.size() && a.compare(0, b.size(), b) == 0;
}

u16string nameOf(const u16string& path) {
  auto pos = path.find_last_of(u'\\');
  return pos == u16string::npos ? path : path.substr(pos + 1);
}

u16string parentOf(const u16string& path) {
  auto pos = path.find_last_of(u'\\');
  if (pos == u16string::npos) return u16string();
  if (pos == 2 && path.size() > 1 && path[1] == u':') return path.substr(0, 3);
  return path.substr(0, pos);
}

u16string join(const u16string& folder, const u16string& name) {
  if (!folder.empty() && folder.back() == u'\\') return folder + name;
  return folder + u'\\' + name;
}

bool isRoot(const u16string& path) {
  if (path.size() == 3 && path[1] == u':' && path[2] == u'\\') return true;
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\') {
    // "\\server\share" with nothing after it.
    auto server = path.find(u'\\', 2);
    return server != u16string::npos && path.find(u'\\', server + 1) == u16string::npos;
  }
  return false;
}

bool hasWildcard(const u16string& path) { return nameOf(path).find_first_of(u"*?") != u16string::npos; }

DWORD attributes(const u16string& path) { return GetFileAttributesW(path.c_str()); }
bool exists(const u16string& path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }
bool isFolder(const u16string& path) {
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD lastError() {
  DWORD e = GetLastError();
  return e ? e : ERROR_GEN_FAILURE;
}

struct Entry {
  u16string name;
  bool folder;
};

// The entries of a folder matching `pattern` ("*" for all), "." and ".." left out.
DWORD listEntries(const u16string& pattern, std::vector<Entry>& out) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES ? 0 : e;
  }
  do {
    u16string name(data.cFileName);
    if (name == u"." || name == u"..") continue;
    out.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(h, &data));
  DWORD e = GetLastError();
  FindClose(h);
  return e == ERROR_NO_MORE_FILES ? 0 : e;
}

// Creates a folder and its missing parents; 0 or the error.
DWORD makeFolders(const u16string& path) {
  if (path.empty() || isFolder(path)) return 0;
  if (isRoot(path)) return ERROR_PATH_NOT_FOUND;
  u16string parent = parentOf(path);
  if (!parent.empty() && parent != path)
    if (DWORD e = makeFolders(parent)) return e;
  if (CreateDirectoryW(path.c_str(), nullptr)) return 0;
  DWORD e = lastError();
  return e == ERROR_ALREADY_EXISTS && isFolder(path) ? 0 : e;
}

// Clears a read-only attribute so a replace or delete the user confirmed can go on.
void clearReadOnly(const u16string& path) {
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_READONLY)) return;
  DWORD keep = a & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  SetFileAttributesW(path.c_str(), keep ? keep : FILE_ATTRIBUTE_NORMAL);
}

// "Copy of x", then "Copy (2) of x", ...: the first name not taken in the target's folder.
u16string collisionName(const u16string& target) {
  u16string folder = parentOf(target), name = nameOf(target);
  for (int i = 1;; ++i) {
    u16string candidate = join(folder, (i == 1 ? u16string(u"Copy of ") : u"Copy (" + platform::text::fromUtf8(std::to_string(i)) + u") of ") + name);
    if (!exists(candidate)) return candidate;
  }
}

DWORD deleteTree(const u16string& path);

DWORD deleteItem(const u16string& path, bool folder) {
  clearReadOnly(path);
  if (!folder) return DeleteFileW(path.c_str()) ? 0 : lastError();
  return deleteTree(path);
}

DWORD deleteTree(const u16string& path) {
  std::vector<Entry> entries;
  if (DWORD e = listEntries(join(path, u"*"), entries)) return e;
  for (const Entry& entry : entries)
    if (DWORD e = deleteItem(join(path, entry.name), entry.folder)) return e;
  clearReadOnly(path);
  return RemoveDirectoryW(path.c_str()) ? 0 : lastError();
}

DWORD copyFile(const u16string& source, const u16string& target) {
  if (isFolder(target)) return DE_FILEDESTISFLD;
  clearReadOnly(target);
  return CopyFileW(source.c_str(), target.c_str(), FALSE) ? 0 : lastError();
}

DWORD copyTree(const u16string& source, const u16string& target) {
  if (exists(target) && !isFolder(target)) return DE_FLDDESTISFILE;
  if (DWORD e = makeFolders(target)) return e;
  std::vector<Entry> entries;
  if (DWORD e = listEntries(join(source, u"*"), entries)) return e;
  for (const Entry& entry : entries) {
    u16string from = join(source, entry.name), to = join(target, entry.name);
    if (DWORD e = entry.folder ? copyTree(from, to) : copyFile(from, to)) return e;
  }
  return 0;
}

DWORD moveTree(const u16string& source, const u16string& target);

DWORD moveFile(const u16string& source, const u16string& target) {
  if (isFolder(target)) return DE_FILEDESTISFLD;
  if (exists(target) && !samePath(source, target)) clearReadOnly(target);
  return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) ? 0 : lastError();
}

// A folder onto a folder that exists: its entries are merged in, then the emptied source removed.
DWORD mergeTree(const u16string& source, const u16string& target) {
  std::vector<Entry> entries;
  if (DWORD e = listEntries(join(source, u"*"), entries)) return e;
  for (const Entry& entry : entries) {
    u16string from = join(source, entry.name), to = join(target, entry.name);
    if (DWORD e = entry.folder ? moveTree(from, to) : moveFile(from, to)) return e;
  }
  clearReadOnly(source);
  return RemoveDirectoryW(source.c_str()) ? 0 : lastError();
}

DWORD moveTree(const u16string& source, const u16string& target) {
  if (exists(target) && !isFolder(target)) return DE_FLDDESTISFILE;
  if (isFolder(target) && !samePath(source, target)) return mergeTree(source, target);
  if (MoveFileExW(source.c_str(), target.c_str(), 0)) return 0;
  DWORD e = lastError();
  if (e != ERROR_NOT_SAME_DEVICE) return e;
  // Another drive: a folder is copied, then the source tree removed.
  if (DWORD c = copyTree(source, target)) return c;
  return deleteTree(source);
}

struct Source {
  u16string path;
  bool folder;
  bool fromWildcard;
};

// Expands one source entry; a missing source (not a wildcard) is an error.
DWORD expand(const u16string& entry, bool filesOnly, std::vector<Source>& out) {
  u16string path = fullPath(entry);
  if (!hasWildcard(path)) {
    DWORD a = attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
      DWORD e = GetLastError();
      return e ? e : ERROR_FILE_NOT_FOUND;
    }
    out.push_back({path, (a & FILE_ATTRIBUTE_DIRECTORY) != 0, false});
    return 0;
  }
  u16string folder = parentOf(path);
  if (!isFolder(folder)) return ERROR_PATH_NOT_FOUND;
  std::vector<Entry> entries;
  if (DWORD e = listEntries(path, entries)) return e;
  for (const Entry& entry : entries)
    if (!(filesOnly && entry.folder)) out.push_back({join(folder, entry.name), entry.folder, true});
  return 0;
}

DWORD doDelete(const std::vector<Source>& sources) {
  for (const Source& s : sources) {
    if (isRoot(s.path)) return DE_ROOTDIR;
    if (DWORD e = deleteItem(s.path, s.folder)) return e;
  }
  return 0;
}

DWORD doRename(const std::vector<u16string>& from, const std::vector<u16string>& to) {
  if (from.size() != 1 || to.size() != 1) return to.size() > 1 ? DE_MANYDEST : DE_MANYSRC1DEST;
  if (hasWildcard(from[0]) || hasWildcard(to[0])) return DE_ERROR_UNKNOWN;
  u16string source = fullPath(from[0]);
  u16string target = to[0].find(u'\\') == u16string::npos ? join(parentOf(source), to[0]) : fullPath(to[0]);
  if (!exists(source)) return ERROR_FILE_NOT_FOUND;
  if (isRoot(source)) return DE_ROOTDIR;
  if (!platform::text::equalNoCase(parentOf(source), parentOf(target))) return DE_DIFFDIR;
  if (exists(target) && !samePath(source, target)) return ERROR_ALREADY_EXISTS;
  return MoveFileExW(source.c_str(), target.c_str(), 0) ? 0 : lastError();
}

// One source to its final destination path, by copy or move.
DWORD transfer(bool move, const Source& s, u16string target, FILEOP_FLAGS flags) {
  if (isRoot(s.path) && move) return DE_ROOTDIR;
  const bool same = samePath(s.path, target);
  if (s.folder && !same && isWithin(target, s.path)) return DE_DESTSUBTREE;
  if (same) {
    // Onto itself: a move may change the case of the name; a copy with FOF_RENAMEONCOLLISION
    // makes "Copy of"; anything else is refused.
    const bool caseChange = move && s.path != target;
    if (!caseChange) {
      if (move || !(flags & FOF_RENAMEONCOLLISION)) return DE_SAMEFILE;
      target = collisionName(target);
    }
  } else if (exists(target) && (flags & FOF_RENAMEONCOLLISION)) {
    target = collisionName(target);
  }
  if (DWORD e = makeFolders(parentOf(target))) return e;
  if (move) return s.folder ? moveTree(s.path, target) : moveFile(s.path, target);
  return s.folder ? copyTree(s.path, target) : copyFile(s.path, target);
}

DWORD doTransfer(bool move, const std::vector<u16string>& from, const std::vector<u16string>& to, FILEOP_FLAGS flags) {
  const bool multiDest = (flags & FOF_MULTIDESTFILES) != 0;
  if (to.empty()) return DE_INVALIDFILES;
  if (!multiDest && to.size() > 1) return DE_MANYDEST;
  if (multiDest && to.size() > 1 && to.size() != from.size()) return DE_MANYSRC1DEST;
  const bool pairs = multiDest && to.size() == from.size() && from.size() > 1;

  // Every source is looked at before anything is done, as the shell counts its work first.
  std::vector<std::vector<Source>> expanded(from.size());
  bool several = from.size() > 1;
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (DWORD e = expand(from[i], (flags & FOF_FILESONLY) != 0, expanded[i])) return e;
    if (hasWildcard(from[i])) several = true;
  }
  for (std::size_t i = 0; i < from.size(); ++i) {
    u16string dest = fullPath(pairs ? to[i] : to[0]);
    // Into the target folder when it exists, or when several items go to one target.
    const bool into = isFolder(dest) || (!pairs && several);
    if (into && !pairs && several)
      if (DWORD e = makeFolders(dest)) return e;
    for (const Source& s : expanded[i]) {
      u16string target = into ? join(dest, nameOf(s.path)) : dest;
      if (into && samePath(s.path, dest)) target = dest;  // a folder onto itself
      if (DWORD e = transfer(move, s, target, flags)) return e;
    }
  }
  return 0;
}

DWORD run(UINT func, const std::vector<u16string>& from, const std::vector<u16string>& to, FILEOP_FLAGS flags) {
  DWORD rc = 0;
  switch (func) {
    case FO_DELETE: {
      std::vector<Source> sources;
      for (const u16string& entry : from)
        if ((rc = expand(entry, (flags & FOF_FILESONLY) != 0, sources))) break;
      if (!rc) rc = doDelete(sources);
      break;
    }
    case FO_RENAME:
      rc = doRename(from, to);
      break;
    default:
      rc = doTransfer(func == FO_MOVE, from, to, flags);
      break;
  }
  return rc;
}

}  // namespace

int SHFileOperationW(LPSHFILEOPSTRUCTW op) {
  if (!op) return ERROR_INVALID_PARAMETER;
  op->fAnyOperationsAborted = FALSE;
  op->hNameMappings = nullptr;
  std::vector<u16string> from = parseList(op->pFrom), to = parseList(op->pTo);
  if (DWORD e = platform::fault::check("SHFileOperationW", from.empty() ? u16string_view() : u16string_view(from[0]))) {
    op->fAnyOperationsAborted = TRUE;
    return static_cast<int>(e);
  }
  DWORD rc = 0;
  if (op->wFunc < FO_MOVE || op->wFunc > FO_RENAME) {
    rc = DE_ERROR_UNKNOWN;
  } else if (from.empty()) {
    rc = DE_INVALIDFILES;
  } else {
    rc = run(op->wFunc, from, to, op->fFlags);
  }
  if (rc) op->fAnyOperationsAborted = TRUE;
  return static_cast<int>(rc);
}
