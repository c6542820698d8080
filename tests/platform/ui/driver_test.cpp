// The UI driver on real dialogs, message boxes and popup menus of this process: user actions reach
// the dialog procedure with the notifications a person causes; unanswered windows fail and end;
// refused actions; waiting for a dialog that closes itself; nested dialogs and boxes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/ui/driver.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/dialog.h"
#include "platform/win32/menu.h"
#include "platform/win32/message.h"
#include "platform/win32/resource.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"
#include "tests/support/ui_script.h"
#include "ui_ids.h"

namespace {

// What the form's procedure saw.
struct FormLog {
  std::vector<std::string> events;
  std::u16string name;
  bool flag = false;
  int choice = -1;
  int list = -1;
  int askAnswer = 0;
};
FormLog* g_log = nullptr;
// Run at the form's WM_INITDIALOG, and when it ends, when set.
std::function<void(HWND)> g_formInit;
std::function<void(HWND)> g_formEnd;

std::string eventOf(WPARAM w) { return std::to_string(LOWORD(w)) + ":" + std::to_string(HIWORD(w)); }

INT_PTR CALLBACK formProc(HWND h, UINT msg, WPARAM w, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      if (g_formInit) g_formInit(h);
      for (const char16_t* s : {u"Red", u"Green", u"Blue"}) {
        SendDlgItemMessageW(h, IDC_CHOICE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        SendDlgItemMessageW(h, IDC_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
      }
      return TRUE;
    case WM_COMMAND:
      g_log->events.push_back(eventOf(w));
      if (LOWORD(w) == IDC_ASK && HIWORD(w) == BN_CLICKED) {
        g_log->askAnswer = MessageBoxW(h, u"Sure to go on?", u"Question", MB_YESNO | MB_ICONQUESTION);
        return TRUE;
      }
      if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
        WCHAR buf[64];
        GetDlgItemTextW(h, IDC_NAME, buf, 64);
        g_log->name = buf;
        g_log->flag = IsDlgButtonChecked(h, IDC_FLAG) == BST_CHECKED;
        g_log->choice = static_cast<int>(SendDlgItemMessageW(h, IDC_CHOICE, CB_GETCURSEL, 0, 0));
        g_log->list = static_cast<int>(SendDlgItemMessageW(h, IDC_LIST, LB_GETCURSEL, 0, 0));
        if (g_formEnd) g_formEnd(h);
        EndDialog(h, LOWORD(w));
      }
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK timedProc(HWND h, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) {
    SetTimer(h, 1, 5000, nullptr);
    return TRUE;
  }
  if (msg == WM_TIMER) {
    EndDialog(h, IDRETRY);
    return TRUE;
  }
  return FALSE;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
  for (const auto& x : v)
    if (x == s) return true;
  return false;
}

class UiDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { g_log = &log; }
  void TearDown() override {
    g_log = nullptr;
    g_formInit = nullptr;
    g_formEnd = nullptr;
  }
  INT_PTR runForm() { return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_FORM), nullptr, formProc, 0); }

  kipotest::TestHost host;
  FormLog log;
};

TEST_F(UiDriverTest, UserActionsReachTheDialogWithTheirNotifications) {
  kipotest::UiScript ui;
  ui.dialog(IDD_FORM).type(IDC_NAME, u"Kim").check(IDC_FLAG, true).select(IDC_CHOICE, 2).select(IDC_LIST, 1)
      .click(IDOK);
  EXPECT_EQ(runForm(), IDOK);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(log.name, u"Kim");
  EXPECT_TRUE(log.flag);
  EXPECT_EQ(log.choice, 2);
  EXPECT_EQ(log.list, 1);
  EXPECT_TRUE(contains(log.events, std::to_string(IDC_NAME) + ":" + std::to_string(EN_CHANGE)));
  EXPECT_TRUE(contains(log.events, std::to_string(IDC_FLAG) + ":" + std::to_string(BN_CLICKED)));
  EXPECT_TRUE(contains(log.events, std::to_string(IDC_CHOICE) + ":" + std::to_string(CBN_SELCHANGE)));
  EXPECT_TRUE(contains(log.events, std::to_string(IDC_LIST) + ":" + std::to_string(LBN_SELCHANGE)));
}

