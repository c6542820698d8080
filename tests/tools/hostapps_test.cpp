// The host's stand-in programs seen from another process, as the product sees them: the foreign
// programs' main windows and their answers to WM_CLOSE (at once, later, never, or after their
// confirmation box is answered), and Explorer's desktop and taskbar windows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/shell.h"
#include "platform/win32/sync.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using platform::text::fromUtf8;
using platform::text::toUtf8;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Polls for a top-level window of another process (up to 10 s).
HWND waitForWindow(const char16_t* cls, const char16_t* title = nullptr) {
  for (int i = 0; i < 1000; ++i) {
    if (HWND h = FindWindowW(cls, title)) return h;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

// Polls for a dialog box of another process until it is shown: the box exists before its
// buttons, and a loaded machine can find it in between.
HWND waitForShownBox(const char16_t* title = nullptr) {
  HWND box = waitForWindow(u"#32770", title);
  for (int i = 0; box && i < 1000 && !IsWindowVisible(box); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return box;
}

class HostAppsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
  void TearDown() override {
    for (HANDLE h : started_) {
      TerminateProcess(h, 1);
      CloseHandle(h);
    }
  }

  // Starts a Windows command line; the handle is closed (and the process ended) after the test.
  HANDLE start(const std::string& line) {
    std::u16string wide = fromUtf8(line);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << "cannot start " << line << ": error " << GetLastError();
      return nullptr;
    }
    if (pi.hThread) CloseHandle(pi.hThread);
    started_.push_back(pi.hProcess);
    return pi.hProcess;
  }

  // WAIT_OBJECT_0 when the process ended within `ms`.
  static DWORD waitEnd(HANDLE process, DWORD ms = 10000) { return WaitForSingleObject(process, ms); }
  static DWORD exitCode(HANDLE process) {
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(process, &code);
    return code;
  }

  kipotest::TestHost host_;
  std::vector<HANDLE> started_;
};

constexpr const char* kWord = "\"C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE\"";

TEST_F(HostAppsTest, ForeignProgramsOwnTheWindowClassOfTheirImageName) {
  struct Case {
    const char* path;
    const char16_t* windowClass;
  } cases[] = {
      {"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE", u"IEFrame"},
      {"C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE", u"OpusApp"},
      {"C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE", u"XLMAIN"},
      {"C:\\Program Files\\Microsoft Office\\OFFICE11\\POWERPNT.EXE", u"PP11FrameClass"},
      {"C:\\Program Files\\Microsoft Office\\OFFICE11\\OUTLOOK.EXE", u"rctrl_renwnd32"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.path);
    HANDLE p = start(std::string("\"") + k.path + "\"");
    HWND w = waitForWindow(k.windowClass);
    ASSERT_NE(w, nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    EXPECT_EQ(pid, GetProcessId(p));
    EXPECT_TRUE(IsWindowVisible(w));
    // The default answer to WM_CLOSE is to end at once.
    ASSERT_TRUE(PostMessageW(w, WM_CLOSE, 0, 0));
    EXPECT_EQ(waitEnd(p), WAIT_OBJECT_0);
  }
}

TEST_F(HostAppsTest, CloseModesFromTheCommandLine) {
  HANDLE never = start(std::string(kWord) + " --class NeverClass --title \"Stays\" --close never");
  HANDLE later = start(std::string(kWord) + " --class LaterClass --close delay:300 --exit-code 0x8000000F");
  HWND n = waitForWindow(u"NeverClass", u"Stays");
  HWND l = waitForWindow(u"LaterClass");
  ASSERT_TRUE(n && l);
  auto asked = std::chrono::steady_clock::now();
  PostMessageW(n, WM_CLOSE, 0, 0);
  PostMessageW(l, WM_CLOSE, 0, 0);
  ASSERT_EQ(waitEnd(later), WAIT_OBJECT_0);
  EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(300));
  EXPECT_EQ(exitCode(later), 0x8000000Fu) << "the full 32-bit code is kept";
  EXPECT_EQ(waitEnd(never, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(IsWindow(n));
}

TEST_F(HostAppsTest, ConfirmationBoxAnsweredFromAnotherProcess) {
  HANDLE word = start(std::string(kWord) + " --close confirm --log C:\\word.log");
  HWND main = waitForWindow(u"OpusApp");
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(PostMessageW(main, WM_CLOSE, 0, 0));
  HWND box = waitForShownBox();
  ASSERT_NE(box, nullptr);
  WCHAR title[256] = {};
  GetWindowTextW(box, title, 256);
  EXPECT_EQ(toUtf8(title).rfind("Microsoft Office Word", 0), 0u) << toUtf8(title);
  EXPECT_EQ(GetWindow(box, GW_OWNER), main);
  EXPECT_FALSE(IsWindowEnabled(main)) << "the box is modal";

  // The Yes button is found as a closer finds it: a "Button" child whose text starts with "&Yes".
  HWND yes = FindWindowExW(box, nullptr, u"Button", u"&Yes");
  ASSERT_NE(yes, nullptr);
  EXPECT_EQ(GetDlgCtrlID(yes), 6);
  EXPECT_EQ(GetDlgCtrlID(FindWindowExW(box, nullptr, u"Button", u"&No")), 7);
  EXPECT_NE(FindWindowExW(box, nullptr, u"Static", nullptr), nullptr);
  EXPECT_EQ(waitEnd(word, 200), static_cast<DWORD>(WAIT_TIMEOUT)) << "nothing ends before the answer";

  SendMessageW(yes, BM_CLICK, 0, 0);
  // A closer clicks twice; the second click finds no window any more.
  SendMessageW(yes, BM_CLICK, 0, 0);
  ASSERT_EQ(waitEnd(word), WAIT_OBJECT_0);
  EXPECT_FALSE(IsWindow(main));
  EXPECT_FALSE(IsWindow(box));
  EXPECT_EQ(slurp(host_.c("word.log")),
            "WINWORD.EXE start\r\nWINWORD.EXE close\r\nWINWORD.EXE confirm shown\r\nWINWORD.EXE confirm yes\r\n"
            "WINWORD.EXE exit\r\n");
}

TEST_F(HostAppsTest, ConfirmationBoxCancelledKeepsTheProgram) {
  HANDLE word = start(std::string(kWord) + " --close confirm --confirm-title \"Microsoft Word\" --yes-text \"&Oui\"");
  HWND main = waitForWindow(u"OpusApp");
  ASSERT_NE(main, nullptr);
  PostMessageW(main, WM_CLOSE, 0, 0);
  HWND box = waitForShownBox(u"Microsoft Word");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(FindWindowExW(box, nullptr, u"Button", u"&Yes"), nullptr);
  HWND cancel = FindWindowExW(box, nullptr, u"Button", u"Cancel");
  ASSERT_NE(cancel, nullptr);
  SendMessageW(cancel, BM_CLICK, 0, 0);
  // The box goes when the program's modal loop has ended, just after the click.
  for (int i = 0; i < 500 && IsWindow(box); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(IsWindow(box));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(waitEnd(word, 200), static_cast<DWORD>(WAIT_TIMEOUT));
  // Asked again, it asks again.
  PostMessageW(main, WM_CLOSE, 0, 0);
  box = waitForShownBox(u"Microsoft Word");
  ASSERT_NE(box, nullptr);
  SendMessageW(FindWindowExW(box, nullptr, u"Button", u"&Oui"), BM_CLICK, 0, 0);
  EXPECT_EQ(waitEnd(word), WAIT_OBJECT_0);
}

TEST_F(HostAppsTest, ToolStartsProgramsAndMessagesTheirWindows) {
  std::string out, err;
  EXPECT_EQ(kipotest::runTool({"run", "cmd /c exit 7", "--wait"}, &out, &err), 7) << err;
  EXPECT_NE(out.find("exit code 7 (0x00000007)"), std::string::npos) << out;

  ASSERT_EQ(kipotest::runTool({"run", std::string(kWord) + " --title \"Letter - Microsoft Word\""}, &out, &err), 0)
      << err;
  DWORD pid = static_cast<DWORD>(std::stoul(out));
  ASSERT_EQ(kipotest::runTool({"wait-window", "--class", "OpusApp", "--timeout", "10"}, &out), 0);
  HWND word = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::stoul(out, nullptr, 16)));
  EXPECT_EQ(word, FindWindowW(u"OpusApp", nullptr));

  ASSERT_EQ(kipotest::runTool({"ps"}, &out), 0);
  EXPECT_NE(out.find(std::to_string(pid) + " "), std::string::npos) << out;
  EXPECT_NE(out.find("WINWORD.EXE"), std::string::npos) << out;
  ASSERT_EQ(kipotest::runTool({"windows"}, &out), 0);
  EXPECT_NE(out.find("\"OpusApp\" \"Letter - Microsoft Word\" pid " + std::to_string(pid) + " WINWORD.EXE visible"),
            std::string::npos)
      << out;

  // send marshals text; post delivers WM_CLOSE by name.
  char handle[16];
  std::snprintf(handle, sizeof handle, "0x%08lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(word)));
  ASSERT_EQ(kipotest::runTool({"send", handle, "WM_SETTEXT", "0", "text:Renamed"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "1\n");
  WCHAR title[64] = {};
  GetWindowTextW(word, title, 64);
  EXPECT_EQ(toUtf8(title), "Renamed");
  ASSERT_EQ(kipotest::runTool({"post", handle, "WM_CLOSE", "0", "0"}, &out, &err), 0) << err;
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (h) {
    EXPECT_EQ(waitEnd(h), WAIT_OBJECT_0);
    CloseHandle(h);
  }
  EXPECT_EQ(kipotest::runTool({"wait-window", "--class", "OpusApp", "--timeout", "0.2"}, &out, &err), 1);
  EXPECT_EQ(kipotest::runTool({"post", handle, "WM_CLOSE", "0", "0"}, &out, &err), 1) << "the window is gone";
}

constexpr const char* kExplorer = "C:\\WINDOWS\\explorer.exe";

// Asks Explorer to start a command line as the shell does; the process id.
DWORD runFromShell(HWND tray, const std::u16string& line) {
  COPYDATASTRUCT data{0x4E55524B, static_cast<DWORD>((line.size() + 1) * sizeof(char16_t)),
                      const_cast<char16_t*>(line.c_str())};
  DWORD_PTR pid = 0;
  SendMessageTimeoutW(tray, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000, &pid);
  return static_cast<DWORD>(pid);
}

TEST_F(HostAppsTest, ExplorerOwnsTheTaskbarAlongTheEdgeTheHostNames) {
  platform::host::Host& host = platform::host::Host::current();
  host.setFact(platform::host::fact::ScreenWidth, "800");
  host.setFact(platform::host::fact::ScreenHeight, "600");
  struct Case {
    const char* position;
    RECT rect;
  } cases[] = {
      {"bottom", {0, 570, 800, 600}},
      {"top", {0, 0, 800, 30}},
      {"left", {0, 0, 30, 600}},
      {"right", {770, 0, 800, 600}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.position);
    host.setFact(platform::host::fact::TaskbarPosition, k.position);
    HANDLE explorer = start(kExplorer);
    HWND tray = waitForWindow(u"Shell_TrayWnd");
    ASSERT_NE(tray, nullptr);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(tray, &r));
    EXPECT_EQ(r.left, k.rect.left);
    EXPECT_EQ(r.top, k.rect.top);
    EXPECT_EQ(r.right, k.rect.right);
    EXPECT_EQ(r.bottom, k.rect.bottom);
    // The desktop: Progman > SHELLDLL_DefView > SysListView32, all of Explorer's process. Explorer
    // makes them after the taskbar, so a loaded machine may not have them yet.
    HWND progman = waitForWindow(u"Progman", u"Program Manager");
    ASSERT_NE(progman, nullptr);
    HWND view = nullptr, list = nullptr;
    for (int i = 0; i < 1000 && !list; ++i) {
      view = FindWindowExW(progman, nullptr, u"SHELLDLL_DefView", nullptr);
      list = view ? FindWindowExW(view, nullptr, u"SysListView32", nullptr) : nullptr;
      if (!list) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(list, nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    EXPECT_EQ(pid, GetProcessId(explorer));
    ASSERT_TRUE(PostMessageW(tray, WM_CLOSE, 0, 0));
    ASSERT_EQ(waitEnd(explorer), WAIT_OBJECT_0);
    EXPECT_FALSE(IsWindow(progman));
  }
}

TEST_F(HostAppsTest, ExplorerTakesTheRegistryEnvironmentWhenToldAndPassesItOn) {
  start(kExplorer);
  HWND tray = waitForWindow(u"Shell_TrayWnd");
  ASSERT_NE(tray, nullptr);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Environment", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  const char16_t value[] = u"changed";
  ASSERT_EQ(RegSetValueExW(key, u"KIPO_PROBE", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value), 0);
  RegCloseKey(key);

  auto echoProbe = [&](const char* file) {
    std::string line = std::string("cmd /c echo %KIPO_PROBE%>C:\\") + file;
    DWORD pid = runFromShell(tray, fromUtf8(line));
    EXPECT_NE(pid, 0u);
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (h) {
      WaitForSingleObject(h, 10000);
      CloseHandle(h);
    }
    return slurp(host_.c(file));
  };
  // Explorer's environment is the one it started with until it is told of the change.
  EXPECT_EQ(echoProbe("before.txt"), "%KIPO_PROBE%\r\n");
  DWORD_PTR answer = 1;
  ASSERT_TRUE(SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(u"Environment"),
                                  SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(echoProbe("after.txt"), "changed\r\n");
}

}  // namespace
