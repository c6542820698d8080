// The synchronize dialog over a real run coordinator and switchboard: the rows a calculation
// lists and the total it plans, OK during and after the search, Cancel during the search, the
// space checks, the narrowing choices stored in the snap-ins' preferences, the Outlook choices
// off without an Outlook snap-in, and the dialog that exists once.
#include "ui/synchronize_dialog.h"

#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "app/preference_file.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "outlook/item_sync_op.h"
#include "outlook/outlook_customizer.h"
#include "outlook/outlook_folder_sync_pref.h"
#include "outlook/outlook_names.h"
#include "outlook/outlook_item.h"
#include "snapins/file_customizer_prefs.h"
#include "tests/support/ui_script.h"
#include "tests/ui/synchronize_fixture.h"
#include "ui/progress_dialog.h"

namespace {

using synctest::FileOpSynchronizer;
using synctest::SyncUiTest;
using synctest::TestSnapin;
namespace fs = std::filesystem;
using Plan = FileOpSynchronizer::Plan;

std::string utf8(const CString& text) { return platform::text::toUtf8(text.view()); }

// The dialog with what it showed when it ended (its window is gone by then).
class SeenDialog : public CSynchronizeDialog2 {
 public:
  SeenDialog() : CSynchronizeDialog2(nullptr) {}
  std::vector<std::string> rows;
  std::string status;
  std::map<int, bool> enabled;
  LONGLONG total = 0;

  void keep() {
    rows.clear();
    for (int row = 0; row < list().GetItemCount(); ++row)
      rows.push_back(utf8(list().GetItemText(row, 0)) + " | " + utf8(list().GetItemText(row, 1)) + " | " +
                     utf8(list().GetItemText(row, 2)));
    CString text;
    GetDlgItemText(IDC_SYNC_STATUS, text);
    status = utf8(text);
    for (int id : {IDC_SYNC_DESKTOP, IDC_SYNC_DESKTOP_DAYS, IDC_SYNC_INBOX, IDC_SYNC_INBOX_DAYS, IDC_SYNC_INBOX_DAYS_LABEL,
                   IDC_SYNC_MORE_OPTIONS})
      enabled[id] = GetDlgItem(id)->IsWindowEnabled() != FALSE;
    total = plannedTotal();
  }
  void OnOK() override {
    if (sortColumn >= 0) {
      // A click on the column's header, as the list reports it.
      NMLISTVIEW click{};
      click.hdr.hwndFrom = list().m_hWnd;
      click.hdr.idFrom = IDC_SYNC_LIST;
      click.hdr.code = LVN_COLUMNCLICK;
      click.iSubItem = sortColumn;
      SendMessage(WM_NOTIFY, IDC_SYNC_LIST, reinterpret_cast<LPARAM>(&click));
      for (int row = 0; row < list().GetItemCount(); ++row) data.push_back(static_cast<int>(list().GetItemData(row)));
    }
    keep();
    CSynchronizeDialog2::OnOK();
  }
  int sortColumn = -1;
  std::vector<int> data;
  void OnCancel() override {
    keep();
    CSynchronizeDialog2::OnCancel();
  }
};

class SynchronizeDialogTest : public SyncUiTest {
 protected:
  static void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  CString favorites() { return CFolderLookup::getFavoritesPath(); }
  static ULONGLONG kilobytesSynchronized() {
    CPreferenceFile& prefs = getDevicePrefs();
    prefs.openRoot();
    ULONGLONG kilobytes = 0;
    prefs.getUInt64(u"kilobytesSynchronized", kilobytes);
    return kilobytes;
  }
};

// Every kind of file op as its row; Favorites ops grouped into one row with their sum; kind 3 no
// row; copies to this computer leave the total alone. OK after the search closes the dialog,
// counts the kilobytes and starts the view's run, both directions.
TEST_F(SynchronizeDialogTest, TheRowsOfAPlanAndOk) {
  writeBytes(host.c("Documents and Settings/Robin/Desktop/report.doc"), std::string(5000, 'r'));
  writeBytes(host.c("Documents and Settings/Robin/Desktop/clash.txt"), std::string(100, 'c'));
  fs::create_directories(computersFolder() / "ALPHA" / "Desktop");
  writeBytes(computersFolder() / "ALPHA" / "Desktop" / "new.txt", std::string(10000, 'n'));
  writeBytes(computersFolder() / "ALPHA" / "Desktop" / "gone.txt", std::string(3000, 'g'));
  const CString desktop = CFolderLookup::getDesktopPath();
  const std::u16string a1 = (desktop + u"\\report.doc").GetString();
  const std::u16string a2 = (desktop + u"\\new.txt").GetString();
  const std::u16string a5 = (desktop + u"\\clash.txt").GetString();
  const std::u16string fav1 = (favorites() + u"\\a.url").GetString();
  const std::u16string fav2 = (favorites() + u"\\b.url").GetString();
  synchronizer->plans = {
      {kFileOpHostToDrive, 8192, a1.c_str(), u"E:\\Synchronized Computers\\ALPHA\\Desktop\\report.doc"},
      {kFileOpDriveToHost, 0, a2.c_str(), u"E:\\Synchronized Computers\\ALPHA\\Desktop\\new.txt"},
      {kFileOpDeleteOnDrive, -4096, u"", u"E:\\Synchronized Computers\\ALPHA\\Desktop\\gone.txt"},
      {kFileOpConflict, 4096, a5.c_str(), u"E:\\Synchronized Computers\\ALPHA\\Desktop\\clash.txt"},
      {kFileOpNothing + 3, 0, a1.c_str(), u"E:\\x"},
      {kFileOpHostToDrive, 1000, fav1.c_str(), u"E:\\f\\a.url"},
      {kFileOpHostToDrive, 2000, fav2.c_str(), u"E:\\f\\b.url"},
  };
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).click(IDOK);
  SeenDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ui.verify();
  EXPECT_EQ(dialog.rows, (std::vector<std::string>{
                             "report.doc | Desktop | 4 KB",
                             "+ new.txt | Desktop | 9 KB",
                             "x gone.txt | E:\\Synchronized Computers\\ALPHA\\Desktop | 2 KB",
                             "** clash.txt | Desktop | 1 KB",
                             "Favorites |  | 2 KB",
                         }));
  EXPECT_EQ(dialog.total, 8192 - 4096 + 4096 + 3000);
  EXPECT_EQ(login.runs, std::vector<DWORD>{kSyncBothWays});
  EXPECT_EQ(kilobytesSynchronized(), 11ull);
  EXPECT_EQ(CSynchronizeDialog2::active(), nullptr);

