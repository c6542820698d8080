// "Kipo.exe" with Explorer's tray, end to end: the tray menu's commands (greyed surfaces that are
// "Kipo.exe" with Explorer's tray, end to end: the tray menu's commands (greyed surfaces that are
// not there yet, log in through the pull-down's panel, quit), the running programs a login closes,
// and the crash recovery: a session's login file and parked values written by a login, the program
// killed with SIGKILL, the watcher's recovery run putting the host back and setting the user's new
// Desktop file aside.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;

constexpr char16_t kUserShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char16_t kSnapinsKey[] = u"Software\\Brackwater\\Kipo\\localPrefs\\Snapins";
constexpr char16_t kProductKey[] = u"Software\\Brackwater\\Kipo";
constexpr char16_t kLocalPrefsKey[] = u"Software\\Brackwater\\Kipo\\localPrefs";
constexpr char16_t kLastTheme[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\LastTheme";
constexpr char16_t kControlPanelDesktop[] = u"Control Panel\\Desktop";

void setBoolText(const std::u16string& key, const char16_t* name, const char16_t* value) {
  setString(HKEY_CURRENT_USER, key, name, value);
}

class KipoSessionTest : public KipoTest {
 protected:
  void SetUp() override {
    KipoTest::SetUp();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"boot"}, nullptr, &err), 0) << err;
    // The user has browsed on this host: the first run carries a browser history to the drive.
    ASSERT_EQ(kipotest::runTool({"browse", "http://www.example.org/"}, nullptr, &err), 0) << err;
    desktop_ = host_.c("Documents and Settings/Robin/Desktop");
    documents_ = host_.c("Documents and Settings/Robin/My Documents");
  }

  // Starts the program from the drive and waits for the end of its start-up. This computer has
  // its folder on the drive (it was synchronized before), so the login panel lists it.
  Started startAndWait() {
    fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA");
    Started kipo = startKipo(u"/handoff E:\\");
    EXPECT_NE(waitForFrame(kipo), nullptr) << log();
    EXPECT_TRUE(waitForTrayBalloon()) << trayText();
    return kipo;
  }

  // Log in as a person does: the tray menu's Log in opens the pull-down, and the login panel's
  // link of this computer (allowed to log in to itself here) is followed. Returns when the pass
  // has ended. With `programsRun`, the close-programs dialog lists the running programs first and
  // is answered OK (Enter), which closes them.
  void logInThroughTray(const Started& kipo, bool programsRun = false) {
    setString(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo\\Prefs", u"allowLoginThisComputer", u"true");
    std::string menu = openTrayMenu();
    ASSERT_TRUE(contains(menu, "menu item 341")) << menu;
    ASSERT_EQ(pickMenuCommand(341), 0);
    std::string err;
    std::string links;
    ASSERT_TRUE(eventually([&] {
      links.clear();
      kipotest::runTool({"ui", "links", "--window", "Kipo Login", "--control", "1358"}, &links);
      return contains(links, "href=\"**ALPHA\"");
    })) << links << log();
    // A person clicks once the window has slid down (a click during a slide is not taken).
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(kipotest::runTool({"ui", "follow", "--window", "Kipo Login", "--control", "1358", "--href", "**ALPHA"},
                                nullptr, &err), 0) << err;
    if (programsRun) {
      ASSERT_TRUE(pressInDialog(u"Kipo - Close Programs", IDOK)) << log();
    }
    ASSERT_TRUE(eventually([] { return readString(HKEY_CURRENT_USER, kLocalPrefsKey, u"personalizing") == u"false"; }, 30))
        << log();
    (void)kipo;
  }


  fs::path desktop_, documents_;
};

