// The device tree behind the Setup API and configuration-manager calls, MountedDevices, and the
// notifications a plug and an unplug send (in this process; across processes in plug_tool_test).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/host/drives.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"
#include "tests/support/usb_drive.h"

namespace {

namespace fs = std::filesystem;
namespace host = platform::host;
using platform::text::toUtf8;

// What the notification window heard: "arrival:volume:E" or "remove:iface:<name>".
std::vector<std::string> g_heard;

LRESULT CALLBACK listenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
    std::string what = wParam == DBT_DEVICEARRIVAL ? "arrival:" : "remove:";
    auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (hdr->dbch_devicetype == DBT_DEVTYP_VOLUME) {
      DWORD mask = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(hdr)->dbcv_unitmask;
      for (int i = 0; i < 26; ++i)
        if (mask & (1u << i)) what += "volume:" + std::string(1, static_cast<char>('A' + i));
    } else if (hdr->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
      what += "iface:" + toUtf8(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(hdr)->dbcc_name);
    }
    g_heard.push_back(what);
    return TRUE;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::u16string instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
  WCHAR id[512];
  EXPECT_TRUE(SetupDiGetDeviceInstanceIdW(set, &info, id, 512, nullptr)) << GetLastError();
  return id;
}

std::u16string textProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD code) {
  BYTE data[1024] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &info, code, &type, data, sizeof data, nullptr)) return u"<none>";
  return reinterpret_cast<const WCHAR*>(data);
}

std::u16string mountedValue(const char16_t* name) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\MountedDevices", 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<no key>";
  BYTE data[1024];
  DWORD size = sizeof data, type = 0;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return u"<none>";
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  return std::u16string(reinterpret_cast<const WCHAR*>(data), size / 2);
}

class DeviceTree : public ::testing::Test {
 protected:
  DeviceTree() {
    kipotest::registerWindowClass(u"KipoDeviceListener", listenerProc);
    g_heard.clear();
    folder = kipotest::freshTempDir("device-tree");
  }
  ~DeviceTree() override {
    for (HWND h : windows) DestroyWindow(h);
  }

  HWND listener() {
    HWND h = CreateWindowExW(0, u"KipoDeviceListener", u"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                             nullptr);
    windows.push_back(h);
    return h;
  }

  host::UsbDriveNodes plug(char16_t letter, const std::u16string& vid, const std::u16string& pid,
                           const std::u16string& serial) {
    return kipotest::plugUsbDrive(letter, folder, vid, pid, serial);
  }

  kipotest::TestHost testHost;
  fs::path folder;
  std::vector<HWND> windows;
};

TEST_F(DeviceTree, PluggedDriveIsAUsbDeviceWithDiskAndVolumeTiedToItsLetter) {
  host::UsbDriveNodes n = plug(u'e', u"0ea0", u"2469", u"SN0001");
  EXPECT_EQ(GetDriveTypeW(u"E:\\"), static_cast<UINT>(DRIVE_REMOVABLE));

  // The USB device interface leads to the device; VID and PID upper case in its instance id.
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USB_DEVICE, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USB_DEVICE, 0, &iface));
  DWORD need = 0;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &need, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buffer(need);
  auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
  detail->cbSize = 6;  // a 32-bit caller's size is refused here
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, need, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, need, nullptr, &info));
  EXPECT_EQ(std::u16string(detail->DevicePath), n.usbInterface);
  EXPECT_EQ(instanceIdOf(set, info), u"USB\\VID_0EA0&PID_2469\\SN0001");
  EXPECT_EQ(textProperty(set, info, SPDRP_HARDWAREID), u"USB\\VID_0EA0&PID_2469&REV_0200");
  EXPECT_EQ(textProperty(set, info, SPDRP_DEVICEDESC), u"U-Storage Device");
  EXPECT_EQ(textProperty(set, info, SPDRP_FRIENDLYNAME), u"<none>");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
  WCHAR small[4];
  DWORD required = 0;
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(set, &info, small, 4, &required));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(required, 29u);  // with the NUL
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USB_DEVICE, 1, &iface));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

  // Child: the disk (with the friendly name); grandchild: the volume, whose id names the letter's
  // MountedDevices data once backslashes become '#'.
  DEVINST disk = 0, volume = 0, none = 0;
  ASSERT_EQ(CM_Get_Child(&disk, info.DevInst, 0), static_cast<CONFIGRET>(CR_SUCCESS));
  ASSERT_EQ(CM_Get_Child(&volume, disk, 0), static_cast<CONFIGRET>(CR_SUCCESS));
  EXPECT_EQ(CM_Get_Child(&none, volume, 0), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
  DEVINST parent = 0;
  EXPECT_EQ(CM_Get_Parent(&parent, volume, 0), static_cast<CONFIGRET>(CR_SUCCESS));
  EXPECT_EQ(parent, disk);
  WCHAR id[MAX_DEVICE_ID_LEN + 1];
  ASSERT_EQ(CM_Get_Device_IDW(volume, id, MAX_DEVICE_ID_LEN + 1, 0), static_cast<CONFIGRET>(CR_SUCCESS));
  std::u16string volumeId = id;
  for (auto& c : volumeId)
    if (c == u'\\') c = u'#';
  std::u16string mounted = platform::text::upcased(mountedValue(u"\\DosDevices\\E:"));
  EXPECT_NE(mounted.find(volumeId), std::u16string::npos) << toUtf8(mounted) << " / " << toUtf8(volumeId);
  EXPECT_EQ(mountedValue(n.volumeGuidName.c_str()), mountedValue(u"\\DosDevices\\E:"));
  SetupDiDestroyDeviceInfoList(set);

  // The disk carries the maker's friendly name; all classes with interfaces list it too.
  HDEVINFO all = SetupDiGetClassDevsW(nullptr, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(all, INVALID_HANDLE_VALUE);
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA d{};
    d.cbSize = sizeof d;
    if (!SetupDiEnumDeviceInfo(all, i, &d)) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
      break;
    }
    names.push_back(textProperty(all, d, SPDRP_FRIENDLYNAME));
  }
  SetupDiDestroyDeviceInfoList(all);
  EXPECT_NE(std::find(names.begin(), names.end(), u"OTi Flash Disk USB Device"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), u"KIPO VIRTUAL DISK"), names.end()) << "the disk behind C:";
}

