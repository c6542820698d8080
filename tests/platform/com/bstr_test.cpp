// BSTR rules: length prefix independent of NULs, the NUL after the data, null as empty,
// byte-length strings, reallocation from the string itself.
#include "platform/com/bstr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::u16string contents(BSTR s) { return std::u16string(s, SysStringLen(s)); }

TEST(Bstr, NullIsAnEmptyStringEverywhere) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);  // allowed

  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr) << "an empty string is not a null BSTR";
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');
  SysFreeString(empty);
}

TEST(Bstr, LengthCountsEmbeddedNulsAndDataIsTerminated) {
  const char16_t text[] = u"ab\0cd";
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  EXPECT_EQ(contents(s), std::u16string(text, 5));
  EXPECT_EQ(s[5], u'\0') << "a NUL follows the data";
  // Read as an ordinary C string it stops at the embedded NUL; the prefix still knows better.
  EXPECT_EQ(std::char_traits<char16_t>::length(s), 2u);
  SysFreeString(s);

  BSTR stopsAtNul = SysAllocString(text);
  EXPECT_EQ(SysStringLen(stopsAtNul), 2u) << "SysAllocString copies up to the first NUL";
  SysFreeString(stopsAtNul);
}

TEST(Bstr, NullSourceGivesZeroedCharactersOfTheLengthAsked) {
  BSTR s = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 4u);
  EXPECT_EQ(contents(s), std::u16string(4, u'\0'));
  SysFreeString(s);
}

TEST(Bstr, ByteLengthStringsKeepAnOddLength) {
  BSTR s = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u) << "characters are whole code units";
  const auto* bytes = reinterpret_cast<const unsigned char*>(s);
  EXPECT_EQ(std::memcmp(bytes, "abc", 3), 0);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4], 0) << "a whole 16-bit NUL follows an odd length";
  SysFreeString(s);
}

TEST(Bstr, ReallocationMayCopyFromTheStringItself) {
  BSTR s = SysAllocString(u"hello world");
  ASSERT_TRUE(SysReAllocString(&s, s + 6));
  EXPECT_EQ(contents(s), u"world");
  ASSERT_TRUE(SysReAllocStringLen(&s, s, 3));
  EXPECT_EQ(contents(s), u"wor");
  SysFreeString(s);

  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

}  // namespace
