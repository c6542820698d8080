// CProgressCtrl, CTabCtrl, CAnimateCtrl and CToolTipCtrl: calls of their controls' messages.
#include "platform/afx/ctrl_common.h"

#include "platform/afx/app.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/resource.h"

IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTabCtrl, CWnd)
IMPLEMENT_DYNAMIC(CAnimateCtrl, CWnd)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)

namespace {

constexpr const char16_t* kAviType = u"AVI";
// What TTM_GETTEXTW fills at most (its record carries no buffer size).
constexpr int kTipTextMax = 80;

BOOL createControl(CWnd& wnd, LPCWSTR cls, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  platform::controls::registerCommonClasses();
  return wnd.CWnd::Create(cls, nullptr, style, rect, parent, id);
}

}  // namespace

// ---- CProgressCtrl ----

BOOL CProgressCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return createControl(*this, PROGRESS_CLASSW, dwStyle, rect, pParentWnd, nID);
}
void CProgressCtrl::SetRange(short nLower, short nUpper) {
  SendMessage(PBM_SETRANGE, 0, MAKELPARAM(static_cast<WORD>(nLower), static_cast<WORD>(nUpper)));
}
void CProgressCtrl::SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper); }
void CProgressCtrl::GetRange(int& nLower, int& nUpper) const {
  PBRANGE range{};
  SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  nLower = range.iLow;
  nUpper = range.iHigh;
}
int CProgressCtrl::SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }
int CProgressCtrl::GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
int CProgressCtrl::OffsetPos(int nPos) { return static_cast<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(nPos))); }
int CProgressCtrl::SetStep(int nStep) { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(nStep))); }
int CProgressCtrl::StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }

// ---- CTabCtrl ----

CTabCtrl::~CTabCtrl() { m_previous.Detach(); }

BOOL CTabCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return createControl(*this, WC_TABCONTROLW, dwStyle, rect, pParentWnd, nID);
}
LONG CTabCtrl::InsertItem(int nItem, TCITEM* pTabCtrlItem) {
  return static_cast<LONG>(SendMessage(TCM_INSERTITEMW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pTabCtrlItem)));
}
LONG CTabCtrl::InsertItem(int nItem, LPCWSTR lpszItem) { return InsertItem(TCIF_TEXT, nItem, lpszItem, 0, 0); }
LONG CTabCtrl::InsertItem(int nItem, LPCWSTR lpszItem, int nImage) {
  return InsertItem(TCIF_TEXT | TCIF_IMAGE, nItem, lpszItem, nImage, 0);
}
LONG CTabCtrl::InsertItem(UINT nMask, int nItem, LPCWSTR lpszItem, int nImage, LPARAM lParam) {
  TCITEM item{};
  item.mask = nMask;
  item.pszText = const_cast<LPWSTR>(lpszItem);
  item.iImage = nImage;
  item.lParam = lParam;
  return InsertItem(nItem, &item);
}
BOOL CTabCtrl::DeleteItem(int nItem) { return static_cast<BOOL>(SendMessage(TCM_DELETEITEM, static_cast<WPARAM>(nItem))); }
BOOL CTabCtrl::DeleteAllItems() { return static_cast<BOOL>(SendMessage(TCM_DELETEALLITEMS)); }
int CTabCtrl::GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
int CTabCtrl::GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
int CTabCtrl::SetCurSel(int nItem) { return static_cast<int>(SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(nItem))); }
int CTabCtrl::GetCurFocus() const { return static_cast<int>(SendMessage(TCM_GETCURFOCUS)); }
void CTabCtrl::SetCurFocus(int nItem) { SendMessage(TCM_SETCURFOCUS, static_cast<WPARAM>(nItem)); }
BOOL CTabCtrl::GetItem(int nItem, TCITEM* pTabCtrlItem) const {
  return static_cast<BOOL>(SendMessage(TCM_GETITEMW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pTabCtrlItem)));
}
BOOL CTabCtrl::SetItem(int nItem, TCITEM* pTabCtrlItem) {
  return static_cast<BOOL>(SendMessage(TCM_SETITEMW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pTabCtrlItem)));
}
BOOL CTabCtrl::GetItemRect(int nItem, LPRECT lpRect) const {
  return static_cast<BOOL>(SendMessage(TCM_GETITEMRECT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(lpRect)));
}
void CTabCtrl::AdjustRect(BOOL bLarger, LPRECT lpRect) {
  SendMessage(TCM_ADJUSTRECT, static_cast<WPARAM>(bLarger), reinterpret_cast<LPARAM>(lpRect));
}
CImageList* CTabCtrl::SetImageList(CImageList* pImageList) {
  auto old = reinterpret_cast<HIMAGELIST>(SendMessage(TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(platform::afx::handleOf(pImageList))));
  m_previous.Detach();
  if (!old) return nullptr;
  m_previous.Attach(old);
  return &m_previous;
}
CImageList* CTabCtrl::GetImageList() const {
  auto h = reinterpret_cast<HIMAGELIST>(SendMessage(TCM_GETIMAGELIST));
  m_previous.Detach();
  if (!h) return nullptr;
  m_previous.Attach(h);
  return &m_previous;
}

// ---- CAnimateCtrl ----

