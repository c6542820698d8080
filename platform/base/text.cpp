// UTF conversions and the shared upper-casing table.
#include "platform/base/text.h"

#include <array>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <memory>
#include <mutex>

namespace platform::text {

namespace {

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Built once from the C library's Unicode data under C.UTF-8; only mappings that stay inside the
// basic plane and keep one code unit are taken, as Windows' table has no others.
struct UpcaseTable {
  std::array<char16_t, 0x10000> map{};
  UpcaseTable() {
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    for (std::size_t c = 0; c < map.size(); ++c) {
      char16_t up = static_cast<char16_t>(c);
      if (loc && (c < 0xD800 || c > 0xDFFF)) {
        wint_t u = towupper_l(static_cast<wint_t>(c), loc);
        if (u < 0x10000 && !(u >= 0xD800 && u <= 0xDFFF)) up = static_cast<char16_t>(u);
      } else if (!loc && c >= u'a' && c <= u'z') {
        up = static_cast<char16_t>(c - 32);
      }
      map[c] = up;
    }
    if (loc) freelocale(loc);
  }
};

const UpcaseTable& table() {
  static const UpcaseTable* t = new UpcaseTable();  // never destroyed: used from exit handlers too
  return *t;
}

}  // namespace

// Names and paths are nearly always plain ASCII: the leading ASCII run is copied in one go, and
// only what follows it goes character by character.
std::string toUtf8(std::u16string_view text) {
  std::size_t ascii = 0;
  while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(text[i]);
  if (ascii == text.size()) return out;
  out.reserve(text.size() + (text.size() - ascii) * 2);
  for (std::size_t i = ascii; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::u16string fromUtf8(std::string_view text) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  std::u16string out(i, u'\0');
  for (std::size_t k = 0; k < i; ++k) out[k] = static_cast<char16_t>(text[k]);
  if (i == n) return out;
  out.reserve(n);
  while (i < n) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((b & 0xE0) == 0xC0) { extra = 1; cp = b & 0x1F; }
    else if ((b & 0xF0) == 0xE0) { extra = 2; cp = b & 0x0F; }
    else if ((b & 0xF8) == 0xF0) { extra = 3; cp = b & 0x07; }
    else { out += u'\uFFFD'; ++i; continue; }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= n) { ok = false; break; }
      unsigned char cb = static_cast<unsigned char>(text[i + k]);
      if ((cb & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cb & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    appendUtf16(out, cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

char16_t upcase(char16_t c) { return table().map[c]; }

std::u16string upcased(std::u16string_view text) {
  std::u16string out(text);
  upcaseInPlace(out);
  return out;
}

void upcaseInPlace(std::u16string& text) {
  const auto& m = table().map;
  for (auto& c : text) c = m[c];
}

int compareNoCase(std::u16string_view a, std::u16string_view b) {
  const auto& m = table().map;
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = m[a[i]], y = m[b[i]];
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t length(const char16_t* s) {
  if (!s) return 0;
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace platform::text
