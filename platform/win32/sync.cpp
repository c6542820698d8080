// Events, mutexes, semaphores, threads, waits, critical sections and interlocked operations (see
// sync.h). Every object here is a Waitable: a change that may end a wait calls wakeWaiters(), and
// waitForObjects re-checks tryAcquire/isSignaled on the waiting thread.
#include "platform/win32/sync.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "platform/win32/seh.h"
#include "platform/win32/waitable.h"

namespace platform {

namespace {

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

HANDLE failNull(DWORD error) {
  SetLastError(error);
  return nullptr;
}

DWORD threadId() { return host::currentThreadId(); }

// ---- named objects ----

enum class Kind { Event, Mutex, Semaphore };

class NamedObject : public Waitable {
 public:
  explicit NamedObject(Kind kind) : kind(kind) {}
  ~NamedObject() override {
    if (presenceFd >= 0) ::close(presenceFd);
  }
  const Kind kind;
  int presenceFd = -1;  // holds the host-wide presence of the name
};

struct Names {
  std::mutex mutex;
  std::map<std::u16string, std::weak_ptr<NamedObject>> objects;  // by upper-cased name
};

Names& names() {
  static Names* n = new Names();
  return *n;
}

std::u16string nameKey(std::u16string_view name) {
  for (std::u16string_view prefix : {std::u16string_view(u"Global\\"), std::u16string_view(u"Local\\")})
    if (name.size() >= prefix.size() && text::equalNoCase(name.substr(0, prefix.size()), prefix)) {
      name.remove_prefix(prefix.size());
      break;
    }
  return text::upcased(name);
}

// What the host says of a name: nobody holds it, another process holds an object of this kind,
// or one of another kind.
enum class Presence { None, Elsewhere, OtherKind };

// Looks at the name's presence lock in the host's shm/ folder and, when `take` or another process
// holds the name, takes it (fdOut then keeps it until closed). A reader lock on byte 0 marks
// presence; byte 1 serialises the look and the take between processes; the file's first byte
// says the kind of object the first holder made.
Presence takePresence(const std::u16string& key, Kind kind, bool take, int& fdOut) {
  fdOut = -1;
  if (!std::getenv("KIPO_HOST") || !host::Host::available()) return Presence::None;
  std::string hex;
  for (unsigned char c : text::toUtf8(key)) {
    char b[3];
    std::snprintf(b, sizeof b, "%02x", c);
    hex += b;
  }
  if (hex.size() > 200) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : hex) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    hex = "h" + std::to_string(h);
  }
  std::filesystem::path dir = host::Host::current().folder() / "shm" / "names";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  int fd = ::open((dir / hex).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return Presence::None;
  auto lock = [&](short type, off_t at, int cmd) {
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    l.l_start = at;
    l.l_len = 1;
    while (::fcntl(fd, cmd, &l) != 0 && errno == EINTR) {
    }
    return l;
  };
  const char kindByte = static_cast<char>('0' + static_cast<int>(kind));
  lock(F_WRLCK, 1, F_OFD_SETLKW);
  struct flock probe = lock(F_WRLCK, 0, F_OFD_GETLK);
  const bool existed = probe.l_type != F_UNLCK;
  char held = 0;
  if (existed && ::pread(fd, &held, 1, 0) == 1 && held != kindByte) {
    ::close(fd);  // drops the serialising lock too
    return Presence::OtherKind;
  }
  if (!existed && !take) {
    ::close(fd);
    return Presence::None;
  }
  // Should the kind not be written, only the wrong-kind check is lost; the name still works.
  if (!existed) {
    [[maybe_unused]] const ssize_t wrote = ::pwrite(fd, &kindByte, 1, 0);
  }
  lock(F_RDLCK, 0, F_OFD_SETLK);
  lock(F_UNLCK, 1, F_OFD_SETLK);
  fdOut = fd;
  return existed ? Presence::Elsewhere : Presence::None;
}

// An object of that name made by another process of the host. Its state lives in that process,
// out of this one's reach, so waits and state changes on it fail with ERROR_NOT_SUPPORTED rather
// than answer wrongly; like any handle, it keeps the name alive.
class ForeignObject : public NamedObject {
 public:
  explicit ForeignObject(Kind kind) : NamedObject(kind) {}
  bool tryAcquire() override { return false; }
  bool isSignaled() override { return false; }
  DWORD waitError() const override { return ERROR_NOT_SUPPORTED; }
};

// Creates or opens a named object. `make` builds a new one, and is called only when the name is
// new to the host. Sets the last error to ERROR_ALREADY_EXISTS or 0 as Create* reports it.
template <class T, class Make>
HANDLE createNamed(Kind kind, LPCWSTR name, Make make) {
  if (!name || !*name) {
    HANDLE h = registerHandle(make());
    SetLastError(ERROR_SUCCESS);
    return h;
  }
  std::u16string key = nameKey(text::view(name));
  Names& n = names();
  std::lock_guard lock(n.mutex);
  if (auto it = n.objects.find(key); it != n.objects.end()) {
    if (auto existing = it->second.lock()) {
      if (existing->kind != kind) return failNull(ERROR_INVALID_HANDLE);
      HANDLE h = registerHandle(existing);
      SetLastError(ERROR_ALREADY_EXISTS);
      return h;
    }
  }
  int fd = -1;
  const Presence presence = takePresence(key, kind, true, fd);
  if (presence == Presence::OtherKind) return failNull(ERROR_INVALID_HANDLE);
  std::shared_ptr<NamedObject> object;
  if (presence == Presence::Elsewhere)
    object = std::make_shared<ForeignObject>(kind);
  else
    object = make();
  object->presenceFd = fd;
  n.objects[key] = object;
  HANDLE h = registerHandle(object);
  SetLastError(presence == Presence::Elsewhere ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

HANDLE openNamed(Kind kind, LPCWSTR name) {
  if (!name) return failNull(ERROR_INVALID_PARAMETER);
  Names& n = names();
  std::lock_guard lock(n.mutex);
  const std::u16string key = nameKey(text::view(name));
  auto it = n.objects.find(key);
  std::shared_ptr<NamedObject> o = it == n.objects.end() ? nullptr : it->second.lock();
  if (!o) {
    int fd = -1;
    const Presence presence = takePresence(key, kind, false, fd);
    if (presence == Presence::OtherKind) return failNull(ERROR_INVALID_HANDLE);
    if (presence == Presence::None) return failNull(ERROR_FILE_NOT_FOUND);
    o = std::make_shared<ForeignObject>(kind);
    o->presenceFd = fd;
    n.objects[key] = o;
  }
  if (o->kind != kind) return failNull(ERROR_INVALID_HANDLE);
  return registerHandle(o);
}

// FALSE with the error a state change on this handle fails with: ERROR_NOT_SUPPORTED for another
// process's object, else ERROR_INVALID_HANDLE.
BOOL failStateChange(HANDLE h) {
  return fail(lookupHandleAs<ForeignObject>(h) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE);
}

// ---- the objects ----

class EventObject : public NamedObject {
 public:
  EventObject(bool manual, bool initial) : NamedObject(Kind::Event), manual_(manual), signaled_(initial) {}
  bool tryAcquire() override {
    std::lock_guard lock(mutex_);
    if (!signaled_) return false;
    if (!manual_) signaled_ = false;
    return true;
  }
  bool isSignaled() override {
    std::lock_guard lock(mutex_);
    return signaled_;
  }
  void set() {
    {
      std::lock_guard lock(mutex_);
      signaled_ = true;
    }
    wakeWaiters();
  }
  void reset() {
    std::lock_guard lock(mutex_);
    signaled_ = false;
  }

 private:
  std::mutex mutex_;
  const bool manual_;
  bool signaled_;
};

class MutexObject : public NamedObject {
 public:
  MutexObject() : NamedObject(Kind::Mutex) {}
  bool tryAcquire() override {
    std::lock_guard lock(mutex_);
    const DWORD me = threadId();
    if (count_ && owner_ != me) return false;
    owner_ = me;
    ++count_;
    return true;
  }
  bool isSignaled() override {
    std::lock_guard lock(mutex_);
    return !count_ || owner_ == threadId();
  }
  bool release() {
    {
      std::lock_guard lock(mutex_);
      if (!count_ || owner_ != threadId()) return false;
      if (--count_) return true;
      owner_ = 0;
    }
    wakeWaiters();
    return true;
  }

 private:
  std::mutex mutex_;
  DWORD owner_ = 0;
  long count_ = 0;
};

class SemaphoreObject : public NamedObject {
 public:
  SemaphoreObject(LONG initial, LONG maximum) : NamedObject(Kind::Semaphore), count_(initial), max_(maximum) {}
  bool tryAcquire() override {
    std::lock_guard lock(mutex_);
    if (!count_) return false;
    --count_;
    return true;
  }
  bool isSignaled() override {
    std::lock_guard lock(mutex_);
    return count_ > 0;
  }
  bool release(LONG n, LONG& previous) {
    {
      std::lock_guard lock(mutex_);
      previous = count_;
      if (n <= 0 || n > max_ - count_) return false;
      count_ += n;
    }
    wakeWaiters();
    return true;
  }

 private:
  std::mutex mutex_;
  LONG count_;
  const LONG max_;
};

class ThreadObject : public Waitable {
 public:
  bool tryAcquire() override { return isSignaled(); }
  bool isSignaled() override {
    std::lock_guard lock(mutex);
    return ended;
  }
  void finish(DWORD code) {
    {
      std::lock_guard lock(mutex);
      exitCode = code;
      ended = true;
    }
    wakeWaiters();
  }

  std::mutex mutex;
  std::condition_variable cv;
  DWORD tid = 0;
  bool started = false;
  long suspendCount = 0;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
};

// What ExitThread leaves for the thread's end.
struct ThreadEnd {
  ThreadObject* object = nullptr;
  DWORD code = 0;
};
thread_local ThreadEnd* t_end = nullptr;

const HANDLE kPseudoProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE kPseudoThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

// The waitable behind a handle: 0, or the error to fail with. Pseudo handles give null objects
// that never become signaled.
DWORD waitableOf(HANDLE h, std::shared_ptr<Waitable>& out) {
  out = nullptr;
  if (h == kPseudoProcess || h == kPseudoThread) return 0;
  std::shared_ptr<KernelObject> k = lookupHandle(h);
  if (!k) return ERROR_INVALID_HANDLE;
  if (!process::maySynchronize(*k)) return ERROR_ACCESS_DENIED;
  out = std::dynamic_pointer_cast<Waitable>(k);
  if (!out) return ERROR_INVALID_HANDLE;
  return out->waitError();
}

// A waitable that never becomes signaled (the pseudo handles).
class NeverSignaled : public Waitable {
 public:
  bool tryAcquire() override { return false; }
  bool isSignaled() override { return false; }
};

}  // namespace
}  // namespace platform

namespace text = platform::text;

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<platform::Waitable>> objects;
  for (DWORD i = 0; i < nCount; ++i) {
    std::shared_ptr<platform::Waitable> o;
    if (DWORD e = platform::waitableOf(lpHandles[i], o)) {
      SetLastError(e);
      return WAIT_FAILED;
    }
    if (!o) o = std::make_shared<platform::NeverSignaled>();
    objects.push_back(std::move(o));
  }
  if (bWaitAll) {
    std::set<platform::Waitable*> seen;
    for (auto& o : objects)
      if (!seen.insert(o.get()).second) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
      }
  }
  int r = platform::waitForObjects(objects, bWaitAll != FALSE, dwMilliseconds, {});
  return r < 0 ? static_cast<DWORD>(WAIT_TIMEOUT) : WAIT_OBJECT_0 + static_cast<DWORD>(r);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

