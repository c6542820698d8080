// "Kipo.exe" synchronizing end to end, driven as a person drives it with `kipo-host ui`: the
// tray's Synchronize opens the synchronize dialog, which lists what the calculation through the
// run coordinator found; its OK closes it and the progress dialog follows the run to its end; the
// host's Desktop file is then on the drive and the run's marker is gone. Closing the synchronize
// dialog instead runs nothing, and closing the program while it is up ends it first.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;

std::string controlText(HWND dialog, int id) { return utf8(kipo::controlText(dialog, id)); }

class KipoSynchronizeTest : public KipoTest {
 protected:
  void SetUp() override {
    KipoTest::SetUp();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"boot"}, nullptr, &err), 0) << err;
    // This computer was synchronized before: the start-up does not synchronize by itself.
    fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA");
    host_.write("Documents and Settings/Robin/Desktop/notes.txt", "carried notes");
  }

  // Starts the program, waits for its start-up, then picks Synchronize in the tray menu and
  // waits for the dialog's calculation to end. The dialog, or null.
  HWND openSynchronizeDialog(const Started& kipo) {
    EXPECT_NE(waitForFrame(kipo), nullptr) << log();
    EXPECT_TRUE(waitForTrayBalloon()) << trayText();
    std::string menu = openTrayMenu();
    EXPECT_TRUE(contains(menu, "menu item 344")) << menu;
    EXPECT_EQ(pickMenuCommand(344), 0);
    HWND dialog = waitForSynchronizeSearch();
    EXPECT_NE(dialog, nullptr) << log();
    return dialog;
  }

  // The user edits the Desktop file. Its time moves a minute past the last one, beyond the
  // drive's two-second tolerance, as a later edit's would (the test runs faster than that).
  void editNotes(const std::string& text) {
    const fs::path notes = host_.c("Documents and Settings/Robin/Desktop/notes.txt");
    const auto before = fs::last_write_time(notes);
    host_.write("Documents and Settings/Robin/Desktop/notes.txt", text);
    fs::last_write_time(notes, before + std::chrono::minutes(1));
  }

  static std::string listing(const char16_t* caption) {
    std::string out;
    kipotest::runTool({"ui", "list", "--window", utf8(caption)}, &out);
    return out;
  }
  static int click(const char16_t* caption, int control) {
    return kipotest::runTool({"ui", "click", "--window", utf8(caption), "--control", std::to_string(control)});
  }
};

