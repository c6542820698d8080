// Events, mutexes, semaphores, threads and waits: the rules programs rely on, with real threads,
// and a named mutex seen from another process.
#include "platform/win32/sync.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/base/clock.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "tests/platform/win32/fixtures/probe.h"

namespace {

struct Waiter {
  HANDLE object;
  DWORD timeout;
  std::atomic<DWORD> result{0xDEADBEEF};
};

DWORD waitThread(LPVOID p) {
  auto* w = static_cast<Waiter*>(p);
  w->result = WaitForSingleObject(w->object, w->timeout);
  return w->result == WAIT_OBJECT_0 ? 7 : 8;
}

HANDLE startWaiter(Waiter& w) {
  DWORD tid = 0;
  HANDLE t = CreateThread(nullptr, 0, waitThread, &w, 0, &tid);
  EXPECT_NE(t, nullptr);
  EXPECT_NE(tid, 0u);
  EXPECT_NE(tid, GetCurrentThreadId());
  return t;
}

TEST(Events, AutoResetReleasesOneWaiterManualResetAll) {
  for (BOOL manual : {FALSE, TRUE}) {
    HANDLE e = CreateEventW(nullptr, manual, FALSE, nullptr);
    Waiter a{e, 3000}, b{e, 3000};
    HANDLE ta = startWaiter(a), tb = startWaiter(b);
    EXPECT_EQ(WaitForSingleObject(ta, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "nobody runs before the signal";
    ASSERT_TRUE(SetEvent(e));
    HANDLE threads[] = {ta, tb};
    if (manual) {
      EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 3000), static_cast<DWORD>(WAIT_OBJECT_0));
      EXPECT_EQ(a.result.load(), static_cast<DWORD>(WAIT_OBJECT_0));
      EXPECT_EQ(b.result.load(), static_cast<DWORD>(WAIT_OBJECT_0));
      EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "stays set";
    } else {
      DWORD first = WaitForMultipleObjects(2, threads, FALSE, 3000);
      ASSERT_LT(first, 2u);
      EXPECT_EQ(WaitForSingleObject(threads[1 - first], 100), static_cast<DWORD>(WAIT_TIMEOUT))
          << "one SetEvent releases one waiter";
      EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the signal was consumed";
      SetEvent(e);
      EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 3000), static_cast<DWORD>(WAIT_OBJECT_0));
    }
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(ta, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(ta);
    CloseHandle(tb);
    CloseHandle(e);
  }
}

