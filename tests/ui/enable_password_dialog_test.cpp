// The password-protection question: no way out without a choice, and the choice reported.
#include "ui/enable_password_dialog.h"

#include <gtest/gtest.h>

#include "lang/ids.h"
#include "tests/support/ui_script.h"
#include "tests/ui/drive_dialog_fixture.h"

namespace {

using drivetest::DriveDialogTest;

class EnablePasswordDialogTest : public DriveDialogTest {};

TEST_F(EnablePasswordDialogTest, CannotBeLeftWithoutAChoice) {
  kipotest::UiScript ui;
  ui.dialog(IDD_ENABLE_PASSWORD).click(IDOK).escape().click(IDCANCEL).check(IDC_EP_PASSWORD, 1).click(IDOK);
  CEnablePasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_TRUE(dialog.passwordProtected);
  const std::vector<UINT> expected(3, IDS_EP_MUST_CHOOSE);
  EXPECT_EQ(boxIds({IDS_EP_MUST_CHOOSE}), expected);
}

TEST_F(EnablePasswordDialogTest, NoPasswordChoice) {
  kipotest::UiScript ui;
  // The other button first, then changing one's mind.
  ui.dialog(IDD_ENABLE_PASSWORD).check(IDC_EP_PASSWORD, 1).check(IDC_EP_NO_PASSWORD, 1).click(IDOK);
  CEnablePasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_FALSE(dialog.passwordProtected);
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
