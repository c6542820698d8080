// Menus: the process's menu table, menu templates, the item calls, menu bars (a top-level
// window's menu lives in its id field, as on Windows) and the popup menu loop with its "#32768"
// window and "MenuItem" mirror windows.
#include "platform/win32/menu.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/base/text.h"
#include "platform/ui/driver.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/resource.h"
#include "platform/win32/window.h"

namespace text = platform::text;

namespace {

constexpr const char16_t* kMenuClass = u"#32768";
constexpr const char16_t* kItemClass = u"MenuItem";
constexpr UINT kBmGetCheck = 0x00F0;
constexpr UINT kTypeBits = MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW | MFT_RADIOCHECK | MF_MENUBARBREAK | MF_MENUBREAK |
                           MF_RIGHTJUSTIFY | MFT_RIGHTORDER;
constexpr UINT kStateBits = MFS_GRAYED | MF_CHECKED | MF_HILITE | MF_DEFAULT;
constexpr std::size_t kMaxTemplate = 65536;

struct Item {
  UINT type = 0;   // MFT_* bits
  UINT state = 0;  // MFS_* bits
  UINT id = 0;
  HMENU sub = nullptr;
  std::u16string text;
  ULONG_PTR data = 0;
};

struct Menu {
  bool popup = false;
  std::vector<Item> items;
};

std::recursive_mutex g_mutex;
std::unordered_map<std::uintptr_t, std::unique_ptr<Menu>> g_menus;
std::uintptr_t g_nextHandle = 0x00010000;

HMENU newMenu(bool popup) {
  std::lock_guard lock(g_mutex);
  g_nextHandle += 4;
  auto m = std::make_unique<Menu>();
  m->popup = popup;
  g_menus[g_nextHandle] = std::move(m);
  return reinterpret_cast<HMENU>(g_nextHandle);
}

// Under g_mutex.
Menu* find(HMENU h) {
  auto it = g_menus.find(reinterpret_cast<std::uintptr_t>(h));
  return it == g_menus.end() ? nullptr : it->second.get();
}

Menu* findOrFail(HMENU h) {
  Menu* m = find(h);
  if (!m) SetLastError(ERROR_INVALID_MENU_HANDLE);
  return m;
}

// The menu holding the item and its index: by position, or by command id searched depth first
// (a submenu's own item also answers to its HMENU as id, as on Windows).
bool locate(HMENU h, UINT item, UINT flags, Menu*& owner, std::size_t& index, int depth = 0) {
  Menu* m = find(h);
  if (!m || depth > 16) return false;
  if (flags & MF_BYPOSITION) {
    if (item >= m->items.size()) return false;
    owner = m;
    index = item;
    return true;
  }
  for (std::size_t i = 0; i < m->items.size(); ++i) {
    const Item& it = m->items[i];
    if (it.sub) {
      if (locate(it.sub, item, flags, owner, index, depth + 1)) return true;
      if (static_cast<UINT>(reinterpret_cast<std::uintptr_t>(it.sub)) == item) {
        owner = m;
        index = i;
        return true;
      }
    } else if (it.id == item && !(it.type & MF_SEPARATOR)) {
      owner = m;
      index = i;
      return true;
    }
  }
  return false;
}

// locate() for the calls that report why they failed: a bad handle, or no such item.
bool locateOrFail(HMENU h, UINT item, UINT flags, Menu*& owner, std::size_t& index) {
  if (!findOrFail(h)) return false;
  if (!locate(h, item, flags, owner, index)) {
    SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return false;
  }
  return true;
}

void destroyTree(HMENU h, int depth = 0) {
  auto it = g_menus.find(reinterpret_cast<std::uintptr_t>(h));
  if (it == g_menus.end() || depth > 16) return;
  std::unique_ptr<Menu> m = std::move(it->second);
  g_menus.erase(it);
  for (const Item& item : m->items)
    if (item.sub) destroyTree(item.sub, depth + 1);
}

// An item from the MF_* form of AppendMenu/InsertMenu/ModifyMenu.
Item itemFromFlags(UINT flags, UINT_PTR id, LPCWSTR newItem) {
  Item item;
  item.type = flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW | MF_MENUBARBREAK | MF_MENUBREAK | MF_RIGHTJUSTIFY);
  item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
  if (flags & MF_POPUP) item.sub = reinterpret_cast<HMENU>(id);
  else item.id = static_cast<UINT>(id);
  if (!(flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) && newItem) item.text = text::view(newItem);
  if (flags & MF_OWNERDRAW) item.data = reinterpret_cast<ULONG_PTR>(newItem);
  return item;
}

