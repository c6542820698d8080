// The dialog manager: template parsing (every length checked), the "#32770" class and its
// default procedure, creation of a dialog and its controls, the modal loop, keyboard navigation
// and the dialog-item helpers.
#include "platform/win32/dialog.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/ui/driver.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi.h"
#include "platform/win32/process.h"
#include "platform/win32/resource.h"

namespace text = platform::text;
using platform::dialog::DialogTemplate;
using platform::dialog::ItemTemplate;

namespace {

constexpr const char16_t* kDialogClass = u"#32770";
// The classes a template names by ordinal.
constexpr const char16_t* kOrdinalClasses[] = {u"Button", u"Edit", u"Static", u"ListBox", u"ScrollBar", u"ComboBox"};

// Button styles and messages the manager uses (the button class answers them).
constexpr DWORD kButtonTypeMask = 0x0F;
constexpr DWORD kPushButton = 0x00;
constexpr DWORD kDefPushButton = 0x01;
constexpr UINT kEmSetSel = 0x00B1;
constexpr UINT kMsgfDialogBox = 0;

// ---- Template reading ----

class Reader {
 public:
  Reader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  std::size_t offset() const { return pos_; }

  template <class T>
  T read() {
    T v{};
    if (!ok_ || size_ - pos_ < sizeof(T)) {
      ok_ = false;
      return v;
    }
    std::memcpy(&v, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return v;
  }
  void alignDword() {
    std::size_t aligned = (pos_ + 3) & ~static_cast<std::size_t>(3);
    // Padding past the end is allowed only when nothing follows.
    pos_ = aligned > size_ ? size_ : aligned;
  }
  bool skip(std::size_t n) {
    if (!ok_ || size_ - pos_ < n) return ok_ = false;
    pos_ += n;
    return true;
  }
  const BYTE* here() const { return data_ + pos_; }
  // sz_Or_Ord: nothing, an ordinal, or NUL-terminated text.
  void szOrOrd(std::u16string& textOut, WORD& ordinal, bool& isOrdinal) {
    textOut.clear();
    ordinal = 0;
    isOrdinal = false;
    WORD first = read<WORD>();
    if (!ok_ || first == 0) return;
    if (first == 0xFFFF) {
      ordinal = read<WORD>();
      isOrdinal = true;
      return;
    }
    textOut.push_back(static_cast<char16_t>(first));
    string(textOut);
  }
  // NUL-terminated text, appended.
  void string(std::u16string& out) {
    for (;;) {
      WORD c = read<WORD>();
      if (!ok_ || c == 0) return;
      out.push_back(static_cast<char16_t>(c));
    }
  }

 private:
  const BYTE* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

std::u16string ordinalName(WORD ordinal) { return u"#" + text::fromUtf8(std::to_string(ordinal)); }

bool readItem(Reader& r, bool extended, ItemTemplate& item) {
  r.alignDword();
  if (extended) {
    item.helpId = r.read<DWORD>();
    item.exStyle = r.read<DWORD>();
    item.style = r.read<DWORD>();
  } else {
    item.style = r.read<DWORD>();
    item.exStyle = r.read<DWORD>();
  }
  item.x = r.read<short>();
  item.y = r.read<short>();
  item.cx = r.read<short>();
  item.cy = r.read<short>();
  item.id = extended ? r.read<DWORD>() : r.read<WORD>();
  WORD ordinal = 0;
  bool isOrdinal = false;
  r.szOrOrd(item.className, ordinal, isOrdinal);
  if (isOrdinal) {
    if (ordinal >= 0x80 && ordinal <= 0x85) item.className = kOrdinalClasses[ordinal - 0x80];
    else item.className = ordinalName(ordinal);
  }
  r.szOrOrd(item.title, item.titleOrdinal, item.titleIsOrdinal);
  WORD extra = r.read<WORD>();
  if (!r.ok()) return false;
  if (extra) {
    // A classic template's count includes its own word; an extended one's does not.
    std::size_t bytes = extended ? extra : (extra >= 2 ? extra - 2u : 0u);
    if (!extended && extra < 2) return false;
    const BYTE* start = r.here();
    if (!r.skip(bytes)) return false;
    item.creationData.assign(start, start + bytes);
  }
  return !item.className.empty();
}

}  // namespace

bool platform::dialog::parseTemplate(const BYTE* data, std::size_t size, DialogTemplate& out) {
  out = DialogTemplate{};
  if (!data) return false;
  Reader r(data, size);
  WORD version = r.read<WORD>();
  WORD signature = r.read<WORD>();
  if (!r.ok()) return false;
  out.extended = version == 1 && signature == 0xFFFF;
  Reader t(data, size);
  WORD count;
  if (out.extended) {
    t.skip(4);
    out.helpId = t.read<DWORD>();
    out.exStyle = t.read<DWORD>();
    out.style = t.read<DWORD>();
  } else {
    out.style = t.read<DWORD>();
    out.exStyle = t.read<DWORD>();
  }
  count = t.read<WORD>();
  out.x = t.read<short>();
  out.y = t.read<short>();
  out.cx = t.read<short>();
  out.cy = t.read<short>();
  bool isOrdinal = false;
  WORD ordinal = 0;
  t.szOrOrd(out.menu, out.menuOrdinal, isOrdinal);
  t.szOrOrd(out.className, ordinal, isOrdinal);
  if (isOrdinal) out.className = ordinalName(ordinal);
  t.szOrOrd(out.title, ordinal, isOrdinal);
  if (out.style & DS_SETFONT) {
    out.pointSize = t.read<WORD>();
    if (out.extended) {
      out.weight = t.read<WORD>();
      out.italic = t.read<BYTE>();
      out.charset = t.read<BYTE>();
    }
    t.string(out.faceName);
  }
  if (!t.ok()) return false;
  // Each item needs at least its fixed part, so a huge count cannot make us allocate much.
  const std::size_t minItem = out.extended ? 24u + 6u : 18u + 6u;
  if (static_cast<std::size_t>(count) * minItem > size) return false;
  out.items.resize(count);
  for (auto& item : out.items)
    if (!readItem(t, out.extended, item)) return false;
  return true;
}

namespace {

// ---- Per-dialog state ----

struct DialogState {
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  HWND owner = nullptr;
  bool ownerDisabled = false;
  UINT defId = 0;
  HWND savedFocus = nullptr;
  int templateId = 0;
  bool messageBox = false;
  platform::dialog::MessageBoxInfo box;
};

std::mutex g_stateMutex;
std::unordered_map<HWND, DialogState> g_states;
std::atomic<platform::dialog::CreationHook> g_creationHook{nullptr};

// The DLGPROC for the dialog whose window this thread is creating.
thread_local DLGPROC t_pendingProc = nullptr;
thread_local bool t_pendingSet = false;
// The resource id of the template of the next dialog this thread creates.
thread_local int t_nextTemplateId = 0;
std::mutex g_beepMutex;
std::vector<UINT> g_beeps;

bool withState(HWND h, const std::function<void(DialogState&)>& f) {
  std::lock_guard lock(g_stateMutex);
  auto it = g_states.find(h);
  if (it == g_states.end()) return false;
  f(it->second);
  return true;
}

void ensureDialogClass() {
  // The standard control classes exist in every process that makes dialogs, as in Windows.
  platform::controls::registerCommonClasses();
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = &DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.lpszClassName = kDialogClass;
    RegisterClassW(&wc);
  });
}

int mulDiv(int value, int numerator, int denominator) {
  long long p = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(p >= 0 ? (p + half) / denominator : -((-p + half) / denominator));
}

RECT dialogToPixels(short x, short y, short cx, short cy) {
  RECT r{x, y, x + cx, y + cy};
  MapDialogRect(nullptr, &r);
  return r;
}

std::u16string classOf(HWND h) {
  WCHAR name[64] = {0};
  int n = GetClassNameW(h, name, 64);
  return std::u16string(name, static_cast<std::size_t>(n > 0 ? n : 0));
}

bool isButtonClass(HWND h) { return text::equalNoCase(classOf(h), u"Button"); }

UINT dlgCode(HWND h, const MSG* msg = nullptr) {
  return static_cast<UINT>(SendMessageW(h, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg)));
}

