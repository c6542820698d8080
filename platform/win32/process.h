// Processes as Win32 offers them: starting programs (CreateProcessW), the Windows command line and
// its splitting rules, process handles (waitable, with 32-bit exit codes), the process snapshot
// and enumeration calls over the host's process table, and the standard console handles.
//
// A program file is recognised by its content (an ELF image or a "#!" script, whatever its mode
// bits and Windows name); ".bat" and ".cmd" files run through the host's cmd.exe. A child gets,
// in its Linux environment, KIPO_HOST, KIPO_CMDLINE (its Windows command line), KIPO_ENVBLOCK
// (its Windows environment block), KIPO_IMAGE (the Windows path of its image, which
// GetModuleFileNameW answers) and, with STARTF_USESHOWWINDOW, KIPO_SHOWWINDOW; its Linux working
// folder is the mapped current directory.
//
// Exit codes are 32 bits: ExitProcess, TerminateProcess and a normal exit (return from main or
// exit(), through an on_exit hook) record the full code in the process table before the process
// ends (a normal exit leaves it in a small file under shm/exit/, as the database cannot be
// opened while static objects are being destroyed); a waiter reads it from there. A child that
// ended without a record (killed by a signal from outside, or a program that does not use the
// platform) reports its 8-bit Linux exit status, or 128 + the signal number; a process this one
// did not start and that left no record reports 1.
//
// Process handles hold a Linux process file descriptor opened after checking the start time, so a
// reused process id is never waited on. Each process reaps the children it started itself, by
// their descriptors only, so waits of other code on other children are left alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/handle.h"

#define STILL_ACTIVE 259L

// Process access rights.
#define PROCESS_TERMINATE 0x0001
#define PROCESS_CREATE_THREAD 0x0002
#define PROCESS_VM_OPERATION 0x0008
#define PROCESS_VM_READ 0x0010
#define PROCESS_VM_WRITE 0x0020
#define PROCESS_DUP_HANDLE 0x0040
#define PROCESS_CREATE_PROCESS 0x0080
#define PROCESS_SET_QUOTA 0x0100
#define PROCESS_SET_INFORMATION 0x0200
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFF)

// Thread access rights.
#define THREAD_TERMINATE 0x0001
#define THREAD_SUSPEND_RESUME 0x0002
#define THREAD_QUERY_INFORMATION 0x0040
#define THREAD_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3FF)

// Creation flags.
#define DEBUG_PROCESS 0x00000001
#define DEBUG_ONLY_THIS_PROCESS 0x00000002
#define CREATE_SUSPENDED 0x00000004
#define DETACHED_PROCESS 0x00000008
#define CREATE_NEW_CONSOLE 0x00000010
#define NORMAL_PRIORITY_CLASS 0x00000020
#define IDLE_PRIORITY_CLASS 0x00000040
#define HIGH_PRIORITY_CLASS 0x00000080
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define CREATE_DEFAULT_ERROR_MODE 0x04000000
#define CREATE_NO_WINDOW 0x08000000

// STARTUPINFO flags.
#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESIZE 0x00000002
#define STARTF_USEPOSITION 0x00000004
#define STARTF_USESTDHANDLES 0x00000100

struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};
using LPSTARTUPINFOW = STARTUPINFOW*;

struct STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

// Starts a program. The program is lpApplicationName when given (a full or relative path; no
// search, no extension added), else the first token of lpCommandLine: quoted, or the shortest
// space-separated prefix that names a file ("C:\Program Files\x.exe" tries "C:\Program.exe"
// first), searched, when it is a bare name, in the caller's program folder, the current
// directory, the system folder, the 16-bit system folder, the Windows folder and PATH, with
// ".exe" added when it has no extension. Errors: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND (no
// such file), ERROR_BAD_EXE_FORMAT (neither an ELF image nor a "#!" script), ERROR_ACCESS_DENIED
// (a folder, or a file the caller may not run), ERROR_DIRECTORY (lpCurrentDirectory is not a
// folder), and for a ".bat"/".cmd" file those of starting cmd.exe. The child's command line is
// lpCommandLine, or the quoted program path when it is null. lpEnvironment is an ANSI block, or a
// UTF-16 one with CREATE_UNICODE_ENVIRONMENT; null passes the caller's current block.
// DETACHED_PROCESS, CREATE_NEW_CONSOLE and CREATE_NO_WINDOW give the child no console (its
// standard handles go nowhere); otherwise it shares the caller's. CREATE_SUSPENDED is not
// supported (the child runs at once). STARTF_USESTDHANDLES is honoured for the standard handles
// of GetStdHandle only.
BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation);
BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation);

