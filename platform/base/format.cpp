// The Microsoft-style printf engine, written once for wide and narrow output. Numbers are
// produced in ASCII and widened. Floating point follows the Windows C runtime the product was
// written against: 17 significant digits rounded half-up, a three-digit exponent, and the
// "1.#INF"/"1.#QNAN" forms. Each argument is also checked against what Windows would read for
// its conversion, and a mismatch is reported once the text is made.
#include "platform/base/format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/host/host.h"

namespace platform::fmt {

namespace {

enum class Width : std::uint8_t { Default, Short, Char, Long, LongLong, Int32, PtrSize, Wide };

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  Width size = Width::Default;
  char conv = 0;
};

// Text arguments in the output's character type.
std::u16string_view argText(const Arg& a, std::u16string& store, char16_t) {
  if (a.kind() == Arg::Kind::WideText) {
    const char16_t* p = a.wide();
    if (a.length() == std::string::npos) return std::u16string_view(p);
    return std::u16string_view(p, a.length());
  }
  const char* p = a.narrow();
  store = text::ansiToWide(a.length() == std::string::npos ? std::string_view(p) : std::string_view(p, a.length()));
  return store;
}

std::string_view argText(const Arg& a, std::string& store, char) {
  if (a.kind() == Arg::Kind::NarrowText) {
    const char* p = a.narrow();
    if (a.length() == std::string::npos) return std::string_view(p);
    return std::string_view(p, a.length());
  }
  const char16_t* p = a.wide();
  store = text::wideToAnsi(a.length() == std::string::npos ? std::u16string_view(p) : std::u16string_view(p, a.length()));
  return store;
}

void widenInto(std::u16string& out, std::string_view ascii) { out.append(ascii.begin(), ascii.end()); }
void widenInto(std::string& out, std::string_view ascii) { out.append(ascii); }

// An integer view of any argument: its own value, a double truncated toward zero (clamped), or
// the address of a pointer or text.
std::uint64_t integerOf(const Arg& a) {
  switch (a.kind()) {
    case Arg::Kind::Double: {
      double d = a.real();
      if (std::isnan(d)) return 0;
      if (d >= 9.2233720368547758e18) return static_cast<std::uint64_t>(INT64_MAX);
      if (d <= -9.2233720368547758e18) return static_cast<std::uint64_t>(INT64_MIN);
      return static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
    }
    case Arg::Kind::Pointer:
    case Arg::Kind::WideText:
    case Arg::Kind::NarrowText:
      return reinterpret_cast<std::uintptr_t>(a.pointer());
    default:
      return a.bits();
  }
}

double realOf(const Arg& a) {
  switch (a.kind()) {
    case Arg::Kind::Double: return a.real();
    case Arg::Kind::Signed: return static_cast<double>(static_cast<std::int64_t>(a.bits()));
    default: return static_cast<double>(integerOf(a));
  }
}

unsigned bitsFor(Width w) {
  switch (w) {
    case Width::Short: return 16;
    case Width::Char: return 8;
    case Width::LongLong: return 64;
    default: return 32;  // int, long, I32, and I (pointer-sized): 32 bits on the product's target
  }
}

// Whether %s/%S/%c/%C read wide text: h says narrow and l or w wide whatever the function;
// otherwise the lower-case conversion has the function's own width and the capital the other.
bool readsWide(const Spec& s, bool wideFormat) {
  if (s.size == Width::Short) return false;
  if (s.size == Width::Long || s.size == Width::Wide) return true;
  return (s.conv == 'c' || s.conv == 's') == wideFormat;
}

bool isText(const Arg& a) { return a.kind() == Arg::Kind::WideText || a.kind() == Arg::Kind::NarrowText; }

// An integer that takes 64 bits on the product's Windows target.
bool is64(const Arg& a) {
  return (a.kind() == Arg::Kind::Signed || a.kind() == Arg::Kind::Unsigned) && a.size() == 8 && !a.pointerSized();
}

// What Windows would not read as the argument that was passed, or null when it fits. Integer
// conversions take any integer, character or pointer of 32 bits (signedness is the caller's
// choice); I64 and ll take 64 bits.
const char* misfit(const Spec& s, const Arg& a, bool wideFormat) {
  const bool real = a.kind() == Arg::Kind::Double;
  switch (s.conv) {
    case 'd': case 'i': case 'u': case 'o': case 'x': case 'X':
      if (real) return "a floating value under an integer conversion";
      if (s.size == Width::LongLong) {
        if (is64(a) || a.pointerSized()) return nullptr;  // std::int64_t is pointer-sized here
        return "a 32-bit argument under a 64-bit conversion";
      }
      if (is64(a)) return "a 64-bit integer under a conversion without I64 or ll";
      return nullptr;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
      return real ? nullptr : "a value that is not floating under a floating conversion";
    case 'p':
      if (real) return "a floating value under %p";
      if (is64(a)) return "a 64-bit integer under %p";
      return nullptr;
    case 'c': case 'C': {
      if (real) return "a floating value under a character conversion";
      if (isText(a) || a.kind() == Arg::Kind::Pointer) return "text or a pointer under a character conversion";
      if (is64(a)) return "a 64-bit integer under a character conversion";
      const bool wide = readsWide(s, wideFormat);
      if (a.kind() == Arg::Kind::WideChar && !wide) return "a wide character under a narrow character conversion";
      if (a.kind() == Arg::Kind::NarrowChar && wide) return "a narrow character under a wide character conversion";
      return nullptr;
    }
    case 's': case 'S': {
      const bool wide = readsWide(s, wideFormat);
      if (a.kind() == Arg::Kind::WideText) return wide ? nullptr : "wide text under a narrow string conversion";
      if (a.kind() == Arg::Kind::NarrowText) return wide ? "narrow text under a wide string conversion" : nullptr;
      if (a.kind() == Arg::Kind::Pointer && !a.pointer()) return nullptr;  // NULL prints "(null)"
      return "an argument that is not text under a string conversion";
    }
    default:
      return nullptr;
  }
}

// The first problem of a format call, kept until its text is made.
struct Problems {
  std::string first;
  void note(std::size_t argument, const char* what) {
    if (first.empty() && what) first = "argument " + std::to_string(argument) + ": " + what;
  }
};

bool onTestHost() {
  if (!host::Host::available()) return false;
  return host::Host::current().fact(host::fact::TestHost) == "1";
}

void report(const std::string& format, const std::string& problem) {
  const std::string line = "format mismatch in \"" + format + "\", " + problem;
  if (onTestHost()) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    std::abort();
  }
  static std::mutex mutex;
  static std::set<std::string> logged;  // a format used in a loop is logged once
  std::lock_guard lock(mutex);
  if (logged.size() < 1000 && !logged.insert(line).second) return;
  std::fprintf(stderr, "kipo: %s\n", line.c_str());
}

