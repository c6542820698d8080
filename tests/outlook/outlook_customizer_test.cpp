// The Outlook data snap-in on a host with the MAPI stand-in: a login over the drive's "Kipo.pst"
// and a logout that puts the host's profiles back exactly, a run in the middle of a login, the
// Exchange road and when it is not taken, the source state, a backup that cannot save, a
// computer's removal and the deletion of the drive's Outlook data, and the factory's snap-in.
#include "outlook/outlook_customizer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/registry.h"
#include "outlook/email_accounts_customizer.h"
#include "outlook/item_sync_op.h"
#include "lang/ids.h"
#include "tests/support/faults.h"
#include "tests/outlook/outlook_snapin_fixture.h"

namespace {

using outlooktest::OutlookSnapinTest;

constexpr const char* kProfilesKey =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr const char* kOptionsKey = "HKCU\\Software\\Microsoft\\Exchange\\Client\\Options";
constexpr const char16_t* kLocalKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\Outlook";
constexpr const char16_t* kAlphaOutlookPrefs =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Outlook";
constexpr const char16_t* kBetaOutlookPrefs =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\BETA\\Outlook";
constexpr const char16_t* kAlphaAccountsPrefs =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Outlook Email Accounts";

class OutlookCustomizerTest : public OutlookSnapinTest {
 protected:
  // A document whose "Outlook" is the real snap-in, made as the factory makes it; `more` after it.
  template <class... More>
  void makeSnapin() {
    doc = std::make_unique<CCustomizerDoc>();
    const CFactoryDocumentScope scope(doc.get());
    auto made = std::make_unique<COutlookCustomizer>();
    snap = made.get();
    doc->addCustomizer(std::move(made));
    (doc->addCustomizer(std::make_unique<More>()), ...);
  }

