// The whole stand-in included at once, as a product source does: the headers must not clash,
// and the scalar widths stored bytes depend on hold.
#include <gtest/gtest.h>

#include "platform/afx/afx.h"
#include "platform/com/com.h"
#include "platform/win32/win32.h"

TEST(Headers, TogetherAndWithWindowsWidths) {
  static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WCHAR) == 2);
  static_assert(sizeof(FILETIME) == 8 && sizeof(SYSTEMTIME) == 16 && sizeof(GUID) == 16);
  CString s(u"abc");
  s.Format(u"%s=%ld", s.GetString(), static_cast<LONG>(-1));
  EXPECT_EQ(s, CString(u"abc=-1"));
}
