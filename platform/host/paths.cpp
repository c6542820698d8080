// Windows path rules and their mapping onto the drive folders (see paths.h).
#include "platform/host/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"

namespace platform::host {

namespace {

constexpr std::size_t kMaxComponent = 255;

struct Parsed {
  bool unc = false;
  bool verbatim = false;
  bool trailing = false;
  char16_t letter = 0;
  std::u16string server, share;
  std::vector<std::u16string> comps;
};

bool isLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool isSep(char16_t c) { return c == u'\\' || c == u'/'; }

// Splits on separators; empty pieces are dropped, as Win32 collapses "a\\b".
void splitInto(std::u16string_view s, std::vector<std::u16string>& out, bool slashToo) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == u'\\' || (slashToo && s[i] == u'/')) {
      if (i > start) out.emplace_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
}

// "." and ".." applied (in place); trailing dots and spaces of the last component dropped, and
// one trailing dot of every inner name ("dir.\x" is "dir\x", "dir..\x" is "dir.\x", a trailing
// space stays), as Win32's full-path rules do.
void applyDots(std::vector<std::u16string>& comps) {
  if (!comps.empty()) {
    std::u16string& last = comps.back();
    if (last != u"." && last != u"..") {
      while (!last.empty() && (last.back() == u'.' || last.back() == u' ')) last.pop_back();
      if (last.empty()) comps.pop_back();
    }
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < comps.size(); ++i) {
    if (comps[i].size() <= 2 && comps[i][0] == u'.' && (comps[i].size() == 1 || comps[i][1] == u'.')) {
      if (comps[i].size() == 2 && out > 0) --out;
      continue;
    }
    if (i + 1 < comps.size() && comps[i].back() == u'.') comps[i].pop_back();
    if (out != i) comps[out] = std::move(comps[i]);
    ++out;
  }
  comps.resize(out);
}

std::shared_mutex g_cwdMutex;
std::u16string g_cwd;
std::u16string g_driveCwd[26];
std::uint64_t g_cwdEpoch = 0;

DWORD parse(std::u16string_view in, Parsed& p);

// Parses the current directory (always absolute) as a base.
Parsed currentBase() {
  Parsed base;
  std::u16string cwd = currentDirectory();
  if (parse(cwd, base) != 0) {
    base = Parsed{};
    base.letter = u'C';
  }
  base.trailing = false;
  return base;
}

DWORD parse(std::u16string_view in, Parsed& p) {
  p = Parsed{};
  if (in.empty()) return ERROR_PATH_NOT_FOUND;
  if (in.size() >= 4 && in[0] == u'\\' && in[1] == u'\\' && in[2] == u'?' && in[3] == u'\\') {
    p.verbatim = true;
    std::u16string_view rest = in.substr(4);
    if (rest.size() >= 4 && text::equalNoCase(rest.substr(0, 4), u"UNC\\")) {
      std::vector<std::u16string> parts;
      splitInto(rest.substr(4), parts, false);
      if (parts.size() < 2) return ERROR_INVALID_NAME;
      p.unc = true;
      p.server = parts[0];
      p.share = parts[1];
      p.comps.assign(parts.begin() + 2, parts.end());
    } else if (rest.size() >= 2 && isLetter(rest[0]) && rest[1] == u':') {
      p.letter = rest[0];
      if (rest.size() > 2 && rest[2] != u'\\') return ERROR_INVALID_NAME;
      splitInto(rest.substr(2), p.comps, false);
    } else {
      return ERROR_INVALID_NAME;
    }
    p.trailing = !p.comps.empty() && in.back() == u'\\';
    return 0;
  }
  if (in.size() >= 4 && isSep(in[0]) && isSep(in[1]) && in[2] == u'.' && isSep(in[3]))
    return ERROR_FILE_NOT_FOUND;  // device namespace: no file lives there

  std::vector<std::u16string> raw;
  raw.reserve(16);
  if (isSep(in[0]) && in.size() > 1 && isSep(in[1])) {
    std::vector<std::u16string> parts;
    splitInto(in.substr(2), parts, true);
    if (parts.size() < 2) return ERROR_BAD_PATHNAME;
    p.unc = true;
    p.server = parts[0];
    p.share = parts[1];
    raw.assign(parts.begin() + 2, parts.end());
  } else if (in.size() >= 2 && isLetter(in[0]) && in[1] == u':') {
    p.letter = in[0];
    if (in.size() > 2 && isSep(in[2])) {
      splitInto(in.substr(3), raw, true);
    } else {
      // Drive-relative: against the current directory when it is on that drive, else that
      // drive's own remembered directory, else its root.
      Parsed base = currentBase();
      char16_t up = text::upcase(in[0]);
      if (!base.unc && text::upcase(base.letter) == up) {
        raw = base.comps;
      } else {
        std::u16string remembered;
        {
          std::shared_lock lock(g_cwdMutex);
          remembered = g_driveCwd[up - u'A'];
        }
        Parsed rb;
        if (!remembered.empty() && parse(remembered, rb) == 0) raw = rb.comps;
      }
      splitInto(in.substr(2), raw, true);
    }
  } else if (isSep(in[0])) {
    Parsed base = currentBase();
    p.unc = base.unc;
    p.letter = base.letter;
    p.server = base.server;
    p.share = base.share;
    splitInto(in.substr(1), raw, true);
  } else {
    Parsed base = currentBase();
    p.unc = base.unc;
    p.letter = base.letter;
    p.server = base.server;
    p.share = base.share;
    raw = base.comps;
    splitInto(in, raw, true);
  }
  bool endsWithSep = isSep(in.back());
  applyDots(raw);
  p.comps = std::move(raw);
  p.trailing = endsWithSep && !p.comps.empty();
  return 0;
}

std::u16string format(const Parsed& p) {
  std::u16string s;
  s.reserve(64);
  if (p.verbatim) s = u"\\\\?\\";
  if (p.unc) {
    s += p.verbatim ? u"UNC\\" : u"\\\\";
    s += p.server;
    s += u'\\';
    s += p.share;
    if (!p.comps.empty() || p.trailing || !p.verbatim) s += u'\\';
  } else {
    s += p.letter;
    s += u":\\";
  }
  for (std::size_t i = 0; i < p.comps.size(); ++i) {
    if (i) s += u'\\';
    s += p.comps[i];
  }
  if (p.trailing) s += u'\\';
  return s;
}

bool isReservedDevice(std::u16string_view name) {
  std::u16string_view base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  if (base.size() != 3 && base.size() != 4) return false;  // the common case: no work
  char16_t up[4];
  for (std::size_t i = 0; i < base.size(); ++i) up[i] = text::upcase(base[i]);
  std::u16string_view u(up, base.size());
  if (u == u"CON" || u == u"PRN" || u == u"AUX" || u == u"NUL") return true;
  if (u.size() == 4 && (u.substr(0, 3) == u"COM" || u.substr(0, 3) == u"LPT")) return u[3] >= u'1' && u[3] <= u'9';
  return false;
}

// Appends the UTF-8 form of `s`, copying plain ASCII directly.
void appendUtf8(std::string& out, std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) {
      out += text::toUtf8(s);
      return;
    }
  std::size_t at = out.size();
  out.resize(at + s.size());
  for (std::size_t i = 0; i < s.size(); ++i) out[at + i] = static_cast<char>(s[i]);
}

