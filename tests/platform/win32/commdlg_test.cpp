// The common file dialogs and the folder browser answered as a user would, through the UI driver:
// typed names and paths, list picks, the checks of OFN_FILEMUSTEXIST and OFN_OVERWRITEPROMPT with
// their boxes, several files at once, the buffer rules of the result, and the folder tree.
#include "platform/win32/commdlg.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/file.h"
#include "platform/win32/shell_browse.h"
#include "tests/platform/win32/window_fixture.h"
#include "tests/support/ui_script.h"

namespace {

using namespace wintest;
using platform::commdlg::kFileListId;
using platform::commdlg::kFileNameId;
using platform::commdlg::kFileTypeId;

constexpr const char16_t* kAllFiles = u"All Files (*.*)\0*.*\0Text (*.txt)\0*.txt;*.log\0";

class CommonDialogTest : public WindowFixture {
 protected:
  CommonDialogTest() {
    host_.write("Docs/a.txt", "a");
    host_.write("Docs/b.log", "b");
    host_.write("Docs/c.doc", "c");
    host_.write("Docs/Sub/d.txt", "d");
    std::memset(file_, 0, sizeof file_);
    ofn_.lStructSize = sizeof ofn_;
    ofn_.lpstrFilter = kAllFiles;
    ofn_.lpstrFile = file_;
    ofn_.nMaxFile = MAX_PATH;
    ofn_.lpstrInitialDir = u"C:\\Docs";
    ofn_.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  }

  std::string chosen() const { return platform::text::toUtf8(file_); }

  // The texts of the dialog's file list, read while it is up (from a script step's window).
  static std::vector<std::u16string> listOf(HWND dlg) {
    std::vector<std::u16string> out;
    HWND list = GetDlgItem(dlg, kFileListId);
    const LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      WCHAR buf[MAX_PATH] = {};
      SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
      out.emplace_back(buf);
    }
    return out;
  }

  OPENFILENAMEW ofn_{};
  WCHAR file_[MAX_PATH];
};

TEST_F(CommonDialogTest, TypedNameIsChosenAgainstTheCurrentFolder) {
  kipotest::UiScript ui;
  ui.window(u"#32770").type(kFileNameId, u"a.txt").click(IDOK);
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(chosen(), "C:\\Docs\\a.txt");
  EXPECT_EQ(ofn_.nFileOffset, 8);
  EXPECT_EQ(ofn_.nFileExtension, 10);
  EXPECT_EQ(ofn_.nFilterIndex, 1u);
  EXPECT_EQ(CommDlgExtendedError(), 0u);
}

TEST_F(CommonDialogTest, FoldersOpenAndPatternsFilterBeforeAChoice) {
  kipotest::UiScript ui;
  // A folder typed opens it; a pattern becomes the filter; ".." goes back up.
  ui.window(u"#32770").type(kFileNameId, u"Sub").click(IDOK).type(kFileNameId, u"..").click(IDOK)
      .type(kFileNameId, u"*.doc").click(IDOK).select(kFileListId, 2).click(IDOK);
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  // Listing below C:\Docs: "..\", "Sub\", then the files the filter keeps: only c.doc.
  EXPECT_EQ(chosen(), "C:\\Docs\\c.doc");
}

TEST_F(CommonDialogTest, TheChosenTypeFiltersTheList) {
  kipotest::UiScript ui;
  // With "Text": "..\", "Sub\", "a.txt", "b.log" and no fifth entry for c.doc.
  ui.window(u"#32770").select(kFileTypeId, 1).select(kFileListId, 4).select(kFileListId, 3).click(IDOK);
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(chosen(), "C:\\Docs\\b.log");
  EXPECT_EQ(ofn_.nFilterIndex, 2u);
  ASSERT_EQ(ui.failures().size(), 1u) << "the list had no entry 4";
  ui.acceptFailures();
}

TEST_F(CommonDialogTest, CancelIsNotAnError) {
  kipotest::UiScript ui;
  ui.window(u"#32770").click(IDCANCEL);
  EXPECT_FALSE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
}

TEST_F(CommonDialogTest, AMissingFileIsRefusedWithABoxAndTheDialogStays) {
  kipotest::UiScript ui;
  ui.window(u"#32770").type(kFileNameId, u"nothere.txt").click(IDOK)
      .box(u"nothere\\.txt\\nFile not found").answer(IDOK)
      .window(u"#32770").type(kFileNameId, u"C:\\Docs\\Sub\\d.txt").click(IDOK);
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(chosen(), "C:\\Docs\\Sub\\d.txt");
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].caption, u"Open");
}

