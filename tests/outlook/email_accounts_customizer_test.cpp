// The e-mail accounts snap-in over fixtures of both Outlook layouts: a login writes the carried
// accounts into the host's store without passwords (converting between layouts, keeping or
// dropping accounts that leave mail on the server, a placeholder when none is left, SMTP settings
// from a donor); a run carries the host's store to the drive without passwords, with the
// Exchange names and, on Outlook 2000, only the accounts of the carried profile; an Outlook 2000
// host gets its own accounts back byte for byte at logout.
#include <gtest/gtest.h>

#include "app/preference_file.h"
#include "outlook/address_book_customizer.h"
#include "outlook/email_accounts_customizer.h"
#include "tests/outlook/accounts_fixture.h"
#include "tests/support/faults.h"

namespace {

using namespace accountstest;

class EmailAccountsCustomizerTest : public AccountsTest {
 protected:
  EmailAccountsCustomizerTest() { outlook->setPersonalized(true); }

  // The login computer's carried Outlook 2002/2003 store and one of its accounts.
  CString carried10() { return betaOutlook() + u"\\Accounts"; }
  CString carried10Account(const char16_t* id) { return carried10() + u"\\" + id; }
  CString carried9Account(const char16_t* id) { return betaOutlook() + u"\\OMI Account Manager\\Accounts\\" + id; }
  CString kipoAccount(const char16_t* id) { return profileStore(u"Kipo") + u"\\" + id; }

  // A POP3 account as Outlook 2002/2003 keeps it, with its passwords remembered.
  void carriedPop3(const char16_t* id, const char16_t* name, DWORD leaveOnServer) {
    const CString key = carried10Account(id);
    setSz(key, u"clsid", kPop3);
    setBinText(key, u"Account Name", name);
    setBinText(key, u"POP3 Server", u"pop.example");
    setBinText(key, u"POP3 User", name);
    setBytes(key, u"POP3 Password", {1, 2, 3, 4});
    setBytes(key, u"SMTP Password", {5, 6, 7, 8});
    setDword(key, u"POP3 Remember Passwd", 1);
    setDword(key, u"SMTP Remember Passwd", 1);
    setDword(key, u"Leave on Server", leaveOnServer);
  }

  // The names of the accounts in a store's accounts key, in key order.
  static std::vector<std::string> namesIn(const CString& accountsKey, bool binary) {
    CRegistry key(accountsKey);
    CStringList keys;
    std::vector<std::string> names;
    key.getSubkeyNames(keys, true);
    for (POSITION pos = keys.GetHeadPosition(); pos;) {
      const CString account = keys.GetNext(pos);
      names.push_back(binary ? binText(account, u"Account Name") : sz(account, u"Account Name"));
    }
    return names;
  }
};

TEST_F(EmailAccountsCustomizerTest, BetweenOutlook2003HostsTheCarriedPop3AccountsArriveWithoutPasswords) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  ASSERT_TRUE(startMapi().initializeMapi());
  ASSERT_NO_FATAL_FAILURE(makeKipoProfile());
  setSz(betaOutlook(), u"Outlook Version", u"2003");
  carriedPop3(u"00000001", u"Home", 1);
  carriedPop3(u"00000002", u"Club", 0);
  setSz(carried10Account(u"00000003"), u"clsid", kImap);
  setBinText(carried10Account(u"00000003"), u"Account Name", u"Work");
  setIds(carried10(), {2, 1, 3});
  // The profile's own store already holds an account: it makes way.
  setSz(kipoAccount(u"00000001"), u"clsid", kPop3);
  setBinText(kipoAccount(u"00000001"), u"Account Name", u"Old");
  setDword(profileStore(u"Kipo"), u"NextAccountID", 2);

  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_TRUE(accounts->personalize());
  EXPECT_TRUE(accounts->isPersonalized());
  // Leaving mail on the server works between two Outlook 2002/2003 hosts: that account stays.
  EXPECT_EQ(namesIn(profileStore(u"Kipo"), true), (std::vector<std::string>{"Home", "Club"}));
  // Club was the default account where it came from, and is so here.
  EXPECT_EQ(idsOf(profileStore(u"Kipo")), (std::vector<DWORD>{3, 2}));
  for (const char16_t* id : {u"00000002", u"00000003"}) {
    for (const char16_t* password : {u"POP3 Password", u"SMTP Password"}) EXPECT_FALSE(hasValue(kipoAccount(id), password));
    EXPECT_EQ(dword(kipoAccount(id), u"POP3 Remember Passwd"), 0);
    EXPECT_EQ(dword(kipoAccount(id), u"SMTP Remember Passwd"), 0);
  }
  EXPECT_EQ(dword(kipoAccount(u"00000002"), u"Leave on Server"), 1);
  EXPECT_EQ(outlook->calls, (std::vector<std::string>{"personalize store Kipo"}));
  EXPECT_TRUE(boxes.empty());
  outlook->personalizeSession.reset();
  getMapiUtil()->uninitializeMapi();
}

