// CRegistry: root names, typed values and their encodings, subtree copies and their refusals, and
// the key dump: exact bytes, restoring, damaged and broken-off dumps, and a dump carried from one
// host to another.
#include "app/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/base/fault.h"
#include "tests/support/faults.h"
#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "tests/app/app_fixture.h"
#include "app/lingrove.h"

namespace {

namespace fs = std::filesystem;
using apptest::AppTest;

const CString kBase(u"HKEY_CURRENT_USER\\Software\\KipoTest");

CString under(const char16_t* rest) { return CString(kBase.str() + u"\\" + rest); }

// Little-endian dump bytes built by hand.
struct Bytes {
  std::string s;
  Bytes& u32(DWORD n) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(n >> (8 * i));
    return *this;
  }
  Bytes& tok(char16_t c) {
    s += static_cast<char>(c & 0xff);
    s += static_cast<char>(c >> 8);
    return *this;
  }
  Bytes& str(std::u16string_view t) {
    u32(static_cast<DWORD>(t.size() * 2));
    for (char16_t c : t) tok(c);
    return *this;
  }
  Bytes& raw(std::string_view b) {
    s += b;
    return *this;
  }
};

using kipotest::failCall;

bool keyExists(const CString& path) { return CRegistry(path).isOpen(); }

// Type and bytes of a value, read through a fresh object.
struct Stored {
  bool found = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};
Stored stored(const CString& path, LPCWSTR name) {
  CRegistry key(path);
  Stored s;
  s.found = key.getValueType(name, s.type) && key.getBytes(name, s.data);
  return s;
}
std::vector<BYTE> bytesOf(std::string_view s) { return std::vector<BYTE>(s.begin(), s.end()); }

class Registry : public AppTest {
 protected:
  // Loads the US English library, so message texts are the real ones.
  void useEnglish() {
    installLanguages({"USA"});
    english_ = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
  }
  fs::path file(const std::string& name) const { return host.c(name); }
  static CString winFile(const char16_t* name) { return CString(std::u16string(u"C:\\") + name); }

  std::unique_ptr<Lingrove> english_;
};

// ---- Roots and typed values ----------------------------------------------------------------------

TEST_F(Registry, RootNamesArePrefixesAndCaseSensitive) {
  struct Case {
    const char16_t* path;
    HKEY root;
    const char16_t* sub;
  } cases[] = {
      {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER, u""},
      {u"HKEY_CURRENT_USER\\Software\\X", HKEY_CURRENT_USER, u"Software\\X"},
      {u"HKEY_LOCAL_MACHINE\\SOFTWARE", HKEY_LOCAL_MACHINE, u"SOFTWARE"},
      {u"HKEY_CLASSES_ROOT\\.txt", HKEY_CLASSES_ROOT, u".txt"},
      {u"HKEY_USERS\\.DEFAULT", HKEY_USERS, u".DEFAULT"},
      {u"HKEY_CURRENT_CONFIG\\Software", HKEY_CURRENT_CONFIG, u"Software"},
      {u"hkey_current_user\\Software", nullptr, u""},
      {u"HKEY_PERFORMANCE_DATA", nullptr, u""},
      {u"Software\\X", nullptr, u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CRegistry::rootKeyFromName(CString(c.path)), c.root) << apptest::AppTest::utf8(CString(c.path));
    EXPECT_EQ(CRegistry::subkeyFromName(CString(c.path)), CString(c.sub));
  }
  CRegistry root(CString(u"HKEY_CURRENT_USER"));
  EXPECT_TRUE(root.isOpen());
  CStringList names;
  EXPECT_TRUE(root.getSubkeyNames(names, false));
  EXPECT_GT(names.GetCount(), 0);

  // No root: every operation fails, creating included.
  CRegistry lower(CString(u"hkey_current_user\\Software\\KipoTest"), true, true);
  EXPECT_FALSE(lower.isOpen());
  EXPECT_FALSE(lower.setDword(u"n", 1));
  EXPECT_FALSE(keyExists(kBase));
}

TEST_F(Registry, ReadsNeedTheHandleWritesDoNot) {
  CRegistry key(under(u"Later"));
  EXPECT_FALSE(key.isOpen());
  EXPECT_EQ(key.getPath(), under(u"Later"));
  EXPECT_TRUE(key.setString(u"s", CString(u"text")));  // creates the key by its path
  CString text(u"unchanged");
  EXPECT_FALSE(key.getString(u"s", text));
  EXPECT_TRUE(key.open(under(u"Later"), false, false));
  EXPECT_TRUE(key.getString(u"s", text));
  EXPECT_EQ(text, CString(u"text"));
  EXPECT_FALSE(key.open(under(u"Later"), true, false)) << "creating needs a writable key";
  EXPECT_FALSE(key.isOpen());
}

