// Processes: the command line, starting programs, process handles and their reaping, the process
// snapshot and PSAPI enumeration over the host's process table, and the standard handles
// (see process.h).
//
// Process handles: every process this one holds a handle to has one ProcessRecord with a pidfd,
// watched by one monitor thread (epoll). When a pidfd becomes readable the monitor reaps the
// process if this process started it (waitid on that descriptor only) and wakes every waiter. The
// exit code is read from the process table on first request, falling back to the Linux status.
#include "platform/win32/process.h"
#include "platform/win32/security.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/host/module_registry.h"
#include "platform/host/paths.h"
#include "platform/host/process_table.h"
#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/module.h"
#include "platform/win32/system.h"
#include "platform/win32/waitable.h"

extern char** environ;

namespace platform {

namespace {

namespace fs = std::filesystem;
using host::ProcessRow;

// Linux variables by which a parent hands a child its Windows identity.
constexpr const char* kCmdLineVariable = "KIPO_CMDLINE";
constexpr const char* kImageVariable = "KIPO_IMAGE";
constexpr const char* kShowVariable = "KIPO_SHOWWINDOW";

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
// The module handle another process's image is reported with (its traditional load address).
const HMODULE kForeignImageModule = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x00400000));

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// ---- what a parent handed over ----

struct StartInfo {
  std::once_flag once;
  std::u16string commandLine;
  std::string ansiCommandLine;
  bool fromParent = false;
};

StartInfo& startInfo() {
  static StartInfo* s = new StartInfo();
  return *s;
}

// Runs when the platform library is loaded: takes the parent's variables and removes them, so a
// grandchild started by other means does not take them for its own.
struct ChildStart {
  ChildStart() {
    if (const char* line = std::getenv(kCmdLineVariable)) {
      startInfo().commandLine = text::fromUtf8(line);
      startInfo().fromParent = true;
      host::noteStartedByParent();
      ::unsetenv(kCmdLineVariable);
    }
    if (const char* image = std::getenv(kImageVariable)) {
      module::setProgramWindowsPath(text::fromUtf8(image));
      ::unsetenv(kImageVariable);
    }
  }
} g_childStart;

std::u16string programWindowsPath() {
  std::u16string path(MAX_PATH * 2, u'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(std::min<std::size_t>(n, path.size()));
  return path;
}

std::u16string_view baseName(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

// Built from argv when no parent passed a Windows command line.
std::u16string commandLineFromArgv() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t end = all.find('\0', at);
    if (end == std::string::npos) end = all.size();
    args.push_back(all.substr(at, end - at));
    at = end + 1;
  }
  std::u16string line = process::quoteArgument(programWindowsPath());
  for (std::size_t i = 1; i < args.size(); ++i) line += u" " + process::quoteArgument(text::fromUtf8(args[i]));
  return line;
}

StartInfo& commandLineInfo() {
  StartInfo& s = startInfo();
  std::call_once(s.once, [&] {
    if (!s.fromParent) s.commandLine = commandLineFromArgv();
    s.ansiCommandLine = text::wideToAnsi(s.commandLine);
  });
  return s;
}

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// ---- process records and the monitor ----

class ProcessObject;

struct ProcessRecord {
  DWORD pid = 0;
  std::uint64_t start = 0;
  int pidfd = -1;
  bool child = false;  // started by this process: reaped here
  ProcessRow row;      // image and names, for the enumeration calls

  std::mutex mutex;
  bool ended = false;
  bool haveStatus = false;
  int statusCode = 0;  // siginfo si_code (CLD_EXITED, CLD_KILLED, ...)
  int status = 0;      // exit status or signal
  std::optional<DWORD> exitCode;
  std::optional<DWORD> terminateCode;  // what this process's TerminateProcess asked for
  std::vector<std::weak_ptr<ProcessObject>> objects;

  ~ProcessRecord() {
    if (pidfd >= 0) ::close(pidfd);
  }

  // Under mutex: notices the end (reaping a child), without blocking.
  bool checkEnded() {
    if (ended) return true;
    if (pid == static_cast<DWORD>(::getpid())) return false;
    pollfd p{pidfd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (child) {
      siginfo_t info{};
      if (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info, WEXITED | WNOHANG) == 0 &&
          info.si_pid != 0) {
        haveStatus = true;
        statusCode = info.si_code;
        status = info.si_status;
      }
    }
    ended = true;
    return true;
  }
};

class ProcessObject : public Waitable {
 public:
  ProcessObject(std::shared_ptr<ProcessRecord> record, DWORD access, bool thread)
      : record(std::move(record)), access(access), thread(thread) {}
  bool tryAcquire() override { return isSignaled(); }
  bool isSignaled() override {
    std::lock_guard lock(record->mutex);
    return record->checkEnded();
  }
  void signal() { wakeWaiters(); }

  const std::shared_ptr<ProcessRecord> record;
  const DWORD access;
  const bool thread;  // the process's main thread (a thread handle of CreateProcessW)
};

struct Monitor {
  std::mutex mutex;
  int epoll = -1;
  std::map<int, std::shared_ptr<ProcessRecord>> watched;  // by pidfd
  std::map<std::pair<DWORD, std::uint64_t>, std::weak_ptr<ProcessRecord>> records;
  std::shared_ptr<ProcessRecord> self;
};

Monitor& monitor() {
  static Monitor* m = new Monitor();
  return *m;
}

void wakeObjects(ProcessRecord& r) {
  std::vector<std::shared_ptr<ProcessObject>> objects;
  {
    std::lock_guard lock(r.mutex);
    for (auto& w : r.objects)
      if (auto o = w.lock()) objects.push_back(std::move(o));
  }
  for (auto& o : objects) o->signal();
}

