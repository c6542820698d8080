// Opening files, folders and URLs the way the shell does (ShellExecuteW, ShellExecuteExW).
//
// A program (".exe", ".com", ".scr", ".bat", ".cmd") runs through CreateProcessW with the
// parameters after its quoted path and the working folder as its current directory. A document
// or URL is never executed: the request is recorded in the host's table of shell opens (kipo-host
// and tests read it) and succeeds when the registry has a handler for it: for a document,
// HKCR\.ext names a program id whose shell\<verb>\command exists; for a URL, HKCR\<scheme>
// carries a "URL Protocol" value and a shell\<verb>\command. A folder opens (recorded as an
// Explorer open). A relative file name is looked for in the working folder first, then the
// current directory, then (a bare name) the system folders and PATH; ".exe", ".com", ".bat" and
// ".cmd" are tried when it has no extension.
//
// Results above 32 mean success (42 here). Failures: SE_ERR_FNF / ERROR_FILE_NOT_FOUND,
// SE_ERR_PNF / ERROR_PATH_NOT_FOUND, SE_ERR_NOASSOC / ERROR_NO_ASSOCIATION, ERROR_BAD_FORMAT (11)
// for a program that is not one, SE_ERR_ACCESSDENIED for other failures of the start.
#pragma once

#include "platform/base/types.h"

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_DLLNOTFOUND 32
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31

#define SEE_MASK_CLASSNAME 0x00000001
#define SEE_MASK_CLASSKEY 0x00000003
#define SEE_MASK_IDLIST 0x00000004
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_DDEWAIT 0x00000100
#define SEE_MASK_DOENVSUBST 0x00000200
#define SEE_MASK_FLAG_NO_UI 0x00000400
#define SEE_MASK_NO_CONSOLE 0x00008000
#define SEE_MASK_NOASYNC 0x00000100

struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  union {
    HANDLE hIcon;
    HANDLE hMonitor;
  };
  HANDLE hProcess;
};
using LPSHELLEXECUTEINFOW = SHELLEXECUTEINFOW*;

struct SHELLEXECUTEINFOA {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCSTR lpVerb;
  LPCSTR lpFile;
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  union {
    HANDLE hIcon;
    HANDLE hMonitor;
  };
  HANDLE hProcess;
};
using LPSHELLEXECUTEINFOA = SHELLEXECUTEINFOA*;

// The result as an HINSTANCE: above 32 on success, else an SE_ERR_* code (the last error is set).
HINSTANCE ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters, LPCWSTR lpDirectory,
                        INT nShowCmd);
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                        INT nShowCmd);
// TRUE on success; hInstApp gets the result; with SEE_MASK_NOCLOSEPROCESS, hProcess gets the
// started program's process handle (null when no process was started). cbSize must be the
// structure's size (else ERROR_INVALID_PARAMETER).
BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW lpExecInfo);
BOOL ShellExecuteExA(LPSHELLEXECUTEINFOA lpExecInfo);
