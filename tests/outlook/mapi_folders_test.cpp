// Folders, their records and their items through the MAPI layer on the MAPI stand-in: the folder
// tree read into records, folders made and deleted, messages copied, a folder's items read with
// its sync settings, attachment names, entry-id comparison and the modified-since restriction.
#include <fstream>

#include "outlook/outlook_records.h"
#include "platform/win32/time.h"
#include "tests/outlook/mapi_layer_fixture.h"
#include "tests/support/faults.h"

namespace {

using platform::com::Ptr;
using EntryId = CMapiUtil::EntryId;

class MapiFoldersTest : public mapilayertest::MapiLayerTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(setOutlook());
    std::ofstream description(host.c("tree.txt"));
    description << "folder Inbox\n"
                   "item IPM.Note First\n"
                   "item IPM.Note Second\n"
                   "folder Inbox/Projects\n"
                   "item IPM.Note Plan\n"
                   "folder Archive\n";
    description.close();
    tool({"mapi", "make", "C:\\tree.pst", "--from", host.c("tree.txt").string()});
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\tree.pst", "--default"});
    util = &start();
    ASSERT_TRUE(util->initializeMapi());
    ASSERT_EQ(util->logon(session, CString(u"Outlook")), S_OK);
    util->openDefaultMessageStore(store, session.get());
    ASSERT_TRUE(store);
    ASSERT_EQ(util->getIpmSubtreeProperties(store.get(), root), S_OK);
    ASSERT_EQ(util->getSubfolders(root, store.get()), S_OK);
    inbox = root.findChild(CString(u"Inbox"));
    archive = root.findChild(CString(u"Archive"));
    ASSERT_TRUE(inbox && archive);
  }
  void TearDown() override {
    store.reset();
    session.reset();
    util->uninitializeMapi();
  }
  Ptr<IMAPIFolder> open(const COutlookFolder& record) {
    Ptr<IUnknown> object;
    Ptr<IMAPIFolder> folder;
    EXPECT_EQ(util->OpenEntry(store.get(), record.entryId.getId(), object), S_OK);
    EXPECT_EQ(object.as(folder), S_OK);
    return folder;
  }
  // Subjects of the folder's messages, in table order.
  std::vector<std::string> subjects(const COutlookFolder& record) {
    CMapiUtil::RowBatches batches;
    SizedSPropTagArray(1, columns) = {1, {PR_SUBJECT_A}};
    EXPECT_EQ(util->getMapiFolderContents(open(record).get(), batches, reinterpret_cast<LPSPropTagArray>(&columns),
                                          nullptr),
              S_OK);
    std::vector<std::string> out;
    for (LPSRowSet rows : batches)
      for (ULONG i = 0; i < rows->cRows; ++i)
        out.push_back(rows->aRow[i].lpProps[0].ulPropTag == PR_SUBJECT_A ? rows->aRow[i].lpProps[0].Value.lpszA : "");
    util->freeRowBatches(batches);
    return out;
  }
  // The entry id of the folder's message of that subject.
  EntryId messageId(COutlookFolder& record, const CString& subject) {
    record.syncInfo->state = CFolderSyncInfo::kSourceSynchronized;
    EXPECT_EQ(util->getFolderEntries(record, store.get()), S_OK);
    if (record.items)
      for (const auto& [id, item] : *record.items)
        if (item->subject == subject) return id;
    ADD_FAILURE() << "no message " << utf8(subject);
    return {};
  }
  bool same(const CString& a, const CString& b) {
    EntryId x, y;
    EXPECT_TRUE(bytesFromHex(a, x) && bytesFromHex(b, y));
    bool result = false;
    EXPECT_EQ(util->compareEntryIds(store.get(), x, y, result), S_OK);
    return result;
  }

  CMapiUtil* util = nullptr;
  CMapiUtil::Session session;
  CMapiUtil::Store store;
  COutlookFolder root;
  COutlookFolder* inbox = nullptr;
  COutlookFolder* archive = nullptr;
};

TEST_F(MapiFoldersTest, TheFolderTreeIsReadIntoRecordsLevelByLevel) {
  EXPECT_TRUE(root.propertiesRead);
  EXPECT_FALSE(root.entryId.longTerm.IsEmpty());
  EXPECT_FALSE(root.storeEntryId.IsEmpty());
  EXPECT_TRUE(inbox->hasSubfolders);
  EXPECT_FALSE(archive->hasSubfolders);
  EXPECT_EQ(inbox->itemCount, 2u);
  EXPECT_EQ(inbox->parent, &root);
  EXPECT_TRUE(same(inbox->parentEntryId.getId(), root.entryId.getId()));
  EXPECT_EQ(inbox->parentSourceKey, root.sourceKey);
  EXPECT_FALSE(inbox->sourceKey.IsEmpty());
  EXPECT_EQ(inbox->storeEntryId, root.storeEntryId);
  EXPECT_TRUE(inbox->children == nullptr);

  // The next level opens the folder by its long-term id.
  ASSERT_EQ(util->getSubfolders(*inbox, store.get()), S_OK);
  COutlookFolder* projects = inbox->findChild(CString(u"Projects"));
  ASSERT_TRUE(projects);
  EXPECT_EQ(projects->itemCount, 1u);
  EXPECT_TRUE(same(projects->parentEntryId.getId(), inbox->entryId.getId()));

  COutlookFolder unknown;
  unknown.entryId.longTerm = u"00112233";
  EXPECT_EQ(util->getSubfolders(unknown, store.get()), E_FAIL);
  EXPECT_FALSE(unknown.children);
}

