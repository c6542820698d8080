// CPropertySheet and CPropertyPage: the sheet's window, tab control and buttons, page creation
// and switching with the pages' vetoes, Apply/OK/Cancel, and the PSN_* conversation.
#include "platform/afx/propsheet.h"

#include <algorithm>
#include <exception>

#include "platform/afx/app.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/resource.h"

IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
IMPLEMENT_DYNAMIC(CPropertySheet, CDialog)

namespace {

// Layout, in dialog units (see the header).
constexpr int kMargin = 4;
constexpr int kPageX = 8, kPageY = 20;
constexpr int kButtonCx = 50, kButtonCy = 14;
constexpr const char16_t* kOk = u"OK";
constexpr const char16_t* kCancel = u"Cancel";
constexpr const char16_t* kApply = u"&Apply";
constexpr const char16_t* kClose = u"Close";

RECT pixels(int x, int y, int cx, int cy) {
  RECT r{x, y, x + cx, y + cy};
  ::MapDialogRect(nullptr, &r);
  return r;
}

HWND makeChild(HWND parent, LPCWSTR cls, LPCWSTR text, DWORD style, RECT r, int id) {
  return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                           AfxGetInstanceHandle(), nullptr);
}

}  // namespace

// ---- CPropertyPage ----

CPropertyPage::CPropertyPage(UINT nIDTemplate, UINT nIDCaption) : CDialog(nIDTemplate), m_nIDCaption(nIDCaption) {}

CPropertyPage::CPropertyPage(LPCWSTR lpszTemplateName, UINT nIDCaption)
    : CDialog(lpszTemplateName), m_nIDCaption(nIDCaption) {}

BOOL CPropertyPage::OnSetActive() {
  if (m_bFirstSetActive) m_bFirstSetActive = FALSE;
  else UpdateData(FALSE);
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}

void CPropertyPage::OnReset() { OnCancel(); }

BOOL CPropertyPage::OnQueryCancel() { return TRUE; }

void CPropertyPage::SetModified(BOOL bChanged) {
  m_bModified = bChanged;
  if (m_pSheet) m_pSheet->pageChanged(this, bChanged);
}

void CPropertyPage::CancelToClose() {
  if (m_pSheet && m_pSheet->m_hWnd) m_pSheet->SendMessage(PSM_CANCELTOCLOSE);
}

CString CPropertyPage::GetCaption() const {
  if (m_nIDCaption) {
    CString s;
    if (s.LoadString(m_nIDCaption)) return s;
  }
  return m_strTemplateCaption;
}

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  auto* hdr = reinterpret_cast<NMHDR*>(lParam);
  if (!m_pSheet || hdr->hwndFrom != m_pSheet->m_hWnd) return CDialog::OnNotify(wParam, lParam, pResult);
  switch (hdr->code) {
    case PSN_SETACTIVE:
      *pResult = OnSetActive() ? 0 : -1;
      return TRUE;
    case PSN_KILLACTIVE:
      *pResult = OnKillActive() ? FALSE : TRUE;
      return TRUE;
    case PSN_APPLY:
      *pResult = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
      if (*pResult == PSNRET_NOERROR) SetModified(FALSE);
      return TRUE;
    case PSN_RESET:
      OnReset();
      *pResult = 0;
      return TRUE;
    case PSN_QUERYCANCEL:
      *pResult = OnQueryCancel() ? FALSE : TRUE;
      return TRUE;
    default:
      return CDialog::OnNotify(wParam, lParam, pResult);
  }
}

// ---- CPropertySheet ----

BEGIN_MESSAGE_MAP(CPropertySheet, CDialog)
  ON_MESSAGE(WM_INITDIALOG, OnSheetInit)
  ON_COMMAND(ID_APPLY_NOW, OnApplyNow)
  ON_NOTIFY(TCN_SELCHANGING, AFX_IDC_TAB_CONTROL, OnTabChanging)
  ON_NOTIFY(TCN_SELCHANGE, AFX_IDC_TAB_CONTROL, OnTabChange)
  ON_MESSAGE(PSM_CHANGED, OnPsmChanged)
  ON_MESSAGE(PSM_UNCHANGED, OnPsmUnchanged)
  ON_MESSAGE(PSM_CANCELTOCLOSE, OnPsmCancelToClose)
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : m_strCaption(pszCaption), m_nActive(static_cast<int>(iSelectPage)) {
  m_pParentWnd = pParentWnd;
}

