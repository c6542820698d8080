// CArchive over CMemFile: golden bytes of every scalar and of the string encoding, narrow strings
// read back, object records, collections, and a table of corrupt inputs that must throw a
// CArchiveException without allocating what a corrupt length asks for.
#include "platform/afx/archive.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

#include "platform/afx/coll.h"

void PrintTo(const CString& s, std::ostream* os) { *os << '"' << platform::text::toUtf8(s.view()) << '"'; }

// A serializable test class with a pointer to another object, to exercise back references.
class CNode : public CObject {
  DECLARE_SERIAL(CNode)
 public:
  CString name;
  CNode* next = nullptr;
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar << name << next;
    } else {
      ar >> name >> next;
    }
  }
};
IMPLEMENT_SERIAL(CNode, CObject, 3)

class CVersioned : public CObject {
  DECLARE_SERIAL(CVersioned)
 public:
  UINT seenSchema = 0;
  void Serialize(CArchive& ar) override {
    if (ar.IsLoading()) seenSchema = ar.GetObjectSchema();
  }
};
IMPLEMENT_SERIAL(CVersioned, CObject, VERSIONABLE_SCHEMA | 5)

namespace {

using Bytes = std::vector<BYTE>;

Bytes contents(const CMemFile& file) { return Bytes(file.data(), file.data() + file.GetLength()); }

// Stores with `write` and returns the bytes.
Bytes store(const std::function<void(CArchive&)>& write, int bufSize = 4096) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store, bufSize);
    write(ar);
    ar.Close();
  }
  return contents(file);
}

// Loads `bytes` with `read`; returns the CArchiveException cause thrown, or -1 when none.
int load(const Bytes& bytes, const std::function<void(CArchive&)>& read, int bufSize = 4096) {
  Bytes copy = bytes;
  CMemFile file(copy.data(), static_cast<UINT>(copy.size()));
  CArchive ar(&file, CArchive::load, bufSize);
  try {
    read(ar);
  } catch (CArchiveException* e) {
    const int cause = e->m_cause;
    e->Delete();
    return cause;
  }
  return -1;
}

Bytes header(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) b.push_back(static_cast<BYTE>(v));
  return b;
}

TEST(CArchive, ScalarsAreLittleEndianWithTheirWindowsSizes) {
  const Bytes bytes = store([](CArchive& ar) {
    ar << static_cast<BYTE>(0x12) << static_cast<WORD>(0x3456) << static_cast<LONG>(-2)
       << static_cast<DWORD>(0xDEADBEEF) << static_cast<short>(-3) << 'A' << true << 1.5f << -2.25
       << static_cast<LONGLONG>(-5) << static_cast<ULONGLONG>(0x0102030405060708ULL) << u'é';
  });
  const Bytes want = header({0x12, 0x56, 0x34, 0xFE, 0xFF, 0xFF, 0xFF, 0xEF, 0xBE, 0xAD, 0xDE, 0xFD, 0xFF, 'A', 0x01,
                             0x00, 0x00, 0xC0, 0x3F,                          // 1.5f
                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xC0,  // -2.25
                             0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // -5
                             0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0xE9, 0x00});
  EXPECT_EQ(bytes, want);

  BYTE by;
  WORD w;
  LONG l;
  DWORD dw;
  short s;
  char c;
  bool b;
  float f;
  double d;
  LONGLONG ll;
  ULONGLONG ull;
  char16_t wc;
  EXPECT_EQ(load(bytes, [&](CArchive& ar) { ar >> by >> w >> l >> dw >> s >> c >> b >> f >> d >> ll >> ull >> wc; }), -1);
  EXPECT_EQ(by, 0x12);
  EXPECT_EQ(w, 0x3456);
  EXPECT_EQ(l, -2);
  EXPECT_EQ(dw, 0xDEADBEEFu);
  EXPECT_EQ(s, -3);
  EXPECT_EQ(c, 'A');
  EXPECT_TRUE(b);
  EXPECT_EQ(f, 1.5f);
  EXPECT_EQ(d, -2.25);
  EXPECT_EQ(ll, -5);
  EXPECT_EQ(ull, 0x0102030405060708ULL);
  EXPECT_EQ(wc, u'é');
}

