// The multiple-document frames: the "MDICLIENT" window that holds child frames and knows the
// active one, CMDIFrameWnd and CMDIChildWnd.
#include <mutex>

#include "platform/afx/app.h"
#include "platform/afx/frame.h"
#include "platform/win32/error.h"

IMPLEMENT_DYNCREATE(CMDIFrameWnd, CFrameWnd)
IMPLEMENT_DYNCREATE(CMDIChildWnd, CFrameWnd)

namespace {

constexpr int kActiveSlot = 0;  // the client's extra bytes: the active child
constexpr int kCascadeStep = 24;

HWND activeChild(HWND client) { return reinterpret_cast<HWND>(GetWindowLongPtrW(client, kActiveSlot)); }

bool isMdiChild(HWND h) {
  // Its own visibility: the frame holding the client may itself be hidden.
  return IsWindow(h) && (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_MDICHILD) && (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE);
}

void activate(HWND client, HWND child) {
  HWND old = activeChild(client);
  if (old == child) return;
  SetWindowLongPtrW(client, kActiveSlot, reinterpret_cast<LONG_PTR>(child));
  // Each side learns which window loses and which gains the activation.
  if (old && IsWindow(old))
    SendMessageW(old, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(child));
  if (child) {
    BringWindowToTop(child);
    SendMessageW(child, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(child));
  }
}

// The next MDI child after `from` in z-order (wrapping), or null.
HWND nextChild(HWND client, HWND from) {
  HWND first = GetWindow(client, GW_CHILD);
  for (HWND h = from ? GetWindow(from, GW_HWNDNEXT) : first; h; h = GetWindow(h, GW_HWNDNEXT))
    if (h != from && isMdiChild(h)) return h;
  for (HWND h = first; h && h != from; h = GetWindow(h, GW_HWNDNEXT))
    if (isMdiChild(h)) return h;
  return nullptr;
}

LRESULT CALLBACK mdiClientProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_MDIGETACTIVE: {
      HWND active = activeChild(hWnd);
      if (lParam) *reinterpret_cast<BOOL*>(lParam) = active && IsZoomed(active);
      return reinterpret_cast<LRESULT>(active);
    }
    case WM_MDIACTIVATE: {
      HWND child = reinterpret_cast<HWND>(wParam);
      if (child && GetParent(child) == hWnd) activate(hWnd, child);
      return 0;
    }
    case WM_MDINEXT: {
      HWND from = wParam ? reinterpret_cast<HWND>(wParam) : activeChild(hWnd);
      if (HWND next = nextChild(hWnd, from)) activate(hWnd, next);
      return 0;
    }
    case WM_MDIDESTROY:
      DestroyWindow(reinterpret_cast<HWND>(wParam));
      return 0;
    case WM_MDIMAXIMIZE:
      ShowWindow(reinterpret_cast<HWND>(wParam), SW_MAXIMIZE);
      return 0;
    case WM_MDIRESTORE:
      ShowWindow(reinterpret_cast<HWND>(wParam), SW_RESTORE);
      return 0;
    case WM_MDICASCADE:
    case WM_MDITILE: {
      RECT area;
      GetClientRect(hWnd, &area);
      std::vector<HWND> children;
      for (HWND h = GetWindow(hWnd, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        if (isMdiChild(h) && !IsIconic(h)) children.push_back(h);
      const int n = static_cast<int>(children.size());
      for (int i = 0; i < n; ++i) {
        if (msg == WM_MDICASCADE) {
          int x = i * kCascadeStep, y = i * kCascadeStep;
          MoveWindow(children[i], x, y, area.right * 3 / 4, area.bottom * 3 / 4, TRUE);
        } else {
          // Side by side, each as tall as the client.
          int w = area.right / n;
          MoveWindow(children[i], i * w, 0, w, area.bottom, TRUE);
        }
      }
      return n;
    }
    case WM_PARENTNOTIFY:
      // A destroyed active child hands the activation to the next one.
      if (LOWORD(wParam) == WM_DESTROY) {
        HWND gone = reinterpret_cast<HWND>(lParam);
        if (gone == activeChild(hWnd)) {
          SetWindowLongPtrW(hWnd, kActiveSlot, 0);
          if (HWND next = nextChild(hWnd, gone)) activate(hWnd, next);
        }
      }
      return 0;
    default:
      return DefWindowProcW(hWnd, msg, wParam, lParam);
  }
}

}  // namespace

void platform::afx::registerMdiClientClass() {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(nullptr, MDICLIENT_CLASS_NAME, &existing)) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = &mdiClientProc;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.lpszClassName = MDICLIENT_CLASS_NAME;
  RegisterClassW(&wc);
}