TEST_F(MapiFoldersTest, AFolderRecordPrefersWideTextsAndSkipsErrorValues) {
  struct Case {
    bool wide, narrow;
    const char16_t* name;
  };
  const Case cases[] = {{true, true, u"Wide"}, {false, true, u"Narrow"}, {true, false, u"Wide"}, {false, false, u""}};
  for (const Case& c : cases) {
    std::vector<SPropValue> values;
    SPropValue v{};
    v.ulPropTag = c.wide ? PR_DISPLAY_NAME_W : CHANGE_PROP_TYPE(PR_DISPLAY_NAME_W, PT_ERROR);
    v.Value.lpszW = const_cast<LPWSTR>(u"Wide");
    if (!c.wide) v.Value.err = MAPI_E_NOT_FOUND;
    values.push_back(v);
    v.ulPropTag = c.narrow ? PR_DISPLAY_NAME_A : CHANGE_PROP_TYPE(PR_DISPLAY_NAME_A, PT_ERROR);
    v.Value.lpszA = const_cast<LPSTR>("Narrow");
    if (!c.narrow) v.Value.err = MAPI_E_NOT_FOUND;
    values.push_back(v);
    COutlookFolder record;
    record.propertiesRead = false;
    EXPECT_EQ(util->fillFolderNode(values.data(), static_cast<ULONG>(values.size()), record), S_OK);
    EXPECT_EQ(record.displayName, c.name);
    EXPECT_TRUE(record.propertiesRead);
  }
}

TEST_F(MapiFoldersTest, AFolderIsMadeOnceOfItsClassAndDeletedWithAllItHolds) {
  Ptr<IMAPIFolder> parent = open(*inbox);
  std::unique_ptr<COutlookFolder> work, again;
  ASSERT_EQ(util->createFolder(parent.get(), CString(u"Work"), CString(u"IPF.Contact"), work), S_OK);
  ASSERT_TRUE(work);
  EXPECT_EQ(work->displayName, u"Work");
  EXPECT_EQ(work->containerClass, u"IPF.Contact");
  ASSERT_EQ(util->createFolder(parent.get(), CString(u"Work"), CString(u"IPF.Contact"), again), S_OK);
  EXPECT_TRUE(same(again->entryId.getId(), work->entryId.getId()));

  // A subfolder and a message inside: both go with the folder.
  Ptr<IMAPIFolder> workFolder = open(*work);
  std::unique_ptr<COutlookFolder> inner;
  ASSERT_EQ(util->createFolder(workFolder.get(), CString(u"Inner"), CString(u"IPF.Note"), inner), S_OK);
  Ptr<IMessage> message;
  ASSERT_EQ(workFolder->CreateMessage(nullptr, 0, message.put()), S_OK);
  ASSERT_EQ(message->SaveChanges(0), S_OK);
  ASSERT_EQ(util->deleteFolder(store.get(), workFolder.get()), S_OK);

  COutlookFolder reread;
  reread.entryId = inbox->entryId;
  ASSERT_EQ(util->getSubfolders(reread, store.get()), S_OK);
  EXPECT_EQ(reread.findChild(CString(u"Work")), nullptr);
  EXPECT_NE(reread.findChild(CString(u"Projects")), nullptr);
  Ptr<IUnknown> gone;
  EXPECT_TRUE(FAILED(util->OpenEntry(store.get(), inner->entryId.getId(), gone)));
  EXPECT_EQ(util->createFolder(nullptr, CString(u"X"), CString(u"IPF.Note"), work), E_FAIL);
  EXPECT_FALSE(work);
}

