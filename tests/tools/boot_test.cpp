// kipo-host boot and shutdown against a host with real processes: a power loss ends everything,
// Explorer comes back and the start-up entries run in Windows' order (each machine RunOnce value
// gone before its program runs, and finished before the next); a session end asks every window
// and stops at a veto.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using platform::text::fromUtf8;

constexpr char16_t kRunOnce[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kWord = "\"C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE\"";
constexpr const char* kExcel = "\"C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE\"";

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

HWND waitForWindow(const char16_t* cls, const char16_t* title = nullptr) {
  for (int i = 0; i < 1000; ++i) {
    if (HWND h = FindWindowW(cls, title)) return h;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

void setValue(HKEY root, const char16_t* path, const char16_t* name, const std::string& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  std::u16string wide = fromUtf8(data);
  ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                           static_cast<DWORD>((wide.size() + 1) * 2)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

bool valueExists(HKEY root, const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool found = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

HANDLE start(const std::string& line) {
  std::u16string wide = fromUtf8(line);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
  if (pi.hThread) CloseHandle(pi.hThread);
  return pi.hProcess;
}

class BootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
  void TearDown() override { kipotest::runTool({"shutdown"}); }

  std::string logLine(const char* tag) { return std::string(" --log C:\\boot.log --tag ") + tag; }
  kipotest::TestHost host_;
};

TEST_F(BootTest, PowerLossThenStartupEntriesInWindowsOrder) {
  HANDLE before = start(std::string(kExcel) + " --close never");
  ASSERT_NE(before, nullptr);
  ASSERT_NE(waitForWindow(u"XLMAIN"), nullptr);

  // Creation order, not name order: "Zulu" was made first.
  setValue(HKEY_LOCAL_MACHINE, kRunOnce, u"Zulu", std::string(kWord) + " --title zulu" + logLine("zulu"));
  setValue(HKEY_LOCAL_MACHINE, kRunOnce, u"Alpha", std::string(kWord) + " --title alpha" + logLine("alpha"));
  // These run side by side, so each writes a file of its own.
  setValue(HKEY_LOCAL_MACHINE, kRun, u"MachineRun", "cmd /c echo ran>C:\\machine-run.txt");
  setValue(HKEY_CURRENT_USER, kRun, u"UserRun", "cmd /c echo ran>C:\\user-run.txt");
  setValue(HKEY_CURRENT_USER, kRunOnce, u"UserOnce", "cmd /c echo ran>C:\\user-once.txt");

  std::string out, err;
  int rc = -1;
  std::thread boot([&] { rc = kipotest::runTool({"boot"}, &out, &err); });

  // The power loss took the earlier program with it.
  EXPECT_EQ(WaitForSingleObject(before, 10000), WAIT_OBJECT_0);
  CloseHandle(before);

  HWND zulu = waitForWindow(u"OpusApp", u"zulu");
  ASSERT_NE(zulu, nullptr);
  EXPECT_NE(FindWindowW(u"Shell_TrayWnd", nullptr), nullptr) << "Explorer comes first";
  EXPECT_FALSE(valueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"Zulu")) << "deleted before its program runs";
  EXPECT_TRUE(valueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"Alpha"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(FindWindowW(u"OpusApp", u"alpha"), nullptr) << "the next one waits for this one to finish";
  EXPECT_FALSE(fs::exists(host_.c("machine-run.txt"))) << "Run entries wait for the machine's RunOnce";
  PostMessageW(zulu, WM_CLOSE, 0, 0);

  HWND alpha = waitForWindow(u"OpusApp", u"alpha");
  ASSERT_NE(alpha, nullptr);
  EXPECT_FALSE(valueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"Alpha"));
  PostMessageW(alpha, WM_CLOSE, 0, 0);
  boot.join();
  EXPECT_EQ(rc, 0) << err;

  EXPECT_EQ(slurp(host_.c("boot.log")),
            "zulu start\r\nzulu close\r\nzulu exit\r\nalpha start\r\nalpha close\r\nalpha exit\r\n");
  // Run entries stay; the user's RunOnce entry is gone; all three ran, started in this order.
  EXPECT_TRUE(valueExists(HKEY_LOCAL_MACHINE, kRun, u"MachineRun"));
  EXPECT_TRUE(valueExists(HKEY_CURRENT_USER, kRun, u"UserRun"));
  EXPECT_FALSE(valueExists(HKEY_CURRENT_USER, kRunOnce, u"UserOnce"));
  std::size_t machine = out.find("HKLM Run MachineRun"), user = out.find("HKCU Run UserRun"),
              once = out.find("HKCU RunOnce UserOnce");
  ASSERT_NE(machine, std::string::npos) << out;
  ASSERT_NE(user, std::string::npos) << out;
  ASSERT_NE(once, std::string::npos) << out;
  EXPECT_LT(machine, user);
  EXPECT_LT(user, once);
  // They were not waited for: give them time to write.
  for (const char* file : {"machine-run.txt", "user-run.txt", "user-once.txt"}) {
    std::string written;
    for (int i = 0; i < 500 && (written = slurp(host_.c(file))).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(written, "ran\r\n") << file;
  }
}

void put(const fs::path& p, const std::string& content) { std::ofstream(p, std::ios::binary) << content; }

TEST_F(BootTest, PendingRenamesAreDoneBeforeTheShellStarts) {
  put(host_.c("gone.dll"), "g");
  put(host_.c("new.dll"), "new");
  put(host_.c("WINDOWS/placed.dll"), "old");
  put(host_.c("blocked.dll"), "b");
  put(host_.c("WINDOWS/taken.dll"), "taken");
  fs::create_directories(host_.c("EmptyDir"));
  struct Step {
    const char16_t* from;
    const char16_t* to;
    DWORD flags;
  } steps[] = {
      {u"C:\\gone.dll", nullptr, 0},                                          // a deletion
      {u"C:\\missing.dll", u"C:\\nowhere.dll", 0},                            // fails; the rest go on
      {u"C:\\new.dll", u"C:\\WINDOWS\\placed.dll", MOVEFILE_REPLACE_EXISTING},  // replaces
      {u"C:\\blocked.dll", u"C:\\WINDOWS\\taken.dll", 0},                     // may not replace: stays
      {u"C:\\EmptyDir", nullptr, 0},                                          // an empty folder goes too
  };
  for (const auto& s : steps) ASSERT_TRUE(MoveFileExW(s.from, s.to, s.flags | MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(fs::exists(host_.c("gone.dll"))) << "nothing happens before the next start";

  std::string out, err;
  ASSERT_EQ(kipotest::runTool({"boot"}, &out, &err), 0) << err;
  EXPECT_FALSE(fs::exists(host_.c("gone.dll")));
  EXPECT_FALSE(fs::exists(host_.c("new.dll")));
  EXPECT_EQ(slurp(host_.c("WINDOWS/placed.dll")), "new");
  EXPECT_EQ(slurp(host_.c("blocked.dll")), "b");
  EXPECT_EQ(slurp(host_.c("WINDOWS/taken.dll")), "taken");
  EXPECT_FALSE(fs::exists(host_.c("EmptyDir")));
  EXPECT_NE(out.find("pending rename C:\\missing.dll -> C:\\nowhere.dll: "), std::string::npos) << out;
  EXPECT_LT(out.find("pending delete C:\\gone.dll\n"), out.find("explorer.exe started")) << out;
  EXPECT_FALSE(valueExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                           u"PendingFileRenameOperations"))
      << "done once";
  out.clear();
  ASSERT_EQ(kipotest::runTool({"boot"}, &out, &err), 0) << err;
  EXPECT_EQ(out.find("pending"), std::string::npos) << out;
}

TEST_F(BootTest, ShutdownStopsAtAVetoAndOtherwiseEndsEveryProcess) {
  HANDLE word = start(std::string(kWord) + " --veto" + logLine("word"));
  HANDLE excel = start(std::string(kExcel) + logLine("excel"));
  ASSERT_TRUE(word && excel);
  ASSERT_NE(waitForWindow(u"OpusApp"), nullptr);
  ASSERT_NE(waitForWindow(u"XLMAIN"), nullptr);

  std::string out;
  EXPECT_EQ(kipotest::runTool({"shutdown"}, &out), 1);
  EXPECT_NE(out.find("shutdown cancelled by WINWORD.EXE"), std::string::npos) << out;
  EXPECT_EQ(WaitForSingleObject(word, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(excel, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  std::string log = slurp(host_.c("boot.log"));
  EXPECT_NE(log.find("word queryendsession veto\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("word endsession"), std::string::npos) << "the vetoing program is not told";
  if (log.find("excel queryendsession ok") != std::string::npos) {
    EXPECT_NE(log.find("excel endsession cancelled\r\n"), std::string::npos) << log;
  }

  PostMessageW(FindWindowW(u"OpusApp", nullptr), WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(word, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(kipotest::runTool({"shutdown"}, &out), 0) << out;
  EXPECT_EQ(WaitForSingleObject(excel, 10000), WAIT_OBJECT_0);
  log = slurp(host_.c("boot.log"));
  EXPECT_NE(log.find("excel queryendsession ok\r\nexcel endsession\r\n"), std::string::npos) << log;
  CloseHandle(word);
  CloseHandle(excel);
}

}  // namespace
