// The registry calls: names, ordering, exact bytes, buffer and out-parameter rules (with
// sentinels), access rights, the administrator rule, the predefined keys and the classes view,
// and what one process sees of another's changes.
#include "platform/win32/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
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

LONG setRaw(HKEY key, const char16_t* name, DWORD type, const std::string& data) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
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

  // Missing value: ERROR_FILE_NOT_FOUND, the size zeroed, the type and buffer left alone.
  std::memset(buf, kPad, sizeof buf);
  type = kSentinel;
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(key_, u"missing", nullptr, &type, buf, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, kSentinel);
  EXPECT_EQ(buf[0], kPad);

  // A buffer without its size is a bad parameter.
  EXPECT_EQ(RegQueryValueExW(key_, u"v", nullptr, &type, buf, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, EnumValueReportsShortBuffersAndTheEnd) {
  ASSERT_EQ(setRaw(key_, u"Name", REG_BINARY, "12345"), ERROR_SUCCESS);

  // Name buffer too short (needs 5 with the NUL): ERROR_MORE_DATA, nothing written.
  char16_t name[16];
  std::fill(std::begin(name), std::end(name), u'#');
  BYTE data[16];
  std::memset(data, kPad, sizeof data);
  DWORD cch = 4, type = kSentinel, size = sizeof data;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &cch, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(cch, 4u);
  EXPECT_EQ(name[0], u'#');
  EXPECT_EQ(data[0], kPad);

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
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_CONFIG, u"Display", u"v", REG_SZ, "cc", 2), static_cast<DWORD>(ERROR_SUCCESS));
  char data[8] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Display", u"v",
                        nullptr, data, &size),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(data, size), "cc");
}

TEST_F(Registry, ClassesRootMergesMachineAndUserClasses) {
  auto setClass = [](HKEY root, const char16_t* sub, const char* text) {
    return SHSetValueW(root, sub, u"", REG_SZ, text, static_cast<DWORD>(std::strlen(text)));
  };
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
  ASSERT_EQ(SHSetValueW(key_, u"Src", u"", REG_SZ, "top", 3), 0u);
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
  EXPECT_EQ(SHSetValueW(key_, u"Faulty", u"v", REG_SZ, "x", 1), 0u);  // the shell helper is its own call
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