std::string formatText(std::u16string_view f) { return text::toUtf8(f); }
std::string formatText(std::string_view f) { return std::string(f); }

template <class S>
void pad(S& out, std::size_t n, typename S::value_type c) {
  out.append(n, c);
}

// Appends `body` (already in output characters) justified in the field.
template <class S>
void emitField(S& out, const Spec& s, std::basic_string_view<typename S::value_type> body, bool zeroPad) {
  std::size_t w = s.width > 0 ? static_cast<std::size_t>(s.width) : 0;
  std::size_t fill = body.size() < w ? w - body.size() : 0;
  if (!s.left) pad(out, fill, zeroPad ? '0' : ' ');
  out.append(body);
  if (s.left) pad(out, fill, ' ');
}

// Appends a number given as prefix (sign, "0x") and digits, padding zeros between them when the
// 0 flag applies.
template <class S>
void emitNumber(S& out, const Spec& s, const std::string& prefix, const std::string& digits, bool zeroAllowed) {
  std::size_t w = s.width > 0 ? static_cast<std::size_t>(s.width) : 0;
  std::size_t len = prefix.size() + digits.size();
  std::size_t fill = len < w ? w - len : 0;
  if (s.left) {
    widenInto(out, prefix);
    widenInto(out, digits);
    pad(out, fill, ' ');
  } else if (s.zero && zeroAllowed) {
    widenInto(out, prefix);
    pad(out, fill, '0');
    widenInto(out, digits);
  } else {
    pad(out, fill, ' ');
    widenInto(out, prefix);
    widenInto(out, digits);
  }
}

