// The options dialog driven as a user would: which pages it shows, one dialog at a time, OK that
// applies every changed page and saves the pref file, Cancel that reloads every changed page, the
// switchboard's end, and the common panel's sizes.
#include "ui/options_dialog.h"

#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "tests/support/ui_script.h"
#include "tests/ui/options_fixture.h"
#include "ui/file_property_page.h"
#include "ui/general_property_page.h"
#include "ui/snapin_common_page.h"

namespace {

using optionstest::OptionsTest;
namespace fs = std::filesystem;

class OptionsDialogTest : public OptionsTest {};

// The page count the sheet holds while it is up, and the active page's index.
struct SheetSeen {
  int pages = -1;
  int active = -1;
};

TEST_F(OptionsDialogTest, SnapinPagesOnlyForAComputerSetUpOnTheDrive) {
  struct Case {
    const char* name;
    bool folder;
    bool profile;
    bool synchronizing;
    int askedPage;
    SheetSeen expected;
  };
  const Case cases[] = {
      {"set up: general and files, the page asked for", true, true, false, 1, {2, 1}},
      {"no folder on the drive: general only, whatever was asked", false, true, false, 1, {1, 0}},
      {"no folder, from the synchronize dialog: general and files", false, true, true, 1, {2, 1}},
      {"no profile for this computer: general only", true, false, true, 1, {1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    optionsHost.synchronizing = c.synchronizing;
    if (!c.folder) fs::remove_all(computersFolder() / "ALPHA");
    if (c.folder) fs::create_directories(computersFolder() / "ALPHA");
    if (!c.profile) getProfileDatabase().deleteAllProfiles();
    COptionsDialog dialog(&doc, c.askedPage, nullptr);
    EXPECT_EQ(dialog.sheet().GetActiveIndex(), c.expected.active) << "the page the sheet opens on";
    SheetSeen seen;
    optionsHost.onSetup = [&] { seen.pages = dialog.sheet().GetPageCount(); };
    kipotest::UiScript ui;
    // The general page is reachable in every case; the set-up button reports what the sheet holds.
    ui.dialog(IDD_OPTIONS).select(AFX_IDC_TAB_CONTROL, 0).click(IDC_GENERAL_COMPUTER_USED).click(IDCANCEL);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    EXPECT_EQ(seen.pages, c.expected.pages);
    if (c.profile) getProfileDatabase().loadProfiles();
  }
}

TEST_F(OptionsDialogTest, ASecondOptionsDialogOnlyFocusesTheFirst) {
  COptionsDialog first(&doc, 0, nullptr);
  INT_PTR secondResult = -1;
  bool firstStillUp = false;
  optionsHost.onSetup = [&] {
    COptionsDialog second(&doc, 0, nullptr);
    secondResult = second.DoModal();
    firstStillUp = COptionsDialog::shown() == &first && ::IsWindow(first.m_hWnd);
  };
  kipotest::UiScript ui;
  ui.dialog(IDD_OPTIONS).click(IDC_GENERAL_COMPUTER_USED).click(IDCANCEL);
  EXPECT_EQ(first.DoModal(), IDCANCEL);
  EXPECT_EQ(secondResult, IDCANCEL);
  EXPECT_TRUE(firstStillUp);
  EXPECT_EQ(COptionsDialog::shown(), nullptr);
  EXPECT_EQ(loginHost.listeners, 0) << "every listener registered is removed again";
}

// A change on the page of files, then the general page in front: OK saves the files page too, and
// Cancel reloads it too.
TEST_F(OptionsDialogTest, OkAndCancelActOnEveryChangedPage) {
  const CString synchronize = u"synchronize";
  const CString firstRecord =
      u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Files\\FileSyncPref0";
  ASSERT_TRUE(files().savePrefs(self()));
  for (int button : {IDOK, IDCANCEL}) {
    SCOPED_TRACE(button == IDOK ? "OK" : "Cancel");
    COptionsDialog dialog(&doc, 1, nullptr);
    kipotest::UiScript ui;
    ui.dialog(IDD_OPTIONS).toggle(IDC_FILES_ITEMS, 0).select(AFX_IDC_TAB_CONTROL, 0).click(button);
    EXPECT_EQ(dialog.DoModal(), button);
    ui.verify();
    bool stored = true;
    CRegistry(firstRecord).getBool(synchronize, stored);
    const bool inMemory = files().fileSyncPrefs(self())[0]->synchronize;
    if (button == IDOK) {
      EXPECT_FALSE(stored) << "applied although the page was not in front";
      EXPECT_FALSE(inMemory);
      files().fileSyncPrefs(self())[0]->synchronize = true;
      files().savePrefs(self());
    } else {
      EXPECT_TRUE(stored);
      EXPECT_TRUE(inMemory) << "reloaded although the page was not in front";
    }
    EXPECT_TRUE(doc.isPrefsChanged(self()));
  }
}

// Apply saves the page's changes and leaves the dialog up; a Cancel afterwards keeps what was
// applied.
TEST_F(OptionsDialogTest, ApplyKeepsTheChangesThroughALaterCancel) {
  const CString firstRecord =
      u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Files\\FileSyncPref0";
  ASSERT_TRUE(files().savePrefs(self()));
  COptionsDialog dialog(&doc, 1, nullptr);
  kipotest::UiScript ui;
  ui.dialog(IDD_OPTIONS).toggle(IDC_FILES_ITEMS, 0).click(ID_APPLY_NOW).click(IDCANCEL);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  bool stored = true;
  CRegistry(firstRecord).getBool(u"synchronize", stored);
  EXPECT_FALSE(stored);
  EXPECT_FALSE(files().fileSyncPrefs(self())[0]->synchronize);
}

// OK pressed while the calculation that the dialog asked for at its start runs: the calculation is
// stopped and OK comes again once it has ended, which closes the dialog.
TEST_F(OptionsDialogTest, OkDuringACalculationWaitsForItsEnd) {
  openThisComputerPrefs().setBool(kFrequentUseComputerValue, true);
  snapintest::TestSynchronizer synchronizer(journal);
  synchronizer.plans = {{1, 100, "one"}, {1, 100, "two"}};
  doc.getSpaceMan().addSynchronizer(&files(), &synchronizer);
  doc.getSpaceMan().buildSpaceRecords();
  bool runningAtOk = false;
  bool cancelledSeen = false;
  synchronizer.duringCalculation = [&] {
    COptionsDialog* shown = COptionsDialog::shown();
    ASSERT_NE(shown, nullptr);
    runningAtOk = doc.getSpaceMan().isRunning();
    shown->SendMessage(WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(::IsWindow(shown->m_hWnd)) << "OK waits while the calculation runs";
    cancelledSeen = synchronizer.currentRecord->isCancelled();
  };
  COptionsDialog dialog(&doc, 0, nullptr);
  kipotest::UiScript ui;  // nothing to press: the OK comes from the calculation
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_TRUE(runningAtOk);
  EXPECT_TRUE(cancelledSeen) << "the OK stopped the calculation";
  EXPECT_FALSE(doc.getSpaceMan().isRunning());
  doc.getSpaceMan().freeSyncOps();
  doc.getSpaceMan().freeSynchronizers();
}

TEST_F(OptionsDialogTest, PrefFileThatCannotBeSavedIsReportedAndTheDialogCloses) {
  // The pref file's folder becomes a file: the save cannot replace anything there.
  fs::remove_all(computersFolder());
  writeBytes(computersFolder(), "not a folder");
  COptionsDialog dialog(&doc, 0, nullptr);
  kipotest::UiScript ui;
  ui.dialog(IDD_OPTIONS).click(IDOK);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(boxIds({IDS_OPTIONS_PREFS_NOT_SAVED}), std::vector<UINT>{IDS_OPTIONS_PREFS_NOT_SAVED});
}

TEST_F(OptionsDialogTest, SwitchboardValueOneEndsTheDialog) {
  COptionsDialog dialog(&doc, 0, nullptr);
  optionsHost.onSetup = [&] {
    CAppMessage other;
    dialog.onMessage(&other);  // value 2: ignored
    CAppMessage end;
    end.value = 1;
    dialog.onMessage(&end);
  };
  kipotest::UiScript ui;
  ui.dialog(IDD_OPTIONS).click(IDC_GENERAL_COMPUTER_USED);
  EXPECT_EQ(dialog.DoModal(), COptionsDialog::kEndedBySwitchboard);
}

TEST_F(OptionsDialogTest, CommonPanelShowsSizesAndANegativePlanWithAMinus) {
  CSnapinCommonPropertiesDialog panel(nullptr, nullptr);
  panel.setPlannedBytes(2048);
  EXPECT_EQ(panel.m_selectedText, formatFileSize(2048));
  panel.setPlannedBytes(-2048);
  EXPECT_EQ(panel.m_selectedText, CString(u"-") + formatFileSize(2048));
  panel.setDeviceBytes(0);
  EXPECT_EQ(panel.m_usedText, formatFileSize(0));
}

}  // namespace