// ---- events ----

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  return platform::createNamed<platform::EventObject>(platform::Kind::Event, lpName, [&] {
    return std::make_shared<platform::EventObject>(bManualReset != FALSE, bInitialState != FALSE);
  });
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  if (!lpName) return CreateEventW(sa, bManualReset, bInitialState, nullptr);
  std::u16string name = text::ansiToWide(lpName);
  return CreateEventW(sa, bManualReset, bInitialState, name.c_str());
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR lpName) { return platform::openNamed(platform::Kind::Event, lpName); }

BOOL SetEvent(HANDLE hEvent) {
  auto e = platform::lookupHandleAs<platform::EventObject>(hEvent);
  if (!e) return platform::failStateChange(hEvent);
  e->set();
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto e = platform::lookupHandleAs<platform::EventObject>(hEvent);
  if (!e) return platform::failStateChange(hEvent);
  e->reset();
  return TRUE;
}

BOOL PulseEvent(HANDLE hEvent) {
  auto e = platform::lookupHandleAs<platform::EventObject>(hEvent);
  if (!e) return platform::failStateChange(hEvent);
  e->set();
  // The woken waiters look at the event on their own threads: give them a moment to take it (an
  // auto-reset event ends the pulse as soon as one has).
  for (int i = 0; i < 20 && e->isSignaled(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  e->reset();
  return TRUE;
}

// ---- mutexes ----

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
  bool created = false;
  HANDLE h = platform::createNamed<platform::MutexObject>(platform::Kind::Mutex, lpName, [&] {
    created = true;
    return std::make_shared<platform::MutexObject>();
  });
  // Only a new mutex is owned at once (an existing one is just opened, as on Windows).
  if (h && created && bInitialOwner) {
    DWORD error = GetLastError();
    platform::lookupHandleAs<platform::MutexObject>(h)->tryAcquire();
    SetLastError(error);
  }
  return h;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL bInitialOwner, LPCSTR lpName) {
  if (!lpName) return CreateMutexW(sa, bInitialOwner, nullptr);
  std::u16string name = text::ansiToWide(lpName);
  return CreateMutexW(sa, bInitialOwner, name.c_str());
}

HANDLE OpenMutexW(DWORD, BOOL, LPCWSTR lpName) { return platform::openNamed(platform::Kind::Mutex, lpName); }

BOOL ReleaseMutex(HANDLE hMutex) {
  auto m = platform::lookupHandleAs<platform::MutexObject>(hMutex);
  if (!m) return platform::failStateChange(hMutex);
  if (!m->release()) return platform::fail(ERROR_NOT_OWNER);
  return TRUE;
}

// ---- semaphores ----

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG lInitialCount, LONG lMaximumCount, LPCWSTR lpName) {
  if (lMaximumCount < 1 || lInitialCount < 0 || lInitialCount > lMaximumCount)
    return platform::failNull(ERROR_INVALID_PARAMETER);
  return platform::createNamed<platform::SemaphoreObject>(platform::Kind::Semaphore, lpName, [&] {
    return std::make_shared<platform::SemaphoreObject>(lInitialCount, lMaximumCount);
  });
}

BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount) {
  auto s = platform::lookupHandleAs<platform::SemaphoreObject>(hSemaphore);
  if (!s) return platform::failStateChange(hSemaphore);
  LONG previous = 0;
  if (!s->release(lReleaseCount, previous))
    return platform::fail(lReleaseCount <= 0 ? ERROR_INVALID_PARAMETER : ERROR_TOO_MANY_POSTS);
  if (lpPreviousCount) *lpPreviousCount = previous;
  return TRUE;
}

// ---- threads ----

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress) return platform::failNull(ERROR_INVALID_PARAMETER);
  auto t = std::make_shared<platform::ThreadObject>();
  t->suspendCount = (dwCreationFlags & CREATE_SUSPENDED) ? 1 : 0;
  try {
    std::thread([t, lpStartAddress, lpParameter] {
      {
        std::unique_lock lock(t->mutex);
        t->tid = platform::threadId();
        t->started = true;
        t->cv.notify_all();
        t->cv.wait(lock, [&] { return t->suspendCount == 0; });
      }
      platform::seh::prepareThread();
      // Finishes the object on a return and on ExitThread's unwinding alike.
      platform::ThreadEnd end{t.get(), 0};
      struct Finish {
        platform::ThreadEnd& end;
        ~Finish() {
          platform::t_end = nullptr;
          end.object->finish(end.code);
        }
      } finish{end};
      platform::t_end = &end;
      end.code = lpStartAddress(lpParameter);
    }).detach();
  } catch (const std::system_error&) {
    return platform::failNull(ERROR_NOT_ENOUGH_MEMORY);
  }
  {
    std::unique_lock lock(t->mutex);
    t->cv.wait(lock, [&] { return t->started; });
  }
  if (lpThreadId) *lpThreadId = t->tid;
  SetLastError(ERROR_SUCCESS);
  return platform::registerHandle(t);
}

