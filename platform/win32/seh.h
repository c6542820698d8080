// Structured exceptions: processor faults as Windows exception records, the per-thread
// translator that turns them into the program's own thrown objects, and the last-chance filter.
#pragma once

#include "platform/base/types.h"

#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u
#define EXCEPTION_IN_PAGE_ERROR 0xC0000006u
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001Du
#define EXCEPTION_PRIV_INSTRUCTION 0xC0000096u
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094u
#define EXCEPTION_INT_OVERFLOW 0xC0000095u
#define EXCEPTION_FLT_DIVIDE_BY_ZERO 0xC000008Eu
#define EXCEPTION_FLT_INEXACT_RESULT 0xC000008Fu
#define EXCEPTION_FLT_INVALID_OPERATION 0xC0000090u
#define EXCEPTION_FLT_OVERFLOW 0xC0000091u
#define EXCEPTION_FLT_UNDERFLOW 0xC0000093u
#define EXCEPTION_DATATYPE_MISALIGNMENT 0x80000002u
#define EXCEPTION_STACK_OVERFLOW 0xC00000FDu

#define EXCEPTION_NONCONTINUABLE 0x1u
#define EXCEPTION_MAXIMUM_PARAMETERS 15

// What a last-chance filter returns.
#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define EXCEPTION_CONTINUE_EXECUTION (-1)

#define CONTEXT_AMD64 0x00100000L
#define CONTEXT_CONTROL (CONTEXT_AMD64 | 0x1L)
#define CONTEXT_INTEGER (CONTEXT_AMD64 | 0x2L)

struct EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
  EXCEPTION_RECORD* ExceptionRecord;
  PVOID ExceptionAddress;
  DWORD NumberParameters;
  // Access violation: [0] 0 read, 1 write, 8 execute; [1] the address accessed.
  ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};
using PEXCEPTION_RECORD = EXCEPTION_RECORD*;

// The x64 processor context with the control and integer registers (the floating-point and
// debug parts are not captured, and ContextFlags says so).
struct CONTEXT {
  DWORD ContextFlags;
  DWORD MxCsr;
  WORD SegCs, SegDs, SegEs, SegFs, SegGs, SegSs;
  DWORD EFlags;
  DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
  DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
  DWORD64 Rip;
};
using PCONTEXT = CONTEXT*;

struct EXCEPTION_POINTERS {
  PEXCEPTION_RECORD ExceptionRecord;
  PCONTEXT ContextRecord;
};
using PEXCEPTION_POINTERS = EXCEPTION_POINTERS*;

// Called on the faulting thread, as the program's own code, with the fault's code and records;
// it throws the program's exception object. Returning lets the fault go on to the last chance.
using _se_translator_function = void (*)(unsigned int, EXCEPTION_POINTERS*);
// Per thread; returns the thread's previous translator.
_se_translator_function _set_se_translator(_se_translator_function translator);

using LPTOP_LEVEL_EXCEPTION_FILTER = LONG (*)(EXCEPTION_POINTERS*);
// Process-wide; returns the previous filter. The process ends after the filter ran, with the
// exception code as its exit code.
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);

namespace platform::seh {

// Marks the platform's own critical sections on this thread: a fault while one is open ends the
// process at once (the platform's state may be half changed), whatever the faulting code.
class PlatformSection {
 public:
  PlatformSection();
  ~PlatformSection();
  PlatformSection(const PlatformSection&) = delete;
  PlatformSection& operator=(const PlatformSection&) = delete;
};

// For threads the platform starts: gives the calling thread its alternate signal stack once the
// process translates faults, so running off its stack is seen there too.
void prepareThread();

// False when the translation is built out (under the sanitizers, which own the fault signals).
bool available();

}  // namespace platform::seh