// ---- CMDIFrameWnd ----

BEGIN_MESSAGE_MAP(CMDIFrameWnd, CFrameWnd)
  ON_COMMAND(ID_WINDOW_NEW, OnWindowNew)
  ON_COMMAND(ID_WINDOW_CASCADE, OnWindowCascade)
  ON_COMMAND(ID_WINDOW_TILE_HORZ, OnWindowTile)
  ON_COMMAND(ID_WINDOW_TILE_VERT, OnWindowTile)
END_MESSAGE_MAP()

BOOL CMDIFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if (!cs.lpszClass) cs.lpszClass = AFX_MDIFRAME_CLASS_NAME;
  return CFrameWnd::PreCreateWindow(cs);
}

BOOL CMDIFrameWnd::OnCreateClient(LPCREATESTRUCT, CCreateContext*) {
  platform::afx::registerMdiClientClass();
  RECT r;
  ::GetClientRect(m_hWnd, &r);
  m_hWndMDIClient = CreateWindowExW(WS_EX_CLIENTEDGE, MDICLIENT_CLASS_NAME, nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, r.right, r.bottom, m_hWnd,
                                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(AFX_IDW_PANE_FIRST)),
                                    AfxGetInstanceHandle(), nullptr);
  return m_hWndMDIClient != nullptr;
}

void CMDIFrameWnd::RecalcLayout(BOOL) {
  if (!m_hWndMDIClient) return;
  RECT r;
  ::GetClientRect(m_hWnd, &r);
  ::MoveWindow(m_hWndMDIClient, 0, 0, r.right - r.left, r.bottom - r.top, TRUE);
}

CMDIChildWnd* CMDIFrameWnd::MDIGetActive(BOOL* pbMaximized) const {
  if (!m_hWndMDIClient) return nullptr;
  HWND active = reinterpret_cast<HWND>(
      ::SendMessageW(m_hWndMDIClient, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(pbMaximized)));
  CWnd* p = CWnd::FromHandlePermanent(active);
  return p && p->IsKindOf(RUNTIME_CLASS(CMDIChildWnd)) ? static_cast<CMDIChildWnd*>(p) : nullptr;
}

void CMDIFrameWnd::MDIActivate(CWnd* pWndActivate) {
  ::SendMessageW(m_hWndMDIClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(platform::afx::hwndOf(pWndActivate)), 0);
}

void CMDIFrameWnd::MDINext() { ::SendMessageW(m_hWndMDIClient, WM_MDINEXT, 0, 0); }
void CMDIFrameWnd::MDICascade() { ::SendMessageW(m_hWndMDIClient, WM_MDICASCADE, 0, 0); }
void CMDIFrameWnd::MDITile(int nType) { ::SendMessageW(m_hWndMDIClient, WM_MDITILE, static_cast<WPARAM>(nType), 0); }

CFrameWnd* CMDIFrameWnd::GetActiveFrame() {
  CMDIChildWnd* child = MDIGetActive();
  return child ? static_cast<CFrameWnd*>(child) : this;
}

BOOL CMDIFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  // The active child frame (its view, its document) has the first chance.
  if (CMDIChildWnd* child = MDIGetActive())
    if (child->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
  return CFrameWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

void CMDIFrameWnd::OnUpdateFrameTitle(BOOL bAddToTitle) {
  CMDIChildWnd* child = MDIGetActive();
  CDocument* doc = child ? child->GetActiveDocument() : nullptr;
  if (bAddToTitle && (GetStyle() & FWS_ADDTOTITLE) && doc) UpdateFrameTitleForDocument(doc->GetTitle());
  else UpdateFrameTitleForDocument(nullptr);
}

void CMDIFrameWnd::OnWindowNew() {
  CMDIChildWnd* child = MDIGetActive();
  CDocument* doc = child ? child->GetActiveDocument() : nullptr;
  if (!doc || !doc->GetDocTemplate()) return;
  CFrameWnd* frame = doc->GetDocTemplate()->CreateNewFrame(doc, child);
  if (frame) doc->GetDocTemplate()->InitialUpdateFrame(frame, doc);
}

void CMDIFrameWnd::OnWindowCascade() { MDICascade(); }
void CMDIFrameWnd::OnWindowTile() { MDITile(); }

// ---- CMDIChildWnd ----

BEGIN_MESSAGE_MAP(CMDIChildWnd, CFrameWnd)
  ON_WM_MDIACTIVATE()
END_MESSAGE_MAP()

BOOL CMDIChildWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if (!cs.lpszClass) cs.lpszClass = AFX_FRAME_CLASS_NAME;
  cs.style |= WS_CHILD | WS_CLIPSIBLINGS;
  cs.dwExStyle |= WS_EX_MDICHILD;
  return TRUE;
}