TEST_F(UiDriverTest, TypingReplacesTheFieldsText) {
  kipotest::UiScript ui;
  ui.dialog(IDD_FORM).type(IDC_NAME, u"first").type(IDC_NAME, u"second").click(IDOK);
  EXPECT_EQ(runForm(), IDOK);
  EXPECT_EQ(log.name, u"second");
}

TEST_F(UiDriverTest, EnterAndEscapeGoThroughDialogNavigation) {
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_FORM).type(IDC_NAME, u"x").enter();
    EXPECT_EQ(runForm(), IDOK);  // the default button
  }
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_FORM).escape();
    EXPECT_EQ(runForm(), IDCANCEL);
  }
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_FORM).close();
    EXPECT_EQ(runForm(), IDCANCEL);
  }
}

TEST_F(UiDriverTest, AnUnansweredDialogFailsWithItsTextAndEndsWithCancel) {
  platform::ui::Script s;
  EXPECT_EQ(runForm(), IDCANCEL);
  ASSERT_EQ(s.failures().size(), 1u);
  EXPECT_NE(s.failures()[0].find("dialog 500 \"Form\""), std::string::npos) << s.failures()[0];
  EXPECT_NE(s.failures()[0].find("Name:"), std::string::npos);
  // The product's own Cancel handling did not run.
  EXPECT_FALSE(contains(log.events, std::to_string(IDCANCEL) + ":0"));
}

TEST_F(UiDriverTest, AStepForAnotherWindowLeavesTheDialogUnanswered) {
  platform::ui::Script s;
  s.dialog(IDD_TIMED).click(IDOK);
  EXPECT_EQ(runForm(), IDCANCEL);
  ASSERT_EQ(s.failures().size(), 1u);
  EXPECT_NE(s.failures()[0].find("next step: dialog 501: click 1"), std::string::npos) << s.failures()[0];
  EXPECT_FALSE(s.done());
}

TEST_F(UiDriverTest, DisabledHiddenAndMissingControlsRefuse) {
  platform::ui::Script s;
  s.dialog(IDD_FORM).click(IDC_DISABLED).click(IDC_HIDDEN).type(IDC_DISABLED, u"x").click(4242).click(IDOK);
  EXPECT_EQ(runForm(), IDOK);
  EXPECT_TRUE(s.done());
  const auto f = s.failures();
  ASSERT_EQ(f.size(), 4u);
  EXPECT_NE(f[0].find("disabled or hidden"), std::string::npos) << f[0];
  EXPECT_NE(f[1].find("disabled or hidden"), std::string::npos) << f[1];
  EXPECT_NE(f[3].find("no control 4242"), std::string::npos) << f[3];
  for (const auto& e : log.events) EXPECT_NE(e.rfind(std::to_string(IDC_DISABLED), 0), 0u) << e;
}

