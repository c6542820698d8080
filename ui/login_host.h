// CLoginHost: what the login surface needs of the program around it: the view's login and logout
// work, its tray balloon and login state, its window (for its commands), the switchboard's
// listeners, the secure area's reopening after a suspend, the view's synchronization run, the
// language in use and the customization's logo. The program installs its implementation with
// setLoginHost; the default does nothing and answers "not logged in".
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CCustomizerDoc;
class CLogoutButtonClient;
class CSwitchboardListener;

class CLoginHost {
 public:
  virtual ~CLoginHost() = default;

  virtual bool isPersonalized();
  // The view's login work (close-programs question, screen cover, the document's passes).
  virtual void doPersonalize();
  // The view's logout work; `silent` skips the close-programs question.
  virtual void doDepersonalize(bool silent);
  // The view's logout request through the pull-down (message 392/416 when refused).
  virtual void startLogout(bool flag);
  virtual void updateLoginState();
  virtual void showTrayInfo();
  // The view's window (WM_COMMAND 338 and 344, WM_USER+140 go there); null when none.
  virtual HWND viewWindow();
  // The view as the logout button's client; null when none.
  virtual CLogoutButtonClient* logoutButtonClient();
  virtual CCustomizerDoc* document();
  virtual bool reopenSecureArea();
  virtual bool addListener(CSwitchboardListener* listener);
  virtual bool removeListener(CSwitchboardListener* listener);
  // The view's synchronization run with its progress dialog (the synchronize dialog's OK).
  virtual void synchronize(DWORD mode);
  // The current three-letter language code ("USA" by default).
  virtual CString languageCode();
  // The customer's logo image file named by the customization; empty when it names none.
  virtual CString customerLogoFile();
};

CLoginHost& loginHost();
// Installs `host` (not owned; null restores the default).
void setLoginHost(CLoginHost* host);
