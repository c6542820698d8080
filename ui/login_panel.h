// CLoginPanel: the child dialog inside the pull-down login window. It shows a local HTML page with
// one column per computer known to the drive (a thumbnail of its wallpaper above its nickname).
// Every link of the page starts with "**": the panel cancels the navigation and turns the word
// after it into a command: "qx_synchronize", "qx_nopreview", or a nickname to log in to.
//
// Nicknames travel in the links percent-encoded as UTF-8 (every byte outside letters, digits and
// "-._~"), and are decoded the same way, so any name, accented ones included, is found again.
#pragma once

#include <string>

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_ole.h"
#include "platform/afx/occ.h"

class CSystemProfile;

class CLoginPanel : public CDialog {
 public:
  CLoginPanel();

  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}

  // Builds and writes "login.html"; `count` gets the number of computers listed.
  bool generateLoginHtml(int& count);
  // The wanted client size of the panel, in pixels; always true.
  bool getPanelSize(int& width, int& height);
  bool needsHorizontalScroll();
  // Shows "login.html", or "nologin.html" when no computer was listed.
  void navigate();
  // The navigation event of the browser: the link protocol.
  void OnBeforeNavigate2(LPDISPATCH disp, VARIANT* url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                         VARIANT* headers, BOOL* cancel);
  // What a "**" link names, from the address the browser reports.
  void followLink(const CString& url, BOOL* cancel);

  // The computers listed: those of the profile database whose folder on the drive exists.
  static int countListedComputers();
  static CString loginPagePath();
  static CString noLoginPagePath();
  // The link encoding of a nickname, and its decoding.
  static CString encodeLinkWord(const CString& word);
  static CString decodeLinkWord(const CString& word);
  static CString escapeHtml(const CString& text);

  CWebBrowser2 m_browser;
  CSystemProfile* m_selectedProfile = nullptr;  // not owned
  int m_computerCount = 0;
  bool m_needsHScroll = false;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnSize(UINT type, int cx, int cy);
  DECLARE_MESSAGE_MAP()
  DECLARE_EVENTSINK_MAP()
};
