// CWnd: the framework's window object. A CWnd is tied to at most one window handle; the thread's
// handle map finds the CWnd of a handle (FromHandlePermanent) or makes a temporary one that lives
// until the thread's next idle time (FromHandle). Windows created through CWnd, and windows of
// classes registered by the framework, run AfxWndProc, which sends each message through
// CWnd::WindowProc -> OnWndMsg -> the message map, and what no handler takes to DefWindowProc (the
// class's own procedure for subclassed windows).
//
// Windows of classes the framework did not register (the controls) are subclassed right after
// creation: their CWnd sees every message from then on, but not WM_NCCREATE/WM_CREATE.
//
// Control wrappers (CButton, CEdit, ...) derive from CWnd and use ON_CONTROL_REFLECT/
// ON_NOTIFY_REFLECT or override OnChildNotify for what their parent reflects back to them.
#pragma once

#include "platform/afx/cmdtarget.h"
#include "platform/afx/cstring.h"
#include "platform/afx/dc.h"
#include "platform/afx/geometry.h"
#include "platform/afx/occ.h"
#include "platform/win32/dialog.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"

class CCreateContext;
class CDataExchange;
class CFrameWnd;
class CMenu;

using CREATESTRUCT = CREATESTRUCTW;
using LPCREATESTRUCT = CREATESTRUCTW*;
using WNDCLASS = WNDCLASSW;

// The procedure of every window the framework creates or subclasses.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

class CWnd : public CCmdTarget {
  DECLARE_DYNCREATE(CWnd)

 public:
  CWnd() = default;
  // Destroys the window if this object still owns one (a permanent CWnd outliving its window is
  // a bug in the caller; the window goes with it rather than calling a dead object).
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;

  operator HWND() const { return m_hWnd; }  // NOLINT: the class library converts implicitly
  // The window's handle. Asking a null pointer is undefined in C++ (and breaks under the
  // sanitizers): code holding a pointer that may be null asks platform::afx::hwndOf instead.
  HWND GetSafeHwnd() const { return m_hWnd; }
  bool operator==(const CWnd& other) const { return m_hWnd == other.m_hWnd; }

  // ---- The handle map ----

  // The permanent CWnd of hWnd, else a temporary CWnd (deleted at the thread's next idle time);
  // null for a null handle.
  static CWnd* PASCAL FromHandle(HWND hWnd);
  // The permanent CWnd of hWnd in this thread's map, or null.
  static CWnd* PASCAL FromHandlePermanent(HWND hWnd);
  // Deletes the thread's temporary CWnd (and CDC) objects.
  static void PASCAL DeleteTempMap();

  // Ties this object to an existing window without changing its procedure. FALSE when this
  // object has a window already or hWnd is null or already has a permanent CWnd.
  BOOL Attach(HWND hWndNew);
  HWND Detach();
  // Ties this object to the window and makes AfxWndProc its procedure (the old one becomes the
  // DefWindowProc of this object).
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  // Gives the window its own procedure back and detaches it.
  HWND UnsubclassWindow();

  // ---- Creation and destruction ----

