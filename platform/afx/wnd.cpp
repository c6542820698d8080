// CWnd: the per-thread handle maps, AfxWndProc and the creation hook that ties a CWnd to its
// window before the window's first message, message dispatch through the maps, and the thin
// wrappers over the window calls.
#include "platform/afx/wnd.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/afx/app.h"
#include "platform/afx/ddx.h"
#include "platform/afx/exception.h"
#include "platform/afx/frame.h"
#include "platform/base/text.h"
#include "platform/ui/driver.h"
#include "platform/win32/error.h"

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

namespace {

struct ThreadState {
  std::unordered_map<HWND, CWnd*> permanent;
  std::unordered_map<HWND, std::unique_ptr<CWnd>> temporary;
  // The CWnd whose CreateEx is running, tied to the first new window of a framework class.
  CWnd* pendingCreate = nullptr;
  MSG current{};
};

thread_local ThreadState t_state;

void insertPermanent(HWND hWnd, CWnd* pWnd) {
  t_state.temporary.erase(hWnd);
  t_state.permanent[hWnd] = pWnd;
}

WNDPROC classProc(LPCWSTR className) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(nullptr, className, &wc)) return nullptr;
  return wc.lpfnWndProc;
}

// Ties the pending CWnd of this thread to a new window (the creation hook).
CWnd* attachPending(HWND hWnd, bool subclass) {
  CWnd* pWnd = t_state.pendingCreate;
  if (!pWnd) return nullptr;
  t_state.pendingCreate = nullptr;
  pWnd->m_hWnd = hWnd;
  insertPermanent(hWnd, pWnd);
  if (subclass) {
    auto old = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
    if (old != AfxWndProc) {
      pWnd->m_pfnSuper = old;
      SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc));
    }
  }
  pWnd->PreSubclassWindow();
  return pWnd;
}

void dialogCreating(HWND hDlg) { attachPending(hDlg, true); }

// The process-wide registration of the creation hook with the dialog manager.
const bool g_dialogHookInstalled = [] {
  platform::dialog::setCreationHook(&dialogCreating);
  return true;
}();

// A message reaching the loop's caller as an exception: the thread decides what the message
// answers (the class library's rule: -1 for WM_CREATE, the report shown for others).
LRESULT handleException(CException* e, const MSG& msg) {
  LRESULT r = 0;
  if (CWinThread* thread = AfxGetThread()) r = thread->ProcessWndProcException(e, &msg);
  else e->ReportError();
  e->Delete();
  return r;
}

}  // namespace

// ---- The handle map ----

CWnd* PASCAL CWnd::FromHandlePermanent(HWND hWnd) {
  if (!hWnd) return nullptr;
  auto it = t_state.permanent.find(hWnd);
  return it == t_state.permanent.end() ? nullptr : it->second;
}

CWnd* PASCAL CWnd::FromHandle(HWND hWnd) {
  if (!hWnd) return nullptr;
  if (CWnd* p = FromHandlePermanent(hWnd)) return p;
  auto& slot = t_state.temporary[hWnd];
  if (!slot) {
    slot = std::make_unique<CWnd>();
    slot->m_hWnd = hWnd;
  }
  return slot.get();
}

void PASCAL CWnd::DeleteTempMap() {
  // A temporary object must not destroy the window it stood for.
  for (auto& [h, p] : t_state.temporary) p->m_hWnd = nullptr;
  t_state.temporary.clear();
  CDC::DeleteTempMap();
}

CWnd::~CWnd() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
    HWND h = m_hWnd;
    ::DestroyWindow(h);
    // DestroyWindow detaches through WM_NCDESTROY; a window of another thread stays mapped no more.
    if (m_hWnd) t_state.permanent.erase(h);
  }
}

