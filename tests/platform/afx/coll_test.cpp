// Collections: CArray growth and insertion rules, CList positions, CMap lookups and its
// enumeration order, and the named collections.
#include "platform/afx/coll.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

template <class A>
std::vector<int> items(const A& a) {
  std::vector<int> out;
  for (INT_PTR i = 0; i < a.GetSize(); ++i) out.push_back(static_cast<int>(a[i]));
  return out;
}

using V = std::vector<int>;

TEST(CArray, GrowInsertRemove) {
  CDWordArray a;
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.GetUpperBound(), -1);
  EXPECT_EQ(a.Add(10), 0);
  EXPECT_EQ(a.Add(20), 1);
  a.SetAtGrow(4, 50);
  EXPECT_EQ(items(a), (V{10, 20, 0, 0, 50})) << "grown elements are zero";
  a.InsertAt(1, 15, 2);
  EXPECT_EQ(items(a), (V{10, 15, 15, 20, 0, 0, 50}));
  a.InsertAt(9, 90);
  EXPECT_EQ(items(a), (V{10, 15, 15, 20, 0, 0, 50, 0, 0, 90})) << "insert past the end grows first";
  a.RemoveAt(1, 5);
  EXPECT_EQ(items(a), (V{10, 50, 0, 0, 90}));
  a.SetSize(2);
  EXPECT_EQ(items(a), (V{10, 50}));
  a.ElementAt(1) = 55;
  a.SetAt(0, 11);
  EXPECT_EQ(a.GetAt(1), 55u);
  EXPECT_EQ(a.GetData()[0], 11u);

  CDWordArray b;
  b.Add(1);
  EXPECT_EQ(b.Append(a), 1) << "Append returns the index of the first new element";
  EXPECT_EQ(items(b), (V{1, 11, 55}));
  b.Copy(a);
  EXPECT_EQ(items(b), (V{11, 55}));
  b.Append(b);
  EXPECT_EQ(items(b), (V{11, 55, 11, 55}));
  b.RemoveAll();
  EXPECT_EQ(b.GetCount(), 0);
}

TEST(CArray, AddOfOwnElementSurvivesReallocation) {
  CStringArray a;
  a.Add(u"first");
  for (int i = 0; i < 100; ++i) a.Add(a[0]);
  EXPECT_EQ(a.GetSize(), 101);
  EXPECT_EQ(a[100], u"first");
}

template <class L>
std::vector<std::string> listItems(L& l) {
  std::vector<std::string> out;
  for (POSITION pos = l.GetHeadPosition(); pos;) out.push_back(platform::text::toUtf8(l.GetNext(pos).view()));
  return out;
}
using S = std::vector<std::string>;

TEST(CList, PositionsInsertAndRemove) {
  CStringList l;
  l.AddTail(u"b");
  l.AddHead(u"a");
  POSITION c = l.AddTail(u"c");
  EXPECT_EQ(listItems(l), (S{"a", "b", "c"}));
  l.InsertBefore(c, u"b2");
  l.InsertAfter(c, u"d");
  l.InsertAfter(nullptr, u"tail");
  EXPECT_EQ(listItems(l), (S{"a", "b", "b2", "c", "d", "tail"}));
  EXPECT_EQ(l.GetCount(), 6);

  POSITION found = l.Find(u"c");
  ASSERT_EQ(found, c);
  EXPECT_EQ(l.Find(u"c", c), nullptr) << "the search starts after the position given";
  EXPECT_EQ(l.Find(u"zz"), nullptr);
  EXPECT_EQ(l.GetAt(l.FindIndex(1)), u"b");
  EXPECT_EQ(l.FindIndex(6), nullptr);
  EXPECT_EQ(l.FindIndex(-1), nullptr);

  l.SetAt(found, u"C");
  l.RemoveAt(l.Find(u"b2"));
  EXPECT_EQ(l.RemoveHead(), u"a");
  EXPECT_EQ(l.RemoveTail(), u"tail");
  EXPECT_EQ(listItems(l), (S{"b", "C", "d"}));
  EXPECT_EQ(l.GetHead(), u"b");
  EXPECT_EQ(l.GetTail(), u"d");

  // Walking backwards.
  std::string back;
  for (POSITION pos = l.GetTailPosition(); pos;) back += platform::text::toUtf8(l.GetPrev(pos).view());
  EXPECT_EQ(back, "dCb");

  // Removing while iterating: GetNext moves on before the removal.
  for (POSITION pos = l.GetHeadPosition(); pos;) {
    POSITION here = pos;
    if (l.GetNext(pos) == u"C") l.RemoveAt(here);
  }
  EXPECT_EQ(listItems(l), (S{"b", "d"}));
  l.RemoveAll();
  EXPECT_TRUE(l.IsEmpty());
  EXPECT_EQ(l.GetHeadPosition(), nullptr);
}

