// Account records and account stores of both Outlook layouts, on registry trees written as the
// layouts describe them: what a record reads and derives, what it writes back, how stores give
// out ids and keep the default-account marker, and which keys removing the mail accounts leaves.
#include <gtest/gtest.h>

#include "outlook/account_v10.h"
#include "outlook/account_v9.h"
#include "outlook/email_account_manager.h"
#include "tests/outlook/accounts_fixture.h"
#include "tests/support/faults.h"

namespace {

using namespace accountstest;
namespace p = accountprop;

class EmailAccountTest : public AccountsTest {
 protected:
  // A carried Outlook 2000 store (not the host's: no MAPI profile or host signature is involved).
  CString v9Root() { return betaOutlook() + u"\\OMI Account Manager"; }
  CString v9Account(const char16_t* id) { return v9Root() + u"\\Accounts\\" + id; }
  CString v10Root() { return profileStore(u"Kipo"); }
  CString v10Account(const char16_t* id) { return v10Root() + u"\\" + id; }
};

TEST_F(EmailAccountTest, KindCodesFollowTheVersion) {
  for (auto [code, kind] : std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 2}, {5, 2}, {6, 0}})
    EXPECT_EQ(accountManagerKindFromVersionCode(code), kind) << code;
  for (auto [name, kind] : std::vector<std::pair<const char16_t*, int>>{
           {u"Unknown", 0}, {u"2000", 1}, {u"2002", 2}, {u"2003", 2}, {u"97", 0}, {u"", 0}})
    EXPECT_EQ(accountManagerKindFromVersionName(CString(name)), kind) << utf8(CString(name));
}

// The class id comes from the server that is set; the authentication settings from one number.
TEST_F(EmailAccountTest, AnOutlook2000AccountReadsItsKindAndAuthenticationFromItsOwnForms) {
  struct Case {
    const char16_t* server;
    int kind;
  };
  for (Case c : {Case{u"POP3 Server", kAccountKindPop3}, Case{u"IMAP Server", kAccountKindImap}, Case{nullptr, 0}}) {
    CRegistry{v9Account(u"00000001")}.deleteKey();
    setSz(v9Account(u"00000001"), u"Account Name", u"Home");
    if (c.server) setSz(v9Account(u"00000001"), c.server, u"mail.example");
    COutlookAccountV9 account;
    ASSERT_TRUE(account.read(v9Account(u"00000001")));
    EXPECT_EQ(account.getAccountKind(), c.kind);
  }

  struct Auth {
    DWORD sicily;
    LONG useAuth, method, spa;  // -1: absent
  };
  for (Auth a : {Auth{0, -1, -1, -1}, Auth{1, 1, 1, 1}, Auth{2, 1, -1, -1}, Auth{3, 1, 1, -1}, Auth{4, -1, -1, -1}}) {
    setDword(v9Account(u"00000001"), u"SMTP Use Sicily", a.sicily);
    COutlookAccountV9 account;
    ASSERT_TRUE(account.read(v9Account(u"00000001")));
    EXPECT_EQ(account.getNumber(p::kSmtpUseAuth, -1), a.useAuth) << a.sicily;
    EXPECT_EQ(account.getNumber(p::kSmtpAuthMethod, -1), a.method) << a.sicily;
    EXPECT_EQ(account.getNumber(p::kSmtpUseSpa, -1), a.spa) << a.sicily;
    // Written back, the number is the one read (4 means no authentication, written as 0).
    ASSERT_TRUE(account.write(v9Account(u"00000002")));
    EXPECT_EQ(dword(v9Account(u"00000002"), u"SMTP Use Sicily"), a.sicily == 4 ? 0 : static_cast<long>(a.sicily));
  }
}

TEST_F(EmailAccountTest, AnOutlook2000AccountDerivesRememberingSignatureAndDefaultFromItsStore) {
  const CString key = v9Account(u"00000003");
  setSz(key, u"Account Name", u"Home");
  setSz(key, u"POP3 Server", u"pop.example");
  setDword(key, u"POP3 Prompt for Password", 1);
  setSz(v9Root(), u"Default Mail Account", u"00000003");
  setSz(betaOutlook(), u"V9_WHICH_SIGNATURE", u"Cheers");
  setDword(betaOutlook(), u"V9_AddSigToReplyNote", 1);
  COutlookAccountV9 account;
  ASSERT_TRUE(account.read(key));
  EXPECT_EQ(account.getNumber(p::kPop3RememberPassword, -1), 0);
  EXPECT_EQ(account.getNumber(p::kSmtpRememberPassword, -1), 1);  // no prompt value: remembered
  EXPECT_EQ(utf8(account.getText(p::kNewSignature)), "Cheers");
  EXPECT_EQ(utf8(account.getText(p::kReplySignature)), "Cheers");
  EXPECT_EQ(account.getNumber(p::kIsDefault, -1), 1);

  setDword(betaOutlook(), u"V9_AddSigToReplyNote", 0);
  setSz(v9Root(), u"Default Mail Account", u"00000004");
  COutlookAccountV9 again;
  ASSERT_TRUE(again.read(key));
  EXPECT_FALSE(again.hasProperty(p::kReplySignature));
  EXPECT_EQ(again.getNumber(p::kIsDefault, -1), 0);
}