BOOL CWnd::Attach(HWND hWndNew) {
  if (m_hWnd || !hWndNew || FromHandlePermanent(hWndNew)) return FALSE;
  m_hWnd = hWndNew;
  insertPermanent(hWndNew, this);
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h) {
    auto it = t_state.permanent.find(h);
    if (it != t_state.permanent.end() && it->second == this) t_state.permanent.erase(it);
  }
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!IsWindow(hWnd) || !Attach(hWnd)) return FALSE;
  PreSubclassWindow();
  auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
  if (!old) {
    Detach();
    return FALSE;
  }
  if (old != AfxWndProc) m_pfnSuper = old;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  if (!pParent) return FALSE;
  HWND h = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
  return h ? SubclassWindow(h) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (!m_hWnd) return nullptr;
  WNDPROC original = m_pfnSuper ? m_pfnSuper : &DefWindowProcW;
  SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  m_pfnSuper = nullptr;
  return Detach();
}

// ---- Creation ----

BOOL CWnd::Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, CCreateContext* pContext) {
  return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect, pParentWnd, nID, pContext);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                    const RECT& rect, CWnd* pParentWnd, UINT nID, LPVOID lpParam) {
  return CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, platform::afx::hwndOf(pParentWnd),
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), lpParam);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam) {
  if (m_hWnd) return FALSE;
  platform::afx::registerFrameworkClasses();
  CREATESTRUCT cs{};
  cs.dwExStyle = dwExStyle;
  cs.lpszClass = lpszClassName;
  cs.lpszName = lpszWindowName;
  cs.style = static_cast<LONG>(dwStyle);
  cs.x = x;
  cs.y = y;
  cs.cx = nWidth;
  cs.cy = nHeight;
  cs.hwndParent = hWndParent;
  cs.hMenu = nIDorHMenu;
  cs.hInstance = AfxGetInstanceHandle();
  cs.lpCreateParams = lpParam;
  if (!PreCreateWindow(cs)) {
    PostNcDestroy();
    return FALSE;
  }
  if (!(cs.style & WS_CHILD)) m_hMenuAtCreate = cs.hMenu;
  // Windows of the framework's procedure are tied at their first message; others right after.
  const bool hooked = classProc(cs.lpszClass) == &AfxWndProc;
  CWnd* const outer = t_state.pendingCreate;
  if (hooked) t_state.pendingCreate = this;
  HWND h = CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x, cs.y, cs.cx,
                           cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  if (t_state.pendingCreate == this) t_state.pendingCreate = outer;
  if (!h) {
    // A window destroyed during creation (WM_CREATE answered -1) went through WM_NCDESTROY.
    if (m_hWnd) Detach();
    return FALSE;
  }
  if (!hooked && !m_hWnd) SubclassWindow(h);
  return m_hWnd == h;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT& cs) {
  // A window without a class gets the framework's plain class.
  if (!cs.lpszClass) cs.lpszClass = AFX_WND_CLASS_NAME;
  return TRUE;
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  if (FromHandlePermanent(m_hWnd) != this) {
    // A temporary or attached-elsewhere object: destroy the window and forget the handle.
    HWND h = m_hWnd;
    m_hWnd = nullptr;
    return ::DestroyWindow(h);
  }
  return ::DestroyWindow(m_hWnd);
}

void CWnd::PostNcDestroy() {}
void CWnd::PreSubclassWindow() {}

// ---- Message dispatch ----

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
  if (!pWnd) pWnd = attachPending(hWnd, false);
  if (!pWnd) {
    // A framework-class window created without a CWnd (CreateWindowExW directly): a temporary
    // object answers with the defaults.
    return DefWindowProcW(hWnd, nMsg, wParam, lParam);
  }
  return pWnd->dispatchFromProc(nMsg, wParam, lParam);
}

