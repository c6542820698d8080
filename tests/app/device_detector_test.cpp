// The USB device monitor over plugged drives, drive-kind detection, and the device detector's
// reaction to volume arrivals and removals: what it posts to the main window and when the
// automatic-logout countdown runs, ends by the drive coming back, or runs out.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/device_detector.h"
#include "app/device_host_services.h"
#include "app/folder_lookup.h"
#include "app/lingrove.h"
#include "app/secure_drive_services.h"
#include "platform/base/clock.h"
#include "platform/host/device_tree.h"
#include "app/device_sdk.h"
#include "lang/ids.h"
#include "ui/auto_logout_dialog.h"
#include "tests/app/app_fixture.h"
#include "tests/support/ui_script.h"
#include "tests/support/test_windows.h"

namespace {

namespace host = platform::host;
namespace fs = std::filesystem;

constexpr UINT kReplugMessage = WM_APP + 1;

// The main frame's part: device changes to the detector, the detector's messages recorded.
CDeviceDetector* g_detector = nullptr;
std::vector<UINT> g_posted;
std::function<void()> g_onReplug;

LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
    auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (hdr->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && g_detector)
      g_detector->onDeviceChange(CString(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(hdr)->dbcc_name),
                                 wParam == DBT_DEVICEREMOVECOMPLETE);
    return TRUE;
  }
  if (msg == kDeviceArrivedMessage || msg == kDeviceRemovedMessage) {
    g_posted.push_back(msg);
    return 0;
  }
  if (msg == kReplugMessage) {
    if (g_onReplug) g_onReplug();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}


// A drive's secure area as the detector sees it through the device library object.
struct SdkScript {
  bool stateWorks = true, open = false, secureArea = true, loginWorks = true, loginOpens = true;
};