bool isPushButton(HWND h) {
  UINT code = dlgCode(h);
  if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) return true;
  if (!isButtonClass(h)) return false;
  DWORD kind = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & kButtonTypeMask;
  return kind == kPushButton || kind == kDefPushButton;
}

// The control's own state, as dialog navigation sees it (the dialog may still be hidden).
bool isFocusable(HWND h) {
  DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
  return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

// Focuses a control the way the dialog does: an edit's text is selected as well.
// Set while focusControl runs: the activation that SetFocus may cause must not pick a control
// of its own.
thread_local HWND t_focusing = nullptr;

void focusControl(HWND dlg, HWND ctl) {
  if (!ctl) return;
  withState(dlg, [&](DialogState& s) { s.savedFocus = ctl; });
  if (dlgCode(ctl) & DLGC_HASSETSEL) SendMessageW(ctl, kEmSetSel, 0, static_cast<LPARAM>(-1));
  HWND outer = t_focusing;
  t_focusing = ctl;
  SetFocus(ctl);
  t_focusing = outer;
}

// The controls of a dialog in tab order, descending into child dialogs that are control parents.
void collectControls(HWND parent, std::vector<HWND>& out) {
  for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    if ((GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) && isFocusable(h)) collectControls(h, out);
    else out.push_back(h);
  }
}

