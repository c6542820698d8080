// The Outlook page of the options driven as a user would, on a store made by `kipo-host mapi
// make`: special folders added once each (a calendar taken from the device on conflicts, a
// top-level "Sent Items" with its own label), folders added from the folder tree (a subfolder of a
// listed one with the overlap notice, the root refused), removing down to nothing, the edits of
// the selected folder, the three refusals to open the page, and adding on another computer.
#include "ui/outlook_property_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/registry.h"
#include "lang/ids.h"
#include "outlook/outlook_customizer.h"
#include "outlook/outlook_install.h"
#include "platform/win32/win32.h"
#include "snapins/factory_context.h"
#include "tests/support/ui_script.h"
#include "tests/ui/mapi_store_fixture.h"
#include "ui/options_dialog.h"

namespace {

using outlookpagetest::MapiStoreTest;
using Script = platform::ui::Script;

constexpr int kOutlookTab = 2;

// A document with the file snap-in and the Outlook snap-in, made as the factory makes them.
class OutlookDoc : public CCustomizerDoc {
 protected:
  void makeCustomizers() override {
    const CFactoryDocumentScope factory(this);
    addCustomizer(std::make_unique<CFileCustomizer>(&getSpaceMan()));
    addCustomizer(std::make_unique<COutlookCustomizer>());
  }
};

class OutlookPropertyPageTest : public MapiStoreTest {
 protected:
  OutlookPropertyPageTest() {
    outlookDoc.createCustomizers();
    outlookDoc.getSpaceMan().buildSpaceRecords();
    optionsHost.doc = &outlookDoc;
  }
  ~OutlookPropertyPageTest() override {
    optionsHost.doc = &doc;
    outlookDoc.deleteCustomizers();
  }

  COutlookCustomizer& outlook() {
    return *dynamic_cast<COutlookCustomizer*>(outlookDoc.findCustomizer(kOutlookCustomizerName));
  }
  COutlookFolderSyncPrefList& records() { return outlook().folderSyncPrefs(self()); }
  void addRecord(const char16_t* path, const char16_t* id) {
    records().push_back(std::make_unique<COutlookFolderSyncPref>(CString(path), CString(id)));
  }

  // Runs the options on the Outlook page: `steps` act on it (the options dialog matched), then
  // `look` runs while the dialog is up (through the general page's set-up button), then `end`.
  INT_PTR run(const std::function<void(Script&)>& steps, const std::function<void(COutlookPropertyPage&)>& look,
              int end = IDOK) {
    COptionsDialog dialog(&outlookDoc, 0, nullptr);
    auto* page = dynamic_cast<COutlookPropertyPage*>(dialog.outlookPage());
    EXPECT_NE(page, nullptr);
    optionsHost.onSetup = [&] {
      if (look && page) look(*page);
    };
    kipotest::UiScript ui;
    ui.dialog(IDD_OPTIONS).select(AFX_IDC_TAB_CONTROL, kOutlookTab);
    if (steps) steps(ui);
    ui.dialog(IDD_OPTIONS).select(AFX_IDC_TAB_CONTROL, 0).click(IDC_GENERAL_COMPUTER_USED).click(end);
    const INT_PTR result = dialog.DoModal();
    ui.verify();
    optionsHost.onSetup = nullptr;
    return result;
  }

  static std::vector<std::string> entries(COutlookPropertyPage& page) {
    std::vector<std::string> out;
    for (int i = 0; i < page.m_folders.GetCount(); ++i) {
      CString text;
      page.m_folders.GetText(i, text);
      out.push_back(utf8(text));
    }
    return out;
  }
  // The records' paths in the order of the snap-in's list (newlines shown as "\").
  std::vector<std::string> recordPaths() {
    std::vector<std::string> out;
    for (const auto& r : records()) {
      std::string path = utf8(r->itemPath);
      for (char& c : path)
        if (c == '\n') c = '\\';
      out.push_back(path);
    }
    return out;
  }
  static bool checked(COutlookPropertyPage& page, int id) { return page.IsDlgButtonChecked(id) == BST_CHECKED; }
  static std::string textOf(COutlookPropertyPage& page, int id) {
    CString text;
    page.GetDlgItemText(id, text);
    return utf8(text);
  }
  std::vector<UINT> shownIds() const {
    return boxIds({IDS_FILES_OVERLAPS, IDS_SELECT_MAPI_FOLDER_NO_ROOT, IDS_FILES_OTHER_COMPUTER,
                   IDS_OUTLOOK_UNSUPPORTED_VERSION, IDS_OUTLOOK_NOT_CONFIGURED, IDS_OUTLOOK_NO_DEFAULT_STORE,
                   IDS_OUTLOOK_NOT_REMOVED});
  }

