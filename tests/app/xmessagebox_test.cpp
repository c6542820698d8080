// The custom message box, driven as a user would: the button sets and their results, Escape and
// Close, the default button, custom texts, the countdown, buttons held disabled, the remembered
// answer in the registry, and the stop-sign system-modal box that goes to the standard one.
#include "app/xmessagebox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/lingrove.h"
#include "lang/ids.h"
#include "platform/win32/registry.h"
#include "platform/win32/resource.h"
#include "platform/win32/time.h"
#include "platform/win32/window.h"
#include "tests/app/app_fixture.h"
#include "tests/support/ui_script.h"

namespace {

using apptest::AppTest;

// What the box looked like, taken from inside its modal loop by a thread timer.
struct Seen {
  std::u16string caption;
  std::u16string text;
  std::vector<std::pair<int, std::u16string>> buttons;  // id, caption, in creation order
  bool icon = false;
  bool checkBox = false;
};
Seen* g_seen = nullptr;

std::u16string windowText(HWND w) {
  WCHAR buffer[512] = {};
  const int n = GetWindowTextW(w, buffer, 512);
  return std::u16string(buffer, n > 0 ? n : 0);
}

void CALLBACK inspect(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND box = FindWindowW(u"#32770", nullptr);
  if (!box || !g_seen) return;
  g_seen->caption = windowText(box);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    if (id == IDXMBTEXT) g_seen->text = windowText(child);
    else if (id == IDXMBICON) g_seen->icon = true;
    else if (id == IDXMBCHECKBOX) g_seen->checkBox = true;
    else g_seen->buttons.emplace_back(id, windowText(child));
  }
}

class XMessageBoxTest : public AppTest {
 protected:
  XMessageBoxTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    g_seen = &seen;
  }
  ~XMessageBoxTest() override { g_seen = nullptr; }

  // Looks at the box once it is up (the script waits for that first).
  void inspectSoon() { SetTimer(nullptr, 0, 10, inspect); }

  std::vector<int> buttonIds() const {
    std::vector<int> ids;
    for (const auto& b : seen.buttons) ids.push_back(b.first);
    return ids;
  }

  std::unique_ptr<Lingrove> language;
  Seen seen;
};

TEST_F(XMessageBoxTest, PlainBoxHasOneOkButtonAndNoIconAndEscapeGivesOk) {
  {
    kipotest::UiScript ui;
    ui.window(u"#32770").wait(100).click(IDOK);
    inspectSoon();
    EXPECT_EQ(showXMessageBox(nullptr, u"Close the window first.", u"Kipo", 0, nullptr, nullptr), IDOK);
  }
  EXPECT_EQ(seen.caption, u"Kipo");
  EXPECT_EQ(seen.text, u"Close the window first.");
  EXPECT_EQ(buttonIds(), (std::vector<int>{IDOK}));
  EXPECT_EQ(seen.buttons[0].second, u"OK");
  EXPECT_FALSE(seen.icon);
  EXPECT_FALSE(seen.checkBox);

  kipotest::UiScript ui;
  ui.window(u"#32770").escape();
  EXPECT_EQ(showXMessageBox(nullptr, u"Again", nullptr, 0, nullptr, nullptr), IDOK);
}

TEST_F(XMessageBoxTest, ButtonSetsAndTheirResults) {
  struct Case {
    UINT style;
    std::vector<int> buttons;
    int press;  // 0: Escape
    int result;
  } cases[] = {
      {MB_YESNOCANCEL | XMB_YESTOALL | XMB_NOTOALL, {IDYES, IDYESTOALL, IDNO, IDNOTOALL, IDCANCEL}, IDNOTOALL, IDNOTOALL},
      {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, 0, IDCANCEL},
      {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}, IDRETRY, IDRETRY},
      {XMB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}, IDTRYAGAIN, IDTRYAGAIN},
      {XMB_CONTINUEABORT, {IDCONTINUE, IDABORT}, IDABORT, IDABORT},
      {XMB_SKIPSKIPALLCANCEL, {IDSKIP, IDSKIPALL, IDCANCEL}, IDSKIPALL, IDSKIPALL},
      {XMB_IGNOREIGNOREALLCANCEL | MB_HELP, {IDIGNORE, IDIGNOREALL, IDCANCEL, IDXMBHELP}, IDIGNOREALL, IDIGNOREALL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    seen = Seen();
    kipotest::UiScript ui;
    if (c.press) ui.window(u"#32770").wait(100).click(c.press);
    else ui.window(u"#32770").wait(100).escape();
    inspectSoon();
    EXPECT_EQ(showXMessageBox(nullptr, u"Question", u"Caption", c.style | XMB_NOSOUND, nullptr, nullptr), c.result);
    EXPECT_EQ(buttonIds(), c.buttons);
  }
}

TEST_F(XMessageBoxTest, EscapeIsIgnoredWithoutCancelAndTheDefaultButtonFollowsTheStyle) {
  kipotest::UiScript ui;
  ui.window(u"#32770").wait(100).escape().close().enter();
  inspectSoon();
  // Yes/No: Escape and Close do nothing; Enter presses the second button, the default.
  EXPECT_EQ(showXMessageBox(nullptr, u"Sure?", u"Caption", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION, nullptr, nullptr),
            IDNO);
  EXPECT_TRUE(seen.icon);

  CXDialogTemplate beyond(nullptr, u"x", u"y", MB_OKCANCEL | MB_DEFBUTTON4, XMessageBoxOptions(), nullptr);
  EXPECT_EQ(beyond.defaultButton(), IDOK) << "a default beyond the buttons present is the first";
}