TEST_F(CommonDialogTest, SeveralFilesComeBackAsFolderAndNames) {
  ofn_.Flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
  kipotest::UiScript ui;
  ui.window(u"#32770").type(kFileNameId, u"\"a.txt\" \"c.doc\"").click(IDOK);
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  const std::u16string expected(u"C:\\Docs\0a.txt\0c.doc\0\0", 22);
  EXPECT_EQ(std::u16string(file_, 22), expected);
  EXPECT_EQ(ofn_.nFileOffset, 8);
  EXPECT_EQ(ofn_.nFileExtension, 0);
}

TEST_F(CommonDialogTest, OneFileOfAMultipleSelectionDialogIsAPath) {
  ofn_.Flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
  kipotest::UiScript ui;
  ui.window(u"#32770").select(kFileListId, 2).click(IDOK);  // "..\", "Sub\", "a.txt"
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(std::u16string(file_, 15), std::u16string(u"C:\\Docs\\a.txt\0\0", 15));
}

TEST_F(CommonDialogTest, ASmallBufferSaysHowMuchIsNeeded) {
  ofn_.nMaxFile = 8;
  kipotest::UiScript ui;
  ui.window(u"#32770").type(kFileNameId, u"a.txt").click(IDOK);
  EXPECT_FALSE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  EXPECT_EQ(file_[0], 14) << "the characters the path needs with its NUL";
}

TEST_F(CommonDialogTest, BadRecordsFailWithoutADialog) {
  OPENFILENAMEW bad = ofn_;
  bad.lStructSize = 12;
  EXPECT_FALSE(GetOpenFileNameW(&bad));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
  bad = ofn_;
  bad.lpstrFile = nullptr;
  EXPECT_FALSE(GetOpenFileNameW(&bad));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
  bad = ofn_;
  bad.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  bad.Flags |= OFN_ENABLEHOOK;
  EXPECT_FALSE(GetOpenFileNameW(&bad));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_DIALOGFAILURE));
}

TEST_F(CommonDialogTest, SavingOverAFileAsksFirstAndAddsTheDefaultExtension) {
  ofn_.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  ofn_.lpstrDefExt = u"txt";
  kipotest::UiScript ui;
  ui.window(u"#32770").type(kFileNameId, u"a").click(IDOK)
      .box(u"a\\.txt already exists").answer(IDNO)
      .window(u"#32770").type(kFileNameId, u"new").click(IDOK);
  ASSERT_TRUE(GetSaveFileNameW(&ofn_));
  EXPECT_EQ(chosen(), "C:\\Docs\\new.txt");
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
}

TEST_F(CommonDialogTest, TheChosenFolderBecomesTheCurrentDirectoryUnlessAskedNotTo) {
  ofn_.Flags &= ~static_cast<DWORD>(OFN_NOCHANGEDIR);
  kipotest::UiScript ui;
  ui.window(u"#32770").type(kFileNameId, u"Sub\\d.txt").click(IDOK);
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  WCHAR cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  EXPECT_EQ(platform::text::toUtf8(cwd), "C:\\Docs\\Sub");
  SetCurrentDirectoryW(u"C:\\");
}

TEST(FilePatternTest, PatternsMatchWithoutCase) {
  using platform::commdlg::matchesPattern;
  EXPECT_TRUE(matchesPattern(u"README", u"*.*"));
  EXPECT_TRUE(matchesPattern(u"Report.DOC", u"*.doc"));
  EXPECT_FALSE(matchesPattern(u"Report.docx", u"*.doc"));
  EXPECT_TRUE(matchesPattern(u"abc", u"a?c"));
  EXPECT_FALSE(matchesPattern(u"abbc", u"a?c"));
  EXPECT_TRUE(matchesPattern(u"x.tar.gz", u"*.gz"));
}

// ---- the folder browser ----

class FolderBrowserTest : public CommonDialogTest {
 protected:
  FolderBrowserTest() { CoInitialize(nullptr); }
  ~FolderBrowserTest() override { CoUninitialize(); }

  static std::u16string pathOf(LPITEMIDLIST pidl) {
    WCHAR path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(pidl, path)) return u"<none>";
    return path;
  }
};

struct CallbackLog {
  std::vector<UINT> messages;
  std::vector<std::u16string> selections;
  const char16_t* select = nullptr;  // sent as BFFM_SETSELECTIONW when the dialog is up
  bool pickDocs = false;             // a user expands drive C: and clicks "Docs", then OK
};

HWND g_browser = nullptr;

HTREEITEM childNamed(HWND tree, HTREEITEM parent, std::u16string_view suffix) {
  for (auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT,
                                                            reinterpret_cast<LPARAM>(parent)));
       item; item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    WCHAR text[MAX_PATH] = {};
    TVITEMW it{};
    it.mask = TVIF_TEXT | TVIF_HANDLE;
    it.hItem = item;
    it.pszText = text;
    it.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    std::u16string_view t(text);
    if (t.size() >= suffix.size() && t.substr(t.size() - suffix.size()) == suffix) return item;
  }
  return nullptr;
}

