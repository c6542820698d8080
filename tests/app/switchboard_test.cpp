// The switchboard: delivery order and timing of posted and sent messages, the typed listeners,
// registration changes during (nested) dispatches, who frees a message on every path, and
// WM_USER+40 posted by another process.
#include "app/switchboard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/time.h"
#include "tests/support/faults.h"
#include "tests/support/test_host.h"

namespace {

// A message that counts its instances, so a test sees when the switchboard freed it.
class CountedMessage : public CAppMessage {
 public:
  explicit CountedMessage(int tag = 0) : id(tag) { ++alive; }
  ~CountedMessage() override { --alive; }
  int id;
  static inline int alive = 0;
};

class CountedProgress : public CProgress {
 public:
  explicit CountedProgress(int percentDone) : CProgress(percentDone) { ++alive; }
  ~CountedProgress() override { --alive; }
  static inline int alive = 0;
};

// A listener that records what it saw under its name and then runs an optional action.
class Recorder : public CSwitchboardListener {
 public:
  Recorder(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
  void onMessage(CAppMessage* message) override {
    auto* counted = dynamic_cast<CountedMessage*>(message);
    log_.push_back(name_ + (counted ? ":" + std::to_string(counted->id) : std::string()));
    if (action) action(message);
  }
  std::function<void(CAppMessage*)> action;

 private:
  std::vector<std::string>& log_;
  std::string name_;
};

// Runs the thread's messages until none is left, or until `until` has been dispatched (then
// true; false when it did not arrive in time).
bool pump(UINT until = 0, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
      if (until && msg.message == until) return true;
      continue;
    }
    if (!until || std::chrono::steady_clock::now() > deadline) return !until;
    Sleep(5);
  }
}

class SwitchboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CountedMessage::alive = 0;
    CountedProgress::alive = 0;
  }
  kipotest::TestHost host;
  std::vector<std::string> log;
};

TEST_F(SwitchboardTest, HiddenWindowIsQxSwitchboard) {
  CSwitchboard board;
  HWND window = board.windowHandle();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(FindWindowW(nullptr, u"QX Switchboard"), window);
  EXPECT_FALSE(IsWindowVisible(window));
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.right - r.left, 10);
  EXPECT_EQ(r.bottom - r.top, 10);
}

TEST_F(SwitchboardTest, PostedMessageArrivesLaterInRegistrationOrderThenIsFreed) {
  CSwitchboard board;
  Recorder a(log, "a"), b(log, "b");
  EXPECT_FALSE(board.addListener(nullptr));
  ASSERT_TRUE(board.addListener(&a));
  ASSERT_TRUE(board.addListener(&b));

  EXPECT_TRUE(board.postMessage(new CountedMessage(1)));
  EXPECT_TRUE(board.postMessage(new CountedMessage(2)));
  EXPECT_TRUE(log.empty()) << "a post is delivered by the message loop, not at once";
  EXPECT_EQ(CountedMessage::alive, 2);

  pump();
  EXPECT_EQ(log, (std::vector<std::string>{"a:1", "b:1", "a:2", "b:2"}));
  EXPECT_EQ(CountedMessage::alive, 0);
  EXPECT_EQ(board.pendingCount(), 0);
}

TEST_F(SwitchboardTest, SentMessageHasReachedEveryListenerAndIsFreedOnReturn) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);
  EXPECT_TRUE(board.sendMessage(new CountedMessage(7)));
  EXPECT_EQ(log, (std::vector<std::string>{"a:7"}));
  EXPECT_EQ(CountedMessage::alive, 0);
  EXPECT_FALSE(board.sendMessage(nullptr));
  EXPECT_FALSE(board.postMessage(nullptr));
}

