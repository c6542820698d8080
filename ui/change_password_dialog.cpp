// Setting the first password (the drive is formatted meanwhile) and changing the password.
#include "ui/change_password_dialog.h"

#include "app/device_sdk.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"

namespace {

constexpr int kMaxPasswordLength = 15;
constexpr LPCWSTR kSecureAreaName = u"DaroriDede";
constexpr LPCWSTR kSynchronizedComputers = u"Synchronized Computers";

}  // namespace

CChangePasswordDialog::CChangePasswordDialog(int mode, CWnd* parent)
    : CDialog(mode == kChangeMode ? IDD_CHANGE_PASSWORD : IDD_FIRST_PASSWORD, parent), m_mode(mode) {}

void CChangePasswordDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_PW_CONFIRM, m_confirmPassword);
  DDV_MaxChars(pDX, m_confirmPassword, kMaxPasswordLength);
  DDX_Text(pDX, IDC_PW_NEW, m_newPassword);
  DDV_MaxChars(pDX, m_newPassword, kMaxPasswordLength);
  if (m_mode == kChangeMode) {
    DDX_Text(pDX, IDC_PW_CURRENT, m_currentPassword);
    DDV_MaxChars(pDX, m_currentPassword, kMaxPasswordLength);
  }
}

BOOL CChangePasswordDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  CDeviceSdk* sdk = secureDriveServices().getDeviceSdk();
  if (sdk == nullptr) {
    showMessageById(IDS_PW_NOT_SUPPORTED);
    OnCancel();
    return TRUE;
  }
  for (int id : {IDC_PW_NEW, IDC_PW_CONFIRM}) {
    m_passwordFont.apply(*this, id);
    SendDlgItemMessage(id, EM_LIMITTEXT, kMaxPasswordLength, 0);
  }
  if (m_mode == kChangeMode) {
    m_passwordFont.apply(*this, IDC_PW_CURRENT);
    SendDlgItemMessage(IDC_PW_CURRENT, EM_LIMITTEXT, kMaxPasswordLength, 0);
    if (!sdk->hasSecureArea()) {
      CString text = formatMessageText(loadResString(IDS_PW_NO_SECURE_AREA), g_applicationName, kSecureAreaName,
                                       kSecureAreaName, g_applicationName, g_applicationName, kSecureAreaName);
      text.Replace(u"~", deviceDisplayName());
      showMessageText(text);
      OnCancel();
      return TRUE;
    }
  }
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  return TRUE;
}

void CChangePasswordDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (m_newPassword != m_confirmPassword) {
    showMessageById(IDS_PW_MISMATCH);
    return;
  }
  if (m_newPassword.IsEmpty() && !askYesNoById(IDS_PW_EMPTY_QUESTION)) return;
  if (secureDriveServices().getDeviceSdk() == nullptr) {
    showMessageById(IDS_PW_NOT_SUPPORTED);
    EndDialog(IDOK);
    return;
  }
  if (m_mode == kChangeMode) okChangePassword();
  else okFirstPassword();
}

void CChangePasswordDialog::okFirstPassword() {
  // Formatting takes a while: the buttons stay off and the notice shows until it is done.
  for (int id : {IDOK, IDCANCEL})
    if (CWnd* button = GetDlgItem(id)) button->EnableWindow(FALSE);
  if (CWnd* notice = GetDlgItem(IDC_PW_FORMATTING)) notice->ShowWindow(SW_SHOW);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  UpdateWindow();
  if (secureDriveServices().changeSecureAreaPassword(m_newPassword, m_oldPassword)) {
    EndDialog(IDOK);
    return;
  }
  showMessageById(IDS_PW_INIT_FAILED, g_applicationName, kSecureAreaName, deviceDisplayName(), kSynchronizedComputers,
                  deviceDisplayName());
  EndDialog(IDCANCEL);
}

void CChangePasswordDialog::okChangePassword() {
  CDeviceSdk* sdk = secureDriveServices().getDeviceSdk();
  CWnd* currentEdit = GetDlgItem(IDC_PW_CURRENT);
  if (currentEdit == nullptr) {
    showMessageById(IDS_PW_READ_CURRENT_FAILED);
    return;
  }
  CString current;
  currentEdit->GetWindowText(current);
  bool matches = false;
  if (!sdk->checkPassword(current, matches) || !matches) {
    showMessageById(IDS_PW_INCORRECT);
    return;
  }
  bool changed = false;
  if (!sdk->changePassword(current, m_newPassword, m_oldPassword, changed)) {
    showMessageById(IDS_PW_NOT_CHANGED);
    EndDialog(IDOK);
    return;
  }
  if (!changed) {
    showMessageById(IDS_PW_INCORRECT);
    return;
  }
  showMessageById(IDS_PW_CHANGED);
  EndDialog(IDOK);
}