TEST(CArchive, StringsCarryTheUnicodeMarkerAndEscapedLength) {
  struct Case {
    const char* what;
    int length;
    Bytes prefix;
  } cases[] = {
      {"empty", 0, header({0xFF, 0xFE, 0xFF, 0x00})},
      {"254: one byte", 254, header({0xFF, 0xFE, 0xFF, 0xFE})},
      {"255: escaped to a WORD", 255, header({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00})},
      {"65533: largest WORD", 65533, header({0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF})},
      {"65534: the marker value cannot be a length", 65534,
       header({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
      {"65535: DWORD", 65535, header({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00})},
  };
  for (const Case& c : cases) {
    CString text;
    for (int i = 0; i < c.length; ++i) text += static_cast<char16_t>(u'a' + i % 26);
    const Bytes bytes = store([&](CArchive& ar) { ar << text; });
    ASSERT_EQ(bytes.size(), c.prefix.size() + 2 * static_cast<size_t>(c.length)) << c.what;
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(c.prefix.size())), c.prefix) << c.what;
    CString back(u"sentinel");
    EXPECT_EQ(load(bytes, [&](CArchive& ar) { ar >> back; }), -1) << c.what;
    EXPECT_EQ(back, text) << c.what;
  }

  EXPECT_EQ(store([](CArchive& ar) { ar << CString(u"abc"); }),
            header({0xFF, 0xFE, 0xFF, 0x03, 'a', 0, 'b', 0, 'c', 0}));
}

TEST(CArchive, NarrowStringsAreReadAndWidened) {
  CString back;
  EXPECT_EQ(load(header({0x04, 'c', 'a', 'f', 0xE9}), [&](CArchive& ar) { ar >> back; }), -1);
  EXPECT_EQ(back, u"café") << "narrow text is in the ANSI code page";

  Bytes longer = header({0xFF, 0x2C, 0x01});  // 300 bytes, length escaped to a WORD
  longer.insert(longer.end(), 300, 'x');
  EXPECT_EQ(load(longer, [&](CArchive& ar) { ar >> back; }), -1);
  EXPECT_EQ(back, CString(u'x', 300));
}

TEST(CArchive, CorruptOrTruncatedInputThrowsWithoutHugeAllocations) {
  CString s;
  DWORD dw;
  CDWordArray numbers;
  CStringArray strings;
  struct Case {
    const char* what;
    Bytes bytes;
    std::function<void(CArchive&)> read;
    int cause;
  } cases[] = {
      {"DWORD from two bytes", header({1, 2}), [&](CArchive& ar) { ar >> dw; }, CArchiveException::endOfFile},
      {"nothing left", {}, [&](CArchive& ar) { ar >> dw; }, CArchiveException::endOfFile},
      {"string shorter than its length", header({0xFF, 0xFE, 0xFF, 5, 'a', 0}), [&](CArchive& ar) { ar >> s; },
       CArchiveException::endOfFile},
      {"marker cut short", header({0xFF, 0xFE}), [&](CArchive& ar) { ar >> s; }, CArchiveException::endOfFile},
      {"length prefix cut short", header({0xFF, 0xFE, 0xFF, 0xFF, 0xFF}), [&](CArchive& ar) { ar >> s; },
       CArchiveException::endOfFile},
      {"2 G characters claimed", header({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0}),
       [&](CArchive& ar) { ar >> s; }, CArchiveException::endOfFile},
      {"64-bit length claimed", header({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0x10}),
       [&](CArchive& ar) { ar >> s; }, CArchiveException::endOfFile},
      {"two markers", header({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 0}), [&](CArchive& ar) { ar >> s; },
       CArchiveException::badIndex},
      {"array count beyond the data", header({0xFF, 0xFF, 0x00, 0x00, 0x00, 0x10, 1, 2, 3, 4}),
       [&](CArchive& ar) { numbers.Serialize(ar); }, CArchiveException::endOfFile},
      {"string array count beyond the data", header({0x10, 0x00, 0xFF, 0xFE, 0xFF, 0x00}),
       [&](CArchive& ar) { strings.Serialize(ar); }, CArchiveException::endOfFile},
  };
  for (const Case& c : cases) EXPECT_EQ(load(c.bytes, c.read), c.cause) << c.what;
}

TEST(CArchive, DirectionIsEnforced) {
  CMemFile file;
  CArchive storing(&file, CArchive::store);
  DWORD dw = 0;
  try {
    storing >> dw;
    ADD_FAILURE() << "read from a storing archive";
  } catch (CArchiveException* e) {
    EXPECT_EQ(e->m_cause, CArchiveException::writeOnly);
    e->Delete();
  }
  EXPECT_EQ(load(header({1, 2, 3, 4}), [](CArchive& ar) { ar << static_cast<DWORD>(1); }), CArchiveException::readOnly);
}

TEST(CArchive, SmallBuffersLargeTransfersAndFlushOnLoadRewindsTheFile) {
  Bytes big(10000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
  const Bytes bytes = store(
      [&](CArchive& ar) {
        ar << static_cast<BYTE>(1);
        ar.Write(big.data(), static_cast<UINT>(big.size()));
        ar << CString(u"end");
      },
      128);
  Bytes back(big.size());
  CString end;
  BYTE first = 0;
  EXPECT_EQ(load(
                bytes,
                [&](CArchive& ar) {
                  ar >> first;
                  EXPECT_EQ(ar.Read(back.data(), static_cast<UINT>(back.size())), back.size());
                  ar >> end;
                  BYTE past[4];
                  EXPECT_EQ(ar.Read(past, 4), 0u) << "Read returns what there is, without throwing";
                },
                128),
            -1);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(back, big);
  EXPECT_EQ(end, u"end");

  CMemFile file;
  const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  file.Write(eight, 8);
  file.SeekToBegin();
  CArchive ar(&file, CArchive::load);
  WORD w;
  ar >> w;
  ar.Flush();
  EXPECT_EQ(file.GetPosition(), 2u) << "read-ahead is given back to the file";
  ar.Close();
}

TEST(CArchive, DestructorFlushesWhatWasStored) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar << static_cast<DWORD>(7);
  }
  EXPECT_EQ(contents(file), header({7, 0, 0, 0}));
}

