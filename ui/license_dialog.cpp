// The licence agreement: the page of the current language, Accept, Decline and Print.
#include "ui/license_dialog.h"

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "platform/afx/waitcursor.h"
#include "platform/com/controls.h"
#include "ui/dialog_support.h"
#include "ui/login_host.h"

BEGIN_MESSAGE_MAP(CLicenseDialog, CDialog)
  ON_BN_CLICKED(IDC_LICENSE_ACCEPT, OnAccept)
  ON_BN_CLICKED(IDC_LICENSE_DECLINE, OnDecline)
  ON_BN_CLICKED(IDC_LICENSE_PRINT, OnPrint)
END_MESSAGE_MAP()

CLicenseDialog::CLicenseDialog(CWnd* parent) : CDialog(IDD_LICENSE, parent) {}

void CLicenseDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LICENSE_BROWSER, m_browser);
}

CString CLicenseDialog::agreementPagePath(const CString& languageCode) {
  CString name;
  name.Format(u"EULA_%s.html", languageCode);
  return joinPath(joinPath(CFolderLookup::getCompanyAppDataPath(), kProductName), name);
}

BOOL CLicenseDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  // A missing page leaves the browser empty; the answer can be given all the same.
  try {
    m_browser.SetRegisterAsDropTarget(FALSE);
    const CString page = agreementPagePath(loginHost().languageCode());
    m_browser.Navigate(CString(u"file://") + toForwardSlashes(page), nullptr, nullptr, nullptr, nullptr);
  } catch (CException* e) {
    e->Delete();
  }
  return TRUE;
}

void CLicenseDialog::OnAccept() { OnOK(); }

void CLicenseDialog::OnDecline() { OnCancel(); }

void CLicenseDialog::OnPrint() {
  CWaitCursor wait;
  IDispatch* document = nullptr;
  try {
    document = m_browser.GetDocument();
  } catch (CException* e) {
    e->Delete();
  }
  if (!document) return;
  IOleCommandTarget* target = nullptr;
  if (SUCCEEDED(document->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&target))) && target) {
    target->Exec(nullptr, OLECMDID_PRINT, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
    target->Release();
  }
  document->Release();
}
