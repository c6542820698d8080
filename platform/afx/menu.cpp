// CMenu over the menu facility, the window menu-bar members of CWnd, and the update-UI pass a
// frame runs when a popup is about to show.
#include "platform/afx/menu.h"

#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/afx/app.h"
#include "platform/afx/wnd.h"
#include "platform/win32/resource.h"
#include "platform/win32/window.h"

IMPLEMENT_DYNCREATE(CMenu, CObject)

namespace {

// Attached (permanent) CMenu objects of the process, and the thread's temporary ones.
std::mutex g_permanentMutex;
std::unordered_map<HMENU, CMenu*> g_permanent;
thread_local std::unordered_map<HMENU, std::unique_ptr<CMenu>> t_temporary;

void remember(CMenu* m) {
  if (!m->m_hMenu) return;
  std::lock_guard lock(g_permanentMutex);
  g_permanent[m->m_hMenu] = m;
}

void forget(CMenu* m) {
  if (!m->m_hMenu) return;
  std::lock_guard lock(g_permanentMutex);
  auto it = g_permanent.find(m->m_hMenu);
  if (it != g_permanent.end() && it->second == m) g_permanent.erase(it);
}

}  // namespace

CMenu::~CMenu() {
  if (!temporary_) DestroyMenu();
}

BOOL CMenu::Attach(HMENU hMenu) {
  if (!hMenu || m_hMenu) return FALSE;
  m_hMenu = hMenu;
  remember(this);
  return TRUE;
}

HMENU CMenu::Detach() {
  forget(this);
  HMENU h = m_hMenu;
  m_hMenu = nullptr;
  return h;
}

BOOL CMenu::CreateMenu() { return Attach(::CreateMenu()); }
BOOL CMenu::CreatePopupMenu() { return Attach(::CreatePopupMenu()); }

BOOL CMenu::LoadMenu(LPCWSTR lpszResourceName) {
  HINSTANCE instance = AfxFindResourceHandle(lpszResourceName, RT_MENU);
  return Attach(::LoadMenuW(instance, lpszResourceName));
}

BOOL CMenu::LoadMenu(UINT nIDResource) { return LoadMenu(MAKEINTRESOURCEW(nIDResource)); }
BOOL CMenu::LoadMenuIndirect(const void* lpMenuTemplate) { return Attach(::LoadMenuIndirectW(lpMenuTemplate)); }

BOOL CMenu::DestroyMenu() {
  if (!m_hMenu) return FALSE;
  HMENU h = Detach();
  return ::DestroyMenu(h);
}

CMenu* PASCAL CMenu::FromHandle(HMENU hMenu) {
  if (!hMenu) return nullptr;
  {
    std::lock_guard lock(g_permanentMutex);
    auto it = g_permanent.find(hMenu);
    if (it != g_permanent.end()) return it->second;
  }
  auto it = t_temporary.find(hMenu);
  if (it != t_temporary.end()) {
    if (::IsMenu(hMenu)) return it->second.get();
    t_temporary.erase(it);
  }
  // Menus destroyed since leave their temporaries behind; they go now.
  std::erase_if(t_temporary, [](const auto& entry) { return !::IsMenu(entry.first); });
  auto temp = std::make_unique<CMenu>();
  // Not attached: a temporary never destroys the menu and is not in the permanent map.
  temp->m_hMenu = hMenu;
  temp->temporary_ = true;
  CMenu* result = temp.get();
  t_temporary[hMenu] = std::move(temp);
  return result;
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCWSTR lpszNewItem) {
  return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}
