// Registration of the control classes in the process, InitCommonControls, and the helpers the
// classes share for talking to their parent.
#include <algorithm>
#include <mutex>

#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/controls/richedit.h"
#include "platform/win32/error.h"

namespace platform::controls {

namespace {

struct ClassEntry {
  const char16_t* name;
  WNDPROC proc;
  UINT style;
};

const ClassEntry kClasses[] = {
    {WC_BUTTONW, detail::buttonProc, CS_DBLCLKS | CS_PARENTDC},
    {WC_EDITW, detail::editProc, CS_DBLCLKS | CS_PARENTDC},
    {WC_STATICW, detail::staticProc, CS_DBLCLKS | CS_PARENTDC},
    {WC_LISTBOXW, detail::listBoxProc, CS_DBLCLKS | CS_PARENTDC},
    {WC_COMBOBOXW, detail::comboBoxProc, CS_DBLCLKS | CS_PARENTDC},
    {WC_LISTVIEWW, detail::listViewProc, CS_DBLCLKS},
    {WC_TREEVIEWW, detail::treeViewProc, CS_DBLCLKS},
    {PROGRESS_CLASSW, detail::progressProc, 0},
    {WC_TABCONTROLW, detail::tabProc, CS_DBLCLKS},
    {ANIMATE_CLASSW, detail::animateProc, CS_DBLCLKS},
    {TOOLTIPS_CLASSW, detail::tooltipProc, CS_DBLCLKS | CS_SAVEBITS},
};

}  // namespace

void registerCommonClasses() {
  // Classes live as long as the process; a class already there (registered by an earlier call,
  // perhaps under another host in a test process) is kept.
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  DWORD saved = GetLastError();
  for (const ClassEntry& c : kClasses) {
    WNDCLASSW existing;
    if (GetClassInfoW(nullptr, c.name, &existing)) continue;
    WNDCLASSW wc{};
    wc.style = c.style | CS_GLOBALCLASS;
    wc.lpfnWndProc = c.proc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = c.name;
    RegisterClassW(&wc);
  }
  SetLastError(saved);
}

namespace detail {

void notifyCommand(HWND control, int code) {
  HWND p = GetParent(control);
  if (!p || !richEditWants(control, code)) return;
  auto id = static_cast<WORD>(GetWindowLongPtrW(control, GWLP_ID));
  SendMessageW(p, WM_COMMAND, MAKEWPARAM(id, static_cast<WORD>(code)), reinterpret_cast<LPARAM>(control));
}

LRESULT notify(HWND control, NMHDR& header, UINT code) {
  header.hwndFrom = control;
  header.idFrom = static_cast<UINT_PTR>(GetWindowLongPtrW(control, GWLP_ID));
  header.code = code;
  HWND p = GetParent(control);
  if (!p) return 0;
  return SendMessageW(p, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

void sendDrawItem(HWND control, UINT type, UINT itemId, UINT action, UINT state, const RECT& rc, ULONG_PTR data,
                  HDC hdc) {
  HWND p = GetParent(control);
  if (!p) return;
  DRAWITEMSTRUCT dis{};
  dis.CtlType = type;
  dis.CtlID = static_cast<UINT>(GetWindowLongPtrW(control, GWLP_ID));
  dis.itemID = itemId;
  dis.itemAction = action;
  dis.itemState = state;
  dis.hwndItem = control;
  dis.hDC = hdc;
  dis.rcItem = rc;
  dis.itemData = data;
  SendMessageW(p, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
}

int copyOut(std::u16string_view text, LPWSTR buffer, int max) {
  if (!buffer || max <= 0) return 0;
  int n = static_cast<int>(std::min<std::size_t>(text.size(), static_cast<std::size_t>(max - 1)));
  std::copy_n(text.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

int clientHeight(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r.bottom - r.top;
}

int clientWidth(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r.right - r.left;
}

bool startsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && text::equalNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace detail
}  // namespace platform::controls

void InitCommonControls() { platform::controls::registerCommonClasses(); }

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
  platform::controls::registerCommonClasses();
  return TRUE;
}