  OutlookDoc outlookDoc;
};

TEST_F(OutlookPropertyPageTest, SpecialFoldersAreAddedOnceEachWithTheirOwnSettings) {
  std::vector<std::string> listed;
  bool calendarFromDevice = false, calendarOthersClear = false;
  std::string sentLabel, inboxLabel;
  EXPECT_EQ(run(
                [](Script& on) {
                  on.click(IDC_OUTLOOK_ADD_INBOX)
                      .click(IDC_OUTLOOK_ADD_INBOX)
                      .click(IDC_OUTLOOK_ADD_CALENDAR)
                      .click(IDC_OUTLOOK_ADD_SENT_ITEMS);
                },
                [&](COutlookPropertyPage& page) {
                  listed = entries(page);
                  // The sent folder was added last and is the one selected.
                  sentLabel = textOf(page, IDC_OUTLOOK_RECENT_ONLY);
                  page.m_folders.SetCurSel(1);
                  page.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_OUTLOOK_FOLDERS, LBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(page.m_folders.m_hWnd));
                  inboxLabel = textOf(page, IDC_OUTLOOK_RECENT_ONLY);
                  page.m_folders.SetCurSel(0);
                  page.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_OUTLOOK_FOLDERS, LBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(page.m_folders.m_hWnd));
                  calendarFromDevice = checked(page, IDC_OUTLOOK_DEVICE_WINS);
                  calendarOthersClear = !checked(page, IDC_OUTLOOK_COMPUTER_WINS) && !checked(page, IDC_OUTLOOK_KEEP_BOTH);
                }),
            IDOK);
  EXPECT_EQ(listed, (std::vector<std::string>{"Calendar", "Inbox", "Sent Items"}));
  // The records stand in the list's order.
  EXPECT_EQ(recordPaths(), listed);
  ASSERT_EQ(records().size(), 3u);
  EXPECT_EQ(records()[0]->conflictResolution, COutlookFolderSyncPref::kTargetWins);
  EXPECT_EQ(records()[1]->conflictResolution, COutlookFolderSyncPref::kKeepBoth);
  EXPECT_TRUE(calendarFromDevice);
  EXPECT_TRUE(calendarOthersClear);
  EXPECT_EQ(sentLabel, utf8(loadResString(IDS_OUTLOOK_RECENT_SENT)));
  EXPECT_EQ(inboxLabel, utf8(loadResString(IDS_OUTLOOK_RECENT_MESSAGES)));
  for (const auto& r : records()) EXPECT_FALSE(r->folderId.IsEmpty()) << utf8(r->itemPath);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(OutlookPropertyPageTest, FoldersFromTheTreeASubfolderWithTheNoticeAndNeverTheRoot) {
  std::vector<std::string> listed;
  EXPECT_EQ(run(
                [](Script& on) {
                  on.click(IDC_OUTLOOK_ADD_FOLDERS);
                  on.dialog(IDD_SELECT_MAPI_FOLDER)
                      .selectTreeItem(IDC_SELECT_MAPI_FOLDER_TREE, u"Outlook\\Inbox")
                      .click(IDOK);
                  on.dialog(IDD_OPTIONS).click(IDC_OUTLOOK_ADD_FOLDERS);
                  on.dialog(IDD_SELECT_MAPI_FOLDER)
                      .selectTreeItem(IDC_SELECT_MAPI_FOLDER_TREE, u"Outlook\\Inbox\\Projects")
                      .click(IDOK);
                  // The root is refused and the tree stays up for another choice.
                  on.dialog(IDD_OPTIONS).click(IDC_OUTLOOK_ADD_FOLDERS);
                  on.dialog(IDD_SELECT_MAPI_FOLDER)
                      .selectTreeItem(IDC_SELECT_MAPI_FOLDER_TREE, u"Outlook")
                      .click(IDOK)
                      .click(IDCANCEL);
                  // The Inbox by its button is the folder already listed.
                  on.dialog(IDD_OPTIONS).click(IDC_OUTLOOK_ADD_INBOX);
                },
                [&](COutlookPropertyPage& page) { listed = entries(page); }),
            IDOK);
  EXPECT_EQ(listed, (std::vector<std::string>{"Inbox", "Inbox\\Projects"}));
  EXPECT_EQ(recordPaths(), listed);
  EXPECT_EQ(shownIds(), (std::vector<UINT>{IDS_FILES_OVERLAPS, IDS_SELECT_MAPI_FOLDER_NO_ROOT}));
}

TEST_F(OutlookPropertyPageTest, RemovingTheLastAndThenTheOnlyFolder) {
  addRecord(u"Alpha", u"0A");
  addRecord(u"Beta", u"0B");
  addRecord(u"Gamma", u"0C");
  int selection = -2;
  std::string shown;
  run([](Script& on) { on.select(IDC_OUTLOOK_FOLDERS, 2).click(IDC_OUTLOOK_REMOVE); },
      [&](COutlookPropertyPage& page) {
        selection = page.m_folders.GetCurSel();
        shown = utf8(page.m_shownPath);
      });
  EXPECT_EQ(selection, 1);
  EXPECT_EQ(shown, "Beta");
  EXPECT_EQ(recordPaths(), (std::vector<std::string>{"Alpha", "Beta"}));

  records().erase(records().begin());
  std::string days;
  run([](Script& on) { on.click(IDC_OUTLOOK_REMOVE); },
      [&](COutlookPropertyPage& page) {
        selection = page.m_folders.GetCurSel();
        shown = utf8(page.m_shownPath);
        days = textOf(page, IDC_OUTLOOK_DAYS);
      });
  // Nothing is left to show: the controls keep the removed folder's values.
  EXPECT_EQ(selection, LB_ERR);
  EXPECT_EQ(shown, "Beta");
  EXPECT_EQ(days, "30");
  EXPECT_TRUE(records().empty());
  EXPECT_TRUE(shownIds().empty());
}