// The Windows command line the process was started with; a process started from Linux gets one
// built from its argv (its Windows program path, then each argument, quoted where needed).
LPWSTR GetCommandLineW();
LPSTR GetCommandLineA();

// Splits a command line by the Windows rules: the program name (argv[0]) runs to the closing
// quote or the first blank; other arguments are separated by blanks and tabs, double quotes
// group, 2n backslashes before a quote give n backslashes and the quote groups, 2n+1 give n and a
// literal quote, other backslashes are literal, and "" inside a quoted group is a literal quote.
// An empty line gives the program path alone. The array and its strings are one LocalAlloc
// block: free it with LocalFree.
LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);

DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
// Pseudo handles (-1 and -2): valid in every call of this facility, never closed.
HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();

// A handle to a living process of the host. ERROR_INVALID_PARAMETER for an id that names no
// living process of the host (never started, ended, or not a host process). The rights that reach
// into a process (PROCESS_VM_*, PROCESS_CREATE_THREAD) are refused with ERROR_ACCESS_DENIED for a
// process of another user, as for a user who is not an administrator.
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
// STILL_ACTIVE while the process runs, then its 32-bit exit code. Needs
// PROCESS_QUERY_INFORMATION (else ERROR_ACCESS_DENIED).
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
// Records uExitCode and ends the process at once (SIGKILL through its descriptor). Needs
// PROCESS_TERMINATE; an ended process gives ERROR_ACCESS_DENIED.
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);
// Records the code and ends the process without running static destructors (standard streams
// are flushed).
[[noreturn]] void ExitProcess(UINT uExitCode);
DWORD GetProcessId(HANDLE Process);

// ---- the process snapshot (toolhelp) ----

#define TH32CS_SNAPHEAPLIST 0x00000001
#define TH32CS_SNAPPROCESS 0x00000002
#define TH32CS_SNAPTHREAD 0x00000004
#define TH32CS_SNAPMODULE 0x00000008
#define TH32CS_SNAPALL (TH32CS_SNAPHEAPLIST | TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD | TH32CS_SNAPMODULE)
#define MAX_MODULE_NAME32 255

struct PROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];
};
using LPPROCESSENTRY32W = PROCESSENTRY32W*;

struct PROCESSENTRY32 {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  CHAR szExeFile[MAX_PATH];
};
using LPPROCESSENTRY32 = PROCESSENTRY32*;

struct MODULEENTRY32W {
  DWORD dwSize;
  DWORD th32ModuleID;
  DWORD th32ProcessID;
  DWORD GlblcntUsage;
  DWORD ProccntUsage;
  BYTE* modBaseAddr;
  DWORD modBaseSize;
  HMODULE hModule;
  WCHAR szModule[MAX_MODULE_NAME32 + 1];
  WCHAR szExePath[MAX_PATH];
};
using LPMODULEENTRY32W = MODULEENTRY32W*;

struct MODULEENTRY32 {
  DWORD dwSize;
  DWORD th32ModuleID;
  DWORD th32ProcessID;
  DWORD GlblcntUsage;
  DWORD ProccntUsage;
  BYTE* modBaseAddr;
  DWORD modBaseSize;
  HMODULE hModule;
  CHAR szModule[MAX_MODULE_NAME32 + 1];
  CHAR szExePath[MAX_PATH];
};
using LPMODULEENTRY32 = MODULEENTRY32*;

