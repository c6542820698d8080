// The drive table in host.db, the per-process snapshot of it, the used-bytes counters of drives
// with a capacity, and drive C:'s row in a new host.
#include "platform/host/drives.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>

#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/host.h"

namespace platform::host {

namespace fs = std::filesystem;

namespace {

SchemaPart drivesSchema(
    "CREATE TABLE IF NOT EXISTS drives ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL,"
    " name_key TEXT NOT NULL UNIQUE,"  // upper-cased name
    " root TEXT NOT NULL,"             // relative: under the host folder
    " type INTEGER NOT NULL,"
    " serial INTEGER NOT NULL,"
    " label TEXT NOT NULL,"
    " fs TEXT NOT NULL,"
    " cluster INTEGER NOT NULL,"
    " capacity INTEGER)");

constexpr DWORD kCSerial = 0x4B49504F;
constexpr std::size_t kUsedPage = 4096;
constexpr std::uint64_t kCounted = 0x636F756E746564ull;  // marks a counter that holds a count

// The C: row is created by every new host at this order, before facilities that write files.
CreateStep cDriveStep(5, [](Host& host) {
  Drive c;
  c.name = u"C:";
  c.root = host.cDrive();
  c.type = kDriveFixed;
  c.serial = kCSerial;
  c.fileSystem = u"NTFS";
  c.clusterSize = 4096;
  addDrive(std::move(c));
});

std::mutex g_snapshotMutex;
std::atomic<std::shared_ptr<const DriveSet>> g_snapshot;
std::mutex g_listenersMutex;
std::vector<DriveListener> g_listeners;

fs::path usedFile(Host& host, std::int64_t id) { return host.folder() / "shm" / ("drive-" + std::to_string(id) + ".used"); }

std::uint64_t countFolder(const fs::path& root, DWORD cluster) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code e2;
    if (it->is_regular_file(e2) && !it->is_symlink(e2)) total += allocatedSize(it->file_size(e2), cluster);
  }
  return total;
}

std::string storedRoot(Host& host, const fs::path& root) {
  fs::path rel = root.lexically_relative(host.folder());
  if (!rel.empty() && *rel.begin() != "..") return rel.string();
  return root.string();
}

fs::path loadedRoot(Host& host, const std::string& stored) {
  fs::path p(stored);
  return p.is_absolute() ? p : host.folder() / p;
}

std::string rootString(const fs::path& root) {
  std::string s = root.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::shared_ptr<const DriveSet> load(Host& host, std::uint64_t counter, std::uint64_t epoch) {
  auto set = std::make_shared<DriveSet>();
  set->counter = counter;
  set->epoch = epoch;
  auto lock = host.db().lock();
  auto q = host.db().query(
      "SELECT id, name, root, type, serial, label, fs, cluster, capacity FROM drives ORDER BY name_key");
  while (q.step()) {
    auto d = std::make_shared<Drive>();
    d->id = q.int64At(0);
    d->name = text::fromUtf8(q.textAt(1));
    d->root = loadedRoot(host, q.textAt(2));
    d->rootString = rootString(d->root);
    d->type = static_cast<UINT>(q.int64At(3));
    d->serial = static_cast<DWORD>(q.int64At(4));
    d->label = text::fromUtf8(q.textAt(5));
    d->fileSystem = text::fromUtf8(q.textAt(6));
    d->clusterSize = static_cast<DWORD>(q.int64At(7));
    if (!q.isNull(8)) {
      d->capacity = static_cast<std::uint64_t>(q.int64At(8));
      try {
        d->used = std::make_shared<UsedSpace>(usedFile(host, d->id), d->root, d->clusterSize, *d->capacity);
      } catch (const std::exception&) {
        d->used = nullptr;  // unmappable counter: the drive reads as unlimited rather than vanishing
      }
    }
    if (!d->isUnc() && d->name[0] >= u'A' && d->name[0] <= u'Z') set->byLetter[d->name[0] - u'A'] = d;
    set->drives.push_back(std::move(d));
  }
  return set;
}

}  // namespace

