// The 8-bit file calls of file_ansi.h, through the host's ANSI code page to the W forms.
#include "platform/win32/file_ansi.h"

#include <algorithm>
#include <string>

#include "platform/base/codepage.h"

namespace {

namespace text = platform::text;

// Copies `wide` into `out` (size bytes with the NUL), never splitting a two-byte character.
void copyAnsi(const char16_t* wide, CHAR* out, std::size_t size) {
  std::string a = text::wideToAnsi(wide);
  const UINT cp = text::ansiCodePage();
  std::size_t n = 0;
  while (n < a.size()) {
    std::size_t step = (text::isLeadByte(cp, static_cast<unsigned char>(a[n])) && n + 1 < a.size()) ? 2 : 1;
    if (n + step > size - 1) break;
    n += step;
  }
  std::copy_n(a.begin(), n, out);
  out[n] = 0;
}

void toAnsi(const WIN32_FIND_DATAW& w, WIN32_FIND_DATAA& a) {
  a.dwFileAttributes = w.dwFileAttributes;
  a.ftCreationTime = w.ftCreationTime;
  a.ftLastAccessTime = w.ftLastAccessTime;
  a.ftLastWriteTime = w.ftLastWriteTime;
  a.nFileSizeHigh = w.nFileSizeHigh;
  a.nFileSizeLow = w.nFileSizeLow;
  a.dwReserved0 = w.dwReserved0;
  a.dwReserved1 = w.dwReserved1;
  copyAnsi(w.cFileName, a.cFileName, sizeof a.cFileName);
  copyAnsi(w.cAlternateFileName, a.cAlternateFileName, sizeof a.cAlternateFileName);
}

std::u16string wide(LPCSTR s) { return s ? text::ansiToWide(s) : std::u16string(); }

}  // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  WIN32_FIND_DATAW w{};
  HANDLE h = FindFirstFileW(lpFileName ? wide(lpFileName).c_str() : nullptr, &w);
  if (h != INVALID_HANDLE_VALUE && lpFindFileData) toAnsi(w, *lpFindFileData);
  return h;
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  WIN32_FIND_DATAW w{};
  BOOL ok = FindNextFileW(hFindFile, &w);
  if (ok && lpFindFileData) toAnsi(w, *lpFindFileData);
  return ok;
}

BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  return SetFileAttributesW(lpFileName ? wide(lpFileName).c_str() : nullptr, dwFileAttributes);
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) { return RemoveDirectoryW(lpPathName ? wide(lpPathName).c_str() : nullptr); }
