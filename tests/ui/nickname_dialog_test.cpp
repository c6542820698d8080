// The nickname dialog: what OK makes of the typed name (trimmed, cut to 15, refused when empty,
// taken or without a profile to hold it), where a good name is stored and who is told; the typing
// rule that undoes a forbidden character at once; and the layout without Cancel.
#include "ui/nickname_dialog.h"

#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "platform/win32/controls/commctrl.h"
#include "tests/support/ui_script.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;

class NicknameDialogTest : public LoginTest {
 protected:
  static std::string nicknameOf(const char16_t* key) {
    CSystemProfile* p = getProfileDatabase().findByKey(key);
    return p ? utf8(p->m_nickname) : "<none>";
  }
  static std::string nicknameSetPref() {
    bool set = false;
    return openThisComputerPrefs().getBool(u"nicknameSet", set) ? (set ? "true" : "false") : "<none>";
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes) out.push_back(utf8(b.text));
    return out;
  }
};

TEST_F(NicknameDialogTest, OkStoresAGoodNameAndRefusesTheOthers) {
  const std::string taken = "Another computer already has this name. Please choose another one.";
  struct Case {
    const char* label;
    const char16_t* key;       // the computer the dialog names
    const char16_t* initial;   // the name the dialog starts with
    const char16_t* typed;     // null: OK on the initial name
    int result;
    const char* stored;        // the nickname of ALPHA afterwards
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"trimmed", u"ALPHA", u"Desk", u"  Office pc  ", IDOK, "Office pc", {}},
      {"cut to 15", u"ALPHA", u"A twenty char name!!", nullptr, IDOK, "A twenty char n", {}},
      {"its own name again, other case", u"ALPHA", u"Desk", u"DESK", IDOK, "DESK", {}},
      {"another's name, any case", u"ALPHA", u"Desk", u"laptop", IDCANCEL, "Desk", {taken}},
      {"empty: the key comes back, then OK takes it", u"ALPHA", u"Desk", u"   ", IDOK, "ALPHA",
       {"Please enter a name for this computer."}},
      {"no profile for the key", u"GAMMA", u"Desk", u"Study", IDCANCEL, "Desk",
       {"No profile was found for this computer (GAMMA)."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    getProfileDatabase().deleteAllProfiles();
    addThisComputer(u"Desk");
    addProfile(u"BETA", u"Laptop");
    services.seen.clear();
    boxes.clear();
    CPreferenceFile& prefs = openThisComputerPrefs();
    prefs.deleteValue(u"nicknameSet");

    kipotest::UiScript ui;
    auto& steps = ui.dialog(IDD_NICKNAME);
    if (c.typed) steps.type(IDC_NICKNAME_EDIT, c.typed);
    steps.click(IDOK);
    // A refused name keeps the dialog up; the second OK (or Cancel) ends it.
    if (c.result == IDCANCEL) steps.click(IDCANCEL);
    else if (!c.messages.empty()) steps.click(IDOK);
    CNicknameDialog dialog(c.key, c.initial);
    EXPECT_EQ(dialog.DoModal(), c.result);
    EXPECT_EQ(nicknameOf(u"ALPHA"), c.stored);
    EXPECT_EQ(nicknameOf(u"BETA"), "Laptop");
    EXPECT_EQ(boxTexts(), c.messages);
    if (c.result == IDOK) {
      EXPECT_EQ(nicknameSetPref(), "true");
      // The login window rebuilds its page on a plain message of value 0.
      ASSERT_EQ(services.seen.size(), 1u);
      EXPECT_EQ(services.seen[0].type, -1);
      EXPECT_EQ(services.seen[0].value, 0);
      EXPECT_TRUE(services.seen[0].posted);
    } else {
      EXPECT_EQ(nicknameSetPref(), "<none>");
      EXPECT_TRUE(services.seen.empty());
    }
  }
}

// A forbidden character is taken back as soon as it is typed, the caret at the end, so the rest
// of the typing goes on after what was there.
TEST_F(NicknameDialogTest, AForbiddenCharacterIsUndoneAsItIsTyped) {
  addThisComputer(u"Desk");
  kipotest::UiScript ui;
  ui.dialog(IDD_NICKNAME).type(IDC_NICKNAME_EDIT, u"Lap:to|p").click(IDOK);
  CNicknameDialog dialog(u"ALPHA", u"Desk");
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(nicknameOf(u"ALPHA"), "Laptop");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(utf8(boxes[0].text), "A computer name cannot contain any of these characters: \\ / : * ? \" < > |");
  for (const char16_t* bad : {u"a\\b", u"a/b", u"a:b", u"a*b", u"a?b", u"a\"b", u"a<b", u"a>b", u"a|b", u"a\nb"})
    EXPECT_TRUE(CNicknameDialog::hasForbiddenCharacter(bad)) << utf8(CString(bad));
  EXPECT_FALSE(CNicknameDialog::hasForbiddenCharacter(u"Café 2 (home)"));
}

// Without Cancel: the button and the system menu are gone, OK stands in the middle, the edit takes
// at most 15 characters.
TEST_F(NicknameDialogTest, WithoutCancelOkStandsInTheMiddle) {
  addThisComputer(u"Desk");
  for (int allowCancel : {0, 1}) {
    SCOPED_TRACE(allowCancel);
    CNicknameDialog dialog(u"ALPHA", u"Desk", nullptr, allowCancel);
    ASSERT_TRUE(dialog.Create(IDD_NICKNAME, nullptr));
    CRect client, ok;
    dialog.GetClientRect(&client);
    dialog.GetDlgItem(IDOK)->GetWindowRect(&ok);
    dialog.ScreenToClient(&ok);
    const bool cancelShown = (dialog.GetDlgItem(IDCANCEL)->GetStyle() & WS_VISIBLE) != 0;
    EXPECT_EQ(cancelShown, allowCancel != 0);
    EXPECT_EQ((dialog.GetStyle() & WS_SYSMENU) != 0, allowCancel != 0);
    if (!allowCancel) {
      EXPECT_EQ(ok.left, (client.Width() - ok.Width()) / 2);
    }
    EXPECT_EQ(dialog.SendDlgItemMessage(IDC_NICKNAME_EDIT, EM_GETLIMITTEXT, 0, 0), 15);
    CString shown;
    dialog.GetDlgItemText(IDC_NICKNAME_COMPUTER, shown);
    EXPECT_EQ(utf8(shown), "ALPHA");
    dialog.DestroyWindow();
  }
}

}  // namespace
