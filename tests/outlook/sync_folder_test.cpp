// The item synchronizer's folder helpers: folder paths and container classes, the pairing maps in
// both orders, and the open-folder cache on the MAPI stand-in (one folder named by its long-term
// and its short-term id opens once; an id the store does not know empties the cache).
#include "outlook/sync_folder.h"

#include <gtest/gtest.h>

#include "outlook/outlook_folder_sync_pref.h"
#include "outlook/outlook_snapshot_records.h"
#include "outlook/sync_folder_map.h"
#include "tests/outlook/mapi_layer_fixture.h"

namespace {

using platform::com::Ptr;

// The shape of the synchronizer's folder record that these helpers use.
struct Folder {
  Folder(const CString& name, const CString& longId, const CString& shortId = CString(), Folder* up = nullptr)
      : displayName(name), parent(up ? up : this) {
    entryId.longTerm = longId;
    entryId.shortTerm = shortId;
  }
  CString displayName;
  CSnapshotIds entryId;
  CSnapshotIds counterpartId;
  Folder* parent;
};

std::string utf8(const CString& text) { return platform::text::toUtf8(text.view()); }

TEST(SyncFolderNames, PathsJoinAndSplitAtNewlines) {
  EXPECT_EQ(utf8(joinFolderPath(u"Inbox", u"Work")), "Inbox\nWork");
  EXPECT_EQ(utf8(joinFolderPath(u"", u"Work")), "\nWork");
  EXPECT_EQ(utf8(lastFolderName(u"Inbox\nWork\nDone")), "Done");
  EXPECT_EQ(utf8(lastFolderName(u"Inbox")), "Inbox");
  EXPECT_EQ(utf8(lastFolderName(u"Inbox\n")), "");

  // The store root contributes nothing: a top-level folder's path is its own name.
  Folder root(u"Top of Personal Folders", u"R");
  Folder inbox(u"Inbox", u"I", u"", &root);
  Folder work(u"Work", u"W", u"", &inbox);
  Folder done(u"Done", u"D", u"", &work);
  EXPECT_EQ(utf8(folderPathOf(root)), "");
  EXPECT_EQ(utf8(folderPathOf(inbox)), "Inbox");
  EXPECT_EQ(utf8(folderPathOf(done)), "Inbox\nWork\nDone");
}

TEST(SyncFolderNames, ContainerClassOfEachFolderKind) {
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"Calendar", "IPF.Appointment"}, {u"Contacts", "IPF.Contact"}, {u"Tasks", "IPF.Task"},
      {u"Notes", "IPF.StickyNote"},     {u"Journal", "IPF.Journal"},  {u"Inbox", "IPF.Note"},
      {u"calendar", "IPF.Note"},  // names are exact
      {u"", "IPF.Note"},
  };
  for (const auto& [kind, containerClass] : cases) {
    SCOPED_TRACE(utf8(kind));
    EXPECT_EQ(utf8(containerClassForFolderKind(kind)), containerClass);
  }
}