bool insertAt(HMENU h, UINT position, UINT flags, Item item) {
  std::lock_guard lock(g_mutex);
  Menu* m = findOrFail(h);
  if (!m) return false;
  if (item.sub && !find(item.sub)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return false;
  }
  if (position == 0xFFFFFFFFu) {
    m->items.push_back(std::move(item));
    return true;
  }
  Menu* owner = m;
  std::size_t index = m->items.size();
  if (flags & MF_BYPOSITION) {
    index = std::min<std::size_t>(position, m->items.size());
  } else if (!locate(h, position, flags, owner, index)) {
    SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return false;
  }
  owner->items.insert(owner->items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
  return true;
}

UINT legacyFlags(const Item& it) {
  UINT f = it.type | (it.state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT));
  if (it.sub) f |= MF_POPUP;
  return f;
}

// ---- Templates ----

class Reader {
 public:
  Reader(const BYTE* p, std::size_t n) : p_(p), n_(n) {}
  bool ok() const { return ok_; }
  WORD word() {
    if (!ok_ || n_ - pos_ < 2) {
      ok_ = false;
      return 0;
    }
    WORD w;
    std::memcpy(&w, p_ + pos_, 2);
    pos_ += 2;
    return w;
  }
  std::u16string string() {
    std::u16string s;
    for (;;) {
      WORD c = word();
      if (!ok_ || c == 0) return s;
      s.push_back(static_cast<char16_t>(c));
    }
  }

 private:
  const BYTE* p_;
  std::size_t n_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// One level of a menu template into `menu` (already created); false when malformed.
bool readLevel(Reader& r, HMENU menu, int depth) {
  if (depth > 16) return false;
  for (;;) {
    WORD flags = r.word();
    WORD id = (flags & MF_POPUP) ? 0 : r.word();
    std::u16string label = r.string();
    if (!r.ok()) return false;
    const UINT itemFlags = flags & ~static_cast<UINT>(MF_END | MF_POPUP);
    if (flags & MF_POPUP) {
      HMENU sub = CreatePopupMenu();
      if (!readLevel(r, sub, depth + 1)) {
        DestroyMenu(sub);
        return false;
      }
      AppendMenuW(menu, itemFlags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), label.c_str());
    } else if (id == 0 && label.empty() && !(flags & (MF_GRAYED | MF_CHECKED))) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu, itemFlags, id, label.c_str());
    }
    if (flags & MF_END) return true;
  }
}

HMENU readTemplate(const BYTE* bytes, std::size_t size) {
  Reader r(bytes, size);
  WORD version = r.word();
  WORD offset = r.word();
  if (!r.ok() || version != 0 || offset != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HMENU menu = CreateMenu();
  if (!readLevel(r, menu, 0)) {
    DestroyMenu(menu);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return menu;
}

}  // namespace

// ---- Menu objects ----

HMENU CreateMenu() { return newMenu(false); }
HMENU CreatePopupMenu() { return newMenu(true); }

BOOL DestroyMenu(HMENU hMenu) {
  std::lock_guard lock(g_mutex);
  if (!findOrFail(hMenu)) return FALSE;
  destroyTree(hMenu);
  return TRUE;
}

BOOL IsMenu(HMENU hMenu) {
  std::lock_guard lock(g_mutex);
  return find(hMenu) != nullptr;
}

HMENU LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
  HRSRC res = FindResourceW(hInstance, lpMenuName, RT_MENU);
  if (!res) return nullptr;
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(hInstance, res)));
  if (!bytes) return nullptr;
  return readTemplate(bytes, SizeofResource(hInstance, res));
}