// A control inside a child window of the dialog (a property sheet's page) is found by its id, the
// visible one first; toggling a row's check box needs a control that has check boxes.
TEST_F(UiDriverTest, ControlsInsideChildWindowsAndRowCheckBoxes) {
  constexpr int kInner = 1201;
  HWND visibleBox = nullptr, hiddenBox = nullptr;
  g_formInit = [&](HWND form) {
    HWND hiddenPanel = CreateWindowExW(0, u"Static", u"", WS_CHILD, 0, 0, 100, 20, form, nullptr, nullptr, nullptr);
    hiddenBox = CreateWindowExW(0, u"Button", u"Hidden inner", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0, 0, 80, 12, hiddenPanel,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInner)), nullptr, nullptr);
    HWND panel = CreateWindowExW(0, u"Static", u"", WS_CHILD | WS_VISIBLE, 0, 100, 100, 20, form, nullptr, nullptr, nullptr);
    visibleBox = CreateWindowExW(0, u"Button", u"Inner", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0, 0, 80, 12, panel,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInner)), nullptr, nullptr);
  };
  int visibleState = -1, hiddenState = -1;
  g_formEnd = [&](HWND) {
    visibleState = static_cast<int>(SendMessageW(visibleBox, BM_GETCHECK, 0, 0));
    hiddenState = static_cast<int>(SendMessageW(hiddenBox, BM_GETCHECK, 0, 0));
  };
  platform::ui::Script s;
  s.dialog(IDD_FORM).check(kInner, true).toggle(IDC_FLAG, 0).click(IDOK);
  EXPECT_EQ(runForm(), IDOK);
  EXPECT_EQ(visibleState, BST_CHECKED) << "the visible one of the two";
  EXPECT_EQ(hiddenState, BST_UNCHECKED);
  const auto f = s.failures();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_NE(f[0].find("no check box at item 0"), std::string::npos) << f[0];
  EXPECT_TRUE(s.done());
}

TEST_F(UiDriverTest, ABoxFromADialogIsAnsweredAndRecorded) {
  kipotest::UiScript ui;
  ui.dialog(IDD_FORM).click(IDC_ASK).box(u"^Sure to").answer(IDNO).dialog(IDD_FORM).click(IDOK);
  EXPECT_EQ(runForm(), IDOK);
  EXPECT_EQ(log.askAnswer, IDNO);
  const auto boxes = ui.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Sure to go on?");
  EXPECT_EQ(boxes[0].caption, u"Question");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_NE(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].result, IDNO);
}

TEST_F(UiDriverTest, WaitLetsATimedDialogCloseItself) {
  platform::clock::VirtualClock clock;
  {
    kipotest::UiScript ui;
    ui.dialog(IDD_TIMED).wait(10000);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_TIMED), nullptr, timedProc, 0), IDRETRY);
  }
  {
    // Without the wait the dialog is unanswered at once.
    platform::ui::Script s;
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_TIMED), nullptr, timedProc, 0), IDCANCEL);
    EXPECT_EQ(s.failures().size(), 1u);
  }
}

// ---- Message boxes ----

struct BoxCase {
  UINT type;
  std::vector<int> buttons;  // in order
  int unanswered;            // how an unanswered box ends
};

TEST_F(UiDriverTest, MessageBoxesShowTheButtonsOfTheirTypeAndReturnThePressedOne) {
  const BoxCase cases[] = {
      {MB_OK, {IDOK}, IDOK},
      {MB_OKCANCEL, {IDOK, IDCANCEL}, IDCANCEL},
      {MB_YESNO, {IDYES, IDNO}, IDCANCEL},
      {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, IDCANCEL},
      {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, IDCANCEL},
      {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}, IDCANCEL},
  };
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.type);
    for (int button : c.buttons) {
      kipotest::UiScript ui;
      ui.box(u"text").answer(button);
      EXPECT_EQ(MessageBoxW(nullptr, u"the text", u"Caption", c.type), button);
    }
    platform::ui::Script s;
    EXPECT_EQ(MessageBoxW(nullptr, u"the text", nullptr, c.type), c.unanswered);
    ASSERT_EQ(s.failures().size(), 1u);
    EXPECT_NE(s.failures()[0].find("message box \"Error\": the text"), std::string::npos) << s.failures()[0];
    ASSERT_EQ(s.boxes().size(), 1u);
    EXPECT_EQ(s.boxes()[0].caption, u"Error");
  }
}

// What a box shows, seen by its owner when the box goes idle (WM_ENTERIDLE names the box).
struct BoxLook {
  bool iconControl = false;
  bool iconImage = false;
  bool textRightOfIcon = false;
  std::vector<int> buttons;
};
BoxLook g_look;

