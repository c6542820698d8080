// Screen captures read back what windows drew into the host's screen image: unscaled and
// stretched window captures, the desktop capture with and without bringing the windows back, the
// hand-over of the bitmap, and the bitmap helpers behind them.
#include "app/screen_capture.h"

#include "app/windows_helpers.h"
#include "platform/base/clock.h"
#include "platform/win32/gdi.h"
#include "platform/win32/input.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/test_windows.h"

namespace {

using apptest::AppTest;

constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 220);

class ScreenCaptureTest : public AppTest {
 protected:
  ScreenCaptureTest() {
    platform::gdi::clearScreen();
    platform::input::clearRecordedInput();
  }
  ~ScreenCaptureTest() override {
    for (HWND w : windows_) DestroyWindow(w);
  }

  // A visible window at (x, y) of w x h, painted red with a blue square at (10, 10)-(30, 30).
  HWND paintedWindow(int x, int y, int w, int h) {
    kipotest::registerWindowClass(u"CaptureTarget");
    HWND win = CreateWindowExW(0, u"CaptureTarget", u"", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr, nullptr,
                               nullptr);
    windows_.push_back(win);
    HDC dc = GetDC(win);
    RECT all{0, 0, w, h}, square{10, 10, 30, 30};
    HBRUSH red = CreateSolidBrush(kRed), blue = CreateSolidBrush(kBlue);
    FillRect(dc, &all, red);
    FillRect(dc, &square, blue);
    DeleteObject(red);
    DeleteObject(blue);
    ReleaseDC(win, dc);
    return win;
  }

  // A pixel of a bitmap, read through a memory DC.
  static COLORREF pixelOf(HBITMAP bitmap, int x, int y) {
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, bitmap);
    COLORREF c = GetPixel(mem, x, y);
    SelectObject(mem, old);
    DeleteDC(mem);
    return c;
  }
  static SIZE sizeOf(CBitmap& bitmap) {
    BITMAP bm{};
    bitmap.GetBitmap(&bm);
    return SIZE{bm.bmWidth, bm.bmHeight};
  }

  std::vector<HWND> windows_;
};

TEST_F(ScreenCaptureTest, AWindowCaptureReadsBackWhatTheWindowDrew) {
  HWND w = paintedWindow(100, 120, 200, 100);
  CScreenCapture capture;
  ASSERT_TRUE(capture.captureWindow(w, false, -1, -1));
  EXPECT_EQ(capture.sourceWindow(), w);
  SIZE s = sizeOf(capture.bitmap());
  EXPECT_EQ(s.cx, 200);
  EXPECT_EQ(s.cy, 100);
  HBITMAP bm = static_cast<HBITMAP>(capture.bitmap().GetSafeHandle());
  EXPECT_EQ(pixelOf(bm, 20, 20), kBlue);
  EXPECT_EQ(pixelOf(bm, 100, 50), kRed);
  EXPECT_EQ(pixelOf(bm, 199, 99), kRed);
}

TEST_F(ScreenCaptureTest, AGivenSizeStretchesAndASecondCaptureReplacesTheFirst) {
  HWND w = paintedWindow(50, 60, 200, 100);
  CScreenCapture capture;
  ASSERT_TRUE(capture.captureWindow(w, true, -1, -1));
  ASSERT_TRUE(capture.captureWindow(w, true, 100, 50));
  SIZE s = sizeOf(capture.bitmap());
  EXPECT_EQ(s.cx, 100);
  EXPECT_EQ(s.cy, 50);
  HBITMAP bm = static_cast<HBITMAP>(capture.bitmap().GetSafeHandle());
  EXPECT_EQ(pixelOf(bm, 10, 10), kBlue) << "the square at half size";
  EXPECT_EQ(pixelOf(bm, 60, 30), kRed);
}

TEST_F(ScreenCaptureTest, DesktopCaptureIsTheWholeScreenWithTheWindowsGone) {
  platform::clock::VirtualClock clock;  // the one-second wait passes at once
  HDC screen = GetDC(nullptr);
  SetPixel(screen, 5, 6, kBlue);
  ReleaseDC(nullptr, screen);
  HWND w = paintedWindow(300, 300, 100, 100);

  CScreenCapture capture;
  EXPECT_TRUE(capture.captureDesktop(-1, -1, false));
  SIZE s = sizeOf(capture.bitmap());
  EXPECT_EQ(s.cx, 1024);
  EXPECT_EQ(s.cy, 768);
  EXPECT_EQ(pixelOf(static_cast<HBITMAP>(capture.bitmap().GetSafeHandle()), 5, 6), kBlue) << "an unscaled copy";
  EXPECT_TRUE(IsIconic(w)) << "without restoring, the desktop stays shown";
  EXPECT_TRUE(platform::input::desktopShown());
  showDesktop();  // the caller brings the windows back later
  EXPECT_FALSE(IsIconic(w));

  EXPECT_TRUE(capture.captureDesktop(512, 384, true));
  EXPECT_FALSE(IsIconic(w));
  EXPECT_FALSE(platform::input::desktopShown());
  EXPECT_EQ(sizeOf(capture.bitmap()).cx, 512);
}

