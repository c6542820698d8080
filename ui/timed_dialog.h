// CTimedDialog: a modal dialog that counts down in its title bar once a second and, at zero,
// presses its default button (OK, or Cancel when m_defaultAction is not 1) through the virtual
// OnOK/OnCancel, so a subclass's overrides run.
#pragma once

#include "platform/afx/afxwin.h"

class CTimedDialog : public CDialog {
 public:
  CTimedDialog(int seconds, UINT templateId, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;

  // The title as it stands: m_title with the seconds left (string 433).
  CString countdownTitle() const;

  UINT_PTR m_timer = 0;
  int m_defaultAction = 1;
  int m_secondsLeft;
  CString m_title;

 protected:
  // Kills a running countdown timer, starts timer 1 (1000 ms) and writes the title at once.
  void startCountdown();
  void writeTitle();
  static void CALLBACK timerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
};