TEST_F(MapiFoldersTest, ACopiedMessageComesBackAsAnItemOfItsNewFolder) {
  const EntryId first = messageId(*inbox, CString(u"First"));
  std::unique_ptr<COutlookItem> copy;
  ASSERT_EQ(util->CopyItem(first, open(*inbox).get(), open(*archive).get(), copy, 0), S_OK);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->subject, u"First");
  EXPECT_TRUE(copy->hasLongTermId);
  EXPECT_NE(copy->entryId, first);
  EXPECT_TRUE(same(copy->parentEntryId, archive->entryId.getId()));
  EXPECT_EQ(subjects(*archive), (std::vector<std::string>{"First"}));
  EXPECT_EQ(subjects(*inbox), (std::vector<std::string>{"First", "Second"}));

  // A failed property copy leaves nothing behind in the destination.
  kipotest::failCall("IMessage::CopyTo", static_cast<DWORD>(MAPI_E_NOT_ENOUGH_DISK), u"", 1, 1);
  EXPECT_EQ(util->CopyItem(first, open(*inbox).get(), open(*archive).get(), copy, 0), MAPI_E_NOT_ENOUGH_DISK);
  EXPECT_FALSE(copy);
  EXPECT_EQ(subjects(*archive), (std::vector<std::string>{"First"}));
}

TEST_F(MapiFoldersTest, ACopyThatCannotBeReadBackIsDeletedAgain) {
  // A message without a subject: its copy cannot become a complete item.
  Ptr<IMessage> message;
  ASSERT_EQ(open(*inbox)->CreateMessage(nullptr, 0, message.put()), S_OK);
  ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  LPSPropValue v = nullptr;
  ASSERT_EQ(getMapiLoader()->HrGetOneProp(message.get(), PR_ENTRYID, &v), S_OK);
  const EntryId id(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
  getMapiLoader()->MAPIFreeBuffer(v);

  std::unique_ptr<COutlookItem> copy;
  EXPECT_EQ(util->CopyItem(id, open(*inbox).get(), open(*archive).get(), copy, 0), E_FAIL);
  EXPECT_FALSE(copy);
  EXPECT_TRUE(subjects(*archive).empty());
}

TEST_F(MapiFoldersTest, AFolderIsReadIntoItsRecordByItsSyncSettings) {
  // Not synchronized: nothing is read.
  EXPECT_EQ(util->getFolderEntries(*inbox, store.get()), S_OK);
  EXPECT_FALSE(inbox->items);

  inbox->syncInfo->state = CFolderSyncInfo::kSourceSynchronized;
  ASSERT_EQ(util->getFolderEntries(*inbox, store.get()), S_OK);
  ASSERT_TRUE(inbox->items);
  ASSERT_EQ(inbox->items->size(), 2u);
  for (const auto& [id, item] : *inbox->items) {
    EXPECT_EQ(id, item->entryId);
    EXPECT_EQ(item->parentFolder, inbox);
    EXPECT_EQ(item->parentFolderSourceKey, inbox->sourceKey);
    EXPECT_EQ(item->parentFolderName, u"Inbox");
  }

  // A day window leaves out what was modified before it.
  const EntryId first = messageId(*inbox, CString(u"First"));
  Ptr<IUnknown> object;
  ASSERT_EQ(util->OpenEntry(store.get(), first, object), S_OK);
  Ptr<IMessage> old;
  ASSERT_EQ(object.as(old), S_OK);
  SYSTEMTIME now{};
  GetSystemTime(&now);
  FILETIME ft{};
  SystemTimeToFileTime(&now, &ft);
  ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) - 10 * 864000000000ULL;
  SPropValue modified{};
  modified.ulPropTag = PR_LAST_MODIFICATION_TIME;
  modified.Value.ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  ASSERT_EQ(old->SetProps(1, &modified, nullptr), S_OK);
  ASSERT_EQ(old->SaveChanges(0), S_OK);
  inbox->syncInfo->dayWindow = 5;
  ASSERT_EQ(util->getFolderEntries(*inbox, store.get()), S_OK);
  ASSERT_EQ(inbox->items->size(), 1u);
  EXPECT_EQ(inbox->items->begin()->second->subject, u"Second");
  inbox->syncInfo->dayWindow = 11;
  ASSERT_EQ(util->getFolderEntries(*inbox, store.get()), S_OK);
  EXPECT_EQ(inbox->items->size(), 2u);
}

TEST_F(MapiFoldersTest, AnIncompleteRowIsReadAgainFromItsMessageAndKeptByItsLongTermId) {
  Ptr<IMessage> message;
  ASSERT_EQ(open(*archive)->CreateMessage(nullptr, 0, message.put()), S_OK);
  ASSERT_EQ(message->SaveChanges(0), S_OK);
  archive->syncInfo->state = CFolderSyncInfo::kSourceSynchronized;
  ASSERT_EQ(util->getFolderEntries(*archive, store.get()), S_OK);
  ASSERT_TRUE(archive->items);
  ASSERT_EQ(archive->items->size(), 1u);
  const COutlookItem& item = *archive->items->begin()->second;
  EXPECT_EQ(item.subject, u"{Unknown}");
  EXPECT_TRUE(item.hasLongTermId);
  EXPECT_GT(item.size, 0u);
  EXPECT_NE(logBytes().find("{Outlook Item}: Failed to copy message subject property."), std::string::npos);
}

