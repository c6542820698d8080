// Frame windows: CFrameWnd (the top-level window holding views; LoadFrame from a resource id,
// command routing view -> document -> frame -> application, closing the application when the
// main frame closes), and the multiple-document frames CMDIFrameWnd (with its "MDICLIENT" client
// window) and CMDIChildWnd.
//
// A program renames its main frame's class in PreCreateWindow: register a class with
// AfxRegisterClass (or take the framework's class with GetClassInfoW and rename it) and set
// cs.lpszClass; FindWindowW finds the frame by that name in every process of the host.
#pragma once

#include "platform/afx/doc.h"
#include "platform/afx/view.h"
#include "platform/afx/wnd.h"

// Frame styles in the low word of the window style.
#define FWS_ADDTOTITLE 0x00008000L
#define FWS_PREFIXTITLE 0x00004000L
#define FWS_SNAPTOBARS 0x00002000L

#define MDICLIENT_CLASS_NAME u"MDICLIENT"

class CFrameWnd : public CWnd {
  DECLARE_DYNCREATE(CFrameWnd)

 public:
  CFrameWnd() = default;
  ~CFrameWnd() override;

  static const CRect rectDefault;

  BOOL Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle = WS_OVERLAPPEDWINDOW,
              const RECT& rect = rectDefault, CWnd* pParentWnd = nullptr, LPCWSTR lpszMenuName = nullptr,
              DWORD dwExStyle = 0, CCreateContext* pContext = nullptr);
  // Title from the string resource nIDResource (the part before the first '\n'), icon and menu
  // of that id when the chain has them; the view of pContext is created inside.
  virtual BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                         CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);

  CView* GetActiveView() const { return m_pViewActive; }
  void SetActiveView(CView* pViewNew, BOOL bNotify = TRUE);
  virtual CDocument* GetActiveDocument();
  virtual CFrameWnd* GetActiveFrame() { return this; }
  // Sizes the view pane (AFX_IDW_PANE_FIRST) to the client area.
  virtual void RecalcLayout(BOOL bNotify = TRUE);
  // Shows the frame (nCmdShow -1: SW_SHOWNORMAL when hidden, SW_RESTORE when minimized) and
  // brings it to the top.
  virtual void ActivateFrame(int nCmdShow = -1);
  virtual void InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible);
  virtual void OnUpdateFrameTitle(BOOL bAddToTitle);
  void SetTitle(LPCWSTR lpszTitle) { m_strTitle = lpszTitle; }
  CString GetTitle() const { return m_strTitle; }
  // The window text: "document - title" (FWS_PREFIXTITLE) or "title - document".
  void UpdateFrameTitleForDocument(LPCWSTR lpszDocName);
  CWnd* CreateView(CCreateContext* pContext, UINT nID = AFX_IDW_PANE_FIRST);

  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;
  void PostNcDestroy() override;

  afx_msg int OnCreate(LPCREATESTRUCT lpcs);
  afx_msg void OnClose();
  afx_msg void OnDestroy();
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg BOOL OnQueryEndSession();
  afx_msg void OnEndSession(BOOL bEnding);
  // A popup about to show: its items' update-UI handlers run (CCmdUI), as for a menu bar's.
  afx_msg LRESULT OnInitMenuPopupMessage(WPARAM wParam, LPARAM lParam);

  UINT m_nIDHelp = 0;
  CString m_strTitle;
  CView* m_pViewActive = nullptr;
  BOOL m_bAutoMenuEnable = TRUE;
  HICON m_hIconLoaded = nullptr;

 protected:
  virtual BOOL OnCreateClient(LPCREATESTRUCT lpcs, CCreateContext* pContext);
  friend class CView;
  DECLARE_MESSAGE_MAP()
};

class CMDIChildWnd;

class CMDIFrameWnd : public CFrameWnd {
  DECLARE_DYNCREATE(CMDIFrameWnd)

 public:
  CMDIFrameWnd() = default;

  HWND m_hWndMDIClient = nullptr;

  // The active child frame, or null.
  CMDIChildWnd* MDIGetActive(BOOL* pbMaximized = nullptr) const;
  void MDIActivate(CWnd* pWndActivate);
  void MDINext();
  void MDICascade();
  void MDITile(int nType = 0);

  CFrameWnd* GetActiveFrame() override;
  void RecalcLayout(BOOL bNotify = TRUE) override;
  BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void OnUpdateFrameTitle(BOOL bAddToTitle) override;

  afx_msg void OnWindowNew();
  afx_msg void OnWindowCascade();
  afx_msg void OnWindowTile();

 protected:
  // Creates the MDI client window.
  BOOL OnCreateClient(LPCREATESTRUCT lpcs, CCreateContext* pContext) override;
  DECLARE_MESSAGE_MAP()
};

class CMDIChildWnd : public CFrameWnd {
  DECLARE_DYNCREATE(CMDIChildWnd)

 public:
  CMDIChildWnd() = default;

  // A child of the application's MDI frame's client (pParentWnd: that frame), activated.
  virtual BOOL Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName,
                      DWORD dwStyle = WS_CHILD | WS_VISIBLE | WS_OVERLAPPEDWINDOW, const RECT& rect = rectDefault,
                      CMDIFrameWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
  BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle = WS_CHILD | WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                 CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr) override;
  CMDIFrameWnd* GetMDIFrame() const;
  void MDIActivate();
  void MDIDestroy();
  void ActivateFrame(int nCmdShow = -1) override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void OnUpdateFrameTitle(BOOL bAddToTitle) override;

  afx_msg void OnMDIActivate(BOOL bActivate, CWnd* pActivateWnd, CWnd* pDeactivateWnd);

 protected:
  DECLARE_MESSAGE_MAP()
};

namespace platform::afx {
// Registers the "MDICLIENT" class (idempotent).
void registerMdiClientClass();
}  // namespace platform::afx
