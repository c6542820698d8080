// The don't-ask-again question: its size and row of buttons, and the stored choice.
#include "ui/dont_ask_dialog.h"

#include "app/file_util.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "ui/dialog_support.h"

namespace {

constexpr int kMargin = 10;
constexpr int kStaticWidthLoss = 20;
constexpr int kStaticHeightLoss = 100;
constexpr int kCheckBoxWidthLoss = 25;

}  // namespace

CDontAskMeAnymoreDialog::CDontAskMeAnymoreDialog(CWnd* parent, const CString& text, const CString& checkText,
                                                 const CString& prefName, bool showCancel, int width, int height)
    : CDialog(IDD_DONT_ASK, parent),
      m_text(text),
      m_prefName(prefName),
      m_checkText(checkText),
      m_showCancel(showCancel),
      m_width(width),
      m_height(height) {}

void CDontAskMeAnymoreDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDOK, m_okButton);
  DDX_Control(pDX, IDCANCEL, m_cancelButton);
  DDX_Control(pDX, IDC_DONT_ASK_CHECK, m_checkBox);
  DDX_Control(pDX, IDC_DONT_ASK_TEXT, m_messageStatic);
  DDX_Text(pDX, IDC_DONT_ASK_TEXT, m_text);
  DDX_Check(pDX, IDC_DONT_ASK_CHECK, m_alwaysShow);
}

BOOL CDontAskMeAnymoreDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  m_checkBox.SetWindowText(m_checkText);
  m_cancelButton.ShowWindow(m_showCancel ? SW_SHOW : SW_HIDE);
  layOut();
  replaceUiPlaceholders(m_hWnd);
  return TRUE;
}

// The rows are measured in client coordinates, after the resize, so a caption or frame of any
// height keeps the buttons inside the window.
void CDontAskMeAnymoreDialog::layOut() {
  CRect window;
  GetWindowRect(&window);
  if (m_width == -1 && m_height != -1)
    SetWindowPos(nullptr, 0, 0, window.Width(), m_height, SWP_NOMOVE | SWP_NOZORDER);
  else if (m_width != -1)
    SetWindowPos(nullptr, 0, 0, m_width, m_height == -1 ? window.Height() : m_height, SWP_NOMOVE | SWP_NOZORDER);

  CRect client;
  GetClientRect(&client);
  CRect text;
  m_messageStatic.GetWindowRect(&text);
  ScreenToClient(&text);
  text.right = text.left + client.Width() - kStaticWidthLoss;
  text.bottom = text.top + client.Height() - kStaticHeightLoss;
  m_messageStatic.MoveWindow(&text);

  CRect ok, cancel, check;
  m_okButton.GetWindowRect(&ok);
  m_cancelButton.GetWindowRect(&cancel);
  m_checkBox.GetWindowRect(&check);
  const int rowTop = text.bottom + kMargin;
  const int cancelLeft = client.Width() - cancel.Width() - kMargin;
  if (m_showCancel) {
    m_cancelButton.MoveWindow(cancelLeft, rowTop, cancel.Width(), cancel.Height());
    m_okButton.MoveWindow(cancelLeft - kMargin - ok.Width(), rowTop, ok.Width(), ok.Height());
  } else {
    m_okButton.MoveWindow(cancelLeft, rowTop, ok.Width(), ok.Height());
  }
  m_checkBox.MoveWindow(text.left, rowTop, client.Width() - ok.Width() - cancel.Width() - kCheckBoxWidthLoss,
                        check.Height());
}

void CDontAskMeAnymoreDialog::storeChoice() {
  UpdateData(TRUE);
  CPreferenceFile& prefs = getDevicePrefs();
  if (prefs.openRoot()) prefs.setBool(m_prefName, m_alwaysShow != 0);
}

void CDontAskMeAnymoreDialog::OnOK() {
  storeChoice();
  CDialog::OnOK();
}

void CDontAskMeAnymoreDialog::OnCancel() {
  storeChoice();
  CDialog::OnCancel();
}

bool askUnlessSuppressed(HWND parent, const CString& text, const CString& checkText, const CString& prefName,
                         bool showCancel, int width, int height) {
  CPreferenceFile& prefs = getDevicePrefs();
  bool show = true;
  if (prefs.openRoot() && prefs.getBool(prefName, show) && !show) return true;
  CDontAskMeAnymoreDialog dialog(parent ? CWnd::FromHandle(parent) : nullptr, text, checkText, prefName, showCancel,
                                 width, height);
  return dialog.DoModal() == IDOK;
}