TEST_F(EmailAccountsCustomizerTest, FromOutlook2000AccountsLeavingMailOnTheServerAreDroppedAndNamed) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  setSz(betaOutlook(), u"Outlook Version", u"2000");
  for (auto [id, name, leave] : {std::tuple{u"00000001", u"Home", 1u}, std::tuple{u"00000002", u"Club", 0u},
                                 std::tuple{u"00000003", u"Gym", 3u}}) {
    setSz(carried9Account(id), u"Account Name", name);
    setSz(carried9Account(id), u"POP3 Server", u"pop.example");
    setBytes(carried9Account(id), u"POP3 Password2", {9, 9});
    setDword(carried9Account(id), u"Leave Mail On Server", leave);
  }
  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_TRUE(accounts->personalize());
  EXPECT_EQ(namesIn(profileStore(u"Kipo"), true), (std::vector<std::string>{"Club"}));
  const CString club = kipoAccount(u"00000001");
  EXPECT_EQ(sz(club, u"clsid"), utf8(CString(kPop3)));
  EXPECT_FALSE(hasValue(club, u"POP3 Password"));
  ASSERT_EQ(boxes.size(), 1u);
  const std::string text = utf8(boxes[0].text);
  EXPECT_NE(text.find("leave messages on the server"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 9), "Home\nGym\n");
}

// Without a POP3 account the host gets one placeholder account, unless Outlook runs on Exchange.
TEST_F(EmailAccountsCustomizerTest, WithNoPop3AccountLeftAPlaceholderIsWrittenOutsideExchangeMode) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2002"));
  setSz(betaOutlook(), u"Outlook Version", u"2002");
  setSz(carried10Account(u"00000001"), u"clsid", kHttp);
  for (bool exchange : {false, true}) {
    CRegistry{profileStore(u"Kipo")}.deleteKey();
    outlook->exchangeMode = exchange;
    auto* accounts = make<CEMailAccountsCustomizer>();
    EXPECT_TRUE(accounts->personalize());
    if (exchange) {
      EXPECT_EQ(namesIn(profileStore(u"Kipo"), true), std::vector<std::string>{});
      continue;
    }
    EXPECT_EQ(namesIn(profileStore(u"Kipo"), true), (std::vector<std::string>{"Kipo"}));
    const CString placeholder = kipoAccount(u"00000001");
    EXPECT_EQ(binText(placeholder, u"Display Name"), "Kipo Default Account");
    EXPECT_EQ(binText(placeholder, u"Email"), "default_email_address");
    EXPECT_EQ(binText(placeholder, u"POP3 Server"), "default_email_server");
    EXPECT_EQ(binText(placeholder, u"POP3 User"), "default_username");
  }
  EXPECT_TRUE(logHas("{EmailAccountsCustomizer}: No POP/SMTP accounts are setup on source or target machines"));
}

