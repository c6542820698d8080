// The countdown runs on timer 1 with a timer procedure that finds the dialog through the window's
// user data, so the dialog's own message map stays free for its subclasses.
#include "ui/timed_dialog.h"

#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"

namespace {

constexpr UINT_PTR kCountdownTimer = 1;
constexpr UINT kTickMs = 1000;

}  // namespace

CTimedDialog::CTimedDialog(int seconds, UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), m_secondsLeft(seconds) {}

BOOL CTimedDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  replaceUiPlaceholders(m_hWnd);
  SetWindowLongPtrW(m_hWnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
  GetWindowText(m_title);
  return TRUE;
}

CString CTimedDialog::countdownTitle() const {
  return formatMessageText(loadResString(IDS_TIMED_TITLE), m_title, m_secondsLeft);
}

void CTimedDialog::writeTitle() { SetWindowText(countdownTitle()); }

void CTimedDialog::startCountdown() {
  if (m_timer != 0) ::KillTimer(m_hWnd, m_timer);
  m_timer = ::SetTimer(m_hWnd, kCountdownTimer, kTickMs, &CTimedDialog::timerProc);
  writeTitle();
}

void CALLBACK CTimedDialog::timerProc(HWND window, UINT, UINT_PTR id, DWORD) {
  auto* dialog = reinterpret_cast<CTimedDialog*>(GetWindowLongPtrW(window, GWL_USERDATA));
  if (dialog == nullptr || id != kCountdownTimer) return;
  if (--dialog->m_secondsLeft > 0) {
    dialog->writeTitle();
    return;
  }
  ::KillTimer(window, dialog->m_timer);
  dialog->m_timer = 0;
  if (dialog->m_defaultAction == 1) dialog->OnOK();
  else dialog->OnCancel();
}
