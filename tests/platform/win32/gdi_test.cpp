// Graphics: what windows paint lands in the host's screen image and a capture reads it back;
// blits and stretching; text measurement on the documented metrics; bitmaps and icons from
// files and resources; GDI objects; system metrics; fonts of dialogs; the drawing record.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixture_ids.h"
#include "platform/host/host.h"
#include "platform/host/module_format.h"
#include "platform/win32/dialog.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/win32/module.h"
#include "platform/win32/resource.h"
#include "platform/win32/shell.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A window that paints its client area red with a blue 20x10 block at (5, 5), and a caption
// text at (30, 40).
LRESULT CALLBACK paintingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT client;
    GetClientRect(h, &client);
    HBRUSH red = CreateSolidBrush(kRed);
    FillRect(dc, &client, red);
    DeleteObject(red);
    HBRUSH blue = CreateSolidBrush(kBlue);
    RECT block{5, 5, 25, 15};
    FillRect(dc, &block, blue);
    DeleteObject(blue);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 255, 0));
    TextOutW(dc, 30, 40, u"Hi", 2);
    EndPaint(h, &ps);
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

class GdiTest : public ::testing::Test {
 protected:
  GdiTest() {
    kipotest::registerWindowClass(u"KipoGdiPainter", paintingProc);
    platform::gdi::clearScreen();
    platform::gdi::clearDrawRecord();
  }
  ~GdiTest() override {
    for (HWND h : windows_) DestroyWindow(h);
  }

  HWND painter(int x, int y, int w, int h, bool visible = true) {
    HWND hwnd = CreateWindowExW(0, u"KipoGdiPainter", u"painter", WS_POPUP | (visible ? WS_VISIBLE : 0), x, y, w, h,
                                nullptr, nullptr, nullptr, nullptr);
    windows_.push_back(hwnd);
    UpdateWindow(hwnd);
    return hwnd;
  }

  // A 32-bit top-down copy of a bitmap's pixels as COLORREFs.
  static std::vector<COLORREF> pixels(HDC dc, HBITMAP bmp, int w, int h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<DWORD> raw(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    EXPECT_EQ(GetDIBits(dc, bmp, 0, static_cast<UINT>(h), raw.data(), &bi, DIB_RGB_COLORS), h);
    std::vector<COLORREF> out;
    for (DWORD p : raw) out.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    return out;
  }

  kipotest::TestHost host_;
  std::vector<HWND> windows_;
};

// The capture the product's screen-capture code makes: a memory DC compatible with the window
// DC, a bitmap compatible with the window DC, BitBlt SRCCOPY.
TEST_F(GdiTest, WhatAWindowPaintsIsCapturedFromItsWindowDcAndTheScreen) {
  HWND w = painter(100, 50, 60, 60);
  HDC wdc = GetWindowDC(w);
  ASSERT_NE(wdc, nullptr);
  HDC mem = CreateCompatibleDC(wdc);
  HBITMAP bmp = CreateCompatibleBitmap(wdc, 60, 60);
  HGDIOBJ old = SelectObject(mem, bmp);
  ASSERT_TRUE(BitBlt(mem, 0, 0, 60, 60, wdc, 0, 0, SRCCOPY));
  SelectObject(mem, old);
  std::vector<COLORREF> px = pixels(mem, bmp, 60, 60);
  EXPECT_EQ(px[0], kRed);
  EXPECT_EQ(px[7 * 60 + 10], kBlue);
  EXPECT_EQ(px[14 * 60 + 24], kBlue);
  EXPECT_EQ(px[15 * 60 + 24], kRed) << "the block's bottom edge is excluded";
  EXPECT_EQ(px[59 * 60 + 59], kRed);
  // The text's first character cell (8 x 16 in a fresh DC's system font) has ink.
  bool ink = false;
  for (int y = 40; y < 53; ++y)
    for (int x = 30; x < 42; ++x) ink = ink || px[static_cast<std::size_t>(y) * 60 + static_cast<std::size_t>(x)] == RGB(0, 255, 0);
  EXPECT_TRUE(ink);
  ReleaseDC(w, wdc);

  // The same pixels at the window's place on the screen, around it the desktop.
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetPixel(screen, 100 + 10, 50 + 7), kBlue);
  EXPECT_EQ(GetPixel(screen, 99, 50), GetSysColor(COLOR_DESKTOP));
  EXPECT_EQ(GetPixel(screen, 160, 109), GetSysColor(COLOR_DESKTOP));
  EXPECT_EQ(GetPixel(screen, 159, 109), kRed);
  ReleaseDC(nullptr, screen);
  DeleteDC(mem);
  DeleteObject(bmp);
}

// The screen image is the host's: what another process draws on it is there for a capture here.
TEST_F(GdiTest, AnotherProcessesDrawingIsOnTheSameScreen) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::host::Host::reopen();  // its own connection and its own mapping of the screen
    HDC screen = GetDC(nullptr);
    HBRUSH blue = CreateSolidBrush(kBlue);
    RECT r{600, 500, 610, 505};
    int ok = FillRect(screen, &r, blue);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 20, 20);
  SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, 20, 20, screen, 595, 495, SRCCOPY);
  EXPECT_EQ(GetPixel(mem, 5, 5), kBlue);
  EXPECT_EQ(GetPixel(mem, 14, 9), kBlue);
  EXPECT_EQ(GetPixel(mem, 15, 10), GetSysColor(COLOR_DESKTOP));
  DeleteDC(mem);
  DeleteObject(bmp);
  ReleaseDC(nullptr, screen);
}

