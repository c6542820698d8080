// Processor faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL) turned into Windows structured exceptions:
// a translator throws them as the program's exception, the last-chance filter sees the rest, and
// a fault inside the platform ends the process with the exception code.
#include "platform/win32/seh.h"

#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/host/host.h"
#include "platform/host/process_table.h"
#include "platform/win32/process.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__x86_64__)
constexpr bool kOn = false;
#else
constexpr bool kOn = true;
#endif

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr std::size_t kAltStackBytes = 128 * 1024;
// How far below the lowest stack address a fault still counts as running off the stack.
constexpr std::uintptr_t kOverflowReach = 1024 * 1024;
constexpr std::uintptr_t kOverflowSlack = 64 * 1024;
constexpr DWORD kStatusDeviceDataError = 0xC000009Cu;

struct Range {
  std::uintptr_t lo = 0;
  std::uintptr_t hi = 0;
};
struct Ranges {
  static constexpr int kMax = 16;
  Range r[kMax];
  int n = 0;
  bool has(std::uintptr_t pc) const {
    for (int i = 0; i < n; ++i)
      if (pc >= r[i].lo && pc < r[i].hi) return true;
    return false;
  }
};
// Written once before the handler is installed, read only by it afterwards.
Ranges g_product;   // the program's own code: its main executable
Ranges g_platform;  // this library

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_filter{nullptr};
std::once_flag g_installed;
std::atomic<bool> g_armed{false};

// Read by the signal handler: constant-initialised static TLS, so touching it never allocates.
struct ThreadState {
  _se_translator_function translator = nullptr;
  int platformDepth = 0;
  std::uintptr_t stackLow = 0;  // 0: bounds unknown (the thread never prepared)
  int signal = 0;
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  EXCEPTION_POINTERS pointers{};
};
thread_local ThreadState t_state __attribute__((tls_model("initial-exec")));

// The thread's alternate signal stack, released (after switching it off) when the thread ends.
struct AltStack {
  std::unique_ptr<char[]> memory;
  ~AltStack() {
    if (!memory) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
  }
};
thread_local AltStack t_altStack;

void onFault(int sig, siginfo_t* info, void* raw);

int collect(dl_phdr_info* info, std::size_t, void* first) {
  const auto self = reinterpret_cast<std::uintptr_t>(&onFault);
  Ranges own;
  bool isMain = *static_cast<bool*>(first);
  *static_cast<bool*>(first) = false;
  bool isPlatform = false;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& p = info->dlpi_phdr[i];
    if (p.p_type != PT_LOAD || !(p.p_flags & PF_X) || own.n == Ranges::kMax) continue;
    Range r{info->dlpi_addr + p.p_vaddr, info->dlpi_addr + p.p_vaddr + p.p_memsz};
    if (self >= r.lo && self < r.hi) isPlatform = true;
    own.r[own.n++] = r;
  }
  if (isMain) g_product = own;
  if (isPlatform) g_platform = own;
  return 0;
}

void unblock(int sig) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// Dies of `sig` as the unhandled fault would: the parent reads the exception code from it.
[[noreturn]] void die(int sig) {
  struct sigaction dfl{};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  unblock(sig);
  raise(sig);
  _exit(127);
}

