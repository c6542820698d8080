// The drive password dialogs driven as a user would: the password dialog's three results and its
// three-strikes rule, taking the focus from another thread's foreground window, and the
// change-password dialog in both modes.
#include "ui/password_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "tests/support/ui_script.h"
#include "tests/ui/drive_dialog_fixture.h"
#include "ui/change_password_dialog.h"

namespace {

using drivetest::DriveDialogTest;

class PasswordDialogTest : public DriveDialogTest {};

TEST_F(PasswordDialogTest, EndsWithTheButtonsResult) {
  struct Case {
    const char* name;
    int button;
    INT_PTR result;
  };
  const Case cases[] = {
      {"OK with the right password", IDOK, IDOK},
      {"Cancel", IDCANCEL, IDCANCEL},
      {"forgotten password", IDC_PW_FORGOT, CPasswordDialog::kForgotPasswordResult},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kipotest::UiScript ui;
    ui.dialog(IDD_PASSWORD).type(IDC_PW_PASSWORD, u"secret").click(c.button);
    CPasswordDialog dialog;
    EXPECT_EQ(dialog.DoModal(), c.result);
    ui.verify();
    if (c.result == IDOK) {
      EXPECT_EQ(dialog.m_password, CString(u"secret"));
    }
  }
  EXPECT_TRUE(boxes.empty());
  // Only OK checks the password.
  EXPECT_EQ(sdk.checks, 1);
}

TEST_F(PasswordDialogTest, ThirdWrongPasswordCancels) {
  kipotest::UiScript ui;
  ui.dialog(IDD_PASSWORD)
      .type(IDC_PW_PASSWORD, u"wrong1").click(IDOK)
      .type(IDC_PW_PASSWORD, u"wrong2").click(IDOK)
      .type(IDC_PW_PASSWORD, u"wrong3").click(IDOK);
  CPasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ui.verify();
  EXPECT_EQ(dialog.m_failedAttempts, 3);
  const std::vector<UINT> expected = {IDS_PW_WRONG_TRY_AGAIN, IDS_PW_WRONG_TRY_AGAIN, 0};
  EXPECT_EQ(boxIds({IDS_PW_WRONG_TRY_AGAIN}), expected);
  // The last box names the device.
  EXPECT_NE(utf8(boxes.back().text).find("USB device"), std::string::npos);
}

TEST_F(PasswordDialogTest, WrongThenRightPasswordOpens) {
  kipotest::UiScript ui;
  ui.dialog(IDD_PASSWORD)
      .type(IDC_PW_PASSWORD, u"wrong").click(IDOK)
      .type(IDC_PW_PASSWORD, u"secret").click(IDOK);
  CPasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_password, CString(u"secret"));
  EXPECT_EQ(boxIds({IDS_PW_WRONG_TRY_AGAIN}), std::vector<UINT>{IDS_PW_WRONG_TRY_AGAIN});
}

TEST_F(PasswordDialogTest, ASixteenthCharacterIsNotTaken) {
  sdk.stored = u"123456789012345";
  kipotest::UiScript ui;
  ui.dialog(IDD_PASSWORD).type(IDC_PW_PASSWORD, u"1234567890123456").click(IDOK);
  CPasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_password, CString(u"123456789012345"));
}

TEST_F(PasswordDialogTest, CheckThatDoesNotRunKeepsTheDialogOpen) {
  sdk.checkWorks = false;
  kipotest::UiScript ui;
  ui.dialog(IDD_PASSWORD).type(IDC_PW_PASSWORD, u"secret").click(IDOK).click(IDCANCEL);
  CPasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(boxIds({IDS_PW_NOT_VERIFIED}), std::vector<UINT>{IDS_PW_NOT_VERIFIED});
  EXPECT_EQ(dialog.m_failedAttempts, 0);
}

TEST_F(PasswordDialogTest, WithoutADeviceLibraryOkReportsAndCloses) {
  services.sdk = nullptr;
  kipotest::UiScript ui;
  ui.dialog(IDD_PASSWORD).type(IDC_PW_PASSWORD, u"x").click(IDOK);
  CPasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(boxIds({IDS_PW_NOT_SUPPORTED}), std::vector<UINT>{IDS_PW_NOT_SUPPORTED});
}