LRESULT CWnd::dispatchFromProc(UINT message, WPARAM wParam, LPARAM lParam) {
  MSG saved = t_state.current;
  t_state.current = MSG{m_hWnd, message, wParam, lParam, 0, {0, 0}};
  HWND hWnd = m_hWnd;
  LRESULT result = 0;
  try {
    if (message == WM_NCDESTROY) {
      // The last message: the default runs with the object still tied, then the object lets go.
      result = WindowProc(message, wParam, lParam);
      platform::afx::destroyControlSites(hWnd);
      WNDPROC super = m_pfnSuper;
      if (FromHandlePermanent(hWnd) == this) {
        Detach();
        if (super) SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        m_pfnSuper = nullptr;
        // The main window's end ends its thread's message loop.
        if (CWinThread* thread = AfxGetThread()) {
          if (thread->m_pMainWnd == this) {
            AfxPostQuitMessage(0);
            thread->m_pMainWnd = nullptr;
          }
          if (thread->m_pActiveWnd == this) thread->m_pActiveWnd = nullptr;
        }
        t_state.current = saved;
        PostNcDestroy();
        return result;
      }
    } else {
      result = WindowProc(message, wParam, lParam);
    }
  } catch (CException* e) {
    result = handleException(e, t_state.current);
  }
  t_state.current = saved;
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  const MSG& m = t_state.current;
  return DefWindowProc(m.message, m.wParam, m.lParam);
}

const MSG* PASCAL CWnd::GetCurrentMessage() { return &t_state.current; }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT local = 0;
  if (!pResult) pResult = &local;
  if (message == WM_COMMAND) {
    if (OnCommand(wParam, lParam)) {
      *pResult = 1;
      return TRUE;
    }
    return FALSE;
  }
  if (message == WM_NOTIFY) {
    auto* nmhdr = reinterpret_cast<NMHDR*>(lParam);
    if (nmhdr && nmhdr->hwndFrom && OnNotify(wParam, lParam, pResult)) return TRUE;
    return FALSE;
  }
  // Messages a parent gets about a child control are first offered to the child's object.
  switch (message) {
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
      if (dis && dis->CtlType != ODT_MENU && ReflectLastMsg(dis->hwndItem, pResult)) return TRUE;
      break;
    }
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
      if (mis && mis->CtlType != ODT_MENU) {
        HWND item = ::GetDlgItem(m_hWnd, static_cast<int>(mis->CtlID));
        if (item && ReflectLastMsg(item, pResult)) return TRUE;
      }
      break;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      HWND child = reinterpret_cast<HWND>(lParam);
      if (child != m_hWnd && ReflectLastMsg(child, pResult)) return TRUE;
      break;
    }
    default:
      break;
  }
  const AFX_MSGMAP_ENTRY* entry = platform::afx::findMessageEntry(GetMessageMap(), message, 0, 0);
  if (!entry) return FALSE;
  platform::afx::MsgCall call{message, wParam, lParam, 0, 0, 0, nullptr};
  BOOL handled = DispatchEntry(entry, call);
  if (handled) *pResult = call.result;
  return handled;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT nID = LOWORD(wParam);
  HWND hWndCtrl = reinterpret_cast<HWND>(lParam);
  int nCode = HIWORD(wParam);
  if (!hWndCtrl) {
    // Menu items and accelerators: a command whose update-UI handler disabled it is dropped.
    nCode = CN_COMMAND;
    platform::afx::ProbeCmdUI probe;
    probe.m_nID = nID;
    OnCmdMsg(nID, CN_UPDATE_COMMAND_UI, &probe, nullptr);
    if (!probe.m_bEnabled) return TRUE;
  } else {
    if (ReflectLastMsg(hWndCtrl)) return TRUE;
    // A message from a window that is no child of ours is not a control notification.
    if (::GetParent(hWndCtrl) != m_hWnd && !::IsChild(m_hWnd, hWndCtrl)) return FALSE;
  }
  return OnCmdMsg(nID, nCode, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult) {
  auto* nmhdr = reinterpret_cast<NMHDR*>(lParam);
  if (ReflectLastMsg(nmhdr->hwndFrom, pResult)) return TRUE;
  AFX_NOTIFY notify{pResult, nmhdr};
  return OnCmdMsg(static_cast<UINT>(nmhdr->idFrom), MAKELONG(nmhdr->code, WM_NOTIFY), &notify, nullptr);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  const AFX_MSGMAP* map = GetMessageMap();
  switch (message) {
    case WM_COMMAND: {
      int nCode = HIWORD(wParam);
      const AFX_MSGMAP_ENTRY* e =
          platform::afx::findMessageEntry(map, WM_REFLECT_BASE + WM_COMMAND, static_cast<UINT>(nCode), 0);
      if (!e) return FALSE;
      platform::afx::MsgCall call{message, wParam, lParam, 0, 0, nCode, nullptr};
      BOOL handled = DispatchEntry(e, call);
      if (handled && pResult) *pResult = 1;
      return handled;
    }
    case WM_NOTIFY: {
      auto* nmhdr = reinterpret_cast<NMHDR*>(lParam);
      const AFX_MSGMAP_ENTRY* e =
          platform::afx::findMessageEntry(map, WM_REFLECT_BASE + WM_NOTIFY, static_cast<WORD>(nmhdr->code), 0);
      if (!e) return FALSE;
      LRESULT local = 0;
      AFX_NOTIFY notify{pResult ? pResult : &local, nmhdr};
      platform::afx::MsgCall call{message, wParam, lParam, 0, 0, static_cast<int>(nmhdr->code), &notify};
      return DispatchEntry(e, call);
    }
    default: {
      const AFX_MSGMAP_ENTRY* e = platform::afx::findMessageEntry(map, WM_REFLECT_BASE + message, 0, 0);
      if (!e) return FALSE;
      platform::afx::MsgCall call{WM_REFLECT_BASE + message, wParam, lParam, 0, 0, 0, nullptr};
      BOOL handled = DispatchEntry(e, call);
      if (handled && pResult) *pResult = call.result;
      return handled;
    }
  }
}

