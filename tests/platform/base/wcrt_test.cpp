// The wide C runtime on char16_t: string functions, case rules, number conversions with Windows'
// 32-bit long, wcsftime in the runtime's "C" locale, the printf family and Microsoft's rand.
#include "platform/base/wcrt.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

namespace {

std::string narrowOf(std::u16string_view s) { return std::string(s.begin(), s.end()); }

}  // namespace

TEST(Wcrt, CopyAndConcatenateRespectCounts) {
  char16_t buf[16];
  std::fill(std::begin(buf), std::end(buf), u'#');
  wcsncpy(buf, u"ab", 5);  // pads the rest of the count with NULs
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(buf[4], 0);
  EXPECT_EQ(buf[5], u'#');
  std::fill(std::begin(buf), std::end(buf), u'#');
  wcsncpy(buf, u"abcdef", 3);  // no NUL when the source is at least the count
  EXPECT_EQ(buf[3], u'#');

  wcscpy(buf, u"ab");
  wcsncat(buf, u"cdef", 2);
  EXPECT_EQ(std::u16string(buf), u"abcd");
  EXPECT_EQ(buf[4], 0);
  wcscat(buf, u"!");
  EXPECT_EQ(wcslen(buf), 5u);
  EXPECT_EQ(wcsnlen(buf, 3), 3u);

  char16_t* dup = _wcsdup(buf);
  EXPECT_EQ(std::u16string(dup), u"abcd!");
  std::free(dup);
  EXPECT_EQ(_wcsdup(nullptr), nullptr);
}

TEST(Wcrt, ComparisonsAndCaseFollowTheRuntime) {
  struct Case {
    const char16_t *a, *b;
    int cmp, icmp;
  } cases[] = {
      {u"abc", u"abc", 0, 0},
      {u"abc", u"ABC", 1, 0},
      {u"ab", u"abc", -1, -1},
      {u"_a", u"ab", -1, -1},             // lower-cased: '_' (0x5F) sorts before 'a' (0x61)
      {u"_a", u"AB", 1, -1},              // ordinal: '_' after 'A'; ignoring case it is before
      {u"\u00e9t\u00e9", u"\u00c9T\u00c9", 1, 0},  // beyond ASCII by the shared table
      {u"\u03c3", u"\u03a3", 1, 0},       // Greek sigma
      {u"", u"", 0, 0},
  };
  for (const auto& c : cases) {
    auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
    EXPECT_EQ(sign(wcscmp(c.a, c.b)), c.cmp) << narrowOf(c.a);
    EXPECT_EQ(sign(_wcsicmp(c.a, c.b)), c.icmp) << narrowOf(c.a);
  }
  EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
  EXPECT_EQ(_wcsnicmp(u"ABCx", u"abcy", 3), 0);
  EXPECT_LT(_wcsnicmp(u"ABCx", u"abcy", 4), 0);

  char16_t s[] = u"Stra\u00dfe \u00c4\u00e4 i";
  EXPECT_EQ(std::u16string(_wcsupr(s)), u"STRA\u00dfE \u00c4\u00c4 I");  // sharp s has no one-unit upper case
  EXPECT_EQ(std::u16string(_wcslwr(s)), u"stra\u00dfe \u00e4\u00e4 i");
  // The capital I lower-cases to i, not to the dotless i that also upper-cases to I.
  EXPECT_EQ(towlower(u'I'), u'i');
  EXPECT_EQ(towupper(u'a'), u'A');
  EXPECT_EQ(towupper('b'), u'B');
  EXPECT_EQ(towupper(0x63), u'C');
  EXPECT_EQ(towlower(u'\u0391'), u'\u03b1');
  EXPECT_TRUE(iswspace(u' ') && iswspace(u'\t') && !iswspace(u'x'));
  EXPECT_TRUE(iswdigit(u'7') && !iswdigit(u'a'));
  EXPECT_TRUE(iswalpha(u'\u00e9') && iswalpha(u'\u65e5') && !iswalpha(u'1'));
  EXPECT_TRUE(iswalnum(u'1') && iswalnum(u'z') && !iswalnum(u'-'));
}

