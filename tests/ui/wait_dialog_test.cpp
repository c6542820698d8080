// The wait box: up and painted from its construction, centred on the screen, with the given text
// or, without one, the template's own (placeholders replaced); gone when its owner deletes it.
#include "ui/wait_dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/lingrove.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"

namespace {

class WaitDialogTest : public apptest::AppTest {
 protected:
  WaitDialogTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
  }
  static CString textOf(HWND window) {
    WCHAR text[256] = {};
    GetWindowTextW(window, text, 256);
    return CString(text);
  }

  CWinApp application{u"Kipo"};
  std::unique_ptr<Lingrove> language;
};

TEST_F(WaitDialogTest, ShowsTheGivenTextOrKeepsTheTemplates) {
  struct Case {
    const char16_t* given;
    const char16_t* shown;
  };
  const Case cases[] = {
      {u"Logging out, please wait...", u"Logging out, please wait..."},
      {u"", u"Please wait while Kipo logs you out..."},
  };
  for (const Case& c : cases) {
    auto box = std::make_unique<CWaitDlg>(CString(c.given));
    HWND window = box->GetSafeHwnd();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(textOf(GetDlgItem(window, IDC_WAIT_TEXT)), CString(c.shown));
    EXPECT_EQ(textOf(window).Find(u'%'), -1) << "placeholders replaced";

    RECT r{};
    GetWindowRect(window, &r);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LE(std::abs((r.left + r.right) / 2 - screenWidth / 2), 1);
    EXPECT_LE(std::abs((r.top + r.bottom) / 2 - screenHeight / 2), 1);

    box.reset();
    EXPECT_FALSE(IsWindow(window));
  }
}

}  // namespace
