// The large-folder warning: Add goes on and Cancel does not, the box's state is stored whichever
// closed it, and a long path is shown shortened while the dialog keeps it whole.
#include "ui/large_folder_dialog.h"

#include <gtest/gtest.h>

#include "app/preference_file.h"
#include "lang/ids.h"
#include "tests/support/ui_script.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;

constexpr char16_t kLongPath[] =
    u"C:\\Documents and Settings\\Robin\\My Documents\\Photographs\\Holidays\\2005 Summer in the mountains\\Raw";

class LargeFolderDialogTest : public LoginTest {
 protected:
  static std::string largeFoldersOk() {
    CPreferenceFile& prefs = getDevicePrefs();
    CString value;
    if (!prefs.openRoot() || !prefs.getString(u"largeFoldersOk", value)) return "<none>";
    return utf8(value);
  }
};

TEST_F(LargeFolderDialogTest, TheAnswerAndTheStoredChoice) {
  struct Case {
    const char* label;
    bool tick;
    int button;
    const char* stored;
  };
  const Case cases[] = {
      {"add", false, IDOK, "false"},
      {"add, not again", true, IDOK, "true"},
      {"cancel, not again: stored all the same", true, IDCANCEL, "true"},
      {"cancel", false, IDCANCEL, "false"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    kipotest::UiScript ui;
    ui.dialog(IDD_LARGE_FOLDER).check(IDC_LARGE_FOLDER_DONT_ASK, c.tick).click(c.button);
    CLargeFolderDialog dialog(nullptr, kLongPath);
    EXPECT_EQ(dialog.DoModal(), c.button);
    EXPECT_EQ(largeFoldersOk(), c.stored);
    EXPECT_EQ(utf8(dialog.m_folderPath), utf8(CString(kLongPath)));
  }
}

TEST_F(LargeFolderDialogTest, ALongPathIsShownShortened) {
  CLargeFolderDialog dialog(nullptr, kLongPath);
  ASSERT_TRUE(dialog.Create(IDD_LARGE_FOLDER, nullptr));
  CString shown;
  dialog.GetDlgItemText(IDC_LARGE_FOLDER_PATH, shown);
  EXPECT_LT(shown.GetLength(), CString(kLongPath).GetLength());
  EXPECT_NE(shown.Find(u"..."), -1) << utf8(shown);
  EXPECT_EQ(utf8(shown.Right(4)), "\\Raw") << "the folder's own name stays";
  EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_LARGE_FOLDER_DONT_ASK), static_cast<UINT>(BST_UNCHECKED));
  dialog.DestroyWindow();
}

}  // namespace