BOOL CAnimateCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return createControl(*this, ANIMATE_CLASSW, dwStyle, rect, pParentWnd, nID);
}
BOOL CAnimateCtrl::Open(LPCWSTR lpszFileName) {
  return static_cast<BOOL>(SendMessage(ACM_OPENW, 0, reinterpret_cast<LPARAM>(lpszFileName)));
}
BOOL CAnimateCtrl::Open(UINT nID) {
  LPCWSTR name = MAKEINTRESOURCEW(nID);
  HINSTANCE module = AfxFindResourceHandle(name, kAviType);
  return static_cast<BOOL>(SendMessage(ACM_OPENW, reinterpret_cast<WPARAM>(module), reinterpret_cast<LPARAM>(name)));
}
BOOL CAnimateCtrl::Play(UINT nFrom, UINT nTo, UINT nRep) {
  return static_cast<BOOL>(SendMessage(ACM_PLAY, nRep, MAKELPARAM(nFrom, nTo)));
}
BOOL CAnimateCtrl::Stop() { return static_cast<BOOL>(SendMessage(ACM_STOP)); }
BOOL CAnimateCtrl::Close() { return static_cast<BOOL>(SendMessage(ACM_OPENW)); }
BOOL CAnimateCtrl::Seek(UINT nTo) { return static_cast<BOOL>(SendMessage(ACM_PLAY, 1, MAKELPARAM(nTo, nTo))); }
BOOL CAnimateCtrl::IsPlaying() const { return static_cast<BOOL>(SendMessage(ACM_ISPLAYING)); }

// ---- CToolTipCtrl ----

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle) {
  platform::controls::registerCommonClasses();
  return CWnd::CreateEx(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, platform::afx::hwndOf(pParentWnd), nullptr);
}

void CToolTipCtrl::fillInfo(TOOLINFO& ti, CWnd* pWnd, UINT_PTR nIDTool) const {
  ti = TOOLINFO{};
  ti.cbSize = sizeof(TOOLINFO);
  HWND target = platform::afx::hwndOf(pWnd);
  if (nIDTool == 0) {
    // The window itself is the tool, found by its parent.
    ti.hwnd = ::GetParent(target);
    ti.uFlags = TTF_IDISHWND;
    ti.uId = reinterpret_cast<UINT_PTR>(target);
  } else {
    ti.hwnd = target;
    ti.uId = nIDTool;
  }
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCWSTR lpszText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
  if (!pWnd) return FALSE;
  TOOLINFO ti;
  fillInfo(ti, pWnd, nIDTool);
  if (lpRectTool) ti.rect = *lpRectTool;
  else if (nIDTool == 0) ti.uFlags |= TTF_SUBCLASS;
  ti.lpszText = const_cast<LPWSTR>(lpszText);
  ti.hinst = AfxGetResourceHandle();
  return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}
BOOL CToolTipCtrl::AddTool(CWnd* pWnd, UINT nIDText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
  return AddTool(pWnd, MAKEINTRESOURCEW(nIDText), lpRectTool, nIDTool);
}
void CToolTipCtrl::DelTool(CWnd* pWnd, UINT_PTR nIDTool) {
  TOOLINFO ti;
  fillInfo(ti, pWnd, nIDTool);
  SendMessage(TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}
void CToolTipCtrl::UpdateTipText(LPCWSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool) {
  TOOLINFO ti;
  fillInfo(ti, pWnd, nIDTool);
  ti.lpszText = const_cast<LPWSTR>(lpszText);
  ti.hinst = AfxGetResourceHandle();
  SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}
void CToolTipCtrl::UpdateTipText(UINT nIDText, CWnd* pWnd, UINT_PTR nIDTool) {
  UpdateTipText(MAKEINTRESOURCEW(nIDText), pWnd, nIDTool);
}
void CToolTipCtrl::GetText(CString& str, CWnd* pWnd, UINT_PTR nIDTool) const {
  TOOLINFO ti;
  fillInfo(ti, pWnd, nIDTool);
  ti.lpszText = str.GetBuffer(kTipTextMax);
  ti.lpszText[0] = 0;
  SendMessage(TTM_GETTEXTW, kTipTextMax, reinterpret_cast<LPARAM>(&ti));
  str.ReleaseBuffer();
}
int CToolTipCtrl::GetToolCount() const { return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT)); }
void CToolTipCtrl::Activate(BOOL bActivate) { SendMessage(TTM_ACTIVATE, static_cast<WPARAM>(bActivate)); }
int CToolTipCtrl::SetMaxTipWidth(int iWidth) { return static_cast<int>(SendMessage(TTM_SETMAXTIPWIDTH, 0, iWidth)); }
int CToolTipCtrl::GetMaxTipWidth() const { return static_cast<int>(SendMessage(TTM_GETMAXTIPWIDTH)); }
void CToolTipCtrl::SetDelayTime(UINT nDelay) { SendMessage(TTM_SETDELAYTIME, TTDT_AUTOMATIC, MAKELPARAM(nDelay, 0)); }
void CToolTipCtrl::SetDelayTime(DWORD dwDuration, int iTime) {
  SendMessage(TTM_SETDELAYTIME, dwDuration, MAKELPARAM(static_cast<WORD>(iTime), 0));
}
int CToolTipCtrl::GetDelayTime(DWORD dwDuration) const { return static_cast<int>(SendMessage(TTM_GETDELAYTIME, dwDuration)); }
void CToolTipCtrl::RelayEvent(LPMSG lpMsg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(lpMsg)); }
void CToolTipCtrl::Pop() { SendMessage(TTM_POP); }
