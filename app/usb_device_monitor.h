// CUsbDeviceMonitor: which USB device stands behind each drive letter, built from the mounted
// devices of the registry and the Setup API's disk and USB device interfaces; it can also
// register a window for volume arrival and removal notifications. A value object: whoever needs
// the table holds a monitor of its own.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/win32/win32.h"

// One USB device as the monitor sees it.
struct CUsbDeviceInfo {
  static constexpr int kPropertyCount = 36;

  CString serialNumber;  // the instance id's last component
  CString vendorId;      // the 4 characters after "VID_", as written there; empty when absent
  CString productId;     // the 4 characters after "PID_"
  CString properties[kPropertyCount];  // by Setup API registry property code; empty when unreadable
};

class CUsbDeviceMonitor {
 public:
  // With a window, registers it for volume notifications.
  explicit CUsbDeviceMonitor(HWND window = nullptr);
  ~CUsbDeviceMonitor();
  CUsbDeviceMonitor(const CUsbDeviceMonitor& other);
  CUsbDeviceMonitor& operator=(const CUsbDeviceMonitor& other);

  // Waits a second (the volume settles), then rebuilds both tables.
  void refresh();
  void registerNotifications(HWND window);
  void unregisterNotifications();

  // The record of a drive letter (upper-cased first); an empty record when unknown.
  CUsbDeviceInfo getDeviceInfo(WCHAR letter) const;
  CString getSerialNumber(WCHAR letter) const;
  // The first character of `path` is the letter.
  CString getSerialNumber(const CString& path) const;
  // (letter, record) pairs in ascending letter order.
  std::vector<std::pair<WCHAR, CUsbDeviceInfo>> getDevices() const;

  bool isRegistered() const { return notificationHandle != nullptr; }

 private:
  void readMountedDevices();
  void addInterfaces(const GUID& interfaceClass);

  std::map<WCHAR, CUsbDeviceInfo> devices;
  std::map<WCHAR, CString> mountedDevices;
  HDEVNOTIFY notificationHandle = nullptr;
};
