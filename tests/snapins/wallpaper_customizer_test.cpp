// The wallpaper snap-in on a simulated host: a whole session (login, synchronization, logout)
// that leaves the host as it found it, what a run plans for the drive folder, how the host's
// wallpaper is read and shown on each Windows version, and what restore does without a backup
// or with a damaged one.
#include "snapins/wallpaper_customizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/preference_file.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "platform/afx/app.h"
#include "platform/afx/doc.h"
#include "platform/com/active_desktop.h"
#include "platform/com/runtime.h"
#include "snapins/file_synchronizer.h"
#include "snapins/factory_context.h"
#include "snapins/space_man.h"
#include "tests/snapins/session_fixture.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/faults.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;
using snapintest::SnapinTest;
using snapintest::utf8;

constexpr const char16_t* kControlPanel = u"HKEY_CURRENT_USER\\Control Panel\\Desktop";
constexpr const char16_t* kLastTheme = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\LastTheme";

using sessiontest::Desktop;
using sessiontest::savedDesktop;
using sessiontest::setDesktop;

// Every value under a registry key and its subkeys, by full path, except the product's own tree.
void dumpKey(const CString& path, std::map<std::string, std::string>& out) {
  if (startsWithNoCase(path, CString(u"HKEY_CURRENT_USER\\Software\\Brackwater"))) return;
  CRegistry key{path};
  if (!key.isOpen()) return;
  CStringList names;
  key.getValueNames(names);
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    const CString name = names.GetNext(pos);
    std::vector<BYTE> bytes;
    key.getBytes(name, bytes);
    DWORD type = 0;
    key.getValueType(name, type);
    out[utf8(path) + "|" + utf8(name)] = std::to_string(type) + ":" + std::string(bytes.begin(), bytes.end());
  }
  CStringList subkeys;
  key.getSubkeyNames(subkeys, true);
  for (POSITION pos = subkeys.GetHeadPosition(); pos;) dumpKey(subkeys.GetNext(pos), out);
}

class WallpaperTest : public SnapinTest {
 protected:
  WallpaperTest() { CoInitialize(nullptr); }
  ~WallpaperTest() override {
    platform::fault::clearLocal();
    kipotest::destroyThreadWindows();
    CoUninitialize();
  }

  static void setVersion(const char* version) {
    platform::host::Host::current().setFact(platform::host::fact::WindowsVersion, version);
  }
  fs::path driveFile(const std::string& computer, const std::string& name) const {
    return computersFolder() / computer / name;
  }
  static std::string drivePath(const std::string& computer, const std::string& name) {
    return "E:\\Synchronized Computers\\" + computer + "\\" + name;
  }
  // A file on the host's C: drive, given its Windows path below "C:\".
  void hostFile(const std::string& relative, const std::string& bytes) {
    std::string linux = relative;
    for (char& c : linux)
      if (c == '\\') c = '/';
    fs::create_directories(host.c(linux).parent_path());
    writeBytes(host.c(linux), bytes);
  }
  static void age(const fs::path& file, int seconds) {
    fs::last_write_time(file, fs::last_write_time(file) - std::chrono::seconds(seconds));
  }

  CSystemProfile* addComputer(const char16_t* name) {
    auto profile = std::make_unique<CSystemProfile>();
    profile->m_computerName = CString(name);
    profile->m_nickname = CString(name);
    CSystemProfile* raw = profile.get();
    getProfileDatabase().profiles().push_back(std::move(profile));
    return raw;
  }
  // A computer's wallpaper prefs in the device store.
  static void storePrefs(CSystemProfile* computer, const char16_t* path, DWORD style = 2, bool activeDesktop = false) {
    CRegistry key(CPreferenceFile::getComputerPrefsPath(*computer) + u"\\Wallpaper", true, true);
    key.setString(kWallpaperPathValue, CString(path));
    key.setDword(kWallpaperStyleValue, style);
    key.setBool(kActiveDesktopUsedValue, activeDesktop);
    key.setBool(kWebComponentsEnabledValue, false);
    key.setString(kWallpaperNonADPathValue, CString());
  }