  virtual BOOL Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                      CWnd* pParentWnd, UINT nID, CCreateContext* pContext = nullptr);
  // PreCreateWindow may change the CREATESTRUCT (class, style, position) first; the object is tied
  // to the window before its first message when the class runs AfxWndProc.
  virtual BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, int x,
                        int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                        LPVOID lpParam = nullptr);
  BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                CWnd* pParentWnd, UINT nID, LPVOID lpParam = nullptr);
  virtual BOOL DestroyWindow();
  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  // Called after WM_NCDESTROY, with the object already detached; frames and views delete
  // themselves here.
  virtual void PostNcDestroy();
  // Called when an existing window is subclassed or attached during creation.
  virtual void PreSubclassWindow();

  // ---- ActiveX controls (see occ.h) ----

  // Makes the control in a site of pParentWnd (which then holds it as a container) and ties
  // this object to the control's window. FALSE when this object has a window, the container is
  // not enabled, COM is not usable on the thread or the control cannot be made.
  BOOL CreateControl(REFCLSID clsid, LPCWSTR pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                     UINT nID);
  // The same by class id text "{...}" or program id.
  BOOL CreateControl(LPCWSTR pszClass, LPCWSTR pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                     UINT nID);
  // The IUnknown of the control whose window this is (no reference added; valid while the
  // control is), null for any other window.
  IUnknown* GetControlUnknown();
  // The map of this window's handlers of its controls' events; the base has none.
  virtual const AFX_EVENTSINKMAP* GetEventSinkMap() const;

 protected:
  static const AFX_EVENTSINKMAP* PASCAL GetThisEventSinkMap();

 public:
  // ---- Messages ----

  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // Called for each message before it is dispatched; TRUE means it was handled (not dispatched).
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // A notification from this window sent to its parent and reflected back here; TRUE when handled.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // Offers the message to this object's map as WM_REFLECT_BASE + message.
  BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // Offers the message being handled to the child's CWnd (OnChildNotify); TRUE when it took it.
  static BOOL PASCAL ReflectLastMsg(HWND hWndChild, LRESULT* pResult = nullptr);
  // DefWindowProc for the message being handled now (the default of every On... handler).
  LRESULT Default();
  // The message being handled now by this thread.
  static const MSG* PASCAL GetCurrentMessage();

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL SendNotifyMessage(UINT message, WPARAM wParam, LPARAM lParam) const;
  void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, BOOL bDeep = TRUE) const;

  // ---- Text, state, styles ----

  void SetWindowText(LPCWSTR lpszString);
  int GetWindowText(LPWSTR lpszStringBuf, int nMaxCount) const;
  void GetWindowText(CString& rString) const;
  int GetWindowTextLength() const;
  BOOL ShowWindow(int nCmdShow);
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  BOOL IsZoomed() const;
  BOOL IsChild(const CWnd* pWnd) const;
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  // Removes then adds style bits; with nFlags, also calls SetWindowPos(nFlags | SWP_NOSIZE | ...).
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  int GetDlgCtrlID() const;
  int SetDlgCtrlID(int nID);

  // ---- Position ----

  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
  BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void GetWindowRect(LPRECT lpRect) const;
  void GetClientRect(LPRECT lpRect) const;
  void ClientToScreen(LPPOINT lpPoint) const;
  void ClientToScreen(LPRECT lpRect) const;
  void ScreenToClient(LPPOINT lpPoint) const;
  void ScreenToClient(LPRECT lpRect) const;
  // Centers the window on pAlternateOwner, else its owner (or parent), else the screen.
  void CenterWindow(CWnd* pAlternateOwner = nullptr);
  void BringWindowToTop();

  // ---- Painting ----

  void Invalidate(BOOL bErase = TRUE);
  void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
  void ValidateRect(LPCRECT lpRect);
  void UpdateWindow();
  BOOL RedrawWindow(LPCRECT lpRectUpdate = nullptr, HRGN hrgnUpdate = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);

  // ---- Tree, focus, timers ----

  CWnd* GetParent() const;
  CWnd* GetOwner() const;
  void SetOwner(CWnd* pOwnerWnd);
  CWnd* SetParent(CWnd* pWndNewParent);
  CWnd* GetTopLevelParent() const;
  // The frame window (CFrameWnd) this window is in, or null.
  CFrameWnd* GetParentFrame() const;
  CFrameWnd* GetTopLevelFrame() const;
  CWnd* GetDlgItem(int nID) const;
  void GetDlgItem(int nID, HWND* phWnd) const;
  CWnd* GetWindow(UINT nCmd) const;
  CWnd* GetNextWindow(UINT nFlag = GW_HWNDNEXT) const;
  CWnd* GetTopWindow() const;
  CWnd* SetFocus();
  static CWnd* PASCAL GetFocus();
  static CWnd* PASCAL GetActiveWindow();
  CWnd* SetActiveWindow();
  BOOL SetForegroundWindow();
  static CWnd* PASCAL GetForegroundWindow();
  static CWnd* PASCAL GetDesktopWindow();
  static CWnd* PASCAL FindWindow(LPCWSTR lpszClassName, LPCWSTR lpszWindowName);
  CWnd* SetCapture();
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
  BOOL KillTimer(UINT_PTR nIDEvent);

  // ---- Dialog items ----

  void SetDlgItemText(int nID, LPCWSTR lpszString);
  int GetDlgItemText(int nID, LPWSTR lpStr, int nMaxCount) const;
  int GetDlgItemText(int nID, CString& rString) const;
  void SetDlgItemInt(int nID, UINT nValue, BOOL bSigned = TRUE);
  UINT GetDlgItemInt(int nID, BOOL* lpTrans = nullptr, BOOL bSigned = TRUE) const;
  void CheckDlgButton(int nIDButton, UINT nCheck);
  UINT IsDlgButtonChecked(int nIDButton) const;
  void CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton);
  // The id of the checked button from nIDFirstButton to nIDLastButton, or 0.
  int GetCheckedRadioButton(int nIDFirstButton, int nIDLastButton) const;
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  CWnd* GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const;
  CWnd* GetNextDlgGroupItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const;

  // ---- Modal loops ----

  // Runs a message loop for this window until EndModalLoop: idle time sends WM_ENTERIDLE to the
  // parent and WM_KICKIDLE to this window; each message goes through the thread's PumpMessage
  // (so PreTranslateMessage sees it). -1 when WM_QUIT arrived (it is posted again).
  int RunModalLoop(DWORD dwFlags = 0);
  BOOL ContinueModal() { return (m_nFlags & WF_CONTINUEMODAL) != 0; }
  void EndModalLoop(int nResult);
  // Offers the message to the PreTranslateMessage of each permanent CWnd from the message's
  // window up to hWndStop; TRUE when one took it.
  static BOOL PASCAL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

  enum : UINT { WF_MODALLOOP = 0x0004, WF_CONTINUEMODAL = 0x0008 };
  UINT m_nFlags = 0;
  int m_nModalResult = 0;

  // Runs DoDataExchange: bSaveAndValidate TRUE reads the controls into members (FALSE when a DDV
  // check failed; the failing control has the focus), FALSE fills the controls.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // ---- Fonts, icons, menus ----

  // Fonts are handles only until fonts exist; the font travels with WM_SETFONT/WM_GETFONT.
  void SetFont(HFONT hFont, BOOL bRedraw = TRUE);
  HFONT GetFontHandle() const;
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  HICON GetIcon(BOOL bBigIcon) const;
  // The window's menu handle (menus come later; this is the handle given at creation).
  HMENU GetMenuHandle() const { return m_hMenuAtCreate; }
  // The window's menu bar (a temporary CMenu, as CMenu::FromHandle gives), null without one;
  // defined with CMenu (platform/afx/menu.cpp).
  CMenu* GetMenu() const;
  BOOL SetMenu(CMenu* pMenu);
  void DrawMenuBar();

  // ---- Handlers: the defaults pass the message on to DefWindowProc ----

  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg BOOL OnNcCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  afx_msg void OnNcDestroy();
  afx_msg void OnClose();
  afx_msg void OnPaint();
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnMove(int x, int y);
  afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
  afx_msg void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct);
  afx_msg void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
  afx_msg void OnRButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnRButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg BOOL OnMouseWheel(UINT nFlags, short zDelta, CPoint pt);
  afx_msg void OnMouseLeave();
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg BOOL OnQueryEndSession();
  afx_msg void OnEndSession(BOOL bEnding);
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
  afx_msg UINT OnPowerBroadcast(UINT nPowerEvent, LPARAM nEventData);
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  afx_msg void OnActivateApp(BOOL bActive, DWORD dwThreadID);
  afx_msg LRESULT OnNcHitTest(CPoint point);
  afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg void OnSettingChange(UINT uFlags, LPCWSTR lpszSection);
  afx_msg void OnSysColorChange();
  afx_msg void OnCaptureChanged(CWnd* pWnd);
  afx_msg void OnContextMenu(CWnd* pWnd, CPoint pos);
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnKeyUp(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg BOOL OnCopyData(CWnd* pWnd, COPYDATASTRUCT* pCopyDataStruct);
  afx_msg void OnEnable(BOOL bEnable);
  afx_msg void OnWindowPosChanging(WINDOWPOS* lpwndpos);
  afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  afx_msg UINT OnGetDlgCode();
  afx_msg void OnParentNotify(UINT message, LPARAM lParam);
  afx_msg int OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message);
  afx_msg BOOL OnNcActivate(BOOL bActive);
  afx_msg void OnChildActivate();
  afx_msg void OnMDIActivate(BOOL bActivate, CWnd* pActivateWnd, CWnd* pDeactivateWnd);
  afx_msg void OnSetFont(HFONT hFont, BOOL bRedraw);

 protected:
  // DoDataExchange of dialogs and form views; the base does nothing.
  virtual void DoDataExchange(CDataExchange* pDX);
  // The address holding the procedure DefWindowProc passes messages to (null: ::DefWindowProcW).
  virtual WNDPROC* GetSuperWndProcAddr() { return &m_pfnSuper; }

  DECLARE_MESSAGE_MAP()

 public:
  WNDPROC m_pfnSuper = nullptr;
  HMENU m_hMenuAtCreate = nullptr;

  // Framework internals used by AfxWndProc and the creation hook.
  LRESULT dispatchFromProc(UINT message, WPARAM wParam, LPARAM lParam);
};