  // A click on the name column's header sorts the rows by name, case-blind, and renumbers them.
  kipotest::UiScript again;
  again.dialog(IDD_SYNCHRONIZE).click(IDOK);
  SeenDialog sorted;
  sorted.sortColumn = 0;
  EXPECT_EQ(sorted.DoModal(), IDOK);
  again.verify();
  EXPECT_EQ(sorted.rows, (std::vector<std::string>{
                             "** clash.txt | Desktop | 1 KB",
                             "+ new.txt | Desktop | 9 KB",
                             "Favorites |  | 2 KB",
                             "report.doc | Desktop | 4 KB",
                             "x gone.txt | E:\\Synchronized Computers\\ALPHA\\Desktop | 2 KB",
                         }));
  EXPECT_EQ(sorted.data, (std::vector<int>{0, 1, 2, 3, 4}));
}

// OK during the search waits for its end; OK again meanwhile only says to wait. One run starts.
TEST_F(SynchronizeDialogTest, OkDuringTheSearchWaitsForItsEnd) {
  synchronizer->plans = {{kFileOpHostToDrive, 10, u"C:\\x.txt", u"E:\\x.txt"},
                         {kFileOpHostToDrive, 10, u"C:\\y.txt", u"E:\\y.txt"}};
  SeenDialog* shown = nullptr;
  synchronizer->duringCalculation = [&](std::size_t i) {
    if (i == 0) {
      shown->PostMessage(WM_COMMAND, IDOK);
      shown->PostMessage(WM_COMMAND, IDOK);
    }
  };
  // After the search the timer starts the run; the dialog ends by itself.
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).wait(1000);
  SeenDialog dialog;
  shown = &dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ui.verify();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), "Please wait until the search has ended.");
  EXPECT_EQ(dialog.rows.size(), 1u);  // kept at the first OK, during the search
  EXPECT_EQ(login.runs.size(), 1u);
  EXPECT_EQ(synchronizer->calculations, 1);
}

