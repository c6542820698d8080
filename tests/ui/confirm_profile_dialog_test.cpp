// The confirm-profile dialog: its text by change type, one row per stored profile (nickname and
// key), OK without a row refused with a message, a picked row's index, and "New Computer".
#include "ui/confirm_profile_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "tests/app/profiles_fixture.h"
#include "tests/support/ui_script.h"

namespace {

using apptest::ProfilesTest;

class ConfirmProfileDialogTest : public ProfilesTest {
 protected:
  ConfirmProfileDialogTest() {
    add(u"ALPHA", 0, u"Home");
    add(u"ALPHA", 1, u"Office");
    add(u"BETA", 0, u"Laptop");
  }
  void add(const char16_t* name, LONG index, const char16_t* nickname) {
    auto p = std::make_unique<CSystemProfile>();
    p->m_computerName = name;
    p->m_conflictIndex = index;
    p->m_nickname = nickname;
    getProfileDatabase().profiles().push_back(std::move(p));
  }
};

TEST_F(ConfirmProfileDialogTest, ShowsTheQuestionAndEveryProfile) {
  struct Case {
    int kind;
    std::string text;
  };
  const Case cases[] = {
      {CProfileDatabase::kChangeFingerprint, "Kipo has detected that the disks of this computer have changed."},
      {CProfileDatabase::kChangeName, "Kipo has detected that a computer profile has this computer's disks"},
      {7, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    CConfirmProfileDialog dialog(c.kind, &getProfileDatabase(), nullptr);
    ASSERT_TRUE(dialog.Create(IDD_CONFIRM_PROFILE, nullptr));
    CString text;
    dialog.GetDlgItemText(IDC_CONFIRM_PROFILE_TEXT, text);
    EXPECT_EQ(utf8(text).substr(0, c.text.size()), c.text);
    if (c.text.empty()) {
      EXPECT_TRUE(text.IsEmpty());
    }
    CString caption;
    dialog.GetWindowText(caption);
    EXPECT_EQ(utf8(caption), utf8(g_applicationName) + " - Confirm Profile");

    CListCtrl& list = dialog.m_list;
    ASSERT_EQ(list.GetItemCount(), 3);
    const char* rows[][2] = {{"Home", "ALPHA"}, {"Office", "ALPHA(1)"}, {"Laptop", "BETA"}};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(utf8(list.GetItemText(i, 0)), rows[i][0]);
      EXPECT_EQ(utf8(list.GetItemText(i, 1)), rows[i][1]);
      EXPECT_EQ(list.GetItemData(i), static_cast<DWORD_PTR>(i));
    }
    EXPECT_EQ(list.GetColumnWidth(0), 150);
    LVCOLUMN column{};
    WCHAR heading[64] = {};
    column.mask = LVCF_TEXT;
    column.pszText = heading;
    column.cchTextMax = 64;
    ASSERT_TRUE(list.GetColumn(1, &column));
    EXPECT_EQ(utf8(CString(heading)), "Computer Name");
    EXPECT_NE(list.GetExtendedStyle() & LVS_EX_FULLROWSELECT, 0u);
    dialog.DestroyWindow();
  }
}

TEST_F(ConfirmProfileDialogTest, OkNeedsARow) {
  kipotest::UiScript ui;
  // Enter with nothing selected: message 769, the dialog stays.
  ui.dialog(IDD_CONFIRM_PROFILE).enter();
  ui.dialog(IDD_CONFIRM_PROFILE).select(IDC_CONFIRM_PROFILE_LIST, 2).click(IDOK);
  CConfirmProfileDialog dialog(CProfileDatabase::kChangeName, &getProfileDatabase(), nullptr);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_selectedIndex, 2);
  EXPECT_FALSE(dialog.m_newComputer);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), "Please select a computer in the list, or click New Computer.");
}

TEST_F(ConfirmProfileDialogTest, NewComputerByButtonOrEscape) {
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_CONFIRM_PROFILE).select(IDC_CONFIRM_PROFILE_LIST, 1).click(IDCANCEL);
    CConfirmProfileDialog dialog(CProfileDatabase::kChangeFingerprint, &getProfileDatabase(), nullptr);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(dialog.m_newComputer);
    EXPECT_EQ(dialog.m_selectedIndex, -1);
  }
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_CONFIRM_PROFILE).escape();
    CConfirmProfileDialog dialog(CProfileDatabase::kChangeFingerprint, &getProfileDatabase(), nullptr);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(dialog.m_newComputer);
  }
}

}  // namespace
