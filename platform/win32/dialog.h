// The dialog manager: dialog boxes made from DLGTEMPLATE/DLGTEMPLATEEX templates (from a module's
// resources or from memory), the dialog window class "#32770" and its default procedure, modal
// loops, keyboard navigation (IsDialogMessageW) and the dialog-item helpers.
//
// Dialog units: with no real fonts, every dialog uses the same fixed base units, those of
// "MS Shell Dlg" 8 pt on a 96-dpi screen: 6 pixels across and 13 down per base unit, so a dialog
// unit is 6/4 pixel horizontally and 13/8 pixel vertically (MapDialogRect, GetDialogBaseUnits).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"

// ---- Dialog box command ids ----

#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDTRYAGAIN 10
#define IDCONTINUE 11
#endif
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// ---- Dialog styles ----

#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_LOCALEDIT 0x20L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOIDLEMSG 0x100L
#define DS_SETFOREGROUND 0x200L
#define DS_3DLOOK 0x0004L
#define DS_FIXEDSYS 0x0008L
#define DS_NOFAILCREATE 0x0010L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_CENTERMOUSE 0x1000L
#define DS_CONTEXTHELP 0x2000L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

// ---- Dialog messages, window data and codes ----

#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DM_REPOSITION (WM_USER + 2)
// The high word of DM_GETDEFID's answer when there is a default push button.
#define DC_HASDEFID 0x534B

// Offsets of the dialog window's extra bytes (GetWindowLongPtrW/SetWindowLongPtrW).
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16
#define DWL_MSGRESULT DWLP_MSGRESULT
#define DWL_DLGPROC DWLP_DLGPROC
#define DWL_USER DWLP_USER
#define DLGWINDOWEXTRA 30

// WM_GETDLGCODE answers.
#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTMESSAGE 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

// The dialog class name, as an atom-style name.
#define WC_DIALOG MAKEINTATOM(0x8002)

// ---- Templates (byte layouts; read field by field, never cast from unaligned memory) ----

#pragma pack(push, 2)
struct DLGTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
};
struct DLGITEMTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  short x;
  short y;
  short cx;
  short cy;
  WORD id;
};
#pragma pack(pop)
using LPDLGTEMPLATEW = DLGTEMPLATE*;
using LPCDLGTEMPLATEW = const DLGTEMPLATE*;
using LPCDLGTEMPLATE = const DLGTEMPLATE*;

using DLGPROC = INT_PTR(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

// ---- Creating dialogs ----

// A modeless dialog from a template in memory (DLGTEMPLATE or DLGTEMPLATEEX): creates the dialog
// window (class "#32770" unless the template names one), then its controls in template order, each
// by class name or by the ordinals 0x80..0x85 (Button, Edit, Static, ListBox, ScrollBar, ComboBox),
// then sends WM_INITDIALOG (WM_SETFONT first for a DS_SETFONT template: to the dialog, then to each
// control; the dialog deletes that font when destroyed) (wParam: the first control with
// WS_TABSTOP; lParam: dwInitParam); a TRUE answer gives that control the focus. Null when the
// template is malformed (ERROR_INVALID_PARAMETER), a control's class does not exist
// (ERROR_CANNOT_FIND_WND_CLASS; the dialog is destroyed unless DS_NOFAILCREATE) or the window cannot
// be created. The template is read only during the call.
HWND CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam);
// The same from resource RT_DIALOG `lpTemplateName` of module hInstance (null: the program).
HWND CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam);
inline HWND CreateDialogW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc) {
  return CreateDialogParamW(hInstance, lpTemplateName, hWndParent, lpDialogFunc, 0);
}
inline HWND CreateDialogIndirectW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                  DLGPROC lpDialogFunc) {
  return CreateDialogIndirectParamW(hInstance, lpTemplate, hWndParent, lpDialogFunc, 0);
}

