// "Kipo.exe" with the host's Outlook, end to end: a login carries the user's Outlook (the "Kipo"
// profile, made the default, over "Kipo.pst" in the computer's folder on the drive) and the
// logout puts the host's MAPI profiles key back byte for byte.
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


  void logOut() {
    std::string buttons;
    ASSERT_TRUE(eventually([&] { return contains(buttons = tool({"ui", "taskbar"}), "text=\"Log out\""); })) << buttons;
    std::string err;
    ASSERT_EQ(kipotest::runTool({"ui", "taskbar", "click", "--window", "Log out"}, nullptr, &err), 0) << err;
    ASSERT_TRUE(pressInDialog(u"Kipo - Log Out", IDOK)) << tool({"ui", "list"}) << log();
    EXPECT_TRUE(eventually([] { return contains(trayText(), "tip=\"Double-click to synchronize"); }, 60))
        << trayText() << log();
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

}  // namespace
