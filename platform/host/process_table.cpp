// The process table and the shell's open records in host.db (see process_table.h).
#include "platform/host/process_table.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/file.h"
#include "platform/win32/module.h"
#include "platform/win32/process.h"

namespace platform::host {

namespace {

SchemaPart processesSchema(
    "CREATE TABLE IF NOT EXISTS processes (pid INTEGER NOT NULL, start INTEGER NOT NULL, boot TEXT NOT NULL,"
    " parent_pid INTEGER NOT NULL, image_path TEXT NOT NULL, image_name TEXT NOT NULL,"
    " linux_image TEXT NOT NULL, image_dev INTEGER NOT NULL, image_ino INTEGER NOT NULL,"
    " user TEXT NOT NULL, command_line TEXT NOT NULL, exit_code INTEGER, ended INTEGER,"
    " PRIMARY KEY (pid, start, boot))");

SchemaPart shellOpensSchema(
    "CREATE TABLE IF NOT EXISTS shell_opens (id INTEGER PRIMARY KEY AUTOINCREMENT, time INTEGER NOT NULL,"
    " kind TEXT NOT NULL, verb TEXT NOT NULL, target TEXT NOT NULL, parameters TEXT NOT NULL,"
    " directory TEXT NOT NULL, show INTEGER NOT NULL, handler TEXT NOT NULL)");

// How long an ended process's row keeps its recorded exit code for late readers.
constexpr std::uint64_t kKeepEndedTicks = 10ull * 60 * 10000000;

const std::string& bootId() {
  static const std::string* id = [] {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    auto* s = new std::string;
    std::getline(in, *s);
    return s;
  }();
  return *id;
}

// Fields of /proc/<pid>/stat after the command name: state is field 3, start time field 22.
bool readStat(pid_t pid, char& state, std::uint64_t& start) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;
  std::size_t close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(line.substr(close + 1));
  std::string field;
  rest >> state;
  for (int i = 4; i < 22 && rest >> field; ++i) {
  }
  return static_cast<bool>(rest >> start);
}

bool statAlive(DWORD pid, std::uint64_t start) {
  char state = 0;
  std::uint64_t now = 0;
  if (!readStat(static_cast<pid_t>(pid), state, now)) return false;
  return now == start && state != 'Z' && state != 'X';
}

// A descriptor on one process (pidfd) that becomes readable when the process ends, so asking
// whether it still runs is one poll() instead of a read of its /proc status.
class ProcessWatch {
 public:
  explicit ProcessWatch(int fd) : fd_(fd) {}
  ProcessWatch(ProcessWatch&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;
  ProcessWatch& operator=(ProcessWatch&&) = delete;
  ~ProcessWatch() {
    if (fd_ >= 0) ::close(fd_);
  }

  static ProcessWatch open(DWORD pid) {
#ifdef SYS_pidfd_open
    // Close-on-exec by default; fails on kernels before 5.3, and then every question reads /proc.
    return ProcessWatch(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)));
#else
    (void)pid;
    return ProcessWatch(-1);
#endif
  }
  bool valid() const { return fd_ >= 0; }
  // 1: ended (a zombie too), 0: running, -1: cannot tell.
  int ended() const {
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, 0);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }

 private:
  int fd_;
};

// The watched processes of other programs, by id and start time. Bounded: a process asked about
// when the table is full (of running processes) is answered from /proc and not watched.
constexpr std::size_t kMaxWatched = 256;

struct Watches {
  std::mutex mutex;
  std::map<std::pair<DWORD, std::uint64_t>, ProcessWatch> byProcess;
};

Watches& watches() {
  static Watches w;
  return w;
}

// Opens a watch on the process and checks afterwards that the id still belongs to the process
// of that start time: a watch opened on an earlier holder of the id has ended by then.
bool watchAndCheck(DWORD pid, std::uint64_t start) {
  ProcessWatch watch = ProcessWatch::open(pid);
  if (!statAlive(pid, start)) return false;
  if (!watch.valid() || watch.ended() != 0) return true;
  Watches& w = watches();
  std::lock_guard lock(w.mutex);
  if (w.byProcess.size() >= kMaxWatched)
    std::erase_if(w.byProcess, [](const auto& entry) { return entry.second.ended() != 0; });
  if (w.byProcess.size() < kMaxWatched) w.byProcess.try_emplace({pid, start}, std::move(watch));
  return true;
}

