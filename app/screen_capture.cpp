// Window and desktop captures; see screen_capture.h.
#include "app/screen_capture.h"

#include "app/windows_helpers.h"
#include "platform/afx/dc.h"
#include "platform/win32/gdi.h"
#include "platform/win32/time.h"
#include "platform/win32/window.h"

IMPLEMENT_DYNAMIC(CScreenCapture, CObject)

namespace {

constexpr DWORD kShowDesktopWaitMs = 1000;

}  // namespace

bool CScreenCapture::captureWindow(HWND window, bool clientArea, int width, int height) {
  m_sourceWindow = window;
  HDC sourceHdc = clientArea ? GetDC(window) : GetWindowDC(window);
  if (!sourceHdc) return false;
  CDC source;
  source.Attach(sourceHdc);
  bool copied = false;
  CDC memory;
  if (memory.CreateCompatibleDC(&source)) {
    RECT r{};
    if (clientArea) GetClientRect(window, &r);
    else GetWindowRect(window, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int targetWidth = width == -1 ? w : width;
    const int targetHeight = height == -1 ? h : height;
    if (createCompatibleBitmap(m_bitmap, source, targetWidth, targetHeight)) {
      CBitmap* previous = memory.SelectObject(&m_bitmap);
      if (width == -1 || height == -1)
        copied = memory.BitBlt(0, 0, w, h, &source, 0, 0, SRCCOPY) != FALSE;
      else
        copied = memory.StretchBlt(0, 0, targetWidth, targetHeight, &source, 0, 0, w, h, SRCCOPY) != FALSE;
      memory.SelectObject(previous);
    }
  }
  source.Detach();
  ReleaseDC(window, sourceHdc);
  return copied;
}

bool CScreenCapture::captureDesktop(int width, int height, bool restoreWindows) {
  showDesktop();
  Sleep(kShowDesktopWaitMs);
  const bool captured = captureWindow(GetDesktopWindow(), false, width, height);
  if (restoreWindows) showDesktop();
  return captured;
}

HBITMAP CScreenCapture::detachBitmap() { return static_cast<HBITMAP>(m_bitmap.Detach()); }