HWND findDefaultButton(HWND dlg) {
  for (HWND h = GetWindow(dlg, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (dlgCode(h) & DLGC_DEFPUSHBUTTON) return h;
    if (isButtonClass(h) && (static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & kButtonTypeMask) == kDefPushButton)
      return h;
  }
  return nullptr;
}

HWND topLevelOf(HWND h) {
  while (h && (GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) h = GetParent(h);
  return h;
}

// Creates the dialog described by `t`; null on failure (last error set).
HWND createFromTemplate(HINSTANCE instance, const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param,
                        bool modal) {
  ensureDialogClass();
  DWORD style = t.style;
  DWORD exStyle = t.exStyle;
  if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
  if (style & DS_CONTROL) {
    style &= ~static_cast<DWORD>(WS_CAPTION | WS_SYSMENU);
    exStyle |= WS_EX_CONTROLPARENT;
  }
  const bool child = style & WS_CHILD;
  HWND owner = child ? parent : topLevelOf(parent);
  RECT r = dialogToPixels(t.x, t.y, t.cx, t.cy);
  int width = r.right - r.left, height = r.bottom - r.top;
  int x = r.left, y = r.top;
  if (!child) {
    POINT origin{0, 0};
    if (owner && !(style & DS_ABSALIGN)) ClientToScreen(owner, &origin);
    x += origin.x;
    y += origin.y;
    if (style & (DS_CENTER | DS_CENTERMOUSE)) {
      RECT area;
      if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &area);
      else GetWindowRect(GetDesktopWindow(), &area);
      x = (area.left + area.right - width) / 2;
      y = (area.top + area.bottom - height) / 2;
    }
  }
  const std::u16string className = t.className.empty() ? std::u16string(kDialogClass) : t.className;
  const int templateId = t_nextTemplateId;
  t_nextTemplateId = 0;
  DLGPROC savedProc = t_pendingProc;
  bool savedSet = t_pendingSet;
  t_pendingProc = proc;
  t_pendingSet = true;
  HWND dlg = CreateWindowExW(exStyle, className.c_str(), t.title.c_str(), style & ~static_cast<DWORD>(WS_VISIBLE), x,
                             y, width, height, owner, nullptr, instance, nullptr);
  t_pendingProc = savedProc;
  t_pendingSet = savedSet;
  if (!dlg) return nullptr;
  {
    std::lock_guard lock(g_stateMutex);
    DialogState& s = g_states[dlg];
    s.modal = modal;
    s.owner = child ? nullptr : owner;
    s.templateId = templateId;
  }
  // The template's font: the dialog keeps it and hands it to each control (deleted with the dialog).
  HFONT font = nullptr;
  if (t.style & DS_SETFONT) {
    font = platform::gdi::createDialogFont(dlg, t.pointSize, t.weight, t.italic, t.charset, t.faceName);
    SendMessageW(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  for (const ItemTemplate& item : t.items) {
    RECT ir = dialogToPixels(item.x, item.y, item.cx, item.cy);
    // An ordinal title (an icon's id) travels as Windows passes it: 0xFFFF and the number.
    char16_t ordinalTitle[3] = {0xFFFF, static_cast<char16_t>(item.titleOrdinal), 0};
    LPCWSTR title = item.titleIsOrdinal ? ordinalTitle : item.title.c_str();
    LPVOID data = item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data());
    HWND ctl = CreateWindowExW(item.exStyle | WS_EX_NOPARENTNOTIFY, item.className.c_str(), title,
                               item.style | WS_CHILD, ir.left, ir.top, ir.right - ir.left, ir.bottom - ir.top, dlg,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance, data);
    if (ctl && font) SendMessageW(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!ctl && !(t.style & DS_NOFAILCREATE)) {
      DWORD e = GetLastError();
      DestroyWindow(dlg);
      SetLastError(e ? e : ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
  }
  if (HWND def = findDefaultButton(dlg)) withState(dlg, [&](DialogState& s) { s.defId = static_cast<UINT>(GetDlgCtrlID(def)); });
  HWND first = GetNextDlgTabItem(dlg, nullptr, FALSE);
  LRESULT focusDefault = SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
  if (!IsWindow(dlg)) return nullptr;
  if (focusDefault && first) focusControl(dlg, first);
  bool ended = false;
  withState(dlg, [&](DialogState& s) { ended = s.ended; });
  // A modal dialog is shown by its loop, after the owner is disabled: nobody may see it
  // visible over an owner that still takes input.
  if ((t.style & WS_VISIBLE) && !ended && !modal) ShowWindow(dlg, SW_SHOWNORMAL);
  return dlg;
}

HWND createFromBytes(HINSTANCE instance, const BYTE* bytes, std::size_t size, HWND parent, DLGPROC proc, LPARAM param,
                     bool modal) {
  DialogTemplate t;
  if (!platform::dialog::parseTemplate(bytes, size, t)) {
    t_nextTemplateId = 0;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return createFromTemplate(instance, t, parent, proc, param, modal);
}

// The bytes of a RT_DIALOG resource, or false (last error set).
bool findTemplate(HINSTANCE instance, LPCWSTR name, const BYTE*& bytes, std::size_t& size) {
  HRSRC res = FindResourceW(instance, name, RT_DIALOG);
  if (!res) return false;
  HGLOBAL data = LoadResource(instance, res);
  bytes = static_cast<const BYTE*>(LockResource(data));
  size = SizeofResource(instance, res);
  if (bytes && IS_INTRESOURCE(name)) t_nextTemplateId = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
  return bytes != nullptr;
}

INT_PTR runModal(HWND dlg) {
  HWND owner = nullptr;
  withState(dlg, [&](DialogState& s) { owner = s.owner; });
  if (owner && IsWindowEnabled(owner)) {
    EnableWindow(owner, FALSE);
    withState(dlg, [&](DialogState& s) { s.ownerDisabled = true; });
  }
  bool ended = false;
  withState(dlg, [&](DialogState& s) { ended = s.ended; });
  if (!ended) ShowWindow(dlg, SW_SHOWNORMAL);
  // An exception thrown by a handler ends the dialog on its way out, leaving the owner usable.
  struct EndOnUnwind {
    HWND dlg;
    HWND owner;
    int before = std::uncaught_exceptions();
    ~EndOnUnwind() {
      if (std::uncaught_exceptions() <= before) return;
      try {
        bool reenable = false;
        withState(dlg, [&](DialogState& s) {
          reenable = s.ownerDisabled;
          s.ownerDisabled = false;
        });
        if (reenable && owner) EnableWindow(owner, TRUE);
        if (IsWindow(dlg)) DestroyWindow(dlg);
      } catch (...) {  // a second exception while the first one unwinds would end the program
      }
    }
  } unwinding{dlg, owner};
  MSG msg;
  for (;;) {
    withState(dlg, [&](DialogState& s) { ended = s.ended; });
    if (ended || !IsWindow(dlg)) break;
    // An empty queue: the owner hears that the dialog is idle.
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (owner) SendMessageW(owner, WM_ENTERIDLE, kMsgfDialogBox, reinterpret_cast<LPARAM>(dlg));
      // A test's UI driver acts now, as a user would on a dialog that waits for input.
      platform::ui::modalIdle(dlg);
      withState(dlg, [&](DialogState& s) { ended = s.ended; });
      if (ended || !IsWindow(dlg)) break;
    }
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      // WM_QUIT ends the dialog and goes on to the caller's loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!IsDialogMessageW(dlg, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  INT_PTR result = 0;
  bool reenable = false;
  withState(dlg, [&](DialogState& s) {
    result = s.result;
    reenable = s.ownerDisabled;
    s.ownerDisabled = false;
  });
  if (reenable && owner) EnableWindow(owner, TRUE);
  if (IsWindow(dlg)) DestroyWindow(dlg);
  return result;
}

}  // namespace

void platform::dialog::setCreationHook(CreationHook hook) { g_creationHook.store(hook); }

int platform::dialog::templateIdOf(HWND hDlg) {
  int id = 0;
  withState(hDlg, [&](DialogState& s) { id = s.templateId; });
  return id;
}

void platform::dialog::setNextTemplateId(int id) { t_nextTemplateId = id; }

bool platform::dialog::messageBoxInfo(HWND hDlg, MessageBoxInfo* out) {
  bool isBox = false;
  withState(hDlg, [&](DialogState& s) {
    isBox = s.messageBox;
    if (isBox && out) *out = s.box;
  });
  return isBox;
}

std::vector<UINT> platform::dialog::beeps() {
  std::lock_guard lock(g_beepMutex);
  return g_beeps;
}

HWND platform::dialog::createDialog(HINSTANCE instance, const DialogTemplate& t, HWND parent, DLGPROC proc,
                                    LPARAM param) {
  return createFromTemplate(instance, t, parent, proc, param, false);
}

HWND platform::dialog::createDialog(HINSTANCE instance, const BYTE* bytes, std::size_t size, HWND parent, DLGPROC proc,
                                    LPARAM param) {
  return createFromBytes(instance, bytes, size, parent, proc, param, false);
}

// ---- Creating dialogs ----

HWND CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  return createFromBytes(hInstance, reinterpret_cast<const BYTE*>(lpTemplate), platform::dialog::kMaxIndirectTemplate,
                         hWndParent, lpDialogFunc, dwInitParam, false);
}

HWND CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
  const BYTE* bytes = nullptr;
  std::size_t size = 0;
  if (!findTemplate(hInstance, lpTemplateName, bytes, size)) return nullptr;
  return createFromBytes(hInstance, bytes, size, hWndParent, lpDialogFunc, dwInitParam, false);
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  if (hWndParent && !IsWindow(hWndParent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  HWND dlg = createFromBytes(hInstance, reinterpret_cast<const BYTE*>(hDialogTemplate),
                             platform::dialog::kMaxIndirectTemplate, hWndParent, lpDialogFunc, dwInitParam, true);
  return dlg ? runModal(dlg) : -1;
}

INT_PTR DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
  if (hWndParent && !IsWindow(hWndParent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const BYTE* bytes = nullptr;
  std::size_t size = 0;
  if (!findTemplate(hInstance, lpTemplateName, bytes, size)) return -1;
  HWND dlg = createFromBytes(hInstance, bytes, size, hWndParent, lpDialogFunc, dwInitParam, true);
  return dlg ? runModal(dlg) : -1;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  HWND owner = nullptr;
  bool reenable = false;
  bool found = withState(hDlg, [&](DialogState& s) {
    s.result = nResult;
    s.ended = true;
    if (s.modal && s.ownerDisabled) {
      reenable = true;
      s.ownerDisabled = false;
    }
    owner = s.owner;
  });
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // The owner is enabled before the dialog disappears, so the activation can go back to it.
  if (reenable && owner) EnableWindow(owner, TRUE);
  SetWindowPos(hDlg, nullptr, 0, 0, 0, 0,
               SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // Wakes a modal loop waiting in GetMessageW.
  PostMessageW(hDlg, WM_NULL, 0, 0);
  return TRUE;
}

// ---- The default dialog procedure ----

namespace {

bool answersDirectly(UINT msg) {
  switch (msg) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

void setDefaultId(HWND dlg, UINT id) {
  UINT old = 0;
  withState(dlg, [&](DialogState& s) {
    old = s.defId;
    s.defId = id;
  });
  if (old && old != id)
    if (HWND b = GetDlgItem(dlg, static_cast<int>(old)); b && isPushButton(b))
      SendMessageW(b, BM_SETSTYLE, kPushButton, TRUE);
  if (id)
    if (HWND b = GetDlgItem(dlg, static_cast<int>(id)); b && isPushButton(b))
      SendMessageW(b, BM_SETSTYLE, kDefPushButton, TRUE);
}

LRESULT defaultDialogAction(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      // The dialog's face: the brush its own WM_CTLCOLORDLG answer gives, else the 3D face colour.
      if (!wParam) return 0;
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(hDlg, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hDlg)));
      RECT client{};
      GetClientRect(hDlg, &client);
      if (brush) {
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      } else {
        HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        FillRect(reinterpret_cast<HDC>(wParam), &client, face);
        DeleteObject(face);
      }
      return 1;
    }
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(hDlg, IDCANCEL);
      if (!cancel || IsWindowEnabled(cancel))
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case DM_GETDEFID: {
      UINT id = 0;
      withState(hDlg, [&](DialogState& s) { id = s.defId; });
      return id ? MAKELONG(id, DC_HASDEFID) : 0;
    }
    case DM_SETDEFID:
      setDefaultId(hDlg, static_cast<UINT>(wParam));
      return TRUE;
    case WM_NEXTDLGCTL: {
      HWND target;
      if (LOWORD(lParam)) target = reinterpret_cast<HWND>(wParam);
      else target = GetNextDlgTabItem(hDlg, GetFocus(), wParam != 0);
      focusControl(hDlg, target);
      return 0;
    }
    case WM_ACTIVATE:
      if (t_focusing) return 0;
      if (LOWORD(wParam) != WA_INACTIVE) {
        HWND saved = nullptr;
        withState(hDlg, [&](DialogState& s) { saved = s.savedFocus; });
        if (!saved || !IsWindow(saved) || !IsChild(hDlg, saved)) saved = GetNextDlgTabItem(hDlg, nullptr, FALSE);
        if (saved) focusControl(hDlg, saved);
      } else {
        HWND focus = GetFocus();
        if (focus && IsChild(hDlg, focus)) withState(hDlg, [&](DialogState& s) { s.savedFocus = focus; });
      }
      return 0;
    case WM_SETFOCUS: {
      // The focus given to the dialog goes on to its control that had it last, else the first.
      if (t_focusing) return 0;
      HWND target = nullptr;
      withState(hDlg, [&](DialogState& s) { target = s.savedFocus; });
      if (!target || !IsWindow(target) || !IsChild(hDlg, target)) target = GetNextDlgTabItem(hDlg, nullptr, FALSE);
      if (target) focusControl(hDlg, target);
      return 0;
    }
    case WM_SETFONT:
    case WM_GETFONT:
      return platform::gdi::windowFontMessage(hDlg, msg, wParam, lParam);
    case WM_NCDESTROY: {
      platform::gdi::releaseDialogFont(hDlg);
      {
        std::lock_guard lock(g_stateMutex);
        g_states.erase(hDlg);
      }
      return DefWindowProcW(hDlg, msg, wParam, lParam);
    }
    default:
      return DefWindowProcW(hDlg, msg, wParam, lParam);
  }
}

}  // namespace

LRESULT DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_NCCREATE) {
    if (t_pendingSet) {
      SetWindowLongPtrW(hDlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(t_pendingProc));
      t_pendingSet = false;
    }
    if (auto hook = g_creationHook.load()) hook(hDlg);
  }
  auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hDlg, DWLP_DLGPROC));
  INT_PTR handled = 0;
  if (proc) {
    SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, 0);
    handled = proc(hDlg, Msg, wParam, lParam);
  }
  if (handled) {
    if (answersDirectly(Msg)) return handled;
    return IsWindow(hDlg) ? GetWindowLongPtrW(hDlg, DWLP_MSGRESULT) : 0;
  }
  if (!IsWindow(hDlg)) return 0;
  return defaultDialogAction(hDlg, Msg, wParam, lParam);
}