TEST_F(ScreenCaptureTest, ACaptureThatCannotBeMadeIsReported) {
  CScreenCapture capture;
  EXPECT_FALSE(capture.captureWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x7FFF0001)), false, -1, -1));
  EXPECT_EQ(capture.bitmap().GetSafeHandle(), nullptr);

  // A desktop capture whose bitmap cannot be made (far too large) says so, and still brings the
  // windows back.
  platform::clock::VirtualClock clock;
  HWND w = paintedWindow(0, 0, 50, 50);
  EXPECT_FALSE(capture.captureDesktop(1000000, 1000000, true));
  EXPECT_FALSE(IsIconic(w));
  EXPECT_FALSE(platform::input::desktopShown());
}

TEST_F(ScreenCaptureTest, DetachHandsTheBitmapOver) {
  HWND w = paintedWindow(0, 0, 40, 40);
  HBITMAP handed = nullptr;
  {
    CScreenCapture capture;
    ASSERT_TRUE(capture.captureWindow(w, false, -1, -1));
    handed = capture.detachBitmap();
    EXPECT_EQ(capture.bitmap().GetSafeHandle(), nullptr);
  }
  EXPECT_EQ(pixelOf(handed, 15, 15), kBlue) << "still alive after the capture object went";
  EXPECT_TRUE(DeleteObject(handed));
}

TEST_F(ScreenCaptureTest, BitmapInfoHeaderFromABitmap) {
  struct Case {
    int width, height, bits;
    std::size_t blockSize;
    DWORD imageSize;
  } cases[] = {
      {33, 10, 1, 40 + 2 * 4, 8 * 10},   // one row of 33 bits takes two DWORDs
      {10, 7, 32, 40, 40 * 7},
  };
  for (const Case& c : cases) {
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.Attach(CreateBitmap(c.width, c.height, 1, static_cast<UINT>(c.bits), nullptr)));
    std::vector<BYTE> block = makeBitmapInfoHeader(bitmap);
    ASSERT_EQ(block.size(), c.blockSize) << c.bits;
    BITMAPINFOHEADER h{};
    std::memcpy(&h, block.data(), sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, c.width);
    EXPECT_EQ(h.biHeight, c.height);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, c.bits);
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h.biSizeImage, c.imageSize) << c.bits;
    for (std::size_t i = sizeof h; i < block.size(); ++i) EXPECT_EQ(block[i], 0) << "the colour table is zeroed";
  }
  CBitmap empty;
  EXPECT_TRUE(makeBitmapInfoHeader(empty).empty());
}

TEST_F(ScreenCaptureTest, ScreenResolutionAndCompatibleBitmaps) {
  int w = 0, h = 0;
  ASSERT_TRUE(getScreenResolution(w, h));
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);

  CDC screen;
  screen.Attach(GetDC(nullptr));
  CBitmap bitmap;
  ASSERT_TRUE(createCompatibleBitmap(bitmap, screen, 30, 20));
  HGDIOBJ first = bitmap.GetSafeHandle();
  ASSERT_TRUE(createCompatibleBitmap(bitmap, screen, 8, 8));
  EXPECT_NE(bitmap.GetSafeHandle(), first);
  EXPECT_EQ(sizeOf(bitmap).cx, 8);
  ReleaseDC(nullptr, screen.Detach());
}

TEST_F(ScreenCaptureTest, MessageIconWindowDrawsItsIconAtTheOrigin) {
  kipotest::registerWindowClass(u"KipoMessageIcon", messageIconWindowProc);
  HWND w = CreateWindowExW(0, u"KipoMessageIcon", u"", WS_POPUP | WS_VISIBLE, 10, 10, 32, 32, nullptr, nullptr,
                           nullptr, nullptr);
  windows_.push_back(w);
  HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32516));  // IDI_ASTERISK
  ASSERT_TRUE(icon);
  SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(icon));
  platform::gdi::clearDrawRecord();
  InvalidateRect(w, nullptr, TRUE);
  UpdateWindow(w);
  bool drawn = false;
  for (const auto& call : platform::gdi::drawRecord())
    if (call.call == "DrawIcon" && call.window == w && call.rect.left == 0 && call.rect.top == 0) drawn = true;
  EXPECT_TRUE(drawn);
}

}  // namespace