ProcessRow rowFrom(Query& q) {
  ProcessRow r;
  r.pid = static_cast<DWORD>(q.int64At(0));
  r.start = static_cast<std::uint64_t>(q.int64At(1));
  r.parentPid = static_cast<DWORD>(q.int64At(2));
  r.imagePath = text::fromUtf8(q.textAt(3));
  r.imageName = text::fromUtf8(q.textAt(4));
  r.linuxImage = q.textAt(5);
  r.imageDev = static_cast<std::uint64_t>(q.int64At(6));
  r.imageIno = static_cast<std::uint64_t>(q.int64At(7));
  r.user = text::fromUtf8(q.textAt(8));
  r.commandLine = text::fromUtf8(q.textAt(9));
  if (!q.isNull(10)) r.exitCode = static_cast<DWORD>(q.int64At(10));
  return r;
}

constexpr const char* kRowColumns =
    "pid, start, parent_pid, image_path, image_name, linux_image, image_dev, image_ino, user, command_line,"
    " exit_code";

void writeRow(Database& db, const ProcessRow& r, bool replace) {
  std::string sql =
      "INSERT INTO processes (pid, start, boot, parent_pid, image_path, image_name, linux_image, image_dev,"
      " image_ino, user, command_line) VALUES (?,?,?,?,?,?,?,?,?,?,?) ON CONFLICT (pid, start, boot) DO ";
  sql += replace ? "UPDATE SET parent_pid = excluded.parent_pid, image_path = excluded.image_path,"
                   " image_name = excluded.image_name, linux_image = excluded.linux_image,"
                   " image_dev = excluded.image_dev, image_ino = excluded.image_ino, user = excluded.user,"
                   " command_line = excluded.command_line"
                 : "NOTHING";
  db.query(sql)
      .bind(1, static_cast<std::int64_t>(r.pid))
      .bind(2, static_cast<std::int64_t>(r.start))
      .bind(3, bootId())
      .bind(4, static_cast<std::int64_t>(r.parentPid))
      .bind(5, text::toUtf8(r.imagePath))
      .bind(6, text::toUtf8(r.imageName))
      .bind(7, r.linuxImage)
      .bind(8, static_cast<std::int64_t>(r.imageDev))
      .bind(9, static_cast<std::int64_t>(r.imageIno))
      .bind(10, text::toUtf8(r.user))
      .bind(11, text::toUtf8(r.commandLine))
      .run();
}

// Which host this process registered in (by epoch), so the exit hook never writes into a host
// the process has left.
std::atomic<std::uint64_t> g_registeredEpoch{0};
std::atomic<bool> g_startedByParent{false};
std::mutex g_registerMutex;

// The file in which a normal exit leaves its code: shm/exit/<pid>-<start>. Written with plain
// system calls, because exit handlers run while the library's static objects are being
// destroyed, so the database cannot be opened then.
std::string exitFileName(const std::string& hostFolder, DWORD pid, std::uint64_t start) {
  return hostFolder + "/shm/exit/" + std::to_string(pid) + "-" + std::to_string(start);
}

// Records the code a normal exit (return from main, exit()) passes, for a process of the host
// (registered, or started by a host program, which wrote its row).
void recordExitAtExit(int status, void*) {
  const std::uint64_t epoch = g_registeredEpoch.load();
  if (!(epoch != 0 && epoch == Host::epoch()) && !g_startedByParent.load()) return;
  const char* folder = std::getenv("KIPO_HOST");
  if (!folder || !*folder) return;
  std::string dir = std::string(folder) + "/shm/exit";
  ::mkdir(dir.c_str(), 0777);
  std::string file = exitFileName(folder, static_cast<DWORD>(::getpid()), currentStartTime());
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return;
  std::string code = std::to_string(static_cast<DWORD>(status));
  [[maybe_unused]] ssize_t n = ::write(fd, code.data(), code.size());
  ::close(fd);
}

// ---- running images, cached by the table's change counter ----

struct ImageEntry {
  std::uint64_t dev, ino;
  DWORD pid;
  std::uint64_t start;
};

struct ImageCache {
  std::mutex mutex;
  std::uint64_t epoch = 0;
  std::uint64_t seen = ~0ull;
  std::vector<ImageEntry> entries;
};

ImageCache& imageCache() {
  static ImageCache* c = new ImageCache();
  return *c;
}

bool runningImageTest(const std::string& linuxPath) { return isRunningImageFile(linuxPath); }

// Installed when the library loads, so that a child that never opens its host still records its
// exit. Exit handlers run in reverse order of registration: this file initialises after
// host/host.cpp and host/database.cpp (the library's sources are linked in path order), so the
// handler runs while the host and its database still exist.
// The running-image test goes in at load too: a program may delete files before it ever uses the
// process facility (an uninstaller deleting its own folder), and its own image must stay.
struct ExitHook {
  ExitHook() {
    ::on_exit(recordExitAtExit, nullptr);
    setRunningImageTest(runningImageTest);
  }
} g_exitHook;

}  // namespace

std::uint64_t processStartTime(pid_t pid) {
  char state = 0;
  std::uint64_t start = 0;
  return readStat(pid, state, start) ? start : 0;
}

