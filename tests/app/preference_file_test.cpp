// The device pref store: a pref file carried from one host to another, records aimed outside the
// preferences, failed loads that must not be followed by an overwriting save, and saves that
// fail part-way and leave the drive's old pref file as it was.
#include "app/preference_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/system_profile.h"
#include "tests/app/profiles_fixture.h"
#include "tests/support/faults.h"

namespace {

namespace fs = std::filesystem;
using apptest::ProfilesTest;

const char16_t* const kPrefs = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs";
const char16_t* const kRun = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t* const kPrefFile = u"E:\\Synchronized Computers\\customizer.pref";

std::u16string prefs(const char16_t* rest) { return std::u16string(kPrefs) + u"\\" + rest; }

// Little-endian key dump bytes built by hand.
struct Dump {
  std::string s;
  explicit Dump(DWORD version = 100) { u32(version); }
  Dump& u32(DWORD n) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(n >> (8 * i));
    return *this;
  }
  Dump& tok(char16_t c) {
    s += static_cast<char>(c & 0xff);
    s += static_cast<char>(c >> 8);
    return *this;
  }
  Dump& str(std::u16string_view t) {
    u32(static_cast<DWORD>(t.size() * 2));
    for (char16_t c : t) tok(c);
    return *this;
  }
  Dump& key(std::u16string_view path) { return tok(u'{').str(path); }
  Dump& text(std::u16string_view name, std::u16string_view value) {
    tok(u'[').str(name).u32(static_cast<DWORD>(value.size() * 2)).u32(REG_SZ);
    for (char16_t c : value) tok(c);
    return tok(u']');
  }
  Dump& end() { return tok(u'}'); }
};

class PreferenceFileTest : public ProfilesTest {
 protected:
  fs::path prefFile() const { return computersFolder() / "customizer.pref"; }
  void writePrefFile(const std::string& bytes) {
    fs::create_directories(computersFolder());
    writeBytes(prefFile(), bytes);
  }
  static DWORD attributes(const char16_t* path) { return GetFileAttributesW(path); }
  static void setPref(const char16_t* subkey, const char16_t* name, const char16_t* value) {
    CPreferenceFile& store = getDevicePrefs();
    store.openSubkey(CString(subkey));
    ASSERT_TRUE(store.setString(name, CString(value)));
  }
};

TEST_F(PreferenceFileTest, PrefFileCarriedToAnotherHost) {
  setPref(u"", u"language", u"FRA");
  setPref(u"Synchronized Computers\\ALPHA", u"frequentUseComputer", u"true");
  getDevicePrefs().openSubkey(CString(u"Synchronized Computers\\ALPHA"));
  ASSERT_TRUE(getDevicePrefs().save());  // the drive's folder is created on the way
  const DWORD attrs = attributes(kPrefFile);
  EXPECT_EQ(attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_FALSE(fs::exists(computersFolder() / "customizer.pref.new"));
  // The store is pointed back at the key it stood for.
  EXPECT_EQ(utf8(getDevicePrefs().getPath()), utf8(CString(prefs(u"Synchronized Computers\\ALPHA"))));
  const std::string saved = readBytes(prefFile());

  // Another host: its own registry, with preferences of its own that the drive's replace.
  resetGlobals();
  {
    kipotest::TestHost other;
    plugDrive(drive);
    setComputerName("BETA");
    CRegistry(CString(prefs(u"Stale")), true, true).setString(u"old", CString(u"1"));
    CPreferenceFile& store = getDevicePrefs();
    store.setFilePath(CString(kPrefFile));
    ASSERT_TRUE(store.fileExists());
    ASSERT_TRUE(store.load());
    EXPECT_EQ(regText(kPrefs, u"language"), "FRA");
    EXPECT_EQ(regText(prefs(u"Synchronized Computers\\ALPHA").c_str(), u"frequentUseComputer"), "true");
    EXPECT_FALSE(keyExists(prefs(u"Stale").c_str()));
    // The store stands for the last key the file held.
    EXPECT_EQ(utf8(store.getSubkeyName()), "Synchronized Computers\\ALPHA");
    // Saved unchanged on this host, the file keeps its bytes.
    ASSERT_TRUE(store.save());
    EXPECT_EQ(readBytes(prefFile()), saved);
    resetGlobals();
  }
}

TEST_F(PreferenceFileTest, RecordsOutsideThePreferencesAreNeverWritten) {
  const std::u16string run(kRun);
  writePrefFile(Dump()
                    .key(kPrefs).text(u"language", u"DEU")
                    .key(run).text(u"Evil", u"C:\\evil.exe").end()
                    .key(std::u16string(kPrefs) + u"X").text(u"near", u"miss").end()
                    .key(prefs(u"Snapins\\Wallpaper")).text(u"personalized", u"false").end()
                    .end()
                    .key(u"HKEY_CURRENT_USER\\SOFTWARE\\BRACKWATER\\KIPO\\PREFS\\Upper").text(u"v", u"1").end()
                    .s);
  CPreferenceFile& store = getDevicePrefs();
  std::size_t mark = logBytes().size();
  ASSERT_TRUE(store.load());
  EXPECT_EQ(regText(kRun, u"Evil"), "<none>");
  EXPECT_FALSE(keyExists((std::u16string(kPrefs) + u"X").c_str()));
  EXPECT_EQ(regText(kPrefs, u"language"), "DEU");
  EXPECT_EQ(regText(prefs(u"Snapins\\Wallpaper").c_str(), u"personalized"), "false");
  EXPECT_EQ(regText(prefs(u"Upper").c_str(), u"v"), "1");  // the same key in other letters
  const auto lines = linesSince(mark);
  int skipped = 0;
  for (const std::string& l : lines)
    if (l.rfind("{PREF FILE}: Skipped key outside the preferences in E:\\Synchronized Computers\\customizer.pref: ", 0) == 0)
      ++skipped;
  EXPECT_EQ(skipped, 2);
  // A load that succeeded allows the next save.
  EXPECT_TRUE(store.save());
}

TEST_F(PreferenceFileTest, FailedLoadKeepsTheDrivesFileUntilANewDevice) {
  struct Case {
    const char* name;
    std::string bytes;
    bool lockFile;  // opened by nobody else: a read that fails
  };
  const std::string whole = Dump().key(kPrefs).text(u"language", u"ITA").end().s;
  const Case cases[] = {
      {"cut inside a record", whole.substr(0, whole.size() - 7), false},
      {"length past the end", Dump().key(kPrefs).tok(u'[').str(u"v").u32(4000).u32(REG_SZ).s, false},
      {"newer version", Dump(101).key(kPrefs).text(u"language", u"ITA").end().s, false},
      {"unreadable", whole, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writePrefFile(c.bytes);
    CRegistry(CString(kPrefs), true, true).setString(u"language", CString(u"USA"));
    CPreferenceFile& store = getDevicePrefs();
    store.setFilePath(CString(kPrefFile));
    std::uint64_t fault = 0;
    if (c.lockFile) fault = kipotest::failCall("ReadFile", ERROR_LOCK_VIOLATION, kPrefFile);
    boxes.clear();
    EXPECT_FALSE(store.load());
    if (fault) platform::fault::removeLocal(fault);
    EXPECT_TRUE(store.isSaveBlocked());
    // The old preferences are gone whatever the file held; the run goes on with defaults.
    EXPECT_FALSE(keyExists(kPrefs));
    EXPECT_TRUE(logHas("{PREF FILE}: Failed to read file: E:\\Synchronized Computers\\customizer.pref."));

    setPref(u"", u"language", u"USA");
    std::size_t mark = logBytes().size();
    EXPECT_FALSE(store.save());
    EXPECT_EQ(readBytes(prefFile()), c.bytes);
    const auto lines = linesSince(mark);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("customizer.pref"), std::string::npos) << lines[0];

    // The document opens a device (this one again, or another): its file may be written.
    store.setFilePath(CString(kPrefFile));
    EXPECT_TRUE(store.save());
    EXPECT_NE(readBytes(prefFile()), c.bytes);
  }
  // A damaged file shows the dump reader's message; a newer one its own.
  writePrefFile(Dump(101).s);
  boxes.clear();
  EXPECT_FALSE(getDevicePrefs().load());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("newer version"), std::string::npos) << utf8(boxes[0].text);

  // A later load that succeeds ends the refusal as well.
  writePrefFile(whole);
  ASSERT_TRUE(getDevicePrefs().load());
  EXPECT_FALSE(getDevicePrefs().isSaveBlocked());
}