TEST_F(PasswordDialogTest, ChangeButtonRunsTheChangeDialog) {
  kipotest::UiScript ui;
  ui.dialog(IDD_PASSWORD).click(IDC_PW_CHANGE)
      .dialog(IDD_CHANGE_PASSWORD).type(IDC_PW_CURRENT, u"secret").type(IDC_PW_NEW, u"fresh")
      .type(IDC_PW_CONFIRM, u"fresh").click(IDOK)
      .dialog(IDD_PASSWORD).type(IDC_PW_PASSWORD, u"fresh").click(IDOK);
  CPasswordDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ASSERT_EQ(sdk.changes.size(), 1u);
  EXPECT_EQ(sdk.changes[0].oldPassword, CString(u"secret"));
  EXPECT_EQ(sdk.changes[0].newPassword, CString(u"fresh"));
  EXPECT_EQ(boxIds({IDS_PW_CHANGED}), std::vector<UINT>{IDS_PW_CHANGED});
}

class ChangePasswordDialogTest : public DriveDialogTest {};

TEST_F(ChangePasswordDialogTest, ChangeModeRefusesThenChanges) {
  kipotest::UiScript ui;
  ui.dialog(IDD_CHANGE_PASSWORD)
      // Differ only in case: refused.
      .type(IDC_PW_CURRENT, u"secret").type(IDC_PW_NEW, u"abc").type(IDC_PW_CONFIRM, u"ABC").click(IDOK)
      // Wrong current password: refused.
      .type(IDC_PW_CURRENT, u"nope").type(IDC_PW_CONFIRM, u"abc").click(IDOK)
      .type(IDC_PW_CURRENT, u"secret").click(IDOK);
  CChangePasswordDialog dialog(CChangePasswordDialog::kChangeMode);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  const std::vector<UINT> expected = {IDS_PW_MISMATCH, IDS_PW_INCORRECT, IDS_PW_CHANGED};
  EXPECT_EQ(boxIds({IDS_PW_MISMATCH, IDS_PW_INCORRECT, IDS_PW_CHANGED}), expected);
  ASSERT_EQ(sdk.changes.size(), 1u);
  EXPECT_EQ(sdk.changes[0].newPassword, CString(u"abc"));
}