BOOL PASCAL CWnd::ReflectLastMsg(HWND hWndChild, LRESULT* pResult) {
  CWnd* child = FromHandlePermanent(hWndChild);
  if (!child) return FALSE;
  const MSG& m = t_state.current;
  return child->OnChildNotify(m.message, m.wParam, m.lParam, pResult);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageW(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageW(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::SendNotifyMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendNotifyMessageW(m_hWnd, message, wParam, lParam);
}

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL bDeep) const {
  for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    ::SendMessageW(child, message, wParam, lParam);
    if (bDeep && ::GetWindow(child, GW_CHILD)) {
      CWnd tmp;
      tmp.m_hWnd = child;
      tmp.SendMessageToDescendants(message, wParam, lParam, TRUE);
      tmp.m_hWnd = nullptr;
    }
  }
}

// ---- Thin wrappers ----

void CWnd::SetWindowText(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
int CWnd::GetWindowText(LPWSTR lpszStringBuf, int nMaxCount) const {
  return ::GetWindowTextW(m_hWnd, lpszStringBuf, nMaxCount);
}
void CWnd::GetWindowText(CString& rString) const {
  int n = ::GetWindowTextLengthW(m_hWnd);
  std::u16string buffer(static_cast<std::size_t>(n) + 1, u'\0');
  int got = ::GetWindowTextW(m_hWnd, buffer.data(), n + 1);
  buffer.resize(static_cast<std::size_t>(std::max(got, 0)));
  rString = CString(std::move(buffer));
}
int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
BOOL CWnd::IsZoomed() const { return ::IsZoomed(m_hWnd); }
BOOL CWnd::IsChild(const CWnd* pWnd) const { return ::IsChild(m_hWnd, platform::afx::hwndOf(pWnd)); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }

namespace {
BOOL modifyStyle(HWND hWnd, int index, DWORD remove, DWORD add, UINT flags) {
  DWORD style = static_cast<DWORD>(::GetWindowLongW(hWnd, index));
  DWORD updated = (style & ~remove) | add;
  if (style == updated) return FALSE;
  ::SetWindowLongW(hWnd, index, static_cast<LONG>(updated));
  if (flags) ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
  return TRUE;
}
}  // namespace

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return modifyStyle(m_hWnd, GWL_STYLE, dwRemove, dwAdd, nFlags);
}
BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return modifyStyle(m_hWnd, GWL_EXSTYLE, dwRemove, dwAdd, nFlags);
}
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
int CWnd::SetDlgCtrlID(int nID) { return static_cast<int>(::SetWindowLongPtrW(m_hWnd, GWLP_ID, nID)); }

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
}
void CWnd::MoveWindow(LPCRECT r, BOOL bRepaint) {
  ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top, bRepaint);
}
BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  // The special insert-after values (wndTop, wndTopMost, ...) are handle values, not objects.
  HWND after = reinterpret_cast<HWND>(const_cast<CWnd*>(pWndInsertAfter));
  auto value = reinterpret_cast<LONG_PTR>(pWndInsertAfter);
  if (!(value >= -2 && value <= 1)) after = pWndInsertAfter->m_hWnd;
  return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, nFlags);
}
void CWnd::GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
void CWnd::ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
void CWnd::ClientToScreen(LPRECT r) const {
  ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<LPPOINT>(r), 2);
}
void CWnd::ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
void CWnd::ScreenToClient(LPRECT r) const {
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(r), 2);
}

