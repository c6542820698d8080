// National language support: code page conversion with Windows' buffer and error rules, the
// host's locales, locale information, and the lstr/Char string helpers.
#include "platform/win32/locale.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/error.h"
#include "tests/support/test_host.h"

namespace {

constexpr DWORD Sentinel = 0xdeadbeef;

std::string narrowOf(std::u16string_view s) { return std::string(s.begin(), s.end()); }

kipotest::TestHost* makeHost(const char* user, const char* system) {
  platform::host::HostOptions options;
  options.facts["user_locale"] = user;
  options.facts["system_locale"] = system;
  return new kipotest::TestHost(options);
}

std::u16string localeText(LCID lcid, LCTYPE type) {
  WCHAR buf[128];
  int n = GetLocaleInfoW(lcid, type, buf, 128);
  EXPECT_GT(n, 0) << std::hex << lcid << " " << type << " error " << std::dec << GetLastError();
  return n > 0 ? std::u16string(buf, static_cast<std::size_t>(n - 1)) : std::u16string();
}

}  // namespace

TEST(MultiByteToWideChar, CountsBuffersAndErrors) {
  kipotest::TestHost host;
  WCHAR buf[16];
  std::fill(std::begin(buf), std::end(buf), u'#');
  // -1 converts the NUL too and counts it; an explicit length does not add one.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "caf\xe9", -1, buf, 16), 5);
  EXPECT_EQ(std::u16string(buf), u"caf\u00e9");
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, buf, 16), 2);
  EXPECT_EQ(buf[2], u'#');
  // A size query writes nothing.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xe6\x97\xa5\xe6\x9c\xac", -1, nullptr, 0), 3);

  SetLastError(Sentinel);
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, buf, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buf[3], u'#');  // never past the buffer

  struct Bad {
    UINT cp;
    DWORD flags;
    const char* src;
    int cb;
    int cch;
    DWORD error;
  } bad[] = {
      {CP_ACP, 0, nullptr, -1, 16, ERROR_INVALID_PARAMETER},
      {CP_ACP, 0, "a", 0, 16, ERROR_INVALID_PARAMETER},     // an empty input is an error
      {CP_ACP, 0, "a", -2, 16, ERROR_INVALID_PARAMETER},
      {12345, 0, "a", -1, 16, ERROR_INVALID_PARAMETER},     // unknown code page
      {CP_UTF8, MB_PRECOMPOSED, "a", -1, 16, ERROR_INVALID_FLAGS},  // UTF-8 takes no such flag
      {CP_ACP, MB_PRECOMPOSED | MB_COMPOSITE, "a", -1, 16, ERROR_INVALID_FLAGS},
      {CP_UTF8, MB_ERR_INVALID_CHARS, "a\xff", -1, 16, ERROR_NO_UNICODE_TRANSLATION},
      {932, MB_ERR_INVALID_CHARS, "\x81", 1, 16, ERROR_NO_UNICODE_TRANSLATION},
  };
  for (const auto& b : bad) {
    SetLastError(Sentinel);
    EXPECT_EQ(MultiByteToWideChar(b.cp, b.flags, b.src, b.cb, buf, b.cch), 0) << b.cp;
    EXPECT_EQ(GetLastError(), b.error) << b.cp << " " << (b.src ? b.src : "null");
  }
  // Without the flag, invalid UTF-8 is dropped (Windows XP) and the call succeeds.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xff" "b", 3, buf, 16), 2);
  EXPECT_EQ(std::u16string(buf, 2), u"ab");
  // The symbol code page maps into the private area.
  EXPECT_EQ(MultiByteToWideChar(CP_SYMBOL, 0, "A", 1, buf, 16), 1);
  EXPECT_EQ(buf[0], u'\uf041');
}

TEST(WideCharToMultiByte, DefaultCharAndBuffers) {
  kipotest::TestHost host;
  char buf[20];
  BOOL used = Sentinel;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20ac\u4e00", -1, buf, 16, nullptr, &used), 3);
  EXPECT_STREQ(buf, "\x80?");
  EXPECT_EQ(used, TRUE);
  used = Sentinel;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u4e00x", 2, buf, 16, "#", &used), 2);
  EXPECT_EQ(std::string(buf, 2), "#x");
  EXPECT_EQ(used, TRUE);
  used = Sentinel;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"plain", -1, nullptr, 0, nullptr, &used), 6);  // size query
  EXPECT_EQ(used, FALSE);

  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", -1, buf, 16, nullptr, nullptr), 3);
  EXPECT_STREQ(buf, "\xc3\xa9");

  struct Bad {
    UINT cp;
    DWORD flags;
    LPCSTR def;
    LPBOOL usedPtr;
    int cb;
    DWORD error;
  } bad[] = {
      {CP_UTF8, 0, "?", nullptr, 16, ERROR_INVALID_PARAMETER},  // UTF-8 has no default character
      {CP_UTF8, 0, nullptr, &used, 16, ERROR_INVALID_PARAMETER},
      {CP_UTF8, WC_COMPOSITECHECK, nullptr, nullptr, 16, ERROR_INVALID_FLAGS},
      {CP_ACP, 0, nullptr, nullptr, 3, ERROR_INSUFFICIENT_BUFFER},
      {CP_ACP, 0x8000, nullptr, nullptr, 16, ERROR_INVALID_FLAGS},
  };
  for (const auto& b : bad) {
    std::memset(buf, '#', sizeof buf);
    SetLastError(Sentinel);
    EXPECT_EQ(WideCharToMultiByte(b.cp, b.flags, u"abcdef", -1, buf, b.cb, b.def, b.usedPtr), 0) << b.cp;
    EXPECT_EQ(GetLastError(), b.error) << b.cp;
    EXPECT_EQ(buf[b.cb], '#');
  }
}

