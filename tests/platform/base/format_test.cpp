// The Microsoft-style formatter: string kinds in wide and narrow formats, sizes of integer
// conversions, flags, width and precision, and arguments that do not fit their conversion.
#include "platform/base/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "tests/support/test_host.h"

using platform::fmt::format;
using platform::fmt::formatA;

namespace {

// A class passed the way CString is: by its GetString.
struct Named {
  std::u16string text;
  const char16_t* GetString() const { return text.c_str(); }
};

std::string utf8(const std::u16string& s) { return std::string(s.begin(), s.end()); }

}  // namespace

TEST(Format, StringKindsInWideFormat) {
  const char16_t* wide = u"w\u00e9";
  const char* narrow = "n\xe9";  // 8-bit e-acute in code page 1252
  Named named{u"cs"};
  std::u16string owned = u"own";
  struct Case {
    std::u16string got, want;
  } cases[] = {
      {format(u"[%s]", wide), u"[w\u00e9]"},
      {format(u"[%S]", narrow), u"[n\u00e9]"},       // %S in a wide format is narrow text
      {format(u"[%hs]", narrow), u"[n\u00e9]"},
      {format(u"[%ls|%ws]", wide, wide), u"[w\u00e9|w\u00e9]"},
      {format(u"[%s]", named), u"[cs]"},              // a CString-like class by GetString
      {format(u"[%s]", owned), u"[own]"},
      {format(u"[%s]", u"lit"), u"[lit]"},             // an array, not a pointer to print
      {format(u"[%s]", narrow), u"[n\u00e9]"},        // mismatched kind is still read as its type
      {format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]"},
      {format(u"[%S]", static_cast<const char*>(nullptr)), u"[(null)]"},
      {format(u"[%s]", nullptr), u"[(null)]"},
      {format(u"[%5s|%-5s|%.2s|%05s]", u"ab", u"ab", u"abcdef", u"ab"), u"[   ab|ab   |ab|000ab]"},
      {format(u"[%*s|%-*.*s]", 4, u"a", 5, 2, u"xyz"), u"[   a|xy   ]"},
      {format(u"[%*s]", -3, u"a"), u"[a  ]"},  // a negative * width left-justifies
  };
  for (const auto& c : cases) EXPECT_EQ(utf8(c.got), utf8(c.want));
}

TEST(Format, StringKindsInNarrowFormat) {
  EXPECT_EQ(formatA("[%s|%S|%ls|%hs]", "a", u"\u00e9", u"w", "h"), "[a|\xe9|w|h]");
  EXPECT_EQ(formatA("[%S]", u"\u4e00"), "[?]");  // not in code page 1252
  EXPECT_EQ(formatA("%s", static_cast<char*>(nullptr)), "(null)");
}

TEST(Format, IntegerSizesFollowWindows) {
  const std::int64_t big = 0x123456789LL;  // low 32 bits: 0x23456789
  const std::int64_t minus = -2;
  struct Case {
    std::u16string got;
    std::string want;
  } cases[] = {
      {format(u"%d", big), "591751049"},                    // %d takes only the low 32 bits
      {format(u"%ld", big), "591751049"},                   // long is 32 bits on Windows
      {format(u"%I64d|%lld", big, big), "4886718345|4886718345"},
      {format(u"%I64d", -5), "-5"},
      {format(u"%u", -1), "4294967295"},
      {format(u"%I64u", UINT64_MAX), "18446744073709551615"},
      {format(u"%d", minus), "-2"},
      {format(u"%I32d", big), "591751049"},
      {format(u"%hd|%hu", 70000, -1), "4464|65535"},
      {format(u"%d", INT_MIN), "-2147483648"},
      {format(u"%I64d", INT64_MIN), "-9223372036854775808"},
      {format(u"%d|%d", true, static_cast<unsigned char>(200)), "1|200"},
      {format(u"%x|%X|%08x|%02X|%#x|%#o|%o", 255, 255, 0xBEEF, 10, 255, 8, 8), "ff|FF|0000beef|0A|0xff|010|10"},
      {format(u"%08X", 0xFFFFFFFFu), "FFFFFFFF"},
      {format(u"%x", -1), "ffffffff"},
      {format(u"%I64x", -1LL), "ffffffffffffffff"},
      {format(u"[%5d|%-5d|%05d|%+d|% d|%.3d|%.0d]", 42, 42, -42, 42, 42, 7, 0), "[   42|42   |-0042|+42| 42|007|]"},
      {format(u"%i", 12), "12"},
      {format(u"%d", 3.9), "3"},  // a double given to %d is truncated, not reinterpreted
  };
  for (const auto& c : cases) EXPECT_EQ(utf8(c.got), c.want);
}

