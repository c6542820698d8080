// "Kipo.exe" with the host's Outlook, end to end: a login carries the user's Outlook (the "Kipo"
// profile, made the default, over "Kipo.pst" in the computer's folder on the drive, or over the
// user's Exchange mailbox when its server answers) and the logout puts the host's MAPI profiles
// key back byte for byte; mail sent and received during the session stays in the drive's file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;

constexpr char16_t kLocalPrefsKey[] = u"Software\\Brackwater\\Kipo\\localPrefs";
constexpr char kProfilesKey[] =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr char kDevicePst[] = "E:\\Synchronized Computers\\ALPHA\\Outlook\\Kipo.pst";
constexpr char16_t kExchangeOptionsKey[] = u"Software\\Microsoft\\Exchange\\Client\\Options";
constexpr char kOutlookProgram[] = "C:\\Program Files\\Microsoft Office\\OFFICE11\\OUTLOOK.EXE";

class KipoOutlookSessionTest : public KipoTest {
 protected:
  void SetUp() override {
    KipoTest::SetUp();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"boot"}, nullptr, &err), 0) << err;
    ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", "2003"}, nullptr, &err), 0) << err;
    const fs::path description = host_.c("work.txt");
    std::ofstream(description) << "folder Inbox\nitem IPM.Note At work\n";
    ASSERT_EQ(kipotest::runTool({"mapi", "make", "C:\\work.pst", "--from", description.string()}, nullptr, &err), 0)
        << err;
    ASSERT_EQ(kipotest::runTool({"mapi", "profile", "add", "Work", "--pst", "C:\\work.pst", "--default"}, nullptr, &err),
              0)
        << err;
  }

  std::string exportProfiles() {
    const fs::path file = host_.c("profiles.reg");
    fs::remove(file);
    std::string err;
    EXPECT_EQ(kipotest::runTool({"reg", "export", kProfilesKey, file.string()}, nullptr, &err), 0) << err;
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  std::string hostFile(const char* name) { return slurp(host_.c(name)); }

  // The drive's file with the user's mail, as an earlier session left it.
  void makeDrivePst() {
    fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA" / "Outlook");
    const fs::path description = host_.c("drive.txt");
    std::ofstream(description) << "folder Inbox\nitem IPM.Note Carried along\n";
    std::string err;
    ASSERT_EQ(kipotest::runTool({"mapi", "make", kDevicePst, "--from", description.string()}, nullptr, &err), 0) << err;
  }

  // The tray's Synchronize with the Inbox turned on in the dialog first, as a user would (the
  // click stores the choice and searches again); then as the fixture's synchronizeThroughTray.
  static bool synchronizeWithInbox() {
    openTrayMenu();
    if (pickMenuCommand(344) != 0) return false;
    HWND dialog = waitForSynchronizeSearch();
    if (!dialog) return false;
    HWND inbox = GetDlgItem(dialog, 1081);
    if (!inbox || !IsWindowEnabled(inbox)) return false;
    if (SendMessageW(inbox, BM_GETCHECK, 0, 0) != BST_CHECKED) {
      if (kipotest::runTool({"ui", "click", "--window", utf8(kSynchronizeCaption), "--control", "1081"}) != 0)
        return false;
      if (!eventually([&] { return SendMessageW(inbox, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 10)) return false;
    }
    return runSynchronizeDialog(dialog, 60);
  }

  // Starts the host's Outlook as the user would, logging to the drive; true once it has logged on.
  bool startOutlook() {
    std::string err;
    const std::string line = std::string("\"") + kOutlookProgram + "\" --log E:\\outlook.log";
    if (kipotest::runTool({"run", line}, nullptr, &err) != 0) return false;
    return eventually([&] { return contains(outlookLog(), "logon "); }, 30);
  }
  std::string outlookLog() const { return slurp(drive_ / "outlook.log"); }
};

TEST_F(KipoOutlookSessionTest, ALoginCarriesTheUsersOutlookAndTheLogoutPutsTheProfilesBack) {
  const std::string before = exportProfiles();
  ASSERT_FALSE(before.empty());
  fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA" / "Outlook");
  Started kipo = startKipo(u"/handoff E:\\");
  ASSERT_NE(waitForFrame(kipo), nullptr) << log();
  ASSERT_TRUE(waitForTrayBalloon()) << trayText();
  EXPECT_TRUE(contains(log(), "Exchange is enabled")) << log();

  // The user's mail on the drive, as an earlier session left it.
  const fs::path description = host_.c("drive.txt");
  std::ofstream(description) << "folder Inbox\nitem IPM.Note Carried along\n";
  std::string err;
  ASSERT_EQ(kipotest::runTool({"mapi", "make", kDevicePst, "--from", description.string()}, nullptr, &err), 0) << err;

  logIn();
  EXPECT_EQ(tool({"mapi", "profiles"}), "Kipo (default)\nWork\n") << log();
  EXPECT_TRUE(contains(tool({"mapi", "services", "Kipo"}), kDevicePst)) << tool({"mapi", "services", "Kipo"});

  logOut();
  EXPECT_EQ(tool({"mapi", "profiles"}), "Work (default)\n") << log();
  EXPECT_EQ(exportProfiles(), before);
  ASSERT_TRUE(closeKipo(kipo));
}

// Mail sent and received while logged in is in the drive's file after the logout, and the host's
// own profiles, store file and profile choice are as they were.
TEST_F(KipoOutlookSessionTest, MailOfTheSessionStaysOnTheDriveAndTheHostIsLeftAsItWas) {
  setString(HKEY_CURRENT_USER, kExchangeOptionsKey, u"PickLogonProfile", u"1");
  const std::string before = exportProfiles();
  const std::string workBefore = hostFile("work.pst");
  makeDrivePst();
  Started kipo = startKipo(u"/handoff E:\\");
  ASSERT_NE(waitForFrame(kipo), nullptr) << log();
  ASSERT_TRUE(waitForTrayBalloon()) << trayText();

  logIn();
  EXPECT_EQ(utf8(readString(HKEY_CURRENT_USER, kExchangeOptionsKey, u"PickLogonProfile")), "0")
      << "Outlook starts on the carried profile without asking";
  ASSERT_TRUE(startOutlook()) << outlookLog();
  EXPECT_TRUE(contains(outlookLog(), "logon Kipo")) << outlookLog();
  std::string err;
  ASSERT_EQ(kipotest::runTool({"outlook", "send", "--to", "friend@example.org", "--subject", "Sent in the session",
                               "--body", "Hello from the drive"}, nullptr, &err), 0) << err;
  ASSERT_EQ(kipotest::runTool({"mapi", "deliver", kDevicePst, "--from", "friend@example.org", "--subject",
                               "Received in the session"}, nullptr, &err), 0) << err;
  EXPECT_TRUE(eventually([&] { return contains(outlookLog(), "inbox Received in the session"); }, 20)) << outlookLog();
  EXPECT_TRUE(contains(tool({"mapi", "sent"}), "Sent in the session")) << tool({"mapi", "sent"});
  // The user quits Outlook before logging out (else the logout asks for it).
  PostMessageW(FindWindowW(u"rctrl_renwnd32", nullptr), WM_CLOSE, 0, 0);
  ASSERT_TRUE(eventually([] { return countProcesses("OUTLOOK.EXE") == 0; }, 20)) << outlookLog();
  logOut();

  const std::string drive = tool({"mapi", "dump", kDevicePst});
  for (const char* subject : {"Carried along", "Sent in the session", "Received in the session"})
    EXPECT_TRUE(contains(drive, subject)) << subject << "\n" << drive;
  EXPECT_EQ(tool({"mapi", "profiles"}), "Work (default)\n") << log();
  EXPECT_EQ(exportProfiles(), before);
  EXPECT_EQ(hostFile("work.pst"), workBefore) << tool({"mapi", "dump", "C:\\work.pst"});
  EXPECT_EQ(utf8(readString(HKEY_CURRENT_USER, kExchangeOptionsKey, u"PickLogonProfile")), "1");
  ASSERT_TRUE(closeKipo(kipo));
}

// A user whose everyday profile is an Exchange mailbox: a run stores the server and mailbox on the
// drive; a login while the server answers runs Outlook over the mailbox, and while it does not,
// over the drive's file; the host's profiles are back byte for byte after each logout.
class KipoExchangeSessionTest : public KipoOutlookSessionTest {
 protected:
  void session(bool answers) {
    std::string err;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"net", "add", "mail.corp", "--address", "10.1.2.3", "--rtt", "5"},
          std::vector<std::string>{"mapi", "exchange", "add", "mail.corp", "--mailbox", "Robin"},
          std::vector<std::string>{"mapi", "profile", "add", "Office", "--exchange", "mail.corp", "--mailbox", "Robin",
                                   "--default"},
          // The mailbox is this user's only profile (with two, MAPI asks which one).
          std::vector<std::string>{"reg", "delete", std::string(kProfilesKey) + "\\Work"}})
      ASSERT_EQ(kipotest::runTool(args, nullptr, &err), 0) << err;
    fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA");
    const std::string before = exportProfiles();

    {
      Started kipo = startKipo(u"/handoff E:\\");
      ASSERT_NE(waitForFrame(kipo), nullptr) << log();
      ASSERT_TRUE(waitForTrayBalloon()) << trayText();
      // A run over the mailbox stores its server and name on the drive.
      ASSERT_TRUE(synchronizeWithInbox()) << tool({"ui", "list"}) << log();
      ASSERT_TRUE(fs::exists(drive_ / "Synchronized Computers" / "ALPHA" / "Outlook" / "Kipo.pst")) << log();
      if (!answers) {
        ASSERT_EQ(kipotest::runTool({"net", "remove", "mail.corp"}, nullptr, &err), 0) << err;
        ASSERT_EQ(
            kipotest::runTool({"net", "add", "mail.corp", "--address", "10.1.2.3", "--unreachable"}, nullptr, &err), 0)
            << err;
      }

      // The Exchange update's progress dialog (login and logout) is closed once it offers to be.
      std::atomic<bool> watching{true};
      std::atomic<int> updates{0};
      std::thread closer([&] {
        while (watching) {
          HWND progress = FindWindowW(u"#32770", kProgressCaption);
          if (progress && controlText(progress, 1030) == u"&Close") {
            PostMessageW(progress, WM_COMMAND, 1030, 0);
            ++updates;
            eventually([&] { return !IsWindow(progress); }, 10);
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
      });
      struct Join {
        std::atomic<bool>& flag;
        std::thread& thread;
        ~Join() {
          flag = false;
          thread.join();
        }
      } join{watching, closer};

      logIn();
      const std::string services = tool({"mapi", "services", "Kipo"});
      EXPECT_TRUE(contains(tool({"mapi", "profiles"}), "Kipo (default)\n")) << tool({"mapi", "profiles"}) << log();
      EXPECT_EQ(contains(services, "MSEMS"), answers) << services;
      EXPECT_EQ(contains(services, kDevicePst), !answers) << services;

      logOut();
      EXPECT_EQ(updates > 0, answers) << "the mailbox is updated through the progress dialog";
      EXPECT_EQ(tool({"mapi", "profiles"}), "Office (default)\n") << log();
      EXPECT_EQ(exportProfiles(), before);
      ASSERT_TRUE(closeKipo(kipo));
    }
  }
};

TEST_F(KipoExchangeSessionTest, WhileTheServerAnswersTheLoginRunsOverTheMailbox) { session(true); }
TEST_F(KipoExchangeSessionTest, WhileTheServerIsDownTheLoginRunsOverTheDrivesFile) { session(false); }

}  // namespace
