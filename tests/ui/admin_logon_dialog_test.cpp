// The administrator logon driven as a user would: the logon and the steps under the
// administrator, the rights kept or dropped, wrong credentials, the silent second logon with the
// remembered credentials, a failing step, "more information", and the secure-drive layer's logon
// object with its protected-area operation.
#include "ui/admin_logon_dialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/program_texts.h"
#include "app/secure_drive_services.h"
#include "app/trek_admin_operation.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/host/host.h"
#include "platform/host/users.h"
#include "platform/win32/win32.h"
#include "tests/support/ui_script.h"
#include "tests/ui/drive_dialog_fixture.h"
#include "tests/ui/options_fixture.h"
#include "ui/admin_logon.h"

namespace {

using drivetest::DriveDialogTest;
using platform::host::Host;
namespace fact = platform::host::fact;

// A step that records whether it ran under an administrator.
class RecordingStep : public CAdminUserOperation {
 public:
  RecordingStep(bool needs, bool keeps, bool works = true) : needs_(needs), keeps_(keeps), works_(works) {}
  bool needsAdminRights() override { return needs_; }
  bool keepsAdminRights() override { return keeps_; }
  bool execute() override {
    ranAsAdmin.push_back(isUserAdministrator());
    return works_;
  }
  CString getTitle() override { return u"Open the drive"; }
  CString getDescription() override { return u"The drive's protected area is opened as administrator."; }
  std::vector<bool> ranAsAdmin;

