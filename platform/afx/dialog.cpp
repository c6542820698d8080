// CDialog: template lookup through the resource chain, modeless and modal creation, the modal
// loop, and the default OK/Cancel handling.
#include "platform/afx/dialog.h"

#include <exception>

#include "platform/afx/app.h"
#include "platform/win32/resource.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
  ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
END_MESSAGE_MAP()

CDialog::CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd)
    : m_lpszTemplateName(lpszTemplateName), m_pParentWnd(pParentWnd) {}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEW(nIDTemplate)), m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) DestroyWindow();
}

bool CDialog::templateBytes(HINSTANCE& instance, const BYTE*& bytes, std::size_t& size) const {
  if (m_lpDialogTemplate) {
    instance = AfxGetInstanceHandle();
    bytes = reinterpret_cast<const BYTE*>(m_lpDialogTemplate);
    size = platform::dialog::kMaxIndirectTemplate;
    return true;
  }
  if (!m_lpszTemplateName) return false;
  instance = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
  HRSRC res = FindResourceW(instance, m_lpszTemplateName, RT_DIALOG);
  if (!res) return false;
  bytes = static_cast<const BYTE*>(LockResource(LoadResource(instance, res)));
  size = SizeofResource(instance, res);
  return bytes != nullptr;
}

BOOL CDialog::createFrom(HINSTANCE instance, const BYTE* bytes, std::size_t size, HWND parent) {
  // A dialog from a numbered resource knows its id (a test's UI driver finds it by it).
  if (!m_lpDialogTemplate && IS_INTRESOURCE(m_lpszTemplateName))
    platform::dialog::setNextTemplateId(static_cast<int>(reinterpret_cast<ULONG_PTR>(m_lpszTemplateName)));
  CWnd* outer = platform::afx::setPendingCreate(this);
  HWND h = platform::dialog::createDialog(instance, bytes, size, parent, nullptr, 0);
  // The hook consumed the pending object at the first message, unless creation failed before.
  platform::afx::setPendingCreate(outer);
  if (!h) {
    if (m_hWnd) Detach();
    return FALSE;
  }
  return m_hWnd == h;
}

BOOL CDialog::createFrom(HINSTANCE instance, const platform::dialog::DialogTemplate& t, HWND parent) {
  CWnd* outer = platform::afx::setPendingCreate(this);
  HWND h = platform::dialog::createDialog(instance, t, parent, nullptr, 0);
  platform::afx::setPendingCreate(outer);
  if (!h) {
    if (m_hWnd) Detach();
    return FALSE;
  }
  return m_hWnd == h;
}

BOOL CDialog::Create(LPCWSTR lpszTemplateName, CWnd* pParentWnd) {
  m_lpszTemplateName = lpszTemplateName;
  if (IS_INTRESOURCE(lpszTemplateName) && !m_nIDHelp)
    m_nIDHelp = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(lpszTemplateName));
  if (pParentWnd) m_pParentWnd = pParentWnd;
  HINSTANCE instance;
  const BYTE* bytes;
  std::size_t size;
  if (!templateBytes(instance, bytes, size)) return FALSE;
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!parent)
    if (CWnd* main = AfxGetMainWnd()) parent = main->m_hWnd;
  return createFrom(instance, bytes, size, parent);
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  m_nIDHelp = nIDTemplate;
  return Create(MAKEINTRESOURCEW(nIDTemplate), pParentWnd);
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd, void*) {
  if (pParentWnd) m_pParentWnd = pParentWnd;
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  return createFrom(AfxGetInstanceHandle(), reinterpret_cast<const BYTE*>(lpDialogTemplate),
                    platform::dialog::kMaxIndirectTemplate, parent);
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd, void*) {
  m_lpDialogTemplate = lpDialogTemplate;
  if (pParentWnd) m_pParentWnd = pParentWnd;
  return lpDialogTemplate != nullptr;
}

HWND CDialog::PreModal() {
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!parent)
    if (CWnd* main = AfxGetMainWnd()) parent = main->m_hWnd;
  while (parent && (::GetWindowLongW(parent, GWL_STYLE) & WS_CHILD)) parent = ::GetParent(parent);
  return parent;
}

INT_PTR CDialog::DoModal() {
  HINSTANCE instance;
  const BYTE* bytes;
  std::size_t size;
  if (!templateBytes(instance, bytes, size)) return -1;
  HWND owner = PreModal();
  bool reenable = false;
  if (owner && ::IsWindowEnabled(owner)) {
    ::EnableWindow(owner, FALSE);
    reenable = true;
  }
  m_nModalResult = -1;
  m_nFlags |= WF_CONTINUEMODAL;
  // An exception thrown by a handler ends the dialog on its way out, leaving the owner usable.
  struct EndOnUnwind {
    CDialog& dialog;
    HWND owner;
    bool reenable;
    int before = std::uncaught_exceptions();
    ~EndOnUnwind() {
      if (std::uncaught_exceptions() <= before) return;
      dialog.m_nFlags &= ~static_cast<UINT>(WF_CONTINUEMODAL | WF_MODALLOOP);
      try {
        if (reenable) ::EnableWindow(owner, TRUE);
        if (dialog.m_hWnd) dialog.DestroyWindow();
      } catch (...) {  // a second exception while the first one unwinds would end the program
      }
    }
  } unwinding{*this, owner, reenable};
  if (createFrom(instance, bytes, size, owner)) {
    if (m_nFlags & WF_CONTINUEMODAL) {
      ShowWindow(SW_SHOWNORMAL);
      RunModalLoop(MLF_SHOWONIDLE);
    }
    if (m_hWnd)
      SetWindowPos(nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  m_nFlags &= ~static_cast<UINT>(WF_CONTINUEMODAL | WF_MODALLOOP);
  // The owner comes back before the dialog goes, so the activation returns to it.
  if (reenable) ::EnableWindow(owner, TRUE);
  if (owner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
  if (m_hWnd) DestroyWindow();
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  if (m_nFlags & (WF_MODALLOOP | WF_CONTINUEMODAL)) EndModalLoop(nResult);
  else m_nModalResult = nResult;
  ::EndDialog(m_hWnd, nResult);
}

void CDialog::NextDlgCtrl() const { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
void CDialog::PrevDlgCtrl() const { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 1, 0); }
void CDialog::GotoDlgCtrl(CWnd* pWndCtrl) {
  ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(platform::afx::hwndOf(pWndCtrl)), 1);
}
void CDialog::SetDefID(UINT nID) { ::SendMessageW(m_hWnd, DM_SETDEFID, nID, 0); }
DWORD CDialog::GetDefID() const { return static_cast<DWORD>(::SendMessageW(m_hWnd, DM_GETDEFID, 0, 0)); }

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  // Keyboard and mouse input for the dialog or its controls goes through dialog navigation.
  if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_MOUSELAST) return FALSE;
  if (pMsg->message > WM_KEYLAST && pMsg->message < WM_MOUSEFIRST) return FALSE;
  if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)) return FALSE;
  return ::IsDialogMessageW(m_hWnd, pMsg);
}

BOOL CDialog::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
  // Commands (not notifications) the dialog leaves go on to the thread's object (the application).
  if (nCode != CN_COMMAND && nCode != CN_UPDATE_COMMAND_UI) return FALSE;
  CWinThread* thread = AfxGetThread();
  return thread && thread->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}