// Linking enters both folders and sets each one's counterpart ids to the other's own; a view in
// the other order finds the same pairs from the other side; an empty id text finds nothing.
TEST(SyncFolderMaps, LinkedFoldersFindEachOtherFromEitherSide) {
  using Maps = CFolderMapsOf<Folder>;
  Maps::FolderIdMap sourceLong, sourceShort, targetLong, targetShort;
  const Maps sourceToTarget(sourceLong, sourceShort, targetLong, targetShort);
  const Maps targetToSource = sourceToTarget.reversed();

  Folder source(u"Inbox", u"00AA", u"80AA");
  Folder target(u"Inbox", u"00BB");
  Folder shortOnly(u"Drafts", u"", u"80CC");
  Folder drafts(u"Drafts", u"00DD");
  EXPECT_EQ(sourceToTarget.findPeer(source), nullptr);
  sourceToTarget.linkFolders(source, target);
  targetToSource.linkFolders(drafts, shortOnly);

  EXPECT_EQ(source.counterpartId, target.entryId);
  EXPECT_EQ(target.counterpartId, source.entryId);
  EXPECT_EQ(sourceToTarget.findPeer(source), &target);
  EXPECT_EQ(targetToSource.findPeer(target), &source);
  EXPECT_EQ(sourceToTarget.findPeer(shortOnly), &drafts);  // by the short-term text
  EXPECT_EQ(targetToSource.findPeer(drafts), &shortOnly);

  struct Case {
    const char* what;
    CSnapshotIds ids;
    const Maps& view;
    Folder* found;
  };
  const Case cases[] = {
      {"long-term id", {u"00AA", u""}, sourceToTarget, &source},
      {"short-term id", {u"", u"80AA"}, sourceToTarget, &source},
      {"long-term id first", {u"00AA", u"80CC"}, sourceToTarget, &source},
      {"the other side's id", {u"00BB", u""}, sourceToTarget, nullptr},
      {"from the other side", {u"00BB", u""}, targetToSource, &target},
      {"no id", {u"", u""}, sourceToTarget, nullptr},
      {"unknown long, known short", {u"00EE", u"80CC"}, sourceToTarget, &shortOnly},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.view.findFolder(c.ids), c.found);
  }
  EXPECT_EQ(sourceLong.size(), 1u);  // the folder without a long-term id is not entered under ""
  EXPECT_EQ(sourceShort.size(), 2u);
  EXPECT_EQ(targetShort.size(), 0u);
}

// Two folder settings are equal when their paths are equal ignoring case and every setting is;
// the folder id is not compared. Each setting alone makes a difference.
TEST(OutlookFolderSyncPref, EqualityComparesPathIgnoringCaseAndEverySettingButTheId) {
  const COutlookFolderSyncPref base(u"Inbox\nWork", u"00AA");
  EXPECT_FALSE(base.limitAttachmentSize);
  EXPECT_EQ(base.maxAttachmentSizeKb, 100u);
  EXPECT_TRUE(base.recursive);
  EXPECT_TRUE(base.synchronize);
  EXPECT_FALSE(base.includeRecentItems);
  EXPECT_EQ(base.daysOld, 30u);
  EXPECT_EQ(base.conflictResolution, COutlookFolderSyncPref::kKeepBoth);

  struct Case {
    const char* what;
    void (*change)(COutlookFolderSyncPref&);
    bool equal;
  };
  const Case cases[] = {
      {"another id", [](COutlookFolderSyncPref& p) { p.folderId = u"00BB"; }, true},
      {"path in other case", [](COutlookFolderSyncPref& p) { p.itemPath = u"INBOX\nwork"; }, true},
      {"another path", [](COutlookFolderSyncPref& p) { p.itemPath = u"Inbox"; }, false},
      {"limit", [](COutlookFolderSyncPref& p) { p.limitAttachmentSize = true; }, false},
      {"limit size", [](COutlookFolderSyncPref& p) { p.maxAttachmentSizeKb = 101; }, false},
      {"recursive", [](COutlookFolderSyncPref& p) { p.recursive = false; }, false},
      {"synchronize", [](COutlookFolderSyncPref& p) { p.synchronize = false; }, false},
      {"recent items", [](COutlookFolderSyncPref& p) { p.includeRecentItems = true; }, false},
      {"days", [](COutlookFolderSyncPref& p) { p.daysOld = 7; }, false},
      {"conflicts", [](COutlookFolderSyncPref& p) { p.conflictResolution = COutlookFolderSyncPref::kTargetWins; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    COutlookFolderSyncPref changed(base);
    c.change(changed);
    EXPECT_EQ(changed == base, c.equal);
    EXPECT_EQ(changed != base, !c.equal);
  }
}

// The size limit in bytes does not wrap for limits of four million kilobytes and more.
TEST(OutlookFolderSyncPref, SizeLimitInBytesIsComputedIn64Bits) {
  COutlookFolderSyncPref pref;
  pref.maxAttachmentSizeKb = 0xFFFFFFFF;
  EXPECT_EQ(pref.maxAttachmentSizeBytes(), 0xFFFFFFFFull * 1024);
  pref.maxAttachmentSizeKb = 4 * 1024 * 1024;  // 4 GB: 0 in 32 bits
  EXPECT_EQ(pref.maxAttachmentSizeBytes(), 0x100000000ull);
}

class SyncFolderCacheTest : public mapilayertest::MapiLayerTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(setOutlook());
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
    util = &start();
    ASSERT_TRUE(util->initializeMapi());
    ASSERT_EQ(util->logon(session, CString(u"Outlook")), S_OK);
    // The stand-in's switch that makes the store hand out short-term ids.
    SPropValue shortIds{};
    shortIds.ulPropTag = PROP_TAG(PT_BOOLEAN, 0x67F0);
    shortIds.Value.b = 1;
    MAPIUID uid{};
    ASSERT_TRUE(util->getDefaultServiceAndDeleteOthers(session.get(), uid, false));
    CMapiUtil::ServiceAdmin admin;
    ASSERT_EQ(session->AdminServices(0, admin.put()), S_OK);
    ASSERT_TRUE(util->configureMessageService(admin.get(), &uid, &shortIds, 1));
    session.reset();
    ASSERT_EQ(util->logon(session, CString(u"Outlook")), S_OK);
    util->openDefaultMessageStore(store, session.get());
    ASSERT_TRUE(store);
  }
  void TearDown() override {
    store.reset();
    session.reset();
    util->uninitializeMapi();
  }

  CMapiUtil* util = nullptr;
  CMapiUtil::Session session;
  CMapiUtil::Store store;
};