UsedSpace::UsedSpace(const fs::path& file, const fs::path& root, DWORD cluster, std::uint64_t capacity)
    : capacity_(capacity) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot open " + file.string());
  struct stat st {};
  if (::fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(kUsedPage) && ::ftruncate(fd, kUsedPage) != 0)) {
    ::close(fd);
    throw std::runtime_error("cannot size " + file.string());
  }
  void* p = ::mmap(nullptr, kUsedPage, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    ::close(fd);
    throw std::runtime_error("cannot map " + file.string());
  }
  slots_ = static_cast<std::uint64_t*>(p);
  // One process counts; the others wait on the lock and find the count done.
  ::flock(fd, LOCK_EX);
  std::atomic_ref<std::uint64_t> state(slots_[0]);
  if (state.load() != kCounted) {
    std::atomic_ref<std::uint64_t>(slots_[1]).store(countFolder(root, cluster));
    state.store(kCounted);
  }
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

UsedSpace::~UsedSpace() {
  if (slots_) ::munmap(slots_, kUsedPage);
}

std::uint64_t UsedSpace::used() const { return std::atomic_ref<std::uint64_t>(slots_[1]).load(); }

bool UsedSpace::adjust(std::int64_t delta) {
  std::atomic_ref<std::uint64_t> used(slots_[1]);
  if (delta <= 0) {
    std::uint64_t give = static_cast<std::uint64_t>(-delta);
    std::uint64_t cur = used.load();
    while (!used.compare_exchange_weak(cur, cur > give ? cur - give : 0)) {
    }
    return true;
  }
  std::uint64_t cur = used.load();
  for (;;) {
    if (cur + static_cast<std::uint64_t>(delta) > capacity_) return false;
    if (used.compare_exchange_weak(cur, cur + static_cast<std::uint64_t>(delta))) return true;
  }
}

std::shared_ptr<const Drive> DriveSet::letter(char16_t l) const {
  l = text::upcase(l);
  if (l < u'A' || l > u'Z') return nullptr;
  return byLetter[l - u'A'];
}

std::shared_ptr<const Drive> DriveSet::share(std::u16string_view server, std::u16string_view shareName) const {
  for (const auto& d : drives) {
    if (!d->isUnc()) continue;
    std::u16string_view n(d->name);
    n.remove_prefix(2);
    auto slash = n.find(u'\\');
    if (slash == std::u16string_view::npos) continue;
    if (text::equalNoCase(n.substr(0, slash), server) && text::equalNoCase(n.substr(slash + 1), shareName)) return d;
  }
  return nullptr;
}

bool DriveSet::knowsServer(std::u16string_view server) const {
  for (const auto& d : drives) {
    if (!d->isUnc()) continue;
    std::u16string_view n(d->name);
    n.remove_prefix(2);
    if (text::equalNoCase(n.substr(0, n.find(u'\\')), server)) return true;
  }
  return false;
}

std::shared_ptr<const Drive> DriveSet::byId(std::int64_t id) const {
  for (const auto& d : drives)
    if (d->id == id) return d;
  return nullptr;
}

std::shared_ptr<const DriveSet> drives() {
  Host& host = Host::current();
  std::uint64_t counter = host.counters().read(Counter::Drives);
  std::uint64_t epoch = Host::epoch();
  auto snap = g_snapshot.load(std::memory_order_acquire);
  if (snap && snap->counter == counter && snap->epoch == epoch) return snap;
  std::lock_guard lock(g_snapshotMutex);
  snap = g_snapshot.load(std::memory_order_acquire);
  if (snap && snap->counter == counter && snap->epoch == epoch) return snap;
  snap = load(host, counter, epoch);
  g_snapshot.store(snap, std::memory_order_release);
  return snap;
}

bool driveAlive(std::int64_t id) { return drives()->byId(id) != nullptr; }

std::u16string canonicalDriveName(std::u16string_view t) {
  if (t.size() >= 2 && t[0] == u'\\' && t[1] == u'\\') {
    std::u16string s(t);
    while (!s.empty() && s.back() == u'\\') s.pop_back();
    auto slash = s.find(u'\\', 2);
    if (slash == std::u16string::npos || slash == 2 || slash + 1 >= s.size() || s.find(u'\\', slash + 1) != std::u16string::npos)
      return {};
    return s;
  }
  if (t.empty()) return {};
  char16_t l = text::upcase(t[0]);
  if (l < u'A' || l > u'Z') return {};
  std::u16string_view rest = t.substr(1);
  if (!(rest.empty() || rest == u":" || rest == u":\\" || rest == u":/")) return {};
  return std::u16string{l, u':'};
}

