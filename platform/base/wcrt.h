// The wide C runtime of the Windows C library, on char16_t: string functions, case mapping and
// character classes by the shared upper-casing table, number conversions with Windows' 32-bit
// long, wcsftime with English names, the printf family over the typed formatter, and rand with
// Microsoft's generator. The C library declares wchar_t forms of many of these names; the
// char16_t overloads sit beside them and are chosen by their argument types.
#pragma once

#include <algorithm>  // before the rand macros below: its templates name std::rand
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdlib.h>  // also before the macros: it re-exports std::rand into the global namespace
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <string_view>
#include <type_traits>

#include "platform/base/format.h"
#include "platform/base/types.h"

namespace platform::wcrt {

// Case mapping by the shared table (lower case is its inverse, so both agree on every pair).
char16_t toUpper(char16_t c);
char16_t toLower(char16_t c);
bool isSpace(char16_t c);
bool isDigit(char16_t c);
bool isAlpha(char16_t c);
bool isUpper(char16_t c);
bool isLower(char16_t c);
bool isXDigit(char16_t c);
bool isPunct(char16_t c);

// Microsoft's generator: state per thread, seed 1 until srand.
int msRand();
void msSrand(unsigned seed);

// Types accepted by the character classification templates: any integer that is not the C
// library's own wint_t or wchar_t (those keep the C library's functions), so towupper(u'a'),
// towupper('a') and towupper(0x61) all resolve without ambiguity.
template <class T>
concept CharCode = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, wchar_t> &&
                   !std::is_same_v<T, wint_t>;

}  // namespace platform::wcrt

// ---- strings ------------------------------------------------------------------------------------
std::size_t wcslen(const char16_t* s);
std::size_t wcsnlen(const char16_t* s, std::size_t max);
char16_t* wcscpy(char16_t* dst, const char16_t* src);
// Copies at most n units and pads the rest of the n with NULs (no NUL when src is n or longer).
char16_t* wcsncpy(char16_t* dst, const char16_t* src, std::size_t n);
char16_t* wcscat(char16_t* dst, const char16_t* src);
// Appends at most n units of src, then a NUL.
char16_t* wcsncat(char16_t* dst, const char16_t* src, std::size_t n);
int wcscmp(const char16_t* a, const char16_t* b);
int wcsncmp(const char16_t* a, const char16_t* b, std::size_t n);
// Case-insensitive comparison as the Windows runtime makes it: both sides lower-cased, so '_'
// sorts before letters.
int _wcsicmp(const char16_t* a, const char16_t* b);
int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t n);
const char16_t* wcschr(const char16_t* s, char16_t c);
char16_t* wcschr(char16_t* s, char16_t c);
const char16_t* wcsrchr(const char16_t* s, char16_t c);
char16_t* wcsrchr(char16_t* s, char16_t c);
const char16_t* wcsstr(const char16_t* s, const char16_t* find);
char16_t* wcsstr(char16_t* s, const char16_t* find);
const char16_t* wcspbrk(const char16_t* s, const char16_t* set);
char16_t* wcspbrk(char16_t* s, const char16_t* set);
std::size_t wcsspn(const char16_t* s, const char16_t* set);
std::size_t wcscspn(const char16_t* s, const char16_t* set);
// The Windows two-argument form keeps its position per thread; the three-argument form in *ctx.
char16_t* wcstok(char16_t* s, const char16_t* delim);
char16_t* wcstok(char16_t* s, const char16_t* delim, char16_t** ctx);
char16_t* _wcsupr(char16_t* s);
char16_t* _wcslwr(char16_t* s);
char16_t* _wcsrev(char16_t* s);
// A copy from malloc (release with free); null for null.
char16_t* _wcsdup(const char16_t* s);
char16_t* wmemcpy(char16_t* dst, const char16_t* src, std::size_t n);
char16_t* wmemmove(char16_t* dst, const char16_t* src, std::size_t n);
char16_t* wmemset(char16_t* dst, char16_t c, std::size_t n);
int wmemcmp(const char16_t* a, const char16_t* b, std::size_t n);

// ---- numbers ------------------------------------------------------------------------------------
// Leading white space, a sign and decimal digits; out of range gives INT_MIN/INT_MAX (LONG).
int _wtoi(const char16_t* s);
long _wtol(const char16_t* s);
std::int64_t _wtoi64(const char16_t* s);
double _wtof(const char16_t* s);
// long is 32 bits on Windows: results are clamped to LONG's range (errno ERANGE), and wcstoul's
// to 32 bits (a negative number wraps in 32 bits, as the C rules say for unsigned long there).
long wcstol(const char16_t* s, char16_t** end, int base);
unsigned long wcstoul(const char16_t* s, char16_t** end, int base);
std::int64_t _wcstoi64(const char16_t* s, char16_t** end, int base);
std::uint64_t _wcstoui64(const char16_t* s, char16_t** end, int base);
double wcstod(const char16_t* s, char16_t** end);
// Digits in radix 2-36 into buf (33 units hold any 32-bit value, 65 any 64-bit one); a minus
// sign only in radix 10, other radixes show the two's complement. Returns buf.
char16_t* _itow(int value, char16_t* buf, int radix);
char16_t* _ltow(long value, char16_t* buf, int radix);
char16_t* _ultow(unsigned long value, char16_t* buf, int radix);
char16_t* _i64tow(std::int64_t value, char16_t* buf, int radix);
char16_t* _ui64tow(std::uint64_t value, char16_t* buf, int radix);

