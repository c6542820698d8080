// The Outlook profile manager on a host with the MAPI stand-in: the "Kipo" profile over the
// drive's file for a login and "KipoSync" for a run (Outlook 2002/2003), the Internet-mail-only
// Outlook 2000 that works inside the user's own profile, the Exchange profile and the ping that
// decides on it, the source profile name and where it is read from, and MAPI that cannot start.
#include "outlook/outlook_profile_manager.h"

#include <gtest/gtest.h>

#include "app/registry.h"
#include "lang/ids.h"
#include "outlook/outlook_install.h"
#include "tests/outlook/outlook_snapin_fixture.h"
#include "tests/support/faults.h"
#include "tests/support/ui_script.h"

namespace {

using outlooktest::OutlookSnapinTest;

constexpr const char16_t* kOutlookLocalKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\Outlook";
constexpr const char* kDevicePst = "E:\\Synchronized Computers\\ALPHA\\Outlook\\Kipo.pst";

class ProfileManagerTest : public OutlookSnapinTest {
 protected:
  COutlookProfileManager& manager() { return *outlook->getProfileManager(); }

  // The profile's services as "SERVICE\tDISPLAY[\t(default store)]" lines, each followed by its
  // file's line; without the section names, which are new for every service.
  static std::string serviceLines(const char* profile) {
    std::string lines;
    const std::string out = services(profile);
    for (std::size_t at = 0; at < out.size();) {
      std::size_t end = out.find('\n', at);
      std::string line = out.substr(at, end - at);
      at = end + 1;
      if (!line.empty() && line[0] != '\t') line = line.substr(line.find('\t') + 1);
      lines += line + "\n";
    }
    return lines;
  }
};

// A login over the drive's file and a run in the middle of it: "Kipo" is made the default
// profile over the drive file, the run adds "KipoSync" over the same file, and the end of the run
// takes only "KipoSync" away; "Kipo" goes when the login ends.
TEST_F(ProfileManagerTest, KipoLastsTheLoginAndKipoSyncOnlyTheRun) {
  for (const char* version : {"2002", "2003"}) {
    SCOPED_TRACE(version);
    setOutlook(version);
    addProfile("Work", "C:\\work.pst", true);
    makeDevicePst();
    makeDocument<>();
    COutlookProfileManager& pm = manager();
    EXPECT_TRUE(pm.isMsmapiInstalled());
    ASSERT_EQ(pm.initializeMapiServices(false, nullptr), kMapiInitReady);
    EXPECT_EQ(utf8(pm.getSourceProfileName()), "Work");

    ASSERT_TRUE(pm.createPersonalizeProfile(devicePst()));
    EXPECT_EQ(profiles(), "Kipo (default)\nWork\n");
    EXPECT_EQ(serviceLines("Kipo"), std::string("MSPST MS\tKipo\t(default store)\n\t") + kDevicePst + "\n");
    outlook->setPersonalized(true);

    ASSERT_EQ(pm.initializeMapiServices(true, self()), kMapiInitReady);
    EXPECT_EQ(profiles(), "Kipo (default)\nKipoSync\nWork\n");
    EXPECT_NE(pm.openDefaultMessageStore(), nullptr);
    EXPECT_NE(pm.openSyncMessageStore(), nullptr);
    EXPECT_EQ(serviceLines("KipoSync"), std::string("MSPST MS\tKipoSync\t(default store)\n\t") + kDevicePst + "\n");
    EXPECT_TRUE(pm.uninitializeMapiServices());
    EXPECT_EQ(profiles(), "Kipo (default)\nWork\n") << "Outlook keeps its profile until the logout";

    outlook->setPersonalized(false);
    EXPECT_TRUE(pm.uninitializeMapiServices());
    EXPECT_EQ(profiles(), "Work\n");
    doc.reset();
    tool({"reg", "delete", "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem"});
  }
}

// Nothing to put in place: a source state below 2, or no drive file, leaves the profiles alone.
TEST_F(ProfileManagerTest, NoProfileIsMadeWithoutADriveFileOrASavedHost) {
  setOutlook("2003");
  addProfile("Work", "C:\\work.pst", true);
  makeDocument<>();
  ASSERT_EQ(manager().initializeMapiServices(false, nullptr), kMapiInitReady);
  EXPECT_TRUE(manager().createPersonalizeProfile(devicePst()));
  makeDevicePst();
  outlook->sourceState = kSourceNothing;
  EXPECT_TRUE(manager().createPersonalizeProfile(devicePst()));
  EXPECT_TRUE(manager().createExchangeProfile(CString(u"mail.corp"), CString(u"alice")));
  EXPECT_EQ(profiles(), "Work (default)\n");
  EXPECT_TRUE(manager().uninitializeMapiServices());
}

// Outlook 2000 for Internet mail only keeps the user's mail in the user's own profile: no "Kipo";
// the source profile's default store is pointed at the drive file, and for a run the drive file
// is added to the source profile as "KipoSync" and taken out again at the end.
TEST_F(ProfileManagerTest, InternetMailOnlyOutlookWorksInsideTheUsersOwnProfile) {
  setOutlook("2000", true);
  addProfile("Mail", "C:\\mail.pst", true);
  makeDevicePst();
  makeDocument<>();
  COutlookProfileManager& pm = manager();
  EXPECT_FALSE(pm.isMsmapiInstalled());
  EXPECT_EQ(utf8(pm.getAccountsProfileName()), "Mail");
  ASSERT_EQ(pm.initializeMapiServices(true, self()), kMapiInitReady);
  EXPECT_TRUE(pm.hasAddedPstStore());
  EXPECT_NE(pm.openSyncMessageStore(), nullptr);
  EXPECT_EQ(serviceLines("Mail"), std::string("MSPST MS\tPersonal Folders\t(default store)\n\tC:\\mail.pst\n") +
                                      "MSPST MS\tKipoSync\n\t" + kDevicePst + "\n");
  EXPECT_TRUE(pm.uninitializeMapiServices());
  EXPECT_EQ(serviceLines("Mail"), "MSPST MS\tPersonal Folders\t(default store)\n\tC:\\mail.pst\n");

  ASSERT_EQ(pm.initializeMapiServices(false, nullptr), kMapiInitReady);
  ASSERT_TRUE(pm.createPersonalizeProfile(devicePst()));
  EXPECT_EQ(profiles(), "Mail (default)\n") << "no profile of the product's own";
  EXPECT_EQ(serviceLines("Mail"), std::string("MSPST MS\tKipo\t(default store)\n\t") + kDevicePst + "\n");
  EXPECT_TRUE(pm.uninitializeMapiServices());
}

// With no MAPI profile at all MAPI cannot be started: message 544 is offered (the user may
// silence it) and the result is 2; a missing profile for a run is 0.
TEST_F(ProfileManagerTest, MapiWithoutAnyProfileOffersTheInitializationError) {
  setOutlook("2003");
  makeDocument<>();
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_DONT_ASK).click(IDOK);
    EXPECT_EQ(manager().initializeMapiServices(true, self()), kMapiInitNotStarted);
  }
  EXPECT_TRUE(manager().uninitializeMapiServices());
  addProfile("Work", "C:\\work.pst", true);
  EXPECT_EQ(manager().initializeMapiServices(true, nullptr), kMapiInitFailed);
  EXPECT_TRUE(logHas("{COutlookProfileManager::initializeMapiServices} error: targetProfile is NULL"));
  EXPECT_TRUE(manager().uninitializeMapiServices());
}