// Cancel during the search: the dialog stays with the clean-up text until the calculation has
// stopped, then closes with IDCANCEL; nothing runs. A Cancel while another request is pending
// with the coordinator is kept and comes back at the run's end.
TEST_F(SynchronizeDialogTest, CancelDuringTheSearch) {
  for (bool otherPending : {false, true}) {
    SCOPED_TRACE(otherPending);
    synchronizer->plans = {{kFileOpHostToDrive, 10, u"C:\\x.txt", u"E:\\x.txt"},
                           {kFileOpHostToDrive, 10, u"C:\\y.txt", u"E:\\y.txt"},
                           {kFileOpHostToDrive, 10, u"C:\\z.txt", u"E:\\z.txt"}};
    synchronizer->calculations = 0;
    journal.clear();
    SeenDialog* shown = nullptr;
    synchronizer->duringCalculation = [&](std::size_t i) {
      if (i != 1 || synchronizer->calculations != 1) return;
      if (otherPending) doc.getSpaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr);
      shown->PostMessage(WM_COMMAND, IDCANCEL);
    };
    kipotest::UiScript ui;
    SeenDialog dialog;
    shown = &dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    EXPECT_EQ(dialog.status, "Cleaning up... Please wait.");
    EXPECT_TRUE(login.runs.empty());
    // The first calculation stopped before its third op.
    // The request that was pending runs after the dialog.
    pump();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "calculate"), otherPending ? 2 : 1);
  }
}

// The drive goes away during the search: the application cancels the dialog, and the document
// drops its snap-ins once the calculation has stopped, before the cancel comes back. The dialog
// then ends without touching them.
TEST_F(SynchronizeDialogTest, TheDriveGoesAwayDuringTheSearch) {
  synchronizer->plans = {{kFileOpHostToDrive, 10, u"C:\\x.txt", u"E:\\x.txt"},
                         {kFileOpHostToDrive, 10, u"C:\\y.txt", u"E:\\y.txt"}};
  CSynchronizeDialog2* shown = nullptr;
  synchronizer->duringCalculation = [&](std::size_t i) {
    if (i != 1) return;
    shown->SendMessage(WM_COMMAND, IDCANCEL);
    doc.getSpaceMan().stopRun([&] {
      doc.getSpaceMan().freeSynchronizers();
      doc.deleteCustomizers();
    });
  };
  kipotest::UiScript ui;
  CSynchronizeDialog2 dialog(nullptr);
  shown = &dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  EXPECT_EQ(doc.getCustomizerCount(), 0);
  EXPECT_TRUE(login.runs.empty());
}

// The space checks by the planned total against the drive (capacity 1 MB, 100 KB used): no check
// for a total of 0 or less; more than the free space refuses with a message; beyond nine tenths
// asks, and only Yes goes on; nothing to do says so and stays open.
TEST_F(SynchronizeDialogTest, SpaceChecks) {
  struct Case {
    const char* name;
    LONGLONG belowFree;  // the planned total is the free space less this (ignored with `fixed`)
    LONGLONG fixed;
    const char* box;  // the start of the box shown after OK, or null
    int answer;
    bool runs;
  };
  const Case cases[] = {
      {"only deletions", 0, -400000, nullptr, 0, true},
      {"fits", 0, 1000, nullptr, 0, true},
      {"more than free", -1, 0, "There is not enough free space on your USB device", IDOK, false},
      {"nine tenths, yes", 4096, 0, "This synchronization will fill your USB device", IDYES, true},
      {"nine tenths, no", 4096, 0, "This synchronization will fill your USB device", IDNO, false},
  };
  writeBytes(drive / "used.bin", std::string(100 * 1024, 'u'));
  setDriveCapacity(1024 * 1024);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    login.runs.clear();
    boxes.clear();
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"E:\\", &free, nullptr, nullptr));
    const LONGLONG total = c.fixed ? c.fixed : static_cast<LONGLONG>(free.QuadPart) - c.belowFree;
    synchronizer->plans = {{total < 0 ? kFileOpDeleteOnDrive : kFileOpHostToDrive, total, u"C:\\x.txt", u"E:\\x.txt"}};
    if (c.box) answers.push_back(c.answer);
    kipotest::UiScript ui;
    ui.dialog(IDD_SYNCHRONIZE).click(IDOK);
    if (!c.runs) ui.dialog(IDD_SYNCHRONIZE).click(IDCANCEL);
    SeenDialog dialog;
    EXPECT_EQ(dialog.DoModal(), c.runs ? IDOK : IDCANCEL);
    ui.verify();
    EXPECT_EQ(login.runs.size(), c.runs ? 1u : 0u);
    ASSERT_EQ(boxes.size(), c.box ? 1u : 0u) << (boxes.empty() ? "" : utf8(boxes[0].text));
    if (c.box) {
      EXPECT_EQ(utf8(boxes[0].text).rfind(c.box, 0), 0u) << utf8(boxes[0].text);
    }
  }
  synchronizer->plans.clear();
  boxes.clear();
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).click(IDOK).click(IDCANCEL);
  SeenDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), "Your USB device is up to date with this computer.");
}