// Reading is looking: a key that is not there is not made.
TEST_F(EmailAccountTest, ReadingAMissingAccountFailsAndCreatesNothing) {
  COutlookAccountV9 v9;
  COutlookAccountV10 v10;
  EXPECT_FALSE(v9.read(v9Account(u"00000009")));
  EXPECT_FALSE(v10.read(v10Account(u"00000009")));
  EXPECT_FALSE(exists(v9Root()));
  EXPECT_FALSE(exists(v10Root()));
}

TEST_F(EmailAccountTest, AnOutlook2000RecordWrittenAsOutlook2002TakesTheDerivedValues) {
  const CString key = v9Account(u"00000001");
  setSz(key, u"Account Name", u"Home");
  setSz(key, u"POP3 Server", u"pop.example");
  setSz(key, u"SMTP Email Address", u"me@example");
  setDword(key, u"SMTP Prompt for Password", 1);
  COutlookAccountV9 v9;
  ASSERT_TRUE(v9.read(key));
  COutlookAccountManagerV10 store(v10Root());
  auto copy = store.createAccountCopy(v9);
  ASSERT_TRUE(copy->write(v10Account(u"00000001")));
  EXPECT_EQ(binText(v10Account(u"00000001"), u"Account Name"), "Home");
  EXPECT_EQ(binText(v10Account(u"00000001"), u"Email"), "me@example");
  EXPECT_EQ(sz(v10Account(u"00000001"), u"clsid"), utf8(CString(kPop3)));
  EXPECT_EQ(dword(v10Account(u"00000001"), u"POP3 Remember Passwd"), 1);
  EXPECT_EQ(dword(v10Account(u"00000001"), u"SMTP Remember Passwd"), 0);

  // And back: no "Leave Mail On Server" for a record without it; a set one keeps only its bit.
  COutlookAccountV10 v10;
  ASSERT_TRUE(v10.read(v10Account(u"00000001")));
  COutlookAccountV9 back(v10);
  ASSERT_TRUE(back.write(v9Account(u"00000005")));
  EXPECT_FALSE(hasValue(v9Account(u"00000005"), u"Leave Mail On Server"));
  EXPECT_EQ(dword(v9Account(u"00000005"), u"POP3 Prompt for Password"), 0);
  EXPECT_EQ(dword(v9Account(u"00000005"), u"SMTP Prompt for Password"), 1);
  back.setNumber(p::kLeaveOnServer, 3);
  ASSERT_TRUE(back.write(v9Account(u"00000005")));
  EXPECT_EQ(dword(v9Account(u"00000005"), u"Leave Mail On Server"), 1);
}

TEST_F(EmailAccountTest, Outlook2000StoresCountIdsFromOneAndPassOverKeysThatExist) {
  COutlookAccountManagerV9 store(v9Root());
  EXPECT_EQ(utf8(store.createAccountKey(false)), utf8(v9Account(u"00000001")));
  EXPECT_EQ(dword(v9Root(), u"Account Name"), 2);
  EXPECT_EQ(sz(v9Root(), u"Default Mail Account"), "<none>");

  // Another program's account sits past the counter: its key is not given out again.
  setSz(v9Account(u"00000002"), u"Account Name", u"Theirs");
  EXPECT_EQ(utf8(store.createAccountKey(true)), utf8(v9Account(u"00000003")));
  EXPECT_EQ(dword(v9Root(), u"Account Name"), 4);
  EXPECT_EQ(sz(v9Root(), u"Default Mail Account"), "00000003");
  EXPECT_EQ(sz(v9Account(u"00000002"), u"Account Name"), "Theirs");
}