void monitorLoop(int epoll) {
  for (;;) {
    epoll_event events[16];
    int n = ::epoll_wait(epoll, events, 16, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < n; ++i) {
      std::shared_ptr<ProcessRecord> r;
      {
        Monitor& m = monitor();
        std::lock_guard lock(m.mutex);
        auto it = m.watched.find(events[i].data.fd);
        if (it == m.watched.end()) continue;
        r = it->second;
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, r->pidfd, nullptr);
        m.watched.erase(it);
      }
      {
        std::lock_guard lock(r->mutex);
        r->checkEnded();
      }
      wakeObjects(*r);
    }
  }
}

// Watches a new record until its process ends.
void watch(const std::shared_ptr<ProcessRecord>& r) {
  Monitor& m = monitor();
  std::lock_guard lock(m.mutex);
  if (m.epoll < 0) {
    m.epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::thread(monitorLoop, m.epoll).detach();
  }
  std::erase_if(m.records, [](const auto& entry) { return entry.second.expired(); });
  m.records[{r->pid, r->start}] = r;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = r->pidfd;
  if (::epoll_ctl(m.epoll, EPOLL_CTL_ADD, r->pidfd, &ev) == 0) m.watched[r->pidfd] = r;
}

int openPidfd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

std::shared_ptr<ProcessRecord> selfRecord() {
  Monitor& m = monitor();
  std::lock_guard lock(m.mutex);
  if (!m.self) {
    auto r = std::make_shared<ProcessRecord>();
    r->pid = static_cast<DWORD>(::getpid());
    r->start = host::currentStartTime();
    r->row.pid = r->pid;
    r->row.start = r->start;
    r->row.parentPid = static_cast<DWORD>(::getppid());
    r->row.imagePath = programWindowsPath();
    r->row.imageName = std::u16string(baseName(r->row.imagePath));
    m.self = r;
  }
  return m.self;
}

// The record of a living process of the host (reused when one exists), or null.
std::shared_ptr<ProcessRecord> recordFor(const ProcessRow& row) {
  Monitor& m = monitor();
  {
    std::lock_guard lock(m.mutex);
    auto it = m.records.find({row.pid, row.start});
    if (it != m.records.end())
      if (auto r = it->second.lock()) return r;
  }
  int fd = openPidfd(static_cast<pid_t>(row.pid));
  if (fd < 0) return nullptr;
  // The descriptor names whatever process has the id now: it must be the one of the row.
  if (host::processStartTime(static_cast<pid_t>(row.pid)) != row.start) {
    ::close(fd);
    return nullptr;
  }
  auto r = std::make_shared<ProcessRecord>();
  r->pid = row.pid;
  r->start = row.start;
  r->pidfd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  r->row = row;
  watch(r);
  return r;
}

HANDLE handleFor(const std::shared_ptr<ProcessRecord>& r, DWORD access, bool thread) {
  auto o = std::make_shared<ProcessObject>(r, access, thread);
  {
    std::lock_guard lock(r->mutex);
    r->objects.push_back(o);
  }
  return registerHandle(o);
}

// User names compare without case, as Windows account names do.
bool sameUser(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

// The object behind a process handle; the pseudo handle is the caller with every right.
std::shared_ptr<ProcessObject> processOf(HANDLE h) {
  if (h == kCurrentProcess) {
    static std::shared_ptr<ProcessObject>* self = nullptr;
    static std::once_flag once;
    std::call_once(once, [] { self = new std::shared_ptr<ProcessObject>(std::make_shared<ProcessObject>(selfRecord(), PROCESS_ALL_ACCESS, false)); });
    return *self;
  }
  auto o = lookupHandleAs<ProcessObject>(h);
  return o && !o->thread ? o : nullptr;
}

// The exit code Windows would report for a process ended by this Linux signal: a fault signal
// gives its exception code (the process died of an unhandled exception), SIGABRT gives 3 as the C
// runtime's abort does, a terminal's interrupt gives STATUS_CONTROL_C_EXIT, and SIGKILL and every
// other signal give 1, as TerminateProcess(h, 1) from a task manager does.
DWORD exitCodeForSignal(int signal) {
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      return 0xC0000005u;  // STATUS_ACCESS_VIOLATION
    case SIGFPE:
      return 0xC0000094u;  // STATUS_INTEGER_DIVIDE_BY_ZERO
    case SIGILL:
      return 0xC000001Du;  // STATUS_ILLEGAL_INSTRUCTION
    case SIGTRAP:
      return 0x80000003u;  // STATUS_BREAKPOINT
    case SIGSTKFLT:
      return 0xC00000FDu;  // STATUS_STACK_OVERFLOW: how the fault handler ends a thread off its stack
    case SIGABRT:
      return 3u;
    case SIGTERM:
    case SIGINT:
    case SIGHUP:
      return 0xC000013Au;  // STATUS_CONTROL_C_EXIT
    default:
      return 1u;
  }
}

DWORD exitCodeOf(ProcessRecord& r) {
  std::lock_guard lock(r.mutex);
  if (!r.checkEnded()) return STILL_ACTIVE;
  if (r.exitCode) return *r.exitCode;
  std::optional<DWORD> code;
  if (std::getenv("KIPO_HOST") && host::Host::available()) {
    try {
      code = host::recordedExitCode(r.pid, r.start);
    } catch (const host::DbError&) {
    }
  }
  if (!code) code = r.terminateCode;
  if (!code && r.haveStatus)
    code = r.statusCode == CLD_EXITED ? static_cast<DWORD>(r.status) : exitCodeForSignal(r.status);
  r.exitCode = code.value_or(1u);
  return *r.exitCode;
}