BOOL CMDIChildWnd::Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                          CMDIFrameWnd* pParentWnd, CCreateContext* pContext) {
  if (!pParentWnd) {
    CWnd* main = AfxGetMainWnd();
    if (main && main->IsKindOf(RUNTIME_CLASS(CMDIFrameWnd))) pParentWnd = static_cast<CMDIFrameWnd*>(main);
  }
  if (!pParentWnd || !pParentWnd->m_hWndMDIClient) return FALSE;
  m_strTitle = lpszWindowName;
  RECT area;
  ::GetClientRect(pParentWnd->m_hWndMDIClient, &area);
  int x = rect.left, y = rect.top, cx = 0, cy = 0;
  if (rect.left == CW_USEDEFAULT) {
    // New children cascade from the top left of the client.
    int existing = 0;
    for (HWND h = ::GetWindow(pParentWnd->m_hWndMDIClient, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) ++existing;
    x = y = existing * kCascadeStep;
    cx = area.right * 3 / 4;
    cy = area.bottom * 3 / 4;
  } else {
    cx = rect.right - rect.left;
    cy = rect.bottom - rect.top;
  }
  // Shown once the frame is activated (InitialUpdateFrame), as MDI children appear.
  const bool visible = dwStyle & WS_VISIBLE;
  if (!CreateEx(0, lpszClassName, lpszWindowName, (dwStyle & ~static_cast<DWORD>(WS_VISIBLE)) | WS_CHILD, x, y, cx, cy,
                pParentWnd->m_hWndMDIClient, nullptr, pContext))
    return FALSE;
  if (visible) {
    ShowWindow(SW_SHOW);
    MDIActivate();
  }
  return TRUE;
}

BOOL CMDIChildWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd, CCreateContext* pContext) {
  m_nIDHelp = nIDResource;
  CString strings = platform::afx::loadResourceString(nIDResource);
  int newline = strings.Find(u'\n');
  CString title = newline < 0 ? strings : strings.Left(newline);
  CMDIFrameWnd* parent = nullptr;
  if (pParentWnd && pParentWnd->IsKindOf(RUNTIME_CLASS(CMDIFrameWnd))) parent = static_cast<CMDIFrameWnd*>(pParentWnd);
  if (!Create(nullptr, title, dwDefaultStyle, rectDefault, parent, pContext)) return FALSE;
  if (CWinApp* app = AfxGetApp()) {
    if (HICON icon = app->LoadIcon(nIDResource)) SetIcon(icon, FALSE);
  }
  if (!pContext) SendMessageToDescendants(WM_INITIALUPDATE, 0, 0, TRUE);
  return TRUE;
}

CMDIFrameWnd* CMDIChildWnd::GetMDIFrame() const {
  HWND client = ::GetParent(m_hWnd);
  CWnd* frame = CWnd::FromHandlePermanent(::GetParent(client));
  return frame && frame->IsKindOf(RUNTIME_CLASS(CMDIFrameWnd)) ? static_cast<CMDIFrameWnd*>(frame) : nullptr;
}

void CMDIChildWnd::MDIActivate() { ::SendMessageW(::GetParent(m_hWnd), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(m_hWnd), 0); }

void CMDIChildWnd::MDIDestroy() { ::SendMessageW(::GetParent(m_hWnd), WM_MDIDESTROY, reinterpret_cast<WPARAM>(m_hWnd), 0); }

void CMDIChildWnd::ActivateFrame(int nCmdShow) {
  if (nCmdShow == -1 && !IsWindowVisible()) nCmdShow = SW_SHOW;
  if (nCmdShow != -1) ShowWindow(nCmdShow);
  MDIActivate();
}

void CMDIChildWnd::OnUpdateFrameTitle(BOOL bAddToTitle) {
  CDocument* doc = GetActiveDocument();
  if (bAddToTitle && doc) {
    CString current;
    GetWindowText(current);
    if (current != doc->GetTitle()) SetWindowText(doc->GetTitle());
  }
  if (CMDIFrameWnd* frame = GetMDIFrame()) frame->OnUpdateFrameTitle(bAddToTitle);
}

void CMDIChildWnd::OnMDIActivate(BOOL bActivate, CWnd*, CWnd*) {
  if (bActivate) {
    if (CView* view = GetActiveView()) view->OnActivateView(TRUE, view, view);
  }
  if (CMDIFrameWnd* frame = GetMDIFrame()) frame->OnUpdateFrameTitle(TRUE);
}