CPropertySheet::CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage)
    : m_nActive(static_cast<int>(iSelectPage)) {
  m_strCaption.LoadString(nIDCaption);
  m_pParentWnd = pParentWnd;
}

CPropertySheet::~CPropertySheet() {
  for (CPropertyPage* p : m_pages) p->m_pSheet = nullptr;
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
  pPage->m_pSheet = this;
  m_pages.push_back(pPage);
  if (!m_hWnd) return;
  const int index = static_cast<int>(m_pages.size()) - 1;
  if (createPage(index)) insertTab(index);
}

void CPropertySheet::RemovePage(CPropertyPage* pPage) { RemovePage(GetPageIndex(pPage)); }

void CPropertySheet::RemovePage(int nPage) {
  if (nPage < 0 || nPage >= GetPageCount()) return;
  CPropertyPage* page = m_pages[static_cast<std::size_t>(nPage)];
  if (m_hWnd && nPage == m_nActive && GetPageCount() > 1) {
    // Another page takes over first, without asking the leaving one.
    int next = nPage == 0 ? 1 : nPage - 1;
    if (createPage(next)) {
      CPropertyPage* other = m_pages[static_cast<std::size_t>(next)];
      notifyPage(other, PSN_SETACTIVE);
      other->ShowWindow(SW_SHOW);
    }
    m_nActive = next;
  }
  if (m_hWnd) {
    if (HWND tab = ::GetDlgItem(m_hWnd, AFX_IDC_TAB_CONTROL)) ::SendMessageW(tab, TCM_DELETEITEM, static_cast<WPARAM>(nPage), 0);
    if (page->m_hWnd) page->DestroyWindow();
  }
  m_pages.erase(m_pages.begin() + nPage);
  m_modified.erase(std::remove(m_modified.begin(), m_modified.end(), page), m_modified.end());
  page->m_pSheet = nullptr;
  if (m_nActive > nPage) --m_nActive;
  if (m_nActive >= GetPageCount()) m_nActive = std::max(0, GetPageCount() - 1);
  if (m_hWnd) {
    if (HWND tab = ::GetDlgItem(m_hWnd, AFX_IDC_TAB_CONTROL)) ::SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(m_nActive), 0);
    updateApply();
  }
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
  return nPage >= 0 && nPage < GetPageCount() ? m_pages[static_cast<std::size_t>(nPage)] : nullptr;
}

int CPropertySheet::GetPageIndex(CPropertyPage* pPage) const {
  auto it = std::find(m_pages.begin(), m_pages.end(), pPage);
  return it == m_pages.end() ? -1 : static_cast<int>(it - m_pages.begin());
}

CPropertyPage* CPropertySheet::GetActivePage() const { return GetPage(m_nActive); }

CWnd* CPropertySheet::GetTabControl() const { return m_hWnd ? GetDlgItem(AFX_IDC_TAB_CONTROL) : nullptr; }

void CPropertySheet::SetTitle(LPCWSTR lpszText, UINT) {
  m_strCaption = lpszText;
  if (m_hWnd) SetWindowText(lpszText);
}

LRESULT CPropertySheet::notifyPage(CPropertyPage* page, UINT code) {
  if (!page || !page->m_hWnd) return 0;
  PSHNOTIFY n{{m_hWnd, 0, code}, 0};
  return page->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
}

BOOL CPropertySheet::SetActivePage(int nPage) {
  if (nPage < 0 || nPage >= GetPageCount()) return FALSE;
  if (!m_hWnd) {
    m_nActive = nPage;
    return TRUE;
  }
  if (nPage == m_nActive && GetActivePage()->m_hWnd && GetActivePage()->IsWindowVisible()) return TRUE;
  CPropertyPage* old = GetActivePage();
  if (old && old->m_hWnd && nPage != m_nActive && notifyPage(old, PSN_KILLACTIVE)) return FALSE;
  if (!createPage(nPage)) return FALSE;
  CPropertyPage* page = m_pages[static_cast<std::size_t>(nPage)];
  if (notifyPage(page, PSN_SETACTIVE) == -1) return FALSE;
  if (old && old != page && old->m_hWnd) old->ShowWindow(SW_HIDE);
  m_nActive = nPage;
  page->ShowWindow(SW_SHOW);
  if (HWND tab = ::GetDlgItem(m_hWnd, AFX_IDC_TAB_CONTROL))
    if (::SendMessageW(tab, TCM_GETCURSEL, 0, 0) != nPage) ::SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(nPage), 0);
  return TRUE;
}