LRESULT CALLBACK lookingOwnerProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg != WM_ENTERIDLE) return DefWindowProcW(h, msg, w, l);
  HWND box = reinterpret_cast<HWND>(l);
  HWND icon = GetDlgItem(box, 20);
  g_look.iconControl = icon != nullptr;
  g_look.iconImage = icon && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
  RECT ir{}, tr{};
  if (icon) {
    GetWindowRect(icon, &ir);
    GetWindowRect(GetDlgItem(box, 0xFFFF), &tr);
    g_look.textRightOfIcon = tr.left >= ir.right;
  }
  for (int id = IDOK; id <= IDCONTINUE; ++id)
    if (GetDlgItem(box, id)) g_look.buttons.push_back(id);
  EndDialog(box, IDCANCEL);
  return 0;
}

TEST_F(UiDriverTest, ABoxShowsTheIconOfItsTypeLeftOfTheTextAndItsButtons) {
  kipotest::registerWindowClass(u"BoxLookOwner", lookingOwnerProc);
  HWND owner = CreateWindowExW(0, u"BoxLookOwner", u"o", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
  struct Case {
    UINT type;
    bool icon;
    std::vector<int> buttons;
  };
  const Case cases[] = {{MB_OK, false, {IDOK}},
                        {MB_OK | MB_ICONERROR, true, {IDOK}},
                        {MB_YESNO | MB_ICONQUESTION, true, {IDYES, IDNO}},
                        {MB_OKCANCEL | MB_ICONWARNING, true, {IDOK, IDCANCEL}},
                        {MB_ABORTRETRYIGNORE | MB_ICONINFORMATION, true, {IDABORT, IDRETRY, IDIGNORE}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    g_look = BoxLook{};
    MessageBoxW(owner, u"look here", u"c", c.type);
    EXPECT_EQ(g_look.iconControl, c.icon);
    EXPECT_EQ(g_look.iconImage, c.icon);
    EXPECT_EQ(g_look.textRightOfIcon, c.icon);
    EXPECT_EQ(g_look.buttons, c.buttons);
  }
  DestroyWindow(owner);
}

TEST_F(UiDriverTest, ABoxWithoutTheButtonRefusesAndEndsUnanswered) {
  platform::ui::Script s;
  s.box(u"x").answer(IDYES);
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"c", MB_OKCANCEL), IDCANCEL);
  ASSERT_EQ(s.failures().size(), 2u);
  EXPECT_NE(s.failures()[0].find("no control 6"), std::string::npos) << s.failures()[0];
}

TEST_F(UiDriverTest, EnterPressesTheDefaultButtonAndTheOwnerComesBack) {
  HWND owner = CreateWindowExW(0, u"Static", u"owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  kipotest::UiScript ui;
  ui.box(u"Save").enter();
  EXPECT_EQ(MessageBoxW(owner, u"Save changes?", u"App", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
  EXPECT_TRUE(IsWindowEnabled(owner));
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].owner, owner);
  DestroyWindow(owner);
}

// Whether the other window took input while the box was up, seen from a thread timer.
HWND g_other = nullptr;
int g_enabledMeanwhile = -1;

TEST_F(UiDriverTest, ATaskModalBoxWithoutOwnerDisablesTheThreadsWindows) {
  g_other = CreateWindowExW(0, u"Static", u"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                            nullptr);
  g_enabledMeanwhile = -1;
  UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
    if (g_enabledMeanwhile < 0) g_enabledMeanwhile = IsWindowEnabled(g_other) ? 1 : 0;
  });
  {
    kipotest::UiScript ui;
    ui.box(u"busy").wait(200).answer(IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"busy", u"App", MB_OK | MB_TASKMODAL), IDOK);
  }
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_enabledMeanwhile, 0);
  EXPECT_TRUE(IsWindowEnabled(g_other));
  DestroyWindow(g_other);
}

TEST_F(UiDriverTest, MessageBoxAAndBeeps) {
  kipotest::UiScript ui;
  ui.box(u"plain").answer(IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "plain text", "Cap", MB_OK), IDOK);
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].caption, u"Cap");
  const std::size_t before = platform::dialog::beeps().size();
  EXPECT_TRUE(MessageBeep(MB_ICONEXCLAMATION));
  auto beeps = platform::dialog::beeps();
  ASSERT_EQ(beeps.size(), before + 1);
  EXPECT_EQ(beeps.back(), static_cast<UINT>(MB_ICONEXCLAMATION));
}

