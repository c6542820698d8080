// The progress dialogs over a real switchboard: the base dialog ends once at 100 percent and
// keeps its "close automatically" box; the synchronize variant names each operation, ends with
// the run, and never ends a stopped run with IDOK, whoever stopped it and whatever the box says.
#include "ui/progress_dialog.h"

#include <gtest/gtest.h>

#include "app/preference_file.h"
#include "lang/ids.h"
#include "outlook/item_sync_op.h"
#include "outlook/outlook_item.h"
#include "tests/support/ui_script.h"
#include "tests/ui/synchronize_fixture.h"
#include "ui/synchronize_progress_dialog.h"

namespace {

using synctest::FileOpSynchronizer;
using synctest::SyncUiTest;

std::string text8(const CString& text) { return platform::text::toUtf8(text.view()); }

std::string linesOf(const CDialog& dialog) {
  CString first;
  CString second;
  dialog.GetDlgItemText(IDC_PROGRESS_FIRST_LINE, first);
  dialog.GetDlgItemText(IDC_PROGRESS_SECOND_LINE, second);
  return text8(first) + " / " + text8(second);
}

void setCloseAutomatically(bool on) {
  CPreferenceFile& prefs = getDevicePrefs();
  prefs.openRoot();
  prefs.setBool(u"closeProgressAutomatically", on);
}

bool closeAutomatically() {
  CPreferenceFile& prefs = getDevicePrefs();
  prefs.openRoot();
  bool on = false;
  prefs.getBool(u"closeProgressAutomatically", on);
  return on;
}

// Counts its ends and keeps what it showed at the end.
template <class Base>
class Seen : public Base {
 public:
  template <class... A>
  explicit Seen(A... args) : Base(args...) {}
  // Counts the ends that did something (a second call finds the dialog finished).
  void onFinished() override {
    if (!this->isFinished()) ++finished;
    Base::onFinished();
    if (this->m_hWnd) {
      atEnd = linesOf(*this);
      CString caption;
      this->GetDlgItemText(IDC_PROGRESS_ACTION, caption);
      button = text8(caption);
    }
  }
  void OnCancel() override {
    Base::OnCancel();
    if (this->m_hWnd) afterCancel.push_back(linesOf(*this));
  }
  int finished = 0;
  std::string atEnd;
  std::string button;
  std::vector<std::string> afterCancel;
};

// Posts progress messages once it is up.
class Posting : public Seen<CProgressDialog> {
 public:
  Posting(bool closable, std::vector<int> percents) : Seen<CProgressDialog>(closable, nullptr), percents_(percents) {}
  BOOL OnInitDialog() override {
    BOOL result = CProgressDialog::OnInitDialog();
    for (int percent : percents_) documentHostServices().postAppMessage(new CProgress(percent));
    visibleButton = GetDlgItem(IDC_PROGRESS_ACTION)->IsWindowVisible() != FALSE;
    return result;
  }
  bool visibleButton = false;

