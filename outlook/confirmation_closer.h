// The closer of a host program's confirmation box: when the program closes a running Outlook or
// Word, the program may put up a box ("Do you want to save ...?") before it exits. The closer
// finds such boxes among the desktop's top-level windows by the start of their title and class,
// brings each up and presses its Yes button (the button whose text starts with the Yes text of
// the language library, string 912). The callers decide when to run it while they wait for the
// program to end.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

class CConfirmationCloser : public CObject {
 public:
  // A box matches when its title starts with one of the two fragments and its class name starts
  // with `windowClass`; every test is a case-sensitive prefix test.
  CConfirmationCloser(const CString& firstTitle, const CString& secondTitle, const CString& windowClass);
  ~CConfirmationCloser() override;
  CConfirmationCloser(const CConfirmationCloser&) = delete;
  CConfirmationCloser& operator=(const CConfirmationCloser&) = delete;

  // Looks at every top-level window; each matching box is logged ("Found %s Confirmation
  // Window: 0x%08X") and its Yes button pressed. True when at least one box was pressed in this
  // run; false when none was found or none had a Yes button.
  bool closeWindows();
  // The window's title (at most 1,024 characters) starts with either fragment and its class name
  // (at most 1,024 characters) with the window class.
  bool isConfirmationWindow(HWND window) const;

  const CString& getFirstTitle() const { return m_firstTitle; }
  // Set by the last closeWindows run.
  bool wasFound() const { return m_found; }
  void setFound(bool found) { m_found = found; }

 private:
  CString m_firstTitle;
  CString m_secondTitle;
  CString m_windowClass;
  bool m_found = false;
};

// The closer preset for Outlook's boxes.
class COutlookConfirmationCloser : public CConfirmationCloser {
 public:
  COutlookConfirmationCloser();
  ~COutlookConfirmationCloser() override;
};

// A child window that is a Yes button: its class name starts with "Button" and its text with
// string 912 of the language library (an empty string 912 matches no button).
bool isConfirmButton(HWND window);
// EnumChildWindows callback: `param` points at an HWND that receives each Yes button in turn, so
// the last one in enumeration order wins. Always goes on.
BOOL CALLBACK findConfirmButton(HWND window, LPARAM param);
// Finds the box's Yes button, shows the box (SW_SHOWDEFAULT) and sends the button BM_CLICK
// twice; false when the box has no Yes button.
bool clickConfirmButton(HWND window);
// EnumWindows callback: `param` is the CConfirmationCloser. Always goes on, so every box is
// handled in one run.
BOOL CALLBACK closeConfirmationCallback(HWND window, LPARAM param);