TEST(Locale, JapaneseRoundTripOnAJapaneseHost) {
  std::unique_ptr<kipotest::TestHost> host(makeHost("0411", "0411"));
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(GetOEMCP(), 932u);
  const std::u16string text = u"\u30de\u30a4 \u30c9\u30ad\u30e5\u30e1\u30f3\u30c8\\\u8868";  // "My Documents" and a 0x5C trail byte
  int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  ASSERT_GT(bytes, 0);
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(), bytes, nullptr, nullptr), bytes);
  EXPECT_EQ(ansi.substr(0, 3), "\x83\x7d\x83");
  EXPECT_EQ(ansi.substr(ansi.size() - 3), std::string("\x95\x5c\0", 3));  // trail byte 0x5C, then the NUL
  int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.c_str(), -1, nullptr, 0);
  std::u16string back(static_cast<std::size_t>(units), u'\0');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.c_str(), -1, back.data(), units), units);
  back.pop_back();
  EXPECT_EQ(back, text);
  // Two-byte characters are stepped over as one.
  const char* p = ansi.c_str();
  EXPECT_EQ(CharNextA(p), p + 2);
  EXPECT_EQ(CharPrevA(p, p + 4), p + 2);
  EXPECT_TRUE(IsDBCSLeadByte(0x83));
  EXPECT_FALSE(IsDBCSLeadByte(0x41));
  CPINFO info;
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  EXPECT_EQ(info.MaxCharSize, 2u);
  EXPECT_EQ(info.LeadByte[0], 0x81);
  EXPECT_EQ(info.LeadByte[1], 0x9F);
  EXPECT_EQ(info.LeadByte[2], 0xE0);
  EXPECT_EQ(info.LeadByte[3], 0xFC);
  EXPECT_EQ(info.LeadByte[4], 0);
}

TEST(Locale, DefaultsComeFromTheHostFacts) {
  std::unique_ptr<kipotest::TestHost> host(makeHost("040C", "0407"));
  EXPECT_EQ(GetUserDefaultLCID(), 0x040Cu);
  EXPECT_EQ(GetUserDefaultLangID(), 0x040C);
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0407u);
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0407);
  EXPECT_EQ(GetSystemDefaultUILanguage(), 0x0407);
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0407);
  EXPECT_EQ(GetThreadLocale(), 0x040Cu);
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 850u);
  EXPECT_EQ(narrowOf(localeText(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE)), "040c");  // lower-case hex
  EXPECT_EQ(narrowOf(localeText(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME)), "DEU");
  EXPECT_EQ(narrowOf(localeText(LOCALE_NEUTRAL, LOCALE_SENGLANGUAGE)), "French");
  EXPECT_EQ(narrowOf(localeText(MAKELCID(MAKELANGID(LANG_SPANISH, SUBLANG_NEUTRAL), SORT_DEFAULT), LOCALE_ILANGUAGE)),
            "040a");  // a neutral sublanguage is the language's default one

  ASSERT_TRUE(SetThreadLocale(0x0411));
  EXPECT_EQ(GetThreadLocale(), 0x0411u);
  EXPECT_FALSE(SetThreadLocale(0x0999));
}