TEST_F(EmailAccountTest, Outlook2002StoresEnterNewIdsInTheAccountList) {
  struct Case {
    std::vector<BYTE> list;  // empty: no list value
    bool makeDefault;
    std::vector<DWORD> expected;
  };
  const std::vector<BYTE> fiveSeven = {5, 0, 0, 0, 7, 0, 0, 0};
  for (const Case& c : {Case{{}, false, {9}}, Case{{}, true, {9}}, Case{fiveSeven, true, {9, 5, 7}},
                        Case{fiveSeven, false, {5, 7, 9}}, Case{{1, 2, 3, 4, 5, 6}, true, {0x04030201, 0xBADB1725}}}) {
    CRegistry{v10Root()}.deleteKey();
    setDword(v10Root(), u"NextAccountID", 9);
    if (!c.list.empty()) setBytes(v10Root(), kList, c.list);
    COutlookAccountManagerV10 store(v10Root());
    EXPECT_EQ(utf8(store.createAccountKey(c.makeDefault)), utf8(v10Account(u"00000009")));
    EXPECT_EQ(dword(v10Root(), u"NextAccountID"), 10);
    EXPECT_EQ(idsOf(v10Root()), c.expected);
  }
}

// Directory services and other keys stay; the default marker points at the next new account.
TEST_F(EmailAccountTest, RemovingMailAccountsKeepsOtherKindsOfKeys) {
  setSz(v9Account(u"00000001"), u"POP3 Server", u"pop");
  setSz(v9Account(u"00000002"), u"IMAP Server", u"imap");
  setSz(v9Account(u"00000003"), u"LDAP Server", u"directory");
  setDword(v9Root(), u"Account Name", 4);
  COutlookAccountManagerV9 v9(v9Root());
  EXPECT_TRUE(v9.removeMailAccounts());
  EXPECT_FALSE(exists(v9Account(u"00000001")));
  EXPECT_FALSE(exists(v9Account(u"00000002")));
  EXPECT_TRUE(exists(v9Account(u"00000003")));
  EXPECT_EQ(sz(v9Root(), u"Default Mail Account"), "00000004");

  for (const char16_t* clsid : {kPop3, kImap, kHttp, u"{00000000-0000-0000-0000-000000000000}"}) {
    static int id = 0;
    const CString key = v10Account(accountIdText(++id).GetString());
    setSz(key, u"clsid", clsid);
  }
  setIds(v10Root(), {1, 2, 3, 4});
  COutlookAccountManagerV10 v10(v10Root());
  EXPECT_TRUE(v10.removeMailAccounts());
  for (const char16_t* gone : {u"00000001", u"00000002", u"00000003"}) EXPECT_FALSE(exists(v10Account(gone)));
  EXPECT_TRUE(exists(v10Account(u"00000004")));
  EXPECT_FALSE(hasValue(v10Root(), kList));

  // A store that was never made has nothing to remove, and is not made for the asking.
  COutlookAccountManagerV10 none(profileStore(u"Nobody"));
  EXPECT_TRUE(none.removeMailAccounts());
  EXPECT_FALSE(exists(profileStore(u"Nobody")));
}

TEST_F(EmailAccountTest, AnOutlook2002AccountIsDefaultByTheFrontOfTheListAndMovesThereWhenWritten) {
  setIds(v10Root(), {5, 7, 9});
  for (const char16_t* id : {u"00000005", u"00000007"}) setSz(v10Account(id), u"clsid", kPop3);
  COutlookAccountV10 first, second;
  ASSERT_TRUE(first.read(v10Account(u"00000005")));
  ASSERT_TRUE(second.read(v10Account(u"00000007")));
  EXPECT_EQ(first.getNumber(p::kIsDefault, -1), 1);
  EXPECT_EQ(second.getNumber(p::kIsDefault, -1), 0);

  second.setNumber(p::kIsDefault, 1);
  EXPECT_TRUE(second.write(v10Account(u"00000007")));
  EXPECT_EQ(idsOf(v10Root()), (std::vector<DWORD>{7, 5, 9}));
  // An account the list does not name cannot become the default: the list stays as it was.
  EXPECT_FALSE(second.write(v10Account(u"00000008")));
  EXPECT_EQ(idsOf(v10Root()), (std::vector<DWORD>{7, 5, 9}));
}

