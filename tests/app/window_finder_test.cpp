// CWindowFinder: top-level windows by class and title, exact or partial, case-sensitive.
#include "app/window_finder.h"

#include <algorithm>

#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/test_windows.h"

namespace {

using apptest::AppTest;

class WindowFinderTest : public AppTest {
 protected:
  WindowFinderTest() {
    for (const char16_t* cls : {u"OpusApp", u"XLMAIN"}) {
      kipotest::registerWindowClass(cls);
    }
    word1 = make(u"OpusApp", u"Report.doc - Microsoft Word");
    word2 = make(u"OpusApp", u"Microsoft Word");
    excel = make(u"XLMAIN", u"Microsoft Excel - Book1");
    hidden = make(u"XLMAIN", u"", 0);
    child = CreateWindowExW(0, u"OpusApp", u"Microsoft Word", WS_CHILD, 0, 0, 5, 5, word1, nullptr, nullptr, nullptr);
  }
  ~WindowFinderTest() override {
    for (HWND w : {word1, word2, excel, hidden}) DestroyWindow(w);
  }
  static HWND make(const char16_t* cls, const char16_t* title, DWORD visible = WS_VISIBLE) {
    return CreateWindowExW(0, cls, title, WS_OVERLAPPEDWINDOW | visible, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
  }
  static std::vector<HWND> sorted(std::vector<HWND> v) {
    std::sort(v.begin(), v.end());
    return v;
  }

  HWND word1, word2, excel, hidden, child;
};

TEST_F(WindowFinderTest, ClassAndTitleRules) {
  struct Case {
    bool partial;
    const char16_t* cls;
    const char16_t* title;
    std::vector<HWND> expected;
  } cases[] = {
      {false, u"OpusApp", u"Microsoft Word", {word2}},                    // child windows are not looked at
      {true, u"OpusApp", u"Microsoft Word", {word1, word2}},
      {false, u"", u"Microsoft Excel - Book1", {excel}},                  // the title alone
      {true, u"", u"Microsoft", {word1, word2, excel}},
      {false, u"XLMAIN", u"", {excel, hidden}},                           // hidden windows count
      {false, u"opusapp", u"", {}},                                       // case-sensitive
      {true, u"OpusApp", u"microsoft", {}},
      {false, u"NoSuchClass", u"", {}},
  };
  for (const Case& c : cases) {
    CWindowFinder finder(c.partial);
    std::vector<HWND> found{reinterpret_cast<HWND>(1)};  // emptied first
    EXPECT_EQ(finder.findWindows(CString(c.cls), CString(c.title), found), !c.expected.empty());
    EXPECT_EQ(sorted(found), sorted(c.expected)) << utf8(CString(c.cls)) << " / " << utf8(CString(c.title));
  }
}

TEST_F(WindowFinderTest, BothEmptyGivesEveryTopLevelWindow) {
  std::vector<HWND> found;
  ASSERT_TRUE(CWindowFinder().findWindows(CString(), CString(), found));
  for (HWND w : {word1, word2, excel, hidden}) EXPECT_NE(std::find(found.begin(), found.end(), w), found.end());
  EXPECT_EQ(std::find(found.begin(), found.end(), child), found.end());
}

}  // namespace
