// Drive detection, the secure-area login at start-up, and the reaction to volume changes.
#include "app/device_detector.h"

#include <vector>

#include "app/device_host_services.h"
#include "app/device_sdk.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/secure_drive_setup.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "ui/auto_logout_dialog.h"
#include "ui/change_password_dialog.h"
#include "ui/enable_password_dialog.h"
#include "ui/password_dialog.h"

namespace {

constexpr const char16_t* kAreaName = u"DaroriDede";
constexpr const char16_t* kSynchronizedComputersFolder = u"Synchronized Computers";
constexpr ULONGLONG kSmallestSecureDrive = 10485760;  // 10 MB: too small to split

bool g_secureDriveSupport = false;

CString devicePath() { return CFolderLookup::getDevicePath(); }

bool deviceRootExists(const CString& path) { return !path.IsEmpty() && directoryExists(path.Left(3)); }

bool syncFolderExists() { return directoryExists(joinPath(devicePath(), CString(kSynchronizedComputersFolder))); }

bool volumeTotalSize(ULONGLONG& total) {
  ULARGE_INTEGER size{};
  const CString path = devicePath();
  if (path.IsEmpty() || !GetDiskFreeSpaceExW(path, nullptr, &size, nullptr)) return false;
  total = size.QuadPart;
  return true;
}

// A property read as text into a buffer of `bytes` bytes; false when unreadable.
bool readTextProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD code, DWORD bytes, CString& text) {
  std::vector<BYTE> buffer(bytes, 0);
  DWORD type = 0, required = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &info, code, &type, buffer.data(), bytes, &required)) return false;
  const auto* w = reinterpret_cast<const WCHAR*>(buffer.data());
  const int max = static_cast<int>(std::min(required, bytes) / sizeof(WCHAR));
  int n = 0;
  while (n < max && w[n]) ++n;
  text = CString(w, n);
  return true;
}

}  // namespace

bool isSecureDriveSupportOn() { return g_secureDriveSupport; }

void updateSecureDriveSupport() {
  CUsbDeviceMonitor monitor;
  monitor.refresh();
  const CString path = devicePath();
  if (path.IsEmpty()) return;
  CUsbDeviceInfo info = monitor.getDeviceInfo(path[0]);
  if (deviceHostServices().isSecureDriveSettingOn() && info.vendorId.CompareNoCase(u"0ea0") == 0)
    g_secureDriveSupport = true;
}

CAutoLogoutDialog* currentAutoLogoutDialog() { return CAutoLogoutDialog::current(); }

CDeviceDetector::CDeviceDetector() = default;

CDeviceDetector::~CDeviceDetector() { releaseDeviceSdk(); }

std::unique_ptr<CDeviceSdk> CDeviceDetector::makeDeviceSdk() { return std::make_unique<COtiSdk>(); }

void CDeviceDetector::releaseDeviceSdk() { deviceSdk.reset(); }

CString CDeviceDetector::getDeviceDisplayName() const { return g_deviceName; }

bool CDeviceDetector::openSecureArea() {
  deviceKind = kNoDeviceKind;
  if (!detectDeviceKind(deviceKind)) {
    showMessageById(IDS_DEV_DETECTION_FAILED, g_applicationName, getDeviceDisplayName(), g_applicationName);
    releaseDeviceSdk();
    return false;
  }
  if (deviceKind == kNoDeviceKind) {
    showMessageById(IDS_DEV_NO_DRIVE, g_applicationName);
    releaseDeviceSdk();
    return false;
  }
  if (!createDeviceSdk()) return false;
  if (!deviceSdk) return true;
  bool open = false;
  if (!deviceSdk->isLoggedIn(open)) {
    showMessageById(IDS_DEV_AREA_STATE_UNKNOWN);
    return false;
  }
  if (open) return true;
  if (deviceSdk->supportsLogin() && deviceSdk->hasSecureArea()) {
    CPasswordDialog dialog(nullptr);
    const INT_PTR result = dialog.DoModal();
    if (result == IDOK) {
      bool opened = false;
      if (!deviceSdk->login(dialog.m_password, opened)) {
        showMessageById(IDS_SD_LOGIN_FAILED);
        return false;
      }
      if (!opened) {
        showMessageById(IDS_DEV_WRONG_PASSWORD, g_applicationName);
        return false;
      }
      startLogFile();
      return true;
    }
    if (result == IDCANCEL) {
      showMessageById(IDS_DEV_PASSWORD_CANCELLED, g_applicationName);
      return false;
    }
    if (result == CPasswordDialog::kForgotPasswordResult) {
      if (deviceHostServices().isUserLoggedIn()) {
        showMessageById(IDS_DEV_FORGOT_WHILE_LOGGED_IN, getDeviceDisplayName(), g_applicationName);
        return false;
      }
      if (reformatSecureDrive()) return true;
      showMessageById(IDS_DEV_REFORMAT_FAILED, g_applicationName, kAreaName, g_applicationName);
      return false;
    }
    writeLog(u"{DeviceDetector}: Unknown result from password dialog.");
    return false;
  }
  if (!syncFolderExists()) {
    CEnablePasswordDialog question(nullptr);
    question.DoModal();
    if (question.passwordProtected) {
      CChangePasswordDialog first(CChangePasswordDialog::kFirstPasswordMode, nullptr);
      first.DoModal();
    }
  }
  return true;
}

