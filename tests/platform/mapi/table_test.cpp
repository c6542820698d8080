// The cursor and restriction rules of the stand-in's tables, on a profile table of five rows and
// a service table: each call's result, and sentinels where a call must leave its output alone.
#include <cstring>

#include "tests/platform/mapi/mapi_fixture.h"

namespace {

using mapitest::MapiTest;
using platform::com::Ptr;

SPropValue text(ULONG tag, const char* value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(value);
  return v;
}

class Tables : public MapiTest {
 protected:
  void SetUp() override {
    MapiTest::SetUp();
    makeProfiles({"alpha", "Bravo", "charlie", "Delta", "echo"});
    ASSERT_EQ(profAdmin()->GetProfileTable(0, table.put()), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_DISPLAY_NAME_A}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), TBL_BATCH), S_OK);
  }
  void TearDown() override {
    table.reset();
    MapiTest::TearDown();
  }
  // The names of the next n rows from the cursor (which moves past them).
  std::vector<std::string> next(LONG n) {
    LPSRowSet rows = reinterpret_cast<LPSRowSet>(0xdeadbeef);
    EXPECT_EQ(table->QueryRows(n, 0, &rows), S_OK);
    auto names = firstColumn(rows);
    mapi.freeProws(rows);
    return names;
  }
  HRESULT find(SRestriction& r, BOOKMARK origin, ULONG flags = 0) { return table->FindRow(&r, origin, flags); }

  Ptr<IMAPITable> table;
};

using Names = std::vector<std::string>;

TEST_F(Tables, QueryRowsReturnsBatchesAndMovesPastThem) {
  EXPECT_EQ(next(2), (Names{"alpha", "Bravo"}));
  EXPECT_EQ(next(2), (Names{"charlie", "Delta"}));
  EXPECT_EQ(next(2), (Names{"echo"}));
  // At the end: no rows, and no error.
  EXPECT_EQ(next(2), Names{});
  // Backwards from the end: the rows before the cursor, in table order.
  EXPECT_EQ(next(-2), (Names{"Delta", "echo"}));
  EXPECT_EQ(next(1), (Names{"Delta"}));
  LPSRowSet rows = reinterpret_cast<LPSRowSet>(0xdeadbeef);
  EXPECT_EQ(table->QueryRows(0, 0, &rows), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(rows, nullptr);
  // TBL_NOADVANCE leaves the cursor.
  ASSERT_EQ(table->QueryRows(1, TBL_NOADVANCE, &rows), S_OK);
  mapi.freeProws(rows);
  EXPECT_EQ(next(1), (Names{"echo"}));
}

TEST_F(Tables, SeekRowStopsAtEitherEndAndSaysHowFarItWent) {
  struct Case {
    BOOKMARK origin;
    LONG count;
    LONG sought;
    Names then;  // the rows QueryRows(5) gives afterwards
  };
  const Case cases[] = {
      {BOOKMARK_BEGINNING, 3, 3, {"Delta", "echo"}},
      {BOOKMARK_BEGINNING, 9, 5, {}},  // past the end: at the end, where QueryRows gives 0 rows
      {BOOKMARK_END, -2, -2, {"Delta", "echo"}},
      {BOOKMARK_END, -9, -5, {"alpha", "Bravo", "charlie", "Delta", "echo"}},
      {BOOKMARK_END, 3, 0, {}},
  };
  for (const Case& c : cases) {
    LONG sought = 0x0deadbee;
    ASSERT_EQ(table->SeekRow(c.origin, c.count, &sought), S_OK);
    EXPECT_EQ(sought, c.sought) << c.origin << " " << c.count;
    EXPECT_EQ(next(5), c.then) << c.origin << " " << c.count;
  }
  // From the current row.
  ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 1, nullptr), S_OK);
  LONG sought = 0;
  ASSERT_EQ(table->SeekRow(BOOKMARK_CURRENT, 2, &sought), S_OK);
  EXPECT_EQ(sought, 2);
  EXPECT_EQ(next(1), (Names{"Delta"}));
  EXPECT_EQ(table->SeekRow(7, 0, &sought), MAPI_E_INVALID_BOOKMARK);
}

