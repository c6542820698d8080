// The login file, the parked host values and the recovery after a program that died while
// personalized: what the file holds and how it reads back, which desktop and My Documents entries
// recovery keeps, sets aside or deletes, the values put back, and the environment broadcast that
// another process's window acts on.
#include "snapins/host_recovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/shortcut.h"
#include "platform/com/active_desktop.h"
#include "platform/com/runtime.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"
#include "tests/app/profiles_fixture.h"
#include "tests/support/child_program.h"
#include "tests/support/test_windows.h"

namespace {

using apptest::ProfilesTest;
namespace fs = std::filesystem;

const char16_t* const kUserShellFolders =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char16_t* const kShellFolders =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char16_t* const kControlDesktop = u"HKEY_CURRENT_USER\\Control Panel\\Desktop";
const char16_t* const kProfiles =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
const char16_t* const kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
const char16_t* const kIeMain = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main";

// Seconds since 1970 as a FILETIME.
FILETIME fileTimeOf(LONGLONG seconds) {
  ULONGLONG ticks = static_cast<ULONGLONG>(seconds + 11644473600LL) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

class HostRecoveryTest : public ProfilesTest {
 protected:
  HostRecoveryTest() {
    CoInitialize(nullptr);
    CRegistry(CString(kProductKey), true, true).setString(u"Personalized", CString(u"true"));
    desktop = CFolderLookup::getDesktopPath();
    documents = CFolderLookup::getMyDocumentsPath();
    createDirectoryTree(desktop);
    createDirectoryTree(documents);
    getLoginFilePath(loginFile);
  }
  ~HostRecoveryTest() override { CoUninitialize(); }

  static CString in(const CString& folder, const char16_t* name) { return joinPath(folder, name); }

  // A file (or folder) made through the stand-in, with a creation time of our choosing.
  static void make(const CString& path, LONGLONG created = 1000000000, bool folder = false) {
    if (folder) {
      ASSERT_TRUE(CreateDirectoryW(path, nullptr)) << utf8(path);
    } else {
      HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(h, INVALID_HANDLE_VALUE) << utf8(path);
      DWORD n = 0;
      WriteFile(h, "data", 4, &n, nullptr);
      CloseHandle(h);
    }
    setCreated(path, created);
  }
  static void setCreated(const CString& path, LONGLONG seconds) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << utf8(path);
    FILETIME t = fileTimeOf(seconds);
    EXPECT_TRUE(SetFileTime(h, &t, nullptr, nullptr));
    CloseHandle(h);
    ASSERT_EQ(getFileCreationTime(path), seconds);
  }
  static void makeShortcut(const CString& path, const CString& target) {
    CShortcut link(path);
    ASSERT_TRUE(link.setTargetPath(target)) << utf8(path);
  }

  std::string loginBytes() {
    CFile f;
    if (!f.Open(loginFile, CFile::modeRead)) return "<missing>";
    std::string bytes(static_cast<std::size_t>(f.GetLength()), '\0');
    f.Read(bytes.data(), static_cast<UINT>(bytes.size()));
    return bytes;
  }
  void writeLogin(const std::string& bytes) {
    CFile f(loginFile, CFile::modeCreate | CFile::modeWrite);
    f.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    f.Close();
  }
  CString holding() const { return getRecoveryHoldingFolder(documents); }
  bool logHasPrefix(const std::string& prefix) {
    for (const std::string& l : linesSince(0))
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }

  CString desktop, documents, loginFile;
};

TEST_F(HostRecoveryTest, TheLoginFileIsUtf8WithCrLfAndEveryPathReadsBackWhole) {
  CRegistry(CString(kUserShellFolders), true, true).setString(u"Cookies", CString(u"C:\\Kekse=Ä"), REG_EXPAND_SZ);
  CRegistry(CString(kUserShellFolders), true, true).deleteValue(u"History");
  CRegistry(CString(kControlDesktop), true, true).setString(u"ConvertedWallpaper", CString(u"C:\\Bilder\\Straße.bmp"));
  CRegistry(CString(kProfiles), true, true).setString(u"DefaultProfile", CString(u"Outlook"));
  const char16_t* names[] = {u"plain.txt", u"a=b=c.txt", u"Grüße ✓.doc", u"ends with=", u"日本語"};
  for (const char16_t* n : names) make(in(desktop, n));
  setHiddenAttribute(in(desktop, u"a=b=c.txt"), true);
  make(in(documents, u"report=1.xls"), -5);  // before 1970: a negative time

  ASSERT_TRUE(saveComputer());
  EXPECT_EQ(utf8(loginFile), utf8(CFolderLookup::getShellFolder(CString(u"AppData"))) + "\\ALPHA.login");
  const std::string bytes = loginBytes();
  // Every line ends in CR LF; no lone LF.
  std::size_t lines = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\n') {
      ++lines;
      EXPECT_EQ(bytes[i - 1], '\r') << "line " << lines;
    }
  EXPECT_EQ(bytes.back(), '\n');
  CStringArray inDocuments;
  listFolder(documents, inDocuments, true);
  EXPECT_EQ(lines, 13u + 5 + 1 + static_cast<std::size_t>(inDocuments.GetSize()));
  EXPECT_NE(bytes.find("Control Panel\\Desktop=C:\\Bilder\\Stra\xc3\x9f" "e.bmp\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("User Shell Folders\\Cookies=C:\\Kekse=\xc3\x84\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("User Shell Folders\\History=\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("Desktop number for current user is=5\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("\\a=b=c.txt=N=1000000000\r\n"), std::string::npos);
  EXPECT_LT(bytes.find("Document number for current user is="), bytes.find("\\report=1.xls=Y=-5\r\n"));

  LoginFileContents c = parseLoginFile(bytes);
  EXPECT_EQ(utf8(c.userShellFolders[0].text), "C:\\Kekse=\xc3\x84");
  EXPECT_TRUE(c.userShellFolders[3].present);
  EXPECT_EQ(utf8(c.userShellFolders[3].text), "");
  EXPECT_EQ(utf8(c.defaultProfile.text), "Outlook");
  ASSERT_TRUE(c.desktop.complete);
  ASSERT_EQ(c.desktop.entries.size(), 5u);
  std::vector<std::string> read;
  for (const LoginFileEntry& e : c.desktop.entries) {
    read.push_back(utf8(getFileName(e.path)));
    EXPECT_EQ(e.creationTime, 1000000000);
    EXPECT_EQ(e.visible, getFileName(e.path) != u"a=b=c.txt");
  }
  std::sort(read.begin(), read.end());
  std::vector<std::string> made;
  for (const char16_t* n : names) made.push_back(utf8(CString(n)));
  std::sort(made.begin(), made.end());
  EXPECT_EQ(read, made);
  ASSERT_TRUE(c.documents.complete);
  ASSERT_EQ(c.documents.entries.size(), static_cast<std::size_t>(inDocuments.GetSize()));
  for (const LoginFileEntry& e : c.documents.entries)
    if (getFileName(e.path) == u"report=1.xls") {
      EXPECT_EQ(e.creationTime, -5);
    }
  EXPECT_EQ(formatLoginFile(c), bytes);

  // The values go back as written; one that was missing (recorded empty) is taken away.
  CRegistry(CString(kUserShellFolders), true, true).setString(u"Cookies", CString(u"E:\\user"), REG_EXPAND_SZ);
  CRegistry(CString(kUserShellFolders), true, true).setString(u"History", CString(u"E:\\hist"), REG_EXPAND_SZ);
  bool opened = false;
  EXPECT_TRUE(restoreRegistry(opened));
  EXPECT_TRUE(opened);
  EXPECT_EQ(regText(kUserShellFolders, u"Cookies"), "C:\\Kekse=\xc3\x84");
  EXPECT_EQ(regText(kUserShellFolders, u"History"), "<none>");
  DWORD type = 0;
  EXPECT_TRUE(CRegistry(CString(kUserShellFolders)).getValueType(u"Cookies", type));
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  // Nothing of the login is set aside.
  for (const char16_t* n : names) EXPECT_TRUE(pathExists(in(desktop, n))) << utf8(CString(n));
  EXPECT_FALSE(directoryExists(holding()));
}

TEST_F(HostRecoveryTest, LinesThatDoNotParseMarkTheirBlockIncomplete) {
  const std::string head =
      "a\\Cookies=1\r\na\\Desktop=2\r\na\\Favorites=3\r\na\\History=4\r\na\\Personal=5\r\n"
      "b\\Cookies=6\r\nb\\Desktop=7\r\nno equals sign\r\nb\\History=9\r\nb\\Personal=10\r\nw=x=y\r\np=\r\n";
  struct Case {
    const char* name;
    std::string body;
    bool desktopComplete;
    std::vector<std::string> desktopPaths;
    bool documentsComplete;
    std::vector<std::string> documentPaths;
  } cases[] = {
      {"well formed, LF only", "D=2\nC:\\x=Y=1\nC:\\=y==N=-7\nM=1\nC:\\m=Y=0", true, {"C:\\x", "C:\\=y="}, true, {"C:\\m"}},
      {"flag not Y or N", "D=2\r\nC:\\x=Y=1\r\nC:\\y=y=1\r\nM=0\r\n", false, {"C:\\x"}, true, {}},
      {"time not decimal", "D=1\r\nC:\\x=Y=1e3\r\nM=0\r\n", false, {}, true, {}},
      {"time missing", "D=1\r\nC:\\x=Y\r\nM=0\r\n", false, {}, true, {}},
      {"empty path", "D=1\r\n=Y=5\r\nM=0\r\n", false, {}, true, {}},
      {"count past the end", "D=3\r\nC:\\x=Y=1\r\n", false, {}, false, {}},
      {"count negative", "D=-1\r\nDocument number for current user is=1\r\nC:\\m=N=2\r\n", false, {}, true, {"C:\\m"}},
      {"count not a number", "D=two\r\nC:\\x=Y=1\r\nDocument number for current user is=0\r\n", false, {}, true, {}},
      {"file ends after the header", "", false, {}, false, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    // The reader goes by position; the documents' label finds their block only after a desktop
    // count that did not read.
    LoginFileContents c = parseLoginFile(head + k.body);
    EXPECT_EQ(utf8(c.userShellFolders[4].text), "5");
    EXPECT_FALSE(c.shellFolders[2].present);
    EXPECT_EQ(utf8(c.convertedWallpaper.text), "x=y") << "values split at the first \"=\"";
    EXPECT_TRUE(c.defaultProfile.present);
    EXPECT_EQ(c.desktop.complete, k.desktopComplete);
    std::vector<std::string> paths;
    for (const LoginFileEntry& e : c.desktop.entries) paths.push_back(utf8(e.path));
    EXPECT_EQ(paths, k.desktopPaths);
    EXPECT_EQ(c.documents.complete, k.documentsComplete);
    paths.clear();
    for (const LoginFileEntry& e : c.documents.entries) paths.push_back(utf8(e.path));
    EXPECT_EQ(paths, k.documentPaths);
  }
}

// The key case: what the user made during the session is never deleted.
TEST_F(HostRecoveryTest, RecoveryKeepsRecordedEntriesSetsAsideTheUsersAndDeletesOnlyTheProgramsShortcuts) {
  make(in(desktop, u"kept.txt"));
  make(in(desktop, u"was hidden.txt"));
  setHiddenAttribute(in(desktop, u"was hidden.txt"), true);
  make(in(desktop, u"a=b.txt"));
  make(in(desktop, u"unknown time.txt"));
  make(in(desktop, u"replaced.txt"));
  make(in(documents, u"letter.doc"));
  make(in(documents, u"Old Folder"), 1000000000, true);
  ASSERT_TRUE(saveComputer());
  // One entry recorded with a time that could not be read.
  LoginFileContents recorded = parseLoginFile(loginBytes());
  for (LoginFileEntry& e : recorded.desktop.entries)
    if (getFileName(e.path) == u"unknown time.txt") e.creationTime = 0;
  writeLogin(formatLoginFile(recorded));

  // The session: the user's desktop is in place, and the user makes things.
  setHiddenAttribute(in(desktop, u"kept.txt"), true);
  setHiddenAttribute(in(desktop, u"was hidden.txt"), false);
  setCreated(in(desktop, u"unknown time.txt"), 1200000000);
  ASSERT_TRUE(DeleteFileW(in(desktop, u"replaced.txt")));
  make(in(desktop, u"replaced.txt"), 1300000000);
  make(in(desktop, u"new notes.txt"), 1300000000);
  make(in(desktop, u"New Folder"), 1300000000, true);
  make(in(desktop, u"New Folder\\inside.txt"));
  CreateDirectoryW(u"E:\\Synchronized Computers", nullptr);
  CreateDirectoryW(u"E:\\Synchronized Computers\\ALPHA", nullptr);
  make(u"E:\\Synchronized Computers\\ALPHA\\budget.xls");
  makeShortcut(in(desktop, u"budget.lnk"), CString(u"E:\\Synchronized Computers\\ALPHA\\budget.xls"));
  makeShortcut(in(desktop, u"my game.lnk"), CString(u"C:\\Games\\game.exe"));
  make(in(documents, u"letter.doc"), 1300000000);  // same name, made anew
  make(in(documents, u"draft.doc"), 1300000000);

  recoverComputer();

  struct Case {
    const char16_t* path;  // under the desktop, or "|" + name under My Documents
    bool stays;
    bool hidden;
  } cases[] = {
      {u"kept.txt", true, false},            // recorded and unchanged: its attribute back
      {u"was hidden.txt", true, true},
      {u"a=b.txt", true, false},             // a path with "=" is the recorded one
      {u"unknown time.txt", true, false},    // recorded with an unreadable time: stays
      {u"replaced.txt", false, false},       // another entry of the same path
      {u"new notes.txt", false, false},
      {u"New Folder", false, false},
      {u"budget.lnk", false, false},
      {u"my game.lnk", false, false},
      {u"|letter.doc", false, false},
      {u"|draft.doc", false, false},
      {u"|Old Folder", true, false},
  };
  for (const Case& k : cases) {
    CString name(k.path);
    bool mine = name[0] == u'|';
    if (mine) name = name.Mid(1);
    CString path = in(mine ? documents : desktop, name);
    SCOPED_TRACE(utf8(path));
    EXPECT_EQ(pathExists(path), k.stays);
    if (k.stays) {
      EXPECT_EQ(isHiddenFile(path), k.hidden);
    }
  }
  // Set aside, not deleted: all but the program's own shortcut are in the holding folder in My
  // Documents, and the log names where each went.
  const CString held = holding();
  EXPECT_TRUE(startsWithNoCase(getFileName(held), u"Kipo Recovered Items "));
  for (const char16_t* n : {u"replaced.txt", u"new notes.txt", u"New Folder\\inside.txt", u"my game.lnk",
                            u"letter.doc", u"draft.doc"})
    EXPECT_TRUE(fileExists(in(held, n))) << utf8(CString(n));
  EXPECT_FALSE(pathExists(in(held, u"budget.lnk")));
  EXPECT_TRUE(fileExists(u"E:\\Synchronized Computers\\ALPHA\\budget.xls")) << "only the shortcut goes";
  EXPECT_TRUE(logHas("Recover: moved " + utf8(in(desktop, u"new notes.txt")) + " to " +
                     utf8(in(held, u"new notes.txt"))));
  EXPECT_TRUE(logHas("Recover: deleted the program's shortcut " + utf8(in(desktop, u"budget.lnk"))));

  EXPECT_FALSE(fileExists(loginFile));
  EXPECT_EQ(regText(kProductKey, u"Personalized"), "false");
  // A second recovery finds no login file and changes nothing.
  CRegistry(CString(kProductKey), true, true).setString(u"Personalized", CString(u"true"));
  recoverComputer();
  EXPECT_TRUE(logHas("Recover:restoreRegistry() - failed to open the login file"));
  EXPECT_EQ(regText(kProductKey, u"Personalized"), "true");
  EXPECT_TRUE(fileExists(in(held, u"draft.doc")));
}

TEST_F(HostRecoveryTest, ALineThatDoesNotParseLeadsToNoRemovalFromItsFolder) {
  make(in(desktop, u"kept.txt"));
  make(in(documents, u"letter.doc"));
  ASSERT_TRUE(saveComputer());
  std::string bytes = loginBytes();
  // The desktop's one line loses its time: the desktop list no longer reads whole.
  const std::string line = utf8(in(desktop, u"kept.txt")) + "=Y=1000000000";
  ASSERT_NE(bytes.find(line), std::string::npos);
  bytes.replace(bytes.find(line), line.size(), utf8(in(desktop, u"kept.txt")) + "=Y=");
  writeLogin(bytes);
  setHiddenAttribute(in(desktop, u"kept.txt"), true);
  make(in(desktop, u"new.txt"), 1300000000);
  CreateDirectoryW(u"E:\\Synchronized Computers", nullptr);
  makeShortcut(in(desktop, u"sync.lnk"), CString(u"E:\\Synchronized Computers\\x.txt"));
  make(in(documents, u"new.doc"), 1300000000);

  bool opened = false;
  EXPECT_FALSE(restoreRegistry(opened));
  EXPECT_TRUE(opened);
  EXPECT_TRUE(fileExists(in(desktop, u"new.txt")));
  EXPECT_TRUE(fileExists(in(desktop, u"sync.lnk")));
  EXPECT_TRUE(isHiddenFile(in(desktop, u"kept.txt"))) << "an entry that did not read is not touched";
  EXPECT_TRUE(logHasPrefix("Recover:restoreRegistry() - the login file's list of Desktop did not read whole"));
  // My Documents' list read whole: its new entry is set aside.
  EXPECT_FALSE(fileExists(in(documents, u"new.doc")));
  EXPECT_TRUE(fileExists(in(holding(), u"new.doc")));
  EXPECT_TRUE(fileExists(in(documents, u"letter.doc")));
}

TEST_F(HostRecoveryTest, WithoutALoginFileRecoveryChangesNothing) {
  CRegistry(CString(kIeMain), true, true).setString(u"Kipo Start Page", CString(u"http://host/"));
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://user/"));
  recoverComputer();
  EXPECT_TRUE(logHas("Recover:restoreRegistry() - failed to open the login file"));
  EXPECT_EQ(regText(kProductKey, u"Personalized"), "true");
  EXPECT_EQ(regText(kIeMain, u"Start Page"), "http://user/");
}

TEST_F(HostRecoveryTest, ParkedHostValuesArePutBack) {
  const CString cache(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache");
  const CString history(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Url History");
  const CString typed(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs");
  const CString menuOrder(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Favorites");
  const CString advanced(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced");
  const CString localPrefs(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs");
  const CString snapins(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\LocalPrefs\\Snapins");
  // The host as it was before login.
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://host/"));
  CRegistry(joinPath(cache, u"Extensible Cache\\MSHist01"), true, true).setString(u"CachePath", CString(u"host1"));
  CRegistry(history, true, true).setString(u"DaysToKeep", CString(u"host"));
  CRegistry(typed, true, true).setString(u"url1", CString(u"http://typed.host/"));
  CRegistry(menuOrder, true, true).setString(u"Order", CString(u"host order"));
  ASSERT_TRUE(saveComputer());
  EXPECT_EQ(regText(kIeMain, u"Kipo Start Page"), "http://host/");

  // The session: the user's copies in place, the host's parked by the snap-ins.
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://user/"));
  CRegistry(joinPath(cache, u"Extensible Cache"), true, true).deleteKey();
  CRegistry(joinPath(cache, u"Extensible Cache\\UserHist"), true, true).setString(u"CachePath", CString(u"user"));
  CRegistry(history, true, true).setString(u"DaysToKeep", CString(u"user"));
  ASSERT_TRUE(CRegistry(typed).renameKey(CString(u"TypedURLs_Kipo")));
  CRegistry(typed, true, true).setString(u"url1", CString(u"http://typed.user/"));
  ASSERT_TRUE(CRegistry::copyTree(menuOrder, joinPath(localPrefs, u"FavoritesMenuOrder")));
  CRegistry(menuOrder, true, true).setString(u"Order", CString(u"user order"));
  CRegistry(localPrefs, true, true).setDword(u"hidden", 2);
  CRegistry(localPrefs, true, true).setString(u"Favorites", CString(u"x"));
  CRegistry(advanced, true, true).setDword(u"hidden", 1);
  CString appData = CFolderLookup::getShellFolder(CString(u"AppData"));
  createDirectoryTree(joinPath(appData, u"Microsoft\\qx_Signatures"));
  make(joinPath(appData, u"Microsoft\\qx_Signatures\\host.htm"));
  createDirectoryTree(joinPath(appData, u"Microsoft\\Signatures"));
  make(joinPath(appData, u"Microsoft\\Signatures\\user.htm"));
  CRegistry(joinPath(snapins, u"Wallpaper"), true, true).setBool(u"personalized", true);
  CRegistry(joinPath(snapins, u"Files"), true, true).setBool(u"personalized", true);
  CRegistry(joinPath(CString(kProfiles), u"Kipo Mail"), true, true).setString(u"x", CString(u"y"));
  CRegistry(joinPath(CString(kProfiles), u"kipo lower"), true, true).setString(u"x", CString(u"y"));

  recoverComputer();

  EXPECT_EQ(regText(kIeMain, u"Start Page"), "http://host/");
  EXPECT_EQ(regText(kIeMain, u"Kipo Start Page"), "<none>");
  CRegistry caches(joinPath(cache, u"Extensible Cache"));
  EXPECT_EQ(caches.getSubkeyCount(), 1);
  EXPECT_EQ(regText(joinPath(cache, u"Extensible Cache\\MSHist01"), u"CachePath"), "host1");
  EXPECT_FALSE(keyExists(joinPath(cache, u"Kipo Extensible Cache")));
  EXPECT_EQ(regText(history, u"DaysToKeep"), "host");
  EXPECT_EQ(regText(typed, u"url1"), "http://typed.host/");
  EXPECT_FALSE(keyExists(typed + u"_Kipo"));
  EXPECT_EQ(regText(menuOrder, u"Order"), "host order");
  EXPECT_FALSE(keyExists(joinPath(localPrefs, u"FavoritesMenuOrder")));
  EXPECT_EQ(regText(localPrefs, u"Favorites"), "<none>");
  DWORD hidden = 0;
  EXPECT_TRUE(CRegistry(advanced).getDword(u"hidden", hidden));
  EXPECT_EQ(hidden, 2u);
  EXPECT_TRUE(fileExists(joinPath(appData, u"Microsoft\\Signatures\\host.htm")));
  EXPECT_FALSE(pathExists(joinPath(appData, u"Microsoft\\Signatures\\user.htm")));
  EXPECT_FALSE(pathExists(joinPath(appData, u"Microsoft\\qx_Signatures")));
  EXPECT_EQ(regText(joinPath(snapins, u"Wallpaper"), u"personalized"), "false");
  EXPECT_EQ(regText(joinPath(snapins, u"Files"), u"personalized"), "false");
  EXPECT_FALSE(keyExists(joinPath(CString(kProfiles), u"Kipo Mail")));
  EXPECT_TRUE(keyExists(joinPath(CString(kProfiles), u"kipo lower"))) << "the product's mark is case-sensitive";
}

TEST_F(HostRecoveryTest, LogoutDeletesTheParkedCopiesWithoutCopyingThemBack) {
  const CString cache(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache");
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://host/"));
  CRegistry(joinPath(cache, u"Extensible Cache\\MSHist01"), true, true).setString(u"CachePath", CString(u"host1"));
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Url History"),
            true, true)
      .setString(u"DaysToKeep", CString(u"20"));
  ASSERT_TRUE(saveComputer());
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://user/"));
  deleteProductRegistryTraces();
  EXPECT_EQ(regText(kIeMain, u"Kipo Start Page"), "<none>");
  EXPECT_EQ(regText(kIeMain, u"Start Page"), "http://user/");
  EXPECT_FALSE(keyExists(joinPath(cache, u"Kipo Extensible Cache")));
  EXPECT_FALSE(keyExists(
      u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Kipo Url History"));
  EXPECT_TRUE(keyExists(joinPath(cache, u"Extensible Cache\\MSHist01")));
}

TEST_F(HostRecoveryTest, ALoginFileThatCannotBeCreatedParksNothing) {
  // The login file's place is taken by a folder.
  ASSERT_TRUE(CreateDirectoryW(loginFile, nullptr));
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://host/"));
  EXPECT_FALSE(saveComputer());
  EXPECT_TRUE(logHas("Recover:saveComputer() - failed to create the login file"));
  EXPECT_EQ(regText(kIeMain, u"Kipo Start Page"), "<none>");
}

// The program dies while personalized: the login happened in a process killed outright, and a
// later process recovers the host from what that one left.
TEST_F(HostRecoveryTest, AProgramKilledWhilePersonalizedIsRecoveredByAnother) {
  const CString snapin(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\LocalPrefs\\Snapins\\Desktop");
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://host/"));
  make(in(desktop, u"host file.txt"));
  setHiddenAttribute(in(desktop, u"host file.txt"), true);
  const std::string log = utf8(CString(apptest::kLogPath));
  {
    kipotest::ChildProgram login(KIPO_SESSION_PROBE, {"login", log});
    ASSERT_TRUE(login.saw("saved\n")) << login.output();
    // The session: the user's start page and desktop, and a file the user made.
    CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://user/"));
    setHiddenAttribute(in(desktop, u"host file.txt"), false);
    make(in(desktop, u"made today.txt"), 1300000000);
    CRegistry(snapin, true, true).setBool(u"personalized", true);
    login.kill();  // SIGKILL: nothing of the program runs after this
  }
  ASSERT_TRUE(fileExists(loginFile));
  kipotest::ChildProgram recover(KIPO_SESSION_PROBE, {"recover", log});
  EXPECT_EQ(recover.wait(), 0);

  EXPECT_EQ(regText(kIeMain, u"Start Page"), "http://host/");
  EXPECT_TRUE(isHiddenFile(in(desktop, u"host file.txt")));
  EXPECT_FALSE(pathExists(in(desktop, u"made today.txt")));
  EXPECT_TRUE(fileExists(in(holding(), u"made today.txt")));
  EXPECT_EQ(regText(kProductKey, u"Personalized"), "false");
  EXPECT_EQ(regText(snapin, u"personalized"), "false");
  EXPECT_FALSE(fileExists(loginFile));
}

// A logout killed while the Outlook snap-in copied the host's mail profiles back (its copy
// deletes each key first) left one profile missing and one in part: while that snap-in still counts
// as personalized, recovery puts each profile saved at login back whole. A session whose Outlook
// snap-in was not personalized leaves the host's profiles as they are, whatever an older saved
// copy holds.
TEST_F(HostRecoveryTest, MailProfilesLeftInPartByACutOffLogoutComeBackWhole) {
  const CString outlook(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\LocalPrefs\\Snapins\\Outlook");
  const CString saved = joinPath(outlook, u"Profiles");
  const CString profiles(kProfiles);
  for (bool personalized : {true, false}) {
    SCOPED_TRACE(personalized ? "personalized" : "not personalized");
    CRegistry(profiles, true, true).deleteKey();
    CRegistry(outlook, true, true).deleteKey();
    CRegistry(joinPath(saved, u"Outlook\\9207f3e0a3b11019908b08002b2a56c2"), true, true)
        .setString(u"001e3001", CString(u"Personal Folders"));
    CRegistry(joinPath(saved, u"Outlook"), true, true).setString(u"name", CString(u"Outlook"));
    CRegistry(joinPath(saved, u"Work"), true, true).setString(u"name", CString(u"Work"));
    // What the cut-off copy left: "Outlook" without its section, "Work" gone; and one of the user's.
    CRegistry(joinPath(profiles, u"Outlook"), true, true).setString(u"name", CString(u"Outlook"));
    CRegistry(joinPath(profiles, u"Mine"), true, true).setString(u"name", CString(u"Mine"));
    CRegistry(outlook, true, true).setBool(u"personalized", personalized);
    ASSERT_TRUE(saveComputer());

    recoverComputer();

    EXPECT_EQ(regText(joinPath(profiles, u"Outlook\\9207f3e0a3b11019908b08002b2a56c2"), u"001e3001"),
              personalized ? "Personal Folders" : "<none>");
    EXPECT_EQ(keyExists(joinPath(profiles, u"Work")), personalized);
    EXPECT_EQ(regText(joinPath(profiles, u"Outlook"), u"name"), "Outlook");
    EXPECT_EQ(regText(joinPath(profiles, u"Mine"), u"name"), "Mine");
    EXPECT_EQ(regText(outlook, u"personalized"), "false");
  }
}

// The desktop of the host comes back too: the theme's wallpaper on XP (none elsewhere), the hidden
// "Local Settings" folder shown again, and the host's icons at their saved places.
TEST_F(HostRecoveryTest, RecoveryPutsBackTheWallpaperTheIconsAndLocalSettings) {
  InitCommonControls();
  kipotest::registerWindowClass(u"Progman");
  kipotest::registerWindowClass(u"SHELLDLL_DefView");
  HWND progman = CreateWindowExW(0, u"Progman", u"Program Manager", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                 nullptr, nullptr);
  HWND view = CreateWindowExW(0, u"SHELLDLL_DefView", u"", WS_CHILD, 0, 0, 800, 600, progman, nullptr, nullptr, nullptr);
  HWND list = CreateWindowExW(0, WC_LISTVIEWW, u"FolderView", WS_CHILD | LVS_ICON, 0, 0, 800, 600, view, nullptr,
                              nullptr, nullptr);
  std::u16string text = u"host file.txt";
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.pszText = text.data();
  ASSERT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), 0);
  const CString localSettings = CFolderLookup::getShellFolder(CString(u"Local Settings"));
  ASSERT_FALSE(localSettings.IsEmpty());
  createDirectoryTree(localSettings);
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\LastTheme"), true, true)
      .setString(u"Wallpaper", CString(u"%SystemRoot%\\Web\\Wallpaper\\Bliss.bmp"), REG_EXPAND_SZ);

  struct Case {
    const char* version;
    const char* wallpaper;
  } cases[] = {{"5.1", "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp"}, {"5.0", ""}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.version);
    platform::host::Host::current().setFact(platform::host::fact::WindowsVersion, k.version);
    CRegistry(CString(kControlDesktop), true, true).setString(u"ConvertedWallpaper", CString(u"C:\\host.bmp"));
    ASSERT_TRUE(saveComputer());
    // The session: the user's wallpaper, the host's icon parked off screen, Local Settings hidden.
    CRegistry(CString(kControlDesktop), true, true).setString(u"ConvertedWallpaper", CString(u"E:\\user.bmp"));
    CRegistry(CString(kControlDesktop), true, true).setString(u"Wallpaper", CString(u"E:\\user.bmp"));
    BYTE saved[8] = {30, 0, 0, 0, 40, 0, 0, 0};
    CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\DIPS"), true, true)
        .setBinary(u"host file.txt", saved, 8);
    POINT away{864, 0};
    SendMessageW(list, LVM_SETITEMPOSITION32, 0, reinterpret_cast<LPARAM>(&away));
    setHiddenAttribute(localSettings, true);

    recoverComputer();

    IActiveDesktop* desktop = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ActiveDesktop, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveDesktop,
                                           reinterpret_cast<void**>(&desktop))));
    WCHAR wallpaper[MAX_PATH] = {};
    desktop->GetWallpaper(wallpaper, MAX_PATH, 0);
    desktop->Release();
    EXPECT_EQ(utf8(CString(wallpaper)), k.wallpaper);
    EXPECT_EQ(regText(kControlDesktop, u"ConvertedWallpaper"), "C:\\host.bmp");
    POINT at{};
    SendMessageW(list, LVM_GETITEMPOSITION, 0, reinterpret_cast<LPARAM>(&at));
    EXPECT_EQ(at.x, 30);
    EXPECT_EQ(at.y, 40);
    EXPECT_FALSE(isHiddenFile(localSettings));
  }
  kipotest::destroyThreadWindows();
}

// Before Windows 2000 the cache containers are the machine's and the messaging profiles live
// under the older path.
TEST_F(HostRecoveryTest, BeforeWindows2000TheParkedCachesAreTheMachines) {
  platform::host::Host::current().setFact(platform::host::fact::WindowsVersion, "4.10");
  const CString machine(u"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache");
  const CString oldProfiles(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Messaging Subsystem\\Profiles");
  CRegistry(joinPath(machine, u"Extensible Cache\\MSHist01"), true, true).setString(u"CachePath", CString(u"host"));
  CRegistry(oldProfiles, true, true).setString(u"DefaultProfile", CString(u"Host Mail"));
  ASSERT_TRUE(saveComputer());
  EXPECT_NE(loginBytes().find("Windows Messaging Subsystem\\Profiles=Host Mail\r\n"), std::string::npos);
  EXPECT_TRUE(keyExists(joinPath(machine, u"Kipo Extensible Cache\\MSHist01")));
  CRegistry(joinPath(machine, u"Extensible Cache\\MSHist01"), true, true).setString(u"CachePath", CString(u"user"));
  CRegistry(oldProfiles, true, true).setString(u"DefaultProfile", CString(u"Kipo Mail"));
  recoverComputer();
  EXPECT_EQ(regText(joinPath(machine, u"Extensible Cache\\MSHist01"), u"CachePath"), "host");
  EXPECT_EQ(regText(oldProfiles, u"DefaultProfile"), "Host Mail");
}

// The program died after the login file was written but before anything was parked: the host's
// own start page and hidden-files setting are still in place and stay as they are.
TEST_F(HostRecoveryTest, NothingParkedLeavesTheHostsStartPageAndHiddenSettingAlone) {
  const CString advanced(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced");
  CRegistry(CString(kIeMain), true, true).setString(u"Start Page", CString(u"http://host/"));
  CRegistry(advanced, true, true).setDword(u"Hidden", 2);
  ASSERT_TRUE(saveComputer());
  CRegistry(CString(kIeMain), true, true).deleteValue(u"Kipo Start Page");

  recoverComputer();

  EXPECT_EQ(regText(kIeMain, u"Start Page"), "http://host/");
  DWORD hidden = 0;
  EXPECT_TRUE(CRegistry(advanced).getDword(u"Hidden", hidden));
  EXPECT_EQ(hidden, 2u);
  EXPECT_TRUE(logHasPrefix("Failed to get Windows Explorer hidden parameter from"));
}

// The program died while it parked the Internet cache keys at login: the pieces it parked are not
// the host's keys, which are still in place; recovery keeps those and removes the pieces.
TEST_F(HostRecoveryTest, CacheKeysParkedOnlyInPartAreNotPutInPlaceOfTheHosts) {
  const CString cache(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache");
  for (const char16_t* name : {u"MSHist01", u"MSHist02"})
    CRegistry(joinPath(cache, u"Extensible Cache\\") + name, true, true).setString(u"CachePath", CString(u"host"));
  ASSERT_TRUE(saveComputer());
  // As a program killed after the first key's copy leaves it.
  CRegistry(joinPath(cache, u"Kipo Extensible Cache\\MSHist02"), false, true).deleteKey();
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs"), false, true)
      .deleteValue(u"internetCachesParked");

  recoverComputer();

  EXPECT_EQ(regText(joinPath(cache, u"Extensible Cache\\MSHist01"), u"CachePath"), "host");
  EXPECT_EQ(regText(joinPath(cache, u"Extensible Cache\\MSHist02"), u"CachePath"), "host");
  EXPECT_FALSE(keyExists(joinPath(cache, u"Kipo Extensible Cache")));
}

// Values the host did not have at login (written empty into the login file) are not made by the
// recovery: no empty wallpaper or default profile, no messaging profiles key on a host without
// mail.
TEST_F(HostRecoveryTest, RecoveryMakesNoValueOrKeyTheHostLacked) {
  CRegistry(CString(kControlDesktop), true, true).deleteValue(u"ConvertedWallpaper");
  CRegistry(CString(kProfiles), false, true).deleteKey();
  ASSERT_FALSE(keyExists(kProfiles));
  ASSERT_TRUE(saveComputer());

  recoverComputer();

  EXPECT_EQ(regText(kControlDesktop, u"ConvertedWallpaper"), "<none>");
  EXPECT_FALSE(keyExists(kProfiles));
}

// Explorer takes the machine environment when told, and the programs it starts see the drive.
TEST_F(HostRecoveryTest, TheDriveLetterBroadcastReachesExplorerInItsOwnProcess) {
  std::string err;
  ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::u16string line = u"C:\\WINDOWS\\explorer.exe";
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  if (pi.hThread) CloseHandle(pi.hThread);
  HWND tray = nullptr;
  for (int i = 0; i < 1000 && !tray; ++i) {
    tray = FindWindowW(u"Shell_TrayWnd", nullptr);
    if (!tray) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(tray, nullptr);

  EXPECT_TRUE(broadcastEnvironmentChange(CString(u"KIPO_DRIVE"), CString(u"E")));
  EXPECT_EQ(regText(u"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                    u"KIPO_DRIVE"),
            "E");
  std::u16string command = u"cmd /c echo drive %KIPO_DRIVE%>C:\\drive.txt";
  COPYDATASTRUCT data{0x4E55524B, static_cast<DWORD>((command.size() + 1) * sizeof(char16_t)), command.data()};
  DWORD_PTR pid = 0;
  SendMessageTimeoutW(tray, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000, &pid);
  ASSERT_NE(pid, 0u);
  HANDLE echo = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (echo) {
    WaitForSingleObject(echo, 10000);
    CloseHandle(echo);
  }
  EXPECT_EQ(host.read("drive.txt").substr(0, 7), "drive E");
  TerminateProcess(pi.hProcess, 0);
  CloseHandle(pi.hProcess);
}

}  // namespace