TEST_F(MapiFoldersTest, ACancelDuringTheTransferKeepsTheItemsMadeSoFar) {
  CMapiUtil::RowBatches batches;
  Ptr<IMAPIFolder> folder = open(*inbox);
  ASSERT_EQ(util->getMapiFolderContents(folder.get(), batches, COutlookItem::propertyList(), nullptr), S_OK);
  int checks = 0;
  util->transferEntriesToFolder(batches, *inbox, store.get(), folder.get(), [&] { return ++checks > 1; });
  util->freeRowBatches(batches);
  ASSERT_TRUE(inbox->items);
  EXPECT_EQ(inbox->items->size(), 1u);
}

TEST_F(MapiFoldersTest, AttachmentNamesAreListedAsTheyWereAdded) {
  host.write("notes.txt", "some notes");
  COutlookItem item;
  item.entryId = messageId(*inbox, CString(u"Second"));
  std::vector<CString> names;
  EXPECT_TRUE(util->getAttachmentList(store.get(), item, names));
  EXPECT_TRUE(names.empty());
  ASSERT_TRUE(util->createAttachmentFromFile(store.get(), item.entryId, CString(u"C:\\notes.txt"), CString(u"notes.txt")));
  ASSERT_TRUE(util->createAttachmentFromFile(store.get(), item.entryId, CString(u"C:\\notes.txt"), CString(u"copy.txt")));
  EXPECT_TRUE(util->getAttachmentList(store.get(), item, names));
  EXPECT_EQ(names, (std::vector<CString>{CString(u"notes.txt"), CString(u"copy.txt")}));
  EXPECT_FALSE(util->getAttachmentList(nullptr, item, names));
}

TEST_F(MapiFoldersTest, EntryIdsOfOneFolderCompareEqualAndAFolderFindsItsParent) {
  Ptr<IMAPIFolder> folder = open(*inbox);
  Ptr<IMAPIFolder> parent;
  ASSERT_EQ(util->getParentFolder(store.get(), folder.get(), parent), S_OK);
  COutlookFolder parentRecord;
  ASSERT_EQ(util->getFolderProperties(parent.get(), parentRecord), S_OK);
  EXPECT_TRUE(same(parentRecord.entryId.getId(), root.entryId.getId()));
  EXPECT_FALSE(same(inbox->entryId.getId(), archive->entryId.getId()));

  EntryId a, b;
  ASSERT_TRUE(bytesFromHex(inbox->entryId.getId(), a));
  ASSERT_TRUE(bytesFromHex(archive->entryId.getId(), b));
  bool result = true;
  EXPECT_TRUE(util->compareEntryIds(session.get(), a, a, result));
  EXPECT_TRUE(result);
  EXPECT_TRUE(util->compareEntryIds(session.get(), a, b, result));
  EXPECT_FALSE(result);
  EXPECT_FALSE(util->compareEntryIds(static_cast<IMAPISession*>(nullptr), a, a, result));
  EXPECT_EQ(util->getParentFolder(store.get(), nullptr, parent), E_FAIL);
  EXPECT_FALSE(parent);
}

TEST_F(MapiFoldersTest, TheModifiedSinceRestrictionCountsWholeDaysBackFromNow) {
  auto ticks = [](const FILETIME& ft) { return static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime; };
  SYSTEMTIME st{};
  FILETIME before{}, after{};
  GetSystemTime(&st);
  SystemTimeToFileTime(&st, &before);
  auto today = util->createModifiedSinceRestriction(0);
  auto week = util->createModifiedSinceRestriction(7);
  GetSystemTime(&st);
  SystemTimeToFileTime(&st, &after);
  ASSERT_TRUE(today && week);
  const SRestriction* r = today->getRestriction();
  EXPECT_EQ(r->rt, static_cast<ULONG>(RES_PROPERTY));
  EXPECT_EQ(r->res.resProperty.relop, static_cast<ULONG>(RELOP_GE));
  EXPECT_EQ(r->res.resProperty.ulPropTag, static_cast<ULONG>(PR_LAST_MODIFICATION_TIME));
  const ULONGLONG cutoff = ticks(r->res.resProperty.lpProp->Value.ft);
  // The clock's resolution: the cutoff is the moment of the call, in UTC, to the millisecond.
  EXPECT_GE(cutoff + 10000, ticks(before));
  EXPECT_LE(cutoff, ticks(after) + 10000);
  const ULONGLONG weekCutoff = ticks(week->getRestriction()->res.resProperty.lpProp->Value.ft);
  EXPECT_NEAR(static_cast<double>(cutoff - weekCutoff), 7 * 864000000000.0, 2 * 3600 * 1e7 + 1e7);
}

}  // namespace
