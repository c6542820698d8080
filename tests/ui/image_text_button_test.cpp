// The image button: the image shown in each state for one, two or three images (a button with only
// its normal bitmap shows it in every state), where a placed text goes, and what a drawing puts on
// the screen: the chosen image at the bitmap's size.
#include "ui/image_text_button.h"

#include <gtest/gtest.h>

#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;

std::string text(const CRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

TEST(ImageTextButtonRules, TheImageOfEachStateForOneTwoOrThreeImages) {
  struct Case {
    UINT state;
    int one, two, three;
  };
  const Case cases[] = {
      {0, 0, 0, 0},
      {ODS_SELECTED, 0, 1, 1},
      {ODS_DISABLED, 0, 0, 2},
      {ODS_DISABLED | ODS_SELECTED, 0, 0, 2},  // disabled wins
      {ODS_FOCUS, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(CImageTextButton::imageIndexFor(c.state, 1), c.one);
    EXPECT_EQ(CImageTextButton::imageIndexFor(c.state, 2), c.two);
    EXPECT_EQ(CImageTextButton::imageIndexFor(c.state, 3), c.three);
  }
}

TEST(ImageTextButtonRules, APlacedTextTakesItsBandOfTheImage) {
  const CRect image(0, 0, 200, 100);
  struct Case {
    int placement, percent;
    bool selected;
    const char* rect;
  };
  const Case cases[] = {
      {CImageTextButton::kPlaceTop, 30, false, "0,0,200,30"},
      {CImageTextButton::kPlaceBottom, 25, false, "0,75,200,100"},
      {CImageTextButton::kPlaceLeft, 40, false, "0,0,80,100"},
      {CImageTextButton::kPlaceRight, 10, false, "180,0,200,100"},
      {7, 50, false, "0,0,200,100"},                             // any other placement: the whole image
      {CImageTextButton::kPlaceBottom, 25, true, "2,77,202,102"},  // pushed: 2 pixels right and down
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rect);
    EXPECT_EQ(text(CImageTextButton::placedTextRect(image, c.placement, c.percent, c.selected)), c.rect);
  }
}

class ImageTextButtonTest : public LoginTest {
 protected:
  // Draws the button in `state` into a fresh white bitmap; the colour at (x, y).
  static COLORREF drawnAt(CImageTextButton& button, UINT state, int x, int y) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 200, 100);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, canvas);
    RECT all{0, 0, 200, 100};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.hwndItem = button.m_hWnd;
    item.itemState = state;
    item.hDC = dc;
    item.rcItem = RECT{0, 0, 120, 40};
    button.DrawItem(&item);
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    return colour;
  }
};

TEST_F(ImageTextButtonTest, DrawsTheImageOfItsStateAtTheBitmapSize) {
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), u"buttons", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                              nullptr));
  // The maker's logo starts with a dark band, the customer's with a grey frame.
  const COLORREF makerCorner = RGB(0x1b, 0x4f, 0x5c);
  const COLORREF customerCorner = RGB(0x80, 0x80, 0x80);

  CImageTextButton single;
  ASSERT_TRUE(single.Create(u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(5, 5, 25, 25), &parent, 200));
  ASSERT_TRUE(single.setImages(IDB_MAKER_LOGO));
  for (UINT state : {0u, static_cast<UINT>(ODS_SELECTED), static_cast<UINT>(ODS_DISABLED)})
    EXPECT_EQ(drawnAt(single, state, 1, 1), makerCorner) << state;
  CRect size;
  single.GetWindowRect(&size);
  EXPECT_EQ(size.Width(), 120) << "the button takes its bitmap's size";
  EXPECT_EQ(size.Height(), 40);
  EXPECT_EQ(drawnAt(single, 0, 150, 50), RGB(255, 255, 255)) << "nothing beyond the image";

  CImageTextButton pair;
  ASSERT_TRUE(pair.Create(u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(5, 50, 25, 70), &parent, 201));
  ASSERT_TRUE(pair.setImages(IDB_MAKER_LOGO, IDB_CUSTOMER_LOGO));
  EXPECT_EQ(drawnAt(pair, 0, 1, 1), makerCorner);
  EXPECT_EQ(drawnAt(pair, ODS_SELECTED, 1, 1), customerCorner);
  EXPECT_EQ(drawnAt(pair, ODS_DISABLED, 1, 1), makerCorner) << "two images: disabled shows the normal one";

  // A normal bitmap that does not load leaves the button without images.
  EXPECT_FALSE(pair.setImages(1));
  EXPECT_FALSE(pair.m_hasImages);
  pair.DestroyWindow();
  single.DestroyWindow();
  parent.DestroyWindow();
}

}  // namespace
