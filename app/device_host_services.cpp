// The stand-in services of drive detection until the application installs its own.
#include "app/device_host_services.h"

namespace {

CDeviceHostServices g_default;
CDeviceHostServices* g_services = nullptr;

}  // namespace

HWND CDeviceHostServices::getMainWindow() { return nullptr; }
bool CDeviceHostServices::isUserLoggedIn() { return false; }
void CDeviceHostServices::startLogoutAfterRemoval() {}
void CDeviceHostServices::askUnlessSuppressed(HWND, const CString&, const CString&, const CString&) {}
bool CDeviceHostServices::isSecureDriveSettingOn() { return true; }

CDeviceHostServices& deviceHostServices() { return g_services ? *g_services : g_default; }
void setDeviceHostServices(CDeviceHostServices* services) { g_services = services; }