  // The key's export, or "<none>" when it cannot be exported.
  std::string exportKey(const char* key) {
    const std::filesystem::path file = host.c("export.reg");
    std::filesystem::remove(file);
    if (kipotest::runTool({"reg", "export", key, file.string()}) != 0) return "<none>";
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  static std::string pickLogonProfile() {
    return regText(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Exchange\\Client\\Options", kPickLogonProfileValue);
  }
  std::string dump(const std::string& store) { return toolOut({"mapi", "dump", store}); }
  // Where a Windows path of drive C: or E: lies in the test's folders.
  std::filesystem::path onHost(const CString& windowsPath) {
    std::string path = utf8(windowsPath);
    const bool onDrive = path[0] == 'E' || path[0] == 'e';
    std::filesystem::path out = onDrive ? drive : host.c();
    std::string rest = path.substr(3);
    for (std::size_t at; (at = rest.find('\\')) != std::string::npos;) {
      out /= rest.substr(0, at);
      rest.erase(0, at + 1);
    }
    return out / rest;
  }

  // The host's own Outlook: profile "Work" over a store with one Inbox item, the default profile.
  void hostWithWork() {
    setOutlook("2003");
    makeStore("C:\\work.pst", "folder Inbox\nitem IPM.Note From the host\n");
    addProfile("Work", "C:\\work.pst", true);
  }
  // This computer's Inbox carried (the record names the folder only; the run finds its id).
  void carryInbox() {
    snap->folderSyncPrefs(self()).push_back(std::make_unique<COutlookFolderSyncPref>(CString(u"Inbox")));
  }

  // One run of the snap-in alone as the coordinator drives it; the subjects it planned.
  std::vector<std::string> runOnce() {
    CSpaceMan& spaceMan = doc->getSpaceMan();
    std::vector<std::string> subjects;
    EXPECT_TRUE(snap->preCalculateSyncOps(self()));
    if (snap->isSynchronizerReady()) {
      CSpaceRecord record(&spaceMan, snap, self(), {&snap->itemSynchronizer()});
      EXPECT_EQ(record.calculateSyncOps(kSyncBothWays), kSyncDone);
      EXPECT_TRUE(snap->postCalculateSyncOps(kSyncDone));
      for (const auto& op : spaceMan.getRunList())
        if (const auto* item = dynamic_cast<const CItemSyncOp*>(op.get())) subjects.push_back(utf8(item->getSubject()));
      EXPECT_TRUE(snap->preExecuteSyncOps());
      for (const auto& op : spaceMan.getRunList()) EXPECT_EQ(op->execute(kSyncBothWays), kSyncDone);
      EXPECT_TRUE(snap->postExecuteSyncOps(self(), kSyncDone));
    }
    snap->postSynchronize();
    spaceMan.freeSyncOps();
    return subjects;
  }

  COutlookCustomizer* snap = nullptr;
};

// The synchronize dialog searches again when its Inbox is ticked, with MAPI still up from the
// first search: the second search carries the Inbox.
TEST_F(OutlookCustomizerTest, ASearchAfterTheInboxIsTickedCarriesIt) {
  hostWithWork();
  makeDevicePst();
  makeSnapin();
  CSpaceMan& spaceMan = doc->getSpaceMan();
  const auto search = [&] {
    std::multiset<std::string> subjects;
    EXPECT_TRUE(snap->preCalculateSyncOps(self()));
    CSpaceRecord record(&spaceMan, snap, self(), {&snap->itemSynchronizer()});
    EXPECT_EQ(record.calculateSyncOps(kSyncBothWays), kSyncDone);
    EXPECT_TRUE(snap->postCalculateSyncOps(kSyncDone));
    for (const auto& op : spaceMan.getRunList())
      if (const auto* item = dynamic_cast<const CItemSyncOp*>(op.get())) subjects.insert(utf8(item->getSubject()));
    spaceMan.freeSyncOps();
    return subjects;
  };
  EXPECT_EQ(search().count("From the host"), 0u);
  snap->setInboxSyncDays(self(), true, 0xFFFFFFFF);
  EXPECT_EQ(search().count("From the host"), 1u);
  snap->setInboxSyncDays(self(), false, 0xFFFFFFFF);
  EXPECT_EQ(search().count("From the host"), 0u);
  snap->postSynchronize();
}

// A login on a host with its own profile: the backup saves the profiles tree, the source name and
// "PickLogonProfile"; personalizing makes "Kipo" the default over the drive file; a run in the
// middle carries the Inbox both ways and keeps "Kipo"; the logout puts the host's profiles key
// and "PickLogonProfile" back exactly.
TEST_F(OutlookCustomizerTest, ALoginCarriesTheDriveFileAndTheLogoutPutsTheHostBackExactly) {
  hostWithWork();
  tool({"reg", "set", kOptionsKey, "PickLogonProfile", "--data", "1"});
  makeDevicePst();
  const std::string before = exportKey(kProfilesKey);
  ASSERT_NE(before, "<none>");
  makeSnapin();
  carryInbox();
  EXPECT_EQ(snap->getSourceState(), kSourceNothing) << "nothing saved yet";

  ASSERT_TRUE(snap->backup());
  EXPECT_EQ(snap->getSourceState(), kSourcePresent);
  EXPECT_EQ(regText(kLocalKey, kSourceProfileValue), "Work");
  EXPECT_EQ(regText(kLocalKey, kPickLogonProfileValue), "1");

  ASSERT_TRUE(snap->personalize());
  EXPECT_TRUE(snap->isPersonalized());
  EXPECT_FALSE(snap->isExchangeMode());
  EXPECT_EQ(profiles(), "Kipo (default)\nWork\n");
  EXPECT_NE(services("Kipo").find(utf8(devicePst())), std::string::npos);
  EXPECT_EQ(pickLogonProfile(), "0");
  EXPECT_EQ(snap->getSourceState(), kSourcePresent) << "\"Kipo\" is the product's own";
  EXPECT_TRUE(snap->postPersonalize());

  const std::vector<std::string> planned = runOnce();
  EXPECT_EQ(planned, (std::vector<std::string>{"From the host", "Hello"}));
  EXPECT_NE(dump(utf8(devicePst())).find("From the host"), std::string::npos);
  EXPECT_NE(dump("C:\\work.pst").find("Hello"), std::string::npos);
  EXPECT_FALSE(snap->folderSyncPrefs(self())[0]->folderId.IsEmpty()) << "the Inbox's id found by the run is kept";
  EXPECT_EQ(regText(kAlphaOutlookPrefs, kIsSynchronizedValue), "true");
  EXPECT_EQ(regText(kAlphaOutlookPrefs, kSourceMapiProfileNameValue), "Work");
  EXPECT_EQ(regText(kAlphaOutlookPrefs, kOutlookVersionValue), "2003");
  EXPECT_FALSE(snap->isSynchronizerReady());
  EXPECT_EQ(profiles(), "Kipo (default)\nWork\n") << "Outlook keeps its profile until the logout";
  EXPECT_TRUE(std::filesystem::exists(drive / "Synchronized Computers" / "ALPHA_Outlook.snap"));

  EXPECT_TRUE(snap->preDepersonalize());
  EXPECT_TRUE(snap->depersonalize());
  EXPECT_TRUE(snap->restore());
  EXPECT_FALSE(snap->isPersonalized());
  EXPECT_EQ(exportKey(kProfilesKey), before);
  EXPECT_EQ(pickLogonProfile(), "1");
  EXPECT_NE(dump(utf8(devicePst())).find("From the host"), std::string::npos) << "the drive file stays";

}

// Without a supported Outlook every step succeeds and touches nothing of the host.
TEST_F(OutlookCustomizerTest, AHostWithoutASupportedOutlookIsLeftAlone) {
  tool({"reg", "set", kOptionsKey, "PickLogonProfile", "--data", "1"});
  makeDevicePst();
  const std::string before = exportKey("HKCU\\Software\\Microsoft");
  makeSnapin();
  carryInbox();
  EXPECT_TRUE(snap->backup());
  EXPECT_TRUE(snap->personalize());
  EXPECT_TRUE(snap->postPersonalize());
  EXPECT_TRUE(runOnce().empty());
  EXPECT_TRUE(snap->preDepersonalize());
  EXPECT_TRUE(snap->restore());
  EXPECT_FALSE(snap->isPersonalized());
  EXPECT_FALSE(keyExists((CString(kLocalKey) + u"\\Profiles").GetString()));
  EXPECT_EQ(regText(kLocalKey, kSourceProfileValue), "<none>");
  EXPECT_EQ(exportKey("HKCU\\Software\\Microsoft"), before);
  EXPECT_NE(dump(utf8(devicePst())).find("Hello"), std::string::npos);
}

// Without the drive file there is nothing to put in place: personalize succeeds and leaves the
// host's profiles and "PickLogonProfile" as they were, not marked personalized.
TEST_F(OutlookCustomizerTest, WithoutADriveFileTheHostKeepsItsProfiles) {
  hostWithWork();
  tool({"reg", "set", kOptionsKey, "PickLogonProfile", "--data", "1"});
  makeDevicePst();
  makeSnapin();
  ASSERT_TRUE(snap->backup());
  std::filesystem::remove_all(drive / "Synchronized Computers" / "ALPHA" / "Outlook");
  EXPECT_TRUE(snap->personalize());
  EXPECT_FALSE(snap->isPersonalized());
  EXPECT_EQ(profiles(), "Work (default)\n");
  EXPECT_EQ(pickLogonProfile(), "1");
}

// The source state: every host profile but "Kipo" must be in the saved copy; a profile the
// backup did not see, or no saved copy, is 0, and personalize refuses.
TEST_F(OutlookCustomizerTest, TheSourceStateNeedsEveryHostProfileSaved) {
  hostWithWork();
  addProfile("Kipo", "C:\\kipo.pst");
  makeDevicePst();
  makeSnapin();
  const std::string saved = utf8(CString(kLocalKey)) + "\\Profiles";
  struct Case {
    std::vector<const char*> savedProfiles;
    bool savedKey;
    int state;
  } cases[] = {
      {{"Work"}, true, kSourcePresent},
      {{"Work", "Gone"}, true, kSourcePresent},
      {{"Other"}, true, kSourceNothing},
      {{}, true, kSourceNothing},
      {{}, false, kSourceNothing},
  };
  for (const Case& c : cases) {
    kipotest::runTool({"reg", "delete", saved});
    if (c.savedKey) tool({"reg", "set", saved, "--default", "--data", ""});
    for (const char* name : c.savedProfiles) tool({"reg", "set", saved + "\\" + name, "--default", "--data", ""});
    EXPECT_EQ(snap->getSourceState(), c.state) << c.savedProfiles.size() << " saved";
    if (c.state == kSourceNothing) {
      EXPECT_FALSE(snap->personalize());
    }
  }
  EXPECT_EQ(profiles(), "Kipo\nWork (default)\n");
}

// A backup whose profiles tree cannot be saved whole shows message 509 and leaves no partial copy.
TEST_F(OutlookCustomizerTest, ABackupThatCannotSaveTheProfilesLeavesNoCopy) {
  hostWithWork();
  addProfile("Home", "C:\\home.pst");
  makeDevicePst();
  makeSnapin();
  const CString saved = CString(kLocalKey) + u"\\Profiles";
  kipotest::failCall("RegCreateKeyExW", ERROR_ACCESS_DENIED, (saved + u"\\Work").GetString());
  EXPECT_FALSE(snap->backup());
  platform::fault::clearLocal();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("The Outlook profiles cannot be saved."), std::string::npos);
  EXPECT_FALSE(keyExists(saved.GetString()));
  EXPECT_EQ(snap->getSourceState(), kSourceNothing);
  EXPECT_EQ(regText(kLocalKey, kSourceProfileValue), "<none>");
}

// The Exchange road: with an account whose server answers, the login runs on the mailbox, and a
// run pairs the mailbox (found as the session's default store, not by the name "Kipo") with the
// drive file.
TEST_F(OutlookCustomizerTest, AnExchangeLoginRunsOnTheMailboxAndARunCarriesIt) {
  hostWithWork();
  tool({"net", "add", "mail.corp", "--address", "10.1.2.3", "--rtt", "5"});
  const std::string mailbox = toolOut({"mapi", "exchange", "add", "mail.corp", "--mailbox", "alice"});
  tool({"mapi", "deliver", mailbox.substr(0, mailbox.find('\n')), "--from", "boss@corp", "--subject", "From the boss"});
  makeDevicePst();
  CRegistry accounts(CString(kAlphaAccountsPrefs), true, true);
  accounts.setText(u"exchangeServerName", u"mail.corp");
  accounts.setText(u"exchangeMailboxName", u"alice");
  makeSnapin<CEMailAccountsCustomizer>();
  snap->setExchangeEnabled(true);
  carryInbox();

  ASSERT_TRUE(snap->backup());
  EXPECT_TRUE(snap->isExchangeMode());
  ASSERT_TRUE(snap->personalize());
  EXPECT_TRUE(snap->isExchangeMode());
  EXPECT_EQ(profiles(), "Kipo (default)\nWork\n");
  EXPECT_NE(services("Kipo").find("MSEMS"), std::string::npos);

  const std::vector<std::string> planned = runOnce();
  EXPECT_EQ(planned, (std::vector<std::string>{"From the boss", "Hello"}));
  EXPECT_EQ(dump("C:\\work.pst").find("Hello"), std::string::npos) << "the host's own store is not touched";
  EXPECT_EQ(profiles(), "Kipo (default)\nWork\n");
  EXPECT_TRUE(snap->restore());
  EXPECT_EQ(profiles(), "Work (default)\n");
}

// The Exchange road is not taken when the server does not answer or the snap-in is not enabled
// for Exchange: the login runs on the drive file.
TEST_F(OutlookCustomizerTest, AnUnreachableOrDisabledExchangeTakesTheDriveFile) {
  struct Case {
    const char* server;
    bool enabled;
  } cases[] = {{"down.corp", true}, {"mail.corp", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    hostWithWork();
    tool({"net", "add", "mail.corp", "--address", "10.1.2.3", "--rtt", "5"});
    tool({"net", "add", "down.corp", "--address", "10.1.2.4", "--unreachable"});
    makeDevicePst();
    CRegistry accounts(CString(kAlphaAccountsPrefs), true, true);
    accounts.setText(u"exchangeServerName", CString(c.server).GetString());
    accounts.setText(u"exchangeMailboxName", u"alice");
    makeSnapin<CEMailAccountsCustomizer>();
    snap->setExchangeEnabled(c.enabled);
    ASSERT_TRUE(snap->backup());
    ASSERT_TRUE(snap->personalize());
    EXPECT_FALSE(snap->isExchangeMode());
    EXPECT_NE(services("Kipo").find(utf8(devicePst())), std::string::npos);
    EXPECT_TRUE(snap->restore());
    doc.reset();
    tool({"reg", "delete", "HKCU\\Software\\Microsoft"});
    tool({"reg", "delete", "HKCU\\Software\\Brackwater\\Kipo\\localPrefs"});
  }
}

// Removing another computer deletes its own stored source name and drive data, and keeps this
// computer's name, remembered name and file; this computer's file is kept while the host is
// personalized over it.
TEST_F(OutlookCustomizerTest, RemovingAComputerTouchesOnlyItsOwnData) {
  hostWithWork();
  makeDevicePst();
  auto beta = std::make_unique<CSystemProfile>();
  beta->m_computerName = CString(u"BETA");
  beta->m_nickname = CString(u"Home");
  CSystemProfile* other = beta.get();
  getProfileDatabase().profiles().push_back(std::move(beta));
  const std::filesystem::path betaFolder = drive / "Synchronized Computers" / "BETA";
  std::filesystem::create_directories(betaFolder / "Outlook");
  writeBytes(betaFolder / "Outlook" / "Kipo.pst", "beta's mail");
  writeBytes(drive / "Synchronized Computers" / "BETA_Outlook.snap", "snapshot");
  CRegistry(CString(kAlphaOutlookPrefs), true, true).setText(kSourceMapiProfileNameValue, u"Work");
  CRegistry(CString(kBetaOutlookPrefs), true, true).setText(kSourceMapiProfileNameValue, u"Home");
  makeSnapin();
  snap->getProfileManager()->setSourceProfileName(CString(u"Work"));
  snap->folderSyncPrefs(other).push_back(std::make_unique<COutlookFolderSyncPref>(CString(u"Inbox")));

  EXPECT_TRUE(snap->removeProfileData(other));
  EXPECT_EQ(regText(kBetaOutlookPrefs, kSourceMapiProfileNameValue), "<none>");
  EXPECT_EQ(regText(kAlphaOutlookPrefs, kSourceMapiProfileNameValue), "Work");
  EXPECT_EQ(utf8(snap->getProfileManager()->getSourceProfileName()), "Work");
  EXPECT_TRUE(snap->folderSyncPrefs(other).empty()) << "back to the (empty) defaults";
  EXPECT_FALSE(std::filesystem::exists(betaFolder / "Outlook"));
  EXPECT_FALSE(std::filesystem::exists(drive / "Synchronized Computers" / "BETA_Outlook.snap"));
  EXPECT_TRUE(std::filesystem::exists(drive / "Synchronized Computers" / "ALPHA" / "Outlook" / "Kipo.pst"));

  ASSERT_TRUE(snap->backup());
  ASSERT_TRUE(snap->personalize());
  EXPECT_FALSE(snap->removeProfileData(self()));
  EXPECT_TRUE(std::filesystem::exists(drive / "Synchronized Computers" / "ALPHA" / "Outlook" / "Kipo.pst"));
  EXPECT_EQ(profiles(), "Kipo (default)\nWork\n");
  EXPECT_TRUE(snap->restore());
}

// The drive's Outlook data of this computer goes when the host copy of the drive file has its
// exact size, or when the computer's (read) preferences carry no folder; not otherwise.
TEST_F(OutlookCustomizerTest, EqualFileSizesOrNoFoldersDeleteTheDrivesOutlookData) {
  const std::filesystem::path computers = drive / "Synchronized Computers";
  setOutlook("2003");
  const std::filesystem::path hostCopy = onHost(joinPath(CFolderLookup::getProductAppDataPath(), CString(u"Kipo.pst")));
  const std::filesystem::path backupCopy =
      onHost(joinPath(CFolderLookup::getDeviceBackupPath(), CString(u"ALPHA_Outlook.snap")));
  const auto place = [&](const std::string& driveBytes) {
    std::filesystem::create_directories(computers / "ALPHA" / "Outlook");
    writeBytes(computers / "ALPHA" / "Outlook" / "Kipo.pst", driveBytes);
    writeBytes(computers / "ALPHA_Outlook.snap", "snapshot");
    std::filesystem::create_directories(backupCopy.parent_path());
    writeBytes(backupCopy, "snapshot");
  };
  std::filesystem::create_directories(hostCopy.parent_path());
  struct Case {
    const char* name;
    std::string hostBytes;  // empty: no host copy
    bool withFolder;
    bool prefsRead;
    bool deleted;
  } cases[] = {
      {"equal sizes", "12345678", true, true, true},
      {"other size", "1234", true, true, false},
      {"no host copy", "", true, true, false},
      {"no folders carried", "", false, true, true},
      {"preferences never read", "", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    doc.reset();
    place("abcdefgh");
    std::filesystem::remove(hostCopy);
    if (!c.hostBytes.empty()) writeBytes(hostCopy, c.hostBytes);
    makeSnapin();
    if (c.prefsRead) snap->setDefaultPrefs(self());
    if (c.withFolder) carryInbox();
    EXPECT_TRUE(snap->deleteSnapshotsIfPstSizesMatch());
    EXPECT_EQ(!std::filesystem::exists(computers / "ALPHA" / "Outlook"), c.deleted);
    EXPECT_EQ(!std::filesystem::exists(computers / "ALPHA_Outlook.snap"), c.deleted);
    EXPECT_EQ(!std::filesystem::exists(backupCopy), c.deleted);
  }
}

// A login computer that carries no folders: the logout leaves the drive file Outlook used as the
// user's mailbox during the login (mail received then is nowhere else).
TEST_F(OutlookCustomizerTest, TheLogoutKeepsTheDriveFileOfTheLogin) {
  hostWithWork();
  makeDevicePst();
  makeSnapin();
  snap->setDefaultPrefs(self());
  ASSERT_TRUE(snap->folderSyncPrefs(self()).empty());
  ASSERT_TRUE(snap->backup());
  ASSERT_TRUE(snap->personalize());
  EXPECT_TRUE(snap->depersonalize());
  EXPECT_TRUE(snap->restore());
  EXPECT_FALSE(snap->isPersonalized());
  EXPECT_NE(dump(utf8(devicePst())).find("Hello"), std::string::npos) << "the drive file stays";
}

// The factory's "Outlook": the real snap-in, enabled for Exchange (logged), reached by the other
// snap-ins through its link, its item synchronizer registered with the document's coordinator.
TEST_F(OutlookCustomizerTest, TheFactoryMakesTheSnapinWithExchangeEnabled) {
  setOutlook("2003");
  doc = std::make_unique<CCustomizerDoc>();
  const CFactoryDocumentScope scope(doc.get());
  for (const CustomizerFactoryEntry& entry : customizerFactory()) {
    if (CString(entry.className) != u"COutlookCustomizer") continue;
    ASSERT_NE(entry.create, nullptr);
    doc->addCustomizer(entry.create());
  }
  auto* made = dynamic_cast<COutlookCustomizer*>(findOutlookCustomizer(doc.get()));
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->isExchangeEnabled());
  EXPECT_TRUE(logHas("Exchange is enabled"));
  EXPECT_EQ(outlookLinkOf(findOutlookSnapin(doc.get())), static_cast<COutlookSnapinLink*>(made));
  const std::vector<CSynchronizer*>* registered = doc->getSpaceMan().getSynchronizers(made);
  ASSERT_NE(registered, nullptr);
  EXPECT_EQ(*registered, (std::vector<CSynchronizer*>{&made->itemSynchronizer()}));
}

// Records are removed by identity; a record of another list is refused.
TEST_F(OutlookCustomizerTest, AFolderRecordIsRemovedByIdentity) {
  makeSnapin();
  COutlookFolderSyncPrefList& records = snap->folderSyncPrefs(self());
  records.push_back(std::make_unique<COutlookFolderSyncPref>(CString(u"Inbox")));
  records.push_back(std::make_unique<COutlookFolderSyncPref>(CString(u"Inbox")));
  const COutlookFolderSyncPref* second = records[1].get();
  const COutlookFolderSyncPref stranger(CString(u"Inbox"));
  EXPECT_FALSE(snap->removeFolderSyncPref(self(), &stranger));
  EXPECT_FALSE(snap->removeFolderSyncPref(self(), nullptr));
  EXPECT_TRUE(snap->removeFolderSyncPref(self(), second));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].get(), second);
}

TEST(OutlookFolderPaths, OverlapIsAboveOrBelowNeverBeside) {
  struct Case {
    const char16_t* path;
    std::vector<const char16_t*> list;
    bool overlaps;
  } cases[] = {
      {u"Projects\nOld", {u"Projects"}, true},
      {u"Projects", {u"Inbox", u"projects\nold"}, true},
      {u"Projects", {u"PROJECTS"}, true},
      {u"Projects2", {u"Projects"}, false},
      {u"Projects", {u"Projects2\nOld"}, false},
      {u"Inbox", {}, false},
  };
  for (const Case& c : cases) {
    std::vector<CString> list;
    for (const char16_t* p : c.list) list.emplace_back(p);
    EXPECT_EQ(overlapsAnyFolderPath(CString(c.path), list), c.overlaps) << snapintest::utf8(CString(c.path));
  }
}

}  // namespace
