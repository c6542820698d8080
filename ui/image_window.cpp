// The screen-capture window: painted centred, or not at all while painting is off.
#include "ui/image_window.h"

#include "app/windows_helpers.h"
#include "platform/afx/dc.h"
#include "platform/win32/win32.h"

namespace {

constexpr char16_t kWindowName[] = u"KIPO_IMAGE_WINDOW";

}  // namespace

BEGIN_MESSAGE_MAP(CImageWindow, CWnd)
  ON_WM_ERASEBKGND()
  ON_WM_PAINT()
  ON_MESSAGE(WM_KIPO_IMAGE_DESTROY, OnDestroyRequest)
END_MESSAGE_MAP()

CImageWindow::~CImageWindow() {
  if (m_hWnd) DestroyWindow();
}

bool CImageWindow::create() {
  if (m_created && m_hWnd) return true;
  LPCWSTR className = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, LoadCursorW(nullptr, IDC_ARROW),
                                          static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
                                          LoadIconW(nullptr, IDI_APPLICATION));
  m_created = CreateEx(WS_EX_TOOLWINDOW, className ? className : u"", kWindowName, WS_POPUP | WS_CAPTION | WS_THICKFRAME,
                       100, 100, 300, 300, nullptr, nullptr) != FALSE;
  if (!m_created) return false;
  ModifyStyle(WS_CAPTION | WS_THICKFRAME, 0);
  int width = 0, height = 0;
  getScreenResolution(width, height);
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, width, height, SWP_FRAMECHANGED);
  return true;
}

void CImageWindow::setBitmap(HBITMAP bitmap) {
  if (!m_created || !bitmap) return;
  m_bitmap.DeleteObject();
  m_bitmap.Attach(bitmap);
}

void CImageWindow::show() {
  if (!m_created) return;
  ShowWindow(SW_SHOW);
  SetActiveWindow();
}

bool CImageWindow::hide() {
  if (!m_created) return false;
  m_created = false;
  SendMessage(WM_KIPO_IMAGE_DESTROY);
  return true;
}

LRESULT CImageWindow::OnDestroyRequest(WPARAM, LPARAM) {
  DestroyWindow();
  return 0;
}

BOOL CImageWindow::OnEraseBkgnd(CDC*) { return TRUE; }

void CImageWindow::OnPaint() {
  if (!m_paintEnabled) {
    ValidateRect(nullptr);
    return;
  }
  CPaintDC dc(this);
  if (!m_bitmap.GetSafeHandle()) return;
  BITMAP info{};
  m_bitmap.GetBitmap(&info);
  CRect client;
  GetClientRect(&client);
  CDC memory;
  if (!memory.CreateCompatibleDC(&dc)) return;
  CBitmap* old = memory.SelectObject(&m_bitmap);
  dc.BitBlt((client.Width() - info.bmWidth) / 2, (client.Height() - info.bmHeight) / 2, info.bmWidth, info.bmHeight,
            &memory, 0, 0, SRCCOPY);
  memory.SelectObject(old);
}
