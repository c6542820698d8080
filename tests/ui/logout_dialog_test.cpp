// The logout question: its text names the login computer, and a second request while one is up
// answers IDCANCEL at once and leaves the first running.
#include "ui/logout_dialog.h"

#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "lang/ids.h"
#include "tests/support/ui_script.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;

class LogoutDialogTest : public LoginTest {};

// Asks again while it is up, as a second click on the logout button would.
class AskingTwice : public CLogoutDialog {
 public:
  BOOL OnInitDialog() override {
    BOOL result = CLogoutDialog::OnInitDialog();
    CLogoutDialog second;
    nested = static_cast<int>(second.DoModal());
    GetDlgItemText(IDC_LOGOUT_TEXT, shown);
    return result;
  }
  int nested = 0;
  CString shown;
};

TEST_F(LogoutDialogTest, OneAtATimeAndNamingTheLoginComputer) {
  addProfile(u"BETA", u"Laptop");
  ASSERT_TRUE(setLoginComputer(u"Laptop"));
  kipotest::UiScript ui;
  ui.dialog(IDD_LOGOUT).click(IDOK);
  AskingTwice dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.nested, IDCANCEL);
  EXPECT_EQ(utf8(dialog.shown), "Log out of Laptop? This restores this computer's own settings.");
  EXPECT_EQ(CLogoutDialog::running(), nullptr);
}

}  // namespace
