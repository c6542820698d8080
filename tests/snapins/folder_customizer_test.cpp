// The folder snap-in on the host's desktop: a login as another computer hides the host's items and
// links the drive's; a logout moves what the session made to the drive, deletes only the shortcuts
// the login made (also copies under a free name) and shows the host's items as they were; a login
// as this very computer touches nothing; a copy to the drive that fails or is cancelled leaves the
// host file where it is.
#include "snapins/folder_customizer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/shortcut.h"
#include "platform/com/runtime.h"
#include "platform/win32/win32.h"
#include "snapins/sync_snapshot.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/faults.h"

namespace {

namespace fs = std::filesystem;
using snapintest::SnapinTest;

class FolderCustomizerTest : public SnapinTest {
 protected:
  FolderCustomizerTest() {
    CoInitialize(nullptr);
    auto beta = std::make_unique<CSystemProfile>();
    beta->m_computerName = CString(u"BETA");
    beta->m_nickname = CString(u"Home");
    this->beta = beta.get();
    getProfileDatabase().profiles().push_back(std::move(beta));
    this->beta->setLoginComputer(true);

    desktop = CFolderLookup::getDesktopPath();
    folder.hostFolder = desktop;
    folder.parkingFolder = joinPath(desktop, CString(u"Original Desktop"));
    folder.deviceFolderName = CString(u"Desktop");
    driveDesktop = computersFolder() / "BETA" / "Desktop";
    fs::create_directories(driveDesktop);
  }
  ~FolderCustomizerTest() override { CoUninitialize(); }

  // The Linux place of a path on C: or E:.
  fs::path local(const CString& path) const {
    std::string text = utf8(path);
    fs::path base = (text[0] == 'E' || text[0] == 'e') ? drive : host.c();
    std::string rest = text.substr(3);
    for (char& c : rest)
      if (c == '\\') c = '/';
    return base / rest;
  }
  fs::path onDesktop(const std::string& name) const { return local(desktop) / name; }
  CString desktopPath(const char16_t* name) const { return joinPath(desktop, CString(name)); }
  void hostFile(const char16_t* name, const std::string& bytes, bool hidden = false) {
    writeBytes(onDesktop(utf8(CString(name))), bytes);
    if (hidden) setHiddenAttribute(desktopPath(name), true);
  }
  bool hidden(const char16_t* name) const { return isHiddenFile(desktopPath(name)); }
  std::string shortcutTarget(const char16_t* name) const {
    CShortcut link(desktopPath(name));
    return utf8(link.getTargetPath());
  }
  std::set<std::string> desktopNames() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(local(desktop))) names.insert(e.path().filename().string());
    return names;
  }

  CSystemProfile* beta = nullptr;
  CString desktop;
  fs::path driveDesktop;
  CFolderCustomizer folder;
};

// The whole session on the desktop: what is hidden, what is linked, what the logout moves, deletes
// and shows again.
TEST_F(FolderCustomizerTest, LoginAsAnotherComputerAndLogout) {
  hostFile(u"host.txt", "host's own");
  hostFile(u"secret.txt", "hidden by the host", true);
  hostFile(u"desktop.ini", "[.ShellClassInfo]");
  hostFile(u"report.doc.lnk", "host's own shortcut named like a drive item's");
  writeBytes(driveDesktop / "report.doc", "the user's report");
  fs::create_directories(driveDesktop / "Projects");
  // A shortcut item of the drive is copied as it is.
  ASSERT_TRUE(CShortcut(CString(u"E:\\Synchronized Computers\\BETA\\Desktop\\Tool.lnk")).setTargetPath(u"C:\\tool.exe"));
  ASSERT_TRUE(CShortcut(desktopPath(u"Tool.lnk")).setTargetPath(u"C:\\other.exe"));

  ASSERT_TRUE(folder.backup());
  EXPECT_EQ(folder.getSourceState(), kSourcePresent);
  EXPECT_FALSE(folder.isPersonalized());
  ASSERT_TRUE(folder.personalize());
  EXPECT_TRUE(folder.isPersonalized());

  for (const char16_t* name : {u"host.txt", u"secret.txt", u"report.doc.lnk", u"Tool.lnk"}) EXPECT_TRUE(hidden(name));
  EXPECT_FALSE(hidden(u"desktop.ini")) << "never hidden";
  EXPECT_EQ(shortcutTarget(u"_report.doc.lnk"), "E:\\Synchronized Computers\\BETA\\Desktop\\report.doc")
      << "a host item keeps its name; the link takes a free one";
  EXPECT_EQ(readBytes(onDesktop("report.doc.lnk")), "host's own shortcut named like a drive item's");
  EXPECT_EQ(shortcutTarget(u"Projects.lnk"), "E:\\Synchronized Computers\\BETA\\Desktop\\Projects");
  EXPECT_EQ(readBytes(onDesktop("_Tool.lnk")), readBytes(driveDesktop / "Tool.lnk"));

  // The session: a new file, a new folder with a file, and a shortcut of the user's own.
  hostFile(u"minutes.txt", "written in the session");
  fs::create_directories(onDesktop("Trip"));
  writeBytes(onDesktop("Trip") / "plan.txt", "day one");
  ASSERT_TRUE(CShortcut(desktopPath(u"Mine.lnk")).setTargetPath(u"C:\\WINDOWS\\notes.txt"));
  const std::string mine = readBytes(onDesktop("Mine.lnk"));

  ASSERT_TRUE(folder.depersonalize());
  EXPECT_EQ(readBytes(driveDesktop / "minutes.txt"), "written in the session");
  EXPECT_EQ(readBytes(driveDesktop / "Trip" / "plan.txt"), "day one");
  EXPECT_EQ(readBytes(driveDesktop / "Mine.lnk"), mine) << "a shortcut the login did not make is the user's";
  ASSERT_TRUE(folder.restore());
  EXPECT_EQ(desktopNames(), (std::set<std::string>{"host.txt", "secret.txt", "desktop.ini", "report.doc.lnk", "Tool.lnk"}));
  EXPECT_FALSE(hidden(u"host.txt"));
  EXPECT_FALSE(hidden(u"report.doc.lnk"));
  EXPECT_TRUE(hidden(u"secret.txt")) << "hidden at login, hidden again";
  EXPECT_FALSE(folder.isPersonalized());
  EXPECT_EQ(readBytes(driveDesktop / "report.doc"), "the user's report");
}

