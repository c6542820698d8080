// The Outlook snapshot file: the exact bytes of a small known snapshot, round trips with and
// without states (entry order, entries folded in or dropped at a save, the empty records the
// writer puts where the reader expects one), files of older versions and of the old writer's
// shape, damaged and newer files that fail the read and take nothing, a failed save that leaves
// the previous file intact, and the entry maps' removal rules.
#include "outlook/outlook_snapshot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/file_util.h"
#include "app/lingrove.h"
#include "lang/ids.h"
#include "platform/base/fault.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/archive_bytes.h"

namespace {

using apptest::AppTest;

// The file's records, written by hand from the layout so a test can make any file.
struct Bytes : kipotest::ArchiveBytesOf<Bytes> {
  // A folder record: display name, store id, source key, parent source key, change key, own,
  // parent and counterpart ids (long-term, short-term).
  Bytes& folder(const std::u16string& name, const std::u16string& id, const std::u16string& parentId = u"",
                const std::u16string& counterpart = u"") {
    str(name).str(u"AB01").str(u"5C").str(u"5D").str(u"CC");
    return str(id).str(u"").str(parentId).str(u"").str(counterpart).str(u"");
  }
  Bytes& emptyFolder() {
    for (int i = 0; i < 11; ++i) str(u"");
    return *this;
  }
  Bytes& map(std::initializer_list<std::pair<std::u16string, std::u16string>> folders) {
    u32(100).u32(static_cast<std::uint32_t>(folders.size()));
    for (const auto& [name, id] : folders) folder(name, id);
    return *this;
  }
  // An entry (state word, item record, target id, target folder).
  Bytes& entry(std::uint32_t state, const std::string& id, const std::string& targetId, bool withParent = true) {
    u32(state).str(u"Inbox").str(u"Hello").u32(0x01D00000).u32(0x12345678);
    if (withParent) folder(u"Inbox", u"F1");
    bytes(id).bytes("sk").bytes("src").bytes("chg");
    return bytes(targetId).folder(u"Inbox", u"T1");
  }
};

CSnapshotFolder folderRecord(const char16_t* name, const char16_t* id, const char16_t* parentId = u"",
                             const char16_t* counterpart = u"") {
  CSnapshotFolder f;
  f.displayName = name;
  f.storeEntryId = u"AB01";
  f.sourceKey = u"5C";
  f.parentSourceKey = u"5D";
  f.changeKey = u"CC";
  f.entryId.longTerm = id;
  f.parentEntryId.longTerm = parentId;
  f.counterpartId.longTerm = counterpart;
  return f;
}

SnapshotBytes bytesOf(const std::string& s) { return SnapshotBytes(s.begin(), s.end()); }

CSnapshotItem itemRecord(const std::string& id, bool withParent = true) {
  CSnapshotItem item;
  item.parentFolderName = u"Inbox";
  item.subject = u"Hello";
  item.lastModified.dwHighDateTime = 0x01D00000;
  item.lastModified.dwLowDateTime = 0x12345678;
  item.entryId = bytesOf(id);
  item.searchKey = bytesOf("sk");
  item.sourceKey = bytesOf("src");
  item.changeKey = bytesOf("chg");
  if (withParent) item.parentFolder = folderRecord(u"Inbox", u"F1");
  item.size = 512;
  return item;
}

// A new entry whose op succeeded, with its target copy.
CItemSnapshot* addDone(COutlookSyncSnapshot& snapshot, const std::string& id, const std::string& targetId) {
  CItemSnapshot* entry = snapshot.addEntry(itemRecord(id));
  entry->setTargetEntryId(bytesOf(targetId));
  entry->setTargetFolder(folderRecord(u"Inbox", u"T1"));
  entry->addState(kItemSnapshotSucceeded);
  return entry;
}

// Makes one named call fail while alive.
class ScopedFault {
 public:
  ScopedFault(const char* call, DWORD error) {
    platform::fault::Fault f;
    f.call = call;
    f.error = error;
    id_ = platform::fault::inject(f);
  }
  ~ScopedFault() { platform::fault::removeLocal(id_); }

 private:
  std::uint64_t id_;
};

class OutlookSnapshotTest : public AppTest {
 protected:
  OutlookSnapshotTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    createLog();
    std::filesystem::create_directories(host.c("Drive"));
  }
  void put(const std::string& bytes) { writeBytes(host.c("Drive/_Outlook.snap"), bytes); }
  std::string stored() { return readBytes(host.c("Drive/_Outlook.snap")); }