// ---- Window classes ----

// A class name (registered once per distinct set of arguments) for windows with these class
// style, cursor, background and icon, running AfxWndProc: "Afx:<instance>:<style>:...".
LPCWSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr, HBRUSH hbrBackground = nullptr,
                            HICON hIcon = nullptr);
// RegisterClassW through the framework: a class whose procedure is DefWindowProcW gets
// AfxWndProc instead (which passes what no CWnd handles on to DefWindowProcW), so windows of it
// are tied to their CWnd from their first message. TRUE also when the class exists already with
// the same procedure.
BOOL AfxRegisterClass(WNDCLASS* lpWndClass);

// The framework's own window classes (frames, views, MDI children), all running AfxWndProc.
#define AFX_WND_CLASS_NAME u"AfxWnd"
#define AFX_FRAME_CLASS_NAME u"AfxFrameOrView"
#define AFX_MDIFRAME_CLASS_NAME u"AfxMDIFrame"
#define AFX_CONTROLBAR_CLASS_NAME u"AfxControlBar"

// RunModalLoop flags.
#define MLF_NOIDLEMSG 0x0001
#define MLF_NOKICKIDLE 0x0002
#define MLF_SHOWONIDLE 0x0004

namespace platform::afx {

// The handle of a window object, null for a null pointer.
inline HWND hwndOf(const CWnd* pWnd) { return pWnd ? pWnd->GetSafeHwnd() : nullptr; }

// Registers the framework's classes in this process (idempotent).
void registerFrameworkClasses();
// The CWnd the next new dialog window of this thread is tied to (its creation hook); returns the
// previous one.
CWnd* setPendingCreate(CWnd* pWnd);

}  // namespace platform::afx

