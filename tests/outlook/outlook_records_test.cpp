// The records shared by the MAPI functions and the item synchronizer, built from property values
// without MAPI: items from the item property list, folder trees, entry-id text and order, the
// restrictions' own values, binary values and folder path texts.
#include <deque>
#include <string>
#include <vector>

#include "outlook/mapi_binary.h"
#include "outlook/outlook_names.h"
#include "outlook/outlook_records.h"
#include "tests/outlook/mapi_layer_fixture.h"

namespace {

constexpr ULONG kError = PT_ERROR;

// The 14 values of a complete item row; tests knock values out or change them.
class ItemRow {
 public:
  ItemRow() {
    values_.resize(COutlookItem::kPropertyCount);
    LPSPropTagArray tags = COutlookItem::propertyList();
    for (ULONG i = 0; i < COutlookItem::kPropertyCount; ++i) missing(i, tags->aulPropTag[i]);
    binary(0, {0x00, 0x11, 0x22});          // PR_ENTRYID
    binary(1, {0x5E, 0xA2});                // PR_SEARCH_KEY
    wide(2, u"Wide subject");
    values_[3] = {PR_MESSAGE_SIZE, 0, {}};
    values_[3].Value.l = 1234;
    values_[4] = {PR_LAST_MODIFICATION_TIME, 0, {}};
    values_[4].Value.ft = {0x11111111, 0x01D00000};
    binary(5, {0x00, 0xAA, 0xBB});          // PR_LONGTERM_ENTRYID_FROM_TABLE
    binary(7, {0x00, 0x0F});                // PR_PARENT_ENTRYID
    wide(8, u"Inbox");
    binary(9, {0x01, 0x02});                // PR_SOURCE_KEY
    binary(10, {0x03});                     // PR_CHANGE_KEY
    narrow(11, "Narrow subject");
    narrow(13, "Narrow folder");
  }
  void missing(ULONG index, ULONG tag) {
    values_[index] = {CHANGE_PROP_TYPE(tag, kError), 0, {}};
    values_[index].Value.err = MAPI_E_NOT_FOUND;
  }
  void missing(ULONG index) { missing(index, COutlookItem::propertyList()->aulPropTag[index]); }
  void binary(ULONG index, std::vector<BYTE> bytes) {
    store_.push_back(std::move(bytes));
    values_[index] = {COutlookItem::propertyList()->aulPropTag[index], 0, {}};
    values_[index].Value.bin = {static_cast<ULONG>(store_.back().size()), store_.back().data()};
  }
  void wide(ULONG index, const char16_t* text) {
    values_[index] = {COutlookItem::propertyList()->aulPropTag[index], 0, {}};
    values_[index].Value.lpszW = const_cast<LPWSTR>(text);
  }
  void narrow(ULONG index, const char* text) {
    values_[index] = {COutlookItem::propertyList()->aulPropTag[index], 0, {}};
    values_[index].Value.lpszA = const_cast<LPSTR>(text);
  }
  const SPropValue* get() const { return values_.data(); }
  SRow row(ULONG count) { return SRow{0, count, values_.data()}; }