// The host's own profile: the parking folder goes, nothing is hidden or linked, nothing moves,
// and the logout leaves every item's hidden flag as the user left it: the host's hidden item stays
// hidden, also with a backup snapshot of an earlier login as another computer lying about, which
// this login did not write and must not go by.
TEST_F(FolderCustomizerTest, LoginAsThisComputerTouchesNothing) {
  beta->setLoginComputer(false);
  self()->setLoginComputer(true);
  fs::create_directories(onDesktop("Original Desktop"));
  writeBytes(onDesktop("Original Desktop") / "old.txt", "left by an earlier version");
  hostFile(u"host.txt", "host's own");
  hostFile(u"secret.txt", "hidden by the host", true);
  hostFile(u"desktop.ini", "[.ShellClassInfo]", true);
  writeBytes(driveDesktop / "report.doc", "the user's report");

  for (const bool staleSnapshot : {false, true}) {
    SCOPED_TRACE(staleSnapshot ? "a backup snapshot of an earlier login" : "no backup snapshot");
    if (staleSnapshot) {
      CSyncSnapshot earlier;
      earlier.addEntry(desktopPath(u"host.txt"), CString(u"host.txt"))->hidden = 1;
      earlier.addEntry(desktopPath(u"secret.txt"), CString(u"secret.txt"))->hidden = 0;
      ASSERT_TRUE(earlier.write(folder.getBackupSnapshotPath(), true));
    }
    ASSERT_TRUE(folder.backup());
    EXPECT_FALSE(fs::exists(onDesktop("Original Desktop")));
    ASSERT_TRUE(folder.personalize());
    EXPECT_EQ(desktopNames(), (std::set<std::string>{"host.txt", "secret.txt", "desktop.ini"}));
    EXPECT_FALSE(hidden(u"host.txt"));
    EXPECT_TRUE(hidden(u"secret.txt"));
    // The session works on the host's own desktop: a new file, and one the user hides.
    hostFile(u"new.txt", "made during the session");
    hostFile(u"private.txt", "hidden during the session", true);
    ASSERT_TRUE(folder.depersonalize());
    ASSERT_TRUE(folder.restore());
    EXPECT_EQ(desktopNames(),
              (std::set<std::string>{"host.txt", "secret.txt", "desktop.ini", "new.txt", "private.txt"}));
    EXPECT_FALSE(fs::exists(driveDesktop / "new.txt"));
    EXPECT_FALSE(hidden(u"host.txt"));
    EXPECT_FALSE(hidden(u"new.txt"));
    EXPECT_TRUE(hidden(u"secret.txt"));
    EXPECT_TRUE(hidden(u"private.txt"));
    EXPECT_TRUE(hidden(u"desktop.ini"));
    EXPECT_FALSE(logHas("Failed to read backup snapshot file during restore"));
    fs::remove(onDesktop("new.txt"));
    fs::remove(onDesktop("private.txt"));
  }
}