bool CPropertySheet::createPage(int index) {
  CPropertyPage* page = m_pages[static_cast<std::size_t>(index)];
  if (page->m_hWnd) return true;
  HINSTANCE instance;
  const BYTE* bytes;
  std::size_t size;
  platform::dialog::DialogTemplate t;
  if (!page->templateBytesOf(instance, bytes, size) || !platform::dialog::parseTemplate(bytes, size, t)) return false;
  page->m_strTemplateCaption = CString(t.title);
  // A page is a hidden child control-parent of the sheet, whatever its template says.
  t.style = (t.style & ~static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | WS_DISABLED |
                                           DS_MODALFRAME)) |
            WS_CHILD | DS_CONTROL;
  t.x = kPageX;
  t.y = kPageY;
  if (!page->createFromTemplateOf(instance, t, m_hWnd)) return false;
  placePage(page);
  return true;
}

void CPropertySheet::placePage(CPropertyPage* page) {
  RECT r = pixels(kPageX, kPageY, m_pageCx, m_pageCy);
  ::SetWindowPos(page->m_hWnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CPropertySheet::insertTab(int index) {
  HWND tab = ::GetDlgItem(m_hWnd, AFX_IDC_TAB_CONTROL);
  if (!tab) return;
  CString caption = m_pages[static_cast<std::size_t>(index)]->GetCaption();
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<LPWSTR>(caption.GetString());
  ::SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

BOOL CPropertySheet::createSheet(HWND parent, DWORD style, DWORD exStyle, bool withButtons) {
  m_withButtons = withButtons;
  // The size of the largest page.
  m_pageCx = m_pageCy = 0;
  for (CPropertyPage* page : m_pages) {
    HINSTANCE instance;
    const BYTE* bytes;
    std::size_t size;
    platform::dialog::DialogTemplate t;
    if (page->templateBytesOf(instance, bytes, size) && platform::dialog::parseTemplate(bytes, size, t)) {
      page->m_strTemplateCaption = CString(t.title);  // the tab's text before the page exists
      m_pageCx = std::max<int>(m_pageCx, t.cx);
      m_pageCy = std::max<int>(m_pageCy, t.cy);
    }
  }
  platform::dialog::DialogTemplate sheet;
  sheet.style = style;
  sheet.exStyle = exStyle | WS_EX_CONTROLPARENT;
  sheet.title = m_strCaption.str();
  const int tabCx = m_pageCx + 2 * (kPageX - kMargin), tabCy = m_pageCy + kPageY - kMargin + kMargin;
  const int buttonsCx = 3 * kButtonCx + 4 * kMargin;
  sheet.cx = static_cast<short>(std::max(tabCx + 2 * kMargin, withButtons ? buttonsCx : 0));
  sheet.cy = static_cast<short>(tabCy + 2 * kMargin + (withButtons ? kButtonCy + kMargin : 0));
  if (!(style & WS_CHILD)) sheet.style |= DS_CENTER;
  return createFrom(AfxGetInstanceHandle(), sheet, parent);
}

LRESULT CPropertySheet::OnSheetInit(WPARAM, LPARAM) {
  const int tabCx = m_pageCx + 2 * (kPageX - kMargin), tabCy = m_pageCy + kPageY;
  makeChild(m_hWnd, WC_TABCONTROLW, u"", WS_TABSTOP | WS_CLIPSIBLINGS, pixels(kMargin, kMargin, tabCx, tabCy),
            AFX_IDC_TAB_CONTROL);
  if (m_withButtons) {
    RECT client;
    GetClientRect(&client);
    RECT unit = pixels(0, 0, kButtonCx, kButtonCy);
    RECT gap = pixels(0, 0, kMargin, kMargin);
    const int bw = unit.right, bh = unit.bottom, g = gap.right;
    int x = client.right - g - bw;
    const int y = client.bottom - gap.bottom - bh;
    const bool apply = !(m_psh.dwFlags & PSH_NOAPPLYNOW);
    if (apply) {
      makeChild(m_hWnd, u"Button", kApply, WS_TABSTOP | WS_DISABLED, RECT{x, y, x + bw, y + bh}, ID_APPLY_NOW);
      x -= g + bw;
    }
    makeChild(m_hWnd, u"Button", kCancel, WS_TABSTOP, RECT{x, y, x + bw, y + bh}, IDCANCEL);
    x -= g + bw;
    makeChild(m_hWnd, u"Button", kOk, WS_TABSTOP | 0x1 /* BS_DEFPUSHBUTTON */, RECT{x, y, x + bw, y + bh}, IDOK);
    SetDefID(IDOK);
  }
  for (int i = 0; i < GetPageCount(); ++i) insertTab(i);
  int first = m_nActive < GetPageCount() ? m_nActive : 0;
  m_nActive = -1;
  if (GetPageCount() && !SetActivePage(first)) {
    // A first page that refuses to show leaves the next one that accepts.
    for (int i = 0; i < GetPageCount() && m_nActive < 0; ++i) SetActivePage(i);
  }
  if (m_nActive < 0) m_nActive = 0;
  return TRUE;
}

INT_PTR CPropertySheet::DoModal() {
  HWND owner = PreModal();
  bool reenable = false;
  if (owner && ::IsWindowEnabled(owner)) {
    ::EnableWindow(owner, FALSE);
    reenable = true;
  }
  m_nModalResult = -1;
  m_nFlags |= WF_CONTINUEMODAL;
  // An exception thrown by a handler ends the sheet on its way out, leaving the owner usable.
  struct EndOnUnwind {
    CPropertySheet& sheet;
    HWND owner;
    bool reenable;
    int before = std::uncaught_exceptions();
    ~EndOnUnwind() {
      if (std::uncaught_exceptions() <= before) return;
      sheet.m_nFlags &= ~static_cast<UINT>(WF_CONTINUEMODAL | WF_MODALLOOP);
      try {
        if (reenable) ::EnableWindow(owner, TRUE);
        for (CPropertyPage* p : sheet.m_pages)
          if (p->m_hWnd) p->DestroyWindow();
        if (sheet.m_hWnd) sheet.DestroyWindow();
      } catch (...) {  // a second exception while the first one unwinds would end the program
      }
      sheet.m_modified.clear();
    }
  } unwinding{*this, owner, reenable};
  if (createSheet(owner, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, WS_EX_DLGMODALFRAME, true)) {
    if (m_nFlags & WF_CONTINUEMODAL) {
      ShowWindow(SW_SHOWNORMAL);
      RunModalLoop(MLF_SHOWONIDLE);
    }
  }
  m_nFlags &= ~static_cast<UINT>(WF_CONTINUEMODAL | WF_MODALLOOP);
  if (reenable) ::EnableWindow(owner, TRUE);
  if (owner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
  for (CPropertyPage* p : m_pages)
    if (p->m_hWnd) p->DestroyWindow();
  if (m_hWnd) DestroyWindow();
  m_modified.clear();
  return m_nModalResult;
}

BOOL CPropertySheet::Create(CWnd* pParentWnd, DWORD dwStyle, DWORD dwExStyle) {
  if (dwStyle == static_cast<DWORD>(-1)) dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  if (pParentWnd) m_pParentWnd = pParentWnd;
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  m_psh.dwFlags |= PSH_MODELESS;
  // A modeless sheet, child or not, has its OK, Cancel and Apply buttons as a modal one does; its
  // owner decides what they do.
  if (!createSheet(parent, dwStyle & ~static_cast<DWORD>(WS_VISIBLE), dwExStyle, true)) return FALSE;
  if (dwStyle & WS_VISIBLE) ShowWindow(SW_SHOW);
  return TRUE;
}

bool CPropertySheet::applyAll() {
  CPropertyPage* active = GetActivePage();
  if (active && active->m_hWnd && notifyPage(active, PSN_KILLACTIVE)) return false;
  for (int i = 0; i < GetPageCount(); ++i) {
    CPropertyPage* page = m_pages[static_cast<std::size_t>(i)];
    if (!page->m_hWnd) continue;
    LRESULT r = notifyPage(page, PSN_APPLY);
    if (r == PSNRET_INVALID_NOCHANGEPAGE || r == PSNRET_INVALID) {
      if (r == PSNRET_INVALID) SetActivePage(i);
      return false;
    }
  }
  m_modified.clear();
  updateApply();
  return true;
}

void CPropertySheet::OnOK() {
  if (!applyAll()) return;
  EndDialog(IDOK);
}

void CPropertySheet::OnCancel() {
  CPropertyPage* active = GetActivePage();
  if (active && active->m_hWnd && notifyPage(active, PSN_QUERYCANCEL)) return;
  for (CPropertyPage* page : m_pages)
    if (page->m_hWnd) notifyPage(page, PSN_RESET);
  EndDialog(IDCANCEL);
}

void CPropertySheet::OnApplyNow() { applyAll(); }

BOOL CPropertySheet::PressButton(int nButton) {
  switch (nButton) {
    case PSBTN_OK: PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); return TRUE;
    case PSBTN_CANCEL: PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); return TRUE;
    case PSBTN_APPLYNOW: PostMessage(WM_COMMAND, MAKEWPARAM(ID_APPLY_NOW, BN_CLICKED), 0); return TRUE;
    default: return FALSE;
  }
}

void CPropertySheet::OnTabChanging(NMHDR*, LRESULT* pResult) {
  // TRUE keeps the current tab: the page's data are not valid.
  CPropertyPage* active = GetActivePage();
  *pResult = (active && active->m_hWnd) ? notifyPage(active, PSN_KILLACTIVE) : FALSE;
}

void CPropertySheet::OnTabChange(NMHDR*, LRESULT* pResult) {
  HWND tab = ::GetDlgItem(m_hWnd, AFX_IDC_TAB_CONTROL);
  int wanted = static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0));
  const int old = m_nActive;
  // The leaving page was asked in TCN_SELCHANGING; now only the new page can refuse.
  bool shown = false;
  if (wanted >= 0 && wanted < GetPageCount() && createPage(wanted)) {
    CPropertyPage* page = m_pages[static_cast<std::size_t>(wanted)];
    if (notifyPage(page, PSN_SETACTIVE) != -1) {
      if (CPropertyPage* prev = GetPage(old); prev && prev != page && prev->m_hWnd) prev->ShowWindow(SW_HIDE);
      m_nActive = wanted;
      page->ShowWindow(SW_SHOW);
      shown = true;
    }
  }
  if (!shown) ::SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(old), 0);
  *pResult = 0;
}

