// CString: the class library's clamping, search, edit, trim and tokenizing rules, buffer access
// for calls that fill a caller's buffer, Format, and LoadString through the loader hook.
#include "platform/afx/cstring.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>

// Failures show the text, not the object's bytes.
void PrintTo(const CString& s, std::ostream* os) { *os << '"' << platform::text::toUtf8(s.view()) << '"'; }

namespace {

std::string narrow(const CString& s) { return platform::text::toUtf8(s.view()); }

TEST(CString, ConstructionFromNarrowWideCharAndCount) {
  EXPECT_EQ(CString("caf\xe9"), CString(u"café"));  // narrow text goes through the ANSI code page
  EXPECT_EQ(CString(u"abcdef", 3), u"abc");
  EXPECT_EQ(CString(u'x', 3), u"xxx");
  EXPECT_EQ(CString(u'x', 0), u"");
  EXPECT_TRUE(CString(static_cast<LPCWSTR>(nullptr)).IsEmpty());
  CString moved(u"keep");
  CString target(std::move(moved));
  EXPECT_EQ(target, u"keep");
  EXPECT_EQ(target.GetLength(), 4);
  EXPECT_EQ(target.GetAt(4), u'\0') << "the terminator is readable, as with the class library";
}

TEST(CString, LeftMidRightClampCounts) {
  const CString s(u"abcdef");
  struct Case {
    const char* what;
    CString got;
    const char16_t* want;
  } cases[] = {
      {"Left(3)", s.Left(3), u"abc"},
      {"Left(0)", s.Left(0), u""},
      {"Left(-1)", s.Left(-1), u""},
      {"Left(99)", s.Left(99), u"abcdef"},
      {"Right(2)", s.Right(2), u"ef"},
      {"Right(-5)", s.Right(-5), u""},
      {"Right(99)", s.Right(99), u"abcdef"},
      {"Mid(2)", s.Mid(2), u"cdef"},
      {"Mid(6)", s.Mid(6), u""},
      {"Mid(9)", s.Mid(9), u""},
      {"Mid(-3)", s.Mid(-3), u"abcdef"},
      {"Mid(1,2)", s.Mid(1, 2), u"bc"},
      {"Mid(4,99)", s.Mid(4, 99), u"ef"},
      {"Mid(-2,3)", s.Mid(-2, 3), u"abc"},
      {"Mid(2,-1)", s.Mid(2, -1), u""},
      {"Mid(7,2)", s.Mid(7, 2), u""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(CString, FindAndReverseFind) {
  const CString s(u"a.b.c");
  struct Case {
    const char* what;
    int got;
    int want;
  } cases[] = {
      {"Find('.')", s.Find(u'.'), 1},
      {"Find('.', 2)", s.Find(u'.', 2), 3},
      {"Find('.', 4)", s.Find(u'.', 4), -1},
      {"Find('a', -1): a negative start finds nothing", s.Find(u'a', -1), -1},
      {"Find('c', 5): start at the end", s.Find(u'c', 5), -1},
      {"Find(\"b.c\")", s.Find(u"b.c"), 2},
      {"Find(\"b.c\", 3)", s.Find(u"b.c", 3), -1},
      {"Find(\"\", 5): empty text is found at a start equal to the length", s.Find(u"", 5), 5},
      {"Find(\"\", 6)", s.Find(u"", 6), -1},
      {"Find(\"x\")", s.Find(u"x"), -1},
      {"ReverseFind('.')", s.ReverseFind(u'.'), 3},
      {"ReverseFind('z')", s.ReverseFind(u'z'), -1},
      {"FindOneOf(\"cb\")", s.FindOneOf(u"cb"), 2},
      {"FindOneOf(\"\")", s.FindOneOf(u""), -1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(CString, ReplaceRemoveInsertDeleteReturnWhatTheLibraryReturns) {
  struct Case {
    const char16_t* start;
    std::function<int(CString&)> edit;
    int result;
    const char16_t* after;
  } cases[] = {
      {u"aaaa", [](CString& s) { return s.Replace(u"aa", u"b"); }, 2, u"bb"},
      {u"aaa", [](CString& s) { return s.Replace(u"aa", u"aaa"); }, 1, u"aaaa"},  // no rescan of inserted text
      {u"abc", [](CString& s) { return s.Replace(u"", u"x"); }, 0, u"abc"},
      {u"abc", [](CString& s) { return s.Replace(u"b", u""); }, 1, u"ac"},
      {u"abc", [](CString& s) { return s.Replace(u"z", u"y"); }, 0, u"abc"},
      {u"a/b/c", [](CString& s) { return s.Replace(u'/', u'\\'); }, 2, u"a\\b\\c"},
      {u"aa", [](CString& s) { return s.Replace(u'a', u'a'); }, 0, u"aa"},  // same char: nothing counted
      {u"banana", [](CString& s) { return s.Remove(u'a'); }, 3, u"bnn"},
      {u"abc", [](CString& s) { return s.Insert(1, u'X'); }, 4, u"aXbc"},
      {u"abc", [](CString& s) { return s.Insert(99, u"YZ"); }, 5, u"abcYZ"},
      {u"abc", [](CString& s) { return s.Insert(-4, u"Y"); }, 4, u"Yabc"},
      {u"abcdef", [](CString& s) { return s.Delete(1, 2); }, 4, u"adef"},
      {u"abcdef", [](CString& s) { return s.Delete(4, 99); }, 4, u"abcd"},
      {u"abcdef", [](CString& s) { return s.Delete(-2, 1); }, 5, u"bcdef"},
      {u"abcdef", [](CString& s) { return s.Delete(9, 1); }, 6, u"abcdef"},
      {u"abcdef", [](CString& s) { return s.Delete(2, 0); }, 6, u"abcdef"},
  };
  for (const Case& c : cases) {
    CString s(c.start);
    EXPECT_EQ(c.edit(s), c.result) << narrow(CString(c.start)) << " -> " << narrow(s);
    EXPECT_EQ(s, c.after) << narrow(CString(c.start));
  }
}

TEST(CString, ReplaceWithTextFromItself) {
  CString s(u"abcabc");
  EXPECT_EQ(s.Replace(s.GetString() + 3, u"x"), 2);
  EXPECT_EQ(s, u"xx");
}

TEST(CString, TrimWhitespaceCharAndSet) {
  struct Case {
    const char16_t* start;
    std::function<void(CString&)> trim;
    const char16_t* after;
  } cases[] = {
      {u" \t\r\n x y \n", [](CString& s) { s.Trim(); }, u"x y"},
      {u"  x  ", [](CString& s) { s.TrimLeft(); }, u"x  "},
      {u"  x  ", [](CString& s) { s.TrimRight(); }, u"  x"},
      {u"\u00a0x\u3000", [](CString& s) { s.Trim(); }, u"x"},
      {u"   ", [](CString& s) { s.Trim(); }, u""},
      {u"xxaxx", [](CString& s) { s.Trim(u'x'); }, u"a"},
      {u"xxaxx", [](CString& s) { s.TrimLeft(u'x'); }, u"axx"},
      {u"xxaxx", [](CString& s) { s.TrimRight(u'x'); }, u"xxa"},
      {u"\\\\share\\", [](CString& s) { s.TrimRight(u"\\/"); }, u"\\\\share"},
      {u"-=a=-", [](CString& s) { s.Trim(u"=-"); }, u"a"},
      {u"-=a=-", [](CString& s) { s.TrimLeft(u""); }, u"-=a=-"},
  };
  for (const Case& c : cases) {
    CString s(c.start);
    c.trim(s);
    EXPECT_EQ(s, c.after) << narrow(CString(c.start));
  }
}

// Collects every token as the product's loops do: until start becomes -1.
std::vector<std::string> tokens(const CString& s, LPCWSTR delims, int start = 0) {
  std::vector<std::string> out;
  for (CString t = s.Tokenize(delims, start); start != -1; t = s.Tokenize(delims, start)) out.push_back(narrow(t));
  return out;
}

TEST(CString, TokenizeSkipsEmptyTokensAndEndsWithMinusOne) {
  using V = std::vector<std::string>;
  EXPECT_EQ(tokens(u"a,b,c", u","), (V{"a", "b", "c"}));
  EXPECT_EQ(tokens(u",,a,,b,,", u","), (V{"a", "b"})) << "runs of delimiters make no empty tokens";
  EXPECT_EQ(tokens(u"a;b c", u"; "), (V{"a", "b", "c"}));
  EXPECT_EQ(tokens(u"", u","), V{});
  EXPECT_EQ(tokens(u",,,", u","), V{});
  EXPECT_EQ(tokens(u"a,b", u",", 2), V{"b"});
  EXPECT_EQ(tokens(u"a,b", u",", 9), V{});

  int start = 0;
  CString s(u"one two");
  EXPECT_EQ(s.Tokenize(u" ", start), u"one");
  EXPECT_EQ(start, 4) << "start is past the delimiter that ended the token";
  EXPECT_EQ(s.Tokenize(u" ", start), u"two");
  EXPECT_EQ(start, 8);
  EXPECT_EQ(s.Tokenize(u" ", start), u"");
  EXPECT_EQ(start, -1);

  start = 2;
  EXPECT_EQ(s.Tokenize(u"", start), u"e two") << "no delimiters: the rest, start unchanged";
  EXPECT_EQ(start, 2);
}

TEST(CString, SpanIncludingAndExcluding) {
  EXPECT_EQ(CString(u"123abc").SpanIncluding(u"0123456789"), u"123");
  EXPECT_EQ(CString(u"abc").SpanIncluding(u"0123456789"), u"");
  EXPECT_EQ(CString(u"name=value").SpanExcluding(u"=;"), u"name");
  EXPECT_EQ(CString(u"name").SpanExcluding(u"=;"), u"name");
}

TEST(CString, CaseMappingAndComparison) {
  CString s(u"Straße Ärger k");
  s.MakeUpper();
  EXPECT_EQ(s, u"STRAßE ÄRGER K") << "one-to-one mapping only: the length never changes";
  s.MakeLower();
  EXPECT_EQ(s, u"straße ärger k");
  EXPECT_EQ(CString(u"abc").MakeReverse(), u"cba");

  EXPECT_LT(CString(u"ABC").Compare(u"abc"), 0) << "ordinal";
  EXPECT_EQ(CString(u"ÄBC").CompareNoCase(u"äbc"), 0);
  EXPECT_GT(CString(u"b").CompareNoCase(u"A"), 0);
  EXPECT_LT(CString(u"ab").CompareNoCase(u"ABC"), 0);
  EXPECT_EQ(CString(u"x").Compare(u"x"), 0);

  EXPECT_TRUE(CString(u"a") == u"a");
  EXPECT_TRUE(u"a" == CString(u"a"));
  EXPECT_TRUE(CString(u"a") != CString(u"b"));
  EXPECT_TRUE(CString(u"a") < CString(u"b"));
  EXPECT_TRUE(CString(u"b") >= u"a");
}

TEST(CString, ConcatenationWithTextAndChars) {
  CString s(u"a");
  s += u"b";
  s += CString(u"c");
  s += u'd';
  s += "e";
  EXPECT_EQ(s, u"abcde");
  EXPECT_EQ(u"<" + s + u'>', u"<abcde>");
  EXPECT_EQ(u'[' + CString(u"x") + CString(u"]"), u"[x]");
  CString self(u"ab");
  self += self;
  EXPECT_EQ(self, u"abab");
}

TEST(CString, GetBufferAndReleaseBuffer) {
  struct Case {
    const char* what;
    const char16_t* start;
    int minLength;
    const char16_t* written;  // copied with its NUL into the buffer
    int release;
    const char16_t* after;
  } cases[] = {
      {"fill a larger buffer, length up to the NUL", u"", 10, u"hello", -1, u"hello"},
      {"explicit length", u"", 10, u"hello", 3, u"hel"},
      {"smaller minimum keeps the text", u"keep me", 2, nullptr, -1, u"keep me"},
      {"written over a longer text", u"longer text", 4, u"ab", -1, u"ab"},
      {"release 0 empties", u"abc", 0, nullptr, 0, u""},
  };
  for (const Case& c : cases) {
    CString s(c.start);
    LPWSTR buffer = s.GetBuffer(c.minLength);
    if (c.written) std::char_traits<char16_t>::copy(buffer, c.written, std::char_traits<char16_t>::length(c.written) + 1);
    s.ReleaseBuffer(c.release);
    EXPECT_EQ(s, c.after) << c.what;
    EXPECT_EQ(s.GetLength(), static_cast<int>(std::char_traits<char16_t>::length(c.after))) << c.what;
  }

  CString fixed;
  LPWSTR p = fixed.GetBufferSetLength(3);
  p[0] = u'x';
  p[1] = u'y';
  p[2] = u'z';
  fixed.ReleaseBuffer(3);
  EXPECT_EQ(fixed, u"xyz");
  EXPECT_EQ(fixed.GetString()[3], u'\0');
}

TEST(CString, FormatFollowsMicrosoftRulesAndTakesCStrings) {
  CString s;
  s.Format(u"%s has %d items (%S) %08X", CString(u"Folder"), 42, "narrow", 0xBEEFu);
  EXPECT_EQ(s, u"Folder has 42 items (narrow) 0000BEEF");
  s.AppendFormat(u" %c%%", u'!');
  EXPECT_EQ(s, u"Folder has 42 items (narrow) 0000BEEF !%");
  const CString fromOutside(u"100% %s sure");
  s.Format(u"%s", fromOutside);
  EXPECT_EQ(s, u"100% %s sure") << "outside text as an argument is never interpreted";
}

TEST(CString, FormatMessageInserts) {
  CString s;
  s.FormatMessage(u"%2 then %1!d! (%1!04d!)%%%n", 7, CString(u"two"));
  EXPECT_EQ(s, u"two then 7 (0007)%\r\n");
}

class StringLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::afx::setStringLoader([this](UINT id, std::u16string& out) {
      auto it = table_.find(id);
      if (it == table_.end()) return false;
      out = it->second;
      return true;
    });
  }
  void TearDown() override { platform::afx::setStringLoader({}); }
  std::map<UINT, std::u16string> table_{{553, u"Cannot read %s."}, {12, u"twelve"}};
};

TEST_F(StringLoaderTest, LoadStringAndFormatById) {
  CString s(u"unchanged");
  EXPECT_FALSE(s.LoadString(999));
  EXPECT_EQ(s, u"unchanged") << "a missing string leaves the CString as it was";
  EXPECT_TRUE(s.LoadString(12));
  EXPECT_EQ(s, u"twelve");
  s.Format(553, u"C:\\x.dat");
  EXPECT_EQ(s, u"Cannot read C:\\x.dat.");
}

TEST(CString, LoadStringWithoutLoaderFails) {
  CString s(u"same");
  EXPECT_FALSE(s.LoadString(1));
  EXPECT_EQ(s, u"same");
}

}  // namespace
