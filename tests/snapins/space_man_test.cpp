// The run coordinator: requests that coalesce while idle and queue behind a running run (keeping
// a synchronization's execution), the calculation skipped for the sync request just calculated, deletions
// first, a failed op and the user's answer, a dialog's stop, exceptions, the status and progress
// it publishes, and WM_USER+80 from somebody else.
#include "snapins/space_man.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/customizer_doc.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/test_windows.h"

namespace {

using snapintest::Journal;
using snapintest::Outcome;
using snapintest::SnapinTest;
using snapintest::TestOp;
using snapintest::TestSnapin;
using snapintest::TestSynchronizer;
using Plan = TestSynchronizer::Plan;

std::vector<std::pair<HWND, WPARAM>> g_commands;
LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) g_commands.emplace_back(window, wParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

class SpaceManTest : public SnapinTest {
 protected:
  SpaceManTest() {
    a = add(u"Fichiers é");
    b = add(u"B");
    syncA = std::make_unique<TestSynchronizer>(journal);
    spaceMan().addSynchronizer(a, syncA.get());
    spaceMan().buildSpaceRecords();
    g_commands.clear();
  }
  ~SpaceManTest() override { kipotest::destroyThreadWindows(); }

  TestSnapin* add(const char16_t* name) {
    auto snapin = std::make_unique<TestSnapin>(journal, name);
    TestSnapin* raw = snapin.get();
    doc.addCustomizer(std::move(snapin));
    return raw;
  }
  CSpaceMan& spaceMan() { return doc.getSpaceMan(); }
  int count(const std::string& entry) const { return static_cast<int>(std::count(journal.begin(), journal.end(), entry)); }
  std::vector<std::string> executed() const {
    std::vector<std::string> out;
    for (const std::string& entry : journal)
      if (entry.rfind("exec:", 0) == 0) out.push_back(entry.substr(5));
    return out;
  }
  bool logContains(const std::string& text) { return logBytes().find(text) != std::string::npos; }

  CCustomizerDoc doc;
  TestSnapin* a;
  TestSnapin* b;
  std::unique_ptr<TestSynchronizer> syncA;
};

TEST_F(SpaceManTest, IdleRequestsCoalesceIntoOneRun) {
  EXPECT_NE(FindWindowW(nullptr, u"QX Spaceman"), nullptr);
  // Two calculations: one run. A synchronization dropped against a waiting calculation still
  // makes that run execute.
  EXPECT_TRUE(spaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr));
  EXPECT_TRUE(spaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr));
  pump();
  EXPECT_EQ(count("Fichiers é:preCalculate"), 1);
  EXPECT_EQ(count("B:preExecute"), 0);
  EXPECT_EQ(services.statusCodes, (std::vector<LONG>{0, 1, 1}));

  journal.clear();
  spaceMan().requestCalculation(kSyncDriveToHost, nullptr, nullptr);
  spaceMan().requestSynchronization(kSyncDriveToHost, nullptr, nullptr);
  pump();
  EXPECT_EQ(count("Fichiers é:preCalculate"), 1);
  EXPECT_EQ(count("B:preExecute"), 1);
  EXPECT_FALSE(spaceMan().isRunning());
  EXPECT_FALSE(spaceMan().isExecuteRequested());
}

// Requests made while a run calculates: the run stops at its next check, exactly one more run
// follows, and it executes when any of them asked for a synchronization.
TEST_F(SpaceManTest, RequestsDuringARunQueueOneRunKeepingExecution) {
  struct Case {
    std::vector<bool> executes;  // the requests, in order
    bool secondRunExecutes;
  };
  for (const Case& c : {Case{{true}, true}, Case{{false, true, false}, true}, Case{{false, false}, false}}) {
    SCOPED_TRACE(c.executes.size());
    journal.clear();
    syncA->plans = {Plan{1, 10, "copy"}};
    bool first = true;
    syncA->duringCalculation = [&] {
      if (!first) return;
      first = false;
      for (bool execute : c.executes) {
        if (execute) {
          spaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
        } else {
          spaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr);
        }
      }
      EXPECT_TRUE(spaceMan().isStopRequested());
    };
    spaceMan().requestCalculation(kSyncHostToDrive, nullptr, nullptr);
    pump();
    EXPECT_EQ(count("calculate"), 2);
    EXPECT_EQ(count("B:preCalculate"), 2);
    EXPECT_EQ(count("B:preExecute"), c.secondRunExecutes ? 1 : 0);
    EXPECT_EQ(executed(), c.secondRunExecutes ? std::vector<std::string>{"copy"} : std::vector<std::string>{});
    EXPECT_FALSE(spaceMan().hasPendingRequest());
  }
  syncA->duringCalculation = nullptr;
}

