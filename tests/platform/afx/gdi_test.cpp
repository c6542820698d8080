// The framework's drawing wrappers: a window's capture through CWindowDC, a compatible CDC and
// CBitmap (as the product's screen capture does it), the temporary objects SelectObject hands
// back, fonts by point size, text measurement and the solid fills, and objects that delete their
// handle unless detached.
#include <gtest/gtest.h>

#include "platform/afx/afxwin.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

LRESULT CALLBACK greenProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_PAINT) {
    CPaintDC dc(CWnd::FromHandle(h));
    CRect client;
    ::GetClientRect(h, &client);
    dc.FillSolidRect(&client, RGB(0, 128, 0));
    CBrush yellow(RGB(255, 255, 0));
    CRect corner(0, 0, 4, 4);
    dc.FillRect(&corner, &yellow);
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

class AfxGdiTest : public ::testing::Test {
 protected:
  AfxGdiTest() {
    kipotest::registerWindowClass(u"KipoAfxGreen", greenProc);
  }
  ~AfxGdiTest() override { CDC::DeleteTempMap(); }
  kipotest::TestHost host_;
};

TEST_F(AfxGdiTest, AWindowIsCapturedIntoACompatibleBitmapAtFullAndHalfSize) {
  HWND h = CreateWindowExW(0, u"KipoAfxGreen", u"", WS_POPUP | WS_VISIBLE, 40, 40, 16, 8, nullptr, nullptr, nullptr,
                           nullptr);
  UpdateWindow(h);
  CWnd* wnd = CWnd::FromHandle(h);
  {
    CWindowDC source(wnd);
    ASSERT_NE(source.GetSafeHdc(), nullptr);
    CDC memory;
    ASSERT_TRUE(memory.CreateCompatibleDC(&source));
    CBitmap full;
    ASSERT_TRUE(full.CreateCompatibleBitmap(&source, 16, 8));
    CBitmap* previous = memory.SelectObject(&full);
    ASSERT_NE(previous, nullptr);
    EXPECT_TRUE(memory.BitBlt(0, 0, 16, 8, &source, 0, 0, SRCCOPY));
    EXPECT_EQ(memory.GetPixel(0, 0), RGB(255, 255, 0));
    EXPECT_EQ(memory.GetPixel(15, 7), RGB(0, 128, 0));
    // Halved: each 2x2 block of the source ANDed (the memory DC's default stretch mode).
    CBitmap half;
    ASSERT_TRUE(half.CreateCompatibleBitmap(&source, 8, 4));
    memory.SelectObject(&half);
    EXPECT_TRUE(memory.StretchBlt(0, 0, 8, 4, &source, 0, 0, 16, 8, SRCCOPY));
    EXPECT_EQ(memory.GetPixel(0, 0), RGB(255, 255, 0));
    EXPECT_EQ(memory.GetPixel(7, 3), RGB(0, 128, 0));
    memory.SelectObject(previous);
    BITMAP bm{};
    ASSERT_GT(half.GetBitmap(&bm), 0);
    EXPECT_EQ(bm.bmWidth, 8);
    EXPECT_EQ(bm.bmHeight, 4);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    // The capture is handed over: detached, it outlives the wrapper.
    HBITMAP kept = static_cast<HBITMAP>(full.Detach());
    EXPECT_EQ(full.GetSafeHandle(), nullptr);
    EXPECT_EQ(GetObjectType(kept), static_cast<DWORD>(OBJ_BITMAP));
    DeleteObject(kept);
  }  // the memory DC and the half bitmap are deleted here, the window DC released
  DestroyWindow(h);
}

TEST_F(AfxGdiTest, ObjectsDeleteTheirHandleUnlessDetached) {
  HGDIOBJ handle;
  {
    CPen pen(PS_SOLID, 2, RGB(1, 2, 3));
    handle = pen.GetSafeHandle();
    LOGPEN lp{};
    ASSERT_GT(pen.GetLogPen(&lp), 0);
    EXPECT_EQ(lp.lopnColor, RGB(1, 2, 3));
    EXPECT_FALSE(pen.CreatePen(PS_SOLID, 1, 0)) << "holds a handle already";
  }
  EXPECT_EQ(GetObjectType(handle), 0u);
  CRgn a, b, both;
  ASSERT_TRUE(a.CreateRectRgn(0, 0, 10, 10));
  ASSERT_TRUE(b.CreateRectRgn(5, 0, 15, 10));
  ASSERT_TRUE(both.CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(both.CombineRgn(&a, &b, RGN_OR), SIMPLEREGION);
  CRect box;
  both.GetRgnBox(&box);
  EXPECT_EQ(box, CRect(0, 0, 15, 10));
  EXPECT_TRUE(both.PtInRegion(12, 5));
}

TEST_F(AfxGdiTest, FontsByPointSizeMeasureByTheFixedMetrics) {
  CClientDC screen(nullptr);
  CFont font;
  ASSERT_TRUE(font.CreatePointFont(80, u"MS Shell Dlg", &screen));
  LOGFONTW lf{};
  font.GetLogFont(&lf);
  EXPECT_EQ(lf.lfHeight, -11);
  CFont* old = screen.SelectObject(&font);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->GetSafeHandle(), GetStockObject(SYSTEM_FONT)) << "a temporary object for the previous font";
  EXPECT_EQ(screen.GetTextExtent(CString(u"Kipo")), CSize(24, 13));
  CRect r(0, 0, 40, 0);
  EXPECT_EQ(screen.DrawText(CString(u"one two three"), &r, DT_WORDBREAK | DT_CALCRECT), 39);
  EXPECT_EQ(r.Width(), 30);
  TEXTMETRICW tm{};
  EXPECT_TRUE(screen.GetTextMetrics(&tm));
  EXPECT_EQ(tm.tmAveCharWidth, 6);
  screen.SelectObject(old);
  // FillSolidRect leaves its colour as the background colour, as the class library's does.
  CDC memory;
  memory.CreateCompatibleDC(&screen);
  CBitmap bmp;
  bmp.CreateCompatibleBitmap(&screen, 4, 4);
  CBitmap* first = memory.SelectObject(&bmp);
  memory.FillSolidRect(0, 0, 4, 4, RGB(9, 8, 7));
  EXPECT_EQ(memory.GetPixel(3, 3), RGB(9, 8, 7));
  EXPECT_EQ(memory.GetBkColor(), RGB(9, 8, 7));
  memory.SelectObject(first);
}

}  // namespace
