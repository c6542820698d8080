// The registry calls: names, ordering, exact bytes, buffer and out-parameter rules (with
// sentinels), access rights, the administrator rule, the predefined keys and the classes view,
// and what one process sees of another's changes.
#include "platform/win32/registry.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/database.h"
#include "platform/host/host.h"
#include "platform/host/registry_file.h"
#include "platform/host/registry_store.h"
#include "platform/win32/system.h"
#include "tests/support/test_host.h"

namespace {

using platform::host::Host;
namespace fact = platform::host::fact;

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kPad = 0xbd;

std::string bytesOf(const std::u16string& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

// Test keys live under HKCU\Software\KipoTest.
HKEY createKey(HKEY root, const char16_t* path, REGSAM sam = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &key, nullptr), ERROR_SUCCESS)
      << platform::text::toUtf8(path);
  return key;
}

// Writes exactly `data`: the bytes after it are pad bytes, so a string type without its NUL is
// not lengthened by whatever memory happens to follow (see StringCountsLeavingOutTheirNul).
LONG setRaw(HKEY key, const char16_t* name, DWORD type, const std::string& data) {
  std::string padded = data + std::string(4, static_cast<char>(kPad));
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(padded.data()), static_cast<DWORD>(data.size()));
}
DWORD shSetRaw(HKEY key, const char16_t* sub, const char16_t* name, DWORD type, const std::string& data) {
  std::string padded = data + std::string(4, static_cast<char>(kPad));
  return SHSetValueW(key, sub, name, type, padded.data(), static_cast<DWORD>(data.size()));
}

// The value's type and bytes, read with a size query first; empty type 0xdeadbeef on failure.
struct Read {
  LONG rc;
  DWORD type;
  std::string data;
};
Read readRaw(HKEY key, const char16_t* name) {
  Read r{0, kSentinel, {}};
  DWORD size = 0;
  r.rc = RegQueryValueExW(key, name, nullptr, &r.type, nullptr, &size);
  if (r.rc) return r;
  r.data.assign(size, '\0');
  r.rc = RegQueryValueExW(key, name, nullptr, &r.type, reinterpret_cast<BYTE*>(r.data.data()), &size);
  r.data.resize(size);
  return r;
}

std::vector<std::u16string> subkeyNames(HKEY key) {
  std::vector<std::u16string> out;
  for (DWORD i = 0;; ++i) {
    char16_t name[260];
    DWORD cch = 260;
    LONG rc = RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    if (rc) break;
    out.emplace_back(name, cch);
  }
  return out;
}

std::vector<std::u16string> valueNames(HKEY key) {
  std::vector<std::u16string> out;
  for (DWORD i = 0;; ++i) {
    char16_t name[16384];
    DWORD cch = 16384;
    LONG rc = RegEnumValueW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    if (rc) break;
    out.emplace_back(name, cch);
  }
  return out;
}