TEST(Wcrt, SearchAndTokenize) {
  const char16_t* s = u"a,b;;c";
  EXPECT_EQ(wcschr(s, u','), s + 1);
  EXPECT_EQ(wcschr(s, u'\0'), s + 6);  // the terminator is part of the string
  EXPECT_EQ(wcschr(s, u'x'), nullptr);
  EXPECT_EQ(wcsrchr(s, u';'), s + 4);
  EXPECT_EQ(wcsstr(s, u";;"), s + 3);
  EXPECT_EQ(wcsstr(s, u""), s);
  EXPECT_EQ(wcspbrk(s, u";x"), s + 3);
  EXPECT_EQ(wcsspn(u"aab", u"a"), 2u);
  EXPECT_EQ(wcscspn(u"aab", u"b"), 2u);

  char16_t text[] = u",one;;two,";
  std::vector<std::u16string> tokens;
  for (char16_t* t = wcstok(text, u",;"); t; t = wcstok(nullptr, u",;")) tokens.push_back(t);
  EXPECT_EQ(tokens, (std::vector<std::u16string>{u"one", u"two"}));
}

TEST(Wcrt, NumberParsingUsesWindowsLong) {
  struct Case {
    const char16_t* text;
    int base;
    long value;
    std::size_t used;
    bool range;
  } cases[] = {
      {u"  -42xyz", 10, -42, 5, false},
      {u"0x1F", 16, 31, 4, false},
      {u"0x1F", 0, 31, 4, false},
      {u"017", 0, 15, 3, false},
      {u"3000000000", 10, INT32_MAX, 10, true},  // beyond a 32-bit long: clamped
      {u"-3000000000", 10, INT32_MIN, 11, true},
      {u"zz", 36, 1295, 2, false},
      {u"abc", 10, 0, 0, false},                 // no digits: end is the start
      {u"0x", 16, 0, 1, false},                  // "0" is the number, "x" is not part of it
  };
  for (const auto& c : cases) {
    char16_t* end = nullptr;
    errno = 0;
    EXPECT_EQ(wcstol(c.text, &end, c.base), c.value) << narrowOf(c.text);
    EXPECT_EQ(static_cast<std::size_t>(end - c.text), c.used) << narrowOf(c.text);
    EXPECT_EQ(errno == ERANGE, c.range) << narrowOf(c.text);
  }
  EXPECT_EQ(wcstoul(u"-1", nullptr, 10), 4294967295ul);  // wraps in 32 bits
  EXPECT_EQ(wcstoul(u"99999999999", nullptr, 10), 4294967295ul);
  EXPECT_EQ(_wcstoi64(u"-9223372036854775808", nullptr, 10), INT64_MIN);
  EXPECT_EQ(_wcstoui64(u"18446744073709551615", nullptr, 10), UINT64_MAX);

  EXPECT_EQ(_wtoi(u" 12ab"), 12);
  EXPECT_EQ(_wtoi(u"+7"), 7);
  EXPECT_EQ(_wtoi(u"x"), 0);
  EXPECT_EQ(_wtoi(u"99999999999"), INT_MAX);
  EXPECT_EQ(_wtol(u"-2147483648"), INT32_MIN);
  EXPECT_EQ(_wtoi64(u"123456789012"), 123456789012LL);

  char16_t* end = nullptr;
  const char16_t* d = u"  3.25e2kg";
  EXPECT_DOUBLE_EQ(wcstod(d, &end), 325.0);
  EXPECT_EQ(end, d + 8);
  EXPECT_DOUBLE_EQ(_wtof(u"0.5"), 0.5);
  EXPECT_DOUBLE_EQ(_wtof(u"-.5e1x"), -5.0);
  EXPECT_DOUBLE_EQ(_wtof(u"7e"), 7.0);  // an exponent without digits is not part of the number
  const char16_t* k = u"kg";
  EXPECT_EQ(wcstod(k, &end), 0.0);
  EXPECT_EQ(end, k);
  // Only the decimal form is a number to the Windows runtime.
  EXPECT_EQ(_wtof(u"0x10"), 0.0);
  EXPECT_EQ(_wtof(u"inf"), 0.0);
  EXPECT_EQ(_wtof(u"nan"), 0.0);
}