// The Desktop day field: `***` stores no day limit, any other text its leading digits (none: 0);
// the Favorites choice adds or removes the Favorites record and turns the browser snap-ins on or
// off. Without an Outlook snap-in the Inbox choice and its field stay off and disabled.
TEST_F(SynchronizeDialogTest, ChoicesGoIntoThePreferences) {
  TestSnapin* cookies = new TestSnapin(journal, u"Cookies");
  doc.addCustomizer(std::unique_ptr<CCustomizer>(cookies));
  struct Case {
    const char16_t* days;
    bool dayLimit;
    DWORD stored;
  };
  const Case cases[] = {{u"***", false, 0}, {u"12", true, 12}, {u"7ab", true, 7}, {u"abc", true, 0}};
  const CString desktopWord = loadResString(IDS_FOLDER_WORD_DESKTOP);
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(CString(c.days)));
    kipotest::UiScript ui;
    ui.dialog(IDD_SYNCHRONIZE).type(IDC_SYNC_DESKTOP_DAYS, c.days).check(IDC_SYNC_IE_SETTINGS, false).click(IDCANCEL);
    SeenDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    const CFileSyncPref* desktop = nullptr;
    bool favoritesKept = false;
    for (const auto& record : files->fileSyncPrefs(self())) {
      if (record->path.CompareNoCase(desktopWord.GetString()) == 0) desktop = record.get();
      if (*record == files->getFilePrefs(self()).favoritesTemplate) favoritesKept = true;
    }
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(desktop->includeRecentFiles, c.dayLimit);
    if (c.dayLimit) {
      EXPECT_EQ(desktop->daysOld, c.stored);
    }
    EXPECT_FALSE(favoritesKept);
    EXPECT_FALSE(cookies->isSynchronized(self()));
    EXPECT_FALSE(dialog.enabled[IDC_SYNC_INBOX]);
    EXPECT_FALSE(dialog.enabled[IDC_SYNC_INBOX_DAYS]);
    EXPECT_FALSE(dialog.enabled[IDC_SYNC_INBOX_DAYS_LABEL]);
    EXPECT_TRUE(dialog.enabled[IDC_SYNC_DESKTOP_DAYS]);
    // No options dialog in this program yet: nothing more to choose.
    EXPECT_FALSE(dialog.enabled[IDC_SYNC_MORE_OPTIONS]);
    // The choices are read back as stored.
    files->setFavoritesSync(self(), true);
  }
  // Unticking the Desktop disables its day field.
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).check(IDC_SYNC_DESKTOP, false).click(IDCANCEL);
  SeenDialog dialog;
  dialog.DoModal();
  ui.verify();
  EXPECT_FALSE(dialog.enabled[IDC_SYNC_DESKTOP_DAYS]);
}

// The dialog exists once: a second one returns at once; a plain application message of value 1
// ends the open one with 32771.
class AskingTwice : public CSynchronizeDialog2 {
 public:
  AskingTwice() : CSynchronizeDialog2(nullptr) {}
  BOOL OnInitDialog() override {
    BOOL result = CSynchronizeDialog2::OnInitDialog();
    CSynchronizeDialog2 second(nullptr);
    nested = static_cast<int>(second.DoModal());
    auto* end = new CAppMessage();
    end->value = 1;
    documentHostServices().postAppMessage(end);
    return result;
  }
  int nested = 0;
};

