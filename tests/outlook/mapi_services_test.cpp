// Message services added to a named profile: personal folders with the Interstor fallback, the
// address book, and the list of Internet mail services.
#include "tests/outlook/mapi_layer_fixture.h"
#include "tests/support/faults.h"

namespace {

class MapiServicesTest : public mapilayertest::MapiLayerTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(setOutlook());
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
    util = &start();
    ASSERT_TRUE(util->initializeMapi());
    ASSERT_TRUE(util->recreateProductProfile(CString(u"Kipo")));
    util->getMapiProfAdmin(admin);
    ASSERT_TRUE(admin);
  }
  void TearDown() override { util->uninitializeMapi(); }

  // "NAME\tDISPLAY" per service of the product profile, with the file of a store service.
  static std::string kipoServices() {
    std::string out;
    kipotest::runTool({"mapi", "services", "Kipo"}, &out);
    std::string lines;
    for (std::size_t at = 0; at < out.size();) {
      std::size_t end = out.find('\n', at);
      std::string line = out.substr(at, end - at);
      at = end + 1;
      // Drop the service's section name.
      if (line[0] != '\t') line = line.substr(line.find('\t') + 1);
      lines += line + "\n";
    }
    return lines;
  }

  CMapiUtil* util = nullptr;
  CMapiUtil::ProfAdmin admin;
};

TEST_F(MapiServicesTest, ThePersonalFoldersServiceIsAddedConfiguredAndReportedByItsNewId) {
  MAPIUID uid{};
  ASSERT_TRUE(util->addPstMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"C:\\Kipo.pst"),
                                                  CString(u"Kipo Folders"), &uid));
  EXPECT_FALSE(CMapiUtil::isNullUid(uid));
  MAPIUID book{};
  ASSERT_TRUE(util->addContabMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"Kipo Contacts"), &book));
  EXPECT_NE(std::memcmp(&uid, &book, sizeof uid), 0);
  EXPECT_EQ(kipoServices(), "MSPST MS\tKipo Folders\t(default store)\n\tC:\\Kipo.pst\nCONTAB\tKipo Contacts\n");
  EXPECT_FALSE(util->addPstMessageServiceToProfile(nullptr, CString(u"Kipo"), CString(u"C:\\Kipo.pst"),
                                                   CString(u"Kipo Folders")));
}

TEST_F(MapiServicesTest, AServiceThatCannotBeConfiguredIsRemovedSoTheFallbackLeavesOneStore) {
  // The profile manager's order: personal folders, else Interstor with the same arguments.
  kipotest::failCall("IMsgServiceAdmin::ConfigureMsgService", static_cast<DWORD>(MAPI_E_NO_ACCESS), u"MSPST MS", 1, 1);
  MAPIUID uid{};
  EXPECT_FALSE(util->addPstMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"C:\\Kipo.pst"),
                                                   CString(u"Kipo Folders"), &uid));
  EXPECT_TRUE(CMapiUtil::isNullUid(uid));
  EXPECT_EQ(kipoServices(), "");
  ASSERT_TRUE(util->addInterstorMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"C:\\Kipo.pst"),
                                                        CString(u"Kipo Folders"), &uid));
  EXPECT_EQ(kipoServices(), "INTERSTOR\tKipo Folders\t(default store)\n\tC:\\Kipo.pst\n");

  // Without a display name the configuration is not tried, and the service does not stay either.
  EXPECT_FALSE(util->addPstMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"C:\\Other.pst"), CString()));
  EXPECT_EQ(kipoServices(), "INTERSTOR\tKipo Folders\t(default store)\n\tC:\\Kipo.pst\n");
}

TEST_F(MapiServicesTest, AFailedCreationIsLoggedAndAddsNothing) {
  createLog();
  kipotest::failCall("IMsgServiceAdmin::CreateMsgService", static_cast<DWORD>(MAPI_E_NOT_ENOUGH_DISK), u"", 1, 1);
  EXPECT_FALSE(util->addContabMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"Kipo Contacts")));
  EXPECT_EQ(logBytes(), "Failed to CreateMsgService - error code is 8004010d<br>");
  EXPECT_FALSE(util->addContabMessageServiceToProfile(admin.get(), CString(u"Missing"), CString(u"Kipo Contacts")));
  EXPECT_EQ(kipoServices(), "");
}

TEST_F(MapiServicesTest, InternetMailServicesAreListedWithoutTheirStandardPrefix) {
  std::vector<CString> names{CString(u"stale")};
  EXPECT_TRUE(util->getImailMessageServiceList(admin.get(), CString(u"Kipo"), names));
  EXPECT_TRUE(names.empty());
  // Outlook's own spelling and the one the Outlook 2000 account writer uses are both prefixes.
  for (const char16_t* display :
       {u"Internet E-mail - Home", u"Internet E-mail Work", u"internet e-mail - Club", u"Internet Email - Shop"})
    ASSERT_TRUE(util->addServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"IMAIL"), CString(display)));
  ASSERT_TRUE(util->addContabMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(u"Internet E-mail - Book")));
  EXPECT_TRUE(util->getImailMessageServiceList(admin.get(), CString(u"Kipo"), names));
  EXPECT_EQ(names, (std::vector<CString>{CString(u"Home"), CString(u"Internet E-mail Work"),
                                         CString(u"internet e-mail - Club"), CString(u"Shop")}));
}

}  // namespace