// ---- Keyboard navigation ----

namespace {

void clickCommand(HWND hDlg, int id) {
  HWND button = GetDlgItem(hDlg, id);
  // A disabled button does nothing, as a click on it would.
  if (button && !IsWindowEnabled(button)) return;
  SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace

BOOL IsDialogMessageW(HWND hDlg, LPMSG lpMsg) {
  if (!hDlg || !lpMsg || !IsWindow(hDlg)) return FALSE;
  if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
  const HWND target = lpMsg->hwnd;
  if (lpMsg->message == WM_KEYDOWN) {
    UINT code = dlgCode(target, lpMsg);
    if (!(code & DLGC_WANTALLKEYS)) {
      switch (lpMsg->wParam) {
        case VK_TAB:
          if (code & DLGC_WANTTAB) break;
          // Without a keyboard state, Tab moves forward; WM_NEXTDLGCTL(1) moves back.
          SendMessageW(hDlg, WM_NEXTDLGCTL, 0, 0);
          return TRUE;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: {
          if (code & DLGC_WANTARROWS) break;
          const bool back = lpMsg->wParam == VK_LEFT || lpMsg->wParam == VK_UP;
          HWND next = GetNextDlgGroupItem(hDlg, target, back);
          if (next && next != target) {
            focusControl(hDlg, next);
            // Moving onto an automatic radio button selects it.
            if ((dlgCode(next) & DLGC_RADIOBUTTON) &&
                (static_cast<DWORD>(GetWindowLongW(next, GWL_STYLE)) & kButtonTypeMask) == 0x09)
              SendMessageW(next, BM_CLICK, 0, 0);
          }
          return TRUE;
        }
        case VK_RETURN: {
          int id = IDOK;
          if (target != hDlg && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
            id = GetDlgCtrlID(target);
          } else {
            LRESULT def = SendMessageW(hDlg, DM_GETDEFID, 0, 0);
            if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
          }
          clickCommand(hDlg, id);
          return TRUE;
        }
        case VK_ESCAPE:
          clickCommand(hDlg, IDCANCEL);
          return TRUE;
        default:
          break;
      }
    }
  } else if (lpMsg->message == WM_CHAR) {
    UINT code = dlgCode(target, lpMsg);
    const WPARAM ch = lpMsg->wParam;
    // The characters of the keys handled above are swallowed unless the control wants them.
    if (!(code & (DLGC_WANTALLKEYS | DLGC_WANTCHARS)) &&
        ((ch == u'\t' && !(code & DLGC_WANTTAB)) || ch == u'\r' || ch == 0x1B))
      return TRUE;
  }
  TranslateMessage(lpMsg);
  DispatchMessageW(lpMsg);
  return TRUE;
}

// ---- Dialog items ----

BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  if (!item) return FALSE;
  return SetWindowTextW(item, lpString);
}

UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  if (!item) {
    if (lpString && cchMax > 0) lpString[0] = 0;
    return 0;
  }
  return static_cast<UINT>(
      SendMessageW(item, WM_GETTEXT, static_cast<WPARAM>(cchMax > 0 ? cchMax : 0), reinterpret_cast<LPARAM>(lpString)));
}