std::string toBase(std::uint64_t v, unsigned base, bool upper) {
  const char* d = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char buf[72];
  int i = sizeof buf;
  do {
    buf[--i] = d[v % base];
    v /= base;
  } while (v);
  return std::string(buf + i, sizeof buf - static_cast<std::size_t>(i));
}

template <class S>
void formatInteger(S& out, const Spec& s, const Arg& a) {
  const unsigned bits = bitsFor(s.size);
  std::uint64_t v = integerOf(a);
  if (bits < 64) v &= (std::uint64_t(1) << bits) - 1;
  bool negative = false;
  const bool isSigned = s.conv == 'd' || s.conv == 'i';
  if (isSigned && bits < 64 && (v >> (bits - 1)) & 1) v |= ~((std::uint64_t(1) << bits) - 1);
  if (isSigned && static_cast<std::int64_t>(v) < 0) {
    negative = true;
    v = ~v + 1;  // magnitude, also for the most negative value
  }
  unsigned base = s.conv == 'o' ? 8 : (s.conv == 'x' || s.conv == 'X') ? 16 : 10;
  std::string digits = (s.precision == 0 && v == 0) ? std::string() : toBase(v, base, s.conv == 'X');
  if (s.precision > 0 && digits.size() < static_cast<std::size_t>(s.precision))
    digits.insert(0, static_cast<std::size_t>(s.precision) - digits.size(), '0');
  std::string prefix;
  if (negative) prefix = "-";
  else if (isSigned && s.plus) prefix = "+";
  else if (isSigned && s.space) prefix = " ";
  if (s.alt && base == 16 && v != 0) prefix += s.conv == 'X' ? "0X" : "0x";
  if (s.alt && base == 8 && (digits.empty() || digits[0] != '0')) digits.insert(0, 1, '0');
  emitNumber(out, s, prefix, digits, s.precision < 0);
}

template <class S>
void formatPointer(S& out, const Spec& s, const Arg& a) {
  std::string digits = toBase(integerOf(a), 16, true);
  const std::size_t full = sizeof(void*) * 2;
  if (digits.size() < full) digits.insert(0, full - digits.size(), '0');
  Spec plain = s;
  plain.zero = false;
  emitNumber(out, plain, std::string(), digits, false);
}

// Decimal digits of a double as the Windows runtime of the product's era makes them: 17
// significant digits (correctly rounded by the C library), then rounded half-up on those digits
// to the precision asked for, with zeros beyond the 17th digit. So "%.0f" of 0.5 is "1", "%.2f"
// of 0.125 is "0.13" and "%.20f" of 0.1 is "0.10000000000000001000".
struct Digits {
  std::string d;  // significant digits, no leading zero unless the value is 0
  int point = 0;  // value = 0.d * 10^point
};

Digits digitsOf(double magnitude) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.16e", magnitude);
  Digits r;
  r.d += buf[0];
  const char* p = buf + 2;
  while (*p >= '0' && *p <= '9') r.d += *p++;
  r.point = (p[0] == 'e') ? std::atoi(p + 1) + 1 : 1;
  return r;
}

// Keeps `keep` significant digits, rounding half-up; a carry out of the first digit moves the
// point. keep may be 0 (the first digit decides between 0 and 1) or negative (the value is 0).
void roundTo(Digits& x, int keep) {
  if (keep < 0) {
    x.d.clear();
    return;
  }
  if (static_cast<std::size_t>(keep) >= x.d.size()) return;
  const bool up = x.d[static_cast<std::size_t>(keep)] >= '5';
  x.d.resize(static_cast<std::size_t>(keep));
  if (!up) return;
  int i = keep - 1;
  for (; i >= 0; --i) {
    if (x.d[static_cast<std::size_t>(i)] == '9') {
      x.d[static_cast<std::size_t>(i)] = '0';
    } else {
      ++x.d[static_cast<std::size_t>(i)];
      break;
    }
  }
  if (i < 0) {
    x.d.insert(x.d.begin(), '1');
    x.d.pop_back();
    if (keep == 0) x.d = "1";
    ++x.point;
  }
}

char digitAt(const Digits& x, int i) {
  return (i >= 0 && static_cast<std::size_t>(i) < x.d.size()) ? x.d[static_cast<std::size_t>(i)] : '0';
}

