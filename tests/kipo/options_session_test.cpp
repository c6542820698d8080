// "Kipo.exe" end to end: the tray menu's Options opens the options dialog, a person changes an
// option of the general page with `kipo-host ui`, OK writes it to the preferences and the pref file
// on the drive; a change that is cancelled is not kept; a synchronization after the options still
// carries the user's files.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;

constexpr char16_t kPrefsKey[] = u"Software\\Brackwater\\Kipo\\Prefs";
constexpr char kOptionsCaption[] = "Kipo - Options";

class KipoOptionsTest : public KipoTest {
 protected:
  void SetUp() override {
    KipoTest::SetUp();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"boot"}, nullptr, &err), 0) << err;
  }

  // Opens the options from the tray menu; the dialog's window once it shows.
  HWND openOptions() {
    std::string menu = openTrayMenu();
    EXPECT_TRUE(contains(menu, "menu item 342 class=MenuItem text=\"&Options...\"\n")) << menu;
    EXPECT_EQ(pickMenuCommand(342), 0);
    HWND dialog = nullptr;
    eventually([&] {
      dialog = FindWindowW(u"#32770", u"Kipo - Options");
      return dialog != nullptr && IsWindowVisible(dialog);
    }, 20);
    return dialog;
  }
  static int ui(const std::vector<std::string>& args) {
    std::string err;
    const int rc = kipotest::runTool(args, nullptr, &err);
    EXPECT_EQ(rc, 0) << err;
    return rc;
  }
  static bool closes(HWND dialog) { return eventually([&] { return !IsWindow(dialog); }, 20); }
  static std::u16string showLogoutButton() { return readString(HKEY_CURRENT_USER, kPrefsKey, u"showLogoutButton"); }
};

TEST_F(KipoOptionsTest, AnOptionChangedInTheDialogIsSavedOnOkAndDroppedOnCancel) {
  fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA");
  Started kipo = startKipo(u"/handoff E:\\");
  ASSERT_NE(waitForFrame(kipo), nullptr) << log();
  ASSERT_TRUE(waitForTrayBalloon()) << trayText();

  // Cancel first: the box is cleared, then the dialog cancelled.
  HWND dialog = openOptions();
  ASSERT_NE(dialog, nullptr) << log();
  // The device usage strip sits above the pages, with the drive's capacity.
  std::string listing;
  kipotest::runTool({"ui", "list", "--window", kOptionsCaption}, &listing);
  EXPECT_TRUE(contains(listing, "1336")) << listing;
  ASSERT_NE(dialog, nullptr) << log();
  ui({"ui", "check", "--window", kOptionsCaption, "--control", "1093", "--state", "0"});
  ui({"ui", "click", "--window", kOptionsCaption, "--control", "2"});
  ASSERT_TRUE(closes(dialog)) << log();
  EXPECT_NE(showLogoutButton(), u"false");

  // Then OK: the page is applied and the preferences saved to the drive.
  const fs::path prefFile = drive_ / "Synchronized Computers" / "customizer.pref";
  std::error_code ec;
  const auto before = fs::exists(prefFile) ? fs::last_write_time(prefFile, ec) : fs::file_time_type{};
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  dialog = openOptions();
  ASSERT_NE(dialog, nullptr) << log();
  ui({"ui", "check", "--window", kOptionsCaption, "--control", "1093", "--state", "0"});
  ui({"ui", "click", "--window", kOptionsCaption, "--control", "1"});
  ASSERT_TRUE(closes(dialog)) << log();
  EXPECT_TRUE(eventually([&] { return showLogoutButton() == u"false"; }, 10)) << log();
  ASSERT_TRUE(fs::exists(prefFile));
  EXPECT_GT(fs::last_write_time(prefFile, ec), before) << "the pref file was saved";

  // The options leave the snap-ins able to synchronize: a file new on the desktop reaches the drive.
  host_.write("Documents and Settings/Robin/Desktop/after-options.txt", "new");
  ASSERT_TRUE(synchronizeThroughTray()) << log();
  EXPECT_TRUE(eventually([&] {
    for (const auto& entry : fs::recursive_directory_iterator(drive_ / "Synchronized Computers"))
      if (entry.path().filename() == "after-options.txt") return true;
    return false;
  }, 30)) << log();

  openTrayMenu();
  ASSERT_EQ(pickMenuCommand(339), 0);
  EXPECT_TRUE(kipo.waitEnd(20)) << log();
}

}  // namespace