TEST(CArchive, TextLinesRoundTrip) {
  const Bytes bytes = store([](CArchive& ar) { ar.WriteString(u"one\r\ntwo\r\nlast"); });
  EXPECT_EQ(bytes.size(), 28u) << "UTF-16 characters, no terminator";
  std::vector<CString> lines;
  EXPECT_EQ(load(bytes,
                 [&](CArchive& ar) {
                   CString line;
                   while (ar.ReadString(line)) lines.push_back(line);
                 }),
            -1);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], u"one");
  EXPECT_EQ(lines[1], u"two");
  EXPECT_EQ(lines[2], u"last");
}

TEST(CArchive, ObjectsByClassNameWithBackReferencesAndNull) {
  CNode a, b;
  a.name = u"a";
  b.name = u"b";
  a.next = &b;
  b.next = &a;  // a cycle: written once, then referred to by index
  const Bytes bytes = store([&](CArchive& ar) { ar << &a << &b << static_cast<CObject*>(nullptr); });
  const Bytes classRecord = header({0xFF, 0xFF, 0x03, 0x00, 0x05, 0x00, 'C', 'N', 'o', 'd', 'e'});
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 11), classRecord);

  CNode* ra = nullptr;
  CNode* rb = nullptr;
  CObject* rnull = &a;
  EXPECT_EQ(load(bytes, [&](CArchive& ar) { ar >> ra >> rb >> rnull; }), -1);
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(ra->name, u"a");
  EXPECT_EQ(ra->next, rb) << "the same object is read once";
  EXPECT_EQ(rb->next, ra);
  EXPECT_EQ(rnull, nullptr);
  delete ra;
  delete rb;
}