// A modal dialog: disables the owner (the top-level window of hWndParent), shows the dialog and
// runs a message loop in the caller's thread until EndDialog; then re-enables the owner, destroys
// the dialog and returns EndDialog's result. -1 when the dialog cannot be created; 0 when the
// owner is not a window (ERROR_INVALID_WINDOW_HANDLE). A WM_QUIT seen by the loop ends the dialog
// and is posted again for the caller's loop.
INT_PTR DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam);
INT_PTR DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam);
inline INT_PTR DialogBoxW(HINSTANCE hInstance, LPCWSTR lpTemplate, HWND hWndParent, DLGPROC lpDialogFunc) {
  return DialogBoxParamW(hInstance, lpTemplate, hWndParent, lpDialogFunc, 0);
}
inline INT_PTR DialogBoxIndirectW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                  DLGPROC lpDialogFunc) {
  return DialogBoxIndirectParamW(hInstance, lpTemplate, hWndParent, lpDialogFunc, 0);
}

// Ends a modal dialog's loop with nResult (the dialog is hidden now, destroyed when the loop ends).
// For a modeless dialog it only hides it. FALSE with ERROR_INVALID_WINDOW_HANDLE for a window that
// is not a dialog.
BOOL EndDialog(HWND hDlg, INT_PTR nResult);

// The dialog window procedure behind "#32770": calls the dialog's DLGPROC first; when that returns
// FALSE, does the default (WM_CLOSE -> IDCANCEL, DM_GETDEFID/DM_SETDEFID, WM_NEXTDLGCTL, focus
// on activation). For messages whose answer is not the DLGPROC's BOOL, the answer is the value in
// DWLP_MSGRESULT.
LRESULT DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);

// Dialog keyboard navigation for a message about to be dispatched: Tab/Shift+Tab move the focus
// among WS_TABSTOP controls, arrows within a group, Enter sends WM_COMMAND for the default button
// (IDOK when there is none), Escape sends IDCANCEL. TRUE when the message was for hDlg or one of its
// controls (it has then been handled or dispatched).
BOOL IsDialogMessageW(HWND hDlg, LPMSG lpMsg);

// ---- Dialog items ----

BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax);
BOOL SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned);
// The item's text as a decimal number (leading and trailing blanks allowed). *lpTranslated (when
// given) says whether it was one in range; 0 otherwise.
UINT GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned);
BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck);
UINT IsDlgButtonChecked(HWND hDlg, int nIDButton);
// Checks nIDCheckButton and unchecks the other buttons from nIDFirstButton to nIDLastButton.
BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton);
LRESULT SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
// The next (or previous) visible, enabled control with WS_TABSTOP after hCtl, wrapping; hCtl itself
// when there is no other; null when there is none at all.
HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious);
// The next (or previous) visible, enabled control of hCtl's group (a group starts at a WS_GROUP
// control), wrapping within the group.
HWND GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious);

// Converts dialog units to pixels with the fixed base units (see the top of this file).
BOOL MapDialogRect(HWND hDlg, LPRECT lpRect);
// LOWORD: horizontal base unit (6), HIWORD: vertical base unit (13).
LONG GetDialogBaseUnits();

// ---- Message boxes ----

#ifndef MB_OK
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFBUTTON4 0x00000300L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_HELP 0x00004000L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L
#endif
#ifndef MB_SETFOREGROUND
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#endif

// A modal dialog of class "#32770" owned by hWnd (disabled meanwhile), captioned lpCaption
// ("Error" when null), showing lpText in a static control (id 0xFFFF) and the buttons of the
// type (OK, Cancel, Abort, Retry, Ignore, Yes, No, Try Again, Continue, Help) in that order,
// the MB_DEFBUTTONn one the default. Returns the id of the button pressed; Escape (or closing)
// answers IDCANCEL when there is a Cancel button, IDOK for a box with only OK, and nothing
// otherwise. 0 when the box cannot be made.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
// The language would choose the buttons' texts; they are English here.
int MessageBoxExW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType, WORD wLanguageId);
// The 8-bit form: the texts are in the ANSI code page.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
// Nothing sounds; each beep (its MB_ICON* type, or 0xFFFFFFFF for the simple beep) is counted for
// tests in platform::dialog::beeps().
BOOL MessageBeep(UINT uType);