TEST(CList, ObjectListsDoNotOwn) {
  struct Counted : CObject {
    explicit Counted(int* n) : n_(n) { ++*n_; }
    ~Counted() override { --*n_; }
    int* n_;
  };
  int alive = 0;
  Counted* one = new Counted(&alive);
  {
    CObList list;
    list.AddTail(one);
    CObArray array;
    array.Add(one);
  }
  EXPECT_EQ(alive, 1) << "the product deletes what it put in";
  delete one;
}

TEST(CMap, SetLookupRemove) {
  CMapStringToString m;
  EXPECT_TRUE(m.IsEmpty());
  m.SetAt(u"key", u"value");
  m[u"other"] = u"2";
  m.SetAt(u"key", u"changed");
  EXPECT_EQ(m.GetCount(), 2);

  CString value(u"sentinel");
  EXPECT_FALSE(m.Lookup(u"KEY", value)) << "keys are case-sensitive";
  EXPECT_EQ(value, u"sentinel") << "a failed lookup leaves the value alone";
  EXPECT_TRUE(m.Lookup(u"key", value));
  EXPECT_EQ(value, u"changed");

  EXPECT_TRUE(m.RemoveKey(u"key"));
  EXPECT_FALSE(m.RemoveKey(u"key"));
  EXPECT_EQ(m.GetCount(), 1);
  m.RemoveAll();
  EXPECT_EQ(m.GetStartPosition(), nullptr);

  CMapPtrToPtr pointers;
  int a = 0, b = 0;
  pointers[&a] = &b;
  void* got = nullptr;
  EXPECT_TRUE(pointers.Lookup(&a, got));
  EXPECT_EQ(got, &b);
  EXPECT_FALSE(pointers.Lookup(&b, got));
}

TEST(CMap, EnumerationIsByBucketThenNewestFirst) {
  CMap<int, int, int, int> m;
  m.InitHashTable(17);
  // Integer keys hash to key >> 4: 0x10 and 0x120 share bucket 1 (1 and 18 mod 17), 0x20 is bucket 2.
  m[0x20] = 1;
  m[0x10] = 2;
  m[0x120] = 3;
  std::vector<int> keys;
  for (POSITION pos = m.GetStartPosition(); pos;) {
    int key, value;
    m.GetNextAssoc(pos, key, value);
    keys.push_back(key);
  }
  EXPECT_EQ(keys, (V{0x120, 0x10, 0x20}));
}

TEST(CMap, ManyStringKeysAllFoundAndEnumeratedOnce) {
  CMapStringToPtr m;
  for (int i = 0; i < 1000; ++i) {
    CString key;
    key.Format(u"key%d", i);
    m[key] = reinterpret_cast<void*>(static_cast<INT_PTR>(i + 1));
  }
  EXPECT_EQ(m.GetCount(), 1000);
  std::set<std::u16string> seen;
  for (POSITION pos = m.GetStartPosition(); pos;) {
    CString key;
    void* value;
    m.GetNextAssoc(pos, key, value);
    EXPECT_TRUE(seen.insert(key.str()).second);
  }
  EXPECT_EQ(seen.size(), 1000u);
  void* value = nullptr;
  EXPECT_TRUE(m.Lookup(u"key777", value));
  EXPECT_EQ(value, reinterpret_cast<void*>(778));
}

}  // namespace
