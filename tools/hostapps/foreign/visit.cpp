// The browser stand-in's visit of a page. A visit leaves, where the browser keeps them:
//   - the address first in the typed addresses ("url1", the older ones moved down, no duplicates,
//     at most 25);
//   - today's history container: a key "MSHist01<from><to>" (today to tomorrow, yyyymmdd) under
//     the extensible cache with its CachePath, CachePrefix and limits, and its folder under
//     History.IE5; the visit is a line in the container's "visits.txt" (our own record: the
//     browser's binary index is not reproduced);
//   - the page's cookie: the stand-in's pages set one cookie "visit" = "1" for their host, kept
//     in the cookies folder as "<user>@<host>[1].txt" in the browser's text layout (name, value,
//     host/path, flags, expiry and creation times as two 32-bit halves each, "*").
#include "tools/hostapps/foreign/visit.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"
#include "platform/win32/time.h"

namespace {

namespace text = platform::text;

constexpr const char16_t* kTyped = u"Software\\Microsoft\\Internet Explorer\\TypedURLs";
constexpr const char16_t* kExtensible =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Extensible Cache";
constexpr int kTypedMax = 25;

// Host names and the cookie file's user part are kept in lower case, as the browser keeps them.
std::u16string lowered(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return s;
}

std::u16string expand(const char16_t* s) {
  WCHAR out[MAX_PATH * 2] = {};
  DWORD n = ExpandEnvironmentStringsW(s, out, MAX_PATH * 2);
  return n && n <= MAX_PATH * 2 ? std::u16string(out) : std::u16string();
}

LONG setText(HKEY key, const std::u16string& name, const std::u16string& value) {
  return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

LONG setNumber(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG rememberTyped(const std::u16string& url) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kTyped, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::u16string> list{url};
  for (int i = 1; i <= kTypedMax; ++i) {
    WCHAR value[2084] = {};
    DWORD type = 0, size = sizeof value - sizeof(WCHAR);
    const std::u16string name = u"url" + text::fromUtf8(std::to_string(i));
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
      break;  // the list ends at the first missing number
    if (type == REG_SZ && !text::equalNoCase(value, url) && list.size() < kTypedMax) list.emplace_back(value);
  }
  for (std::size_t i = 0; i < list.size() && rc == ERROR_SUCCESS; ++i)
    rc = setText(key, u"url" + text::fromUtf8(std::to_string(i + 1)), list[i]);
  RegCloseKey(key);
  return rc;
}

std::u16string yyyymmdd(const SYSTEMTIME& t) {
  char s[16];
  std::snprintf(s, sizeof s, "%04u%02u%02u", t.wYear, t.wMonth, t.wDay);
  return text::fromUtf8(s);
}

// Appends a line to a Windows file, creating it.
LONG appendLine(const std::u16string& path, const std::string& line) {
  platform::host::ResolvedPath r = platform::host::resolvePath(path);
  if (r.error) return static_cast<LONG>(r.error);
  std::ofstream out(r.linux, std::ios::binary | std::ios::app);
  out << line << "\r\n";
  return out ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

LONG recordHistory(const std::u16string& url) {
  SYSTEMTIME today{};
  GetLocalTime(&today);
  FILETIME ft{};
  SystemTimeToFileTime(&today, &ft);
  ULARGE_INTEGER next{};
  next.u.LowPart = ft.dwLowDateTime;
  next.u.HighPart = ft.dwHighDateTime;
  next.QuadPart += 24ull * 3600 * 10000000;
  ft.dwLowDateTime = next.u.LowPart;
  ft.dwHighDateTime = next.u.HighPart;
  SYSTEMTIME tomorrow{};
  FileTimeToSystemTime(&ft, &tomorrow);
  const std::u16string span = yyyymmdd(today) + yyyymmdd(tomorrow);
  const std::u16string container = u"MSHist01" + span;
  const std::u16string root = expand(u"%USERPROFILE%\\Local Settings\\History\\History.IE5");
  if (root.empty()) return ERROR_ENVVAR_NOT_FOUND;
  const std::u16string folder = root + u"\\" + container;
  if (!CreateDirectoryW(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();

  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, (std::u16string(kExtensible) + u"\\" + container).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = setText(key, u"CachePath", folder + u"\\");
  if (rc == ERROR_SUCCESS) rc = setText(key, u"CachePrefix", u":" + span + u": ");
  if (rc == ERROR_SUCCESS) rc = setNumber(key, u"CacheLimit", 8192);
  if (rc == ERROR_SUCCESS) rc = setNumber(key, u"CacheOptions", 11);
  if (rc == ERROR_SUCCESS) rc = setNumber(key, u"CacheRepair", 0);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return rc;
  WCHAR user[256] = {};
  DWORD userLength = 256;
  if (!GetUserNameW(user, &userLength)) return GetLastError();
  return appendLine(folder + u"\\visits.txt", text::toUtf8(u":" + span + u": " + std::u16string(user) + u"@" + url));
}

LONG setCookie(const std::u16string& url) {
  const std::size_t start = url.find(u"://") + 3;
  std::size_t end = url.find_first_of(u"/:?#", start);
  const std::u16string host = lowered(url.substr(start, end == std::u16string::npos ? end : end - start));
  if (host.empty()) return ERROR_INVALID_PARAMETER;
  WCHAR user[256] = {};
  DWORD userLength = 256;
  if (!GetUserNameW(user, &userLength)) return GetLastError();
  const std::u16string folder = expand(u"%USERPROFILE%\\Cookies");
  if (folder.empty()) return ERROR_ENVVAR_NOT_FOUND;
  const std::u16string site = host.rfind(u"www.", 0) == 0 ? host.substr(4) : host;
  const std::u16string path = folder + u"\\" + lowered(user) + u"@" + site + u"[1].txt";
  // The cookie lasts a year from now; it replaces the one an earlier visit left.
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER created{}, expires{};
  created.u.LowPart = now.dwLowDateTime;
  created.u.HighPart = now.dwHighDateTime;
  expires.QuadPart = created.QuadPart + 365ull * 24 * 3600 * 10000000;
  platform::host::ResolvedPath r = platform::host::resolvePath(path);
  if (r.error) return static_cast<LONG>(r.error);
  std::ofstream out(r.linux, std::ios::binary | std::ios::trunc);
  out << "visit\n1\n" << text::toUtf8(host) << "/\n1024\n" << expires.u.LowPart << "\n" << expires.u.HighPart << "\n"
      << created.u.LowPart << "\n" << created.u.HighPart << "\n*\n";
  return out ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace

unsigned long visitPage(const std::u16string& url) {
  const bool web = url.rfind(u"http://", 0) == 0 || url.rfind(u"https://", 0) == 0;
  if (!web || url.size() > 2083) return ERROR_INVALID_PARAMETER;
  if (LONG rc = rememberTyped(url)) return static_cast<unsigned long>(rc);
  if (LONG rc = recordHistory(url)) return static_cast<unsigned long>(rc);
  return static_cast<unsigned long>(setCookie(url));
}
