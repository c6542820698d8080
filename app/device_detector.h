// CDeviceDetector: what kind of drive the program runs from, the secure-drive interface of a
// drive that has one with its password login, and the reaction to volume arrivals and removals
// while the program runs (posted to the main frame, or the automatic-logout countdown). A member
// of the application object for the whole run.
#pragma once

#include <cstdint>
#include <memory>

#include "app/device_change_client.h"
#include "app/usb_device_monitor.h"
#include "platform/afx/cstring.h"

class CDeviceSdk;
class CAutoLogoutDialog;

// The kinds of drive detection tells apart (only these are stored).
using DeviceKind = std::int32_t;
inline constexpr DeviceKind kNoDeviceKind = 0;
inline constexpr DeviceKind kOtiSecureDriveKind = 7;
inline constexpr DeviceKind kIPodDiskKind = 8;
inline constexpr DeviceKind kOtherDriveKind = 10;

// Messages the detector posts to the main window (wParam 0, lParam 0).
inline constexpr UINT kDeviceArrivedMessage = 0x0400 + 20;  // a drive arrived while nobody is logged in
inline constexpr UINT kDeviceRemovedMessage = 0x0400 + 30;  // the drive went away

class CDeviceDetector {
 public:
  CDeviceDetector();
  virtual ~CDeviceDetector();
  CDeviceDetector(const CDeviceDetector&) = delete;
  CDeviceDetector& operator=(const CDeviceDetector&) = delete;

  // A volume arrival (removed false) or removal (true) from the main frame. Returns the change
  // client's result when one is set, else false after its own handling.
  virtual bool onDeviceChange(const CString& interfaceName, bool removed);

  // Detects the drive and logs in to its secure area; false (after its message) when the
  // program does not continue with this drive.
  bool openSecureArea();
  bool detectDeviceKind(DeviceKind& kind);
  bool createDeviceSdk();
  // Registers the monitor for the main window's notifications (once); mode 1 also refreshes it.
  void OnDeviceArrival(int mode);
  CString getDeviceDisplayName() const;
  void releaseDeviceSdk();

  // The secure-drive flows that rebuild the drive (switch protection on; remove the secure area
  // after a forgotten password), their confirmation, and the public-area test.
  bool changeSecureAreaPassword(const CString& newPassword, const CString& secondText);
  bool reformatSecureDrive();
  bool confirmReformat(bool enabling);
  bool isPublicAreaOnly();

  DeviceKind getDeviceKind() const { return deviceKind; }
  CDeviceSdk* getDeviceSdk() const { return deviceSdk.get(); }
  CDeviceChangeClient* getChangeClient() const { return changeClient; }
  void setChangeClient(CDeviceChangeClient* client) { changeClient = client; }
  CUsbDeviceMonitor& getMonitor() { return monitor; }

 protected:
  // The secure-drive interface of an OTi drive.
  virtual std::unique_ptr<CDeviceSdk> makeDeviceSdk();

 private:
  bool detectWithSetupApi(DeviceKind& kind, bool earlierWindows);
  void runAutoLogout(const CString& interfaceName);

  CUsbDeviceMonitor monitor;
  std::unique_ptr<CDeviceSdk> deviceSdk;
  DeviceKind deviceKind = kNoDeviceKind;
  CDeviceChangeClient* changeClient = nullptr;
};

// Secure-drive support: off at start, switched on (never off again) by updateSecureDriveSupport
// when the customization allows it and the program's drive is of the secure-drive maker
// (vendor id "0ea0", any case).
bool isSecureDriveSupportOn();
void updateSecureDriveSupport();

// The automatic-logout countdown on screen, the detector's or the main frame's; null when none is
// up.
CAutoLogoutDialog* currentAutoLogoutDialog();