TEST_F(GdiTest, DrawingIsClippedToTheWindowAndHiddenWindowsDrawNothing) {
  HWND shown = painter(10, 10, 20, 20);
  HDC dc = GetDC(shown);
  HBRUSH blue = CreateSolidBrush(kBlue);
  RECT wide{-50, -50, 500, 500};
  FillRect(dc, &wide, blue);
  ReleaseDC(shown, dc);
  EXPECT_EQ(platform::gdi::screenPixel(10, 10), kBlue);
  EXPECT_EQ(platform::gdi::screenPixel(29, 29), kBlue);
  EXPECT_EQ(platform::gdi::screenPixel(30, 30), GetSysColor(COLOR_DESKTOP));
  EXPECT_EQ(platform::gdi::screenPixel(9, 9), GetSysColor(COLOR_DESKTOP));

  HWND hidden = painter(200, 200, 20, 20, false);
  dc = GetDC(hidden);
  FillRect(dc, &wide, blue);
  ReleaseDC(hidden, dc);
  EXPECT_EQ(platform::gdi::screenPixel(205, 205), GetSysColor(COLOR_DESKTOP));
  DeleteObject(blue);
}

TEST_F(GdiTest, ChildWindowsDrawInsideTheirParentOnly) {
  HWND parent = painter(300, 300, 40, 40);
  HWND child = CreateWindowExW(0, u"KipoGdiPainter", u"", WS_CHILD | WS_VISIBLE, 30, 30, 50, 50, parent, nullptr,
                               nullptr, nullptr);
  HDC dc = GetDC(child);
  HBRUSH blue = CreateSolidBrush(kBlue);
  RECT all{0, 0, 50, 50};
  FillRect(dc, &all, blue);
  ReleaseDC(child, dc);
  EXPECT_EQ(platform::gdi::screenPixel(335, 335), kBlue);
  EXPECT_EQ(platform::gdi::screenPixel(345, 345), GetSysColor(COLOR_DESKTOP)) << "outside the parent";
  DeleteObject(blue);
}

TEST_F(GdiTest, ThePaintDcIsClippedToTheUpdateRectangle) {
  HWND w = painter(400, 100, 40, 40);
  HDC dc = GetDC(w);
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  RECT all{0, 0, 40, 40};
  FillRect(dc, &all, black);
  ReleaseDC(w, dc);
  RECT part{0, 0, 10, 10};
  InvalidateRect(w, &part, FALSE);
  UpdateWindow(w);
  EXPECT_EQ(platform::gdi::screenPixel(401, 101), kRed);
  EXPECT_EQ(platform::gdi::screenPixel(420, 120), RGB(0, 0, 0)) << "outside the update rectangle";
}

// A 4x4 checkerboard of black and white pixels halved by each stretch mode.
TEST_F(GdiTest, StretchBltHalvingCombinesPixelsByTheStretchMode) {
  HDC screen = GetDC(nullptr);
  HDC src = CreateCompatibleDC(screen);
  HBITMAP sb = CreateCompatibleBitmap(screen, 4, 4);
  SelectObject(src, sb);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) SetPixel(src, x, y, (x + y) % 2 ? RGB(255, 255, 255) : RGB(0, 0, 0));
  HDC dst = CreateCompatibleDC(screen);
  HBITMAP db = CreateCompatibleBitmap(screen, 2, 2);
  SelectObject(dst, db);
  struct Case {
    int mode;
    COLORREF expected;
  } cases[] = {
      {0, RGB(0, 0, 0)},  // the default, BLACKONWHITE, ANDs the pixels
      {WHITEONBLACK, RGB(255, 255, 255)},
      {COLORONCOLOR, RGB(0, 0, 0)},  // keeps the block's first pixel
      {HALFTONE, RGB(127, 127, 127)},
  };
  for (const Case& c : cases) {
    if (c.mode) SetStretchBltMode(dst, c.mode);
    else EXPECT_EQ(GetStretchBltMode(dst), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dst, 0, 0, 2, 2, src, 0, 0, 4, 4, SRCCOPY));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) EXPECT_EQ(GetPixel(dst, x, y), c.expected) << "mode " << c.mode;
  }
  // Copying a bitmap onto itself one row down (a scroll) reads each row before it is overwritten.
  HBITMAP rows = CreateCompatibleBitmap(screen, 1, 4);
  HGDIOBJ held = SelectObject(dst, rows);
  for (int y = 0; y < 4; ++y) SetPixel(dst, 0, y, RGB(y * 10, 0, 0));
  ASSERT_TRUE(BitBlt(dst, 0, 1, 1, 3, dst, 0, 0, SRCCOPY));
  for (int y = 1; y < 4; ++y) EXPECT_EQ(GetPixel(dst, 0, y), RGB((y - 1) * 10, 0, 0));
  SelectObject(dst, held);
  DeleteObject(rows);
  // Growing repeats pixels; a negative width mirrors.
  HBITMAP big = CreateCompatibleBitmap(screen, 8, 1);
  HGDIOBJ old = SelectObject(dst, big);
  ASSERT_TRUE(StretchBlt(dst, 0, 0, 8, 1, src, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dst, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dst, 2, 0), RGB(255, 255, 255));
  ASSERT_TRUE(StretchBlt(dst, 7, 0, -8, 1, src, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 7, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dst, 5, 0), RGB(255, 255, 255));
  SelectObject(dst, old);
  DeleteObject(big);
  DeleteDC(src);
  DeleteDC(dst);
  DeleteObject(sb);
  DeleteObject(db);
  ReleaseDC(nullptr, screen);
}