// ---- Message map entries of window messages ----

namespace platform::afx::thunk {

CDC* dcFromHandle(HDC hDC);
CWnd* wndFromHandle(HWND hWnd);

#define KIPO_AFX_THUNK(name, body)                  \
  template <class Sig, auto F>                                 \
  BOOL name(CCmdTarget* t, MsgCall& c) {            \
    auto* p = self<Sig, F>(t);                           \
    (void)c;                                        \
    body;                                           \
    return TRUE;                                    \
  }

KIPO_AFX_THUNK(onCreate, c.result = (p->*F)(reinterpret_cast<LPCREATESTRUCT>(c.lParam)))
KIPO_AFX_THUNK(onNcCreate, c.result = (p->*F)(reinterpret_cast<LPCREATESTRUCT>(c.lParam)))
KIPO_AFX_THUNK(onVoid, (p->*F)())
KIPO_AFX_THUNK(onSize, (p->*F)(static_cast<UINT>(c.wParam), static_cast<short>(LOWORD(c.lParam)),
                              static_cast<short>(HIWORD(c.lParam))))
KIPO_AFX_THUNK(onMove, (p->*F)(static_cast<short>(LOWORD(c.lParam)), static_cast<short>(HIWORD(c.lParam))))
KIPO_AFX_THUNK(onShowWindow, (p->*F)(static_cast<BOOL>(c.wParam), static_cast<UINT>(c.lParam)))
KIPO_AFX_THUNK(onEraseBkgnd, c.result = (p->*F)(dcFromHandle(reinterpret_cast<HDC>(c.wParam))))
KIPO_AFX_THUNK(onDrawItem, c.result = TRUE;
               (p->*F)(static_cast<int>(c.wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(c.lParam)))
KIPO_AFX_THUNK(onMeasureItem, c.result = TRUE;
               (p->*F)(static_cast<int>(c.wParam), reinterpret_cast<LPMEASUREITEMSTRUCT>(c.lParam)))
KIPO_AFX_THUNK(onMouse, (p->*F)(static_cast<UINT>(c.wParam), CPoint(c.lParam)))
KIPO_AFX_THUNK(onMouseWheel, c.result = (p->*F)(LOWORD(c.wParam), static_cast<short>(HIWORD(c.wParam)),
                                                CPoint(c.lParam)))
KIPO_AFX_THUNK(onSetCursor, c.result = (p->*F)(wndFromHandle(reinterpret_cast<HWND>(c.wParam)),
                                               LOWORD(c.lParam), HIWORD(c.lParam)))
KIPO_AFX_THUNK(onBoolResult, c.result = (p->*F)())
KIPO_AFX_THUNK(onEndSession, (p->*F)(static_cast<BOOL>(c.wParam)))
KIPO_AFX_THUNK(onDeviceChange, c.result = (p->*F)(static_cast<UINT>(c.wParam), static_cast<DWORD_PTR>(c.lParam)))
KIPO_AFX_THUNK(onPowerBroadcast, c.result = (p->*F)(static_cast<UINT>(c.wParam), c.lParam))
KIPO_AFX_THUNK(onSysCommand, (p->*F)(static_cast<UINT>(c.wParam), c.lParam))
KIPO_AFX_THUNK(onActivate, (p->*F)(LOWORD(c.wParam), wndFromHandle(reinterpret_cast<HWND>(c.lParam)),
                                  static_cast<BOOL>(HIWORD(c.wParam))))
KIPO_AFX_THUNK(onActivateApp, (p->*F)(static_cast<BOOL>(c.wParam), static_cast<DWORD>(c.lParam)))
KIPO_AFX_THUNK(onNcHitTest, c.result = (p->*F)(CPoint(c.lParam)))
KIPO_AFX_THUNK(onGetMinMaxInfo, (p->*F)(reinterpret_cast<MINMAXINFO*>(c.lParam)))
KIPO_AFX_THUNK(onTimer, (p->*F)(static_cast<UINT_PTR>(c.wParam)))
KIPO_AFX_THUNK(onFocus, (p->*F)(wndFromHandle(reinterpret_cast<HWND>(c.wParam))))
KIPO_AFX_THUNK(onSettingChange, (p->*F)(static_cast<UINT>(c.wParam), reinterpret_cast<LPCWSTR>(c.lParam)))
KIPO_AFX_THUNK(onCaptureChanged, (p->*F)(wndFromHandle(reinterpret_cast<HWND>(c.lParam))))
KIPO_AFX_THUNK(onContextMenu, (p->*F)(wndFromHandle(reinterpret_cast<HWND>(c.wParam)), CPoint(c.lParam)))
KIPO_AFX_THUNK(onKey, (p->*F)(static_cast<UINT>(c.wParam), LOWORD(c.lParam), HIWORD(c.lParam)))
KIPO_AFX_THUNK(onCopyData, c.result = (p->*F)(wndFromHandle(reinterpret_cast<HWND>(c.wParam)),
                                              reinterpret_cast<COPYDATASTRUCT*>(c.lParam)))
KIPO_AFX_THUNK(onEnable, (p->*F)(static_cast<BOOL>(c.wParam)))
KIPO_AFX_THUNK(onWindowPos, (p->*F)(reinterpret_cast<WINDOWPOS*>(c.lParam)))
KIPO_AFX_THUNK(onUintResult, c.result = (p->*F)())
KIPO_AFX_THUNK(onParentNotify, (p->*F)(static_cast<UINT>(c.wParam), c.lParam))
KIPO_AFX_THUNK(onMouseActivate, c.result = (p->*F)(wndFromHandle(reinterpret_cast<HWND>(c.wParam)),
                                                   LOWORD(c.lParam), HIWORD(c.lParam)))
KIPO_AFX_THUNK(onNcActivate, c.result = (p->*F)(static_cast<BOOL>(c.wParam)))
KIPO_AFX_THUNK(onMDIActivate, {
  HWND active = reinterpret_cast<HWND>(c.lParam);
  HWND me = static_cast<CWnd*>(p)->m_hWnd;
  (p->*F)(active == me, wndFromHandle(active), wndFromHandle(reinterpret_cast<HWND>(c.wParam)));
})
KIPO_AFX_THUNK(onSetFont, (p->*F)(reinterpret_cast<HFONT>(c.wParam), static_cast<BOOL>(LOWORD(c.lParam))))

// WM_CTLCOLORxxx all reach ON_WM_CTLCOLOR, with the kind derived from the message number.
template <class Sig, auto F>
BOOL onCtlColor(CCmdTarget* t, MsgCall& c) {
  UINT kind = c.message == WM_CTLCOLOR ? static_cast<UINT>(HIWORD(c.lParam)) : c.message - WM_CTLCOLORMSGBOX;
  c.result = reinterpret_cast<LRESULT>((self<Sig, F>(t)->*F)(dcFromHandle(reinterpret_cast<HDC>(c.wParam)),
                                                         wndFromHandle(reinterpret_cast<HWND>(c.lParam)), kind));
  return TRUE;
}
template <class Sig, auto F>
BOOL onCtlColorReflect(CCmdTarget* t, MsgCall& c) {
  UINT kind = c.message - WM_REFLECT_BASE - WM_CTLCOLORMSGBOX;
  HBRUSH b = (self<Sig, F>(t)->*F)(dcFromHandle(reinterpret_cast<HDC>(c.wParam)), kind);
  c.result = reinterpret_cast<LRESULT>(b);
  // A null brush lets the parent's answer stand.
  return b != nullptr;
}

#undef KIPO_AFX_THUNK

}  // namespace platform::afx::thunk

#define AFX_WM_ENTRY(msg, sig, thunkName, fn) AFX_ENTRY(msg, 0, 0, 0, sig, thunkName, fn)

#define ON_WM_CREATE() AFX_WM_ENTRY(WM_CREATE, int (ThisClass::*)(LPCREATESTRUCT), onCreate, OnCreate)
#define ON_WM_NCCREATE() AFX_WM_ENTRY(WM_NCCREATE, BOOL (ThisClass::*)(LPCREATESTRUCT), onNcCreate, OnNcCreate)
#define ON_WM_DESTROY() AFX_WM_ENTRY(WM_DESTROY, void (ThisClass::*)(), onVoid, OnDestroy)
#define ON_WM_NCDESTROY() AFX_WM_ENTRY(WM_NCDESTROY, void (ThisClass::*)(), onVoid, OnNcDestroy)
#define ON_WM_CLOSE() AFX_WM_ENTRY(WM_CLOSE, void (ThisClass::*)(), onVoid, OnClose)
#define ON_WM_PAINT() AFX_WM_ENTRY(WM_PAINT, void (ThisClass::*)(), onVoid, OnPaint)
#define ON_WM_SIZE() AFX_WM_ENTRY(WM_SIZE, void (ThisClass::*)(UINT, int, int), onSize, OnSize)
#define ON_WM_MOVE() AFX_WM_ENTRY(WM_MOVE, void (ThisClass::*)(int, int), onMove, OnMove)
#define ON_WM_SHOWWINDOW() AFX_WM_ENTRY(WM_SHOWWINDOW, void (ThisClass::*)(BOOL, UINT), onShowWindow, OnShowWindow)
#define ON_WM_ERASEBKGND() AFX_WM_ENTRY(WM_ERASEBKGND, BOOL (ThisClass::*)(CDC*), onEraseBkgnd, OnEraseBkgnd)
#define ON_WM_CTLCOLOR()                                                                              \
  AFX_WM_ENTRY(WM_CTLCOLOR, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor)          \
  AFX_WM_ENTRY(WM_CTLCOLORMSGBOX, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor)    \
  AFX_WM_ENTRY(WM_CTLCOLOREDIT, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor)      \
  AFX_WM_ENTRY(WM_CTLCOLORLISTBOX, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor)   \
  AFX_WM_ENTRY(WM_CTLCOLORBTN, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor)       \
  AFX_WM_ENTRY(WM_CTLCOLORDLG, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor)       \
  AFX_WM_ENTRY(WM_CTLCOLORSCROLLBAR, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor) \
  AFX_WM_ENTRY(WM_CTLCOLORSTATIC, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT), onCtlColor, OnCtlColor)
