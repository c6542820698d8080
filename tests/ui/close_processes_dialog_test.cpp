// The close-programs list: not shown (IDOK) without a program to close or when the user chose not
// to see it again; shown with the programs that must close, where the only visible button cancels
// and Enter closes them (a refusal cancels); unticking its box asks first and is stored.
#include "ui/close_processes_dialog.h"

#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "snapins/process_customizer.h"
#include "tests/support/ui_script.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;
using logintest::ScriptedHost;

// A process snap-in whose program runs, to be closed at login or at logout; its close succeeds or
// refuses as told.
class ProgramSnapin : public CProcessCustomizer {
 public:
  ProgramSnapin(const char16_t* program, bool atLogin, bool closes)
      : CProcessCustomizer(CString(program), CString(program), CString(), CString(), CString(), false, 0, false, 0),
        m_atLogin(atLogin),
        m_closes(closes) {}
  bool needsCloseAtLogin() override { return m_atLogin; }
  bool needsCloseAtLogout() override { return !m_atLogin; }
  bool closeProcess() override {
    ++closed;
    return m_closes;
  }
  bool m_atLogin, m_closes;
  int closed = 0;
};

class CloseProcessesDialogTest : public LoginTest {
 protected:
  CloseProcessesDialogTest() { host_.doc = &document; }
  ProgramSnapin* add(const char16_t* program, bool atLogin, bool closes = true) {
    auto snapin = std::make_unique<ProgramSnapin>(program, atLogin, closes);
    ProgramSnapin* raw = snapin.get();
    document.addCustomizer(std::move(snapin));
    return raw;
  }
  CCustomizerDoc document;
  ScriptedHost host_;
};

TEST_F(CloseProcessesDialogTest, NothingToCloseOrNotWantedIsNotShown) {
  add(u"Word", false);  // only at logout
  {
    kipotest::UiScript ui;  // no window may show
    CCloseProcessesDialog dialog(true, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
  }
  ProgramSnapin* outlook = add(u"Outlook", true);
  CPreferenceFile& prefs = getDevicePrefs();
  ASSERT_TRUE(prefs.openRoot());
  prefs.setBool(u"showCloseProcessesLoginMessage", false);
  {
    kipotest::UiScript ui;
    CCloseProcessesDialog dialog(true, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(outlook->closed, 0) << "nothing is closed";
  }
}

TEST_F(CloseProcessesDialogTest, ListsTheProgramsAndClosesThemOnEnter) {
  ProgramSnapin* outlook = add(u"Outlook", true);
  ProgramSnapin* word = add(u"Word", true, false);
  add(u"Player", false);
  {
    // The one visible button, captioned OK, cancels the login.
    kipotest::UiScript ui;
    ui.dialog(IDD_CLOSE_PROCESSES).click(IDCANCEL);
    CCloseProcessesDialog dialog(true, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(outlook->closed, 0);
  }
  {
    // Enter closes the listed programs; Word refuses, so the login is cancelled.
    kipotest::UiScript ui;
    ui.dialog(IDD_CLOSE_PROCESSES).enter();
    CCloseProcessesDialog dialog(true, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(outlook->closed, 1);
    EXPECT_EQ(word->closed, 1);
  }
  word->m_closes = true;
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_CLOSE_PROCESSES).enter();
    CCloseProcessesDialog dialog(true, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_list.m_hWnd, nullptr);
    bool show = false;
    ASSERT_TRUE(getDevicePrefs().openRoot());
    EXPECT_TRUE(getDevicePrefs().getBool(u"showCloseProcessesLoginMessage", show));
    EXPECT_TRUE(show);
  }
}

}  // namespace
