// The in-process UI driver: a test describes, in order, the dialogs, message boxes and menus it
// expects and what a user does in each; the driver acts when the window is up and its modal loop
// is idle, by sending the messages a user's mouse and keyboard would (the control then notifies
// its parent as it does for a person).
//
//   platform::ui::Script s;
//   s.dialog(IDD_SETTINGS).type(IDC_NAME, u"abc").check(IDC_FLAG, true).click(IDOK)
//    .box(u"Saved").answer(IDOK);
//   ... run the product code that shows them ...
//   EXPECT_TRUE(s.done());  EXPECT_TRUE(s.failures().empty());
//
// Rules:
// - Steps run strictly in order. A matcher (dialog, box, window) names the window the actions
//   after it act on, until the next matcher. Each action is one step, run at one idle moment of
//   a modal loop (dialog boxes, the framework's DoModal, message boxes, popup menus) whose window
//   matches the step's matcher; the loop then processes what the action caused before the next
//   step runs.
// - A control is named by its id in the matched window, or, when the window has no such child, in
//   the dialogs inside it (a property sheet's pages): the visible one first.
// - A modal window that is idle while the next step's matcher names another window (or while no
//   step is left) is unanswered: recorded as a failure with its text, then ended at once with
//   IDCANCEL (IDOK for a message box whose only button is OK; a popup menu is dismissed with no
//   command), without calling the product's own Cancel handling. Nothing is ever thrown through
//   product code.
// - An action on a control that is missing, disabled or hidden (or a menu item that is missing or
//   grayed) is refused: recorded as a failure, and the step is used up all the same, so the
//   script goes on and the window is then handled by the steps after it (or ended as unanswered).
// - wait(ms) starts when it is reached at an idle moment (of any modal loop) and holds back the
//   steps after it until `ms` of monotonic time have passed; meanwhile the loop runs, so timers
//   fire and timed dialogs may close themselves. Under a virtual clock the loop's wait advances
//   virtual time to the end at once; on the real clock it takes that long (scaled).
// - Steps for a window that runs no modal loop (a main frame) run in pump().
// - One Script is active per process while it lives (the newest, when several are nested); every
//   message box shown meanwhile is recorded in boxes(), answered or not.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace platform::ui {

// One message box as it was shown.
struct BoxRecord {
  std::u16string text;
  std::u16string caption;
  UINT style = 0;        // the MB_* flags given
  HWND owner = nullptr;  // the owner given (null for none)
  int result = 0;        // what MessageBox returned
};

class Script {
 public:
  Script();
  ~Script();
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  // ---- Matchers ----
  // A dialog made from the resource with this id (DialogBox*, CreateDialog*, CDialog).
  Script& dialog(int templateId);
  // A message box whose text contains a match of this ECMAScript regular expression.
  Script& box(std::u16string_view textPattern);
  // A window of this class (case-insensitive), e.g. u"#32770" or u"#32768" (a popup menu).
  Script& window(std::u16string_view className);

  // ---- Actions on the matched window ----
  Script& click(int controlId);                        // a left click on the control
  Script& type(int controlId, std::u16string_view text);  // focus, select all, then the characters
  Script& check(int controlId, int state);             // clicks until BST_* `state` (true: checked)
  Script& select(int controlId, int index);            // picks a list/combo/list-view row or tab
  Script& toggle(int controlId, int index);            // clicks the check box of a check list's row
  // Picks a tree view item by its texts from a top item down, joined by '\\' (u"Outlook\\Inbox"):
  // clicks the buttons of its collapsed ancestors, then its label.
  Script& selectTreeItem(int controlId, std::u16string_view path);
  Script& menu(UINT commandId);                        // picks a menu item (popup, or the window's menu)
  Script& enter();                                     // Enter on the focused control
  Script& escape();                                    // Escape on the focused control
  Script& close();                                     // the caption's Close (WM_SYSCOMMAND SC_CLOSE)
  Script& answer(int buttonId);                        // presses a message box's button
  Script& wait(std::uint32_t ms);

  // Runs the steps whose window is a top-level window of this thread that runs no modal loop
  // (found by its matcher among the thread's visible, enabled top-level windows), processing the
  // thread's messages between steps, until the next step names no such window or none is left.
  // Steps for dialogs the actions open run from those dialogs' loops as usual.
  void pump();

  // Every step has been used.
  bool done() const;
  // Descriptions of the steps not used yet.
  std::vector<std::string> remaining() const;
  // Unanswered windows (with their text) and refused actions, in order, UTF-8.
  std::vector<std::string> failures() const;
  // Every message box shown while the script was active.
  std::vector<BoxRecord> boxes() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// Called by every modal loop when its queue is empty, with the loop's window (a dialog, a message
// box, a popup menu window). Runs at most one step of the active script. Does nothing without one.
void modalIdle(HWND window);

// Called by the message box when it has been answered: the active script records it.
void recordBox(const BoxRecord& box);

}  // namespace platform::ui