 private:
  bool needs_, keeps_, works_;
};

class AdminLogonTest : public DriveDialogTest {
 protected:
  AdminLogonTest() {
    Host& h = Host::current();
    h.setFact(fact::UserIsAdmin, "0");
    std::string problem;
    EXPECT_TRUE(platform::host::addUser(h, {u"Admin2", u"secret", true, false}, &problem)) << problem;
    secureDriveServices().adminCredentials() = CUserCredentials();
  }
  ~AdminLogonTest() override {
    RevertToSelf();
    secureDriveServices().adminCredentials() = CUserCredentials();
  }
  // The boxes shown, as string ids (0 for other texts); formatted texts match by their start.
  std::vector<UINT> boxIds(std::initializer_list<UINT> known) const {
    std::vector<UINT> ids;
    for (const MessageBoxRequest& b : boxes) {
      UINT found = 0;
      for (UINT id : known)
        if (optionstest::madeFrom(b.text, loadResString(id))) found = id;
      ids.push_back(found);
    }
    return ids;
  }
  static void logon(kipotest::UiScript& ui, const char16_t* password) {
    ui.dialog(IDD_ADMIN_LOGON).type(IDC_ADMIN_USER, u"Admin2").type(IDC_ADMIN_PASSWORD, password).click(IDOK);
  }
};

TEST_F(AdminLogonTest, StepsRunAsTheAdministratorAndTheRightsAreKeptOnlyWhenAStepNeedsThem) {
  struct Case {
    const char* name;
    bool needs, keeps;
    bool ran, adminAfterwards, doneBox;
  };
  const Case cases[] = {
      {"step needs the rights, drops them", true, false, true, false, true},
      {"step keeps the rights", true, true, true, true, false},
      {"no step needs the rights: logon, nothing runs, rights dropped", false, false, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    secureDriveServices().adminCredentials() = CUserCredentials();
    RecordingStep step(c.needs, c.keeps);
    std::vector<CAdminUserOperation*> steps{&step};
    kipotest::UiScript ui;
    logon(ui, u"secret");
    CUserLogonDialog dialog(&steps);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    ui.verify();
    EXPECT_EQ(step.ranAsAdmin, c.ran ? std::vector<bool>{true} : std::vector<bool>{});
    EXPECT_EQ(isUserAdministrator(), c.adminAfterwards);
    EXPECT_EQ(dialog.holdsToken(), c.adminAfterwards);
    EXPECT_EQ(boxIds({IDS_ADMIN_LOGON_DONE}),
              c.doneBox ? std::vector<UINT>{IDS_ADMIN_LOGON_DONE} : std::vector<UINT>{});
    EXPECT_EQ(secureDriveServices().adminCredentials().userName, CString(u"Admin2"));
    // A kept impersonation ends with the dialog object's revert.
    EXPECT_TRUE(dialog.revertToSelf());
    EXPECT_FALSE(isUserAdministrator());
    EXPECT_FALSE(dialog.holdsToken());
  }
}

TEST_F(AdminLogonTest, WrongPasswordKeepsTheDialogForAnotherTry) {
  RecordingStep step(true, false);
  std::vector<CAdminUserOperation*> steps{&step};
  kipotest::UiScript ui;
  ui.dialog(IDD_ADMIN_LOGON).type(IDC_ADMIN_USER, u"Admin2").type(IDC_ADMIN_PASSWORD, u"wrong").click(IDOK)
      .type(IDC_ADMIN_PASSWORD, u"secret").click(IDOK);
  CUserLogonDialog dialog(&steps);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(boxIds({IDS_ADMIN_LOGON_FAILED, IDS_ADMIN_LOGON_DONE}),
            (std::vector<UINT>{IDS_ADMIN_LOGON_FAILED, IDS_ADMIN_LOGON_DONE}));
  EXPECT_EQ(step.ranAsAdmin, std::vector<bool>{true});
}

TEST_F(AdminLogonTest, RememberedCredentialsLogOnSilentlyAndAWrongOneShowsTheDialog) {
  {
    RecordingStep step(true, false);
    std::vector<CAdminUserOperation*> steps{&step};
    secureDriveServices().adminCredentials() = CUserCredentials(u"Admin2", u"secret");
    kipotest::UiScript ui;  // no window may show
    CUserLogonDialog dialog(&steps);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(step.ranAsAdmin, std::vector<bool>{true});
    EXPECT_TRUE(boxes.empty()) << "the silent attempt shows nothing";
  }
  {
    RecordingStep step(true, false);
    std::vector<CAdminUserOperation*> steps{&step};
    secureDriveServices().adminCredentials() = CUserCredentials(u"Admin2", u"changed");
    kipotest::UiScript ui;
    logon(ui, u"secret");
    CUserLogonDialog dialog(&steps);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(boxIds({IDS_ADMIN_LOGON_FAILED, IDS_ADMIN_LOGON_DONE}), std::vector<UINT>{IDS_ADMIN_LOGON_DONE})
        << "the failed silent attempt shows no message";
    EXPECT_EQ(secureDriveServices().adminCredentials().password, CString(u"secret"));
  }
}

TEST_F(AdminLogonTest, AFailingStepKeepsTheDialogOpenAndIsLogged) {
  createLog();
  RecordingStep failing(true, false, false);
  std::vector<CAdminUserOperation*> steps{&failing};
  kipotest::UiScript ui;
  logon(ui, u"secret");
  ui.dialog(IDD_ADMIN_LOGON).click(IDCANCEL);
  CUserLogonDialog dialog(&steps);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_FALSE(isUserAdministrator()) << "the rights are dropped after the failed step";
  EXPECT_NE(logBytes().find("Most likely no admin privs"), std::string::npos);
  EXPECT_EQ(boxIds({IDS_ADMIN_LOGON_DONE}), std::vector<UINT>{});
}

TEST_F(AdminLogonTest, MoreInformationNeedsASelection) {
  RecordingStep step(true, false);
  std::vector<CAdminUserOperation*> steps{&step};
  kipotest::UiScript ui;
  ui.dialog(IDD_ADMIN_LOGON).click(IDC_ADMIN_MORE_INFO).select(IDC_ADMIN_STEPS, 0).click(IDC_ADMIN_MORE_INFO)
      .click(IDCANCEL);
  CUserLogonDialog dialog(&steps);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, loadResString(IDS_ADMIN_SELECT_STEP));
  EXPECT_EQ(boxes[1].text, step.getDescription());
  EXPECT_TRUE(step.ranAsAdmin.empty()) << "Cancel logs nothing on";
}

TEST_F(AdminLogonTest, WithoutAStepListNothingLogsOn) {
  CUserLogonDialog dialog(nullptr);
  dialog.m_userName = u"Admin2";
  dialog.m_password = u"secret";
  EXPECT_FALSE(dialog.logonAndRun(false));
  EXPECT_FALSE(isUserAdministrator());
}

// The secure-drive layer's object: one protected-area step that needs an administrator exactly
// when the user is none, and a revert that gives up what the dialog holds.
TEST_F(AdminLogonTest, SecureDriveLogonObjectHoldsTheProtectedAreaStep) {
  CTrekAdminOperation trek;
  EXPECT_EQ(trek.getTitle(), CString(u"Initiate communication with Kipo DaroriDede."));
  EXPECT_NE(trek.getDescription().Find(u"requires administrative priviliges"), -1);
  EXPECT_TRUE(trek.needsAdminRights());
  Host::current().setFact(fact::UserIsAdmin, "1");
  EXPECT_FALSE(trek.needsAdminRights());
  Host::current().setFact(fact::UserIsAdmin, "0");

  std::unique_ptr<CAdminLogon> object = createAdminLogon();
  auto* logonObject = dynamic_cast<CDialogAdminLogon*>(object.get());
  ASSERT_NE(logonObject, nullptr);
  CUserLogonDialog& dialog = logonObject->dialog();
  dialog.m_userName = u"Admin2";
  dialog.m_password = u"secret";
  ASSERT_TRUE(dialog.logonAndRun(true));
  EXPECT_TRUE(isUserAdministrator()) << "the protected-area step keeps the rights";
  object->revertToSelf();
  EXPECT_FALSE(isUserAdministrator());
}

}  // namespace