void CALLBACK pickDocs(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND tree = GetDlgItem(g_browser, platform::shell::kBrowseTreeId);
  HTREEITEM drive = childNamed(tree, nullptr, u"(C:)");
  ASSERT_TRUE(drive);
  EXPECT_TRUE(platform::controls::userToggleTreeItem(tree, drive));
  HTREEITEM docs = childNamed(tree, drive, u"Docs");
  ASSERT_TRUE(docs) << "children are read when the drive is expanded";
  EXPECT_TRUE(platform::controls::userSelectTreeItem(tree, docs));
  EXPECT_TRUE(platform::controls::userClick(GetDlgItem(g_browser, IDOK)));
}

int CALLBACK logCallback(HWND dlg, UINT msg, LPARAM lParam, LPARAM data) {
  auto* log = reinterpret_cast<CallbackLog*>(data);
  log->messages.push_back(msg);
  if (msg == BFFM_SELCHANGED) {
    WCHAR path[MAX_PATH] = {};
    SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(lParam), path);
    log->selections.emplace_back(path);
  }
  if (msg == BFFM_INITIALIZED) {
    g_browser = dlg;
    if (log->select) SendMessageW(dlg, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(log->select));
    if (log->pickDocs) SetTimer(nullptr, 0, 1, pickDocs);  // once the dialog is shown
  }
  return 0;
}

TEST_F(FolderBrowserTest, AFolderSetByTheCallbackIsChosenWithOk) {
  WCHAR name[MAX_PATH] = {};
  CallbackLog log;
  log.select = u"C:\\Docs\\Sub";
  kipotest::UiScript ui;
  ui.window(u"#32770").click(IDOK);
  BROWSEINFOW bi{};
  bi.pszDisplayName = name;
  bi.lpszTitle = u"Select a folder.";
  bi.lpfn = logCallback;
  bi.lParam = reinterpret_cast<LPARAM>(&log);
  LPITEMIDLIST pidl = SHBrowseForFolderW(&bi);
  ASSERT_NE(pidl, nullptr);
  EXPECT_EQ(pathOf(pidl), u"C:\\Docs\\Sub");
  EXPECT_EQ(std::u16string(name), u"Sub");
  ILFree(pidl);
  ASSERT_FALSE(log.messages.empty());
  EXPECT_EQ(log.messages.front(), static_cast<UINT>(BFFM_INITIALIZED));
  ASSERT_FALSE(log.selections.empty());
  EXPECT_EQ(log.selections.back(), u"C:\\Docs\\Sub");
}

TEST_F(FolderBrowserTest, AUserPicksAFolderInTheTree) {
  WCHAR name[MAX_PATH] = {};
  CallbackLog log;
  log.pickDocs = true;
  BROWSEINFOW bi{};
  bi.pszDisplayName = name;
  bi.lpfn = logCallback;
  bi.lParam = reinterpret_cast<LPARAM>(&log);
  LPITEMIDLIST pidl = SHBrowseForFolderW(&bi);
  ASSERT_NE(pidl, nullptr);
  EXPECT_EQ(pathOf(pidl), u"C:\\Docs");
  EXPECT_EQ(std::u16string(name), u"Docs");
  ILFree(pidl);
}

TEST_F(FolderBrowserTest, NothingSelectedMeansNoOkAndCancelGivesNull) {
  kipotest::UiScript ui;
  ui.window(u"#32770").click(IDOK).escape();
  BROWSEINFOW bi{};
  bi.lpszTitle = u"Select a folder.";
  EXPECT_EQ(SHBrowseForFolderW(&bi), nullptr);
  ASSERT_EQ(ui.failures().size(), 1u) << "OK is disabled until a folder is selected";
  ui.acceptFailures();
}

TEST_F(FolderBrowserTest, TheEditBoxTakesAPath) {
  kipotest::UiScript ui;
  ui.window(u"#32770").type(platform::shell::kBrowseFolderEditId, u"C:\\Nowhere").click(IDOK)
      .box(u"does not exist").answer(IDOK)
      .window(u"#32770").type(platform::shell::kBrowseFolderEditId, u"C:\\Docs").click(IDOK);
  CallbackLog log;
  log.select = u"C:\\";  // something selected, so OK is enabled
  BROWSEINFOW bi{};
  bi.ulFlags = BIF_EDITBOX;
  bi.lpfn = logCallback;
  bi.lParam = reinterpret_cast<LPARAM>(&log);
  LPITEMIDLIST pidl = SHBrowseForFolderW(&bi);
  ASSERT_NE(pidl, nullptr);
  EXPECT_EQ(pathOf(pidl), u"C:\\Docs");
  ILFree(pidl);
}

}  // namespace
