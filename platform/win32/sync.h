// Synchronisation: waits on kernel objects, events, mutexes, semaphores, threads, critical
// sections and the interlocked operations. Events, mutexes, semaphores and threads are Waitable
// objects (platform/win32/waitable.h), so MsgWaitForMultipleObjects waits on them as well; every
// timed wait runs on the stand-in's monotonic clock (a virtual clock ends it at once).
//
// Named objects: events, mutexes and semaphores share one namespace per process ("Global\" and
// "Local\" prefixes are ignored); creating an existing name returns it with ERROR_ALREADY_EXISTS,
// and a name taken by another kind of object fails with ERROR_INVALID_HANDLE. Between processes
// of the host only existence is shared: a name that any process of the host holds open makes
// Create* report ERROR_ALREADY_EXISTS (a lock file in the host's shm/ folder), so a named mutex
// serves as a single-instance check; signalling and ownership do not cross processes.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/handle.h"

#ifndef INFINITE
#define INFINITE 0xFFFFFFFF
#endif
#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0x00000000L
#endif
#ifndef WAIT_ABANDONED_0
#define WAIT_ABANDONED_0 0x00000080L
#endif
#ifndef WAIT_FAILED
#define WAIT_FAILED 0xFFFFFFFF
#endif
#define WAIT_ABANDONED WAIT_ABANDONED_0
#define MAXIMUM_WAIT_OBJECTS 64

// Access rights of the synchronisation objects.
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3)
#define MUTEX_MODIFY_STATE 0x0001
#define MUTEX_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1)
#define SEMAPHORE_MODIFY_STATE 0x0002
#define SEMAPHORE_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3)

// WAIT_OBJECT_0 when signaled (consuming an auto-reset event's signal, taking a mutex or a
// semaphore count), WAIT_TIMEOUT, or WAIT_FAILED with ERROR_INVALID_HANDLE. A process handle
// needs SYNCHRONIZE (else WAIT_FAILED with ERROR_ACCESS_DENIED). The pseudo handles of
// GetCurrentProcess and GetCurrentThread never become signaled.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// WAIT_OBJECT_0 + the index of the first signaled object (bWaitAll: all signaled, acquired
// together), WAIT_TIMEOUT, or WAIT_FAILED: ERROR_INVALID_PARAMETER for 0 or more than 64 handles
// or a handle given twice with bWaitAll, ERROR_INVALID_HANDLE for a handle that is not waitable.
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);

// ---- events ----

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
// Null with ERROR_FILE_NOT_FOUND when no event has that name in this process.
HANDLE OpenEventW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
// Releases the threads waiting now (a manual-reset event all of them, an auto-reset one at most
// one) and leaves the event reset: the event stays set until a waiter takes it (auto-reset) or
// for up to 20 ms, while woken waiters look at it. As on Windows, a pulse is unreliable: a
// thread that is not inside its wait at that moment, or is slow to wake, may miss it.
BOOL PulseEvent(HANDLE hEvent);

// ---- mutexes ----

// Owned by one thread at a time, recursively. ReleaseMutex by a thread that does not own it fails
// with ERROR_NOT_OWNER. A mutex left owned by an ended thread stays owned (not "abandoned").
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
HANDLE OpenMutexW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
BOOL ReleaseMutex(HANDLE hMutex);

// ---- semaphores ----

// ERROR_INVALID_PARAMETER when lMaximumCount < 1 or lInitialCount is outside 0..lMaximumCount.
HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                        LPCWSTR lpName);
// ERROR_TOO_MANY_POSTS (count unchanged) when the count would pass the maximum.
BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);

// ---- threads ----

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID lpThreadParameter);
using PTHREAD_START_ROUTINE = LPTHREAD_START_ROUTINE;

// A thread of this process; its handle is signaled when it ends, GetExitCodeThread gives
// STILL_ACTIVE until then. With CREATE_SUSPENDED (0x4) it starts at ResumeThread.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                    LPDWORD lpThreadId);
// Ends the calling thread (its C++ objects are destroyed on the way out). On a thread not made
// by CreateThread the code is not kept.
[[noreturn]] void ExitThread(DWORD dwExitCode);
BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// The previous suspend count; a thread that is not suspended gives 0 and is left running.
DWORD ResumeThread(HANDLE hThread);
DWORD GetThreadId(HANDLE Thread);

// ---- critical sections ----

struct CRITICAL_SECTION {
  void* impl;  // the lock, made by InitializeCriticalSection
  LONG recursion;
  DWORD owningThread;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
using PCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// ---- interlocked operations (full barriers) ----

LONG InterlockedIncrement(LONG volatile* Addend);
LONG InterlockedDecrement(LONG volatile* Addend);
LONG InterlockedExchange(LONG volatile* Target, LONG Value);
LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand);
// Returns the value before the addition.
LONG InterlockedExchangeAdd(LONG volatile* Addend, LONG Value);
PVOID InterlockedExchangePointer(PVOID volatile* Target, PVOID Value);
PVOID InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange, PVOID Comperand);