// In a control's map: HBRUSH CtlColor(CDC*, UINT nCtlColor), reflected from the parent.
#define ON_WM_CTLCOLOR_REFLECT()                                                                                  \
  AFX_WM_ENTRY(WM_REFLECT_BASE + WM_CTLCOLOREDIT, HBRUSH (ThisClass::*)(CDC*, UINT), onCtlColorReflect, CtlColor)    \
  AFX_WM_ENTRY(WM_REFLECT_BASE + WM_CTLCOLORLISTBOX, HBRUSH (ThisClass::*)(CDC*, UINT), onCtlColorReflect, CtlColor) \
  AFX_WM_ENTRY(WM_REFLECT_BASE + WM_CTLCOLORBTN, HBRUSH (ThisClass::*)(CDC*, UINT), onCtlColorReflect, CtlColor)     \
  AFX_WM_ENTRY(WM_REFLECT_BASE + WM_CTLCOLORSTATIC, HBRUSH (ThisClass::*)(CDC*, UINT), onCtlColorReflect, CtlColor)
#define ON_WM_DRAWITEM() \
  AFX_WM_ENTRY(WM_DRAWITEM, void (ThisClass::*)(int, LPDRAWITEMSTRUCT), onDrawItem, OnDrawItem)
#define ON_WM_MEASUREITEM() \
  AFX_WM_ENTRY(WM_MEASUREITEM, void (ThisClass::*)(int, LPMEASUREITEMSTRUCT), onMeasureItem, OnMeasureItem)