// Where the source profile's name comes from: while personalized, the "sourceProfile" the backup
// wrote directly under the Outlook snap-in's local key; otherwise the name stored for this
// computer; otherwise the default of a host with one profile; otherwise none (logged).
TEST_F(ProfileManagerTest, TheSourceProfileNameIsReadWhereItWasWritten) {
  setOutlook("2003");
  addProfile("Home", "C:\\home.pst");
  addProfile("Work", "C:\\work.pst", true);
  makeDocument<>();
  COutlookProfileManager& pm = manager();

  EXPECT_EQ(utf8(pm.getSourceProfileName()), "") << "two profiles, nothing stored";
  EXPECT_TRUE(logHas("{Outlook Profile Manager}: No source mapi profile name. If multiple profiles present, user "
                     "will be prompted."));

  CRegistry computer(CPreferenceFile::getThisComputerPrefsPath() + u"\\Outlook", true, true);
  ASSERT_TRUE(computer.setText(kSourceMapiProfileNameValue, CString(u"Home")));
  EXPECT_EQ(utf8(pm.getSourceProfileName()), "Home");

  CRegistry local(CString(kOutlookLocalKey), true, true);
  ASSERT_TRUE(local.setText(kSourceProfileValue, CString(u"Saved")));
  outlook->setPersonalized(true);
  EXPECT_EQ(utf8(pm.getSourceProfileName()), "Saved");
  local.deleteValue(kSourceProfileValue);
  EXPECT_EQ(utf8(pm.getSourceProfileName()), "Work") << "the host's default without a saved name";

  outlook->setPersonalized(false);
  computer.deleteValue(kSourceMapiProfileNameValue);
  tool({"reg", "delete", "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles\\Home"});
  EXPECT_EQ(utf8(pm.getSourceProfileName()), "Work") << "the only profile";
  pm.setSourceProfileName(CString(u"Remembered"));
  EXPECT_EQ(utf8(pm.getSourceProfileName()), "Remembered");
}