void CWnd::CenterWindow(CWnd* pAlternateOwner) {
  HWND center = pAlternateOwner ? pAlternateOwner->m_hWnd : nullptr;
  DWORD style = GetStyle();
  if (!center) center = (style & WS_CHILD) ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);
  RECT area;
  if (style & WS_CHILD) {
    // Within the parent's client area.
    HWND parent = ::GetParent(m_hWnd);
    ::GetClientRect(parent, &area);
    if (center && center != parent) {
      RECT c;
      ::GetWindowRect(center, &c);
      ::MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&c), 2);
      area = c;
    }
  } else if (center && ::IsWindowVisible(center) && !::IsIconic(center)) {
    ::GetWindowRect(center, &area);
  } else {
    ::GetWindowRect(::GetDesktopWindow(), &area);
  }
  RECT me;
  ::GetWindowRect(m_hWnd, &me);
  int w = me.right - me.left, h = me.bottom - me.top;
  int x = (area.left + area.right) / 2 - w / 2;
  int y = (area.top + area.bottom) / 2 - h / 2;
  if (!(style & WS_CHILD)) {
    // Kept on the screen.
    RECT screen;
    ::GetWindowRect(::GetDesktopWindow(), &screen);
    x = std::max<int>(screen.left, std::min<int>(x, screen.right - w));
    y = std::max<int>(screen.top, std::min<int>(y, screen.bottom - h));
  }
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::BringWindowToTop() { ::BringWindowToTop(m_hWnd); }
void CWnd::Invalidate(BOOL bErase) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
void CWnd::ValidateRect(LPCRECT lpRect) { ::ValidateRect(m_hWnd, lpRect); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
BOOL CWnd::RedrawWindow(LPCRECT lpRectUpdate, HRGN hrgnUpdate, UINT flags) {
  return ::RedrawWindow(m_hWnd, lpRectUpdate, hrgnUpdate, flags);
}

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::GetOwner() const { return FromHandle(::GetWindow(m_hWnd, GW_OWNER)); }
void CWnd::SetOwner(CWnd* pOwnerWnd) {
  ::SetWindowLongPtrW(m_hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(platform::afx::hwndOf(pOwnerWnd)));
}
CWnd* CWnd::SetParent(CWnd* pWndNewParent) { return FromHandle(::SetParent(m_hWnd, platform::afx::hwndOf(pWndNewParent))); }
CWnd* CWnd::GetTopLevelParent() const {
  HWND h = m_hWnd;
  while (h && (::GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) h = ::GetParent(h);
  return FromHandle(h);
}

CFrameWnd* CWnd::GetParentFrame() const {
  for (HWND h = ::GetParent(m_hWnd); h; h = ::GetParent(h)) {
    CWnd* p = FromHandlePermanent(h);
    if (p && p->IsKindOf(RUNTIME_CLASS(CFrameWnd))) return static_cast<CFrameWnd*>(p);
  }
  return nullptr;
}

CFrameWnd* CWnd::GetTopLevelFrame() const {
  CFrameWnd* frame = nullptr;
  CWnd* p = FromHandlePermanent(m_hWnd);
  if (p && p->IsKindOf(RUNTIME_CLASS(CFrameWnd))) frame = static_cast<CFrameWnd*>(p);
  else frame = GetParentFrame();
  while (frame) {
    CFrameWnd* up = frame->GetParentFrame();
    if (!up) break;
    frame = up;
  }
  return frame;
}

CWnd* CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
void CWnd::GetDlgItem(int nID, HWND* phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }
CWnd* CWnd::GetWindow(UINT nCmd) const { return FromHandle(::GetWindow(m_hWnd, nCmd)); }
CWnd* CWnd::GetNextWindow(UINT nFlag) const { return FromHandle(::GetWindow(m_hWnd, nFlag)); }
CWnd* CWnd::GetTopWindow() const { return FromHandle(::GetTopWindow(m_hWnd)); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* PASCAL CWnd::GetFocus() { return FromHandle(::GetFocus()); }
CWnd* PASCAL CWnd::GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
CWnd* CWnd::SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }
BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
CWnd* PASCAL CWnd::GetForegroundWindow() { return FromHandle(::GetForegroundWindow()); }
CWnd* PASCAL CWnd::GetDesktopWindow() { return FromHandle(::GetDesktopWindow()); }
CWnd* PASCAL CWnd::FindWindow(LPCWSTR lpszClassName, LPCWSTR lpszWindowName) {
  return FromHandle(::FindWindowW(lpszClassName, lpszWindowName));
}
CWnd* CWnd::SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}
BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

void CWnd::SetDlgItemText(int nID, LPCWSTR lpszString) { ::SetDlgItemTextW(m_hWnd, nID, lpszString); }
int CWnd::GetDlgItemText(int nID, LPWSTR lpStr, int nMaxCount) const {
  return static_cast<int>(::GetDlgItemTextW(m_hWnd, nID, lpStr, nMaxCount));
}
int CWnd::GetDlgItemText(int nID, CString& rString) const {
  rString.Empty();
  HWND item = ::GetDlgItem(m_hWnd, nID);
  if (!item) return 0;
  CWnd tmp;
  tmp.m_hWnd = item;
  tmp.GetWindowText(rString);
  tmp.m_hWnd = nullptr;
  return rString.GetLength();
}
void CWnd::SetDlgItemInt(int nID, UINT nValue, BOOL bSigned) { ::SetDlgItemInt(m_hWnd, nID, nValue, bSigned); }
UINT CWnd::GetDlgItemInt(int nID, BOOL* lpTrans, BOOL bSigned) const {
  return ::GetDlgItemInt(m_hWnd, nID, lpTrans, bSigned);
}
void CWnd::CheckDlgButton(int nIDButton, UINT nCheck) { ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }
UINT CWnd::IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }
void CWnd::CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  ::CheckRadioButton(m_hWnd, nIDFirstButton, nIDLastButton, nIDCheckButton);
}
int CWnd::GetCheckedRadioButton(int nIDFirstButton, int nIDLastButton) const {
  for (int id = nIDFirstButton; id <= nIDLastButton; ++id)
    if (::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED) return id;
  return 0;
}
LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendDlgItemMessageW(m_hWnd, nID, message, wParam, lParam);
}
CWnd* CWnd::GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious) const {
  return FromHandle(::GetNextDlgTabItem(m_hWnd, platform::afx::hwndOf(pWndCtl), bPrevious));
}
CWnd* CWnd::GetNextDlgGroupItem(CWnd* pWndCtl, BOOL bPrevious) const {
  return FromHandle(::GetNextDlgGroupItem(m_hWnd, platform::afx::hwndOf(pWndCtl), bPrevious));
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (CUserException* e) {
    // A DDV check failed: the user was told and the control has the focus.
    e->Delete();
    return FALSE;
  }
  return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::SetFont(HFONT hFont, BOOL bRedraw) {
  ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), bRedraw);
}
HFONT CWnd::GetFontHandle() const { return reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)); }
HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                                reinterpret_cast<LPARAM>(hIcon)));
}
HICON CWnd::GetIcon(BOOL bBigIcon) const {
  return reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_GETICON, bBigIcon ? ICON_BIG : ICON_SMALL, 0));
}