TEST_F(DeviceTree, KindsAreToldApartByTheirNames) {
  struct Case {
    const char16_t *vid, *pid, *friendly, *description;
  };
  const Case cases[] = {{u"05AC", u"1205", u"Apple iPod USB Device", u"USB Mass Storage Device"},
                        {u"0EA0", u"2168", u"OTi Flash Disk USB Device", u"U-Storage Device"},
                        {u"090C", u"1000", u"Generic USB Flash Disk USB Device", u"USB Mass Storage Device"}};
  char16_t letter = u'F';
  for (const Case& c : cases) {
    host::UsbDriveNodes n = plug(letter++, c.vid, c.pid, u"K1");
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    for (DWORD i = 0;; ++i) {
      SP_DEVINFO_DATA d{};
      d.cbSize = sizeof d;
      if (!SetupDiEnumDeviceInfo(set, i, &d)) break;
      if (d.DevInst == n.disk) {
        EXPECT_EQ(textProperty(set, d, SPDRP_FRIENDLYNAME), c.friendly);
      }
      if (d.DevInst == n.usb) {
        EXPECT_EQ(textProperty(set, d, SPDRP_DEVICEDESC), c.description);
      }
    }
    SetupDiDestroyDeviceInfoList(set);
    ASSERT_TRUE(host::unplugDrive(letter - 1));
  }
}

