// The default login host: no view and no switchboard.
#include "ui/login_host.h"

namespace {

CLoginHost g_default;
CLoginHost* g_host = nullptr;

}  // namespace

CLoginHost& loginHost() { return g_host ? *g_host : g_default; }
void setLoginHost(CLoginHost* host) { g_host = host; }

bool CLoginHost::isPersonalized() { return false; }
void CLoginHost::doPersonalize() {}
void CLoginHost::doDepersonalize(bool) {}
void CLoginHost::startLogout(bool) {}
void CLoginHost::updateLoginState() {}
void CLoginHost::showTrayInfo() {}
HWND CLoginHost::viewWindow() { return nullptr; }
CLogoutButtonClient* CLoginHost::logoutButtonClient() { return nullptr; }
CCustomizerDoc* CLoginHost::document() { return nullptr; }
bool CLoginHost::reopenSecureArea() { return true; }
bool CLoginHost::addListener(CSwitchboardListener*) { return false; }
bool CLoginHost::removeListener(CSwitchboardListener*) { return false; }
void CLoginHost::synchronize(DWORD) {}
CString CLoginHost::languageCode() { return CString(u"USA"); }
CString CLoginHost::customerLogoFile() { return CString(); }
