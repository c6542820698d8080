// The MAPI utility object on the MAPI stand-in: starting and stopping MAPI, logons, the product's
// and Exchange profiles, and the message services of a profile.
#include <cstring>
#include <utility>

#include "outlook/outlook_install.h"
#include "tests/outlook/mapi_layer_fixture.h"
#include "tests/support/faults.h"

namespace {

using platform::com::Ptr;

class MapiUtilTest : public mapilayertest::MapiLayerTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(setOutlook()); }

  // MAPI started with these profiles (the first the default, with a personal folders file).
  CMapiUtil& running(std::initializer_list<const char*> names) {
    bool first = true;
    for (const char* n : names) {
      std::vector<std::string> args{"mapi", "profile", "add", n, "--pst", std::string("C:\\") + n + ".pst"};
      if (first) args.push_back("--default");
      first = false;
      tool(args);
    }
    CMapiUtil& util = start();
    EXPECT_TRUE(util.initializeMapi());
    initialized_ = true;
    return util;
  }
  void TearDown() override {
    if (initialized_ && getMapiUtil()) getMapiUtil()->uninitializeMapi();
  }

  static std::string servicesOf(const char* profile) {
    std::string out;
    kipotest::runTool({"mapi", "services", profile}, &out);
    return out;
  }
  static bool profileListed(const std::string& name) {
    for (const std::string& line : profiles())
      if (line == name || line == name + " (default)") return true;
    return false;
  }
  // The services of a session's profile by name, in table order.
  static std::vector<std::pair<std::string, MAPIUID>> services(IMsgServiceAdmin* admin) {
    std::vector<std::pair<std::string, MAPIUID>> out;
    Ptr<IMAPITable> table;
    EXPECT_EQ(admin->GetMsgServiceTable(0, table.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_SERVICE_NAME_A, PR_SERVICE_UID}};
    table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
    LPSRowSet rows = nullptr;
    EXPECT_EQ(table->QueryRows(100, 0, &rows), S_OK);
    for (ULONG i = 0; rows && i < rows->cRows; ++i) {
      MAPIUID uid{};
      std::memcpy(&uid, rows->aRow[i].lpProps[1].Value.bin.lpb, sizeof uid);
      out.emplace_back(rows->aRow[i].lpProps[0].Value.lpszA, uid);
    }
    getMapiLoader()->FreeProws(rows);
    return out;
  }
  static std::vector<std::string> names(const std::vector<std::pair<std::string, MAPIUID>>& list) {
    std::vector<std::string> out;
    for (const auto& s : list) out.push_back(s.first);
    return out;
  }

  bool initialized_ = false;
};

TEST_F(MapiUtilTest, MapiStartsOnlyWithAProfileAndEachStopBalancesOneStart) {
  CMapiUtil& util = start();
  // MAPI itself started, but a host without profiles cannot be worked on.
  EXPECT_FALSE(util.initializeMapi());
  EXPECT_EQ(util.getProfileCount(), 0);
  EXPECT_TRUE(util.uninitializeMapi());
  EXPECT_EQ(util.getProfileCount(), -1);

  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  ASSERT_TRUE(util.initializeMapi());
  ASSERT_TRUE(util.initializeMapi());
  EXPECT_EQ(util.getProfileCount(), 1);
  util.uninitializeMapi();
  EXPECT_EQ(util.getProfileCount(), 1);
  util.uninitializeMapi();
  EXPECT_EQ(util.getProfileCount(), -1);
}

TEST_F(MapiUtilTest, AfterACopyUnderInternetMailOnlyOutlookOneStopIsSkipped) {
  struct Case {
    std::vector<std::string> outlook;
    int countAfterFirstStop;
  };
  const Case cases[] = {{{"--version", "2000", "--internet-mail-only"}, 1}, {{"--version", "2000"}, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outlook.size());
    kipotest::TestHost caseHost;
    std::vector<std::string> args{"outlook", "set"};
    args.insert(args.end(), c.outlook.begin(), c.outlook.end());
    tool(args);
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
    CMapiUtil& util = start();
    ASSERT_TRUE(util.initializeMapi());
    util.setSkipNextUninitialize();
    EXPECT_TRUE(util.uninitializeMapi());
    EXPECT_EQ(util.getProfileCount(), c.countAfterFirstStop);
    util.uninitializeMapi();
    EXPECT_EQ(util.getProfileCount(), -1);
    stop();
  }
}