TEST_F(DeviceTree, UnplugLeavesTheNodesAbsentAndReplugKeepsTheVolumeName) {
  HWND registered = listener();
  listener();  // a top-level window that did not register
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = GUID_DEVINTERFACE_VOLUME;
  HDEVNOTIFY note = RegisterDeviceNotificationW(registered, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(note, nullptr);

  host::UsbDriveNodes first = plug(u'E', u"090C", u"1000", u"AB12");
  // The registered window hears of the volume interface and the volume; the other only of the volume.
  EXPECT_EQ(g_heard, (std::vector<std::string>{"arrival:iface:" + toUtf8(first.volumeInterface), "arrival:volume:E",
                                               "arrival:volume:E"}));
  g_heard.clear();

  ASSERT_TRUE(host::unplugDrive(u'e'));
  EXPECT_EQ(GetDriveTypeW(u"E:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(g_heard, (std::vector<std::string>{"remove:volume:E", "remove:volume:E",
                                               "remove:iface:" + toUtf8(first.volumeInterface)}));
  DEVINST found = 0;
  const std::u16string usbId = u"USB\\VID_090C&PID_1000\\AB12";
  EXPECT_EQ(CM_Locate_DevNodeW(&found, usbId.c_str(), CM_LOCATE_DEVNODE_NORMAL), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
  EXPECT_EQ(CM_Locate_DevNodeW(&found, usbId.c_str(), CM_LOCATE_DEVNODE_PHANTOM), static_cast<CONFIGRET>(CR_SUCCESS));
  EXPECT_EQ(found, first.usb);
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_VOLUME, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_VOLUME, i, &iface); ++i) {
    SP_DEVINFO_DATA d{};
    d.cbSize = sizeof d;
    BYTE buffer[1024];
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, sizeof buffer, nullptr, &d));
    EXPECT_NE(std::u16string(detail->DevicePath), first.volumeInterface) << "an absent volume is not listed";
  }
  SetupDiDestroyDeviceInfoList(set);
  // As on Windows the mount manager remembers the letter of a removed volume.
  EXPECT_NE(mountedValue(u"\\DosDevices\\E:"), u"<none>");

  // Plugged again at another letter: same nodes, same volume name; the letter moved.
  g_heard.clear();
  host::UsbDriveNodes again = plug(u'G', u"090C", u"1000", u"AB12");
  EXPECT_EQ(again.volumeInterface, first.volumeInterface);
  EXPECT_EQ(again.usb, first.usb);
  EXPECT_EQ(again.volume, first.volume);
  EXPECT_EQ(mountedValue(u"\\DosDevices\\E:"), u"<none>");
  EXPECT_EQ(mountedValue(u"\\DosDevices\\G:"), again.mountTarget);
  EXPECT_EQ(g_heard.front(), "arrival:iface:" + toUtf8(first.volumeInterface));

  // Another drive is another volume.
  host::UsbDriveNodes other = plug(u'H', u"090C", u"1000", u"AB13");
  EXPECT_NE(other.volumeInterface, first.volumeInterface);
  UnregisterDeviceNotification(note);
}

TEST_F(DeviceTree, PlugRefusesWhatCannotBeADrive) {
  EXPECT_THROW(plug(u'C', u"090C", u"1000", u"X"), std::runtime_error) << "C: is taken";
  EXPECT_THROW(plug(u'E', u"90C", u"1000", u"X"), std::runtime_error);
  EXPECT_THROW(plug(u'E', u"090C", u"1000", u"a\\b"), std::runtime_error);
  EXPECT_EQ(GetDriveTypeW(u"E:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "nothing left behind";
  EXPECT_FALSE(host::unplugDrive(u'C')) << "only USB drives are unplugged";
  EXPECT_EQ(GetDriveTypeW(u"C:\\"), static_cast<UINT>(DRIVE_FIXED));
}

TEST_F(DeviceTree, ConfigurationManagerArguments) {
  DEVINST root = 0, child = 0;
  ASSERT_EQ(CM_Locate_DevNodeW(&root, nullptr, 0), static_cast<CONFIGRET>(CR_SUCCESS));
  DEVINST parent = 0;
  EXPECT_EQ(CM_Get_Parent(&parent, root, 0), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
  EXPECT_EQ(CM_Get_Child(&child, root, 0), static_cast<CONFIGRET>(CR_SUCCESS));
  EXPECT_EQ(CM_Get_Child(nullptr, root, 0), static_cast<CONFIGRET>(CR_INVALID_POINTER));
  EXPECT_EQ(CM_Get_Child(&child, 0x7FFFFFFF, 0), static_cast<CONFIGRET>(CR_INVALID_DEVNODE));
  WCHAR id[8];
  EXPECT_EQ(CM_Get_Device_IDW(root, id, 4, 0), static_cast<CONFIGRET>(CR_BUFFER_SMALL));
  ULONG len = 0;
  EXPECT_EQ(CM_Get_Device_ID_Size(&len, root, 0), static_cast<CONFIGRET>(CR_SUCCESS));
  EXPECT_EQ(len, 12u);  // "HTREE\ROOT\0"
  EXPECT_EQ(CM_Get_Device_IDW(root, id, 8, 0), static_cast<CONFIGRET>(CR_BUFFER_SMALL));
  HDEVINFO bad = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT);
  EXPECT_EQ(bad, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(reinterpret_cast<HDEVINFO>(0x1234)));
}

}  // namespace