TEST_F(SwitchboardTest, DuplicateRegistrationReceivesTwiceAndOneRemovalRemovesOne) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);
  board.addListener(&a);
  board.sendMessage(new CountedMessage(1));
  EXPECT_EQ(log.size(), 2u);

  EXPECT_TRUE(board.removeListener(&a));
  log.clear();
  board.sendMessage(new CountedMessage(2));
  EXPECT_EQ(log, (std::vector<std::string>{"a:2"}));

  EXPECT_TRUE(board.removeListener(&a));
  EXPECT_FALSE(board.removeListener(&a));
  EXPECT_EQ(board.listenerCount(), 0);
}

// ---- typed listeners ----

struct ProgressOnly : CProgressListener {
  void onProgress(CProgress* p) override { seen.push_back(p->percent); }
  std::vector<int> seen;
};
struct SyncOnly : CSyncStatusListener {
  void onSyncStatus(CSyncStatus* s) override { seen.push_back(s->code); }
  std::vector<LONG> seen;
};
// A window that implements several interfaces: one listener, each message once through its kind.
struct DialogLike : CProgressListener, CSyncStatusListener, CLoginMessageListener {
  void onMessage(CAppMessage* m) override {
    CProgressListener::onMessage(m);
    CSyncStatusListener::onMessage(m);
    CLoginMessageListener::onMessage(m);
  }
  void onProgress(CProgress*) override { calls.push_back("progress"); }
  void onSyncStatus(CSyncStatus*) override { calls.push_back("sync"); }
  void onLoginMessage(CLoginMessage* m) override { calls.push_back("login" + std::to_string(m->type)); }
  std::vector<std::string> calls;
};

TEST_F(SwitchboardTest, TypedListenersTakeOnlyTheirKind) {
  CSwitchboard board;
  ProgressOnly progress;
  SyncOnly sync;
  DialogLike dialog;
  board.addListener(&progress);
  board.addListener(&sync);
  board.addListener(&dialog);

  board.sendMessage(new CountedProgress(40));  // derived from CProgress: still a progress
  board.sendMessage(new CSyncStatus(CSyncStatus::kExecutionBegins));
  board.sendMessage(new CLoginMessage(CLoginMessage::kLoginEnded));
  board.sendMessage(new CAppMessage);

  EXPECT_EQ(progress.seen, (std::vector<int>{40}));
  EXPECT_EQ(sync.seen, (std::vector<LONG>{2}));
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"progress", "sync", "login1"}));
  EXPECT_EQ(CountedProgress::alive, 0);
}

TEST(AppMessages, ConstructorDefaults) {
  EXPECT_EQ(CAppMessage().value, 2);
  CLoginMessage plain;
  EXPECT_EQ(plain.type, 2);
  EXPECT_EQ(plain.flag, 0);
  EXPECT_EQ(plain.profile, nullptr);
  EXPECT_EQ(CLoginMessage(4).type, 4);
  auto* profile = reinterpret_cast<CSystemProfile*>(0x1000);
  EXPECT_EQ(CLoginMessage(profile).type, 0);
  EXPECT_EQ(CLoginMessage(profile).value, 2);
  CProgress percent(55);
  EXPECT_EQ(percent.mode, CProgress::kPercent);
  EXPECT_EQ(percent.percent, 55);
  CProgress texts(CString(u"one"), CString(u"two"));
  EXPECT_EQ(texts.mode, CProgress::kTexts);
  EXPECT_EQ(texts.secondText, CString(u"two"));
  EXPECT_EQ(CSyncStatus().code, 1);
  EXPECT_EQ(CSyncStatus(nullptr, nullptr, 99).code, 9);
  // Created by class name, as the class library's dynamic creation does.
  CObject* made = CRuntimeClass::CreateObject("CSyncStatus");
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CAppMessage)));
  delete made;
}

// ---- registration changes during a dispatch ----

TEST_F(SwitchboardTest, ListenerRemovedDuringDispatchIsNotCalledAndTheNextStillIs) {
  CSwitchboard board;
  Recorder a(log, "a"), b(log, "b"), c(log, "c");
  a.action = [&](CAppMessage*) { board.removeListener(&b); };
  board.addListener(&a);
  board.addListener(&b);
  board.addListener(&c);
  board.sendMessage(new CountedMessage(1));
  EXPECT_EQ(log, (std::vector<std::string>{"a:1", "c:1"}));

  log.clear();
  board.sendMessage(new CountedMessage(2));
  EXPECT_EQ(log, (std::vector<std::string>{"a:2", "c:2"}));
}