TEST_F(GdiTest, RasterOperationsCombineSourceDestinationAndBrush) {
  HDC screen = GetDC(nullptr);
  HDC a = CreateCompatibleDC(screen), b = CreateCompatibleDC(screen);
  HBITMAP ab = CreateCompatibleBitmap(screen, 1, 1), bb = CreateCompatibleBitmap(screen, 1, 1);
  SelectObject(a, ab);
  SelectObject(b, bb);
  struct Case {
    DWORD rop;
    COLORREF dest, src, expected;
  } cases[] = {
      {SRCCOPY, RGB(1, 2, 3), RGB(200, 100, 50), RGB(200, 100, 50)},
      {SRCPAINT, RGB(0x0F, 0, 0), RGB(0xF0, 0, 0), RGB(0xFF, 0, 0)},
      {SRCAND, RGB(0x0F, 0xFF, 0), RGB(0xFF, 0x0F, 0), RGB(0x0F, 0x0F, 0)},
      {SRCINVERT, RGB(0xFF, 0, 0), RGB(0xFF, 0xFF, 0), RGB(0, 0xFF, 0)},
      {NOTSRCCOPY, RGB(0, 0, 0), RGB(0, 0xFF, 0), RGB(0xFF, 0, 0xFF)},
      {DSTINVERT, RGB(0, 0xFF, 0), RGB(0, 0, 0), RGB(0xFF, 0, 0xFF)},
      {BLACKNESS, RGB(9, 9, 9), RGB(9, 9, 9), RGB(0, 0, 0)},
      {WHITENESS, RGB(9, 9, 9), RGB(9, 9, 9), RGB(255, 255, 255)},
      {PATCOPY, RGB(9, 9, 9), RGB(9, 9, 9), RGB(255, 255, 255)},  // the DC's white stock brush
  };
  for (const Case& c : cases) {
    SetPixel(a, 0, 0, c.dest);
    SetPixel(b, 0, 0, c.src);
    ASSERT_TRUE(BitBlt(a, 0, 0, 1, 1, b, 0, 0, c.rop));
    EXPECT_EQ(GetPixel(a, 0, 0), c.expected) << std::hex << c.rop;
  }
  DeleteDC(a);
  DeleteDC(b);
  DeleteObject(ab);
  DeleteObject(bb);
  ReleaseDC(nullptr, screen);
}

// ---- Text ----

TEST_F(GdiTest, FontMetricsFollowTheDocumentedRule) {
  struct Case {
    LONG height;
    LONG weight;
    LONG tmHeight, ascent, internalLeading, charWidth;
  } cases[] = {
      {0, FW_NORMAL, 13, 11, 2, 6},  {-11, FW_NORMAL, 13, 11, 2, 6}, {-11, FW_BOLD, 13, 11, 2, 7},
      {13, FW_NORMAL, 13, 11, 2, 6}, {-16, FW_NORMAL, 19, 16, 3, 9}, {26, FW_NORMAL, 26, 21, 4, 12},
  };
  HDC dc = CreateCompatibleDC(nullptr);
  for (const Case& c : cases) {
    HFONT f = CreateFontW(c.height, 0, 0, 0, c.weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"Tahoma");
    HGDIOBJ old = SelectObject(dc, f);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight, c.tmHeight) << c.height;
    EXPECT_EQ(tm.tmAscent, c.ascent) << c.height;
    EXPECT_EQ(tm.tmDescent, c.tmHeight - c.ascent) << c.height;
    EXPECT_EQ(tm.tmInternalLeading, c.internalLeading) << c.height;
    EXPECT_EQ(tm.tmAveCharWidth, c.charWidth) << c.height;
    SIZE s{};
    ASSERT_TRUE(GetTextExtentPoint32W(dc, u"abc\x65E5", 4, &s));
    EXPECT_EQ(s.cx, 5 * c.charWidth) << "a wide character counts twice";
    EXPECT_EQ(s.cy, c.tmHeight);
    SelectObject(dc, old);
    DeleteObject(f);
  }
  // The default GUI font measures as the shell's text width does.
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE s{};
  GetTextExtentPoint32W(dc, u"C:\\Documents", 12, &s);
  EXPECT_EQ(s.cx, platform::shell::textWidth(dc, u"C:\\Documents"));
  DeleteDC(dc);
}

TEST_F(GdiTest, DrawTextMeasuresLinesWordsPrefixesAndTabs) {
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));  // 6 x 13 per character
  struct Case {
    const char16_t* text;
    LONG width;
    UINT format;
    LONG right, bottom;
  } cases[] = {
      {u"Hello", 100, DT_SINGLELINE, 30, 13},
      {u"&File", 100, DT_SINGLELINE, 24, 13},
      {u"&File", 100, DT_SINGLELINE | DT_NOPREFIX, 30, 13},
      {u"a&&b", 100, 0, 18, 13},
      {u"a\nbb\r\nccc", 100, 0, 18, 39},
      {u"a\nbb", 100, DT_SINGLELINE, 24, 13},
      {u"one two three", 50, DT_WORDBREAK, 42, 26},
      {u"one two three", 100, DT_WORDBREAK, 78, 13},
      {u"abcdefghij", 30, DT_WORDBREAK, 60, 13},
      {u"abcdefghij", 30, DT_WORDBREAK | DT_EDITCONTROL, 30, 26},
      {u"a\tb", 100, DT_EXPANDTABS, 54, 13},
      {u"a\tb", 100, 0, 18, 13},
      {u"", 100, 0, 0, 0},
  };
  for (const Case& c : cases) {
    RECT r{10, 20, 10 + c.width, 20};
    int h = DrawTextW(dc, c.text, -1, &r, c.format | DT_CALCRECT);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right - r.left, c.right) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    EXPECT_EQ(r.bottom - r.top, c.bottom) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    EXPECT_EQ(h, c.bottom);
  }
  DeleteDC(dc);
}

