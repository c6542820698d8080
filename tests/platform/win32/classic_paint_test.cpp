// The standard controls draw themselves in the classic style into the host's screen image, with
// texts in real glyphs, and the image can be written as a PNG picture: a small window with each
// kind of control, checked at the pixels that show a fault (a frame, a check mark, a radio dot,
// a selected row, text where it belongs and nowhere else).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/base/text.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/dialog.h"
#include "platform/win32/dialog_builder.h"
#include "platform/win32/gdi.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

constexpr int kLeft = 100;  // where the test window's client area starts on the screen
constexpr int kTop = 100;

COLORREF at(int x, int y) { return platform::gdi::screenPixel(kLeft + x, kTop + y); }
COLORREF sys(int index) { return GetSysColor(index); }

int inked(int left, int top, int right, int bottom, COLORREF ink) {
  int n = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) n += at(x, y) == ink;
  return n;
}

class ClassicPaintTest : public ::testing::Test {
 protected:
  ClassicPaintTest() {
    platform::gdi::clearScreen();
    window_ = CreateWindowExW(0, u"Static", u"", WS_POPUP | WS_VISIBLE | SS_GRAYRECT, kLeft, kTop, 400, 300, nullptr,
                              nullptr, nullptr, nullptr);
  }
  ~ClassicPaintTest() override { DestroyWindow(window_); }

  HWND add(const char16_t* cls, const char16_t* text, DWORD style, int x, int y, int cx, int cy, DWORD ex = 0) {
    HWND h = CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, window_, nullptr, nullptr,
                             nullptr);
    EXPECT_NE(h, nullptr) << platform::text::toUtf8(cls);
    // The dialog font, as a dialog gives its controls: cells 6 pixels wide, 13 high.
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return h;
  }
  static void draw(HWND h) {
    InvalidateRect(h, nullptr, TRUE);
    UpdateWindow(h);
  }
  kipotest::TestHost host_;
  HWND window_ = nullptr;
};

