// CDialog: template lookup through the resource chain, modeless and modal creation, the modal
// loop, and the default OK/Cancel handling.
#include "platform/afx/dialog.h"

#include <cstring>
#include <exception>

#include "platform/afx/app.h"
#include "platform/base/codepage.h"
#include "platform/com/guid.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/resource.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

namespace {

// Messages of the initial data that are an ActiveX control's saved state, not a message to send.
constexpr WORD kInitStateStream = 0x0376;
constexpr WORD kInitStateStorage = 0x0377;
constexpr WORD kInitNew = 0x0378;
constexpr WORD kListAddString16 = 0x0401;
constexpr WORD kComboAddString16 = 0x0403;
// A data block in memory is walked at most this far (its size is not known).
constexpr std::size_t kMaxInitBytes = 1 << 20;

struct InitRecord {
  WORD id;
  WORD message;
  const BYTE* data;
  std::size_t size;
};

// The records of a DLGINIT block (control id, message, DWORD byte count, bytes; a 0 id ends it).
// False when a count runs past the block or the end is missing.
bool parseDlgInit(const BYTE* p, std::size_t size, std::vector<InitRecord>& out) {
  out.clear();
  if (!p) return true;
  std::size_t at = 0;
  auto word = [&](std::size_t i) { return static_cast<WORD>(p[i] | p[i + 1] << 8); };
  for (;;) {
    if (size - at < 2) return false;
    const WORD id = word(at);
    if (id == 0) return true;
    if (size - at < 8) return false;
    const WORD message = word(at + 2);
    const DWORD count = word(at + 4) | static_cast<DWORD>(word(at + 6)) << 16;
    at += 8;
    if (count > size - at) return false;
    out.push_back({id, message, p + at, count});
    at += count;
  }
}

bool isClassId(const std::u16string& className) { return !className.empty() && className[0] == u'{'; }

}  // namespace

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
  m_templateControls.clear();
  m_templateInstance = instance;
  m_initFailed = false;
  // Controls named by class id are not window classes: they come out of the template and are
  // made in control sites when the dialog initialises.
  platform::dialog::DialogTemplate parsed;
  bool withControls = false;
  if (platform::dialog::parseTemplate(bytes, size, parsed)) {
    std::vector<platform::dialog::ItemTemplate> windows;
    for (auto& item : parsed.items) {
      if (isClassId(item.className)) m_templateControls.push_back({item, windows.size()});
      else windows.push_back(item);
    }
    withControls = !m_templateControls.empty();
    parsed.items = std::move(windows);
  }
  // A dialog from a numbered resource knows its id (a test's UI driver finds it by it).
  if (!m_lpDialogTemplate && IS_INTRESOURCE(m_lpszTemplateName))
    platform::dialog::setNextTemplateId(static_cast<int>(reinterpret_cast<ULONG_PTR>(m_lpszTemplateName)));
  CWnd* outer = platform::afx::setPendingCreate(this);
  HWND h = withControls ? platform::dialog::createDialog(instance, parsed, parent, nullptr, 0)
                        : platform::dialog::createDialog(instance, bytes, size, parent, nullptr, 0);
  // The hook consumed the pending object at the first message, unless creation failed before.
  platform::afx::setPendingCreate(outer);
  if (!h) {
    if (m_hWnd) Detach();
    return FALSE;
  }
  if (m_initFailed) {
    // Initialisation failed: the dialog does not stay, as a failed creation.
    ::DestroyWindow(h);
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

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd, void* lpDialogInit) {
  if (pParentWnd) m_pParentWnd = pParentWnd;
  m_lpDialogInit = lpDialogInit;
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  return createFrom(AfxGetInstanceHandle(), reinterpret_cast<const BYTE*>(lpDialogTemplate),
                    platform::dialog::kMaxIndirectTemplate, parent);
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd, void* lpDialogInit) {
  m_lpDialogTemplate = lpDialogTemplate;
  m_lpDialogInit = lpDialogInit;
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

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
  if (!createTemplateControls()) {
    // The product's failure paths rely on this: the dialog ends with -1 and is not kept.
    m_initFailed = true;
    EndDialog(-1);
    return FALSE;
  }
  return OnInitDialog();
}

// The initial data block of this dialog: the one given for a template in memory, else the
// DLGINIT resource of the template's name in the template's module.
static bool dialogInitBytes(const CDialog& d, HINSTANCE instance, const BYTE*& bytes, std::size_t& size) {
  if (d.m_lpDialogInit) {
    bytes = static_cast<const BYTE*>(d.m_lpDialogInit);
    size = kMaxInitBytes;
    return true;
  }
  bytes = nullptr;
  size = 0;
  if (d.m_lpDialogTemplate || !d.m_lpszTemplateName) return true;
  HRSRC res = FindResourceW(instance, d.m_lpszTemplateName, RT_DLGINIT);
  if (!res) return true;
  bytes = static_cast<const BYTE*>(LockResource(LoadResource(instance, res)));
  size = SizeofResource(instance, res);
  return bytes != nullptr;
}