// ---- finding the program ----

struct Program {
  DWORD error = ERROR_FILE_NOT_FOUND;
  std::u16string windowsPath;
  std::string linuxPath;
  struct stat st {};
};

bool hasExtension(std::u16string_view path) { return baseName(path).find(u'.') != std::u16string_view::npos; }

std::u16string joinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string out(folder);
  if (!out.empty() && out.back() != u'\\') out += u'\\';
  out += name;
  return out;
}

// Looks for one name: in the search folders when it is bare, else as a path.
Program locate(std::u16string_view name, bool search, bool addExe) {
  std::u16string wanted(name);
  if (addExe && !hasExtension(wanted)) wanted += u".exe";
  std::vector<std::u16string> candidates;
  const bool bare = wanted.find_first_of(u"\\/:") == std::u16string::npos;
  if (bare && search) {
    std::u16string program = programWindowsPath();
    std::size_t slash = program.find_last_of(u'\\');
    if (slash != std::u16string::npos) candidates.push_back(joinPath(program.substr(0, slash), wanted));
    candidates.push_back(joinPath(host::currentDirectory(), wanted));
    candidates.push_back(joinPath(module::systemFolder(), wanted));
    candidates.push_back(joinPath(module::windowsFolder() + u"\\system", wanted));
    candidates.push_back(joinPath(module::windowsFolder(), wanted));
    for (const auto& f : module::pathFolders()) candidates.push_back(joinPath(f, wanted));
  } else {
    candidates.push_back(wanted);
  }
  Program p;
  for (const auto& c : candidates) {
    host::ResolvedPath r = host::resolvePath(c);
    if (r.error) {
      if (!bare && r.error != ERROR_FILE_NOT_FOUND) p.error = r.error == ERROR_INVALID_NAME ? ERROR_FILE_NOT_FOUND : r.error;
      continue;
    }
    if (!r.exists) continue;
    if (S_ISDIR(r.st.st_mode)) {
      p.error = ERROR_ACCESS_DENIED;
      continue;
    }
    p.error = 0;
    p.windowsPath = r.full;
    p.linuxPath = r.linux;
    p.st = r.st;
    return p;
  }
  return p;
}

// The program a command line names: quoted, or the shortest blank-ended prefix that is a file.
Program programOfCommandLine(std::u16string_view line) {
  std::size_t at = 0;
  while (at < line.size() && isBlank(line[at])) ++at;
  if (at < line.size() && line[at] == u'"') {
    std::size_t close = line.find(u'"', at + 1);
    return locate(line.substr(at + 1, (close == std::u16string_view::npos ? line.size() : close) - at - 1), true, true);
  }
  Program first;
  bool tried = false;
  for (std::size_t end = at; end <= line.size(); ++end) {
    if (end < line.size() && !isBlank(line[end])) continue;
    if (end == at) continue;
    Program p = locate(line.substr(at, end - at), true, true);
    if (p.error == 0) return p;
    if (!tried) first = p;
    tried = true;
  }
  return first;
}

bool endsWithNoCase(std::u16string_view s, std::u16string_view tail) {
  return s.size() >= tail.size() && text::equalNoCase(s.substr(s.size() - tail.size()), tail);
}