TEST_F(MapiUtilTest, ALogonOpensTheNamedProfileAndMapiNotStartedIsThrown) {
  CMapiUtil& util = running({"Outlook", "Other"});
  CMapiUtil::Session session;
  ASSERT_EQ(util.logon(session, CString(u"Other")), S_OK);
  ASSERT_TRUE(session);
  EXPECT_EQ(util.getProfileName(session.get()), CString(u"Other"));
  util.closeMapiSession(session);
  EXPECT_FALSE(session);
  EXPECT_TRUE(util.getProfileName(nullptr).IsEmpty());

  EXPECT_TRUE(FAILED(util.logon(session, CString(u"Missing"))));
  EXPECT_FALSE(session);

  util.uninitializeMapi();
  initialized_ = false;
  try {
    util.logon(session, CString(u"Other"));
    ADD_FAILURE() << "no exception";
  } catch (CMapiException* e) {
    EXPECT_EQ(e->getCode(), CMapiException::kNotInitialized);
    EXPECT_EQ(e->getHresult(), MAPI_E_NOT_INITIALIZED);
    e->Delete();
  }
}

TEST_F(MapiUtilTest, TheProductProfileIsMadeAgainEmptyAndNamesMatchExactly) {
  CMapiUtil& util = running({"Outlook"});
  tool({"mapi", "profile", "add", "KipoSync", "--pst", "C:\\sync.pst"});
  ASSERT_NE(servicesOf("KipoSync"), "");
  bool exists = false;
  EXPECT_TRUE(util.MAPIProfileExists(CString(u"kiposync"), exists));
  EXPECT_FALSE(exists);
  EXPECT_TRUE(util.MAPIProfileExists(CString(u"KipoSync"), exists));
  EXPECT_TRUE(exists);

  ASSERT_TRUE(util.recreateProductProfile(CString(u"KipoSync")));
  EXPECT_TRUE(profileListed("KipoSync"));
  EXPECT_EQ(servicesOf("KipoSync"), "");
  ASSERT_TRUE(util.recreateProductProfile(CString(u"Kipo")));
  EXPECT_TRUE(profileListed("Kipo"));

  ASSERT_TRUE(util.setDefaultProfile(CString(u"Kipo")));
  EXPECT_EQ(getDefaultProfile(), CString(u"Kipo"));
  EXPECT_TRUE(util.deleteMAPIProfile(CString(u"Kipo")));
  EXPECT_FALSE(util.deleteMAPIProfile(CString(u"Kipo")));
}

class ExchangeProfileTest : public MapiUtilTest {
 protected:
  void SetUp() override {
    MapiUtilTest::SetUp();
    tool({"net", "add", "EXCH01", "--address", "10.1.2.3"});
    tool({"mapi", "exchange", "add", "EXCH01", "--mailbox", "jdoe", "--org", "Acme", "--site", "HQ"});
  }
};

TEST_F(ExchangeProfileTest, AnExchangeProfileHoldsOneConfiguredExchangeServiceThatIsTheDefaultStore) {
  CMapiUtil& util = running({"Outlook"});
  ASSERT_EQ(util.createExchangeProfile(CString(u"Work"), CString(u"EXCH01"), CString(u"jdoe")), S_OK);
  const std::string services = servicesOf("Work");
  EXPECT_NE(services.find("\tMSEMS\t"), std::string::npos) << services;
  EXPECT_EQ(services.find('\n'), services.size() - 1) << services;
  CMapiUtil::Session session;
  ASSERT_EQ(util.logon(session, CString(u"Work")), S_OK);
  EXPECT_TRUE(util.isDefaultServiceExchange(session.get()));
  EXPECT_TRUE(util.isOneOfServiceExchange(session.get()));
  CMapiUtil::Session outlook;
  ASSERT_EQ(util.logon(outlook, CString(u"Outlook")), S_OK);
  EXPECT_FALSE(util.isDefaultServiceExchange(outlook.get()));
  EXPECT_FALSE(util.isOneOfServiceExchange(outlook.get()));
  EXPECT_TRUE(util.isOneOfServiceExchange(nullptr));
}

TEST_F(ExchangeProfileTest, AFailureAtAnyStepLeavesNoProfileButAnEarlierProfileOfTheNameStays) {
  struct Case {
    const char* name;
    const char* point;  // a fault at this call, or none
    HRESULT error;
    const char16_t* server;
    const char16_t* mailbox;
  };
  const Case cases[] = {
      {"service not made", "IMsgServiceAdmin::CreateMsgService", MAPI_E_NOT_ENOUGH_DISK, u"EXCH01", u"jdoe"},
      {"configuration refused", "IMsgServiceAdmin::ConfigureMsgService", MAPI_E_NETWORK_ERROR, u"EXCH01", u"jdoe"},
      {"unknown mailbox", nullptr, MAPI_E_NOT_FOUND, u"EXCH01", u"nobody"},
      {"unknown server", nullptr, MAPI_E_NETWORK_ERROR, u"EXCH02", u"jdoe"},
  };
  CMapiUtil& util = running({"Outlook"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.point) kipotest::failCall(c.point, static_cast<DWORD>(c.error), u"", 1, 1);
    EXPECT_EQ(util.createExchangeProfile(CString(u"Work"), CString(c.server), CString(c.mailbox)), c.error);
    EXPECT_FALSE(profileListed("Work"));
    platform::fault::clearLocal();
  }
  // A profile of that name that was there before is not this call's to remove.
  tool({"mapi", "profile", "add", "Work", "--pst", "C:\\work.pst"});
  EXPECT_TRUE(FAILED(util.createExchangeProfile(CString(u"Work"), CString(u"EXCH01"), CString(u"jdoe"))));
  EXPECT_TRUE(profileListed("Work"));
  EXPECT_NE(servicesOf("Work").find("MSPST MS"), std::string::npos);
}