bool CDialog::createTemplateControls() {
  if (m_templateControls.empty()) return true;
  const BYTE* init = nullptr;
  std::size_t initSize = 0;
  std::vector<InitRecord> records;
  if (!dialogInitBytes(*this, m_templateInstance, init, initSize) || !parseDlgInit(init, initSize, records)) {
    TRACE(u"Dialog %d: its controls' initial data are malformed\n", static_cast<int>(m_nIDHelp));
    return false;
  }
  // The windows made from the template, in template order, to put each control among them.
  std::vector<HWND> windows;
  for (HWND c = ::GetWindow(m_hWnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) windows.push_back(c);
  HWND previousControl = nullptr;
  std::size_t previousBefore = 0;
  for (const TemplateControl& tc : m_templateControls) {
    const auto& item = tc.item;
    CLSID clsid{};
    if (!platform::com::parseGuid(item.className, clsid)) {
      TRACE(u"Dialog %d: control %u names no class id\n", static_cast<int>(m_nIDHelp), static_cast<unsigned>(item.id));
      return false;
    }
    RECT r{item.x, item.y, item.x + item.cx, item.y + item.cy};
    ::MapDialogRect(m_hWnd, &r);
    const BYTE* state = nullptr;
    std::size_t stateSize = 0;
    bool hasState = false;
    for (const InitRecord& rec : records) {
      if (rec.id != static_cast<WORD>(item.id)) continue;
      if (rec.message == kInitStateStream) {
        state = rec.data;
        stateSize = rec.size;
        hasState = true;
      } else if (rec.message == kInitStateStorage) {
        TRACE(u"Dialog %d: control %u has its state as a storage, which is not read\n", static_cast<int>(m_nIDHelp),
              static_cast<unsigned>(item.id));
        return false;
      }
    }
    HRESULT hr = S_OK;
    HWND h = platform::afx::createControlInSite(m_hWnd, clsid, r, item.id, item.style, state, stateSize, hasState, hr);
    if (!h) {
      TRACE(u"Dialog %d: ActiveX control %u (%s) could not be made (0x%08X); the dialog fails\n",
            static_cast<int>(m_nIDHelp), static_cast<unsigned>(item.id), item.className.c_str(),
            static_cast<unsigned>(hr));
      return false;
    }
    // Tab order: after the window made just before it in the template.
    HWND after = HWND_TOP;
    if (previousControl && previousBefore == tc.before) after = previousControl;
    else if (tc.before > 0 && tc.before <= windows.size()) after = windows[tc.before - 1];
    ::SetWindowPos(h, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previousControl = h;
    previousBefore = tc.before;
  }
  return true;
}

BOOL CDialog::ExecuteDlgInit() {
  const BYTE* init = nullptr;
  std::size_t size = 0;
  std::vector<InitRecord> records;
  if (!dialogInitBytes(*this, m_templateInstance ? m_templateInstance : AfxGetInstanceHandle(), init, size) ||
      !parseDlgInit(init, size, records))
    return FALSE;
  for (const InitRecord& rec : records) {
    if (rec.message == kInitStateStream || rec.message == kInitStateStorage || rec.message == kInitNew) continue;
    // Resource compilers write the list messages in their 16-bit numbering (WM_USER + 1, + 3).
    UINT message = rec.message;
    if (message == kListAddString16) message = LB_ADDSTRING;
    else if (message == kComboAddString16) message = CB_ADDSTRING;
    if (message != LB_ADDSTRING && message != CB_ADDSTRING) continue;
    // 8-bit text in the ANSI code page, up to its NUL.
    std::size_t n = 0;
    while (n < rec.size && rec.data[n]) ++n;
    const std::u16string item = platform::text::ansiToWide(
        std::string_view(reinterpret_cast<const char*>(rec.data), n));
    if (::SendDlgItemMessageW(m_hWnd, rec.id, message, 0, reinterpret_cast<LPARAM>(item.c_str())) < 0)
      return FALSE;
  }
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  if (!ExecuteDlgInit()) {
    TRACE(u"Dialog %d: its initial data could not be given to its controls\n", static_cast<int>(m_nIDHelp));
    EndDialog(-1);
    m_initFailed = true;
    return FALSE;
  }
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