BOOL CMenu::InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem, LPCWSTR lpszNewItem) {
  return ::InsertMenuW(m_hMenu, nPosition, nFlags, nIDNewItem, lpszNewItem);
}
BOOL CMenu::ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem, LPCWSTR lpszNewItem) {
  return ::ModifyMenuW(m_hMenu, nPosition, nFlags, nIDNewItem, lpszNewItem);
}
BOOL CMenu::DeleteMenu(UINT nPosition, UINT nFlags) { return ::DeleteMenu(m_hMenu, nPosition, nFlags); }
BOOL CMenu::RemoveMenu(UINT nPosition, UINT nFlags) { return ::RemoveMenu(m_hMenu, nPosition, nFlags); }
UINT CMenu::CheckMenuItem(UINT nIDCheckItem, UINT nCheck) {
  return static_cast<UINT>(::CheckMenuItem(m_hMenu, nIDCheckItem, nCheck));
}
BOOL CMenu::CheckMenuRadioItem(UINT nIDFirst, UINT nIDLast, UINT nIDItem, UINT nFlags) {
  return ::CheckMenuRadioItem(m_hMenu, nIDFirst, nIDLast, nIDItem, nFlags);
}
UINT CMenu::EnableMenuItem(UINT nIDEnableItem, UINT nEnable) {
  return static_cast<UINT>(::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable));
}
BOOL CMenu::SetDefaultItem(UINT uItem, BOOL fByPos) { return ::SetMenuDefaultItem(m_hMenu, uItem, fByPos); }
UINT CMenu::GetDefaultItem(UINT gmdiFlags, BOOL fByPos) { return ::GetMenuDefaultItem(m_hMenu, fByPos, gmdiFlags); }
UINT CMenu::GetMenuItemCount() const { return static_cast<UINT>(::GetMenuItemCount(m_hMenu)); }
UINT CMenu::GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
UINT CMenu::GetMenuState(UINT nID, UINT nFlags) const { return ::GetMenuState(m_hMenu, nID, nFlags); }
int CMenu::GetMenuString(UINT nIDItem, LPWSTR lpString, int nMaxCount, UINT nFlags) const {
  return ::GetMenuStringW(m_hMenu, nIDItem, lpString, nMaxCount, nFlags);
}
int CMenu::GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const {
  const int n = ::GetMenuStringW(m_hMenu, nIDItem, nullptr, 0, nFlags);
  LPWSTR buffer = rString.GetBuffer(n + 1);
  const int got = ::GetMenuStringW(m_hMenu, nIDItem, buffer, n + 1, nFlags);
  rString.ReleaseBuffer(got);
  return got;
}
BOOL CMenu::GetMenuItemInfo(UINT uItem, LPMENUITEMINFOW lpMenuItemInfo, BOOL fByPos) {
  return ::GetMenuItemInfoW(m_hMenu, uItem, fByPos, lpMenuItemInfo);
}
BOOL CMenu::SetMenuItemInfo(UINT uItem, LPCMENUITEMINFOW lpMenuItemInfo, BOOL fByPos) {
  return ::SetMenuItemInfoW(m_hMenu, uItem, fByPos, lpMenuItemInfo);
}
CMenu* CMenu::GetSubMenu(int nPos) const { return FromHandle(::GetSubMenu(m_hMenu, nPos)); }
BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect) {
  return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, platform::afx::hwndOf(pWnd), lpRect);
}
BOOL CMenu::TrackPopupMenuEx(UINT fuFlags, int x, int y, CWnd* pWnd, LPTPMPARAMS lptpm) {
  return ::TrackPopupMenuEx(m_hMenu, fuFlags, x, y, platform::afx::hwndOf(pWnd), lptpm);
}

// ---- The window's menu bar ----

CMenu* CWnd::GetMenu() const { return CMenu::FromHandle(::GetMenu(m_hWnd)); }
BOOL CWnd::SetMenu(CMenu* pMenu) { return ::SetMenu(m_hWnd, pMenu ? pMenu->m_hMenu : nullptr); }
void CWnd::DrawMenuBar() { ::DrawMenuBar(m_hWnd); }

// ---- Update-UI ----

namespace {

// The items of one popup as CCmdUI changes them, by position.
class PopupItems : public platform::afx::MenuItemUI {
 public:
  explicit PopupItems(HMENU menu) : menu_(menu) {}
  void enable(UINT index, bool on) override {
    ::EnableMenuItem(menu_, index, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
  }
  void check(UINT index, int state) override {
    ::CheckMenuItem(menu_, index, MF_BYPOSITION | (state ? MF_CHECKED : MF_UNCHECKED));
  }
  void radio(UINT index, bool on) override {
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STATE;
    if (!::GetMenuItemInfoW(menu_, index, TRUE, &mi)) return;
    mi.fType = on ? (mi.fType | MFT_RADIOCHECK) : (mi.fType & ~static_cast<UINT>(MFT_RADIOCHECK));
    mi.fState = on ? (mi.fState | MFS_CHECKED) : (mi.fState & ~static_cast<UINT>(MFS_CHECKED));
    ::SetMenuItemInfoW(menu_, index, TRUE, &mi);
  }
  void text(UINT index, LPCWSTR text) override {
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_STRING;
    mi.dwTypeData = const_cast<LPWSTR>(text);
    ::SetMenuItemInfoW(menu_, index, TRUE, &mi);
  }

 private:
  HMENU menu_;
};

}  // namespace

void platform::afx::updateMenuItems(CCmdTarget* target, HMENU popup, bool autoEnable) {
  if (!target || !::IsMenu(popup)) return;
  PopupItems items(popup);
  const int count = ::GetMenuItemCount(popup);
  for (int i = 0; i < count; ++i) {
    const UINT id = ::GetMenuItemID(popup, i);
    // Separators (0) and submenus (-1) have no command.
    if (id == 0 || id == 0xFFFFFFFFu) continue;
    CCmdUI state;
    state.m_nID = id;
    state.m_nIndex = static_cast<UINT>(i);
    state.m_nIndexMax = static_cast<UINT>(count);
    state.m_pMenuItems = &items;
    // System commands are the window's, never grayed for want of a handler.
    state.DoUpdate(target, autoEnable && id < 0xF000);
  }
}
