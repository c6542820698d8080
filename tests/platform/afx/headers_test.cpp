// The framework's window layer included together with every Win32 facility, the controls and
// their wrappers, as a product source does: the headers must not clash, and the template records
// keep their Windows sizes.
#include <gtest/gtest.h>

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_common.h"
#include "platform/afx/ctrl_imagelist.h"
#include "platform/afx/ctrl_list.h"
#include "platform/afx/ctrl_view.h"
#include "platform/com/com.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"

TEST(AfxHeaders, TogetherAndWithWindowsLayouts) {
  static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18);
  static_assert(sizeof(AFX_NOTIFY) == 2 * sizeof(void*));
  EXPECT_EQ(DLGWINDOWEXTRA, 30);
  EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(6, 13));
}