// The accounts sign in to SMTP as a donor does: the host's own account when it has a usable one,
// else the first carried account that authenticates.
TEST_F(EmailAccountsCustomizerTest, CarriedAccountsTakeTheSmtpSettingsOfADonor) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  setSz(betaOutlook(), u"Outlook Version", u"2003");
  for (const char16_t* id : {u"00000001", u"00000002", u"00000003"}) {
    carriedPop3(id, id, 0);
    setBinText(carried10Account(id), u"SMTP Server", u"own.smtp");
  }
  setDword(carried10Account(u"00000002"), u"SMTP Use Auth", 1);
  setBinText(carried10Account(u"00000002"), u"SMTP Server", u"auth.smtp");

  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_TRUE(accounts->personalize());
  for (const char16_t* id : {u"00000001", u"00000002", u"00000003"})
    EXPECT_EQ(binText(kipoAccount(id), u"SMTP Server"), "auth.smtp") << utf8(CString(id));
  EXPECT_EQ(dword(kipoAccount(u"00000001"), u"SMTP Auth Method"), 1);
  EXPECT_EQ(binText(kipoAccount(u"00000001"), u"SMTP User"), "00000002");

  // The host's default profile has an account that sends without authentication: it wins.
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  const CString hostAccount = profileStore(u"Outlook") + u"\\00000001";
  setSz(hostAccount, u"clsid", kPop3);
  setBinText(hostAccount, u"SMTP Server", u"host.smtp");
  CRegistry{profileStore(u"Kipo")}.deleteKey();
  setSz(outlook->getLocalPrefsKey() + u"\\Profiles", u"DefaultProfile", u"Outlook");  // the Outlook snap-in's backup
  EXPECT_TRUE(accounts->backup());
  EXPECT_TRUE(accounts->personalize());
  for (const char16_t* id : {u"00000001", u"00000002", u"00000003"})
    EXPECT_EQ(binText(kipoAccount(id), u"SMTP Server"), "host.smtp") << utf8(CString(id));
}

TEST_F(EmailAccountsCustomizerTest, ALoginWithoutCarriedOutlookVersionTouchesNoStore) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  carriedPop3(u"00000001", u"Home", 0);
  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_TRUE(accounts->personalize());
  EXPECT_TRUE(logHas("{EmailAccountsCustomizer}: Failed to get Outlook Version from Kipo registry."));
  EXPECT_FALSE(exists(profileStore(u"Kipo")));
  EXPECT_EQ(accounts->getSourceStore(), nullptr);

  setSz(betaOutlook(), u"Outlook Version", u"97");
  EXPECT_FALSE(accounts->personalize());
  EXPECT_TRUE(logHas("{EmailAccountsCustomizer}: Failed to interpret Outlook Version from Kipo registry."));
  EXPECT_FALSE(exists(profileStore(u"Kipo")));
}

// Nothing is done unless the Outlook snap-in put the user's Outlook in place.
TEST_F(EmailAccountsCustomizerTest, ALoginDoesNothingUnlessOutlookIsPersonalized) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  setSz(betaOutlook(), u"Outlook Version", u"2003");
  carriedPop3(u"00000001", u"Home", 0);
  auto check = [&](const char* why) {
    auto* accounts = make<CEMailAccountsCustomizer>();
    EXPECT_TRUE(accounts->personalize()) << why;
    EXPECT_FALSE(accounts->isPersonalized()) << why;
    EXPECT_FALSE(exists(profileStore(u"Kipo"))) << why;
  };
  outlook->pstExists = false;
  check("no drive PST");
  outlook->pstExists = true;
  outlook->sourceState = kSourceNothing;
  check("host profiles not saved");
  outlook->sourceState = kSourcePresent;
  outlook->setPersonalized(false);
  check("Outlook not personalized");

  CCustomizerDoc empty;
  std::unique_ptr<CEMailAccountsCustomizer> alone;
  {
    const CFactoryDocumentScope scope(&empty);
    alone = std::make_unique<CEMailAccountsCustomizer>();
  }
  EXPECT_TRUE(alone->personalize());
  EXPECT_TRUE(alone->backup());
  EXPECT_TRUE(alone->restore());
  EXPECT_EQ(alone->getSourceState(), kSourceNothing);
  EXPECT_FALSE(exists(profileStore(u"Kipo")));
}