TEST_F(XMessageBoxTest, CustomButtonTextsReturnTheirPosition) {
  XMessageBoxOptions options;
  options.customButtons = u"Alpha\nBeta\nGamma\nDelta\nEpsilon";
  kipotest::UiScript ui;
  ui.window(u"#32770").wait(100).click(3);
  inspectSoon();
  EXPECT_EQ(showXMessageBox(nullptr, u"Pick", u"Caption", 0, &options, nullptr), 3);
  ASSERT_EQ(seen.buttons.size(), 4u);
  EXPECT_EQ(seen.buttons[2].second, u"Gamma");
}

TEST_F(XMessageBoxTest, CountdownPressesTheDefaultButton) {
  XMessageBoxOptions options;
  options.countdownSeconds = 1;
  kipotest::UiScript ui;
  // Nothing is pressed: the wait only keeps the box unanswered while it counts down.
  ui.window(u"#32770").wait(1500);
  ui.acceptFailures();
  const int result = showXMessageBox(nullptr, u"Soon", u"Caption", MB_OKCANCEL, &options, nullptr);
  EXPECT_EQ(static_cast<UINT>(result), XMB_TIMEOUT | IDOK);
  // The driver's wake-up for the wait fires later on its own thread; let it find the host.
  Sleep(800);
}

TEST_F(XMessageBoxTest, ButtonsHeldDisabledRefuseClicksUntilTheTimeIsOver) {
  XMessageBoxOptions options;
  options.disabledSeconds = 1;
  kipotest::UiScript ui;
  ui.window(u"#32770").wait(100).click(IDOK).wait(1500).click(IDOK);
  EXPECT_EQ(showXMessageBox(nullptr, u"Read this", u"Caption", 0, &options, nullptr), IDOK);
  const std::vector<std::string> failures = ui.failures();
  ASSERT_EQ(failures.size(), 1u) << "the early click is refused";
  ui.acceptFailures();
}

TEST_F(XMessageBoxTest, TickedCheckBoxIsRememberedAndAnswersTheNextTime) {
  XMessageBoxOptions options;
  options.company = u"Brackwater";
  options.key = u"DeleteQuestion";
  options.number = 3;
  const UINT style = MB_YESNO | XMB_DONOTASKAGAIN;
  {
    kipotest::UiScript ui;
    ui.window(u"#32770").wait(100).check(IDXMBCHECKBOX, BST_CHECKED).click(IDNO);
    inspectSoon();
    EXPECT_EQ(static_cast<UINT>(showXMessageBox(nullptr, u"Delete?", u"Caption", style, &options, nullptr)),
              IDNO | XMB_DONOTASKAGAIN);
    EXPECT_TRUE(seen.checkBox);
  }
  // Stored under the user's key of the program, named by the key text and number.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo.exe\\XMessageBox", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value, type = 0;
  EXPECT_EQ(RegQueryValueExW(key, xMessageBoxValueName(CString(u"DeleteQuestion"), 3), nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, static_cast<DWORD>(IDNO | XMB_DONOTASKAGAIN));

  // Next time: the answer without a box (a box would be unanswered and fail the script).
  kipotest::UiScript quiet;
  EXPECT_EQ(static_cast<UINT>(showXMessageBox(nullptr, u"Delete?", u"Caption", style, &options, nullptr)),
            IDNO | XMB_DONOTASKAGAIN);
  // Another number is another question.
  options.number = 4;
  quiet.window(u"#32770").wait(100).click(IDYES);
  EXPECT_EQ(showXMessageBox(nullptr, u"Delete?", u"Caption", style, &options, nullptr), IDYES);
}

TEST_F(XMessageBoxTest, ValueNamesFollowTheTableRule) {
  // Index (code + 5 x position) mod 64: 'a' (97) -> 33 'h'; 'b' (98 + 5) -> 39 'n'.
  EXPECT_EQ(xMessageBoxValueName(CString(u"ab"), 7), CString(u"hn7"));
  EXPECT_EQ(xMessageBoxValueName(CString(), 12), CString(u"12"));
}

TEST_F(XMessageBoxTest, SystemModalStopBoxIsTheStandardBox) {
  answers.push_back(IDRETRY);
  EXPECT_EQ(showXMessageBox(nullptr, u"Disk failed", u"Caption", MB_RETRYCANCEL | MB_ICONHAND | MB_SYSTEMMODAL,
                            nullptr, nullptr),
            IDRETRY);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, CString(u"Disk failed"));
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_RETRYCANCEL | MB_ICONHAND | MB_SYSTEMMODAL));
}

TEST_F(XMessageBoxTest, TextAndCaptionMayBeStringIds) {
  kipotest::UiScript ui;
  ui.window(u"#32770").wait(100).click(IDOK);
  inspectSoon();
  showXMessageBox(nullptr, MAKEINTRESOURCEW(IDS_CLOSE_SYNC_BEFORE_EXIT), nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(CString(seen.text), loadResString(IDS_CLOSE_SYNC_BEFORE_EXIT));
  EXPECT_EQ(seen.caption, u"Error") << "no caption";
}

}  // namespace
