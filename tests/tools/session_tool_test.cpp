// kipo-host shutdown, suspend and set against windows of other processes: a window that pumps
// messages while it decides is waited for and its refusal honoured, a hung one or one that runs
// out of time never counts as consent, WM_ENDSESSION gets the wait-to-kill time, a suspend denial
// is told to those asked before, and a new screen size reaches every window. The host runs at
// time scale 20, so the waits of many seconds pass in a fraction of that.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/message.h"
#include "platform/win32/window.h"
#include "tests/support/child_program.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::ChildProgram;

class SessionToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"set", "--time-scale", "20"}, nullptr, &err), 0) << err;
  }

  ChildProgram& probe(const std::string& title, std::vector<std::string> args) {
    args.insert(args.begin(), {"--title", title});
    probes_.push_back(std::make_unique<ChildProgram>(KIPO_SESSIONPROBE, args));
    EXPECT_TRUE(probes_.back()->saw("ready")) << title;
    return *probes_.back();
  }

  // The lines a probe has printed after "ready" (marks left out): all of them, once a mark sent
  // to its window comes back (or its output ends, when it was ended).
  std::string events(ChildProgram& p, const char16_t* title) {
    const std::string mark = "mark " + std::to_string(++marks_) + "\n";
    SendMessageTimeoutW(FindWindowW(u"KipoSessionProbe", title), WM_USER + 1, marks_, 0, SMTO_NORMAL, 10000, nullptr);
    std::string all = p.readUntil(mark);
    all = all.substr(all.find("ready\n") + 6);
    for (std::size_t at; (at = all.find("mark ")) != std::string::npos;) all.erase(at, all.find('\n', at) + 1 - at);
    return all;
  }

  kipotest::TestHost host_;
  std::vector<std::unique_ptr<ChildProgram>> probes_;
  WPARAM marks_ = 0;
};

TEST_F(SessionToolTest, ShutdownWaitsForAPumpingWindowAndHonoursItsRefusal) {
  ChildProgram& slow = probe("slow", {"--query", "pump:8000:refuse"});
  ChildProgram& willing = probe("willing", {});
  std::string out;
  EXPECT_EQ(kipotest::runTool({"shutdown"}, &out), 1) << out;
  EXPECT_NE(out.find("shutdown cancelled by "), std::string::npos) << out;
  EXPECT_NE(out.find("\"KipoSessionProbe\" \"slow\""), std::string::npos) << out;
  EXPECT_EQ(out.find("session ended"), std::string::npos) << out;
  EXPECT_EQ(events(slow, u"slow"), "queryendsession\nqueryendsession refused\n");
  // Asked before the refusal, the willing window learns that the session goes on.
  const std::string told = events(willing, u"willing");
  if (told.find("queryendsession") != std::string::npos) {
    EXPECT_EQ(told, "queryendsession\nqueryendsession agreed\nendsession 0\n");
  }
  EXPECT_EQ(slow.output().find("endsession 0"), std::string::npos) << "the refusing window is not told";
}

TEST_F(SessionToolTest, NoAnswerIsNeverConsent) {
  struct Case {
    const char* query;
    std::vector<std::string> tool;
    const char* said;
  };
  const Case cases[] = {
      // Stops looking at its messages: hung after 5 s, long before its 60 s are up.
      {"hang:60000", {"shutdown"}, "is not responding"},
      // Pumps, so it is not hung, but outlasts the whole wait.
      {"pump:60000:ok", {"shutdown", "--timeout", "10"}, "did not answer within the time limit"},
  };
  for (const Case& c : cases) {
    ChildProgram& p = probe(c.query, {"--query", c.query});
    std::string out;
    EXPECT_EQ(kipotest::runTool(c.tool, &out), 1) << c.query << ": " << out;
    EXPECT_NE(out.find(c.said), std::string::npos) << c.query << ": " << out;
    EXPECT_NE(out.find("\"" + std::string(c.query) + "\""), std::string::npos) << out;
    EXPECT_EQ(out.find("session ended"), std::string::npos) << out;
    EXPECT_EQ(p.output().find("queryendsession agreed"), std::string::npos) << "answered only after the tool gave up";
    p.kill();
  }
}

TEST_F(SessionToolTest, EndSessionGetsTheWaitToKillTime) {
  ChildProgram& saver = probe("saver", {"--end-ms", "12000"});
  ChildProgram& stuck = probe("stuck", {"--end-ms", "60000"});
  std::string out;
  EXPECT_EQ(kipotest::runTool({"shutdown"}, &out), 0) << out;
  EXPECT_EQ(events(saver, u"saver"), "queryendsession\nqueryendsession agreed\nendsession 1\nendsession done\n");
  EXPECT_EQ(events(stuck, u"stuck"), "queryendsession\nqueryendsession agreed\nendsession 1\n");
  EXPECT_NE(out.find("\"stuck\" did not finish ending its session in time"), std::string::npos) << out;
  EXPECT_EQ(out.find("\"saver\" did not finish"), std::string::npos) << out;
  EXPECT_NE(out.find("session ended: "), std::string::npos) << out;
  EXPECT_EQ(FindWindowW(u"KipoSessionProbe", nullptr), nullptr) << "their processes are ended";
}

TEST_F(SessionToolTest, SuspendDeniedThenGranted) {
  ChildProgram& willing = probe("willing", {});
  auto denier = std::make_unique<ChildProgram>(KIPO_SESSIONPROBE,
                                               std::vector<std::string>{"--title", "denier", "--suspend", "deny"});
  ASSERT_TRUE(denier->saw("ready"));
  std::string out;
  EXPECT_EQ(kipotest::runTool({"suspend"}, &out), 1) << out;
  EXPECT_NE(out.find("suspend refused by "), std::string::npos) << out;
  EXPECT_NE(out.find("\"denier\""), std::string::npos) << out;
  EXPECT_EQ(events(*denier, u"denier"), "power 0\n");
  // Only a window asked before the denial hears that the suspend failed; nobody is suspended.
  const std::string told = events(willing, u"willing");
  if (!told.empty()) {
    EXPECT_EQ(told, "power 0\npower 2\n");
  }
  denier.reset();

  out.clear();
  EXPECT_EQ(kipotest::runTool({"suspend"}, &out), 0) << out;
  EXPECT_NE(out.find("suspended\nresumed\n"), std::string::npos) << out;
  const std::string all = events(willing, u"willing");
  EXPECT_EQ(all.substr(all.rfind("power 0\n")), "power 0\npower 4\npower 18\npower 7\n") << all;
}

TEST_F(SessionToolTest, NewScreenSizeReachesEveryWindow) {
  ChildProgram& a = probe("a", {});
  ChildProgram& b = probe("b", {});
  std::string err;
  ASSERT_EQ(kipotest::runTool({"set", "--screen-width", "1280", "--screen-height", "1024"}, nullptr, &err), 0) << err;
  for (ChildProgram* p : {&a, &b}) EXPECT_EQ(events(*p, p == &a ? u"a" : u"b"), "display 32 1280x1024\n");
  // Other facts and an unchanged size do not announce anything.
  ASSERT_EQ(kipotest::runTool({"set", "--screen-width", "1280", "--computer-name", "OTHER"}, nullptr, &err), 0) << err;
  ASSERT_EQ(kipotest::runTool({"set", "--screen-height", "600"}, nullptr, &err), 0) << err;
  EXPECT_EQ(events(a, u"a"), "display 32 1280x1024\ndisplay 32 1280x600\n");
}

}  // namespace
