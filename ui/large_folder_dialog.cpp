// The large-folder warning: the path shortened to its static, and the stored choice.
#include "ui/large_folder_dialog.h"

#include "app/file_util.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "ui/dialog_support.h"

namespace {

constexpr const char16_t* kLargeFoldersOkPref = u"largeFoldersOk";

}  // namespace

CLargeFolderDialog::CLargeFolderDialog(CWnd* parent, const CString& folderPath)
    : CDialog(IDD_LARGE_FOLDER, parent), m_folderPath(folderPath) {}

void CLargeFolderDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LARGE_FOLDER_PATH, m_pathStatic);
  DDX_Check(pDX, IDC_LARGE_FOLDER_DONT_ASK, m_dontAskAgain);
  // The full path stays in the member; only its shortened form is shown.
  if (!pDX->m_bSaveAndValidate) m_pathStatic.SetWindowText(compactPathForWindow(m_pathStatic.m_hWnd, m_folderPath));
}

BOOL CLargeFolderDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  return TRUE;
}

void CLargeFolderDialog::storeChoice() {
  UpdateData(TRUE);
  CPreferenceFile& prefs = getDevicePrefs();
  if (prefs.openRoot()) prefs.setBool(kLargeFoldersOkPref, m_dontAskAgain != 0);
}

void CLargeFolderDialog::OnOK() {
  storeChoice();
  CDialog::OnOK();
}

void CLargeFolderDialog::OnCancel() {
  storeChoice();
  CDialog::OnCancel();
}