std::string fixedForm(Digits x, int precision, bool alt) {
  roundTo(x, x.point + precision);
  std::string out;
  if (x.point > 0)
    for (int i = 0; i < x.point; ++i) out += digitAt(x, i);
  else
    out = "0";
  if (precision > 0 || alt) out += '.';
  for (int i = 0; i < precision; ++i) out += digitAt(x, x.point + i);
  return out;
}

std::string exponentForm(Digits x, int precision, bool alt, bool upper) {
  const bool zero = x.d.find_first_not_of('0') == std::string::npos;
  roundTo(x, precision + 1);
  std::string out(1, digitAt(x, 0));
  if (precision > 0 || alt) out += '.';
  for (int i = 1; i <= precision; ++i) out += digitAt(x, i);
  int e = zero ? 0 : x.point - 1;
  out += upper ? 'E' : 'e';
  out += e < 0 ? '-' : '+';
  std::string digits = std::to_string(e < 0 ? -e : e);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');  // "1.5e+003"
  return out + digits;
}

void dropTrailingZeros(std::string& t) {
  std::size_t dot = t.find('.');
  if (dot == std::string::npos) return;
  std::size_t e = t.find_first_of("eE");
  std::size_t end = e == std::string::npos ? t.size() : e;
  std::size_t last = end;
  while (last > dot + 1 && t[last - 1] == '0') --last;
  if (last == dot + 1) last = dot;
  t.erase(last, end - last);
}

std::string realDigits(double magnitude, char conv, int precision, bool alt) {
  Digits x = digitsOf(magnitude);
  const bool upper = conv == 'E' || conv == 'G';
  if (conv == 'f' || conv == 'F') return fixedForm(x, precision, alt);
  if (conv == 'e' || conv == 'E') return exponentForm(x, precision, alt, upper);
  // %g: the exponent after rounding to the precision decides the form.
  const int p = precision == 0 ? 1 : precision;
  Digits r = x;
  roundTo(r, p);
  const bool zero = x.d.find_first_not_of('0') == std::string::npos;
  const int e = zero ? 0 : r.point - 1;
  std::string t = (e < -4 || e >= p) ? exponentForm(x, p - 1, alt, upper) : fixedForm(x, p - 1 - e, alt);
  if (!alt) dropTrailingZeros(t);
  return t;
}

template <class S>
void formatReal(S& out, const Spec& s, const Arg& a) {
  double d = realOf(a);
  const int precision = s.precision < 0 ? 6 : s.precision;
  std::string sign = std::signbit(d) ? "-" : s.plus ? "+" : s.space ? " " : "";
  std::string body;
  if (!std::isfinite(d)) {
    // "1.#INF00", "1.#QNAN0", "-1.#IND00": the special word takes the place of the fraction.
    std::string word = std::isinf(d) ? "#INF" : std::signbit(d) ? "#IND" : "#QNAN";
    if (std::isnan(d) && std::signbit(d)) sign = "-";
    std::string frac = word;
    if (s.conv == 'g' || s.conv == 'G') {
      // %g drops trailing zeros, so no padding of the word
    } else if (frac.size() < static_cast<std::size_t>(precision)) {
      frac.append(static_cast<std::size_t>(precision) - frac.size(), '0');
    } else {
      frac.resize(static_cast<std::size_t>(precision) > 0 ? static_cast<std::size_t>(precision) : 1);
    }
    body = "1." + frac;
    emitNumber(out, s, sign, body, false);
    return;
  }
  const double magnitude = std::fabs(d);
  if (s.conv == 'a' || s.conv == 'A') {
    char spec[8] = {'%', '.', '*', s.conv, 0};
    int n = std::snprintf(nullptr, 0, spec, precision, magnitude);
    if (n < 0) return;
    body.resize(static_cast<std::size_t>(n) + 1);
    std::snprintf(body.data(), body.size(), spec, precision, magnitude);
    body.resize(static_cast<std::size_t>(n));
  } else {
    body = realDigits(magnitude, s.conv, precision, s.alt);
  }
  emitNumber(out, s, sign, body, true);
}

