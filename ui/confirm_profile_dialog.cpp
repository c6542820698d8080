// The confirm-profile dialog: one row per stored profile (nickname and key), Select or New Computer.
#include "ui/confirm_profile_dialog.h"

#include "app/file_util.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "ui/dialog_support.h"

namespace {

constexpr int kNameColumnWidth = 150;
constexpr int kKeyColumnMargin = 170;

}  // namespace

CConfirmProfileDialog::CConfirmProfileDialog(int kind, CProfileDatabase* database, CWnd* parent)
    : CDialog(IDD_CONFIRM_PROFILE, parent), m_database(database) {
  if (kind == CProfileDatabase::kChangeFingerprint)
    m_text = formatMessageText(loadResString(IDS_CONFIRM_PROFILE_FINGERPRINT), g_applicationName);
  else if (kind == CProfileDatabase::kChangeName)
    m_text = formatMessageText(loadResString(IDS_CONFIRM_PROFILE_NAME), g_applicationName);
}

void CConfirmProfileDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CONFIRM_PROFILE_LIST, m_list);
  DDX_Text(pDX, IDC_CONFIRM_PROFILE_TEXT, m_text);
}

BOOL CConfirmProfileDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);

  m_list.InsertColumn(0, loadResString(IDS_COLUMN_NAME), LVCFMT_LEFT, kNameColumnWidth);
  CRect client;
  m_list.GetClientRect(&client);
  m_list.InsertColumn(1, loadResString(IDS_COLUMN_COMPUTER_NAME), LVCFMT_LEFT, client.Width() - kKeyColumnMargin);
  m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  if (m_database) {
    for (int i = 0; i < m_database->getProfileCount(); ++i) {
      const CSystemProfile* profile = m_database->getProfile(i);
      const int row = m_list.InsertItem(i, profile->m_nickname);
      m_list.SetItemText(row, 1, profile->getKey());
      m_list.SetItemData(row, static_cast<DWORD_PTR>(i));
    }
  }
  return TRUE;
}

void CConfirmProfileDialog::OnOK() {
  POSITION pos = m_list.GetFirstSelectedItemPosition();
  if (!pos) {
    showMessageById(IDS_SELECT_COMPUTER);
    m_selectedIndex = -1;
    return;
  }
  m_selectedIndex = m_list.GetNextSelectedItem(pos);
  EndDialog(IDOK);
}

void CConfirmProfileDialog::OnCancel() {
  m_newComputer = true;
  EndDialog(IDCANCEL);
}
