// CWaitCursor: the hourglass while an object lives, nesting, and the same standard cursor
// handles as the Win32 calls give.
#include "platform/afx/waitcursor.h"

#include <gtest/gtest.h>

#include "platform/afx/afxwin.h"
#include "platform/win32/cursor.h"
#include "tests/support/test_host.h"

namespace {

TEST(WaitCursorTest, TheFrameworksStandardCursorIsTheSameHandle) {
  kipotest::TestHost host;
  CWinApp app(u"WaitCursorTest");
  EXPECT_EQ(app.LoadStandardCursor(IDC_WAIT), LoadCursorW(nullptr, IDC_WAIT));
}

TEST(WaitCursorTest, WaitCursorsNestAndTheLastPutsTheCursorBack) {
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  SetCursor(arrow);
  {
    CWaitCursor outer;
    EXPECT_EQ(GetCursor(), wait);
    {
      CWaitCursor inner;
      EXPECT_EQ(CWaitCursor::activeCount(), 2);
    }
    EXPECT_EQ(GetCursor(), wait) << "the outer one still waits";
    SetCursor(arrow);  // a message box shows the arrow meanwhile
    outer.Restore();
    EXPECT_EQ(GetCursor(), wait);
  }
  EXPECT_EQ(GetCursor(), arrow);
  EXPECT_EQ(CWaitCursor::activeCount(), 0);
}

}  // namespace