template <class S>
void formatChar(S& out, const Spec& s, const Arg& a, bool wantWide) {
  using C = typename S::value_type;
  std::basic_string<C> ch;
  auto fromWide = [&](char16_t c) {
    if constexpr (std::is_same_v<C, char16_t>) ch.assign(1, c);
    else ch = text::wideToAnsi(std::u16string_view(&c, 1));
  };
  auto fromNarrow = [&](char c) {
    if constexpr (std::is_same_v<C, char>) ch.assign(1, c);
    else if (static_cast<unsigned char>(c) < 0x80) ch.assign(1, static_cast<char16_t>(c));
    else ch = text::ansiToWide(std::string_view(&c, 1));
  };
  switch (a.kind()) {
    case Arg::Kind::WideChar: fromWide(static_cast<char16_t>(a.bits())); break;
    case Arg::Kind::NarrowChar: fromNarrow(static_cast<char>(a.bits())); break;
    case Arg::Kind::WideText:
    case Arg::Kind::NarrowText: {
      std::basic_string<C> store;
      auto t = argText(a, store, C());
      if (a.pointer() && !t.empty()) ch.assign(1, t[0]);
      break;
    }
    default: {
      std::uint64_t v = integerOf(a);
      if (wantWide) fromWide(static_cast<char16_t>(v & 0xFFFF));
      else fromNarrow(static_cast<char>(v & 0xFF));
    }
  }
  emitField(out, s, std::basic_string_view<C>(ch), s.zero);
}

template <class S>
void formatString(S& out, const Spec& s, const Arg& a) {
  using C = typename S::value_type;
  std::basic_string<C> store;
  std::basic_string_view<C> t;
  static constexpr char nullText[] = "(null)";
  std::basic_string<C> shown;
  switch (a.kind()) {
    case Arg::Kind::WideText:
    case Arg::Kind::NarrowText:
      if (a.pointer()) {
        t = argText(a, store, C());
        break;
      }
      [[fallthrough]];
    case Arg::Kind::Pointer:
      if (!a.pointer()) {
        widenInto(shown, nullText);
        t = shown;
        break;
      }
      [[fallthrough]];
    default: {
      // Not text: show the value, as %d, %g or %p would.
      Spec plain;
      plain.conv = a.kind() == Arg::Kind::Double ? 'g' : a.kind() == Arg::Kind::Unsigned ? 'u' : 'd';
      plain.size = Width::LongLong;
      if (a.kind() == Arg::Kind::Double) formatReal(shown, plain, a);
      else if (a.kind() == Arg::Kind::Pointer) formatPointer(shown, plain, a);
      else if (a.kind() == Arg::Kind::WideChar || a.kind() == Arg::Kind::NarrowChar) formatChar(shown, plain, a, true);
      else formatInteger(shown, plain, a);
      t = shown;
    }
  }
  if (s.precision >= 0 && t.size() > static_cast<std::size_t>(s.precision)) t = t.substr(0, static_cast<std::size_t>(s.precision));
  emitField(out, s, t, s.zero);
}

