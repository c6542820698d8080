// The drive-choice dialog of a setup program that loaded Fennock, driven from another process as
// a user would: its template by language, the lines of the drives other than the system drive and
// CD-ROMs, the preselected removable drive, OK disabled on an empty list, and the chosen letter
// (a blank when cancelled or when nothing is selected) as the export's result.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/fennock/fennock_fixture.h"

namespace {

using namespace fennocktest;

class DriveDialogTest : public FennockTest {
 protected:
  void SetUp() override {
    FennockTest::SetUp();
    fs::copy_file(KIPO_SETUP_PROBE, host.c("Setup/setup.exe"), fs::copy_options::overwrite_existing);
  }
  // Starts the setup program on the dialog and waits for the dialog.
  HWND open(const std::u16string& language) {
    std::u16string line = u"C:\\Setup\\setup.exe C:\\Setup\\Fennock.dll Fennock_GetDriveDlg " + language;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    for (int i = 0; i < 4000; ++i) {
      for (HWND w = FindWindowExW(nullptr, nullptr, u"#32770", nullptr); w; w = FindWindowExW(nullptr, w, u"#32770", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pi.dwProcessId && IsWindowVisible(w)) return w;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return nullptr;
  }
  // The export's result: the setup program's exit code.
  int result() {
    EXPECT_EQ(WaitForSingleObject(process_, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
    process_ = nullptr;
    return static_cast<int>(code);
  }
  static std::string caption(HWND w) {
    WCHAR text[256] = {};
    GetWindowTextW(w, text, 256);
    return platform::text::toUtf8(text);
  }
  static std::vector<std::string> lines(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_FENNOCK_DRIVE_LIST);
    std::vector<std::string> out;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      WCHAR text[512] = {};
      SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      out.push_back(platform::text::toUtf8(text));
    }
    return out;
  }
  void TearDown() override {
    if (process_) {
      TerminateProcess(process_, 1);
      CloseHandle(process_);
    }
    FennockTest::TearDown();
  }
  HANDLE process_ = nullptr;
};

TEST_F(DriveDialogTest, TheRemovableDriveIsPreselectedAndChosen) {
  plug(u'E', u"0781", u"FLASH1");
  plug(u'G', u"05AC", u"IPOD1");
  HWND dialog = open(u"ENU");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(caption(dialog), "Kipo Install");
  const std::vector<std::string> shown = lines(dialog);
  ASSERT_EQ(shown.size(), 2u) << "the system drive is not offered";
  EXPECT_EQ(shown[0].substr(0, 4), "E:  ");
  EXPECT_EQ(shown[1].substr(0, 4), "G:  ");
  for (const std::string& line : shown) EXPECT_EQ(line.substr(line.size() - 11), "(Removable)") << line;
  HWND list = GetDlgItem(dialog, IDC_FENNOCK_DRIVE_LIST);
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
  SendMessageW(list, LB_SETCURSEL, 1, 0);
  SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(result(), 'G');
}

TEST_F(DriveDialogTest, CancelAndOkWithoutASelectionGiveABlank) {
  plug(u'E', u"0781", u"FLASH1");
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "cancel" : "OK with nothing selected");
    HWND dialog = open(u"ENU");
    ASSERT_NE(dialog, nullptr);
    if (cancel) {
      SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    } else {
      SendMessageW(GetDlgItem(dialog, IDC_FENNOCK_DRIVE_LIST), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(result(), ' ');
  }
}

TEST_F(DriveDialogTest, OnlyTheSystemDriveLeavesAnEmptyListAndOkDisabled) {
  for (const char16_t* language : {u"JPN", u"jpn"}) {
    SCOPED_TRACE(platform::text::toUtf8(language));
    HWND dialog = open(language);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(caption(dialog), std::u16string(language) == u"JPN" ? "Kipoインストール" : "Kipo Install");
    EXPECT_TRUE(lines(dialog).empty());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(result(), ' ');
  }
}

}  // namespace
