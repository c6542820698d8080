// The address book snap-in on the MAPI stand-in: the profile "Kipo" over a store made with
// `kipo-host mapi make` gets one Outlook address book service whose provider lists the store's
// non-empty contacts folders, and the address book searches them; nothing is added without such a
// folder, on a host older than Outlook 2000, or twice in one run.
#include <gtest/gtest.h>

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
