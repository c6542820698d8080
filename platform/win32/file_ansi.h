// The 8-bit forms of the file calls that ANSI programs use beyond those in file.h: finding files,
// setting attributes and removing folders. Names pass through the host's ANSI code page; a name
// found on disk that the code page cannot hold comes back with '?' in its place, as on Windows.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/file.h"

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
using PWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

// As the W forms; a found name longer than the buffer's MAX_PATH bytes in the code page is cut
// at a character boundary.
HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);
BOOL RemoveDirectoryA(LPCSTR lpPathName);
