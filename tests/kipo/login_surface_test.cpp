// The login surface of "Kipo.exe" end to end, as a person on the host meets it through
// `kipo-host ui`: the intro movie at start-up, the about box's logo links, and the logout through
// the taskbar's logout button.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/host/process_table.h"
#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;

constexpr char16_t kProductKey[] = u"Software\\Brackwater\\Kipo";
constexpr char16_t kLocalPrefsKey[] = u"Software\\Brackwater\\Kipo\\localPrefs";

class KipoLoginSurfaceTest : public KipoTest {
 protected:
  void SetUp() override {
    KipoTest::SetUp();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"boot"}, nullptr, &err), 0) << err;
    // The user has browsed on this host: the login has a browser history to carry.
    ASSERT_EQ(kipotest::runTool({"browse", "http://www.example.org/"}, nullptr, &err), 0) << err;
  }

  // The program from the drive, which already carries this computer's folder, once its start-up
  // has ended.
  Started startAndWait() {
    fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA");
    Started kipo = startKipo(u"/handoff E:\\");
    EXPECT_NE(waitForFrame(kipo), nullptr) << log();
    EXPECT_TRUE(waitForTrayBalloon()) << trayText();
    return kipo;
  }


  static bool loggedOut() { return contains(trayText(), "tip=\"Double-click to synchronize"); }
};

// With "showIntroMovie" set, the start shows the movie of the product folder; unticking its box
// and pressing Continue stores 0, so the next start goes without it.
TEST_F(KipoLoginSurfaceTest, TheIntroMovieShowsAtStartUntilItsBoxIsUnticked) {
  std::string err;
  ASSERT_EQ(kipotest::runTool({"reg", "set", "HKCU\\Software\\Brackwater\\Kipo", "showIntroMovie", "--type", "REG_DWORD",
                               "--data", "1"}, nullptr, &err), 0) << err;
  fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA");
  Started kipo = startKipo(u"/handoff E:\\");
  ASSERT_TRUE(eventually([] { return FindWindowW(u"#32770", u"Welcome to Kipo") != nullptr; }, 30)) << log();
  const std::string listing = tool({"ui", "list", "--window", "Welcome to Kipo"});
  EXPECT_TRUE(contains(listing, "intro.swf")) << listing;
  ASSERT_EQ(kipotest::runTool({"ui", "check", "--window", "Welcome to Kipo", "--control", "1094", "--state", "0"},
                              nullptr, &err), 0) << err;
  ASSERT_EQ(kipotest::runTool({"ui", "click", "--window", "Welcome to Kipo", "--control", "1"}, nullptr, &err), 0) << err;
  EXPECT_TRUE(waitForTrayBalloon()) << trayText();
  EXPECT_TRUE(contains(tool({"reg", "query", "HKCU\\Software\\Brackwater\\Kipo"}), "showIntroMovie")) << log();
  HKEY key = nullptr;
  DWORD value = 7, size = sizeof value;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"showIntroMovie", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(value, 0u);
  ASSERT_TRUE(closeKipo(kipo));
}

// The about box from the tray menu shows both logos as links; a click on the maker's opens its
// site through the shell.
TEST_F(KipoLoginSurfaceTest, TheAboutBoxLogosOpenTheirSites) {
  Started kipo = startAndWait();
  openTrayMenu();
  ASSERT_EQ(pickMenuCommand(336), 0);
  ASSERT_TRUE(eventually([] { return FindWindowW(u"#32770", u"About Kipo") != nullptr; })) << log();
  const std::string listing = tool({"ui", "list", "--window", "About Kipo"});
  std::size_t links = 0;
  for (std::size_t at = listing.find("control 65535"); at != std::string::npos; at = listing.find("control 65535", at + 1))
    ++links;
  EXPECT_EQ(links, 2u) << listing;
  std::string err;
  ASSERT_EQ(kipotest::runTool({"ui", "click", "--window", "About Kipo", "--control", "65535"}, nullptr, &err), 0) << err;
  ASSERT_TRUE(eventually([] {
    for (const auto& open : platform::host::shellOpens())
      if (open.target == u"http://www.brackwater.com" && open.verb == u"open") return true;
    return false;
  }, 10));
  ASSERT_TRUE(pressInDialog(u"About Kipo", IDOK));
  ASSERT_TRUE(closeKipo(kipo));
}

// Logged in, the taskbar shows the logout button; pressing it asks the logout question, and Yes
// restores the computer and takes the button away. The login was as this very computer: the
// host's Desktop items come out of the session as they went in, a hidden one still hidden.
TEST_F(KipoLoginSurfaceTest, TheTaskbarLogoutButtonLogsOut) {
  const std::u16string desktop = u"C:\\Documents and Settings\\Robin\\Desktop\\";
  host_.write("Documents and Settings/Robin/Desktop/shown.txt", "the host's own");
  host_.write("Documents and Settings/Robin/Desktop/secret.txt", "hidden by the host");
  ASSERT_TRUE(SetFileAttributesW((desktop + u"secret.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
  Started kipo = startAndWait();
  logIn();
  std::string buttons;
  ASSERT_TRUE(eventually([&] { return contains(buttons = tool({"ui", "taskbar"}), "text=\"Log out\""); })) << buttons;
  std::string err;
  ASSERT_EQ(kipotest::runTool({"ui", "taskbar", "click", "--window", "Log out"}, nullptr, &err), 0) << err;
  ASSERT_TRUE(pressInDialog(u"Kipo - Log Out", IDOK)) << tool({"ui", "list"}) << log();
  EXPECT_TRUE(eventually(loggedOut, 60)) << trayText() << log();
  EXPECT_TRUE(eventually([] { return !contains(tool({"ui", "taskbar"}), "text=\"Log out\""); })) << tool({"ui", "taskbar"});
  EXPECT_EQ(readString(HKEY_CURRENT_USER, kProductKey, u"Personalized"), u"false");
  EXPECT_EQ(GetFileAttributesW((desktop + u"secret.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN,
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetFileAttributesW((desktop + u"shown.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_FALSE(contains(log(), "Failed to read backup snapshot file during restore")) << log();
  ASSERT_TRUE(closeKipo(kipo));
}

}  // namespace