// A session file whose copy fails stays on the host, whether the user goes on or cancels; a file
// named like one of the drive's never replaces it.
TEST_F(FolderCustomizerTest, LogoutKeepsWhatCouldNotBeCopied) {
  writeBytes(driveDesktop / "notes.txt", "the drive's notes");
  ASSERT_TRUE(folder.backup());
  ASSERT_TRUE(folder.personalize());
  hostFile(u"notes.txt", "other notes of the session");
  hostFile(u"big.iso", "does not fit");
  hostFile(u"later.txt", "kept back by the user");

  kipotest::failCall("CopyFileW", ERROR_DISK_FULL, std::u16string(desktopPath(u"big.iso").view()));
  kipotest::failCall("CopyFileW", ERROR_DISK_FULL, std::u16string(desktopPath(u"later.txt").view()));
  // big.iso: the user goes on (Yes); later.txt: the user cancels (No).
  answers = {IDYES, IDNO};
  EXPECT_FALSE(folder.depersonalize()) << "a file left behind is a failure, the cancelled one is not";
  EXPECT_TRUE(fs::exists(onDesktop("big.iso")));
  EXPECT_TRUE(fs::exists(onDesktop("later.txt")));
  EXPECT_FALSE(fs::exists(driveDesktop / "big.iso"));
  EXPECT_EQ(readBytes(driveDesktop / "notes.txt"), "the drive's notes");
  EXPECT_EQ(readBytes(driveDesktop / "notes(1).txt"), "other notes of the session");
  EXPECT_FALSE(fs::exists(onDesktop("notes.txt")));

  CFolderCustomizer probe;
  probe.hostFolder = desktop;
  answers = {IDNO};
  EXPECT_TRUE(probe.moveFileToDevice(CString(u"E:\\Synchronized Computers\\BETA\\Desktop"), desktop,
                                     desktopPath(u"later.txt")))
      << "a cancel counts as success";
  EXPECT_TRUE(fs::exists(onDesktop("later.txt")));
}

// Without the backup snapshot nothing is hidden and the logout refuses to guess what is the host's.
TEST_F(FolderCustomizerTest, NoBackupSnapshot) {
  hostFile(u"host.txt", "host's own");
  EXPECT_EQ(folder.getSourceState(), kSourceNothing);
  EXPECT_FALSE(folder.personalize());
  EXPECT_FALSE(hidden(u"host.txt"));
  EXPECT_FALSE(folder.depersonalize());
  EXPECT_TRUE(fs::exists(onDesktop("host.txt")));
  EXPECT_TRUE(folder.restore());
  EXPECT_TRUE(logHas("{FOLDER CUSTOMIZER}: Failed to read backup snapshot file during restore: " +
                     utf8(folder.getBackupSnapshotPath())));
}

// A shortcut on the login computer's desktop to a file elsewhere travels as its target (the
// synchronizer follows it and keeps a record with the link text): the login puts a shortcut to
// the drive's copy in its place (a free name when the host has one of that name; a host shortcut
// to a program of that name is only shown), and the logout takes it away again.
TEST_F(FolderCustomizerTest, FollowedShortcutsOfTheLoginComputer) {
  fs::create_directories(computersFolder() / "BETA" / "My Computer" / "C" / "Data");
  writeBytes(computersFolder() / "BETA" / "My Computer" / "C" / "Data" / "budget.xls", "the user's budget");
  CSyncSnapshot snapshot;
  struct Link {
    const char16_t* relative;
    const char16_t* target;
  } links[] = {
      {u"Desktop\\Budget.lnk", u"C:\\Data\\budget.xls"},
      {u"Desktop\\Again.lnk", u"C:\\Data\\budget.xls"},
      {u"Desktop\\Mail.lnk", u"C:\\Data\\budget.xls"},
      {u"Desktop\\Gone.lnk", u"C:\\Data\\missing.xls"},         // no drive copy: nothing made
      {u"My Documents\\Other.lnk", u"C:\\Data\\budget.xls"},  // another folder's
  };
  for (const Link& link : links) {
    CFileSnapshot* record = snapshot.addEntry(CString(u"D:\\BETA\\") + link.relative, CString(link.relative));
    record->linkText = link.target;
  }
  ASSERT_TRUE(snapshot.write(CString(u"E:\\Synchronized Computers\\BETA.snap"), false));
  hostFile(u"Again.lnk", "the host's own file of that name");
  ASSERT_TRUE(CShortcut(desktopPath(u"Mail.lnk")).setTargetPath(u"C:\\Program Files\\mail.exe"));
  setHiddenAttribute(desktopPath(u"Mail.lnk"), true);

  ASSERT_TRUE(folder.backup());
  ASSERT_TRUE(folder.personalize());
  const std::string copy = "E:\\Synchronized Computers\\BETA\\My Computer\\C\\Data\\budget.xls";
  EXPECT_EQ(shortcutTarget(u"Budget.lnk"), copy);
  EXPECT_EQ(shortcutTarget(u"_Again.lnk"), copy);
  EXPECT_EQ(readBytes(onDesktop("Again.lnk")), "the host's own file of that name");
  EXPECT_EQ(shortcutTarget(u"Mail.lnk"), "C:\\Program Files\\mail.exe");
  EXPECT_FALSE(hidden(u"Mail.lnk")) << "the host's program shortcut stands in for the user's";
  EXPECT_FALSE(fs::exists(onDesktop("Gone.lnk")));
  EXPECT_FALSE(fs::exists(onDesktop("Other.lnk")));

  ASSERT_TRUE(folder.depersonalize());
  ASSERT_TRUE(folder.restore());
  EXPECT_EQ(desktopNames(), (std::set<std::string>{"Again.lnk", "Mail.lnk"}));
  EXPECT_TRUE(hidden(u"Mail.lnk")) << "hidden at login";
  EXPECT_FALSE(fs::exists(driveDesktop / "Budget.lnk"));
}

}  // namespace