TEST_F(EmailAccountsCustomizerTest, ARunCarriesTheOutlook2003StoreWithoutPasswordsAndTheExchangeNames) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  tool({"net", "add", "EXCH01", "--address", "10.1.2.3"});
  tool({"mapi", "exchange", "add", "EXCH01", "--mailbox", "jdoe", "--org", "Acme", "--site", "HQ"});
  tool({"mapi", "profile", "add", "Outlook", "--exchange", "EXCH01", "--mailbox", "jdoe", "--default"});
  ASSERT_TRUE(startMapi().initializeMapi());
  const CString host = profileStore(u"Outlook");
  const CString account = host + u"\\00000004";
  setSz(account, u"clsid", kPop3);
  setBinText(account, u"Account Name", u"Home");
  setBytes(account, u"POP3 Password", {1, 2});
  setBinText(account, u"HTTP Password", u"secret");
  setDword(account, u"POP3 Remember Passwd", 1);
  setDword(account, u"Leave on Server", 1);
  setIds(host, {4});
  getDevicePrefs().openRoot();
  getDevicePrefs().setBool(u"alertUserToLMOS", false);
  // A stale copy from an earlier run goes.
  setSz(alphaOutlook() + u"\\Accounts\\00000009", u"clsid", kPop3);

  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_TRUE(accounts->postExecuteSyncOps(self(), 1));
  const CString copy = alphaOutlook() + u"\\Accounts\\00000004";
  EXPECT_EQ(binText(copy, u"Account Name"), "Home");
  EXPECT_FALSE(hasValue(copy, u"POP3 Password"));
  EXPECT_FALSE(hasValue(copy, u"HTTP Password"));
  EXPECT_EQ(dword(copy, u"POP3 Remember Passwd"), 0);
  EXPECT_FALSE(exists(alphaOutlook() + u"\\Accounts\\00000009"));
  EXPECT_EQ(idsOf(alphaOutlook() + u"\\Accounts"), (std::vector<DWORD>{4}));
  // The host's own store keeps its passwords.
  EXPECT_TRUE(hasValue(account, u"POP3 Password"));
  // The server's and mailbox's names, each after the last "=" of its distinguished name.
  EXPECT_EQ(sz(accounts->getCurrentPrefsKey(), u"exchangeServerName"), "EXCH01");
  EXPECT_EQ(sz(accounts->getCurrentPrefsKey(), u"exchangeMailboxName"), "jdoe");
  CString server, mailbox;
  EXPECT_TRUE(accounts->getExchangeNames(self(), server, mailbox));
  EXPECT_FALSE(accounts->getExchangeNames(beta, server, mailbox));
  // An account leaving mail on the server: the message manager goes to the drive's store too.
  EXPECT_EQ(outlook->calls, (std::vector<std::string>{"synchronize store store"}));
  outlook->source.reset();
  getMapiUtil()->uninitializeMapi();

  // Not set up for this run, the snap-in carries nothing.
  outlook->synchronizerReady = false;
  EXPECT_FALSE(accounts->postExecuteSyncOps(self(), 1));
}

// The drive's copy is replaced only by a whole one: a host store that cannot be read keeps the
// accounts of the last run on the drive, and the user is told.
TEST_F(EmailAccountsCustomizerTest, ARunThatCannotReadTheHostsStoreKeepsTheDrivesCopy) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  ASSERT_TRUE(startMapi().initializeMapi());
  const CString host = profileStore(u"Outlook");
  for (const char16_t* id : {u"00000001", u"00000002"}) {
    setSz(host + u"\\" + id, u"clsid", kPop3);
    setBinText(host + u"\\" + id, u"Account Name", id);
    setBytes(host + u"\\" + id, u"POP3 Password", {1, 2});
  }
  const CString earlier = alphaOutlook() + u"\\Accounts\\00000009";
  setSz(earlier, u"clsid", kPop3);
  setBinText(earlier, u"Account Name", u"Earlier");

  auto* accounts = make<CEMailAccountsCustomizer>();
  kipotest::failCall("RegOpenKeyExW", ERROR_ACCESS_DENIED, std::u16string((host + u"\\00000002").view()));
  EXPECT_FALSE(accounts->postExecuteSyncOps(self(), 1));
  platform::fault::clearLocal();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(binText(earlier, u"Account Name"), "Earlier");
  EXPECT_FALSE(exists(alphaOutlook() + u"\\Accounts\\00000001"));
  const CString staged = accounts->getLocalPrefsKey() + u"\\Staged account store";
  EXPECT_FALSE(exists(staged));

  EXPECT_TRUE(accounts->postExecuteSyncOps(self(), 1));
  EXPECT_FALSE(exists(earlier));
  EXPECT_EQ(binText(alphaOutlook() + u"\\Accounts\\00000002", u"Account Name"), "00000002");
  EXPECT_FALSE(hasValue(alphaOutlook() + u"\\Accounts\\00000002", u"POP3 Password"));
  EXPECT_FALSE(exists(staged));
  outlook->source.reset();
  getMapiUtil()->uninitializeMapi();
}