bool processAlive(DWORD pid, std::uint64_t start) {
  Watches& w = watches();
  {
    std::lock_guard lock(w.mutex);
    if (auto it = w.byProcess.find({pid, start}); it != w.byProcess.end()) {
      switch (it->second.ended()) {
        case 0:
          return true;
        case 1:
          w.byProcess.erase(it);
          return false;
        default:
          break;
      }
    }
  }
  return watchAndCheck(pid, start);
}

std::uint64_t currentStartTime() {
  static const std::uint64_t start = processStartTime(::getpid());
  // A forked child (no exec) inherits the static; it is never a host process of its own.
  return start;
}

void registerCurrentProcess() {
  const std::uint64_t epoch = Host::epoch();
  if (g_registeredEpoch.load(std::memory_order_acquire) == epoch) return;
  // Opening the host registers the process itself (re-entering here): open it before the lock.
  Host& host = Host::current();
  std::lock_guard guard(g_registerMutex);
  if (g_registeredEpoch.load() == epoch) return;
  ProcessRow r;
  r.pid = static_cast<DWORD>(::getpid());
  r.start = currentStartTime();
  r.parentPid = static_cast<DWORD>(::getppid());
  WCHAR path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  r.imagePath.assign(path, std::min<DWORD>(n, MAX_PATH * 2));
  std::size_t slash = r.imagePath.find_last_of(u"\\/");
  r.imageName = slash == std::u16string::npos ? r.imagePath : r.imagePath.substr(slash + 1);
  char exe[4096];
  ssize_t len = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (len > 0) r.linuxImage.assign(exe, static_cast<std::size_t>(len));
  struct stat st {};
  if (::stat("/proc/self/exe", &st) == 0) {
    r.imageDev = st.st_dev;
    r.imageIno = st.st_ino;
  }
  r.user = host.factW(fact::UserName);
  r.commandLine = text::view(GetCommandLineW());
  {
    Database& db = host.db();
    Database::Transaction t(db);
    writeRow(db, r, false);
    t.commit();
  }
  host.counters().bump(Counter::Processes);
  static std::once_flag hooks;
  std::call_once(hooks, [] { setRunningImageTest(runningImageTest); });
  g_registeredEpoch.store(epoch, std::memory_order_release);
}

void noteStartedByParent() { g_startedByParent.store(true); }

void recordStartedProcess(const ProcessRow& row) {
  Host& host = Host::current();
  {
    Database& db = host.db();
    Database::Transaction t(db);
    writeRow(db, row, true);
    t.commit();
  }
  host.counters().bump(Counter::Processes);
}

std::vector<ProcessRow> livingProcesses() {
  Host& host = Host::current();
  Database& db = host.db();
  std::vector<ProcessRow> all;
  {
    auto lock = db.lock();
    Query q = db.query(std::string("SELECT ") + kRowColumns + ", ended FROM processes WHERE boot = ? ORDER BY pid");
    q.bind(1, bootId());
    while (q.step()) all.push_back(rowFrom(q));
  }
  std::vector<ProcessRow> living;
  std::vector<const ProcessRow*> dead;
  for (auto& r : all) {
    if (processAlive(r.pid, r.start))
      living.push_back(r);
    else
      dead.push_back(&r);
  }
  if (!dead.empty()) {
    // Dead rows go, except a recorded exit code that a waiter may still want to read.
    const std::uint64_t now = clock::wallFileTime();
    Database::Transaction t(db);
    db.query("DELETE FROM processes WHERE boot <> ?").bind(1, bootId()).run();
    for (const ProcessRow* r : dead)
      db.query("DELETE FROM processes WHERE pid = ? AND start = ? AND boot = ? AND (ended IS NULL OR ended < ?)")
          .bind(1, static_cast<std::int64_t>(r->pid))
          .bind(2, static_cast<std::int64_t>(r->start))
          .bind(3, bootId())
          .bind(4, static_cast<std::int64_t>(now - std::min(now, kKeepEndedTicks)))
          .run();
    t.commit();
    std::error_code ec;
    const auto limit = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(10);
    for (std::filesystem::directory_iterator it(host.folder() / "shm" / "exit", ec), end; !ec && it != end;
         it.increment(ec))
      if (it->last_write_time(ec) < limit) std::filesystem::remove(it->path(), ec);
  }
  return living;
}

std::optional<ProcessRow> findLivingProcess(DWORD pid) {
  Host& host = Host::current();
  Database& db = host.db();
  std::optional<ProcessRow> found;
  {
    auto lock = db.lock();
    Query q = db.query(std::string("SELECT ") + kRowColumns + " FROM processes WHERE pid = ? AND boot = ?");
    q.bind(1, static_cast<std::int64_t>(pid)).bind(2, bootId());
    while (q.step()) {
      ProcessRow r = rowFrom(q);
      if (processAlive(r.pid, r.start)) found = std::move(r);
    }
  }
  return found;
}