 private:
  std::vector<int> percents_;
};

using ProgressDialogTest = SyncUiTest;

// 99 then 100 ends the dialog once: by itself (one second later) with the box ticked, else the
// button becomes Close and ends it with IDOK; the box's state is stored either way.
TEST_F(ProgressDialogTest, OneHundredPercentEndsTheBaseDialogOnce) {
  for (bool automatic : {true, false}) {
    SCOPED_TRACE(automatic);
    setCloseAutomatically(automatic);
    kipotest::UiScript ui;
    if (!automatic) ui.dialog(IDD_PROGRESS).click(IDC_PROGRESS_ACTION);
    Posting dialog(true, {99, 100});
    dialog.m_subject = u"the test";
    const auto started = clock.nowMs();
    EXPECT_EQ(dialog.DoModal(), IDOK);
    ui.verify();
    EXPECT_EQ(dialog.finished, 1);
    EXPECT_TRUE(dialog.visibleButton);
    EXPECT_EQ(closeAutomatically(), automatic);
    if (automatic) {
      EXPECT_GE(clock.nowMs() - started, 1000u);
    } else {
      EXPECT_EQ(dialog.button, "&Close");
    }
  }
}

// Not closable: no button; the caption's Close before the end still cancels, once.
TEST_F(ProgressDialogTest, ANonClosableDialogStillCancelsOnClose) {
  kipotest::UiScript ui;
  ui.dialog(IDD_PROGRESS).close();
  Posting dialog(false, {40});
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  EXPECT_FALSE(dialog.visibleButton);
  EXPECT_EQ(dialog.finished, 1);
}

class SyncProgressTest : public SyncUiTest {
 protected:
  SyncProgressTest() {
    synchronizer->plans = {{kFileOpHostToDrive, 10, u"C:\\a.txt", u"E:\\a.txt"},
                           {kFileOpDriveToHost, 0, u"C:\\b.txt", u"E:\\b.txt"},
                           {kFileOpDeleteOnDrive, -10, u"C:\\c.txt", u"E:\\c.txt"},
                           {kFileOpConflict, 10, u"C:\\d.txt", u"E:\\d.txt"}};
  }
  // As the view does: the run is queued, then the dialog shows it.
  static void queueRun(CSpaceMan& spaceMan) { spaceMan.requestSynchronization(kSyncBothWays, nullptr, nullptr); }
};

// Each op is named as it starts (in the executing colour), the full bar does not end the dialog,
// the run's end does: "Synchronization complete", and with the box ticked IDOK by itself.
TEST_F(SyncProgressTest, ARunNamesEachOperationAndEndsWithIt) {
  setCloseAutomatically(true);
  Seen<CSynchronizeProgressDialog>* shown = nullptr;
  std::vector<std::string> lines;
  synchronizer->duringExecution = [&](CFileSyncOp&) { lines.push_back(linesOf(*shown)); };
  queueRun(doc.getSpaceMan());
  kipotest::UiScript ui;
  Seen<CSynchronizeProgressDialog> dialog(nullptr);
  shown = &dialog;
  dialog.m_subject = u"Synchronizing";
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ui.verify();
  // Deletions run first.
  EXPECT_EQ(lines, (std::vector<std::string>{"Deleting file from USB device / x C:\\c.txt",
                                             "Copying file to USB device / C:\\a.txt",
                                             "Copying file from USB device / + C:\\b.txt",
                                             "Copying conflict files / ** C:\\d.txt"}));
  EXPECT_EQ(dialog.finished, 1);
  EXPECT_EQ(dialog.atEnd, "Synchronization complete / ");
}

// A cancel during the run: "Cancelling." until the run has stopped, the rest of the ops not run,
// then IDCANCEL with the cancel text, even with the box ticked; the end runs once.
TEST_F(SyncProgressTest, ACancelledRunNeverEndsWithOk) {
  setCloseAutomatically(true);
  Seen<CSynchronizeProgressDialog>* shown = nullptr;
  synchronizer->duringExecution = [&](CFileSyncOp& op) {
    if (op.kind == kFileOpDeleteOnDrive) shown->PostMessage(WM_COMMAND, IDCANCEL);
  };
  queueRun(doc.getSpaceMan());
  kipotest::UiScript ui;
  Seen<CSynchronizeProgressDialog> dialog(nullptr);
  shown = &dialog;
  dialog.m_subject = u"Synchronizing";
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  EXPECT_EQ(std::count_if(journal.begin(), journal.end(), [](const std::string& e) { return e.rfind("exec:", 0) == 0; }),
            1);
  ASSERT_EQ(dialog.afterCancel.size(), 2u);
  EXPECT_EQ(dialog.afterCancel[0], "Synchronizing / Cancelling.");
  EXPECT_EQ(dialog.afterCancel[1], "Synchronizing / Synchronization cancelled.");
  EXPECT_EQ(dialog.finished, 1);
  EXPECT_TRUE(closeAutomatically());
}

// A run stopped by another party (the device closing), during execution or before it: the dialog
// says so and its Close ends it with IDCANCEL, so the caller never marks the drive synchronized.
TEST_F(SyncProgressTest, ARunStoppedElsewhereEndsWithCancel) {
  setCloseAutomatically(true);
  for (bool duringExecution : {true, false}) {
    SCOPED_TRACE(duringExecution);
    synchronizer->duringExecution = nullptr;
    synchronizer->duringCalculation = nullptr;
    if (duringExecution) {
      synchronizer->duringExecution = [&](CFileSyncOp&) { doc.getSpaceMan().stopRun([] {}); };
    } else {
      synchronizer->duringCalculation = [&](std::size_t) { doc.getSpaceMan().stopRun([] {}); };
    }
    queueRun(doc.getSpaceMan());
    kipotest::UiScript ui;
    ui.dialog(IDD_PROGRESS).click(IDC_PROGRESS_ACTION);
    Seen<CSynchronizeProgressDialog> dialog(nullptr);
    dialog.m_subject = u"Synchronizing";
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    EXPECT_EQ(dialog.finished, 1);
    EXPECT_EQ(dialog.atEnd, "Synchronizing / Synchronization cancelled.");
    EXPECT_EQ(dialog.button, "&Close");
  }
}

// A plain application message of value 1 ends the dialog with 32771.
TEST_F(SyncProgressTest, TheApplicationEndsTheDialog) {
  class Ending : public CSynchronizeProgressDialog {
   public:
    Ending() : CSynchronizeProgressDialog(nullptr) {}
    BOOL OnInitDialog() override {
      BOOL result = CSynchronizeProgressDialog::OnInitDialog();
      auto* end = new CAppMessage();
      end->value = 1;
      documentHostServices().postAppMessage(end);
      return result;
    }
  };
  kipotest::UiScript ui;
  Ending dialog;
  EXPECT_EQ(dialog.DoModal(), kDialogEndedByApplication);
  ui.verify();
}

// What the dialog says of a mail item op as it starts, by kind: the text of the item the op
// writes from, with the mark the synchronize dialog's rows use.
TEST_F(SyncProgressTest, ItemOpsAreNamed) {
  COutlookItem host;
  host.subject = u"Budget";
  COutlookItem drive;
  drive.subject = u"Budget v2";
  const struct {
    DWORD kind;
    const char* lines;
  } cases[] = {
      {kItemOpSourceToTarget, "Copying item to USB device / Budget"},
      {kItemOpTargetToSource, "Copying item from USB device / + Budget v2"},
      {kItemOpDeleteTarget, "Deleting item from USB device / x Budget v2"},
      {kItemOpConflict, "Copying conflict items / ** Budget v2"},
      {kItemOpTargetMoved, "Moving item / -> Budget v2"},
      {kItemOpSourceMoved, "Moving item / <- Budget"},
      {kItemOpNone, " / "},
  };
  for (const auto& c : cases) {
    CItemSyncOp op(c.kind, nullptr, 0, &host, &drive, nullptr, 0);
    CString first, second;
    EXPECT_TRUE(describeExecutingOp(&op, first, second));
    EXPECT_EQ(platform::text::toUtf8(first.view()) + " / " + platform::text::toUtf8(second.view()), c.lines) << c.kind;
  }
}

}  // namespace
