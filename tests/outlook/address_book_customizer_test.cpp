// The address book snap-in on the MAPI stand-in: the profile "Kipo" over a store made with
// `kipo-host mapi make` gets one Outlook address book service whose provider lists the store's
// non-empty contacts folders, and the address book searches them; nothing is added without such a
// folder, on a host older than Outlook 2000, or twice in one run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "outlook/address_book_customizer.h"
#include "outlook/mapi_internal.h"
#include "tests/outlook/accounts_fixture.h"

namespace {

using namespace accountstest;
using platform::com::Ptr;

class AddressBookCustomizerTest : public AccountsTest {
 protected:
  // Outlook 2003 with the user's profile, MAPI started, and "Kipo" over a drive store built from
  // the description.
  void SetUpHost(const std::string& description) {
    ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
    std::ofstream(host.c("store.txt")) << description;
    tool({"mapi", "make", "E:\\Kipo.pst", "--from", host.c("store.txt").string()});
    ASSERT_TRUE(startMapi().initializeMapi());
    ASSERT_NO_FATAL_FAILURE(makeKipoProfile());
    outlook->setPersonalized(true);
  }
  void TearDown() override {
    if (CMapiUtil* util = getMapiUtil()) util->uninitializeMapi();
  }

  // "SERVICE\tDISPLAY" lines of the profile's services.
  static std::string services() {
    std::string out;
    kipotest::runTool({"mapi", "services", "Kipo"}, &out);
    return out;
  }
  static int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  // The values of the address book service's provider, for its one contacts folder.
  static std::string providerValues() {
    CMapiUtil* util = getMapiUtil();
    CMapiUtil::Session session;
    util->logon(session, CString(u"Kipo"));
    CMapiUtil::Store store;
    util->openDefaultMessageStore(store, session.get());
    CMapiUtil::ServiceAdmin services;
    if (!store || FAILED(session->AdminServices(0, services.put()))) return "<no admin>";
    Ptr<IMAPITable> table;
    services->GetMsgServiceTable(0, table.put());
    LPSRowSet rows = nullptr;
    SizedSPropTagArray(2, serviceColumns) = {2, {PR_SERVICE_NAME_A, PR_SERVICE_UID}};
    mapilayer::loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&serviceColumns), nullptr,
                                       nullptr, 0, &rows);
    MAPIUID book{};
    for (ULONG i = 0; rows && i < rows->cRows; ++i)
      if (std::string(rows->aRow[i].lpProps[0].Value.lpszA) == "CONTAB")
        std::memcpy(book.ab, rows->aRow[i].lpProps[1].Value.bin.lpb, sizeof book.ab);
    mapilayer::loader().FreeProws(rows);
    Ptr<IProviderAdmin> providers;
    if (FAILED(services->AdminProviders(&book, 0, providers.put()))) return "<no providers>";
    Ptr<IMAPITable> providerTable;
    providers->GetProviderTable(0, providerTable.put());
    SizedSPropTagArray(8, columns) = {8, {PR_PROVIDER_DISPLAY_A, 0x6622101E, 0x6623101E, 0x6624101E, 0x66211003,
                                          0x66251003, 0x66261102, PR_DISPLAY_NAME_A}};
    rows = nullptr;
    mapilayer::loader().HrQueryAllRows(providerTable.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                                       nullptr, 0, &rows);
    if (!rows || rows->cRows != 1) return "<not one provider>";
    const SPropValue* v = rows->aRow[0].lpProps;
    LPSPropValue storeId = nullptr;
    mapilayer::loader().HrGetOneProp(store.get(), PR_ENTRYID, &storeId);
    char state[16];
    std::snprintf(state, sizeof state, "%x", static_cast<unsigned>(v[4].Value.MVl.lpl[0]));
    const SBinary& id = v[6].Value.MVbin.lpbin[0];
    const bool sameStore = storeId && id.cb == storeId->Value.bin.cb && std::memcmp(id.lpb, storeId->Value.bin.lpb, id.cb) == 0;
    std::string out = std::string(v[0].Value.lpszA) + ": " + v[1].Value.MVszA.lppszA[0] + " / " +
                      v[2].Value.MVszA.lppszA[0] + " / " + v[3].Value.MVszA.lppszA[0] + " / " + state + " / " +
                      std::to_string(v[5].Value.MVl.lpl[0]) + " / " + (sameStore ? "the store's id" : "another id") +
                      " / " + v[7].Value.lpszA;
    if (storeId) mapilayer::loader().MAPIFreeBuffer(storeId);
    mapilayer::loader().FreeProws(rows);
    return out;
  }

  // The names of the containers the address book of "Kipo" searches.
  static std::vector<std::string> searchPath() {
    std::vector<std::string> names;
    CMapiUtil::Session session;
    getMapiUtil()->logon(session, CString(u"Kipo"));
    Ptr<IAddrBook> book;
    if (!session || FAILED(session->OpenAddressBook(0, nullptr, 0, book.put()))) return {"<no book>"};
    LPSRowSet rows = nullptr;
    if (FAILED(book->GetSearchPath(0, &rows)) || !rows) return {"<no path>"};
    for (ULONG i = 0; i < rows->cRows; ++i) {
      const SBinary& id = rows->aRow[i].lpProps[0].Value.bin;
      Ptr<IUnknown> opened;
      ULONG type = 0;
      if (FAILED(book->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, opened.put()))) {
        names.push_back("<unknown>");
        continue;
      }
      LPSPropValue name = nullptr;
      mapilayer::loader().HrGetOneProp(static_cast<IABContainer*>(opened.get()), PR_DISPLAY_NAME_A, &name);
      names.push_back(name ? name->Value.lpszA : "<unnamed>");
      if (name) mapilayer::loader().MAPIFreeBuffer(name);
    }
    mapilayer::loader().FreeProws(rows);
    return names;
  }
};

