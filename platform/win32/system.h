// System facts and services of kernel32/advapi32: the process's environment block, computer and
// user names, the Windows version, memory status, the system folders, the system's error texts
// (FormatMessage) and the local/global memory blocks those texts are returned in.
// Values follow the host's facts; the environment is the process's own (see
// platform/host/environment.h for how it is built and inherited).
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/base/types.h"
#include "platform/win32/error.h"

// --- environment --------------------------------------------------------------------------------

// Copies the variable's value into lpBuffer and returns its length without the NUL; when nSize
// is too small returns the size needed including the NUL and leaves the buffer alone; 0 with
// ERROR_ENVVAR_NOT_FOUND when there is no such variable. Names are case-insensitive.
DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
// Sets (or with a null value deletes) a variable of this process.
BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);
BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue);
// Replaces each %NAME% of a defined variable by its value (others are left as they are) and
// returns the length of the result including its NUL, also when nSize is too small (the buffer
// is then left alone).
DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);
DWORD ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);
// A copy of the block ("NAME=value" strings, each NUL-terminated, then one more NUL), sorted by
// name; released with FreeEnvironmentStringsW.
LPWSTR GetEnvironmentStringsW();
BOOL FreeEnvironmentStringsW(LPWSTR penv);

// --- names and versions -------------------------------------------------------------------------

#define MAX_COMPUTERNAME_LENGTH 15
#define UNLEN 256

// *nSize in characters: in, the buffer's size; out, the name's length without its NUL, or on
// ERROR_BUFFER_OVERFLOW the size needed with it.
BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize);
BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
// *pcbBuffer in characters, counting the NUL both on success and on ERROR_INSUFFICIENT_BUFFER.
BOOL GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer);
BOOL GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer);

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003
#define VER_SUITE_SINGLEUSERTS 0x00000100

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
using LPOSVERSIONINFOW = OSVERSIONINFOW*;
using LPOSVERSIONINFOA = OSVERSIONINFOA*;
using LPOSVERSIONINFOEXW = OSVERSIONINFOEXW*;
static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284, "Windows layouts");
static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156, "Windows layouts");

// dwOSVersionInfoSize must be the size of the plain or the EX form (else ERROR_INSUFFICIENT_BUFFER).
BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);
BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
// Major version in the low byte, minor in the next, build in the high word (NT: top bit clear).
DWORD GetVersion();

// --- memory status ------------------------------------------------------------------------------

struct MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  SIZE_T dwTotalPhys;
  SIZE_T dwAvailPhys;
  SIZE_T dwTotalPageFile;
  SIZE_T dwAvailPageFile;
  SIZE_T dwTotalVirtual;
  SIZE_T dwAvailVirtual;
};
struct MEMORYSTATUSEX {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  DWORDLONG ullTotalPhys;
  DWORDLONG ullAvailPhys;
  DWORDLONG ullTotalPageFile;
  DWORDLONG ullAvailPageFile;
  DWORDLONG ullTotalVirtual;
  DWORDLONG ullAvailVirtual;
  DWORDLONG ullAvailExtendedVirtual;
};
using LPMEMORYSTATUS = MEMORYSTATUS*;
using LPMEMORYSTATUSEX = MEMORYSTATUSEX*;

// Physical memory is the host's memory_bytes fact; what is available follows the real machine's
// proportion of available memory. The address space is that of a 32-bit process (2 GB).
void GlobalMemoryStatus(LPMEMORYSTATUS lpBuffer);
// dwLength must be sizeof(MEMORYSTATUSEX) (else ERROR_INVALID_PARAMETER).
BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX lpBuffer);

// --- system folders -----------------------------------------------------------------------------

// Return the length without the NUL, or when uSize is too small the size needed with it.
UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);
UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);

// --- local and global memory --------------------------------------------------------------------

#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_DDESHARE 0x2000
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

// A fixed block's handle is its address; a moveable block's handle is not, and GlobalLock gives
// the address (counting locks). Free returns null on success and the handle on failure
// (ERROR_INVALID_HANDLE).
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL LocalFree(HLOCAL hMem);
LPVOID LocalLock(HLOCAL hMem);
BOOL LocalUnlock(HLOCAL hMem);
SIZE_T LocalSize(HLOCAL hMem);
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL GlobalFree(HGLOBAL hMem);
LPVOID GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);
SIZE_T GlobalSize(HGLOBAL hMem);
HGLOBAL GlobalHandle(LPCVOID pMem);

// --- system texts -------------------------------------------------------------------------------

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

// Language ids (MAKELANGID and LANG_*) are in locale.h.

// The message (from the system's English table, or lpSource with FORMAT_MESSAGE_FROM_STRING)
// with its inserts (%1..%99, optionally %n!printf-format!, from a va_list or with
// FORMAT_MESSAGE_ARGUMENT_ARRAY from an array of DWORD_PTR) and escapes (%n %% %0 %r %t %. %!)
// resolved. Returns the characters stored without the NUL; 0 on failure with
// ERROR_MR_MID_NOT_FOUND (no such message), ERROR_RESOURCE_LANG_NOT_FOUND (a language other than
// neutral or English), ERROR_INSUFFICIENT_BUFFER or ERROR_INVALID_PARAMETER (inserts without
// arguments). With FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer is really an LPWSTR* receiving a
// LocalAlloc'd text (nSize is then the least number of characters to allocate).
DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);

namespace platform::win32 {

// The system's English text of an error or status code (with its CR LF), or null when it has none.
const char16_t* systemMessage(DWORD code);
// The symbolic name of a code ("ERROR_ACCESS_DENIED"), empty when unknown; and the reverse.
std::string errorName(DWORD code);
bool errorByName(std::string_view name, DWORD& code);

}  // namespace platform::win32