#define ON_WM_LBUTTONDOWN() AFX_WM_ENTRY(WM_LBUTTONDOWN, void (ThisClass::*)(UINT, CPoint), onMouse, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_WM_ENTRY(WM_LBUTTONUP, void (ThisClass::*)(UINT, CPoint), onMouse, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() \
  AFX_WM_ENTRY(WM_LBUTTONDBLCLK, void (ThisClass::*)(UINT, CPoint), onMouse, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() AFX_WM_ENTRY(WM_RBUTTONDOWN, void (ThisClass::*)(UINT, CPoint), onMouse, OnRButtonDown)
#define ON_WM_RBUTTONUP() AFX_WM_ENTRY(WM_RBUTTONUP, void (ThisClass::*)(UINT, CPoint), onMouse, OnRButtonUp)
#define ON_WM_MOUSEMOVE() AFX_WM_ENTRY(WM_MOUSEMOVE, void (ThisClass::*)(UINT, CPoint), onMouse, OnMouseMove)
#define ON_WM_MOUSEWHEEL() \
  AFX_WM_ENTRY(WM_MOUSEWHEEL, BOOL (ThisClass::*)(UINT, short, CPoint), onMouseWheel, OnMouseWheel)
#define ON_WM_MOUSELEAVE() AFX_WM_ENTRY(WM_MOUSELEAVE, void (ThisClass::*)(), onVoid, OnMouseLeave)
#define ON_WM_SETCURSOR() \
  AFX_WM_ENTRY(WM_SETCURSOR, BOOL (ThisClass::*)(CWnd*, UINT, UINT), onSetCursor, OnSetCursor)
#define ON_WM_QUERYENDSESSION() \
  AFX_WM_ENTRY(WM_QUERYENDSESSION, BOOL (ThisClass::*)(), onBoolResult, OnQueryEndSession)
#define ON_WM_ENDSESSION() AFX_WM_ENTRY(WM_ENDSESSION, void (ThisClass::*)(BOOL), onEndSession, OnEndSession)
#define ON_WM_DEVICECHANGE() \
  AFX_WM_ENTRY(WM_DEVICECHANGE, BOOL (ThisClass::*)(UINT, DWORD_PTR), onDeviceChange, OnDeviceChange)
#define ON_WM_POWERBROADCAST() \
  AFX_WM_ENTRY(WM_POWERBROADCAST, UINT (ThisClass::*)(UINT, LPARAM), onPowerBroadcast, OnPowerBroadcast)
#define ON_WM_SYSCOMMAND() AFX_WM_ENTRY(WM_SYSCOMMAND, void (ThisClass::*)(UINT, LPARAM), onSysCommand, OnSysCommand)
#define ON_WM_ACTIVATE() AFX_WM_ENTRY(WM_ACTIVATE, void (ThisClass::*)(UINT, CWnd*, BOOL), onActivate, OnActivate)
#define ON_WM_ACTIVATEAPP() \
  AFX_WM_ENTRY(WM_ACTIVATEAPP, void (ThisClass::*)(BOOL, DWORD), onActivateApp, OnActivateApp)
#define ON_WM_NCHITTEST() AFX_WM_ENTRY(WM_NCHITTEST, LRESULT (ThisClass::*)(CPoint), onNcHitTest, OnNcHitTest)
#define ON_WM_GETMINMAXINFO() \
  AFX_WM_ENTRY(WM_GETMINMAXINFO, void (ThisClass::*)(MINMAXINFO*), onGetMinMaxInfo, OnGetMinMaxInfo)
#define ON_WM_TIMER() AFX_WM_ENTRY(WM_TIMER, void (ThisClass::*)(UINT_PTR), onTimer, OnTimer)
#define ON_WM_SETFOCUS() AFX_WM_ENTRY(WM_SETFOCUS, void (ThisClass::*)(CWnd*), onFocus, OnSetFocus)
#define ON_WM_KILLFOCUS() AFX_WM_ENTRY(WM_KILLFOCUS, void (ThisClass::*)(CWnd*), onFocus, OnKillFocus)
#define ON_WM_SETTINGCHANGE() \
  AFX_WM_ENTRY(WM_SETTINGCHANGE, void (ThisClass::*)(UINT, LPCWSTR), onSettingChange, OnSettingChange)
#define ON_WM_SYSCOLORCHANGE() AFX_WM_ENTRY(WM_SYSCOLORCHANGE, void (ThisClass::*)(), onVoid, OnSysColorChange)
#define ON_WM_CAPTURECHANGED() \
  AFX_WM_ENTRY(WM_CAPTURECHANGED, void (ThisClass::*)(CWnd*), onCaptureChanged, OnCaptureChanged)
#define ON_WM_CONTEXTMENU() \
  AFX_WM_ENTRY(WM_CONTEXTMENU, void (ThisClass::*)(CWnd*, CPoint), onContextMenu, OnContextMenu)
#define ON_WM_KEYDOWN() AFX_WM_ENTRY(WM_KEYDOWN, void (ThisClass::*)(UINT, UINT, UINT), onKey, OnKeyDown)
#define ON_WM_KEYUP() AFX_WM_ENTRY(WM_KEYUP, void (ThisClass::*)(UINT, UINT, UINT), onKey, OnKeyUp)
#define ON_WM_CHAR() AFX_WM_ENTRY(WM_CHAR, void (ThisClass::*)(UINT, UINT, UINT), onKey, OnChar)
#define ON_WM_COPYDATA() \
  AFX_WM_ENTRY(WM_COPYDATA, BOOL (ThisClass::*)(CWnd*, COPYDATASTRUCT*), onCopyData, OnCopyData)
#define ON_WM_ENABLE() AFX_WM_ENTRY(WM_ENABLE, void (ThisClass::*)(BOOL), onEnable, OnEnable)
#define ON_WM_WINDOWPOSCHANGING() \
  AFX_WM_ENTRY(WM_WINDOWPOSCHANGING, void (ThisClass::*)(WINDOWPOS*), onWindowPos, OnWindowPosChanging)
#define ON_WM_WINDOWPOSCHANGED() \
  AFX_WM_ENTRY(WM_WINDOWPOSCHANGED, void (ThisClass::*)(WINDOWPOS*), onWindowPos, OnWindowPosChanged)
#define ON_WM_GETDLGCODE() AFX_WM_ENTRY(WM_GETDLGCODE, UINT (ThisClass::*)(), onUintResult, OnGetDlgCode)
#define ON_WM_PARENTNOTIFY() \
  AFX_WM_ENTRY(WM_PARENTNOTIFY, void (ThisClass::*)(UINT, LPARAM), onParentNotify, OnParentNotify)
#define ON_WM_MOUSEACTIVATE() \
  AFX_WM_ENTRY(WM_MOUSEACTIVATE, int (ThisClass::*)(CWnd*, UINT, UINT), onMouseActivate, OnMouseActivate)
#define ON_WM_NCACTIVATE() AFX_WM_ENTRY(WM_NCACTIVATE, BOOL (ThisClass::*)(BOOL), onNcActivate, OnNcActivate)
#define ON_WM_CHILDACTIVATE() AFX_WM_ENTRY(WM_CHILDACTIVATE, void (ThisClass::*)(), onVoid, OnChildActivate)
#define ON_WM_MDIACTIVATE() \
  AFX_WM_ENTRY(WM_MDIACTIVATE, void (ThisClass::*)(BOOL, CWnd*, CWnd*), onMDIActivate, OnMDIActivate)
#define ON_WM_SETFONT() AFX_WM_ENTRY(WM_SETFONT, void (ThisClass::*)(HFONT, BOOL), onSetFont, OnSetFont)

// Control notifications by kind (WM_COMMAND codes of the button, edit, list box and combo box).
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_BN_DOUBLECLICKED(id, fn) ON_CONTROL(BN_DOUBLECLICKED, id, fn)
#define ON_BN_SETFOCUS(id, fn) ON_CONTROL(BN_SETFOCUS, id, fn)
#define ON_BN_KILLFOCUS(id, fn) ON_CONTROL(BN_KILLFOCUS, id, fn)
#define ON_EN_SETFOCUS(id, fn) ON_CONTROL(0x0100, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(0x0200, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(0x0300, id, fn)
#define ON_EN_UPDATE(id, fn) ON_CONTROL(0x0400, id, fn)
#define ON_EN_ERRSPACE(id, fn) ON_CONTROL(0x0500, id, fn)
#define ON_EN_MAXTEXT(id, fn) ON_CONTROL(0x0501, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(1, id, fn)
#define ON_LBN_DBLCLK(id, fn) ON_CONTROL(2, id, fn)
#define ON_LBN_SELCANCEL(id, fn) ON_CONTROL(3, id, fn)
#define ON_LBN_SETFOCUS(id, fn) ON_CONTROL(4, id, fn)
#define ON_LBN_KILLFOCUS(id, fn) ON_CONTROL(5, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(1, id, fn)
#define ON_CBN_DBLCLK(id, fn) ON_CONTROL(2, id, fn)
#define ON_CBN_SETFOCUS(id, fn) ON_CONTROL(3, id, fn)
#define ON_CBN_KILLFOCUS(id, fn) ON_CONTROL(4, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) ON_CONTROL(5, id, fn)
#define ON_CBN_EDITUPDATE(id, fn) ON_CONTROL(6, id, fn)
#define ON_CBN_DROPDOWN(id, fn) ON_CONTROL(7, id, fn)
#define ON_CBN_CLOSEUP(id, fn) ON_CONTROL(8, id, fn)
#define ON_CBN_SELENDOK(id, fn) ON_CONTROL(9, id, fn)
#define ON_CBN_SELENDCANCEL(id, fn) ON_CONTROL(10, id, fn)
#define ON_STN_CLICKED(id, fn) ON_CONTROL(0, id, fn)
#define ON_STN_DBLCLK(id, fn) ON_CONTROL(1, id, fn)