void fill(ThreadState& t, int sig, const siginfo_t* info, const ucontext_t* uc) {
  const greg_t* g = uc->uc_mcontext.gregs;
  EXCEPTION_RECORD& r = t.record;
  r = EXCEPTION_RECORD{};
  r.ExceptionAddress = reinterpret_cast<PVOID>(g[REG_RIP]);
  const auto addr = reinterpret_cast<ULONG_PTR>(info->si_addr);
  switch (sig) {
    case SIGSEGV: {
      r.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
      const greg_t err = g[REG_ERR];  // the page-fault error code: bit 1 write, bit 4 fetch
      r.NumberParameters = 2;
      r.ExceptionInformation[0] = (err & 0x10) ? 8 : (err & 0x2) ? 1 : 0;
      r.ExceptionInformation[1] = addr;
      break;
    }
    case SIGBUS:
      if (info->si_code == BUS_ADRALN) {
        r.ExceptionCode = EXCEPTION_DATATYPE_MISALIGNMENT;
      } else {
        // A mapped file's page that cannot be read (the file became shorter).
        r.ExceptionCode = EXCEPTION_IN_PAGE_ERROR;
        r.NumberParameters = 3;
        r.ExceptionInformation[0] = (g[REG_ERR] & 0x2) ? 1 : 0;
        r.ExceptionInformation[1] = addr;
        r.ExceptionInformation[2] = kStatusDeviceDataError;
      }
      break;
    case SIGFPE:
      switch (info->si_code) {
        case FPE_INTOVF: r.ExceptionCode = EXCEPTION_INT_OVERFLOW; break;
        case FPE_FLTDIV: r.ExceptionCode = EXCEPTION_FLT_DIVIDE_BY_ZERO; break;
        case FPE_FLTOVF: r.ExceptionCode = EXCEPTION_FLT_OVERFLOW; break;
        case FPE_FLTUND: r.ExceptionCode = EXCEPTION_FLT_UNDERFLOW; break;
        case FPE_FLTRES: r.ExceptionCode = EXCEPTION_FLT_INEXACT_RESULT; break;
        case FPE_FLTINV: r.ExceptionCode = EXCEPTION_FLT_INVALID_OPERATION; break;
        default: r.ExceptionCode = EXCEPTION_INT_DIVIDE_BY_ZERO; break;
      }
      break;
    default:
      r.ExceptionCode = info->si_code == ILL_PRVOPC ? EXCEPTION_PRIV_INSTRUCTION : EXCEPTION_ILLEGAL_INSTRUCTION;
      break;
  }
  CONTEXT& c = t.context;
  c = CONTEXT{};
  c.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
  c.Rax = g[REG_RAX];
  c.Rcx = g[REG_RCX];
  c.Rdx = g[REG_RDX];
  c.Rbx = g[REG_RBX];
  c.Rsp = g[REG_RSP];
  c.Rbp = g[REG_RBP];
  c.Rsi = g[REG_RSI];
  c.Rdi = g[REG_RDI];
  c.R8 = g[REG_R8];
  c.R9 = g[REG_R9];
  c.R10 = g[REG_R10];
  c.R11 = g[REG_R11];
  c.R12 = g[REG_R12];
  c.R13 = g[REG_R13];
  c.R14 = g[REG_R14];
  c.R15 = g[REG_R15];
  c.Rip = g[REG_RIP];
  c.EFlags = static_cast<DWORD>(g[REG_EFL]);
  c.SegCs = static_cast<WORD>(g[REG_CSGSFS] & 0xFFFF);
  if (uc->uc_mcontext.fpregs) c.MxCsr = uc->uc_mcontext.fpregs->mxcsr;
  t.signal = sig;
  t.pointers.ExceptionRecord = &t.record;
  t.pointers.ContextRecord = &t.context;
}

// Ends the process with the code of the fault the thread recorded, outside any signal handler.
[[noreturn]] void endWithCode(const ThreadState& t) {
  if (std::getenv("KIPO_HOST") && platform::host::Host::available()) {
    try {
      platform::host::registerCurrentProcess();
      platform::host::recordExitCode(GetCurrentProcessId(), platform::host::currentStartTime(), t.record.ExceptionCode);
    } catch (...) {
    }
  }
  std::fflush(nullptr);
  die(t.signal);
}

// Where a fault the program does not handle continues: on the faulting thread's own stack, as
// ordinary code, so the filter may log, show a box and take locks.
[[noreturn]] void lastChance() {
  ThreadState& t = t_state;
  // Any answer ends the process: the faulting frame was left, so there is nothing to resume.
  if (LPTOP_LEVEL_EXCEPTION_FILTER filter = g_filter.load()) filter(&t.pointers);
  endWithCode(t);
}