// ---- Default handlers ----

int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
BOOL CWnd::OnNcCreate(LPCREATESTRUCT) { return static_cast<BOOL>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnNcDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }
void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT) { Default(); }
void CWnd::OnMeasureItem(int, LPMEASUREITEMSTRUCT) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) { return static_cast<BOOL>(Default()); }
void CWnd::OnMouseLeave() { Default(); }
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
BOOL CWnd::OnQueryEndSession() { return static_cast<BOOL>(Default()); }
void CWnd::OnEndSession(BOOL) { Default(); }
BOOL CWnd::OnDeviceChange(UINT, DWORD_PTR) { return static_cast<BOOL>(Default()); }
UINT CWnd::OnPowerBroadcast(UINT, LPARAM) { return static_cast<UINT>(Default()); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
void CWnd::OnActivateApp(BOOL, DWORD) { Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
void CWnd::OnSettingChange(UINT, LPCWSTR) { Default(); }
void CWnd::OnSysColorChange() { Default(); }
void CWnd::OnCaptureChanged(CWnd*) { Default(); }
void CWnd::OnContextMenu(CWnd*, CPoint) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
BOOL CWnd::OnCopyData(CWnd*, COPYDATASTRUCT*) { return static_cast<BOOL>(Default()); }
void CWnd::OnEnable(BOOL) { Default(); }
void CWnd::OnWindowPosChanging(WINDOWPOS*) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }
UINT CWnd::OnGetDlgCode() { return static_cast<UINT>(Default()); }
void CWnd::OnParentNotify(UINT, LPARAM) { Default(); }
int CWnd::OnMouseActivate(CWnd*, UINT, UINT) { return static_cast<int>(Default()); }
BOOL CWnd::OnNcActivate(BOOL) { return static_cast<BOOL>(Default()); }
void CWnd::OnChildActivate() { Default(); }
void CWnd::OnMDIActivate(BOOL, CWnd*, CWnd*) { Default(); }
void CWnd::OnSetFont(HFONT, BOOL) { Default(); }

// CWnd's own map is empty: every handler above is reached only through a derived class's entry.
const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }
const AFX_MSGMAP* PASCAL CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
  static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
  return &map;
}

