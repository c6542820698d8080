// A folder's contents read through the MAPI layer in batches, all rows or the restricted ones,
// and cancelled between batches.
#include <fstream>

#include "tests/outlook/mapi_layer_fixture.h"

namespace {

using platform::com::Ptr;

class MapiTablesTest : public mapilayertest::MapiLayerTest {
 protected:
  // A profile whose store's Inbox holds `items` messages "Item 0", "Item 1", ...
  void withInbox(int items) {
    ASSERT_NO_FATAL_FAILURE(setOutlook());
    std::ofstream description(host.c("store.txt"));
    description << "folder Inbox\n";
    for (int i = 0; i < items; ++i) description << "item IPM.Note Item " << i << "\n";
    description.close();
    tool({"mapi", "make", "C:\\big.pst", "--from", host.c("store.txt").string()});
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\big.pst", "--default"});
    util = &start();
    ASSERT_TRUE(util->initializeMapi());
    ASSERT_EQ(util->logon(session, CString(u"Outlook")), S_OK);
    util->openDefaultMessageStore(store, session.get());
    ASSERT_TRUE(store);
    CString inboxId;
    ASSERT_EQ(util->getReceiveFolderEntryId(store.get(), inboxId, false), S_OK);
    Ptr<IUnknown> object;
    ASSERT_EQ(util->OpenEntry(store.get(), inboxId, object), S_OK);
    ASSERT_EQ(object.as(inbox), S_OK);
  }
  void TearDown() override {
    if (!util) return;
    util->freeRowBatches(batches);
    inbox.reset();
    store.reset();
    session.reset();
    util->uninitializeMapi();
  }
  std::vector<ULONG> sizes() const {
    std::vector<ULONG> out;
    for (LPSRowSet rows : batches) out.push_back(rows->cRows);
    return out;
  }

  CMapiUtil* util = nullptr;
  CMapiUtil::Session session;
  CMapiUtil::Store store;
  Ptr<IMAPIFolder> inbox;
  CMapiUtil::RowBatches batches;
};

SizedSPropTagArray(2, kColumns) = {2, {PR_ENTRYID, PR_SUBJECT_A}};
LPSPropTagArray columns() { return reinterpret_cast<LPSPropTagArray>(&kColumns); }

TEST_F(MapiTablesTest, AllRowsComeInBatchesOfAHundredEndedByAnEmptyOne) {
  ASSERT_NO_FATAL_FAILURE(withInbox(100));
  ASSERT_EQ(util->getMapiFolderContents(inbox.get(), batches, columns(), nullptr), S_OK);
  EXPECT_EQ(sizes(), (std::vector<ULONG>{100, 0}));
  EXPECT_STREQ(batches[0]->aRow[99].lpProps[1].Value.lpszA, "Item 99");
}

TEST_F(MapiTablesTest, ACancelBetweenBatchesKeepsWhatWasReadAndSaysSo) {
  ASSERT_NO_FATAL_FAILURE(withInbox(250));
  int checks = 0;
  EXPECT_EQ(util->getMapiFolderContents(inbox.get(), batches, columns(), nullptr, [&] { return ++checks == 3; }),
            MAPI_E_USER_CANCEL);
  EXPECT_EQ(sizes(), (std::vector<ULONG>{100, 100}));
  util->freeRowBatches(batches);
  EXPECT_EQ(util->getMapiFolderContents(inbox.get(), batches, columns(), nullptr, [] { return false; }), S_OK);
  EXPECT_EQ(sizes(), (std::vector<ULONG>{100, 100, 50, 0}));
}

TEST_F(MapiTablesTest, ARestrictionGivesOneSetPerMatchingRowAndNoMatchIsItsFailure) {
  ASSERT_NO_FATAL_FAILURE(withInbox(12));
  char prefix[] = "Item 1";
  SPropValue value{};
  value.ulPropTag = PR_SUBJECT_A;
  value.Value.lpszA = prefix;
  SRestriction restriction{};
  restriction.rt = RES_CONTENT;
  restriction.res.resContent = {FL_PREFIX, PR_SUBJECT_A, &value};
  // A cancel does not stop a restricted read.
  ASSERT_EQ(util->getMapiFolderContents(inbox.get(), batches, columns(), &restriction, [] { return true; }), S_OK);
  std::vector<std::string> subjects;
  for (LPSRowSet rows : batches) subjects.push_back(rows->aRow[0].lpProps[1].Value.lpszA);
  EXPECT_EQ(subjects, (std::vector<std::string>{"Item 1", "Item 10", "Item 11"}));
  util->freeRowBatches(batches);
  char none[] = "Nothing";
  value.Value.lpszA = none;
  EXPECT_TRUE(FAILED(util->getMapiFolderContents(inbox.get(), batches, columns(), &restriction)));
  EXPECT_TRUE(batches.empty());
}

}  // namespace