  std::unique_ptr<Lingrove> language;
  const CString path{u"C:\\Drive\\_Outlook.snap"};
};

// The writer's bytes for a snapshot with a root, both folder maps and one entry whose op
// succeeded in this run, with the keep-state flag clear (the item synchronizer's way).
TEST_F(OutlookSnapshotTest, WritesTheKnownLayoutAndReadsItBack) {
  COutlookSyncSnapshot snapshot;
  snapshot.setRootFolder(folderRecord(u"Top", u"R0"));
  const SnapshotFolderMap source{{u"F1", folderRecord(u"Inbox", u"F1")}, {u"E0", folderRecord(u"Drafts", u"E0")}};
  const SnapshotFolderMap target{{u"T1", folderRecord(u"Inbox", u"T1")}};
  snapshot.setFolderMaps(&source, &target);
  addDone(snapshot, "id-1", "tg-1")->addState(kItemSnapshotSeen);

  ASSERT_TRUE(snapshot.write(path, false));
  const std::string expected = Bytes()
                                   .u32(103)
                                   .folder(u"Top", u"R0")
                                   .map({{u"Inbox", u"T1"}})
                                   .map({{u"Drafts", u"E0"}, {u"Inbox", u"F1"}})  // in key order
                                   .u32(1)
                                   .entry(0, "id-1", "tg-1")
                                   .u32(16)
                                   .data;
  EXPECT_EQ(stored(), expected);
  EXPECT_TRUE(isHiddenFile(path));
  EXPECT_TRUE(GetFileAttributesW(path) & FILE_ATTRIBUTE_SYSTEM);
  EXPECT_FALSE(fileExists(path + u".new"));

  COutlookSyncSnapshot back;
  ASSERT_TRUE(back.read(path));
  EXPECT_EQ(back.getVersionRead(), 103u);
  ASSERT_NE(back.getRootFolder(), nullptr);
  EXPECT_EQ(*back.getRootFolder(), folderRecord(u"Top", u"R0"));
  ASSERT_NE(back.findFolder(u"E0", true), nullptr);
  EXPECT_EQ(utf8(back.findFolder(u"E0", true)->displayName), "Drafts");
  EXPECT_EQ(back.findFolder(u"E0", false), nullptr);
  EXPECT_NE(back.findFolder(u"T1", false), nullptr);
  const CItemSnapshot* entry = back.findBySource(bytesOf("id-1"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(back.findByTarget(bytesOf("tg-1")), entry);
  EXPECT_EQ(entry->state, 0u);
  EXPECT_EQ(utf8(entry->item.subject), "Hello");
  EXPECT_EQ(entry->item.lastModified.dwHighDateTime, 0x01D00000u);
  EXPECT_EQ(entry->item.lastModified.dwLowDateTime, 0x12345678u);
  EXPECT_EQ(entry->item.changeKey, bytesOf("chg"));
  EXPECT_EQ(entry->item.parentFolder, folderRecord(u"Inbox", u"F1"));
  EXPECT_EQ(entry->getTargetFolder(), folderRecord(u"Inbox", u"T1"));
  EXPECT_TRUE(boxes.empty());
}

// What a save keeps: entries in source-id order (length first), new entries only when their op
// succeeded and their id is not kept already, map entries whose op failed in the run that made
// them left out although counted; states only with the keep-state flag.
TEST_F(OutlookSnapshotTest, SaveFoldsInSucceededEntriesAndWritesThemInIdOrder) {
  COutlookSyncSnapshot snapshot;
  snapshot.setRootFolder(folderRecord(u"Top", u"R0"));
  const std::string longId(17, 'A');
  const std::string shortId(16, 'Z');
  addDone(snapshot, longId, "t-long");
  addDone(snapshot, shortId, "t-short");
  snapshot.addEntry(itemRecord("failed"))->addState(kItemSnapshotFailed | kItemSnapshotCreated);
  snapshot.addEntry(itemRecord("unrun"));
  addDone(snapshot, shortId, "t-again");  // the id is kept already: dropped
  ASSERT_TRUE(snapshot.write(path, true));
  EXPECT_TRUE(snapshot.newEntries().empty());
  ASSERT_EQ(snapshot.entries().size(), 2u);

  // A 16-byte id comes before a 17-byte one whatever its bytes.
  const std::string file = stored();
  EXPECT_LT(file.find(shortId), file.find(longId));
  EXPECT_EQ(file.find("t-again"), std::string::npos);
  EXPECT_EQ(file.find("failed"), std::string::npos);

  // States kept: they come back as stored; a map entry marked failed-and-created is left out.
  snapshot.findBySource(bytesOf(longId))->addState(kItemSnapshotFailed | kItemSnapshotCreated);
  ASSERT_TRUE(snapshot.write(path, true));
  COutlookSyncSnapshot back;
  ASSERT_TRUE(back.read(path));
  ASSERT_EQ(back.entries().size(), 1u);
  EXPECT_EQ(back.findBySource(bytesOf(shortId))->state, kItemSnapshotSucceeded | kItemSnapshotSeen);
  EXPECT_EQ(stored().substr(0, 4), Bytes().u32(103).data);

  // Without the flag every state word is 0.
  ASSERT_TRUE(back.write(path, false));
  COutlookSyncSnapshot again;
  ASSERT_TRUE(again.read(path));
  EXPECT_EQ(again.findBySource(bytesOf(shortId))->state, 0u);
}

// With no root, no folder maps and an item without a parent folder, the writer still writes
// every record the reader expects, so the file reads back (and the empty records read as none).
TEST_F(OutlookSnapshotTest, WritesEmptyRecordsWhereNothingIsKnownAndReadsThemBack) {
  COutlookSyncSnapshot snapshot;
  CItemSnapshot* entry = snapshot.addEntry(itemRecord("id-1", false));
  entry->addState(kItemSnapshotSucceeded);
  ASSERT_TRUE(snapshot.write(path, false));
  const std::string expected = Bytes()
                                   .u32(103)
                                   .emptyFolder()
                                   .u32(100)
                                   .u32(0)
                                   .u32(100)
                                   .u32(0)
                                   .u32(1)
                                   .u32(0)
                                   .str(u"Inbox")
                                   .str(u"Hello")
                                   .u32(0x01D00000)
                                   .u32(0x12345678)
                                   .emptyFolder()
                                   .bytes("id-1")
                                   .bytes("sk")
                                   .bytes("src")
                                   .bytes("chg")
                                   .bytes("")
                                   .emptyFolder()
                                   .u32(16)
                                   .data;
  EXPECT_EQ(stored(), expected);
  COutlookSyncSnapshot back;
  ASSERT_TRUE(back.read(path));
  EXPECT_EQ(back.getRootFolder(), nullptr);
  ASSERT_NE(back.findBySource(bytesOf("id-1")), nullptr);
  EXPECT_TRUE(back.findBySource(bytesOf("id-1"))->item.parentFolder.isEmpty());
}

// Older versions and the old writer's shapes read without a message.
TEST_F(OutlookSnapshotTest, ReadsOlderVersionsAndTheOldWritersShapes) {
  const std::string maps = Bytes().map({{u"Inbox", u"T1"}}).map({{u"Inbox", u"F1"}}).data;
  struct Case {
    const char* what;
    std::string bytes;
    bool root;
    size_t entries;
  };
  const Case cases[] = {
      {"version 101 carries nothing", Bytes().u32(101).raw(maps).u32(1).entry(0, "id-1", "tg-1").data, false, 0},
      {"version 102 has no root record", Bytes().u32(102).raw(maps).u32(1).entry(0, "id-1", "tg-1").u32(16).data,
       false, 1},
      {"version 103 without the root record",
       Bytes().u32(103).raw(maps).u32(1).entry(0, "id-1", "tg-1").u32(16).data, false, 1},
      {"an item without its parent folder record",
       Bytes().u32(103).folder(u"Top", u"R0").raw(maps).u32(2).entry(0, "id-1", "tg-1", false).entry(0, "id-2",
                                                                                                       "tg-2").u32(16)
           .data,
       true, 2},
      {"an empty item without its parent folder record",
       Bytes().u32(103).folder(u"Top", u"R0").raw(maps).u32(1).u32(0).str(u"").str(u"").u32(0).u32(0).bytes("")
           .bytes("").bytes("").bytes("").bytes("").emptyFolder().u32(16).data,
       true, 1},
      {"the count includes entries left out",
       Bytes().u32(103).folder(u"Top", u"R0").raw(maps).u32(9).entry(0, "id-1", "tg-1").u32(16).data, true, 1},
      {"the marker ends the entries", Bytes().u32(103).folder(u"Top", u"R0").raw(maps).u32(2).u32(16).raw("junk").data,
       true, 0},
      {"no marker after the counted entries",
       Bytes().u32(103).folder(u"Top", u"R0").raw(maps).u32(1).entry(0, "id-1", "tg-1").data, true, 1},
      {"a repeated source id keeps the first entry",
       Bytes().u32(103).folder(u"Top", u"R0").raw(maps).u32(2).entry(0, "id-1", "tg-1").entry(0, "id-1", "tg-2")
           .u32(16).data,
       true, 1},
      {"narrow strings", Bytes().u32(102).u32(100).u32(1).narrow("Inbox").narrow("").narrow("").narrow("")
           .narrow("").narrow("T1").narrow("").narrow("").narrow("").narrow("").narrow("").u32(100).u32(0).u32(0)
           .u32(16).data,
       false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(c.bytes);
    COutlookSyncSnapshot snapshot;
    ASSERT_TRUE(snapshot.read(path));
    EXPECT_EQ(snapshot.getRootFolder() != nullptr, c.root);
    EXPECT_EQ(snapshot.entries().size(), c.entries);
    if (const CItemSnapshot* empty = snapshot.findBySource(SnapshotBytes())) {
      EXPECT_TRUE(empty->item.parentFolder.isEmpty());
      EXPECT_TRUE(empty->getTargetFolder().isEmpty());
    } else if (c.entries) {
      const CItemSnapshot* entry = snapshot.findBySource(bytesOf("id-1"));
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(entry->item.changeKey, bytesOf("chg"));
      EXPECT_EQ(entry->getTargetFolder().entryId.longTerm, CString(u"T1"));
      EXPECT_EQ(snapshot.findByTarget(bytesOf("tg-1")), entry);
    }
    // What was read writes back and reads again the same.
    ASSERT_TRUE(snapshot.write(path, false));
    COutlookSyncSnapshot again;
    ASSERT_TRUE(again.read(path));
    EXPECT_EQ(again.entries().size(), c.entries);
    EXPECT_EQ(again.getRootFolder() != nullptr, c.root);
  }
  EXPECT_TRUE(boxes.empty());
}

// A damaged or newer file fails the read and leaves the snapshot empty: message 553 and a log
// line for damage, message 677 for a newer version. Counts and lengths beyond the file are found
// before anything is allocated for them.
TEST_F(OutlookSnapshotTest, DamagedAndNewerFilesFailTheReadAndTakeNothing) {
  const std::string head = Bytes().u32(103).folder(u"Top", u"R0").data;
  const std::string maps = Bytes().map({{u"Inbox", u"T1"}}).map({{u"Inbox", u"F1"}}).data;
  const std::string entry = Bytes().entry(0, "id-1", "tg-1").data;
  struct Case {
    const char* what;
    std::string bytes;
    bool newer;
  };
  const Case cases[] = {
      {"empty file", "", false},
      {"version word cut", "\x67\x00", false},
      {"nothing after the version", Bytes().u32(103).data, false},
      {"root record cut", head.substr(0, head.size() - 5), false},
      {"folder count beyond the file", head + Bytes().u32(100).u32(0x0FFFFFFF).data, false},
      {"folder record cut", head + maps.substr(0, maps.size() / 2), false},
      {"string longer than the file", head + Bytes().u32(100).u32(1).raw(std::string("\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 10)).data, false},
      {"no entry count", head + maps, false},
      {"entry cut", head + maps + Bytes().u32(1).data + entry.substr(0, entry.size() - 7), false},
      {"byte string longer than the file",
       head + maps + Bytes().u32(1).u32(0).str(u"Inbox").str(u"Hello").u32(0).u32(0).emptyFolder().u32(0x7FFFFFFF).data,
       false},
      {"entries end before the count and without the marker", head + maps + Bytes().u32(2).data + entry, false},
      {"newer file version", Bytes().u32(104).raw(maps).u32(0).u32(16).data, true},
      {"newer folder map version", head + Bytes().u32(101).u32(0).data + maps + Bytes().u32(0).u32(16).data, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(c.bytes);
    boxes.clear();
    const std::size_t mark = logBytes().size();
    COutlookSyncSnapshot snapshot;
    addDone(snapshot, "kept", "t");
    EXPECT_FALSE(snapshot.read(path));
    EXPECT_TRUE(snapshot.entries().empty());
    EXPECT_TRUE(snapshot.newEntries().empty());
    EXPECT_EQ(snapshot.getRootFolder(), nullptr);
    EXPECT_EQ(snapshot.findFolder(u"F1", true), nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    const std::string log = logBytes().substr(mark);
    if (c.newer) {
      EXPECT_NE(utf8(boxes[0].text).find("newer version"), std::string::npos) << utf8(boxes[0].text);
    } else {
      EXPECT_NE(utf8(boxes[0].text).find("C:\\Drive\\_Outlook.snap could not be read"), std::string::npos)
          << utf8(boxes[0].text);
      EXPECT_NE(log.find("{COutlookSyncSnapshot::read}: Failed to read the snapshot file C:\\Drive\\_Outlook.snap."),
                std::string::npos)
          << log;
    }
    EXPECT_EQ(stored(), c.bytes);  // never rewritten by a read
  }
  // A missing file is no damage: false without a message.
  std::filesystem::remove(host.c("Drive/_Outlook.snap"));
  boxes.clear();
  COutlookSyncSnapshot snapshot;
  EXPECT_FALSE(snapshot.read(path));
  EXPECT_TRUE(boxes.empty());
}

// A save that fails while writing or while putting the new file in place leaves the previous
// file as it was (hidden and system again) and no half-written file beside it.
TEST_F(OutlookSnapshotTest, AFailedSaveLeavesThePreviousFileIntact) {
  COutlookSyncSnapshot snapshot;
  snapshot.setRootFolder(folderRecord(u"Top", u"R0"));
  addDone(snapshot, "id-1", "tg-1");
  ASSERT_TRUE(snapshot.write(path, false));
  const std::string before = stored();
  addDone(snapshot, "id-2", "tg-2");
  for (const char* call : {"WriteFile", "MoveFileExW"}) {
    SCOPED_TRACE(call);
    {
      ScopedFault fault(call, ERROR_DISK_FULL);
      EXPECT_FALSE(snapshot.write(path, false));
    }
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(isHiddenFile(path));
    EXPECT_TRUE(GetFileAttributesW(path) & FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(fileExists(path + u".new"));
  }
  EXPECT_NE(logBytes().find("{COutlookSyncSnapshot::write}"), std::string::npos);
  ASSERT_TRUE(snapshot.write(path, false));
  COutlookSyncSnapshot back;
  ASSERT_TRUE(back.read(path));
  EXPECT_EQ(back.entries().size(), 2u);
}

// A save into a folder that does not exist yet makes it.
TEST_F(OutlookSnapshotTest, SaveMakesTheMissingFolders) {
  COutlookSyncSnapshot snapshot;
  const CString deep(u"C:\\Backup\\Kipo\\Device\\_Outlook.snap");
  ASSERT_TRUE(snapshot.write(deep, false));
  COutlookSyncSnapshot back;
  EXPECT_TRUE(back.read(deep));
  EXPECT_TRUE(back.entries().empty());
}

// Removal takes an entry from wherever it is kept; a target id shared by two entries stays with
// the entry that holds it; an entry of another snapshot is not touched.
TEST_F(OutlookSnapshotTest, RemovalKeepsTheMapsConsistent) {
  put(Bytes()
          .u32(103)
          .folder(u"Top", u"R0")
          .map({})
          .map({})
          .u32(2)
          .entry(0, "id-1", "shared")
          .entry(0, "id-2", "shared")
          .u32(16)
          .data);
  COutlookSyncSnapshot snapshot;
  ASSERT_TRUE(snapshot.read(path));
  CItemSnapshot* first = snapshot.findBySource(bytesOf("id-1"));
  CItemSnapshot* second = snapshot.findBySource(bytesOf("id-2"));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(snapshot.findByTarget(bytesOf("shared")), first);
  EXPECT_TRUE(snapshot.removeEntry(second));
  EXPECT_EQ(snapshot.findByTarget(bytesOf("shared")), first);
  EXPECT_TRUE(snapshot.removeEntry(first));
  EXPECT_EQ(snapshot.findByTarget(bytesOf("shared")), nullptr);
  EXPECT_TRUE(snapshot.entries().empty());

  CItemSnapshot* fresh = addDone(snapshot, "id-3", "t3");
  COutlookSyncSnapshot other;
  CItemSnapshot* foreign = addDone(other, "id-3", "t3");
  EXPECT_FALSE(snapshot.removeEntry(foreign));
  EXPECT_FALSE(snapshot.removeEntry(nullptr));
  EXPECT_TRUE(snapshot.removeEntry(fresh));
  EXPECT_TRUE(snapshot.newEntries().empty());
  ASSERT_TRUE(snapshot.write(path, false));
  COutlookSyncSnapshot back;
  ASSERT_TRUE(back.read(path));
  EXPECT_TRUE(back.entries().empty());
}

}  // namespace
