// kipo-host ui against Explorer: the desktop's icons listed with their positions, and the
// taskbar's buttons (which windows have one, in what order, with what title) listed and pressed,
// a press restoring a minimized window and activating it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/controls/commctrl.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/shell.h"
#include "platform/win32/sync.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::runTool;

std::string hex(HWND h) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(h)));
  return b;
}

// Serves this thread's messages (the windows' own calls Explorer makes land here).
void pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

// Pumps until `ok` holds (10 s at most); whether it did.
bool pumpUntil(const std::function<bool()>& ok) {
  for (int i = 0; i < 500; ++i) {
    pump();
    if (ok()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The tool's output for `args` once `ok` holds of it (pumping meanwhile); the last output.
std::string toolUntil(const std::vector<std::string>& args, const std::function<bool(const std::string&)>& ok) {
  std::string out;
  pumpUntil([&] {
    out.clear();
    runTool(args, &out);
    return ok(out);
  });
  return out;
}

bool has(const std::string& out, const std::string& what) { return out.find(what) != std::string::npos; }

class DesktopToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(runTool({"install"}, nullptr, &err), 0) << err;
  }
  void TearDown() override {
    for (HWND w : windows_) DestroyWindow(w);
    if (explorer_) {
      TerminateProcess(explorer_, 1);
      WaitForSingleObject(explorer_, 10000);
      CloseHandle(explorer_);
    }
  }
  void startExplorer() {
    std::u16string line = u"C:\\WINDOWS\\explorer.exe";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    if (pi.hThread) CloseHandle(pi.hThread);
    explorer_ = pi.hProcess;
    ASSERT_TRUE(pumpUntil([] { return FindWindowW(u"Shell_TrayWnd", nullptr) != nullptr; }));
  }
  HWND window(const char16_t* title, DWORD exStyle, bool visible, HWND owner = nullptr) {
    static const bool registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = DefWindowProcW;
      wc.lpszClassName = u"KipoTaskProbe";
      return RegisterClassW(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    HWND w = CreateWindowExW(exStyle, u"KipoTaskProbe", title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 10,
                             10, 200, 100, owner, nullptr, nullptr, nullptr);
    EXPECT_NE(w, nullptr);
    windows_.push_back(w);
    return w;
  }

  kipotest::TestHost host_;
  HANDLE explorer_ = nullptr;
  std::vector<HWND> windows_;
};

TEST_F(DesktopToolTest, ListShowsTheDesktopIconsWithTheirPositions) {
  char16_t desk[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, desk),
            S_OK);
  HANDLE f = CreateFileW((std::u16string(desk) + u"\\plan.xyz").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  startExplorer();
  std::string out = toolUntil({"ui", "list", "--window", "Progman"}, [](const std::string& o) { return has(o, "plan"); });
  EXPECT_TRUE(has(out, "control 1 class=SysListView32 text=\"FolderView\"")) << out;
  EXPECT_TRUE(has(out, "item 0 \"My Documents\" at 0,0\n")) << out;
  EXPECT_TRUE(has(out, "item 4 \"Internet Explorer\" at 0,300\n")) << out;
  EXPECT_TRUE(has(out, "item 5 \"plan.xyz\" at 0,375\n")) << out;

  // Moved by another program, listed where it now stands.
  HWND progman = FindWindowW(u"Progman", nullptr);
  HWND list = FindWindowExW(FindWindowExW(progman, nullptr, u"SHELLDLL_DefView", nullptr), nullptr, u"SysListView32",
                            nullptr);
  ASSERT_TRUE(SendMessageW(list, LVM_SETITEMPOSITION, 5, MAKELPARAM(300, 150)));
  out.clear();
  runTool({"ui", "list", "--window", "Progman"}, &out);
  EXPECT_TRUE(has(out, "item 5 \"plan.xyz\" at 300,150\n")) << out;
}

TEST_F(DesktopToolTest, TaskbarButtonsListedAndPressed) {
  std::string err;
  EXPECT_EQ(runTool({"ui", "taskbar"}, nullptr, &err), 1) << "no taskbar without Explorer";
  EXPECT_TRUE(has(err, "not running")) << err;
  startExplorer();

  HWND plain = window(u"Plain", 0, true);
  window(u"Tool", WS_EX_TOOLWINDOW, true);
  window(u"Owned", 0, true, plain);
  HWND ownedApp = window(u"Owned App", WS_EX_APPWINDOW, true, plain);
  window(u"Hidden", 0, false);
  HWND second = window(u"Second", WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, true);

  // Windows with a button, in the order they appeared.
  std::string out = toolUntil({"ui", "taskbar"}, [](const std::string& o) { return has(o, "Second"); });
  const std::string pid = " pid=" + std::to_string(GetCurrentProcessId());
  EXPECT_EQ(out, "button 0 window=" + hex(plain) + " class=KipoTaskProbe text=\"Plain\"" + pid + "\n" +
                     "button 1 window=" + hex(ownedApp) + " class=KipoTaskProbe text=\"Owned App\"" + pid + "\n" +
                     "button 2 window=" + hex(second) + " class=KipoTaskProbe text=\"Second\"" + pid + "\n");

  // A minimized window is restored and activated by its button (named by title).
  ShowWindow(plain, SW_MINIMIZE);
  SetActiveWindow(second);
  out = toolUntil({"ui", "taskbar"}, [](const std::string& o) { return has(o, "minimized"); });
  EXPECT_TRUE(has(out, "text=\"Plain\"" + pid + " minimized\n")) << out;
  ASSERT_EQ(runTool({"ui", "taskbar", "click", "--window", "Plain"}), 0);
  EXPECT_TRUE(pumpUntil([&] { return !IsIconic(plain) && GetActiveWindow() == plain; }));

  // One that is not minimized is activated (named by handle).
  ASSERT_EQ(runTool({"ui", "taskbar", "click", "--window", hex(ownedApp)}), 0);
  EXPECT_TRUE(pumpUntil([&] { return GetActiveWindow() == ownedApp; }));
  EXPECT_FALSE(IsIconic(ownedApp));

  // A new title shows; a hidden or destroyed window loses its button.
  SetWindowTextW(plain, u"Plain, renamed");
  ShowWindow(second, SW_HIDE);
  DestroyWindow(ownedApp);
  out = toolUntil({"ui", "taskbar"}, [](const std::string& o) { return has(o, "renamed") && !has(o, "button 1"); });
  EXPECT_EQ(out, "button 0 window=" + hex(plain) + " class=KipoTaskProbe text=\"Plain, renamed\"" + pid + "\n");

  EXPECT_EQ(runTool({"ui", "taskbar", "click", "--window", "Second"}, nullptr, &err), 1);
  EXPECT_TRUE(has(err, "no taskbar button")) << err;
  EXPECT_EQ(runTool({"ui", "taskbar", "click"}, nullptr, &err), 2);
}

}  // namespace