TEST_F(PreferenceFileTest, FailedSaveLeavesTheOldPrefFile) {
  setPref(u"", u"language", u"NLD");
  ASSERT_TRUE(getDevicePrefs().save());
  const std::string before = readBytes(prefFile());
  setPref(u"", u"language", u"PRT");
  const std::u16string temporary = std::u16string(kPrefFile) + u".new";
  struct Case {
    const char* call;
    std::u16string subject;
  };
  const Case cases[] = {
      {"WriteFile", temporary},      // the dump cannot be written
      {"CreateFileW", temporary},    // nor even created
      {"MoveFileExW", temporary},    // written, but the old file cannot be replaced
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    const std::uint64_t fault = kipotest::failCall(c.call, ERROR_DISK_FULL, c.subject);
    std::size_t mark = logBytes().size();
    EXPECT_FALSE(getDevicePrefs().save());
    platform::fault::removeLocal(fault);
    EXPECT_EQ(readBytes(prefFile()), before);
    EXPECT_FALSE(fs::exists(computersFolder() / "customizer.pref.new"));
    EXPECT_EQ(attributes(kPrefFile) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    bool named = false;
    for (const std::string& l : linesSince(mark))
      named = named || (l.find("{PREF FILE}: Failed to") == 0 && l.find("customizer.pref;") != std::string::npos);
    EXPECT_TRUE(named);
  }
  EXPECT_TRUE(getDevicePrefs().save());
  EXPECT_NE(readBytes(prefFile()), before);
}

TEST_F(PreferenceFileTest, PathsAndEmptyFilePath) {
  EXPECT_EQ(utf8(CPreferenceFile::getPrefsRootPath()), "HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs");
  CSystemProfile profile;
  profile.m_computerName = u"ALPHA";
  profile.m_conflictIndex = 1;
  EXPECT_EQ(utf8(CPreferenceFile::getComputerPrefsPath(profile)),
            "HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA(1)");
  // No profile of this host in the database.
  EXPECT_EQ(utf8(CPreferenceFile::getThisComputerPrefsPath()), "");

  CPreferenceFile& store = getDevicePrefs();
  store.setFilePath(CString());
  EXPECT_FALSE(store.fileExists());
  EXPECT_FALSE(store.save());
  EXPECT_FALSE(store.load());
  EXPECT_TRUE(logHas("{PREF FILE}: Cannot save to empty file path."));
  EXPECT_TRUE(logHas("{PREF FILE}: Cannot load from empty file path."));
}

}  // namespace