// Folders' names, upper-cased, for the lookups that miss the exact spelling (a file being created
// always does). An entry is trusted only while the folder's inode and change time are what they
// were when it was read; the kernel gives a folder whose change time was read a finer time on its
// next change, so no change by another process goes unseen. This process's own changes update an
// entry in place (a folder of thousands would otherwise be read again for every file made in
// it); a change by another process between this process's lookup and its own change would then
// hide, so an entry is read afresh after a number of own changes proportional to its size.
struct FolderNames {
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec ctime {};
  std::size_t ownChanges = 0;
  bool justChecked = false;  // checked by the last look-up; the next own addition may follow it
  std::unordered_map<std::u16string, std::string> byFolded;  // upper-cased name -> on-disk name
};

constexpr std::size_t kCachedFolders = 64;
std::mutex g_folderMutex;
std::unordered_map<std::string, FolderNames> g_folders;

bool sameChange(const struct stat& st, const FolderNames& f) {
  return st.st_dev == f.dev && st.st_ino == f.ino && st.st_ctim.tv_sec == f.ctime.tv_sec && st.st_ctim.tv_nsec == f.ctime.tv_nsec;
}

// The on-disk spelling of `name` in folder `dir` (whose stat is `dirSt`), case-insensitively.
bool scanFolder(const std::string& dir, const struct stat& dirSt, std::u16string_view name, std::string& found) {
  std::u16string folded = text::upcased(name);
  std::lock_guard lock(g_folderMutex);
  auto it = g_folders.find(dir);
  if (it == g_folders.end() || !sameChange(dirSt, it->second)) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return false;
    if (g_folders.size() >= kCachedFolders && it == g_folders.end()) g_folders.clear();
    FolderNames& f = g_folders[dir];
    f = FolderNames{};
    // The change time read before the names: a change while reading makes the entry stale.
    f.dev = dirSt.st_dev;
    f.ino = dirSt.st_ino;
    f.ctime = dirSt.st_ctim;
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))) continue;
      f.byFolded.try_emplace(text::upcased(text::fromUtf8(e->d_name)), e->d_name);
    }
    ::closedir(d);
    it = g_folders.find(dir);
  }
  it->second.justChecked = true;
  auto hit = it->second.byFolded.find(folded);
  if (hit == it->second.byFolded.end()) return false;
  found = hit->second;
  return true;
}

