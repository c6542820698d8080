// The profile database: recognising the host by name and fingerprint, the questions of a host that
// looks changed (answered through the confirm-profile dialog), renames that move the computer's
// keys, folders and synchronize marker, conflict indexes, and the legacy "Profiles.dat".
#include "app/profile_database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/preference_file.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "tests/app/profiles_fixture.h"
#include "tests/support/faults.h"
#include "tests/support/ui_script.h"

namespace {

namespace fs = std::filesystem;
using apptest::ProfilesTest;

const char16_t* const kProfiles = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\System Profiles";
const char16_t* const kComputerPrefs =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers";
const char16_t* const kLocalPrefs = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs";

std::u16string under(const char16_t* key, const char16_t* rest) { return std::u16string(key) + u"\\" + rest; }

// The legacy profile file, little-endian, strings in the class library's archive form.
struct Legacy {
  std::string s;
  Legacy& u32(DWORD n) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(n >> (8 * i));
    return *this;
  }
  Legacy& byte(unsigned char b) {
    s += static_cast<char>(b);
    return *this;
  }
  Legacy& wide(std::u16string_view t) {  // FF FE FF, count, UTF-16
    byte(0xff).byte(0xfe).byte(0xff).byte(static_cast<unsigned char>(t.size()));
    for (char16_t c : t) byte(static_cast<unsigned char>(c & 0xff)).byte(static_cast<unsigned char>(c >> 8));
    return *this;
  }
  Legacy& narrow(std::string_view t) {  // count, 8-bit characters
    byte(static_cast<unsigned char>(t.size()));
    s += t;
    return *this;
  }
};

class ProfileDatabaseTest : public ProfilesTest {
 protected:
  CProfileDatabase& db = getProfileDatabase();

  // The stored profile keys, in the registry's order.
  static std::vector<std::string> storedKeys() {
    CRegistry r{CString(kProfiles)};
    CStringList names;
    std::vector<std::string> out;
    if (!r.getSubkeyNames(names, false)) return out;
    for (POSITION pos = names.GetHeadPosition(); pos;) out.push_back(utf8(names.GetNext(pos)));
    return out;
  }
  std::vector<std::string> listedKeys() {
    std::vector<std::string> out;
    for (int i = 0; i < db.getProfileCount(); ++i) out.push_back(utf8(db.getProfile(i)->getKey()));
    return out;
  }
  // Stores a profile for another computer (directly, as an earlier run would have).
  static void storeProfile(const char16_t* name, LONG index, DWORD cSerial) {
    CSystemProfile p;
    p.m_computerName = name;
    p.m_conflictIndex = index;
    p.m_nickname = p.getKey();
    p.m_drives.push_back({u'c', cSerial});
    ASSERT_TRUE(p.write());
  }
  // Picks row `row` of the confirm-profile dialog.
  static void pickProfile(kipotest::UiScript& ui, int row) {
    ui.dialog(IDD_CONFIRM_PROFILE).select(IDC_CONFIRM_PROFILE_LIST, row).click(IDOK);
  }
  void writeLegacy(const std::string& bytes) {
    fs::create_directories(computersFolder());
    writeBytes(computersFolder() / "Profiles.dat", bytes);
  }
};