  // The host's registry (outside the product's keys) and its files (outside the product's
  // folders and the log).
  std::map<std::string, std::string> hostState() {
    std::map<std::string, std::string> state;
    dumpKey(CString(u"HKEY_CURRENT_USER"), state);
    dumpKey(CString(u"HKEY_LOCAL_MACHINE"), state);
    for (const auto& entry : fs::recursive_directory_iterator(host.c())) {
      const std::string path = entry.path().string();
      if (path.find("Brackwater") != std::string::npos || entry.path() == logFile()) continue;
      std::string what = entry.is_directory() ? "<dir>" : readBytes(entry.path());
      if (!entry.is_directory())
        what += "@" + std::to_string(entry.last_write_time().time_since_epoch().count());
      state["file|" + path] = what;
    }
    return state;
  }

  // The document's coordinator with the snap-in registered.
  CWallpaperCustomizer* addSnapin() {
    auto snapin = std::make_unique<CWallpaperCustomizer>(&doc.getSpaceMan());
    CWallpaperCustomizer* raw = snapin.get();
    doc.addCustomizer(std::move(snapin));
    doc.getSpaceMan().buildSpaceRecords();
    return raw;
  }
  void synchronize() {
    doc.getSpaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
    pump();
  }

  CCustomizerDoc doc;
};

// A session on a host of its own wallpaper: the host's desktop and files are as before once the
// user has logged out; in between the desktop showed the wallpaper of the computer the user
// logged in from (from the drive), or the host's own when that computer is this one, and the
// synchronization put the wallpaper shown into this computer's folder on the drive.
TEST_F(WallpaperTest, SessionLeavesTheHostAsItWas) {
  struct Case {
    bool fromThisComputer;
    const char* shown;       // during the session
    const char* driveImage;  // this computer's image on the drive after the run
  } cases[] = {
      {false, "E:\\Synchronized Computers\\HOME\\beach.jpg", "beach.jpg"},
      {true, "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp", "Bliss.bmp"},
  };
  hostFile("WINDOWS\\Web\\Wallpaper\\Bliss.bmp", std::string(3000, 'b'));
  CRegistry(CString(kLastTheme), true, true)
      .setString(u"Wallpaper", CString(u"%SystemRoot%\\Web\\Wallpaper\\Bliss.bmp"), REG_EXPAND_SZ);
  setDesktop(u"C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp", WPSTYLE_TILE, true, true);
  CSystemProfile* home = addComputer(u"HOME");
  storePrefs(home, u"D:\\Photos\\beach.jpg", WPSTYLE_STRETCH);
  fs::create_directories(driveFile("HOME", ""));
  writeBytes(driveFile("HOME", "beach.jpg"), std::string(5000, 'j'));
  CWallpaperCustomizer* snapin = addSnapin();

  for (const Case& c : cases) {
    SCOPED_TRACE(c.fromThisComputer ? "from this computer" : "from another computer");
    fs::remove_all(driveFile("ALPHA", ""));
    self()->setLoginComputer(c.fromThisComputer);
    home->setLoginComputer(!c.fromThisComputer);
    const auto before = hostState();

    ASSERT_TRUE(snapin->backup());
    ASSERT_TRUE(snapin->personalize());
    EXPECT_TRUE(snapin->isPersonalized());
    Desktop shown = savedDesktop();
    EXPECT_EQ(shown.wallpaper, c.shown);
    EXPECT_EQ(shown.style, static_cast<DWORD>(c.fromThisComputer ? WPSTYLE_TILE : WPSTYLE_STRETCH));
    // XP shows any image without Active Desktop.
    EXPECT_EQ(shown.activeDesktop, c.fromThisComputer);
    EXPECT_EQ(regText(kControlPanel, u"Wallpaper"), c.shown);

    synchronize();
    EXPECT_EQ(readBytes(driveFile("ALPHA", c.driveImage)), c.fromThisComputer ? std::string(3000, 'b')
                                                                                : std::string(5000, 'j'));
    EXPECT_EQ(utf8(snapin->getComputerWallpaperPath(self())), drivePath("ALPHA", c.driveImage));
    EXPECT_TRUE(fs::exists(computersFolder() / "customizer.pref"));

    ASSERT_TRUE(snapin->depersonalize());
    ASSERT_TRUE(snapin->restore());
    EXPECT_FALSE(snapin->isPersonalized());
    EXPECT_EQ(hostState(), before);
    Desktop back = savedDesktop();
    EXPECT_EQ(back.wallpaper, "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");
    EXPECT_EQ(back.style, static_cast<DWORD>(WPSTYLE_TILE));
    EXPECT_TRUE(back.activeDesktop);
    EXPECT_TRUE(back.components);
  }
}