bool hasWildcards(std::u16string_view s) { return s.find_first_of(u"*?") != std::u16string_view::npos; }

bool is83Char(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return true;
  return std::u16string_view(u"!#$%&'()-@^_`{}~").find(c) != std::u16string_view::npos;
}

// Stem and extension an alias is built from: spaces and leading dots dropped, other dots but the
// last dropped, upper case, characters DOS names cannot hold as '_'.
void aliasParts(std::u16string_view name, std::u16string& stem, std::u16string& ext) {
  std::u16string s;
  for (char16_t c : name)
    if (c != u' ') s += c;
  std::size_t lead = s.find_first_not_of(u'.');
  s.erase(0, lead == std::u16string::npos ? s.size() : lead);
  std::size_t dot = s.rfind(u'.');
  std::u16string base = dot == std::u16string::npos ? s : s.substr(0, dot);
  std::u16string extension = dot == std::u16string::npos ? std::u16string() : s.substr(dot + 1);
  auto clean = [](std::u16string_view in, std::size_t max) {
    std::u16string out;
    for (char16_t c : in) {
      if (out.size() == max) break;
      if (c == u'.') continue;
      out += is83Char(c) ? text::upcase(c) : u'_';
    }
    return out;
  };
  stem = clean(base, 6);
  ext = clean(extension, 3);
  if (stem.empty()) stem = u"_";
}

std::u16string hexWord(std::uint32_t v) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  std::u16string out;
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(v >> shift) & 0xF];
  return out;
}

// Birth time of `name` in folder `dir`, relative to the folder's descriptor when one is given.
std::int64_t birthOf(const std::string& dir, int dirFd, const std::u16string& name) {
  struct statx sx {};
  int rc = dirFd >= 0 ? ::statx(dirFd, text::toUtf8(name).c_str(), 0, STATX_BTIME, &sx)
                      : ::statx(AT_FDCWD, (dir + "/" + text::toUtf8(name)).c_str(), 0, STATX_BTIME, &sx);
  if (rc == 0 && (sx.stx_mask & STATX_BTIME))
    return sx.stx_btime.tv_sec * 1000000000ll + sx.stx_btime.tv_nsec;
  return 0;
}

