// The e-mail accounts snap-in with the real message manager on stores made by `kipo-host mapi
// make`: a login writing an account that leaves mail on the server stamps the hidden message of
// the "Kipo" profile's store with that profile, and without the profile section's "0102300b" value
// the message stays as it was and the account is not written; a run with such an account replaces
// the sync store's old hidden messages with the host's one, or with none when the host has none.
#include <gtest/gtest.h>

#include <sstream>

#include "outlook/email_accounts_customizer.h"
#include "outlook/message_manager.h"
#include "tests/outlook/accounts_fixture.h"

namespace {

using namespace accountstest;

// The Outlook snap-in's link with the message manager itself behind it and the sync store of the
// profile "KipoSync".
class MessageManagerOutlook : public FakeOutlook {
 public:
  ~MessageManagerOutlook() override { syncSession.reset(); }
  bool personalizeMessageManager(IMsgStore* store, const CString& profile) override {
    FakeOutlook::personalizeMessageManager(store, profile);
    return CMessageManager().personalize(store, profile);
  }
  bool synchronizeMessageManager(IMsgStore* from, IMsgStore* to) override {
    FakeOutlook::synchronizeMessageManager(from, to);
    return CMessageManager().synchronize(from, to);
  }
  void openSyncMessageStore(CMapiUtil::Store& store) override {
    if (!syncSession && ::getMapiUtil()) ::getMapiUtil()->logon(syncSession, syncProfile);
    if (syncSession) ::getMapiUtil()->openDefaultMessageStore(store, syncSession.get());
  }
  CString syncProfile = CString(u"KipoSync");
  CMapiUtil::Session syncSession;
};

constexpr const char* kOld = "associated IPM.MessageManager Outlook 10 Message Manager (Old)\n";
constexpr const char* kView = "associated IPM.Microsoft.FolderDesign.NamedView Settings\n";

class EmailAccountsMessageManagerTest : public AccountsTest {
 protected:
  EmailAccountsMessageManagerTest() {
    doc.deleteCustomizers();
    auto made = std::make_unique<MessageManagerOutlook>();
    real = made.get();
    outlook = real;
    doc.addCustomizer(std::move(made));
    outlook->setPersonalized(true);
  }
  ~EmailAccountsMessageManagerTest() override {
    real->source.reset();
    real->personalizeSession.reset();
    real->syncSession.reset();
    if (getMapiUtil()) getMapiUtil()->uninitializeMapi();
  }

  void makeStore(const std::string& windowsPath, const std::string& description) {
    const std::filesystem::path file = host.c("store.txt");
    writeBytes(file, description);
    tool({"mapi", "make", windowsPath, "--from", file.string()});
  }
  // The message-manager messages of a store file, by subject, in order; and whether the folder
  // view is still there.
  static std::vector<std::string> hidden(const std::string& store) {
    std::string out;
    kipotest::runTool({"mapi", "dump", store}, &out);
    std::vector<std::string> subjects;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
      if (line.find("IPM.MessageManager") != std::string::npos) subjects.push_back(line.substr(line.find("Outlook 10")));
    return subjects;
  }
  static bool hasView(const std::string& store) {
    std::string out;
    kipotest::runTool({"mapi", "dump", store}, &out);
    return out.find("NamedView") != std::string::npos;
  }

  // A POP3 account of Outlook 2002/2003's layout under `key`.
  static void pop3(const CString& key, const char16_t* name, DWORD leaveOnServer) {
    setSz(key, u"clsid", kPop3);
    setBinText(key, u"Account Name", name);
    setBinText(key, u"POP3 Server", u"pop.example");
    setDword(key, u"Leave on Server", leaveOnServer);
  }