// 0 when the file is an ELF image or a "#!" script the caller may run (execute bits are added
// when missing: Windows files have none).
DWORD checkRunnable(const Program& p) {
  int fd = ::open(p.linuxPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return host::errorFromErrno(errno);
  unsigned char head[4] = {};
  ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  const bool elf = n == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
  const bool script = n >= 2 && head[0] == '#' && head[1] == '!';
  if (!elf && !script) return ERROR_BAD_EXE_FORMAT;
  if (::access(p.linuxPath.c_str(), X_OK) != 0) {
    mode_t mode = p.st.st_mode & 07777;
    mode |= S_IXUSR | ((mode & S_IRGRP) ? S_IXGRP : 0) | ((mode & S_IROTH) ? S_IXOTH : 0);
    if (::chmod(p.linuxPath.c_str(), mode) != 0) return ERROR_ACCESS_DENIED;
  }
  return 0;
}

std::u16string blockFrom(LPVOID environment, bool unicode) {
  if (!environment) return host::environmentBlock();
  if (unicode) {
    const auto* p = static_cast<const char16_t*>(environment);
    std::size_t n = 0;
    while (p[n] || p[n + 1]) ++n;
    return std::u16string(p, n + 2);
  }
  const auto* p = static_cast<const char*>(environment);
  std::size_t n = 0;
  while (p[n] || p[n + 1]) ++n;
  std::u16string out = text::ansiToWide(std::string_view(p, n + 1));
  out.push_back(u'\0');
  return out;
}

bool isOurVariable(const char* entry) {
  static const char* const ours[] = {"KIPO_HOST=", "KIPO_CMDLINE=", "KIPO_ENVBLOCK=", "KIPO_IMAGE=", "KIPO_SHOWWINDOW="};
  return std::any_of(std::begin(ours), std::end(ours),
                     [&](const char* v) { return std::strncmp(entry, v, std::strlen(v)) == 0; });
}

struct SpawnRequest {
  Program program;
  std::u16string commandLine;
  std::u16string environment;
  std::string linuxDirectory;
  DWORD flags = 0;
  const STARTUPINFOW* startup = nullptr;
};

DWORD spawn(const SpawnRequest& q, PROCESS_INFORMATION* info) {
  std::vector<std::string> args;
  args.push_back(q.program.linuxPath);
  std::vector<std::u16string> split = process::splitCommandLine(q.commandLine);
  for (std::size_t i = 1; i < split.size(); ++i) args.push_back(text::toUtf8(split[i]));
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (!isOurVariable(*e)) env.emplace_back(*e);
  host::Host& h = host::Host::current();
  env.push_back("KIPO_HOST=" + h.folder().string());
  env.push_back(std::string(kCmdLineVariable) + "=" + text::toUtf8(q.commandLine));
  env.push_back(std::string(host::kEnvBlockVariable) + "=" + host::encodeForChild(q.environment));
  env.push_back(std::string(kImageVariable) + "=" + text::toUtf8(q.program.windowsPath));
  if (q.startup && (q.startup->dwFlags & STARTF_USESHOWWINDOW))
    env.push_back(std::string(kShowVariable) + "=" + std::to_string(q.startup->wShowWindow));
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!q.linuxDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, q.linuxDirectory.c_str());
  if (q.flags & (DETACHED_PROCESS | CREATE_NEW_CONSOLE | CREATE_NO_WINDOW)) {
    for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  } else if (q.startup && (q.startup->dwFlags & STARTF_USESTDHANDLES)) {
    const HANDLE handles[3] = {q.startup->hStdInput, q.startup->hStdOutput, q.startup->hStdError};
    for (int fd = 0; fd < 3; ++fd)
      if (auto s = lookupHandleAs<StdStreamObject>(handles[fd]); s && s->fd != fd)
        posix_spawn_file_actions_adddup2(&actions, s->fd, fd);
  }
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, q.program.linuxPath.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return rc == ENOEXEC ? ERROR_BAD_EXE_FORMAT : host::errorFromErrno(rc);

  // Not reaped yet, so the id still names the child.
  auto r = std::make_shared<ProcessRecord>();
  r->pid = static_cast<DWORD>(pid);
  r->start = host::processStartTime(pid);
  r->child = true;
  int fd = openPidfd(pid);
  r->pidfd = fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
  if (fd >= 0) ::close(fd);
  ProcessRow& row = r->row;
  row.pid = r->pid;
  row.start = r->start;
  row.parentPid = static_cast<DWORD>(::getpid());
  row.imagePath = q.program.windowsPath;
  row.imageName = std::u16string(baseName(row.imagePath));
  row.linuxImage = q.program.linuxPath;
  row.imageDev = q.program.st.st_dev;
  row.imageIno = q.program.st.st_ino;
  row.user = h.factW(host::fact::UserName);
  row.commandLine = q.commandLine;
  host::recordStartedProcess(row);
  watch(r);
  if (info) {
    info->hProcess = handleFor(r, PROCESS_ALL_ACCESS, false);
    info->hThread = handleFor(r, THREAD_ALL_ACCESS, true);
    info->dwProcessId = r->pid;
    info->dwThreadId = r->pid;  // a Linux process's main thread has the process's id
  }
  return 0;
}

// A token opened on a process handle belongs to the user its row records; thread handles and
// other objects are not processes.
bool processUser(HANDLE handle, std::u16string* user) {
  auto o = lookupHandleAs<ProcessObject>(handle);
  if (!o || o->thread) return false;
  // This process's own record carries no user: it runs as the process user.
  if (user) *user = o->record->row.user.empty() ? security::processIdentity().name : o->record->row.user;
  return true;
}

struct ProcessUserQueryInstaller {
  ProcessUserQueryInstaller() { security::setProcessUserQuery(processUser); }
} g_processUserQuery;

}  // namespace

// ---- standard handles ----

BOOL StdStreamObject::write(const void* data, DWORD size, LPDWORD written) {
  if (written) *written = 0;
  const auto* p = static_cast<const char*>(data);
  DWORD done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno == EPIPE ? ERROR_NO_DATA : host::errorFromErrno(errno));
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

BOOL StdStreamObject::read(void* data, DWORD size, LPDWORD count) {
  if (count) *count = 0;
  for (;;) {
    ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(host::errorFromErrno(errno));
    if (count) *count = static_cast<DWORD>(n);
    return TRUE;
  }
}

namespace process {

std::vector<std::u16string> splitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> out;
  std::size_t i = 0;
  // The program name: no escapes, quotes only group.
  std::u16string first;
  if (i < line.size() && line[i] == u'"') {
    std::size_t close = line.find(u'"', i + 1);
    first = line.substr(i + 1, (close == std::u16string_view::npos ? line.size() : close) - i - 1);
    i = close == std::u16string_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && !isBlank(line[i])) first += line[i++];
  }
  out.push_back(std::move(first));
  for (;;) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::u16string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !isBlank(line[i]))) {
      if (line[i] == u'\\') {
        std::size_t n = 0;
        while (i < line.size() && line[i] == u'\\') ++n, ++i;
        if (i < line.size() && line[i] == u'"') {
          arg.append(n / 2, u'\\');
          if (n % 2) {
            arg += u'"';
            ++i;
          }
        } else {
          arg.append(n, u'\\');
        }
      } else if (line[i] == u'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          // XP's rule: "" inside quotes is a literal quote and also closes the quoted block.
          arg += u'"';
          i += 2;
          quoted = false;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    out.push_back(std::move(arg));
  }
  return out;
}

std::u16string quoteArgument(std::u16string_view arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string_view::npos) return std::u16string(arg);
  std::u16string out = u"\"";
  std::size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') {
      out.append(backslashes * 2 + 1, u'\\');
    } else {
      out.append(backslashes, u'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');
  out += u'"';
  return out;
}