// Where DrawText puts a line: the first and last columns and the first row with ink.
TEST_F(GdiTest, DrawTextAlignsCentresAndCutsWithAnEllipsis) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 100, 40);
  SelectObject(dc, bmp);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  auto inkBox = [&]() {
    RECT box{1000, 1000, -1, -1};
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 100; ++x)
        if (GetPixel(dc, x, y) == RGB(255, 255, 255)) {
          box.left = std::min<LONG>(box.left, x);
          box.top = std::min<LONG>(box.top, y);
          box.right = std::max<LONG>(box.right, x + 1);
          box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    return box;
  };
  struct Case {
    UINT format;
    LONG left, right, top;
  } cases[] = {
      // The ink of the glyphs in their 6-pixel cells: the "!" stands in the middle of the last
      // cell, and the capital's top is a row below the cell's internal leading.
      {DT_LEFT | DT_SINGLELINE, 1, 28, 3},
      {DT_CENTER | DT_SINGLELINE, 36, 63, 3},
      {DT_RIGHT | DT_SINGLELINE, 71, 98, 3},
      {DT_CENTER | DT_VCENTER | DT_SINGLELINE, 36, 63, 16},
      {DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, 71, 98, 30},
  };
  for (const Case& c : cases) {
    PatBlt(dc, 0, 0, 100, 40, BLACKNESS);
    RECT r{0, 0, 100, 40};
    DrawTextW(dc, u"Kipo!", -1, &r, c.format);
    RECT ink = inkBox();
    EXPECT_EQ(ink.left, c.left) << c.format;
    EXPECT_EQ(ink.right, c.right) << c.format;
    EXPECT_EQ(ink.top, c.top) << c.format;
  }
  // An end ellipsis keeps what fits with "..." and writes it back when asked.
  char16_t text[32] = u"abcdefghij";
  RECT r{0, 0, 40, 13};
  DrawTextW(dc, text, -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
  EXPECT_EQ(std::u16string(text), u"abc...");
  char16_t path[64] = u"C:\\Documents\\Kipo\\report.txt";
  RECT pr{0, 0, 120, 13};
  DrawTextW(dc, path, -1, &pr, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING);
  EXPECT_EQ(std::u16string(path), u"C:\\Doc...\\report.txt");
  DeleteDC(dc);
  DeleteObject(bmp);
  ReleaseDC(nullptr, screen);
}

// ---- Bitmaps, images, icons ----

std::string bmpFile(int w, int h, int bpp, const std::vector<BYTE>& palette, const std::vector<BYTE>& bits) {
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  ih.biSize = 40;
  ih.biWidth = w;
  ih.biHeight = h;
  ih.biPlanes = 1;
  ih.biBitCount = static_cast<WORD>(bpp);
  ih.biClrUsed = static_cast<DWORD>(palette.size() / 4);
  fh.bfType = 0x4D42;
  fh.bfOffBits = static_cast<DWORD>(14 + 40 + palette.size());
  fh.bfSize = static_cast<DWORD>(fh.bfOffBits + bits.size());
  std::string out(reinterpret_cast<const char*>(&fh), 14);
  out.append(reinterpret_cast<const char*>(&ih), 40);
  out.append(palette.begin(), palette.end());
  out.append(bits.begin(), bits.end());
  return out;
}

