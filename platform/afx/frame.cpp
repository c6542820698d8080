// CFrameWnd: creation from a resource id, the view pane and active view, titles, command
// routing, and the application's shutdown when the main frame closes.
#include "platform/afx/frame.h"

#include "platform/afx/app.h"
#include "platform/afx/menu.h"
#include "platform/win32/resource.h"

IMPLEMENT_DYNCREATE(CFrameWnd, CWnd)

const CRect CFrameWnd::rectDefault(CW_USEDEFAULT, CW_USEDEFAULT, 0, 0);

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
  ON_WM_CREATE()
  ON_WM_CLOSE()
  ON_WM_DESTROY()
  ON_WM_SIZE()
  ON_WM_SETFOCUS()
  ON_WM_QUERYENDSESSION()
  ON_WM_ENDSESSION()
  ON_MESSAGE(WM_INITMENUPOPUP, OnInitMenuPopupMessage)
END_MESSAGE_MAP()

CFrameWnd::~CFrameWnd() = default;

BOOL CFrameWnd::Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd, LPCWSTR lpszMenuName, DWORD dwExStyle, CCreateContext* pContext) {
  m_strTitle = lpszWindowName;
  // The menu bar from the resource chain. A frame whose resource id has no menu gets none (the
  // tray-only programs' frames have none).
  HMENU menu = nullptr;
  if (lpszMenuName) menu = ::LoadMenuW(AfxFindResourceHandle(lpszMenuName, RT_MENU), lpszMenuName);
  int cx = rect.right - rect.left, cy = rect.bottom - rect.top;
  if (rect.left == CW_USEDEFAULT) cx = cy = CW_USEDEFAULT;
  if (CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top, cx, cy,
               platform::afx::hwndOf(pParentWnd), menu, pContext))
    return TRUE;
  if (menu) ::DestroyMenu(menu);
  return FALSE;
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd, CCreateContext* pContext) {
  m_nIDHelp = nIDResource;
  CString strings = platform::afx::loadResourceString(nIDResource);
  int newline = strings.Find(u'\n');
  CString title = newline < 0 ? strings : strings.Left(newline);
  if (CWinApp* app = AfxGetApp()) m_hIconLoaded = app->LoadIcon(nIDResource);
  if (!Create(nullptr, title, dwDefaultStyle, rectDefault, pParentWnd, MAKEINTRESOURCEW(nIDResource), 0, pContext))
    return FALSE;
  if (m_hIconLoaded) {
    SetIcon(m_hIconLoaded, TRUE);
    SetIcon(m_hIconLoaded, FALSE);
  }
  // Without a document the views are told here that everything exists.
  if (!pContext) SendMessageToDescendants(WM_INITIALUPDATE, 0, 0, TRUE);
  return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if (!cs.lpszClass) cs.lpszClass = AFX_FRAME_CLASS_NAME;
  if (cs.style & FWS_ADDTOTITLE) cs.style |= FWS_PREFIXTITLE;
  return TRUE;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT lpcs) {
  if (CWnd::OnCreate(lpcs) == -1) return -1;
  auto* context = static_cast<CCreateContext*>(lpcs->lpCreateParams);
  if (!OnCreateClient(lpcs, context)) return -1;
  RecalcLayout();
  return 0;
}

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCT, CCreateContext* pContext) {
  if (pContext && pContext->m_pNewViewClass) return CreateView(pContext, AFX_IDW_PANE_FIRST) != nullptr;
  return TRUE;
}

CWnd* CFrameWnd::CreateView(CCreateContext* pContext, UINT nID) {
  if (!pContext->m_pNewViewClass->IsDerivedFrom(RUNTIME_CLASS(CWnd))) return nullptr;
  auto* view = static_cast<CWnd*>(pContext->m_pNewViewClass->CreateObject());
  if (!view) return nullptr;
  if (!view->Create(nullptr, nullptr, AFX_WS_DEFAULT_VIEW, CRect(0, 0, 0, 0), this, nID, pContext)) {
    // A view whose window never existed was not deleted by PostNcDestroy.
    if (!view->m_hWnd) delete view;
    return nullptr;
  }
  return view;
}

void CFrameWnd::SetActiveView(CView* pViewNew, BOOL bNotify) {
  CView* old = m_pViewActive;
  if (pViewNew == old) return;
  m_pViewActive = nullptr;
  if (old && bNotify) old->OnActivateView(FALSE, pViewNew, old);
  m_pViewActive = pViewNew;
  if (pViewNew && bNotify) pViewNew->OnActivateView(TRUE, pViewNew, old);
}

CDocument* CFrameWnd::GetActiveDocument() {
  CView* view = GetActiveView();
  return view ? view->GetDocument() : nullptr;
}

