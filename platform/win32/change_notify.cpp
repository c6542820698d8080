// Folder change notifications over inotify (see change_notify.h).
//
// Each handle owns one inotify descriptor with a watch on the folder (and, for a tree, on every
// folder below it, added as folders appear). One thread of the process waits on all descriptors
// with epoll and hands each readable one to its handle, which reads the events, matches them
// against its filter and signals.
#include "platform/win32/change_notify.h"

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/handle.h"
#include "platform/win32/waitable.h"

namespace platform {

namespace {

constexpr DWORD kKnownFilters = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_LAST_ACCESS |
                                FILE_NOTIFY_CHANGE_CREATION | FILE_NOTIFY_CHANGE_SECURITY;
// The flags an inotify IN_ATTRIB answers: attributes and times are both kept as metadata there.
constexpr DWORD kMetadataFilters = FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                   FILE_NOTIFY_CHANGE_LAST_ACCESS | FILE_NOTIFY_CHANGE_CREATION |
                                   FILE_NOTIFY_CHANGE_SECURITY;
constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

BOOL fail(DWORD e) {
  SetLastError(e);
  return FALSE;
}

class ChangeWatch final : public Waitable {
 public:
  ChangeWatch(int fd, std::string root, bool subtree, DWORD filter)
      : fd_(fd), root_(std::move(root)), subtree_(subtree), filter_(filter) {}
  ~ChangeWatch() override { closeFd(); }

  int fd() const { return fd_; }

  // Watches the folder, and for a tree every folder below it; false when the folder itself
  // cannot be watched.
  bool start() {
    std::lock_guard lock(mutex_);
    if (!add(root_)) return false;
    if (subtree_) addBelow(root_);
    return true;
  }

  bool tryAcquire() override { return isSignaled(); }
  bool isSignaled() override {
    std::lock_guard lock(mutex_);
    return signaled_;
  }

  void next() {
    std::lock_guard lock(mutex_);
    signaled_ = pending_;
    pending_ = false;
  }

  // Reads what the descriptor holds (called by the monitor thread when it is readable).
  void drain() {
    bool hit = false;
    {
      std::lock_guard lock(mutex_);
      if (fd_ < 0) return;
      alignas(inotify_event) char buf[16384];
      for (;;) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
          const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
          const ssize_t size = static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
          if (off + size > n) break;
          hit = take(*ev) || hit;
          off += size;
        }
      }
      if (hit) {
        if (signaled_) pending_ = true;
        signaled_ = true;
      }
    }
    if (hit) wakeWaiters();
  }

  void onClose() override;

 private:
  bool add(const std::string& dir) {
    std::uint32_t mask = kNameEvents | IN_ATTRIB | IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                         IN_DONT_FOLLOW | IN_EXCL_UNLINK;
    if (filter_ & FILE_NOTIFY_CHANGE_LAST_ACCESS) mask |= IN_ACCESS;
    int wd = ::inotify_add_watch(fd_, dir.c_str(), mask);
    if (wd < 0) return false;
    dirs_[wd] = dir;
    return true;
  }
  // Watches every folder below `dir`; whether it holds an entry the filter's name flags ask for
  // (a folder filled before its watch began is a change not to miss).
  bool addBelow(const std::string& dir) {
    bool named = false;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const bool folder = it->is_directory(ec) && !it->is_symlink(ec);
      if (folder) add(it->path().string());
      named = named || (filter_ & (folder ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME));
    }
    return named;
  }

  // Whether one event is a change the filter asks for; follows new folders of a tree.
  bool take(const inotify_event& ev) {
    if (ev.mask & IN_Q_OVERFLOW) return true;  // changes were lost: say something changed
    auto dir = dirs_.find(ev.wd);
    if (ev.mask & IN_IGNORED) {
      if (dir != dirs_.end()) dirs_.erase(dir);
      return false;
    }
    if (dir == dirs_.end()) return false;
    if (ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) return dir->second == root_;
    const bool isDir = (ev.mask & IN_ISDIR) != 0;
    bool inside = false;  // what a new folder already held when its watch began
    if (subtree_ && isDir && (ev.mask & (IN_CREATE | IN_MOVED_TO)) && ev.len) {
      std::string path = dir->second + "/" + ev.name;
      if (add(path)) inside = addBelow(path);
    }
    if (inside) return true;
    if (ev.mask & kNameEvents)
      return (filter_ & (isDir ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME)) != 0;
    if (ev.mask & IN_MODIFY) return !isDir && (filter_ & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
    if (ev.mask & IN_ATTRIB) return (filter_ & kMetadataFilters) != 0;
    if (ev.mask & IN_ACCESS) return !isDir && (filter_ & FILE_NOTIFY_CHANGE_LAST_ACCESS);
    return false;
  }

  void closeFd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::mutex mutex_;
  int fd_;
  const std::string root_;
  const bool subtree_;
  const DWORD filter_;
  std::map<int, std::string> dirs_;  // watch descriptor -> Linux folder
  bool signaled_ = false;
  bool pending_ = false;  // changes since the handle was signalled
};