TEST_F(GdiTest, LoadImageReadsBitmapFilesAndRefusesDamagedOnes) {
  // 2x2, 24 bits, bottom-up: bottom row blue, green; top row red, white.
  std::vector<BYTE> bits = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0};
  host_.write("pic24.bmp", bmpFile(2, 2, 24, {}, bits));
  // 3x1, 8 bits with a two-colour table.
  std::vector<BYTE> pal = {0, 0, 0, 0, 0, 255, 255, 0};  // black, yellow
  host_.write("pic8.bmp", bmpFile(3, 1, 8, pal, {1, 0, 1, 0}));
  host_.write("short.bmp", bmpFile(64, 64, 24, {}, bits));
  host_.write("text.bmp", "not a bitmap at all, not even close to one");

  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP b = static_cast<HBITMAP>(LoadImageW(nullptr, u"C:\\pic24.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  ASSERT_NE(b, nullptr) << GetLastError();
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(b, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 2);
  EXPECT_EQ(bm.bmHeight, 2);
  EXPECT_EQ(bm.bmBitsPixel, 32) << "a loaded bitmap is compatible with the display";
  HGDIOBJ old = SelectObject(dc, b);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 255, 0));
  SelectObject(dc, old);
  DeleteObject(b);

  b = static_cast<HBITMAP>(LoadImageW(nullptr, u"C:\\pic8.bmp", IMAGE_BITMAP, 6, 2, LR_LOADFROMFILE));
  ASSERT_NE(b, nullptr);
  GetObjectW(b, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 6) << "stretched to the size asked";
  SelectObject(dc, b);
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(255, 255, 0));
  EXPECT_EQ(GetPixel(dc, 2, 0), RGB(0, 0, 0));
  SelectObject(dc, old);
  DeleteObject(b);

  struct Bad {
    const char16_t* path;
    DWORD error;
  } bad[] = {{u"C:\\missing.bmp", ERROR_FILE_NOT_FOUND}, {u"C:\\short.bmp", ERROR_INVALID_DATA},
             {u"C:\\text.bmp", ERROR_INVALID_DATA}};
  for (const Bad& x : bad) {
    SetLastError(0);
    EXPECT_EQ(LoadImageW(nullptr, x.path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(GetLastError(), x.error);
  }
  DeleteDC(dc);
}

// A 1x1 .bmp with a header of `headerSize` bytes: the core form (12) or an info form padded to
// its size, the masks inside a V2 or later header or after an info header, then the colour table
// and the pixel row.
std::string oneDibFile(DWORD headerSize, int bpp, DWORD compression, const std::vector<BYTE>& palette,
                       const std::vector<BYTE>& row) {
  std::string dib;
  if (headerSize == 12) {
    const BYTE core[12] = {12, 0, 0, 0, 1, 0, 1, 0, 1, 0, static_cast<BYTE>(bpp), 0};
    dib.assign(reinterpret_cast<const char*>(core), 12);
  } else {
    BITMAPINFOHEADER ih{};
    ih.biSize = headerSize;
    ih.biWidth = 1;
    ih.biHeight = 1;
    ih.biPlanes = 1;
    ih.biBitCount = static_cast<WORD>(bpp);
    ih.biCompression = compression;
    dib.assign(reinterpret_cast<const char*>(&ih), 40);
    const DWORD masks[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the low byte
    if (compression == BI_BITFIELDS && headerSize >= 52) dib.append(reinterpret_cast<const char*>(masks), 12);
    dib.resize(headerSize, '\0');
    if (compression == BI_BITFIELDS && headerSize == 40) dib.append(reinterpret_cast<const char*>(masks), 12);
  }
  dib.append(palette.begin(), palette.end());
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = static_cast<DWORD>(14 + dib.size());
  fh.bfSize = static_cast<DWORD>(fh.bfOffBits + row.size());
  std::string out(reinterpret_cast<const char*>(&fh), 14);
  out += dib;
  out.append(row.begin(), row.end());
  return out;
}

// Every header form Windows defines is read from its own bytes; a header of any other size is
// refused, as is a table or mask that the bytes do not hold.
TEST_F(GdiTest, LoadImageReadsEveryHeaderFormAndRefusesOthers) {
  const std::vector<BYTE> red32 = {0x20, 0, 0, 0};       // under the masks: red 0x20
  const std::vector<BYTE> bgr24 = {0x10, 0x20, 0x30, 0};  // B G R, padded
  struct Case {
    DWORD headerSize;
    int bpp;
    DWORD compression;
    std::vector<BYTE> palette;
    std::vector<BYTE> row;
    COLORREF pixel;  // CLR_INVALID: refused
  };
  const Case cases[] = {
      {12, 24, BI_RGB, {}, bgr24, RGB(0x30, 0x20, 0x10)},
      {12, 8, BI_RGB, std::vector<BYTE>(256 * 3, 0x40), {0, 0, 0, 0}, RGB(0x40, 0x40, 0x40)},  // RGBTRIPLEs
      {40, 24, BI_RGB, {}, bgr24, RGB(0x30, 0x20, 0x10)},
      {40, 32, BI_BITFIELDS, {}, red32, RGB(0x20, 0, 0)},
      {52, 32, BI_BITFIELDS, {}, red32, RGB(0x20, 0, 0)},
      {56, 32, BI_BITFIELDS, {}, red32, RGB(0x20, 0, 0)},
      {108, 32, BI_BITFIELDS, {}, red32, RGB(0x20, 0, 0)},
      {124, 32, BI_BITFIELDS, {}, red32, RGB(0x20, 0, 0)},
      {124, 24, BI_RGB, {}, bgr24, RGB(0x30, 0x20, 0x10)},
      // Masks that would straddle the header's end.
      {41, 32, BI_BITFIELDS, {}, red32, CLR_INVALID},
      {44, 32, BI_BITFIELDS, {}, red32, CLR_INVALID},
      {51, 32, BI_BITFIELDS, {}, red32, CLR_INVALID},
      {44, 24, BI_RGB, {}, bgr24, CLR_INVALID},
      {64, 24, BI_RGB, {}, bgr24, CLR_INVALID},
      {12, 32, BI_RGB, {}, red32, CLR_INVALID},  // the core form has no 32-bit images
      {12, 8, BI_RGB, std::vector<BYTE>(255 * 3, 0x40), {0, 0, 0, 0}, CLR_INVALID},  // table cut short
  };
  HDC dc = CreateCompatibleDC(nullptr);
  for (const Case& c : cases) {
    host_.write("form.bmp", oneDibFile(c.headerSize, c.bpp, c.compression, c.palette, c.row));
    SetLastError(0);
    HBITMAP b = static_cast<HBITMAP>(LoadImageW(nullptr, u"C:\\form.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (c.pixel == CLR_INVALID) {
      EXPECT_EQ(b, nullptr) << c.headerSize << "/" << c.bpp;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << c.headerSize;
      continue;
    }
    ASSERT_NE(b, nullptr) << c.headerSize << "/" << c.bpp;
    HGDIOBJ old = SelectObject(dc, b);
    EXPECT_EQ(GetPixel(dc, 0, 0), c.pixel) << c.headerSize << "/" << c.bpp;
    SelectObject(dc, old);
    DeleteObject(b);
  }
  DeleteDC(dc);

  // An icon image whose file ends inside its masks: the masks are not read from past the end.
  std::string ico("\0\0\1\0\1\0", 6);
  BYTE entry[16] = {1, 1, 0, 0, 1, 0, 32, 0};
  const DWORD imageSize = 44, offset = 22;
  std::memcpy(entry + 8, &imageSize, 4);
  std::memcpy(entry + 12, &offset, 4);
  ico.append(reinterpret_cast<const char*>(entry), 16);
  BITMAPINFOHEADER ih{44, 1, 2, 1, 32, BI_BITFIELDS, 0, 0, 0, 0, 0};
  ico.append(reinterpret_cast<const char*>(&ih), 40);
  ico.append(4, '\x7f');
  host_.write("cut.ico", ico);
  SetLastError(0);
  EXPECT_EQ(LoadImageW(nullptr, u"C:\\cut.ico", IMAGE_ICON, 1, 1, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

// A 2x1 icon file with a 32-bit image: an opaque red pixel and a fully transparent one, and a
// bitmap whose button-face grey follows the system colours when asked.
TEST_F(GdiTest, IconFilesDrawThroughTheirAlphaAndGreysMapToTheSystemColours) {
  std::string ico("\0\0\1\0\1\0", 6);
  BYTE entry[16] = {2, 1, 0, 0, 1, 0, 32, 0};
  const DWORD imageSize = 40 + 8 + 4;  // header, two pixels, one padded mask row
  std::memcpy(entry + 8, &imageSize, 4);
  const DWORD offset = 22;
  std::memcpy(entry + 12, &offset, 4);
  ico.append(reinterpret_cast<const char*>(entry), 16);
  BITMAPINFOHEADER ih{40, 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  ico.append(reinterpret_cast<const char*>(&ih), 40);
  const BYTE pixels[8] = {0, 0, 255, 255, 0, 255, 0, 0};  // red opaque, green with alpha 0
  ico.append(reinterpret_cast<const char*>(pixels), 8);
  ico.append(std::string("\0\0\0\0", 4));
  host_.write("two.ico", ico);
  HICON icon = static_cast<HICON>(LoadImageW(nullptr, u"C:\\two.ico", IMAGE_ICON, 2, 1, LR_LOADFROMFILE));
  ASSERT_NE(icon, nullptr) << GetLastError();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 2, 1);
  SelectObject(dc, bmp);
  PatBlt(dc, 0, 0, 2, 1, WHITENESS);
  ASSERT_TRUE(DrawIconEx(dc, 0, 0, icon, 2, 1, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(GetPixel(dc, 0, 0), kRed);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
  DestroyIcon(icon);

  std::vector<BYTE> bits = {0xC0, 0xC0, 0xC0, 0x80, 0x80, 0x80, 0, 0};
  host_.write("grey.bmp", bmpFile(2, 1, 24, {}, bits));
  HBITMAP mapped = static_cast<HBITMAP>(
      LoadImageW(nullptr, u"C:\\grey.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_LOADMAP3DCOLORS));
  ASSERT_NE(mapped, nullptr);
  SelectObject(dc, mapped);
  EXPECT_EQ(GetPixel(dc, 0, 0), GetSysColor(COLOR_3DFACE));
  EXPECT_EQ(GetPixel(dc, 1, 0), GetSysColor(COLOR_3DSHADOW));
  DeleteDC(dc);
  DeleteObject(mapped);
  DeleteObject(bmp);
  ReleaseDC(nullptr, screen);
}

TEST_F(GdiTest, BitmapAndIconResourcesLoadFromTheProgram) {
  HMODULE self = GetModuleHandleW(nullptr);
  HBITMAP logo = LoadBitmapW(self, MAKEINTRESOURCEW(IDB_LOGO));
  ASSERT_NE(logo, nullptr) << GetLastError();
  BITMAP bm{};
  GetObjectW(logo, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 4);
  EXPECT_EQ(bm.bmHeight, 2);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, logo);
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0x30, 0x20, 0x10)) << "the fixture's first stored pixel (B G R = 10 20 30)";
  DeleteDC(dc);
  DeleteObject(logo);
  SetLastError(0);
  EXPECT_EQ(LoadBitmapW(self, MAKEINTRESOURCEW(4242)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

  // The group holds a 16x16 and a 32x32 image; the nearest size is taken.
  for (int size : {16, 32}) {
    HICON icon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
  }
  // LoadIcon's icons are shared: the same handle, never destroyed.
  HICON shared = LoadIconW(self, MAKEINTRESOURCEW(IDI_MAIN));
  EXPECT_EQ(LoadIconW(self, MAKEINTRESOURCEW(IDI_MAIN)), shared);
  EXPECT_TRUE(DestroyIcon(shared));
  HDC dc2 = CreateCompatibleDC(nullptr);
  EXPECT_TRUE(DrawIcon(dc2, 0, 0, shared)) << "still there";
  DeleteDC(dc2);
  EXPECT_NE(LoadIconW(nullptr, IDI_APPLICATION), nullptr);
  EXPECT_NE(LoadIconW(nullptr, IDI_APPLICATION), LoadIconW(nullptr, IDI_WARNING));
}

TEST_F(GdiTest, ExtractIconReadsAnotherProgramFile) {
  const fs::path copy = host_.c("Program Files/Other/other.exe");
  fs::create_directories(copy.parent_path());
  fs::copy_file("/proc/self/exe", copy);
  host_.write("plain.txt", "hello");
  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\Program Files\\Other\\other.exe", static_cast<UINT>(-1)),
            reinterpret_cast<HICON>(1))
      << "the number of icon groups";
  HICON icon = ExtractIconW(nullptr, u"C:\\Program Files\\Other\\other.exe", 0);
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(icon, reinterpret_cast<HICON>(1));
  HICON byId = ExtractIconW(nullptr, u"C:\\Program Files\\Other\\other.exe", static_cast<UINT>(-IDI_MAIN));
  EXPECT_NE(byId, nullptr);
  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\Program Files\\Other\\other.exe", 5), nullptr);
  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\plain.txt", 0), reinterpret_cast<HICON>(1));
  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\nothing.exe", 0), nullptr);
  // Drawn, the icon's transparent pixels leave what was there.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 32, 32);
  SelectObject(dc, bmp);
  PatBlt(dc, 0, 0, 32, 32, WHITENESS);
  ASSERT_TRUE(DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL));
  ICONINFO info{};
  GetIconInfo(icon, &info);
  HDC mdc = CreateCompatibleDC(screen);
  SelectObject(mdc, info.hbmMask);
  int kept = 0, masked = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (GetPixel(mdc, x, y) == RGB(255, 255, 255)) {
        ++masked;
        kept += GetPixel(dc, x, y) == RGB(255, 255, 255) ? 1 : 0;
      }
    }
  EXPECT_EQ(kept, masked);
  DeleteDC(mdc);
  DeleteDC(dc);
  DeleteObject(bmp);
  DeleteObject(info.hbmMask);
  DeleteObject(info.hbmColor);
  ReleaseDC(nullptr, screen);
  DestroyIcon(icon);
  DestroyIcon(byId);
}

// A group named by a text that starts with "#" but is no number cannot be found, as Windows
// reads "#..." as a number: the extraction fails for that group and goes on for the others.
TEST_F(GdiTest, ExtractIconFailsForAGroupNamedByATextThatIsNoNumber) {
  namespace rsrc = platform::rsrc;
  std::vector<std::uint8_t> image(40 + 4 + 4, 0);  // a 1x1 32-bit icon image and its mask row
  BITMAPINFOHEADER ih{40, 1, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(image.data(), &ih, 40);
  image[40 + 2] = 0xFF;  // red
  image[40 + 3] = 0xFF;  // opaque
  std::vector<std::uint8_t> group = {0, 0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 32, 0, 48, 0, 0, 0, 1, 0};
  std::vector<rsrc::Resource> resources;
  resources.push_back({rsrc::Id::of(rsrc::kTypeIcon), rsrc::Id::of(1), 0, image});
  resources.push_back({rsrc::Id::of(rsrc::kTypeGroupIcon), rsrc::Id::of(u"#ABC"), 0, group});
  resources.push_back({rsrc::Id::of(rsrc::kTypeGroupIcon), rsrc::Id::of(5), 0, group});
  const auto bytes = rsrc::writeResourceFile(resources);
  host_.write("named.dll", std::string(bytes.begin(), bytes.end()));

  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\named.dll", static_cast<UINT>(-1)), reinterpret_cast<HICON>(2));
  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\named.dll", 0), nullptr) << "the group named \"#ABC\"";
  HICON second = ExtractIconW(nullptr, u"C:\\named.dll", 1);
  EXPECT_NE(second, nullptr);
  HICON byId = ExtractIconW(nullptr, u"C:\\named.dll", static_cast<UINT>(-5));
  EXPECT_NE(byId, nullptr);
  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\named.dll", static_cast<UINT>(-65541)), nullptr) << "no id above 0xFFFF";
  EXPECT_EQ(ExtractIconW(nullptr, u"C:\\named.dll", 0x80000000u), nullptr);
  HICON large[3] = {}, small[3] = {};
  EXPECT_EQ(ExtractIconExW(u"C:\\named.dll", 0, large, small, 3), 1u);
  for (HICON h : {second, byId, large[1], small[1]}) DestroyIcon(h);
}

TEST_F(GdiTest, BitmapsDescribeThemselvesAndFollowTheirDc) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  struct Case {
    HBITMAP bmp;
    LONG width, height;
    WORD bits;
  } cases[] = {
      {CreateCompatibleBitmap(screen, 30, 20), 30, 20, 32},
      {CreateCompatibleBitmap(mem, 30, 20), 30, 20, 1},  // a fresh memory DC holds a monochrome bitmap
      {CreateBitmap(8, 2, 1, 1, nullptr), 8, 2, 1},
      {CreateCompatibleBitmap(screen, 0, 5), 1, 1, 1},
  };
  for (const Case& c : cases) {
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(c.bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, c.width);
    EXPECT_EQ(bm.bmHeight, c.height);
    EXPECT_EQ(bm.bmBitsPixel, c.bits);
    EXPECT_EQ(bm.bmPlanes, 1);
    EXPECT_EQ(GetObjectType(c.bmp), static_cast<DWORD>(OBJ_BITMAP));
    DeleteObject(c.bmp);
  }
  // A DIB section's bits are the pixels drawing changes.
  BITMAPINFO bi{};
  bi.bmiHeader = BITMAPINFOHEADER{40, 4, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* raw = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &raw, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(dib, sizeof ds, &ds), static_cast<int>(sizeof ds));
  EXPECT_EQ(ds.dsBm.bmBits, raw);
  EXPECT_EQ(ds.dsBmih.biBitCount, 32);
  HGDIOBJ first = SelectObject(mem, dib);
  SetPixel(mem, 1, 0, RGB(0x11, 0x22, 0x33));
  const DWORD* px = static_cast<const DWORD*>(raw);
  EXPECT_EQ(px[4 + 1], 0x112233u) << "top row last in a bottom-up DIB";
  // A bitmap in a DC is not deleted; after it leaves, it is.
  EXPECT_FALSE(DeleteObject(dib));
  HDC other = CreateCompatibleDC(screen);
  EXPECT_EQ(SelectObject(other, dib), nullptr) << "one DC at a time";
  EXPECT_EQ(SelectObject(mem, first), dib);
  EXPECT_TRUE(DeleteObject(dib));
  EXPECT_FALSE(DeleteObject(dib));
  DeleteDC(other);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

TEST_F(GdiTest, ObjectsSelectDescribeAndDelete) {
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN pen = CreatePen(PS_SOLID, 3, kRed);
  HBRUSH brush = CreateHatchBrush(HS_CROSS, kBlue);
  LOGFONTW lf{};
  lf.lfHeight = -11;
  std::memcpy(lf.lfFaceName, u"Verdana", 16);
  HFONT font = CreateFontIndirectW(&lf);
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, font), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
  LOGPEN lp{};
  EXPECT_EQ(GetObjectW(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
  EXPECT_EQ(lp.lopnWidth.x, 3);
  EXPECT_EQ(lp.lopnColor, kRed);
  LOGBRUSH lb{};
  GetObjectW(brush, sizeof lb, &lb);
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_HATCHED));
  LOGFONTW back{};
  EXPECT_EQ(GetObjectW(font, sizeof back, &back), static_cast<int>(sizeof back));
  EXPECT_EQ(std::u16string(back.lfFaceName), u"Verdana");
  EXPECT_EQ(GetObjectW(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
  char16_t face[LF_FACESIZE];
  EXPECT_EQ(GetTextFaceW(dc, LF_FACESIZE, face), 7);
  // Stock objects survive DeleteObject; unknown handles fail; regions delete too.
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(0x1234)));
  HRGN rgn = CreateRectRgn(0, 0, 5, 5);
  EXPECT_EQ(GetObjectType(rgn), static_cast<DWORD>(OBJ_REGION));
  EXPECT_TRUE(DeleteObject(rgn));
  EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
  // Deleted while selected: the DC keeps drawing with it until it is replaced.
  EXPECT_TRUE(DeleteObject(font));
  TEXTMETRICW tm{};
  EXPECT_TRUE(GetTextMetricsW(dc, &tm));
  EXPECT_EQ(tm.tmHeight, 13);
  DeleteObject(pen);
  DeleteObject(brush);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_EQ(SetTextColor(dc, 0), CLR_INVALID);
}

TEST_F(GdiTest, MetricsAndCapsFollowTheHostScreen) {
  platform::host::Host::current().setFact(platform::host::fact::ScreenWidth, "800");
  platform::host::Host::current().setFact(platform::host::fact::ScreenHeight, "600");
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
  EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN), 600 - 30 - 19) << "taskbar and caption left out";
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 800);
  EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 600);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
  SIZE s = platform::gdi::screenSize();
  EXPECT_EQ(s.cx, 800);
  EXPECT_EQ(s.cy, 600);
  EXPECT_EQ(GetPixel(screen, 799, 599), GetSysColor(COLOR_DESKTOP));
  EXPECT_EQ(GetPixel(screen, 800, 0), CLR_INVALID);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  LOGBRUSH lb{};
  GetObjectW(GetSysColorBrush(COLOR_3DFACE), sizeof lb, &lb);
  EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_3DFACE));
  EXPECT_TRUE(DeleteObject(GetSysColorBrush(COLOR_3DFACE)));
  EXPECT_NE(GetObjectType(GetSysColorBrush(COLOR_3DFACE)), 0u) << "system brushes are not deleted";
}