void CFrameWnd::RecalcLayout(BOOL) {
  HWND pane = ::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST);
  if (!pane) return;
  RECT r;
  ::GetClientRect(m_hWnd, &r);
  ::MoveWindow(pane, 0, 0, r.right - r.left, r.bottom - r.top, TRUE);
}

void CFrameWnd::ActivateFrame(int nCmdShow) {
  if (nCmdShow == -1) {
    if (!IsWindowVisible()) nCmdShow = SW_SHOWNORMAL;
    else if (IsIconic()) nCmdShow = SW_RESTORE;
  }
  BringWindowToTop();
  if (nCmdShow != -1) ShowWindow(nCmdShow);
}

void CFrameWnd::InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible) {
  if (!GetActiveView()) {
    CWnd* pane = GetDlgItem(AFX_IDW_PANE_FIRST);
    if (pane && pane->IsKindOf(RUNTIME_CLASS(CView))) SetActiveView(static_cast<CView*>(pane), FALSE);
  }
  SendMessageToDescendants(WM_INITIALUPDATE, 0, 0, TRUE);
  if (bMakeVisible) {
    // The main window takes the application's show command once.
    int nCmdShow = -1;
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
      nCmdShow = app->m_nCmdShow;
      app->m_nCmdShow = -1;
    }
    ActivateFrame(nCmdShow);
    if (CView* view = GetActiveView()) view->OnActivateView(TRUE, view, view);
  }
  (void)pDoc;
  OnUpdateFrameTitle(TRUE);
}

void CFrameWnd::OnUpdateFrameTitle(BOOL bAddToTitle) {
  CDocument* doc = GetActiveDocument();
  if (bAddToTitle && (GetStyle() & FWS_ADDTOTITLE) && doc) UpdateFrameTitleForDocument(doc->GetTitle());
  else UpdateFrameTitleForDocument(nullptr);
}

void CFrameWnd::UpdateFrameTitleForDocument(LPCWSTR lpszDocName) {
  CString text;
  if (!lpszDocName || !*lpszDocName) {
    text = m_strTitle;
  } else if (GetStyle() & FWS_PREFIXTITLE) {
    text = lpszDocName;
    if (!m_strTitle.IsEmpty()) text += u" - " + m_strTitle;
  } else {
    text = m_strTitle;
    if (!text.IsEmpty()) text += u" - ";
    text += lpszDocName;
  }
  CString current;
  GetWindowText(current);
  if (current != text) SetWindowText(text);
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  // The active view (and through it its document) first, then the frame, then the application.
  if (CView* view = GetActiveView())
    if (view->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
  if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
  CWinApp* app = AfxGetApp();
  return app && app->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

void CFrameWnd::OnClose() {
  CWinApp* app = AfxGetApp();
  CDocument* doc = GetActiveDocument();
  if (doc && !doc->CanCloseFrame(this)) return;
  if (app && app->m_pMainWnd == this) {
    // Closing the main window closes the application: every document, then the window (whose
    // end posts WM_QUIT).
    if (!doc && !app->SaveAllModified()) return;
    app->CloseAllDocuments(FALSE);
    // Closing the documents may have destroyed (and deleted) this frame already.
    if (!app->m_pMainWnd) return;
  }
  DestroyWindow();
}

void CFrameWnd::OnDestroy() {
  m_pViewActive = nullptr;
  // A window's menu bar goes with the window.
  if (HMENU menu = ::GetMenu(m_hWnd)) {
    ::SetMenu(m_hWnd, nullptr);
    ::DestroyMenu(menu);
  }
  CWnd::OnDestroy();
}

LRESULT CFrameWnd::OnInitMenuPopupMessage(WPARAM wParam, LPARAM lParam) {
  // The system menu (HIWORD set) has no commands of the program.
  if (!HIWORD(lParam)) platform::afx::updateMenuItems(this, reinterpret_cast<HMENU>(wParam), m_bAutoMenuEnable);
  return 0;
}

void CFrameWnd::PostNcDestroy() { delete this; }

void CFrameWnd::OnSize(UINT nType, int cx, int cy) {
  CWnd::OnSize(nType, cx, cy);
  if (nType != SIZE_MINIMIZED) RecalcLayout();
}

void CFrameWnd::OnSetFocus(CWnd* pOldWnd) {
  if (CView* view = GetActiveView()) view->SetFocus();
  else CWnd::OnSetFocus(pOldWnd);
}

BOOL CFrameWnd::OnQueryEndSession() {
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this) return app->SaveAllModified();
  return TRUE;
}

void CFrameWnd::OnEndSession(BOOL bEnding) {
  if (!bEnding) return;
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this) {
    app->CloseAllDocuments(TRUE);
    app->ExitInstance();
  }
}