TEST_F(Registry, ValuesAreStoredAndReadWithTheirEncodings) {
  CRegistry key(under(u"Values"), true, true);
  ASSERT_TRUE(key.isOpen());
  ASSERT_TRUE(key.setString(u"s", CString(u"h\u00e9")));
  ASSERT_TRUE(key.setString(u"x", CString(u"%TEMP%"), REG_EXPAND_SZ));
  ASSERT_TRUE(key.setBool(u"b", true));
  ASSERT_TRUE(key.setDword(u"d", 0x01020304));
  ASSERT_TRUE(key.setUInt64(u"q", 0x1122334455667788ull));
  ASSERT_TRUE(key.setBinary(u"bin", "\x00\xff", 2));
  ASSERT_TRUE(key.setValue(u"empty", nullptr, 0, REG_SZ));
  ASSERT_TRUE(key.setValue(u"noNul", "a\0b\0", 4, REG_SZ));
  ASSERT_TRUE(key.setValue(u"innerNul", "a\0\0\0b\0", 6, REG_SZ));
  ASSERT_TRUE(key.setValue(u"short", "\x01\x02\x03\x04", 4, REG_BINARY));
  ASSERT_TRUE(key.setText(u"TRUE", u"TRUE"));
  ASSERT_TRUE(key.setText(u"yes", u"yes"));

  struct Raw {
    const char16_t* name;
    DWORD type;
    std::string bytes;
  } raws[] = {
      {u"s", REG_SZ, std::string("h\0\xe9\0\0\0", 6)},
      {u"x", REG_EXPAND_SZ, std::string("%\0T\0E\0M\0P\0%\0\0\0", 14)},
      {u"b", REG_SZ, std::string("t\0r\0u\0e\0\0\0", 10)},
      {u"d", REG_DWORD, "\x04\x03\x02\x01"},
      {u"q", REG_BINARY, "\x88\x77\x66\x55\x44\x33\x22\x11"},
      {u"empty", REG_SZ, ""},
  };
  for (const auto& r : raws) {
    Stored s = stored(under(u"Values"), r.name);
    EXPECT_TRUE(s.found) << AppTest::utf8(CString(r.name));
    EXPECT_EQ(s.type, r.type) << AppTest::utf8(CString(r.name));
    EXPECT_EQ(s.data, bytesOf(r.bytes)) << AppTest::utf8(CString(r.name));
  }

  struct Text {
    const char16_t* name;
    bool ok;
    const char16_t* text;
  } texts[] = {
      {u"s", true, u"h\u00e9"},  {u"x", true, u"%TEMP%"},   {u"empty", true, u""},    {u"noNul", true, u"ab"},
      {u"innerNul", true, u"a"}, {u"d", false, u""},        {u"missing", false, u""},
  };
  for (const auto& t : texts) {
    CString out(u"sentinel");
    EXPECT_EQ(key.getString(t.name, out), t.ok) << AppTest::utf8(CString(t.name));
    EXPECT_EQ(out, CString(t.text)) << AppTest::utf8(CString(t.name));
  }

  struct Flag {
    const char16_t* name;
    bool ok;
    bool value;
  } flags[] = {{u"b", true, true}, {u"TRUE", true, true}, {u"yes", false, false}, {u"empty", false, false},
               {u"missing", false, false}};
  for (const auto& f : flags)
    for (bool start : {false, true}) {
      bool value = start;
      EXPECT_EQ(key.getBool(f.name, value), f.ok) << AppTest::utf8(CString(f.name));
      EXPECT_EQ(value, f.ok ? f.value : start) << AppTest::utf8(CString(f.name)) << " leaves the flag alone";
    }

  DWORD d = 0;
  LONG l = 0;
  EXPECT_TRUE(key.getDword(u"d", d));
  EXPECT_EQ(d, 0x01020304u);
  ASSERT_TRUE(key.setDword(u"neg", 0xFFFFFFFEu));
  EXPECT_TRUE(key.getDword(u"neg", l));
  EXPECT_EQ(l, -2);
  EXPECT_FALSE(key.getDword(u"short", d)) << "REG_DWORD only";
  EXPECT_FALSE(key.getDword(u"empty", d));

  ULONGLONG q = 0;
  EXPECT_TRUE(key.getUInt64(u"q", q));
  EXPECT_EQ(q, 0x1122334455667788ull);
  EXPECT_FALSE(key.getUInt64(u"short", q)) << "a 4-byte binary is not a 64-bit number";

  BYTE buffer[4] = {0xbd, 0xbd, 0xbd, 0xbd};
  DWORD size = 1;
  EXPECT_FALSE(key.getBinary(u"bin", buffer, size));
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(buffer[0], 0xbd) << "nothing written into a buffer too small";
  size = sizeof buffer;
  EXPECT_TRUE(key.getBinary(u"bin", buffer, size));
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(buffer[1], 0xff);
  EXPECT_EQ(buffer[2], 0xbd);

  std::vector<BYTE> bytes{9};
  EXPECT_TRUE(key.getBytes(u"empty", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(key.getBytes(u"d", bytes)) << "any type";
  EXPECT_EQ(bytes.size(), 4u);

  EXPECT_TRUE(key.valueExists(u"empty"));
  EXPECT_FALSE(key.valueExists(u"missing"));
  EXPECT_TRUE(key.deleteValue(u"missing"));
  EXPECT_TRUE(key.deleteValue(u"s"));
  EXPECT_FALSE(key.valueExists(u"s"));
  EXPECT_EQ(key.getValueCount(), 12);
}

TEST_F(Registry, VariantsByTheirTypeAndRegistryType) {
  CRegistry key(under(u"Variants"), true, true);
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"hi");
  EXPECT_TRUE(key.setVariant(u"asBinary", REG_BINARY, v));
  EXPECT_TRUE(key.setVariant(u"asText", REG_SZ, v));
  EXPECT_FALSE(key.setVariant(u"asDword", REG_DWORD, v));
  SysFreeString(v.bstrVal);
  EXPECT_EQ(stored(under(u"Variants"), u"asBinary").data, bytesOf(std::string("h\0i\0\0\0", 6)));
  EXPECT_EQ(stored(under(u"Variants"), u"asText").data, bytesOf(std::string("h\0i\0\0\0", 6)));

  VARIANT out;
  ASSERT_TRUE(key.getVariant(u"asBinary", REG_BINARY, VT_BSTR, &out));
  EXPECT_EQ(std::u16string(out.bstrVal), u"hi");
  SysFreeString(out.bstrVal);
  ASSERT_TRUE(key.getVariant(u"asText", REG_SZ, VT_BSTR, &out));
  EXPECT_EQ(std::u16string(out.bstrVal), u"hi");
  SysFreeString(out.bstrVal);

  VARIANT n;
  n.vt = VT_I4;
  n.lVal = -7;
  EXPECT_TRUE(key.setVariant(u"n", REG_DWORD, n));
  ASSERT_TRUE(key.getVariant(u"n", REG_DWORD, VT_UI4, &out));
  EXPECT_EQ(out.vt, VT_UI4);
  EXPECT_EQ(out.ulVal, 0xFFFFFFF9u);

  std::vector<BYTE> bytes{1, 2, 3};
  VARIANT array;
  ASSERT_TRUE(CRegistry::copyBytesIntoVariant(bytes, &array));
  EXPECT_TRUE(key.setVariant(u"array", REG_BINARY, array));
  SafeArrayDestroy(array.parray);
  ASSERT_TRUE(key.getVariant(u"array", REG_BINARY, VT_ARRAY | VT_UI1, &out));
  std::vector<BYTE> back;
  EXPECT_TRUE(CRegistry::copyVariantIntoBytes(out, back));
  EXPECT_EQ(back, bytes);
  LONG lower = -1;
  SafeArrayGetLBound(out.parray, 1, &lower);
  EXPECT_EQ(lower, 0);
  SafeArrayDestroy(out.parray);

  EXPECT_FALSE(key.getVariant(u"n", REG_DWORD, VT_BSTR, &out));
  EXPECT_FALSE(key.getVariant(u"array", REG_SZ, VT_ARRAY | VT_UI1, &out));
}

// ---- Copying, renaming, deleting -------------------------------------------------------------------

void makeSource(const CString& path) {
  CRegistry src(path, true, true);
  src.setString(u"", CString(u"default"));
  src.setDword(u"n", 1);
  src.setValue(u"odd", "\x01\x02", 2, 0x2A);
  src.setValue(u"none", nullptr, 0, REG_BINARY);
  CRegistry(CString(path.str() + u"\\Child"), true, true).setString(u"c", CString(u"child"));
  CRegistry(CString(path.str() + u"\\Child\\Grand"), true, true).setDword(u"g", 2);
}

void expectSourceIntact(const CString& path) {
  EXPECT_EQ(stored(path, u"odd").type, 0x2Au);
  EXPECT_EQ(stored(path, u"none").data.size(), 0u);
  EXPECT_TRUE(stored(path, u"").found);
  EXPECT_TRUE(stored(CString(path.str() + u"\\Child\\Grand"), u"g").found);
}

TEST_F(Registry, CopyTreeReplacesTheDestinationWithAnExactCopy) {
  makeSource(under(u"Src"));
  CRegistry(under(u"Dst\\Stale"), true, true).setDword(u"old", 1);
  CRegistry(under(u"Dst"), true, true).setDword(u"old", 1);
  ASSERT_TRUE(CRegistry::copyTree(under(u"Src"), under(u"Dst")));
  expectSourceIntact(under(u"Dst"));
  EXPECT_FALSE(keyExists(under(u"Dst\\Stale")));
  EXPECT_FALSE(stored(under(u"Dst"), u"old").found);
  CRegistry dst(under(u"Dst"));
  EXPECT_EQ(dst.getValueCount(), 4);
  CStringList names;
  ASSERT_TRUE(dst.getSubkeyNames(names, true));
  ASSERT_EQ(names.GetCount(), 1);
  EXPECT_EQ(names.GetHead(), under(u"Dst\\Child"));

  CRegistry src(under(u"Src"));
  EXPECT_TRUE(src.copyValueTo(u"odd", under(u"Elsewhere")));
  EXPECT_EQ(stored(under(u"Elsewhere"), u"odd").data, bytesOf("\x01\x02"));
  EXPECT_FALSE(src.copyValueTo(u"missing", under(u"Elsewhere")));
}

TEST_F(Registry, CopiesOntoThemselvesOrTheirOwnTreeAreRefused) {
  makeSource(under(u"Src"));
  struct Case {
    const char16_t* destination;
    bool ok;
  } cases[] = {
      {u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src", false},
      {u"HKEY_CURRENT_USER\\software\\kipotest\\SRC", false},
      {u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src\\", false},
      {u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src\\Inner", false},
      {u"HKEY_CURRENT_USER\\Software\\KipoTest", false},
      {u"HKEY_CURRENT_USER\\Software", false},
      {u"HKEY_CURRENT_USER", false},
      {u"HKEY_LOCAL_MACHINE", false},
      {u"nowhere\\Src", false},
      {u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src2", true},
      {u"HKEY_CURRENT_USER\\Software\\KipoTest\\Sr", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CRegistry::copyTree(under(u"Src"), CString(c.destination)), c.ok) << AppTest::utf8(CString(c.destination));
    expectSourceIntact(under(u"Src"));
  }
  CRegistry child(under(u"Src\\Child"));
  EXPECT_FALSE(child.copyTreeTo(under(u"Src")));
  EXPECT_TRUE(keyExists(under(u"Src\\Child")));

  struct Rename {
    const char16_t* name;
    bool ok;
  } renames[] = {{u"", false}, {u"SRC", false}, {u"Src\\Deeper", false}, {u"\\Src", false}};
  for (const auto& r : renames) {
    CRegistry key(under(u"Src"), false, true);
    EXPECT_FALSE(key.renameKey(CString(r.name))) << AppTest::utf8(CString(r.name));
    expectSourceIntact(under(u"Src"));
  }

  CRegistry key(under(u"Src"), false, true);
  ASSERT_TRUE(key.renameKey(CString(u"Moved")));
  EXPECT_EQ(key.getPath(), under(u"Src"));
  EXPECT_FALSE(key.isOpen());
  EXPECT_FALSE(keyExists(under(u"Src")));
  expectSourceIntact(under(u"Moved"));
}

TEST_F(Registry, ACopyCutShortFailsAndRenameKeepsTheSource) {
  struct Case {
    const char* call;
    const char16_t* subject;
    std::uint32_t nth;
  } cases[] = {
      {"RegEnumValueW", u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src", 2},  // the second value cannot be read
      {"RegEnumKeyExW", u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src\\Child", 1},
      {"SHSetValueW", u"HKEY_CURRENT_USER\\Software\\KipoTest\\Moved", 3},
      {"RegOpenKeyExW", u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src\\Child\\Grand", 1},
  };
  for (const auto& c : cases) {
    makeSource(under(u"Src"));
    auto id = failCall(c.call, ERROR_NOT_ENOUGH_MEMORY, c.subject, c.nth, 1);
    CRegistry key(under(u"Src"), false, true);
    EXPECT_FALSE(key.renameKey(CString(u"Moved"))) << c.call;
    platform::fault::removeLocal(id);
    expectSourceIntact(under(u"Src"));
    EXPECT_TRUE(CRegistry(under(u"Src"), false, true).deleteKey());
  }
}

TEST_F(Registry, DeleteKeyRemovesTheSubtreeButNeverARoot) {
  makeSource(under(u"Src"));
  CRegistry key(under(u"Src"), false, true);
  EXPECT_TRUE(key.deleteKey());
  EXPECT_FALSE(key.isOpen());
  EXPECT_EQ(key.getPath(), under(u"Src"));
  EXPECT_FALSE(keyExists(under(u"Src")));
  EXPECT_FALSE(key.deleteKey()) << "already gone";
  CRegistry root(CString(u"HKEY_CURRENT_USER"));
  EXPECT_FALSE(root.deleteKey());
  EXPECT_TRUE(keyExists(CString(u"HKEY_CURRENT_USER\\Software")));
}

// ---- The key dump ----------------------------------------------------------------------------------

TEST_F(Registry, DumpBytesOfAnEmptyKey) {
  CRegistry key(under(u"Empty"), true, true);
  ASSERT_TRUE(key.saveToFile(winFile(u"empty.dump")));
  EXPECT_EQ(readBytes(file("empty.dump")), Bytes().u32(100).tok(u'{').str(under(u"Empty").view()).tok(u'}').s);
}

TEST_F(Registry, DumpBytesOfValuesAndSubkeys) {
  CRegistry key(under(u"Dump"), true, true);
  key.setString(u"", CString(u"x"));
  key.setValue(u"Odd", "\x01\x02\x03", 3, 0x2A);
  key.setValue(u"Empty", nullptr, 0, REG_BINARY);
  CRegistry(under(u"Dump\\b"), true, true).setDword(u"n", 5);
  CRegistry(under(u"Dump\\A"), true, true);
  ASSERT_TRUE(key.saveToFile(winFile(u"values.dump")));
  std::string expected = Bytes()
                             .u32(100)
                             .tok(u'{').str(under(u"Dump").view())
                             .tok(u'[').str(u"").u32(4).u32(REG_SZ).raw(std::string("x\0\0\0", 4)).tok(u']')
                             .tok(u'[').str(u"Odd").u32(3).u32(0x2A).raw("\x01\x02\x03").tok(u']')
                             .tok(u'[').str(u"Empty").u32(0).u32(REG_BINARY).tok(u']')
                             .tok(u'{').str(under(u"Dump\\A").view()).tok(u'}')
                             .tok(u'{').str(under(u"Dump\\b").view())
                             .tok(u'[').str(u"n").u32(4).u32(REG_DWORD).raw(std::string("\x05\0\0\0", 4)).tok(u']')
                             .tok(u'}')
                             .tok(u'}')
                             .s;
  EXPECT_EQ(readBytes(file("values.dump")), expected);

  // Restored to the very keys it came from, whatever object reads it.
  ASSERT_TRUE(key.deleteKey());
  CRegistry reader;
  ASSERT_TRUE(reader.loadFromFile(winFile(u"values.dump")));
  EXPECT_EQ(reader.getFormatVersion(), 100);
  EXPECT_EQ(reader.getPath(), under(u"Dump\\b"));
  EXPECT_TRUE(reader.isOpen());
  EXPECT_EQ(stored(under(u"Dump"), u"").data, bytesOf(std::string("x\0\0\0", 4)));
  EXPECT_EQ(stored(under(u"Dump"), u"Odd").type, 0x2Au);
  EXPECT_EQ(stored(under(u"Dump"), u"Odd").data, bytesOf("\x01\x02\x03"));
  EXPECT_TRUE(stored(under(u"Dump"), u"Empty").found);
  EXPECT_TRUE(keyExists(under(u"Dump\\A")));
  DWORD n = 0;
  EXPECT_TRUE(CRegistry(under(u"Dump\\b")).getDword(u"n", n));
  EXPECT_EQ(n, 5u);
  EXPECT_TRUE(boxes.empty());
}

// Text values are stored with their NUL since the registry keeps the NUL that follows a string;
// dumps written before, without it, restore the same texts.
TEST_F(Registry, DumpsOfTextWithAndWithoutItsNulReadTheSame) {
  for (const std::string& text : {std::string("o\0k\0", 4), std::string("o\0k\0\0\0", 6)}) {
    writeBytes(file("text.dump"), Bytes()
                                      .u32(100)
                                      .tok(u'{').str(under(u"Text").view())
                                      .tok(u'[').str(u"t").u32(static_cast<DWORD>(text.size())).u32(REG_SZ).raw(text).tok(u']')
                                      .tok(u'}')
                                      .s);
    CRegistry reader;
    ASSERT_TRUE(reader.loadFromFile(winFile(u"text.dump"))) << text.size();
    EXPECT_EQ(stored(under(u"Text"), u"t").data, bytesOf(text)) << "restored as it was written";
    CString value;
    EXPECT_TRUE(CRegistry(under(u"Text")).getString(u"t", value));
    EXPECT_EQ(value, CString(u"ok")) << text.size();
    ASSERT_TRUE(CRegistry(under(u"Text")).deleteKey());
  }
}

TEST_F(Registry, SaveFailuresAreLoggedOrReported) {
  createLog();
  CRegistry key(under(u"Saved"), true, true);
  EXPECT_FALSE(key.saveToFile(CString(u"C:\\nowhere\\x.dump")));
  EXPECT_NE(logBytes().find("Directory C:\\nowhere\\x.dump does not exist.<br>"), std::string::npos) << logBytes();
  fs::create_directories(file("folder.dump"));
  EXPECT_FALSE(key.saveToFile(winFile(u"folder.dump")));
  EXPECT_NE(logBytes().find("Unable to create file C:\\folder.dump.<br>"), std::string::npos) << logBytes();

  CRegistry missing(under(u"Missing"));
  EXPECT_FALSE(missing.saveToFile(winFile(u"missing.dump")));
  EXPECT_EQ(readBytes(file("missing.dump")), Bytes().u32(100).tok(u'{').str(under(u"Missing").view()).s);
}

TEST_F(Registry, ADumpWhoseWriterBrokeOffRestoresWhatItHolds) {
  makeSource(under(u"Src"));
  auto id = failCall("RegOpenKeyExW", ERROR_ACCESS_DENIED, u"HKEY_CURRENT_USER\\Software\\KipoTest\\Src\\Child\\Grand");
  CRegistry key(under(u"Src"), false, true);
  EXPECT_FALSE(key.saveToFile(winFile(u"broken.dump")));
  platform::fault::removeLocal(id);
  std::string bytes = readBytes(file("broken.dump"));
  std::string tail = Bytes().tok(u'{').str(under(u"Src\\Child\\Grand").view()).s;
  ASSERT_GT(bytes.size(), tail.size());
  EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail) << "ends after the path of the key it could not open";

  ASSERT_TRUE(key.deleteKey());
  CRegistry reader;
  EXPECT_TRUE(reader.loadFromFile(winFile(u"broken.dump")));
  EXPECT_EQ(stored(under(u"Src"), u"odd").type, 0x2Au);
  EXPECT_TRUE(stored(under(u"Src\\Child"), u"c").found);
  EXPECT_TRUE(keyExists(under(u"Src\\Child\\Grand")));
  EXPECT_FALSE(stored(under(u"Src\\Child\\Grand"), u"g").found);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Registry, DumpsThatEndWhereARecordMayEndAreRead) {
  CString path = under(u"Loaded");
  std::string value = Bytes().tok(u'[').str(u"v").u32(2).u32(REG_BINARY).raw("ok").tok(u']').s;
  struct Case {
    const char* what;
    std::string bytes;
    bool keyCreated;
    bool cutShort;  // keys were left open
  } cases[] = {
      {"only the version", Bytes().u32(100).s, false, false},
      {"after the path", Bytes().u32(100).tok(u'{').str(path.view()).s, true, true},
      {"after a value", Bytes().u32(100).tok(u'{').str(path.view()).raw(value).s, true, true},
      {"complete", Bytes().u32(100).tok(u'{').str(path.view()).raw(value).tok(u'}').s, true, false},
      {"two roots", Bytes().u32(100).tok(u'{').str(under(u"Other").view()).tok(u'}').tok(u'{').str(path.view()).s, true, true},
      {"a child closed, its parent not",
       Bytes().u32(100).tok(u'{').str(under(u"Other").view()).tok(u'{').str(path.view()).tok(u'}').s, true, true},
      {"older version", Bytes().u32(99).tok(u'{').str(path.view()).tok(u'}').s, true, false},
  };
  for (const auto& c : cases) {
    writeBytes(file("partial.dump"), c.bytes);
    CRegistry reader;
    EXPECT_TRUE(reader.loadFromFile(winFile(u"partial.dump"))) << c.what;
    EXPECT_EQ(keyExists(path), c.keyCreated) << c.what;
    EXPECT_EQ(reader.wasCutShort(), c.cutShort) << c.what;
    // The same bytes from memory.
    EXPECT_TRUE(reader.loadFromBuffer(c.bytes, CString(u"memory"))) << c.what;
    EXPECT_EQ(reader.wasCutShort(), c.cutShort) << c.what;
    CRegistry(path).deleteKey();
    CRegistry(under(u"Other")).deleteKey();
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Registry, ALoadSkipsValuesTheRegistryRefusesAndStopsAtAKeyItRefuses) {
  const CString first = under(u"Loaded"), second = under(u"Loaded\\Next"), third = under(u"Loaded\\Next\\Last");
  auto value = [](std::u16string_view name) {
    return Bytes().tok(u'[').str(name).u32(2).u32(REG_BINARY).raw("ok").tok(u']').s;
  };
  const std::string bytes = Bytes()
                                .u32(100)
                                .tok(u'{').str(first.view()).raw(value(u"a")).raw(value(u"b")).raw(value(u"c"))
                                .tok(u'{').str(second.view()).raw(value(u"d"))
                                .tok(u'{').str(third.view()).raw(value(u"e")).tok(u'}')
                                .tok(u'}')
                                .tok(u'}')
                                .s;
  writeBytes(file("refused.dump"), bytes);
  // The second value written is refused: only it is missing.
  auto id = failCall("RegSetValueExW", ERROR_ACCESS_DENIED, first.str(), 2, 1);
  CRegistry reader;
  EXPECT_TRUE(reader.loadFromFile(winFile(u"refused.dump")));
  platform::fault::removeLocal(id);
  EXPECT_TRUE(stored(first, u"a").found);
  EXPECT_FALSE(stored(first, u"b").found);
  EXPECT_TRUE(stored(first, u"c").found);
  EXPECT_TRUE(stored(third, u"e").found);
  EXPECT_EQ(reader.getPath(), third);
  EXPECT_TRUE(reader.isOpen());

  // A key that cannot be created ends the restore there; the load still reads as done.
  ASSERT_TRUE(CRegistry(first, false, true).deleteKey());
  id = failCall("RegCreateKeyExW", ERROR_ACCESS_DENIED, second.str());
  EXPECT_TRUE(reader.loadFromFile(winFile(u"refused.dump")));
  platform::fault::removeLocal(id);
  EXPECT_TRUE(stored(first, u"c").found);
  EXPECT_FALSE(keyExists(second));
  EXPECT_FALSE(keyExists(third));
  EXPECT_FALSE(reader.isOpen());
  EXPECT_TRUE(boxes.empty());

  // A filter keeps records from being written; the object holds the last record it let through.
  ASSERT_TRUE(CRegistry(first, false, true).deleteKey());
  EXPECT_TRUE(reader.loadFromBuffer(bytes, CString(u"memory"), [&](const CString& p) { return p != third; }));
  EXPECT_TRUE(keyExists(second));
  EXPECT_FALSE(keyExists(third));
  EXPECT_EQ(reader.getPath(), second);
}

TEST_F(Registry, DamagedDumpsWriteNothingAndSayWhy) {
  useEnglish();
  CString path = under(u"Loaded");
  std::string good = Bytes().tok(u'{').str(path.view()).tok(u'[').str(u"v").u32(2).u32(REG_BINARY).raw("ok").tok(u']').tok(u'}').s;
  std::string start = Bytes().u32(100).tok(u'{').str(path.view()).s;
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"version cut", "\x64\x00"},
      {"one stray byte", Bytes().u32(100).raw(good).raw("{").s},
      {"path longer than the file", Bytes().u32(100).tok(u'{').u32(1000).raw("ab").s},
      {"odd path length", Bytes().u32(100).tok(u'{').u32(3).raw("abc").s},
      {"path without a root", Bytes().u32(100).tok(u'{').str(u"Software\\KipoTest").tok(u'}').s},
      {"value data past the end", Bytes().raw(start).tok(u'[').str(u"v").u32(100).u32(REG_BINARY).raw("ab").s},
      {"value name past the end", Bytes().raw(start).tok(u'[').u32(0xFFFFFFF0u).s},
      {"cut inside a value", Bytes().raw(start).tok(u'[').str(u"v").u32(2).s},
      {"cut where ] is due", Bytes().raw(start).tok(u'[').str(u"v").u32(2).u32(REG_BINARY).raw("ok").s},
      {"wrong token for ]", Bytes().raw(start).tok(u'[').str(u"v").u32(2).u32(REG_BINARY).raw("ok").tok(u'X').s},
      {"wrong token after the path", Bytes().raw(start).tok(u'X').s},
      {"a stray } at the top", Bytes().u32(100).raw(good).tok(u'}').s},
      {"a value outside a record", Bytes().u32(100).raw(good).tok(u'[').s},
      {"a later record cut short", Bytes().u32(100).raw(good).tok(u'{').u32(40).raw("ab").s},
  };
  for (const auto& c : cases) {
    boxes.clear();
    writeBytes(file("bad.dump"), c.bytes);
    CRegistry reader;
    EXPECT_FALSE(reader.loadFromFile(winFile(u"bad.dump"))) << c.what;
    EXPECT_FALSE(keyExists(path)) << c.what << ": nothing may be written";
    EXPECT_FALSE(reader.isOpen());
    ASSERT_EQ(boxes.size(), 1u) << c.what;
    EXPECT_EQ(utf8(boxes[0].text).rfind("File: C:\\bad.dump could not be read.", 0), 0u) << utf8(boxes[0].text);
    EXPECT_NE(utf8(boxes[0].text).find("Kipo"), std::string::npos);
  }
}

TEST_F(Registry, ANewerDumpIsRefused) {
  useEnglish();
  CString path = under(u"Loaded");
  writeBytes(file("new.dump"), Bytes().u32(101).tok(u'{').str(path.view()).tok(u'}').s);
  CRegistry reader;
  EXPECT_FALSE(reader.loadFromFile(winFile(u"new.dump")));
  EXPECT_EQ(reader.getFormatVersion(), 101);
  EXPECT_FALSE(keyExists(path));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), "File: C:\\new.dump is a newer version than\nthis version of Kipo can read.");

  boxes.clear();
  EXPECT_FALSE(reader.loadFromFile(winFile(u"absent.dump")));
  EXPECT_TRUE(boxes.empty()) << "a missing file is no message";
}

TEST_F(Registry, ADumpCarriesATreeToAnotherHost) {
  fs::path carried = kipotest::freshTempDir("carried") / "customizer.pref";
  {
    makeSource(under(u"Prefs"));
    CRegistry(under(u"Prefs"), true, true).setString(u"name", CString(u"\u65e5\u672c"));
    CRegistry key(under(u"Prefs"));
    ASSERT_TRUE(key.saveToFile(winFile(u"customizer.pref")));
    fs::copy_file(file("customizer.pref"), carried);
  }
  kipotest::TestHost other;
  EXPECT_FALSE(keyExists(under(u"Prefs")));
  fs::copy_file(carried, other.c("customizer.pref"));
  CRegistry reader;
  ASSERT_TRUE(reader.loadFromFile(winFile(u"customizer.pref")));
  expectSourceIntact(under(u"Prefs"));
  // Another process of the new host sees the restored values.
  std::string out;
  ASSERT_EQ(kipotest::runTool({"reg", "query", "HKEY_CURRENT_USER\\Software\\KipoTest\\Prefs", "name"}, &out), 0);
  EXPECT_NE(out.find("\xe6\x97\xa5\xe6\x9c\xac"), std::string::npos) << out;
  ASSERT_EQ(kipotest::runTool({"reg", "query", "HKEY_CURRENT_USER\\Software\\KipoTest\\Prefs\\Child\\Grand", "g"}, &out), 0);
  EXPECT_NE(out.find("0x2"), std::string::npos) << out;
}

}  // namespace
