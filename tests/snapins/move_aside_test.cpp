// Move-aside items: the whole login cycle of a file and a folder, what the registry records keep
// across a crash, and the put-backs that must not destroy a host item (an occupied source or
// backup path).
#include "snapins/move_aside.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/registry.h"
#include "tests/snapins/snapin_fixture.h"

namespace {

namespace fs = std::filesystem;
using snapintest::SnapinTest;
using snapintest::utf8;

const char16_t* const kRecords =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\Mail\\movedAside";

class MoveAsideTest : public SnapinTest {
 protected:
  MoveAsideTest() {
    CRegistry(CString(kRecords), true, true).deleteKey();
    self()->setLoginComputer(true);
    fs::create_directories(host.c("Mail"));
    fs::create_directories(deviceFolder());
  }

  fs::path deviceFolder() { return drive / "Synchronized Computers" / utf8(self()->getKey()); }

  // A file item "C:\Mail\rules.dat" moved to "C:\Mail\rules.bak", the user's copy "rules.dat"
  // on the drive; a folder item "C:\Mail\Sigs" moved to "C:\Mail\Sigs.bak", the user's "Sigs".
  static std::unique_ptr<CMoveAside> fileItem() {
    auto item = std::make_unique<CFileMoveAside>();
    item->setPaths(CString(u"C:\\Mail\\rules.dat"), CString(u"C:\\Mail\\rules.bak"), CString(u"C:\\Mail\\rules.dat"),
                   CString(u"rules.dat"));
    return item;
  }
  static std::unique_ptr<CMoveAside> folderItem() {
    auto item = std::make_unique<CFolderMoveAside>();
    item->setPaths(CString(u"C:\\Mail\\Sigs"), CString(u"C:\\Mail\\Sigs.bak"), CString(u"C:\\Mail\\Sigs"),
                   CString(u"Sigs"));
    return item;
  }
  std::unique_ptr<CMoveAsideCustomizer> snapin() {
    auto s = std::make_unique<CMoveAsideCustomizer>(CString(u"Mail"));
    s->addEntry(fileItem());
    s->addEntry(folderItem());
    return s;
  }
  void hostItems() {
    writeBytes(host.c("Mail/rules.dat"), "host rules");
    fs::create_directories(host.c("Mail/Sigs"));
    writeBytes(host.c("Mail/Sigs/work.txt"), "host sig");
  }
  void userCopies() {
    writeBytes(deviceFolder() / "rules.dat", "user rules");
    fs::create_directories(deviceFolder() / "Sigs");
    writeBytes(deviceFolder() / "Sigs" / "home.txt", "user sig");
  }
  static int recordCount() {
    CRegistry key{CString(kRecords)};
    return key.isOpen() ? key.getSubkeyCount() : 0;
  }
  static std::string recordValue(const char16_t* subkey, const char16_t* name) {
    CString path = CString(kRecords) + u"\\" + subkey;
    CRegistry key(path);
    CString value;
    return key.getString(name, value) ? utf8(value) : "<none>";
  }
};

// Backup, personalize, depersonalize and restore: the user's copies replace the host items for
// the login and the host's own items are back at the end, with no record left.
TEST_F(MoveAsideTest, LoginCycleReplacesAndPutsBack) {
  hostItems();
  userCopies();
  auto s = snapin();
  EXPECT_EQ(s->getSourceState(), kSourceNothing);  // host items present, nothing aside yet
  ASSERT_TRUE(s->backup());
  EXPECT_EQ(readBytes(host.c("Mail/rules.bak")), "host rules");
  EXPECT_TRUE(host.isFile("Mail/Sigs.bak/work.txt"));
  EXPECT_TRUE(host.gone("Mail/Sigs"));
  ASSERT_EQ(recordCount(), 2);
  EXPECT_EQ(recordValue(u"0", u"sourcePath"), "C:\\Mail\\rules.dat");
  EXPECT_EQ(recordValue(u"0", u"typeName"), "File");
  EXPECT_EQ(recordValue(u"1", u"backupPath"), "C:\\Mail\\Sigs.bak");
  EXPECT_EQ(recordValue(u"1", u"profileRelativeDevicePath"), "Sigs");
  EXPECT_EQ(s->getSourceState(), kSourcePresent);

  ASSERT_TRUE(s->personalize());
  EXPECT_EQ(readBytes(host.c("Mail/rules.dat")), "user rules");
  EXPECT_EQ(readBytes(host.c("Mail/Sigs/home.txt")), "user sig");

  ASSERT_TRUE(s->depersonalize());
  EXPECT_TRUE(host.gone("Mail/rules.dat"));
  EXPECT_TRUE(host.gone("Mail/Sigs"));

  ASSERT_TRUE(s->restore());
  EXPECT_EQ(readBytes(host.c("Mail/rules.dat")), "host rules");
  EXPECT_EQ(readBytes(host.c("Mail/Sigs/work.txt")), "host sig");
  EXPECT_TRUE(host.gone("Mail/rules.bak"));
  EXPECT_TRUE(host.gone("Mail/Sigs.bak"));
  EXPECT_EQ(recordCount(), 0);
}

// A host without the items: nothing moves, nothing is recorded, the entries are safe to replace.
TEST_F(MoveAsideTest, MissingHostItemsRecordNothing) {
  auto s = snapin();
  EXPECT_EQ(s->getSourceState(), kSourcePresent);
  ASSERT_TRUE(s->backup());
  EXPECT_EQ(recordCount(), 0);
  EXPECT_TRUE(s->restore());
}

// The program dies after the backup pass: a later session restores from the registry alone; a
// record whose item cannot go back (the host made a new file at the source path meanwhile) stays,
// the new file is not replaced, and the restore reports false until the path is free.
TEST_F(MoveAsideTest, RestoreAfterCrashWorksFromTheRecords) {
  hostItems();
  userCopies();
  {
    auto s = snapin();
    ASSERT_TRUE(s->backup());
    ASSERT_TRUE(s->personalize());
  }  // the objects are lost; the user's copies stay in place
  ASSERT_TRUE(fs::remove_all(host.c("Mail/Sigs")) > 0);
  writeBytes(host.c("Mail/rules.dat"), "made meanwhile");

  CMoveAsideCustomizer later(CString(u"Mail"));  // no entries: the registry is all it has
  const std::size_t mark = logBytes().size();
  EXPECT_FALSE(later.restore());
  EXPECT_EQ(readBytes(host.c("Mail/Sigs/work.txt")), "host sig");
  EXPECT_EQ(readBytes(host.c("Mail/rules.dat")), "made meanwhile");
  EXPECT_EQ(readBytes(host.c("Mail/rules.bak")), "host rules");
  ASSERT_EQ(recordCount(), 1);
  EXPECT_EQ(recordValue(u"0", u"sourcePath"), "C:\\Mail\\rules.dat");
  bool logged = false;
  for (const std::string& line : linesSince(mark))
    if (line == "{MoveAsideCustomizer}: Failed to read backup entry 0 for Mail.") logged = true;
  EXPECT_TRUE(logged);

  fs::remove(host.c("Mail/rules.dat"));
  EXPECT_TRUE(later.restore());
  EXPECT_EQ(readBytes(host.c("Mail/rules.dat")), "host rules");
  EXPECT_EQ(recordCount(), 0);
}

// The next login's backup first puts back what a failed restore left. A record that still fails
// stays under its own name, and the item at the occupied backup path is never moved onto.
TEST_F(MoveAsideTest, BackupPutsBackLeftRecordsAndKeepsTheOnesThatFail) {
  hostItems();
  ASSERT_TRUE(snapin()->backup());
  // A crash, and a file at the file's source path by the time of the next login.
  writeBytes(host.c("Mail/rules.dat"), "made meanwhile");

  auto s = snapin();
  EXPECT_FALSE(s->backup());
  // The host's original file is still the backup; the new one was not moved onto it.
  EXPECT_EQ(readBytes(host.c("Mail/rules.bak")), "host rules");
  EXPECT_EQ(readBytes(host.c("Mail/rules.dat")), "made meanwhile");
  // The folder went back and aside again under a new record; the kept file record is untouched.
  EXPECT_TRUE(host.isFile("Mail/Sigs.bak/work.txt"));
  ASSERT_EQ(recordCount(), 2);
  EXPECT_EQ(recordValue(u"0", u"sourcePath"), "C:\\Mail\\rules.dat");
  EXPECT_EQ(recordValue(u"0", u"backupPath"), "C:\\Mail\\rules.bak");
  EXPECT_EQ(recordValue(u"1", u"sourcePath"), "C:\\Mail\\Sigs");
}

// A left record whose item can go back now is put back by the backup before anything moves.
TEST_F(MoveAsideTest, BackupRestoresARecordLeftByAFailedRestore) {
  hostItems();
  ASSERT_TRUE(snapin()->backup());
  writeBytes(host.c("Mail/rules.dat"), "user rules");
  {
    CMoveAsideCustomizer failing(CString(u"Mail"));
    EXPECT_FALSE(failing.restore());  // the user's file still occupies the source path
  }
  ASSERT_EQ(recordCount(), 1);
  fs::remove(host.c("Mail/rules.dat"));  // the next logout's depersonalize got to it

  auto s = snapin();
  ASSERT_TRUE(s->backup());
  // The host's file went back and then aside again: nothing of it is lost.
  EXPECT_EQ(readBytes(host.c("Mail/rules.bak")), "host rules");
  EXPECT_TRUE(host.gone("Mail/rules.dat"));
  EXPECT_EQ(recordCount(), 2);
  ASSERT_TRUE(s->restore());
  EXPECT_EQ(readBytes(host.c("Mail/rules.dat")), "host rules");
  EXPECT_EQ(readBytes(host.c("Mail/Sigs/work.txt")), "host sig");
}

// Without the host's folder aside, the folder at the personalized path may be the host's own:
// depersonalize leaves it.
TEST_F(MoveAsideTest, FolderWithoutBackupIsNotDepersonalized) {
  hostItems();
  auto item = folderItem();
  EXPECT_TRUE(item->depersonalize());
  EXPECT_TRUE(host.isFile("Mail/Sigs/work.txt"));
  EXPECT_FALSE(item->isSafeToReplace());
}

}  // namespace