TEST(CArchive, ObjectRecordsAreChecked) {
  CNode node;
  Bytes good = store([&](CArchive& ar) { ar << &node; });
  CObject* got = nullptr;
  CVersioned* versioned = nullptr;

  Bytes unknownClass = good;
  unknownClass[6] = 'X';  // "XNode"
  Bytes wrongSchema = good;
  wrongSchema[2] = 4;
  Bytes badIndex = header({0x05, 0x80});  // a class index never defined
  Bytes longName = header({0xFF, 0xFF, 0x03, 0x00, 0xFF, 0x7F});

  struct Case {
    const char* what;
    Bytes bytes;
    std::function<void(CArchive&)> read;
    int cause;
  } cases[] = {
      {"good", good, [&](CArchive& ar) { ar >> got; }, -1},
      {"unknown class", unknownClass, [&](CArchive& ar) { ar >> got; }, CArchiveException::badClass},
      {"schema differs", wrongSchema, [&](CArchive& ar) { ar >> got; }, CArchiveException::badSchema},
      {"undefined class index", badIndex, [&](CArchive& ar) { ar >> got; }, CArchiveException::badIndex},
      {"class name too long", longName, [&](CArchive& ar) { ar >> got; }, CArchiveException::badClass},
      {"not the class asked for", good, [&](CArchive& ar) { ar >> versioned; }, CArchiveException::badClass},
  };
  for (const Case& c : cases) {
    got = nullptr;
    EXPECT_EQ(load(c.bytes, c.read), c.cause) << c.what;
    delete got;
  }

  // A versionable class reads any schema and is told which one.
  Bytes older = store([](CArchive& ar) {
    CVersioned v;
    ar << &v;
  });
  ASSERT_EQ(older[2], 5);
  older[2] = 2;
  EXPECT_EQ(load(older, [&](CArchive& ar) { ar >> versioned; }), -1);
  ASSERT_NE(versioned, nullptr);
  EXPECT_EQ(versioned->seenSchema, 2u);
  delete versioned;
}

TEST(CArchive, CollectionsRoundTrip) {
  CDWordArray numbers;
  numbers.Add(1);
  numbers.Add(0x01020304);
  CStringArray strings;
  strings.Add(u"x");
  strings.Add(u"");
  CMapStringToString map;
  map[u"k"] = u"v";
  const Bytes bytes = store([&](CArchive& ar) {
    numbers.Serialize(ar);
    strings.Serialize(ar);
    map.Serialize(ar);
  });
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 10), header({2, 0, 1, 0, 0, 0, 4, 3, 2, 1}));

  CDWordArray numbersBack;
  CStringArray stringsBack;
  CMapStringToString mapBack;
  EXPECT_EQ(load(bytes,
                 [&](CArchive& ar) {
                   numbersBack.Serialize(ar);
                   stringsBack.Serialize(ar);
                   mapBack.Serialize(ar);
                 }),
            -1);
  ASSERT_EQ(numbersBack.GetSize(), 2);
  EXPECT_EQ(numbersBack[1], 0x01020304u);
  ASSERT_EQ(stringsBack.GetSize(), 2);
  EXPECT_EQ(stringsBack[0], u"x");
  CString v;
  EXPECT_TRUE(mapBack.Lookup(u"k", v));
  EXPECT_EQ(v, u"v");
}

TEST(CMemFile, GrowsSeeksAndRefusesToGrowAFixedBuffer) {
  CMemFile file(16);
  const BYTE abc[3] = {'a', 'b', 'c'};
  file.Seek(5, CFile::begin);
  file.Write(abc, 3);
  EXPECT_EQ(file.GetLength(), 8u);
  EXPECT_EQ(contents(file), header({0, 0, 0, 0, 0, 'a', 'b', 'c'})) << "the gap is zero";
  EXPECT_EQ(file.Seek(-2, CFile::end), 6u);
  BYTE two[4] = {};
  EXPECT_EQ(file.Read(two, 4), 2u);
  EXPECT_EQ(file.Read(two, 4), 0u);
  try {
    file.Seek(-1, CFile::begin);
    ADD_FAILURE() << "seek before the start";
  } catch (CFileException* e) {
    EXPECT_EQ(e->m_cause, CFileException::badSeek);
    e->Delete();
  }
  file.SetLength(2);
  EXPECT_EQ(file.GetPosition(), 2u);

  BYTE fixed[4] = {1, 2, 3, 4};
  CMemFile reader(fixed, 4);
  EXPECT_EQ(reader.GetLength(), 4u) << "a fixed buffer is its contents";
  reader.SeekToEnd();
  try {
    reader.Write(abc, 1);
    ADD_FAILURE() << "a fixed buffer grew";
  } catch (CMemoryException* e) {
    e->Delete();
  }
  EXPECT_EQ(reader.Detach(), fixed);
}

}  // namespace
