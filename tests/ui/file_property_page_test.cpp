// The page of files driven as a user would: the listed items (never Favorites) and their records
// found by identity, the details of a file and of a folder, one file type per record as stored,
// the checks of an item to add, and removing.
#include "ui/file_property_page.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/preference_file.h"
#include "app/registry.h"
#include "app/shortcut.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "tests/support/ui_script.h"
#include "tests/ui/options_fixture.h"
#include "ui/options_dialog.h"

namespace {

using optionstest::OptionsTest;
namespace fs = std::filesystem;

class FilePropertyPageTest : public OptionsTest {
 protected:
  FilePropertyPageTest() {
    fs::create_directories(host.c("Data"));
    writeBytes(host.c("notes.txt"), "notes");
    CFileSyncPrefList& records = files().fileSyncPrefs(self());
    // Desktop, Favorites (hidden), My Documents, then a folder and a file.
    records.push_back(std::make_unique<CFileSyncPref>(CString(u"C:\\Data")));
    records.push_back(std::make_unique<CFileSyncPref>(CString(u"C:\\notes.txt")));
  }

  // Runs the options on the page of files: `steps` act on it, then `look` runs while the dialog
  // is up (through the general page's set-up button), then `end` is pressed.
  INT_PTR run(const std::function<void(platform::ui::Script&)>& steps, const std::function<void(CFilePropertyPage&)>& look,
              int end = IDOK) {
    COptionsDialog dialog(&doc, 1, nullptr);
    auto* filePage = dynamic_cast<CFilePropertyPage*>(dialog.filePage());
    EXPECT_NE(filePage, nullptr);
    optionsHost.onSetup = [&] {
      if (look && filePage) look(*filePage);
    };
    kipotest::UiScript ui;
    platform::ui::Script& on = ui.dialog(IDD_OPTIONS);
    if (steps) steps(on);
    on.select(AFX_IDC_TAB_CONTROL, 0).click(IDC_GENERAL_COMPUTER_USED).click(end);
    const INT_PTR result = dialog.DoModal();
    ui.verify();
    optionsHost.onSetup = nullptr;
    return result;
  }
  static std::vector<int> marks(CFilePropertyPage& page) {
    std::vector<int> out;
    for (int i = 0; i < page.m_types.GetCount(); ++i) out.push_back(page.m_types.GetCheck(i));
    return out;
  }
  CFileSyncPref& record(int index) { return *files().fileSyncPrefs(self())[static_cast<std::size_t>(index)]; }
  CString storedLabel(int index) {
    CString key;
    key.Format(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Files\\FileSyncPref%d",
               index);
    ULONGLONG number = 0;
    CRegistry(key).getUInt64(u"fileTypes", number);
    CString text;
    text.Format(u"%d", static_cast<int>(number));
    return text;
  }
};

TEST_F(FilePropertyPageTest, FavoritesIsNeverListedAndRowsReachTheirOwnRecords) {
  std::vector<CString> listed;
  // Row 2 is "C:\\Data", the fourth record: Favorites sits between the rows and the records.
  EXPECT_EQ(run([](platform::ui::Script& on) { on.toggle(IDC_FILES_ITEMS, 2); },
                [&](CFilePropertyPage& page) {
                  for (int i = 0; i < page.m_items.GetCount(); ++i) {
                    CString text;
                    page.m_items.GetText(i, text);
                    listed.push_back(text);
                  }
                }),
            IDOK);
  EXPECT_EQ(listed, (std::vector<CString>{CFolderLookup::getDesktopName(), CFolderLookup::getMyDocumentsName(),
                                          CString(u"C:\\Data"), CString(u"C:\\notes.txt")}));
  EXPECT_FALSE(record(3).synchronize) << "C:\\Data";
  EXPECT_TRUE(record(1).synchronize) << "Favorites untouched";
  EXPECT_TRUE(record(2).synchronize) << "My Documents untouched";
  EXPECT_TRUE(record(4).synchronize) << "the file untouched";
}

// Choosing a type: each step is a click on one entry's check box; the marks afterwards and the
// label id stored for the record.
TEST_F(FilePropertyPageTest, OneFileTypePerRecordAsStored) {
  struct Step {
    const char* name;
    int entry;
    std::vector<int> marks;
    const char16_t* stored;
  };
  const std::vector<Step> steps = {
      {"audio after all files: only audio", 3, {0, 0, 0, 1, 0}, u"398"},
      {"office after audio: only office (two would store one id)", 1, {0, 1, 0, 0, 0}, u"695"},
      {"clearing the last mark checks all files", 1, {1, 0, 0, 0, 0}, u"380"},
      {"pictures after all files: only pictures", 4, {0, 0, 0, 0, 1}, u"600"},
      {"all files after pictures", 0, {1, 0, 0, 0, 0}, u"380"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    std::vector<int> seen;
    // Row 2 is the folder "C:\Data" (record 3).
    EXPECT_EQ(run([&](platform::ui::Script& on) { on.select(IDC_FILES_ITEMS, 2).toggle(IDC_FILES_TYPES, step.entry); },
                  [&](CFilePropertyPage& page) { seen = marks(page); }),
              IDOK);
    EXPECT_EQ(seen, step.marks);
    EXPECT_EQ(storedLabel(3), CString(step.stored));
    // A fresh page shows the stored label as its one mark.
    std::vector<int> shown;
    run([](platform::ui::Script& on) { on.select(IDC_FILES_ITEMS, 2); }, [&](CFilePropertyPage& page) { shown = marks(page); },
        IDCANCEL);
    EXPECT_EQ(shown, step.marks);
  }
}

TEST_F(FilePropertyPageTest, AFileHasNoFolderDetailsAndTheDesktopHasThem) {
  struct Case {
    const char* name;
    int row;
    bool detailsEnabled;
  };
  const Case cases[] = {{"the desktop", 0, true}, {"a folder", 2, true}, {"a single file", 3, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kipotest::UiScript ui;
    ui.dialog(IDD_OPTIONS).select(IDC_FILES_ITEMS, c.row).check(IDC_FILES_SUBFOLDERS, false).click(IDOK);
    COptionsDialog dialog(&doc, 1, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    const std::vector<std::string> failures = ui.failures();
    ui.acceptFailures();
    if (c.detailsEnabled) {
      EXPECT_TRUE(failures.empty());
    } else {
      ASSERT_EQ(failures.size(), 1u);
      EXPECT_NE(failures[0].find("disabled"), std::string::npos) << failures[0];
    }
  }
  EXPECT_FALSE(record(0).recursive) << "the desktop's subfolder box was cleared";
  EXPECT_FALSE(record(3).recursive) << "the folder's subfolder box was cleared";
  EXPECT_TRUE(record(4).recursive) << "the file's box could not be reached";
}

TEST_F(FilePropertyPageTest, RecentFilesRadioAndDays) {
  kipotest::UiScript ui;
  ui.dialog(IDD_OPTIONS).select(IDC_FILES_ITEMS, 2).click(IDC_FILES_RECENT_ONLY).type(IDC_FILES_DAYS, u"14").click(IDOK);
  COptionsDialog dialog(&doc, 1, nullptr);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ui.verify();
  EXPECT_TRUE(record(3).includeRecentFiles);
  EXPECT_EQ(record(3).daysOld, 14u);
  EXPECT_FALSE(record(0).includeRecentFiles) << "only the selected record changes";
}

// The checks of an item to add, called as every way of adding calls them.
TEST_F(FilePropertyPageTest, AddingRefusesWhatCannotBeCarried) {
  fs::create_directories(host.c("Big"));
  for (int i = 0; i < 999; ++i) writeBytes(host.c("Big") / ("f" + std::to_string(i)), "");
  fs::create_directories(host.c("Small"));
  writeBytes(host.c("Small/one.txt"), "1");
  struct Case {
    const char* name;
    const char16_t* display;
    const char16_t* path;
    bool added;
    UINT box;
  };
  std::vector<Case> cases = {
      {"empty name", u"", u"C:\\Small", false, IDS_FILES_EMPTY_NAME},
      {"listed already", u"C:\\Data", u"C:\\Data", false, IDS_FILES_ALREADY_LISTED},
      {"on the drive", u"E:\\Synchronized Computers", u"E:\\Synchronized Computers", false, IDS_FILES_ON_DEVICE},
      {"999 files: no warning", u"C:\\Big", u"C:\\Big", true, 0},
      {"inside a listed folder: added with a note", u"C:\\Data\\Sub", u"C:\\Data\\Sub", true, IDS_FILES_OVERLAPS},
  };
  fs::create_directories(host.c("Data/Sub"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    bool added = false;
    run(nullptr, [&](CFilePropertyPage& page) { added = page.addItem(CString(c.display), CString(c.path)); });
    EXPECT_EQ(added, c.added);
    EXPECT_EQ(boxIds({c.box}), c.box ? std::vector<UINT>{c.box} : std::vector<UINT>{});
  }
  EXPECT_TRUE(optionsHost.largeFolders.empty());
}

TEST_F(FilePropertyPageTest, AFolderOfAThousandFilesAsksFirstUnlessLargeFoldersAreOk) {
  fs::create_directories(host.c("Big"));
  for (int i = 0; i < 1000; ++i) writeBytes(host.c("Big") / ("f" + std::to_string(i)), "");
  struct Case {
    const char* name;
    bool largeFoldersOk;
    int answer;
    bool asked, added;
  };
  const Case cases[] = {
      {"asked, refused", false, IDCANCEL, true, false},
      {"asked, accepted", false, IDOK, true, true},
      {"large folders are ok: not asked", true, IDCANCEL, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CPreferenceFile& store = getDevicePrefs();
    store.openRoot();
    store.setBool(u"largeFoldersOk", c.largeFoldersOk);
    optionsHost.largeFolders.clear();
    optionsHost.largeFolderAnswer = c.answer;
    bool added = false;
    run(nullptr, [&](CFilePropertyPage& page) { added = page.addItem(u"C:\\Big", u"C:\\Big"); }, IDCANCEL);
    EXPECT_EQ(optionsHost.largeFolders.size(), c.asked ? 1u : 0u);
    EXPECT_EQ(added, c.added);
  }
}

TEST_F(FilePropertyPageTest, AShortcutToAFolderIsRefusedAndOneToAFileIsAdded) {
  writeBytes(host.c("report.doc"), "x");
  {
    CShortcut folderLink(CString(u"C:\\Data.lnk"));
    ASSERT_TRUE(folderLink.setTargetPath(CString(u"C:\\Data")));
    CShortcut fileLink(CString(u"C:\\report.lnk"));
    ASSERT_TRUE(fileLink.setTargetPath(CString(u"C:\\report.doc")));
  }
  bool folderAdded = true, fileAdded = false;
  run(nullptr,
      [&](CFilePropertyPage& page) {
        folderAdded = page.addItem(u"C:\\Data.lnk", u"C:\\Data.lnk");
        fileAdded = page.addItem(u"C:\\report.lnk", u"C:\\report.lnk");
      },
      IDOK);
  EXPECT_FALSE(folderAdded);
  EXPECT_TRUE(fileAdded);
  EXPECT_EQ(boxIds({IDS_FILES_FOLDER_SHORTCUT}), std::vector<UINT>{IDS_FILES_FOLDER_SHORTCUT});
  EXPECT_EQ(files().fileSyncPrefs(self()).back()->path, CString(u"C:\\report.lnk"));
}

// Removing the selected row removes its own record (Favorites stays), selects the row now at that
// place, and Cancel brings the record back.
TEST_F(FilePropertyPageTest, RemoveTakesTheSelectedRecordAndCancelBringsItBack) {
  ASSERT_TRUE(files().savePrefs(self()));
  int selectedAfter = -1;
  CString shownAfter;
  run([](platform::ui::Script& on) { on.select(IDC_FILES_ITEMS, 2).click(IDC_FILES_REMOVE); },
      [&](CFilePropertyPage& page) {
        selectedAfter = page.m_items.GetCurSel();
        shownAfter = page.m_shownName;
      },
      IDCANCEL);
  EXPECT_EQ(selectedAfter, 2);
  EXPECT_EQ(shownAfter, CString(u"C:\\notes.txt"));
  ASSERT_EQ(files().fileSyncPrefs(self()).size(), 5u) << "Cancel reloaded the stored records";

  run([](platform::ui::Script& on) { on.select(IDC_FILES_ITEMS, 2).click(IDC_FILES_REMOVE); }, nullptr, IDOK);
  const CFileSyncPrefList& left = files().fileSyncPrefs(self());
  ASSERT_EQ(left.size(), 4u);
  for (const auto& r : left) EXPECT_NE(r->path, CString(u"C:\\Data"));
  EXPECT_EQ(left[1]->path, CString(u"Favorites"));
}

// Files and folders dropped on the page are added as items; the source keeps its files.
TEST_F(FilePropertyPageTest, DroppedFilesAreAddedAndStayWhereTheyAre) {
  writeBytes(host.c("dropped.txt"), "x");
  fs::create_directories(host.c("Photos"));
  platform::dragdrop::DropResult result;
  run(nullptr,
      [&](CFilePropertyPage& page) {
        result = platform::dragdrop::dropFiles(page.m_hWnd, {u"C:\\dropped.txt", u"C:\\Photos"});
      },
      IDOK);
  EXPECT_EQ(result.kind, platform::dragdrop::DropKind::OleTarget);
  EXPECT_TRUE(result.dropped);
  EXPECT_EQ(result.effect, static_cast<DWORD>(DROPEFFECT_NONE));
  const CFileSyncPrefList& records = files().fileSyncPrefs(self());
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[5]->path, CString(u"C:\\dropped.txt"));
  EXPECT_EQ(records[6]->path, CString(u"C:\\Photos"));
  EXPECT_TRUE(fs::exists(host.c("dropped.txt")));
}

}  // namespace
