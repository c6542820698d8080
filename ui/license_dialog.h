// CLicenseDialog: shows the end-user licence agreement ("EULA_<language>.html" in the product's
// per-user folder) in a web browser control and returns the user's answer: IDOK for Accept,
// IDCANCEL for Decline or a close. Print hands the page to the browser's own print command.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_ole.h"

class CLicenseDialog : public CDialog {
 public:
  explicit CLicenseDialog(CWnd* parent = nullptr);

  BOOL OnInitDialog() override;

  // The agreement page for a language code ("FRA": ...\EULA_FRA.html).
  static CString agreementPagePath(const CString& languageCode);

  CWebBrowser2 m_browser;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnAccept();
  afx_msg void OnDecline();
  afx_msg void OnPrint();
  DECLARE_MESSAGE_MAP()
};