class FakeSdk : public CDeviceSdk {
 public:
  explicit FakeSdk(SdkScript s) : s(s) {}
  bool login(const CString& password, bool& opened) override {
    logins.push_back(password);
    opened = s.loginOpens;
    return s.loginWorks;
  }
  bool checkPassword(const CString&, bool& matches) override { return matches = true; }
  bool logout() override { return true; }
  bool changePassword(const CString&, const CString&, const CString&, bool& changed) override { return changed = false; }
  CString getStoredPassword() override { return CString(); }
  CString getDrivePath() override { return u"E:\\"; }
  bool getCapacity(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool getPublicAreaSize(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool getSecureAreaSize(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool hasSecureArea() override { return s.secureArea; }
  bool format(const CString&, const CString&, int) override { return false; }
  bool removeSecureArea() override { return false; }
  bool isLoggedIn(bool& open) override { return open = s.open, s.stateWorks; }
  bool isLoggedOut(bool& closed) override { return closed = !s.open, true; }
  bool supportsLogin() override { return true; }
  bool supportsResize() override { return true; }
  void readDeviceInfo() override {}

  SdkScript s;
  static inline std::vector<CString> logins;
};

class ScriptedDetector : public CDeviceDetector {
 public:
  SdkScript script;
 protected:
  std::unique_ptr<CDeviceSdk> makeDeviceSdk() override { return std::make_unique<FakeSdk>(script); }
};

class HostServices : public CDeviceHostServices {
 public:
  HostServices() { setDeviceHostServices(this); }
  ~HostServices() override { setDeviceHostServices(nullptr); }
  HWND getMainWindow() override { return main; }
  bool isUserLoggedIn() override { return loggedIn; }
  void startLogoutAfterRemoval() override { ++logouts; }
  HWND main = nullptr;
  bool loggedIn = false;
  int logouts = 0;
};

// The application's wiring: the dialogs' change client is the detector's.
class ClientServices : public CSecureDriveServices {
 public:
  ClientServices() { setSecureDriveServices(this); }
  ~ClientServices() override { setSecureDriveServices(nullptr); }
  CDeviceChangeClient* getDeviceChangeClient() override { return g_detector ? g_detector->getChangeClient() : nullptr; }
  CDeviceSdk* getDeviceSdk() override { return g_detector ? g_detector->getDeviceSdk() : nullptr; }
  void setDeviceChangeClient(CDeviceChangeClient* c) override {
    if (g_detector && wired) g_detector->setChangeClient(c);
  }
  // Unwired, the dialog never becomes the client and the detector itself sees the changes.
  bool wired = true;
};

class DetectorTest : public apptest::AppTest {
 protected:
  DetectorTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    createLog();
    kipotest::registerWindowClass(u"KipoTestFrame", frameProc);
    services.main = CreateWindowExW(0, u"KipoTestFrame", u"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
    detector = std::make_unique<ScriptedDetector>();
    g_detector = detector.get();
    g_posted.clear();
    CFolderLookup::setDevicePathSource([this] { return devicePath; });
  }
  ~DetectorTest() override {
    g_detector = nullptr;
    g_onReplug = nullptr;
    detector.reset();
    CFolderLookup::setDevicePathSource(nullptr);
    DestroyWindow(services.main);
  }

  void plug(char16_t letter, const char16_t* serial, const char16_t* vid = u"090C", const char16_t* pid = u"1000") {
    host::PlugRequest r;
    r.letter = letter;
    r.folder = kipotest::freshTempDir("detector-drive");
    r.device.vendorId = vid;
    r.device.productId = pid;
    r.device.serial = serial;
    host::plugDrive(r);
  }

  // Delivers what was posted to the frame.
  std::vector<UINT> posted() {
    MSG m;
    while (PeekMessageW(&m, services.main, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    std::vector<UINT> out = g_posted;
    g_posted.clear();
    return out;
  }

  // Waits of the detector pass at once (a test of dialogs driven by script drops it).
  std::optional<platform::clock::VirtualClock> clock{std::in_place};
  std::unique_ptr<Lingrove> language;
  HostServices services;
  ClientServices clientServices;
  std::unique_ptr<ScriptedDetector> detector;
  CString devicePath = u"E:\\";
};

TEST_F(DetectorTest, MonitorTiesEachUsbDriveLetterToItsDevice) {
  plug(u'E', u"SECURE01", u"0ea0", u"2469");
  plug(u'F', u"PLAIN01");
  plug(u'G', u"POD01", u"05AC", u"1205");
  CUsbDeviceMonitor monitor;
  monitor.refresh();
  auto devices = monitor.getDevices();
  ASSERT_EQ(devices.size(), 3u) << "C: is no USB device";
  EXPECT_EQ(devices[0].first, u'E');
  EXPECT_EQ(devices[1].first, u'F');
  EXPECT_EQ(devices[2].first, u'G');
  CUsbDeviceInfo e = monitor.getDeviceInfo(u'e');
  EXPECT_EQ(utf8(e.serialNumber), "SECURE01");
  EXPECT_EQ(utf8(e.vendorId), "0EA0");
  EXPECT_EQ(utf8(e.productId), "2469");
  // The USB device's record wins over its disk's.
  EXPECT_EQ(utf8(e.properties[SPDRP_HARDWAREID]), "USB\\VID_0EA0&PID_2469&REV_0200");
  EXPECT_EQ(utf8(e.properties[SPDRP_DEVICEDESC]), "U-Storage Device");
  EXPECT_EQ(utf8(monitor.getSerialNumber(CString(u"g:\\Synchronized Computers"))), "POD01");
  EXPECT_TRUE(monitor.getSerialNumber(u'C').IsEmpty());
  EXPECT_TRUE(monitor.getDeviceInfo(u'Z').vendorId.IsEmpty());

  // A letter whose MountedDevices value is gone gets no record.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\MountedDevices", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueW(key, u"\\DosDevices\\F:"), ERROR_SUCCESS);
  RegCloseKey(key);
  monitor.refresh();
  EXPECT_TRUE(monitor.getSerialNumber(u'F').IsEmpty());
  EXPECT_EQ(utf8(monitor.getSerialNumber(u'E')), "SECURE01");
}

TEST_F(DetectorTest, KindWithoutSecureDriveSupport) {
  // Secure-drive support, once on, stays on for the process (ctest runs each test alone).
  if (isSecureDriveSupportOn()) GTEST_SKIP() << "secure-drive support was switched on by an earlier test";
  plug(u'E', u"PLAIN01");
  DeviceKind kind = kNoDeviceKind;
  EXPECT_TRUE(detector->detectDeviceKind(kind));
  EXPECT_EQ(kind, kOtherDriveKind);
  plug(u'G', u"POD01", u"05AC", u"1205");
  kind = kNoDeviceKind;
  EXPECT_TRUE(detector->detectDeviceKind(kind));
  EXPECT_EQ(kind, kIPodDiskKind);
  EXPECT_NE(logBytes().find("Found iPod Device - {SRDRP_FRIENDLYNAME}: Apple iPod USB Device"), std::string::npos);
  EXPECT_NE(logBytes().find("devices on system."), std::string::npos);
}

TEST_F(DetectorTest, KindWithSecureDriveSupport) {
  plug(u'E', u"SECURE01", u"0ea0", u"2469");
  plug(u'F', u"PLAIN01");
  devicePath = u"F:\\";
  updateSecureDriveSupport();
  EXPECT_FALSE(isSecureDriveSupportOn()) << "the program's drive is not the maker's";
  devicePath = u"E:\\";
  updateSecureDriveSupport();
  ASSERT_TRUE(isSecureDriveSupportOn());
  DeviceKind kind = kNoDeviceKind;
  EXPECT_TRUE(detector->detectDeviceKind(kind));
  EXPECT_EQ(kind, kOtiSecureDriveKind);
  EXPECT_NE(logBytes().find("Found OTI Device - {Vendor ID}: 0EA0"), std::string::npos);
  devicePath = u"F:\\";
  kind = kNoDeviceKind;
  EXPECT_FALSE(detector->detectDeviceKind(kind));
  EXPECT_EQ(kind, kNoDeviceKind);
}

TEST_F(DetectorTest, RemovalWhileNobodyIsLoggedInPostsOnlyForTheProgramsDrive) {
  plug(u'E', u"OWN");
  plug(u'F', u"OTHER");
  detector->OnDeviceArrival(1);
  ASSERT_TRUE(detector->getMonitor().isRegistered());
  host::unplugDrive(u'F');
  EXPECT_TRUE(posted().empty()) << "another drive went away";
  host::unplugDrive(u'E');
  EXPECT_EQ(posted(), std::vector<UINT>{kDeviceRemovedMessage});
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DetectorTest, RemovalCountsWhenTheLetterNowNamesAnotherDrive) {
  plug(u'E', u"OWN");
  detector->getMonitor().refresh();  // knows E: as "OWN", no registration
  HWND main = services.main;
  services.main = nullptr;
  host::unplugDrive(u'E');
  plug(u'E', u"OWN");
  services.main = main;
  detector->onDeviceChange(u"\\\\?\\STORAGE#RemovableMedia#x", true);
  EXPECT_TRUE(posted().empty()) << "the drive is still there";

  services.main = nullptr;
  host::unplugDrive(u'E');
  plug(u'E', u"STRANGER");
  services.main = main;
  detector->onDeviceChange(u"\\\\?\\STORAGE#RemovableMedia#x", true);
  EXPECT_EQ(posted(), std::vector<UINT>{kDeviceRemovedMessage});
}

TEST_F(DetectorTest, WithoutADevicePathNoRemovalIsTheProgramsDrive) {
  devicePath.Empty();
  plug(u'E', u"ONE");
  plug(u'F', u"TWO");
  detector->OnDeviceArrival(1);
  posted();
  host::unplugDrive(u'F');
  EXPECT_TRUE(posted().empty());
  services.loggedIn = true;
  host::unplugDrive(u'E');
  EXPECT_TRUE(posted().empty());
  EXPECT_EQ(services.logouts, 0) << "no countdown ran";
}

TEST_F(DetectorTest, ArrivalOpensTheDeviceOnlyWhenItIsThere) {
  detector->OnDeviceArrival(0);
  plug(u'F', u"OTHER");
  EXPECT_TRUE(posted().empty()) << "waiting for E:, F: is not opened as the device";
  plug(u'E', u"OWN");
  EXPECT_EQ(posted(), std::vector<UINT>{kDeviceArrivedMessage});
  devicePath.Empty();
  plug(u'G', u"ANY");
  EXPECT_EQ(posted(), std::vector<UINT>{kDeviceArrivedMessage}) << "no device path known yet: any drive";
  services.loggedIn = true;
  plug(u'H', u"ANY2");
  EXPECT_TRUE(posted().empty()) << "logged in, no countdown: nothing";
}

TEST_F(DetectorTest, CountdownEndsWhenTheSameDriveComesBack) {
  for (bool wired : {true, false}) {
    SCOPED_TRACE(wired ? "dialog as change client" : "detector sees the changes");
    clientServices.wired = wired;
    plug(u'E', u"OWN");
    plug(u'F', u"OTHER");
    services.loggedIn = true;
    detector->OnDeviceArrival(1);
    posted();
    host::unplugDrive(u'F');
    EXPECT_EQ(currentAutoLogoutDialog(), nullptr) << "another drive went away";
    EXPECT_TRUE(posted().empty());

    bool sawDialog = false;
    g_onReplug = [&] {
      sawDialog = currentAutoLogoutDialog() != nullptr;
      plug(u'E', u"OWN");
    };
    PostMessageW(services.main, kReplugMessage, 0, 0);
    host::unplugDrive(u'E');  // runs the countdown, which the drive's return cancels
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(currentAutoLogoutDialog(), nullptr);
    EXPECT_EQ(services.logouts, 0);
    EXPECT_TRUE(posted().empty());
    EXPECT_EQ(detector->getChangeClient(), nullptr) << "the dialog let go of the detector";
    services.loggedIn = false;
    host::unplugDrive(u'E');
    posted();
  }
}

TEST_F(DetectorTest, CountdownRunsOutWhenAnotherDriveArrives) {
  for (bool wired : {true, false}) {
    SCOPED_TRACE(wired ? "dialog as change client" : "detector sees the changes");
    clientServices.wired = wired;
    services.logouts = 0;
    services.loggedIn = true;
    plug(u'E', u"OWN");
    detector->OnDeviceArrival(1);
    posted();
    int arrivalsDuringCountdown = 0;
    g_onReplug = [&] {
      if (currentAutoLogoutDialog()) ++arrivalsDuringCountdown;
      plug(u'F', u"OTHER");
    };
    PostMessageW(services.main, kReplugMessage, 0, 0);
    host::unplugDrive(u'E');
    EXPECT_EQ(arrivalsDuringCountdown, 1);
    EXPECT_EQ(services.logouts, 1) << "the countdown ran out: the logout starts";
    EXPECT_EQ(posted(), std::vector<UINT>{kDeviceRemovedMessage});
    services.loggedIn = false;
    host::unplugDrive(u'F');
    posted();
  }
}

// The main frame's countdown, shown while the application waits for its drive, has no drive
// text: another drive's arrival leaves it running, the program's drive coming back ends it.
TEST_F(DetectorTest, FramesCountdownWithoutDriveTextEndsWhenTheDriveComesBack) {
  for (bool wired : {true, false}) {
    SCOPED_TRACE(wired ? "dialog as change client" : "detector sees the changes");
    clientServices.wired = wired;
    services.logouts = 0;
    services.loggedIn = true;
    detector->OnDeviceArrival(1);
    posted();
    CAutoLogoutDialog dialog(nullptr, false);
    std::vector<bool> upAtArrival;
    g_onReplug = [&] {
      upAtArrival.push_back(currentAutoLogoutDialog() == &dialog);
      if (upAtArrival.size() == 1) {
        plug(u'F', u"OTHER");
        PostMessageW(services.main, kReplugMessage, 0, 0);
      } else {
        plug(u'E', u"OWN");
      }
    };
    PostMessageW(services.main, kReplugMessage, 0, 0);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(upAtArrival, (std::vector<bool>{true, true})) << "another drive's arrival left it up";
    EXPECT_EQ(currentAutoLogoutDialog(), nullptr);
    EXPECT_EQ(services.logouts, 0);
    EXPECT_EQ(detector->getChangeClient(), nullptr);
    services.loggedIn = false;
    host::unplugDrive(u'E');
    host::unplugDrive(u'F');
    posted();
  }
}

TEST_F(DetectorTest, OpeningASecureDriveActsOnThePasswordDialogsResult) {
  plug(u'E', u"SECURE01", u"0EA0", u"2469");
  updateSecureDriveSupport();
  ASSERT_TRUE(isSecureDriveSupportOn());
  struct Case {
    const char* name;
    SdkScript sdk;
    int button;  // 0: no dialog expected
    bool loggedIn;
    bool result;
    UINT box;  // 0: no box
  };
  const Case cases[] = {
      {"open already", {true, true}, 0, false, true, 0},
      {"state unreadable", {false}, 0, false, false, IDS_DEV_AREA_STATE_UNKNOWN},
      {"password accepted", {}, IDOK, false, true, 0},
      {"wrong password", {true, false, true, true, false}, IDOK, false, false, IDS_DEV_WRONG_PASSWORD},
      {"login failed", {true, false, true, false}, IDOK, false, false, IDS_SD_LOGIN_FAILED},
      {"dialog cancelled", {}, IDCANCEL, false, false, IDS_DEV_PASSWORD_CANCELLED},
      {"forgotten while logged in", {}, IDC_PW_FORGOT, true, false, IDS_DEV_FORGOT_WHILE_LOGGED_IN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    FakeSdk::logins.clear();
    services.loggedIn = c.loggedIn;
    detector->script = c.sdk;
    kipotest::UiScript ui;
    if (c.button) ui.dialog(IDD_PASSWORD).type(IDC_PW_PASSWORD, u"secret").click(c.button);
    EXPECT_EQ(detector->openSecureArea(), c.result);
    ui.verify();
    EXPECT_EQ(detector->getDeviceKind(), kOtiSecureDriveKind);
    ASSERT_EQ(boxes.size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(utf8(boxes[0].text).substr(0, 12), utf8(loadResString(c.box)).substr(0, 12));
    }
    EXPECT_EQ(FakeSdk::logins.size(), c.button == IDOK ? 1u : 0u);
  }
}

TEST_F(DetectorTest, OpeningADriveThatIsNotTheMakersWithSupportOn) {
  plug(u'E', u"SECURE01", u"0EA0", u"2469");
  plug(u'F', u"PLAIN01");
  updateSecureDriveSupport();
  devicePath = u"F:\\";
  EXPECT_FALSE(detector->openSecureArea());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("could not detect"), std::string::npos) << utf8(boxes[0].text);
  EXPECT_EQ(detector->getDeviceSdk(), nullptr);
}

TEST_F(DetectorTest, OpeningAPlainDriveNeedsNoSecureArea) {
  // Secure-drive support, once on, stays on for the process (ctest runs each test alone).
  if (isSecureDriveSupportOn()) GTEST_SKIP() << "secure-drive support was switched on by an earlier test";
  plug(u'E', u"PLAIN01");
  EXPECT_TRUE(detector->openSecureArea());
  EXPECT_EQ(detector->getDeviceKind(), kOtherDriveKind);
  EXPECT_EQ(detector->getDeviceSdk(), nullptr);
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
