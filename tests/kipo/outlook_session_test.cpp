// "Kipo.exe" with the host's Outlook, end to end: a login carries the user's Outlook (the "Kipo"
// profile, made the default, over "Kipo.pst" in the computer's folder on the drive, or over the
// user's Exchange mailbox when its server answers) and the logout puts the host's MAPI profiles
// key back byte for byte; mail sent and received during the session stays in the drive's file.
#include <gtest/gtest.h>

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

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string tool(const std::vector<std::string>& args) {
  std::string out, err;
  kipotest::runTool(args, &out, &err);
  return out + err;
}

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

  // Starts the host's Outlook as the user would, logging to the drive; true once it has logged on.
  bool startOutlook() {
    std::string err;
    if (kipotest::runTool({"run", std::string("\"") + kOutlookProgram + "\" --log E:\\outlook.log"}, nullptr, &err) != 0)
      return false;
    return eventually([&] { return contains(outlookLog(), "logon "); }, 30);
  }
  std::string outlookLog() const { return slurp(drive_ / "outlook.log"); }

  void logOut() {
    std::string buttons;
    ASSERT_TRUE(eventually([&] { return contains(buttons = tool({"ui", "taskbar"}), "text=\"Log out\""); })) << buttons;
    std::string err;
    ASSERT_EQ(kipotest::runTool({"ui", "taskbar", "click", "--window", "Log out"}, nullptr, &err), 0) << err;
    ASSERT_TRUE(pressInDialog(u"Kipo - Log Out", IDOK)) << tool({"ui", "list"}) << log();
    EXPECT_TRUE(eventually([] { return contains(trayText(), "tip=\"Double-click to synchronize"); }, 60))
        << trayText() << tool({"ui", "list"}) << log();
  }
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

}  // namespace