// What one run plans for the record's computer, by the host's wallpaper, the image the drive
// already holds and whether the computer is synchronized. Deletions run first.
TEST_F(WallpaperTest, RunPlansTheDriveFolder) {
  hostFile("Pics\\new.jpg", std::string(5000, 'n'));
  const auto newOnDrive = driveFile("ALPHA", "new.jpg");
  const auto oldOnDrive = driveFile("ALPHA", "old.bmp");
  enum DriveCopy { None, Same, Older, Newer };
  struct Case {
    const char* name;
    DWORD mode;
    const char16_t* hostWallpaper;
    const char16_t* stored;  // the computer's stored wallpaper path (its image is on the drive)
    DriveCopy copy;          // new.jpg on the drive
    bool synchronized;
    std::vector<std::string> ops;
    LONGLONG planned;
  } cases[] = {
      {"towards the host only", kSyncDriveToHost, u"C:\\Pics\\new.jpg", u"C:\\Pics\\old.bmp", None, true, {}, 0},
      {"wallpaper removed", kSyncBothWays, u"", u"C:\\Pics\\old.bmp", None, true, {"delete old.bmp"}, -8192},
      {"none before, none now", kSyncBothWays, u"", nullptr, None, true, {}, 0},
      {"new file name", kSyncBothWays, u"C:\\Pics\\new.jpg", u"C:\\Pics\\old.bmp", None, true,
       {"delete old.bmp", "copy new.jpg"}, 0},
      {"first run", kSyncHostToDrive, u"C:\\Pics\\new.jpg", nullptr, None, true, {"copy new.jpg"}, 8192},
      {"unchanged", kSyncBothWays, u"C:\\Pics\\new.jpg", u"C:\\Pics\\new.jpg", Same, true, {}, 0},
      {"changed under the same name", kSyncBothWays, u"C:\\Pics\\new.jpg", u"C:\\Pics\\new.jpg", Older, true,
       {"copy new.jpg"}, 4096},
      {"drive copy newer", kSyncBothWays, u"C:\\Pics\\new.jpg", u"C:\\Pics\\new.jpg", Newer, true, {}, 0},
      {"not synchronized", kSyncBothWays, u"C:\\Pics\\new.jpg", u"C:\\Pics\\new.jpg", Same, false,
       {"delete new.jpg"}, -8192},
      {"not synchronized, nothing there", kSyncBothWays, u"C:\\Pics\\new.jpg", nullptr, None, false, {}, 0},
  };
  setDriveClusterSize(4096);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setDesktop(c.hostWallpaper, WPSTYLE_CENTER, false, false);
    fs::remove_all(driveFile("ALPHA", ""));
    CRegistry(CPreferenceFile::getComputerPrefsPath(*self()) + u"\\Wallpaper").deleteKey();
    fs::create_directories(driveFile("ALPHA", ""));
    if (c.stored) {
      storePrefs(self(), c.stored);
      writeBytes(driveFile("ALPHA", utf8(getFileName(CString(c.stored)))), std::string(5000, 'o'));
    }
    if (c.copy != None) {
      writeBytes(newOnDrive, std::string(1000, 'c'));
      fs::last_write_time(newOnDrive, fs::last_write_time(host.c("Pics/new.jpg")));
      if (c.copy == Older) age(newOnDrive, 10);
      if (c.copy == Newer) age(host.c("Pics/new.jpg"), 10);
    }
    CCustomizerDoc runDoc;
    auto owned = std::make_unique<CWallpaperCustomizer>(&runDoc.getSpaceMan());
    CWallpaperCustomizer* snapin = owned.get();
    runDoc.addCustomizer(std::move(owned));
    CSpaceMan& spaceMan = runDoc.getSpaceMan();
    spaceMan.buildSpaceRecords();
    snapin->setSynchronized(self(), c.synchronized);
    CSpaceRecord* record = spaceMan.findSpaceRecord(self(), CString(u"Wallpaper"));
    ASSERT_NE(record, nullptr);

    ASSERT_EQ(snapin->synchronizer().calculateSyncOps(record, c.mode), kSyncDone);
    std::vector<std::string> ops;
    for (const auto& op : spaceMan.getRunList()) {
      auto* fileOp = dynamic_cast<CFileSyncOp*>(op.get());
      ASSERT_NE(fileOp, nullptr);
      EXPECT_EQ(fileOp->owner, &snapin->synchronizer());
      ops.push_back((fileOp->kind == kFileOpHostToDrive ? "copy " : fileOp->kind == kSyncOpDelete ? "delete " : "? ") +
                    utf8(getFileName(fileOp->pathB)));
    }
    EXPECT_EQ(ops, c.ops);
    EXPECT_EQ(record->plannedBytes, c.planned);
    EXPECT_EQ(snapin->synchronizer().getByteCount(), c.planned);

    // Executed, the drive folder holds exactly the host's image.
    for (const auto& op : spaceMan.getRunList()) EXPECT_EQ(op->execute(c.mode), kSyncDone);
    if (c.ops.empty()) continue;
    const bool keeps = c.synchronized && c.hostWallpaper[0] != 0;
    EXPECT_EQ(fs::exists(newOnDrive), keeps);
    if (keeps) {
      EXPECT_EQ(readBytes(newOnDrive), std::string(5000, 'n'));
    }
    EXPECT_FALSE(fs::exists(oldOnDrive));
  }
  setDriveClusterSize(0);
}