// ---- Modal loops ----

CWnd* platform::afx::setPendingCreate(CWnd* pWnd) {
  CWnd* old = t_state.pendingCreate;
  t_state.pendingCreate = pWnd;
  return old;
}

BOOL PASCAL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
  for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
    CWnd* p = FromHandlePermanent(h);
    if (p && p->PreTranslateMessage(pMsg)) return TRUE;
    if (h == hWndStop) break;
  }
  return FALSE;
}

int CWnd::RunModalLoop(DWORD dwFlags) {
  constexpr WPARAM kMsgfDialogBox = 0;
  bool idle = true;
  LONG idleCount = 0;
  bool showIdle = (dwFlags & MLF_SHOWONIDLE) && !(GetStyle() & WS_VISIBLE);
  HWND parent = ::GetParent(m_hWnd);
  m_nFlags |= WF_MODALLOOP | WF_CONTINUEMODAL;
  MSG msg;
  for (;;) {
    while (idle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (showIdle) {
        ShowWindow(SW_SHOWNORMAL);
        showIdle = false;
      }
      if (!(dwFlags & MLF_NOIDLEMSG) && parent && idleCount == 0)
        ::SendMessageW(parent, WM_ENTERIDLE, kMsgfDialogBox, reinterpret_cast<LPARAM>(m_hWnd));
      if (!ContinueModal()) break;
      // A test's UI driver acts once per idle stretch, as a user would on a waiting dialog.
      if (idleCount == 0) {
        platform::ui::modalIdle(m_hWnd);
        if (!ContinueModal()) break;
      }
      if ((dwFlags & MLF_NOKICKIDLE) || !SendMessage(0x036A /* WM_KICKIDLE */, kMsgfDialogBox, idleCount++))
        idle = false;
    }
    do {
      if (!ContinueModal()) goto done;
      if (!AfxPumpMessage()) {
        AfxPostQuitMessage(0);
        m_nFlags &= ~static_cast<UINT>(WF_MODALLOOP | WF_CONTINUEMODAL);
        return -1;
      }
      if (!ContinueModal()) goto done;
      // The message just pumped (msg may be stale when the idle loop ended without a peek).
      msg = platform::afx::lastPumpedMessage();
      if (msg.message != WM_PAINT && msg.message != WM_TIMER) {
        idle = true;
        idleCount = 0;
      }
    } while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  }
done:
  m_nFlags &= ~static_cast<UINT>(WF_MODALLOOP | WF_CONTINUEMODAL);
  return m_nModalResult;
}