// The process's one thread that waits on every watch's descriptor.
class Monitor {
 public:
  static Monitor& instance() {
    static Monitor* m = new Monitor;  // lives as long as its detached thread
    return *m;
  }
  bool add(const std::shared_ptr<ChangeWatch>& w) {
    std::lock_guard lock(mutex_);
    if (epoll_ < 0) {
      epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
      if (epoll_ < 0) return false;
      std::thread([this, epoll = epoll_] { loop(epoll); }).detach();
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = w->fd();
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, w->fd(), &ev) != 0) return false;
    watches_[w->fd()] = w;
    return true;
  }
  void remove(int fd) {
    std::lock_guard lock(mutex_);
    if (epoll_ >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    watches_.erase(fd);
  }

 private:
  void loop(int epoll) {
    for (;;) {
      epoll_event events[16];
      int n = ::epoll_wait(epoll, events, 16, -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        return;
      }
      for (int i = 0; i < n; ++i) {
        std::shared_ptr<ChangeWatch> w;
        {
          std::lock_guard lock(mutex_);
          auto it = watches_.find(events[i].data.fd);
          if (it != watches_.end()) w = it->second.lock();
        }
        if (w) w->drain();
      }
    }
  }

  std::mutex mutex_;
  int epoll_ = -1;
  std::map<int, std::weak_ptr<ChangeWatch>> watches_;
};

void ChangeWatch::onClose() {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return;
  Monitor::instance().remove(fd_);
  closeFd();
}

std::shared_ptr<ChangeWatch> watchOf(HANDLE h) { return lookupHandleAs<ChangeWatch>(h); }

}  // namespace

}  // namespace platform

HANDLE FindFirstChangeNotificationW(LPCWSTR lpPathName, BOOL bWatchSubtree, DWORD dwNotifyFilter) {
  namespace host = platform::host;
  if (!lpPathName || !dwNotifyFilter || (dwNotifyFilter & ~platform::kKnownFilters)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string_view path = platform::text::view(lpPathName);
  if (DWORD e = platform::fault::check("FindFirstChangeNotificationW", path)) {
    SetLastError(e);
    return INVALID_HANDLE_VALUE;
  }
  host::ResolvedPath r = host::resolvePath(path);
  DWORD error = r.error;
  if (!error && !r.exists) error = ERROR_FILE_NOT_FOUND;
  if (!error && !S_ISDIR(r.st.st_mode)) error = ERROR_DIRECTORY;
  if (error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    SetLastError(host::errorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  auto watch = std::make_shared<platform::ChangeWatch>(fd, r.linux, bWatchSubtree != FALSE, dwNotifyFilter);
  if (!watch->start() || !platform::Monitor::instance().add(watch)) {
    SetLastError(host::errorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  return platform::registerHandle(watch);
}

BOOL FindNextChangeNotification(HANDLE hChangeHandle) {
  auto w = platform::watchOf(hChangeHandle);
  if (!w) return platform::fail(ERROR_INVALID_HANDLE);
  w->next();
  return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE hChangeHandle) {
  if (!platform::watchOf(hChangeHandle)) return platform::fail(ERROR_INVALID_HANDLE);
  return CloseHandle(hChangeHandle);
}
