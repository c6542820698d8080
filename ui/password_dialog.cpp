// The drive password dialog: three wrong passwords in one showing end it with IDCANCEL.
#include "ui/password_dialog.h"

#include "app/device_sdk.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"
#include "ui/change_password_dialog.h"

namespace {

constexpr LPCWSTR kLogNameNotReplaced = u"{PasswordDialog}: Failed to replace device name.";
constexpr int kMaxPasswordLength = 15;
constexpr int kMaxAttempts = 3;

}  // namespace

BEGIN_MESSAGE_MAP(CPasswordDialog, CDialog)
  ON_BN_CLICKED(IDC_PW_CHANGE, OnChangePassword)
  ON_BN_CLICKED(IDC_PW_FORGOT, OnForgotPassword)
END_MESSAGE_MAP()

CPasswordDialog::CPasswordDialog(CWnd* parent) : CDialog(IDD_PASSWORD, parent) {}

void CPasswordDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PW_PROMPT, m_prompt);
  DDX_Text(pDX, IDC_PW_PASSWORD, m_password);
  DDV_MaxChars(pDX, m_password, kMaxPasswordLength);
}

BOOL CPasswordDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  if (!fillDeviceNameInDlgItem(m_hWnd, IDC_PW_PROMPT)) writeLog(kLogNameNotReplaced);
  m_passwordFont.apply(*this, IDC_PW_PASSWORD);
  SendDlgItemMessage(IDC_PW_PASSWORD, EM_LIMITTEXT, kMaxPasswordLength, 0);
  if (CWnd* edit = GetDlgItem(IDC_PW_PASSWORD)) edit->SetFocus();
  bringToForeground();
  return FALSE;  // the focus is set
}

void CPasswordDialog::bringToForeground() {
  // Joining the foreground thread's input for a moment lets this thread take the focus from it.
  HWND foreground = ::GetForegroundWindow();
  const DWORD foregroundThread = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
  const DWORD thisThread = ::GetCurrentThreadId();
  if (foregroundThread != 0 && foregroundThread != thisThread &&
      ::AttachThreadInput(foregroundThread, thisThread, TRUE)) {
    ::AttachThreadInput(foregroundThread, thisThread, FALSE);
  }
  SetFocus();
}

void CPasswordDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  CDeviceSdk* sdk = secureDriveServices().getDeviceSdk();
  if (sdk == nullptr) {
    showMessageById(IDS_PW_NOT_SUPPORTED);
    EndDialog(IDOK);
    return;
  }
  bool matches = false;
  if (!sdk->checkPassword(m_password, matches)) {
    showMessageById(IDS_PW_NOT_VERIFIED);
    return;
  }
  if (matches) {
    EndDialog(IDOK);
    return;
  }
  if (++m_failedAttempts < kMaxAttempts) {
    showMessageById(IDS_PW_WRONG_TRY_AGAIN);
    m_password.Empty();
    UpdateData(FALSE);
    bringToForeground();
    return;
  }
  showMessageById(IDS_PW_TOO_MANY_WRONG, deviceDisplayName());
  EndDialog(IDCANCEL);
}

void CPasswordDialog::OnChangePassword() {
  CChangePasswordDialog change(CChangePasswordDialog::kChangeMode, this);
  change.DoModal();
}

void CPasswordDialog::OnForgotPassword() { EndDialog(static_cast<int>(kForgotPasswordResult)); }
