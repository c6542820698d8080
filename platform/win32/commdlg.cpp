// The common file dialog over host folders; see commdlg.h.
#include "platform/win32/commdlg.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/dialog.h"
#include "platform/win32/dialog_builder.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/window.h"

namespace platform::commdlg {
namespace {

thread_local DWORD t_lastError = 0;

constexpr LRESULT kFolderItem = 1;
constexpr const char16_t* kParentEntry = u"..\\";

struct FileType {
  std::u16string description;
  std::vector<std::u16string> patterns;
};

struct DialogState {
  OPENFILENAMEW* ofn = nullptr;
  bool save = false;
  std::u16string title;
  std::u16string folder;  // the current folder, without a trailing backslash except at a root
  std::vector<FileType> types;
  int typeIndex = 0;                   // into types
  std::vector<std::u16string> typed;   // a pattern typed into the name field replaces the type's
  DWORD error = 0;                     // set when the dialog ends with a failure
};

std::u16string_view view(const char16_t* s) { return text::view(s); }

bool isRoot(const std::u16string& p) { return p.size() <= 3 && p.size() >= 2 && p[1] == u':'; }

std::u16string withoutTrailingSlash(std::u16string p) {
  while (p.size() > 3 && (p.back() == u'\\' || p.back() == u'/')) p.pop_back();
  if (p.size() == 2 && p[1] == u':') p += u'\\';
  return p;
}

std::u16string join(const std::u16string& folder, std::u16string_view name) {
  std::u16string out = folder;
  if (!out.empty() && out.back() != u'\\') out += u'\\';
  out += name;
  return out;
}

std::u16string parentOf(const std::u16string& p) {
  if (isRoot(p)) return p;
  auto cut = p.find_last_of(u'\\');
  if (cut == std::u16string::npos) return p;
  std::u16string parent = p.substr(0, cut);
  return withoutTrailingSlash(parent.size() == 2 ? parent + u"\\" : parent);
}

bool isAbsolute(std::u16string_view p) {
  return (p.size() >= 2 && p[1] == u':') || (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\');
}

// A name typed in the dialog made into a full path against the current folder.
std::u16string resolve(const std::u16string& folder, std::u16string name) {
  std::replace(name.begin(), name.end(), u'/', u'\\');
  if (name == u"..") return parentOf(folder);
  if (isAbsolute(name)) return withoutTrailingSlash(name);
  if (!name.empty() && name[0] == u'\\') return withoutTrailingSlash(folder.substr(0, 2) + name);
  return withoutTrailingSlash(join(folder, name));
}

DWORD attributesOf(const std::u16string& path) { return GetFileAttributesW(path.c_str()); }
bool isFolder(const std::u16string& path) {
  DWORD a = attributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool isFile(const std::u16string& path) {
  DWORD a = attributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::u16string> splitPatterns(std::u16string_view patternText) {
  std::vector<std::u16string> out;
  std::size_t pos = 0;
  while (pos <= patternText.size()) {
    std::size_t end = patternText.find(u';', pos);
    if (end == std::u16string_view::npos) end = patternText.size();
    std::u16string_view one = patternText.substr(pos, end - pos);
    while (!one.empty() && one.front() == u' ') one.remove_prefix(1);
    while (!one.empty() && one.back() == u' ') one.remove_suffix(1);
    if (!one.empty()) out.emplace_back(one);
    pos = end + 1;
  }
  return out;
}

// lpstrFilter: pairs of NUL-ended texts, ended by an empty text.
std::vector<FileType> parseFilter(const char16_t* filter) {
  std::vector<FileType> out;
  if (!filter) return out;
  const char16_t* p = filter;
  while (*p) {
    FileType t;
    t.description = std::u16string(view(p));
    p += t.description.size() + 1;
    if (!*p) break;
    std::u16string patternText(view(p));
    p += patternText.size() + 1;
    t.patterns = splitPatterns(patternText);
    out.push_back(std::move(t));
  }
  return out;
}

bool matchFrom(std::u16string_view name, std::u16string_view pattern) {
  std::size_t n = 0, p = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || text::upcase(pattern[p]) == text::upcase(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

const std::vector<std::u16string>& currentPatterns(const DialogState& s) {
  static const std::vector<std::u16string> all{u"*.*"};
  if (!s.typed.empty()) return s.typed;
  if (s.typeIndex >= 0 && s.typeIndex < static_cast<int>(s.types.size())) return s.types[s.typeIndex].patterns;
  return all;
}

void fillList(HWND dlg, DialogState& s) {
  HWND list = GetDlgItem(dlg, kFileListId);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  SetDlgItemTextW(dlg, kCurrentFolderId, s.folder.c_str());
  std::vector<std::u16string> folders, files;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(join(s.folder, u"*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name(view(fd.cFileName));
      if (name == u"." || name == u"..") continue;
      if (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        folders.push_back(name);
      } else {
        for (const auto& pattern : currentPatterns(s))
          if (matchesPattern(name, pattern)) {
            files.push_back(name);
            break;
          }
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  auto byName = [](const std::u16string& a, const std::u16string& b) { return text::compareNoCase(a, b) < 0; };
  std::sort(folders.begin(), folders.end(), byName);
  std::sort(files.begin(), files.end(), byName);
  auto add = [&](const std::u16string& textOf, LRESULT data) {
    LRESULT i = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(textOf.c_str()));
    if (i >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(i), data);
  };
  if (!isRoot(s.folder)) add(kParentEntry, kFolderItem);
  for (const auto& f : folders) add(f + u"\\", kFolderItem);
  for (const auto& f : files) add(f, 0);
}

std::u16string itemText(HWND list, int index) {
  LRESULT n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n < 0) return {};
  std::u16string out(static_cast<std::size_t>(n) + 1, u'\0');
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(out.data()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::vector<int> selectedItems(HWND list, bool multi) {
  std::vector<int> out;
  if (multi) {
    LRESULT n = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
    if (n > 0) {
      out.resize(static_cast<std::size_t>(n));
      n = SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(out.data()));
      out.resize(static_cast<std::size_t>(std::max<LRESULT>(n, 0)));
    }
  } else {
    LRESULT i = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (i >= 0) out.push_back(static_cast<int>(i));
  }
  return out;
}

std::u16string fieldText(HWND dlg) {
  HWND edit = GetDlgItem(dlg, kFileNameId);
  const int n = GetWindowTextLengthW(edit);
  std::u16string out(static_cast<std::size_t>(n) + 1, u'\0');
  GetWindowTextW(edit, out.data(), n + 1);
  out.resize(static_cast<std::size_t>(n));
  while (!out.empty() && out.back() == u' ') out.pop_back();
  while (!out.empty() && out.front() == u' ') out.erase(out.begin());
  return out;
}

// The quoted names of a multiple selection ("a.txt" "b.txt"), or the one name.
std::vector<std::u16string> namesOf(const std::u16string& field, bool multi) {
  std::vector<std::u16string> out;
  if (!multi || field.find(u'"') == std::u16string::npos) {
    std::u16string one = field;
    if (one.size() >= 2 && one.front() == u'"' && one.back() == u'"') one = one.substr(1, one.size() - 2);
    if (!one.empty()) out.push_back(one);
    return out;
  }
  std::size_t pos = 0;
  while ((pos = field.find(u'"', pos)) != std::u16string::npos) {
    std::size_t end = field.find(u'"', pos + 1);
    if (end == std::u16string::npos) end = field.size();
    if (end > pos + 1) out.push_back(field.substr(pos + 1, end - pos - 1));
    pos = end + 1;
  }
  return out;
}

bool hasExtension(std::u16string_view name) {
  auto dot = name.find_last_of(u'.');
  auto slash = name.find_last_of(u'\\');
  return dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash);
}

int box(HWND dlg, const DialogState& s, const std::u16string& message, UINT style) {
  return MessageBoxW(dlg, message.c_str(), s.title.c_str(), style);
}

// Writes the choice into the caller's record; false (with the error) when it does not fit.
bool deliver(DialogState& s, HWND dlg, const std::u16string& folder, const std::vector<std::u16string>& names) {
  OPENFILENAMEW& o = *s.ofn;
  std::u16string out;
  WORD offset = 0, extension = 0;
  const bool explorer = (o.Flags & OFN_EXPLORER) != 0;
  if (names.size() == 1) {
    out = join(folder, names[0]);
    offset = static_cast<WORD>(out.size() - names[0].size());
    if (hasExtension(names[0])) extension = static_cast<WORD>(out.find_last_of(u'.') + 1);
  } else {
    out = folder;
    offset = static_cast<WORD>(folder.size() + 1);
    for (const auto& n : names) {
      out += explorer ? u'\0' : u' ';
      out += n;
    }
  }
  const std::size_t needed = out.size() + ((o.Flags & OFN_ALLOWMULTISELECT) ? 2 : 1);
  if (o.nMaxFile < needed) {
    if (o.nMaxFile >= 1) o.lpstrFile[0] = static_cast<WCHAR>(std::min<std::size_t>(needed, 0xFFFF));
    s.error = FNERR_BUFFERTOOSMALL;
    return false;
  }
  std::memcpy(o.lpstrFile, out.data(), out.size() * 2);
  o.lpstrFile[out.size()] = 0;
  if (o.Flags & OFN_ALLOWMULTISELECT) o.lpstrFile[out.size() + 1] = 0;
  o.nFileOffset = offset;
  o.nFileExtension = names.size() == 1 ? extension : 0;
  if (o.lpstrFileTitle && o.nMaxFileTitle > 0) {
    const std::u16string& title = names.front();
    const std::size_t n = std::min<std::size_t>(title.size(), o.nMaxFileTitle - 1);
    std::memcpy(o.lpstrFileTitle, title.data(), n * 2);
    o.lpstrFileTitle[n] = 0;
  }
  o.nFilterIndex = static_cast<DWORD>(s.typeIndex + 1);
  if (!s.save && !(o.Flags & OFN_HIDEREADONLY)) {
    if (IsDlgButtonChecked(dlg, kReadOnlyId) == BST_CHECKED) o.Flags |= OFN_READONLY;
    else o.Flags &= ~static_cast<DWORD>(OFN_READONLY);
  }
  if (!(o.Flags & OFN_NOCHANGEDIR)) SetCurrentDirectoryW(folder.c_str());
  return true;
}

void navigate(HWND dlg, DialogState& s, const std::u16string& folder) {
  s.folder = folder;
  s.typed.clear();
  SetDlgItemTextW(dlg, kFileNameId, u"");
  fillList(dlg, s);
}

// OK: what the name field (or the list's selection) names. Ends the dialog when it is a choice.
void onOk(HWND dlg, DialogState& s) {
  const DWORD flags = s.ofn->Flags;
  const bool multi = !s.save && (flags & OFN_ALLOWMULTISELECT);
  std::u16string field = fieldText(dlg);
  std::vector<std::u16string> names = namesOf(field, multi);
  if (names.empty()) return;

  if (names.size() == 1) {
    const std::u16string& name = names[0];
    if (name.find_first_of(u"*?") != std::u16string::npos && !isAbsolute(name) && name.find(u'\\') == std::u16string::npos) {
      s.typed = splitPatterns(name);
      fillList(dlg, s);
      return;
    }
    std::u16string full = resolve(s.folder, name);
    if (isFolder(full)) {
      navigate(dlg, s, full);
      return;
    }
  }

  // Every name as a full path, with the default extension where it applies.
  std::vector<std::u16string> paths;
  for (const auto& name : names) {
    std::u16string full = resolve(s.folder, name);
    const std::u16string_view ext = view(s.ofn->lpstrDefExt);
    const std::u16string last = full.substr(full.find_last_of(u'\\') + 1);
    if (!ext.empty() && !hasExtension(last) && (s.save || !isFile(full))) full += u"." + std::u16string(ext);
    paths.push_back(full);
  }
  const std::u16string folder = parentOf(paths[0]);
  for (const auto& p : paths) {
    if ((flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !isFolder(parentOf(p))) {
      box(dlg, s, parentOf(p) + u"\nPath does not exist.\nCheck the path and try again.", MB_OK | MB_ICONWARNING);
      return;
    }
    if (!s.save && (flags & OFN_FILEMUSTEXIST) && !isFile(p)) {
      box(dlg, s, p.substr(p.find_last_of(u'\\') + 1) + u"\nFile not found.\nCheck the file name and try again.",
          MB_OK | MB_ICONWARNING);
      return;
    }
    if (parentOf(p) != folder) {
      // Several files must come from one folder.
      box(dlg, s, p + u"\nPath does not exist.\nCheck the path and try again.", MB_OK | MB_ICONWARNING);
      return;
    }
  }
  if (s.save && (flags & OFN_OVERWRITEPROMPT) && isFile(paths[0])) {
    const std::u16string name = paths[0].substr(paths[0].find_last_of(u'\\') + 1);
    if (box(dlg, s, name + u" already exists.\nDo you want to replace it?", MB_YESNO | MB_ICONWARNING) != IDYES) return;
  }
  std::vector<std::u16string> leaf;
  for (const auto& p : paths) leaf.push_back(p.substr(p.find_last_of(u'\\') + 1));
  if (!deliver(s, dlg, folder, leaf)) {
    EndDialog(dlg, IDABORT);
    return;
  }
  EndDialog(dlg, IDOK);
}

// The list's selection as the name field's text: one name, or quoted names when several.
void selectionToField(HWND dlg, DialogState& s) {
  HWND list = GetDlgItem(dlg, kFileListId);
  const bool multi = !s.save && (s.ofn->Flags & OFN_ALLOWMULTISELECT);
  std::vector<std::u16string> files;
  for (int i : selectedItems(list, multi))
    if (SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) != kFolderItem) files.push_back(itemText(list, i));
  if (files.empty()) return;
  std::u16string field;
  if (files.size() == 1) {
    field = files[0];
  } else {
    for (const auto& f : files) field += (field.empty() ? u"\"" : u" \"") + f + u"\"";
  }
  SetDlgItemTextW(dlg, kFileNameId, field.c_str());
}

void onListDoubleClick(HWND dlg, DialogState& s) {
  HWND list = GetDlgItem(dlg, kFileListId);
  LRESULT caret = SendMessageW(list, LB_GETCARETINDEX, 0, 0);
  if (caret < 0) caret = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (caret < 0) return;
  const int i = static_cast<int>(caret);
  if (SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == kFolderItem) {
    std::u16string name = itemText(list, i);
    navigate(dlg, s, name == kParentEntry ? parentOf(s.folder) : resolve(s.folder, name.substr(0, name.size() - 1)));
    return;
  }
  SetDlgItemTextW(dlg, kFileNameId, itemText(list, i).c_str());
  onOk(dlg, s);
}

INT_PTR CALLBACK fileDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<DialogState*>(lp);
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      HWND combo = GetDlgItem(dlg, kFileTypeId);
      for (const auto& t : s->types) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.description.c_str()));
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(s->typeIndex), 0);
      if (s->ofn->Flags & OFN_READONLY) CheckDlgButton(dlg, kReadOnlyId, BST_CHECKED);
      fillList(dlg, *s);
      SetFocus(GetDlgItem(dlg, kFileNameId));
      return FALSE;
    }
    case WM_COMMAND: {
      if (!s) return FALSE;
      const int id = LOWORD(wp);
      const int code = HIWORD(wp);
      if (id == IDOK) {
        onOk(dlg, *s);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      if (id == kFileListId && code == LBN_SELCHANGE) {
        selectionToField(dlg, *s);
        return TRUE;
      }
      if (id == kFileListId && code == LBN_DBLCLK) {
        onListDoubleClick(dlg, *s);
        return TRUE;
      }
      if (id == kFileTypeId && code == CBN_SELCHANGE) {
        LRESULT i = SendMessageW(GetDlgItem(dlg, kFileTypeId), CB_GETCURSEL, 0, 0);
        if (i >= 0) s->typeIndex = static_cast<int>(i);
        s->typed.clear();
        fillList(dlg, *s);
        return TRUE;
      }
      return FALSE;
    }
    default: return FALSE;
  }
}

std::u16string currentDirectory() {
  WCHAR buf[MAX_PATH] = {};
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, buf);
  return n > 0 && n < MAX_PATH ? withoutTrailingSlash(std::u16string(buf, n)) : std::u16string(u"C:\\");
}

BOOL runFileDialog(LPOPENFILENAMEW o, bool save) {
  t_lastError = 0;
  if (!o || (o->lStructSize != sizeof(OPENFILENAMEW) && o->lStructSize != OPENFILENAME_SIZE_VERSION_400W)) {
    t_lastError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (!o->lpstrFile || o->nMaxFile == 0) {
    t_lastError = CDERR_INITIALIZATION;
    return FALSE;
  }
  if (o->Flags & (OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_ENABLETEMPLATEHANDLE)) {
    t_lastError = CDERR_DIALOGFAILURE;
    return FALSE;
  }
  platform::controls::registerCommonClasses();

  DialogState s;
  s.ofn = o;
  s.save = save;
  s.title = o->lpstrTitle && *o->lpstrTitle ? std::u16string(view(o->lpstrTitle)) : std::u16string(save ? u"Save As" : u"Open");
  s.types = parseFilter(o->lpstrFilter);
  if (o->nFilterIndex >= 1 && o->nFilterIndex <= s.types.size()) s.typeIndex = static_cast<int>(o->nFilterIndex - 1);

  std::u16string initialName(view(o->lpstrFile));
  if (initialName.size() >= o->nMaxFile) initialName.clear();  // not a NUL-ended text within the buffer
  std::u16string initialFolder;
  if (auto cut = initialName.find_last_of(u'\\'); cut != std::u16string::npos && isAbsolute(initialName)) {
    initialFolder = initialName.substr(0, cut);
    initialName = initialName.substr(cut + 1);
  }
  if (o->lpstrInitialDir && *o->lpstrInitialDir) initialFolder = std::u16string(view(o->lpstrInitialDir));
  s.folder = withoutTrailingSlash(initialFolder);
  if (s.folder.empty() || !isFolder(s.folder)) s.folder = currentDirectory();

  platform::dialog::TemplateBuilder t(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 280, 190, s.title);
  const DWORD readOnlyStyle = (save || (o->Flags & OFN_HIDEREADONLY)) ? 0 : WS_VISIBLE;
  t.item(WS_VISIBLE | SS_LEFT, 7, 7, 45, 9, kLookInLabelId, u"Static", u"Look &in:")
      .item(WS_VISIBLE | SS_LEFT, 55, 7, 218, 9, kCurrentFolderId, u"Static")
      .item(WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY |
                ((!save && (o->Flags & OFN_ALLOWMULTISELECT)) ? LBS_EXTENDEDSEL : 0),
            7, 20, 266, 110, kFileListId, u"ListBox")
      .item(WS_VISIBLE | SS_LEFT, 7, 136, 55, 9, kFileNameLabelId, u"Static", u"File &name:")
      .item(WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 65, 134, 150, 12, kFileNameId, u"Edit",
            initialName)
      .item(WS_VISIBLE | SS_LEFT, 7, 152, 55, 9, kFileTypeLabelId, u"Static", u"Files of &type:")
      .item(WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 65, 150, 150, 60, kFileTypeId, u"ComboBox")
      .item(readOnlyStyle | WS_TABSTOP | BS_AUTOCHECKBOX, 65, 168, 100, 10, kReadOnlyId, u"Button",
            u"Open as &read-only")
      .item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 222, 133, 50, 14, IDOK, u"Button", save ? u"&Save" : u"&Open")
      .item(WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 222, 150, 50, 14, IDCANCEL, u"Button", u"Cancel");

  const INT_PTR r = DialogBoxIndirectParamW(nullptr, t.get(), o->hwndOwner, fileDialogProc, reinterpret_cast<LPARAM>(&s));
  if (r == IDOK) return TRUE;
  if (r == -1) t_lastError = CDERR_DIALOGFAILURE;
  else t_lastError = s.error;
  return FALSE;
}

}  // namespace

bool matchesPattern(std::u16string_view name, std::u16string_view pattern) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  return matchFrom(name, pattern);
}

}  // namespace platform::commdlg

BOOL GetOpenFileNameW(LPOPENFILENAMEW lpofn) { return platform::commdlg::runFileDialog(lpofn, false); }
BOOL GetSaveFileNameW(LPOPENFILENAMEW lpofn) { return platform::commdlg::runFileDialog(lpofn, true); }
DWORD CommDlgExtendedError() { return platform::commdlg::t_lastError; }