bool CDeviceDetector::detectDeviceKind(DeviceKind& kind) {
  if (isBeforeWindows2000()) return detectWithSetupApi(kind, true);
  if (!g_secureDriveSupport) return detectWithSetupApi(kind, false);
  CUsbDeviceMonitor fresh;
  fresh.refresh();
  const CString path = devicePath();
  if (path.IsEmpty()) return false;
  CUsbDeviceInfo info = fresh.getDeviceInfo(path[0]);
  if (info.vendorId.CompareNoCase(u"0ea0") != 0) return false;
  writeLog(u"Found OTI Device - {Vendor ID}: %s", info.vendorId);
  kind = kOtiSecureDriveKind;
  return true;
}

bool CDeviceDetector::detectWithSetupApi(DeviceKind& kind, bool earlierWindows) {
  HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    showMessageById(IDS_DEV_SETUP_CALL_FAILED, u"SetupDiGetClassDevs");
    return false;
  }
  bool result = true, ipodSeen = false, nameRead = false;
  int count = 0;
  DWORD error = ERROR_SUCCESS;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!SetupDiEnumDeviceInfo(set, index, &info)) {
      error = GetLastError();
      break;
    }
    ++count;
    if (earlierWindows) {
      if (!g_secureDriveSupport) continue;
      CString hardwareId, description;
      readTextProperty(set, info, SPDRP_HARDWAREID, 4096, hardwareId);
      readTextProperty(set, info, SPDRP_DEVICEDESC, 4096, description);
      if (hardwareId == u"USB\\VID_0EA0&PID_2469&REV_0200" || hardwareId == u"USB\\VID_0EA0&PID_2168&REV_0200" ||
          description == u"U-Storage Device") {
        kind = kOtiSecureDriveKind;
        break;
      }
      continue;
    }
    CString name;
    if (!readTextProperty(set, info, SPDRP_FRIENDLYNAME, 4096, name)) continue;
    nameRead = true;
    if (name == u"Apple iPod USB Device" || name == u"Apple Computer_ Inc. iPod IEEE 1394 SBP2 Device") {
      writeLog(u"Found iPod Device - {SRDRP_FRIENDLYNAME}: %s", name);
      ipodSeen = true;
    }
  }
  if (!earlierWindows) {
    if (ipodSeen)
      kind = kIPodDiskKind;
    else if (nameRead)
      kind = kOtherDriveKind;
  }
  if (error != ERROR_SUCCESS && error != ERROR_NO_MORE_ITEMS) {
    writeLog(u"SetupDiEnumDeviceInfo failed ");
    result = false;
  }
  writeLog(u"Found %d devices on system.", count);
  SetupDiDestroyDeviceInfoList(set);
  return result;
}