HMENU LoadMenuIndirectW(const void* lpMenuTemplate) {
  if (!lpMenuTemplate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return readTemplate(static_cast<const BYTE*>(lpMenuTemplate), kMaxTemplate);
}

// ---- Items ----

BOOL AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
  return insertAt(hMenu, 0xFFFFFFFFu, MF_BYPOSITION, itemFromFlags(uFlags, uIDNewItem, lpNewItem));
}

BOOL InsertMenuW(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
  return insertAt(hMenu, uPosition, uFlags, itemFromFlags(uFlags, uIDNewItem, lpNewItem));
}

namespace {

// Applies the fields of `mi` its mask names to `item`.
bool applyInfo(Item& item, const MENUITEMINFOW& mi) {
  if (mi.fMask & (MIIM_TYPE | MIIM_FTYPE)) item.type = mi.fType & kTypeBits;
  if ((mi.fMask & MIIM_STRING) || ((mi.fMask & MIIM_TYPE) && !(mi.fType & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW))))
    item.text = mi.dwTypeData ? std::u16string(text::view(mi.dwTypeData)) : std::u16string();
  if (mi.fMask & MIIM_STATE) item.state = mi.fState & kStateBits;
  if (mi.fMask & MIIM_ID) item.id = mi.wID;
  if (mi.fMask & MIIM_SUBMENU) {
    if (mi.hSubMenu && !find(mi.hSubMenu)) return false;
    item.sub = mi.hSubMenu;
  }
  if (mi.fMask & MIIM_DATA) item.data = mi.dwItemData;
  return true;
}

}  // namespace

BOOL InsertMenuItemW(HMENU hMenu, UINT item, BOOL fByPosition, LPCMENUITEMINFOW lpmi) {
  if (!lpmi || lpmi->cbSize < sizeof(MENUITEMINFOW) - sizeof(HBITMAP)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(g_mutex);
  Item it;
  if (!applyInfo(it, *lpmi)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  return insertAt(hMenu, item, fByPosition ? MF_BYPOSITION : MF_BYCOMMAND, std::move(it));
}

BOOL ModifyMenuW(HMENU hMnu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
  std::lock_guard lock(g_mutex);
  Menu* owner;
  std::size_t index;
  if (!locateOrFail(hMnu, uPosition, uFlags, owner, index)) return FALSE;
  Item replacement = itemFromFlags(uFlags, uIDNewItem, lpNewItem);
  Item& old = owner->items[index];
  // A submenu replaced by something else is destroyed, as Windows does.
  if (old.sub && old.sub != replacement.sub) destroyTree(old.sub);
  old = std::move(replacement);
  return TRUE;
}

namespace {

BOOL removeItem(HMENU hMenu, UINT uPosition, UINT uFlags, bool destroySub) {
  std::lock_guard lock(g_mutex);
  Menu* owner;
  std::size_t index;
  if (!locateOrFail(hMenu, uPosition, uFlags, owner, index)) return FALSE;
  HMENU sub = owner->items[index].sub;
  owner->items.erase(owner->items.begin() + static_cast<std::ptrdiff_t>(index));
  if (sub && destroySub) destroyTree(sub);
  return TRUE;
}

}  // namespace

BOOL DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags) { return removeItem(hMenu, uPosition, uFlags, true); }
BOOL RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags) { return removeItem(hMenu, uPosition, uFlags, false); }

DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
  std::lock_guard lock(g_mutex);
  Menu* owner;
  std::size_t index;
  if (!locate(hMenu, uIDCheckItem, uCheck, owner, index)) return static_cast<DWORD>(-1);
  Item& it = owner->items[index];
  DWORD previous = it.state & MF_CHECKED;
  it.state = (it.state & ~static_cast<UINT>(MF_CHECKED)) | (uCheck & MF_CHECKED);
  return previous;
}

BOOL CheckMenuRadioItem(HMENU hmenu, UINT first, UINT last, UINT check, UINT flags) {
  std::lock_guard lock(g_mutex);
  bool found = false;
  for (UINT i = first; i <= last && i >= first; ++i) {
    Menu* owner;
    std::size_t index;
    if (!locate(hmenu, i, flags, owner, index)) continue;
    Item& it = owner->items[index];
    if (i == check) {
      it.state |= MF_CHECKED;
      it.type |= MFT_RADIOCHECK;
      found = true;
    } else {
      it.state &= ~static_cast<UINT>(MF_CHECKED);
    }
  }
  return found;
}

BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
  std::lock_guard lock(g_mutex);
  Menu* owner;
  std::size_t index;
  if (!locate(hMenu, uIDEnableItem, uEnable, owner, index)) return -1;
  Item& it = owner->items[index];
  UINT previous = it.state & (MF_GRAYED | MF_DISABLED);
  it.state = (it.state & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
  return static_cast<BOOL>(previous);
}

BOOL SetMenuDefaultItem(HMENU hMenu, UINT uItem, UINT fByPos) {
  std::lock_guard lock(g_mutex);
  Menu* m = findOrFail(hMenu);
  if (!m) return FALSE;
  std::size_t target = m->items.size();
  if (uItem != 0xFFFFFFFFu) {
    if (fByPos) {
      if (uItem >= m->items.size()) return FALSE;
      target = uItem;
    } else {
      auto it = std::find_if(m->items.begin(), m->items.end(), [&](const Item& i) { return !i.sub && i.id == uItem; });
      if (it == m->items.end()) return FALSE;
      target = static_cast<std::size_t>(it - m->items.begin());
    }
  }
  for (std::size_t i = 0; i < m->items.size(); ++i) {
    if (i == target) m->items[i].state |= MF_DEFAULT;
    else m->items[i].state &= ~static_cast<UINT>(MF_DEFAULT);
  }
  return TRUE;
}

UINT GetMenuDefaultItem(HMENU hMenu, UINT fByPos, UINT) {
  std::lock_guard lock(g_mutex);
  Menu* m = findOrFail(hMenu);
  if (!m) return 0xFFFFFFFFu;
  for (std::size_t i = 0; i < m->items.size(); ++i)
    if (m->items[i].state & MF_DEFAULT) return fByPos ? static_cast<UINT>(i) : m->items[i].id;
  return 0xFFFFFFFFu;
}

int GetMenuItemCount(HMENU hMenu) {
  std::lock_guard lock(g_mutex);
  Menu* m = findOrFail(hMenu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU hMenu, int nPos) {
  std::lock_guard lock(g_mutex);
  Menu* m = find(hMenu);
  if (!m || nPos < 0 || static_cast<std::size_t>(nPos) >= m->items.size()) return 0xFFFFFFFFu;
  const Item& it = m->items[static_cast<std::size_t>(nPos)];
  return it.sub ? 0xFFFFFFFFu : it.id;
}

UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
  std::lock_guard lock(g_mutex);
  Menu* owner;
  std::size_t index;
  if (!locate(hMenu, uId, uFlags, owner, index)) return 0xFFFFFFFFu;
  const Item& it = owner->items[index];
  UINT flags = legacyFlags(it);
  if (it.sub) {
    Menu* sub = find(it.sub);
    flags = (flags & 0xFF) | (static_cast<UINT>(sub ? sub->items.size() : 0) << 8);
  }
  return flags;
}

int GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags) {
  std::lock_guard lock(g_mutex);
  if (lpString && cchMax > 0) lpString[0] = 0;
  Menu* owner;
  std::size_t index;
  if (!locate(hMenu, uIDItem, flags, owner, index)) return 0;
  const std::u16string& t = owner->items[index].text;
  if (!lpString || cchMax <= 0) return static_cast<int>(t.size());
  std::size_t n = std::min<std::size_t>(t.size(), static_cast<std::size_t>(cchMax - 1));
  std::copy_n(t.begin(), n, lpString);
  lpString[n] = 0;
  return static_cast<int>(n);
}

