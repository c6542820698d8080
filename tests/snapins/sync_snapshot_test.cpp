// Snapshot records and their file: a round trip with the hidden and system attributes, the older
// format without the hidden field, damaged and too-new files that fail the read without taking
// anything, case-blind look-ups that keep finding the first record after removals (also between
// removals), and the revert of records whose op never ran.
#include "snapins/sync_snapshot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/file_util.h"
#include "lang/ids.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/archive_bytes.h"

namespace {

using snapintest::SnapinTest;

using Bytes = kipotest::ArchiveBytes;

class SyncSnapshotTest : public SnapinTest {
 protected:
  SyncSnapshotTest() { host.write("Data/a.txt", "a"); }
  void put(const Bytes& bytes) { writeBytes(host.c("snap.snap"), bytes.data); }
  const CString path{u"C:\\snap.snap"};
};

TEST_F(SyncSnapshotTest, WritesAndReadsBackHiddenAndSystemAlsoOverAnExistingHiddenFile) {
  CSyncSnapshot snapshot;
  setHiddenAttribute(u"C:\\Data\\a.txt", true);
  CFileSnapshot* a = snapshot.addEntry(u"C:\\Data\\a.txt", u"a.txt");
  EXPECT_EQ(a->hidden, 1u);
  EXPECT_NE(a->modificationTime, 0u);
  a->setStateFlags(kSnapshotExecuted);
  const DWORD time = a->modificationTime;  // a moves with the next record
  snapshot.addEntry(u"C:\\Data\\gone.txt", u"Sub\\gone.txt")->linkText = u"C:\\Elsewhere\\t.txt";
  for (bool withStates : {true, false}) {
    SCOPED_TRACE(withStates);
    // The second write goes over the hidden, system file the first one left.
    ASSERT_TRUE(snapshot.write(path, withStates));
    EXPECT_TRUE(isHiddenFile(path));
    EXPECT_TRUE(GetFileAttributesW(path) & FILE_ATTRIBUTE_SYSTEM);
    CSyncSnapshot back;
    ASSERT_TRUE(back.read(path));
    ASSERT_EQ(back.getCount(), 2);
    EXPECT_EQ(back.version, 101u);
    EXPECT_EQ(back.getAt(0)->modificationTime, time);
    EXPECT_EQ(back.getAt(0)->hidden, 1u);
    EXPECT_EQ(back.getAt(0)->state, withStates ? kSnapshotExecuted : 0u);
    EXPECT_EQ(utf8(back.getAt(1)->relativePath), "Sub\\gone.txt");
    EXPECT_EQ(utf8(back.getAt(1)->linkText), "C:\\Elsewhere\\t.txt");
  }
}

TEST_F(SyncSnapshotTest, ReadsTheOlderFormatWithoutTheHiddenField) {
  put(Bytes().u32(100).u32(2).str(u"C:\\A").str(u"A").u32(7).u32(0).str(u"").str(u"C:\\B").str(u"B").u32(8).u32(0).str(
      u""));
  CSyncSnapshot snapshot;
  ASSERT_TRUE(snapshot.read(path));
  ASSERT_EQ(snapshot.getCount(), 2);
  EXPECT_EQ(snapshot.getAt(1)->modificationTime, 8u);
  EXPECT_EQ(snapshot.getAt(1)->hidden, 0u);
  ASSERT_TRUE(snapshot.write(path, false));
  CSyncSnapshot again;
  ASSERT_TRUE(again.read(path));
  EXPECT_EQ(again.version, 101u);
  EXPECT_EQ(again.getCount(), 2);
}

// Every damaged file fails the read and leaves the snapshot empty; a count or a string length
// larger than the file is found before anything is allocated for it.
TEST_F(SyncSnapshotTest, DamagedFilesFailTheReadAndLeaveNothing) {
  const std::string record = Bytes().str(u"C:\\A").str(u"A").u32(7).u32(0).str(u"").u32(0).data;
  struct Case {
    const char* what;
    std::string bytes;
    bool ok;
    int count;
  };
  const Case cases[] = {
      {"no records", Bytes().u32(101).u32(0).data, true, 0},
      {"one record", Bytes().u32(101).u32(1).raw(record).data, true, 1},
      {"empty file", std::string(), false, 0},
      {"count without records", Bytes().u32(101).u32(0xFFFFFFFF).data, false, 0},
      {"count one too many", Bytes().u32(101).u32(2).raw(record).data, false, 0},
      {"truncated record", Bytes().u32(101).u32(1).raw(record.substr(0, record.size() - 3)).data, false, 0},
      {"string longer than the file", Bytes().u32(101).u32(1).raw(std::string("\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 10)).data, false, 0},
      {"two Unicode markers", Bytes().u32(101).u32(1).raw(std::string("\xFF\xFE\xFF\xFF\xFE\xFF\x01\x41\x00", 9)).data, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeBytes(host.c("snap.snap"), c.bytes);
    CSyncSnapshot snapshot;
    snapshot.addEntry(u"C:\\Data\\a.txt", u"a.txt");
    EXPECT_EQ(snapshot.read(path), c.ok);
    EXPECT_EQ(snapshot.getCount(), c.count);
  }
  EXPECT_EQ(boxes.size(), 6u);  // message 735 for each damaged file
}

TEST_F(SyncSnapshotTest, ANewerVersionShowsItsMessageOnceAndReadsAsFailed) {
  put(Bytes().u32(102).u32(1).str(u"C:\\A").str(u"A").u32(7).u32(0).str(u"").u32(0));
  CSyncSnapshot snapshot;
  EXPECT_FALSE(snapshot.read(path));
  EXPECT_EQ(snapshot.getCount(), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("newer version"), std::string::npos);
  EXPECT_FALSE(CSyncSnapshot().read(u"C:\\missing.snap"));
}

TEST_F(SyncSnapshotTest, LookUpsIgnoreCaseFindTheFirstRecordAndSurviveRemovals) {
  CSyncSnapshot snapshot;
  for (int i = 0; i < 50; ++i) {
    CString host;
    host.Format(u"C:\\Data\\File%d.TXT", i);
    CString relative;
    relative.Format(u"Sub\\File%d.TXT", i);
    snapshot.addEntry(host, relative);
  }
  snapshot.addEntry(u"c:\\data\\file7.txt", u"second")->hidden = 9;
  ASSERT_NE(snapshot.findByHostPath(u"c:\\DATA\\file7.txt"), nullptr);
  EXPECT_EQ(utf8(snapshot.findByHostPath(u"c:\\DATA\\file7.txt")->relativePath), "Sub\\File7.TXT");
  EXPECT_EQ(utf8(snapshot.findByRelativePath(u"sub\\file8.txt")->hostPath), "C:\\Data\\File8.TXT");
  // Removing records moves the later ones up: look-ups must still find the right ones.
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(snapshot.removeEntry(snapshot.getAt(0)));
  EXPECT_EQ(snapshot.findByHostPath(u"C:\\Data\\File3.txt"), nullptr);
  EXPECT_EQ(utf8(snapshot.findByHostPath(u"C:\\Data\\FILE40.txt")->hostPath), "C:\\Data\\File40.TXT");
  // The first File7 record went with the removals from the front: the second one is found now.
  EXPECT_EQ(utf8(snapshot.findByHostPath(u"C:\\Data\\File7.txt")->relativePath), "second");
  EXPECT_FALSE(snapshot.removeEntry(nullptr));
  CFileSnapshot stranger;
  EXPECT_FALSE(snapshot.removeEntry(&stranger));
}

// The synchronizer looks a path up between removals (a deleted host folder's files, one by
// one): every look-up must agree with a plain first-match scan of what is left, also once a later
// record shares a key with an earlier one.
TEST_F(SyncSnapshotTest, LookUpsBetweenRemovalsAgreeWithAScanOfWhatIsLeft) {
  CSyncSnapshot snapshot;
  const auto name = [](const char16_t* format, int i) {
    CString text;
    text.Format(format, i);
    return text;
  };
  for (int i = 0; i < 60; ++i) snapshot.addEntry(name(u"C:\\Data\\F%d.txt", i), name(u"Sub\\F%d.txt", i));
  const auto scan = [&](const CString& path, bool byHost) -> const CFileSnapshot* {
    for (int i = 0; i < snapshot.getCount(); ++i) {
      const CFileSnapshot* record = snapshot.getAt(i);
      if ((byHost ? record->hostPath : record->relativePath).CompareNoCase(path) == 0) return record;
    }
    return nullptr;
  };
  const auto agree = [&](const char* when) {
    for (int i = 0; i < 60; ++i) {
      const CString host = name(u"c:\\data\\f%d.TXT", i);
      const CString relative = name(u"SUB\\f%d.txt", i);
      EXPECT_EQ(snapshot.findByHostPath(host), scan(host, true)) << when << " host " << i;
      EXPECT_EQ(snapshot.findByRelativePath(relative), scan(relative, false)) << when << " relative " << i;
    }
  };
  // Middle, last and first positions, with look-ups in between.
  for (int pick : {30, 58, 0, 10, 10, 40}) {
    ASSERT_NE(snapshot.findByHostPath(snapshot.getAt(pick)->hostPath), nullptr);
    ASSERT_TRUE(snapshot.removeEntry(snapshot.getAt(pick)));
    agree("distinct keys");
  }
  snapshot.addEntry(u"C:\\DATA\\F20.TXT", u"other")->hidden = 1;
  snapshot.addEntry(u"C:\\Data\\New.txt", u"Sub\\F20.txt");
  agree("after shared keys");
  ASSERT_TRUE(snapshot.removeEntry(snapshot.findByHostPath(u"C:\\Data\\F20.txt")));
  agree("first of a shared key removed");
  EXPECT_EQ(utf8(snapshot.findByHostPath(u"c:\\data\\f20.txt")->relativePath), "other");
  EXPECT_EQ(utf8(snapshot.findByRelativePath(u"sub\\f20.txt")->hostPath), "C:\\Data\\New.txt");
  while (snapshot.getCount() > 0) {
    ASSERT_TRUE(snapshot.removeEntry(snapshot.getAt(snapshot.getCount() / 2)));
    agree("draining");
  }
}

TEST_F(SyncSnapshotTest, RevertGivesUnexecutedRecordsTheirStoredState) {
  CSyncSnapshot stored;
  stored.addEntry(u"C:\\Data\\kept.txt", u"kept.txt")->modificationTime = 100;
  stored.addEntry(u"C:\\Data\\ran.txt", u"ran.txt")->modificationTime = 100;
  ASSERT_TRUE(stored.write(path, false));

  CSyncSnapshot now;
  now.addEntry(u"C:\\Data\\KEPT.txt", u"kept.txt")->modificationTime = 200;  // planned, never ran
  CFileSnapshot* ran = now.addEntry(u"C:\\Data\\ran.txt", u"ran.txt");
  ran->modificationTime = 200;
  ran->setStateFlags(kSnapshotExecuted);
  now.addEntry(u"C:\\Data\\new.txt", u"new.txt");  // planned, never ran, not stored before
  EXPECT_TRUE(now.revertUnexecuted(path));
  ASSERT_EQ(now.getCount(), 2);
  EXPECT_EQ(now.findByHostPath(u"C:\\Data\\kept.txt")->modificationTime, 100u);
  EXPECT_EQ(now.findByHostPath(u"C:\\Data\\ran.txt")->modificationTime, 200u);
  EXPECT_EQ(now.findByHostPath(u"C:\\Data\\new.txt"), nullptr);
}

}  // namespace
