// The folder browser dialog over host folders; see shell_browse.h.
#include "platform/win32/shell_browse.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/dialog.h"
#include "platform/win32/dialog_builder.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/volume.h"
#include "platform/win32/window.h"

namespace platform::shell {
namespace {

namespace text = platform::text;

struct BrowseState {
  BROWSEINFOW* info = nullptr;
  std::vector<std::u16string> paths;  // by tree item lParam
  std::vector<HTREEITEM> roots;
  LPITEMIDLIST result = nullptr;
};

std::u16string_view view(const char16_t* s) { return text::view(s); }

std::u16string join(const std::u16string& folder, std::u16string_view name) {
  std::u16string out = folder;
  if (!out.empty() && out.back() != u'\\') out += u'\\';
  out += name;
  return out;
}

bool isFolder(const std::u16string& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string normalised(std::u16string p) {
  std::replace(p.begin(), p.end(), u'/', u'\\');
  while (p.size() > 3 && p.back() == u'\\') p.pop_back();
  if (p.size() == 2 && p[1] == u':') p += u'\\';
  return p;
}

// Whether `path` is `folder` or lies below it.
bool within(const std::u16string& path, const std::u16string& folder) {
  if (path.size() < folder.size() || text::compareNoCase(std::u16string_view(path).substr(0, folder.size()), folder) != 0)
    return false;
  return path.size() == folder.size() || folder.back() == u'\\' || path[folder.size()] == u'\\';
}

std::vector<std::u16string> subfolders(const std::u16string& folder) {
  std::vector<std::u16string> out;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(join(folder, u"*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    std::u16string name(view(fd.cFileName));
    if (name == u"." || name == u"..") continue;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    out.push_back(name);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return text::compareNoCase(a, b) < 0; });
  return out;
}

HTREEITEM insertFolder(HWND tree, BrowseState& s, HTREEITEM parent, const std::u16string& label, const std::u16string& path) {
  s.paths.push_back(path);
  TVINSERTSTRUCTW ins{};
  ins.hParent = parent;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
  std::u16string textCopy = label;
  ins.item.pszText = textCopy.data();
  ins.item.lParam = static_cast<LPARAM>(s.paths.size() - 1);
  ins.item.cChildren = subfolders(path).empty() ? 0 : 1;
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

std::u16string driveLabel(const std::u16string& root) {
  WCHAR label[MAX_PATH] = {};
  GetVolumeInformationW(root.c_str(), label, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0);
  std::u16string name(view(label));
  if (name.empty()) name = GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE ? u"Removable Disk" : u"Local Disk";
  return name + u" (" + root.substr(0, 2) + u")";
}

void addRoots(HWND tree, BrowseState& s) {
  WCHAR path[MAX_PATH] = {};
  if (s.info->pidlRoot && SHGetPathFromIDListW(s.info->pidlRoot, path)) {
    std::u16string root = normalised(std::u16string(view(path)));
    std::u16string label = root.size() <= 3 ? driveLabel(root) : root.substr(root.find_last_of(u'\\') + 1);
    s.roots.push_back(insertFolder(tree, s, TVI_ROOT, label, root));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(s.roots.back()));
    return;
  }
  if (SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE))
    s.roots.push_back(insertFolder(tree, s, TVI_ROOT, u"Desktop", normalised(std::u16string(view(path)))));
  if (SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE))
    s.roots.push_back(insertFolder(tree, s, TVI_ROOT, u"My Documents", normalised(std::u16string(view(path)))));
  WCHAR drives[512] = {};
  const DWORD n = GetLogicalDriveStringsW(511, drives);
  for (const WCHAR* d = drives; n && n < 511 && *d; d += text::length(d) + 1) {
    std::u16string root(view(d));
    if (!isFolder(root)) continue;
    s.roots.push_back(insertFolder(tree, s, TVI_ROOT, driveLabel(root), normalised(root)));
  }
}

HTREEITEM childOf(HWND tree, HTREEITEM item, UINT how) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

LPARAM paramOf(HWND tree, HTREEITEM item) {
  TVITEMW it{};
  it.mask = TVIF_PARAM | TVIF_HANDLE;
  it.hItem = item;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  return it.lParam;
}

std::u16string itemLabel(HWND tree, HTREEITEM item) {
  WCHAR buf[MAX_PATH] = {};
  TVITEMW it{};
  it.mask = TVIF_TEXT | TVIF_HANDLE;
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = MAX_PATH;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  return std::u16string(view(buf));
}

const std::u16string* pathOf(HWND tree, const BrowseState& s, HTREEITEM item) {
  if (!item) return nullptr;
  const auto i = static_cast<std::size_t>(paramOf(tree, item));
  return i < s.paths.size() ? &s.paths[i] : nullptr;
}

LPITEMIDLIST pidlOf(const std::u16string& path) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  std::u16string copy = path;
  LPITEMIDLIST pidl = nullptr;
  desktop->ParseDisplayName(nullptr, nullptr, copy.data(), nullptr, &pidl, nullptr);
  desktop->Release();
  return pidl;
}

