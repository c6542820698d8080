// The logout question, with the login computer's nickname when there is one.
#include "ui/logout_dialog.h"

#include "app/file_util.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "ui/dialog_support.h"

CLogoutDialog* CLogoutDialog::s_running = nullptr;

CLogoutDialog::CLogoutDialog(CWnd* parent) : CDialog(IDD_LOGOUT, parent), m_text(loadResString(IDS_VIEW_SESSION_LEFT_OVER)) {}

void CLogoutDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_LOGOUT_TEXT, m_text);
}

BOOL CLogoutDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  if (CSystemProfile* login = getProfileDatabase().getLoginProfile())
    m_text = formatMessageText(loadResString(IDS_LOGOUT_OF_COMPUTER), login->m_nickname);
  UpdateData(FALSE);
  return TRUE;
}

INT_PTR CLogoutDialog::DoModal() {
  if (s_running) {
    if (s_running->m_hWnd) {
      s_running->SetFocus();
      s_running->BringWindowToTop();
    }
    return IDCANCEL;
  }
  s_running = this;
  INT_PTR result = CDialog::DoModal();
  s_running = nullptr;
  return result;
}