bool maySynchronize(const KernelObject& object) {
  const auto* p = dynamic_cast<const ProcessObject*>(&object);
  return !p || (p->access & SYNCHRONIZE);
}

bool mainThreadExitCode(HANDLE thread, DWORD& code) {
  auto o = lookupHandleAs<ProcessObject>(thread);
  if (!o || !o->thread) return false;
  code = exitCodeOf(*o->record);
  return true;
}

std::optional<HandleTarget> targetOf(HANDLE process) {
  auto o = processOf(process);
  if (!o) return std::nullopt;
  HandleTarget t;
  t.pid = o->record->pid;
  t.start = o->record->start;
  t.access = o->access;
  {
    std::lock_guard lock(o->record->mutex);
    t.ended = o->record->checkEnded();
  }
  return t;
}

const std::vector<std::u16string>& wideArgs() {
  static const std::vector<std::u16string>* args =
      new std::vector<std::u16string>(splitCommandLine(commandLineInfo().commandLine));
  return *args;
}

}  // namespace process
}  // namespace platform

using platform::ProcessObject;
using platform::ProcessRecord;
namespace host = platform::host;
namespace text = platform::text;

LPWSTR GetCommandLineW() { return platform::commandLineInfo().commandLine.data(); }
LPSTR GetCommandLineA() { return platform::commandLineInfo().ansiCommandLine.data(); }

LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
  if (!pNumArgs) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::u16string> args;
  if (!lpCmdLine || !*lpCmdLine)
    args.push_back(platform::programWindowsPath());
  else
    args = platform::process::splitCommandLine(text::view(lpCmdLine));
  std::size_t chars = 0;
  for (auto& a : args) chars += a.size() + 1;
  const std::size_t pointers = (args.size() + 1) * sizeof(LPWSTR);
  auto* block = static_cast<char*>(LocalAlloc(LMEM_FIXED, pointers + chars * sizeof(WCHAR)));
  if (!block) return nullptr;
  auto** argv = reinterpret_cast<LPWSTR*>(block);
  auto* strings = reinterpret_cast<WCHAR*>(block + pointers);
  for (std::size_t i = 0; i < args.size(); ++i) {
    argv[i] = strings;
    std::copy(args[i].begin(), args[i].end(), strings);
    strings += args[i].size();
    *strings++ = u'\0';
  }
  argv[args.size()] = nullptr;
  *pNumArgs = static_cast<int>(args.size());
  return argv;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }
DWORD GetCurrentThreadId() { return host::currentThreadId(); }
HANDLE GetCurrentProcess() { return platform::kCurrentProcess; }
HANDLE GetCurrentThread() { return platform::kCurrentThread; }

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                    LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
  std::u16string_view app = text::view(lpApplicationName);
  std::u16string_view line = text::view(lpCommandLine);
  if (DWORD e = platform::fault::check("CreateProcessW", app.empty() ? line : app)) return platform::fail(e);
  if (app.empty() && line.empty()) return platform::fail(ERROR_PATH_NOT_FOUND);
  host::registerCurrentProcess();
  platform::SpawnRequest q;
  q.program = app.empty() ? platform::programOfCommandLine(line) : platform::locate(app, false, false);
  if (q.program.error) return platform::fail(q.program.error);
  q.commandLine = line.empty() ? platform::process::quoteArgument(q.program.windowsPath) : std::u16string(line);
  if (platform::endsWithNoCase(q.program.windowsPath, u".bat") || platform::endsWithNoCase(q.program.windowsPath, u".cmd")) {
    std::u16string cmd = platform::joinPath(platform::module::systemFolder(), u"cmd.exe");
    std::u16string batLine = line.empty() ? platform::process::quoteArgument(q.program.windowsPath) : std::u16string(line);
    q.program = platform::locate(cmd, false, false);
    if (q.program.error) return platform::fail(q.program.error);
    q.commandLine = platform::process::quoteArgument(cmd) + u" /c " + batLine;
  }
  if (DWORD e = platform::checkRunnable(q.program)) return platform::fail(e);
  if (lpCurrentDirectory && *lpCurrentDirectory) {
    host::ResolvedPath d = host::resolvePath(text::view(lpCurrentDirectory));
    if (d.error || !d.exists || !S_ISDIR(d.st.st_mode)) return platform::fail(ERROR_DIRECTORY);
    q.linuxDirectory = d.linux;
  } else {
    host::ResolvedPath d = host::resolvePath(host::currentDirectory());
    if (!d.error && d.exists) q.linuxDirectory = d.linux;
  }
  q.environment = platform::blockFrom(lpEnvironment, (dwCreationFlags & CREATE_UNICODE_ENVIRONMENT) != 0);
  q.flags = dwCreationFlags;
  q.startup = lpStartupInfo;
  if (DWORD e = platform::spawn(q, lpProcessInformation)) return platform::fail(e);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES pa, LPSECURITY_ATTRIBUTES ta,
                    BOOL inherit, DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                    LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
  auto wide = [](const char* s) { return s ? std::optional<std::u16string>(text::ansiToWide(s)) : std::nullopt; };
  auto app = wide(lpApplicationName), line = wide(lpCommandLine), dir = wide(lpCurrentDirectory);
  STARTUPINFOW si{};
  if (lpStartupInfo) {
    si.cb = sizeof si;
    si.dwFlags = lpStartupInfo->dwFlags;
    si.wShowWindow = lpStartupInfo->wShowWindow;
    si.hStdInput = lpStartupInfo->hStdInput;
    si.hStdOutput = lpStartupInfo->hStdOutput;
    si.hStdError = lpStartupInfo->hStdError;
  }
  return CreateProcessW(app ? app->c_str() : nullptr, line ? line->data() : nullptr, pa, ta, inherit, dwCreationFlags,
                        lpEnvironment, dir ? dir->c_str() : nullptr, lpStartupInfo ? &si : nullptr,
                        lpProcessInformation);
}

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
  if (DWORD e = platform::fault::check("OpenProcess", u"")) {
    SetLastError(e);
    return nullptr;
  }
  host::registerCurrentProcess();
  std::shared_ptr<ProcessRecord> r;
  std::optional<host::ProcessRow> row;
  if (dwProcessId == GetCurrentProcessId()) {
    r = platform::selfRecord();
  } else if ((row = host::findLivingProcess(dwProcessId))) {
    r = platform::recordFor(*row);
  }
  if (!r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  constexpr DWORD kReachIn = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_CREATE_THREAD;
  if ((dwDesiredAccess & kReachIn) && row &&
      !platform::sameUser(row->user, host::Host::current().factW(host::fact::UserName))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return platform::handleFor(r, dwDesiredAccess, false);
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  auto o = platform::processOf(hProcess);
  if (!o) return platform::fail(ERROR_INVALID_HANDLE);
  if (!(o->access & PROCESS_QUERY_INFORMATION)) return platform::fail(ERROR_ACCESS_DENIED);
  if (!lpExitCode) return platform::fail(ERROR_NOACCESS);
  *lpExitCode = platform::exitCodeOf(*o->record);
  return TRUE;
}

DWORD GetProcessId(HANDLE Process) {
  auto o = platform::processOf(Process);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return o->record->pid;
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  auto o = platform::processOf(hProcess);
  if (!o) return platform::fail(ERROR_INVALID_HANDLE);
  if (!(o->access & PROCESS_TERMINATE)) return platform::fail(ERROR_ACCESS_DENIED);
  ProcessRecord& r = *o->record;
  if (r.pid == GetCurrentProcessId()) ExitProcess(uExitCode);
  {
    std::lock_guard lock(r.mutex);
    if (r.checkEnded()) return platform::fail(ERROR_ACCESS_DENIED);
    r.terminateCode = uExitCode;
  }
  try {
    host::recordExitCode(r.pid, r.start, uExitCode);
  } catch (const host::DbError&) {
  }
  if (::syscall(SYS_pidfd_send_signal, r.pidfd, SIGKILL, nullptr, 0) != 0 && errno != ESRCH)
    return platform::fail(ERROR_ACCESS_DENIED);
  return TRUE;
}

void ExitProcess(UINT uExitCode) {
  if (std::getenv("KIPO_HOST") && host::Host::available()) {
    try {
      host::registerCurrentProcess();
      host::recordExitCode(GetCurrentProcessId(), host::currentStartTime(), uExitCode);
    } catch (...) {
    }
  }
  std::fflush(nullptr);
  ::_exit(static_cast<int>(uExitCode & 0xFF));
}

// ---- the process snapshot ----

namespace platform {
namespace {

class SnapshotObject : public KernelObject {
 public:
  std::vector<ProcessRow> processes;
  std::vector<ProcessRow> modules;  // one per module: the image
  std::vector<HMODULE> moduleHandles;
  std::size_t nextProcess = 0;
  std::size_t nextModule = 0;
};

DWORD threadCount(DWORD pid) {
  std::error_code ec;
  DWORD n = 0;
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end; !ec && it != end; it.increment(ec))
    ++n;
  return std::max<DWORD>(n, 1);
}

template <class Char, std::size_t N>
void copyText(Char (&out)[N], std::u16string_view s) {
  if constexpr (std::is_same_v<Char, WCHAR>) {
    std::size_t n = std::min(s.size(), N - 1);
    std::copy(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), out);
    out[n] = 0;
  } else {
    std::string a = text::wideToAnsi(s);
    std::size_t n = std::min(a.size(), N - 1);
    std::copy(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), out);
    out[n] = 0;
  }
}

template <class Entry>
BOOL processEntry(HANDLE snapshot, Entry* e, bool first) {
  auto s = lookupHandleAs<SnapshotObject>(snapshot);
  if (!s) return fail(ERROR_INVALID_HANDLE);
  if (!e || e->dwSize < sizeof(Entry)) return fail(ERROR_BAD_LENGTH);
  if (first) s->nextProcess = 0;
  if (s->nextProcess >= s->processes.size()) return fail(ERROR_NO_MORE_FILES);
  const ProcessRow& r = s->processes[s->nextProcess++];
  e->cntUsage = 0;
  e->th32ProcessID = r.pid;
  e->th32DefaultHeapID = 0;
  e->th32ModuleID = 0;
  e->cntThreads = threadCount(r.pid);
  e->th32ParentProcessID = r.parentPid;
  e->pcPriClassBase = 8;
  e->dwFlags = 0;
  copyText(e->szExeFile, r.imageName);
  return TRUE;
}

template <class Entry>
BOOL moduleEntry(HANDLE snapshot, Entry* e, bool first) {
  auto s = lookupHandleAs<SnapshotObject>(snapshot);
  if (!s) return fail(ERROR_INVALID_HANDLE);
  if (!e || e->dwSize < sizeof(Entry)) return fail(ERROR_BAD_LENGTH);
  if (first) s->nextModule = 0;
  if (s->nextModule >= s->modules.size()) return fail(ERROR_NO_MORE_FILES);
  const std::size_t i = s->nextModule++;
  const ProcessRow& r = s->modules[i];
  e->th32ModuleID = 1;
  e->th32ProcessID = r.pid;
  e->GlblcntUsage = 0xFFFF;
  e->ProccntUsage = 0xFFFF;
  e->hModule = s->moduleHandles[i];
  e->modBaseAddr = reinterpret_cast<BYTE*>(e->hModule);
  struct stat st {};
  e->modBaseSize = ::stat(r.linuxImage.c_str(), &st) == 0 ? static_cast<DWORD>(st.st_size) : 0;
  copyText(e->szModule, r.imageName);
  copyText(e->szExePath, r.imagePath);
  return TRUE;
}