std::vector<std::u16string> computeShortNames(const std::string& dir, const std::vector<std::u16string>& names, int dirFd);

// A folder's short names as last computed, trusted while the folder's inode and change time are
// those read before its names were (the same rule as the folder names above). Any change of its
// entries changes the change time, and a name's creation time cannot change without one.
struct FolderAliases {
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec ctime {};
  std::size_t count = 0;                                   // entries listed
  std::unordered_map<std::u16string, std::u16string> of;   // name -> alias, for names needing one
};

constexpr std::size_t kCachedAliases = 1 << 16;  // names with aliases kept, over all folders
std::mutex g_aliasMutex;
std::unordered_map<std::string, FolderAliases> g_aliases;
std::size_t g_aliasCount = 0;

bool sameChange(const struct stat& st, const FolderAliases& f) {
  return st.st_dev == f.dev && st.st_ino == f.ino && st.st_ctim.tv_sec == f.ctime.tv_sec && st.st_ctim.tv_nsec == f.ctime.tv_nsec;
}

// The cached aliases of `names` into `out`; false when the folder changed or the names differ.
bool cachedAliases(const std::string& dir, const struct stat& st, const std::vector<std::u16string>& names,
                   std::vector<std::u16string>& out) {
  std::lock_guard lock(g_aliasMutex);
  auto it = g_aliases.find(dir);
  if (it == g_aliases.end() || !sameChange(st, it->second) || it->second.count != names.size()) return false;
  const auto& of = it->second.of;
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto hit = of.find(names[i]);
    if (hit != of.end()) out[i] = hit->second;
    else if (!isValid83(names[i])) return false;
  }
  return true;
}

void keepAliases(const std::string& dir, const struct stat& st, const std::vector<std::u16string>& names,
                 const std::vector<std::u16string>& aliases) {
  std::lock_guard lock(g_aliasMutex);
  auto it = g_aliases.find(dir);
  if (it != g_aliases.end()) {
    g_aliasCount -= it->second.of.size();
    g_aliases.erase(it);
  }
  std::size_t need = 0;
  for (const auto& a : aliases) need += !a.empty();
  if (need > kCachedAliases) return;
  if (g_aliasCount + need > kCachedAliases) {
    g_aliases.clear();
    g_aliasCount = 0;
  }
  FolderAliases& f = g_aliases[dir];
  f.dev = st.st_dev;
  f.ino = st.st_ino;
  f.ctime = st.st_ctim;
  f.count = names.size();
  f.of.reserve(need);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (!aliases[i].empty()) f.of.emplace(names[i], aliases[i]);
  g_aliasCount += f.of.size();
}

// The entries of a folder, without "." and ".."; `st` gets the folder's status read before them.
std::vector<std::u16string> listFolder(const std::string& dir, struct stat& st) {
  std::vector<std::u16string> names;
  if (::stat(dir.c_str(), &st) != 0) return names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))) continue;
    names.push_back(text::fromUtf8(e->d_name));
  }
  ::closedir(d);
  return names;
}

// The entry of `dir` whose 8.3 alias is `alias`.
bool aliasLookup(const std::string& dir, std::u16string_view alias, std::string& found) {
  struct stat st {};
  auto names = listFolder(dir, st);
  auto aliases = shortNames(dir, names, -1, &st);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!aliases[i].empty() && text::equalNoCase(aliases[i], alias)) {
      found = text::toUtf8(names[i]);
      return true;
    }
  }
  return false;
}

}  // namespace

bool isValid83(std::u16string_view name) {
  if (name == u"." || name == u"..") return true;
  std::size_t dot = name.find(u'.');
  if (dot != std::u16string_view::npos && name.find(u'.', dot + 1) != std::u16string_view::npos) return false;
  std::u16string_view base = name.substr(0, dot);
  std::u16string_view ext = dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::u16string_view::npos && ext.empty()) return false;
  for (char16_t c : base)
    if (!is83Char(c)) return false;
  for (char16_t c : ext)
    if (!is83Char(c)) return false;
  return true;
}

