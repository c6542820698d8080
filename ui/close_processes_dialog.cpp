// The close-programs list: filled from the document's snap-ins that run a program to close.
#include "ui/close_processes_dialog.h"

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "platform/afx/waitcursor.h"
#include "snapins/process_customizer.h"
#include "ui/dialog_support.h"
#include "ui/login_host.h"

BEGIN_MESSAGE_MAP(CCloseProcessesDialog, CDialog)
  ON_BN_CLICKED(IDC_CLOSE_PROCESSES_CHECK, OnCheckClicked)
END_MESSAGE_MAP()

CCloseProcessesDialog::CCloseProcessesDialog(bool forLogin, CWnd* parent)
    : CDialog(IDD_CLOSE_PROCESSES, parent),
      m_text(loadResString(forLogin ? IDS_VIEW_CLOSE_PROGRAMS_LOGIN : IDS_CLOSE_PROGRAMS_LOGOUT)),
      m_forLogin(forLogin) {}

CString CCloseProcessesDialog::prefName() const {
  return CString(u"showCloseProcesses") + (m_forLogin ? u"LoginMessage" : u"LogoutMessage");
}

void CCloseProcessesDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CLOSE_PROCESSES_LIST, m_list);
  DDX_Text(pDX, IDC_CLOSE_PROCESSES_TEXT, m_text);
  DDX_Check(pDX, IDC_CLOSE_PROCESSES_CHECK, m_alwaysShow);
}

std::vector<CProcessCustomizer*> CCloseProcessesDialog::closers() {
  std::vector<CProcessCustomizer*> found;
  CCustomizerDoc* document = loginHost().document();
  if (!document) return found;
  for (CCustomizer* customizer : document->getCustomizerPointers()) {
    auto* closer = dynamic_cast<CProcessCustomizer*>(customizer);
    if (closer && (m_forLogin ? closer->needsCloseAtLogin() : closer->needsCloseAtLogout())) found.push_back(closer);
  }
  return found;
}

void CCloseProcessesDialog::fillList() {
  m_list.ResetContent();
  for (CProcessCustomizer* closer : closers()) m_list.AddString(closer->getDisplayName());
}

BOOL CCloseProcessesDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  GetDlgItem(IDC_CLOSE_PROCESSES_CHECK)->ShowWindow(SW_HIDE);
  GetDlgItem(IDOK)->ShowWindow(SW_HIDE);
  GetDlgItem(IDCANCEL)->SetWindowText(u"OK");

  bool show = true;
  CPreferenceFile& prefs = getDevicePrefs();
  if (prefs.openRoot()) prefs.getBool(prefName(), show);
  if (!show) {
    EndDialog(IDOK);
    return TRUE;
  }
  SetDlgItemText(IDC_CLOSE_PROCESSES_CHECK,
                 loadResString(m_forLogin ? IDS_CLOSE_PROGRAMS_CHECK_LOGIN : IDS_CLOSE_PROGRAMS_CHECK_LOGOUT));
  m_alwaysShow = TRUE;
  CheckDlgButton(IDC_CLOSE_PROCESSES_CHECK, BST_CHECKED);
  fillList();
  if (m_list.GetCount() == 0) EndDialog(IDOK);
  return TRUE;
}

void CCloseProcessesDialog::OnCheckClicked() {
  if (IsDlgButtonChecked(IDC_CLOSE_PROCESSES_CHECK) != BST_UNCHECKED) return;
  CString question = formatMessageText(
      loadResString(m_forLogin ? IDS_CLOSE_PROGRAMS_SURE_LOGIN : IDS_CLOSE_PROGRAMS_SURE_LOGOUT), kProductName,
      kProductName);
  if (!askYesNoText(question)) CheckDlgButton(IDC_CLOSE_PROCESSES_CHECK, BST_CHECKED);
}

void CCloseProcessesDialog::OnOK() {
  fillList();
  if (m_list.GetCount() > 0) {
    CWaitCursor wait;
    ShowWindow(SW_HIDE);
    for (CProcessCustomizer* closer : closers()) {
      if (m_list.FindStringExact(-1, closer->getDisplayName()) == LB_ERR) continue;
      if (!closer->closeProcess()) {
        OnCancel();
        return;
      }
    }
  }
  UpdateData(TRUE);
  CPreferenceFile& prefs = getDevicePrefs();
  if (prefs.openRoot()) prefs.setBool(prefName(), m_alwaysShow != 0);
  EndDialog(IDOK);
}

void CCloseProcessesDialog::OnCancel() { CDialog::OnCancel(); }