TEST_F(AddressBookCustomizerTest, TheNonEmptyContactsFoldersBecomeTheSearchedAddressLists) {
  ASSERT_NO_FATAL_FAILURE(SetUpHost("folder Contacts\nitem IPM.Contact Alice\nfolder Contacts/Empty\nfolder Inbox\n"
                                    "item IPM.Note Hello\n"));
  auto* book = make<COutlookABCustomizer>();
  EXPECT_TRUE(book->personalize());
  EXPECT_TRUE(book->isPersonalized());
  EXPECT_TRUE(book->hasService());
  const std::string listed = services();
  EXPECT_EQ(count(listed, "CONTAB\tKipo Address Book"), 1) << listed;
  EXPECT_EQ(searchPath(), (std::vector<std::string>{"Contacts"}));
  EXPECT_EQ(providerValues(), "CONTABP: Kipo / Contacts / Contacts / 8004010f / 1 / the store's id / Kipo Address Book");

  // A second login step of the same run adds no second service; after a logout a new run may.
  EXPECT_TRUE(book->personalize());
  EXPECT_EQ(count(services(), "CONTAB\t"), 1);
  EXPECT_TRUE(book->depersonalize());
  EXPECT_FALSE(book->hasService());
}

TEST_F(AddressBookCustomizerTest, ThePersonalizeProfileOfAnExchangeUserOrWithoutContactsGetsNoService) {
  ASSERT_NO_FATAL_FAILURE(SetUpHost("folder Inbox\nitem IPM.Note Hello\n"));
  auto* book = make<COutlookABCustomizer>();
  EXPECT_TRUE(book->personalize());
  EXPECT_FALSE(book->hasService());
  EXPECT_EQ(count(services(), "CONTAB"), 0);

  // With a contact now, but Outlook personalized through an Exchange mailbox.
  std::ofstream(host.c("more.txt")) << "folder Contacts\nitem IPM.Contact Alice\n";
  tool({"mapi", "make", "E:\\Kipo.pst", "--from", host.c("more.txt").string()});
  outlook->exchangeMode = true;
  EXPECT_TRUE(book->personalize());
  EXPECT_EQ(count(services(), "CONTAB"), 0);
  outlook->exchangeMode = false;
  EXPECT_TRUE(book->personalize());
  EXPECT_EQ(count(services(), "CONTAB"), 1);
}

TEST_F(AddressBookCustomizerTest, WithoutTheProfilesDefaultStoreTheStepFails) {
  ASSERT_NO_FATAL_FAILURE(SetUpHost("folder Contacts\nitem IPM.Contact Alice\n"));
  ASSERT_TRUE(getMapiUtil()->deleteMAPIProfile(CString(u"Kipo")));
  auto* book = make<COutlookABCustomizer>();
  EXPECT_FALSE(book->personalize());
  EXPECT_TRUE(logHas("{Outlook Customizer}: Failed to open personalize Mapi session."));
}

// Outlook 97 and 98 have no such address book: the snap-in reports success and changes nothing.
TEST_F(AddressBookCustomizerTest, AnOutlookOlderThan2000IsLeftAsItIs) {
  ASSERT_NO_FATAL_FAILURE(SetUpHost("folder Contacts\nitem IPM.Contact Alice\n"));
  CRegistry{CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Outlook.Application\\CurVer")}.setString(
      u"", CString(u"Outlook.Application.8"));
  CCustomizerDoc empty;
  std::unique_ptr<COutlookABCustomizer> book;
  {
    const CFactoryDocumentScope scope(&empty);
    book = std::make_unique<COutlookABCustomizer>();
  }
  EXPECT_TRUE(book->personalize());
  EXPECT_FALSE(book->hasService());
  EXPECT_EQ(count(services(), "CONTAB"), 0);
}

}  // namespace