// Options and the about box are there. Quit ends the program, removes its icon and writes the stop
// line.
TEST_F(KipoSessionTest, TheTrayMenuOffersItsSurfacesAndQuits) {
  Started kipo = startAndWait();
  std::string tray = trayText();
  EXPECT_TRUE(contains(tray, "id=356")) << tray;
  // The first start synchronizes the drive's only computer; at the run's end the idle tip is back.
  EXPECT_TRUE(contains(tray, "tip=\"Double-click to synchronize USB device\"")) << tray;
  EXPECT_TRUE(contains(tray, "balloon=\"Kipo\":\"Not logged in on this computer.\"")) << tray;

  std::string menu = openTrayMenu();
  for (const char* item : {"menu item 342 class=MenuItem text=\"&Options...\"\n",
                           "menu item 336 class=MenuItem text=\"&About...\"\n",
                           "menu item 344 class=MenuItem text=\"&Synchronize\"\n",
                           "menu item 339 class=MenuItem text=\"&Quit\"\n"})
    EXPECT_TRUE(contains(menu, item)) << item << "\n" << menu;

  ASSERT_EQ(pickMenuCommand(339), 0);
  ASSERT_TRUE(kipo.waitEnd(20)) << log();
  EXPECT_FALSE(contains(trayText(), "id=356"));
  EXPECT_TRUE(contains(log(), "Kipo Stopped: ")) << log();
}

// The key case of the recovery: a login writes the login file and parks the host's values; the
// session changes the host as snap-ins would; the program dies by SIGKILL; the watcher's recovery
// run puts the registry, the wallpaper and the Desktop back, writes "false" into every
// "personalized" value, deletes the login file, and moves the user's new Desktop file into the
// holding folder in My Documents instead of deleting it.
TEST_F(KipoSessionTest, ARecoveryRunFollowsAKilledSession) {
  host_.write("Documents and Settings/Robin/Desktop/before.txt", "mine");
  setString(HKEY_CURRENT_USER, kLastTheme, u"Wallpaper", u"C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");
  setString(HKEY_CURRENT_USER, kControlPanelDesktop, u"Wallpaper", u"C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");
  const std::u16string desktopBefore = readString(HKEY_CURRENT_USER, kUserShellFolders, u"Desktop");

  Started kipo = startAndWait();
  logInThroughTray(kipo);
  fs::path loginFile = linuxPath(appData_ + u"\\ALPHA.login");
  ASSERT_TRUE(fs::is_regular_file(loginFile)) << log();

  // The session: what snap-ins do to the host, and a file the user makes on the Desktop.
  setString(HKEY_CURRENT_USER, kUserShellFolders, u"Desktop", u"E:\\Synchronized Computers\\ALPHA\\Desktop");
  setString(HKEY_CURRENT_USER, kControlPanelDesktop, u"Wallpaper", u"E:\\Synchronized Computers\\ALPHA\\wall.bmp");
  setBoolText(std::u16string(kSnapinsKey) + u"\\Wallpaper", u"personalized", u"true");
  setBoolText(kProductKey, u"Personalized", u"true");
  host_.write("Documents and Settings/Robin/Desktop/during.txt", "new work");

  ASSERT_EQ(::kill(static_cast<pid_t>(kipo.pid), SIGKILL), 0);
  ASSERT_TRUE(kipo.waitEnd(10));
  ASSERT_TRUE(eventually([&] { return contains(log(), "handleStartupAction: Recover"); }, 30)) << log();
  ASSERT_TRUE(eventually([&] { return countProcesses("Kipo.exe") == 0 && countProcesses("Tolvane.exe") == 0; }, 30));

  EXPECT_EQ(readString(HKEY_CURRENT_USER, kUserShellFolders, u"Desktop"), desktopBefore);
  EXPECT_EQ(readString(HKEY_CURRENT_USER, kControlPanelDesktop, u"Wallpaper"), u"C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");
  EXPECT_EQ(readString(HKEY_CURRENT_USER, std::u16string(kSnapinsKey) + u"\\Wallpaper", u"personalized"), u"false");
  EXPECT_EQ(readString(HKEY_CURRENT_USER, kProductKey, u"Personalized"), u"false");
  EXPECT_FALSE(fs::exists(loginFile));

  // The Desktop: the recorded file in place; the new one set aside where the user finds it.
  EXPECT_EQ(slurp(desktop_ / "before.txt"), "mine");
  EXPECT_FALSE(fs::exists(desktop_ / "during.txt"));
  fs::path held;
  for (const auto& entry : fs::directory_iterator(documents_))
    if (entry.path().filename().string().rfind("Kipo Recovered Items", 0) == 0) held = entry.path() / "during.txt";
  ASSERT_FALSE(held.empty()) << log();
  EXPECT_EQ(slurp(held), "new work");
  EXPECT_TRUE(contains(log(), "during.txt")) << log();
}

