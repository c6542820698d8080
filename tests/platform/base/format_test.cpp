// The Microsoft-style formatter: string kinds in wide and narrow formats, sizes of integer
// conversions, flags, width and precision, and arguments that do not fit their conversion (a
// table of what Windows reads and what it would misread, logged or fatal by the host).
#include "platform/base/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>

#include "platform/afx/cstring.h"
#include "platform/base/wcrt.h"
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
      {format(u"%I64d", -5LL), "-5"},
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
  };
  for (const auto& c : cases) EXPECT_EQ(utf8(c.got), c.want);
}

TEST(Format, CharactersPercentAndFloats) {
  struct Case {
    std::u16string got, want;
  } cases[] = {
      {format(u"%c%c%c", u'A', u'b', 67), u"AbC"},
      {format(u"%C", 'x'), u"x"},                    // %C in a wide format: a narrow character
      {format(u"%C", '\xe9'), u"\u00e9"},
      {format(u"%c", u'\u4e00'), u"\u4e00"},
      {format(u"[%3c|%-3c]", u'a', u'b'), u"[  a|b  ]"},
      {format(u"100%%"), u"100%"},
      {format(u"%f", 1.5), u"1.500000"},
      {format(u"%.2f|%8.3f|%-8.1f|%+.1f", 3.14159, 2.5, 2.5, 2.0), u"3.14|   2.500|2.5     |+2.0"},
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
  EXPECT_EQ(format(u"%"), u"");
  EXPECT_EQ(format(u"%y"), u"y");                  // unknown conversion: the character itself
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

namespace {

// One format call and what it must give; `misread` when Windows would read an argument as
// something it is not, which the formatter reports.
struct Conversion {
  int line;
  std::function<std::string()> call;
  std::string want;
  bool misread;
};

std::string narrowed(const std::u16string& s) { return utf8(s); }

}  // namespace

// The conversion decides what Windows reads, not the argument's type. A mismatch still prints
// the typed argument sensibly; on a host that is not a test host it is logged, once per format.
TEST(Format, ConversionTableOfWhatWindowsReads) {
  platform::host::HostOptions options;
  options.facts["test_host"] = "0";
  kipotest::TestHost host(options);
  const char16_t* wide = u"w";
  const char* narrow = "n";
  const CString cs(u"cs");
  const DWORD all = 0xFFFFFFFF;
  const std::size_t size = 7;
  const WPARAM wparam = 8;
  const LPARAM lparam = -1;
  const INT_PTR intPtr = -9;
  const LONGLONG big = 0x100000002LL;
  const ULONGLONG ubig = 3;
  const std::uint64_t stdBig = 4;  // the same type as size_t on this build
  int local = 0;
  const Conversion table[] = {
      // Text in the wide functions: %s wide, %S narrow, h narrow and l/w wide in both.
      {__LINE__, [&] { return narrowed(format(u"%s|%S|%hs|%ls|%ws|%hS|%lS", wide, narrow, narrow, wide, wide, narrow, wide)); }, "w|n|n|w|w|n|w", false},
      {__LINE__, [&] { return narrowed(format(u"[%s]", cs)); }, "[cs]", false},
      {__LINE__, [&] { return narrowed(format(u"[%s|%S]", nullptr, static_cast<const char*>(nullptr))); }, "[(null)|(null)]", false},
      {__LINE__, [&] { return narrowed(format(u"<%s>", narrow)); }, "<n>", true},
      {__LINE__, [&] { return narrowed(format(u"<%S>", wide)); }, "<w>", true},
      {__LINE__, [&] { return narrowed(format(u"[%S]", cs)); }, "[cs]", true},
      {__LINE__, [&] { return narrowed(format(u"<%hs>", wide)); }, "<w>", true},
      {__LINE__, [&] { return narrowed(format(u"<%ls>", narrow)); }, "<n>", true},
      {__LINE__, [&] { return narrowed(format(u"<%s>", 42)); }, "<42>", true},
      {__LINE__, [&] { return narrowed(format(u"(%s)", &local)).substr(0, 1); }, "(", true},
      // Text in the narrow functions: %s narrow, %S wide.
      {__LINE__, [&] { return formatA("%s|%S|%hs|%ls|%c|%C|%hc|%lc", narrow, wide, narrow, wide, 'a', u'b', 'c', u'd'); }, "n|w|n|w|a|b|c|d", false},
      {__LINE__, [&] { return formatA("<%s>", wide); }, "<w>", true},
      {__LINE__, [&] { return formatA("<%S>", narrow); }, "<n>", true},
      {__LINE__, [&] { return formatA("<%c>", u'x'); }, "<x>", true},
      {__LINE__, [&] { return formatA("<%C>", 'x'); }, "<x>", true},
      // Characters in the wide functions; an int is what a character becomes through "...".
      {__LINE__, [&] { return narrowed(format(u"%c|%C|%hc|%lc|%c|%x", u'a', 'b', 'c', u'd', 0x65, u'A')); }, "a|b|c|d|e|41", false},
      {__LINE__, [&] { return narrowed(format(u"<%c>", 'a')); }, "<a>", true},
      {__LINE__, [&] { return narrowed(format(u"<%C>", u'a')); }, "<a>", true},
      {__LINE__, [&] { return narrowed(format(u"<%c>", wide)); }, "<w>", true},
      {__LINE__, [&] { return narrowed(format(u"<%c>", 2.0)).size() > 0 ? "ok" : ""; }, "ok", true},
      // Signedness is the caller's choice; pointer-sized integers are 32 bits on the target.
      {__LINE__, [&] { return narrowed(format(u"%d|%u|%x", all, -1, -1)); }, "-1|4294967295|ffffffff", false},
      {__LINE__, [&] { return narrowed(format(u"%u|%d|%x|%d|%u", size, wparam, lparam, intPtr, stdBig)); }, "7|8|ffffffff|-9|4", false},
      {__LINE__, [&] { return narrowed(format(u"%I64d|%lld|%I64x|%I64u", big, big, ubig, stdBig)); }, "4294967298|4294967298|3|4", false},
      {__LINE__, [&] { return narrowed(format(u"%p", nullptr)).size() > 0 ? "ok" : ""; }, "ok", false},
      // A 64-bit integer without I64 or ll: Windows takes its low half and shifts every later
      // argument by one slot.
      {__LINE__, [&] { return narrowed(format(u"<%d>", big)); }, "<2>", true},
      {__LINE__, [&] { return narrowed(format(u"<%u>", ubig)); }, "<3>", true},
      {__LINE__, [&] { return narrowed(format(u"<%lx>", 5LL)); }, "<5>", true},
      {__LINE__, [&] { return narrowed(format(u"<%Id>", big)); }, "<2>", true},
      {__LINE__, [&] { return narrowed(format(u"<%p>", big)).size() > 2 ? "ok" : ""; }, "ok", true},
      {__LINE__, [&] { return narrowed(format(u"<%*d>", big, 1)); }, "< 1>", true},
      {__LINE__, [&] { return narrowed(format(u"<%I64d>", -5)); }, "<-5>", true},  // 32 bits read as 64
      // Floating values and integers do not stand in for each other.
      {__LINE__, [&] { return narrowed(format(u"%f|%.1f|%g", 1.5, 2.5f, 0.5)); }, "1.500000|2.5|0.5", false},
      {__LINE__, [&] { return narrowed(format(u"<%d>", 3.9)); }, "<3>", true},
      {__LINE__, [&] { return narrowed(format(u"<%x>", 3.0)); }, "<3>", true},
      {__LINE__, [&] { return narrowed(format(u"<%f>", 7)); }, "<7.000000>", true},
      {__LINE__, [&] { return narrowed(format(u"<%g>", big)); }, "<4.29497e+009>", true},
      // A conversion without an argument reads whatever follows on the stack.
      {__LINE__, [&] { return narrowed(format(u"<%d|%s|%f>")); }, "<||>", true},
      {__LINE__, [&] { return narrowed(format(u"<%d|%d>", 1)); }, "<1|>", true},
      {__LINE__, [&] { return narrowed(format(u"<%*d>", 5)); }, "<>", true},
  };
  // Each misread case has its own format: a format is logged once per problem.
  for (const auto& c : table) {
    testing::internal::CaptureStderr();
    const std::string got = c.call();
    const std::string logged = testing::internal::GetCapturedStderr();
    EXPECT_EQ(got, c.want) << "case at line " << c.line;
    EXPECT_EQ(logged.find("format mismatch") != std::string::npos, c.misread)
        << "case at line " << c.line << ", logged: " << logged;
  }
}

TEST(Format, MismatchIsLoggedOnceNamingTheFormatAndArgument) {
  platform::host::HostOptions options;
  options.facts["test_host"] = "0";
  kipotest::TestHost host(options);
  testing::internal::CaptureStderr();
  CString s;
  for (int i = 0; i < 3; ++i) s.Format(u"%s and %d", u"a", 10LL);
  const std::string logged = testing::internal::GetCapturedStderr();
  EXPECT_EQ(s, u"a and 10");
  EXPECT_EQ(logged, "kipo: format mismatch in \"%s and %d\", argument 2: a 64-bit integer under a conversion "
                    "without I64 or ll\n");
}

// On a test host a mismatch is a failed test wherever it happens, child processes included.
TEST(FormatDeathTest, MismatchEndsTheProcessOnATestHost) {
  kipotest::TestHost host;
  char16_t buf[64];
  EXPECT_DEATH(wsprintfW(buf, u"size %u of %s", 1LL, u"x"), "format mismatch in \"size %u of %s\", argument 1");
  EXPECT_DEATH(swprintf(buf, u"name %s", "narrow"), "format mismatch in \"name %s\", argument 1: narrow text");
  EXPECT_DEATH(formatA("%C", 'c'), "format mismatch in \"%C\"");
  EXPECT_EQ(wsprintfW(buf, u"size %I64u of %s", 1ULL, u"x"), 11);  // fitting arguments: no end
}