  MessageManagerOutlook* real = nullptr;
};

// The login stamps the "Kipo" store's hidden message with the profile's section value; a profile
// whose section lacks "0102300b" leaves the message alone, and the account leaving mail on the
// server is not written, the user told by the account's name.
TEST_F(EmailAccountsMessageManagerTest, ALoginStampsTheHiddenMessageOnlyWithTheProfilesSectionValue) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  makeStore("E:\\Kipo.pst", std::string("folder Inbox\n") + kView + "associated IPM.MessageManager Outlook 10 "
                                                                     "Message Manager (Home)\n");
  ASSERT_TRUE(startMapi().initializeMapi());
  ASSERT_NO_FATAL_FAILURE(makeKipoProfile());
  setSz(betaOutlook(), u"Outlook Version", u"2003");
  pop3(betaOutlook() + u"\\Accounts\\00000001", u"Home", 1);
  const CString section = getOutlookProfilesRegkey() + u"\\Kipo\\" + kMessageManagerSection;
  std::vector<BYTE> searchKey;
  ASSERT_TRUE(CRegistry(section).getBytes(kMessageManagerSearchKeyValue, searchKey))
      << "the profile has its search key from its creation on";
  ASSERT_TRUE(CRegistry(section, false, true).deleteValue(kMessageManagerSearchKeyValue));

  auto* accounts = make<CEMailAccountsCustomizer>();
  EXPECT_FALSE(accounts->personalize());
  EXPECT_EQ(hidden("E:\\Kipo.pst"), std::vector<std::string>{"Outlook 10 Message Manager (Home)"});
  EXPECT_FALSE(exists(profileStore(u"Kipo") + u"\\00000001"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("Home"), std::string::npos) << utf8(boxes[0].text);

  ASSERT_TRUE(CRegistry(section, false, true)
                  .setBinary(kMessageManagerSearchKeyValue, searchKey.data(), static_cast<DWORD>(searchKey.size())));
  EXPECT_TRUE(accounts->personalize());
  EXPECT_EQ(hidden("E:\\Kipo.pst"), std::vector<std::string>{"Outlook 10 Message Manager (Kipo)"});
  EXPECT_TRUE(hasView("E:\\Kipo.pst"));
  EXPECT_EQ(dword(profileStore(u"Kipo") + u"\\00000002", u"Leave on Server"), 1);
  EXPECT_EQ(boxes.size(), 1u);
}

// After a run with an account leaving mail on the server, the sync store holds exactly the host's
// hidden messages: its several old ones go, and a host without one leaves it without any.
TEST_F(EmailAccountsMessageManagerTest, ARunLeavesTheSyncStoreExactlyTheHostsHiddenMessage) {
  ASSERT_NO_FATAL_FAILURE(setOutlook("2003"));
  getDevicePrefs().openRoot();
  getDevicePrefs().setBool(u"alertUserToLMOS", false);
  struct Case {
    const char* number;
    const char* host;
    std::vector<std::string> after;
  };
  for (const Case& c : {Case{"1", "associated IPM.MessageManager Outlook 10 Message Manager (Host1)\n",
                             {"Outlook 10 Message Manager (Host1)"}},
                        Case{"2", "", {}}}) {
    SCOPED_TRACE(c.host[0] ? "the host has one" : "the host has none");
    const std::string host = std::string("Host") + c.number, sync = std::string("Sync") + c.number;
    const std::string hostPst = "C:\\" + host + ".pst", syncPst = "E:\\" + sync + ".pst";
    makeStore(hostPst, std::string("folder Inbox\nitem IPM.Note Hello\n") + c.host);
    makeStore(syncPst, std::string("folder Inbox\n") + kOld + kView + kOld + kOld);
    tool({"mapi", "profile", "add", host, "--pst", hostPst, "--default"});
    tool({"mapi", "profile", "add", sync, "--pst", syncPst});
    real->sourceProfile = CString(platform::text::fromUtf8(host).c_str());
    real->syncProfile = CString(platform::text::fromUtf8(sync).c_str());
    pop3(CEMailAccountInRegistryManager::rootKeyFor(real->sourceProfile) + u"\\00000001", u"Home", 1);

    ASSERT_TRUE(startMapi().initializeMapi());
    auto* accounts = make<CEMailAccountsCustomizer>();
    EXPECT_TRUE(accounts->postExecuteSyncOps(self(), 1));
    EXPECT_EQ(hidden(syncPst), c.after);
    EXPECT_TRUE(hasView(syncPst));
    EXPECT_EQ(real->calls, std::vector<std::string>{"synchronize store store"});
    EXPECT_FALSE(logHas("{Outlook Email Accounts Customizer}: Failed to synchronize message manager"));
    real->calls.clear();
    real->source.reset();
    real->syncSession.reset();
    getMapiUtil()->uninitializeMapi();
  }
}

}  // namespace