TEST(Events, ResetAndPulse) {
  HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "initially set";
  ResetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  Waiter w{e, 5000};
  HANDLE t = startWaiter(w);
  EXPECT_EQ(WaitForSingleObject(t, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  PulseEvent(e);
  EXPECT_EQ(WaitForSingleObject(t, 3000), static_cast<DWORD>(WAIT_OBJECT_0)) << "a waiting thread is released";
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "and the event is left reset";
  CloseHandle(t);
  CloseHandle(e);
}

TEST(Events, NamedEventsAreSharedInTheProcess) {
  kipotest::TestHost host;
  HANDLE a = CreateEventW(nullptr, FALSE, FALSE, u"Kipo.Test.Event");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE b = CreateEventW(nullptr, TRUE, TRUE, u"kipo.test.EVENT");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "names are case-insensitive";
  HANDLE c = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Local\\Kipo.Test.Event");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(WaitForSingleObject(b, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the existing event's state is kept";
  SetEvent(c);
  EXPECT_EQ(WaitForSingleObject(a, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(b, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "auto-reset: consumed through a";
  SetLastError(0);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Kipo.Test.Event"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "a name of another kind";
  CloseHandle(a);
  CloseHandle(b);
  CloseHandle(c);
  SetLastError(0);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Kipo.Test.Event"), nullptr) << "gone with its last handle";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

DWORD tryMutex(LPVOID p) { return WaitForSingleObject(static_cast<HANDLE>(p), 0); }
DWORD releaseMutex(LPVOID p) { return ReleaseMutex(static_cast<HANDLE>(p)) ? 0 : GetLastError(); }

DWORD runOnThread(LPTHREAD_START_ROUTINE fn, HANDLE arg) {
  HANDLE t = CreateThread(nullptr, 0, fn, arg, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  CloseHandle(t);
  return code;
}

TEST(Mutexes, OwnedRecursivelyByOneThread) {
  HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "the owner takes it again";
  EXPECT_EQ(runOnThread(tryMutex, m), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(runOnThread(releaseMutex, m), static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(runOnThread(tryMutex, m), static_cast<DWORD>(WAIT_TIMEOUT)) << "still held once";
  EXPECT_TRUE(ReleaseMutex(m));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_EQ(runOnThread(tryMutex, m), static_cast<DWORD>(WAIT_OBJECT_0)) << "free now";
  CloseHandle(m);
}

TEST(Mutexes, NamedMutexExistsForEveryProcessOfTheHost) {
  probetest::ProbeHost host;
  PROCESS_INFORMATION pi = probetest::start(probetest::probeLine(u"mutex Kipo.Single C:\\m1.txt C:\\stop"));
  ASSERT_TRUE(host.waitForFile("m1.txt"));
  EXPECT_EQ(host.read("m1.txt"), "0");
  HANDLE mine = CreateMutexW(nullptr, FALSE, u"Kipo.Single");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "held by the other process";
  host.write("stop", "x");
  EXPECT_EQ(probetest::finish(pi), 0u);
  CloseHandle(mine);
  HANDLE again = CreateMutexW(nullptr, FALSE, u"Kipo.Single");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "nobody holds it any more";
  std::filesystem::remove(host.c("stop"));
  pi = probetest::start(probetest::probeLine(u"mutex Kipo.Single C:\\m2.txt C:\\stop"));
  ASSERT_TRUE(host.waitForFile("m2.txt"));
  EXPECT_EQ(host.read("m2.txt"), "183") << "the other process sees this one's";
  host.write("stop", "x");
  EXPECT_EQ(probetest::finish(pi), 0u);
  CloseHandle(again);
}

TEST(NamedObjects, AnotherProcesssObjectOpensButRefusesWaitsAndChanges) {
  probetest::ProbeHost host;
  PROCESS_INFORMATION mutexOwner = probetest::start(probetest::probeLine(u"mutex Kipo.Held C:\\m.txt C:\\stop"));
  PROCESS_INFORMATION eventOwner = probetest::start(probetest::probeLine(u"event Kipo.Flag C:\\e.txt C:\\stop"));
  // The owners end whatever becomes of the test (an ASSERT returning early included).
  struct Stop {
    probetest::ProbeHost& host;
    ~Stop() { host.write("stop", "x"); }
  } stop{host};
  ASSERT_TRUE(host.waitForFile("m.txt"));
  ASSERT_TRUE(host.waitForFile("e.txt"));

  HANDLE opened = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, u"Kipo.Held");
  ASSERT_NE(opened, nullptr) << GetLastError();
  SetLastError(0);
  HANDLE created = CreateMutexW(nullptr, TRUE, u"kipo.held");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE event = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Kipo.Flag");
  ASSERT_NE(event, nullptr) << GetLastError();

  // The owner holds the mutex and the event is not set: a wait must not succeed. The stand-in
  // cannot see their state, so every wait and change fails instead of answering wrongly.
  for (HANDLE h : {opened, created, event}) {
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    SetLastError(0);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &h, FALSE, 0, QS_ALLINPUT), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  }
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(created));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(ResetEvent(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

  // Names keep their kind across processes; an unknown name is not found.
  SetLastError(0);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Kipo.Held"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"Kipo.Held"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Kipo.Nobody"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  host.write("stop", "x");
  EXPECT_EQ(probetest::finish(mutexOwner), 0u);
  EXPECT_EQ(probetest::finish(eventOwner), 0u);
  CloseHandle(opened);
  CloseHandle(created);
  CloseHandle(event);
  HANDLE mine = CreateMutexW(nullptr, FALSE, u"Kipo.Held");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "gone with every handle";
  EXPECT_EQ(WaitForSingleObject(mine, 0), WAIT_OBJECT_0) << "this process's own mutex works";
  EXPECT_TRUE(ReleaseMutex(mine));
  CloseHandle(mine);
}

TEST(Semaphores, CountAndMaximum) {
  HANDLE s = CreateSemaphoreW(nullptr, 1, 2, nullptr);
  EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 2, &previous));
  EXPECT_EQ(previous, 0);
  previous = -1;
  SetLastError(0);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  EXPECT_EQ(previous, -1) << "left unchanged on failure";
  CloseHandle(s);
  SetLastError(0);
  EXPECT_EQ(CreateSemaphoreW(nullptr, 3, 2, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(WaitForMultipleObjects, ArgumentsAndResults) {
  HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr), b = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  HANDLE both[] = {a, b};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(a);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0) << "the lowest index wins";
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  struct Case {
    DWORD count;
    std::vector<HANDLE> handles;
    BOOL all;
    DWORD error;
  } cases[] = {
      {0, {a}, FALSE, ERROR_INVALID_PARAMETER},
      {65, std::vector<HANDLE>(65, a), FALSE, ERROR_INVALID_PARAMETER},
      {2, {a, a}, TRUE, ERROR_INVALID_PARAMETER},
      {1, {reinterpret_cast<HANDLE>(0x7777770)}, FALSE, ERROR_INVALID_HANDLE},
      {1, {GetStdHandle(STD_ERROR_HANDLE)}, FALSE, ERROR_INVALID_HANDLE},
  };
  for (auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles.data(), c.all, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(WaitForMultipleObjects(2, std::vector<HANDLE>{a, a}.data(), FALSE, 0), WAIT_OBJECT_0)
      << "a repeated handle is fine without waitAll";
  CloseHandle(a);
  CloseHandle(b);
}

TEST(WaitForSingleObject, TimedWaitsRunOnTheVirtualClock) {
  platform::clock::VirtualClock clock;
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  const auto before = clock.nowMs();
  EXPECT_EQ(WaitForSingleObject(e, 45000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(clock.nowMs() - before, 45000u);
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 10), static_cast<DWORD>(WAIT_TIMEOUT))
      << "a thread's own pseudo handle never signals";
  CloseHandle(e);
}

DWORD exitsEarly(LPVOID) {
  ExitThread(42);
}

TEST(Threads, SuspendedStartExitThreadAndCodes) {
  DWORD tid = 0;
  HANDLE t = CreateThread(nullptr, 0, exitsEarly, nullptr, CREATE_SUSPENDED, &tid);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(GetThreadId(t), tid);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(t, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "suspended";
  EXPECT_EQ(ResumeThread(t), 1u);
  EXPECT_EQ(WaitForSingleObject(t, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(ResumeThread(t), 0u);
  CloseHandle(t);
}

struct Shared {
  CRITICAL_SECTION cs;
  long plain = 0;
  LONG counter = 0;
};

DWORD hammer(LPVOID p) {
  auto* s = static_cast<Shared*>(p);
  for (int i = 0; i < 10000; ++i) {
    EnterCriticalSection(&s->cs);
    EnterCriticalSection(&s->cs);
    ++s->plain;
    LeaveCriticalSection(&s->cs);
    LeaveCriticalSection(&s->cs);
    InterlockedIncrement(&s->counter);
  }
  return 0;
}

TEST(Interlocked, OperationsAndCriticalSectionsUnderContention) {
  Shared s;
  InitializeCriticalSection(&s.cs);
  HANDLE threads[4];
  for (auto& t : threads) t = CreateThread(nullptr, 0, hammer, &s, 0, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(4, threads, TRUE, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  for (auto& t : threads) CloseHandle(t);
  EXPECT_EQ(s.plain, 40000);
  EXPECT_EQ(s.counter, 40000);
  DeleteCriticalSection(&s.cs);
  LONG v = 5;
  EXPECT_EQ(InterlockedDecrement(&v), 4);
  EXPECT_EQ(InterlockedExchange(&v, 9), 4);
  EXPECT_EQ(InterlockedExchangeAdd(&v, 3), 9);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 11), 12) << "no exchange when the comparand differs";
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 12), 12);
  EXPECT_EQ(v, 1);
}

}  // namespace