TEST(Locale, InformationForKnownLocales) {
  kipotest::TestHost host;
  struct Case {
    LCID lcid;
    LCTYPE type;
    std::u16string want;
  } cases[] = {
      {0x0409, LOCALE_SLANGUAGE, u"English (United States)"},
      {0x0409, LOCALE_SABBREVLANGNAME, u"ENU"},
      {0x0409, LOCALE_SSHORTDATE, u"M/d/yyyy"},
      {0x0409, LOCALE_STIMEFORMAT, u"h:mm:ss tt"},
      {0x0409, LOCALE_IDEFAULTCODEPAGE, u"437"},
      {0x0409, LOCALE_S1159, u"AM"},
      {0x0809, LOCALE_SABBREVLANGNAME, u"ENG"},
      {0x0809, LOCALE_SSHORTDATE, u"dd/MM/yyyy"},
      {0x0809, LOCALE_IDEFAULTCODEPAGE, u"850"},
      {0x040C, LOCALE_SDECIMAL, u","},
      {0x040C, LOCALE_STHOUSAND, u"\u00a0"},
      {0x040C, LOCALE_SISO639LANGNAME, u"fr"},
      {0x040C, LOCALE_SLIST, u";"},
      {0x0407, LOCALE_SSHORTDATE, u"dd.MM.yyyy"},
      {0x0407, LOCALE_SDATE, u"."},
      {0x0407, LOCALE_SENGCOUNTRY, u"Germany"},
      {0x0C0A, LOCALE_SABBREVLANGNAME, u"ESN"},
      {0x040A, LOCALE_SABBREVLANGNAME, u"ESP"},
      {0x040A, LOCALE_SLANGUAGE, u"Spanish (Traditional Sort)"},
      {0x0410, LOCALE_STIMEFORMAT, u"H.mm.ss"},
      {0x0410, LOCALE_STIME, u"."},
      {0x0413, LOCALE_SABBREVCTRYNAME, u"NLD"},
      {0x0816, LOCALE_SISO3166CTRYNAME, u"PT"},
      {0x0416, LOCALE_SABBREVLANGNAME, u"PTB"},
      {0x0411, LOCALE_IDEFAULTANSICODEPAGE, u"932"},
      {0x0411, LOCALE_SABBREVLANGNAME, u"JPN"},
      {0x0411, LOCALE_SSHORTDATE, u"yyyy/MM/dd"},
      {0x0804, LOCALE_IDEFAULTANSICODEPAGE, u"936"},
      {0x0804, LOCALE_SENGCOUNTRY, u"People's Republic of China"},
      {0x0404, LOCALE_IDEFAULTANSICODEPAGE, u"950"},
      {0x041E, LOCALE_IDEFAULTANSICODEPAGE, u"874"},
      {0x041E, LOCALE_SENGLANGUAGE, u"Thai"},
      {0x0412, LOCALE_SABBREVLANGNAME, u"KOR"},
      {0x0412, LOCALE_ICOUNTRY, u"82"},
      {0x041D, LOCALE_ILANGUAGE, u"041d"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(narrowOf(localeText(c.lcid, c.type)), narrowOf(c.want)) << std::hex << c.lcid << " " << c.type;
}

TEST(Locale, InformationBuffersAndErrors) {
  kipotest::TestHost host;
  WCHAR buf[64];
  EXPECT_EQ(GetLocaleInfoW(0x0409, LOCALE_SENGLANGUAGE, nullptr, 0), 8);  // "English" and its NUL
  std::fill(std::begin(buf), std::end(buf), u'#');
  SetLastError(Sentinel);
  EXPECT_EQ(GetLocaleInfoW(0x0409, LOCALE_SENGLANGUAGE, buf, 7), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buf[7], u'#');

  struct Bad {
    LCID lcid;
    LCTYPE type;
    int cch;
    DWORD error;
  } bad[] = {
      {0x0999, LOCALE_SENGLANGUAGE, 64, ERROR_INVALID_PARAMETER},  // a locale Windows does not have
      {0x0409, 0x7777, 64, ERROR_INVALID_FLAGS},
      {0x0409, LOCALE_SENGLANGUAGE | LOCALE_RETURN_NUMBER, 64, ERROR_INVALID_FLAGS},
      {0x0409, LOCALE_SENGLANGUAGE, -1, ERROR_INVALID_PARAMETER},
  };
  for (const auto& b : bad) {
    SetLastError(Sentinel);
    EXPECT_EQ(GetLocaleInfoW(b.lcid, b.type, buf, b.cch), 0);
    EXPECT_EQ(GetLastError(), b.error) << std::hex << b.lcid << " " << b.type;
  }

  DWORD number = 0;
  EXPECT_EQ(GetLocaleInfoW(0x0411, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<LPWSTR>(&number), sizeof number / sizeof(WCHAR)), 2);
  EXPECT_EQ(number, 932u);

  char abuf[64];
  EXPECT_EQ(GetLocaleInfoA(0x0809, LOCALE_SABBREVLANGNAME, abuf, 64), 4);
  EXPECT_STREQ(abuf, "ENG");
  EXPECT_EQ(GetLocaleInfoA(0x0809, LOCALE_SCURRENCY, abuf, 64), 2);
  EXPECT_STREQ(abuf, "\xa3");  // the pound sign in 1252
  EXPECT_EQ(GetLocaleInfoA(0x0411, LOCALE_S1159, abuf, 64), 5);  // in the locale's own code page, 932
  EXPECT_STREQ(abuf, "\x8c\xdf\x91\x4f");
  EXPECT_EQ(GetLocaleInfoA(0x0409, LOCALE_SENGLANGUAGE, abuf, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(IsValidLocale(0x0411, LCID_SUPPORTED));
  EXPECT_FALSE(IsValidLocale(0x0999, LCID_SUPPORTED));
}

TEST(Locale, LanguageIdMacros) {
  static_assert(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK) == 0x0809);
  static_assert(MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN) == 0x0C0A);
  static_assert(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED) == 0x0804);
  static_assert(PRIMARYLANGID(0x0C0A) == LANG_SPANISH && SUBLANGID(0x0C0A) == 3);
  static_assert(MAKELCID(0x0411, SORT_DEFAULT) == 0x0411);
  static_assert(LOCALE_USER_DEFAULT == 0x0400 && LOCALE_SYSTEM_DEFAULT == 0x0800);
  static_assert(LANGIDFROMLCID(0x00020411) == 0x0411);
  SUCCEED();
}

TEST(Lstr, CopyConcatenateLength) {
  WCHAR buf[8];
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(lstrcpynW(buf, u"abcdef", 4), buf);  // at most 3 characters and a NUL
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(buf[4], u'#');
  EXPECT_EQ(lstrcpynW(buf, u"xy", 0), buf);       // nothing written
  EXPECT_EQ(buf[0], u'a');
  EXPECT_EQ(lstrcpyW(buf, u"ab"), buf);
  EXPECT_EQ(lstrcatW(buf, u"cd"), buf);
  EXPECT_EQ(lstrlenW(buf), 4);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrcpyW(nullptr, u"a"), nullptr);
  char abuf[8];
  lstrcpynA(abuf, "hello", 3);
  EXPECT_STREQ(abuf, "he");
  EXPECT_EQ(lstrlenA(abuf), 2);
  EXPECT_STREQ(lstrcatA(abuf, "y"), "hey");
}

