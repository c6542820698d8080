// CScreenCapture: a still picture of a window, or of the desktop with every application window
// out of the way, in a bitmap of a requested size. The login pull-down covers the screen with
// such a picture while it slides, so the user sees a calm desktop during login and logout.
#pragma once

#include "platform/afx/gdi.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

class CScreenCapture : public CObject {
  DECLARE_DYNAMIC(CScreenCapture)

 public:
  CScreenCapture() = default;
  // Frees the bitmap unless its handle was handed over (detachBitmap).
  ~CScreenCapture() override = default;
  CScreenCapture(const CScreenCapture&) = delete;
  CScreenCapture& operator=(const CScreenCapture&) = delete;

  // Copies the window (its client area when `clientArea`) into the bitmap, replacing any earlier
  // capture. -1 for width or height keeps the window's own size (an unscaled copy); other sizes
  // stretch it. False when no memory device context or bitmap can be made or the copy fails.
  bool captureWindow(HWND window, bool clientArea, int width, int height);
  // Shows the desktop (the Windows key with D), waits 1000 ms for the windows to go, captures the
  // desktop window, and with `restoreWindows` presses the keys again to bring them back. Returns
  // what the capture gave.
  bool captureDesktop(int width, int height, bool restoreWindows);
  // The caller takes the bitmap over; the object is empty afterwards.
  HBITMAP detachBitmap();

  CBitmap& bitmap() { return m_bitmap; }
  HWND sourceWindow() const { return m_sourceWindow; }

 private:
  CBitmap m_bitmap;
  HWND m_sourceWindow = nullptr;  // not owned
};