TEST_F(ProfileDatabaseTest, FirstStartStoresThisComputer) {
  // The drive the program runs from is no part of the host, even when it reports a fixed disk.
  platform::host::removeDrive(u"E:");
  plugDrive(drive, u"E:", DRIVE_FIXED);
  plugDrive(kipotest::freshTempDir("profiles-d"), u"D:", DRIVE_FIXED, 0xd00d);
  ASSERT_TRUE(db.loadProfiles());
  EXPECT_EQ(listedKeys(), std::vector<std::string>{"ALPHA"});
  CSystemProfile* self = db.getThisComputerProfile();
  ASSERT_NE(self, nullptr);
  ASSERT_EQ(self->m_drives.size(), 2u);
  EXPECT_EQ(self->m_drives[0].letter, u'c');
  EXPECT_EQ(self->m_drives[0].serial, systemDriveSerial());
  EXPECT_EQ(self->m_drives[1].letter, u'd');
  EXPECT_EQ(self->m_drives[1].serial, 0xd00du);

  const std::u16string key = under(kProfiles, u"ALPHA");
  EXPECT_EQ(regText(key.c_str(), u"computerName"), "ALPHA");
  EXPECT_EQ(regText(key.c_str(), u"nickName"), "ALPHA");
  EXPECT_EQ(regText(key.c_str(), u"upgradeRequired"), "false");
  CRegistry drives{CString(key + u"\\Drives")};
  DWORD serial = 0;
  EXPECT_TRUE(drives.getDword(u"d", serial));
  EXPECT_EQ(serial, 0xd00du);
  EXPECT_FALSE(drives.valueExists(u"e"));
  EXPECT_EQ(utf8(self->getDeviceFolder()), "E:\\Synchronized Computers\\ALPHA");
  EXPECT_FALSE(self->deviceFolderExists());

  // The next start finds it again and adds nothing.
  ASSERT_TRUE(db.loadProfiles());
  EXPECT_EQ(listedKeys(), std::vector<std::string>{"ALPHA"});
}

TEST_F(ProfileDatabaseTest, SecondHostNamedAlphaBecomesAlpha1) {
  storeProfile(u"ALPHA", 0, systemDriveSerial() + 1);  // another computer called ALPHA
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_CONFIRM_PROFILE).click(IDCANCEL);  // "New Computer"
    ASSERT_TRUE(db.loadProfiles());
  }
  EXPECT_EQ(listedKeys(), (std::vector<std::string>{"ALPHA", "ALPHA(1)"}));
  CSystemProfile* self = db.getThisComputerProfile();
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->m_conflictIndex, 1);
  EXPECT_EQ(utf8(self->m_nickname), "ALPHA(1)");
  EXPECT_EQ(utf8(self->getDeviceFolder()), "E:\\Synchronized Computers\\ALPHA(1)");
  EXPECT_EQ(storedKeys(), (std::vector<std::string>{"ALPHA", "ALPHA(1)"}));

  // A third one takes one more than the largest index of that name.
  getProfileDatabase().deleteAllProfiles();
  setSystemDriveSerial(0x33333333);
  kipotest::UiScript again;
  again.dialog(IDD_CONFIRM_PROFILE).click(IDCANCEL);
  ASSERT_TRUE(db.loadProfiles());
  again.verify();
  ASSERT_NE(db.getThisComputerProfile(), nullptr);
  EXPECT_EQ(utf8(db.getThisComputerProfile()->getKey()), "ALPHA(2)");
}