TEST_F(GdiTest, DialogsGiveTheirTemplateFontToTheirControls) {
  HWND dlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PLAIN), nullptr,
                                [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
  ASSERT_NE(dlg, nullptr);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(dlg, IDC_NAME), WM_GETFONT, 0, 0)), font);
  LOGFONTW lf{};
  GetObjectW(font, sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -11);
  EXPECT_EQ(std::u16string(lf.lfFaceName), u"MS Shell Dlg");
  // A control keeps another font it is given.
  HFONT other = CreateFontW(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, u"Arial");
  SendMessageW(GetDlgItem(dlg, IDOK), WM_SETFONT, reinterpret_cast<WPARAM>(other), FALSE);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(dlg, IDOK), WM_GETFONT, 0, 0)), other);
  DestroyWindow(dlg);
  EXPECT_EQ(GetObjectType(font), 0u) << "the dialog's font went with it";
  EXPECT_EQ(GetObjectType(other), static_cast<DWORD>(OBJ_FONT)) << "the caller's font stays";
  DeleteObject(other);
}

TEST_F(GdiTest, EveryDrawingCallIsRecordedWithItsWindowRectangleAndText) {
  HWND w = painter(500, 400, 80, 60);
  auto calls = platform::gdi::drawRecord();
  std::vector<std::string> names;
  for (const auto& c : calls)
    if (c.window == w) names.push_back(c.call);
  EXPECT_EQ(names, (std::vector<std::string>{"FillRect", "FillRect", "TextOutW"}));
  const auto& text = calls.back();
  EXPECT_EQ(text.text, u"Hi");
  EXPECT_EQ(text.rect.left, 30);
  EXPECT_EQ(text.rect.top, 40);
  EXPECT_EQ(text.color, RGB(0, 255, 0));
  EXPECT_EQ(calls[calls.size() - 2].rect.right, 25);
  EXPECT_EQ(calls[calls.size() - 2].color, kBlue);

  platform::gdi::clearDrawRecord();
  HDC mem = CreateCompatibleDC(nullptr);
  RECT r{0, 0, 50, 20};
  DrawTextW(mem, u"measure only", -1, &r, DT_CALCRECT);
  DrawTextW(mem, u"shown", -1, &r, DT_LEFT);
  calls = platform::gdi::drawRecord();
  ASSERT_EQ(calls.size(), 1u) << "measuring draws nothing";
  EXPECT_EQ(calls[0].call, "DrawTextW");
  EXPECT_EQ(calls[0].window, nullptr);
  EXPECT_EQ(calls[0].text, u"shown");
  DeleteDC(mem);
}

}  // namespace
