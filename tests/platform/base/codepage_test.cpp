// Code pages: the ANSI code page follows the host's system locale, Windows' definitions of 1252
// and 932 where iconv differs, default characters, invalid input, and UTF-8 as Windows XP reads it.
#include "platform/base/codepage.h"

#include <gtest/gtest.h>

#include "tests/support/test_host.h"

namespace text = platform::text;

namespace {

std::u16string decoded(UINT cp, std::string_view bytes, bool* invalid = nullptr) {
  std::u16string out;
  EXPECT_TRUE(text::decode(cp, bytes, out, invalid)) << cp;
  return out;
}

std::string encoded(UINT cp, std::u16string_view s, bool* usedDefault = nullptr, std::string_view def = {}) {
  std::string out;
  EXPECT_TRUE(text::encode(cp, s, out, def, usedDefault)) << cp;
  return out;
}

}  // namespace

TEST(CodePage, LocalesChooseTheirCodePages) {
  struct Case {
    LCID lcid;
    UINT ansi, oem;
  } cases[] = {
      {0x0409, 1252, 437}, {0x0809, 1252, 850}, {0x040C, 1252, 850}, {0x0407, 1252, 850},
      {0x0411, 932, 932},  {0x0804, 936, 936},  {0x0404, 950, 950},  {0x0C04, 950, 950},
      {0x1004, 936, 936},  {0x0412, 949, 949},  {0x041E, 874, 874},  {0x0415, 1250, 852},
      {0x0419, 1251, 866}, {0x0408, 1253, 737}, {0x041F, 1254, 857}, {0x040D, 1255, 862},
      {0x0401, 1256, 720}, {0x0425, 1257, 775}, {0x042A, 1258, 1258}, {0x081A, 1250, 852},
      {0x0C1A, 1251, 855},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text::ansiCodePageOf(c.lcid), c.ansi) << std::hex << c.lcid;
    EXPECT_EQ(text::oemCodePageOf(c.lcid), c.oem) << std::hex << c.lcid;
  }
}

TEST(CodePage, HostSystemLocaleSetsTheAnsiCodePage) {
  {
    kipotest::TestHost host;
    EXPECT_EQ(text::ansiCodePage(), 1252u);
    EXPECT_EQ(text::oemCodePage(), 437u);
    EXPECT_EQ(text::ansiToWide("\x80"), u"\u20ac");
  }
  platform::host::HostOptions options;
  options.facts["system_locale"] = "0411";
  options.facts["user_locale"] = "0409";  // the user locale does not choose the code page
  kipotest::TestHost host(options);
  EXPECT_EQ(text::ansiCodePage(), 932u);
  const std::u16string japanese = u"\u65e5\u672c\u8a9e\u30c6\u30ad\u30b9\u30c8 \uff71";  // with half-width katakana
  std::string bytes = text::wideToAnsi(japanese);
  EXPECT_EQ(bytes, "\x93\xfa\x96\x7b\x8c\xea\x83\x65\x83\x4c\x83\x58\x83\x67 \xb1");
  EXPECT_EQ(text::ansiToWide(bytes), japanese);
}

TEST(CodePage, WindowsDefinitionsOf1252And932) {
  // 0x80-0x9F are the Windows block (euro, quotes), and the five bytes 1252 leaves undefined map
  // to the C1 controls, so every byte survives a round trip.
  EXPECT_EQ(decoded(1252, "\x80\x85\x91\x92\x9f"), u"\u20ac\u2026\u2018\u2019\u0178");
  EXPECT_EQ(decoded(1252, "\x81\x8d\x8f\x90\x9d"), u"\u0081\u008d\u008f\u0090\u009d");
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(encoded(1252, decoded(1252, all)), all);

  EXPECT_EQ(decoded(932, "\x5c\x7e"), u"\\~");  // ASCII stays ASCII, as on Windows
  EXPECT_EQ(decoded(932, "\x80\xa0\xfd\xfe\xff"), u"\u0080\uf8f0\uf8f1\uf8f2\uf8f3");
  EXPECT_EQ(encoded(932, u"\u0080\uf8f0\uf8f3"), "\x80\xa0\xff");
  EXPECT_EQ(decoded(932, "\x87\x40"), u"\u2460");  // NEC row 13 (circled one), a Windows extension
  EXPECT_EQ(decoded(936, "\x80"), u"\u20ac");
  EXPECT_EQ(decoded(949, "\xb0\xa1"), u"\uac00");
  EXPECT_EQ(decoded(950, "\xa4\x40"), u"\u4e00");
  EXPECT_EQ(decoded(874, "\xa1"), u"\u0e01");
}

TEST(CodePage, UnmappableAndInvalid) {
  bool used = false;
  EXPECT_EQ(encoded(1252, u"a\u4e00b", &used), "a?b");
  EXPECT_TRUE(used);
  used = false;
  EXPECT_EQ(encoded(1252, u"\U0001F600", &used, "*"), "*");  // one default for a surrogate pair
  EXPECT_TRUE(used);
  used = false;
  EXPECT_EQ(encoded(932, u"x\u0e01", &used), "x?");
  EXPECT_TRUE(used);
  used = false;
  encoded(1252, u"plain", &used);
  EXPECT_FALSE(used);

  struct Case {
    std::string bytes;
    std::u16string want;
  } invalid932[] = {
      {"a\x81", u"a\u30fb"},         // lead byte at the end
      {"\x81 b", u"\u30fb b"},       // lead byte before a byte that cannot follow it
      {"\x85\x40", u"\u30fb"},       // an unassigned double-byte character
  };
  for (const auto& c : invalid932) {
    bool bad = false;
    EXPECT_EQ(decoded(932, c.bytes, &bad), c.want);
    EXPECT_TRUE(bad);
  }
  bool bad = false;
  decoded(932, "\x82\xa0", &bad);  // hiragana small a: valid
  EXPECT_FALSE(bad);
  EXPECT_FALSE(text::codePageSupported(12345));
  std::u16string out;
  EXPECT_FALSE(text::decode(12345, "x", out));
  EXPECT_TRUE(text::isLeadByte(932, 0x81));
  EXPECT_FALSE(text::isLeadByte(932, 0xA1));
  EXPECT_FALSE(text::isLeadByte(1252, 0x81));
}

TEST(CodePage, Utf8AsWindowsXpReadsIt) {
  struct Case {
    std::string bytes;
    std::u16string want;
    bool invalid;
  } cases[] = {
      {"a\xc3\xa9\xe6\x97\xa5", u"a\u00e9\u65e5", false},
      {"\xf0\x9f\x98\x80", u"\U0001F600", false},
      {"a\xffz", u"az", true},                 // invalid bytes are dropped
      {"\xc0\xaf", u"", true},                 // a non-shortest form is dropped
      {"\xe0\x80\xaf", u"", true},
      {"\xed\xa0\x80", u"\xd800", false},       // an encoded surrogate half decodes to itself
      {"\xe6\x97", u"", true},                 // truncated sequence
  };
  for (const auto& c : cases) {
    bool bad = false;
    EXPECT_EQ(decoded(text::CodePageUtf8, c.bytes, &bad), c.want);
    EXPECT_EQ(bad, c.invalid);
  }
  EXPECT_EQ(encoded(text::CodePageUtf8, u"\u00e9\U0001F600"), "\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(encoded(text::CodePageUtf8, std::u16string(1, u'\xdc00')), "\xed\xb0\x80");  // unpaired: kept
}