template <class C>
std::basic_string<C> run(std::basic_string_view<C> f, const Arg* args, std::size_t count) {
  std::basic_string<C> out;
  out.reserve(f.size() + 16 * count);
  std::size_t next = 0;
  Problems problems;
  auto take = [&]() -> const Arg* {
    if (next < count) return &args[next++];
    problems.note(++next, "missing");
    return nullptr;
  };
  // An argument for a conversion, checked against what Windows would read for it.
  auto takeFor = [&](const Spec& s) -> const Arg* {
    const Arg* a = take();
    if (a) problems.note(next, misfit(s, *a, std::is_same_v<C, char16_t>));
    return a;
  };
  auto takeInt = [&](bool& present) -> int {
    Spec asInt;
    asInt.conv = 'd';
    const Arg* a = takeFor(asInt);
    present = a != nullptr;
    return a ? static_cast<int>(static_cast<std::int32_t>(integerOf(*a) & 0xFFFFFFFFu)) : 0;
  };
  const bool wideFormat = std::is_same_v<C, char16_t>;
  const std::size_t n = f.size();
  std::size_t i = 0;
  while (i < n) {
    C c = f[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= n) break;  // a lone '%' at the end prints nothing
    Spec s;
    for (; i < n; ++i) {
      C k = f[i];
      if (k == '-') s.left = true;
      else if (k == '+') s.plus = true;
      else if (k == ' ') s.space = true;
      else if (k == '#') s.alt = true;
      else if (k == '0') s.zero = true;
      else break;
    }
    if (i < n && f[i] == '*') {
      ++i;
      bool present;
      int w = takeInt(present);
      if (w < 0) {
        s.left = true;
        w = w == INT32_MIN ? 0 : -w;
      }
      s.width = w;
    } else {
      while (i < n && f[i] >= '0' && f[i] <= '9') s.width = std::min(s.width * 10 + (f[i++] - '0'), 1 << 20);
    }
    if (i < n && f[i] == '.') {
      ++i;
      s.precision = 0;
      if (i < n && f[i] == '*') {
        ++i;
        bool present;
        int p = takeInt(present);
        s.precision = p < 0 ? -1 : p;
      } else {
        while (i < n && f[i] >= '0' && f[i] <= '9') s.precision = std::min(s.precision * 10 + (f[i++] - '0'), 1 << 20);
      }
    }
    bool sized = true;
    while (i < n && sized) {
      C k = f[i];
      if (k == 'h') {
        s.size = (i + 1 < n && f[i + 1] == 'h') ? (++i, Width::Char) : Width::Short;
        ++i;
      } else if (k == 'l') {
        s.size = (i + 1 < n && f[i + 1] == 'l') ? (++i, Width::LongLong) : Width::Long;
        ++i;
      } else if (k == 'L' || k == 'j' || k == 'z' || k == 't') {
        s.size = k == 'L' || k == 'j' ? Width::LongLong : Width::PtrSize;
        ++i;
      } else if (k == 'w') {
        s.size = Width::Wide;
        ++i;
      } else if (k == 'I') {
        if (i + 2 < n && f[i + 1] == '6' && f[i + 2] == '4') {
          s.size = Width::LongLong;
          i += 3;
        } else if (i + 2 < n && f[i + 1] == '3' && f[i + 2] == '2') {
          s.size = Width::Int32;
          i += 3;
        } else {
          s.size = Width::PtrSize;
          ++i;
        }
      } else if (k == 'F' || k == 'N') {
        ++i;  // far/near pointer modifiers of old runtimes: ignored
      } else {
        sized = false;
      }
    }
    if (i >= n) break;
    C conv = f[i++];
    s.conv = conv < 0x80 ? static_cast<char>(conv) : 0;
    switch (s.conv) {
      case '%':
        out += '%';
        break;
      case 'd': case 'i': case 'u': case 'o': case 'x': case 'X':
        if (const Arg* a = takeFor(s)) formatInteger(out, s, *a);
        break;
      case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        if (const Arg* a = takeFor(s)) formatReal(out, s, *a);
        break;
      case 'p':
        if (const Arg* a = takeFor(s)) formatPointer(out, s, *a);
        break;
      case 'n':
        take();  // refused: writing through an argument pointer is never done
        break;
      case 'c': case 'C':
        if (const Arg* a = takeFor(s)) formatChar(out, s, *a, readsWide(s, wideFormat));
        break;
      case 's': case 'S':
        // A mismatched width has been reported; the text is still shown as its own type.
        if (const Arg* a = takeFor(s)) formatString(out, s, *a);
        break;
      default:
        out += conv;  // unknown conversion: the character itself, as the Windows runtime prints it
    }
  }
  if (!problems.first.empty()) report(formatText(f), problems.first);
  return out;
}

}  // namespace

std::u16string vformat(std::u16string_view format, const Arg* args, std::size_t count) {
  return run<char16_t>(format, args, count);
}

std::string vformatA(std::string_view format, const Arg* args, std::size_t count) {
  return run<char>(format, args, count);
}

int storeTruncated(char16_t* buffer, std::size_t capacity, std::u16string_view text) {
  if (!buffer || capacity == 0) return 0;
  std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(buffer, text.data(), n * sizeof(char16_t));
  buffer[n] = 0;
  return static_cast<int>(n);
}

int storeTruncatedA(char* buffer, std::size_t capacity, std::string_view text) {
  if (!buffer || capacity == 0) return 0;
  std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

}  // namespace platform::fmt
