// Registry value snap-ins: the value's way through backup, personalize and restore for each kind
// of host and drive (a missing value, the marker text, other types), the save to the drive after a
// run, the history-folder snap-ins with and without history on the drive, and the cookies
// snap-in's archive, its renamed cookie files, its logout and its drive space.
#include "snapins/registry_value_customizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/win32/system.h"
#include "snapins/cookies_customizer.h"
#include "snapins/file_tar.h"
#include "snapins/space_man.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using snapintest::SnapinTest;

// A value as "<type>:<text or number>", or "<none>".
std::string valueOf(const CString& key, const char16_t* name) {
  CRegistry r(key);
  DWORD type = 0;
  if (!r.isOpen() || !r.getValueType(name, type)) return "<none>";
  if (type == REG_DWORD) {
    DWORD n = 0;
    r.getDword(name, n);
    return "4:" + std::to_string(n);
  }
  CString text;
  r.getString(name, text);
  return std::to_string(type) + ":" + platform::text::toUtf8(text.view());
}

// How a value is set up: absent, a text, or a number.
struct Value {
  enum Kind { None, Text, Number } kind = None;
  std::u16string text;
  DWORD number = 0;
};
Value none() { return {}; }
Value text(const char16_t* t) { return {Value::Text, t, 0}; }
Value number(DWORD n) { return {Value::Number, u"", n}; }

void put(const CString& key, const char16_t* name, const Value& v) {
  CRegistry r(key, true, true);
  if (v.kind == Value::None) r.deleteValue(name);
  if (v.kind == Value::Text) r.setString(name, CString(v.text));
  if (v.kind == Value::Number) r.setDword(name, v.number);
}

class RegistryValueTest : public SnapinTest {
 protected:
  RegistryValueTest() { EXPECT_TRUE(setLoginComputer(CString(u"ALPHA"))); }