// The image row of a process handle's process.
ProcessRow imageOf(ProcessRecord& r) {
  if (r.pid == GetCurrentProcessId()) {
    ProcessRow row = r.row;
    row.imagePath = programWindowsPath();
    row.imageName = std::u16string(baseName(row.imagePath));
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) row.linuxImage.assign(exe, static_cast<std::size_t>(n));
    return row;
  }
  return r.row;
}

HMODULE imageModuleOf(DWORD pid) { return pid == GetCurrentProcessId() ? GetModuleHandleW(nullptr) : kForeignImageModule; }

// Copies a name the PSAPI way: truncated to nSize - 1 characters and terminated.
template <class Char>
DWORD copyName(std::u16string_view name, Char* out, DWORD size) {
  if (!out || size == 0) return static_cast<DWORD>(fail(ERROR_INSUFFICIENT_BUFFER));
  if constexpr (std::is_same_v<Char, WCHAR>) {
    DWORD n = std::min<DWORD>(static_cast<DWORD>(name.size()), size - 1);
    std::copy(name.begin(), name.begin() + n, out);
    out[n] = 0;
    return n;
  } else {
    std::string a = text::wideToAnsi(name);
    DWORD n = std::min<DWORD>(static_cast<DWORD>(a.size()), size - 1);
    std::copy(a.begin(), a.begin() + n, out);
    out[n] = 0;
    return n;
  }
}

// The Windows path of a module of a process, or 0 with the last error set.
bool modulePath(HANDLE hProcess, HMODULE hModule, std::u16string& path) {
  auto o = processOf(hProcess);
  if (!o) return fail(ERROR_INVALID_HANDLE);
  if ((o->access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) != (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ))
    return fail(ERROR_ACCESS_DENIED);
  ProcessRecord& r = *o->record;
  {
    std::lock_guard lock(r.mutex);
    if (r.checkEnded()) return fail(ERROR_PARTIAL_COPY);
  }
  if (r.pid == GetCurrentProcessId() && hModule) {
    WCHAR buf[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(hModule, buf, MAX_PATH * 2);
    if (!n) return false;
    path.assign(buf, n);
    return true;
  }
  if (hModule && hModule != imageModuleOf(r.pid)) return fail(ERROR_INVALID_HANDLE);
  path = imageOf(r).imagePath;
  return true;
}

}  // namespace
}  // namespace platform

HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID) {
  if (DWORD e = platform::fault::check("CreateToolhelp32Snapshot", u"")) {
    SetLastError(e);
    return INVALID_HANDLE_VALUE;
  }
  host::registerCurrentProcess();
  auto s = std::make_shared<platform::SnapshotObject>();
  if (dwFlags & TH32CS_SNAPPROCESS) s->processes = host::livingProcesses();
  if (dwFlags & TH32CS_SNAPMODULE) {
    DWORD pid = th32ProcessID ? th32ProcessID : GetCurrentProcessId();
    std::optional<host::ProcessRow> row = host::findLivingProcess(pid);
    if (!row) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    if (pid == GetCurrentProcessId()) {
      auto self = platform::selfRecord();
      *row = platform::imageOf(*self);
    }
    s->modules.push_back(*row);
    s->moduleHandles.push_back(platform::imageModuleOf(pid));
  }
  return platform::registerHandle(s);
}

BOOL Process32FirstW(HANDLE h, LPPROCESSENTRY32W e) { return platform::processEntry(h, e, true); }
BOOL Process32NextW(HANDLE h, LPPROCESSENTRY32W e) { return platform::processEntry(h, e, false); }
BOOL Process32First(HANDLE h, LPPROCESSENTRY32 e) { return platform::processEntry(h, e, true); }
BOOL Process32Next(HANDLE h, LPPROCESSENTRY32 e) { return platform::processEntry(h, e, false); }
BOOL Module32FirstW(HANDLE h, LPMODULEENTRY32W e) { return platform::moduleEntry(h, e, true); }
BOOL Module32NextW(HANDLE h, LPMODULEENTRY32W e) { return platform::moduleEntry(h, e, false); }
BOOL Module32First(HANDLE h, LPMODULEENTRY32 e) { return platform::moduleEntry(h, e, true); }
BOOL Module32Next(HANDLE h, LPMODULEENTRY32 e) { return platform::moduleEntry(h, e, false); }

BOOL EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded) {
  if (!lpcbNeeded) return platform::fail(ERROR_NOACCESS);
  host::registerCurrentProcess();
  std::vector<host::ProcessRow> rows = host::livingProcesses();
  DWORD n = std::min<DWORD>(static_cast<DWORD>(rows.size()), cb / sizeof(DWORD));
  if (n && !lpidProcess) return platform::fail(ERROR_NOACCESS);
  for (DWORD i = 0; i < n; ++i) lpidProcess[i] = rows[i].pid;
  *lpcbNeeded = n * sizeof(DWORD);
  return TRUE;
}

