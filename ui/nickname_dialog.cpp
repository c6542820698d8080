// The computer's nickname: the typing rule, the checks of OK and where the name is stored.
#include "ui/nickname_dialog.h"

#include "app/app_messages.h"
#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "platform/win32/win32.h"

namespace {

constexpr char16_t kForbidden[] = u"\\/:*?\"<>|\n";
constexpr const char16_t* kNicknameSetPref = u"nicknameSet";

}  // namespace

BEGIN_MESSAGE_MAP(CNicknameDialog, CDialog)
  ON_EN_CHANGE(IDC_NICKNAME_EDIT, OnNicknameChanged)
END_MESSAGE_MAP()

CNicknameDialog::CNicknameDialog(const CString& profileKey, const CString& nickname, CWnd* parent, int allowCancel)
    : CDialog(IDD_NICKNAME, parent), m_profileKey(profileKey), m_nickname(nickname), m_allowCancel(allowCancel) {}

bool CNicknameDialog::hasForbiddenCharacter(const CString& text) { return text.FindOneOf(kForbidden) >= 0; }

void CNicknameDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_NICKNAME_COMPUTER, m_profileKey);
  DDX_Text(pDX, IDC_NICKNAME_EDIT, m_nickname);
}

BOOL CNicknameDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  replaceUiPlaceholders(m_hWnd);
  SendDlgItemMessage(IDC_NICKNAME_EDIT, EM_LIMITTEXT, kMaxLength, 0);
  if (m_allowCancel == 0) {
    CWnd* cancel = GetDlgItem(IDCANCEL);
    CWnd* ok = GetDlgItem(IDOK);
    if (cancel) cancel->ShowWindow(SW_HIDE);
    if (ok) {
      CRect client, button;
      GetClientRect(&client);
      ok->GetWindowRect(&button);
      ScreenToClient(&button);
      ok->MoveWindow((client.Width() - button.Width()) / 2, button.top, button.Width(), button.Height());
    }
  } else {
    ModifyStyle(0, WS_SYSMENU);
  }
  m_lastValidNickname = m_nickname;
  return TRUE;
}

void CNicknameDialog::OnNicknameChanged() {
  CString text;
  GetDlgItemText(IDC_NICKNAME_EDIT, text);
  if (!hasForbiddenCharacter(text)) {
    m_lastValidNickname = text;
    return;
  }
  showMessageById(IDS_NICKNAME_BAD_CHARACTERS);
  SetDlgItemText(IDC_NICKNAME_EDIT, m_lastValidNickname);
  const int end = m_lastValidNickname.GetLength();
  SendDlgItemMessage(IDC_NICKNAME_EDIT, EM_SETSEL, static_cast<WPARAM>(end), end);
}

void CNicknameDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (hasForbiddenCharacter(m_nickname)) {
    showMessageById(IDS_NICKNAME_BAD_CHARACTERS);
    return;
  }
  m_nickname.Trim();
  if (m_nickname.IsEmpty()) {
    showMessageById(IDS_NICKNAME_EMPTY);
    m_nickname = m_profileKey;
    UpdateData(FALSE);
    return;
  }
  if (m_nickname.GetLength() > kMaxLength) m_nickname = m_nickname.Left(kMaxLength);

  CProfileDatabase& profiles = getProfileDatabase();
  CSystemProfile* named = profiles.findByNickname(m_nickname);
  CSystemProfile* self = profiles.findByKey(m_profileKey);
  if (!self) {
    showMessageById(IDS_NICKNAME_NO_PROFILE, m_profileKey);
    return;
  }
  if (named && named != self) {
    showMessageById(IDS_NICKNAME_TAKEN);
    return;
  }
  self->m_nickname = m_nickname;
  profiles.writeSystemProfiles();
  try {
    openThisComputerPrefs().setBool(kNicknameSetPref, true);
  } catch (CCustomizerException* e) {
    // This computer has no profile of its own: there is no nickname of it to mark.
    writeLog(u"{NicknameDialog}: %s", e->getMessage());
    e->Delete();
  }
  auto* changed = new CAppMessage();
  changed->value = 0;
  documentHostServices().postAppMessage(changed);
  EndDialog(IDOK);
}
