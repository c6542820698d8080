// The stand-in services the secure-drive layer uses until the application installs its own.
#include "app/secure_drive_services.h"

#include "app/file_operation.h"
#include "app/log.h"
#include "app/secure_drive_setup.h"
#include "platform/win32/win32.h"

namespace {

CSecureDriveServices& defaultServices() {
  static CSecureDriveServices services;
  return services;
}

CSecureDriveServices* g_services = nullptr;

}  // namespace

CSecureDriveServices& secureDriveServices() { return g_services ? *g_services : defaultServices(); }

void setSecureDriveServices(CSecureDriveServices* services) { g_services = services; }

void CSecureDriveServices::processMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit for the loop that owns it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void CSecureDriveServices::endProgram(UINT exitCode) { ExitProcess(exitCode); }

std::unique_ptr<CAdminLogon> CSecureDriveServices::createAdminLogon() { return nullptr; }

CUserCredentials& CSecureDriveServices::adminCredentials() {
  static CUserCredentials credentials;
  return credentials;
}

CDeviceSdk* CSecureDriveServices::getDeviceSdk() { return nullptr; }

CDeviceChangeClient* CSecureDriveServices::getDeviceChangeClient() { return nullptr; }

void CSecureDriveServices::setDeviceChangeClient(CDeviceChangeClient*) {}

bool CSecureDriveServices::changeSecureAreaPassword(const CString& newPassword, const CString& secondText) {
  return ::changeSecureAreaPassword(getDeviceSdk(), newPassword, secondText);
}

CString CSecureDriveServices::getCustomizationFilePath() { return CString(); }

bool CSecureDriveServices::usesDeviceMonitor() { return true; }

bool CSecureDriveServices::standbyRequested() { return false; }

void CSecureDriveServices::clearStandbyRequest() {}

CString CSecureDriveServices::enumerateUsbDrives() {
  CString letters;
  ::enumerateUsbDrives(letters);
  return letters;
}
