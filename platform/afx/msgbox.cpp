// The framework's message box: owner, caption and default icon, then MessageBoxW.
#include "platform/afx/msgbox.h"

#include "platform/afx/app.h"
#include "platform/afx/wnd.h"
#include "platform/win32/dialog.h"
#include "platform/win32/window.h"

int platform::afx::frameworkMessageBox(LPCWSTR text, UINT type) {
  HWND owner = ::GetActiveWindow();
  if (!owner)
    if (CWnd* main = AfxGetMainWnd()) owner = main->GetSafeHwnd();
  while (owner && (::GetWindowLongW(owner, GWL_STYLE) & WS_CHILD)) owner = ::GetParent(owner);
  if ((type & MB_ICONMASK) == 0) {
    switch (type & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL: type |= MB_ICONEXCLAMATION; break;
      case MB_YESNO:
      case MB_YESNOCANCEL: type |= MB_ICONQUESTION; break;
      default: break;
    }
  }
  LPCWSTR caption = AfxGetAppName();
  return ::MessageBoxW(owner, text, caption, type);
}