// While an instance runs, a recovery run (the watcher of an earlier crash, or a user) leaves the
// host and the login file alone.
TEST_F(KipoSessionTest, ARecoveryRunWhileAnInstanceRunsChangesNothing) {
  Started kipo = startAndWait();
  logInThroughTray(kipo);
  fs::path loginFile = linuxPath(appData_ + u"\\ALPHA.login");
  ASSERT_TRUE(fs::is_regular_file(loginFile)) << log();
  host_.write("Documents and Settings/Robin/Desktop/during.txt", "new work");

  Started recovery = startKipo(u"-recover");
  ASSERT_TRUE(recovery.waitEnd(20));
  EXPECT_TRUE(fs::is_regular_file(loginFile));
  EXPECT_TRUE(fs::is_regular_file(desktop_ / "during.txt"));
  EXPECT_TRUE(contains(log(), "handleStartupAction: An instance is running; nothing is recovered.")) << log();
  EXPECT_TRUE(kipo.running());
  ASSERT_TRUE(closeKipo(kipo));
}

// A login closes the running programs that keep settings before anything is backed up: Excel as
// asked, Word after its save question is answered Yes from this program.
TEST_F(KipoSessionTest, ALoginClosesTheProgramsThatKeepSettings) {
  Started word = start(u"\"C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE\" --close confirm --log C:\\word.log");
  Started excel = start(u"\"C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE\"");
  ASSERT_TRUE(eventually([] { return FindWindowW(u"OpusApp", nullptr) && FindWindowW(u"XLMAIN", nullptr); }));
  Started kipo = startAndWait();
  // The start-up synchronization completed and took its marker away, so the login may go on.
  EXPECT_FALSE(fs::exists(drive_ / "Synchronized Computers" / "ALPHA.Sync")) << log();
  logInThroughTray(kipo, true);
  // The screen cover withdraws once the host is personalized.
  EXPECT_TRUE(eventually([] {
    HWND cover = FindWindowW(nullptr, u"KIPO_IMAGE_WINDOW");
    return !cover || !IsWindowVisible(cover);
  }, 20)) << log();
  EXPECT_TRUE(word.waitEnd(10)) << log();
  EXPECT_TRUE(excel.waitEnd(10)) << log();
  EXPECT_TRUE(contains(host_.read("word.log"), "confirm yes")) << host_.read("word.log");
  EXPECT_TRUE(contains(log(), "{CWordProcessCustomizer}: Close Microsoft Word confirmation window.")) << log();
  EXPECT_FALSE(contains(log(), "Failed to backup")) << log();
  ASSERT_TRUE(closeKipo(kipo));
}

// The end of the Windows session: the frame's WM_ENDSESSION runs the clean-up and the end of the
// run once, so the log has one stop line for the run.
TEST_F(KipoSessionTest, TheEndOfTheSessionEndsTheRunOnce) {
  Started kipo = startAndWait();
  std::string err;
  ASSERT_EQ(kipotest::runTool({"shutdown", "--timeout", "30"}, nullptr, &err), 0) << err;
  ASSERT_TRUE(kipo.waitEnd(30));
  std::string text = log();
  std::size_t ending = text.find("mainframe window ending session<br>");
  ASSERT_NE(ending, std::string::npos) << text;
  // The watcher starts a recovery run once the program has ended; its lines are its own.
  std::string run = text.substr(0, text.find("handleStartupAction: Recover", ending));
  std::size_t stop = run.find("Kipo Stopped: ", ending);
  ASSERT_NE(stop, std::string::npos) << text;
  EXPECT_EQ(run.find("Kipo Stopped: ", stop + 1), std::string::npos) << text;
}

}  // namespace