TEST_F(ChangePasswordDialogTest, ChangeModeResultsOfTheLibrary) {
  struct Case {
    const char* name;
    bool works, accepted;
    UINT box;
    bool closes;
  };
  const Case cases[] = {
      {"call failed", false, false, IDS_PW_NOT_CHANGED, true},
      {"change refused", true, false, IDS_PW_INCORRECT, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    sdk.changeWorks = c.works;
    sdk.acceptChange = c.accepted;
    kipotest::UiScript ui;
    ui.dialog(IDD_CHANGE_PASSWORD).type(IDC_PW_CURRENT, u"secret").type(IDC_PW_NEW, u"n").type(IDC_PW_CONFIRM, u"n")
        .click(IDOK);
    if (!c.closes) ui.click(IDCANCEL);
    CChangePasswordDialog dialog(CChangePasswordDialog::kChangeMode);
    EXPECT_EQ(dialog.DoModal(), c.closes ? IDOK : IDCANCEL);
    EXPECT_EQ(boxIds({c.box}), std::vector<UINT>{c.box});
  }
}

TEST_F(ChangePasswordDialogTest, ChangeModeWithoutSecureAreaExplainsAndCancels) {
  sdk.secureArea = false;
  CChangePasswordDialog dialog(CChangePasswordDialog::kChangeMode);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ASSERT_EQ(boxes.size(), 1u);
  // Every "~" became the device's name.
  EXPECT_EQ(utf8(boxes[0].text).find('~'), std::string::npos);
  EXPECT_NE(utf8(boxes[0].text).find("this USB device has no DaroriDede"), std::string::npos);
}

TEST_F(ChangePasswordDialogTest, FirstPasswordSwitchesProtectionOnWithButtonsOff) {
  CChangePasswordDialog dialog(CChangePasswordDialog::kFirstPasswordMode);
  bool buttonsOff = false, noticeShown = false;
  services.duringFirstPassword = [&] {
    buttonsOff = !dialog.GetDlgItem(IDOK)->IsWindowEnabled() && !dialog.GetDlgItem(IDCANCEL)->IsWindowEnabled();
    noticeShown = dialog.GetDlgItem(IDC_PW_FORMATTING)->IsWindowVisible();
  };
  kipotest::UiScript ui;
  ui.dialog(IDD_FIRST_PASSWORD).type(IDC_PW_NEW, u"first").type(IDC_PW_CONFIRM, u"first").click(IDOK);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ASSERT_EQ(services.firstPasswords.size(), 1u);
  EXPECT_EQ(services.firstPasswords[0], CString(u"first"));
  EXPECT_TRUE(services.secondTexts[0].IsEmpty());
  EXPECT_TRUE(buttonsOff);
  EXPECT_TRUE(noticeShown);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ChangePasswordDialogTest, FirstPasswordFailureReportsAndCancels) {
  services.firstPasswordWorks = false;
  kipotest::UiScript ui;
  // An empty password is asked about first (the sink answers Yes).
  ui.dialog(IDD_FIRST_PASSWORD).click(IDOK);
  CChangePasswordDialog dialog(CChangePasswordDialog::kFirstPasswordMode);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  const std::vector<UINT> expected = {IDS_PW_EMPTY_QUESTION, 0};
  EXPECT_EQ(boxIds({IDS_PW_EMPTY_QUESTION}), expected);
  EXPECT_NE(utf8(boxes[1].text).find("\"Synchronized Computers\""), std::string::npos);
}

TEST_F(ChangePasswordDialogTest, EmptyPasswordRefusedKeepsTheDialog) {
  answers = {IDNO};
  kipotest::UiScript ui;
  ui.dialog(IDD_FIRST_PASSWORD).click(IDOK).click(IDCANCEL);
  CChangePasswordDialog dialog(CChangePasswordDialog::kFirstPasswordMode);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(services.firstPasswords.empty());
}

// The dialog's own way of taking the focus, reachable from the test.
class ForegroundProbe : public CPasswordDialog {
 public:
  using CPasswordDialog::bringToForeground;
};

constexpr UINT kAskActive = WM_USER + 90;

LRESULT CALLBACK foregroundProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kAskActive) return reinterpret_cast<LRESULT>(GetActiveWindow());
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(PasswordDialogTest, TakesTheFocusFromAnotherThreadsForegroundWindow) {
  ForegroundProbe dialog;
  ASSERT_TRUE(dialog.Create(IDD_PASSWORD));
  dialog.ShowWindow(SW_SHOW);

  // Another thread of the program comes to the foreground, as a second window would.
  WNDCLASSW wc{};
  wc.lpfnWndProc = foregroundProc;
  wc.lpszClassName = u"KipoForegroundTest";
  RegisterClassW(&wc);
  std::atomic<HWND> other{nullptr};
  std::atomic<bool> stop{false};
  std::thread thread([&] {
    HWND w = CreateWindowExW(0, u"KipoForegroundTest", u"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                             nullptr, nullptr, nullptr);
    SetForegroundWindow(w);
    other = w;
    while (!stop) {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      Sleep(1);
    }
    DestroyWindow(w);
  });
  while (!other) Sleep(1);
  ASSERT_EQ(GetForegroundWindow(), other.load());
  ASSERT_EQ(reinterpret_cast<HWND>(SendMessageW(other, kAskActive, 0, 0)), other.load());

  dialog.bringToForeground();
  EXPECT_EQ(GetForegroundWindow(), dialog.m_hWnd);
  EXPECT_EQ(GetActiveWindow(), dialog.m_hWnd);
  EXPECT_TRUE(IsChild(dialog.m_hWnd, GetFocus()));
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(AttachThreadInput(GetWindowThreadProcessId(other, nullptr), GetCurrentThreadId(), FALSE))
      << "and separated again";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  stop = true;
  thread.join();
  dialog.DestroyWindow();
  UnregisterClassW(u"KipoForegroundTest", nullptr);
}

}  // namespace