TEST(Wcrt, IntegerToTextByRadix) {
  char16_t buf[72];
  struct Case {
    std::u16string got;
    std::u16string want;
  } cases[] = {
      {_itow(-255, buf, 10), u"-255"},
      {_itow(-1, buf, 16), u"ffffffff"},  // only radix 10 has a sign
      {_itow(5, buf, 2), u"101"},
      {_ltow(INT32_MIN, buf, 10), u"-2147483648"},
      {_ultow(4294967295ul, buf, 10), u"4294967295"},
      {_i64tow(-1, buf, 16), u"ffffffffffffffff"},
      {_i64tow(INT64_MIN, buf, 10), u"-9223372036854775808"},
      {_ui64tow(UINT64_MAX, buf, 36), u"3w5e11264sgsf"},
      {_itow(0, buf, 10), u"0"},
  };
  for (const auto& c : cases) EXPECT_EQ(narrowOf(c.got), narrowOf(c.want));
}

TEST(Wcrt, WcsftimeSpeaksTheCLocale) {
  struct tm t = {};
  t.tm_year = 2006 - 1900;
  t.tm_mon = 0;
  t.tm_mday = 2;
  t.tm_hour = 15;
  t.tm_min = 4;
  t.tm_sec = 5;
  t.tm_wday = 1;  // Monday
  t.tm_yday = 1;
  struct Case {
    const char16_t* format;
    const char16_t* want;
  } cases[] = {
      {u"%a %A %b %B", u"Mon Monday Jan January"},
      {u"%d/%m/%Y %H:%M:%S", u"02/01/2006 15:04:05"},
      {u"%I %p", u"03 PM"},
      {u"%#d %#m %#I %#j", u"2 1 3 2"},
      {u"%j %w %y", u"002 1 06"},
      {u"%U %W", u"01 01"},           // weeks from Sunday Jan 1 and from Monday Jan 2 2006
      {u"%x", u"01/02/06"},
      {u"%X", u"15:04:05"},
      {u"%c", u"01/02/06 15:04:05"},
      {u"%#x", u"Monday, January 2, 2006"},
      {u"%#c", u"Monday, January 2, 2006, 15:04:05"},
      {u"100%%", u"100%"},
  };
  char16_t buf[128];
  for (const auto& c : cases) {
    std::size_t n = wcsftime(buf, 128, c.format, &t);
    EXPECT_EQ(narrowOf(buf), narrowOf(c.want)) << narrowOf(c.format);
    EXPECT_EQ(n, wcslen(c.want));
  }
  t.tm_hour = 0;
  wcsftime(buf, 128, u"%I %p", &t);
  EXPECT_EQ(narrowOf(buf), "12 AM");

  // Too small for the text and its NUL: 0 and an empty buffer.
  char16_t small[5] = {u'#', u'#', u'#', u'#', u'#'};
  EXPECT_EQ(wcsftime(small, 5, u"%A", &t), 0u);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(wcsftime(small, 5, u"%Y", &t), 4u);  // exactly fits with its NUL
}

TEST(Wcrt, PrintfFamilyCounts) {
  char16_t buf[8];
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(swprintf(buf, u"%d-%s", 7, u"x"), 3);
  EXPECT_EQ(std::u16string(buf), u"7-x");

  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(_snwprintf(buf, 4, u"%s", u"abcd"), 4);  // exactly fits: no NUL
  EXPECT_EQ(buf[4], u'#');
  EXPECT_EQ(_snwprintf(buf, 4, u"%s", u"abcdef"), -1);  // does not fit: -1, count units stored
  EXPECT_EQ(std::u16string(buf, 4), u"abcd");
  EXPECT_EQ(buf[4], u'#');
  EXPECT_EQ(_snwprintf(buf, 4, u"%d", 12), 2);
  EXPECT_EQ(std::u16string(buf), u"12");

  char abuf[4];
  EXPECT_EQ(_snprintf(abuf, sizeof abuf, "%s", "xyz!"), 4);  // fits exactly, without its NUL
  EXPECT_EQ(_snprintf(abuf, sizeof abuf, "%s", "xyz!!"), -1);
}

TEST(Wcrt, RandIsMicrosoftsGeneratorPerThread) {
  EXPECT_EQ(RAND_MAX, 0x7FFF);
  std::vector<int> first;
  std::thread([&] {
    for (int i = 0; i < 3; ++i) first.push_back(rand());  // a new thread starts from seed 1
  }).join();
  EXPECT_EQ(first, (std::vector<int>{41, 18467, 6334}));
  srand(1234);
  int a = rand();
  srand(1234);
  EXPECT_EQ(rand(), a);
  for (int i = 0; i < 1000; ++i) {
    int r = rand();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, RAND_MAX);
  }
}