std::optional<DWORD> recordedExitCode(DWORD pid, std::uint64_t start) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  Query q = db.query("SELECT exit_code FROM processes WHERE pid = ? AND start = ? AND boot = ?");
  q.bind(1, static_cast<std::int64_t>(pid)).bind(2, static_cast<std::int64_t>(start)).bind(3, bootId());
  if (q.step() && !q.isNull(0)) return static_cast<DWORD>(q.int64At(0));
  std::ifstream in(exitFileName(Host::current().folder().string(), pid, start));
  unsigned long code = 0;
  if (in >> code) return static_cast<DWORD>(code);
  return std::nullopt;
}

bool recordExitCode(DWORD pid, std::uint64_t start, DWORD code) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("UPDATE processes SET exit_code = ?, ended = ? WHERE pid = ? AND start = ? AND boot = ? AND exit_code IS NULL")
      .bind(1, static_cast<std::int64_t>(code))
      .bind(2, static_cast<std::int64_t>(clock::wallFileTime()))
      .bind(3, static_cast<std::int64_t>(pid))
      .bind(4, static_cast<std::int64_t>(start))
      .bind(5, bootId())
      .run();
  bool changed = db.changes() > 0;
  t.commit();
  return changed;
}

bool isRunningImageFile(const std::string& linuxPath) {
  if (!std::getenv("KIPO_HOST")) return false;
  struct stat st {};
  if (::stat(linuxPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // The caller's own image runs, even before the parent that started it has recorded its row.
  static const struct stat self = [] {
    struct stat s {};
    ::stat("/proc/self/exe", &s);
    return s;
  }();
  if (st.st_dev == self.st_dev && st.st_ino == self.st_ino) return true;
  Host& host = Host::current();
  ImageCache& c = imageCache();
  std::vector<ImageEntry> matches;
  {
    std::lock_guard lock(c.mutex);
    const std::uint64_t seen = host.counters().read(Counter::Processes);
    if (c.epoch != Host::epoch() || c.seen != seen) {
      c.entries.clear();
      Database& db = host.db();
      auto dbLock = db.lock();
      Query q = db.query("SELECT image_dev, image_ino, pid, start FROM processes WHERE boot = ? AND ended IS NULL");
      q.bind(1, bootId());
      while (q.step())
        c.entries.push_back({static_cast<std::uint64_t>(q.int64At(0)), static_cast<std::uint64_t>(q.int64At(1)),
                             static_cast<DWORD>(q.int64At(2)), static_cast<std::uint64_t>(q.int64At(3))});
      c.epoch = Host::epoch();
      c.seen = seen;
    }
    for (const auto& e : c.entries)
      if (e.dev == st.st_dev && e.ino == st.st_ino) matches.push_back(e);
  }
  return std::any_of(matches.begin(), matches.end(), [](const ImageEntry& e) { return processAlive(e.pid, e.start); });
}

void recordShellOpen(const ShellOpen& open) {
  Host& host = Host::current();
  Database& db = host.db();
  Database::Transaction t(db);
  db.query("INSERT INTO shell_opens (time, kind, verb, target, parameters, directory, show, handler)"
           " VALUES (?,?,?,?,?,?,?,?)")
      .bind(1, static_cast<std::int64_t>(open.time ? open.time : clock::wallFileTime()))
      .bind(2, open.kind)
      .bind(3, text::toUtf8(open.verb))
      .bind(4, text::toUtf8(open.target))
      .bind(5, text::toUtf8(open.parameters))
      .bind(6, text::toUtf8(open.directory))
      .bind(7, static_cast<std::int64_t>(open.show))
      .bind(8, text::toUtf8(open.handler))
      .run();
  t.commit();
}

std::vector<ShellOpen> shellOpens() {
  Database& db = Host::current().db();
  auto lock = db.lock();
  Query q = db.query(
      "SELECT id, time, kind, verb, target, parameters, directory, show, handler FROM shell_opens ORDER BY id");
  std::vector<ShellOpen> out;
  while (q.step()) {
    ShellOpen o;
    o.id = q.int64At(0);
    o.time = static_cast<std::uint64_t>(q.int64At(1));
    o.kind = q.textAt(2);
    o.verb = text::fromUtf8(q.textAt(3));
    o.target = text::fromUtf8(q.textAt(4));
    o.parameters = text::fromUtf8(q.textAt(5));
    o.directory = text::fromUtf8(q.textAt(6));
    o.show = static_cast<int>(q.int64At(7));
    o.handler = text::fromUtf8(q.textAt(8));
    out.push_back(std::move(o));
  }
  return out;
}

}  // namespace platform::host