TEST(Lstr, ComparisonOrder) {
  kipotest::TestHost host;
  struct Case {
    const char16_t *a, *b;
    int cmp, icmp;
  } cases[] = {
      {u"abc", u"ABC", -1, 0},    // lower case first, equal ignoring case
      {u"a", u"B", -1, -1},       // not ordinal: 'a' before 'B'
      {u"_x", u"ax", -1, -1},     // symbols before letters
      {u"9", u"a", -1, -1},       // digits before letters
      {u"ab", u"abc", -1, -1},
      {u"\u00e9", u"\u00c9", -1, 0},
      {u"same", u"same", 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lstrcmpW(c.a, c.b), c.cmp) << narrowOf(c.a);
    EXPECT_EQ(lstrcmpW(c.b, c.a), -c.cmp) << narrowOf(c.a);
    EXPECT_EQ(lstrcmpiW(c.a, c.b), c.icmp) << narrowOf(c.a);
  }
  EXPECT_EQ(lstrcmpiA("Kipo.EXE", "kipo.exe"), 0);
  EXPECT_EQ(lstrcmpA("a", "b"), -1);
  EXPECT_EQ(lstrcmpW(nullptr, u"a"), -1);
  EXPECT_EQ(lstrcmpW(nullptr, nullptr), 0);
}

TEST(CharCase, PointerOrSingleCharacter) {
  kipotest::TestHost host;
  // A value with a zero high word is a character, returned converted.
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(std::uintptr_t(u'q')))), u'Q');
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(std::uintptr_t(u'\u00c4')))), u'\u00e4');
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(std::uintptr_t(0xe9)))), 0xc9u);
  WCHAR s[] = u"Mixed \u00e9";
  EXPECT_EQ(CharUpperW(s), s);
  EXPECT_EQ(std::u16string(s), u"MIXED \u00c9");
  EXPECT_EQ(CharLowerBuffW(s, 3), 3u);  // only the count given
  EXPECT_EQ(std::u16string(s), u"mixED \u00c9");
  char a[] = "caf\xe9";
  CharUpperA(a);
  EXPECT_STREQ(a, "CAF\xc9");
  EXPECT_EQ(CharNextW(s), s + 1);
  EXPECT_EQ(CharNextW(s + 7), s + 7);  // stays on the terminator
  EXPECT_EQ(CharPrevW(s, s), s);
  EXPECT_TRUE(IsCharAlphaW(u'\u00e9'));
  EXPECT_FALSE(IsCharAlphaW(u'1'));
  EXPECT_TRUE(IsCharAlphaNumericW(u'1'));
  EXPECT_TRUE(IsCharUpperW(u'A') && !IsCharUpperW(u'a') && !IsCharUpperW(u'1'));
  EXPECT_TRUE(IsCharLowerW(u'a') && !IsCharLowerW(u'A'));
  EXPECT_TRUE(IsCharAlphaA('\xe9'));
}