bool keyExists(HKEY root, const char16_t* path) {
  HKEY key;
  LONG rc = RegOpenKeyExW(root, path, 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { key_ = createKey(HKEY_CURRENT_USER, u"Software\\KipoTest"); }
  void TearDown() override { RegCloseKey(key_); }
  kipotest::TestHost host_;
  HKEY key_ = nullptr;
};

TEST_F(Registry, CreateMakesTheWholeChainAndReportsDisposition) {
  HKEY k = nullptr;
  DWORD disposition = kSentinel;
  ASSERT_EQ(RegCreateKeyExW(key_, u"A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(k);
  ASSERT_EQ(RegCreateKeyExW(key_, u"a\\b\\c\\", 0, nullptr, 0, KEY_READ, nullptr, &k, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(k);
  EXPECT_TRUE(keyExists(key_, u"A\\B"));
  EXPECT_EQ(subkeyNames(key_), std::vector<std::u16string>{u"A"});

  // A failed open clears the result handle.
  k = reinterpret_cast<HKEY>(static_cast<UINT_PTR>(kSentinel));
  EXPECT_EQ(RegOpenKeyExW(key_, u"A\\Missing", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k, nullptr);
}

TEST_F(Registry, BadKeyNamesAreRefused) {
  struct Case {
    std::u16string path;
    LONG expected;
  } cases[] = {
      {u"\\Leading", ERROR_BAD_PATHNAME},
      {u"Doubled\\\\Slash", ERROR_BAD_PATHNAME},
      {std::u16string(256, u'k'), ERROR_INVALID_PARAMETER},
      {u"Ok\\" + std::u16string(256, u'k'), ERROR_INVALID_PARAMETER},
      {std::u16string(255, u'k'), ERROR_SUCCESS},  // the longest key name
  };
  for (const auto& c : cases) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key_, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), c.expected)
        << platform::text::toUtf8(c.path);
    if (k) RegCloseKey(k);
  }
  // Nothing half-made by the refused ones.
  EXPECT_EQ(subkeyNames(key_), std::vector<std::u16string>{std::u16string(255, u'k')});
}

TEST_F(Registry, NamesAreCaseInsensitiveAndKeepTheirCase) {
  HKEY sub = createKey(key_, u"MixedCase");
  HKEY again = createKey(key_, u"MIXEDCASE");
  ASSERT_EQ(setRaw(sub, u"ValueName", REG_DWORD, std::string("\x01\x00\x00\x00", 4)), ERROR_SUCCESS);
  // Setting it again under another spelling updates the one value and keeps the first spelling.
  ASSERT_EQ(setRaw(again, u"VALUENAME", REG_DWORD, std::string("\x02\x00\x00\x00", 4)), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(sub, u"valuename").data, std::string("\x02\x00\x00\x00", 4));
  EXPECT_EQ(valueNames(sub), std::vector<std::u16string>{u"ValueName"});
  EXPECT_EQ(subkeyNames(key_), std::vector<std::u16string>{u"MixedCase"});
  // Beyond ASCII the shared upcase table decides: é and É are one name.
  HKEY accented = createKey(key_, u"caf\u00e9");
  EXPECT_TRUE(keyExists(key_, u"CAF\u00c9"));
  RegCloseKey(accented);
  RegCloseKey(sub);
  RegCloseKey(again);
}

TEST_F(Registry, SubkeysAreSortedByTheUpcaseTableAndValuesKeepCreationOrder) {
  // Plain ordinal order would put "_x" between "Z" and "a"; upcased, '_' sorts after every letter.
  for (const char16_t* name : {u"b", u"_x", u"Z", u"a", u"C"}) RegCloseKey(createKey(key_, name));
  EXPECT_EQ(subkeyNames(key_), (std::vector<std::u16string>{u"a", u"b", u"C", u"Z", u"_x"}));

  for (const char16_t* name : {u"zeta", u"alpha", u"", u"Mid"}) ASSERT_EQ(setRaw(key_, name, REG_SZ, ""), ERROR_SUCCESS);
  ASSERT_EQ(setRaw(key_, u"ALPHA", REG_BINARY, "x"), ERROR_SUCCESS);  // set again: keeps its place
  ASSERT_EQ(RegDeleteValueW(key_, u"zeta"), ERROR_SUCCESS);
  ASSERT_EQ(setRaw(key_, u"zeta", REG_SZ, ""), ERROR_SUCCESS);  // made anew: goes last
  EXPECT_EQ(valueNames(key_), (std::vector<std::u16string>{u"alpha", u"", u"Mid", u"zeta"}));
}

TEST_F(Registry, ValuesKeepTheirTypeNumberAndExactBytes) {
  struct Case {
    const char16_t* name;
    DWORD type;
    std::string data;
  } cases[] = {
      {u"sz with NUL", REG_SZ, bytesOf(u"text") + std::string(2, '\0')},
      {u"sz without NUL", REG_SZ, bytesOf(u"text")},
      {u"sz odd length", REG_SZ, std::string("abc")},
      {u"sz inner NUL", REG_SZ, bytesOf(std::u16string(u"a\0b", 3))},
      {u"empty binary", REG_BINARY, std::string()},
      {u"short dword", REG_DWORD, std::string("\x01\x02", 2)},
      {u"none", REG_NONE, std::string("\x00\xff", 2)},
      {u"odd type", 0x12345678, std::string("\x7f\x80\x00", 3)},
      {u"", REG_EXPAND_SZ, bytesOf(u"%TEMP%") + std::string(2, '\0')},
  };
  for (const auto& c : cases) ASSERT_EQ(setRaw(key_, c.name, c.type, c.data), ERROR_SUCCESS);
  for (const auto& c : cases) {
    Read r = readRaw(key_, c.name);
    EXPECT_EQ(r.rc, ERROR_SUCCESS) << platform::text::toUtf8(c.name);
    EXPECT_EQ(r.type, c.type) << platform::text::toUtf8(c.name);
    EXPECT_EQ(r.data, c.data) << platform::text::toUtf8(c.name);
  }
  // A null data pointer with a size is a bad address; with size 0 it writes an empty value.
  EXPECT_EQ(RegSetValueExW(key_, u"bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  EXPECT_EQ(RegSetValueExW(key_, u"empty", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(key_, u"empty").data, "");
}

// As NT does, a string whose count leaves out the NUL right after it is stored with that NUL;
// the memory shown to each call is the counted bytes followed by the rest of `memory`.
TEST_F(Registry, StringCountsLeavingOutTheirNulStoreTheNulThatFollows) {
  enum Form { W, A, ShW, ShA };
  const std::string text = bytesOf(u"text");
  struct Case {
    const char* rule;
    Form form;
    DWORD type;
    std::string memory;
    DWORD count;
    std::string stored;
  } cases[] = {
      {"a NUL after the count is stored", W, REG_SZ, text + std::string(2, '\0'), 8, text + std::string(2, '\0')},
      {"expandable text too", W, REG_EXPAND_SZ, text + std::string(2, '\0'), 8, text + std::string(2, '\0')},
      {"multi-strings too", W, REG_MULTI_SZ, bytesOf(std::u16string(u"a\0b\0", 4)), 6, bytesOf(std::u16string(u"a\0b\0", 4))},
      {"a character after the count is not", W, REG_SZ, text + "X\0", 8, text},
      {"half a NUL is not a NUL", W, REG_SZ, text + std::string("\0X", 2), 8, text},
      {"a counted NUL gets no second one", W, REG_SZ, text + std::string(4, '\0'), 10, text + std::string(2, '\0')},
      {"binary data is taken as counted", W, REG_BINARY, text + std::string(2, '\0'), 8, text},
      {"a dword is taken as counted", W, REG_DWORD, std::string("\x01\x00\x00\x00\x00\x00", 6), 4, std::string("\x01\x00\x00\x00", 4)},
      {"an odd count is taken as given", W, REG_SZ, std::string("abc\0\0\0", 6), 3, "abc"},
      {"an empty string stays empty", W, REG_SZ, std::string(2, '\0'), 0, ""},
      {"8-bit text: one NUL byte", A, REG_SZ, std::string("abc\0", 4), 3, bytesOf(std::u16string(u"abc\0", 4))},
      {"8-bit text followed by a character", A, REG_SZ, "abcX", 3, bytesOf(u"abc")},
      {"the shell helper", ShW, REG_SZ, text + std::string(2, '\0'), 8, text + std::string(2, '\0')},
      {"the shell helper, 8-bit", ShA, REG_EXPAND_SZ, std::string("ab\0", 3), 2, bytesOf(std::u16string(u"ab\0", 3))},
  };
  for (const auto& c : cases) {
    const BYTE* data = reinterpret_cast<const BYTE*>(c.memory.data());
    LONG rc = 0;
    switch (c.form) {
      case W: rc = RegSetValueExW(key_, u"v", 0, c.type, data, c.count); break;
      case A: rc = RegSetValueExA(key_, "v", 0, c.type, data, c.count); break;
      case ShW: rc = static_cast<LONG>(SHSetValueW(key_, nullptr, u"v", c.type, data, c.count)); break;
      case ShA: rc = static_cast<LONG>(SHSetValueA(key_, nullptr, "v", c.type, data, c.count)); break;
    }
    ASSERT_EQ(rc, ERROR_SUCCESS) << c.rule;
    Read r = readRaw(key_, u"v");
    EXPECT_EQ(r.type, c.type) << c.rule;
    EXPECT_EQ(r.data, c.stored) << c.rule;
  }
}

// The peek after the count never faults: a string that ends where readable memory ends is
// stored as counted, by every form.
TEST_F(Registry, StringEndingAtTheEdgeOfReadableMemoryIsStoredAsCounted) {
  const long page = sysconf(_SC_PAGESIZE);
  void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  BYTE* edge = static_cast<BYTE*>(map) + page;
  ASSERT_EQ(mprotect(edge, page, PROT_NONE), 0);
  const std::string wide = bytesOf(u"edge");
  const BYTE* w = edge - wide.size();
  std::memcpy(edge - wide.size(), wide.data(), wide.size());
  EXPECT_EQ(RegSetValueExW(key_, u"w", 0, REG_SZ, w, 8), ERROR_SUCCESS);
  EXPECT_EQ(SHSetValueW(key_, nullptr, u"sw", REG_SZ, w, 8), 0u);
  EXPECT_EQ(readRaw(key_, u"w").data, wide);
  EXPECT_EQ(readRaw(key_, u"sw").data, wide);
  std::memcpy(edge - 4, "abcd", 4);
  EXPECT_EQ(RegSetValueExA(key_, "a", 0, REG_SZ, edge - 4, 4), ERROR_SUCCESS);
  EXPECT_EQ(SHSetValueA(key_, nullptr, "sa", REG_SZ, edge - 4, 4), 0u);
  EXPECT_EQ(readRaw(key_, u"a").data, bytesOf(u"abcd"));
  EXPECT_EQ(readRaw(key_, u"sa").data, bytesOf(u"abcd"));
  munmap(map, 2 * page);
}

// RegQueryValueEx ends a string stored without its NUL with one when the buffer has room for
// it; the size reported is the stored one.
TEST_F(Registry, QueryTerminatesAnUnterminatedStringWhenTheBufferHasRoom) {
  ASSERT_EQ(setRaw(key_, u"open", REG_SZ, bytesOf(u"abc")), ERROR_SUCCESS);
  ASSERT_EQ(setRaw(key_, u"closed", REG_SZ, bytesOf(std::u16string(u"abc\0", 4))), ERROR_SUCCESS);
  ASSERT_EQ(setRaw(key_, u"bin", REG_BINARY, bytesOf(u"abc")), ERROR_SUCCESS);
  struct Case {
    const char* rule;
    bool ansi;
    const char16_t* name;
    DWORD buffer;
    DWORD size;     // reported
    std::size_t nulAt;  // where a NUL was added, or 0
  } cases[] = {
      {"room for a NUL", false, u"open", 8, 6, 6},
      {"more room than that", false, u"open", 32, 6, 6},
      {"no room", false, u"open", 6, 6, 0},
      {"room for half a NUL", false, u"open", 7, 6, 0},
      {"already ended", false, u"closed", 32, 8, 0},
      {"not a string", false, u"bin", 32, 6, 0},
      {"8-bit: room for a NUL", true, u"open", 4, 3, 3},
      {"8-bit: no room", true, u"open", 3, 3, 0},
  };
  for (const auto& c : cases) {
    BYTE buf[40];
    std::memset(buf, kPad, sizeof buf);
    DWORD size = c.buffer;
    LONG rc = c.ansi ? RegQueryValueExA(key_, platform::text::toUtf8(c.name).c_str(), nullptr, nullptr, buf, &size)
                     : RegQueryValueExW(key_, c.name, nullptr, nullptr, buf, &size);
    ASSERT_EQ(rc, ERROR_SUCCESS) << c.rule;
    EXPECT_EQ(size, c.size) << c.rule;
    std::size_t unit = c.ansi ? 1 : 2;
    std::size_t end = c.nulAt ? c.nulAt + unit : c.size;
    for (std::size_t i = c.size; i < end; ++i) EXPECT_EQ(buf[i], 0) << c.rule << " byte " << i;
    EXPECT_EQ(buf[end], kPad) << c.rule << ": nothing written past the data and its NUL";
  }
}

// Only a counted string can hold a NUL; such a key would enumerate as "" and reopen its parent,
// so no call makes one, and no tree is deeper than 512 levels.
TEST_F(Registry, KeyNamesHoldingANulAndTooDeepPathsAreRefused) {
  using platform::registry::ValueChange;
  using platform::registry::writeKeySection;
  const std::u16string base = u"Software\\KipoTest\\";
  for (const std::u16string& sub : {base + std::u16string(u"a\0b", 3), base + std::u16string(1, u'\0'),
                                     base + std::u16string(u"ok\\\0", 4)}) {
    int failed = 7;
    EXPECT_EQ(writeKeySection(HKEY_CURRENT_USER, sub, {}, &failed), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(failed, -1);
  }
  int failed = 7;
  EXPECT_EQ(writeKeySection(HKEY_CURRENT_USER, base + u"k", {{std::u16string(u"v\0w", 3), false, REG_SZ, "x"}}, &failed),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(failed, 0);
  EXPECT_TRUE(subkeyNames(key_).empty());

  // KipoTest is 2 levels below the hive's root: 510 more reach the limit, one more is refused.
  auto chain = [](int levels) {
    std::u16string p = u"k";
    for (int i = 1; i < levels; ++i) p += u"\\k";
    return p;
  };
  HKEY deep = nullptr;
  ASSERT_EQ(RegCreateKeyExW(key_, chain(510).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, nullptr), ERROR_SUCCESS);
  HKEY deeper = nullptr;
  EXPECT_EQ(RegCreateKeyExW(deep, u"k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(deeper, nullptr);
  EXPECT_EQ(writeKeySection(HKEY_CURRENT_USER, base + chain(511), {}, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExW(key_, chain(513).c_str(), 0, KEY_READ, &deeper), ERROR_INVALID_PARAMETER);
  RegCloseKey(deep);
  // The deepest tree exports whole.
  std::u16string exported;
  EXPECT_EQ(platform::registry::exportText(u"HKEY_CURRENT_USER\\Software\\KipoTest", exported), ERROR_SUCCESS);
}

// A store damaged by hand (a key named "" under KipoTest) makes an export fail, not recurse
// until the stack is gone.
TEST_F(Registry, ExportOfADamagedStoreEnds) {
  using namespace platform::registry;
  {
    WriteScope w;
    Store& s = w.store();
    KeyId parent = s.walk(s.currentUserHive(), u"Software\\KipoTest");
    ASSERT_NE(parent, 0);
    Node* n = s.node(parent);
    ASSERT_NE(n, nullptr);
    const std::string nul(1, '\0');
    s.db().query("INSERT INTO reg_keys(parent, hive, name, upname, written) VALUES(?1, ?2, ?3, ?3, 0)")
        .bind(1, parent)
        .bind(2, n->hive)
        .bind(3, nul)
        .run();
    w.commit();
    s.invalidate();
  }
  std::u16string exported = u"unchanged";
  EXPECT_EQ(exportText(u"HKEY_CURRENT_USER\\Software\\KipoTest", exported), ERROR_INVALID_DATA);
  EXPECT_TRUE(exported.empty());
}

TEST_F(Registry, QueryValueSizeRulesLeaveWhatWindowsLeaves) {
  const std::string data = bytesOf(u"hello") + std::string(2, '\0');  // 12 bytes
  ASSERT_EQ(setRaw(key_, u"v", REG_SZ, data), ERROR_SUCCESS);

  // Size query: no buffer, type and size filled in.
  DWORD type = kSentinel, size = kSentinel;
  EXPECT_EQ(RegQueryValueExW(key_, u"v", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 12u);

  // Short buffer: ERROR_MORE_DATA with the needed size, the buffer untouched.
  BYTE buf[32];
  std::memset(buf, kPad, sizeof buf);
  type = kSentinel;
  size = 11;
  EXPECT_EQ(RegQueryValueExW(key_, u"v", nullptr, &type, buf, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(buf[0], kPad);

  // Exact buffer: the bytes, nothing written past them.
  size = 12;
  EXPECT_EQ(RegQueryValueExW(key_, u"v", nullptr, &type, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 12), data);
  EXPECT_EQ(buf[12], kPad);

  // Missing value: ERROR_FILE_NOT_FOUND; with a buffer the size, type and buffer are left
  // alone, while a size query is told 0.
  std::memset(buf, kPad, sizeof buf);
  type = kSentinel;
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(key_, u"missing", nullptr, &type, buf, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, sizeof buf);
  EXPECT_EQ(type, kSentinel);
  EXPECT_EQ(buf[0], kPad);
  size = kSentinel;
  EXPECT_EQ(RegQueryValueExW(key_, u"missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, kSentinel);

  // A buffer without its size is a bad parameter.
  EXPECT_EQ(RegQueryValueExW(key_, u"v", nullptr, &type, buf, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, EnumValueReportsShortBuffersAndTheEnd) {
  ASSERT_EQ(setRaw(key_, u"Name", REG_BINARY, "12345"), ERROR_SUCCESS);

  // Name buffer too short (needs 5 with the NUL): ERROR_MORE_DATA, neither name nor data
  // written, but the type and the data size are told.
  char16_t name[16];
  std::fill(std::begin(name), std::end(name), u'#');
  BYTE data[16];
  std::memset(data, kPad, sizeof data);
  DWORD cch = 4, type = kSentinel, size = sizeof data;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &cch, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(cch, 4u);
  EXPECT_EQ(name[0], u'#');
  EXPECT_EQ(data[0], kPad);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 5u);
  // The same without a data buffer, and in the 8-bit form (text sizes in ANSI bytes).
  ASSERT_EQ(setRaw(key_, u"Text", REG_SZ, bytesOf(u"abc") + std::string(2, '\0')), ERROR_SUCCESS);
  char narrow[4];
  cch = 4;
  type = kSentinel;
  size = kSentinel;
  EXPECT_EQ(RegEnumValueA(key_, 1, narrow, &cch, nullptr, &type, nullptr, &size), ERROR_MORE_DATA);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 4u);
  cch = 4;
  type = kSentinel;
  size = kSentinel;
  EXPECT_EQ(RegEnumValueW(key_, 1, name, &cch, nullptr, &type, nullptr, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  ASSERT_EQ(RegDeleteValueW(key_, u"Text"), ERROR_SUCCESS);

  // Data buffer too short: the name arrives, the size needed is reported, the data does not.
  cch = 16;
  size = 4;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &cch, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(std::u16string(name, cch), u"Name");
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(data[0], kPad);

  cch = 16;
  size = sizeof data;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &cch, nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(data[5], kPad);
  cch = 16;
  EXPECT_EQ(RegEnumValueW(key_, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, EnumKeyReportsShortBuffersAndTheEnd) {
  RegCloseKey(createKey(key_, u"Child"));
  char16_t name[8];
  std::fill(std::begin(name), std::end(name), u'#');
  DWORD cch = 5;  // "Child" needs 6 with its NUL
  EXPECT_EQ(RegEnumKeyExW(key_, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(cch, 5u);
  EXPECT_EQ(name[0], u'#');
  EXPECT_EQ(RegEnumKeyW(key_, 0, name, 5), ERROR_MORE_DATA);
  EXPECT_EQ(RegEnumKeyW(key_, 0, name, 6), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Child");
  EXPECT_EQ(name[6], u'#');
  FILETIME written{kSentinel, kSentinel};
  cch = 8;
  EXPECT_EQ(RegEnumKeyExW(key_, 0, name, &cch, nullptr, nullptr, nullptr, &written), ERROR_SUCCESS);
  EXPECT_NE(written.dwHighDateTime, kSentinel);
  EXPECT_EQ(RegEnumKeyW(key_, 1, name, 8), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, QueryInfoKeyCountsAndMeasures) {
  RegCloseKey(createKey(key_, u"Short"));
  RegCloseKey(createKey(key_, u"LongerName"));
  ASSERT_EQ(setRaw(key_, u"abc", REG_BINARY, std::string(100, 'x')), ERROR_SUCCESS);
  ASSERT_EQ(setRaw(key_, u"abcdefg", REG_BINARY, "y"), ERROR_SUCCESS);
  DWORD subkeys = kSentinel, maxSub = kSentinel, values = kSentinel, maxName = kSentinel, maxData = kSentinel;
  ASSERT_EQ(RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subkeys, &maxSub, nullptr, &values, &maxName, &maxData,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(maxSub, 10u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 7u);
  EXPECT_EQ(maxData, 100u);
}

TEST_F(Registry, DeleteKeyRefusesSubkeysWhileShDeleteKeyTakesTheTree) {
  RegCloseKey(createKey(key_, u"Tree\\Branch\\Leaf"));
  HKEY tree = createKey(key_, u"Tree");
  ASSERT_EQ(setRaw(tree, u"v", REG_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(key_, u"Tree"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(keyExists(key_, u"Tree\\Branch\\Leaf"));
  EXPECT_EQ(RegDeleteKeyW(key_, u"Tree\\Branch\\Leaf"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(key_, u"Tree\\Branch\\Leaf"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(createKey(key_, u"Tree\\Branch\\Leaf2"));
  EXPECT_EQ(SHDeleteKeyW(key_, u"Tree"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(keyExists(key_, u"Tree"));
  EXPECT_EQ(SHDeleteKeyW(key_, u"Tree"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // The stored roots and the user's hive cannot be deleted.
  EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, u""), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Software\\KipoTest"));
  RegCloseKey(tree);
}

TEST_F(Registry, HandleOnADeletedKeyFailsWithKeyDeletedAndIdsAreNotReused) {
  HKEY doomed = createKey(key_, u"Doomed");
  ASSERT_EQ(setRaw(doomed, u"v", REG_SZ, "x"), ERROR_SUCCESS);
  ASSERT_EQ(SHDeleteKeyW(key_, u"Doomed"), static_cast<DWORD>(ERROR_SUCCESS));
  HKEY reborn = createKey(key_, u"Doomed");  // same name, a new key
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(doomed, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(setRaw(doomed, u"w", REG_SZ, "y"), ERROR_KEY_DELETED);
  char16_t name[8];
  EXPECT_EQ(RegEnumKeyW(doomed, 0, name, 8), ERROR_KEY_DELETED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(doomed, u"x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(readRaw(reborn, u"v").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_INVALID_HANDLE);
  RegCloseKey(reborn);
}

TEST_F(Registry, AccessRightsOfAHandleAreEnforced) {
  RegCloseKey(createKey(key_, u"Guarded"));
  ASSERT_EQ(setRaw(key_, u"keep", REG_SZ, "x"), ERROR_SUCCESS);
  HKEY readOnly = nullptr, writeOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\KipoTest", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\KipoTest", 0, KEY_WRITE, &writeOnly), ERROR_SUCCESS);
  EXPECT_EQ(setRaw(readOnly, u"v", REG_SZ, "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(readOnly, u"keep"), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(readOnly, u"New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(keyExists(key_, u"New"));
  // Opening an existing subkey through a read handle is no write.
  EXPECT_EQ(RegCreateKeyExW(readOnly, u"Guarded", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_SUCCESS);
  RegCloseKey(sub);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(writeOnly, u"keep", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  char16_t name[8];
  EXPECT_EQ(RegEnumKeyW(writeOnly, 0, name, 8), ERROR_ACCESS_DENIED);
  EXPECT_EQ(setRaw(writeOnly, u"v", REG_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(key_, u"keep").data, "x");
  RegCloseKey(readOnly);
  RegCloseKey(writeOnly);
  EXPECT_EQ(RegQueryValueExW(reinterpret_cast<HKEY>(static_cast<UINT_PTR>(0x1234)), u"v", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
}

TEST_F(Registry, UserWhoIsNotAnAdministratorCannotWriteTheMachine) {
  Host::current().setFact(fact::UserIsAdmin, "0");
  const char16_t* path = u"SOFTWARE\\KipoTest";
  HKEY k = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SHSetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE", u"v", REG_SZ, "x", 1), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(setRaw(HKEY_LOCAL_MACHINE, u"v", REG_SZ, "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ | KEY_WRITE, &k), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SAM"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, u".DEFAULT", 0, KEY_WRITE, &k), ERROR_ACCESS_DENIED);
  // Reading is allowed, and MAXIMUM_ALLOWED opens for reading only.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE", &k), ERROR_SUCCESS);
  EXPECT_EQ(setRaw(k, u"v", REG_SZ, "x"), ERROR_ACCESS_DENIED);
  RegCloseKey(k);
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, path));
  // The user's own hive stays writable, through HKEY_CURRENT_USER and through HKEY_USERS.
  EXPECT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\KipoTest", u"v", REG_SZ, "x", 1), static_cast<DWORD>(ERROR_SUCCESS));
  // An administrator may write again.
  Host::current().setFact(fact::UserIsAdmin, "1");
  EXPECT_EQ(SHSetValueW(HKEY_LOCAL_MACHINE, path, u"v", REG_SZ, "x", 1), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(Registry, FreshHostHasTheStructuralKeysAndAliases) {
  for (const char16_t* path : {u"SOFTWARE\\Classes", u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
                               u"SYSTEM\\CurrentControlSet\\Control", u"SYSTEM\\MountedDevices", u"HARDWARE"})
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, path)) << platform::text::toUtf8(path);
  // HKEY_USERS holds .DEFAULT and the user's hive, a SID of the machine's accounts.
  HKEY users = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, u"", 0, KEY_READ, &users), ERROR_SUCCESS);
  auto hives = subkeyNames(users);
  RegCloseKey(users);
  ASSERT_EQ(hives.size(), 2u);
  EXPECT_EQ(hives[0], u".DEFAULT");
  EXPECT_EQ(hives[1].substr(0, 9), u"S-1-5-21-");
  EXPECT_EQ(hives[1].substr(hives[1].size() - 5), u"-1003");
  // HKEY_CURRENT_USER is that hive; HKEY_CURRENT_CONFIG is the current hardware profile.
  ASSERT_EQ(setRaw(key_, u"v", REG_SZ, "cu"), ERROR_SUCCESS);
  HKEY viaUsers = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, (hives[1] + u"\\Software\\KipoTest").c_str(), 0, KEY_READ, &viaUsers), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(viaUsers, u"v").data, "cu");
  RegCloseKey(viaUsers);
  ASSERT_EQ(shSetRaw(HKEY_CURRENT_CONFIG, u"Display", u"v", REG_SZ, "cc"), static_cast<DWORD>(ERROR_SUCCESS));
  char data[8] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Display", u"v",
                        nullptr, data, &size),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(data, size), "cc");
}

TEST_F(Registry, ClassesRootMergesMachineAndUserClasses) {
  auto setClass = [](HKEY root, const char16_t* sub, const char* text) { return shSetRaw(root, sub, u"", REG_SZ, text); };
  ASSERT_EQ(setClass(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.kma", "machine-a"), 0u);
  ASSERT_EQ(setClass(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.kmb", "machine-b"), 0u);
  ASSERT_EQ(setClass(HKEY_CURRENT_USER, u"Software\\Classes\\.kmb", "user-b"), 0u);
  ASSERT_EQ(setClass(HKEY_CURRENT_USER, u"Software\\Classes\\.kmc", "user-c"), 0u);

  // Subkeys are the union, once each, in order.
  HKEY cr = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"", 0, KEY_READ, &cr), ERROR_SUCCESS);
  std::vector<std::u16string> names;
  for (auto& n : subkeyNames(cr))
    if (n.rfind(u".km", 0) == 0) names.push_back(n);
  EXPECT_EQ(names, (std::vector<std::u16string>{u".kma", u".kmb", u".kmc"}));
  RegCloseKey(cr);

  // Reads prefer the user's key.
  char data[32];
  DWORD size = sizeof data;
  ASSERT_EQ(SHGetValueW(HKEY_CLASSES_ROOT, u".kmb", u"", nullptr, data, &size), 0u);
  EXPECT_EQ(std::string(data, size), "user-b");

  // Writes go to the key the view shows; a new key goes to the machine's classes, unless its
  // parent exists only in the user's.
  ASSERT_EQ(setClass(HKEY_CLASSES_ROOT, u".kma", "machine-a2"), 0u);
  size = sizeof data;
  ASSERT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.kma", u"", nullptr, data, &size), 0u);
  EXPECT_EQ(std::string(data, size), "machine-a2");
  ASSERT_EQ(setClass(HKEY_CLASSES_ROOT, u".kmnew", "new"), 0u);
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.kmnew"));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Classes\\.kmnew"));
  ASSERT_EQ(setClass(HKEY_CLASSES_ROOT, u".kmc\\shell", "verb"), 0u);
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Software\\Classes\\.kmc\\shell"));

  // For a user who is not an administrator a new class key is refused (it would go to the
  // machine), while the user's own classes stay writable through the view.
  Host::current().setFact(fact::UserIsAdmin, "0");
  EXPECT_EQ(setClass(HKEY_CLASSES_ROOT, u".kmother", "x"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(setClass(HKEY_CLASSES_ROOT, u".kmb", "user-b2"), 0u);
  EXPECT_EQ(setClass(HKEY_CLASSES_ROOT, u".kma", "x"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Registry, ShellHelpers) {
  // SHSetValueW creates the key; SHGetValueW follows the size rules of RegQueryValueExW.
  DWORD seven = 7;
  ASSERT_EQ(SHSetValueW(key_, u"Sh\\Deep", u"n", REG_DWORD, &seven, 4), 0u);
  DWORD type = kSentinel, value = kSentinel, size = 4;
  EXPECT_EQ(SHGetValueW(key_, u"Sh\\Deep", u"n", &type, &value, &size), 0u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 7u);
  size = 2;
  value = kSentinel;
  EXPECT_EQ(SHGetValueW(key_, u"Sh\\Deep", u"n", &type, &value, &size), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(value, kSentinel);
  EXPECT_EQ(SHGetValueW(key_, u"Sh\\Missing", u"n", &type, &value, &size), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // SHGetValueW hands a REG_EXPAND_SZ back expanded, as REG_SZ; RegQueryValueExW does not.
  ASSERT_TRUE(SetEnvironmentVariableW(u"KIPO_REG_TEST", u"expanded"));
  const std::u16string unexpanded = u"[%KIPO_REG_TEST%]";
  ASSERT_EQ(SHSetValueW(key_, u"Sh", u"e", REG_EXPAND_SZ, unexpanded.c_str(), 2 * (unexpanded.size() + 1)), 0u);
  char16_t text[32];
  std::fill(std::begin(text), std::end(text), u'#');
  size = sizeof text;
  type = kSentinel;
  EXPECT_EQ(SHGetValueW(key_, u"Sh", u"e", &type, text, &size), 0u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::u16string(text), u"[expanded]");
  EXPECT_EQ(size, 2u * 11);
  EXPECT_EQ(text[11], u'#');
  HKEY sh = createKey(key_, u"Sh");
  Read raw = readRaw(sh, u"e");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(raw.data, bytesOf(unexpanded) + std::string(2, '\0'));
  RegCloseKey(sh);

  // SHDeleteEmptyKeyW deletes only an empty key.
  EXPECT_EQ(SHDeleteEmptyKeyW(key_, u"Sh\\Deep"), static_cast<DWORD>(ERROR_KEY_HAS_CHILDREN));
  EXPECT_EQ(SHDeleteValueW(key_, u"Sh\\Deep", u"n"), 0u);
  EXPECT_EQ(SHDeleteValueW(key_, u"Sh\\Deep", u"n"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(SHDeleteEmptyKeyW(key_, u"Sh"), static_cast<DWORD>(ERROR_KEY_HAS_CHILDREN));  // a subkey and a value
  EXPECT_EQ(SHDeleteEmptyKeyW(key_, u"Sh\\Deep"), 0u);
  EXPECT_FALSE(keyExists(key_, u"Sh\\Deep"));

  // SHCopyKeyW copies values and subkeys with their types and bytes, merging.
  ASSERT_EQ(SHSetValueW(key_, u"Src\\Sub", u"b", 0x4242, "\x01\x02", 2), 0u);
  ASSERT_EQ(shSetRaw(key_, u"Src", u"", REG_SZ, "top"), 0u);
  HKEY dest = createKey(key_, u"Dest");
  ASSERT_EQ(setRaw(dest, u"already", REG_SZ, "here"), ERROR_SUCCESS);
  ASSERT_EQ(SHCopyKeyW(key_, u"Src", dest, 0), 0u);
  HKEY copied = createKey(dest, u"Sub");
  Read r = readRaw(copied, u"b");
  EXPECT_EQ(r.type, 0x4242u);
  EXPECT_EQ(r.data, std::string("\x01\x02", 2));
  EXPECT_EQ(readRaw(dest, u"").data, "top");
  EXPECT_EQ(readRaw(dest, u"already").data, "here");
  RegCloseKey(copied);
  RegCloseKey(dest);
}

TEST_F(Registry, AnsiFormsConvertNamesAndTextData) {
  // 0xE9 is é in the Western ANSI code page.
  const char name[] = "caf\xe9";
  ASSERT_EQ(RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("d\xe9j\xe0\0"), 5), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key_, "bin", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\xe9\0"), 2), ERROR_SUCCESS);
  // Stored as UTF-16 under the wide name.
  EXPECT_EQ(readRaw(key_, u"CAF\u00c9").data, bytesOf(std::u16string(u"d\u00e9j\u00e0\0", 5)));
  EXPECT_EQ(readRaw(key_, u"bin").data, std::string("\xe9\0", 2));

  char buf[16];
  std::memset(buf, kPad, sizeof buf);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);  // ANSI bytes, not UTF-16 ones
  ASSERT_EQ(RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(buf, 5), std::string("d\xe9j\xe0\0", 5));
  EXPECT_EQ(static_cast<BYTE>(buf[5]), kPad);

  char keyName[16];
  DWORD cch = sizeof keyName;
  RegCloseKey(createKey(key_, u"\u00c5ngstr\u00f6m"));
  ASSERT_EQ(RegEnumKeyExA(key_, 0, keyName, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(keyName, cch), "\xc5ngstr\xf6m");
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key_, "\xe5NGSTR\xd6M", 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(SHDeleteKeyA(key_, "\xc5ngstr\xf6m"), 0u);
}

TEST_F(Registry, ValueNameLimits) {
  std::u16string longest(16383, u'v'), tooLong(16384, u'v');
  EXPECT_EQ(setRaw(key_, longest.c_str(), REG_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(setRaw(key_, tooLong.c_str(), REG_SZ, "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(valueNames(key_), std::vector<std::u16string>{longest});
}

// The key's last-write time as RegQueryInfoKeyW reports it.
std::uint64_t lastWrite(HKEY key) {
  FILETIME t{};
  EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &t),
            ERROR_SUCCESS);
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

TEST_F(Registry, TheProcessCacheFollowsItsOwnWritesAndNoticesCommitsOfOthers) {
  for (const char16_t* name : {u"alpha", u"Mid"}) ASSERT_EQ(setRaw(key_, name, REG_SZ, "1"), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(key_), (std::vector<std::u16string>{u"alpha", u"Mid"}));  // the key's values cached
  ASSERT_EQ(setRaw(key_, u"ALPHA", REG_BINARY, "2"), ERROR_SUCCESS);
  ASSERT_EQ(shSetRaw(HKEY_CURRENT_USER, u"Software\\KipoTest", u"new", REG_DWORD, std::string("\x03\0\0\0", 4)),
            ERROR_SUCCESS);
  // What the cache answers after the writes is what the database holds.
  auto seen = [&] {
    const Read alpha = readRaw(key_, u"alpha");
    return std::make_tuple(valueNames(key_), alpha.type, alpha.data, readRaw(key_, u"new").data, lastWrite(key_));
  };
  const auto cached = seen();
  EXPECT_EQ(std::get<0>(cached), (std::vector<std::u16string>{u"alpha", u"Mid", u"new"}));
  EXPECT_EQ(std::get<1>(cached), static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(std::get<2>(cached), "2");
  {
    auto l = platform::registry::lock();
    platform::registry::Store::get().invalidate();
  }
  EXPECT_EQ(seen(), cached);

  // Another process commits and has not bumped the shared counter yet (a second connection
  // that leaves the counter alone): the next write decides on what that process left, and the
  // reads after it see it.
  {
    platform::host::Database other(host_.folder() / "host.db", false);
    other.exec("UPDATE reg_values SET data = CAST('theirs' AS BLOB) WHERE upname = 'MID'");
  }
  ASSERT_EQ(setRaw(key_, u"alpha", REG_SZ, "3"), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(key_, u"Mid").data, "theirs");
  EXPECT_EQ(readRaw(key_, u"alpha").data, "3");
}

TEST_F(Registry, ChangesCrossBetweenProcesses) {
  // Written by another process, seen here, also after this process has cached the key.
  ASSERT_EQ(setRaw(key_, u"shared", REG_SZ, "before"), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(key_, u"shared").data, "before");
  ASSERT_EQ(kipotest::runTool({"reg", "set", "HKCU\\Software\\KipoTest", "shared", "--data", "after"}), 0);
  EXPECT_EQ(readRaw(key_, u"shared").data, bytesOf(u"after") + std::string(2, '\0'));

  // Written here, seen by another process.
  ASSERT_EQ(setRaw(key_, u"mine", REG_DWORD, std::string("\x2a\0\0\0", 4)), ERROR_SUCCESS);
  std::string out;
  ASSERT_EQ(kipotest::runTool({"reg", "query", "HKEY_CURRENT_USER\\Software\\KipoTest", "mine"}, &out), 0);
  EXPECT_NE(out.find("REG_DWORD    0x2a"), std::string::npos) << out;

  // A key deleted by another process: the open handle reports it.
  HKEY victim = createKey(key_, u"Victim");
  ASSERT_EQ(setRaw(victim, u"v", REG_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(victim, u"v").rc, ERROR_SUCCESS);
  ASSERT_EQ(kipotest::runTool({"reg", "delete", "HKCU\\Software\\KipoTest\\Victim"}), 0);
  EXPECT_EQ(readRaw(victim, u"v").rc, ERROR_KEY_DELETED);
  EXPECT_EQ(setRaw(victim, u"v", REG_SZ, "x"), ERROR_KEY_DELETED);
  RegCloseKey(victim);
}

}  // namespace

namespace {

TEST_F(Registry, InjectedFaultFailsTheNamedCallForTheKeyPathPrefix) {
  HKEY faulty = createKey(key_, u"Faulty");
  platform::fault::Fault f;
  f.call = "RegSetValueExW";
  f.subject = u"hkey_current_user\\software\\kipotest\\faulty";
  f.error = ERROR_DISK_FULL;
  auto id = platform::fault::inject(f);
  EXPECT_EQ(setRaw(faulty, u"v", REG_SZ, "x"), ERROR_DISK_FULL);
  EXPECT_EQ(readRaw(faulty, u"v").rc, ERROR_FILE_NOT_FOUND);  // nothing written
  EXPECT_EQ(setRaw(key_, u"v", REG_SZ, "x"), ERROR_SUCCESS);  // another key
  EXPECT_EQ(shSetRaw(key_, u"Faulty", u"v", REG_SZ, "x"), 0u);  // the shell helper is its own call
  platform::fault::removeLocal(id);

  f.call = "RegOpenKeyExW";
  f.subject = u"HKEY_CURRENT_USER\\Software\\KipoTest\\Faulty";
  f.error = ERROR_ACCESS_DENIED;
  id = platform::fault::inject(f);
  HKEY k = reinterpret_cast<HKEY>(static_cast<UINT_PTR>(kSentinel));
  EXPECT_EQ(RegOpenKeyExW(key_, u"Faulty", 0, KEY_READ, &k), ERROR_ACCESS_DENIED);
  EXPECT_EQ(k, nullptr);
  platform::fault::removeLocal(id);
  RegCloseKey(faulty);
}

}  // namespace

namespace {

TEST_F(Registry, CurrentUserFollowsTheHostsUser) {
  ASSERT_EQ(setRaw(key_, u"who", REG_SZ, "first"), ERROR_SUCCESS);
  Host::current().setFact(fact::UserName, "Sam");
  // A new user gets a hive of their own, with the next account number; the first user's stays.
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\KipoTest"));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Software\\Classes"));
  HKEY users = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, u"", 0, KEY_READ, &users), ERROR_SUCCESS);
  auto hives = subkeyNames(users);
  RegCloseKey(users);
  ASSERT_EQ(hives.size(), 3u);
  EXPECT_EQ(hives[2].substr(hives[2].size() - 5), u"-1004");
  EXPECT_EQ(hives[1].substr(0, hives[1].size() - 5), hives[2].substr(0, hives[2].size() - 5));
  // The handle opened for the first user still reaches the first user's key.
  EXPECT_EQ(readRaw(key_, u"who").data, "first");
  Host::current().setFact(fact::UserName, "Robin");
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Software\\KipoTest"));
}

}  // namespace