TEST_F(SynchronizeDialogTest, OnceAndEndedByTheApplication) {
  kipotest::UiScript ui;
  AskingTwice dialog;
  EXPECT_EQ(dialog.DoModal(), kDialogEndedByApplication);
  ui.verify();
  EXPECT_EQ(dialog.nested, IDCANCEL);
  EXPECT_EQ(CSynchronizeDialog2::active(), nullptr);
}

// A run of this computer that was cut off left its marker, which refuses every login until a
// run completes: when the drive is found up to date, OK still runs the (empty) run instead of
// only saying so, so that the marker can go.
TEST_F(SynchronizeDialogTest, AnUpToDateDriveStillRunsWhenAnEarlierRunWasCutOff) {
  ASSERT_NE(self(), nullptr);
  const CString marker = CCustomizerDoc::getSyncMarkerPath(*self());
  CreateDirectoryW(u"E:\\Synchronized Computers", nullptr);
  HANDLE file = CreateFileW(marker.GetString(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << utf8(marker);
  CloseHandle(file);
  synchronizer->plans.clear();
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).click(IDOK);
  SeenDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ui.verify();
  EXPECT_TRUE(boxes.empty()) << utf8(boxes[0].text);
  EXPECT_EQ(login.runs.size(), 1u);
}

// An interrupted last run is told before anything else.
TEST_F(SynchronizeDialogTest, AnInterruptedRunIsTold) {
  CRegistry(CString(kLocalPrefsKey), true, true).setBool(kSyncInProgressValue, true);
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).click(IDCANCEL);
  CSynchronizeDialog2 dialog(nullptr);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(utf8(boxes[0].text), "Kipo was interrupted during the last synchronization.");
}

// A computer not named yet is asked for its nickname before the first search: refusing closes the
// synchronize dialog without a search; a name given is kept and the search goes on.
TEST_F(SynchronizeDialogTest, TheNicknameComesFirst) {
  const auto nicknameSet = [] {
    bool set = false;
    return openThisComputerPrefs().getBool(u"nicknameSet", set) && set;
  };
  openThisComputerPrefs().deleteValue(u"nicknameSet");
  synchronizer->plans = {{kFileOpHostToDrive, 10, u"C:\\x.txt", u"E:\\x.txt"}};
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_NICKNAME).click(IDCANCEL);
    CSynchronizeDialog2 dialog(nullptr);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    pump();
    EXPECT_EQ(synchronizer->calculations, 0);
    EXPECT_FALSE(nicknameSet());
    EXPECT_EQ(CSynchronizeDialog2::active(), nullptr);
  }
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_NICKNAME).type(IDC_NICKNAME_EDIT, u"Desk").click(IDOK).dialog(IDD_SYNCHRONIZE).click(IDCANCEL);
    SeenDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    EXPECT_TRUE(nicknameSet());
    EXPECT_EQ(utf8(self()->m_nickname), "Desk");
    EXPECT_EQ(synchronizer->calculations, 1);
  }
  // The program closing (or the drive going) while the question is open ends both.
  openThisComputerPrefs().deleteValue(u"nicknameSet");
  {
    auto* end = new CAppMessage();
    end->value = 1;
    documentHostServices().postAppMessage(end);
    CSynchronizeDialog2 dialog(nullptr);
    EXPECT_EQ(dialog.DoModal(), kDialogEndedByApplication);
    EXPECT_FALSE(nicknameSet());
    EXPECT_EQ(synchronizer->calculations, 1);
  }
  openThisComputerPrefs().setBool(u"nicknameSet", true);
  // Named once, never asked again.
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).click(IDCANCEL);
  CSynchronizeDialog2 dialog(nullptr);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
}

