// CHLinkCtrl: a static control that behaves as a hyperlink. It draws its text underlined in the
// colour of its state (blue, purple once followed, red under the mouse), shows the hand cursor,
// and a click follows the link: through an Internet shortcut object (falling back to the shell's
// "open"), through the shell's "open" alone, or by telling its parent.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/gdi.h"

// WM_COMMAND 32775: a link control to itself: follow the link (a click posts it).
inline constexpr UINT kFollowLinkCommand = 32775;
// WM_USER+160: a link in the notify-parent mode was clicked (lParam: the control's window).
inline constexpr UINT WM_KIPO_LINK_CLICKED = WM_USER + 160;

class CHLinkCtrl : public CStatic {
 public:
  enum : LONG { kModeInternetShortcut = 0, kModeShellOpen = 1, kModeNotifyParent = 2 };
  enum : LONG { kStateNormal = 0, kStateVisited = 1, kStateHover = 2 };

  CHLinkCtrl() = default;
  ~CHLinkCtrl() override = default;

  void setURL(const CString& url) { m_url = url; }
  // Follows the link by the mode (nothing while the link is disabled); true when it was opened.
  // The notify-parent mode only posts WM_USER+160 to the parent and answers false.
  bool follow();
  // The text colour of the current state.
  COLORREF stateColor() const;

  LONG m_mode = kModeInternetShortcut;
  CString m_url;
  COLORREF m_normalColor = RGB(0, 0, 255);
  COLORREF m_visitedColor = RGB(128, 0, 128);
  COLORREF m_hoverColor = RGB(255, 0, 0);
  bool m_hoverEnabled = true;
  LONG m_state = kStateNormal;
  LONG m_stateBeforeHover = kStateNormal;
  CFont m_linkFont;
  bool m_handCursor = true;
  bool m_enabled = true;

 protected:
  afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnFollowLink();
  DECLARE_MESSAGE_MAP()

  void setState(LONG state);
  // The control's font, underlined (made once).
  CFont* linkFont();

 private:
  bool shellOpen();
  bool openThroughShortcut();
};
