// The Outlook process snap-ins against the host's OUTLOOK.EXE stand-in (a real process with its
// "rctrl_renwnd32" window): the backup snap-in closes a running Outlook (by either of its main
// window titles, its confirmation box answered Yes) and starts it again after restore; the
// personalize snap-in closes it at depersonalize; an Outlook that ignores the request is ended;
// without the Outlook snap-in or a supported Outlook nothing is touched.
#include "outlook/outlook_process_customizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/registry.h"
#include "platform/base/text.h"
#include "platform/win32/win32.h"
#include "tests/outlook/outlook_snapin_fixture.h"

namespace {

using outlooktest::OutlookSnapinTest;

constexpr const char* kOutlook2003 = "C:\\Program Files\\Microsoft Office\\OFFICE11\\OUTLOOK.EXE";
constexpr const char* kOutlook2000 = "C:\\Program Files\\Microsoft Office\\Office\\outlook.exe";

class OutlookProcessTest : public OutlookSnapinTest {
 protected:
  void SetUp() override {
    setOutlook("2003");
    addProfile("Work", "C:\\work.pst", true);
  }
  void TearDown() override {
    for (HANDLE h : started_) {
      TerminateProcess(h, 1);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
    // Outlook started by a restore is no child of this test.
    for (HWND w; (w = FindWindowW(u"rctrl_renwnd32", nullptr));) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (!h) break;
      TerminateProcess(h, 1);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
  }

  // Starts Outlook with `options` and waits for its main window; the process handle, or null.
  HANDLE start(const std::string& options, const char* image = kOutlook2003) {
    std::u16string line = platform::text::fromUtf8(std::string("\"") + image + "\" " + options);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << "cannot start Outlook: error " << GetLastError();
      return nullptr;
    }
    CloseHandle(pi.hThread);
    started_.push_back(pi.hProcess);
    for (int i = 0; i < 1000 && !outlookWindow(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(outlookWindow(), nullptr);
    return pi.hProcess;
  }
  static HWND outlookWindow() { return FindWindowW(u"rctrl_renwnd32", nullptr); }
  static bool ended(HANDLE process, DWORD ms = 10000) { return WaitForSingleObject(process, ms) == WAIT_OBJECT_0; }

  std::vector<HANDLE> started_;
};

// The backup snap-in closes Outlook whatever its main window's title, answers its save question
// in Outlook's own process, and starts it again at restore; the personalize snap-in closes it at
// depersonalize only.
TEST_F(OutlookProcessTest, OutlookIsClosedAroundTheLoginAndStartedAgainAfterIt) {
  makeDocument<COutlookProcessBackup>();
  auto* backup = snapin<COutlookProcessBackup>(kOutlookProcessCustomizerName);
  ASSERT_NE(backup, nullptr);
  EXPECT_EQ(backup->getFlags(), 17u);
  EXPECT_TRUE(backup->backup()) << "Outlook not running: nothing to close";
  EXPECT_FALSE(backup->wasClosedByBackup());

  for (const char* title : {"Microsoft Outlook", "Microsoft Office Outlook"}) {
    SCOPED_TRACE(title);
    HANDLE outlookProcess = start(std::string("--close confirm --log C:\\outlook.log --title \"") + title + "\"");
    EXPECT_TRUE(backup->backup());
    EXPECT_TRUE(ended(outlookProcess, 5000));
    EXPECT_TRUE(backup->wasClosedByBackup());
    EXPECT_TRUE(logHas("{OutlookProcessCustomizer}: Close Outlook confirmation window."));
    EXPECT_NE(host.read("outlook.log").find("confirm yes"), std::string::npos);
  }

  EXPECT_TRUE(backup->restore());
  for (int i = 0; i < 1000 && !outlookWindow(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_NE(outlookWindow(), nullptr) << "Outlook runs again after the logout";

  COutlookProcessPersonalize second;
  second.setDocument(doc.get());
  EXPECT_EQ(second.getFlags(), 4u);
  EXPECT_TRUE(second.backup());
  EXPECT_TRUE(second.restore());
  EXPECT_NE(outlookWindow(), nullptr) << "only depersonalize closes it";
  EXPECT_TRUE(second.depersonalize());
  for (int i = 0; i < 500 && second.isProcessRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(second.isProcessRunning());
}

// An Outlook that ignores the request to close is ended through its window's process.
TEST_F(OutlookProcessTest, AnOutlookThatWillNotCloseIsEnded) {
  makeDocument<COutlookProcessBackup>();
  auto* backup = snapin<COutlookProcessBackup>(kOutlookProcessCustomizerName);
  HANDLE outlookProcess = start("--close never");
  EXPECT_TRUE(backup->closeProcess());
  EXPECT_TRUE(ended(outlookProcess, 5000));
  EXPECT_TRUE(backup->closeProcess()) << "nothing left to close";
}

// Without the Outlook snap-in, or on a host whose Outlook is not supported, the steps succeed and
// a running Outlook is left alone.
TEST_F(OutlookProcessTest, NothingIsTouchedWithoutACarriedOutlook) {
  struct Case {
    const char* name;
    bool withOutlookSnapin;
  };
  for (const Case& c : {Case{"no Outlook snap-in", false}, Case{"unsupported Outlook", true}}) {
    SCOPED_TRACE(c.name);
    if (c.withOutlookSnapin) {
      CRegistry curVer(CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Outlook.Application\\CurVer"), true, true);
      ASSERT_TRUE(curVer.setText(u"", CString(u"Outlook.Application.8")));
      makeDocument<COutlookProcessBackup>();
    } else {
      makeDocumentWithoutOutlook<COutlookProcessBackup>();
    }
    HANDLE outlookProcess = start("");
    auto* backup = snapin<COutlookProcessBackup>(kOutlookProcessCustomizerName);
    ASSERT_NE(backup, nullptr);
    EXPECT_FALSE(backup->isOutlookCarried());
    EXPECT_TRUE(backup->backup());
    EXPECT_TRUE(backup->personalize());
    EXPECT_TRUE(backup->restore());
    EXPECT_FALSE(ended(outlookProcess, 200));
    TerminateProcess(outlookProcess, 1);
    ended(outlookProcess);
  }
}

// Outlook 2000's program lies in Office's fixed folder.
TEST_F(OutlookProcessTest, Outlook2000IsFoundInOfficesFolder) {
  setOutlook("2000");
  makeDocument<COutlookProcessPersonalize>();
  auto* step = snapin<COutlookProcessPersonalize>(kOutlookProcessCustomizerName);
  EXPECT_EQ(utf8(step->getImageName()), kOutlook2000);
  HANDLE outlookProcess = start("", kOutlook2000);
  EXPECT_TRUE(step->isProcessRunning());
  EXPECT_TRUE(step->depersonalize());
  EXPECT_TRUE(ended(outlookProcess));
}

}  // namespace