void ExitThread(DWORD dwExitCode) {
  if (platform::t_end) platform::t_end->code = dwExitCode;
  ::pthread_exit(nullptr);
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  if (!lpExitCode) return platform::fail(ERROR_NOACCESS);
  if (hThread == platform::kPseudoThread) {
    *lpExitCode = STILL_ACTIVE;
    return TRUE;
  }
  if (auto t = platform::lookupHandleAs<platform::ThreadObject>(hThread)) {
    std::lock_guard lock(t->mutex);
    *lpExitCode = t->exitCode;
    return TRUE;
  }
  if (platform::process::mainThreadExitCode(hThread, *lpExitCode)) return TRUE;
  return platform::fail(ERROR_INVALID_HANDLE);
}

DWORD ResumeThread(HANDLE hThread) {
  auto t = platform::lookupHandleAs<platform::ThreadObject>(hThread);
  if (!t) {
    DWORD code = 0;
    if (hThread == platform::kPseudoThread || platform::process::mainThreadExitCode(hThread, code)) return 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  std::lock_guard lock(t->mutex);
  const long previous = t->suspendCount;
  if (t->suspendCount > 0 && --t->suspendCount == 0) t->cv.notify_all();
  return static_cast<DWORD>(previous);
}

DWORD GetThreadId(HANDLE Thread) {
  if (Thread == platform::kPseudoThread) return GetCurrentThreadId();
  auto t = platform::lookupHandleAs<platform::ThreadObject>(Thread);
  if (!t) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return t->tid;
}

// ---- critical sections ----

namespace {

std::recursive_mutex& lockOf(LPCRITICAL_SECTION cs) { return *static_cast<std::recursive_mutex*>(cs->impl); }

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  lpCriticalSection->impl = new std::recursive_mutex();
  lpCriticalSection->recursion = 0;
  lpCriticalSection->owningThread = 0;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD) {
  InitializeCriticalSection(lpCriticalSection);
  return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  lockOf(lpCriticalSection).lock();
  lpCriticalSection->owningThread = GetCurrentThreadId();
  ++lpCriticalSection->recursion;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lockOf(lpCriticalSection).try_lock()) return FALSE;
  lpCriticalSection->owningThread = GetCurrentThreadId();
  ++lpCriticalSection->recursion;
  return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (--lpCriticalSection->recursion == 0) lpCriticalSection->owningThread = 0;
  lockOf(lpCriticalSection).unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  delete &lockOf(lpCriticalSection);
  lpCriticalSection->impl = nullptr;
}

// ---- interlocked operations ----

LONG InterlockedIncrement(LONG volatile* Addend) { return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* Addend) { return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* Target, LONG Value) { return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST); }
LONG InterlockedExchangeAdd(LONG volatile* Addend, LONG Value) {
  return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand) {
  __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return Comperand;
}
PVOID InterlockedExchangePointer(PVOID volatile* Target, PVOID Value) {
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
PVOID InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange, PVOID Comperand) {
  __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return Comperand;
}