std::vector<std::u16string> shortNames(const std::string& dir, const std::vector<std::u16string>& names, int dirFd,
                                       const struct stat* folderSt) {
  std::vector<std::u16string> out(names.size());
  if (folderSt && cachedAliases(dir, *folderSt, names, out)) return out;
  out = computeShortNames(dir, names, dirFd);
  if (folderSt) keepAliases(dir, *folderSt, names, out);
  return out;
}

namespace {

std::vector<std::u16string> computeShortNames(const std::string& dir, const std::vector<std::u16string>& names, int dirFd) {
  std::vector<std::u16string> out(names.size());
  // Real 8.3 names are taken; aliases must not collide with them. Hashed: a folder of thousands
  // of long names would otherwise cost the square of its size.
  std::unordered_set<std::u16string> taken;
  std::vector<std::size_t> need;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (isValid83(names[i]))
      taken.insert(text::upcased(names[i]));
    else
      need.push_back(i);
  }
  if (need.empty()) return out;
  struct Member {
    std::size_t index;
    std::int64_t birth;
    std::u16string key;
  };
  std::vector<std::pair<std::u16string, std::vector<Member>>> groups;  // by stem + ext, in first-seen order
  std::unordered_map<std::u16string, std::size_t> groupOf;
  for (std::size_t i : need) {
    std::u16string stem, ext;
    aliasParts(names[i], stem, ext);
    std::u16string group = stem + u'.' + ext;
    auto [it, added] = groupOf.try_emplace(group, groups.size());
    if (added) groups.push_back({group, {}});
    groups[it->second].second.push_back({i, 0, text::upcased(names[i])});
  }
  auto isTaken = [&](const std::u16string& a) { return taken.count(a) != 0; };
  for (auto& [group, members] : groups) {
    if (members.size() > 1) {
      for (auto& m : members) m.birth = birthOf(dir, dirFd, names[m.index]);
      std::sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
        return a.birth != b.birth ? a.birth < b.birth : a.key < b.key;
      });
    }
    std::u16string stem, ext;
    aliasParts(names[members[0].index], stem, ext);
    std::u16string dotExt = ext.empty() ? std::u16string() : u"." + ext;
    int next = 1;
    for (std::size_t k = 0; k < members.size(); ++k) {
      std::u16string alias;
      // The first four take ~1..~4 (skipping numbers a real name holds); later ones a hash form.
      while (next <= 4) {
        std::u16string candidate = stem + u"~" + static_cast<char16_t>(u'0' + next++) + dotExt;
        if (!isTaken(candidate)) {
          alias = candidate;
          break;
        }
      }
      if (alias.empty()) {
        std::uint32_t h = 0;
        for (char16_t c : members[k].key) h = (h * 31 + c) & 0xFFFFFFFFu;
        std::u16string two = stem.substr(0, 2);
        for (int n = 1; n < 10 && alias.empty(); ++n) {
          std::u16string candidate = two + hexWord((h ^ (h >> 16)) & 0xFFFF) + u"~" + static_cast<char16_t>(u'0' + n) + dotExt;
          if (!isTaken(candidate)) alias = candidate;
        }
      }
      taken.insert(alias);
      out[members[k].index] = alias;
    }
  }
  return out;
}

}  // namespace

DWORD errorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
    case ESTALE: return ERROR_NOT_READY;
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EAGAIN: return ERROR_LOCK_VIOLATION;
    case EIO: return ERROR_IO_DEVICE;
    default: return ERROR_GEN_FAILURE;
  }
}

bool isLegalName(std::u16string_view name, bool allowWildcards) {
  if (name.empty()) return false;
  for (char16_t c : name) {
    if (c < 0x20) return false;
    switch (c) {
      case u'<': case u'>': case u':': case u'"': case u'/': case u'\\': case u'|':
        return false;
      case u'*': case u'?':
        if (!allowWildcards) return false;
        break;
      default: break;
    }
  }
  return !isReservedDevice(name);
}

