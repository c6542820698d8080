// The administrator logon: logon, impersonation, the steps, and the return to the user's account.
#include "ui/admin_logon_dialog.h"

#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/secure_drive_services.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/dialog_support.h"

BEGIN_MESSAGE_MAP(CUserLogonDialog, CDialog)
  ON_BN_CLICKED(IDC_ADMIN_MORE_INFO, OnMoreInformation)
END_MESSAGE_MAP()

CUserLogonDialog::CUserLogonDialog(std::vector<CAdminUserOperation*>* steps, CWnd* parent)
    : CDialog(IDD_ADMIN_LOGON, parent), m_steps(steps) {}

// An impersonation kept for a step is given up at the latest with the object that holds its token.
CUserLogonDialog::~CUserLogonDialog() { revertToSelf(); }

void CUserLogonDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_ADMIN_STEPS, m_stepList);
  DDX_Text(pDX, IDC_ADMIN_PASSWORD, m_password);
  DDX_Text(pDX, IDC_ADMIN_USER, m_userName);
}

bool CUserLogonDialog::revertToSelf() {
  if (m_token == nullptr) return true;
  return ::revertToSelf(m_token);
}

BOOL CUserLogonDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  replaceUiPlaceholders(m_hWnd);
  const CUserCredentials remembered = secureDriveServices().adminCredentials();
  if (!remembered.userName.IsEmpty()) {
    m_userName = remembered.userName;
    m_password = remembered.password;
    UpdateData(FALSE);
    if (logonAndRun(true)) {
      EndDialog(IDOK);
      return TRUE;
    }
  }
  if (m_steps != nullptr) {
    for (CAdminUserOperation* step : *m_steps) m_stepList.AddString(step->getTitle());
  }
  setDialogBigIcon(*this);
  if (CWnd* user = GetDlgItem(IDC_ADMIN_USER)) user->SetFocus();
  return FALSE;
}

void CUserLogonDialog::OnOK() {
  if (!UpdateData(TRUE)) {
    showMessageById(IDS_ADMIN_FIELDS_UNREADABLE);
    return;
  }
  if (logonAndRun(false)) EndDialog(IDOK);
}

bool CUserLogonDialog::logonAndRun(bool silent) {
  if (m_steps == nullptr) {
    writeLog(u"{UserLogonDialog}: admin user operations list is null.");
    return false;
  }
  const CUserCredentials credentials(m_userName, m_password);
  // Asked of the user's own account: under the administrator's token every step would answer
  // that it needs nothing, and none would run or keep the rights.
  std::vector<bool> needed;
  for (CAdminUserOperation* step : *m_steps) needed.push_back(step->needsAdminRights());
  if (m_token == nullptr) {
    HANDLE token = nullptr;
    if (!impersonateUser(credentials.userName, credentials.password, token)) {
      if (!silent) showMessageById(IDS_ADMIN_LOGON_FAILED);
      return false;
    }
    m_token = token;
    secureDriveServices().adminCredentials() = credentials;
  }
  bool failed = false;
  bool keeps = false;
  for (std::size_t i = 0; i < m_steps->size(); ++i) {
    CAdminUserOperation* step = (*m_steps)[i];
    if (!needed[i]) continue;
    if (!step->execute()) failed = true;
    if (step->keepsAdminRights()) keeps = true;
  }
  if (!keeps) revertToSelf();
  if (failed) {
    writeLog(u"{OutlookCustomizer}: Failed to write MS Mapi Apps registry value for %s. Most likely no admin privs. "
             u"Make sure Outlook is the default mail client.",
             credentials.userName);
    return false;
  }
  if (!silent && !keeps) showMessageById(IDS_ADMIN_LOGON_DONE, g_applicationName);
  return true;
}

void CUserLogonDialog::OnMoreInformation() {
  const int selected = m_stepList.GetCurSel();
  if (selected == LB_ERR) {
    showMessageById(IDS_ADMIN_SELECT_STEP);
    return;
  }
  if (m_steps == nullptr || selected >= static_cast<int>(m_steps->size())) {
    showMessageById(IDS_ADMIN_NO_STEPS);
    return;
  }
  showMessage(u"%s", (*m_steps)[selected]->getDescription());
}
