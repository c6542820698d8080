// The custom message box: a modal box built at run time as an in-memory dialog template
// (CXDialogTemplate), with the standard button sets and a few more (Yes to all, Skip, Ignore all,
// custom texts), a countdown that presses the default button, buttons held disabled for a while,
// an optional "don't ask again" check box whose answer is remembered in the registry, and Help
// and Report buttons. Unlike the program's other boxes it takes its caption from the caller and
// is not written to the log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/win32/dialog.h"
#include "platform/win32/gdi.h"

// Style bits beyond the standard message-box ones.
inline constexpr UINT XMB_DONOTASKAGAIN = 0x01000000;   // check box "Don't ask me again"
inline constexpr UINT XMB_DONOTTELLAGAIN = 0x02000000;  // check box "Don't tell me again"
inline constexpr UINT XMB_DONOTSHOWAGAIN = 0x04000000;  // check box "Don't show again"
inline constexpr UINT XMB_YESTOALL = 0x08000000;        // Yes to all in the Yes/No sets
inline constexpr UINT XMB_NOTOALL = 0x10000000;         // No to all in the Yes/No sets
inline constexpr UINT XMB_NORESOURCE = 0x20000000;      // button texts from the program's own strings only
inline constexpr UINT XMB_NOSOUND = 0x40000000;
inline constexpr UINT XMB_REMEMBER_BITS = XMB_DONOTASKAGAIN | XMB_DONOTTELLAGAIN | XMB_DONOTSHOWAGAIN;
// Added to the result when the countdown pressed the default button.
inline constexpr UINT XMB_TIMEOUT = 0x80000000;

// Button set types (style & 0xF) beyond the standard six.
inline constexpr UINT XMB_CANCELTRYCONTINUE = 6;
inline constexpr UINT XMB_CONTINUEABORT = 7;
inline constexpr UINT XMB_SKIPSKIPALLCANCEL = 8;
inline constexpr UINT XMB_IGNOREIGNOREALLCANCEL = 9;

// Control ids (and results) beyond IDOK..IDCONTINUE.
inline constexpr int IDSKIP = 14;
inline constexpr int IDSKIPALL = 15;
inline constexpr int IDIGNOREALL = 16;
inline constexpr int IDYESTOALL = 19;
inline constexpr int IDNOTOALL = 20;
inline constexpr int IDXMBHELP = 300;
inline constexpr int IDXMBREPORT = 301;
inline constexpr int IDXMBCHECKBOX = 5555;
inline constexpr int IDXMBICON = 1000;
inline constexpr int IDXMBTEXT = 1001;

// The options of one box; all zero or empty by default.
struct XMessageBoxOptions {
  int countdownSeconds = 0;  // the default button is pressed when it reaches zero
  int disabledSeconds = 0;   // every button stays disabled for that long
  int x = 0, y = 0;          // both zero: centred on the owner
  HINSTANCE iconModule = nullptr;
  LPCWSTR iconName = nullptr;  // an icon resource id (MAKEINTRESOURCE) or name in iconModule (else the program)
  HINSTANCE stringModule = nullptr;  // module of string ids for text, caption and buttons 9001-9019
  CString customButtons;             // button texts separated by line feeds, at most 4 shown
  DWORD helpContext = 0;
  CString reportCaption;
  void (*reportFunction)(DWORD_PTR argument) = nullptr;
  DWORD_PTR reportArgument = 0;
  CString company;  // the remembered answer's key: HKCU\Software\<company>\<program>\XMessageBox
  CString key;      // with `number`, names the remembered answer's value
  int number = 0;
  bool rightJustifyButtons = false;
  bool topmost = false;
  bool foreground = false;
};

// Shows the box and returns the id of the pressed button, with the remembered-answer bit of the
// style added when the check box was ticked (and XMB_TIMEOUT when the countdown ran out). text
// and caption may be string ids (MAKEINTRESOURCE) of the options' string module, else the program.
// A remembered answer is returned without showing anything.
int showXMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style, const XMessageBoxOptions* options,
                    HICON icon);

// The remembered answer's value name for a key text and number (value-name encoding of the box).
CString xMessageBoxValueName(const CString& key, int number);

// The box's in-memory dialog template and its run.
class CXDialogTemplate {
 public:
  CXDialogTemplate(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style, const XMessageBoxOptions& options,
                   HICON icon);
  virtual ~CXDialogTemplate();
  CXDialogTemplate(const CXDialogTemplate&) = delete;
  CXDialogTemplate& operator=(const CXDialogTemplate&) = delete;

  // Runs the box modally; the dialog result.
  int run();

  // The buttons in order (ids), and the default one; for callers that lay out or test.
  const std::vector<int>& buttonIds() const { return m_buttons; }
  int defaultButton() const { return m_defaultId; }

 private:
  struct Control {
    WORD classAtom;  // 0x80 button, 0x81 edit, 0x82 static
    int id;
    DWORD style;
    RECT rect;  // pixels until the template is written
    CString text;
  };

  static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void build();
  CString buttonText(int id) const;
  std::vector<BYTE> templateBytes() const;
  void onInit(HWND dialog);
  void stopCountdown(HWND dialog);
  // Ends the box with the button's id, the remembered-answer bits when the check box is ticked
  // (stored when the options name a key), and extraBits.
  void finish(HWND dialog, int id, int extraBits = 0);
  bool hasCancel() const;
  bool okOnly() const;

  HWND m_owner;
  CString m_text;
  CString m_caption;
  UINT m_style;
  XMessageBoxOptions m_options;
  HICON m_callerIcon;
  HICON m_icon = nullptr;
  bool m_ownsIcon = false;
  HFONT m_font = nullptr;
  std::vector<Control> m_controls;
  std::vector<int> m_buttons;
  int m_defaultId = IDOK;
  SIZE m_size{};  // pixels
  int m_countdown = 0;
  int m_disabled = 0;
  CString m_defaultCaption;
};