TEST_F(SwitchboardTest, ListenerRemovingItselfLetsTheNextOneRun) {
  CSwitchboard board;
  Recorder a(log, "a"), b(log, "b");
  a.action = [&](CAppMessage*) { board.removeListener(&a); };
  board.addListener(&a);
  board.addListener(&b);
  board.sendMessage(new CountedMessage(1));
  board.sendMessage(new CountedMessage(2));
  EXPECT_EQ(log, (std::vector<std::string>{"a:1", "b:1", "b:2"}));
}

TEST_F(SwitchboardTest, RemovalInNestedSendHoldsForTheOuterDispatch) {
  CSwitchboard board;
  Recorder a(log, "a"), b(log, "b"), c(log, "c");
  // a sends a second message from its handler; b, handling that one, removes c. The outer
  // dispatch must not call c afterwards, and nothing is skipped.
  a.action = [&](CAppMessage* m) {
    if (static_cast<CountedMessage*>(m)->id == 1) board.sendMessage(new CountedMessage(2));
  };
  b.action = [&](CAppMessage* m) {
    if (static_cast<CountedMessage*>(m)->id == 2) board.removeListener(&c);
  };
  board.addListener(&a);
  board.addListener(&b);
  board.addListener(&c);
  board.sendMessage(new CountedMessage(1));
  EXPECT_EQ(log, (std::vector<std::string>{"a:1", "a:2", "b:2", "b:1"}));
  EXPECT_EQ(board.listenerCount(), 2);
  EXPECT_EQ(CountedMessage::alive, 0);
}

TEST_F(SwitchboardTest, ListenerAddedDuringDispatchReceivesTheCurrentMessage) {
  CSwitchboard board;
  Recorder a(log, "a"), late(log, "late");
  bool added = false;
  a.action = [&](CAppMessage*) {
    if (!added) board.addListener(&late), added = true;
  };
  board.addListener(&a);
  board.sendMessage(new CountedMessage(1));
  EXPECT_EQ(log, (std::vector<std::string>{"a:1", "late:1"}));
}

TEST_F(SwitchboardTest, ThrowingListenerStopsTheDispatchWithoutLeakingTheMessage) {
  CSwitchboard board;
  Recorder a(log, "a"), b(log, "b");
  a.action = [](CAppMessage*) { throw 42; };
  board.addListener(&a);
  board.addListener(&b);
  EXPECT_THROW(board.sendMessage(new CountedMessage(1)), int);
  EXPECT_EQ(log, (std::vector<std::string>{"a:1"}));
  EXPECT_EQ(CountedMessage::alive, 0);

  // The switchboard is still in order afterwards.
  a.action = nullptr;
  log.clear();
  board.sendMessage(new CountedMessage(2));
  EXPECT_EQ(log, (std::vector<std::string>{"a:2", "b:2"}));
}

// ---- who frees an undelivered message ----

TEST_F(SwitchboardTest, WithoutWindowPostAndSendSucceedDeliveringNothingAndFreeTheMessage) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);
  DestroyWindow(board.windowHandle());
  EXPECT_TRUE(board.postMessage(new CountedMessage(1)));
  EXPECT_TRUE(board.sendMessage(new CountedMessage(2)));
  pump();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(CountedMessage::alive, 0);
}

TEST_F(SwitchboardTest, FailedPostReportsFalseAndFreesTheMessage) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);
  const auto fault = kipotest::failCall("PostMessageW", ERROR_NOT_ENOUGH_MEMORY, {}, 1, 1);
  EXPECT_FALSE(board.postMessage(new CountedMessage(1)));
  platform::fault::removeLocal(fault);
  EXPECT_EQ(CountedMessage::alive, 0);
  EXPECT_EQ(board.pendingCount(), 0);
  pump();
  EXPECT_TRUE(log.empty());
}