TEST_F(Tables, FindRowLeavesTheCursorOnTheRowItFound) {
  SPropValue value = text(PR_DISPLAY_NAME_A, "charlie");
  SRestriction r{};
  r.rt = RES_PROPERTY;
  r.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME_A, &value};
  ASSERT_EQ(find(r, BOOKMARK_BEGINNING), S_OK);
  EXPECT_EQ(next(1), (Names{"charlie"}));
  // From the current row on there is no second "charlie".
  EXPECT_EQ(find(r, BOOKMARK_CURRENT), MAPI_E_NOT_FOUND);
  EXPECT_EQ(next(1), (Names{"Delta"})) << "a failed FindRow leaves the cursor where it was";
  // At the end nothing is found.
  EXPECT_EQ(find(r, BOOKMARK_END), MAPI_E_NOT_FOUND);
  // Backwards from the end.
  ASSERT_EQ(find(r, BOOKMARK_END, DIR_BACKWARD), S_OK);
  EXPECT_EQ(next(5), (Names{"charlie", "Delta", "echo"}));
  // The walk the product makes: find, read the row, find again from the row after it.
  SPropValue e = text(PR_DISPLAY_NAME_A, "E");
  SRestriction hasE{};
  hasE.rt = RES_CONTENT;
  hasE.res.resContent = {FL_SUBSTRING | FL_IGNORECASE, PR_DISPLAY_NAME_A, &e};
  Names found;
  ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
  while (find(hasE, BOOKMARK_CURRENT) == S_OK) {
    auto row = next(1);
    ASSERT_EQ(row.size(), 1u);
    found.push_back(row[0]);
  }
  EXPECT_EQ(found, (Names{"charlie", "Delta", "echo"}));
}

TEST_F(Tables, RestrictionFormsSelectRows) {
  SPropValue c = text(PR_DISPLAY_NAME_A, "charlie");
  SPropValue upperC = text(PR_DISPLAY_NAME_A, "CHARLIE");
  SPropValue ch = text(PR_DISPLAY_NAME_A, "Ch");
  SPropValue lo = text(PR_DISPLAY_NAME_A, "lp");
  struct Case {
    const char* what;
    SRestriction r;
    Names rows;
  };
  auto property = [](ULONG relop, SPropValue* v) {
    SRestriction r{};
    r.rt = RES_PROPERTY;
    r.res.resProperty = {relop, PR_DISPLAY_NAME_A, v};
    return r;
  };
  auto content = [](ULONG fuzzy, SPropValue* v) {
    SRestriction r{};
    r.rt = RES_CONTENT;
    r.res.resContent = {fuzzy, PR_DISPLAY_NAME_A, v};
    return r;
  };
  SRestriction both[] = {content(FL_PREFIX | FL_IGNORECASE, &ch), property(RELOP_NE, &c)};
  SRestriction either[] = {content(FL_SUBSTRING, &lo), property(RELOP_EQ, &c)};
  SRestriction andR{}, orR{}, notR{}, exists{}, missing{};
  andR.rt = RES_AND;
  andR.res.resAnd = {2, both};
  orR.rt = RES_OR;
  orR.res.resOr = {2, either};
  notR.rt = RES_NOT;
  notR.res.resNot = {0, &either[1]};
  exists.rt = RES_EXIST;
  exists.res.resExist = {0, PR_DISPLAY_NAME_A, 0};
  missing.rt = RES_EXIST;
  missing.res.resExist = {0, PR_PST_PATH, 0};
  const Case cases[] = {
      {"EQ is case-sensitive", property(RELOP_EQ, &upperC), {}},
      {"EQ", property(RELOP_EQ, &c), {"charlie"}},
      // Relations compare text by code unit, as equality does: capitals sort first.
      {"LT", property(RELOP_LT, &c), {"alpha", "Bravo", "Delta"}},
      {"GE", property(RELOP_GE, &c), {"charlie", "echo"}},
      {"full string ignoring case", content(FL_FULLSTRING | FL_IGNORECASE, &upperC), {"charlie"}},
      {"full string with case", content(FL_FULLSTRING, &upperC), {}},
      {"prefix", content(FL_PREFIX | FL_IGNORECASE, &ch), {"charlie"}},
      {"substring", content(FL_SUBSTRING, &lo), {"alpha"}},
      {"and", andR, {}},
      {"or", orR, {"alpha", "charlie"}},
      {"not", notR, {"alpha", "Bravo", "Delta", "echo"}},
      {"exists", exists, {"alpha", "Bravo", "charlie", "Delta", "echo"}},
      {"a missing property", missing, {}},
  };
  for (const Case& k : cases) {
    SRestriction r = k.r;
    ASSERT_EQ(table->Restrict(&r, TBL_BATCH), S_OK) << k.what;
    ULONG count = 99;
    ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, k.rows.size()) << k.what;
    EXPECT_EQ(next(10), k.rows) << k.what;
  }
  // Restrict puts the cursor at the beginning; no restriction lets every row through.
  ASSERT_EQ(table->Restrict(nullptr, 0), S_OK);
  EXPECT_EQ(next(1), (Names{"alpha"}));
  ASSERT_EQ(table->Restrict(nullptr, 0), S_OK);
  EXPECT_EQ(next(1), (Names{"alpha"}));
  // A form the stand-in does not evaluate is refused, not ignored.
  SRestriction sub{};
  sub.rt = RES_SUBRESTRICTION;
  EXPECT_EQ(table->Restrict(&sub, 0), MAPI_E_TOO_COMPLEX);
}