BOOL SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
  std::string s = bSigned ? std::to_string(static_cast<int>(uValue)) : std::to_string(uValue);
  return SetDlgItemTextW(hDlg, nIDDlgItem, text::fromUtf8(s).c_str());
}

UINT GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned) {
  if (lpTranslated) *lpTranslated = FALSE;
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  if (!item) return 0;
  int n = GetWindowTextLengthW(item);
  std::u16string buffer(static_cast<std::size_t>(n) + 1, u'\0');
  GetWindowTextW(item, buffer.data(), n + 1);
  std::size_t i = 0;
  while (i < buffer.size() && buffer[i] == u' ') ++i;
  bool negative = false;
  if (bSigned && i < buffer.size() && buffer[i] == u'-') {
    negative = true;
    ++i;
  }
  unsigned long long value = 0;
  std::size_t digits = 0;
  const unsigned long long limit = bSigned ? (negative ? 0x80000000ull : 0x7FFFFFFFull) : 0xFFFFFFFFull;
  for (; i < buffer.size() && buffer[i] >= u'0' && buffer[i] <= u'9'; ++i, ++digits) {
    value = value * 10 + static_cast<unsigned>(buffer[i] - u'0');
    if (value > limit) return 0;
  }
  while (i < buffer.size() && buffer[i] == u' ') ++i;
  if (digits == 0 || (i < buffer.size() && buffer[i] != u'\0')) return 0;
  if (lpTranslated) *lpTranslated = TRUE;
  return negative ? static_cast<UINT>(-static_cast<long long>(value)) : static_cast<UINT>(value);
}

BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
  HWND item = GetDlgItem(hDlg, nIDButton);
  if (!item) return FALSE;
  SendMessageW(item, BM_SETCHECK, uCheck, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int nIDButton) {
  HWND item = GetDlgItem(hDlg, nIDButton);
  return item ? static_cast<UINT>(SendMessageW(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  for (int id = nIDFirstButton; id <= nIDLastButton; ++id)
    if (HWND item = GetDlgItem(hDlg, id))
      SendMessageW(item, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
  return TRUE;
}

LRESULT SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  std::vector<HWND> controls;
  collectControls(hDlg, controls);
  const int n = static_cast<int>(controls.size());
  if (n == 0) return nullptr;
  int start = -1;
  for (int i = 0; i < n; ++i)
    if (controls[i] == hCtl) start = i;
  const int step = bPrevious ? -1 : 1;
  if (start < 0) start = bPrevious ? 0 : n - 1;  // so the first step lands on the first (last) control
  for (int k = 1; k <= n; ++k) {
    HWND h = controls[static_cast<std::size_t>(((start + step * k) % n + n) % n)];
    if ((GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP) && isFocusable(h)) return h;
  }
  return nullptr;
}

HWND GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  if (!hCtl || !IsChild(hDlg, hCtl)) hCtl = GetWindow(hDlg, GW_CHILD);
  if (!hCtl) return nullptr;
  HWND parent = GetParent(hCtl);
  // The group: from the nearest WS_GROUP control at or before hCtl up to the next one.
  std::vector<HWND> siblings;
  for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) siblings.push_back(h);
  int index = 0;
  for (int i = 0; i < static_cast<int>(siblings.size()); ++i)
    if (siblings[static_cast<std::size_t>(i)] == hCtl) index = i;
  int first = index;
  while (first > 0 && !(GetWindowLongW(siblings[static_cast<std::size_t>(first)], GWL_STYLE) & WS_GROUP)) --first;
  int last = index;
  while (last + 1 < static_cast<int>(siblings.size()) &&
         !(GetWindowLongW(siblings[static_cast<std::size_t>(last + 1)], GWL_STYLE) & WS_GROUP))
    ++last;
  const int size = last - first + 1;
  const int step = bPrevious ? -1 : 1;
  for (int k = 1; k <= size; ++k) {
    int i = first + ((index - first + step * k) % size + size) % size;
    HWND h = siblings[static_cast<std::size_t>(i)];
    if (isFocusable(h)) return h;
  }
  return hCtl;
}

