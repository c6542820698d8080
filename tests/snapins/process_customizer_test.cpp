// The process snap-ins against the host's stand-in programs (browser, word processor, spreadsheet,
// presentation program), each a real process with its main window: backup and depersonalize close
// the running program, Word's save question is answered in Word's own process, restore leaves the
// program alone unless told, a restart after restore, and a program that will not end (or shows
// no window to ask) makes the close fail after one look at the process list.
#include "snapins/process_customizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "lang/ids.h"
#include "platform/base/clock.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/win32/win32.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/test_host.h"

namespace {

using snapintest::SnapinTest;

constexpr const char* kBrowser = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
constexpr const char* kWord = "C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE";
constexpr const char* kExcel = "C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE";
constexpr const char* kPowerPoint = "C:\\Program Files\\Microsoft Office\\OFFICE11\\POWERPNT.EXE";
constexpr const char16_t* kLocalSnapins = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\";

// One started stand-in program.
struct Program {
  HANDLE process = nullptr;
  DWORD pid = 0;
  HWND window = nullptr;

  bool ended(DWORD ms = 0) const { return WaitForSingleObject(process, ms) == WAIT_OBJECT_0; }
};

class ProcessCustomizerTest : public SnapinTest {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
  void TearDown() override {
    for (HANDLE h : started_) {
      TerminateProcess(h, 1);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
  }

  // Starts `image` with `options` and waits until it shows a top-level window of `windowClass`.
  Program start(const char* image, const std::string& options, const char16_t* windowClass) {
    Program p;
    std::u16string line = platform::text::fromUtf8(std::string("\"") + image + "\" " + options);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << "cannot start " << image << ": error " << GetLastError();
      return p;
    }
    CloseHandle(pi.hThread);
    started_.push_back(pi.hProcess);
    p.process = pi.hProcess;
    p.pid = pi.dwProcessId;
    for (int i = 0; i < 1000 && !p.window; ++i) {
      for (HWND w = FindWindowExW(nullptr, nullptr, windowClass, nullptr); w; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == p.pid) p.window = w;
      }
      if (!p.window) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(p.window, nullptr) << image << " " << options;
    return p;
  }

  bool logHas(const std::string& text) const { return logBytes().find(text) != std::string::npos; }

  std::vector<HANDLE> started_;
};

// Each snap-in closes its own program at backup and again at depersonalize; restore never
// touches it (flag 8 is unset for all four).
TEST_F(ProcessCustomizerTest, EachSnapinClosesItsProgram) {
  struct Case {
    const char* name;
    std::function<std::unique_ptr<CProcessCustomizer>()> make;
    const char* image;
    const char16_t* windowClass;
    bool synchronized;  // Office's snap-ins start out not synchronized for this computer
  };
  const std::vector<Case> cases = {
      {"browser", [] { return std::make_unique<CIEProcessCustomizer>(); }, kBrowser, u"IEFrame", true},
      {"word", [] { return std::make_unique<CWordProcessCustomizer>(); }, kWord, u"OpusApp", false},
      {"excel", [] { return std::make_unique<CExcelProcessCustomizer>(); }, kExcel, u"XLMAIN", false},
      {"powerpoint", [] { return std::make_unique<CPowerPointProcessCustomizer>(); }, kPowerPoint,
       u"PP11FrameClass", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<CProcessCustomizer> snapin = c.make();
    ASSERT_NE(self(), nullptr);
    EXPECT_EQ(snapin->isSynchronized(self()), c.synchronized);
    EXPECT_FALSE(snapin->needsCloseAtLogin());
    EXPECT_TRUE(snapin->backup()) << "nothing runs: nothing to close";
    EXPECT_FALSE(snapin->wasClosedByBackup());

    Program running = start(c.image, "", c.windowClass);
    EXPECT_TRUE(snapin->needsCloseAtLogin());
    EXPECT_TRUE(snapin->needsCloseAtLogout());
    EXPECT_TRUE(snapin->backup());
    EXPECT_TRUE(running.ended(5000));
    EXPECT_TRUE(snapin->wasClosedByBackup());
    EXPECT_FALSE(snapin->needsCloseAtLogin());
    EXPECT_TRUE(snapin->personalize());
    EXPECT_FALSE(snapin->isPersonalized()) << "a process snap-in never holds the host";

    running = start(c.image, "", c.windowClass);
    EXPECT_TRUE(snapin->restore());
    EXPECT_FALSE(running.ended(200)) << "restore leaves the program running";
    EXPECT_EQ(regText((std::u16string(kLocalSnapins) + snapin->getName().GetString()).c_str(), u"personalized"),
              "false");
    EXPECT_TRUE(snapin->depersonalize());
    EXPECT_TRUE(running.ended(5000));
  }
}

// What each member asks of which windows, seen by windows of this process that record their
// messages: Excel restores before it closes, Word shows a hidden window before it closes it,
// PowerPoint asks the frame classes 7 to 19 and keeps the last class, the browser only closes.
// (This process is none of the programs, so no close waits.)
std::vector<std::string> g_seen;

LRESULT CALLBACK recordingProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CLOSE || msg == WM_SYSCOMMAND) {
    WCHAR name[64] = {};
    GetClassNameW(w, name, 64);
    g_seen.push_back(platform::text::toUtf8(name) + (msg == WM_CLOSE ? " close" : " syscommand " + std::to_string(wParam)));
    return 0;
  }
  return DefWindowProcW(w, msg, wParam, lParam);
}

