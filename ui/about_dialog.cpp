// The about box: caption and version line from the language library, filled with the product's
// name and the program file's own version.
#include "ui/about_dialog.h"

#include "app/file_util.h"
#include "app/messages.h"
#include "app/module_version.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "ui/dialog_support.h"

CAboutDialog::CAboutDialog(CWnd* parent) : CDialog(IDD_ABOUT, parent) {}

BOOL CAboutDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  SetWindowText(formatMessageText(loadResString(IDS_ABOUT_CAPTION), kProductName));
  int a = 0, b = 0, c = 0, d = 0;
  getOwnExeVersion(a, b, c, d);
  SetDlgItemText(IDC_ABOUT_VERSION, formatMessageText(loadResString(IDS_ABOUT_VERSION), kProductName, a, b, c, d));
  replaceUiPlaceholders(m_hWnd);
  return TRUE;
}