TEST_F(ClassicPaintTest, ButtonsDrawTheirFacesMarksAndTexts) {
  HWND ok = add(u"Button", u"OK", BS_DEFPUSHBUTTON, 10, 10, 75, 23);
  HWND plain = add(u"Button", u"", BS_PUSHBUTTON, 100, 10, 75, 23);
  HWND checked = add(u"Button", u"Flag", BS_AUTOCHECKBOX, 10, 40, 100, 16);
  HWND unchecked = add(u"Button", u"Flag", BS_AUTOCHECKBOX, 10, 60, 100, 16);
  HWND radio = add(u"Button", u"One", BS_AUTORADIOBUTTON, 120, 40, 100, 16);
  HWND group = add(u"Button", u"Group", BS_GROUPBOX, 240, 10, 120, 60);
  SendMessageW(checked, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(radio, BM_SETCHECK, BST_CHECKED, 0);
  for (HWND h : {ok, plain, checked, unchecked, radio, group}) draw(h);

  // The default push button: a black frame, then the raised face's light edge, a face and text.
  EXPECT_EQ(at(10, 10), sys(COLOR_WINDOWFRAME));
  EXPECT_EQ(at(11, 11), sys(COLOR_3DLIGHT));
  EXPECT_EQ(at(12, 12), sys(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(at(40, 20), sys(COLOR_BTNFACE)) << "the face";
  EXPECT_EQ(at(83, 31), sys(COLOR_3DDKSHADOW)) << "the bottom-right outer edge";
  EXPECT_GT(inked(10 + 30, 10 + 5, 10 + 45, 10 + 18, sys(COLOR_BTNTEXT)), 8) << "\"OK\" is written in the middle";
  EXPECT_EQ(at(100, 10), sys(COLOR_3DLIGHT)) << "a plain button has no black frame";
  EXPECT_EQ(inked(100 + 2, 10 + 2, 100 + 73, 10 + 21, sys(COLOR_BTNTEXT)), 0) << "no text, no ink";

  // Check boxes: a white box with the tick when checked, without it when not.
  const int boxTop = 40 + (16 - 13) / 2;
  EXPECT_EQ(at(12, boxTop + 2), sys(COLOR_WINDOW));
  EXPECT_EQ(at(10 + 3 + 2, boxTop + 3 + 4 + 1), sys(COLOR_WINDOWTEXT)) << "the tick's low point";
  EXPECT_EQ(at(10 + 3 + 2, boxTop + 20 + 3 + 4 + 1), sys(COLOR_WINDOW)) << "no tick unchecked";
  EXPECT_EQ(at(10, boxTop), sys(COLOR_BTNSHADOW)) << "the sunken edge";
  EXPECT_GT(inked(10 + 17, 40, 10 + 17 + 4 * 6, 56, sys(COLOR_BTNTEXT)), 8) << "the label right of the box";

  // The radio button: round (its corner is the face) with the dot in the middle.
  EXPECT_EQ(at(120, boxTop), sys(COLOR_BTNFACE));
  EXPECT_EQ(at(120 + 6, boxTop + 6), sys(COLOR_WINDOWTEXT));

  // The group box: an etched frame below half the text height, the label over it.
  EXPECT_EQ(at(240, 10 + 6), sys(COLOR_BTNSHADOW));
  EXPECT_EQ(at(240 + 1, 10 + 7), sys(COLOR_BTNHIGHLIGHT));
  EXPECT_GT(inked(250, 10, 250 + 5 * 6, 23, sys(COLOR_BTNTEXT)), 8);
}

TEST_F(ClassicPaintTest, TextIsDrawnWithGlyphsInItsCellsOnly) {
  HWND label = add(u"Static", u"Hello", SS_LEFT, 10, 100, 150, 13);
  draw(label);
  const COLORREF ink = sys(COLOR_BTNTEXT);
  // Five cells of six pixels; nothing beyond them.
  EXPECT_GT(inked(10, 100, 40, 113, ink), 20);
  EXPECT_EQ(inked(40, 100, 160, 113, ink), 0);
  // A real glyph, not a filled cell: the "o" (fifth cell) is hollow.
  EXPECT_GT(inked(34, 100, 40, 113, ink), 4);
  EXPECT_NE(at(34 + 3, 100 + 7), ink) << "the middle of the o";
}

TEST_F(ClassicPaintTest, FieldsListsAndBarsDrawTheirFramesAndContents) {
  HWND field = add(u"Edit", u"abc", ES_AUTOHSCROLL, 10, 130, 80, 20, WS_EX_CLIENTEDGE);
  HWND list = add(u"ListBox", u"", WS_BORDER, 120, 130, 100, 60);
  for (const char16_t* s : {u"zero", u"one", u"two"}) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  SendMessageW(list, LB_SETCURSEL, 1, 0);
  HWND combo = add(u"ComboBox", u"", CBS_DROPDOWNLIST, 240, 130, 100, 100);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"picked"));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  HWND bar = add(PROGRESS_CLASSW, u"", 0, 10, 200, 100, 15);
  SendMessageW(bar, PBM_SETPOS, 50, 0);
  HWND tabs = add(WC_TABCONTROLW, u"", 0, 120, 200, 200, 80);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<LPWSTR>(u"First");
  SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  item.pszText = const_cast<LPWSTR>(u"Second");
  SendMessageW(tabs, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&item));
  for (HWND h : {field, list, combo, bar, tabs}) draw(h);

  EXPECT_EQ(at(10, 130), sys(COLOR_BTNSHADOW)) << "the field's sunken edge";
  EXPECT_EQ(at(14, 134), sys(COLOR_WINDOW)) << "a white field";
  EXPECT_GT(inked(14, 132, 14 + 18, 148, sys(COLOR_WINDOWTEXT)), 8) << "its text";

  // The list: the selected row (the second) in the highlight colour, its text in white.
  EXPECT_EQ(at(120 + 60, 130 + 2 + 13 + 1), sys(COLOR_HIGHLIGHT));
  EXPECT_EQ(at(120 + 60, 130 + 2 + 1), sys(COLOR_WINDOW));
  EXPECT_GT(inked(124, 132 + 13, 124 + 18, 132 + 26, sys(COLOR_HIGHLIGHTTEXT)), 6);

  // The combo box shows its pick and has its arrow button at the right.
  EXPECT_GT(inked(244, 132, 244 + 36, 150, sys(COLOR_WINDOWTEXT)), 8);
  EXPECT_EQ(at(340 - 2 - 8, 133), sys(COLOR_BTNHIGHLIGHT)) << "the arrow button's raised edge";
  EXPECT_NE(at(290, 130 + 40), sys(COLOR_WINDOW)) << "below the closed field nothing is drawn";

  // The bar: half its inside in blocks, the rest empty.
  EXPECT_EQ(at(12, 207), sys(COLOR_HIGHLIGHT));
  EXPECT_EQ(at(100, 207), sys(COLOR_BTNFACE));

  // The tabs: the panel's edge and both labels.
  EXPECT_EQ(at(120, 200 + 19 + 5), sys(COLOR_3DLIGHT));
  EXPECT_GT(inked(120, 200, 320, 219, sys(COLOR_BTNTEXT)), 20);
}

