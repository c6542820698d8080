// Cursors: standard cursors by IDC_ id, the current cursor and the show count.
#include "platform/win32/cursor.h"

#include <gtest/gtest.h>

#include "platform/win32/error.h"

namespace {

TEST(CursorTest, StandardCursorsAreKnownByIdOnly) {
  struct Case {
    LPCWSTR id;
    bool known;
  } cases[] = {{IDC_ARROW, true}, {IDC_WAIT, true},  {IDC_IBEAM, true}, {IDC_HAND, true},
               {IDC_APPSTARTING, true}, {MAKEINTRESOURCEW(32517), false}, {MAKEINTRESOURCEW(1), false},
               {u"arrow", false}};
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    HCURSOR h = LoadCursorW(nullptr, c.id);
    EXPECT_EQ(h != nullptr, c.known) << reinterpret_cast<ULONG_PTR>(c.id);
    if (!c.known) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    }
  }
  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), LoadCursorW(nullptr, IDC_WAIT));
  EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), LoadCursorW(nullptr, IDC_WAIT)) << "shared, not made anew";
  EXPECT_EQ(platform::cursor::standardCursorId(LoadCursorW(nullptr, IDC_WAIT)), 32514);
  EXPECT_EQ(platform::cursor::standardCursorId(nullptr), 0);
}

TEST(CursorTest, SetCursorReturnsThePreviousOne) {
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  SetCursor(arrow);
  EXPECT_EQ(SetCursor(wait), arrow);
  EXPECT_EQ(GetCursor(), wait);
  EXPECT_EQ(SetCursor(nullptr), wait);
  EXPECT_EQ(GetCursor(), nullptr);
}

TEST(CursorTest, ShowCursorCountsFromZero) {
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(ShowCursor(FALSE), -2);
  EXPECT_EQ(ShowCursor(TRUE), -1);
  EXPECT_EQ(ShowCursor(TRUE), 0);
}

}  // namespace
