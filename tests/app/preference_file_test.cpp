// The device pref store: a pref file carried from one host to another, records aimed outside the
// preferences, files held by another program, swapped during a load or cut short, failed loads
// that must not be followed by an overwriting save, and saves that fail part-way or have nothing
// to save and leave the drive's old pref file as it was.
#include "app/preference_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/system_profile.h"
#include "platform/base/clock.h"
#include "platform/base/fault.h"
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
  // The records are sorted out in memory: a temporary folder that cannot be written is no matter.
  WCHAR temp[MAX_PATH + 1] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::uint64_t fault = kipotest::failCall("CreateFileW", ERROR_ACCESS_DENIED, temp);
  const bool loaded = store.load();
  platform::fault::removeLocal(fault);
  ASSERT_TRUE(loaded);
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

TEST_F(PreferenceFileTest, FailedLoadKeepsTheDrivesFileWhileItIsThere) {
  platform::clock::VirtualClock clock;  // the retries of a file that stays locked pass at once
  struct Case {
    const char* name;
    std::string bytes;
    bool lockFile;  // every read fails
    const char* box;
  };
  const std::string whole = Dump().key(kPrefs).text(u"language", u"ITA").end().s;
  const Case cases[] = {
      {"cut inside a record", whole.substr(0, whole.size() - 7), false, "could not be read.\nIt is damaged"},
      {"length past the end", Dump().key(kPrefs).tok(u'[').str(u"v").u32(4000).u32(REG_SZ).s, false,
       "could not be read.\nIt is damaged"},
      {"newer version", Dump(101).key(kPrefs).text(u"language", u"ITA").end().s, false, "newer version"},
      {"unreadable", whole, true, "will not be saved to the drive this session"},
  };
  // What becomes of the file after the failed load, and whether a save may then replace it.
  struct After {
    const char* name;
    void (*change)(const fs::path&);
    bool saved;
  };
  const After afters[] = {
      {"the same file", [](const fs::path&) {}, false},
      {"the same bytes written again later",
       [](const fs::path& f) { fs::last_write_time(f, fs::last_write_time(f) + std::chrono::hours(1)); }, true},
      {"another file", [](const fs::path& f) { writeBytes(f, "other"); }, true},
      {"no file", [](const fs::path& f) { fs::remove(f); }, true},
  };
  for (const Case& c : cases) {
    for (const After& a : afters) {
      SCOPED_TRACE(std::string(c.name) + ", then " + a.name);
      writePrefFile(c.bytes);
      CRegistry(CString(kPrefs), true, true).setString(u"language", CString(u"USA"));
      CPreferenceFile& store = getDevicePrefs();
      store.setFilePath(CString(kPrefFile));
      std::uint64_t fault = 0;
      if (c.lockFile) fault = kipotest::failCall("ReadFile", ERROR_LOCK_VIOLATION, kPrefFile);
      boxes.clear();
      EXPECT_FALSE(store.load());
      if (fault) platform::fault::removeLocal(fault);
      // The old preferences are gone whatever the file held; the run goes on with defaults.
      EXPECT_FALSE(keyExists(kPrefs));
      EXPECT_TRUE(logHas("{PREF FILE}: Failed to read file: E:\\Synchronized Computers\\customizer.pref."));
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_NE(utf8(boxes[0].text).find(c.box), std::string::npos) << utf8(boxes[0].text);
      EXPECT_NE(utf8(boxes[0].text).find("customizer.pref"), std::string::npos);
      EXPECT_TRUE(store.isSaveBlocked());

      // The document points the store at the same file again: still refused, with one line.
      setPref(u"", u"language", u"USA");
      store.setFilePath(CString(kPrefFile));
      std::size_t mark = logBytes().size();
      EXPECT_FALSE(store.save());
      EXPECT_EQ(readBytes(prefFile()), c.bytes);
      const auto lines = linesSince(mark);
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_NE(lines[0].find("customizer.pref"), std::string::npos) << lines[0];

      a.change(prefFile());
      const bool existed = fs::exists(prefFile());
      const std::string before = existed ? readBytes(prefFile()) : std::string();
      EXPECT_EQ(store.isSaveBlocked(), !a.saved);
      EXPECT_EQ(store.save(), a.saved);
      if (a.saved) {
        EXPECT_EQ(regText(kPrefs, u"language"), "USA");
        EXPECT_NE(readBytes(prefFile()).find(std::string("U\0S\0A\0", 6)), std::string::npos);
      } else {
        EXPECT_EQ(readBytes(prefFile()), before);
      }
    }
  }

  // A later load that succeeds ends the refusal as well.
  writePrefFile(whole);
  ASSERT_TRUE(getDevicePrefs().load());
  EXPECT_FALSE(getDevicePrefs().isSaveBlocked());
}