TEST_F(MapiUtilTest, TheDefaultStoreServiceIsFoundAndTheOthersDeletedOnlyWhenAsked) {
  CMapiUtil& util = running({"Outlook"});
  CMapiUtil::Session session;
  ASSERT_EQ(util.logon(session, CString(u"Outlook")), S_OK);
  CMapiUtil::ServiceAdmin admin;
  ASSERT_EQ(session->AdminServices(0, admin.put()), S_OK);
  char contab[] = "CONTAB";
  char pst[] = "MSPST MS";
  ASSERT_EQ(admin->CreateMsgService(contab, nullptr, 0, 0), S_OK);
  ASSERT_EQ(admin->CreateMsgService(pst, nullptr, 0, 0), S_OK);
  auto listed = services(admin.get());
  ASSERT_EQ(names(listed), (std::vector<std::string>{"MSPST MS", "CONTAB", "MSPST MS"}));
  // The new file service is configured but does not become the default store.
  EXPECT_TRUE(util.configureMessageService(admin.get(), &listed[2].second, CString(u"Archive"), CString(u"C:\\archive.pst")));

  EXPECT_EQ(util.getDefaultServiceName(session.get()), CString(u"MSPST MS"));
  MAPIUID uid{};
  ASSERT_TRUE(util.getDefaultServiceAndDeleteOthers(session.get(), uid, false));
  EXPECT_EQ(std::memcmp(&uid, &listed[0].second, sizeof uid), 0);
  EXPECT_EQ(services(admin.get()).size(), 3u);
  uid = MAPIUID{};
  ASSERT_TRUE(util.getDefaultServiceAndDeleteOthers(session.get(), uid, true));
  EXPECT_EQ(std::memcmp(&uid, &listed[0].second, sizeof uid), 0);
  EXPECT_EQ(names(services(admin.get())), (std::vector<std::string>{"MSPST MS"}));

  EXPECT_TRUE(util.deleteMessageService(admin.get(), &uid));
  EXPECT_TRUE(CMapiUtil::isNullUid(uid));
  EXPECT_FALSE(util.getDefaultServiceAndDeleteOthers(session.get(), uid, false));
  EXPECT_TRUE(util.getDefaultServiceName(session.get()).IsEmpty());
  EXPECT_FALSE(util.deleteMessageService(admin.get(), nullptr));
}

TEST_F(MapiUtilTest, AConfigurationMapiRefusesIsAFailureButAlreadyConfiguredIsNot) {
  struct Case {
    HRESULT error;
    bool result;
    const char* logged;
  };
  const Case cases[] = {
      {S_OK, true, ""},
      {MAPI_E_NOT_ENOUGH_RESOURCES, true,
       "configureMessageService() reports MAPI_E_NOT_ENOUGH_RESOURCES. Message service already configured?<br>"},
      {MAPI_E_CALL_FAILED, false,
       "{Mapi Manager}: Failed to configureMessageService with code 80004005<br>"
       "configureMessageService() failed\nserviceDisplayName: Archive serviceFilepath: C:\\archive.pst<br>"},
  };
  CMapiUtil& util = running({"Outlook"});
  CMapiUtil::Session session;
  ASSERT_EQ(util.logon(session, CString(u"Outlook")), S_OK);
  CMapiUtil::ServiceAdmin admin;
  ASSERT_EQ(session->AdminServices(0, admin.put()), S_OK);
  char pst[] = "MSPST MS";
  ASSERT_EQ(admin->CreateMsgService(pst, nullptr, 0, 0), S_OK);
  MAPIUID uid = services(admin.get()).back().second;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    createLog();
    if (c.error) kipotest::failCall("IMsgServiceAdmin::ConfigureMsgService", static_cast<DWORD>(c.error), u"", 1, 1);
    EXPECT_EQ(util.configureMessageService(admin.get(), &uid, CString(u"Archive"), CString(u"C:\\archive.pst")),
              c.result);
    EXPECT_EQ(logBytes(), c.logged);
    platform::fault::clearLocal();
  }
  EXPECT_FALSE(util.configureMessageService(admin.get(), &uid, CString(), CString(u"C:\\archive.pst")));
  EXPECT_FALSE(util.configureMessageService(nullptr, &uid, CString(u"Archive"), CString(u"C:\\archive.pst")));
}

}  // namespace
