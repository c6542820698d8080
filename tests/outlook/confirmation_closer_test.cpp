// The confirmation closer: which windows count as a program's confirmation box (case-sensitive
// prefixes of title and class), and the boxes of the word processor stand-in answered from this
// process: every matching box in one run, only through a Yes button in the language library's
// language.
#include "outlook/confirmation_closer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/lingrove.h"
#include "platform/base/text.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/test_host.h"

namespace {

using platform::text::fromUtf8;

constexpr const char* kWord = "C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE";

class ConfirmationCloserTest : public apptest::AppTest {
 protected:
  void SetUp() override {
    installLanguages({"USA", "FRA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    createLog();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
  void TearDown() override {
    for (HANDLE h : started_) {
      TerminateProcess(h, 1);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
    language.reset();
  }

  // Starts the word processor with a confirmation box and asks it to close; returns the process
  // once its box titled `title` is shown.
  HANDLE startAsking(const std::string& options, const char16_t* title, HWND& box) {
    std::u16string line = fromUtf8(std::string("\"") + kWord + "\" --close confirm " + options);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    box = nullptr;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << "cannot start: error " << GetLastError();
      return nullptr;
    }
    CloseHandle(pi.hThread);
    started_.push_back(pi.hProcess);
    HWND main = nullptr;
    for (int i = 0; i < 1000 && !(main = windowOf(pi.dwProcessId, u"OpusApp")); ++i) pause();
    if (!main) return pi.hProcess;
    PostMessageW(main, WM_CLOSE, 0, 0);
    for (int i = 0; i < 1000; ++i, pause()) {
      box = windowOf(pi.dwProcessId, u"#32770");
      // The box exists before its buttons: wait until it is shown.
      if (box && IsWindowVisible(box)) break;
    }
    EXPECT_NE(box, nullptr);
    WCHAR text[256] = {};
    GetWindowTextW(box, text, 256);
    EXPECT_EQ(std::u16string(text), std::u16string(title));
    return pi.hProcess;
  }

  static HWND windowOf(DWORD pid, const char16_t* windowClass) {
    for (HWND w = FindWindowExW(nullptr, nullptr, windowClass, nullptr); w;
         w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid) return w;
    }
    return nullptr;
  }
  static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }
  static bool ended(HANDLE process, DWORD ms) { return WaitForSingleObject(process, ms) == WAIT_OBJECT_0; }

  std::unique_ptr<Lingrove> language;
  std::vector<HANDLE> started_;
};

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

// Title: starts with either fragment, exactly as written. Class: starts with the closer's class.
TEST_F(ConfirmationCloserTest, ABoxIsKnownByThePrefixOfItsTitleAndClass) {
  for (const char16_t* name : {u"KipoTestBox", u"KipoTestBoxWide", u"KipoOtherBox"}) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plainProc;
    wc.lpszClassName = name;
    ASSERT_NE(RegisterClassW(&wc), 0);
  }
  CConfirmationCloser closer(CString(u"Microsoft Word"), CString(u"Microsoft Office Word"), CString(u"KipoTestBox"));
  struct Case {
    const char16_t* windowClass;
    const char16_t* title;
    bool matches;
  };
  const Case cases[] = {
      {u"KipoTestBox", u"Microsoft Word", true},
      {u"KipoTestBox", u"Microsoft Office Word - Document1", true},
      {u"KipoTestBoxWide", u"Microsoft Word", true},
      {u"KipoTestBox", u" Microsoft Word", false},
      {u"KipoTestBox", u"Document1 - Microsoft Word", false},
      {u"KipoTestBox", u"microsoft word", false},
      {u"KipoTestBox", u"Microsoft Wor", false},
      {u"KipoOtherBox", u"Microsoft Word", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::text::toUtf8(std::u16string(c.windowClass) + u" / " + c.title));
    HWND w = CreateWindowExW(0, c.windowClass, c.title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(closer.isConfirmationWindow(w), c.matches);
    DestroyWindow(w);
  }
  // With no box of its own up, a run finds nothing.
  EXPECT_FALSE(closer.closeWindows());
  EXPECT_FALSE(closer.wasFound());
}

// Two programs asking at once: one run answers both with Yes (the programs save and end), and
// logs each box with its handle.
TEST_F(ConfirmationCloserTest, EveryMatchingBoxIsAnsweredYesInOneRun) {
  HWND first = nullptr, second = nullptr;
  HANDLE a = startAsking("--log C:\\a.log", u"Microsoft Office Word", first);
  HANDLE b = startAsking("--log C:\\b.log --confirm-title \"Microsoft Word\"", u"Microsoft Word", second);
  ASSERT_TRUE(first && second);
  CConfirmationCloser closer(CString(u"Microsoft Word"), CString(u"Microsoft Office Word"), CString(u"#32770"));
  EXPECT_TRUE(closer.closeWindows());
  EXPECT_TRUE(ended(a, 5000));
  EXPECT_TRUE(ended(b, 5000));
  for (const char* file : {"a.log", "b.log"}) {
    const std::string events = host.read(file);
    EXPECT_NE(events.find("confirm yes"), std::string::npos) << file << ": " << events;
  }
  for (HWND box : {first, second}) {
    const std::string line = "Found Microsoft Word Confirmation Window: 0x" +
                             platform::text::toUtf8(formatMessageText(u"%08X", static_cast<DWORD>(
                                                                                     reinterpret_cast<UINT_PTR>(box))).view());
    EXPECT_NE(logBytes().find(line), std::string::npos) << line << "\n" << logBytes();
  }
  // Nothing is left to answer.
  EXPECT_FALSE(closer.closeWindows());
}

// The Yes button is known by the Yes text of the loaded language: a French box is not answered
// under the English library (the box is found, nothing is pressed), and is under the French one.
TEST_F(ConfirmationCloserTest, OnlyAYesButtonOfTheLibrarysLanguageIsPressed) {
  HWND box = nullptr;
  HANDLE word = startAsking("--log C:\\word.log --confirm-title \"Microsoft Word\" --yes-text \"&Oui\" --no-text \"&Non\"",
                            u"Microsoft Word", box);
  ASSERT_NE(box, nullptr);
  CConfirmationCloser closer(CString(u"Microsoft Word"), CString(u"Microsoft Office Word"), CString(u"#32770"));
  EXPECT_FALSE(closer.closeWindows());
  EXPECT_FALSE(ended(word, 300));
  EXPECT_TRUE(IsWindow(box));
  EXPECT_NE(logBytes().find("Found Microsoft Word Confirmation Window"), std::string::npos);

  language = std::make_unique<Lingrove>(CString(u"FRA"), TRUE);
  EXPECT_TRUE(closer.closeWindows());
  EXPECT_TRUE(ended(word, 5000));
  EXPECT_NE(host.read("word.log").find("confirm yes"), std::string::npos);
}

// The Outlook preset answers a box titled as Outlook's and leaves Word's alone.
TEST_F(ConfirmationCloserTest, TheOutlookPresetAnswersOutlooksBoxOnly) {
  HWND wordBox = nullptr, outlookBox = nullptr;
  HANDLE word = startAsking("", u"Microsoft Office Word", wordBox);
  HANDLE outlook = startAsking("--confirm-title \"Microsoft Office Outlook\"", u"Microsoft Office Outlook", outlookBox);
  ASSERT_TRUE(wordBox && outlookBox);
  COutlookConfirmationCloser closer;
  EXPECT_FALSE(closer.isConfirmationWindow(wordBox));
  EXPECT_TRUE(closer.closeWindows());
  EXPECT_TRUE(ended(outlook, 5000));
  EXPECT_FALSE(ended(word, 200));
  EXPECT_TRUE(IsWindow(wordBox));
}

}  // namespace