TEST_F(PreferenceFileTest, AFileHeldByAnotherProgramIsWaitedFor) {
  platform::clock::VirtualClock clock;
  const std::string whole = Dump().key(kPrefs).text(u"language", u"ESP").end().s;
  writePrefFile(whole);
  CPreferenceFile& store = getDevicePrefs();

  // A scanner that lets go within the retries: the load succeeds and nobody is told.
  for (const char* call : {"CreateFileW", "ReadFile"}) {
    SCOPED_TRACE(call);
    const std::uint64_t fault = kipotest::failCall(call, ERROR_SHARING_VIOLATION, kPrefFile, 1, 3);
    boxes.clear();
    EXPECT_TRUE(store.load());
    platform::fault::removeLocal(fault);
    EXPECT_EQ(regText(kPrefs, u"language"), "ESP");
    EXPECT_TRUE(boxes.empty());
  }

  // One that holds the file for good: the user is told that this session's settings stay here.
  {
    HANDLE scanner = CreateFileW(kPrefFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    boxes.clear();
    const std::uint64_t startMs = clock.nowMs();
    EXPECT_FALSE(store.load());
    EXPECT_GE(clock.nowMs() - startMs, 2000u);
    EXPECT_LT(clock.nowMs() - startMs, 3000u);
    CloseHandle(scanner);
    EXPECT_FALSE(keyExists(kPrefs));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(utf8(boxes[0].text),
              "The settings file E:\\Synchronized Computers\\customizer.pref could not be read.\nKipo is using its "
              "default settings, and changes to your settings will not be saved to the drive this session.");
    setPref(u"", u"language", u"USA");
    EXPECT_FALSE(store.save());
    EXPECT_EQ(readBytes(prefFile()), whole);
  }

  // The save's final replace waits for a scanner too, and gives up leaving the old file.
  ASSERT_TRUE(store.load());
  setPref(u"", u"language", u"FRA");
  const std::u16string temporary = std::u16string(kPrefFile) + u".new";
  const std::uint64_t fault = kipotest::failCall("MoveFileExW", ERROR_SHARING_VIOLATION, temporary, 1, 3);
  EXPECT_TRUE(store.save());
  platform::fault::removeLocal(fault);
  const std::string saved = readBytes(prefFile());
  EXPECT_NE(saved.find(std::string("F\0R\0A\0", 6)), std::string::npos);

  setPref(u"", u"language", u"DEU");
  HANDLE scanner = CreateFileW(kPrefFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(store.save());
  CloseHandle(scanner);
  EXPECT_EQ(readBytes(prefFile()), saved);
  EXPECT_FALSE(fs::exists(computersFolder() / "customizer.pref.new"));
  EXPECT_TRUE(store.save());
}

TEST_F(PreferenceFileTest, AFileSwappedDuringTheLoadIsNeverReadTwice) {
  // The file holds only preferences when the load begins; another one, aimed at the Run key,
  // takes its place a moment later, while any second opening of it would still be waiting.
  writePrefFile(Dump().key(kPrefs).text(u"language", u"SWE").end().s);
  const std::string swapped =
      Dump().key(kPrefs).text(u"language", u"SWE").end().key(kRun).text(u"Evil", u"C:\\evil.exe").end().s;
  platform::fault::Fault delay;
  delay.call = "CreateFileW";
  delay.subject = kPrefFile;
  delay.action = platform::fault::Action::Delay;
  delay.delayMs = 1500;
  delay.nth = 2;
  const std::uint64_t fault = platform::fault::inject(delay);
  const fs::path file = prefFile();
  std::thread swapper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writeBytes(file.string() + ".swap", swapped);
    fs::rename(file.string() + ".swap", file);
  });
  const bool loaded = getDevicePrefs().load();
  swapper.join();
  platform::fault::removeLocal(fault);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(regText(kRun, u"Evil"), "<none>");
  EXPECT_EQ(regText(kPrefs, u"language"), "SWE");
}