TEST_F(SyncFolderCacheTest, OneFolderOpensOnceWhateverIdNamesIt) {
  CString inboxLong, inboxShort, sent;
  ASSERT_EQ(util->getReceiveFolderEntryId(store.get(), inboxLong, false), S_OK);
  ASSERT_EQ(util->getReceiveFolderEntryId(store.get(), inboxShort, true), S_OK);
  ASSERT_EQ(util->getSpecialFolderEntryId(store.get(), PR_IPM_SENTMAIL_ENTRYID, sent), S_OK);
  ASSERT_NE(inboxLong, inboxShort);

  EXPECT_TRUE(sameFolderIds(inboxLong, inboxShort, store.get()));
  EXPECT_FALSE(sameFolderIds(inboxLong, sent, store.get()));
  EXPECT_FALSE(sameFolderIds(inboxLong, u"", store.get()));
  EXPECT_FALSE(sameFolderIds(inboxLong, u"XYZ", store.get()));
  EXPECT_FALSE(sameFolderIds(inboxLong, inboxLong, nullptr));

  Folder inbox(u"Inbox", inboxLong);
  Folder inboxByShortId(u"Inbox", u"", inboxShort);
  Folder sentItems(u"Sent Items", sent);
  Folder unknown(u"Gone", u"00000000DEADBEEF");

  CSyncFolderOf<Folder> cache;
  ASSERT_TRUE(cache.open(store.get(), &inbox));
  // Held here, so a reopened folder could not come back at the same address.
  const Ptr<IMAPIFolder> opened(cache.folder());
  ASSERT_TRUE(opened);
  // The same folder by its short-term id: nothing is reopened.
  ASSERT_TRUE(cache.open(store.get(), &inboxByShortId));
  EXPECT_EQ(cache.folder(), opened.get());
  EXPECT_EQ(cache.record(), &inbox);

  ASSERT_TRUE(cache.open(store.get(), &sentItems));
  EXPECT_EQ(cache.record(), &sentItems);
  EXPECT_NE(cache.folder(), nullptr);

  EXPECT_FALSE(cache.open(store.get(), &unknown));
  EXPECT_EQ(cache.folder(), nullptr);
  EXPECT_EQ(cache.record(), nullptr);
  EXPECT_TRUE(FAILED(cache.lastError()));
  EXPECT_FALSE(cache.open(nullptr, &inbox));
  EXPECT_FALSE(cache.open(store.get(), nullptr));
}

}  // namespace
