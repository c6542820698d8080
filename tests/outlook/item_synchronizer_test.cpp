// The Outlook item synchronizer: its decisions as tables (times against the snapshot with and
// without the tolerance, moves, the size limit in 64 bits), and whole runs between a host store
// and the drive's personal folders file through the MAPI stand-in: a first run and a quiet second
// one, changes both ways with a conflict kept in both versions, moves on each side, a copy into
// the source Outbox submitted (and a failed submission), a snapshot that cannot be read or
// saved, runs cut off part way whose copies the next run pairs instead of doubling, copies the
// user made that stay messages of their own, and the record functions the runs rely on.
#include "outlook/item_synchronizer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/app_messages.h"
#include "app/document_host_services.h"
#include "app/lingrove.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "platform/afx/archive.h"
#include "platform/afx/file.h"
#include "platform/base/fault.h"
#include "snapins/customizer.h"
#include "snapins/space_man.h"
#include "tests/outlook/mapi_layer_fixture.h"
#include "tests/support/child_program.h"
#include "tests/support/faults.h"

namespace {

using platform::com::Ptr;
using EntryId = CMapiUtil::EntryId;

constexpr ULONGLONG kSecond = 10000000ULL;
constexpr ULONGLONG kBase = 130000000000000000ULL;  // a time of the past, in 100 ns units

FILETIME timeAt(ULONGLONG ticks) { return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

// ---- decisions ----------------------------------------------------------------------------------------

class ItemDecisionTest : public mapilayertest::MapiLayerTest {
 protected:
  ItemDecisionTest() {
    sourceFolder.entryId.longTerm = u"00AA";
    targetFolder.entryId.longTerm = u"00BB";
    otherFolder.entryId.longTerm = u"00CC";
  }
  COutlookFolder sourceFolder;
  COutlookFolder targetFolder;
  COutlookFolder otherFolder;
};

// Times of A and B in seconds after S's; 'Z' marks a zero time. Tolerance 30 s when on.
TEST_F(ItemDecisionTest, TheDecisionComparesBothSidesWithTheSnapshot) {
  struct Case {
    const char* what;
    long long a;
    long long b;
    bool tolerance;
    DWORD kind;
  };
  constexpr long long kZero = -999999;
  const Case cases[] = {
      {"nothing changed", 0, 0, true, kItemOpNothing},
      {"A changed", 100, 0, true, kItemOpSourceToTarget},
      {"A older than S", -100, 0, true, kItemOpNothing},
      {"B changed", 0, 100, true, kItemOpTargetToSource},
      {"B older than S", 0, -100, true, kItemOpNothing},
      {"both changed", 100, 200, true, kItemOpConflict},
      {"both changed alike", 100, 100, true, kItemOpNothing},
      {"A 30 s later: equal", 30, 0, true, kItemOpNothing},
      {"A 31 s later: changed", 31, 0, true, kItemOpSourceToTarget},
      {"B 31 s later: changed", 0, 31, true, kItemOpTargetToSource},
      {"no tolerance: 1 s counts", 1, 0, false, kItemOpSourceToTarget},
      {"no tolerance: B 1 s", 0, 1, false, kItemOpTargetToSource},
      {"zero time on A", kZero, 100, true, kItemOpNothing},
      {"zero time on B", 100, kZero, true, kItemOpNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CItemSynchronizer sync;
    sync.setTolerance(c.tolerance);
    COutlookItem a;
    COutlookItem b;
    a.subject = u"A";
    b.subject = u"B";
    a.lastModified = c.a == kZero ? FILETIME{} : timeAt(kBase + c.a * static_cast<long long>(kSecond));
    b.lastModified = c.b == kZero ? FILETIME{} : timeAt(kBase + c.b * static_cast<long long>(kSecond));
    CItemSnapshot s;
    s.item.lastModified = timeAt(kBase);
    EXPECT_EQ(sync.determineSyncOp(&a, &b, &s), c.kind);
    EXPECT_TRUE(s.hasState(kItemSnapshotSeen));
    // An entry already seen in this run decides nothing more.
    EXPECT_EQ(sync.determineSyncOp(&a, &b, &s), kItemOpNothing);
  }
  CItemSynchronizer sync;
  COutlookItem a;
  EXPECT_EQ(sync.determineSyncOp(&a, &a, nullptr), kItemOpNothing);
}

// Where A and B lie against the folders S recorded, and what a move makes of the time decision.
TEST_F(ItemDecisionTest, MovesTurnTheDecisionIntoAMoveOrAConflict) {
  CItemSynchronizer sync;
  CItemSnapshot s;
  s.item.parentFolder.entryId.longTerm = u"00AA";
  s.targetFolder.entryId.longTerm = u"00BB";
  struct Case {
    const char* what;
    COutlookFolder* aFolder;
    COutlookFolder* bFolder;
    bool aFolderMoved;
    int state;
  };
  const Case states[] = {
      {"in place", &sourceFolder, &targetFolder, false, CItemSynchronizer::kMovedNone},
      {"A elsewhere", &otherFolder, &targetFolder, false, CItemSynchronizer::kMovedSource},
      {"A's folder renamed", &sourceFolder, &targetFolder, true, CItemSynchronizer::kMovedSource},
      {"B elsewhere", &sourceFolder, &otherFolder, false, CItemSynchronizer::kMovedTarget},
      {"both elsewhere", &otherFolder, &sourceFolder, false, CItemSynchronizer::kMovedBoth},
  };
  for (const Case& c : states) {
    SCOPED_TRACE(c.what);
    COutlookItem a;
    COutlookItem b;
    a.parentFolder = c.aFolder;
    b.parentFolder = c.bFolder;
    c.aFolder->moved = c.aFolderMoved;
    EXPECT_EQ(sync.getItemMoveState(&a, &b, &s), c.state);
    c.aFolder->moved = false;
  }

  struct Adjust {
    DWORD kind;
    int state;
    DWORD adjusted;
  };
  const Adjust table[] = {
      {kItemOpNothing, CItemSynchronizer::kMovedNone, kItemOpNothing},
      {kItemOpTargetToSource, CItemSynchronizer::kMovedNone, kItemOpTargetToSource},
      {kItemOpNothing, CItemSynchronizer::kMovedSource, kItemOpSourceMoved},
      {kItemOpSourceToTarget, CItemSynchronizer::kMovedSource, kItemOpSourceMoved},
      {kItemOpTargetToSource, CItemSynchronizer::kMovedSource, kItemOpConflict},
      {kItemOpNothing, CItemSynchronizer::kMovedTarget, kItemOpTargetMoved},
      {kItemOpTargetToSource, CItemSynchronizer::kMovedTarget, kItemOpTargetMoved},
      {kItemOpSourceToTarget, CItemSynchronizer::kMovedTarget, kItemOpConflict},
      {kItemOpNothing, CItemSynchronizer::kMovedBoth, kItemOpConflict},
  };
  for (const Adjust& c : table) {
    SCOPED_TRACE(std::to_string(c.kind) + " moved " + std::to_string(c.state));
    EXPECT_EQ(CItemSynchronizer::adjustOpForMove(c.kind, c.state), c.adjusted);
  }
}

// The limit is kilobytes times 1024 computed in 64 bits: a limit of 4 GB does not wrap to 0
// (which would skip every item); -1 skips nothing.
TEST_F(ItemDecisionTest, TheSizeLimitIsComputedInSixtyFourBits) {
  struct Case {
    int limitKb;
    ULONG size;
    bool over;
  };
  const Case cases[] = {
      {-1, 0xFFFFFFFF, false},       {100, 100 * 1024, false},      {100, 100 * 1024 + 1, true},
      {4194304, 0xFFFFFFFF, false},  {0, 1, true},                  {0, 0, false},
      {2097152, 0x80000001, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.limitKb) + " KB, " + std::to_string(c.size) + " bytes");
    CFolderSyncInfo info;
    info.sizeLimitKb = c.limitKb;
    COutlookItem item;
    item.size = c.size;
    EXPECT_EQ(CItemSynchronizer::isOverSizeLimit(item, info), c.over);
  }
}

// The item record of the snapshot file reads back as written, with an empty parent folder record
// for an item that lies in no folder.
TEST_F(ItemDecisionTest, AnItemRecordReadsBackAsWritten) {
  createLog();
  COutlookFolder folder;
  folder.displayName = u"Inbox";
  folder.entryId.longTerm = u"00AA";
  folder.sourceKey = u"0102";
  COutlookItem item;
  item.subject = u"Quarterly figures";
  item.parentFolderName = u"Inbox";
  item.entryId = {0x00, 0x01, 0x02};
  item.searchKey = {0x09};
  item.sourceKey = {0x03, 0x04};
  item.changeKey = {0x05};
  item.lastModified = timeAt(kBase);
  item.setFolder(&folder);
  COutlookItem loose = item;
  loose.parentFolder = nullptr;
  const auto roundTrip = [&](COutlookItem& written) {
    {
      CFile file;
      EXPECT_TRUE(file.Open(CString(u"C:\\item.bin"), CFile::modeCreate | CFile::modeWrite));
      CArchive ar(&file, CArchive::store);
      written.Serialize(ar);
      ar.Close();
    }
    CFile file;
    EXPECT_TRUE(file.Open(CString(u"C:\\item.bin"), CFile::modeRead));
    CArchive ar(&file, CArchive::load);
    COutlookItem read;
    read.Serialize(ar);
    return read;
  };
  for (COutlookItem* written : {&item, &loose}) {
    const COutlookItem read = roundTrip(*written);
    EXPECT_EQ(read.subject, written->subject);
    EXPECT_EQ(read.entryId, written->entryId);
    EXPECT_EQ(read.searchKey, written->searchKey);
    EXPECT_EQ(read.sourceKey, written->sourceKey);
    EXPECT_EQ(read.changeKey, written->changeKey);
    EXPECT_EQ(read.lastModified.dwLowDateTime, written->lastModified.dwLowDateTime);
    EXPECT_EQ(read.parentFolderSourceKey, written->parentFolder ? CString(u"0102") : CString());
    EXPECT_EQ(read.parentFolder, nullptr);
  }
}

// ---- whole runs ---------------------------------------------------------------------------------------

constexpr const char16_t* kDriveSnapshot = u"C:\\Drive\\BRAVO_Outlook.snap";
constexpr const char16_t* kBackupSnapshot = u"C:\\Backup\\BRAVO_Outlook.snap";

class ItemSyncRunTest : public mapilayertest::MapiLayerTest {
 protected:
  ItemSyncRunTest() : spaceMan(none), record(&spaceMan, nullptr, nullptr, {}) {}

  void SetUp() override {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    ASSERT_NO_FATAL_FAILURE(setOutlook());
    std::filesystem::create_directories(host.c("Drive"));
    std::ofstream description(host.c("host.txt"));
    description << "folder Inbox\n"
                   "item IPM.Note Hello\n"
                   "item IPM.Note Zed\n"
                   "folder Projects\n"
                   "item IPM.Note Plan\n"
                   "folder Projects/Old\n"
                   "item IPM.Note Ancient\n"
                   "folder Archive\n"
                   "item IPM.Note Kept at home\n";
    description.close();
    tool({"mapi", "make", "C:\\host.pst", "--from", host.c("host.txt").string()});
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\host.pst", "--default"});
    tool({"mapi", "profile", "add", "KipoSync", "--pst", "C:\\Drive\\Kipo.pst"});
    util = &start();
    ASSERT_TRUE(util->initializeMapi());
    ASSERT_EQ(util->logon(sourceSession, CString(u"Outlook")), S_OK);
    ASSERT_EQ(util->logon(targetSession, CString(u"KipoSync")), S_OK);
    util->openDefaultMessageStore(sourceStore, sourceSession.get());
    util->openDefaultMessageStore(targetStore, targetSession.get());
    ASSERT_TRUE(sourceStore && targetStore);
    CString inbox;
    ASSERT_EQ(util->getReceiveFolderEntryId(sourceStore.get(), inbox, false), S_OK);
    prefs.emplace_back(CString(u"Inbox"), inbox);
    prefs.emplace_back(CString(u"Projects"), folderId(sourceStore.get(), "Projects"));
    prefs.back().conflictResolution = COutlookFolderSyncPref::kKeepBoth;
    sync = make();
  }
  void TearDown() override {
    spaceMan.freeSyncOps();
    sync.reset();
    sourceStore.reset();
    targetStore.reset();
    sourceSession.reset();
    targetSession.reset();
    util->uninitializeMapi();
  }

  std::unique_ptr<CItemSynchronizer> make() {
    auto s = std::make_unique<CItemSynchronizer>();
    s->setSourceSession(sourceSession.get());
    s->setTargetSession(targetSession.get());
    s->setSourceMessageStore(sourceStore.get());
    s->setTargetMessageStore(targetStore.get());
    s->setFolderSyncPrefs(&prefs);
    s->setSnapshotPath(CString(kDriveSnapshot));
    s->setBackupSnapshotPath(CString(kBackupSnapshot));
    return s;
  }

  // Every folder of the store's tree with its path ("Projects/Old").
  std::vector<std::unique_ptr<COutlookFolder>> folders(IMsgStore* store) {
    Ptr<IMAPIFolder> top;
    EXPECT_EQ(util->openIpmSubtree(store, top), S_OK);
    std::vector<std::unique_ptr<COutlookFolder>> list;
    EXPECT_TRUE(util->getFolderHierarchyList(store, top.get(), CString(), list));
    return list;
  }
  static std::string slashed(const CString& path) {
    std::string text = utf8(path);
    std::replace(text.begin(), text.end(), '\n', '/');
    return text;
  }
  CString folderId(IMsgStore* store, const std::string& path) {
    for (const auto& folder : folders(store))
      if (slashed(folder->folderPath) == path) return folder->entryId.getId();
    ADD_FAILURE() << "no folder " << path;
    return CString();
  }
  Ptr<IMAPIFolder> openFolder(IMsgStore* store, const std::string& path) {
    Ptr<IUnknown> object;
    Ptr<IMAPIFolder> folder;
    EXPECT_EQ(util->OpenEntry(store, folderId(store, path), object), S_OK);
    EXPECT_EQ(object.as(folder), S_OK);
    return folder;
  }
  // Every item as "folder path/subject", sorted.
  std::multiset<std::string> items(IMsgStore* store) {
    std::multiset<std::string> out;
    for (const auto& folder : folders(store)) {
      Ptr<IUnknown> object;
      Ptr<IMAPIFolder> open;
      if (FAILED(util->OpenEntry(store, folder->entryId.getId(), object)) || FAILED(object.as(open))) continue;
      CMapiUtil::RowBatches batches;
      SizedSPropTagArray(1, columns) = {1, {PR_SUBJECT_A}};
      util->getMapiFolderContents(open.get(), batches, reinterpret_cast<LPSPropTagArray>(&columns), nullptr);
      for (LPSRowSet rows : batches)
        for (ULONG i = 0; i < rows->cRows; ++i)
          out.insert(slashed(folder->folderPath) + "/" +
                     (rows->aRow[i].lpProps[0].ulPropTag == PR_SUBJECT_A ? rows->aRow[i].lpProps[0].Value.lpszA : ""));
      util->freeRowBatches(batches);
    }
    return out;
  }
  // The message of that subject anywhere in the store, opened for writing.
  Ptr<IMessage> message(IMsgStore* store, const char* subject) {
    for (const auto& folder : folders(store)) {
      COutlookFolder& record = *folder;
      record.syncInfo->state = CFolderSyncInfo::kSourceSynchronized;
      record.syncInfo->dayWindow = -1;
      if (FAILED(util->getFolderEntries(record, store)) || !record.items) continue;
      for (const auto& [id, item] : *record.items) {
        if (utf8(item->subject) != subject) continue;
        Ptr<IUnknown> object;
        Ptr<IMessage> found;
        EXPECT_EQ(util->OpenEntry(store, id, object), S_OK);
        EXPECT_EQ(object.as(found), S_OK);
        return found;
      }
    }
    ADD_FAILURE() << "no message " << subject;
    return {};
  }
  // An edit of the message: its modification time set an hour (or more) after now.
  void edit(IMsgStore* store, const char* subject, int hours = 1) {
    Ptr<IMessage> m = message(store, subject);
    ASSERT_TRUE(m);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG later =
        ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) + hours * 3600 * kSecond;
    SPropValue v{};
    v.ulPropTag = PR_LAST_MODIFICATION_TIME;
    v.Value.ft = timeAt(later);
    ASSERT_EQ(m->SetProps(1, &v, nullptr), S_OK);
    ASSERT_EQ(m->SaveChanges(0), S_OK);
  }
  EntryId newMessage(IMsgStore* store, const std::string& path, const char* subject, bool withRecipient = false) {
    Ptr<IMAPIFolder> folder = openFolder(store, path);
    Ptr<IMessage> m;
    EXPECT_EQ(folder->CreateMessage(nullptr, 0, m.put()), S_OK);
    SPropValue props[3]{};
    props[0].ulPropTag = PR_SUBJECT_A;
    props[0].Value.lpszA = const_cast<LPSTR>(subject);
    props[1].ulPropTag = PR_MESSAGE_CLASS_A;
    props[1].Value.lpszA = const_cast<LPSTR>("IPM.Note");
    props[2].ulPropTag = PR_SENDER_NAME_A;
    props[2].Value.lpszA = const_cast<LPSTR>("Home User");
    EXPECT_EQ(m->SetProps(3, props, nullptr), S_OK);
    if (withRecipient) {
      SPropValue recipient[3]{};
      recipient[0].ulPropTag = PR_DISPLAY_NAME_A;
      recipient[0].Value.lpszA = const_cast<LPSTR>("John Doe");
      recipient[1].ulPropTag = PR_EMAIL_ADDRESS_A;
      recipient[1].Value.lpszA = const_cast<LPSTR>("jdoe@example.org");
      recipient[2].ulPropTag = PR_RECIPIENT_TYPE;
      recipient[2].Value.l = MAPI_TO;
      ADRLIST list{1, {{0, 3, recipient}}};
      EXPECT_EQ(m->ModifyRecipients(MODRECIP_ADD, &list), S_OK);
    }
    EXPECT_EQ(m->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    LPSPropValue v = nullptr;
    EXPECT_EQ(getMapiLoader()->HrGetOneProp(m.get(), PR_ENTRYID, &v), S_OK);
    EntryId id(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
    getMapiLoader()->MAPIFreeBuffer(v);
    return id;
  }
  void removeMessage(IMsgStore* store, const std::string& path, const char* subject) {
    Ptr<IMessage> m = message(store, subject);
    ASSERT_TRUE(m);
    LPSPropValue v = nullptr;
    ASSERT_EQ(getMapiLoader()->HrGetOneProp(m.get(), PR_ENTRYID, &v), S_OK);
    EntryId id(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
    getMapiLoader()->MAPIFreeBuffer(v);
    m.reset();
    ASSERT_EQ(util->deleteMessage(openFolder(store, path).get(), id), S_OK);
  }

  int calculate(CItemSynchronizer& s) {
    spaceMan.freeSyncOps();
    return s.calculateSyncOps(&record, kSyncBothWays);
  }
  // The planned ops as "<kind> <subject>", in run order.
  std::vector<std::string> planned() {
    std::vector<std::string> out;
    for (const auto& op : spaceMan.getRunList()) {
      const auto* item = dynamic_cast<const CItemSyncOp*>(op.get());
      out.push_back(std::to_string(op->kind) + " " + (item ? utf8(item->getSubject()) : "?"));
    }
    return out;
  }
  static std::multiset<std::string> asSet(const std::vector<std::string>& list) { return {list.begin(), list.end()}; }
  // Runs the planned ops as the coordinator does: a failed op asks whether to go on.
  bool execute(CItemSynchronizer& s) {
    s.preExecuteSyncOps();
    int result = kSyncDone;
    for (const auto& op : spaceMan.getRunList()) {
      if (op->execute(kSyncBothWays) != kSyncDone && !op->askToContinue()) {
        result = kSyncFailed;
        break;
      }
    }
    const bool saved = s.postExecuteSyncOps(true, result);
    spaceMan.freeSyncOps();
    return saved && result == kSyncDone;
  }
  bool run(CItemSynchronizer& s) { return calculate(s) == kSyncDone && execute(s); }
  // A new synchronizer's plan, as a set.
  std::multiset<std::string> plan() {
    sync = make();
    EXPECT_EQ(calculate(*sync), kSyncDone);
    return asSet(planned());
  }

  std::unique_ptr<Lingrove> language;
  CMapiUtil* util = nullptr;
  CMapiUtil::Session sourceSession;
  CMapiUtil::Session targetSession;
  CMapiUtil::Store sourceStore;
  CMapiUtil::Store targetStore;
  std::vector<COutlookFolderSyncPref> prefs;
  CCustomizerList none;
  CSpaceMan spaceMan;
  CSpaceRecord record;
  std::unique_ptr<CItemSynchronizer> sync;
};

// The first run copies the synchronized folders' items (a recursive folder with its child) and
// mirrors the folder tree; the snapshot is saved on the drive and in the backup; the next run
// plans nothing.
TEST_F(ItemSyncRunTest, AFirstRunCopiesTheSynchronizedFoldersAndTheNextPlansNothing) {
  ASSERT_EQ(calculate(*sync), kSyncDone);
  EXPECT_EQ(asSet(planned()), (std::multiset<std::string>{"1 Hello", "1 Zed", "1 Plan", "1 Ancient"}));
  ASSERT_TRUE(execute(*sync));
  EXPECT_EQ(items(targetStore.get()),
            (std::multiset<std::string>{"Inbox/Hello", "Inbox/Zed", "Projects/Plan", "Projects/Old/Ancient"}));
  EXPECT_NE(folderId(targetStore.get(), "Archive"), CString());  // the tree is mirrored, its items are not
  EXPECT_TRUE(std::filesystem::exists(host.c("Drive/BRAVO_Outlook.snap")));
  EXPECT_EQ(readBytes(host.c("Drive/BRAVO_Outlook.snap")), readBytes(host.c("Backup/BRAVO_Outlook.snap")));
  EXPECT_TRUE(boxes.empty());

  EXPECT_TRUE(plan().empty());
  EXPECT_TRUE(plan().empty());
}

// After a first run: A edited, B edited, both edited (kept in both versions), an item deleted on
// the source, a new item on the drive. Afterwards both stores hold the same items, the old
// entry of the conflict is gone and a further run plans nothing.
TEST_F(ItemSyncRunTest, ChangesTravelBothWaysAndAConflictKeepsBothVersions) {
  ASSERT_TRUE(run(*sync));
  edit(sourceStore.get(), "Hello");
  edit(targetStore.get(), "Plan");
  edit(sourceStore.get(), "Ancient", 1);
  edit(targetStore.get(), "Ancient", 2);
  removeMessage(sourceStore.get(), "Inbox", "Zed");
  newMessage(targetStore.get(), "Projects/Old", "From the drive");

  sync = make();
  ASSERT_EQ(calculate(*sync), kSyncDone);
  const std::vector<std::string> ops = planned();
  ASSERT_FALSE(ops.empty());
  EXPECT_EQ(ops.front(), "4 Zed");  // deletions run first
  EXPECT_EQ(asSet(ops), (std::multiset<std::string>{"4 Zed", "1 Hello", "2 Plan", "5 Ancient", "2 From the drive"}));
  ASSERT_TRUE(execute(*sync));

  const std::multiset<std::string> expected{"Inbox/Hello",          "Projects/Plan",       "Projects/Old/Ancient",
                                            "Projects/Old/Ancient", "Projects/Old/From the drive"};
  EXPECT_EQ(items(targetStore.get()), expected);
  std::multiset<std::string> source = items(sourceStore.get());
  source.erase("Archive/Kept at home");
  EXPECT_EQ(source, expected);
  EXPECT_TRUE(plan().empty());
}

// An item moved on the host (kind 8) and one moved on the drive (kind 7) follow on the other
// side; the old copies go; the next run plans nothing.
TEST_F(ItemSyncRunTest, AMoveOnEitherSideFollowsOnTheOther) {
  ASSERT_TRUE(run(*sync));
  sync.reset();
  tool({"mapi", "move", "C:\\host.pst", "Hello", "Projects"});
  tool({"mapi", "move", "C:\\Drive\\Kipo.pst", "Plan", "Inbox"});
  EXPECT_EQ(plan(), (std::multiset<std::string>{"8 Hello", "7 Plan"}));
  ASSERT_TRUE(execute(*sync));
  const std::multiset<std::string> expected{"Projects/Hello", "Inbox/Zed", "Inbox/Plan", "Projects/Old/Ancient"};
  EXPECT_EQ(items(targetStore.get()), expected);
  std::multiset<std::string> source = items(sourceStore.get());
  source.erase("Archive/Kept at home");
  EXPECT_EQ(source, expected);
  EXPECT_TRUE(plan().empty());
}

// A message put in the drive's Outbox is copied to the host's Outbox and submitted (and once sent
// leaves the drive's Outbox); when the submission fails the user is told (574) and the copy
// still counts as done.
TEST_F(ItemSyncRunTest, ACopyIntoTheSourceOutboxIsSubmitted) {
  ASSERT_TRUE(run(*sync));
  newMessage(targetStore.get(), "Outbox", "Sent from the road", true);
  EXPECT_EQ(plan(), (std::multiset<std::string>{"2 Sent from the road"}));
  ASSERT_TRUE(execute(*sync));
  std::string sent;
  ASSERT_EQ(kipotest::runTool({"mapi", "sent"}, &sent), 0);
  EXPECT_NE(sent.find("Sent from the road"), std::string::npos) << sent;
  EXPECT_TRUE(boxes.empty());
  // Sent, the host's copy lies in Sent Items (not synchronized here): the drive's Outbox copy goes.
  EXPECT_EQ(items(sourceStore.get()).count("Sent Items/Sent from the road"), 1u);
  EXPECT_EQ(plan(), (std::multiset<std::string>{"4 Sent from the road"}));
  ASSERT_TRUE(execute(*sync));
  EXPECT_EQ(items(targetStore.get()).count("Outbox/Sent from the road"), 0u);

  newMessage(targetStore.get(), "Outbox", "Stuck in the outbox", true);
  EXPECT_EQ(plan(), (std::multiset<std::string>{"2 Stuck in the outbox"}));
  const auto fault = kipotest::failCall("IMessage::SubmitMessage", static_cast<DWORD>(MAPI_E_NETWORK_ERROR));
  ASSERT_TRUE(execute(*sync));
  platform::fault::removeLocal(fault);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("could not be submitted for sending: Stuck in the outbox"), std::string::npos)
      << utf8(boxes[0].text);
  EXPECT_EQ(items(sourceStore.get()).count("Outbox/Stuck in the outbox"), 1u);
}

// Only the backup copy is there and it cannot be read: the run stops with message 554 instead
// of taking an empty snapshot (which would copy every item again on both sides).
TEST_F(ItemSyncRunTest, AnUnreadableBackupAloneStopsTheRun) {
  ASSERT_TRUE(run(*sync));
  std::filesystem::remove(host.c("Drive/BRAVO_Outlook.snap"));
  writeBytes(host.c("Backup/BRAVO_Outlook.snap"), std::string("\x67\x00\x00\x00\xFF", 5));
  sync = make();
  EXPECT_EQ(calculate(*sync), kSyncFailed);
  EXPECT_TRUE(planned().empty());
  ASSERT_FALSE(boxes.empty());
  EXPECT_NE(utf8(boxes.back().text).find("could not read the snapshot of your synchronized Outlook data"),
            std::string::npos)
      << utf8(boxes.back().text);
}

// A snapshot that cannot be saved leaves both copies as the last good run left them (the drive
// copy is not deleted); the next run recognises the copy this run made and plans nothing.
TEST_F(ItemSyncRunTest, AFailedSaveKeepsTheLastGoodSnapshot) {
  ASSERT_TRUE(run(*sync));
  const std::string saved = readBytes(host.c("Drive/BRAVO_Outlook.snap"));
  newMessage(sourceStore.get(), "Inbox", "Late arrival");
  sync = make();
  ASSERT_EQ(calculate(*sync), kSyncDone);
  EXPECT_EQ(planned(), (std::vector<std::string>{"1 Late arrival"}));
  const auto fault = kipotest::failCall("CreateFileW", ERROR_DISK_FULL, u"C:\\Backup");
  EXPECT_FALSE(execute(*sync));
  platform::fault::removeLocal(fault);
  EXPECT_EQ(readBytes(host.c("Drive/BRAVO_Outlook.snap")), saved);
  EXPECT_EQ(readBytes(host.c("Backup/BRAVO_Outlook.snap")), saved);
  EXPECT_TRUE(plan().empty());
}

// The same for a drive item copied into a host folder the run does not carry (whose items the
// walk does not list): after a save that failed, its host copy is found there and paired, and
// the item stays once on each side.
TEST_F(ItemSyncRunTest, ADriveItemCopiedIntoAFolderNotCarriedIsPairedAfterAFailedSave) {
  ASSERT_TRUE(run(*sync));
  newMessage(targetStore.get(), "Archive", "Filed on the road");
  sync = make();
  ASSERT_EQ(calculate(*sync), kSyncDone);
  EXPECT_EQ(planned(), (std::vector<std::string>{"2 Filed on the road"}));
  const auto fault = kipotest::failCall("CreateFileW", ERROR_DISK_FULL, u"C:\\Backup");
  EXPECT_FALSE(execute(*sync));
  platform::fault::removeLocal(fault);
  EXPECT_TRUE(plan().empty());
  ASSERT_TRUE(execute(*sync));
  EXPECT_TRUE(plan().empty());
  EXPECT_EQ(items(sourceStore.get()).count("Archive/Filed on the road"), 1u);
  EXPECT_EQ(items(targetStore.get()).count("Archive/Filed on the road"), 1u);
}

// The crash mark: the subject of the op being executed stays in the local preferences; the
// file synchronizer's mark is cleared when the run ends.
TEST_F(ItemSyncRunTest, TheSubjectOfTheOpBeingExecutedIsKeptAsTheCrashMark) {
  CRegistry local(CString(kLocalPrefsKey), true, true);
  ASSERT_TRUE(local.setString(u"executingSyncOp", CString(u"C:\\Data\\file.txt")));
  ASSERT_EQ(calculate(*sync), kSyncDone);
  ASSERT_EQ(spaceMan.getRunList().size(), 4u);
  const auto* last = dynamic_cast<const CItemSyncOp*>(spaceMan.getRunList().back().get());
  const CString subject = last->getSubject();
  ASSERT_TRUE(execute(*sync));
  CString mark;
  EXPECT_TRUE(local.getString(kExecutingItemSyncOpValue, mark));
  EXPECT_EQ(mark, subject);
  EXPECT_FALSE(local.valueExists(u"executingSyncOp"));
  bool inProgress = true;
  EXPECT_TRUE(local.getBool(u"syncOperationInProgress", inProgress));
  EXPECT_FALSE(inProgress);
}

// A run killed in another process at its second message copy (a host-wide kill fault on
// IMessage::CopyTo): the snapshot copies stay as the last good run left them and the crash mark
// names the item being copied. The next run loses nothing and doubles nothing (the edit that
// reached the drive before the kill is recognised there), and the run after it plans nothing.
TEST_F(ItemSyncRunTest, ARunKilledMidExecutionLosesNothingAndTheNextRunsSettle) {
  ASSERT_TRUE(run(*sync));
  sync.reset();
  const std::string saved = readBytes(host.c("Drive/BRAVO_Outlook.snap"));
  edit(sourceStore.get(), "Hello");
  edit(sourceStore.get(), "Plan");
  edit(sourceStore.get(), "Ancient");
  platform::fault::Fault kill;
  kill.call = "IMessage::CopyTo";
  kill.action = platform::fault::Action::Kill;
  kill.nth = 2;
  platform::fault::addHostFault(kill);
  {
    kipotest::ChildProgram child(KIPO_ITEM_SYNC_PROBE, {"run", utf8(CString(apptest::kLogPath))});
    EXPECT_TRUE(child.saw("planned 3")) << child.output();
    EXPECT_EQ(child.wait(), -1) << child.output();
    EXPECT_EQ(child.output().find("finished"), std::string::npos);
  }
  platform::fault::clearHostFaults();
  EXPECT_EQ(readBytes(host.c("Drive/BRAVO_Outlook.snap")), saved);
  EXPECT_EQ(readBytes(host.c("Backup/BRAVO_Outlook.snap")), saved);
  CRegistry local{CString(kLocalPrefsKey)};
  CString mark;
  EXPECT_TRUE(local.getString(kExecutingItemSyncOpValue, mark));
  EXPECT_FALSE(mark.IsEmpty());

  sync = make();
  ASSERT_TRUE(run(*sync));
  EXPECT_TRUE(plan().empty());
  for (IMsgStore* store : {sourceStore.get(), targetStore.get()}) {
    const std::multiset<std::string> all = items(store);
    for (const char* item : {"Inbox/Hello", "Inbox/Zed", "Projects/Plan", "Projects/Old/Ancient"})
      EXPECT_EQ(all.count(item), 1u) << item;
  }
}

// Copies the user made (in Outlook, which keeps the search key and the time) of messages already
// in step are messages of their own: on the drive or on the host, in the same folder or in
// another one, each is carried to the other side once and nothing is paired with it.
TEST_F(ItemSyncRunTest, ACopyTheUserMadeOfASynchronizedMessageIsCarriedAsAMessageOfItsOwn) {
  ASSERT_TRUE(run(*sync));
  const auto copy = [&](IMsgStore* store, const char* subject, const std::string& from, const std::string& to) {
    LPSPropValue v = nullptr;
    Ptr<IMessage> m = message(store, subject);
    ASSERT_TRUE(m);
    ASSERT_EQ(getMapiLoader()->HrGetOneProp(m.get(), PR_ENTRYID, &v), S_OK);
    const EntryId id(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
    getMapiLoader()->MAPIFreeBuffer(v);
    std::unique_ptr<COutlookItem> made;
    ASSERT_EQ(util->CopyItem(id, openFolder(store, from).get(), openFolder(store, to).get(), made, 0), S_OK);
  };
  copy(targetStore.get(), "Zed", "Inbox", "Inbox");
  copy(sourceStore.get(), "Hello", "Inbox", "Inbox");
  copy(sourceStore.get(), "Plan", "Projects", "Inbox");
  EXPECT_EQ(plan(), (std::multiset<std::string>{"2 Zed", "1 Hello", "1 Plan"}));
  ASSERT_TRUE(execute(*sync));
  const std::multiset<std::string> expected{"Inbox/Hello", "Inbox/Hello", "Inbox/Zed", "Inbox/Zed", "Inbox/Plan",
                                            "Projects/Plan", "Projects/Old/Ancient"};
  EXPECT_EQ(items(targetStore.get()), expected);
  std::multiset<std::string> source = items(sourceStore.get());
  source.erase("Archive/Kept at home");
  EXPECT_EQ(source, expected);
  EXPECT_TRUE(plan().empty());
}

// A run killed in another process part way through its copies (before the message save of the
// nth copy, before the delete of the version a copy replaces, or while the saved snapshot goes to
// the drive): the snapshot copies on the drive do not know the copies made. The next run pairs
// each such copy with its original instead of copying either again, deletes a drive version whose
// replacement was made, finishes a conflict kept in both versions, still copies what is new on
// either side, and keeps two new messages of one subject apart: afterwards each message (each
// version of the conflict) is on each side exactly once, edits prevail, and a further run plans
// nothing.
struct KillPoint {
  const char* call;
  std::uint32_t nth;
};
void PrintTo(const KillPoint& point, std::ostream* out) { *out << point.call << " #" << point.nth; }

class ItemSyncCutOffTest : public ItemSyncRunTest, public ::testing::WithParamInterface<KillPoint> {
 protected:
  FILETIME modified(IMsgStore* store, const char* subject) {
    Ptr<IMessage> m = message(store, subject);
    LPSPropValue v = nullptr;
    FILETIME time{};
    if (m && getMapiLoader()->HrGetOneProp(m.get(), PR_LAST_MODIFICATION_TIME, &v) == S_OK) time = v->Value.ft;
    if (v) getMapiLoader()->MAPIFreeBuffer(v);
    return time;
  }
};

TEST_P(ItemSyncCutOffTest, TheCopiesOfACutOffRunArePairedNotCopiedAgain) {
  ASSERT_TRUE(run(*sync));
  sync.reset();
  newMessage(sourceStore.get(), "Inbox", "New at home");
  newMessage(targetStore.get(), "Projects", "New on the road");
  edit(sourceStore.get(), "Hello");
  edit(targetStore.get(), "Plan");
  // Changed on both sides: kept in both versions, by two copies.
  edit(sourceStore.get(), "Ancient", 1);
  edit(targetStore.get(), "Ancient", 2);
  // Alike but distinct: one subject, one folder, times within the tolerance.
  newMessage(sourceStore.get(), "Inbox", "Twin");
  newMessage(targetStore.get(), "Inbox", "Twin");

  platform::fault::Fault kill;
  kill.call = GetParam().call;
  kill.action = platform::fault::Action::Kill;
  kill.nth = GetParam().nth;
  platform::fault::addHostFault(kill);
  {
    kipotest::ChildProgram child(KIPO_ITEM_SYNC_PROBE, {"run", utf8(CString(apptest::kLogPath))});
    EXPECT_TRUE(child.saw("planned 7")) << child.output();
    EXPECT_EQ(child.wait(), -1) << child.output();
    EXPECT_EQ(child.output().find("finished"), std::string::npos);
  }
  platform::fault::clearHostFaults();

  sync = make();
  ASSERT_TRUE(run(*sync));
  EXPECT_TRUE(plan().empty());
  const std::multiset<std::string> expected{"Inbox/Hello",          "Inbox/Zed",   "Inbox/New at home",
                                            "Inbox/Twin",           "Inbox/Twin",  "Projects/Plan",
                                            "Projects/New on the road", "Projects/Old/Ancient",
                                            "Projects/Old/Ancient"};
  EXPECT_EQ(items(targetStore.get()), expected);
  std::multiset<std::string> source = items(sourceStore.get());
  EXPECT_EQ(source.count("Archive/Kept at home"), 1u);
  source.erase("Archive/Kept at home");
  EXPECT_EQ(source, expected);
  for (const char* edited : {"Hello", "Plan"}) {
    const FILETIME home = modified(sourceStore.get(), edited);
    const FILETIME drive = modified(targetStore.get(), edited);
    EXPECT_EQ(home.dwHighDateTime, drive.dwHighDateTime) << edited;
    EXPECT_EQ(home.dwLowDateTime, drive.dwLowDateTime) << edited;
  }
}

// A move made in `store` is carried, and the run killed at its first delete: the copy reached the
// other store's Projects but the old copy in its Inbox did not go. The next run plans only `finish`
// (the old copy's deletion) instead of moving the item again or carrying the first copy back as a
// message of its own, and the stores then hold Hello once each, in Projects.
class ItemSyncCutOffMoveTest : public ItemSyncRunTest {
 protected:
  void cutOffMoveIsFinished(const char* store, bool hostGetsTheCopy, const std::string& finish) {
    ASSERT_TRUE(run(*sync));
    sync.reset();
    tool({"mapi", "move", store, "Hello", "Projects"});
    platform::fault::Fault kill;
    kill.call = "IMAPIFolder::DeleteMessages";
    kill.action = platform::fault::Action::Kill;
    platform::fault::addHostFault(kill);
    {
      kipotest::ChildProgram child(KIPO_ITEM_SYNC_PROBE, {"run", utf8(CString(apptest::kLogPath))});
      EXPECT_TRUE(child.saw("planned 1")) << child.output();
      EXPECT_EQ(child.wait(), -1) << child.output();
    }
    platform::fault::clearHostFaults();
    const std::multiset<std::string> halfway = items(hostGetsTheCopy ? sourceStore.get() : targetStore.get());
    EXPECT_EQ(halfway.count("Inbox/Hello"), 1u);
    EXPECT_EQ(halfway.count("Projects/Hello"), 1u);

    EXPECT_EQ(plan(), (std::multiset<std::string>{finish}));
    ASSERT_TRUE(execute(*sync));
    const std::multiset<std::string> expected{"Projects/Hello", "Inbox/Zed", "Projects/Plan", "Projects/Old/Ancient"};
    EXPECT_EQ(items(targetStore.get()), expected);
    std::multiset<std::string> source = items(sourceStore.get());
    source.erase("Archive/Kept at home");
    EXPECT_EQ(source, expected);
    EXPECT_TRUE(plan().empty());
  }
};

TEST_F(ItemSyncCutOffMoveTest, OnTheHostTheDrivesOldCopyGoes) { cutOffMoveIsFinished("C:\\host.pst", false, "4 Hello"); }

TEST_F(ItemSyncCutOffMoveTest, OnTheDriveTheHostsOldCopyGoes) {
  cutOffMoveIsFinished("C:\\Drive\\Kipo.pst", true, "7 Hello");
}

// The copies are made in plan order: the host's edit and new items (1-3), the drive's edit (4),
// the conflict's drive version to the host and host version to the drive (5, 6), the drive's new
// items (7, 8); the first delete is that of the drive version the host's edit replaces.
INSTANTIATE_TEST_SUITE_P(KillPoints, ItemSyncCutOffTest,
                         ::testing::Values(KillPoint{"IMessage::SaveChanges", 3}, KillPoint{"IMessage::SaveChanges", 6},
                                           KillPoint{"IMessage::SaveChanges", 7},
                                           KillPoint{"IMessage::SaveChanges", 8},
                                           KillPoint{"IMAPIFolder::DeleteMessages", 1},
                                           KillPoint{"CopyFileW", 2}),
                         [](const ::testing::TestParamInfo<KillPoint>& info) {
                           std::string name = info.param.call;
                           name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }),
                                      name.end());
                           return name + std::to_string(info.param.nth);
                         });

// The source Inbox cannot be listed in a run (a transient failure): its items' drive copies are
// not taken for deleted on the host; the next run that can list it plans nothing.
TEST_F(ItemSyncRunTest, AFolderThatCannotBeListedDeletesNothingOnTheDrive) {
  ASSERT_TRUE(run(*sync));
  sync = make();
  // The target's Inbox is listed first, the source's second.
  const auto fault = kipotest::failCall("IMAPIContainer::GetContentsTable", static_cast<DWORD>(MAPI_E_DISK_ERROR),
                                        u"Inbox", 2, 1);
  ASSERT_EQ(calculate(*sync), kSyncDone);
  platform::fault::removeLocal(fault);
  EXPECT_TRUE(planned().empty());
  EXPECT_NE(logBytes().find("Failed to get items from the folder Inbox"), std::string::npos);
  ASSERT_TRUE(execute(*sync));
  EXPECT_EQ(items(targetStore.get()).count("Inbox/Hello"), 1u);
  EXPECT_TRUE(plan().empty());
}

// A folder renamed only in case keeps its peer and its items; renamed otherwise, a folder of the
// new name is made on the drive, the old drive folder goes and the items follow.
TEST_F(ItemSyncRunTest, ARenamedFolderTakesItsItemsAlong) {
  ASSERT_TRUE(run(*sync));
  const auto rename = [&](const std::string& path, const char* name) {
    Ptr<IMAPIFolder> folder = openFolder(sourceStore.get(), path);
    SPropValue v{};
    v.ulPropTag = PR_DISPLAY_NAME_A;
    v.Value.lpszA = const_cast<LPSTR>(name);
    ASSERT_EQ(folder->SetProps(1, &v, nullptr), S_OK);
    ASSERT_EQ(folder->SaveChanges(0), S_OK);
  };
  rename("Projects/Old", "OLD");
  EXPECT_TRUE(plan().empty());
  ASSERT_TRUE(execute(*sync));
  EXPECT_EQ(items(targetStore.get()).count("Projects/Old/Ancient"), 1u);

  // The old drive folder is no longer paired: its copy is deleted with it, and the next run
  // copies the item into the new one.
  rename("Projects/OLD", "Older");
  EXPECT_EQ(plan(), (std::multiset<std::string>{"4 Ancient"}));
  ASSERT_TRUE(execute(*sync));
  for (const auto& folder : folders(targetStore.get())) EXPECT_NE(slashed(folder->folderPath), "Projects/Old");
  EXPECT_NE(folderId(targetStore.get(), "Projects/Older"), CString());
  EXPECT_EQ(plan(), (std::multiset<std::string>{"1 Ancient"}));
  ASSERT_TRUE(execute(*sync));
  EXPECT_EQ(items(targetStore.get()).count("Projects/Older/Ancient"), 1u);
  EXPECT_EQ(items(sourceStore.get()).count("Projects/Older/Ancient"), 1u);
  EXPECT_TRUE(plan().empty());
}

// Items only the drive held are copied to the host while no folder is carried. A later run that
// carries the Inbox brings the host's Inbox across and leaves every drive item where it is: the
// Inbox ones are paired with their host copies, and the one in Sent Items has its host copy in a
// folder the run does not look at (which is no reason to delete it from the drive).
TEST_F(ItemSyncRunTest, DriveItemsCopiedToTheHostStayOnTheDriveWhenTheInboxIsCarriedLater) {
  {
    std::ofstream description(host.c("drive.txt"));
    description << "folder Inbox\nitem IPM.Note From the drive\nfolder Inbox/Projects\nitem IPM.Note Drive project\n"
                   "folder Sent Items\nitem IPM.Note Drive sent\n";
  }
  tool({"mapi", "make", "C:\\Drive\\Kipo.pst", "--from", host.c("drive.txt").string()});
  prefs.clear();
  sync = make();
  ASSERT_TRUE(run(*sync));
  const std::multiset<std::string> drive{"Inbox/From the drive", "Inbox/Projects/Drive project", "Sent Items/Drive sent"};
  EXPECT_EQ(items(targetStore.get()), drive);
  for (const std::string& item : drive) EXPECT_EQ(items(sourceStore.get()).count(item), 1u) << item;

  prefs = {COutlookFolderSyncPref(CString(u"Inbox"))};  // found by name, as the Inbox choice makes it
  sync = make();
  ASSERT_TRUE(run(*sync));
  std::multiset<std::string> expected = drive;
  expected.insert({"Inbox/Hello", "Inbox/Zed"});
  EXPECT_EQ(items(targetStore.get()), expected);
  EXPECT_TRUE(plan().empty());
}

// A first synchronization throws both snapshot copies away and starts from nothing (the copies
// of the earlier runs are recognised as such and paired, not doubled on both sides); a host
// whose message store is no longer the one of the last save stops the run with message 465.
TEST_F(ItemSyncRunTest, AFirstSyncForgetsTheSnapshotAndAnotherStoreStopsTheRun) {
  ASSERT_TRUE(run(*sync));
  sync = make();
  sync->setFirstSync(true);
  ASSERT_EQ(calculate(*sync), kSyncDone);
  EXPECT_FALSE(std::filesystem::exists(host.c("Drive/BRAVO_Outlook.snap")));
  EXPECT_FALSE(std::filesystem::exists(host.c("Backup/BRAVO_Outlook.snap")));
  EXPECT_TRUE(planned().empty());
  ASSERT_TRUE(execute(*sync));
  EXPECT_TRUE(std::filesystem::exists(host.c("Drive/BRAVO_Outlook.snap")));
  EXPECT_TRUE(plan().empty());
  spaceMan.freeSyncOps();

  sync = make();
  ASSERT_TRUE(run(*sync));
  tool({"mapi", "profile", "add", "Other", "--pst", "C:\\other.pst"});
  CMapiUtil::Session otherSession;
  ASSERT_EQ(util->logon(otherSession, CString(u"Other")), S_OK);
  CMapiUtil::Store other;
  util->openDefaultMessageStore(other, otherSession.get());
  ASSERT_TRUE(other);
  sync = make();
  sync->setSourceSession(otherSession.get());
  sync->setSourceMessageStore(other.get());
  boxes.clear();
  EXPECT_EQ(calculate(*sync), kSyncFailed);
  EXPECT_TRUE(planned().empty());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("message store has changed"), std::string::npos) << utf8(boxes[0].text);
  EXPECT_NE(logBytes().find("{Item Synchronizer}: The default Store on the source has changed."), std::string::npos);
  sync.reset();
}