TEST_F(PreferenceFileTest, ACutShortFileIsKeptOnceBeforeItIsReplaced) {
  const fs::path kept = computersFolder() / "customizer.pref.cut";
  // Cut on a record boundary: the computer's key and Prefs itself are still open.
  const std::string cut = Dump()
                              .key(kPrefs).text(u"language", u"JPN")
                              .key(prefs(u"Synchronized Computers\\ALPHA")).text(u"frequentUseComputer", u"true")
                              .s;
  writePrefFile(cut);
  CPreferenceFile& store = getDevicePrefs();
  ASSERT_TRUE(store.load());
  EXPECT_EQ(regText(kPrefs, u"language"), "JPN");
  EXPECT_EQ(regText(prefs(u"Synchronized Computers\\ALPHA").c_str(), u"frequentUseComputer"), "true");
  EXPECT_FALSE(store.isSaveBlocked());
  EXPECT_FALSE(fs::exists(kept)) << "nothing is kept before a save would replace the file";

  std::size_t mark = logBytes().size();
  ASSERT_TRUE(store.save());
  EXPECT_EQ(readBytes(kept), cut);
  EXPECT_EQ(attributes(u"E:\\Synchronized Computers\\customizer.pref.cut") & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  bool logged = false;
  for (const std::string& l : linesSince(mark)) logged = logged || l.find("customizer.pref.cut") != std::string::npos;
  EXPECT_TRUE(logged);
  const std::string first = readBytes(prefFile());
  EXPECT_NE(first, cut);

  // Once: later saves replace the file as usual.
  setPref(u"", u"language", u"KOR");
  ASSERT_TRUE(store.save());
  EXPECT_EQ(readBytes(kept), cut);

  // Another cut-short file does not overwrite the one kept before.
  const std::string cutAgain = Dump().key(kPrefs).text(u"language", u"CHS").s;
  writePrefFile(cutAgain);
  ASSERT_TRUE(store.load());
  ASSERT_TRUE(store.save());
  EXPECT_EQ(readBytes(kept), cut);

  // A complete dump is not cut short: nothing is kept for it.
  fs::remove(kept);
  writePrefFile(Dump().key(kPrefs).text(u"language", u"CHT").end().s);
  ASSERT_TRUE(store.load());
  ASSERT_TRUE(store.save());
  EXPECT_FALSE(fs::exists(kept));

  // When the cut-short file cannot be kept, it is not replaced either.
  writePrefFile(cut);
  ASSERT_TRUE(store.load());
  const std::uint64_t fault = kipotest::failCall("CopyFileW", ERROR_DISK_FULL, kPrefFile);
  EXPECT_FALSE(store.save());
  platform::fault::removeLocal(fault);
  EXPECT_EQ(readBytes(prefFile()), cut);
  ASSERT_TRUE(store.save());
  EXPECT_EQ(readBytes(kept), cut);
}

TEST_F(PreferenceFileTest, SaveWithoutPreferencesLeavesTheFile) {
  const std::string bytes = Dump().key(kPrefs).text(u"language", u"NLD").end().s;
  writePrefFile(bytes);
  ASSERT_FALSE(keyExists(kPrefs));
  std::size_t mark = logBytes().size();
  EXPECT_TRUE(getDevicePrefs().save());
  EXPECT_EQ(readBytes(prefFile()), bytes);
  EXPECT_EQ(linesSince(mark),
            std::vector<std::string>{"{PREF FILE}: No preferences in the registry; E:\\Synchronized "
                                     "Computers\\customizer.pref was left as it was."});
  // Without a file, none is made.
  fs::remove(prefFile());
  EXPECT_TRUE(getDevicePrefs().save());
  EXPECT_FALSE(fs::exists(prefFile()));
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
