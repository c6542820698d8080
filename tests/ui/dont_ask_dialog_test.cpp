// The don't-ask-again question: shown unless its preference says "false", the box's state stored
// whichever button closed it, and its row of buttons with and without Cancel.
#include "ui/dont_ask_dialog.h"

#include <gtest/gtest.h>

#include "app/preference_file.h"
#include "lang/ids.h"
#include "tests/support/ui_script.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;

class DontAskDialogTest : public LoginTest {
 protected:
  static void setPref(const char16_t* value) {
    CPreferenceFile& prefs = getDevicePrefs();
    ASSERT_TRUE(prefs.openRoot());
    if (value)
      prefs.setString(u"showTest", value);
    else
      prefs.deleteValue(u"showTest");
  }
  static std::string pref() {
    CPreferenceFile& prefs = getDevicePrefs();
    CString value;
    if (!prefs.openRoot() || !prefs.getString(u"showTest", value)) return "<none>";
    return utf8(value);
  }
};

TEST_F(DontAskDialogTest, ShownUnlessThePreferenceSaysNot) {
  struct Case {
    const char16_t* stored;
    bool shown;
    bool untick;
    int button;
    bool answer;
    const char* after;
  };
  const Case cases[] = {
      {nullptr, true, false, IDOK, true, "true"},       // never written: shown
      {u"true", true, true, IDOK, true, "false"},       // unticked: not shown next time
      {u"true", true, true, IDCANCEL, false, "false"},  // unticked and cancelled: stored all the same
      {u"false", false, false, 0, true, "false"},       // suppressed: yes without a window
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? utf8(CString(c.stored)) : "<none>");
    setPref(c.stored);
    kipotest::UiScript ui;
    if (c.shown) {
      if (c.untick)
        ui.dialog(IDD_DONT_ASK).check(IDC_DONT_ASK_CHECK, false).click(c.button);
      else
        ui.dialog(IDD_DONT_ASK).click(c.button);
    }
    EXPECT_EQ(askUnlessSuppressed(nullptr, u"Synchronized.", u"&Always show this message.", u"showTest", true), c.answer);
    EXPECT_EQ(pref(), c.after);
  }
}

TEST_F(DontAskDialogTest, ButtonsStandOnOneRowBelowTheText) {
  for (bool withCancel : {true, false}) {
    SCOPED_TRACE(withCancel);
    CDontAskMeAnymoreDialog dialog(nullptr, u"Text", u"Check", u"showTest", withCancel, 400, 250);
    ASSERT_TRUE(dialog.Create(IDD_DONT_ASK, nullptr));
    CRect window, client, text, ok, cancel, check;
    dialog.GetWindowRect(&window);
    dialog.GetClientRect(&client);
    EXPECT_EQ(window.Width(), 400);
    EXPECT_EQ(window.Height(), 250);
    auto place = [&](int id, CRect& r) {
      dialog.GetDlgItem(id)->GetWindowRect(&r);
      dialog.ScreenToClient(&r);
    };
    place(IDC_DONT_ASK_TEXT, text);
    place(IDOK, ok);
    place(IDCANCEL, cancel);
    place(IDC_DONT_ASK_CHECK, check);
    EXPECT_EQ(text.Width(), client.Width() - 20);
    EXPECT_EQ(text.Height(), client.Height() - 100);
    EXPECT_EQ(ok.top, text.bottom + 10);
    EXPECT_EQ(check.top, text.bottom + 10);
    EXPECT_EQ(check.left, text.left);
    EXPECT_EQ(check.Width(), client.Width() - ok.Width() - cancel.Width() - 25);
    EXPECT_LE(ok.bottom, client.bottom) << "the row stays inside the window";
    if (withCancel) {
      EXPECT_EQ(cancel.right, client.Width() - 10);
      EXPECT_EQ(ok.right, cancel.left - 10);
      EXPECT_NE(dialog.GetDlgItem(IDCANCEL)->GetStyle() & WS_VISIBLE, 0u);
    } else {
      EXPECT_EQ(ok.left, client.Width() - cancel.Width() - 10);
      EXPECT_EQ(dialog.GetDlgItem(IDCANCEL)->GetStyle() & WS_VISIBLE, 0u);
    }
    CString checkText;
    dialog.GetDlgItemText(IDC_DONT_ASK_CHECK, checkText);
    EXPECT_EQ(utf8(checkText), "Check");
    dialog.DestroyWindow();
  }
}

}  // namespace
