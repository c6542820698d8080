// The computer set-up choice: proposed from the stored preference, else from the drive's computers;
// OK stores it and turns the start with Windows on or off.
#include "ui/computer_setup_dialog.h"

#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "platform/win32/win32.h"
#include "ui/dialog_support.h"

namespace {

// This computer's preferences, or null when it has no profile (nothing is stored then).
CPreferenceFile* thisComputerPrefs() {
  try {
    return &openThisComputerPrefs();
  } catch (CCustomizerException* e) {
    writeLog(u"{ComputerSetupDialog}: %s", e->getMessage());
    e->Delete();
    return nullptr;
  }
}

}  // namespace

BEGIN_MESSAGE_MAP(CComputerSetupDialog, CDialog)
  ON_WM_CREATE()
END_MESSAGE_MAP()

CComputerSetupDialog::CComputerSetupDialog(CWnd* parent) : CDialog(IDD_COMPUTER_SETUP, parent) {}

void CComputerSetupDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Radio(pDX, IDC_SETUP_SYNC_MODE, m_mode);
}

int CComputerSetupDialog::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CDialog::OnCreate(lpCreateStruct) == -1) return -1;
  // The question may come while the program has no visible window: it gets a taskbar button.
  ModifyStyleEx(0, WS_EX_APPWINDOW);
  return 0;
}

BOOL CComputerSetupDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  UpdateData(TRUE);
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  bool frequent = false;
  CPreferenceFile* prefs = thisComputerPrefs();
  if (prefs && prefs->getBool(kFrequentUseComputerValue, frequent))
    m_mode = frequent ? kSynchronizationUse : kLoginUse;
  else
    m_mode = CFolderLookup::countSynchronizedComputers() >= 1 ? kLoginUse : kSynchronizationUse;
  UpdateData(FALSE);
  return TRUE;
}

void CComputerSetupDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (CPreferenceFile* prefs = thisComputerPrefs()) prefs->setBool(kFrequentUseComputerValue, m_mode == 0);
  if (m_mode == kLoginUse) {
    documentHostServices().disableAutostart();
  } else if (!documentHostServices().enableAutostart()) {
    showMessageById(IDS_SETUP_AUTOSTART_FAILED, kProductName);
  }
  EndDialog(IDOK);
}