 private:
  std::vector<SPropValue> values_;
  std::deque<std::vector<BYTE>> store_;
};

class OutlookRecordsTest : public mapilayertest::MapiLayerTest {
 protected:
  std::string log() const { return logBytes(); }
};

TEST_F(OutlookRecordsTest, AnItemTakesTheTablesLongTermIdElseAnyLongTermEntryId) {
  ItemRow row;
  COutlookItem item;
  ASSERT_TRUE(item.initFromProps(row.get()));
  EXPECT_EQ(item.entryId, (EntryIdBytes{0x00, 0xAA, 0xBB}));
  EXPECT_TRUE(item.hasLongTermId);
  EXPECT_EQ(item.subject, u"Wide subject");
  EXPECT_EQ(item.size, 1234u);
  EXPECT_EQ(item.lastModified.dwHighDateTime, 0x01D00000u);
  EXPECT_EQ(item.parentEntryId, u"000F");
  EXPECT_EQ(item.parentFolderName, u"Inbox");
  EXPECT_EQ(item.sourceKey, (EntryIdBytes{0x01, 0x02}));
  EXPECT_EQ(item.changeKey, (EntryIdBytes{0x03}));

  // A short-term id in the table's column: the entry id column gives the long-term one.
  row.binary(5, {0x80, 0x01});
  COutlookItem fallback;
  ASSERT_TRUE(fallback.initFromProps(row.get()));
  EXPECT_EQ(fallback.entryId, (EntryIdBytes{0x00, 0x11, 0x22}));

  // Both short-term: no id, and the caller is told.
  row.binary(0, {0x80, 0x02});
  COutlookItem none;
  EXPECT_FALSE(none.initFromProps(row.get()));
  EXPECT_FALSE(none.hasLongTermId);
  EXPECT_TRUE(none.entryId.empty());
  EXPECT_NE(log().find("{Outlook Item}: 3 methods of getting a long-term EntryId failed."), std::string::npos);
}

TEST_F(OutlookRecordsTest, EachMissingValueFailsTheItemButKeepsWhatWasRead) {
  struct Case {
    ULONG missing;
    const char* logLine;  // none for the modification time
  };
  const Case cases[] = {
      {1, "{Outlook Item}: Failed to copy search key property."},
      {3, "{Outlook Item}: Failed to copy message size property."},
      {4, nullptr},
      {7, "{Outlook Item}: Failed to copy Parent Id."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing);
    createLog();
    ItemRow row;
    row.missing(c.missing);
    COutlookItem item;
    EXPECT_FALSE(item.initFromProps(row.get()));
    EXPECT_EQ(item.subject, u"Wide subject");
    EXPECT_TRUE(item.hasLongTermId);
    if (c.logLine) {
      EXPECT_NE(log().find(c.logLine), std::string::npos) << log();
    }
  }

  // Subject: the 8-bit value when the wide one is missing; "{Unknown}" and a failure without both.
  ItemRow row;
  row.missing(2);
  row.missing(8);
  COutlookItem narrow;
  EXPECT_TRUE(narrow.initFromProps(row.get()));
  EXPECT_EQ(narrow.subject, u"Narrow subject");
  EXPECT_EQ(narrow.parentFolderName, u"Narrow folder");
  row.missing(11);
  COutlookItem unknown;
  EXPECT_FALSE(unknown.initFromProps(row.get()));
  EXPECT_EQ(unknown.subject, u"{Unknown}");
  EXPECT_NE(log().find("{Outlook Item}: Failed to copy message subject property."), std::string::npos);
}

TEST_F(OutlookRecordsTest, ARowOfThirteenValuesIsRefused) {
  ItemRow row;
  SRow short13 = row.row(13);
  COutlookItem item;
  EXPECT_FALSE(item.assignRow(short13, nullptr));
  EXPECT_TRUE(item.entryId.empty());
  EXPECT_NE(log().find("Attempt to assign itemRow with incorrect number of properties to OutlookItem"),
            std::string::npos);
  SRow full = row.row(14);
  EXPECT_TRUE(item.assignRow(full, nullptr));
}

TEST_F(OutlookRecordsTest, AnItemInAFolderTakesItsNameOnlyWhenItHasNone) {
  COutlookFolder folder;
  folder.displayName = u"Projects";
  folder.sourceKey = u"ABCD";
  COutlookItem item;
  item.setFolder(&folder);
  EXPECT_EQ(item.parentFolderName, u"Projects");
  EXPECT_EQ(item.parentFolderSourceKey, u"ABCD");
  item.parentFolderName = u"Inbox";
  item.setFolder(&folder);
  EXPECT_EQ(item.parentFolderName, u"Inbox");
  item.matched = true;
  item.clear();
  EXPECT_TRUE(item.parentFolderName.IsEmpty());
  EXPECT_EQ(item.parentFolder, nullptr);
  EXPECT_FALSE(item.matched);
}

TEST_F(OutlookRecordsTest, AFolderTreeOwnsItsChildrenAndFindsThemByName) {
  COutlookFolder root;
  EXPECT_EQ(root.parent, &root);
  EXPECT_FALSE(root.hasSubfolders);
  EXPECT_EQ(root.syncInfo->state, CFolderSyncInfo::kSourceNotSynchronized);
  EXPECT_EQ(root.syncInfo->dayWindow, -1);
  auto child = std::make_unique<COutlookFolder>();
  child->displayName = u"Inbox";
  COutlookFolder* inbox = root.addChild(std::move(child));
  EXPECT_TRUE(root.hasSubfolders);
  EXPECT_EQ(inbox->parent, &root);
  EXPECT_EQ(root.findChild(CString(u"Inbox")), inbox);
  EXPECT_EQ(root.findChild(CString(u"inbox")), nullptr);
  root.freeChildren();
  EXPECT_FALSE(root.children);
  EXPECT_EQ(root.findChild(CString(u"Inbox")), nullptr);
  std::unique_ptr<COutlookFolder::ChildList> none;
  deleteFolderNodeList(none);
  EXPECT_FALSE(none);
}

TEST_F(OutlookRecordsTest, EntryIdsSortShorterFirstThenByUnsignedBytesAndKeepTheirKindApart) {
  EntryIdLess less;
  EXPECT_TRUE(less({0xFF}, {0x00, 0x00}));
  EXPECT_TRUE(less({0x01, 0x7F}, {0x01, 0x80}));
  EXPECT_FALSE(less({0x01, 0x80}, {0x01, 0x80}));

  CEntryIdText id;
  EXPECT_TRUE(id.getId().IsEmpty());
  const BYTE shortTerm[] = {0x80, 0x0A};
  const BYTE longTerm[] = {0x00, 0xAB};
  id.set(shortTerm, 2);
  EXPECT_EQ(id.shortTerm, u"800A");
  EXPECT_EQ(id.getId(), u"800A");
  id.set(longTerm, 2);
  EXPECT_EQ(id.getId(), u"00AB");
  EXPECT_EQ(id.shortTerm, u"800A");
  EntryIdBytes back;
  EXPECT_TRUE(bytesFromHex(id.getId(), back));
  EXPECT_EQ(back, (EntryIdBytes{0x00, 0xAB}));
}

TEST_F(OutlookRecordsTest, RestrictionsPointMapiAtTheirOwnValues) {
  SPropValue value{};
  value.ulPropTag = PR_MESSAGE_SIZE;
  value.Value.l = 10;
  CMAPIPropRestriction prop(value, PR_MESSAGE_SIZE, RELOP_GE);
  value.Value.l = 99;  // the caller's copy changes; the restriction's does not
  LPSRestriction r = prop.getRestriction();
  EXPECT_EQ(r->rt, static_cast<ULONG>(RES_PROPERTY));
  EXPECT_EQ(r->res.resProperty.relop, static_cast<ULONG>(RELOP_GE));
  EXPECT_EQ(r->res.resProperty.lpProp->Value.l, 10);
  EXPECT_EQ(r->res.resProperty.lpProp, &prop.value());

  CMAPIBitMaskRestriction mask(0x4, PR_MESSAGE_FLAGS, BMR_NEZ);
  EXPECT_EQ(mask.getRestriction()->rt, static_cast<ULONG>(RES_BITMASK));
  EXPECT_EQ(mask.getRestriction()->res.resBitMask.ulMask, 0x4u);
  EXPECT_EQ(mask.getRestriction()->res.resBitMask.relBMR, static_cast<ULONG>(BMR_NEZ));
}

SBinaryPtr bin(std::vector<BYTE> bytes) {
  SBinary source{static_cast<ULONG>(bytes.size()), bytes.data()};
  return copySBinary(source);
}

TEST_F(OutlookRecordsTest, BinaryValuesAreOwnedCopiesAndTheNewEntryIsFound) {
  BYTE bytes[] = {1, 2, 3};
  SBinary source{3, bytes};
  SBinaryPtr copy = copySBinary(source);
  ASSERT_TRUE(copy);
  bytes[0] = 9;
  EXPECT_EQ(copy->cb, 3u);
  EXPECT_EQ(copy->lpb[0], 1);
  SBinary empty{0, nullptr};
  EXPECT_TRUE(copyProperty(*copy, empty));
  EXPECT_EQ(copy->cb, 0u);
  EXPECT_EQ(copy->lpb, nullptr);

  struct Case {
    std::vector<std::vector<BYTE>> before, after;
    int found;
  };
  const Case cases[] = {
      {{{1}, {2}}, {{1}, {2}, {3}}, 2},
      {{{1}, {2}}, {{2}, {1}}, -1},
      {{{1, 2}}, {{1}, {1, 2}}, 0},  // a prefix of an old id is a new id
      {{}, {{7}}, 0},
      {{{1}}, {}, -1},
  };
  for (const Case& c : cases) {
    SBinaryVector before, after;
    for (const auto& b : c.before) before.push_back(bin(b));
    for (const auto& a : c.after) after.push_back(bin(a));
    EXPECT_EQ(findNewEntry(before, after), c.found);
    freeBinaryVector(after);
    EXPECT_TRUE(after.empty());
  }
}

TEST_F(OutlookRecordsTest, FolderPathsShowWithBackslashesAndAreTakenRelativeByWholeNames) {
  EXPECT_EQ(convertToDisplayFolderPath(CString(u"Personal Folders\nInbox\nWork")), u"Personal Folders\\Inbox\\Work");
  EXPECT_TRUE(convertToDisplayFolderPath(CString()).IsEmpty());
  struct Case {
    const char16_t* path;
    const char16_t* prefix;
    const char16_t* relative;
  };
  const Case cases[] = {
      {u"Mailbox\nInbox\nWork", u"Mailbox", u"Inbox\nWork"},
      {u"Mailbox\nInbox\nWork", u"Mailbox\n", u"Inbox\nWork"},
      {u"Mailbox\nInbox\nWork", u"Mailbox\nInbox", u"Work"},
      {u"Mailbox", u"Mailbox", u""},
      {u"Mailboxes\nInbox", u"Mailbox", u""},  // the first name only begins with the prefix
      {u"mailbox\nInbox", u"Mailbox", u""},
      {u"Other\nInbox", u"Mailbox", u""},
      {u"", u"Mailbox", u""},
      {u"Mailbox\nInbox", u"", u""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(getMapiFolderRelativePath(CString(c.path), CString(c.prefix)), c.relative)
        << utf8(CString(c.path)) << " / " << utf8(CString(c.prefix));
}

}  // namespace