void CPropertySheet::pageChanged(CPropertyPage* pPage, BOOL bChanged) {
  if (m_hWnd) SendMessage(bChanged ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(pPage->m_hWnd), 0);
  else if (bChanged && std::find(m_modified.begin(), m_modified.end(), pPage) == m_modified.end())
    m_modified.push_back(pPage);
}

LRESULT CPropertySheet::OnPsmChanged(WPARAM wParam, LPARAM) {
  auto* page = static_cast<CPropertyPage*>(CWnd::FromHandlePermanent(reinterpret_cast<HWND>(wParam)));
  if (page && std::find(m_modified.begin(), m_modified.end(), page) == m_modified.end()) m_modified.push_back(page);
  updateApply();
  return 0;
}

LRESULT CPropertySheet::OnPsmUnchanged(WPARAM wParam, LPARAM) {
  auto* page = CWnd::FromHandlePermanent(reinterpret_cast<HWND>(wParam));
  m_modified.erase(std::remove(m_modified.begin(), m_modified.end(), page), m_modified.end());
  updateApply();
  return 0;
}

LRESULT CPropertySheet::OnPsmCancelToClose(WPARAM, LPARAM) {
  // What was applied cannot be cancelled any more: Cancel is disabled, OK reads Close.
  if (HWND cancel = ::GetDlgItem(m_hWnd, IDCANCEL)) ::EnableWindow(cancel, FALSE);
  if (HWND ok = ::GetDlgItem(m_hWnd, IDOK)) ::SetWindowTextW(ok, kClose);
  return 0;
}

void CPropertySheet::updateApply() {
  if (HWND apply = ::GetDlgItem(m_hWnd, ID_APPLY_NOW)) ::EnableWindow(apply, !m_modified.empty());
}
