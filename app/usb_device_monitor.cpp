// The USB device monitor: mounted devices by letter, matched to the USB devices whose volume
// they name.
#include "app/usb_device_monitor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/log.h"

namespace {

constexpr DWORD kMountedValueBytes = 1024;
constexpr DWORD kPropertyBytes = 1024;
constexpr DWORD kInstanceIdChars = 1024;  // at most 1023 characters and the NUL

WCHAR upperLetter(WCHAR c) { return (c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - u'a' + u'A') : c; }

// Text of a property buffer: up to its first NUL, never past what was read.
CString propertyText(const BYTE* data, DWORD bytes) {
  const auto* w = reinterpret_cast<const WCHAR*>(data);
  const int max = static_cast<int>(bytes / sizeof(WCHAR));
  int n = 0;
  while (n < max && w[n]) ++n;
  return CString(w, n);
}

// The 4 characters after `tag` in `part`; empty when absent or cut short.
CString idAfter(const CString& part, LPCWSTR tag) {
  int at = part.Find(tag);
  if (at < 0) return CString();
  int from = at + static_cast<int>(platform::text::length(tag));
  if (from + 4 > part.GetLength()) return CString();
  return part.Mid(from, 4);
}

}  // namespace

CUsbDeviceMonitor::CUsbDeviceMonitor(HWND window) {
  if (window) registerNotifications(window);
}

CUsbDeviceMonitor::~CUsbDeviceMonitor() {
  unregisterNotifications();
  devices.clear();
  mountedDevices.clear();
}

// A copy has the tables but not the registration, which stays with its owner.
CUsbDeviceMonitor::CUsbDeviceMonitor(const CUsbDeviceMonitor& other)
    : devices(other.devices), mountedDevices(other.mountedDevices) {}

CUsbDeviceMonitor& CUsbDeviceMonitor::operator=(const CUsbDeviceMonitor& other) {
  devices = other.devices;
  mountedDevices = other.mountedDevices;
  return *this;
}

void CUsbDeviceMonitor::refresh() {
  Sleep(1000);
  readMountedDevices();
  devices.clear();
  addInterfaces(GUID_DEVINTERFACE_DISK);
  addInterfaces(GUID_DEVINTERFACE_USB_DEVICE);
}

void CUsbDeviceMonitor::readMountedDevices() {
  mountedDevices.clear();
  WCHAR strings[1024] = {};
  DWORD n = GetLogicalDriveStringsW(1024, strings);
  if (n == 0 || n >= 1024) return;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\MountedDevices", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (const WCHAR* p = strings; *p; p += platform::text::length(p) + 1) {
    const WCHAR letter = upperLetter(p[0]);
    CString name;
    name.Format(u"\\DosDevices\\%c:", letter);
    BYTE data[kMountedValueBytes];
    DWORD size = sizeof data, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS) continue;
    if (size > sizeof data) continue;
    mountedDevices[letter] = CString(reinterpret_cast<const WCHAR*>(data), static_cast<int>(size / sizeof(WCHAR)));
  }
  RegCloseKey(key);
}

void CUsbDeviceMonitor::addInterfaces(const GUID& interfaceClass) {
  HDEVINFO list = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (list == INVALID_HANDLE_VALUE) {
    writeLog(u"{USB_DEVICE} SetupDiCreateDeviceInfoList failed: %lx.\n", GetLastError());
    return;
  }
  HDEVINFO set = SetupDiGetClassDevsExW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, list,
                                        nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) {
    writeLog(u"{USB_DEVICE} SetupDiGetClassDevsEx failed: %lx.\n", GetLastError());
    SetupDiDestroyDeviceInfoList(list);
    return;
  }
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &iface)) {
      DWORD error = GetLastError();
      if (error != ERROR_NO_MORE_ITEMS) writeLog(u"{USB_DEVICE} SetupDiEnumDeviceInterfaces failed: %lx.\n", error);
      break;
    }
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &size, nullptr);
    if (size == 0) continue;
    std::vector<BYTE> buffer(std::max<std::size_t>(size, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)));
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, static_cast<DWORD>(buffer.size()), nullptr, &info)) {
      writeLog(u"{USB_DEVICE} SetupDiGetDeviceInterfaceDetail failed: %lx.\n", GetLastError());
      continue;
    }
    WCHAR instance[kInstanceIdChars] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &info, instance, kInstanceIdChars, nullptr)) {
      writeLog(u"{USB_DEVICE} SetupDiGetDeviceInstanceId failed: %lx.\n", GetLastError());
      continue;
    }
    CUsbDeviceInfo record;
    const CString id(instance);
    const int last = id.ReverseFind(u'\\');
    record.serialNumber = id.Mid(last + 1);
    const CString head = last >= 0 ? id.Left(last) : CString();
    const CString middle = head.Mid(head.ReverseFind(u'\\') + 1);
    record.vendorId = idAfter(middle, u"VID_");
    record.productId = idAfter(middle, u"PID_");
    for (DWORD code = 0; code < CUsbDeviceInfo::kPropertyCount; ++code) {
      BYTE data[kPropertyBytes] = {};
      DWORD type = 0, required = 0;
      if (SetupDiGetDeviceRegistryPropertyW(set, &info, code, &type, data, kPropertyBytes, &required))
        record.properties[code] = propertyText(data, std::min<DWORD>(required, kPropertyBytes));
    }
    DEVINST child = 0, volume = 0;
    if (CM_Get_Child(&child, info.DevInst, 0) != CR_SUCCESS || CM_Get_Child(&volume, child, 0) != CR_SUCCESS) continue;
    WCHAR volumeId[kInstanceIdChars] = {};
    if (CM_Get_Device_IDW(volume, volumeId, kInstanceIdChars, 0) != CR_SUCCESS) continue;
    CString wanted(volumeId);
    wanted.Replace(u'\\', u'#');
    wanted.MakeUpper();
    for (const auto& [letter, target] : mountedDevices) {
      CString upper = target;
      upper.MakeUpper();
      if (upper.Find(wanted) >= 0) {
        devices[letter] = record;  // a later interface replaces an earlier one: USB devices win
        break;
      }
    }
  }
  SetupDiDestroyDeviceInfoList(set);
}

void CUsbDeviceMonitor::registerNotifications(HWND window) {
  if (!window || notificationHandle) return;
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = GUID_DEVINTERFACE_VOLUME;
  notificationHandle = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (!notificationHandle) writeLog(u"{USB_DEVICE} RegisterDeviceNotification failed: %lx.", GetLastError());
}

void CUsbDeviceMonitor::unregisterNotifications() {
  if (!notificationHandle) return;
  UnregisterDeviceNotification(notificationHandle);
  notificationHandle = nullptr;
}

CUsbDeviceInfo CUsbDeviceMonitor::getDeviceInfo(WCHAR letter) const {
  auto it = devices.find(upperLetter(letter));
  return it == devices.end() ? CUsbDeviceInfo() : it->second;
}

CString CUsbDeviceMonitor::getSerialNumber(WCHAR letter) const { return getDeviceInfo(letter).serialNumber; }

CString CUsbDeviceMonitor::getSerialNumber(const CString& path) const {
  return path.IsEmpty() ? CString() : getSerialNumber(path[0]);
}

std::vector<std::pair<WCHAR, CUsbDeviceInfo>> CUsbDeviceMonitor::getDevices() const {
  return {devices.begin(), devices.end()};
}