TEST_F(SwitchboardTest, MessageQueuedWhenTheWindowGoesIsNeverDeliveredAndIsFreed) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);
  board.postMessage(new CountedMessage(1));
  DestroyWindow(board.windowHandle());
  EXPECT_EQ(CountedMessage::alive, 0);
  pump();
  EXPECT_TRUE(log.empty());
}

TEST_F(SwitchboardTest, MessageQueuedAtDestructionIsNeverDeliveredAndIsFreed) {
  Recorder a(log, "a");
  {
    CSwitchboard board;
    board.addListener(&a);
    board.postMessage(new CountedMessage(1));
    board.postMessage(new CountedMessage(2));
  }
  EXPECT_EQ(CountedMessage::alive, 0);
  pump();
  EXPECT_TRUE(log.empty());
}

TEST_F(SwitchboardTest, MessagePostedTwiceBeforeDeliveryArrivesOnce) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);
  auto* message = new CountedMessage(1);
  EXPECT_TRUE(board.postMessage(message));
  EXPECT_FALSE(board.postMessage(message));
  pump();
  EXPECT_EQ(log, (std::vector<std::string>{"a:1"}));
  EXPECT_EQ(CountedMessage::alive, 0);
}

// ---- WM_USER+40 from elsewhere ----

// A WM_USER+40 whose wParam is not one of the switchboard's waiting messages is ignored: from
// this process (a stray post) and from another one (kipo-host post). Afterwards a real message
// still flows.
TEST_F(SwitchboardTest, ForeignAppMessageIsIgnored) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);

  auto* neverPosted = new CountedMessage(9);  // a live message the switchboard was never given
  const HWND window = board.windowHandle();
  const std::vector<unsigned long long> forged = {0, 0xDEADBEEF, reinterpret_cast<std::uintptr_t>(neverPosted)};

  for (unsigned long long wParam : forged) {
    PostMessageW(window, WM_SWITCHBOARD_MESSAGE, static_cast<WPARAM>(wParam), 0);
  }
  pump();
  EXPECT_TRUE(log.empty());

  for (unsigned long long wParam : forged) {
    ASSERT_EQ(kipotest::runTool({"post", std::to_string(reinterpret_cast<std::uintptr_t>(window)), "WM_USER+40",
                                 std::to_string(wParam), "0"}),
              0);
  }
  // The other process's posts arrive in order; a last one marks the end.
  ASSERT_EQ(kipotest::runTool({"post", std::to_string(reinterpret_cast<std::uintptr_t>(window)), "WM_USER+41", "0", "0"}), 0);
  ASSERT_TRUE(pump(WM_USER + 41)) << "the other process's posts never arrived";
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(CountedMessage::alive, 1) << "a message the switchboard does not own is not freed by it";
  delete neverPosted;

  board.sendMessage(new CountedMessage(3));
  EXPECT_EQ(log, (std::vector<std::string>{"a:3"}));
}

TEST_F(SwitchboardTest, ForeignRepostOfADeliveredMessageIsIgnored) {
  CSwitchboard board;
  Recorder a(log, "a");
  board.addListener(&a);
  auto* message = new CountedMessage(1);
  const auto address = reinterpret_cast<std::uintptr_t>(message);
  board.postMessage(message);
  pump();
  ASSERT_EQ(log.size(), 1u);

  const std::string window = std::to_string(reinterpret_cast<std::uintptr_t>(board.windowHandle()));
  ASSERT_EQ(kipotest::runTool({"post", window, "WM_USER+40", std::to_string(address), "0"}), 0);
  ASSERT_EQ(kipotest::runTool({"post", window, "WM_USER+41", "0", "0"}), 0);
  ASSERT_TRUE(pump(WM_USER + 41)) << "the other process's posts never arrived";
  EXPECT_EQ(log.size(), 1u) << "the freed message was dispatched a second time";
}

}  // namespace