// The user stops the run while the walk scans an item (the coordinator's stop, raised from the
// progress text of that item): the walk ends there, the target walk plans nothing and no item
// after it is looked at.
TEST_F(ItemSyncRunTest, AStoppedRunEndsTheWalkAtTheItemBeingScanned) {
  class Services : public CDocumentHostServices {
   public:
    explicit Services(CSpaceMan& owner) : spaceMan(owner) {}
    bool postAppMessage(CAppMessage* message) override {
      if (auto* progress = dynamic_cast<CProgress*>(message)) {
        scanned.push_back(utf8(progress->firstText));
        if (scanned.back() == "Plan") spaceMan.stopRun({});
      }
      delete message;
      return true;
    }
    CSpaceMan& spaceMan;
    std::vector<std::string> scanned;
  };
  class Snapin : public CCustomizer {
   public:
    explicit Snapin(std::function<void()> step) : CCustomizer(CString(u"Outlook")), step_(std::move(step)) {}
    bool preCalculateSyncOps(CSystemProfile*) override {
      step_();
      return true;
    }

   private:
    std::function<void()> step_;
  };
  Services services(spaceMan);
  CDocumentHostServices& previous = documentHostServices();
  setDocumentHostServices(&services);
  std::vector<std::string> ops;
  Snapin snapin([&] {
    EXPECT_EQ(sync->calculateSyncOps(&record, kSyncBothWays), kSyncDone);
    EXPECT_TRUE(spaceMan.isStopRequested());
    ops = planned();
  });
  spaceMan.startCalculatorInternal(std::make_unique<CSyncSpec>(kSyncBothWays, nullptr, std::vector<CCustomizer*>{&snapin}));
  setDocumentHostServices(&previous);
  EXPECT_EQ(ops, (std::vector<std::string>{"1 Hello", "1 Zed", "1 Plan"}));
  ASSERT_FALSE(services.scanned.empty());
  EXPECT_EQ(services.scanned.back(), "Plan");
  EXPECT_EQ(std::count(services.scanned.begin(), services.scanned.end(), "Ancient"), 0);
}

}  // namespace