TEST_F(ProfileDatabaseTest, RenamedHostPicksItsProfile) {
  storeProfile(u"ALPHA", 0, systemDriveSerial());
  storeProfile(u"ALPHA", 1, 0x77777777);  // another ALPHA, whose folder begins with "ALPHA" too
  CRegistry(CString(under(kComputerPrefs, u"ALPHA")), true, true).setString(u"frequentUseComputer", CString(u"true"));
  fs::create_directories(computersFolder() / "ALPHA" / "History");
  writeBytes(computersFolder() / "ALPHA" / "TypedURLs.dat", "urls");
  fs::create_directories(computersFolder() / "ALPHA(1)");
  fs::create_directories(computersFolder() / "alpha_old");
  writeBytes(computersFolder() / "ALPHA.Sync", "");

  setComputerName("GAMMA");
  kipotest::UiScript ui;
  pickProfile(ui, 0);
  ASSERT_TRUE(db.loadProfiles());
  ui.verify();

  EXPECT_EQ(listedKeys(), (std::vector<std::string>{"GAMMA", "ALPHA(1)"}));
  CSystemProfile* self = db.getThisComputerProfile();
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(utf8(self->getKey()), "GAMMA");
  EXPECT_EQ(self->m_conflictIndex, 0);
  EXPECT_EQ(utf8(self->m_nickname), "ALPHA");  // the user's name for it stays
  // Keys, folders and the synchronize marker moved; the other ALPHA's folder stayed.
  EXPECT_EQ(regText(under(kComputerPrefs, u"GAMMA").c_str(), u"frequentUseComputer"), "true");
  EXPECT_FALSE(keyExists(under(kComputerPrefs, u"ALPHA").c_str()));
  EXPECT_EQ(storedKeys(), (std::vector<std::string>{"ALPHA(1)", "GAMMA"}));
  EXPECT_EQ(readBytes(computersFolder() / "GAMMA" / "TypedURLs.dat"), "urls");
  EXPECT_TRUE(fs::is_directory(computersFolder() / "GAMMA" / "History"));
  EXPECT_FALSE(fs::exists(computersFolder() / "ALPHA"));
  EXPECT_TRUE(fs::is_directory(computersFolder() / "GAMMA_old"));
  EXPECT_TRUE(fs::is_regular_file(computersFolder() / "GAMMA.Sync"));
  EXPECT_FALSE(fs::exists(computersFolder() / "ALPHA.Sync"));
  EXPECT_TRUE(fs::is_directory(computersFolder() / "ALPHA(1)"));
}

TEST_F(ProfileDatabaseTest, RenameOnAnUnlistableDriveMovesNothing) {
  storeProfile(u"ALPHA", 0, systemDriveSerial());
  CRegistry(CString(under(kComputerPrefs, u"ALPHA")), true, true).setString(u"frequentUseComputer", CString(u"true"));
  fs::create_directories(computersFolder() / "ALPHA");
  setComputerName("GAMMA");
  const std::uint64_t fault = kipotest::failCall("FindFirstFileW", ERROR_ACCESS_DENIED, u"E:\\Synchronized Computers");
  kipotest::UiScript ui;
  pickProfile(ui, 0);
  ASSERT_TRUE(db.loadProfiles());
  platform::fault::removeLocal(fault);
  ui.verify();
  ASSERT_EQ(boxes.size(), 2u);  // 645 and 899
  EXPECT_EQ(utf8(boxes[0].text), "Unable to list the computer folders on the device.");
  EXPECT_EQ(utf8(boxes[1].text), "Unable to update the name of the computer ALPHA.");
  EXPECT_EQ(regText(under(kComputerPrefs, u"ALPHA").c_str(), u"frequentUseComputer"), "true");
  EXPECT_TRUE(fs::is_directory(computersFolder() / "ALPHA"));
  // The host was then taken for a new computer.
  EXPECT_EQ(storedKeys(), (std::vector<std::string>{"ALPHA", "GAMMA"}));
}

TEST_F(ProfileDatabaseTest, RenameOntoATakenNameTakesTheNextIndex) {
  storeProfile(u"ALPHA", 0, systemDriveSerial());
  storeProfile(u"BETA", 0, 0x11111111);
  storeProfile(u"BETA", 4, 0x22222222);
  fs::create_directories(computersFolder() / "ALPHA");
  fs::create_directories(computersFolder() / "BETA");
  setComputerName("BETA");
  kipotest::UiScript ui;
  pickProfile(ui, 0);
  ASSERT_TRUE(db.loadProfiles());
  ui.verify();
  CSystemProfile* self = db.getThisComputerProfile();
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(utf8(self->getKey()), "BETA(5)");
  EXPECT_EQ(storedKeys(), (std::vector<std::string>{"BETA", "BETA(4)", "BETA(5)"}));
  EXPECT_TRUE(fs::is_directory(computersFolder() / "BETA(5)"));
  EXPECT_TRUE(fs::is_directory(computersFolder() / "BETA"));  // the other BETA's folder
  EXPECT_EQ(db.getProfileCount(), 3);
}