// The end of a run stores the host's wallpaper as this computer's only when the run succeeded;
// the drive's space for a computer is its image's size in whole clusters.
TEST_F(WallpaperTest, RunEndAndDeviceSpace) {
  hostFile("Pics\\sea.jpg", std::string(5000, 's'));
  setDesktop(u"C:\\Pics\\sea.jpg", WPSTYLE_CENTER, false, false);
  CWallpaperCustomizer* snapin = addSnapin();
  const CString prefsKey = CPreferenceFile::getComputerPrefsPath(*self()) + u"\\Wallpaper";
  for (int result : {kSyncFailed, kSyncCancelled}) {
    EXPECT_TRUE(snapin->postExecuteSyncOps(self(), result));
    EXPECT_FALSE(keyExists(prefsKey.GetString()));
  }
  fs::create_directories(computersFolder());
  EXPECT_TRUE(snapin->postExecuteSyncOps(self(), kSyncDone));
  EXPECT_EQ(regText(prefsKey.GetString(), kWallpaperPathValue), "C:\\Pics\\sea.jpg");
  EXPECT_EQ(regText(prefsKey.GetString(), kActiveDesktopUsedValue), "false");
  EXPECT_TRUE(fs::exists(computersFolder() / "customizer.pref"));

  setDriveClusterSize(4096);
  CSpaceRecord* record = doc.getSpaceMan().findSpaceRecord(self(), CString(u"Wallpaper"));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(snapin->getDeviceSpace(record), 0u);  // not on the drive yet
  fs::create_directories(driveFile("ALPHA", ""));
  writeBytes(driveFile("ALPHA", "sea.jpg"), std::string(5000, 's'));
  EXPECT_EQ(snapin->getDeviceSpace(record), 8192u);
  EXPECT_EQ(record->deviceBytes, 8192u);
  setDriveClusterSize(0);

  // A stored path whose last part is not a plain file name names no image: nothing outside the
  // computer's folder is ever counted, copied over or deleted.
  for (const char16_t* stored :
       {u"C:\\Pics\\..", u"C:\\Pics\\.", u"C:/Pics/../../customizer.pref", u"D:evil.bmp", u"\"\"", u""}) {
    SCOPED_TRACE(utf8(CString(stored)));
    CRegistry(prefsKey, true, true).setString(kWallpaperPathValue, CString(stored));
    EXPECT_EQ(utf8(snapin->getComputerWallpaperPath(self())), "");
  }
}

