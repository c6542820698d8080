// The hyperlink static: its colours, cursor, hover tracking and the three ways to follow it.
#include "ui/hlink_ctrl.h"

#include "platform/afx/waitcursor.h"
#include "platform/com/com.h"
#include "platform/com/controls.h"
#include "platform/win32/win32.h"

namespace {

constexpr char16_t kOpenVerb[] = u"open";

}  // namespace

BEGIN_MESSAGE_MAP(CHLinkCtrl, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
  ON_WM_SETCURSOR()
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONDOWN()
  ON_COMMAND(kFollowLinkCommand, OnFollowLink)
END_MESSAGE_MAP()

COLORREF CHLinkCtrl::stateColor() const {
  switch (m_state) {
    case kStateVisited: return m_visitedColor;
    case kStateHover: return m_hoverColor;
    default: return m_normalColor;
  }
}

CFont* CHLinkCtrl::linkFont() {
  if (!m_linkFont.GetSafeHandle()) {
    LOGFONTW font{};
    HFONT handle = GetFontHandle();
    if (!handle) handle = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (handle && GetObjectW(handle, sizeof font, &font)) {
      font.lfUnderline = TRUE;
      m_linkFont.CreateFontIndirect(&font);
    }
  }
  return m_linkFont.GetSafeHandle() ? &m_linkFont : nullptr;
}

HBRUSH CHLinkCtrl::CtlColor(CDC* pDC, UINT) {
  // Without SS_NOTIFY a static lets mouse messages through to its parent.
  if (!(GetStyle() & SS_NOTIFY)) ModifyStyle(0, SS_NOTIFY);
  if (CFont* font = linkFont()) pDC->SelectObject(font);
  pDC->SetTextColor(stateColor());
  pDC->SetBkMode(TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

BOOL CHLinkCtrl::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message) {
  if (m_handCursor) {
    if (HCURSOR hand = LoadCursorW(nullptr, IDC_HAND)) {
      SetCursor(hand);
      return TRUE;
    }
  }
  return CStatic::OnSetCursor(pWnd, nHitTest, message);
}

void CHLinkCtrl::setState(LONG state) {
  if (state == m_state) return;
  m_state = state;
  Invalidate();
}

void CHLinkCtrl::OnMouseMove(UINT nFlags, CPoint point) {
  if (m_hoverEnabled) {
    CRect client;
    GetClientRect(&client);
    const bool inside = client.PtInRect(point) != FALSE;
    if (inside && m_state != kStateHover) {
      SetCapture();
      m_stateBeforeHover = m_state;
      setState(kStateHover);
    } else if (!inside && m_state == kStateHover) {
      setState(m_stateBeforeHover);
      ReleaseCapture();
    }
  }
  CStatic::OnMouseMove(nFlags, point);
}

void CHLinkCtrl::OnLButtonDown(UINT nFlags, CPoint point) {
  PostMessage(WM_COMMAND, MAKEWPARAM(kFollowLinkCommand, 0), 0);
  CStatic::OnLButtonDown(nFlags, point);
}

void CHLinkCtrl::OnFollowLink() {
  if (!follow()) return;
  // Followed under the mouse: the link shows as visited once the mouse leaves it.
  if (m_state == kStateHover)
    m_stateBeforeHover = kStateVisited;
  else
    setState(kStateVisited);
}

bool CHLinkCtrl::shellOpen() {
  CWnd* parent = GetParent();
  HINSTANCE result = ShellExecuteW(parent ? parent->GetSafeHwnd() : nullptr, kOpenVerb, m_url, nullptr, nullptr,
                                   SW_SHOW);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool CHLinkCtrl::openThroughShortcut() {
  IUniformResourceLocator* shortcut = nullptr;
  if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUniformResourceLocator,
                              reinterpret_cast<void**>(&shortcut))) ||
      !shortcut)
    return false;
  bool opened = false;
  if (SUCCEEDED(shortcut->SetURL(m_url, 0))) {
    CWnd* parent = GetParent();
    URLINVOKECOMMANDINFO info{};
    info.dwcbSize = sizeof info;
    info.dwFlags = IURL_INVOKECOMMAND_FL_ALLOW_UI;
    info.hwndParent = parent ? parent->GetSafeHwnd() : nullptr;
    info.pcszVerb = kOpenVerb;
    opened = SUCCEEDED(shortcut->InvokeCommand(&info));
  }
  shortcut->Release();
  return opened;
}

bool CHLinkCtrl::follow() {
  if (!m_enabled) return false;
  CWaitCursor wait;
  switch (m_mode) {
    case kModeShellOpen: return shellOpen();
    case kModeNotifyParent:
      if (CWnd* parent = GetParent()) parent->PostMessage(WM_KIPO_LINK_CLICKED, 0, reinterpret_cast<LPARAM>(m_hWnd));
      return false;
    default: return openThroughShortcut() || shellOpen();
  }
}