DWORD fullPathName(std::u16string_view path, std::u16string& full) {
  Parsed p;
  if (DWORD e = parse(path, p)) return e;
  full = p.verbatim ? std::u16string(path) : format(p);
  return 0;
}

ResolvedPath resolvePath(std::u16string_view path, unsigned flags) {
  ResolvedPath r;
  Parsed p;
  if ((r.error = parse(path, p))) return r;
  r.full = p.verbatim ? std::u16string(path) : format(p);
  r.trailingSlash = p.trailing;
  if (!p.verbatim) {
    std::size_t limit = (flags & kResolveDirLimit) ? MAX_PATH - 12 : MAX_PATH;
    if (r.full.size() >= limit) {
      r.error = (flags & kResolveDirLimit) ? ERROR_FILENAME_EXCED_RANGE : ERROR_PATH_NOT_FOUND;
      return r;
    }
  }
  for (std::size_t i = 0; i < p.comps.size(); ++i) {
    const auto& c = p.comps[i];
    bool last = i + 1 == p.comps.size();
    if (c.size() > kMaxComponent) {
      r.error = ERROR_FILENAME_EXCED_RANGE;
      return r;
    }
    bool wild = last && (flags & kResolveWildcards);
    if (c == u"." || c == u"..") {  // only a "\\?\" path keeps them; they must not climb out of a drive
      r.error = ERROR_INVALID_NAME;
      return r;
    }
    if (p.verbatim ? !isLegalName(c, wild) && !isReservedDevice(c) : !isLegalName(c, wild)) {
      r.error = ERROR_INVALID_NAME;
      return r;
    }
  }
  auto set = drives();
  if (p.unc) {
    r.drive = set->share(p.server, p.share);
    if (!r.drive) {
      r.error = set->knowsServer(p.server) ? ERROR_BAD_NET_NAME : ERROR_BAD_NETPATH;
      return r;
    }
  } else {
    r.drive = set->letter(p.letter);
    if (!r.drive) {
      r.error = ERROR_PATH_NOT_FOUND;
      return r;
    }
  }
  const std::string& root = r.drive->rootString;
  if (p.comps.empty()) {
    r.isRoot = true;
    r.linux = root;
    if (::stat(root.c_str(), &r.st) != 0) {
      r.error = ERROR_NOT_READY;
      return r;
    }
    r.exists = true;
    return r;
  }
  r.name = p.comps.back();
  bool wildLast = (flags & kResolveWildcards) && hasWildcards(r.name);

  // Exact case: one stat for the whole path.
  std::string exact;
  exact.reserve(root.size() + r.full.size() + 8);
  if (root != "/") exact = root;
  std::size_t parentEnd = 0;
  for (const auto& c : p.comps) {
    parentEnd = exact.size();
    exact += '/';
    appendUtf8(exact, c);
  }
  const bool exactFound = !wildLast && ::stat(exact.c_str(), &r.st) == 0;
  const int exactErr = errno;
  if (exactFound) {
    r.exists = true;
    r.linux = std::move(exact);
    r.parent = parentEnd ? r.linux.substr(0, parentEnd) : std::string("/");
    return r;
  }

  // Only the last name missing (a file about to be made, a name in another case): the folder
  // as spelled exists, so only that name is looked up. Otherwise walk from the root, scanning
  // folders where the exact spelling is missing.
  std::string cur = root;
  struct stat curSt {};
  std::size_t first = 0;
  if (p.comps.size() > 1 && ::stat(exact.substr(0, parentEnd).c_str(), &curSt) == 0 && S_ISDIR(curSt.st_mode)) {
    cur = exact.substr(0, parentEnd);
    first = p.comps.size() - 1;
  } else if (::stat(cur.c_str(), &curSt) != 0) {
    r.error = ERROR_NOT_READY;
    return r;
  }
  struct stat st {};
  for (std::size_t i = first; i < p.comps.size(); ++i) {
    bool last = i + 1 == p.comps.size();
    std::string base = cur == "/" ? std::string() : cur;
    std::string cand = base + "/" + text::toUtf8(p.comps[i]);
    if (last && wildLast) {
      r.parent = cur;
      r.linux = std::move(cand);
      return r;
    }
    // The last name as spelled was already looked for when only it was left to find.
    const bool known = last && first == i && i > 0;
    bool found = !known && ::stat(cand.c_str(), &st) == 0;
    if (!found) {
      int err = known ? exactErr : errno;
      if (err != ENOENT) {
        r.error = err == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(err);
        return r;
      }
      std::string real;
      if (scanFolder(cur, curSt, p.comps[i], real) ||
          (p.comps[i].find(u'~') != std::u16string::npos && aliasLookup(cur, p.comps[i], real))) {
        cand = base + "/" + real;
        found = ::stat(cand.c_str(), &st) == 0;
      }
    }
    if (!last) {
      if (!found || !S_ISDIR(st.st_mode)) {
        r.error = ERROR_PATH_NOT_FOUND;
        return r;
      }
      cur = std::move(cand);
      curSt = st;
      continue;
    }
    r.parent = cur;
    r.linux = std::move(cand);
    r.exists = found;
    if (found) r.st = st;
  }
  return r;
}

