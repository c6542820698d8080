// The stand-in services the document and the run coordinator use until the application installs
// its own (document_host_services.h).
#include "app/document_host_services.h"

#include "app/app_messages.h"
#include "app/log.h"
#include "platform/win32/win32.h"

namespace {

CDocumentHostServices& defaultServices() {
  static CDocumentHostServices services;
  return services;
}

CDocumentHostServices* g_services = nullptr;

}  // namespace

CDocumentHostServices& documentHostServices() { return g_services ? *g_services : defaultServices(); }

void setDocumentHostServices(CDocumentHostServices* services) { g_services = services; }

// Without a switchboard there is nobody to deliver to; the message is still ours to free.
bool CDocumentHostServices::sendAppMessage(CAppMessage* message) {
  if (!message) return false;
  delete message;
  return true;
}

bool CDocumentHostServices::postAppMessage(CAppMessage* message) { return sendAppMessage(message); }

void CDocumentHostServices::processMessages() {
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

HWND CDocumentHostServices::getMainWindow() { return nullptr; }

bool CDocumentHostServices::isClosePending() { return false; }

void CDocumentHostServices::clearClosePending() {}

bool CDocumentHostServices::enableAutostart() { return false; }

bool CDocumentHostServices::disableAutostart() { return false; }

void CDocumentHostServices::runLoginLogoutHook(int) {}

bool CDocumentHostServices::isSecureAreaLoggedOut() { return false; }

bool CDocumentHostServices::saveComputer() { return false; }

void CDocumentHostServices::deleteLoginFile() {}

void CDocumentHostServices::deleteProductRegistryTraces() {}

void CDocumentHostServices::reportUnknownException(const CString& context) {
  writeLog(u"{%s}: Caught undefined exception.", context);
}

bool CDocumentHostServices::isOutlook2000InternetMailOnly() { return false; }

void CDocumentHostServices::runAdministratorLogon(const std::vector<CAdminUserOperation*>&, HWND) {}