// An account that leaves its mail on the server needs the store's message manager to name the
// profile it is written into; without it the account is not written and the user is told.
TEST_F(EmailAccountTest, AnAccountLeavingMailOnTheServerIsWrittenOnlyWithTheMessageManagerSetUp) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  ASSERT_TRUE(startMapi().initializeMapi());
  ASSERT_NO_FATAL_FAILURE(makeKipoProfile());
  COutlookAccountManagerV10 store(v10Root(), outlook);
  auto account = store.createAccount();
  account->setText(p::kAccountName, CString(u"Home"));
  account->setText(p::kClassId, CString(kPop3));
  account->setNumber(p::kLeaveOnServer, 1);

  outlook->messageManagerWorks = false;
  EXPECT_FALSE(account->write(v10Account(u"00000001")));
  EXPECT_FALSE(exists(v10Account(u"00000001")));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("Home"), std::string::npos);

  outlook->messageManagerWorks = true;
  EXPECT_TRUE(account->write(v10Account(u"00000001")));
  EXPECT_EQ(dword(v10Account(u"00000001"), u"Leave on Server"), 1);
  EXPECT_EQ(outlook->calls, (std::vector<std::string>{"personalize store Kipo", "personalize store Kipo"}));
  outlook->personalizeSession.reset();
  getMapiUtil()->uninitializeMapi();
}

// A value that cannot be written leaves the account incomplete: the write says so, in both
// layouts, and a later write that goes through completes it.
TEST_F(EmailAccountTest, AnAccountWrittenOnlyInPartIsAFailedWrite) {
  COutlookAccountV9 v9;
  COutlookAccountV10 v10;
  struct Layout {
    CEMailAccountInRegistry* account;
    CString key;
  };
  for (const auto& [account, key] : {Layout{&v9, v9Account(u"00000001")}, Layout{&v10, v10Account(u"00000001")}}) {
    SCOPED_TRACE(utf8(key));
    account->setText(p::kAccountName, CString(u"Home"));
    account->setText(p::kClassId, CString(kPop3));
    account->setText(p::kPop3Server, CString(u"pop.example"));
    // The second value the record writes fails, once.
    kipotest::failCall("SHSetValueW", ERROR_ACCESS_DENIED, {}, 2, 1);
    EXPECT_FALSE(account->write(key));
    platform::fault::clearLocal();
    EXPECT_FALSE(hasValue(key, u"POP3 Server")) << "the values after the failed one are not written";
    EXPECT_TRUE(account->write(key));
    EXPECT_TRUE(hasValue(key, u"POP3 Server"));
  }
}

TEST_F(EmailAccountTest, SmtpSettingsAreCopiedFromADonor) {
  CEMailAccountPropertyMap donor, withMethod, account;
  donor.setText(p::kPop3User, CString(u"pop-user"));
  donor.setText(p::kSmtpServer, CString(u"smtp.example"));
  donor.setNumber(p::kSmtpUseAuth, 1);
  donor.setNumber(p::kSmtpUseSsl, 1);
  account.setText(p::kSmtpUser, CString(u"stale"));
  account.setNumber(p::kSmtpUseSpa, 1);
  account.copySmtpSettings(donor);
  EXPECT_EQ(utf8(account.getText(p::kSmtpServer)), "smtp.example");
  EXPECT_EQ(account.getNumber(p::kSmtpAuthMethod, -1), 1);
  EXPECT_EQ(utf8(account.getText(p::kSmtpUser)), "pop-user");  // the POP3 user signs in to SMTP
  EXPECT_FALSE(account.hasProperty(p::kSmtpUseSpa));
  EXPECT_EQ(account.getNumber(p::kSmtpUseSsl, -1), 1);

  withMethod.setNumber(p::kSmtpAuthMethod, 2);
  withMethod.setText(p::kSmtpUser, CString(u"smtp-user"));
  withMethod.setText(p::kPop3User, CString(u"pop-user"));
  account.copySmtpSettings(withMethod);
  EXPECT_EQ(account.getNumber(p::kSmtpAuthMethod, -1), 2);
  EXPECT_EQ(utf8(account.getText(p::kSmtpUser)), "smtp-user");
  EXPECT_FALSE(account.hasProperty(p::kSmtpServer));
}

TEST_F(EmailAccountTest, AccountListBytesAreReadOnlyWhenWhole) {
  std::vector<DWORD> ids{42};
  EXPECT_FALSE(parseAccountList({}, ids));
  EXPECT_TRUE(ids.empty());
  EXPECT_FALSE(parseAccountList({1, 0, 0, 0, 2}, ids));
  EXPECT_TRUE(parseAccountList({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, ids));
  EXPECT_EQ(ids, (std::vector<DWORD>{1, 0xFFFFFFFF}));
  EXPECT_EQ(accountListBytes(ids), (std::vector<BYTE>{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

}  // namespace
