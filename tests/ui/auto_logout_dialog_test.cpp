// The automatic-logout countdown under the virtual clock: 45 seconds to OK with the title counting
// down, cancelled by WM_COMMAND IDCANCEL or by the return of the removed drive only (without the
// removal's name, of the device's drive), and the detector's change client held exactly while the
// dialog is up.
#include "ui/auto_logout_dialog.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/folder_lookup.h"
#include "lang/ids.h"
#include "platform/base/clock.h"
#include "platform/host/drives.h"
#include "platform/win32/win32.h"
#include "tests/support/ui_script.h"
#include "tests/ui/drive_dialog_fixture.h"

namespace {

using drivetest::DriveDialogTest;
namespace clk = platform::clock;

constexpr char16_t kRemovedDrive[] = u"\\\\?\\STORAGE#Volume#{11111111-2222-3333-4444-555555555555}";
constexpr char16_t kOtherDrive[] = u"\\\\?\\STORAGE#Volume#{99999999-2222-3333-4444-555555555555}";

// Records the title as the dialog starts and as it ends.
class RecordingLogoutDialog : public CAutoLogoutDialog {
 public:
  using CAutoLogoutDialog::CAutoLogoutDialog;
  BOOL OnInitDialog() override {
    BOOL result = CAutoLogoutDialog::OnInitDialog();
    GetWindowText(firstTitle);
    if (onShown) onShown(m_hWnd);
    return result;
  }
  void OnOK() override {
    GetWindowText(lastTitle);
    CAutoLogoutDialog::OnOK();
  }
  void OnCancel() override {
    GetWindowText(lastTitle);
    CAutoLogoutDialog::OnCancel();
  }
  CString firstTitle, lastTitle;
  std::function<void(HWND)> onShown;
};

class AutoLogoutDialogTest : public DriveDialogTest {
 protected:
  // Runs `action` once `ms` of virtual time have passed after the dialog came up.
  void at(std::uint64_t ms, std::function<void()> action) {
    actions.push_back({ms, std::move(action)});
  }
  INT_PTR run(RecordingLogoutDialog& dialog, const char16_t* driveText = kRemovedDrive) {
    dialog.m_driveText = driveText;
    dialog.onShown = [this](HWND window) {
      shownAt = clock.nowMs();
      this->window = window;
      for (auto& [ms, action] : actions) clk::schedule(shownAt + ms, action);
    };
    kipotest::UiScript ui;
    // Long enough for every countdown: the dialog closes itself meanwhile.
    ui.dialog(IDD_AUTO_LOGOUT).wait(120000);
    const INT_PTR result = dialog.DoModal();
    endedAfter = clock.nowMs() - shownAt;
    ui.acceptFailures();
    return result;
  }

