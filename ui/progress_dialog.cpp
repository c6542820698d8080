// The progress dialog of a long operation.
#include "ui/progress_dialog.h"

#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/dialog_support.h"
#include "ui/login_host.h"

namespace {

constexpr const char16_t* kCloseAutomaticallyPref = u"closeProgressAutomatically";
constexpr const char16_t* kLogNoAnimation = u"{ProgressDialog}: Failed to open copyfile animation.";
constexpr DWORD kCloseDelay = 1000;

}  // namespace

CProgressDialog* CProgressDialog::s_running = nullptr;

BEGIN_MESSAGE_MAP(CProgressDialog, CDialog)
  ON_WM_CREATE()
  ON_WM_CLOSE()
  ON_WM_DESTROY()
  ON_WM_CTLCOLOR()
  ON_BN_CLICKED(IDC_PROGRESS_ACTION, OnAction)
  ON_MESSAGE(WM_PROGRESS_FINISHED, OnFinishedMessage)
END_MESSAGE_MAP()

CProgressDialog::CProgressDialog(bool closable, CView* view)
    : CDialog(IDD_PROGRESS, view), m_view(view), m_closable(closable) {}

CProgressDialog::~CProgressDialog() {
  stopListening();
  if (s_running == this) s_running = m_outer;
}

void CProgressDialog::stopListening() {
  if (m_listening) loginHost().removeListener(this);
  m_listening = false;
}

void CProgressDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PROGRESS_ACTION, m_actionButton);
  DDX_Control(pDX, IDC_PROGRESS_ANIMATION, m_animation);
  DDX_Check(pDX, IDC_PROGRESS_CLOSE_AUTOMATICALLY, m_closeAutomatically);
}

int CProgressDialog::OnCreate(LPCREATESTRUCT create) {
  if (CDialog::OnCreate(create) == -1) return -1;
  ModifyStyle(0, WS_THICKFRAME);
  return 0;
}

BOOL CProgressDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_outer = s_running;
  s_running = this;
  m_actionButton.ShowWindow(m_closable ? SW_SHOW : SW_HIDE);
  if (!m_animation.Open(IDR_AVI_COPY_FILE)) {
    writeLog(kLogNoAnimation);
  } else {
    m_animation.Play(0, static_cast<UINT>(-1), static_cast<UINT>(-1));
  }
  CPreferenceFile& prefs = getDevicePrefs();
  prefs.openRoot();
  bool close = false;
  prefs.getBool(kCloseAutomaticallyPref, close);
  m_closeAutomatically = close ? TRUE : FALSE;
  UpdateData(FALSE);
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);

  CRect window;
  GetWindowRect(&window);
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - window.Width() / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 4;
  SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  m_listening = loginHost().addListener(this);
  setLines(loadResString(IDS_PROGRESS_STARTING) + m_subject, CString());
  BringWindowToTop();
  ShowWindow(SW_SHOW);
  return TRUE;
}

void CProgressDialog::setLines(const CString& first, const CString& second) {
  SetDlgItemText(IDC_PROGRESS_FIRST_LINE, first);
  SetDlgItemText(IDC_PROGRESS_SECOND_LINE, second);
}

void CProgressDialog::onMessage(CAppMessage* message) {
  if (!m_hWnd) return;
  if (message->value == 1 && !dynamic_cast<CProgress*>(message) && !dynamic_cast<CSyncStatus*>(message)) {
    EndDialog(kDialogEndedByApplication);
    return;
  }
  CProgressListener::onMessage(message);
}

void CProgressDialog::onProgress(CProgress* progress) {
  if (progress->mode == CProgress::kTexts) {
    m_secondLineColour = 0;
    setLines(progress->firstText, progress->secondText);
    return;
  }
  SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(progress->percent), 0);
  if (progress->percent == 100) PostMessage(WM_PROGRESS_FINISHED);
}

LRESULT CProgressDialog::OnFinishedMessage(WPARAM, LPARAM) {
  onFinished();
  return 0;
}

void CProgressDialog::onFinished() {
  if (m_finished) return;
  m_finished = true;
  stopListening();
  m_animation.Stop();
  m_animation.Close();
  m_animation.ShowWindow(SW_HIDE);
  if (CWnd* second = GetDlgItem(IDC_PROGRESS_SECOND_LINE)) second->ShowWindow(SW_HIDE);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  savePrefs();
  // A cancelled operation ends only through its cancel, never as if it had completed.
  if (m_closeAutomatically && !m_cancelled) {
    Sleep(kCloseDelay);
    EndDialog(IDOK);
    return;
  }
  if (m_closable) m_actionButton.SetWindowText(loadResString(IDS_PROGRESS_CLOSE));
}

void CProgressDialog::savePrefs() {
  if (!m_hWnd) return;
  UpdateData(TRUE);
  CPreferenceFile& prefs = getDevicePrefs();
  prefs.openRoot();
  prefs.setBool(kCloseAutomaticallyPref, m_closeAutomatically != FALSE);
  prefs.save();
}

void CProgressDialog::OnAction() {
  savePrefs();
  if (m_finished) {
    OnOK();
  } else {
    OnCancel();
  }
}

void CProgressDialog::OnClose() {
  if (m_finished) {
    OnOK();
  } else {
    OnCancel();
  }
}

void CProgressDialog::OnOK() { EndDialog(endResult()); }

void CProgressDialog::OnCancel() {
  m_cancelled = true;
  onFinished();
  CDialog::OnCancel();
}

void CProgressDialog::OnDestroy() {
  stopListening();
  if (s_running == this) s_running = m_outer;
  CDialog::OnDestroy();
}

HBRUSH CProgressDialog::OnCtlColor(CDC* dc, CWnd* window, UINT type) {
  HBRUSH brush = CDialog::OnCtlColor(dc, window, type);
  if (window && window->GetDlgCtrlID() == IDC_PROGRESS_SECOND_LINE) dc->SetTextColor(m_secondLineColour);
  return brush;
}