// The Exchange road: a ping only when the snap-in is enabled for Exchange, answered by the host's
// server table; the profile "Kipo" with the Exchange service, whose default store is the mailbox.
TEST_F(ProfileManagerTest, ExchangeIsReachedOnlyWhenEnabledAndAnswering) {
  setOutlook("2003");
  addProfile("Work", "C:\\work.pst", true);
  tool({"net", "add", "mail.corp", "--address", "10.1.2.3", "--rtt", "5"});
  tool({"net", "add", "down.corp", "--address", "10.1.2.4", "--unreachable"});
  tool({"mapi", "exchange", "add", "mail.corp", "--mailbox", "alice"});
  makeDocument<>();
  COutlookProfileManager& pm = manager();

  EXPECT_FALSE(pm.isExchangeServerReachable(CString(u"mail.corp")));
  EXPECT_TRUE(logHas("{U3}Set exchange server not available."));
  outlook->setExchangeEnabled(true);
  EXPECT_TRUE(pm.isExchangeServerReachable(CString(u"mail.corp")));
  EXPECT_FALSE(pm.isExchangeServerReachable(CString(u"down.corp")));
  EXPECT_FALSE(pm.isExchangeServerReachable(CString(u"nowhere.corp")));

  ASSERT_EQ(pm.initializeMapiServices(false, nullptr), kMapiInitReady);
  ASSERT_TRUE(pm.createExchangeProfile(CString(u"mail.corp"), CString(u"alice")));
  EXPECT_EQ(profiles(), "Kipo (default)\nWork\n");
  EXPECT_TRUE(pm.isPersonalizeSessionExchange());
  EXPECT_NE(pm.openPersonalizeDefaultStore(), nullptr);
  EXPECT_EQ(pm.openPersonalizeMessageStore(), nullptr) << "a mailbox is not named \"Kipo\"";
  EXPECT_EQ(utf8(pm.getSourceProfileName()), "Kipo");
  EXPECT_TRUE(pm.uninitializeMapiServices());
  EXPECT_EQ(profiles(), "Work\n");
}

// An Exchange profile that cannot be made is reported, shown (message 886) and leaves no "Kipo".
TEST_F(ProfileManagerTest, AFailedExchangeProfileIsShownAndLeavesNothing) {
  setOutlook("2003");
  addProfile("Work", "C:\\work.pst", true);
  makeDocument<>();
  ASSERT_EQ(manager().initializeMapiServices(false, nullptr), kMapiInitReady);
  kipotest::failCall("IMsgServiceAdmin::ConfigureMsgService", static_cast<DWORD>(MAPI_E_NO_ACCESS));
  EXPECT_FALSE(manager().createExchangeProfile(CString(u"mail.corp"), CString(u"alice")));
  platform::fault::clearLocal();
  EXPECT_TRUE(logHas("{Outlook Profile Manager}: Failed to create exchange profile for server: mail.corp mailbox: alice."));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("Outlook"), std::string::npos);
  EXPECT_EQ(profiles(), "Work (default)\n");
  EXPECT_TRUE(manager().uninitializeMapiServices());
}

}  // namespace
