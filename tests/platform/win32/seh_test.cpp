// Structured exceptions: the records each processor fault gives, the translator's throw through
// message dispatch (posted, sent from another thread, timers, modal dialogs) leaving it usable,
// and the ways a fault ends the process (the last-chance filter, a platform fault, stack overflow).
#include "platform/win32/seh.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/base/fault.h"
#include "platform/win32/dialog.h"
#include "platform/win32/dialog_builder.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/sync.h"
#include "platform/win32/time.h"
#include "platform/win32/window.h"
#include "tests/platform/win32/winprobe_client.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

// The sanitizers own the fault signals: there is no translation to test under them.
#if !defined(__SANITIZE_ADDRESS__)

// What the program's translator throws: copies of the two records.
struct Caught {
  EXCEPTION_RECORD record;
  CONTEXT context;
};

void translate(unsigned int, EXCEPTION_POINTERS* p) { throw Caught{*p->ExceptionRecord, *p->ContextRecord}; }

// Each fault in a function of its own, so the address and the access are known.
volatile int g_zero = 0;
__attribute__((noipa)) int readAt(std::uintptr_t address) { return *reinterpret_cast<volatile int*>(address); }
__attribute__((noipa)) void writeAt(std::uintptr_t address) { *reinterpret_cast<volatile int*>(address) = 1; }
__attribute__((noipa)) int divideByZero() { return 100 / g_zero; }
__attribute__((noipa)) void illegalInstruction() { asm volatile("ud2"); }

// Reads a mapped page whose file became empty meanwhile.
__attribute__((noipa)) int readVanishedPage(volatile char* page) { return page[16]; }

class Translated : public ::testing::Test {
 protected:
  Translated() { previous_ = _set_se_translator(translate); }
  ~Translated() override {
    kipotest::destroyThreadWindows();
    _set_se_translator(previous_);
  }
  kipotest::TestHost host_;
  _se_translator_function previous_ = nullptr;
};

TEST_F(Translated, EachFaultGivesItsWindowsCodeAndRecords) {
  struct Case {
    const char* what;
    void (*run)();
    DWORD code;
    DWORD parameters;
    ULONG_PTR access;   // [0] of an access violation
    ULONG_PTR address;  // [1]
  } cases[] = {
      {"a read of a null pointer's member", [] { readAt(0x20); }, EXCEPTION_ACCESS_VIOLATION, 2, 0, 0x20},
      {"a write through a null pointer", [] { writeAt(0x10); }, EXCEPTION_ACCESS_VIOLATION, 2, 1, 0x10},
      {"a write far from null", [] { writeAt(0x7FF0'0000'1000); }, EXCEPTION_ACCESS_VIOLATION, 2, 1, 0x7FF0'0000'1000},
      {"an integer division by zero", [] { divideByZero(); }, EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 0, 0},
      {"an undefined instruction", [] { illegalInstruction(); }, EXCEPTION_ILLEGAL_INSTRUCTION, 0, 0, 0},
  };
  for (const auto& c : cases) {
    // Twice: the handler is left by a throw, and must still be armed for the next fault.
    for (int round = 0; round < 2; ++round) {
      try {
        c.run();
        ADD_FAILURE() << c.what << ": no exception";
      } catch (const Caught& e) {
        EXPECT_EQ(e.record.ExceptionCode, c.code) << c.what;
        EXPECT_EQ(e.record.ExceptionFlags, 0u) << c.what << ": continuable, as Windows raises it";
        EXPECT_EQ(e.record.ExceptionRecord, nullptr) << c.what;
        EXPECT_EQ(e.record.NumberParameters, c.parameters) << c.what;
        if (c.parameters == 2) {
          EXPECT_EQ(e.record.ExceptionInformation[0], c.access) << c.what;
          EXPECT_EQ(e.record.ExceptionInformation[1], c.address) << c.what;
        }
        EXPECT_EQ(reinterpret_cast<DWORD64>(e.record.ExceptionAddress), e.context.Rip) << c.what;
        EXPECT_NE(e.context.Rsp, 0u) << c.what;
        EXPECT_EQ(e.context.ContextFlags & CONTEXT_CONTROL, static_cast<DWORD>(CONTEXT_CONTROL)) << c.what;
      }
    }
  }
}

TEST_F(Translated, APageOfAMappedFileThatShrankIsAnInPageError) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  const int fd = fileno(f);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  void* view = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
  ASSERT_NE(view, MAP_FAILED);
  ASSERT_EQ(ftruncate(fd, 0), 0);
  try {
    readVanishedPage(static_cast<volatile char*>(view));
    ADD_FAILURE() << "no exception";
  } catch (const Caught& e) {
    EXPECT_EQ(e.record.ExceptionCode, EXCEPTION_IN_PAGE_ERROR);
    ASSERT_EQ(e.record.NumberParameters, 3u);
    EXPECT_EQ(e.record.ExceptionInformation[0], 0u) << "a read";
    EXPECT_EQ(e.record.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(view) + 16);
  }
  munmap(view, 4096);
  std::fclose(f);
}