BOOL EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded) {
  auto o = platform::processOf(hProcess);
  if (!o) return platform::fail(ERROR_INVALID_HANDLE);
  if ((o->access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) != (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ))
    return platform::fail(ERROR_ACCESS_DENIED);
  {
    std::lock_guard lock(o->record->mutex);
    if (o->record->checkEnded()) return platform::fail(ERROR_PARTIAL_COPY);
  }
  if (!lpcbNeeded) return platform::fail(ERROR_NOACCESS);
  *lpcbNeeded = sizeof(HMODULE);
  if (cb >= sizeof(HMODULE)) {
    if (!lphModule) return platform::fail(ERROR_NOACCESS);
    lphModule[0] = platform::imageModuleOf(o->record->pid);
  }
  return TRUE;
}

DWORD GetModuleFileNameExW(HANDLE hProcess, HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::u16string path;
  if (!platform::modulePath(hProcess, hModule, path)) return 0;
  return platform::copyName(path, lpFilename, nSize);
}

DWORD GetModuleFileNameExA(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::u16string path;
  if (!platform::modulePath(hProcess, hModule, path)) return 0;
  return platform::copyName(path, lpFilename, nSize);
}

DWORD GetModuleBaseNameW(HANDLE hProcess, HMODULE hModule, LPWSTR lpBaseName, DWORD nSize) {
  std::u16string path;
  if (!platform::modulePath(hProcess, hModule, path)) return 0;
  return platform::copyName(platform::baseName(path), lpBaseName, nSize);
}

DWORD GetModuleBaseNameA(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize) {
  std::u16string path;
  if (!platform::modulePath(hProcess, hModule, path)) return 0;
  return platform::copyName(platform::baseName(path), lpBaseName, nSize);
}

// ---- the console ----

namespace platform {
namespace {
std::atomic<bool> g_consoleDetached{false};
}  // namespace
}  // namespace platform

HANDLE GetStdHandle(DWORD nStdHandle) {
  int fd;
  if (nStdHandle == STD_INPUT_HANDLE)
    fd = 0;
  else if (nStdHandle == STD_OUTPUT_HANDLE)
    fd = 1;
  else if (nStdHandle == STD_ERROR_HANDLE)
    fd = 2;
  else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  static HANDLE* handles = [] {
    auto* h = new HANDLE[3];
    for (int i = 0; i < 3; ++i) h[i] = platform::registerHandle(std::make_shared<platform::StdStreamObject>(i));
    return h;
  }();
  return handles[fd];
}

BOOL FreeConsole() {
  platform::g_consoleDetached.store(true);
  return TRUE;
}

BOOL AllocConsole() {
  platform::g_consoleDetached.store(false);
  return TRUE;
}

BOOL WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                   LPDWORD lpNumberOfCharsWritten, LPVOID) {
  if (lpNumberOfCharsWritten) *lpNumberOfCharsWritten = 0;
  auto s = platform::lookupHandleAs<platform::StdStreamObject>(hConsoleOutput);
  if (!s || platform::g_consoleDetached.load()) return platform::fail(ERROR_INVALID_HANDLE);
  std::string utf8 = text::toUtf8(std::u16string_view(static_cast<const char16_t*>(lpBuffer), nNumberOfCharsToWrite));
  if (!s->write(utf8.data(), static_cast<DWORD>(utf8.size()), nullptr)) return FALSE;
  if (lpNumberOfCharsWritten) *lpNumberOfCharsWritten = nNumberOfCharsToWrite;
  return TRUE;
}

BOOL WriteConsoleA(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                   LPDWORD lpNumberOfCharsWritten, LPVOID reserved) {
  std::u16string wide = text::ansiToWide(std::string_view(static_cast<const char*>(lpBuffer), nNumberOfCharsToWrite));
  BOOL ok = WriteConsoleW(hConsoleOutput, wide.data(), static_cast<DWORD>(wide.size()), nullptr, reserved);
  if (ok && lpNumberOfCharsWritten) *lpNumberOfCharsWritten = nNumberOfCharsToWrite;
  return ok;
}

// ---- exports looked up by name ----

namespace {

platform::module::BuiltinVersion psapiVersion() {
  host::Host& h = host::Host::current();
  std::string v = h.fact(host::fact::WindowsVersion) + "." + h.fact(host::fact::WindowsBuild) + ".0";
  return {v, v, u"Process Status Helper"};
}

platform::module::RegisterBuiltinModule psapiModule("PSAPI.DLL", false, psapiVersion);

}  // namespace

KIPO_BUILTIN_EXPORT("PSAPI.DLL", "EnumProcesses", EnumProcesses);
KIPO_BUILTIN_EXPORT("PSAPI.DLL", "EnumProcessModules", EnumProcessModules);
KIPO_BUILTIN_EXPORT("PSAPI.DLL", "GetModuleBaseNameW", GetModuleBaseNameW);
KIPO_BUILTIN_EXPORT("PSAPI.DLL", "GetModuleBaseNameA", GetModuleBaseNameA);
KIPO_BUILTIN_EXPORT("PSAPI.DLL", "GetModuleFileNameExW", GetModuleFileNameExW);
KIPO_BUILTIN_EXPORT("PSAPI.DLL", "GetModuleFileNameExA", GetModuleFileNameExA);
KIPO_BUILTIN_EXPORT("kernel32.dll", "CreateToolhelp32Snapshot", CreateToolhelp32Snapshot);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Process32First", Process32First);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Process32Next", Process32Next);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Process32FirstW", Process32FirstW);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Process32NextW", Process32NextW);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Module32First", Module32First);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Module32Next", Module32Next);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Module32FirstW", Module32FirstW);
KIPO_BUILTIN_EXPORT("kernel32.dll", "Module32NextW", Module32NextW);