BOOL MapDialogRect(HWND, LPRECT lpRect) {
  if (!lpRect) return FALSE;
  using platform::dialog::kBaseUnitX;
  using platform::dialog::kBaseUnitY;
  lpRect->left = mulDiv(lpRect->left, kBaseUnitX, 4);
  lpRect->right = mulDiv(lpRect->right, kBaseUnitX, 4);
  lpRect->top = mulDiv(lpRect->top, kBaseUnitY, 8);
  lpRect->bottom = mulDiv(lpRect->bottom, kBaseUnitY, 8);
  return TRUE;
}

LONG GetDialogBaseUnits() { return MAKELONG(platform::dialog::kBaseUnitX, platform::dialog::kBaseUnitY); }

// ---- Message boxes ----

namespace {

struct BoxButton {
  int id;
  const char16_t* text;
};

// Button texts and the order of each type's buttons, in one place.
constexpr BoxButton kOkButton{IDOK, u"OK"}, kCancelButton{IDCANCEL, u"Cancel"}, kAbortButton{IDABORT, u"&Abort"},
    kRetryButton{IDRETRY, u"&Retry"}, kIgnoreButton{IDIGNORE, u"&Ignore"}, kYesButton{IDYES, u"&Yes"},
    kNoButton{IDNO, u"&No"}, kTryButton{IDTRYAGAIN, u"&Try Again"}, kContinueButton{IDCONTINUE, u"&Continue"},
    kHelpButton{IDHELP, u"Help"};
constexpr const char16_t* kDefaultCaption = u"Error";
constexpr DWORD kStaticNoPrefix = 0x80;
constexpr WORD kTextId = 0xFFFF;
constexpr WORD kIconId = 20;
constexpr DWORD kStaticIcon = 0x03;
constexpr UINT kStmSetIcon = 0x0170;

// The system icon a box of this type shows, or null.
LPCWSTR boxIcon(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return IDI_HAND;
    case MB_ICONQUESTION: return IDI_QUESTION;
    case MB_ICONEXCLAMATION: return IDI_EXCLAMATION;
    case MB_ICONASTERISK: return IDI_ASTERISK;
    default: return nullptr;
  }
}

std::vector<BoxButton> buttonsOf(UINT type) {
  std::vector<BoxButton> b;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: b = {kOkButton, kCancelButton}; break;
    case MB_ABORTRETRYIGNORE: b = {kAbortButton, kRetryButton, kIgnoreButton}; break;
    case MB_YESNOCANCEL: b = {kYesButton, kNoButton, kCancelButton}; break;
    case MB_YESNO: b = {kYesButton, kNoButton}; break;
    case MB_RETRYCANCEL: b = {kRetryButton, kCancelButton}; break;
    case MB_CANCELTRYCONTINUE: b = {kCancelButton, kTryButton, kContinueButton}; break;
    default: b = {kOkButton}; break;
  }
  if (type & MB_HELP) b.push_back(kHelpButton);
  return b;
}

INT_PTR CALLBACK messageBoxProc(HWND h, UINT msg, WPARAM w, LPARAM) {
  if (msg != WM_COMMAND) return FALSE;
  const int id = LOWORD(w);
  if (id == IDHELP) return TRUE;  // Help is for the owner to answer; the box stays
  if (GetDlgItem(h, id)) {
    EndDialog(h, id);
    return TRUE;
  }
  // Escape or closing without a Cancel button: a lone OK answers, otherwise nothing happens.
  if (id == IDCANCEL && GetDlgItem(h, IDOK) && !GetDlgItem(h, IDYES) && !GetDlgItem(h, IDRETRY)) EndDialog(h, IDOK);
  return TRUE;
}

}  // namespace