// Item ops of the mail synchronizer: a mark by kind, the subject, the folder of the target item
// (else of the source), the size by kind; copies to this computer and moves leave the total alone,
// a delete takes the target's size off. Kinds 3 and 6 have no row.
TEST_F(SynchronizeDialogTest, TheRowsOfItemOps) {
  std::vector<std::unique_ptr<COutlookItem>> items;
  const auto item = [&](const char16_t* subject, ULONG size, const char16_t* folder) {
    items.push_back(std::make_unique<COutlookItem>());
    items.back()->subject = subject;
    items.back()->size = size;
    items.back()->parentFolderName = folder;
    return items.back().get();
  };
  COutlookItem* hostMail = item(u"Budget", 5000, u"Inbox");
  COutlookItem* driveMail = item(u"Budget v2", 3000, u"Drive Inbox");
  COutlookItem* lone = item(u"Lunch", 2048, u"Sent Items");
  synchronizer->plans.clear();
  synchronizer->moreOps = [&](CSpaceRecord* record) {
    const struct {
      DWORD kind;
      COutlookItem* a;
      COutlookItem* b;
    } ops[] = {
        {kItemOpSourceToTarget, lone, nullptr},    {kItemOpTargetToSource, hostMail, driveMail},
        {kItemOpDeleteTarget, nullptr, driveMail}, {kItemOpConflict, hostMail, driveMail},
        {kItemOpTargetMoved, hostMail, driveMail}, {kItemOpSourceMoved, hostMail, driveMail},
        {kItemOpNone, hostMail, driveMail},        {6, hostMail, driveMail},
    };
    for (const auto& op : ops)
      record->addSyncOp(std::make_unique<CItemSyncOp>(op.kind, nullptr, 0, op.a, op.b, nullptr, 0));
  };
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).click(IDCANCEL);
  SeenDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  EXPECT_EQ(dialog.rows, (std::vector<std::string>{
                             "Lunch | Sent Items | 2 KB",
                             "+ Budget v2 | Drive Inbox | 2 KB",
                             "x Budget v2 | Drive Inbox | 2 KB",
                             "** Budget | Drive Inbox | 4 KB",
                             "-> Budget v2 | Drive Inbox | 4 KB",
                             "<- Budget | Drive Inbox | 2 KB",
                         }));
  EXPECT_EQ(dialog.total, 2048 - 3000 + 5000);
}

// With a supported Outlook the Inbox record shows in the Inbox choice and its day field, and the
// field's text goes back into the record: `***` no day window, digits a window of that many days;
// unticking the Inbox stops its synchronization.
TEST_F(SynchronizeDialogTest, TheInboxChoiceFollowsTheOutlookRecord) {
  ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", "2003"}), 0);
  auto mailSnapin = std::make_unique<COutlookCustomizer>();
  COutlookCustomizer* mail = mailSnapin.get();
  doc.addCustomizer(std::move(mailSnapin));
  ASSERT_TRUE(mail->isSupportedOutlookVersion());
  mail->setInboxSyncDays(self(), true, 7);
  const auto inbox = [&]() -> const COutlookFolderSyncPref* {
    for (const auto& record : mail->folderSyncPrefs(self()))
      if (record->itemPath == LoadResStringOutlook(IDS_OUTLOOK_INBOX)) return record.get();
    return nullptr;
  };
  ASSERT_NE(inbox(), nullptr);
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_SYNCHRONIZE).click(IDCANCEL);
    SeenDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    EXPECT_TRUE(dialog.enabled[IDC_SYNC_INBOX]);
    EXPECT_TRUE(dialog.enabled[IDC_SYNC_INBOX_DAYS]);
    EXPECT_EQ(utf8(dialog.m_inboxDays), "7");
  }
  const struct {
    const char16_t* days;
    bool recent;
    DWORD stored;
  } cases[] = {{u"***", false, 0}, {u"12", true, 12}};
  for (const auto& c : cases) {
    kipotest::UiScript ui;
    ui.dialog(IDD_SYNCHRONIZE).type(IDC_SYNC_INBOX_DAYS, c.days).click(IDCANCEL);
    SeenDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ui.verify();
    ASSERT_NE(inbox(), nullptr);
    EXPECT_TRUE(inbox()->synchronize);
    EXPECT_EQ(inbox()->includeRecentItems, c.recent);
    if (c.recent) {
      EXPECT_EQ(inbox()->daysOld, c.stored);
    }
  }
  kipotest::UiScript ui;
  ui.dialog(IDD_SYNCHRONIZE).check(IDC_SYNC_INBOX, false).click(IDCANCEL);
  SeenDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  ASSERT_NE(inbox(), nullptr);
  EXPECT_FALSE(inbox()->synchronize);
}

}  // namespace
