// The profile-choice dialog of a logon with a user interface.
#include "platform/modules/mapi32/logon_dialog.h"

#include <vector>

#include "platform/base/text.h"
#include "platform/modules/mapi32/profiles.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/dialog.h"
#include "platform/win32/dialog_builder.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"

namespace mapi {
namespace {

namespace text = platform::text;

struct Choice {
  std::vector<std::u16string> names;
  std::size_t initial = 0;
  std::u16string chosen;
};

INT_PTR CALLBACK choiceProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* choice = reinterpret_cast<Choice*>(GetWindowLongPtrW(dlg, GWLP_USERDATA));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dlg, GWLP_USERDATA, lp);
      choice = reinterpret_cast<Choice*>(lp);
      HWND list = GetDlgItem(dlg, kProfileListId);
      for (const std::u16string& n : choice->names) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
      SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(choice->initial), 0);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        const LRESULT at = SendMessageW(GetDlgItem(dlg, kProfileListId), LB_GETCURSEL, 0, 0);
        if (at < 0 || static_cast<std::size_t>(at) >= choice->names.size()) return TRUE;  // nothing chosen yet
        choice->chosen = choice->names[static_cast<std::size_t>(at)];
        EndDialog(dlg, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

HRESULT chooseProfile(HWND parent, std::u16string& chosen) {
  Choice choice;
  choice.names = profileNames();
  if (choice.names.empty()) return MAPI_E_LOGON_FAILED;
  const std::u16string byDefault = defaultProfile();
  for (std::size_t i = 0; i < choice.names.size(); ++i)
    if (text::equalNoCase(choice.names[i], byDefault)) choice.initial = i;
  platform::controls::registerCommonClasses();
  platform::dialog::TemplateBuilder t(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 200, 120, u"Choose Profile");
  t.item(WS_VISIBLE | SS_LEFT, 7, 7, 186, 9, 0xFFFF, u"Static", u"Profile Name:")
      .item(WS_VISIBLE | WS_BORDER | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY, 7, 18, 186, 76, kProfileListId, u"ListBox")
      .item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 89, 100, 50, 14, IDOK, u"Button", u"OK")
      .item(WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 143, 100, 50, 14, IDCANCEL, u"Button", u"Cancel");
  const INT_PTR r = DialogBoxIndirectParamW(nullptr, t.get(), parent, choiceProc, reinterpret_cast<LPARAM>(&choice));
  if (r != IDOK) return MAPI_E_USER_CANCEL;
  chosen = choice.chosen;
  return S_OK;
}

}  // namespace mapi