void CWnd::EndModalLoop(int nResult) {
  m_nModalResult = nResult;
  if (m_nFlags & WF_CONTINUEMODAL) {
    m_nFlags &= ~static_cast<UINT>(WF_CONTINUEMODAL);
    // Wakes the loop if it waits for a message.
    PostMessage(WM_NULL);
  }
}

// ---- Window classes ----

namespace {

std::mutex g_classMutex;

bool registerIfMissing(LPCWSTR name, UINT style, HCURSOR cursor, HBRUSH background, HICON icon) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(nullptr, name, &existing)) return true;
  WNDCLASSW wc{};
  wc.style = style;
  wc.lpfnWndProc = &AfxWndProc;
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.hIcon = icon;
  wc.lpszClassName = name;
  return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

void platform::afx::registerFrameworkClasses() {
  std::lock_guard lock(g_classMutex);
  registerIfMissing(AFX_WND_CLASS_NAME, CS_DBLCLKS, nullptr, nullptr, nullptr);
  registerIfMissing(AFX_FRAME_CLASS_NAME, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, nullptr, nullptr, nullptr);
  registerIfMissing(AFX_MDIFRAME_CLASS_NAME, CS_DBLCLKS, nullptr, nullptr, nullptr);
  registerIfMissing(AFX_CONTROLBAR_CLASS_NAME, CS_DBLCLKS, nullptr, nullptr, nullptr);
}

LPCWSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon) {
  // Names are kept for the process's lifetime; callers hold on to the pointer.
  static std::mutex mutex;
  static std::vector<std::unique_ptr<std::u16string>> names;
  auto hex = [](const void* p) { return platform::text::fromUtf8(std::to_string(reinterpret_cast<std::uintptr_t>(p))); };
  std::u16string name = u"Afx:" + hex(AfxGetInstanceHandle()) + u":" +
                        platform::text::fromUtf8(std::to_string(nClassStyle)) + u":" + hex(hCursor) + u":" +
                        hex(hbrBackground) + u":" + hex(hIcon);
  std::lock_guard lock(mutex);
  for (auto& n : names)
    if (*n == name) return n->c_str();
  if (!registerIfMissing(name.c_str(), nClassStyle, hCursor, hbrBackground, hIcon)) return nullptr;
  names.push_back(std::make_unique<std::u16string>(std::move(name)));
  return names.back()->c_str();
}

BOOL AfxRegisterClass(WNDCLASS* lpWndClass) {
  if (!lpWndClass) return FALSE;
  WNDCLASSW wc = *lpWndClass;
  if (wc.lpfnWndProc == &DefWindowProcW) wc.lpfnWndProc = &AfxWndProc;
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(nullptr, wc.lpszClassName, &existing)) return existing.lpfnWndProc == wc.lpfnWndProc;
  return RegisterClassW(&wc) != 0;
}

// ---- Handle conversions of the map thunks ----

CDC* platform::afx::thunk::dcFromHandle(HDC hDC) { return CDC::FromHandle(hDC); }
CWnd* platform::afx::thunk::wndFromHandle(HWND hWnd) { return CWnd::FromHandle(hWnd); }