// ---- Popup menus ----

// A window that tracks the popup menu when asked and logs the commands it gets.
std::vector<std::string> g_menuLog;
UINT g_tracked = 0;
UINT g_trackFlags = TPM_RETURNCMD;

LRESULT CALLBACK ownerProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_INITMENUPOPUP: {
      g_menuLog.push_back("init");
      return 0;
    }
    case WM_COMMAND:
      g_menuLog.push_back("command " + std::to_string(LOWORD(w)));
      return 0;
    case WM_APP: {
      HMENU bar = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_POPUP));
      g_tracked = static_cast<UINT>(TrackPopupMenu(GetSubMenu(bar, 0), g_trackFlags, 10, 10, 0, h, nullptr));
      DestroyMenu(bar);
      return 0;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}

class UiMenuTest : public UiDriverTest {
 protected:
  void SetUp() override {
    UiDriverTest::SetUp();
    kipotest::registerWindowClass(u"UiMenuOwner", ownerProc);
    owner = CreateWindowExW(0, u"UiMenuOwner", u"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                            nullptr, nullptr, nullptr);
    g_menuLog.clear();
    g_tracked = 0;
    g_trackFlags = TPM_RETURNCMD;
  }
  void TearDown() override {
    DestroyWindow(owner);
    UiDriverTest::TearDown();
  }
  void pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  }
  HWND owner = nullptr;
};

TEST_F(UiMenuTest, APickedItemIsReturnedOrSentAsACommand) {
  {
    kipotest::UiScript ui;
    ui.window(u"#32768").menu(ID_ABOUT);
    SendMessageW(owner, WM_APP, 0, 0);
    EXPECT_EQ(g_tracked, static_cast<UINT>(ID_ABOUT));
    EXPECT_EQ(g_menuLog, (std::vector<std::string>{"init", "init"}));  // the popup and its submenu
  }
  {
    g_trackFlags = TPM_RIGHTBUTTON;
    g_menuLog.clear();
    kipotest::UiScript ui;
    ui.window(u"#32768").menu(ID_OPEN);
    SendMessageW(owner, WM_APP, 0, 0);
    EXPECT_EQ(g_tracked, 1u);
    pump();
    EXPECT_EQ(g_menuLog.back(), "command " + std::to_string(ID_OPEN));
  }
}

TEST_F(UiMenuTest, AGrayedItemRefusesAndAnUnexpectedMenuIsDismissed) {
  platform::ui::Script s;
  s.window(u"#32768").menu(ID_SYNC);
  SendMessageW(owner, WM_APP, 0, 0);
  EXPECT_EQ(g_tracked, 0u);
  const auto f = s.failures();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_NE(f[0].find("grayed"), std::string::npos) << f[0];
  EXPECT_NE(f[1].find("unanswered popup menu: [&Open] [&Sync now] [&More] [&About] [E&xit]"), std::string::npos)
      << f[1];
}

TEST_F(UiMenuTest, AMenuBarItemIsPickedThroughPump) {
  HMENU bar = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_POPUP));
  ASSERT_TRUE(SetMenu(owner, bar));
  EXPECT_EQ(GetMenu(owner), bar);
  EnableMenuItem(bar, ID_EXIT, MF_GRAYED);
  kipotest::UiScript ui;
  ui.window(u"UiMenuOwner").menu(ID_OPEN);
  ui.pump();
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(g_menuLog, (std::vector<std::string>{"init", "command " + std::to_string(ID_OPEN)}));
  platform::ui::Script s;
  s.window(u"UiMenuOwner").menu(ID_EXIT);
  s.pump();
  ASSERT_EQ(s.failures().size(), 1u);
  EXPECT_NE(s.failures()[0].find("grayed"), std::string::npos);
}

}  // namespace
