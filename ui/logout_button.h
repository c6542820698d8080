// CLogoutButton: a window whose only visible part is its taskbar button, captioned "Log out";
// clicking the button asks the client (the customizer view) to log out.
#pragma once

#include "platform/afx/afxwin.h"

class CLogoutButtonClient;

class CLogoutButton : public CWnd {
 public:
  // Registers the window class (the framework's, shared). The client is not owned.
  explicit CLogoutButton(CLogoutButtonClient* client);
  ~CLogoutButton() override;

  // Creates the window with `caption` (string 654).
  bool create(const CString& caption);
  // A window of this class with the caption of string 654 exists.
  bool windowExists();

  CString m_className;
  CLogoutButtonClient* m_client = nullptr;

 protected:
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  afx_msg int OnCreate(LPCREATESTRUCT lpcs);
  afx_msg void OnActivate(UINT state, CWnd* other, BOOL minimized);
  DECLARE_MESSAGE_MAP()
};