// Reading the host: on XP the theme's image stands for the shell's converted copy; on Windows 2000
// the plain desktop's wallpaper counts when Active Desktop is off, and a wallpaper that is not
// an existing file counts as none.
TEST_F(WallpaperTest, CaptureByWindowsVersion) {
  hostFile("Pics\\tree.jpg", "t");
  hostFile("Pics\\plain.bmp", "p");
  CRegistry(CString(kLastTheme), true, true)
      .setString(u"Wallpaper", CString(u"%SystemRoot%\\Web\\Wallpaper\\Bliss.bmp"), REG_EXPAND_SZ);
  struct Case {
    const char* version;
    const char16_t* shellWallpaper;
    bool activeDesktop;
    const char16_t* controlPanel;  // set after the shell saved (null: as the shell left it)
    const char* path;
    const char* nonADPath;
  } cases[] = {
      {"5.1", u"C:\\Documents and Settings\\u\\wallpaper1.bmp", false, nullptr, "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp", ""},
      {"5.1", u"C:\\Pics\\tree.jpg", true, nullptr, "C:\\Pics\\tree.jpg", ""},
      {"5.0", u"C:\\Pics\\tree.jpg", true, u"C:\\Pics\\plain.bmp", "C:\\Pics\\tree.jpg", "C:\\Pics\\plain.bmp"},
      {"5.0", u"C:\\Pics\\tree.jpg", false, u"C:\\Pics\\plain.bmp", "C:\\Pics\\plain.bmp", "C:\\Pics\\plain.bmp"},
      {"5.0", u"C:\\Pics\\tree.jpg", false, u"(None)", "", ""},
      {"5.0", u"C:\\Pics\\gone.jpg", true, u"C:\\Pics\\gone.bmp", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + utf8(CString(c.shellWallpaper)));
    setVersion(c.version);
    setDesktop(c.shellWallpaper, WPSTYLE_TILE, c.activeDesktop, true);
    if (c.controlPanel) CRegistry(CString(kControlPanel), true, true).setString(u"Wallpaper", CString(c.controlPanel));
    CWallpaperCustomizer snapin(nullptr);
    CWallpaperPrefs prefs(&snapin);
    ASSERT_TRUE(prefs.capture());
    EXPECT_EQ(utf8(prefs.wallpaperPath), c.path);
    EXPECT_EQ(utf8(prefs.wallpaperNonADPath), c.nonADPath);
    EXPECT_EQ(prefs.wallpaperStyle, static_cast<DWORD>(WPSTYLE_TILE));
    EXPECT_EQ(prefs.activeDesktopUsed, c.activeDesktop);
    EXPECT_TRUE(prefs.webComponentsEnabled);
  }
}

// Showing the login computer's wallpaper: Active Desktop only where the plain desktop cannot show
// the image (never on XP), components off; a path of two quotes clears the wallpaper. A login
// computer without stored prefs leaves the host alone.
TEST_F(WallpaperTest, PersonalizeByWindowsVersion) {
  CSystemProfile* home = addComputer(u"HOME");
  home->setLoginComputer(true);
  struct Case {
    const char* version;
    const char16_t* stored;
    const char* shown;
    bool activeDesktop;
  } cases[] = {
      {"5.0", u"D:\\p\\beach.jpg", "E:\\Synchronized Computers\\HOME\\beach.jpg", true},
      {"5.0", u"D:\\p\\plain.BMP", "E:\\Synchronized Computers\\HOME\\plain.BMP", false},
      {"5.1", u"D:\\p\\beach.jpg", "E:\\Synchronized Computers\\HOME\\beach.jpg", false},
      {"5.1", u"\"\"", "", false},
      {"5.1", nullptr, "C:\\host.bmp", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + (c.stored ? utf8(CString(c.stored)) : "no prefs"));
    setVersion(c.version);
    setDesktop(u"C:\\host.bmp", WPSTYLE_CENTER, true, true);
    CRegistry(CPreferenceFile::getComputerPrefsPath(*home) + u"\\Wallpaper").deleteKey();
    if (c.stored) storePrefs(home, c.stored, WPSTYLE_STRETCH);
    CWallpaperCustomizer snapin(nullptr);
    ASSERT_TRUE(snapin.personalize());
    EXPECT_TRUE(snapin.isPersonalized());
    const Desktop shown = savedDesktop();
    EXPECT_EQ(shown.wallpaper, c.shown);
    EXPECT_EQ(shown.activeDesktop, c.activeDesktop);
    EXPECT_EQ(shown.components, c.stored == nullptr);
  }
}