// Selects the deepest item on the way to `target`, expanding as it goes; false when no top item
// holds it.
bool selectPath(HWND tree, BrowseState& s, std::u16string target) {
  target = normalised(std::move(target));
  HTREEITEM best = nullptr;
  std::size_t bestLength = 0;
  for (HTREEITEM r : s.roots)
    if (const std::u16string* p = pathOf(tree, s, r); p && within(target, *p) && p->size() >= bestLength) {
      best = r;
      bestLength = p->size();
    }
  if (!best) return false;
  HTREEITEM at = best;
  for (;;) {
    const std::u16string* here = pathOf(tree, s, at);
    if (!here || text::equalNoCase(*here, target)) break;
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(at));
    HTREEITEM next = nullptr;
    for (HTREEITEM c = childOf(tree, at, TVGN_CHILD); c; c = childOf(tree, c, TVGN_NEXT))
      if (const std::u16string* p = pathOf(tree, s, c); p && within(target, *p)) {
        next = c;
        break;
      }
    if (!next) break;
    at = next;
  }
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(at));
  return true;
}

int callback(HWND dlg, BrowseState& s, UINT msg, LPARAM lParam) {
  return s.info->lpfn ? s.info->lpfn(dlg, msg, lParam, s.info->lParam) : 0;
}

void finish(HWND dlg, BrowseState& s, const std::u16string& path, const std::u16string& label) {
  s.result = pidlOf(path);
  if (!s.result) return;
  if (s.info->pszDisplayName) {
    const std::size_t n = std::min<std::size_t>(label.size(), MAX_PATH - 1);
    std::memcpy(s.info->pszDisplayName, label.data(), n * 2);
    s.info->pszDisplayName[n] = 0;
  }
  EndDialog(dlg, IDOK);
}

void onOk(HWND dlg, BrowseState& s) {
  HWND tree = GetDlgItem(dlg, kBrowseTreeId);
  HTREEITEM sel = childOf(tree, nullptr, TVGN_CARET);
  const std::u16string* selected = pathOf(tree, s, sel);
  if (s.info->ulFlags & BIF_EDITBOX) {
    WCHAR buf[MAX_PATH] = {};
    GetDlgItemTextW(dlg, kBrowseFolderEditId, buf, MAX_PATH);
    std::u16string typed(view(buf));
    if (!typed.empty()) {
      std::u16string full = (typed.size() >= 2 && (typed[1] == u':' || typed[0] == u'\\'))
                                ? normalised(typed)
                                : normalised(join(selected ? *selected : std::u16string(), typed));
      if (isFolder(full)) {
        finish(dlg, s, full, full.size() <= 3 ? driveLabel(full) : full.substr(full.find_last_of(u'\\') + 1));
        return;
      }
      if (s.info->ulFlags & BIF_VALIDATE) {
        if (callback(dlg, s, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(buf)) == 0) EndDialog(dlg, IDCANCEL);
        return;
      }
      std::u16string message = u"The folder '" + typed + u"' does not exist.";
      MessageBoxW(dlg, message.c_str(), u"Browse for Folder", MB_OK | MB_ICONWARNING);
      return;
    }
  }
  if (selected) finish(dlg, s, *selected, itemLabel(tree, sel));
}

