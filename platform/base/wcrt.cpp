// The wide C runtime on char16_t. Case mapping comes from the shared upper-casing table (lower
// case is its inverse); classification from the C library's Unicode data under C.UTF-8; numbers
// follow the Windows runtime's 32-bit long; wcsftime speaks the runtime's "C" locale.
#include "platform/base/wcrt.h"

#include <array>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstring>
#include <locale.h>
#include <string>

#include "platform/base/text.h"
#include "platform/host/host.h"

namespace platform::wcrt {

namespace {

locale_t utf8Locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// The inverse of the shared upper-casing table: a character's lower case is the C library's
// lower case when the table maps that back to the character, so the two never disagree.
struct LowcaseTable {
  std::array<char16_t, 0x10000> map{};
  LowcaseTable() {
    locale_t loc = utf8Locale();
    for (std::size_t c = 0; c < map.size(); ++c) {
      char16_t low = static_cast<char16_t>(c);
      if (c >= u'A' && c <= u'Z') {
        low = static_cast<char16_t>(c + 32);
      } else if (loc && c >= 0x80 && (c < 0xD800 || c > 0xDFFF)) {
        wint_t l = towlower_l(static_cast<wint_t>(c), loc);
        if (l < 0x10000 && l != c && text::upcase(static_cast<char16_t>(l)) == c) low = static_cast<char16_t>(l);
      }
      map[c] = low;
    }
  }
};

const LowcaseTable& lowcase() {
  static const LowcaseTable* t = new LowcaseTable();  // never destroyed: used from exit handlers too
  return *t;
}

struct RandState {
  std::uint32_t holdrand = 1;
};

RandState& randState() {
  thread_local RandState state;
  return state;
}

}  // namespace

char16_t toUpper(char16_t c) { return c < 0x80 ? (c >= u'a' && c <= u'z' ? c - 32 : c) : text::upcase(c); }
char16_t toLower(char16_t c) { return c < 0x80 ? (c >= u'A' && c <= u'Z' ? c + 32 : c) : lowcase().map[c]; }

bool isSpace(char16_t c) {
  if (c < 0x80) return c == u' ' || (c >= 0x09 && c <= 0x0D);
  return utf8Locale() && iswspace_l(c, utf8Locale());
}
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isAlpha(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  return utf8Locale() && iswalpha_l(c, utf8Locale());
}
bool isUpper(char16_t c) { return isAlpha(c) && toLower(c) != c; }
bool isLower(char16_t c) { return isAlpha(c) && toUpper(c) != c; }
bool isXDigit(char16_t c) { return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
bool isPunct(char16_t c) {
  if (c < 0x80) return c > 0x20 && c < 0x7F && !isAlpha(c) && !isDigit(c);
  return utf8Locale() && iswpunct_l(c, utf8Locale());
}

int msRand() {
  auto& s = randState();
  s.holdrand = s.holdrand * 214013u + 2531011u;
  return static_cast<int>((s.holdrand >> 16) & 0x7FFF);
}

void msSrand(unsigned seed) { randState().holdrand = seed; }

}  // namespace platform::wcrt

using platform::wcrt::toLower;
using platform::wcrt::toUpper;

int kipo_crt_rand() { return platform::wcrt::msRand(); }
void kipo_crt_srand(unsigned seed) { platform::wcrt::msSrand(seed); }

// ---- strings ------------------------------------------------------------------------------------

std::size_t wcslen(const char16_t* s) {
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

std::size_t wcsnlen(const char16_t* s, std::size_t max) {
  std::size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

char16_t* wcscpy(char16_t* dst, const char16_t* src) {
  char16_t* d = dst;
  while ((*d++ = *src++)) {
  }
  return dst;
}

char16_t* wcsncpy(char16_t* dst, const char16_t* src, std::size_t n) {
  std::size_t i = 0;
  for (; i < n && src[i]; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

char16_t* wcscat(char16_t* dst, const char16_t* src) {
  wcscpy(dst + wcslen(dst), src);
  return dst;
}

char16_t* wcsncat(char16_t* dst, const char16_t* src, std::size_t n) {
  char16_t* d = dst + wcslen(dst);
  std::size_t i = 0;
  for (; i < n && src[i]; ++i) d[i] = src[i];
  d[i] = 0;
  return dst;
}

int wcscmp(const char16_t* a, const char16_t* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b ? 0 : (*a < *b ? -1 : 1);
}

int wcsncmp(const char16_t* a, const char16_t* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (!a[i]) return 0;
  }
  return 0;
}

int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = toLower(a[i]), y = toLower(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  return 0;
}

int _wcsicmp(const char16_t* a, const char16_t* b) { return _wcsnicmp(a, b, SIZE_MAX); }

const char16_t* wcschr(const char16_t* s, char16_t c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}
char16_t* wcschr(char16_t* s, char16_t c) { return const_cast<char16_t*>(wcschr(static_cast<const char16_t*>(s), c)); }

const char16_t* wcsrchr(const char16_t* s, char16_t c) {
  const char16_t* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return found;
  }
}
char16_t* wcsrchr(char16_t* s, char16_t c) { return const_cast<char16_t*>(wcsrchr(static_cast<const char16_t*>(s), c)); }

const char16_t* wcsstr(const char16_t* s, const char16_t* find) {
  std::u16string_view hay(s), needle(find);
  std::size_t at = hay.find(needle);
  return at == std::u16string_view::npos ? nullptr : s + at;
}
char16_t* wcsstr(char16_t* s, const char16_t* find) {
  return const_cast<char16_t*>(wcsstr(static_cast<const char16_t*>(s), find));
}

const char16_t* wcspbrk(const char16_t* s, const char16_t* set) {
  for (; *s; ++s)
    if (wcschr(set, *s)) return s;
  return nullptr;
}
char16_t* wcspbrk(char16_t* s, const char16_t* set) {
  return const_cast<char16_t*>(wcspbrk(static_cast<const char16_t*>(s), set));
}

std::size_t wcsspn(const char16_t* s, const char16_t* set) {
  std::size_t n = 0;
  while (s[n] && wcschr(set, s[n])) ++n;
  return n;
}

std::size_t wcscspn(const char16_t* s, const char16_t* set) {
  std::size_t n = 0;
  while (s[n] && !wcschr(set, s[n])) ++n;
  return n;
}

char16_t* wcstok(char16_t* s, const char16_t* delim, char16_t** ctx) {
  if (!s) s = *ctx;
  if (!s) return nullptr;
  s += wcsspn(s, delim);
  if (!*s) {
    *ctx = s;
    return nullptr;
  }
  char16_t* end = s + wcscspn(s, delim);
  if (*end) *end++ = 0;
  *ctx = end;
  return s;
}

char16_t* wcstok(char16_t* s, const char16_t* delim) {
  thread_local char16_t* context = nullptr;
  return wcstok(s, delim, &context);
}

char16_t* _wcsupr(char16_t* s) {
  for (char16_t* p = s; *p; ++p) *p = toUpper(*p);
  return s;
}

char16_t* _wcslwr(char16_t* s) {
  for (char16_t* p = s; *p; ++p) *p = toLower(*p);
  return s;
}

char16_t* _wcsrev(char16_t* s) {
  std::reverse(s, s + wcslen(s));
  return s;
}

char16_t* _wcsdup(const char16_t* s) {
  if (!s) return nullptr;
  std::size_t bytes = (wcslen(s) + 1) * sizeof(char16_t);
  auto* copy = static_cast<char16_t*>(std::malloc(bytes));
  if (copy) std::memcpy(copy, s, bytes);
  return copy;
}

char16_t* wmemcpy(char16_t* dst, const char16_t* src, std::size_t n) {
  if (n) std::memcpy(dst, src, n * sizeof(char16_t));
  return dst;
}

char16_t* wmemmove(char16_t* dst, const char16_t* src, std::size_t n) {
  if (n) std::memmove(dst, src, n * sizeof(char16_t));
  return dst;
}

char16_t* wmemset(char16_t* dst, char16_t c, std::size_t n) {
  std::fill(dst, dst + n, c);
  return dst;
}

int wmemcmp(const char16_t* a, const char16_t* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

// ---- numbers ------------------------------------------------------------------------------------

namespace {

int digitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

// The common parser of the strto family: magnitude saturated at UINT64_MAX, the sign, and where
// the digits ended (s itself when there were none).
struct Parsed {
  std::uint64_t magnitude = 0;
  bool negative = false;
  bool overflow = false;
  const char16_t* end = nullptr;
};

Parsed parseInteger(const char16_t* s, int base) {
  Parsed r;
  r.end = s;
  if (!s || base < 0 || base == 1 || base > 36) return r;
  const char16_t* p = s;
  while (platform::wcrt::isSpace(*p)) ++p;
  if (*p == u'-' || *p == u'+') r.negative = *p++ == u'-';
  if ((base == 0 || base == 16) && p[0] == u'0' && (p[1] == u'x' || p[1] == u'X') && digitValue(p[2]) < 16) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = p[0] == u'0' ? 8 : 10;
  }
  const char16_t* digits = p;
  for (; digitValue(*p) < base; ++p) {
    std::uint64_t d = static_cast<std::uint64_t>(digitValue(*p));
    if (r.magnitude > (UINT64_MAX - d) / static_cast<std::uint64_t>(base)) r.overflow = true;
    else r.magnitude = r.magnitude * static_cast<std::uint64_t>(base) + d;
  }
  if (p != digits) r.end = p;
  return r;
}

// Clamps to [minimum, maximum] for a signed result.
std::int64_t signedResult(const Parsed& r, std::int64_t minimum, std::int64_t maximum) {
  const std::uint64_t limit = r.negative ? static_cast<std::uint64_t>(-(minimum + 1)) + 1 : static_cast<std::uint64_t>(maximum);
  if (r.overflow || r.magnitude > limit) {
    errno = ERANGE;
    return r.negative ? minimum : maximum;
  }
  return r.negative ? static_cast<std::int64_t>(0 - r.magnitude) : static_cast<std::int64_t>(r.magnitude);
}

std::uint64_t unsignedResult(const Parsed& r, std::uint64_t maximum) {
  if (r.overflow || r.magnitude > maximum) {
    errno = ERANGE;
    return maximum;
  }
  std::uint64_t v = r.negative ? (0 - r.magnitude) : r.magnitude;
  return v & maximum;
}

template <class T>
void setEnd(char16_t** end, const T* p) {
  if (end) *end = const_cast<char16_t*>(p);
}

char16_t* toText(std::uint64_t magnitude, bool negative, char16_t* buf, int radix) {
  if (!buf) return buf;
  if (radix < 2 || radix > 36) {
    buf[0] = 0;
    return buf;
  }
  char16_t tmp[72];
  int n = 0;
  do {
    int d = static_cast<int>(magnitude % static_cast<unsigned>(radix));
    tmp[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + d - 10);
    magnitude /= static_cast<unsigned>(radix);
  } while (magnitude);
  char16_t* p = buf;
  if (negative) *p++ = u'-';
  while (n) *p++ = tmp[--n];
  *p = 0;
  return buf;
}

}  // namespace

long wcstol(const char16_t* s, char16_t** end, int base) {
  Parsed r = parseInteger(s, base);
  setEnd(end, r.end);
  return static_cast<long>(signedResult(r, INT32_MIN, INT32_MAX));
}

unsigned long wcstoul(const char16_t* s, char16_t** end, int base) {
  Parsed r = parseInteger(s, base);
  setEnd(end, r.end);
  return static_cast<unsigned long>(unsignedResult(r, UINT32_MAX));
}

std::int64_t _wcstoi64(const char16_t* s, char16_t** end, int base) {
  Parsed r = parseInteger(s, base);
  setEnd(end, r.end);
  return signedResult(r, INT64_MIN, INT64_MAX);
}

std::uint64_t _wcstoui64(const char16_t* s, char16_t** end, int base) {
  Parsed r = parseInteger(s, base);
  setEnd(end, r.end);
  return unsignedResult(r, UINT64_MAX);
}

int _wtoi(const char16_t* s) { return static_cast<int>(signedResult(parseInteger(s, 10), INT32_MIN, INT32_MAX)); }
long _wtol(const char16_t* s) { return _wtoi(s); }
std::int64_t _wtoi64(const char16_t* s) { return signedResult(parseInteger(s, 10), INT64_MIN, INT64_MAX); }

double wcstod(const char16_t* s, char16_t** end) {
  setEnd(end, s);
  if (!s) return 0;
  // The Windows runtime reads only the decimal form: [sign] digits [. digits] [e [sign] digits]
  // ("0x10", "inf" and "nan" are not numbers to it). That prefix is read by the C library in the
  // "C" locale, so the decimal point is always '.'.
  const char16_t* p = s;
  while (platform::wcrt::isSpace(*p)) ++p;
  const char16_t* start = p;
  if (*p == u'+' || *p == u'-') ++p;
  std::size_t mantissa = 0;
  while (*p >= u'0' && *p <= u'9') ++p, ++mantissa;
  if (*p == u'.') {
    ++p;
    while (*p >= u'0' && *p <= u'9') ++p, ++mantissa;
  }
  if (mantissa == 0) return 0;
  if (*p == u'e' || *p == u'E' || *p == u'd' || *p == u'D') {  // the runtime also takes 'd' for the exponent
    const char16_t* q = p + 1;
    if (*q == u'+' || *q == u'-') ++q;
    if (*q >= u'0' && *q <= u'9') {
      while (*q >= u'0' && *q <= u'9') ++q;
      p = q;
    }
  }
  std::string ascii;
  for (const char16_t* c = start; c < p; ++c) ascii += (*c == u'd' || *c == u'D') ? 'e' : static_cast<char>(*c);
  double v = strtod_l(ascii.c_str(), nullptr, platform::wcrt::cLocale());
  setEnd(end, p);
  return v;
}

double _wtof(const char16_t* s) { return wcstod(s, nullptr); }

char16_t* _itow(int value, char16_t* buf, int radix) {
  if (radix == 10 && value < 0) return toText(0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(value)), true, buf, radix);
  return toText(static_cast<std::uint32_t>(value), false, buf, radix);
}

char16_t* _ltow(long value, char16_t* buf, int radix) { return _itow(static_cast<int>(value), buf, radix); }
char16_t* _ultow(unsigned long value, char16_t* buf, int radix) {
  return toText(static_cast<std::uint32_t>(value), false, buf, radix);
}

char16_t* _i64tow(std::int64_t value, char16_t* buf, int radix) {
  if (radix == 10 && value < 0) return toText(0 - static_cast<std::uint64_t>(value), true, buf, radix);
  return toText(static_cast<std::uint64_t>(value), false, buf, radix);
}

char16_t* _ui64tow(std::uint64_t value, char16_t* buf, int radix) { return toText(value, false, buf, radix); }

// ---- time ---------------------------------------------------------------------------------------

namespace {

constexpr const char* DayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* MonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};

int clampIndex(int v, int count) { return v < 0 ? 0 : v >= count ? count - 1 : v; }

void appendNumber(std::u16string& out, long v, int width, bool dropZeros) {
  std::string digits = std::to_string(v < 0 ? -v : v);
  if (!dropZeros && static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  if (v < 0) out += u'-';
  out.append(digits.begin(), digits.end());
}

void appendAscii(std::u16string& out, std::string_view s) { out.append(s.begin(), s.end()); }

// Week number with weeks starting on `firstDay` (0 Sunday, 1 Monday); days before the first such
// day of the year are in week 0.
int weekNumber(const struct tm& t, int firstDay) {
  int wday = (t.tm_wday - firstDay + 7) % 7;
  return (t.tm_yday + 7 - wday) / 7;
}

std::u16string timeZoneName() {
  if (!platform::host::Host::available()) return u"UTC";
  return platform::host::Host::current().factW(platform::host::fact::TimeZone);
}

void formatTime(std::u16string& out, std::u16string_view f, const struct tm& t);

void formatOne(std::u16string& out, char conv, bool alt, const struct tm& t) {
  const int hour12 = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
  switch (conv) {
    case 'a': appendAscii(out, std::string_view(DayNames[clampIndex(t.tm_wday, 7)], 3)); break;
    case 'A': appendAscii(out, DayNames[clampIndex(t.tm_wday, 7)]); break;
    case 'b': appendAscii(out, std::string_view(MonthNames[clampIndex(t.tm_mon, 12)], 3)); break;
    case 'B': appendAscii(out, MonthNames[clampIndex(t.tm_mon, 12)]); break;
    case 'c':
      formatTime(out, alt ? u"%A, %B %#d, %Y, %H:%M:%S" : u"%m/%d/%y %H:%M:%S", t);
      break;
    case 'd': appendNumber(out, t.tm_mday, 2, alt); break;
    case 'H': appendNumber(out, t.tm_hour, 2, alt); break;
    case 'I': appendNumber(out, hour12, 2, alt); break;
    case 'j': appendNumber(out, t.tm_yday + 1, 3, alt); break;
    case 'm': appendNumber(out, t.tm_mon + 1, 2, alt); break;
    case 'M': appendNumber(out, t.tm_min, 2, alt); break;
    case 'p': out += t.tm_hour < 12 ? u"AM" : u"PM"; break;
    case 'S': appendNumber(out, t.tm_sec, 2, alt); break;
    case 'U': appendNumber(out, weekNumber(t, 0), 2, alt); break;
    case 'w': appendNumber(out, t.tm_wday, 1, alt); break;
    case 'W': appendNumber(out, weekNumber(t, 1), 2, alt); break;
    case 'x': formatTime(out, alt ? u"%A, %B %#d, %Y" : u"%m/%d/%y", t); break;
    case 'X': formatTime(out, u"%H:%M:%S", t); break;
    case 'y': appendNumber(out, ((t.tm_year + 1900) % 100 + 100) % 100, 2, alt); break;
    case 'Y': appendNumber(out, t.tm_year + 1900L, 4, alt); break;
    case 'Z': case 'z': out += timeZoneName(); break;
    case '%': out += u'%'; break;
    default: out += static_cast<char16_t>(conv); break;  // unknown: the character itself
  }
}

void formatTime(std::u16string& out, std::u16string_view f, const struct tm& t) {
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != u'%') {
      out += f[i];
      continue;
    }
    if (++i >= f.size()) break;
    bool alt = false;
    if (f[i] == u'#') {
      alt = true;
      if (++i >= f.size()) break;
    }
    formatOne(out, f[i] < 0x80 ? static_cast<char>(f[i]) : '?', alt, t);
  }
}

}  // namespace

std::size_t wcsftime(char16_t* buf, std::size_t max, const char16_t* format, const struct tm* t) {
  if (!buf || max == 0) return 0;
  if (!format || !t) {
    buf[0] = 0;
    return 0;
  }
  std::u16string out;
  formatTime(out, format, *t);
  if (out.size() + 1 > max) {
    buf[0] = 0;
    return 0;
  }
  std::copy(out.begin(), out.end(), buf);
  buf[out.size()] = 0;
  return out.size();
}