BOOL GetMenuItemInfoW(HMENU hmenu, UINT item, BOOL fByPosition, LPMENUITEMINFOW lpmii) {
  if (!lpmii || lpmii->cbSize < sizeof(MENUITEMINFOW) - sizeof(HBITMAP)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(g_mutex);
  Menu* owner;
  std::size_t index;
  if (!locateOrFail(hmenu, item, fByPosition ? MF_BYPOSITION : MF_BYCOMMAND, owner, index)) return FALSE;
  const Item& it = owner->items[index];
  MENUITEMINFOW& mi = *lpmii;
  if (mi.fMask & (MIIM_TYPE | MIIM_FTYPE)) mi.fType = it.type;
  if (mi.fMask & MIIM_STATE) mi.fState = it.state;
  if (mi.fMask & MIIM_ID) mi.wID = it.id;
  if (mi.fMask & MIIM_SUBMENU) mi.hSubMenu = it.sub;
  if (mi.fMask & MIIM_CHECKMARKS) mi.hbmpChecked = mi.hbmpUnchecked = nullptr;
  if (mi.fMask & MIIM_DATA) mi.dwItemData = it.data;
  if (mi.fMask & (MIIM_STRING | MIIM_TYPE)) {
    // The text's length comes back in cch; with a buffer, as much as fits and a NUL.
    if (mi.dwTypeData && mi.cch > 0) {
      std::size_t n = std::min<std::size_t>(it.text.size(), mi.cch - 1);
      std::copy_n(it.text.begin(), n, mi.dwTypeData);
      mi.dwTypeData[n] = 0;
      mi.cch = static_cast<UINT>(n);
    } else {
      mi.cch = static_cast<UINT>(it.text.size());
    }
  }
  return TRUE;
}

BOOL SetMenuItemInfoW(HMENU hmenu, UINT item, BOOL fByPositon, LPCMENUITEMINFOW lpmii) {
  if (!lpmii) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(g_mutex);
  Menu* owner;
  std::size_t index;
  if (!locateOrFail(hmenu, item, fByPositon ? MF_BYPOSITION : MF_BYCOMMAND, owner, index)) return FALSE;
  return applyInfo(owner->items[index], *lpmii);
}

HMENU GetSubMenu(HMENU hMenu, int nPos) {
  std::lock_guard lock(g_mutex);
  Menu* m = find(hMenu);
  if (!m || nPos < 0 || static_cast<std::size_t>(nPos) >= m->items.size()) return nullptr;
  return m->items[static_cast<std::size_t>(nPos)].sub;
}

// ---- Menu bars ----

HMENU GetMenu(HWND hWnd) {
  if (!IsWindow(hWnd) || (GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD)) return nullptr;
  auto h = reinterpret_cast<HMENU>(GetWindowLongPtrW(hWnd, GWLP_ID));
  return IsMenu(h) ? h : nullptr;
}

BOOL SetMenu(HWND hWnd, HMENU hMenu) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) return FALSE;
  if (hMenu && !IsMenu(hMenu)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  SetWindowLongPtrW(hWnd, GWLP_ID, reinterpret_cast<LONG_PTR>(hMenu));
  return TRUE;
}

BOOL DrawMenuBar(HWND hWnd) { return IsWindow(hWnd); }

// ---- Popup menus ----

namespace {

struct Tracking {
  HMENU menu = nullptr;
  HWND window = nullptr;
  HWND owner = nullptr;
  bool ended = false;
  UINT command = 0;
  Tracking* outer = nullptr;  // the menu this one opened from (TPM_RECURSE)
};

thread_local Tracking* t_tracking = nullptr;

Tracking* trackingOf(HWND menuWindow) {
  for (Tracking* t = t_tracking; t; t = t->outer)
    if (t->window == menuWindow) return t;
  return nullptr;
}

void endTracking(Tracking* t, UINT command) {
  if (!t || t->ended) return;
  t->ended = true;
  t->command = command;
  PostMessageW(t->window, WM_NULL, 0, 0);
}

LRESULT CALLBACK itemProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      HWND menuWindow = GetParent(h);
      Tracking* t = trackingOf(menuWindow);
      const UINT id = static_cast<UINT>(GetDlgCtrlID(h));
      if (t && id && IsWindowEnabled(h)) endTracking(t, id);
      return 0;
    }
    case kBmGetCheck: return GetWindowLongPtrW(h, GWLP_USERDATA) ? 1 : 0;
    default: return DefWindowProcW(h, msg, w, l);
  }
}

LRESULT CALLBACK menuProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_KEYDOWN:
      if (w == VK_ESCAPE) endTracking(trackingOf(h), 0);
      return 0;
    case WM_CANCELMODE:
      endTracking(trackingOf(h), 0);
      return 0;
    case MN_GETHMENU: {
      Tracking* t = trackingOf(h);
      return t ? reinterpret_cast<LRESULT>(t->menu) : 0;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}

void registerClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSW wc{};
    wc.style = CS_SAVEBITS | CS_DBLCLKS;
    wc.lpfnWndProc = menuProc;
    wc.lpszClassName = kMenuClass;
    RegisterClassW(&wc);
    WNDCLASSW item{};
    item.lpfnWndProc = itemProc;
    item.lpszClassName = kItemClass;
    RegisterClassW(&item);
  });
}

// Row height of the mirrored items (fixed metrics, as the other row-based controls).
constexpr int kRowHeight = 18;

// A copy of the menu's items taken under the lock, for walks that call out while they go (none
// for a menu that is gone or nested too deep).
std::vector<Item> itemsOf(HMENU menu, int depth) {
  std::lock_guard lock(g_mutex);
  Menu* m = find(menu);
  if (!m || depth > 16) return {};
  return m->items;
}

void mirrorItems(HWND window, HMENU menu, int depth, int& row) {
  for (const Item& it : itemsOf(menu, depth)) {
    if (it.type & MF_SEPARATOR) continue;
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (it.state & (MF_GRAYED | MF_DISABLED)) style |= WS_DISABLED;
    HWND h = CreateWindowExW(0, kItemClass, it.text.c_str(), style, 2 + depth * 12, 2 + row * kRowHeight,
                             160, kRowHeight, window, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(it.sub ? 0 : it.id)),
                             nullptr, nullptr);
    if (h) SetWindowLongPtrW(h, GWLP_USERDATA, (it.state & MF_CHECKED) ? 1 : 0);
    ++row;
    if (it.sub) mirrorItems(window, it.sub, depth + 1, row);
  }
}

void collectViews(HMENU menu, int depth, std::vector<platform::menu::ItemView>& out) {
  for (const Item& it : itemsOf(menu, depth)) {
    if (it.type & MF_SEPARATOR) continue;
    platform::menu::ItemView v;
    v.id = it.sub ? 0 : it.id;
    v.text = it.text;
    v.enabled = !(it.state & (MF_GRAYED | MF_DISABLED));
    v.checked = it.state & MF_CHECKED;
    v.isDefault = it.state & MF_DEFAULT;
    v.depth = depth;
    out.push_back(std::move(v));
    if (it.sub) collectViews(it.sub, depth + 1, out);
  }
}

// Sends the owner WM_INITMENUPOPUP for `menu` and, recursively, for its submenus (a person who
// opens them makes the program update them first).
void initPopups(HWND owner, HMENU menu, UINT position, int depth) {
  if (depth > 16) return;
  SendMessageW(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(position, FALSE));
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i)
    if (HMENU sub = GetSubMenu(menu, i)) initPopups(owner, sub, static_cast<UINT>(i), depth + 1);
}

}  // namespace

BOOL TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd, LPTPMPARAMS) {
  if (!IsMenu(hMenu)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (t_tracking && !(uFlags & TPM_RECURSE)) return FALSE;
  registerClasses();
  const bool notify = !(uFlags & TPM_NONOTIFY);
  if (notify) {
    SendMessageW(hwnd, WM_ENTERMENULOOP, TRUE, 0);
    SendMessageW(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(hMenu), 0);
    initPopups(hwnd, hMenu, 0, 0);
  }
  int count = 0;
  {
    std::vector<platform::menu::ItemView> views;
    collectViews(hMenu, 0, views);
    count = static_cast<int>(views.size());
  }
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kMenuClass, u"", WS_POPUP | WS_BORDER, x, y, 164,
                                4 + count * kRowHeight, hwnd, nullptr, nullptr, nullptr);
  if (!window) return FALSE;
  Tracking tracking;
  tracking.menu = hMenu;
  tracking.window = window;
  tracking.owner = hwnd;
  tracking.outer = t_tracking;
  t_tracking = &tracking;
  int row = 0;
  mirrorItems(window, hMenu, 0, row);
  ShowWindow(window, SW_SHOWNA);
  MSG msg;
  bool quit = false;
  int quitCode = 0;
  while (!tracking.ended && IsWindow(window) && IsWindow(hwnd)) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      SendMessageW(hwnd, WM_ENTERIDLE, 2 /* MSGF_MENU */, reinterpret_cast<LPARAM>(window));
      platform::ui::modalIdle(window);
      if (tracking.ended || !IsWindow(window)) break;
    }
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      quit = true;
      quitCode = static_cast<int>(msg.wParam);
      break;
    }
    // Keys go to the menu, whichever window has the focus.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      endTracking(&tracking, 0);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  t_tracking = tracking.outer;
  if (IsWindow(window)) DestroyWindow(window);
  if (quit) PostQuitMessage(quitCode);
  if (notify && IsWindow(hwnd)) {
    SendMessageW(hwnd, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
    SendMessageW(hwnd, WM_EXITMENULOOP, TRUE, 0);
  }
  const UINT command = tracking.command;
  if (uFlags & TPM_RETURNCMD) return static_cast<BOOL>(command);
  if (command && IsWindow(hwnd)) PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
  return command != 0;
}

BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd, const RECT*) {
  return TrackPopupMenuEx(hMenu, uFlags, x, y, hWnd, nullptr);
}

BOOL EndMenu() {
  if (!t_tracking) return FALSE;
  endTracking(t_tracking, 0);
  return TRUE;
}

// ---- Driver entry points ----

std::vector<platform::menu::ItemView> platform::menu::itemsOfWindow(HWND menuWindow) {
  std::vector<ItemView> out;
  if (!menuWindow) return out;
  Tracking* t = trackingOf(menuWindow);
  if (t) collectViews(t->menu, 0, out);
  return out;
}

std::string platform::menu::pickInWindow(HWND menuWindow, UINT commandId) {
  Tracking* t = trackingOf(menuWindow);
  if (!t) return "the menu is not open";
  HWND item = commandId ? GetDlgItem(menuWindow, static_cast<int>(commandId)) : nullptr;
  if (!item) return "the menu has no item " + std::to_string(commandId);
  if (!IsWindowEnabled(item)) return "menu item " + std::to_string(commandId) + " is grayed";
  // The click a person makes on the item.
  SendMessageW(item, WM_LBUTTONDOWN, 1, 0);
  SendMessageW(item, WM_LBUTTONUP, 0, 0);
  return {};
}

std::string platform::menu::pickFromMenuBar(HWND window, UINT commandId) {
  HMENU bar = GetMenu(window);
  if (!bar) return "the window has no menu";
  // The popups on the way to the item, outermost first.
  std::vector<std::pair<HMENU, UINT>> path;
  auto findPath = [&](auto&& self, HMENU menu, int depth) -> bool {
    if (depth > 16) return false;
    const int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
      if (HMENU sub = GetSubMenu(menu, i)) {
        path.emplace_back(sub, static_cast<UINT>(i));
        if (self(self, sub, depth + 1)) return true;
        path.pop_back();
      } else if (GetMenuItemID(menu, i) == commandId) {
        return true;
      }
    }
    return false;
  };
  if (!findPath(findPath, bar, 0)) return "the menu has no item " + std::to_string(commandId);
  SendMessageW(window, WM_ENTERMENULOOP, FALSE, 0);
  SendMessageW(window, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
  for (const auto& [sub, pos] : path)
    SendMessageW(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub), MAKELPARAM(pos, FALSE));
  const UINT state = GetMenuState(bar, commandId, MF_BYCOMMAND);
  for (auto it = path.rbegin(); it != path.rend(); ++it)
    SendMessageW(window, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(it->first), 0);
  SendMessageW(window, WM_EXITMENULOOP, FALSE, 0);
  if (state == 0xFFFFFFFFu) return "the menu has no item " + std::to_string(commandId);
  if (state & (MF_GRAYED | MF_DISABLED)) return "menu item " + std::to_string(commandId) + " is grayed";
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(commandId, 0), 0);
  return {};
}

void platform::menu::dismissWindow(HWND menuWindow) { endTracking(trackingOf(menuWindow), 0); }

HMENU platform::menu::loadTemplate(const BYTE* bytes, std::size_t size) {
  if (!bytes) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return readTemplate(bytes, size);
}