// A snapshot of the living host processes (TH32CS_SNAPPROCESS) and/or of the modules of one
// process (TH32CS_SNAPMODULE; th32ProcessID 0 is the caller). A process's modules are its image
// only. INVALID_HANDLE_VALUE with ERROR_INVALID_PARAMETER for a module snapshot of a process that
// does not live. Close it with CloseHandle.
HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID);
// dwSize must be at least the structure's size (else ERROR_BAD_LENGTH); FALSE with
// ERROR_NO_MORE_FILES at the end. szExeFile is the image name, cntThreads the live thread count.
BOOL Process32FirstW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe);
BOOL Process32NextW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe);
BOOL Process32First(HANDLE hSnapshot, LPPROCESSENTRY32 lppe);
BOOL Process32Next(HANDLE hSnapshot, LPPROCESSENTRY32 lppe);
BOOL Module32FirstW(HANDLE hSnapshot, LPMODULEENTRY32W lpme);
BOOL Module32NextW(HANDLE hSnapshot, LPMODULEENTRY32W lpme);
BOOL Module32First(HANDLE hSnapshot, LPMODULEENTRY32 lpme);
BOOL Module32Next(HANDLE hSnapshot, LPMODULEENTRY32 lpme);

// ---- process enumeration (the built-in module "PSAPI.DLL") ----

// Ids of the living host processes; *lpcbNeeded is the number of bytes written (a full buffer
// means: try a larger one).
BOOL EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded);
// The process's modules: its image only (for the caller, the program's module handle). Needs
// PROCESS_QUERY_INFORMATION and PROCESS_VM_READ (else ERROR_ACCESS_DENIED).
BOOL EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded);
// The image's name or Windows path (hModule null or the handle EnumProcessModules gave). Copies at
// most nSize - 1 characters and a NUL; returns the characters copied; 0 with an error on failure.
DWORD GetModuleBaseNameW(HANDLE hProcess, HMODULE hModule, LPWSTR lpBaseName, DWORD nSize);
DWORD GetModuleBaseNameA(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize);
DWORD GetModuleFileNameExW(HANDLE hProcess, HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
DWORD GetModuleFileNameExA(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize);

// ---- the console ----

#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))

// Handles over the process's Linux descriptors 0, 1 and 2; ReadFile and WriteFile work on them.
// INVALID_HANDLE_VALUE with ERROR_INVALID_PARAMETER for another number.
HANDLE GetStdHandle(DWORD nStdHandle);
// Detaches from the console: later WriteConsole calls fail with ERROR_INVALID_HANDLE (writes to
// redirected standard handles keep working, as on Windows).
BOOL FreeConsole();
// Attaches a console again (nothing is shown anywhere).
BOOL AllocConsole();
BOOL WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                   LPDWORD lpNumberOfCharsWritten, LPVOID lpReserved);
BOOL WriteConsoleA(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                   LPDWORD lpNumberOfCharsWritten, LPVOID lpReserved);

namespace platform {

// A standard handle: the file calls (ReadFile, WriteFile) recognise it and go to the descriptor.
class StdStreamObject : public KernelObject {
 public:
  explicit StdStreamObject(int fd) : fd(fd) {}
  // Windows-shaped results: TRUE, or FALSE with the last error set.
  BOOL write(const void* data, DWORD size, LPDWORD written);
  BOOL read(void* data, DWORD size, LPDWORD read);
  const int fd;
};

namespace process {

// The Windows command line split by CommandLineToArgvW's rules (for console programs' argv).
const std::vector<std::u16string>& wideArgs();
// Splits any command line by those rules.
std::vector<std::u16string> splitCommandLine(std::u16string_view line);
// One argument quoted so that splitCommandLine gives it back unchanged.
std::u16string quoteArgument(std::u16string_view arg);

// False for a process handle opened without SYNCHRONIZE (the wait calls refuse it).
bool maySynchronize(const KernelObject& object);
// For the thread handle CreateProcessW gives: the process's exit code or STILL_ACTIVE.
bool mainThreadExitCode(HANDLE thread, DWORD& code);

// What a process handle names, for the calls that act on another process.
struct HandleTarget {
  DWORD pid = 0;
  std::uint64_t start = 0;
  DWORD access = 0;
  bool ended = false;
};
// Empty for a handle that is not a process handle.
std::optional<HandleTarget> targetOf(HANDLE process);

}  // namespace process
}  // namespace platform