TEST_F(OutlookPropertyPageTest, EditsReachTheSelectedRecord) {
  addRecord(u"Inbox", u"0A");
  addRecord(u"Journal", u"0B");
  std::string label;
  EXPECT_EQ(run(
                [](Script& on) {
                  on.select(IDC_OUTLOOK_FOLDERS, 1)
                      .check(IDC_OUTLOOK_SUBFOLDERS, false)
                      .click(IDC_OUTLOOK_RECENT_ONLY)
                      .type(IDC_OUTLOOK_DAYS, u"12")
                      .check(IDC_OUTLOOK_SIZE_LIMIT, true)
                      .type(IDC_OUTLOOK_SIZE, u"250")
                      .click(IDC_OUTLOOK_COMPUTER_WINS)
                      .toggle(IDC_OUTLOOK_FOLDERS, 1);
                },
                [&](COutlookPropertyPage& page) { label = textOf(page, IDC_OUTLOOK_RECENT_ONLY); }),
            IDOK);
  const COutlookFolderSyncPref& journal = *records()[1];
  EXPECT_FALSE(journal.recursive);
  EXPECT_TRUE(journal.includeRecentItems);
  EXPECT_EQ(journal.daysOld, 12u);
  EXPECT_TRUE(journal.limitAttachmentSize);
  EXPECT_EQ(journal.maxAttachmentSizeKb, 250u);
  EXPECT_EQ(journal.conflictResolution, COutlookFolderSyncPref::kSourceWins);
  EXPECT_FALSE(journal.synchronize);
  EXPECT_EQ(label, utf8(loadResString(IDS_OUTLOOK_RECENT_JOURNAL)));
  // The other folder kept its defaults.
  EXPECT_EQ(*records()[0], COutlookFolderSyncPref(CString(u"Inbox")));
}

TEST_F(OutlookPropertyPageTest, ThePageOpensOnlyWhenOutlookIsUsable) {
  struct Case {
    const char* name;
    std::function<void()> spoil;
    UINT message;
  };
  // Each spoils what the checks before it look at no more, so the spoils add up in this order.
  const Case cases[] = {
      {"the default store's file is gone", [this] { std::filesystem::remove(host.c("Outlook.pst")); },
       IDS_OUTLOOK_NO_DEFAULT_STORE},
      {"no MAPI profile at all", [] { CRegistry(getOutlookProfilesRegkey(), false, true).deleteKey(); },
       IDS_OUTLOOK_NOT_CONFIGURED},
      {"an Outlook the product does not carry",
       [] {
         CRegistry(CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Outlook.Application\\CurVer"), true, true)
             .setString(u"", CString(u"Outlook.Application.8"));
       },
       IDS_OUTLOOK_UNSUPPORTED_VERSION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.spoil();
    boxes.clear();
    COptionsDialog dialog(&outlookDoc, 0, nullptr);
    // The general page stays: its button is there to press right after the Outlook tab was picked.
    int active = -1;
    optionsHost.onSetup = [&] { active = dialog.sheet().GetActiveIndex(); };
    kipotest::UiScript ui;
    ui.dialog(IDD_OPTIONS).select(AFX_IDC_TAB_CONTROL, kOutlookTab).click(IDC_GENERAL_COMPUTER_USED).click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    ui.verify();
    optionsHost.onSetup = nullptr;
    EXPECT_EQ(active, 0);
    EXPECT_EQ(shownIds(), std::vector<UINT>{c.message});
  }
}

TEST_F(OutlookPropertyPageTest, AddingFoldersOnAnotherComputersProfileIsRefused) {
  CSystemProfile* alpha = self();
  const CString name = alpha->m_computerName;
  COptionsDialog dialog(&outlookDoc, 0, nullptr);
  // While the options are up, this computer stops being the page's computer.
  optionsHost.onSetup = [&] { alpha->m_computerName = u"BRAVO"; };
  kipotest::UiScript ui;
  ui.dialog(IDD_OPTIONS)
      .select(AFX_IDC_TAB_CONTROL, kOutlookTab)
      .select(AFX_IDC_TAB_CONTROL, 0)
      .click(IDC_GENERAL_COMPUTER_USED)
      .select(AFX_IDC_TAB_CONTROL, kOutlookTab)
      .click(IDC_OUTLOOK_ADD_FOLDERS)
      .click(IDCANCEL);
  dialog.DoModal();
  ui.verify();
  alpha->m_computerName = name;
  optionsHost.onSetup = nullptr;
  EXPECT_EQ(shownIds(), std::vector<UINT>{IDS_FILES_OTHER_COMPUTER});
  EXPECT_TRUE(records().empty());
}

}  // namespace