TEST_F(Translated, ThreadsWithoutTheTranslatorAreNotTranslated) {
  EXPECT_EQ(_set_se_translator(translate), translate) << "per thread, and the previous one is returned";
  std::thread([] { EXPECT_EQ(_set_se_translator(nullptr), nullptr) << "a new thread starts without one"; }).join();
}

// A procedure whose handlers fault on WM_USER and WM_USER + 2 and answer 7 to WM_USER + 1.
LRESULT CALLBACK faultingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_USER || msg == WM_USER + 2) writeAt(0x40);
  if (msg == WM_USER + 1) return 7;
  return DefWindowProcW(h, msg, w, l);
}

HWND makeFaultingWindow() {
  kipotest::registerWindowClass(u"KipoFaulting", faultingProc);
  return CreateWindowExW(0, u"KipoFaulting", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

// The program's pump: one guarded block around each message, as its message loop has.
int pumpCatching(int limit) {
  int caught = 0;
  MSG m;
  for (int i = 0; i < limit; ++i) {
    try {
      if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) break;
      DispatchMessageW(&m);
    } catch (const Caught& e) {
      if (e.record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION) ++caught;
    }
  }
  return caught;
}

TEST_F(Translated, AHandlerFaultIsCaughtByTheLoopWhichGoesOn) {
  HWND h = makeFaultingWindow();
  ASSERT_NE(h, nullptr);
  PostMessageW(h, WM_USER, 0, 0);
  PostMessageW(h, WM_USER, 0, 0);
  PostMessageW(h, WM_APP, 0, 0);
  EXPECT_EQ(pumpCatching(10), 2);
  // Sent on the window's own thread: the throw leaves SendMessageW, which works afterwards.
  EXPECT_THROW(SendMessageW(h, WM_USER, 0, 0), Caught);
  EXPECT_EQ(SendMessageW(h, WM_USER + 1, 0, 0), 7);

  // A timer whose procedure faults keeps firing.
  static int ticks;
  ticks = 0;
  struct Tick {
    static void CALLBACK proc(HWND, UINT, UINT_PTR, DWORD) {
      if (++ticks == 1) writeAt(0x50);
    }
  };
  UINT_PTR timer = SetTimer(h, 9, 1, Tick::proc);
  ASSERT_NE(timer, 0u);
  for (int i = 0; i < 200 && ticks < 3; ++i) {
    pumpCatching(10);
    Sleep(2);
  }
  KillTimer(h, 9);
  EXPECT_GE(ticks, 3);
}

TEST_F(Translated, ASendFromAnotherThreadWhoseHandlerFaultsIsAnsweredWithZero) {
  HWND h = makeFaultingWindow();
  ASSERT_NE(h, nullptr);
  LRESULT sent = TRUE;
  DWORD_PTR answer = 99;
  std::thread sender([&] { sent = SendMessageTimeoutW(h, WM_USER, 0, 0, SMTO_NORMAL, 5000, &answer); });
  int caught = 0;
  for (int i = 0; i < 500 && !caught; ++i) {
    caught += pumpCatching(10);
    Sleep(2);
  }
  sender.join();
  EXPECT_EQ(caught, 1) << "the fault reaches the receiving thread's loop";
  EXPECT_TRUE(sent) << "the sender is answered, not left to time out";
  EXPECT_EQ(answer, 0u);
  // Both threads still talk.
  std::thread([&] { answer = 0; SendMessageTimeoutW(h, WM_USER + 1, 0, 0, SMTO_NORMAL, 5000, &answer); })
      .detach();
  for (int i = 0; i < 500 && answer != 7; ++i) {
    pumpCatching(10);
    Sleep(2);
  }
  EXPECT_EQ(answer, 7u);
}

TEST_F(Translated, ASendFromAnotherProcessWhoseHandlerFaultsIsAnsweredWithZero) {
  HWND faulting = makeFaultingWindow();
  ASSERT_NE(faulting, nullptr);
  kipotest::registerWindowClass(u"KipoPlain");
  HWND plain = CreateWindowExW(0, u"KipoPlain", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  kipotest::WinProbe probe({"--class", "KipoProbeSeh"});
  // The probe, handling WM_USER + 1, sends WM_USER + 2 back to the window in wParam while this
  // thread waits, and answers what came back plus one. The fault leaves this thread's send.
  DWORD_PTR answer = 0;
  EXPECT_THROW(SendMessageTimeoutW(probe.window(), WM_USER + 1, reinterpret_cast<WPARAM>(faulting), 4, SMTO_NORMAL,
                                   5000, &answer),
               Caught);
  // The probe was answered (with 0) and serves the next send, here to a window without faults.
  answer = 0;
  EXPECT_TRUE(SendMessageTimeoutW(probe.window(), WM_USER + 1, reinterpret_cast<WPARAM>(plain), 4, SMTO_NORMAL, 5000,
                                  &answer));
  EXPECT_EQ(answer, 1u);
  // Back in its own loop (not still waiting inside its first send), it ends when its window goes.
  SendMessageTimeoutW(probe.window(), WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &answer);
  EXPECT_EQ(probe.waitExit(5000), 0);
}

INT_PTR CALLBACK faultingDialog(HWND h, UINT msg, WPARAM, LPARAM l) {
  if (msg == WM_INITDIALOG) {
    PostMessageW(h, l ? WM_USER : WM_USER + 1, 0, 0);
    return TRUE;
  }
  if (msg == WM_USER) writeAt(0x60);
  if (msg == WM_USER + 1) EndDialog(h, 5);
  return FALSE;
}

TEST_F(Translated, AFaultInAModalDialogLeavesItsOwnerUsable) {
  HWND owner = makeFaultingWindow();
  ASSERT_NE(owner, nullptr);
  platform::dialog::TemplateBuilder t(WS_POPUP | WS_CAPTION, 100, 50, u"Faulting");
  EXPECT_THROW(DialogBoxIndirectParamW(nullptr, t.get(), owner, faultingDialog, 1), Caught);
  EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
  EXPECT_EQ(FindWindowW(u"#32770", u"Faulting"), nullptr) << "the dialog is gone";
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, t.get(), owner, faultingDialog, 0), 5) << "the next one runs";
  EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(Translated, AFaultUnderATaskModalBoxGivesItsWindowsBack) {
  HWND window = makeFaultingWindow();
  ASSERT_NE(window, nullptr);
  struct Tick {
    static void CALLBACK proc(HWND, UINT, UINT_PTR, DWORD) { writeAt(0x80); }
  };
  UINT_PTR timer = SetTimer(nullptr, 0, 1, Tick::proc);
  EXPECT_THROW(MessageBoxW(nullptr, u"Waiting", u"Faulting", MB_OK | MB_TASKMODAL), Caught);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(IsWindowEnabled(window)) << "the thread's windows take input again";
  EXPECT_EQ(FindWindowW(u"#32770", u"Faulting"), nullptr) << "the box is gone";
}

// ---- faults that end the process ----

LONG loggingFilter(EXCEPTION_POINTERS* p) {
  std::fprintf(stderr, "last chance: %08x at %p\n", static_cast<unsigned>(p->ExceptionRecord->ExceptionCode),
               reinterpret_cast<void*>(p->ExceptionRecord->ExceptionInformation[1]));
  return EXCEPTION_EXECUTE_HANDLER;
}

// A filter that would end the process its own way: the death shows it was never called.
LONG exitingFilter(EXCEPTION_POINTERS*) { std::_Exit(42); }

__attribute__((noipa)) int recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return depth > 1'000'000'000 ? frame[0] : recurse(depth + 1) + frame[0];
}