INT_PTR CALLBACK browseProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<BrowseState*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<BrowseState*>(lp);
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      HWND tree = GetDlgItem(dlg, kBrowseTreeId);
      addRoots(tree, *s);
      EnableWindow(GetDlgItem(dlg, IDOK), FALSE);
      SetFocus(tree);
      callback(dlg, *s, BFFM_INITIALIZED, 0);
      return FALSE;
    }
    case WM_NOTIFY: {
      if (!s) return FALSE;
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->idFrom != static_cast<UINT_PTR>(kBrowseTreeId)) return FALSE;
      const auto* nm = reinterpret_cast<const NMTREEVIEWW*>(lp);
      HWND tree = hdr->hwndFrom;
      if (hdr->code == TVN_ITEMEXPANDINGW && (nm->action & TVE_EXPAND) &&
          !childOf(tree, nm->itemNew.hItem, TVGN_CHILD)) {
        const auto i = static_cast<std::size_t>(nm->itemNew.lParam);
        if (i < s->paths.size()) {
          const std::u16string folder = s->paths[i];
          for (const auto& name : subfolders(folder)) insertFolder(tree, *s, nm->itemNew.hItem, name, join(folder, name));
        }
        SetWindowLongPtrW(dlg, DWLP_MSGRESULT, 0);  // let it expand
        return TRUE;
      }
      if (hdr->code == TVN_SELCHANGEDW) {
        const auto i = static_cast<std::size_t>(nm->itemNew.lParam);
        const bool any = nm->itemNew.hItem && i < s->paths.size();
        EnableWindow(GetDlgItem(dlg, IDOK), any ? TRUE : FALSE);
        if (any) {
          LPITEMIDLIST pidl = pidlOf(s->paths[i]);
          callback(dlg, *s, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl));
          ILFree(pidl);
        }
        return TRUE;
      }
      return FALSE;
    }
    case BFFM_SETSELECTIONW: {
      if (!s) return FALSE;
      std::u16string target;
      if (wp) {
        target = std::u16string(view(reinterpret_cast<LPCWSTR>(lp)));
      } else {
        WCHAR path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(lp), path)) target = std::u16string(view(path));
      }
      if (!target.empty()) selectPath(GetDlgItem(dlg, kBrowseTreeId), *s, target);
      return TRUE;
    }
    case BFFM_ENABLEOK:
      EnableWindow(GetDlgItem(dlg, IDOK), lp ? TRUE : FALSE);
      return TRUE;
    case BFFM_SETSTATUSTEXTW:
      SetDlgItemTextW(dlg, kBrowseStatusId, reinterpret_cast<LPCWSTR>(lp));
      return TRUE;
    case WM_COMMAND:
      if (!s) return FALSE;
      if (LOWORD(wp) == IDOK) {
        onOk(dlg, *s);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace
}  // namespace platform::shell

LPITEMIDLIST SHBrowseForFolderW(LPBROWSEINFOW lpbi) {
  using namespace platform::shell;
  if (!lpbi) return nullptr;
  platform::controls::registerCommonClasses();
  BrowseState s;
  s.info = lpbi;
  const UINT flags = lpbi->ulFlags;
  const DWORD statusStyle = (flags & BIF_STATUSTEXT) ? WS_VISIBLE : 0;
  const DWORD editStyle = (flags & BIF_EDITBOX) ? WS_VISIBLE : 0;
  platform::dialog::TemplateBuilder t(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 200, 220, u"Browse for Folder");
  t.item(WS_VISIBLE | SS_LEFT, 7, 7, 186, 18, kBrowseTitleId, u"Static", platform::text::view(lpbi->lpszTitle))
      .item(statusStyle | SS_LEFT, 7, 27, 186, 9, kBrowseStatusId, u"Static")
      .item(WS_VISIBLE | WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, 7,
            38, 186, 140, kBrowseTreeId, u"SysTreeView32")
      .item(editStyle | SS_LEFT, 7, 184, 30, 9, kBrowseFolderLabelId, u"Static", u"Folder:")
      .item(editStyle | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 40, 182, 153, 12, kBrowseFolderEditId, u"Edit")
      .item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 89, 200, 50, 14, IDOK, u"Button", u"OK")
      .item(WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 143, 200, 50, 14, IDCANCEL, u"Button", u"Cancel");
  const INT_PTR r = DialogBoxIndirectParamW(nullptr, t.get(), lpbi->hwndOwner, browseProc, reinterpret_cast<LPARAM>(&s));
  if (r != IDOK) {
    ILFree(s.result);
    return nullptr;
  }
  return s.result;
}