TEST_F(ClassicPaintTest, ListAndTreeViewsDrawHeadersRowsAndButtons) {
  HWND list = add(WC_LISTVIEWW, u"", LVS_REPORT, 10, 10, 200, 100, WS_EX_CLIENTEDGE);
  const char16_t* headers[] = {u"Name", u"Size"};
  for (int c = 0; c < 2; ++c) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = 90;
    col.pszText = const_cast<LPWSTR>(headers[c]);
    SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&col));
  }
  for (int i = 0; i < 2; ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<LPWSTR>(i ? u"beta" : u"alpha");
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));

  HWND tree = add(WC_TREEVIEWW, u"", TVS_HASBUTTONS | TVS_LINESATROOT, 220, 10, 150, 100, WS_EX_CLIENTEDGE);
  TVINSERTSTRUCTW ins{};
  ins.hParent = TVI_ROOT;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT;
  ins.item.pszText = const_cast<LPWSTR>(u"Parent");
  auto parent = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
  ins.hParent = parent;
  ins.item.pszText = const_cast<LPWSTR>(u"Child");
  SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins));
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent));
  for (HWND h : {list, tree}) draw(h);

  // The list: raised column headers with their names, the selected second row highlighted.
  EXPECT_EQ(at(12, 12), sys(COLOR_3DLIGHT));
  EXPECT_GT(inked(16, 12, 16 + 4 * 6, 12 + 17, sys(COLOR_BTNTEXT)), 8) << "\"Name\"";
  EXPECT_EQ(at(12 + 60, 12 + 17 + 17 + 1), sys(COLOR_HIGHLIGHT));
  EXPECT_EQ(at(12 + 60, 12 + 17 + 1), sys(COLOR_WINDOW));

  // The tree: the collapsed parent's button shows a plus; the selected label is highlighted.
  const int boxLeft = 222 + 0 + (19 - 9) / 2, boxTop = 12 + (16 - 9) / 2;
  EXPECT_EQ(at(boxLeft, boxTop), sys(COLOR_BTNSHADOW));
  EXPECT_EQ(at(boxLeft + 4, boxTop + 2), sys(COLOR_WINDOWTEXT)) << "the plus's upright";
  EXPECT_EQ(at(222 + 19 + 1, 12 + 8), sys(COLOR_HIGHLIGHT));
  EXPECT_EQ(at(222 + 19, 12 + 16 + 8), sys(COLOR_WINDOW)) << "the child is not shown: the parent is collapsed";
}

TEST_F(ClassicPaintTest, ADialogPaintsItsFaceUnlessItsColourAnswerSaysOtherwise) {
  platform::dialog::TemplateBuilder t(WS_POPUP | WS_VISIBLE, 100, 40, u"Face");
  t.item(WS_VISIBLE | BS_AUTOCHECKBOX, 10, 10, 60, 10, 100, u"Button", u"Box");
  struct Case {
    const char* rule;
    DLGPROC proc;
    COLORREF face;
  };
  static HBRUSH red = CreateSolidBrush(RGB(200, 0, 0));
  const Case cases[] = {
      {"the default", [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, sys(COLOR_BTNFACE)},
      {"the dialog's own brush",
       [](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR {
         return m == WM_CTLCOLORDLG ? reinterpret_cast<INT_PTR>(red) : FALSE;
       },
       RGB(200, 0, 0)},
  };
  for (const Case& c : cases) {
    HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, c.proc, 0);
    ASSERT_NE(dlg, nullptr) << c.rule;
    SetWindowPos(dlg, nullptr, kLeft + 250, kTop + 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(at(250 + 2, 200 + 2), c.face) << c.rule;
    EXPECT_EQ(at(250 + 15 + 3 + 2, 200 + 16 + 3 + 4), sys(COLOR_WINDOW)) << c.rule << ": the box inside the face";
    DestroyWindow(dlg);
  }
}

TEST_F(ClassicPaintTest, AParentPaintsBeforeItsChildrenSoTheyStayVisible) {
  platform::dialog::TemplateBuilder t(WS_POPUP, 100, 40, u"Order");
  t.item(WS_VISIBLE | BS_AUTOCHECKBOX, 10, 10, 60, 10, 100, u"Button", u"Box");
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr,
                                        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
  ASSERT_NE(dlg, nullptr);
  SetWindowPos(dlg, nullptr, kLeft + 250, kTop + 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  // Shown: the dialog and its control wait for WM_PAINT; the queue gives the dialog's first.
  ShowWindow(dlg, SW_SHOW);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_EQ(at(250 + 2, 200 + 2), sys(COLOR_BTNFACE));
  EXPECT_EQ(at(250 + 15 + 3 + 2, 200 + 16 + 3 + 4), sys(COLOR_WINDOW)) << "the box was not painted over";
  DestroyWindow(dlg);
}

TEST_F(ClassicPaintTest, TheScreenIsWrittenAsAPngPicture) {
  draw(add(u"Button", u"OK", BS_DEFPUSHBUTTON, 10, 10, 75, 23));
  const std::filesystem::path file = kipotest::freshTempDir("screen") / "screen.png";
  std::string problem;
  ASSERT_TRUE(platform::gdi::writeScreenPng(file.string(), problem)) << problem;
  std::ifstream in(file, std::ios::binary);
  std::string head(24, '\0');
  in.read(head.data(), 24);
  EXPECT_EQ(head.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
  };
  const SIZE screen = platform::gdi::screenSize();
  EXPECT_EQ(be32(16), static_cast<unsigned>(screen.cx));
  EXPECT_EQ(be32(20), static_cast<unsigned>(screen.cy));
  EXPECT_FALSE(platform::gdi::writeScreenPng("/nonexistent-folder/x.png", problem));
  EXPECT_NE(problem.find("cannot create"), std::string::npos) << problem;
}

}  // namespace