class Ending : public ::testing::Test {
 protected:
  Ending() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(Ending, AFaultOnAThreadWithoutTranslatorGoesToTheFilterThenEndsTheProcess) {
  EXPECT_EXIT(
      {
        SetUnhandledExceptionFilter(loggingFilter);
        std::thread([] { writeAt(0x70); }).join();
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGSEGV), "last chance: c0000005 at 0x70");
  EXPECT_EXIT(
      {
        SetUnhandledExceptionFilter(loggingFilter);
        _set_se_translator(nullptr);
        divideByZero();
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGFPE), "last chance: c0000094");
}

TEST_F(Ending, AFaultInsideThePlatformEndsTheProcessWithoutTheFilter) {
  EXPECT_EXIT(
      {
        SetUnhandledExceptionFilter(exitingFilter);
        _set_se_translator(translate);
        platform::fault::Fault f;
        f.call = "PostThreadMessageW";
        f.action = platform::fault::Action::Crash;
        platform::fault::inject(f);
        try {
          PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
        } catch (...) {
          std::exit(1);
        }
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(Ending, AFaultWhileAPlatformSectionIsOpenEndsTheProcessWithoutTheFilter) {
  EXPECT_EXIT(
      {
        SetUnhandledExceptionFilter(exitingFilter);
        _set_se_translator(translate);
        try {
          platform::seh::PlatformSection inside;
          divideByZero();
        } catch (...) {
          std::exit(1);
        }
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGFPE), "");
}

TEST_F(Ending, AStackOverflowEndsTheProcessAsStatusStackOverflow) {
  EXPECT_EXIT(
      {
        SetUnhandledExceptionFilter(exitingFilter);
        _set_se_translator(translate);
        try {
          recurse(0);
        } catch (...) {
          std::exit(1);
        }
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGSTKFLT), "");
}

TEST_F(Ending, AStackOverflowOnAThreadThePlatformStartedIsSeenToo) {
  EXPECT_EXIT(
      {
        SetUnhandledExceptionFilter(exitingFilter);
        struct Worker {
          static DWORD WINAPI run(LPVOID) { return static_cast<DWORD>(recurse(0)); }
        };
        HANDLE worker = CreateThread(nullptr, 0, Worker::run, nullptr, 0, nullptr);
        WaitForSingleObject(worker, INFINITE);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGSTKFLT), "");
}

#endif

}  // namespace
