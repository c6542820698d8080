// kipo-host plug and unplug, run as another process: the drive appears and goes for this process,
// and the notifications reach a window of this process.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/secure_area.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;
using kipotest::runTool;

std::vector<std::string> g_heard;

LRESULT CALLBACK listenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
    auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    std::string what = wParam == DBT_DEVICEARRIVAL ? "arrival:" : "remove:";
    if (hdr->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
      what += "iface:" + platform::text::toUtf8(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(hdr)->dbcc_name);
    else if (hdr->dbch_devicetype == DBT_DEVTYP_VOLUME)
      what += "volume:" + std::to_string(reinterpret_cast<const DEV_BROADCAST_VOLUME*>(hdr)->dbcv_unitmask);
    g_heard.push_back(what);
    return TRUE;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Runs the tool on another thread while this one serves its windows' messages.
int runPumping(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr) {
  std::atomic<bool> done{false};
  int rc = -1;
  std::thread t([&] {
    rc = runTool(args, out, err);
    done = true;
  });
  while (!done) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    Sleep(5);
  }
  t.join();
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  return rc;
}

class PlugTool : public ::testing::Test {
 protected:
  PlugTool() {
    kipotest::registerWindowClass(u"KipoPlugListener", listenerProc);
    window = CreateWindowExW(0, u"KipoPlugListener", u"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                             nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_VOLUME;
    note = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    g_heard.clear();
    folder = kipotest::freshTempDir("plug-tool");
    std::ofstream(folder / "on-drive.txt") << "x";
  }
  ~PlugTool() override {
    UnregisterDeviceNotification(note);
    DestroyWindow(window);
  }

  kipotest::TestHost host;
  HWND window = nullptr;
  HDEVNOTIFY note = nullptr;
  fs::path folder;
};

TEST_F(PlugTool, PlugAndUnplugReachAWindowOfAnotherProcess) {
  ASSERT_NE(note, nullptr);
  std::string out, err;
  ASSERT_EQ(runPumping({"plug", "E:", "--folder", folder.string(), "--serial", "77AA"}, &out, &err), 0) << err;
  EXPECT_NE(GetFileAttributesW(u"E:\\on-drive.txt"), INVALID_FILE_ATTRIBUTES);
  const std::string volumeName = out.substr(out.find("\\\\?\\"), out.find('\n') - out.find("\\\\?\\"));
  EXPECT_EQ(g_heard, (std::vector<std::string>{"arrival:iface:" + volumeName, "arrival:volume:16"}));

  // The monitor's way to the device: MountedDevices names the volume the tree leads to.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\MountedDevices", 0, KEY_READ, &key), ERROR_SUCCESS);
  BYTE data[512];
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExW(key, u"\\DosDevices\\E:", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string target = platform::text::toUtf8(std::u16string(reinterpret_cast<const char16_t*>(data), size / 2));
  EXPECT_EQ(target.substr(4), volumeName.substr(4)) << "\\??\\ in place of \\\\?\\";

  g_heard.clear();
  ASSERT_EQ(runPumping({"unplug", "e:"}, nullptr, &err), 0) << err;
  EXPECT_EQ(GetFileAttributesW(u"E:\\on-drive.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(g_heard, (std::vector<std::string>{"remove:volume:16", "remove:iface:" + volumeName}));

  // Plugged again, the drive has the same volume interface name.
  g_heard.clear();
  ASSERT_EQ(runPumping({"plug", "F:", "--folder", folder.string(), "--serial", "77AA"}, &out, &err), 0) << err;
  EXPECT_EQ(g_heard.at(0), "arrival:iface:" + volumeName);
}

TEST_F(PlugTool, TheVolumeHasTheLabelGivenOrNone) {
  struct Case {
    std::vector<std::string> extra;
    const char16_t* label;
  } cases[] = {{{"--label", "KIPO DEMO"}, u"KIPO DEMO"}, {{}, u""}};
  for (const auto& c : cases) {
    std::vector<std::string> args{"plug", "E:", "--folder", folder.string(), "--serial", "5150"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    std::string err;
    ASSERT_EQ(runPumping(args, nullptr, &err), 0) << err;
    WCHAR label[32];
    std::fill(std::begin(label), std::end(label), u'#');
    ASSERT_TRUE(GetVolumeInformationW(u"E:\\", label, 32, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(std::u16string(label), c.label);
    ASSERT_EQ(runPumping({"unplug", "E:"}, nullptr, &err), 0) << err;
  }
}

TEST_F(PlugTool, Usage) {
  std::string err;
  struct Case {
    std::vector<std::string> args;
    int rc;
    const char* says;
  };
  const Case cases[] = {
      {{"plug", "E:", "--serial", "1"}, 2, "--folder"},
      {{"plug", "E:", "--folder", folder.string()}, 2, "--serial"},
      {{"plug", "E:", "--folder", folder.string(), "--serial", "1", "--vid", "090C", "--secure-folder", folder.string()},
       2, "vendor 0EA0"},
      {{"plug", "E:", "--folder", folder.string(), "--serial", "1", "--device-password", "toolong"}, 2, "3 characters"},
      {{"plug", "C:", "--folder", folder.string(), "--serial", "1"}, 1, "already exists"},
      {{"plug", "E:", "--folder", (folder / "missing").string(), "--serial", "1"}, 1, "does not exist"},
      {{"plug", "E:", "--folder", folder.string(), "--serial", "1", "--capacity", "-1"}, 2, "--capacity"},
      {{"plug", "E:", "--folder", folder.string(), "--serial", "1", "--capacity", "18446744073709551616"}, 2, "--capacity"},
      {{"plug", "E:", "--folder", folder.string(), "--serial", "1", "--label", "TWELVE CHARS"}, 2, "--label"},
      {{"unplug", "C:"}, 1, "no USB drive"},
      {{"unplug"}, 2, "unplug needs"},
  };
  for (const Case& c : cases) {
    err.clear();
    EXPECT_EQ(runPumping(c.args, nullptr, &err), c.rc) << c.args[0] << " " << c.args.back();
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
  }
  EXPECT_TRUE(g_heard.empty());
}

TEST_F(PlugTool, ASecureDriveKeepsItsPasswordAndHintAcrossPlugs) {
  fs::path secure = kipotest::freshTempDir("plug-secure");
  std::ofstream(secure / "secret.txt") << "s";
  std::string err;
  ASSERT_EQ(runPumping({"plug", "E:", "--folder", folder.string(), "--serial", "S1", "--capacity", "2000000000",
                        "--secure-folder", secure.string(), "--device-password", "ABC", "--pwhint-field", "HINT=="},
                       nullptr, &err),
            0)
      << err;
  auto d = platform::host::secureAreaDrive(u"S1");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->vendorId, u"0EA0") << "a drive with a secure area is the maker's";
  EXPECT_EQ(d->letter, u'E');
  EXPECT_EQ(d->devicePassword, u"ABC");
  EXPECT_EQ(d->hintField, "HINT==");
  EXPECT_EQ(d->capacityMb, 2000u);
  EXPECT_EQ(d->secureMb, 1000u);
  EXPECT_FALSE(d->open);
  EXPECT_NE(GetFileAttributesW(u"E:\\on-drive.txt"), INVALID_FILE_ATTRIBUTES) << "the public area shows";

  ASSERT_EQ(runPumping({"unplug", "E:"}, nullptr, &err), 0) << err;
  EXPECT_EQ(platform::host::secureAreaDrive(u"S1")->letter, 0);
  ASSERT_EQ(runPumping({"plug", "F:", "--folder", folder.string(), "--serial", "S1", "--vid", "0EA0", "--pid", "2469"},
                       nullptr, &err),
            0)
      << err;
  d = platform::host::secureAreaDrive(u"S1");
  EXPECT_EQ(d->letter, u'F');
  EXPECT_EQ(d->devicePassword, u"ABC");
  EXPECT_EQ(d->hintField, "HINT==");
  EXPECT_EQ(d->secureRoot, secure);
}

}  // namespace