DWORD defaultSerial(std::u16string_view name, const fs::path& root) {
  std::uint32_t h = 2166136261u;  // FNV-1a over the name and folder
  for (char16_t c : name) h = (h ^ text::upcase(c)) * 16777619u;
  for (char c : root.string()) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

std::shared_ptr<const Drive> addDrive(Drive drive) {
  Host& host = Host::current();
  std::u16string name = canonicalDriveName(drive.name);
  if (name.empty()) throw std::runtime_error("invalid drive name " + text::toUtf8(drive.name));
  std::error_code ec;
  fs::path root = fs::absolute(drive.root, ec);
  if (ec || !fs::is_directory(root, ec))
    throw std::runtime_error("drive folder " + drive.root.string() + " does not exist");
  if (!supportsUserXattrs(root))
    throw std::runtime_error(root.string() +
                             " is on a file system without user extended attributes; file attributes could not "
                             "be kept there. Choose a folder on ext4, xfs or btrfs.");
  std::int64_t id = 0;
  {
    Database& db = host.db();
    Database::Transaction t(db);
    auto q = db.query("SELECT 1 FROM drives WHERE name_key = ?1");
    q.bind(1, text::toUtf8(text::upcased(name)));
    if (q.step()) throw std::runtime_error("drive " + text::toUtf8(name) + " already exists");
    auto ins = db.query(
        "INSERT INTO drives(name, name_key, root, type, serial, label, fs, cluster, capacity)"
        " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    ins.bind(1, text::toUtf8(name))
        .bind(2, text::toUtf8(text::upcased(name)))
        .bind(3, storedRoot(host, root))
        .bind(4, static_cast<std::int64_t>(drive.type))
        .bind(5, static_cast<std::int64_t>(drive.serial))
        .bind(6, text::toUtf8(drive.label))
        .bind(7, text::toUtf8(drive.fileSystem))
        .bind(8, static_cast<std::int64_t>(drive.clusterSize ? drive.clusterSize : 4096));
    if (drive.capacity)
      ins.bind(9, static_cast<std::int64_t>(*drive.capacity));
    else
      ins.bindNull(9);
    ins.run();
    id = db.lastInsertRowid();
    t.commit();
  }
  // A fresh count: ids are never reused, but a stale file from a copied host must not survive.
  fs::remove(usedFile(host, id), ec);
  host.counters().bump(Counter::Drives);
  auto added = drives()->byId(id);
  std::vector<DriveListener> listeners;
  {
    std::lock_guard lock(g_listenersMutex);
    listeners = g_listeners;
  }
  if (added)
    for (auto& l : listeners) l(*added, true);
  return added;
}

bool removeDrive(std::u16string_view nameText) {
  Host& host = Host::current();
  std::u16string name = canonicalDriveName(nameText);
  if (name.empty()) return false;
  auto before = drives();
  std::shared_ptr<const Drive> gone;
  for (const auto& d : before->drives)
    if (text::equalNoCase(d->name, name)) gone = d;
  {
    Database& db = host.db();
    Database::Transaction t(db);
    db.query("DELETE FROM drives WHERE name_key = ?1").bind(1, text::toUtf8(text::upcased(name))).run();
    if (db.changes() == 0) return false;
    t.commit();
  }
  host.counters().bump(Counter::Drives);
  if (gone) {
    std::error_code ec;
    fs::remove(usedFile(host, gone->id), ec);
    std::vector<DriveListener> listeners;
    {
      std::lock_guard lock(g_listenersMutex);
      listeners = g_listeners;
    }
    for (auto& l : listeners) l(*gone, false);
  }
  return true;
}

void addDriveListener(DriveListener listener) {
  std::lock_guard lock(g_listenersMutex);
  g_listeners.push_back(std::move(listener));
}

}  // namespace platform::host