TEST_F(ProfileDatabaseTest, DiskSwapAsksAboutTheFingerprint) {
  storeProfile(u"ALPHA", 0, systemDriveSerial());
  plugDrive(kipotest::freshTempDir("profiles-new-disk"), u"D:", DRIVE_FIXED, 0x0d15c);
  kipotest::UiScript ui;
  pickProfile(ui, 0);
  ASSERT_TRUE(db.loadProfiles());
  ui.verify();
  EXPECT_EQ(listedKeys(), std::vector<std::string>{"ALPHA"});
  CSystemProfile* self = db.getThisComputerProfile();
  ASSERT_NE(self, nullptr);
  ASSERT_EQ(self->m_drives.size(), 2u);
  CRegistry drives{CString(under(kProfiles, u"ALPHA\\Drives"))};
  DWORD serial = 0;
  EXPECT_TRUE(drives.getDword(u"d", serial));
  EXPECT_EQ(serial, 0x0d15cu);
}

TEST_F(ProfileDatabaseTest, LegacyProfileFileIsConvertedOnce) {
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs"), true, true).setDword(u"prefsVersion", 100);
  const DWORD serial = systemDriveSerial();
  writeLegacy(Legacy()
                  .u32(100).u32(2)
                  .u32(serial).wide(u"ALPHA").u32(0).byte(1).wide(u"My PC")
                  .u32(0x12345678).narrow("OFFICE").u32(2).byte(0).narrow("Work")
                  .s);
  ASSERT_TRUE(db.loadProfiles());
  EXPECT_EQ(listedKeys(), (std::vector<std::string>{"ALPHA", "OFFICE(2)"}));
  EXPECT_EQ(utf8(db.getProfile(1)->m_nickname), "Work");
  EXPECT_TRUE(db.getProfile(1)->m_upgradeRequired);
  // This host's own legacy profile was upgraded to its full fingerprint.
  CSystemProfile* self = db.getThisComputerProfile();
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(utf8(self->m_nickname), "My PC");
  EXPECT_FALSE(self->m_upgradeRequired);
  EXPECT_EQ(regText(under(kProfiles, u"OFFICE(2)").c_str(), u"upgradeRequired"), "true");
  EXPECT_FALSE(fs::exists(computersFolder() / "Profiles.dat"));

  // Preferences older than version 100: the records hold no conflict index.
  db.deleteAllProfiles();
  CRegistry(CString(kProfiles), false, true).deleteKey();
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs"), false, true).deleteValue(u"prefsVersion");
  writeLegacy(Legacy().u32(99).u32(1).u32(serial).wide(u"ALPHA").byte(0).wide(u"Old PC").s);
  ASSERT_TRUE(db.loadProfiles());
  EXPECT_EQ(listedKeys(), std::vector<std::string>{"ALPHA"});
  EXPECT_EQ(utf8(db.getProfile(0)->m_nickname), "Old PC");
  EXPECT_FALSE(fs::exists(computersFolder() / "Profiles.dat"));
}

TEST_F(ProfileDatabaseTest, LegacyFileGoesOnlyOnceThePrefFileHoldsItsProfiles) {
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs"), true, true).setDword(u"prefsVersion", 100);
  const DWORD serial = systemDriveSerial();
  const std::string legacy = Legacy().u32(100).u32(1).u32(serial).wide(u"ALPHA").u32(0).byte(1).wide(u"My PC").s;
  writeLegacy(legacy);
  const fs::path prefFile = computersFolder() / "customizer.pref";
  // The drive is pulled before the pref file could be written: the legacy file is the drive's
  // only record of the computers and stays, to be converted again next time.
  const std::uint64_t fault =
      kipotest::failCall("CreateFileW", ERROR_NOT_READY, u"E:\\Synchronized Computers\\customizer.pref");
  ASSERT_TRUE(db.loadProfiles());
  platform::fault::removeLocal(fault);
  EXPECT_EQ(readBytes(computersFolder() / "Profiles.dat"), legacy);
  EXPECT_FALSE(fs::exists(prefFile));
  EXPECT_TRUE(logHas("{ProfileDatabase}: Failed to write system profiles after upgrading database."));

  ASSERT_TRUE(db.loadProfiles());
  EXPECT_FALSE(fs::exists(computersFolder() / "Profiles.dat"));
  // The pref file carries the converted profile without anybody else saving it.
  resetGlobals();
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs"), false, true).deleteKey();
  getDevicePrefs().setFilePath(CString(u"E:\\Synchronized Computers\\customizer.pref"));
  ASSERT_TRUE(getDevicePrefs().load());
  EXPECT_EQ(regText(under(kProfiles, u"ALPHA").c_str(), u"nickName"), "My PC");
}