void noteOwnAddition(const std::string& dir, const std::string& name) {
  std::lock_guard lock(g_folderMutex);
  auto it = g_folders.find(dir);
  if (it == g_folders.end()) return;
  FolderNames& f = it->second;
  struct stat st {};
  // Only right after a look-up checked the entry: a later addition could hide another
  // process's change made in between.
  if (!f.justChecked || ::stat(dir.c_str(), &st) != 0 || st.st_dev != f.dev || st.st_ino != f.ino ||
      ++f.ownChanges > std::max<std::size_t>(64, f.byFolded.size() / 4)) {
    g_folders.erase(it);
    return;
  }
  f.justChecked = false;
  f.ctime = st.st_ctim;
  f.byFolded.try_emplace(text::upcased(text::fromUtf8(name)), name);
}

std::u16string windowsPathOf(const std::string& linuxPath) {
  auto set = drives();
  std::shared_ptr<const Drive> best;
  for (const auto& d : set->drives) {
    if (d->isUnc()) continue;
    const std::string& root = d->rootString;
    bool under = linuxPath == root ||
                 (linuxPath.size() > root.size() && linuxPath.compare(0, root.size(), root) == 0 &&
                  (root == "/" || linuxPath[root.size()] == '/'));
    if (under && (!best || root.size() > best->rootString.size())) best = d;
  }
  if (!best) return {};
  std::u16string out = best->name + u"\\";
  std::string rest = linuxPath.substr(std::min(linuxPath.size(), best->rootString.size()));
  std::vector<std::u16string> parts;
  splitInto(text::fromUtf8(rest), parts, true);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += u'\\';
    out += parts[i];
  }
  return out;
}

std::u16string currentDirectory() {
  std::uint64_t epoch = Host::epoch();
  {
    std::shared_lock lock(g_cwdMutex);
    if (g_cwdEpoch == epoch) return g_cwd;
  }
  // A new host (or first use): the Linux working directory when it lies on a drive, else C:\.
  std::u16string initial;
  char buf[4096];
  if (::getcwd(buf, sizeof buf)) initial = windowsPathOf(buf);
  if (initial.empty()) initial = u"C:\\";
  std::unique_lock lock(g_cwdMutex);
  if (g_cwdEpoch != epoch) {
    g_cwd = initial;
    for (auto& d : g_driveCwd) d.clear();
    g_cwdEpoch = epoch;
  }
  return g_cwd;
}

void setCurrentDirectory(const std::u16string& full) {
  currentDirectory();
  std::u16string value = full;
  if (value.size() > 3 && value.back() == u'\\') value.pop_back();
  std::unique_lock lock(g_cwdMutex);
  g_cwd = value;
  if (value.size() >= 2 && value[1] == u':' && isLetter(value[0])) g_driveCwd[text::upcase(value[0]) - u'A'] = value;
}

}  // namespace platform::host
