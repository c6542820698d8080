// What the document and the run coordinator need of the application object and of surfaces that
// later parts of the program bring: the switchboard and the message pump, the main window, the
// close held back during a login pass, autostart, the login and logout hooks, the secure area's
// state, the session swaps of the host, and the Outlook and administrator-logon checks. The
// application installs its implementation with setDocumentHostServices; until then a default
// stands in: no switchboard (messages are dropped), its own pump of the thread's queue, no main
// window, nothing held back, autostart and session swaps refused (false), no hooks, no secure
// area, no Outlook, no administrator logon dialog.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CAppMessage;
class CAdminUserOperation;

class CDocumentHostServices {
 public:
  virtual ~CDocumentHostServices() = default;

  // CCustomizerApp::sendAppMessage / postAppMessage: the message is the callee's in every case.
  virtual bool sendAppMessage(CAppMessage* message);
  virtual bool postAppMessage(CAppMessage* message);
  // CCustomizerApp::processMessages: the nested pump (holds back WM_CLOSE while the document is
  // busy). The default dispatches every message waiting in this thread's queue.
  virtual void processMessages();
  // The main window; null when none.
  virtual HWND getMainWindow();

  // A WM_CLOSE the pump held back during a personalize pass, and its clearing.
  virtual bool isClosePending();
  virtual void clearClosePending();

  // CCustomizerApp::enableAutostart / disableAutostart.
  virtual bool enableAutostart();
  virtual bool disableAutostart();
  // CCustomizerApp::runLoginLogoutHook (kind 1 after login, 3 after logout).
  virtual void runLoginLogoutHook(int kind);
  // The current device has a secure area that reports it is not logged in: the pref file is then
  // not saved over.
  virtual bool isSecureAreaLoggedOut();

  // Host session swaps: saveComputer (the host's own settings into the login file), and at the
  // end of a logout the deletion of the login file and of the product's registry traces.
  virtual bool saveComputer();
  virtual void deleteLoginFile();
  virtual void deleteProductRegistryTraces();

  // Called inside a catch-all handler of a guarded block: reports the exception being handled
  // under the block's context. The default logs "{<context>}: Caught undefined exception."; the
  // application, which knows the structured exceptions, rethrows to log those by their code.
  virtual void reportUnknownException(const CString& context);

  // Outlook 2000 set up for Internet mail only (question 737 is then skipped).
  virtual bool isOutlook2000InternetMailOnly();
  // The administrator logon dialog (modal, owned by `owner`) with the document's operations; its
  // result is not used. The default shows nothing.
  virtual void runAdministratorLogon(const std::vector<CAdminUserOperation*>& operations, HWND owner);
};

// The services in force (the default until the application installs its own).
CDocumentHostServices& documentHostServices();
// Installs `services` (not owned; null restores the default).
void setDocumentHostServices(CDocumentHostServices* services);