  clk::VirtualClock clock;
  std::vector<std::pair<std::uint64_t, std::function<void()>>> actions;
  std::uint64_t shownAt = 0, endedAfter = 0;
  HWND window = nullptr;
};

TEST_F(AutoLogoutDialogTest, RunsOutAfterFortyFiveSecondsWithOk) {
  RecordingLogoutDialog dialog;
  CDeviceChangeClient* clientWhileUp = nullptr;
  at(1000, [&] { clientWhileUp = services.client; });
  EXPECT_EQ(run(dialog), IDOK);
  EXPECT_GE(endedAfter, 45000u);
  EXPECT_LT(endedAfter, 46000u);
  EXPECT_EQ(utf8(dialog.firstTitle), "Kipo - Automatic Logout (closes in 45 seconds)");
  // The 45th tick closes without writing the title again: it still says 1.
  EXPECT_EQ(utf8(dialog.lastTitle), "Kipo - Automatic Logout (closes in 1 seconds)");
  EXPECT_EQ(dialog.m_secondsLeft, 0);
  EXPECT_EQ(clientWhileUp, static_cast<CDeviceChangeClient*>(&dialog));
  EXPECT_EQ(services.client, nullptr);
}

TEST_F(AutoLogoutDialogTest, CancelCommandEndsTheCountdown) {
  RecordingLogoutDialog dialog;
  at(10500, [&] { PostMessageW(window, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(run(dialog), IDCANCEL);
  EXPECT_GE(endedAfter, 10000u);
  EXPECT_LT(endedAfter, 11000u);
  EXPECT_EQ(utf8(dialog.lastTitle), "Kipo - Automatic Logout (closes in 35 seconds)");
  EXPECT_EQ(services.client, nullptr);
}

TEST_F(AutoLogoutDialogTest, OnlyTheRemovedDrivesArrivalCancels) {
  RecordingLogoutDialog dialog;
  std::vector<bool> answers;
  auto change = [&](const char16_t* name, bool removed) {
    return [&, name, removed] { answers.push_back(services.client->onDeviceChange(name, removed)); };
  };
  at(5000, change(kOtherDrive, false));
  at(6000, change(kOtherDrive, true));
  at(7000, change(kRemovedDrive, true));
  at(20000, change(kRemovedDrive, false));
  EXPECT_EQ(run(dialog), IDCANCEL);
  EXPECT_GE(endedAfter, 20000u);
  EXPECT_LT(endedAfter, 21000u);
  // Every change is taken by the dialog, whether it acts on it or not.
  EXPECT_EQ(answers, (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(services.client, nullptr);
}

// The main frame's countdown has no drive text: a removal or an arrival while the device's drive
// is still away leaves it running; the first arrival after which its root exists ends it. While
// up it is the current countdown.
TEST_F(AutoLogoutDialogTest, WithoutDriveTextTheDevicesReturnCancels) {
  CFolderLookup::setDevicePathSource([] { return CString(u"E:\\Kipo"); });
  RecordingLogoutDialog dialog;
  CAutoLogoutDialog* currentWhileUp = nullptr;
  std::vector<bool> answers;
  auto change = [&](const char16_t* name, bool removed) {
    return [&, name, removed] { answers.push_back(services.client->onDeviceChange(name, removed)); };
  };
  at(1000, [&] { currentWhileUp = CAutoLogoutDialog::current(); });
  at(5000, change(kOtherDrive, false));
  at(6000, [&] {
    platform::host::Drive drive;
    drive.name = u"E:";
    drive.root = kipotest::freshTempDir("logout-e");
    drive.type = DRIVE_REMOVABLE;
    platform::host::addDrive(drive);
  });
  at(7000, change(kRemovedDrive, true));
  at(20000, change(kOtherDrive, false));
  EXPECT_EQ(run(dialog, u""), IDCANCEL);
  EXPECT_GE(endedAfter, 20000u);
  EXPECT_LT(endedAfter, 21000u);
  EXPECT_EQ(answers, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(currentWhileUp, &dialog);
  EXPECT_EQ(CAutoLogoutDialog::current(), nullptr);
  EXPECT_EQ(services.client, nullptr);
  CFolderLookup::setDevicePathSource(nullptr);
}

TEST_F(AutoLogoutDialogTest, EscapeCancelsAndTheUserCanLogOutAtOnce) {
  struct Case {
    const char* name;
    bool escape;
    INT_PTR result;
  };
  for (const Case& c : {Case{"Escape", true, IDCANCEL}, Case{"Log out now", false, IDOK}}) {
    SCOPED_TRACE(c.name);
    kipotest::UiScript ui;
    if (c.escape) ui.dialog(IDD_AUTO_LOGOUT).escape();
    else ui.dialog(IDD_AUTO_LOGOUT).click(IDOK);
    CAutoLogoutDialog dialog;
    const std::uint64_t start = clock.nowMs();
    EXPECT_EQ(dialog.DoModal(), c.result);
    EXPECT_LT(clock.nowMs() - start, 1000u);
    EXPECT_EQ(services.client, nullptr);
  }
}

TEST_F(AutoLogoutDialogTest, WithoutCountdownTheTitleStaysAndNothingCloses) {
  RecordingLogoutDialog dialog(nullptr, true);
  at(60000, [&] { PostMessageW(window, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(run(dialog), IDCANCEL);
  EXPECT_GE(endedAfter, 60000u);
  EXPECT_EQ(utf8(dialog.firstTitle), "Kipo - Automatic Logout");
}

TEST_F(AutoLogoutDialogTest, DestroyedClientClearsThePointer) {
  {
    CAutoLogoutDialog dialog;
    services.setDeviceChangeClient(&dialog);
  }
  EXPECT_EQ(services.client, nullptr);
  // Another client is left alone.
  CAutoLogoutDialog other;
  {
    CAutoLogoutDialog dialog;
    services.setDeviceChangeClient(&other);
  }
  EXPECT_EQ(services.client, static_cast<CDeviceChangeClient*>(&other));
  services.client = nullptr;
}

}  // namespace