namespace platform::dialog {

inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;

// One control of a parsed template.
struct ItemTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  DWORD helpId = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  std::u16string className;  // ordinals 0x80..0x85 already turned into their class names
  std::u16string title;
  WORD titleOrdinal = 0;     // when the title is an ordinal (an icon's resource id)
  bool titleIsOrdinal = false;
  std::vector<BYTE> creationData;
};

// A parsed DLGTEMPLATE or DLGTEMPLATEEX.
struct DialogTemplate {
  bool extended = false;
  DWORD style = 0;
  DWORD exStyle = 0;
  DWORD helpId = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::u16string menu;
  WORD menuOrdinal = 0;
  std::u16string className;  // empty: "#32770"
  std::u16string title;
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::u16string faceName;
  std::vector<ItemTemplate> items;
};

// Reads a template of `size` bytes (every count and string checked against the size); false when
// it is malformed.
bool parseTemplate(const BYTE* data, std::size_t size, DialogTemplate& out);

// A modeless dialog from `size` bytes of template (the framework's resource-chain loading).
HWND createDialog(HINSTANCE instance, const BYTE* bytes, std::size_t size, HWND parent, DLGPROC proc, LPARAM param);

// A modeless dialog from a parsed template (which the caller may have changed, as property sheets
// do to their pages' styles).
HWND createDialog(HINSTANCE instance, const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param);

// Called (process-wide) with each new dialog window while it handles its first message
// (WM_NCCREATE), before any other: the framework ties its dialog object to the window here.
using CreationHook = void (*)(HWND hDlg);
void setCreationHook(CreationHook hook);

// The MessageBeep calls of this process so far, in order.
std::vector<UINT> beeps();

// The resource id of the template a dialog was made from (DialogBox*, CreateDialog* and the
// framework's dialogs from a numbered resource); 0 for one made from memory or a named resource.
int templateIdOf(HWND hDlg);
// The next dialog this thread creates was made from resource `id` (the framework, which finds
// templates through its resource chain, says so before creating).
void setNextTemplateId(int id);

// What a message box was asked to show; false for a window that is not a message box.
struct MessageBoxInfo {
  std::u16string text;
  std::u16string caption;
  UINT style = 0;
  HWND owner = nullptr;
};
bool messageBoxInfo(HWND hDlg, MessageBoxInfo* out);

// The size of an in-memory template whose size nobody gives (DialogBoxIndirectParamW), found by
// walking it; there is no bound to check against, so a limit of 64 KiB applies.
inline constexpr std::size_t kMaxIndirectTemplate = 65536;

}  // namespace platform::dialog

// ---- Owner-drawn controls and window sizes (WM_DRAWITEM, WM_MEASUREITEM, WM_GETMINMAXINFO) ----

#define ODT_MENU 1
#define ODT_LISTBOX 2
#define ODT_COMBOBOX 3
#define ODT_BUTTON 4
#define ODT_STATIC 5
#define ODA_DRAWENTIRE 0x0001
#define ODA_SELECT 0x0002
#define ODA_FOCUS 0x0004
#define ODS_SELECTED 0x0001
#define ODS_GRAYED 0x0002
#define ODS_DISABLED 0x0004
#define ODS_CHECKED 0x0008
#define ODS_FOCUS 0x0010
#define ODS_DEFAULT 0x0020
#define ODS_COMBOBOXEDIT 0x1000
#define ODS_HOTLIGHT 0x0040
#define ODS_INACTIVE 0x0080
#define ODS_NOACCEL 0x0100
#define ODS_NOFOCUSRECT 0x0200

struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

struct MEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
};
using LPMEASUREITEMSTRUCT = MEASUREITEMSTRUCT*;

struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};
using LPMINMAXINFO = MINMAXINFO*;

// wParam of WM_CTLCOLOR as the class library passes it to OnCtlColor.
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6
