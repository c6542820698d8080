// The modeless wait box shown while a logout runs (see wait_dialog.h).
#include "ui/wait_dialog.h"

#include "app/file_util.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"

CWaitDlg::CWaitDlg(const CString& text, CWnd* parent) : CDialog(IDD_WAIT, parent), m_text(text) {
  if (!Create(IDD_WAIT, parent)) return;
  CenterWindow(CWnd::GetDesktopWindow());
  ShowWindow(SW_SHOW);
  UpdateWindow();
}

CWaitDlg::~CWaitDlg() {
  if (m_hWnd != nullptr) DestroyWindow();
}

BOOL CWaitDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_text.IsEmpty()) SetDlgItemTextW(m_hWnd, IDC_WAIT_TEXT, m_text);
  replaceUiPlaceholders(m_hWnd);
  return TRUE;
}