TEST(Format, CharactersPercentAndFloats) {
  struct Case {
    std::u16string got, want;
  } cases[] = {
      {format(u"%c%c%c", u'A', 'b', 67), u"AbC"},
      {format(u"%C", 'x'), u"x"},                    // %C in a wide format: a narrow character
      {format(u"%C", '\xe9'), u"\u00e9"},
      {format(u"%c", u'\u4e00'), u"\u4e00"},
      {format(u"[%3c|%-3c]", u'a', u'b'), u"[  a|b  ]"},
      {format(u"100%%"), u"100%"},
      {format(u"%f", 1.5), u"1.500000"},
      {format(u"%.2f|%8.3f|%-8.1f|%+.1f", 3.14159, 2.5, 2.5, 2.0), u"3.14|   2.500|2.5     |+2.0"},
      {format(u"%f", 7), u"7.000000"},  // an integer given to %f is converted
      {format(u"%e", 1500.0), u"1.500000e+003"},
      {format(u"%E", 0.00015), u"1.500000E-004"},
      {format(u"%g|%g|%G", 0.5, 1e20, 1e-10), u"0.5|1e+020|1E-010"},
      {format(u"%010.2f", -3.5), u"-000003.50"},
      {format(u"%f", 1.0 / 0.0), u"1.#INF00"},
      // The runtime's rounding: half-up on 17 significant digits, zeros beyond them.
      {format(u"%.0f|%.0f|%.2f|%.1f", 0.5, 2.5, 0.125, 0.05), u"1|3|0.13|0.1"},
      {format(u"%.20f", 0.1), u"0.10000000000000001000"},
      {format(u"%.0f|%#.0f|%.3f", 99.5, 3.0, 0.0), u"100|3.|0.000"},
      {format(u"%.2e|%e|%.0e|%.2e", 9.9996, 0.0, 15.0, 9.995),  // 9.995 is stored just below the tie
       u"1.00e+001|0.000000e+000|2e+001|9.99e+000"},
      {format(u"%g|%g|%g|%.3g|%#g", 100000.0, 1e6, 0.0001, 0.00012345, 1.5), u"100000|1e+006|0.0001|0.000123|1.50000"},
      {format(u"%g|%.1g|%g", 0.0, 0.96, 123456789.0), u"0|1|1.23457e+008"},
      {format(u"%f", -1.0 / 0.0), u"-1.#INF00"},
  };
  for (const auto& c : cases) EXPECT_EQ(utf8(c.got), utf8(c.want));
}

TEST(Format, PointersAndRefusedOrMissingArguments) {
  int x = 0;
  std::u16string p = format(u"%p", &x);
  EXPECT_EQ(p.size(), sizeof(void*) * 2);
  EXPECT_EQ(p.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
  EXPECT_EQ(format(u"%p", nullptr), std::u16string(sizeof(void*) * 2, u'0'));

  int written = 1234;
  EXPECT_EQ(format(u"a%nb", &written), u"ab");  // %n is refused
  EXPECT_EQ(written, 1234);
  EXPECT_EQ(format(u"[%d|%s|%f]"), u"[||]");    // missing arguments print nothing
  EXPECT_EQ(format(u"[%d|%d]", 1), u"[1|]");
  EXPECT_EQ(format(u"%*d", 5), u"");
  EXPECT_EQ(format(u"%"), u"");
  EXPECT_EQ(format(u"%y"), u"y");                  // unknown conversion: the character itself
  EXPECT_EQ(format(u"%s", 42), u"42");             // a number where text was expected
  EXPECT_EQ(format(u"x", 1, 2), u"x");             // extra arguments are ignored
}

TEST(Format, LongOutputsAndEmbeddedText) {
  std::u16string longText(5000, u'z');
  EXPECT_EQ(format(u"<%s>", longText).size(), 5002u);
  std::u16string_view sub = std::u16string_view(u"abcdef").substr(1, 3);
  EXPECT_EQ(format(u"%s", sub), u"bcd");  // a view is taken by its length, not up to a NUL
  std::string narrow = "na";
  EXPECT_EQ(format(u"%S", narrow), u"na");
}

TEST(Wsprintf, TruncatesAt1024AndCountsWithoutNul) {
  char16_t buf[2048];
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(wsprintfW(buf, u"%s-%d", u"ab", 5), 4);
  EXPECT_EQ(std::u16string(buf), u"ab-5");
  EXPECT_EQ(buf[5], u'#');  // nothing written past the NUL

  std::u16string longText(3000, u'q');
  EXPECT_EQ(wsprintfW(buf, u"%s", longText), 1023);
  EXPECT_EQ(buf[1023], 0);
  EXPECT_EQ(buf[1024], u'#');

  char abuf[32];
  EXPECT_EQ(wsprintfA(abuf, "%s=%08X", "k", 0x1Fu), 10);
  EXPECT_STREQ(abuf, "k=0000001F");
}

TEST(Format, NarrowTextUsesTheHostCodePage) {
  platform::host::HostOptions options;
  options.facts["system_locale"] = "0411";
  kipotest::TestHost host(options);
  const char* sjis = "\x93\xfa\x96\x7b";  // "Japan" in code page 932
  EXPECT_EQ(format(u"%S", sjis), u"\u65e5\u672c");
  EXPECT_EQ(formatA("%S", u"\u65e5\u672c"), sjis);
}
