// The Outlook stand-in (the foreign program run as OUTLOOK.EXE) as the host's mail client: its
// logon at start by "PickLogonProfile", mail it sends arriving in another personal folders file of
// the host, mail delivered to its store appearing in its Inbox, and its logoff before the close
// prompt.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/base/text.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kOutlook[] = u"\"C:\\Program Files\\Microsoft Office\\OFFICE11\\OUTLOOK.EXE\" --log C:\\outlook.log";

class OutlookProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", "2003"}, nullptr, &err), 0) << err;
    ASSERT_EQ(kipotest::runTool({"mapi", "profile", "add", "Home", "--pst", "C:\\home.pst", "--address", "me@home.example",
                                 "--default"},
                                nullptr, &err),
              0)
        << err;
    ASSERT_EQ(kipotest::runTool({"mapi", "profile", "add", "Work", "--pst", "C:\\work.pst", "--address", "me@work.example"},
                                nullptr, &err),
              0)
        << err;
  }
  void TearDown() override {
    if (outlook) {
      TerminateProcess(outlook, 1);
      WaitForSingleObject(outlook, 10000);
      CloseHandle(outlook);
    }
  }

  static void pickLogonProfile(const char16_t* value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Microsoft\\Exchange\\Client\\Options", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string v = value;
    RegSetValueExW(key, u"PickLogonProfile", 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                   static_cast<DWORD>((v.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
  }
  void start(const std::u16string& extra = u"") {
    std::u16string line = kOutlook + extra;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
    CloseHandle(pi.hThread);
    outlook = pi.hProcess;
  }
  std::string log() {
    std::ifstream in(host.c("outlook.log"), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Waits up to 10 s for a line in the log.
  bool logged(const std::string& line) {
    for (int i = 0; i < 1000; ++i) {
      if (log().find("OUTLOOK.EXE " + line + "\r\n") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  static HWND waitForShownBox(const char16_t* title) {
    for (int i = 0; i < 1000; ++i) {
      HWND box = FindWindowW(u"#32770", title);
      if (box && IsWindowVisible(box)) return box;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
  }
  static std::string run(const std::vector<std::string>& args) {
    std::string out, err;
    EXPECT_EQ(kipotest::runTool(args, &out, &err), 0) << err;
    return out;
  }

  kipotest::TestHost host;
  HANDLE outlook = nullptr;
};

TEST_F(OutlookProgram, PickLogonProfileDecidesBetweenSilentLogonAndTheProfileDialog) {
  pickLogonProfile(u"0");
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(logged("logon Personal Folders")) << log();
  EXPECT_EQ(FindWindowW(u"#32770", u"Choose Profile"), nullptr);
  TerminateProcess(outlook, 0);
  WaitForSingleObject(outlook, 10000);
  CloseHandle(outlook);
  outlook = nullptr;
  fs::remove(host.c("outlook.log"));

  pickLogonProfile(u"1");
  ASSERT_NO_FATAL_FAILURE(start());
  HWND box = waitForShownBox(u"Choose Profile");
  ASSERT_NE(box, nullptr) << log();
  EXPECT_EQ(log().find("logon"), std::string::npos) << "no logon before the dialog is answered";
  SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(logged("logon Personal Folders")) << log();
}

TEST_F(OutlookProgram, SendsToAnotherStoreAndSeesDeliveredMailInItsInbox) {
  pickLogonProfile(u"0");
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(logged("logon Personal Folders")) << log();

  run({"outlook", "send", "--to", "ME@work.example", "--subject", "Minutes", "--body", "See attached"});
  EXPECT_TRUE(logged("sent Minutes"));
  const std::string work = run({"mapi", "dump", "C:\\work.pst"});
  EXPECT_NE(work.find("folder Inbox\n  item IPM.Note Minutes\n"), std::string::npos) << work;
  const std::string home = run({"mapi", "dump", "C:\\home.pst"});
  EXPECT_NE(home.find("folder Sent Items\n  item IPM.Note Minutes\n"), std::string::npos) << home;
  EXPECT_EQ(home.find("folder Inbox\n  item IPM.Note Minutes\n"), std::string::npos) << "not the sender's own";
  EXPECT_NE(run({"mapi", "sent"}).find("ME@work.example"), std::string::npos) << "as the sender gave it";

  // Nobody owns an unknown address: nothing arrives anywhere but the sender's Sent Items.
  run({"outlook", "send", "--to", "nobody@else.example", "--subject", "Lost", "--body", ""});
  EXPECT_EQ(run({"mapi", "dump", "C:\\work.pst"}).find("Lost"), std::string::npos);

  run({"mapi", "deliver", "C:\\home.pst", "--from", "boss@work.example", "--subject", "Welcome"});
  EXPECT_TRUE(logged("inbox Welcome")) << log();
}

TEST_F(OutlookProgram, LogsOffBeforeTheClosePrompt) {
  pickLogonProfile(u"0");
  ASSERT_NO_FATAL_FAILURE(start(u" --close confirm"));
  ASSERT_TRUE(logged("logon Personal Folders")) << log();
  HWND main = FindWindowW(u"rctrl_renwnd32", nullptr);
  ASSERT_NE(main, nullptr);
  PostMessageW(main, WM_CLOSE, 0, 0);
  HWND box = waitForShownBox(nullptr);
  ASSERT_NE(box, nullptr);
  const std::string text = log();
  const std::size_t logoff = text.find("logoff"), close = text.find("close"), shown = text.find("confirm shown");
  ASSERT_NE(logoff, std::string::npos) << text;
  EXPECT_LT(logoff, close) << text;
  EXPECT_LT(close, shown) << text;
  SendMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  EXPECT_EQ(WaitForSingleObject(outlook, 10000), WAIT_OBJECT_0);
}

}  // namespace