TEST_F(Tables, BitmaskAndMissingColumns) {
  auto s = [&] {
    Ptr<IMsgServiceAdmin> a;
    EXPECT_EQ(profAdmin()->AdminServices(const_cast<LPSTR>("alpha"), nullptr, 0, 0, a.put()), S_OK);
    return a;
  }();
  for (const char* name : {"CONTAB", "MSPST MS", "IMAIL", "MSPST MS"})
    ASSERT_EQ(s->CreateMsgService(const_cast<LPSTR>(name), nullptr, 0, 0), S_OK);
  Ptr<IMAPITable> services;
  ASSERT_EQ(s->GetMsgServiceTable(0, services.put()), S_OK);
  SizedSPropTagArray(2, columns) = {2, {PR_SERVICE_NAME_A, PR_PST_PATH}};
  ASSERT_EQ(services->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
  SRestriction isDefault{};
  isDefault.rt = RES_BITMASK;
  isDefault.res.resBitMask = {BMR_NEZ, PR_RESOURCE_FLAGS, SERVICE_DEFAULT_STORE};
  ASSERT_EQ(services->Restrict(&isDefault, TBL_BATCH), S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(services->QueryRows(10, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  EXPECT_STREQ(rows->aRow[0].lpProps[0].Value.lpszA, "MSPST MS");
  // A column the row lacks comes back as an error value of that id.
  EXPECT_EQ(rows->aRow[0].lpProps[1].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_PST_PATH)));
  EXPECT_EQ(rows->aRow[0].lpProps[1].Value.err, MAPI_E_NOT_FOUND);
  mapi.freeProws(rows);
  isDefault.res.resBitMask.relBMR = BMR_EQZ;
  ASSERT_EQ(services->Restrict(&isDefault, TBL_BATCH), S_OK);
  ULONG count = 0;
  ASSERT_EQ(services->GetRowCount(0, &count), S_OK);
  EXPECT_EQ(count, 3u);
  // Asked as wide text, a text column comes back wide.
  SizedSPropTagArray(1, wide) = {1, {PR_SERVICE_NAME_W}};
  ASSERT_EQ(services->SetColumns(reinterpret_cast<LPSPropTagArray>(&wide), 0), S_OK);
  ASSERT_EQ(services->QueryRows(1, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  EXPECT_EQ(rows->aRow[0].lpProps[0].ulPropTag, PR_SERVICE_NAME_W);
  EXPECT_EQ(std::u16string(rows->aRow[0].lpProps[0].Value.lpszW), u"CONTAB");
  mapi.freeProws(rows);
  services.reset();
}

}  // namespace