// The synchronization of the sync request the dialog has just calculated goes straight to execution; any
// other sync request is calculated again.
TEST_F(SpaceManTest, SameSpecExecutesWithoutRecalculating) {
  syncA->plans = {Plan{1, 10, "copy"}};
  spaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_EQ(spaceMan().countSyncOps(1), 1);
  EXPECT_EQ(spaceMan().totalPlannedBytes(), 10);
  spaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_EQ(count("calculate"), 1);
  EXPECT_EQ(executed(), std::vector<std::string>{"copy"});
  EXPECT_EQ(spaceMan().countSyncOps(1), 0);  // freed after execution

  std::vector<CCustomizer*> onlyA = {a};
  spaceMan().requestSynchronization(kSyncBothWays, nullptr, &onlyA);
  pump();
  EXPECT_EQ(count("calculate"), 2);
  EXPECT_EQ(count("B:preCalculate"), 1);  // B takes no part in this one

  // An executed plan is gone: the same sync request again is calculated again, and moves what it finds.
  spaceMan().requestSynchronization(kSyncBothWays, nullptr, &onlyA);
  pump();
  EXPECT_EQ(count("calculate"), 3);
  EXPECT_EQ(executed(), (std::vector<std::string>{"copy", "copy", "copy"}));
}

// Deletions run first, the last planned first; each queued op reports the table's new planned
// total; execution reports its progress and the end.
TEST_F(SpaceManTest, DeletionsRunFirstAndStatusFollowsTheRun) {
  syncA->plans = {Plan{1, 10, "copy1"}, Plan{kSyncOpDelete, -3, "x"}, Plan{2, 5, "copy2"},
                  Plan{kSyncOpDelete, -2, "y"}};
  std::vector<LONGLONG> totals;
  services.onPump = nullptr;
  spaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_EQ(executed(), (std::vector<std::string>{"y", "x", "copy1", "copy2"}));
  EXPECT_EQ(services.statusCodes, (std::vector<LONG>{0, 9, 9, 9, 9, 1, 2, 3, 1}));
  EXPECT_EQ(services.percents, (std::vector<int>{25, 50, 75, 100, 100}));
  EXPECT_EQ(count("Fichiers é:postExecute(1)"), 1);
  EXPECT_EQ(TestOp::alive, 0);
  CSpaceRecord* record = spaceMan().findSpaceRecord(self(), CString(u"Fichiers é"));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->plannedBytes, 0);
  EXPECT_EQ(spaceMan().findSpaceRecord(self(), CString(u"nobody")), nullptr);
}

TEST_F(SpaceManTest, NoOpsExecuteAsDone) {
  spaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_EQ(services.percents, std::vector<int>{100});
  EXPECT_EQ(count("Fichiers é:postExecute(1)"), 1);
  EXPECT_EQ(count("B:postExecute(1)"), 1);
}

// A failed op asks whether to go on: no ends the execution (every snap-in hears of the failure,
// the ops are freed), yes goes on.
TEST_F(SpaceManTest, FailedOpAndTheUsersAnswer) {
  for (bool goOn : {false, true}) {
    SCOPED_TRACE(goOn);
    journal.clear();
    services.statusCodes.clear();
    syncA->plans = {Plan{1, 1, "first", kSyncFailed, goOn}, Plan{1, 1, "second"}};
    spaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
    pump();
    EXPECT_EQ(executed(), goOn ? (std::vector<std::string>{"first", "second"}) : std::vector<std::string>{"first"});
    const std::string result = goOn ? "(1)" : "(0)";
    EXPECT_EQ(count("Fichiers é:postExecute" + result), 1);
    EXPECT_EQ(count("B:postExecute" + result), 1);
    EXPECT_EQ(TestOp::alive, 0);
    EXPECT_EQ(services.statusCodes.back(), 1);
    EXPECT_NE(std::find(services.statusCodes.begin(), services.statusCodes.end(), 3), services.statusCodes.end());
  }
  EXPECT_TRUE(logContains(
      "{SPACEMAN}: User decided not to continue after failed operation - customizer Fichiers é failed<br>"));
}

