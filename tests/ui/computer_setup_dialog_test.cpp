// The computer set-up choice: what it proposes (the stored preference, else login use when the
// drive already knows a computer), and what OK stores and switches (the start with Windows).
#include "ui/computer_setup_dialog.h"

#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "tests/support/ui_script.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;

class ComputerSetupDialogTest : public LoginTest {
 protected:
  static std::string frequentPref() {
    bool frequent = false;
    return openThisComputerPrefs().getBool(kFrequentUseComputerValue, frequent) ? (frequent ? "true" : "false")
                                                                                : "<none>";
  }
};

TEST_F(ComputerSetupDialogTest, ProposesTheStoredUseElseLoginUseWhenTheDriveKnowsAComputer) {
  struct Case {
    const char* label;
    const char16_t* stored;  // "frequentUseComputer" of this computer, null: never written
    bool otherComputerOnDrive;
    int proposed;
  };
  const Case cases[] = {
      {"stored true", u"true", true, CComputerSetupDialog::kSynchronizationUse},
      {"stored false", u"false", false, CComputerSetupDialog::kLoginUse},
      {"never stored, empty drive", nullptr, false, CComputerSetupDialog::kSynchronizationUse},
      {"never stored, a computer on the drive", nullptr, true, CComputerSetupDialog::kLoginUse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(computersFolder(), ec))
      if (entry.is_directory()) std::filesystem::remove_all(entry.path());
    getProfileDatabase().deleteAllProfiles();
    addThisComputer(u"Desk", false);
    if (c.otherComputerOnDrive) addProfile(u"BETA", u"Laptop");
    CPreferenceFile& prefs = openThisComputerPrefs();
    if (c.stored)
      prefs.setString(kFrequentUseComputerValue, c.stored);
    else
      prefs.deleteValue(kFrequentUseComputerValue);
    services.autostart.clear();

    kipotest::UiScript ui;
    ui.dialog(IDD_COMPUTER_SETUP).click(IDOK);
    CComputerSetupDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_mode, c.proposed);
    // OK stores what was shown and switches the start with Windows to match.
    EXPECT_EQ(frequentPref(), c.proposed == CComputerSetupDialog::kSynchronizationUse ? "true" : "false");
    EXPECT_EQ(services.autostart, std::vector<bool>{c.proposed == CComputerSetupDialog::kSynchronizationUse});
  }
}

TEST_F(ComputerSetupDialogTest, TheUserChoiceIsStoredAndAFailedAutostartIsTold) {
  addThisComputer(u"Desk", false);
  services.autostartWorks = false;
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_COMPUTER_SETUP).click(IDC_SETUP_LOGIN_MODE).click(IDOK);
    CComputerSetupDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(frequentPref(), "false");
    EXPECT_EQ(services.autostart, std::vector<bool>{false});
    EXPECT_TRUE(boxes.empty());
  }
  services.autostart.clear();
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_COMPUTER_SETUP).click(IDC_SETUP_SYNC_MODE).click(IDOK);
    CComputerSetupDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(frequentPref(), "true");
    EXPECT_EQ(services.autostart, std::vector<bool>{true});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(utf8(boxes[0].text), "Kipo could not be set to start with Windows.");
  }
  // Closed another way: nothing stored, nothing switched.
  openThisComputerPrefs().deleteValue(kFrequentUseComputerValue);
  services.autostart.clear();
  kipotest::UiScript ui;
  ui.dialog(IDD_COMPUTER_SETUP).close();
  CComputerSetupDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(frequentPref(), "<none>");
  EXPECT_TRUE(services.autostart.empty());
}

}  // namespace