int MessageBoxExW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType, WORD) {
  if (hWnd && !IsWindow(hWnd)) hWnd = nullptr;
  std::u16string message = lpText ? std::u16string(text::view(lpText)) : std::u16string();
  // The text's size in dialog units on the fixed metrics: 4 across per character, 8 down per line.
  int lines = 1, longest = 0, current = 0;
  for (char16_t c : message) {
    if (c == u'\n') {
      ++lines;
      current = 0;
    } else if (c != u'\r') {
      longest = std::max(longest, ++current);
    }
  }
  const std::vector<BoxButton> buttons = buttonsOf(uType);
  const int n = static_cast<int>(buttons.size());
  constexpr int kButtonCx = 50, kButtonCy = 14, kGap = 6, kMargin = 10;
  // A 32-pixel icon in dialog units, left of the text.
  constexpr int kIconCx = 21, kIconCy = 20;
  const LPCWSTR iconName = boxIcon(uType);
  const int textX = iconName ? kMargin + kIconCx + kMargin : kMargin;
  const int textCx = std::min(std::max(longest * 4, 40), 300);
  const int buttonsCx = n * kButtonCx + (n - 1) * kGap;
  const int cx = std::max(textX + textCx + kMargin, buttonsCx + 2 * kMargin);
  const int textCy = std::max(lines * 8, iconName ? kIconCy : 0);
  DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
  if (uType & MB_SYSTEMMODAL) t.style |= DS_SYSMODAL;
  t.exStyle = WS_EX_DLGMODALFRAME | ((uType & (MB_SYSTEMMODAL | MB_TOPMOST)) ? WS_EX_TOPMOST : 0);
  t.title = lpCaption ? std::u16string(text::view(lpCaption)) : std::u16string(kDefaultCaption);
  t.cx = static_cast<short>(cx);
  t.cy = static_cast<short>(kMargin + textCy + kMargin + kButtonCy + kMargin);
  ItemTemplate label;
  label.style = WS_CHILD | WS_VISIBLE | WS_GROUP | kStaticNoPrefix;
  label.x = static_cast<short>(textX);
  label.y = kMargin;
  label.cx = static_cast<short>(textCx);
  label.cy = static_cast<short>(textCy);
  label.id = kTextId;
  label.className = u"Static";
  label.title = message;
  t.items.push_back(label);
  if (iconName) {
    ItemTemplate icon;
    icon.style = WS_CHILD | WS_VISIBLE | kStaticIcon;
    icon.x = kMargin;
    icon.y = kMargin;
    icon.cx = kIconCx;
    icon.cy = kIconCy;
    icon.id = kIconId;
    icon.className = u"Static";
    t.items.push_back(icon);
  }
  const int def = std::min(static_cast<int>((uType & MB_DEFMASK) >> 8), n - 1);
  int x = (cx - buttonsCx) / 2;
  for (int i = 0; i < n; ++i) {
    ItemTemplate b;
    b.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) | (i == def ? kDefPushButton : kPushButton);
    b.x = static_cast<short>(x);
    b.y = static_cast<short>(kMargin + textCy + kMargin);
    b.cx = kButtonCx;
    b.cy = kButtonCy;
    b.id = static_cast<DWORD>(buttons[static_cast<std::size_t>(i)].id);
    b.className = u"Button";
    b.title = buttons[static_cast<std::size_t>(i)].text;
    t.items.push_back(b);
    x += kButtonCx + kGap;
  }
  t_nextTemplateId = 0;
  HWND box = createFromTemplate(nullptr, t, hWnd, messageBoxProc, 0, true);
  if (!box) return 0;
  if (iconName)
    if (HICON icon = LoadIconW(nullptr, iconName))
      SendDlgItemMessageW(box, kIconId, kStmSetIcon, reinterpret_cast<WPARAM>(icon), 0);
  platform::dialog::MessageBoxInfo info;
  info.text = message;
  info.caption = t.title;
  info.style = uType;
  info.owner = hWnd;
  withState(box, [&](DialogState& s) {
    s.messageBox = true;
    s.box = info;
  });
  // The default button has the focus, so Enter presses it.
  if (HWND b = GetDlgItem(box, buttons[static_cast<std::size_t>(def)].id)) focusControl(box, b);
  // A task-modal box without an owner keeps every window of the thread from input meanwhile.
  std::vector<HWND> disabled;
  if ((uType & MB_TASKMODAL) && !hWnd) {
    std::pair<HWND, std::vector<HWND>*> search{box, &disabled};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(p);
          if (h != s->first && IsWindowEnabled(h)) s->second->push_back(h);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    for (HWND h : disabled) EnableWindow(h, FALSE);
  }
  int result = 0;
  {
    // Given back also when a handler throws while the box is up.
    struct Reenable {
      const std::vector<HWND>& windows;
      ~Reenable() {
        try {
          for (HWND h : windows)
            if (IsWindow(h)) EnableWindow(h, TRUE);
        } catch (...) {  // a second exception while the first one unwinds would end the program
        }
      }
    } reenable{disabled};
    result = static_cast<int>(runModal(box));
  }
  platform::ui::recordBox({info.text, info.caption, info.style, info.owner, result});
  return result;
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  std::u16string message = lpText ? platform::text::ansiToWide(lpText) : std::u16string();
  std::u16string caption = lpCaption ? platform::text::ansiToWide(lpCaption) : std::u16string();
  return MessageBoxExW(hWnd, message.c_str(), lpCaption ? caption.c_str() : nullptr, uType, 0);
}

BOOL MessageBeep(UINT uType) {
  std::lock_guard lock(g_beepMutex);
  g_beeps.push_back(uType);
  return TRUE;
}

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  return MessageBoxExW(hWnd, lpText, lpCaption, uType, 0);
}