TEST_F(ProfileDatabaseTest, UnusableLegacyFileIsKept) {
  // Preferences of version 100: each legacy record holds a conflict index.
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs"), true, true).setDword(u"prefsVersion", 100);
  const DWORD serial = systemDriveSerial();
  const std::string whole =
      Legacy().u32(100).u32(1).u32(serial).wide(u"OLDPC").u32(0).byte(0).wide(u"Old").s;
  struct Case {
    const char* name;
    std::string bytes;
    bool message;
  };
  const Case cases[] = {
      {"version 101", Legacy().u32(101).u32(1).s + whole.substr(8), true},
      {"cut short", whole.substr(0, whole.size() - 3), false},
      {"more profiles than the file holds", Legacy().u32(100).u32(2).s + whole.substr(8), false},
      {"nothing after the version", Legacy().u32(100).s, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    getProfileDatabase().deleteAllProfiles();
    CRegistry(CString(kProfiles), false, true).deleteKey();
    storeProfile(u"ALPHA", 0, serial);
    writeLegacy(c.bytes);
    boxes.clear();
    ASSERT_TRUE(db.loadProfiles());
    // The stored profiles were loaded as usual; the file is still there, untouched.
    EXPECT_EQ(listedKeys(), std::vector<std::string>{"ALPHA"});
    EXPECT_EQ(storedKeys(), std::vector<std::string>{"ALPHA"});
    EXPECT_EQ(readBytes(computersFolder() / "Profiles.dat"), c.bytes);
    EXPECT_TRUE(logHas("{ProfileDatabase}: E:\\Synchronized Computers\\Profiles.dat was not imported and is kept; the "
                       "profiles are read from the registry."));
    ASSERT_EQ(boxes.size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_NE(utf8(boxes[0].text).find("newer version"), std::string::npos);
    }
    // A later write of the profiles leaves it alone too.
    EXPECT_TRUE(db.writeSystemProfiles());
    EXPECT_TRUE(fs::exists(computersFolder() / "Profiles.dat"));
  }
}

TEST_F(ProfileDatabaseTest, HostWithoutANameIsNotStored) {
  setComputerName("");
  storeProfile(u"ALPHA", 0, systemDriveSerial());
  ASSERT_TRUE(db.loadProfiles());
  EXPECT_EQ(listedKeys(), std::vector<std::string>{"ALPHA"});
  EXPECT_EQ(storedKeys(), std::vector<std::string>{"ALPHA"});
  EXPECT_EQ(db.getThisComputerProfile(), nullptr);
  EXPECT_TRUE(logHas("{ProfileDatabase}: This computer's name is unknown; it is neither matched with nor added to the "
                     "profiles."));
}

TEST_F(ProfileDatabaseTest, LoginComputerAndRemoval) {
  storeProfile(u"OTHER", 0, 0x42);
  ASSERT_TRUE(db.loadProfiles());
  ASSERT_EQ(db.getProfileCount(), 2);
  CSystemProfile* self = db.getThisComputerProfile();
  CSystemProfile* other = db.findByKey(CString(u"other"));
  ASSERT_NE(self, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(db.removeProfile(self));
  EXPECT_FALSE(db.removeProfile(nullptr));

  other->setLoginComputer(true);
  EXPECT_EQ(regText(kLocalPrefs, u"loginComputer"), "OTHER");
  // After a crash the flag is gone, the remembered nickname finds it again.
  ASSERT_TRUE(db.loadProfiles());
  CSystemProfile* login = db.getLoginProfile();
  ASSERT_NE(login, nullptr);
  EXPECT_EQ(utf8(login->getKey()), "OTHER");
  EXPECT_TRUE(login->isLoginComputer());
  // Removing the login computer makes this computer the login computer.
  EXPECT_TRUE(db.removeProfile(login));
  EXPECT_EQ(db.getProfileCount(), 1);
  EXPECT_EQ(db.getLoginProfile(), db.getThisComputerProfile());
  EXPECT_EQ(regText(kLocalPrefs, u"loginComputer"), "ALPHA");
}

TEST_F(ProfileDatabaseTest, StoredFormReadsBack) {
  CSystemProfile none;  // a host whose only fixed disk is the drive the program runs from
  none.m_computerName = u"KIOSK";
  none.m_nickname = u"Kiosk";
  CSystemProfile two;
  two.m_computerName = u"OMEGA";
  two.m_conflictIndex = 3;
  two.m_nickname = u"Desk";
  two.m_drives = {{u'c', 0x1111}, {u'd', 0x2222}};
  ASSERT_TRUE(none.write());
  ASSERT_TRUE(two.write());
  CSystemProfile a, b;
  ASSERT_TRUE(a.read(CString(u"System Profiles\\KIOSK")));
  ASSERT_TRUE(b.read(CString(u"System Profiles\\OMEGA(3)")));
  EXPECT_TRUE(a.isSameComputer(none));
  EXPECT_TRUE(a.m_drives.empty());
  EXPECT_EQ(utf8(b.m_nickname), "Desk");
  EXPECT_EQ(b.m_conflictIndex, 3);
  EXPECT_TRUE(b.isSameComputer(two));
  // A profile whose values cannot all be read is dropped from the list, and logged.
  CRegistry(CString(under(kProfiles, u"BROKEN")), true, true).setString(u"computerName", CString(u"BROKEN"));
  ASSERT_TRUE(db.loadProfiles());
  EXPECT_EQ(db.findByKey(CString(u"BROKEN")), nullptr);
  EXPECT_TRUE(logHas("{ProfileDatabase}: Failed to read profile: "
                     "HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\System Profiles\\BROKEN"));
}

TEST_F(ProfileDatabaseTest, CompareFlags) {
  auto profile = [](const char16_t* name, std::vector<CSystemProfile::DriveEntry> drives) {
    CSystemProfile p;
    p.m_computerName = name;
    p.m_drives = std::move(drives);
    return p;
  };
  struct Case {
    CSystemProfile a, b;
    int flags;
  };
  const Case cases[] = {
      {profile(u"A", {}), profile(u"a", {}), 1 | 4},                               // empty lists match
      {profile(u"A", {{u'c', 1}, {u'd', 2}}), profile(u"A", {{u'C', 1}, {u'd', 2}}), 1 | 4},
      {profile(u"A", {{u'c', 1}, {u'd', 2}}), profile(u"B", {{u'c', 1}}), 2},      // lengths differ
      {profile(u"A", {{u'c', 1}}), profile(u"A", {{u'c', 9}}), 1},
      {profile(u"A", {{u'c', 1}, {u'd', 2}}), profile(u"B", {{u'd', 2}, {u'c', 1}}), 0},  // by position
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a.compare(c.b), c.flags) << utf8(c.a.m_computerName) << " / " << utf8(c.b.m_computerName);
    EXPECT_EQ(c.a.isSameComputer(c.b), c.flags == (1 | 4));
  }
}

}  // namespace