// Outlook 2000 keeps every profile's accounts in one store: only those of the carried profile go,
// known by their services under either spelling of the prefix.
TEST_F(EmailAccountsCustomizerTest, ARunCarriesTheOutlook2000AccountsOfTheCarriedProfileOnly) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2000"));
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  ASSERT_TRUE(startMapi().initializeMapi());
  CMapiUtil::ProfAdmin admin;
  getMapiUtil()->getMapiProfAdmin(admin);
  for (const char16_t* display : {u"Internet E-mail - Home", u"Internet Email - Work"})
    ASSERT_TRUE(getMapiUtil()->addServiceToProfile(admin.get(), CString(u"Outlook"), CString(u"IMAIL"), CString(display)));
  for (auto [id, name] : {std::pair{u"00000001", u"Home"}, std::pair{u"00000002", u"Work"},
                          std::pair{u"00000003", u"Stale"}}) {
    const CString key = CString(kOmiAccounts) + u"\\" + id;
    setSz(key, u"Account Name", name);
    setSz(key, u"POP3 Server", u"pop.example");
    setBytes(key, u"POP3 Password2", {1, 2, 3});
    setBytes(key, u"SMTP Password2", {4, 5});
    setDword(key, u"POP3 Prompt for Password", 0);
  }
  setSz(CString(kProfiles) + u"\\Outlook\\0a0d020000000000c000000000000046", u"001e0361", u"Cheers");
  setDword(CString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\9.0\\Outlook\\Preferences"), u"AddSigToReplyNote", 1);

  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_TRUE(accounts->postExecuteSyncOps(self(), 1));
  const CString copy = alphaOutlook() + u"\\OMI Account Manager\\Accounts";
  EXPECT_EQ(namesIn(copy, false), (std::vector<std::string>{"Home", "Work"}));
  EXPECT_TRUE(logHas("{EmailAccountsCustomizer}: Removing account from sync: Stale because it is not associated with "
                     "the source profile."));
  for (const char16_t* id : {u"00000001", u"00000002"}) {
    EXPECT_FALSE(hasValue(copy + u"\\" + id, u"POP3 Password2"));
    EXPECT_FALSE(hasValue(copy + u"\\" + id, u"SMTP Password2"));
    EXPECT_EQ(dword(copy + u"\\" + id, u"POP3 Prompt for Password"), 1);
  }
  EXPECT_EQ(sz(alphaOutlook(), u"V9_WHICH_SIGNATURE"), "Cheers");
  EXPECT_EQ(dword(alphaOutlook(), u"V9_AddSigToReplyNote"), 1);
  EXPECT_TRUE(exists(CString(kOmiAccounts) + u"\\00000003"));
  getMapiUtil()->uninitializeMapi();
}

// On an Outlook 2000 host the login writes into the host's own store; the logout puts it back as
// it was, also when the host had none.
TEST_F(EmailAccountsCustomizerTest, AnOutlook2000HostGetsItsOwnAccountsBackByteForByte) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2000"));
  setSz(betaOutlook(), u"Outlook Version", u"2000");
  setSz(carried9Account(u"00000001"), u"Account Name", u"Carried");
  setSz(carried9Account(u"00000001"), u"POP3 Server", u"pop.carried");
  setSz(betaOutlook() + u"\\OMI Account Manager", u"Default Mail Account", u"00000001");
  const CString preferences(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\9.0\\Outlook\\Preferences");
  setDword(preferences, u"Other", 7);

  for (bool hostHasStore : {true, false}) {
    CRegistry{CString(kOmi)}.deleteKey();
    if (hostHasStore) {
      setSz(CString(kOmiAccounts) + u"\\00000005", u"Account Name", u"Mine");
      setSz(CString(kOmiAccounts) + u"\\00000005", u"POP3 Server", u"pop.mine");
      setSz(CString(kOmiAccounts) + u"\\00000006", u"LDAP Server", u"directory");
      setSz(CString(kOmi), u"Default Mail Account", u"00000005");
      setDword(CString(kOmi), u"Account Name", 7);
    }
    const sessiontest::HostState before = sessiontest::registryState();
    auto* accounts = make<CEMailAccountsCustomizer>();
    EXPECT_TRUE(accounts->backup());
    EXPECT_EQ(accounts->getSourceState(), kSourcePresent);
    EXPECT_TRUE(accounts->personalize());
    EXPECT_EQ(namesIn(CString(kOmiAccounts), false),
              hostHasStore ? (std::vector<std::string>{"<none>", "Carried"}) : (std::vector<std::string>{"Carried"}));
    EXPECT_TRUE(accounts->restore());
    EXPECT_FALSE(accounts->isPersonalized());
    EXPECT_EQ(sessiontest::registryState(), before) << (hostHasStore ? "with a store" : "without one");
  }
}