// ---- characters ---------------------------------------------------------------------------------
template <platform::wcrt::CharCode T>
char16_t towupper(T c) { return platform::wcrt::toUpper(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
char16_t towlower(T c) { return platform::wcrt::toLower(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswspace(T c) { return platform::wcrt::isSpace(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswdigit(T c) { return platform::wcrt::isDigit(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswalpha(T c) { return platform::wcrt::isAlpha(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswalnum(T c) { return platform::wcrt::isAlpha(static_cast<char16_t>(c)) || platform::wcrt::isDigit(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswupper(T c) { return platform::wcrt::isUpper(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswlower(T c) { return platform::wcrt::isLower(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswxdigit(T c) { return platform::wcrt::isXDigit(static_cast<char16_t>(c)); }
template <platform::wcrt::CharCode T>
int iswpunct(T c) { return platform::wcrt::isPunct(static_cast<char16_t>(c)); }

// ---- time ---------------------------------------------------------------------------------------
// As the Windows runtime in its "C" locale: English day and month names, AM/PM, %x "%m/%d/%y",
// %X "%H:%M:%S", %c both; "#" drops leading zeros of numbers and gives the long forms of %c and
// %x. Returns the units written without the NUL, or 0 (buffer holding an empty string) when the
// result and its NUL do not fit in max.
std::size_t wcsftime(char16_t* buf, std::size_t max, const char16_t* format, const struct tm* t);

// ---- printf family ------------------------------------------------------------------------------
// Microsoft's swprintf without a count (the form the product's runtime has): returns the length.
template <class... A>
int swprintf(char16_t* buf, const char16_t* format, const A&... args) {
  std::u16string s = platform::fmt::format(format ? std::u16string_view(format) : u"", args...);
  std::copy(s.begin(), s.end(), buf);
  buf[s.size()] = 0;
  return static_cast<int>(s.size());
}

// Stores at most count units; NUL-terminated only when shorter than count. Returns the length,
// or -1 when the output did not fit (count units stored, no NUL).
template <class... A>
int _snwprintf(char16_t* buf, std::size_t count, const char16_t* format, const A&... args) {
  std::u16string s = platform::fmt::format(format ? std::u16string_view(format) : u"", args...);
  std::size_t n = std::min(s.size(), count);
  std::copy(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), buf);
  if (s.size() < count) buf[s.size()] = 0;
  return s.size() <= count ? static_cast<int>(s.size()) : -1;
}

template <class... A>
int _snprintf(char* buf, std::size_t count, const char* format, const A&... args) {
  std::string s = platform::fmt::formatA(format ? std::string_view(format) : "", args...);
  std::size_t n = std::min(s.size(), count);
  std::copy(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), buf);
  if (s.size() < count) buf[s.size()] = 0;
  return s.size() <= count ? static_cast<int>(s.size()) : -1;
}

// ---- rand ---------------------------------------------------------------------------------------
// The C library owns `int rand()` (extern "C", RAND_MAX 2147483647) and its own callers must keep
// it. The product's code, which includes this header, gets Microsoft's generator instead: `rand`
// and `srand` are macros naming our functions and RAND_MAX is 0x7FFF. The standard headers that
// name rand (<cstdlib>, <stdlib.h>, <algorithm>) are included above, before the macros, so their
// include guards keep them from being read again with the macros in force; code that includes
// this header calls rand()/srand() (or ::rand()), not std::rand.
int kipo_crt_rand();
void kipo_crt_srand(unsigned seed);
#undef RAND_MAX
#define RAND_MAX 0x7FFF
#define rand kipo_crt_rand
#define srand kipo_crt_srand

// ---- TCHAR names (TCHAR is char16_t) --------------------------------------------------------
#define _tcslen wcslen
#define _tcsnlen wcsnlen
#define _tcscpy wcscpy
#define _tcsncpy wcsncpy
#define _tcscat wcscat
#define _tcsncat wcsncat
#define _tcscmp wcscmp
#define _tcsncmp wcsncmp
#define _tcsicmp _wcsicmp
#define _tcsnicmp _wcsnicmp
#define _tcschr wcschr
#define _tcsrchr wcsrchr
#define _tcsstr wcsstr
#define _tcspbrk wcspbrk
#define _tcsspn wcsspn
#define _tcscspn wcscspn
#define _tcstok wcstok
#define _tcsupr _wcsupr
#define _tcslwr _wcslwr
#define _tcsrev _wcsrev
#define _tcsdup _wcsdup
#define _ttoi _wtoi
#define _ttol _wtol
#define _tstoi _wtoi
#define _tstol _wtol
#define _ttoi64 _wtoi64
#define _tstof _wtof
#define _tcstol wcstol
#define _tcstoul wcstoul
#define _tcstod wcstod
#define _tcstoi64 _wcstoi64
#define _tcstoui64 _wcstoui64
#define _itot _itow
#define _ltot _ltow
#define _ultot _ultow
#define _i64tot _i64tow
#define _ui64tot _ui64tow
#define _totupper towupper
#define _totlower towlower
#define _istspace iswspace
#define _istdigit iswdigit
#define _istalpha iswalpha
#define _istalnum iswalnum
#define _istupper iswupper
#define _istlower iswlower
#define _istxdigit iswxdigit
#define _tcsftime wcsftime
#define _stprintf swprintf
#define _sntprintf _snwprintf