// Makes the interrupted thread call lastChance() when the handler returns, as if the faulting
// instruction had called it (below the red zone, with a 16-byte aligned stack).
void redirect(ucontext_t* uc) {
  greg_t* g = uc->uc_mcontext.gregs;
  auto sp = static_cast<std::uintptr_t>(g[REG_RSP]);
  sp = ((sp - 256) & ~static_cast<std::uintptr_t>(15)) - sizeof(std::uintptr_t);
  *reinterpret_cast<std::uintptr_t*>(sp) = 0;
  g[REG_RSP] = static_cast<greg_t>(sp);
  g[REG_RIP] = reinterpret_cast<greg_t>(&lastChance);
}

bool stackOverflow(const ThreadState& t, int sig, const siginfo_t* info) {
  if (sig != SIGSEGV || !t.stackLow) return false;
  const auto addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
  return addr < t.stackLow + kOverflowSlack && addr + kOverflowReach >= t.stackLow;
}

// Async-signal-safe up to the translator: no allocation, no lock. The translator's throw unwinds
// from here through the signal frame into the faulting code (built with -fnon-call-exceptions).
void onFault(int sig, siginfo_t* info, void* raw) {
  const int savedErrno = errno;
  auto* uc = static_cast<ucontext_t*>(raw);
  ThreadState& t = t_state;
  fill(t, sig, info, uc);
  if (stackOverflow(t, sig, info)) die(SIGSTKFLT);  // read as STATUS_STACK_OVERFLOW by the parent
  // Sent by kill(): no instruction faulted, so there is nothing to translate.
  if (info->si_code <= 0) die(sig);
  const auto pc = static_cast<std::uintptr_t>(t.context.Rip);
  if (t.platformDepth > 0 || g_platform.has(pc)) die(sig);
  if (g_product.has(pc) && t.translator) {
    unblock(sig);  // the handler is never returned from: a later fault must find it armed
    errno = savedErrno;
    t.translator(t.record.ExceptionCode, &t.pointers);
  }
  redirect(uc);
  errno = savedErrno;
}

void install() {
  bool first = true;
  dl_iterate_phdr(collect, &first);
  struct sigaction sa{};
  sa.sa_sigaction = onFault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) sigaction(sig, &sa, nullptr);
}

// The calling thread gets an alternate stack (so running off its own stack is still seen) and its
// stack bounds are noted.
void prepareThisThread() {
  if (t_altStack.memory) return;
  t_altStack.memory = std::make_unique<char[]>(kAltStackBytes);
  stack_t ss{};
  ss.ss_sp = t_altStack.memory.get();
  ss.ss_size = kAltStackBytes;
  if (sigaltstack(&ss, nullptr) != 0) {
    t_altStack.memory.reset();
    return;
  }
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* low = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attr, &low, &size) == 0) t_state.stackLow = reinterpret_cast<std::uintptr_t>(low);
    pthread_attr_destroy(&attr);
  }
}

void arm() {
  if constexpr (kOn) {
    std::call_once(g_installed, [] {
      install();
      g_armed = true;
    });
    prepareThisThread();
  }
}

}  // namespace

_se_translator_function _set_se_translator(_se_translator_function translator) {
  arm();
  _se_translator_function previous = t_state.translator;
  t_state.translator = translator;
  return previous;
}

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  arm();
  return g_filter.exchange(filter);
}

platform::seh::PlatformSection::PlatformSection() { ++t_state.platformDepth; }
platform::seh::PlatformSection::~PlatformSection() { --t_state.platformDepth; }

void platform::seh::prepareThread() {
  if (g_armed.load()) prepareThisThread();
}

bool platform::seh::available() { return kOn; }
