// CMainFrame: the program's hidden, disabled main window. It owns the document/view machinery,
// takes the program's own window messages (tray callback, drive arrived or gone, automatic
// logout, login and logout requests), the shell's "TaskbarCreated", device changes and the end of
// the Windows session, and other programs find it by its class "KipoMainFrameClass".
#pragma once

#include "platform/afx/afxwin.h"

// The program's own messages to the main frame.
inline constexpr UINT WM_KIPO_TRAY = WM_USER + 10;
inline constexpr UINT WM_KIPO_DEVICE_ARRIVED = WM_USER + 20;
inline constexpr UINT WM_KIPO_DEVICE_REMOVED = WM_USER + 30;
inline constexpr UINT WM_KIPO_AUTO_LOGOUT = WM_USER + 50;
inline constexpr UINT WM_KIPO_SHOW_PULLDOWN = WM_USER + 60;
inline constexpr UINT WM_KIPO_LOGIN = WM_USER + 110;
inline constexpr UINT WM_KIPO_LOGOUT_SILENT = WM_USER + 120;
inline constexpr UINT WM_KIPO_LOGOUT_BUTTON = WM_USER + 130;

class CMainFrame : public CMDIFrameWnd {
  DECLARE_DYNCREATE(CMainFrame)

 public:
  CMainFrame() = default;
  ~CMainFrame() override;

  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

 protected:
  afx_msg LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDeviceArrived(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDeviceRemoved(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnAutoLogout(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnShowPulldown(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnLogin(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnLogoutSilent(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnLogoutButton(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDeviceChangeMessage(WPARAM wParam, LPARAM lParam);
  afx_msg BOOL OnQueryEndSession();
  afx_msg void OnEndSession(BOOL bEnding);
  afx_msg void OnClose();
  afx_msg void OnTimer(UINT_PTR id);
  // The frame's close and the device side's shutdown, without waiting for anything.
  void closeNow();
  DECLARE_MESSAGE_MAP()

 private:
  // The frame's invisible owner, which keeps it off the taskbar.
  CWnd m_owner;
  CString m_ownerClassName;
};
