// Code pages: the host's ANSI and OEM code page, single-byte tables built from iconv, double-byte
// conversion through per-thread iconv descriptors, and UTF-8 with Windows XP's rules.
#include "platform/base/codepage.h"

#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/host/host.h"

namespace platform::text {

namespace {

constexpr char16_t NoMapping = 0xFFFF;

// ---- which code page a locale uses ------------------------------------------------------------

// Primary language ids of the languages that do not use 1252.
UINT ansiOfLanguage(LCID lcid) {
  const unsigned primary = lcid & 0x3FF;
  const unsigned sub = (lcid >> 10) & 0x3F;
  switch (primary) {
    case 0x11: return 932;                                      // Japanese
    case 0x04: return (sub == 2 || sub == 4) ? 936 : 950;       // Chinese: PRC, Singapore / Taiwan, HK, Macau
    case 0x12: return 949;                                      // Korean
    case 0x1E: return 874;                                      // Thai
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x24: case 0x1C:
      return 1250;                                              // Czech, Hungarian, Polish, Romanian, Slovak, Slovenian, Albanian
    case 0x1A: return sub == 3 ? 1251 : 1250;                   // Serbian (Cyrillic) / Croatian, Serbian (Latin)
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x2F: case 0x3F: case 0x40: case 0x44: case 0x50:
      return 1251;                                              // Russian, Ukrainian, Belarusian, Bulgarian, ...
    case 0x08: return 1253;                                     // Greek
    case 0x1F: return 1254;                                     // Turkish
    case 0x2C: case 0x43: return sub == 2 ? 1251 : 1254;       // Azeri, Uzbek: Cyrillic / Latin
    case 0x0D: return 1255;                                     // Hebrew
    case 0x01: case 0x29: case 0x20: return 1256;               // Arabic, Farsi, Urdu
    case 0x25: case 0x26: case 0x27: return 1257;               // Estonian, Latvian, Lithuanian
    case 0x2A: return 1258;                                     // Vietnamese
    default: return 1252;
  }
}

UINT oemOfLanguage(LCID lcid) {
  const unsigned lang = lcid & 0xFFFF;
  switch (ansiOfLanguage(lcid)) {
    case 932: case 936: case 949: case 950: case 874: case 1258: return ansiOfLanguage(lcid);
    case 1250: return 852;
    case 1251: return (lang == 0x0C1A) ? 855 : 866;
    case 1253: return 737;
    case 1254: return 857;
    case 1255: return 862;
    case 1256: return 720;
    case 1257: return 775;
    default: break;
  }
  if ((lcid & 0x3FF) == 0x0F) return 861;  // Icelandic
  return lang == 0x0409 ? 437 : 850;       // US English keeps the original PC code page
}

LCID hostSystemLocale() {
  std::string v = host::Host::current().fact(host::fact::SystemLocale);
  char* end = nullptr;
  unsigned long id = std::strtoul(v.c_str(), &end, 16);
  return (end && *end == 0 && id != 0 && id <= 0xFFFFFFFFul) ? static_cast<LCID>(id) : 0x0409;
}

// Cached per host: (epoch << 16) | code page. A process keeps its code page for its host.
UINT cachedForHost(std::atomic<std::uint64_t>& cache, UINT (*of)(LCID)) {
  const std::uint64_t epoch = host::Host::epoch();
  std::uint64_t c = cache.load(std::memory_order_acquire);
  if (c != 0 && (c >> 16) == epoch) return static_cast<UINT>(c & 0xFFFF);
  const UINT cp = of(host::Host::available() ? hostSystemLocale() : 0x0409);
  cache.store((epoch << 16) | cp, std::memory_order_release);
  return cp;
}

// ---- iconv ---------------------------------------------------------------------------------

bool isDoubleByte(UINT cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950; }

std::string iconvName(UINT cp) {
  if (cp == 874 || (cp >= 1250 && cp <= 1258)) return "WINDOWS-" + std::to_string(cp);
  if (cp >= 28591 && cp <= 28599) return "ISO-8859-" + std::to_string(cp - 28590);
  if (cp == 28605) return "ISO-8859-15";
  if (cp == 20127) return "ASCII";
  if (cp == 10000) return "MACINTOSH";
  return "CP" + std::to_string(cp);
}

// Descriptors are not thread-safe, so each thread keeps its own, closed when the thread ends.
class IconvCache {
 public:
  ~IconvCache() {
    for (auto& [key, cd] : open_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  // toWide: code page to UTF-16LE; else the reverse. (iconv_t)-1 when unsupported.
  iconv_t get(UINT cp, bool toWide) {
    auto key = std::make_pair(cp, toWide);
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    std::string name = iconvName(cp);
    iconv_t cd = toWide ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
    open_.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<UINT, bool>, iconv_t> open_;
};

IconvCache& iconvCache() {
  thread_local IconvCache cache;
  return cache;
}

// Converts one character's bytes; false when iconv refuses them.
bool convertOne(iconv_t cd, const char* in, std::size_t inSize, char* out, std::size_t& outSize) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inp = const_cast<char*>(in);
  std::size_t inLeft = inSize, outLeft = outSize;
  char* outp = out;
  std::size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  if (r == static_cast<std::size_t>(-1) || inLeft != 0) return false;
  // Flush any shift state (none for these code pages, but harmless).
  iconv(cd, nullptr, nullptr, &outp, &outLeft);
  outSize = outSize - outLeft;
  return true;
}

// ---- single-byte tables --------------------------------------------------------------------

struct SingleByteTable {
  std::array<char16_t, 256> toWide{};
  std::array<std::uint16_t, 0x10000> toByte{};  // byte + 1, or 0 when unmapped
};

std::unique_ptr<SingleByteTable> buildSingleByte(UINT cp) {
  iconv_t cd = iconv_open("UTF-16LE", iconvName(cp).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  auto t = std::make_unique<SingleByteTable>();
  for (unsigned b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char out[8];
    std::size_t outSize = sizeof out;
    if (convertOne(cd, &in, 1, out, outSize) && outSize == 2) {
      t->toWide[b] = static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
    } else {
      // Undefined in iconv's table: Windows gives these bytes the C1 control or Latin-1 value.
      t->toWide[b] = static_cast<char16_t>(b);
    }
  }
  iconv_close(cd);
  for (int b = 255; b >= 0; --b) t->toByte[t->toWide[static_cast<unsigned>(b)]] = static_cast<std::uint16_t>(b + 1);
  return t;
}

const SingleByteTable* singleByteTable(UINT cp) {
  thread_local UINT lastCp = 0;
  thread_local const SingleByteTable* last = nullptr;
  if (cp == lastCp && last) return last;
  static std::mutex mutex;
  static auto* tables = new std::map<UINT, std::unique_ptr<SingleByteTable>>();  // never destroyed
  std::lock_guard lock(mutex);
  auto it = tables->find(cp);
  if (it == tables->end()) it = tables->emplace(cp, buildSingleByte(cp)).first;
  lastCp = cp;
  last = it->second.get();
  return last;
}

// ---- double-byte code pages ----------------------------------------------------------------

char16_t defaultUnicodeChar(UINT cp) { return cp == 932 ? u'\u30FB' : u'?'; }

// 932's single bytes that iconv does not define, with their Windows values.
char16_t cp932Single(unsigned char b) {
  switch (b) {
    case 0x80: return u'\u0080';
    case 0xA0: return u'\uF8F0';
    case 0xFD: return u'\uF8F1';
    case 0xFE: return u'\uF8F2';
    case 0xFF: return u'\uF8F3';
    default: return NoMapping;
  }
}

bool decodeDoubleByte(UINT cp, std::string_view bytes, std::u16string& out, bool* invalid) {
  iconv_t cd = iconvCache().get(cp, true);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  auto bad = [&] {
    out += defaultUnicodeChar(cp);
    if (invalid) *invalid = true;
  };
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    if (cp == 932 && cp932Single(b) != NoMapping) {
      out += cp932Single(b);
      ++i;
      continue;
    }
    std::size_t len = isLeadByte(cp, b) ? 2 : 1;
    if (len == 2 && (i + 1 >= n || static_cast<unsigned char>(bytes[i + 1]) < 0x40)) {
      // A lead byte at the end, or before a byte that cannot follow one: the lead byte alone.
      bad();
      ++i;
      continue;
    }
    char buf[8];
    std::size_t outSize = sizeof buf;
    if (convertOne(cd, bytes.data() + i, len, buf, outSize) && (outSize == 2 || outSize == 4)) {
      for (std::size_t k = 0; k < outSize; k += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(buf[k]) | (static_cast<unsigned char>(buf[k + 1]) << 8));
    } else {
      bad();
    }
    i += len;
  }
  return true;
}

bool encodeDoubleByte(UINT cp, std::u16string_view text, std::string& out, std::string_view defaultChar,
                      bool* usedDefault) {
  iconv_t cd = iconvCache().get(cp, false);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (cp == 932) {
      bool special = false;
      for (unsigned b : {0x80u, 0xA0u, 0xFDu, 0xFEu, 0xFFu})
        if (cp932Single(static_cast<unsigned char>(b)) == c) {
          out += static_cast<char>(b);
          special = true;
        }
      if (special) continue;
    }
    std::size_t units = (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ? 2 : 1;
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), 0, 0};
    if (units == 2) {
      in[2] = static_cast<char>(text[i + 1] & 0xFF);
      in[3] = static_cast<char>(text[i + 1] >> 8);
    }
    char buf[8];
    std::size_t outSize = sizeof buf;
    if (convertOne(cd, in, units * 2, buf, outSize) && outSize > 0) {
      out.append(buf, outSize);
    } else {
      out += defaultChar.empty() ? std::string_view("?") : defaultChar;
      if (usedDefault) *usedDefault = true;
    }
    i += units - 1;
  }
  return true;
}

// ---- UTF-8 as Windows XP reads and writes it -----------------------------------------------

void decodeUtf8(std::string_view bytes, std::u16string& out, bool* invalid) {
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  auto cont = [&](std::size_t k) { return k < n && (static_cast<unsigned char>(bytes[k]) & 0xC0) == 0x80; };
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    char32_t cp = 0;
    std::size_t len = 0;
    if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
      cp = ((b & 0x1Fu) << 6) | (bytes[i + 1] & 0x3F);
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
      cp = ((b & 0x0Fu) << 12) | ((bytes[i + 1] & 0x3Fu) << 6) | (bytes[i + 2] & 0x3F);
      len = cp >= 0x800 ? 3 : 0;  // non-shortest forms are dropped; surrogate halves decode
    } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      cp = ((b & 0x07u) << 18) | ((bytes[i + 1] & 0x3Fu) << 12) | ((bytes[i + 2] & 0x3Fu) << 6) | (bytes[i + 3] & 0x3F);
      len = (cp >= 0x10000 && cp <= 0x10FFFF) ? 4 : 0;
    }
    if (len == 0) {
      if (invalid) *invalid = true;
      ++i;  // dropped
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
}

void encodeUtf8(std::u16string_view text, std::string& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

}  // namespace

UINT ansiCodePageOf(LCID locale) { return ansiOfLanguage(locale); }
UINT oemCodePageOf(LCID locale) { return oemOfLanguage(locale); }

UINT ansiCodePage() {
  static std::atomic<std::uint64_t> cache{0};
  return cachedForHost(cache, ansiOfLanguage);
}

UINT oemCodePage() {
  static std::atomic<std::uint64_t> cache{0};
  return cachedForHost(cache, oemOfLanguage);
}

bool codePageSupported(UINT cp) {
  if (cp == CodePageUtf8) return true;
  if (isDoubleByte(cp)) return iconvCache().get(cp, true) != reinterpret_cast<iconv_t>(-1);
  return cp != 0 && cp < 65000 && singleByteTable(cp) != nullptr;
}

bool isLeadByte(UINT cp, unsigned char b) {
  switch (cp) {
    case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936: case 949: case 950: return b >= 0x81 && b <= 0xFE;
    default: return false;
  }
}

bool decode(UINT cp, std::string_view bytes, std::u16string& out, bool* invalid) {
  if (cp == CodePageUtf8) {
    decodeUtf8(bytes, out, invalid);
    return true;
  }
  if (isDoubleByte(cp)) return decodeDoubleByte(cp, bytes, out, invalid);
  const SingleByteTable* t = cp != 0 && cp < 65000 ? singleByteTable(cp) : nullptr;
  if (!t) return false;
  out.reserve(out.size() + bytes.size());
  for (unsigned char b : bytes) out += t->toWide[b];
  return true;
}

bool encode(UINT cp, std::u16string_view text, std::string& out, std::string_view defaultChar, bool* usedDefault) {
  if (cp == CodePageUtf8) {
    encodeUtf8(text, out);
    return true;
  }
  if (isDoubleByte(cp)) return encodeDoubleByte(cp, text, out, defaultChar, usedDefault);
  const SingleByteTable* t = cp != 0 && cp < 65000 ? singleByteTable(cp) : nullptr;
  if (!t) return false;
  out.reserve(out.size() + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (std::uint16_t b = t->toByte[c]) {
      out += static_cast<char>(b - 1);
      continue;
    }
    // A surrogate pair is one character, so one default character.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
    out += defaultChar.empty() ? std::string_view("?") : defaultChar;
    if (usedDefault) *usedDefault = true;
  }
  return true;
}

std::u16string ansiToWide(std::string_view text) {
  std::u16string out;
  decode(ansiCodePage(), text, out);
  return out;
}

std::string wideToAnsi(std::u16string_view text) {
  std::string out;
  encode(ansiCodePage(), text, out);
  return out;
}

}  // namespace platform::text