// A dialog stops the executing run: the later ops do not run, the snap-ins hear it was cancelled,
// and the dialog gets its command once the run has ended. Outside a run nothing is stored.
TEST_F(SpaceManTest, DialogStopsTheRunAndIsToldWhenItEnded) {
  kipotest::registerWindowClass(u"KipoSyncTestDialog", dialogProc);
  HWND dialog = CreateWindowExW(0, u"KipoSyncTestDialog", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(spaceMan().setPendingRequest(dialog, WM_COMMAND, IDCANCEL, 0));

  syncA->plans = {Plan{1, 1, "first", kSyncCancelled}, Plan{1, 1, "second"}};
  syncA->duringExecution = [&](TestOp&) {
    EXPECT_TRUE(spaceMan().setPendingRequest(dialog, WM_COMMAND, IDCANCEL, 0));
    EXPECT_FALSE(spaceMan().setPendingRequest(dialog, WM_COMMAND, IDOK, 0));  // one is pending
    EXPECT_TRUE(g_commands.empty());
  };
  spaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_EQ(executed(), std::vector<std::string>{"first"});
  EXPECT_EQ(count("B:postExecute(2)"), 1);
  EXPECT_EQ(g_commands, (std::vector<std::pair<HWND, WPARAM>>{{dialog, IDCANCEL}}));
  EXPECT_FALSE(spaceMan().isStopRequested());
}

// A sync request handed over with a request that is not stored is freed.
class CountedSpec : public CSyncSpec {
 public:
  CountedSpec() { ++alive; }
  ~CountedSpec() override { --alive; }
  static inline int alive = 0;
};

TEST_F(SpaceManTest, RefusedSpecIsFreed) {
  CountedSpec::alive = 0;
  EXPECT_FALSE(spaceMan().setPendingRequest(spaceMan().windowHandle(), WM_SPACEMAN_REQUEST,
                                            std::make_unique<CountedSpec>(), 0));
  EXPECT_EQ(CountedSpec::alive, 0);
}

// An exception ends the run's phases; the run still ends cleanly and says so.
TEST_F(SpaceManTest, ExceptionsEndTheRun) {
  a->outcomes["preCalculate"] = Outcome::Throw;
  spaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_TRUE(logContains("{SpaceMan}: Snap-in Fichiers é gave up.<br>An exception occurred during calculation.<br>"));
  EXPECT_EQ(services.statusCodes, std::vector<LONG>{1});
  a->outcomes.clear();

  services.statusCodes.clear();
  syncA->plans = {Plan{1, 1, "copy"}};
  b->outcomes["preExecute"] = Outcome::ThrowUndefined;
  spaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_TRUE(logContains("{SpaceMan}: Caught undefined exception.<br>An exception occurred during synchronization.<br>"));
  EXPECT_EQ(services.events, std::vector<std::string>{"unknown:SpaceMan"});
  EXPECT_EQ(services.statusCodes, (std::vector<LONG>{0, 9, 1, 2, 3, 1}));
  EXPECT_TRUE(executed().empty());
  EXPECT_EQ(TestOp::alive, 0);
  EXPECT_FALSE(spaceMan().isRunning());
  EXPECT_FALSE(spaceMan().isExecuting());
}

// WM_USER+80 reaches the window from anywhere: only the coordinator's own requests run.
TEST_F(SpaceManTest, ForeignRequestsAreIgnored) {
  HWND window = spaceMan().windowHandle();
  ASSERT_NE(window, nullptr);
  PostMessageW(window, WM_SPACEMAN_REQUEST, 0x1234, 0);
  PostMessageW(window, WM_SPACEMAN_REQUEST, 0, 0);
  pump();
  EXPECT_TRUE(journal.empty());
  EXPECT_TRUE(logContains("{CSpaceMan::startCalculatorInternal} error: syncSpecPtr is NULL"));
}

}  // namespace
