// The rich-edit control classes: "RICHEDIT" (version 1) and "RichEdit20W"/"RichEdit20A"
// (version 2), each an edit control (multi-line with ES_MULTILINE) that also answers the
// rich-edit messages the product may send. No character formatting is kept: text only.
//
// As on Windows, the classes exist only once the rich-edit library is initialised
// (registerRichEditClasses, called by AfxInitRichEdit and AfxInitRichEdit2); creating one before
// fails with ERROR_CANNOT_FIND_WND_CLASS. Unlike the plain edit, a rich edit sends its parent
// EN_CHANGE and EN_UPDATE only when its event mask asks for them (ENM_CHANGE, ENM_UPDATE; none
// at first), and its text limit starts at 32,767 characters.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/message.h"

#define RICHEDIT_CLASS10W u"RICHEDIT"
#define RICHEDIT_CLASSW u"RichEdit20W"
#define RICHEDIT_CLASSA "RichEdit20A"

#define EM_EXGETSEL (WM_USER + 52)
#define EM_EXLIMITTEXT (WM_USER + 53)
#define EM_EXSETSEL (WM_USER + 55)
#define EM_GETEVENTMASK (WM_USER + 59)
#define EM_SETBKGNDCOLOR (WM_USER + 67)
#define EM_SETEVENTMASK (WM_USER + 69)
#define EM_GETTEXTLENGTHEX (WM_USER + 95)

#define ENM_NONE 0x00000000
#define ENM_CHANGE 0x00000001
#define ENM_UPDATE 0x00000002

#define GTL_DEFAULT 0
#define GTL_USECRLF 1
#define GTL_PRECISE 2
#define GTL_CLOSE 4
#define GTL_NUMCHARS 8
#define GTL_NUMBYTES 16

struct CHARRANGE {
  LONG cpMin;
  LONG cpMax;
};

struct GETTEXTLENGTHEX {
  DWORD flags;
  UINT codepage;
};

namespace platform::controls {

// Registers the classes of one rich-edit version (1: "RICHEDIT"; 2: "RichEdit20W" and
// "RichEdit20A") in the calling process; later calls do nothing. False for another version.
bool registerRichEditClasses(int version);

namespace detail {
// Whether a control's parent is to be told of `code` (EN_CHANGE, EN_UPDATE): always for a plain
// edit, by the event mask for a rich edit.
bool richEditWants(HWND control, int code);
}  // namespace detail

}  // namespace platform::controls