TEST_F(KipoSynchronizeTest, SynchronizeThroughTheDialogs) {
  Started kipo = startKipo(u"/handoff E:\\");
  HWND dialog = openSynchronizeDialog(kipo);
  ASSERT_NE(dialog, nullptr) << log();
  const std::string rows = listing(kSynchronizeCaption);
  EXPECT_TRUE(contains(rows, "notes.txt")) << rows;
  // No Outlook snap-in: its choices are off.
  HWND inbox = GetDlgItem(dialog, 1081);
  ASSERT_NE(inbox, nullptr);
  EXPECT_FALSE(IsWindowEnabled(inbox));

  ASSERT_EQ(click(kSynchronizeCaption, IDOK), 0);
  ASSERT_TRUE(eventually([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 30)) << log();
  HWND progress = nullptr;
  ASSERT_TRUE(eventually([&] { return (progress = FindWindowW(u"#32770", kProgressCaption)) != nullptr; }, 30)) << log();
  // The run has ended when the dialog's button offers to close it.
  ASSERT_TRUE(eventually([&] { return controlText(progress, 1030) == "&Close"; }, 60)) << listing(kProgressCaption);
  EXPECT_EQ(controlText(progress, 1278), "Synchronization complete");
  ASSERT_EQ(click(kProgressCaption, 1030), 0);
  ASSERT_TRUE(eventually([&] { return !IsWindow(progress); }, 30));

  // The synchronized message, then the drive holds the file and no marker of an unfinished run.
  HWND message = nullptr;
  ASSERT_TRUE(eventually([&] { return (message = FindWindowW(u"#32770", u"Kipo - Message")) != nullptr; }, 30)) << log();
  EXPECT_TRUE(contains(controlText(message, 1268), "ALPHA")) << controlText(message, 1268);
  PostMessageW(message, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(eventually([&] { return !IsWindow(message); }, 10));
  ASSERT_TRUE(eventually([&] { return !IsWindow(dialog); }, 10));
  EXPECT_EQ(slurp(drive_ / "Synchronized Computers" / "ALPHA" / "Desktop" / "notes.txt"), "carried notes") << log();
  EXPECT_FALSE(fs::exists(drive_ / "Synchronized Computers" / "ALPHA.Sync"));
  EXPECT_TRUE(contains(log(), "{CustomizerView}: Synchronization synchronized.")) << log();
  ASSERT_TRUE(closeKipo(kipo));
}

TEST_F(KipoSynchronizeTest, ClosingTheDialogRunsNothing) {
  Started kipo = startKipo(u"/handoff E:\\");
  HWND dialog = openSynchronizeDialog(kipo);
  ASSERT_NE(dialog, nullptr) << log();
  ASSERT_EQ(click(kSynchronizeCaption, IDCANCEL), 0);
  ASSERT_TRUE(eventually([&] { return !IsWindow(dialog); }, 30)) << log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(FindWindowW(u"#32770", kProgressCaption), nullptr);
  EXPECT_FALSE(fs::exists(drive_ / "Synchronized Computers" / "ALPHA" / "Desktop" / "notes.txt"));
  EXPECT_FALSE(contains(log(), "Synchronization synchronized.")) << log();
  ASSERT_TRUE(closeKipo(kipo));
}

// Closing the dialog, after a search alone or after a completed run, leaves the session's later
// runs whole: each finds the Desktop file the user changed since and carries it to the drive.
TEST_F(KipoSynchronizeTest, RunsAfterAClosedDialogStillCarryChanges) {
  Started kipo = startKipo(u"/handoff E:\\");
  HWND dialog = openSynchronizeDialog(kipo);
  ASSERT_NE(dialog, nullptr) << log();
  ASSERT_EQ(click(kSynchronizeCaption, IDCANCEL), 0);
  ASSERT_TRUE(eventually([&] { return !IsWindow(dialog); }, 30)) << log();

  const fs::path onDrive = drive_ / "Synchronized Computers" / "ALPHA" / "Desktop" / "notes.txt";
  editNotes("notes edited after the closed dialog");
  ASSERT_TRUE(synchronizeThroughTray()) << log();
  EXPECT_EQ(slurp(onDrive), "notes edited after the closed dialog") << log();

  // Once more after a completed run: the dialog shows the drive up to date and is closed.
  openTrayMenu();
  ASSERT_EQ(pickMenuCommand(344), 0);
  dialog = waitForSynchronizeSearch();
  ASSERT_NE(dialog, nullptr) << log();
  ASSERT_EQ(click(kSynchronizeCaption, IDCANCEL), 0);
  ASSERT_TRUE(eventually([&] { return !IsWindow(dialog); }, 30)) << log();
  editNotes("notes edited once more, after a run");
  ASSERT_TRUE(synchronizeThroughTray()) << log();
  EXPECT_EQ(slurp(onDrive), "notes edited once more, after a run") << log();
  ASSERT_TRUE(closeKipo(kipo));
}

// The program is closed (as another program closes it) while the synchronize dialog is up: the
// dialog goes first, then the program ends normally.
TEST_F(KipoSynchronizeTest, AClosedProgramEndsTheOpenDialogFirst) {
  Started kipo = startKipo(u"/handoff E:\\");
  HWND dialog = openSynchronizeDialog(kipo);
  ASSERT_NE(dialog, nullptr) << log();
  ASSERT_TRUE(closeKipo(kipo)) << log();
  EXPECT_EQ(kipo.exitCode(), 0u);
  EXPECT_TRUE(contains(log(), "Kipo Stopped: ")) << log();
  EXPECT_FALSE(contains(log(), "Synchronization synchronized.")) << log();
}

}  // namespace