  fs::path alphaFolder() const { return computersFolder() / "ALPHA"; }
  // Installs the host's browser and profile folders (the shell folders of the user).
  static void installHost() {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
};

// Backup, personalize and restore over the kinds of host and drive values: the host ends as it
// began, types included, and a value the host lacked is gone again.
TEST_F(RegistryValueTest, ValueTravelsAndComesBack) {
  struct Case {
    const char* what;
    Value host;
    Value drive;
    std::string personalized;  // the host's value after personalize
  };
  const Case cases[] = {
      {"both texts", text(u"http://host/"), text(u"http://user/"), "1:http://user/"},
      {"host without the value", none(), text(u"http://user/"), "1:http://user/"},
      {"drive without the value", text(u"http://host/"), none(), "1:http://host/"},
      {"numbers keep their type", number(7), number(30), "4:30"},
      {"a text where the user has a number", text(u"7"), number(30), "4:30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CHomePageCustomizer snapin;
    const CString host = snapin.getKeyPath();
    put(host, u"Start Page", c.host);
    put(snapin.getComputerPrefsKey(self()), u"Start Page", c.drive);
    const std::string before = valueOf(host, u"Start Page");

    ASSERT_TRUE(snapin.backup());
    EXPECT_EQ(snapin.getSourceState(), kSourcePresent);
    ASSERT_TRUE(snapin.personalize());
    EXPECT_EQ(valueOf(host, u"Start Page"), c.personalized);
    EXPECT_EQ(snapin.isPersonalized(), c.drive.kind != Value::None);
    EXPECT_TRUE(snapin.restore());
    EXPECT_EQ(valueOf(host, u"Start Page"), before);
    EXPECT_FALSE(snapin.isPersonalized());
    CRegistry(snapin.getBackupKeyPath(), false, true).deleteKey();
  }
}

// The marker text is the backup's word for "no value": a host value of exactly that text is
// deleted by restore, one that differs only in case is not. Restore without a backup fails.
TEST_F(RegistryValueTest, MarkerAndMissingBackup) {
  CHistoryDaysCustomizer snapin;
  const CString host = snapin.getKeyPath();
  EXPECT_EQ(snapin.getSourceState(), kSourceNothing);
  EXPECT_FALSE(snapin.restore());

  put(host, u"DaysToKeep", text(kValueDoesNotExist));
  ASSERT_TRUE(snapin.backup());
  EXPECT_TRUE(snapin.restore());
  EXPECT_EQ(valueOf(host, u"DaysToKeep"), "<none>");

  put(host, u"DaysToKeep", text(u"_VALUE_does_not_exist_"));
  ASSERT_TRUE(snapin.backup());
  EXPECT_TRUE(snapin.restore());
  EXPECT_EQ(valueOf(host, u"DaysToKeep"), "1:_VALUE_does_not_exist_");
}

// After a run the host's value is saved for this computer, or removed there when the snap-in is
// not synchronized for it; without this computer's profile the save throws.
TEST_F(RegistryValueTest, SaveToDrive) {
  CHistoryDaysCustomizer snapin;
  put(snapin.getKeyPath(), u"DaysToKeep", number(20));
  const CString device = snapin.getCurrentPrefsKey();
  EXPECT_TRUE(snapin.postExecuteSyncOps(self(), 1));
  EXPECT_EQ(valueOf(device, u"DaysToKeep"), "4:20");

  snapin.setSynchronized(self(), false);
  EXPECT_TRUE(snapin.postExecuteSyncOps(self(), 1));
  EXPECT_EQ(valueOf(device, u"DaysToKeep"), "<none>");
  EXPECT_TRUE(snapin.postExecuteSyncOps(self(), 1));  // nothing left to remove

  getProfileDatabase().deleteAllProfiles();
  try {
    snapin.postExecuteSyncOps(nullptr, 1);
    ADD_FAILURE() << "no exception";
  } catch (CCustomizerException* e) {
    EXPECT_EQ(utf8(e->getMessage()), "Null pointer");
    e->Delete();
  }
}

// Without history files on the drive the history-folder snap-ins change nothing (the user one
// succeeds, the shell one fails); with them the host's History folder points at the drive until
// restore. Nothing is saved to the drive after a run.
TEST_F(RegistryValueTest, HistoryFolderFollowsTheDrive) {
  installHost();
  CHistoryUserCustomizer user;
  CHistoryShellCustomizer shell;
  const std::string userBefore = valueOf(user.getKeyPath(), u"History");
  const std::string shellBefore = valueOf(shell.getKeyPath(), u"History");
  ASSERT_NE(userBefore, "<none>");
  for (CHistoryCustomizer* s : {static_cast<CHistoryCustomizer*>(&user), static_cast<CHistoryCustomizer*>(&shell)})
    ASSERT_TRUE(s->backup());

  // An empty History.IE5 folder holds no history either.
  fs::create_directories(alphaFolder() / "History" / "History.IE5" / "MSHist01");
  EXPECT_TRUE(user.personalize());
  EXPECT_FALSE(shell.personalize());
  EXPECT_FALSE(user.isPersonalized());
  EXPECT_EQ(valueOf(user.getKeyPath(), u"History"), userBefore);
  EXPECT_EQ(valueOf(shell.getKeyPath(), u"History"), shellBefore);

  writeBytes(alphaFolder() / "History" / "History.IE5" / "MSHist01" / "visits.txt", "x");
  EXPECT_TRUE(user.personalize());
  EXPECT_TRUE(shell.personalize());
  EXPECT_TRUE(user.isPersonalized());
  EXPECT_EQ(valueOf(user.getKeyPath(), u"History"), "1:E:\\Synchronized Computers\\ALPHA\\History");
  EXPECT_EQ(valueOf(shell.getKeyPath(), u"History"), "1:E:\\Synchronized Computers\\ALPHA\\History");
  EXPECT_TRUE(user.postExecuteSyncOps(self(), 1));
  EXPECT_EQ(valueOf(user.getCurrentPrefsKey(), u"History"), "<none>");

  EXPECT_TRUE(user.restore());
  EXPECT_TRUE(shell.restore());
  EXPECT_EQ(valueOf(user.getKeyPath(), u"History"), userBefore);
  EXPECT_EQ(valueOf(shell.getKeyPath(), u"History"), shellBefore);
}

// Cookie files take the current user's name: the text before the first at sign is replaced, a
// name without one keeps its name, and a file already of the new name is replaced.
TEST_F(RegistryValueTest, CookieFilesTakeTheUsersName) {
  const fs::path folder = host.c("cookies");
  fs::create_directories(folder);
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {{"bob@example.org[1].txt", "Zoe@example.org[1].txt"},
                        {"a@b@c[1].txt", "Zoe@b@c[1].txt"},
                        {"@site[1].txt", "Zoe@site[1].txt"},
                        {"index.dat", "index.dat"},
                        {"zoe@own[1].txt", "Zoe@own[1].txt"}};
  for (const Case& c : cases) writeBytes(folder / c.before, c.before);
  writeBytes(folder / "Zoe@example.org[1].txt", "older");
  CCookiesCustomizer::renameCookieFiles(CString(u"C:\\cookies"), CString(u"Zoe"));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected;
  for (const Case& c : cases) expected.push_back(c.after);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  // The renamed file replaced the older one of its new name.
  EXPECT_EQ(readBytes(folder / "Zoe@example.org[1].txt"), "bob@example.org[1].txt");
}

// Without an archive on the drive the host keeps its Cookies folder and the snap-in counts as
// personalized. With one, the cookies are unpacked into the product's folder under the user's
// name (index.dat left out), the shell folder points there, and logout takes it all away again.
TEST_F(RegistryValueTest, CookiesArchiveLoginAndLogout) {
  installHost();
  CCookiesCustomizer snapin;
  const CString shellFolders(kUserShellFoldersKey);
  const std::string before = valueOf(shellFolders, u"Cookies");
  ASSERT_TRUE(snapin.backup());
  EXPECT_TRUE(snapin.personalize());
  EXPECT_TRUE(snapin.isPersonalized());
  EXPECT_EQ(valueOf(shellFolders, u"Cookies"), before);
  EXPECT_TRUE(snapin.depersonalize());
  EXPECT_TRUE(snapin.restore());

  // The archive the synchronizer would have packed from a browser's folder.
  const fs::path source = host.c("src");
  fs::create_directories(source);
  writeBytes(source / "someone@example.org[1].txt", "visit\n1\n");
  writeBytes(source / "index.dat", "index");
  CFileTar tar;
  ASSERT_TRUE(tar.addFile(CString(u"C:\\src\\someone@example.org[1].txt")));
  ASSERT_TRUE(tar.addFile(CString(u"C:\\src\\index.dat")));
  fs::create_directories(alphaFolder());
  ASSERT_TRUE(tar.write(CString(u"E:\\Synchronized Computers\\ALPHA\\Cookies.tar")));

  ASSERT_TRUE(snapin.backup());
  ASSERT_TRUE(snapin.personalize());
  WCHAR user[256] = {};
  DWORD size = 256;
  ASSERT_TRUE(GetUserNameW(user, &size));
  const CString folder = CCookiesCustomizer::getPersonalizedFolder();
  EXPECT_EQ(valueOf(shellFolders, u"Cookies"), "1:" + utf8(folder));
  CStringArray names;
  listFolder(folder, names, false);
  ASSERT_EQ(names.GetSize(), 1);
  EXPECT_EQ(utf8(names[0]), utf8(CString(user)) + "@example.org[1].txt");
  EXPECT_TRUE(fileExists(CCookiesCustomizer::getLocalArchiveCopy()));

  EXPECT_TRUE(snapin.depersonalize());
  EXPECT_FALSE(directoryExists(folder));
  EXPECT_TRUE(snapin.restore());
  EXPECT_EQ(valueOf(shellFolders, u"Cookies"), before);
  EXPECT_TRUE(snapin.leaveNoTrace());
  EXPECT_FALSE(fileExists(CCookiesCustomizer::getLocalArchiveCopy()));
  EXPECT_TRUE(boxes.empty());
}

// The drive space is the archive the synchronizer keeps for the record's computer.
TEST_F(RegistryValueTest, CookiesDriveSpaceIsTheArchive) {
  installHost();
  CCookiesCustomizer snapin;
  CSpaceRecord record(nullptr, &snapin, self(), std::vector<CSynchronizer*>{});
  EXPECT_EQ(snapin.getDeviceSpace(&record), 0u);
  fs::create_directories(alphaFolder());
  writeBytes(alphaFolder() / "Cookies.tar", std::string(5000, 'x'));
  EXPECT_EQ(snapin.getDeviceSpace(&record),
            getFileSize(CString(u"E:\\Synchronized Computers\\ALPHA\\Cookies.tar"), true));
  EXPECT_GE(snapin.getDeviceSpace(&record), 5000u);
}

// The synchronizer's switch follows the snap-in's "synchronize" for this computer.
TEST_F(RegistryValueTest, CookiesSynchronizerFollowsThePreference) {
  installHost();
  CCookiesCustomizer snapin;
  EXPECT_TRUE(snapin.loadAllPrefs());
  EXPECT_TRUE(snapin.getSynchronizer().enabled);
  EXPECT_EQ(utf8(snapin.getSynchronizer().getArchivePath()), "E:\\Synchronized Computers\\ALPHA\\Cookies.tar");
  snapin.setSynchronized(self(), false);
  EXPECT_FALSE(snapin.getSynchronizer().enabled);
}

}  // namespace
