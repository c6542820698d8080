// The rich-edit classes: they exist only after the library is initialised, they edit text as the
// edit control does, their rich-edit messages, and the event mask gating change notifications.
#include "platform/win32/controls/richedit.h"

#include <algorithm>
#include <vector>

#include "platform/win32/controls/controls.h"
#include "platform/win32/gdi.h"
#include "tests/platform/win32/window_fixture.h"

using namespace wintest;

namespace {

constexpr UINT kId = 300;

class RichEditTest : public WindowFixture {
 protected:
  RichEditTest() {
    parent_ = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    g_hook = [this](HWND h, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
      if (h == parent_ && msg == WM_COMMAND && LOWORD(wParam) == kId) codes_.push_back(HIWORD(wParam));
      return std::nullopt;
    };
  }

  HWND create(const char16_t* cls, DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE, const char16_t* text = u"") {
    return CreateWindowExW(0, cls, text, style, 0, 0, 200, 100, parent_, reinterpret_cast<HMENU>(kId), nullptr, nullptr);
  }
  std::u16string textOf(HWND h) {
    char16_t buffer[256] = {};
    GetWindowTextW(h, buffer, 256);
    return buffer;
  }

  HWND parent_ = nullptr;
  std::vector<int> codes_;
};

TEST_F(RichEditTest, ClassesExistOnlyOnceTheirVersionIsInitialised) {
  for (const char16_t* cls : {RICHEDIT_CLASS10W, RICHEDIT_CLASSW}) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(create(cls), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  }
  ASSERT_TRUE(platform::controls::registerRichEditClasses(1));
  EXPECT_NE(create(RICHEDIT_CLASS10W), nullptr);
  EXPECT_EQ(create(RICHEDIT_CLASSW), nullptr) << "version 1 does not bring version 2";
  ASSERT_TRUE(platform::controls::registerRichEditClasses(2));
  EXPECT_TRUE(platform::controls::registerRichEditClasses(2)) << "a second call changes nothing";
  EXPECT_NE(create(RICHEDIT_CLASSW), nullptr);
  EXPECT_NE(create(u"richedit20a"), nullptr) << "the 8-bit class, named case-insensitively";
  EXPECT_FALSE(platform::controls::registerRichEditClasses(3));
}

TEST_F(RichEditTest, EditsMultiLineTextLikeAnEdit) {
  platform::controls::registerRichEditClasses(2);
  HWND h = create(RICHEDIT_CLASSW, WS_CHILD | WS_VISIBLE | ES_MULTILINE, u"first\r\nsecond");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(SendMessageW(h, EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(h, EM_LINEINDEX, 1, 0), 7);
  SendMessageW(h, EM_SETSEL, 0, 5);
  SendMessageW(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"1st"));
  EXPECT_EQ(textOf(h), u"1st\r\nsecond");
  EXPECT_TRUE(platform::controls::userType(h, u"!"));
  EXPECT_EQ(textOf(h), u"1st!\r\nsecond");
}

TEST_F(RichEditTest, RichEditMessagesTable) {
  platform::controls::registerRichEditClasses(2);
  HWND h = create(RICHEDIT_CLASSW, WS_CHILD | WS_VISIBLE | ES_MULTILINE, u"0123456789");
  ASSERT_NE(h, nullptr);

  EXPECT_EQ(SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 32767) << "a rich edit's own default limit";

  // Selections: EM_EXSETSEL answers the end it set; -1 for the end means the end of the text.
  struct SelCase {
    CHARRANGE set;
    LRESULT answer;
    CHARRANGE got;
  } sels[] = {
      {{2, 5}, 5, {2, 5}},
      {{7, 3}, 7, {3, 7}},
      {{0, -1}, 10, {0, 10}},
      {{4, 4}, 4, {4, 4}},
  };
  for (const auto& c : sels) {
    CHARRANGE set = c.set;
    EXPECT_EQ(SendMessageW(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&set)), c.answer) << c.set.cpMin;
    CHARRANGE got{-7, -7};
    SendMessageW(h, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&got));
    EXPECT_EQ(got.cpMin, c.got.cpMin) << c.set.cpMin;
    EXPECT_EQ(got.cpMax, c.got.cpMax) << c.set.cpMin;
  }

  // Lengths in characters, or in bytes of wide text; characters and bytes at once is refused.
  struct LengthCase {
    DWORD flags;
    UINT codepage;
    LRESULT answer;
  } lengths[] = {
      {GTL_DEFAULT, 1200, 10},
      {GTL_NUMCHARS, 1200, 10},
      {GTL_NUMBYTES, 1200, 20},
      {GTL_NUMCHARS | GTL_NUMBYTES, 1200, E_INVALIDARG},
  };
  for (const auto& c : lengths) {
    GETTEXTLENGTHEX how{c.flags, c.codepage};
    EXPECT_EQ(SendMessageW(h, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0), c.answer) << c.flags;
  }

  // EM_EXLIMITTEXT takes its limit in lParam; 0 means 64K.
  SendMessageW(h, EM_EXLIMITTEXT, 0, 12);
  EXPECT_EQ(SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 12);
  SendMessageW(h, EM_EXLIMITTEXT, 0, 0);
  EXPECT_EQ(SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 65536);

  // EM_SETBKGNDCOLOR answers the colour before: the system's window colour at first.
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(h, EM_SETBKGNDCOLOR, 0, 0x00123456)), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(h, EM_SETBKGNDCOLOR, 1, 0)), 0x00123456u);
}

TEST_F(RichEditTest, ChangeNotificationsFollowTheEventMask) {
  platform::controls::registerRichEditClasses(2);
  InitCommonControls();
  HWND rich = create(RICHEDIT_CLASSW, WS_CHILD | WS_VISIBLE);
  ASSERT_NE(rich, nullptr);
  EXPECT_EQ(SendMessageW(rich, EM_GETEVENTMASK, 0, 0), ENM_NONE);
  codes_.clear();
  platform::controls::userType(rich, u"a");
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), EN_CHANGE), 0) << "no mask: no EN_CHANGE";
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), EN_UPDATE), 0);

  EXPECT_EQ(SendMessageW(rich, EM_SETEVENTMASK, 0, ENM_CHANGE), ENM_NONE) << "answers the mask before";
  codes_.clear();
  platform::controls::userType(rich, u"b");
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), EN_CHANGE), 1);
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), EN_UPDATE), 0);

  SendMessageW(rich, EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_UPDATE);
  EXPECT_EQ(SendMessageW(rich, EM_GETEVENTMASK, 0, 0), ENM_CHANGE | ENM_UPDATE);
  codes_.clear();
  platform::controls::userType(rich, u"c");
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), EN_CHANGE), 1);
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), EN_UPDATE), 1);

  // A plain edit is not affected by any of this.
  HWND plain = create(WC_EDITW, WS_CHILD | WS_VISIBLE);
  codes_.clear();
  platform::controls::userType(plain, u"x");
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), EN_CHANGE), 1);
}

}  // namespace