// Restore puts back what login kept. Without a backup (personalize never ran here) it changes
// nothing and reports failure; from a backup that lost a value it applies what it could read and
// reports failure.
TEST_F(WallpaperTest, RestoreWithoutOrWithDamagedBackup) {
  setDesktop(u"C:\\user.bmp", WPSTYLE_STRETCH, false, false);
  CWallpaperCustomizer snapin(nullptr);
  ASSERT_TRUE(snapin.setPersonalized(true));
  const std::size_t mark = logBytes().size();
  EXPECT_FALSE(snapin.restore());
  EXPECT_EQ(savedDesktop().wallpaper, "C:\\user.bmp");
  EXPECT_EQ(savedDesktop().style, static_cast<DWORD>(WPSTYLE_STRETCH));
  EXPECT_FALSE(snapin.isPersonalized());
  EXPECT_EQ(linesSince(mark), (std::vector<std::string>{"{WALLPAPER}: Failed to restore because there is no backup.",
                                                        "{WALLPAPER}: Failed to read wallpaper preferences for restore."}));

  CRegistry backup(CString(kWallpaperBackupKey), true, true);
  backup.setString(kWallpaperPathValue, CString(u"C:\\host.bmp"));
  backup.setDword(kWallpaperStyleValue, WPSTYLE_TILE);
  EXPECT_EQ(snapin.getSourceState(), kSourceNothing);  // "activeDesktopUsed" is missing
  EXPECT_FALSE(snapin.restore());
  EXPECT_EQ(savedDesktop().wallpaper, "C:\\host.bmp");
  EXPECT_EQ(savedDesktop().style, static_cast<DWORD>(WPSTYLE_TILE));

  backup.setBool(kActiveDesktopUsedValue, false);
  EXPECT_EQ(snapin.getSourceState(), kSourcePresent);
  setDesktop(u"C:\\user.bmp", WPSTYLE_STRETCH, false, false);
  EXPECT_TRUE(snapin.restore());
  EXPECT_EQ(savedDesktop().wallpaper, "C:\\host.bmp");

  // Two quotes stand for no wallpaper.
  backup.setString(kWallpaperPathValue, CString(u"\"\""));
  EXPECT_TRUE(snapin.restore());
  EXPECT_EQ(savedDesktop().wallpaper, "");
  EXPECT_EQ(regText(kControlPanel, u"Wallpaper"), "");
}

// Without the shell's Active Desktop nothing can be read or shown: backup, personalize and runs
// fail with their log lines and the host is not touched.
TEST_F(WallpaperTest, NoActiveDesktop) {
  setDesktop(u"C:\\user.bmp", WPSTYLE_STRETCH, false, false);
  CSystemProfile* home = addComputer(u"HOME");
  home->setLoginComputer(true);
  storePrefs(home, u"D:\\p\\beach.jpg");
  kipotest::failCall("CoCreateInstance", static_cast<DWORD>(REGDB_E_CLASSNOTREG));
  CWallpaperCustomizer* snapin = addSnapin();
  const std::size_t mark = logBytes().size();
  EXPECT_FALSE(snapin->backup());
  EXPECT_FALSE(snapin->personalize());
  CSpaceRecord* record = doc.getSpaceMan().findSpaceRecord(self(), CString(u"Wallpaper"));
  EXPECT_EQ(snapin->synchronizer().calculateSyncOps(record, kSyncBothWays), kSyncFailed);
  EXPECT_FALSE(snapin->postExecuteSyncOps(self(), kSyncDone));
  const auto lines = linesSince(mark);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Failed to create IActiveDesktop interface. IE 4.7 or greater required.");
  EXPECT_EQ(lines[1], "{WALLPAPER}: Failed to capture wallpaper preferences for backup.");
  EXPECT_TRUE(logHas("{WALLPAPER}: Failed to capture wallpaper preferences for synchronize."));
  EXPECT_FALSE(keyExists(kWallpaperBackupKey));
  platform::fault::clearLocal();
  EXPECT_EQ(savedDesktop().wallpaper, "C:\\user.bmp");
}

// The factory's snap-in carries its synchronizer into the coordinator of the document that builds
// it, and into none outside a factory run.
TEST_F(WallpaperTest, FactoryRegistersWithTheApplicationsCoordinator) {
  const CustomizerFactoryEntry* entry = nullptr;
  for (const CustomizerFactoryEntry& e : customizerFactory())
    if (CString(e.className) == u"CWallpaperCustomizer") entry = &e;
  ASSERT_TRUE(entry && entry->create);
  std::unique_ptr<CCustomizer> alone = entry->create();
  EXPECT_EQ(utf8(alone->getName()), "Wallpaper");
  EXPECT_EQ(doc.getSpaceMan().getSynchronizers(alone.get()), nullptr);

  std::unique_ptr<CCustomizer> made;
  {
    const CFactoryDocumentScope factory(&doc);
    made = entry->create();
  }
  auto* wallpaper = dynamic_cast<CWallpaperCustomizer*>(made.get());
  ASSERT_NE(wallpaper, nullptr);
  const auto* registered = doc.getSpaceMan().getSynchronizers(made.get());
  ASSERT_NE(registered, nullptr);
  EXPECT_EQ(*registered, std::vector<CSynchronizer*>{&wallpaper->synchronizer()});
  doc.getSpaceMan().freeSynchronizers();
}

}  // namespace