TEST_F(ProcessCustomizerTest, WhatEachMemberAsksOfWhichWindows) {
  for (const char16_t* name : {u"IEFrame", u"OpusApp", u"XLMAIN", u"PP6FrameClass", u"PP7FrameClass", u"PP19FrameClass",
                               u"PP20FrameClass"}) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = name;
    ASSERT_NE(RegisterClassW(&wc), 0);
    ASSERT_NE(CreateWindowExW(0, name, u"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr),
              nullptr);
  }
  struct Case {
    const char* name;
    std::function<std::unique_ptr<CProcessCustomizer>()> make;
    std::vector<std::string> seen;
  };
  const std::vector<Case> cases = {
      {"browser", [] { return std::make_unique<CIEProcessCustomizer>(); }, {"IEFrame close"}},
      {"word", [] { return std::make_unique<CWordProcessCustomizer>(); }, {"OpusApp close"}},
      {"excel", [] { return std::make_unique<CExcelProcessCustomizer>(); },
       {"XLMAIN syscommand " + std::to_string(SC_RESTORE), "XLMAIN close"}},
      {"powerpoint", [] { return std::make_unique<CPowerPointProcessCustomizer>(); },
       {"PP7FrameClass close", "PP19FrameClass close"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_seen.clear();
    std::unique_ptr<CProcessCustomizer> snapin = c.make();
    EXPECT_TRUE(snapin->closeProcess());
    pump();
    EXPECT_EQ(g_seen, c.seen);
  }
  EXPECT_TRUE(IsWindowVisible(FindWindowW(u"OpusApp", nullptr))) << "Word's window is shown before it is closed";
  EXPECT_FALSE(IsWindowVisible(FindWindowW(u"XLMAIN", nullptr)));
  CPowerPointProcessCustomizer powerPoint;
  powerPoint.closeProcess();
  EXPECT_EQ(utf8(powerPoint.getWindowClass()), "PP19FrameClass");
}

// Word asks whether to save inside its WM_CLOSE; the snap-in's closer finds the box by either of
// its two titles and presses Yes in Word's process, so Word saves and ends.
TEST_F(ProcessCustomizerTest, WordsSaveQuestionIsAnsweredYes) {
  for (const char* title : {"Microsoft Office Word", "Microsoft Word"}) {
    SCOPED_TRACE(title);
    const std::size_t mark = logBytes().size();
    Program word = start(kWord, std::string("--close confirm --log C:\\word.log --confirm-title \"") + title + "\"",
                         u"OpusApp");
    CWordProcessCustomizer snapin;
    EXPECT_TRUE(snapin.backup());
    EXPECT_TRUE(word.ended(5000));
    const std::string events = host.read("word.log");
    EXPECT_NE(events.find("confirm yes"), std::string::npos) << events;
    const std::string log = logBytes().substr(mark);
    EXPECT_NE(log.find("Found Microsoft Word Confirmation Window: 0x"), std::string::npos) << log;
    EXPECT_NE(log.find("{CWordProcessCustomizer}: Close Microsoft Word confirmation window."), std::string::npos)
        << log;
    std::filesystem::remove(host.c("word.log"));
  }
}

// A close that leaves the program running fails, and says so in the log: a program that ignores
// WM_CLOSE after every poll has been spent, a program with no window of the snap-in's class at
// once, without any wait (PowerPoint after looking for all thirteen classes).
TEST_F(ProcessCustomizerTest, AProgramThatKeepsRunningFailsTheClose) {
  struct Case {
    const char* name;
    std::function<std::unique_ptr<CProcessCustomizer>()> make;
    const char* image;
    std::string options;
    const char16_t* windowClass;
    std::uint64_t waitedMs;
    const char* logLine;
  };
  const std::vector<Case> cases = {
      {"ignores the close", [] { return std::make_unique<CIEProcessCustomizer>(); }, kBrowser, "--close never",
       u"IEFrame", 20000, "{ProcessCustomizer}: Internet Explorer (IExplore.exe) still runs after it was asked to close."},
      {"no window of the class", [] { return std::make_unique<CExcelProcessCustomizer>(); }, kExcel,
       "--class XLHIDDEN", u"XLHIDDEN", 0,
       "{ProcessCustomizer}: Microsoft Excel (excel.exe) still runs after it was asked to close."},
      {"a frame class past 19", [] { return std::make_unique<CPowerPointProcessCustomizer>(); }, kPowerPoint,
       "--class PP20FrameClass", u"PP20FrameClass", 0,
       "{ProcessCustomizer}: Microsoft PowerPoint (powerpnt.exe) still runs after it was asked to close."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Program program = start(c.image, c.options, c.windowClass);
    std::unique_ptr<CProcessCustomizer> snapin = c.make();
    const std::size_t mark = logBytes().size();
    {
      // The polls a second apart pass at once; the program's own time runs as usual.
      platform::clock::VirtualClock clock;
      const std::uint64_t before = clock.nowMs();
      EXPECT_FALSE(snapin->backup());
      EXPECT_EQ(clock.nowMs() - before, c.waitedMs);
      EXPECT_FALSE(snapin->wasClosedByBackup());
      EXPECT_FALSE(snapin->depersonalize());
    }
    EXPECT_FALSE(program.ended());
    EXPECT_NE(logBytes().find(c.logLine, mark), std::string::npos) << logBytes().substr(mark);
    TerminateProcess(program.process, 1);
    ASSERT_TRUE(program.ended(5000));
  }
}

// A process list that cannot be taken is logged and counts as a program that does not run: the
// login goes on and the program is left alone.
TEST_F(ProcessCustomizerTest, AFailedProcessListCountsAsNotRunning) {
  Program browser = start(kBrowser, "", u"IEFrame");
  CIEProcessCustomizer snapin;
  platform::fault::Fault fault;
  fault.call = "CreateToolhelp32Snapshot";
  fault.error = ERROR_NOT_ENOUGH_MEMORY;
  const std::uint64_t id = platform::fault::inject(fault);
  EXPECT_FALSE(snapin.needsCloseAtLogin());
  EXPECT_TRUE(snapin.backup());
  EXPECT_FALSE(snapin.wasClosedByBackup());
  platform::fault::removeLocal(id);
  EXPECT_FALSE(browser.ended(200));
  EXPECT_TRUE(logHas("{ProcessCustomizer}: Failed to list processes while checking for: IExplore.exe."));
}

// The general snap-in's restore: with flag 8 a program that cannot be closed is reported with
// message 881 and the step still succeeds; with flag 16 a program that backup closed is started
// again (its image must exist as a file unless the snap-in starts it without that check).
TEST_F(ProcessCustomizerTest, RestoreClosesOrStartsAgainAsItsFlagsSay) {
  {
    SCOPED_TRACE("flag 8, the program refuses");
    Program browser = start(kBrowser, "--close never", u"IEFrame");
    CProcessCustomizer snapin(CString(u"Browser Control"), CString(u"Internet Explorer"), CString(), CString(u"IEFrame"),
                              CString(u"IExplore.exe"), false, kProcessCloseAtRestore, false, 1);
    ASSERT_TRUE(snapin.setPersonalized(true));
    EXPECT_TRUE(snapin.needsCloseAtLogout());
    EXPECT_TRUE(snapin.restore());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(utf8(boxes[0].text),
              "Kipo could not close Internet Explorer while logging out. Please close Internet Explorer yourself, or "
              "restart the computer, to get back the earlier configuration of Internet Explorer.");
    EXPECT_FALSE(snapin.isPersonalized());
    EXPECT_FALSE(browser.ended());
    TerminateProcess(browser.process, 1);
    ASSERT_TRUE(browser.ended(5000));
  }
  {
    SCOPED_TRACE("flags 1 and 16: closed by backup, started again by restore");
    boxes.clear();
    Program browser = start(kBrowser, "", u"IEFrame");
    CProcessCustomizer snapin(CString(u"Browser Control"), CString(u"Internet Explorer"), CString(), CString(u"IEFrame"),
                              CString(platform::text::fromUtf8(kBrowser)), false,
                              kProcessCloseAtBackup | kProcessRestartAtRestore, false, 20);
    EXPECT_TRUE(snapin.backup());
    EXPECT_TRUE(browser.ended(5000));
    ASSERT_TRUE(snapin.wasClosedByBackup());
    EXPECT_TRUE(snapin.restore());
    HWND again = nullptr;
    for (int i = 0; i < 1000 && !(again = FindWindowW(u"IEFrame", nullptr)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(again, nullptr) << "the browser runs again";
    EXPECT_TRUE(snapin.isProcessRunning());
    EXPECT_TRUE(boxes.empty());
    // Not started by this test: end it through the snap-in.
    EXPECT_TRUE(snapin.closeProcess());
  }
  {
    SCOPED_TRACE("a start that needs a missing file");
    struct Start {
      bool withoutCheck;
      bool result;
    };
    for (Start s : {Start{false, true}, Start{true, false}}) {
      CProcessCustomizer snapin(CString(u"Missing Control"), CString(u"Missing"), CString(), CString(u"MissingFrame"),
                                CString(u"C:\\Program Files\\Missing\\missing.exe"), s.withoutCheck,
                                kProcessStartAtPersonalize, false, 20);
      EXPECT_EQ(snapin.personalize(), s.result) << s.withoutCheck;
    }
  }
}

}  // namespace
