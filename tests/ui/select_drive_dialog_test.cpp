// The drive-choice dialog on a host with USB drives plugged and unplugged while it is up: the
// list, the preselection of a new drive, the kept selection, and the chosen root.
#include "ui/select_drive_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/folder_lookup.h"
#include "lang/ids.h"
#include "platform/base/clock.h"
#include "platform/host/device_tree.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/ui_script.h"
#include "tests/ui/drive_dialog_fixture.h"

namespace {

using drivetest::DriveDialogTest;
namespace clk = platform::clock;
namespace host = platform::host;

// Notes the dialog's window when it is up, so a test can act on it at a time of its choosing.
class WatchedSelectDriveDialog : public CSelectDriveDialog {
 public:
  BOOL OnInitDialog() override {
    BOOL result = CSelectDriveDialog::OnInitDialog();
    if (onShown) onShown(m_hWnd);
    return result;
  }
  std::function<void(HWND)> onShown;
};

class SelectDriveDialogTest : public DriveDialogTest {
 protected:
  static void plug(char16_t letter) {
    host::PlugRequest r;
    r.letter = letter;
    r.folder = kipotest::freshTempDir("drive");
    r.device.vendorId = u"090C";
    r.device.productId = u"1000";
    r.device.serial = std::u16string(u"SERIAL") + letter;
    host::plugDrive(r);
  }
  // Runs the dialog; `actions` run at their times (ms after it came up); OK is pressed at `okAt`.
  INT_PTR run(WatchedSelectDriveDialog& dialog, std::vector<std::pair<std::uint64_t, std::function<void()>>> actions,
              std::uint64_t okAt) {
    dialog.onShown = [&, actions](HWND window) {
      const std::uint64_t now = clock.nowMs();
      for (const auto& [ms, action] : actions) clk::schedule(now + ms, action);
      clk::schedule(now + okAt, [window] { PostMessageW(window, WM_COMMAND, IDOK, 0); });
    };
    kipotest::UiScript ui;
    ui.dialog(IDD_SELECT_DRIVE).wait(okAt + 60000);
    const INT_PTR result = dialog.DoModal();
    ui.acceptFailures();
    return result;
  }

  clk::VirtualClock clock;
};

TEST_F(SelectDriveDialogTest, ListsTheDrivesAndGivesTheChosenRoot) {
  plug(u'E');
  plug(u'F');
  kipotest::UiScript ui;
  ui.dialog(IDD_SELECT_DRIVE).select(IDC_SD_DRIVES, 1).click(IDOK);
  WatchedSelectDriveDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_lastLetters, CString(u"EF"));
  EXPECT_EQ(dialog.m_choice, CString(u"F:"));
  EXPECT_EQ(dialog.selectedDriveRoot(), CString(u"F:\\"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(services.client, nullptr);
}

TEST_F(SelectDriveDialogTest, WithoutDrivesOkAsksForOneAndCancelGivesNothing) {
  kipotest::UiScript ui;
  ui.dialog(IDD_SELECT_DRIVE).click(IDOK).click(IDCANCEL);
  WatchedSelectDriveDialog dialog;
  CDeviceChangeClient* clientWhileUp = nullptr;
  dialog.onShown = [&](HWND) { clientWhileUp = services.client; };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(dialog.selectedDriveRoot().IsEmpty());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(utf8(boxes[0].text).find("No removable device was found"), std::string::npos);
  EXPECT_NE(utf8(boxes[1].text).find("Please insert a USB device"), std::string::npos);
  // Registered while up, taking every change; cleared when it ended.
  EXPECT_EQ(clientWhileUp, static_cast<CDeviceChangeClient*>(&dialog));
  EXPECT_TRUE(dialog.onDeviceChange(u"anything", true));
  EXPECT_EQ(services.client, nullptr);
}

TEST_F(SelectDriveDialogTest, ADrivePluggedWhileUpIsPreselected) {
  plug(u'E');
  WatchedSelectDriveDialog dialog;
  EXPECT_EQ(run(dialog, {{3000, [] { plug(u'G'); }}}, 10000), IDOK);
  EXPECT_EQ(dialog.m_lastLetters, CString(u"EG"));
  EXPECT_EQ(dialog.selectedDriveRoot(), CString(u"G:\\"));
}

TEST_F(SelectDriveDialogTest, UnpluggingAnotherDriveKeepsTheSelection) {
  plug(u'E');
  plug(u'F');
  WatchedSelectDriveDialog dialog;
  // The user picks F; then E goes away.
  EXPECT_EQ(run(dialog, {{500, [&] { dialog.m_drives.SetCurSel(1); }}, {3000, [] { host::unplugDrive(u'E'); }}}, 10000),
            IDOK);
  EXPECT_EQ(dialog.m_lastLetters, CString(u"F"));
  EXPECT_EQ(dialog.selectedDriveRoot(), CString(u"F:\\"));
}

// The standby path: the letters of the USB disks, given (E, F, H) or from the drives plugged,
// less the device's own drive (F); the first one preselected.
TEST_F(SelectDriveDialogTest, StandbyRequestLeavesOutTheDeviceInUse) {
  class StandbyServices : public drivetest::DialogServices {
   public:
    bool usesDeviceMonitor() override { return false; }
    bool standbyRequested() override { return requested; }
    void clearStandbyRequest() override { requested = false; }
    CString enumerateUsbDrives() override { return given ? CString(u"EFH") : DialogServices::enumerateUsbDrives(); }
    bool requested = true;
    bool given = true;
  };
  for (bool given : {true, false}) {
    SCOPED_TRACE(given ? "letters given" : "drives plugged");
    StandbyServices standby;
    standby.given = given;
    if (!given) {
      plug(u'H');
      plug(u'F');
      plug(u'E');
    }
    CFolderLookup::setDevicePathSource([] { return CString(u"F:\\"); });
    kipotest::UiScript ui;
    ui.dialog(IDD_SELECT_DRIVE).click(IDOK);
    WatchedSelectDriveDialog dialog;
    int offered = 0;
    dialog.onShown = [&](HWND) { offered = dialog.m_drives.GetCount(); };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    CFolderLookup::setDevicePathSource(nullptr);
    EXPECT_FALSE(standby.requested);
    EXPECT_EQ(offered, 2);
    EXPECT_EQ(dialog.selectedDriveRoot(), CString(u"E:\\"));
  }
}

}  // namespace
