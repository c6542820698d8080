// The default of the options dialog's host, until the program installs its own.
#include "ui/options_host.h"

#include "app/view_surfaces.h"
#include "ui/login_host.h"

namespace {

COptionsHost* g_host = nullptr;

COptionsHost& defaultHost() {
  static COptionsHost host;
  return host;
}

}  // namespace

COptionsHost& optionsHost() { return g_host ? *g_host : defaultHost(); }

void setOptionsHost(COptionsHost* host) { g_host = host; }

CCustomizerDoc* COptionsHost::document() { return loginHost().document(); }
bool COptionsHost::isU3Customization() { return false; }
bool COptionsHost::isAutostartEnabled() { return false; }
int COptionsHost::deviceKind() { return 0; }
bool COptionsHost::isThisComputerKnown() { return false; }
bool COptionsHost::isSynchronizeDialogShown() { return false; }
void COptionsHost::logout() { loginHost().doDepersonalize(false); }
std::unique_ptr<COptionsMeter> COptionsHost::createMeter() { return nullptr; }
void COptionsHost::runComputerSetup(HWND owner) { viewSurfaces().runComputerSetup(owner); }
int COptionsHost::runNicknameDialog(CSystemProfile*, CWnd*) { return IDCANCEL; }
int COptionsHost::runLargeFolderDialog(CWnd*, const CString&) { return IDOK; }