// On an Outlook 2000 host with MAPI each written account also gets its Internet mail service in
// the profile "Kipo", named so that the next run knows the account as one of the profile's.
TEST_F(EmailAccountsCustomizerTest, AnOutlook2000AccountGetsItsInternetMailServiceInTheProfile) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2000"));
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  ASSERT_TRUE(startMapi().initializeMapi());
  ASSERT_NO_FATAL_FAILURE(makeKipoProfile());
  setSz(betaOutlook(), u"Outlook Version", u"2003");
  carriedPop3(u"00000001", u"Home", 0);
  carriedPop3(u"00000002", u"Club", 0);
  setSz(outlook->getLocalPrefsKey() + u"\\OMI Account Manager", u"x", u"y");

  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_TRUE(accounts->personalize());
  EXPECT_EQ(namesIn(CString(kOmiAccounts), false), (std::vector<std::string>{"Home", "Club"}));
  std::string listed;
  kipotest::runTool({"mapi", "services", "Kipo"}, &listed);
  EXPECT_NE(listed.find("IMAIL\tInternet Email - Home"), std::string::npos) << listed;
  EXPECT_NE(listed.find("IMAIL\tInternet Email - Club"), std::string::npos) << listed;
  CMapiUtil::ProfAdmin admin;
  getMapiUtil()->getMapiProfAdmin(admin);
  std::vector<CString> names;
  ASSERT_TRUE(getMapiUtil()->getImailMessageServiceList(admin.get(), CString(u"Kipo"), names));
  EXPECT_EQ(names, (std::vector<CString>{CString(u"Home"), CString(u"Club")}));
  getMapiUtil()->uninitializeMapi();
}

// The same through the document's login and logout passes, with the snap-ins in factory order.
TEST_F(EmailAccountsCustomizerTest, TheDocumentsLoginAndLogoutLeaveAnOutlook2000HostAsItWas) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2000"));
  outlook->setPersonalized(false);
  setSz(betaOutlook(), u"Outlook Version", u"2000");
  setSz(carried9Account(u"00000001"), u"Account Name", u"Carried");
  setSz(carried9Account(u"00000001"), u"POP3 Server", u"pop.carried");
  setSz(CString(kOmiAccounts) + u"\\00000001", u"Account Name", u"Mine");
  setSz(CString(kOmiAccounts) + u"\\00000001", u"POP3 Server", u"pop.mine");
  setBytes(CString(kOmiAccounts) + u"\\00000001", u"POP3 Password2", {1, 2, 3});
  setDword(CString(kOmi), u"Account Name", 2);
  auto* accounts = make<CEMailAccountsCustomizer>();
  make<COutlookABCustomizer>();
  doc.setEndOfPassPause(0);
  const sessiontest::HostState before = sessiontest::registryState();

  ASSERT_TRUE(doc.personalize());
  EXPECT_TRUE(accounts->isPersonalized());
  EXPECT_EQ(namesIn(CString(kOmiAccounts), false), (std::vector<std::string>{"Carried"}));
  ASSERT_TRUE(doc.depersonalize());
  EXPECT_FALSE(accounts->isPersonalized());
  EXPECT_EQ(sessiontest::registryState(), before);
}

TEST_F(EmailAccountsCustomizerTest, TheSourceStateIsTheSavedHostState) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_EQ(accounts->getSourceState(), kSourceNothing);
  setSz(outlook->getLocalPrefsKey() + u"\\Profiles", u"x", u"y");
  EXPECT_EQ(accounts->getSourceState(), kSourcePresent);
  ASSERT_NO_FATAL_FAILURE(setOutlook("2000"));
  EXPECT_EQ(accounts->getSourceState(), kSourceNothing);
  setSz(outlook->getLocalPrefsKey() + u"\\OMI Account Manager", u"x", u"y");
  EXPECT_EQ(accounts->getSourceState(), kSourcePresent);
}

}  // namespace
