// Message boxes and resource strings. Every box of the program goes through showMessageBox, which
// hands it to the installed message-box sink: tests install one that records the box and answers
// it; without one the box is a real MessageBoxExW.
// Texts come from the language library by string id; showMessage and showMessageById write the
// box's text to the log as well, questions (askYesNoById) are not logged.
#pragma once

#include <functional>

#include "app/log.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/win32/dialog.h"

// One standard message box, as the program asks for it.
struct MessageBoxRequest {
  HWND owner = nullptr;
  CString text;
  CString caption;
  UINT style = 0;
  WORD language = 0;  // 0: the user's; showMessage asks for 9 (English, neutral)
};

// Receives every standard message box and returns the id of the button pressed (IDOK ...).
using MessageBoxSink = std::function<int(const MessageBoxRequest&)>;
// Installs `sink` (an empty one restores the default) and returns the one it replaces.
// Without a sink, boxes are real MessageBoxExW boxes.
MessageBoxSink setMessageBoxSink(MessageBoxSink sink);
// The button a box of this style answers when the user just presses Enter (its default button).
int defaultButtonOf(UINT style);

// The one way the program shows a standard message box.
int showMessageBox(HWND owner, const CString& text, const CString& caption, UINT style, WORD language = 0);

// What showMessage needs from the application and the tray icon, installed by them; without
// them there is no owner window and no tray menu to switch off.
// ownerWindow: the application's current owner window for boxes.
// setTrayMenuEnabled: sets the tray icon's menu flag and returns its previous value.
void setMessageOwnerSource(std::function<HWND()> ownerWindow);
void setTrayMenuSwitch(std::function<bool(bool enabled)> setTrayMenuEnabled);

// The information box with an already formatted text (cut to kMessageTextLimit units): the tray
// menu is off and the popup image window hidden while it is up; the text is logged as it stands.
void showMessageText(const CString& text);

// A printf-style information box (system-modal, the program caption), also written to the log.
// A text from outside is an argument, never the format.
template <class... A>
void showMessage(LPCWSTR format, const A&... args) {
  showMessageText(formatMessageText(format, args...));
}
template <class... A>
void showMessage(const CString& format, const A&... args) = delete;

// The text of string `id` from the language library (then the program); when no module has it,
// a stop box "<message>: <id>" and an empty text.
CString loadResString(UINT id);

// The box of string `id` formatted with the arguments (through showMessage, so logged too).
template <class... A>
void showMessageById(UINT id, const A&... args) {
  CString format = loadResString(id);
  showMessageText(formatMessageText(format, args...));
}

// A Yes/No question of string `id` formatted with the arguments: system-modal, question icon,
// no owner, the program caption. True for Yes. Not logged.
bool askYesNoText(const CString& text);
template <class... A>
bool askYesNoById(UINT id, const A&... args) {
  CString format = loadResString(id);
  return askYesNoText(formatMessageText(format, args...));
}