bool CDeviceDetector::createDeviceSdk() {
  releaseDeviceSdk();
  if (!g_secureDriveSupport || deviceKind != kOtiSecureDriveKind) return true;
  ULONGLONG total = 0;
  if (isUserAdministrator()) {
    deviceSdk = makeDeviceSdk();
    std::uint64_t publicSize = 0;
    if (deviceSdk && deviceSdk->getPublicAreaSize(publicSize)) return true;
    if (volumeTotalSize(total) && total <= kSmallestSecureDrive) {
      showMessageById(IDS_DEV_DRIVE_TOO_SMALL_ADMIN, g_applicationName, kAreaName, g_applicationName, kAreaName, kAreaName,
                      g_applicationName);
      releaseDeviceSdk();
      return false;
    }
    releaseDeviceSdk();
    return true;
  }
  if (volumeTotalSize(total) && (total & ~0xFFFFFull) <= kSmallestSecureDrive) {
    showMessageById(IDS_DEV_DRIVE_TOO_SMALL, g_applicationName, kAreaName, kAreaName, g_applicationName);
    return false;
  }
  if (!syncFolderExists()) {
    const CString folder = joinPath(devicePath(), CString(kSynchronizedComputersFolder));
    const CString text = formatMessageText(loadResString(IDS_DEV_ADMIN_WARNING), g_applicationName, kAreaName,
                                           g_applicationName, g_applicationName, kAreaName, kAreaName, folder,
                                           g_applicationName);
    deviceHostServices().askUnlessSuppressed(nullptr, text, loadResString(IDS_DEV_ADMIN_WARNING_CHECK),
                                             u"showSecurityAdminWarning");
  }
  return true;
}

void CDeviceDetector::OnDeviceArrival(int mode) {
  HWND main = deviceHostServices().getMainWindow();
  if (main && !monitor.isRegistered()) monitor.registerNotifications(main);
  if (mode == 1) monitor.refresh();
}

bool CDeviceDetector::onDeviceChange(const CString& interfaceName, bool removed) {
  if (changeClient) return changeClient->onDeviceChange(interfaceName, removed);
  CDeviceHostServices& host = deviceHostServices();
  const CString path = devicePath();
  // What the monitor knew of the program's drive before this change, to tell the drive going
  // away from another drive coming or going.
  const CString knownSerial = monitor.getSerialNumber(path);
  monitor.refresh();
  const CString serial = monitor.getSerialNumber(path);
  HWND main = host.getMainWindow();
  if (!removed) {
    Sleep(1000);
    if (!host.isUserLoggedIn()) {
      // While the program waits for its own drive, another drive must not be opened as it.
      if (main && (path.IsEmpty() || deviceRootExists(path))) PostMessageW(main, kDeviceArrivedMessage, 0, 0);
    } else if (CAutoLogoutDialog* countdown = CAutoLogoutDialog::current();
               countdown && ((!countdown->m_driveText.IsEmpty() &&
                              interfaceName.CompareNoCase(countdown->m_driveText) == 0) ||
                             deviceRootExists(path))) {
      // The drive whose removal started the countdown is back.
      countdown->PostMessage(WM_COMMAND, IDCANCEL, 0);
    }
    return false;
  }
  // With neither a path nor a serial of its own the program cannot tell its drive from another.
  const bool gone = (!path.IsEmpty() && !deviceRootExists(path)) || (!knownSerial.IsEmpty() && serial != knownSerial);
  if (!gone) return false;
  if (!host.isUserLoggedIn()) {
    if (main) PostMessageW(main, kDeviceRemovedMessage, 0, 0);
    return false;
  }
  runAutoLogout(interfaceName);
  return false;
}

void CDeviceDetector::runAutoLogout(const CString& interfaceName) {
  // One countdown at a time: the one up already ends in the same logout.
  if (CAutoLogoutDialog::current()) return;
  CAutoLogoutDialog dialog(nullptr, false);
  dialog.m_driveText = interfaceName;
  const INT_PTR result = dialog.DoModal();
  if (result == IDOK) {
    CDeviceHostServices& host = deviceHostServices();
    host.startLogoutAfterRemoval();
    if (HWND main = host.getMainWindow()) PostMessageW(main, kDeviceRemovedMessage, 0, 0);
  }
}

bool CDeviceDetector::changeSecureAreaPassword(const CString& newPassword, const CString& secondText) {
  return ::changeSecureAreaPassword(deviceSdk.get(), newPassword, secondText);
}

bool CDeviceDetector::reformatSecureDrive() { return ::reformatSecureDrive(deviceSdk.get()); }

bool CDeviceDetector::confirmReformat(bool enabling) { return ::confirmReformat(enabling); }

bool CDeviceDetector::isPublicAreaOnly() { return ::isPublicAreaOnly(devicePath().Left(3)); }
