// What the tests of the snap-in base, the run coordinator and the document share: a host with a
// drive E: and this computer's profile, the document host services replaced by a recorder (the
// messages the document and the coordinator send and post, the hooks, autostart, a close held
// back), and test snap-ins and synchronizers that record every call in one journal and fail or
// throw on request.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_messages.h"
#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/profile_database.h"
#include "platform/afx/exception.h"
#include "snapins/customizer.h"
#include "snapins/space_man.h"
#include "snapins/sync_spec.h"
#include "tests/app/profiles_fixture.h"

namespace snapintest {

using Journal = std::vector<std::string>;

inline std::string utf8(const CString& text) { return platform::text::toUtf8(text.view()); }

// How a step of a test snap-in ends.
enum class Outcome { Base, True, False, Throw, ThrowLibrary, ThrowUndefined };

inline bool act(Outcome outcome, const CString& name, const std::function<bool()>& base) {
  switch (outcome) {
    case Outcome::Base: return base();
    case Outcome::True: return true;
    case Outcome::False: return false;
    case Outcome::Throw: throw new CCustomizerException(CString(u"Snap-in ") + name + u" gave up.");
    case Outcome::ThrowLibrary: throw new CNotSupportedException;
    case Outcome::ThrowUndefined: throw 42;
  }
  return false;
}

// A snap-in that records each call as "<name>:<step>" and ends each step as told (the base
// behaviour unless told otherwise).
class TestSnapin : public CCustomizer {
 public:
  TestSnapin(Journal& journal, const char16_t* name) : CCustomizer(CString(name)), journal_(journal) {}

  bool backup() override { return step("backup", [this] { return CCustomizer::backup(); }); }
  bool personalize() override { return step("personalize", [this] { return CCustomizer::personalize(); }); }
  bool postPersonalize() override { return step("postPersonalize", [] { return true; }); }
  bool preDepersonalize() override { return step("preDepersonalize", [] { return true; }); }
  bool depersonalize() override { return step("depersonalize", [] { return true; }); }
  bool restore() override { return step("restore", [this] { return CCustomizer::restore(); }); }
  bool leaveNoTrace() override { return step("leaveNoTrace", [] { return true; }); }
  bool preCalculateSyncOps(CSystemProfile*) override { return step("preCalculate", [] { return true; }); }
  bool postCalculateSyncOps(int result) override {
    return step("postCalculate(" + std::to_string(result) + ")", [] { return true; });
  }
  bool preExecuteSyncOps() override { return step("preExecute", [] { return true; }); }
  bool postExecuteSyncOps(CSystemProfile*, int result) override {
    return step("postExecute(" + std::to_string(result) + ")", [] { return true; });
  }
  int getSourceState() override { return sourceState; }
  ULONGLONG getDeviceSpace(CSpaceRecord*) override { return deviceSpace; }

  // Outcomes by step name (the part before any "(").
  std::map<std::string, Outcome> outcomes;
  int sourceState = kSourceCarry;
  ULONGLONG deviceSpace = 0;
  // Runs inside the step named, before its outcome.
  std::map<std::string, std::function<void()>> during;

 private:
  bool step(const std::string& what, const std::function<bool()>& base) {
    journal_.push_back(utf8(getName()) + ":" + what);
    const std::string key = what.substr(0, what.find('('));
    if (auto it = during.find(key); it != during.end() && it->second) it->second();
    auto it = outcomes.find(key);
    return act(it == outcomes.end() ? Outcome::Base : it->second, getName(), base);
  }
  Journal& journal_;
};

class TestSynchronizer;

// An op that records its execution; its result and its answer after a failure are set per op.
class TestOp : public CSyncOp {
 public:
  TestOp(DWORD opKind, CSynchronizer* opOwner, LONGLONG delta, std::string opName)
      : CSyncOp(opKind, opOwner, delta), name(std::move(opName)) {
    ++alive;
  }
  ~TestOp() override { --alive; }
  bool askToContinue() override { return continueAfterFailure; }

  std::string name;
  int result = kSyncDone;
  bool continueAfterFailure = true;
  static inline int alive = 0;
};

// Plans the ops it is given on every calculation and executes them into the journal.
class TestSynchronizer : public CSynchronizer {
 public:
  struct Plan {
    DWORD kind;
    LONGLONG delta;
    std::string name;
    int result = kSyncDone;
    bool continueAfterFailure = true;
  };
  explicit TestSynchronizer(Journal& journal) : journal_(journal) {}

  int calculateSyncOps(CSpaceRecord* record, DWORD) override {
    currentRecord = record;
    byteCount = 0;
    journal_.push_back("calculate");
    if (duringCalculation) duringCalculation();
    for (const Plan& p : plans) {
      if (record->isCancelled()) return kSyncCancelled;
      byteCount += p.delta;
      auto op = std::make_unique<TestOp>(p.kind, this, p.delta, p.name);
      op->result = p.result;
      op->continueAfterFailure = p.continueAfterFailure;
      record->addSyncOp(std::move(op));
    }
    return calculationResult;
  }
  bool preExecuteSyncOps() override { return true; }
  bool postExecuteSyncOps(bool, int) override { return true; }
  int executeSyncOp(CSyncOp* op, DWORD) override {
    auto* mine = dynamic_cast<TestOp*>(op);
    if (!mine) return kSyncNotMine;
    journal_.push_back("exec:" + mine->name);
    if (duringExecution) duringExecution(*mine);
    return mine->result;
  }

  std::vector<Plan> plans;
  int calculationResult = kSyncDone;
  std::function<void()> duringCalculation;
  std::function<void(TestOp&)> duringExecution;

 private:
  Journal& journal_;
};

// The application object as the document and the coordinator see it, recording what they ask.
class RecordingServices : public CDocumentHostServices {
 public:
  bool sendAppMessage(CAppMessage* message) override {
    record(message, "send");
    delete message;
    return true;
  }
  bool postAppMessage(CAppMessage* message) override {
    record(message, "post");
    delete message;
    return true;
  }
  void processMessages() override {
    ++pumps;
    if (onPump) onPump();
    CDocumentHostServices::processMessages();
  }
  HWND getMainWindow() override { return mainWindow; }
  bool isClosePending() override { return closePending; }
  void clearClosePending() override { closePending = false; }
  bool enableAutostart() override {
    events.push_back("enableAutostart");
    return autostartWorks;
  }
  bool disableAutostart() override {
    events.push_back("disableAutostart");
    return autostartWorks;
  }
  void runLoginLogoutHook(int kind) override { events.push_back("hook:" + std::to_string(kind)); }
  bool isSecureAreaLoggedOut() override { return secureAreaLoggedOut; }
  bool saveComputer() override {
    events.push_back("saveComputer");
    return true;
  }
  void deleteLoginFile() override { events.push_back("deleteLoginFile"); }
  void deleteProductRegistryTraces() override { events.push_back("deleteProductRegistryTraces"); }
  bool isOutlook2000InternetMailOnly() override { return internetMailOnly; }
  void reportUnknownException(const CString& context) override {
    events.push_back("unknown:" + utf8(context));
    CDocumentHostServices::reportUnknownException(context);
  }

  // Sent and posted messages, in order: "send:login 1", "post:progress 16", "post:text Backing up A",
  // "send:status 9"...
  std::vector<std::string> messages;
  std::vector<std::string> events;
  std::vector<int> percents;
  std::vector<LONG> statusCodes;
  int pumps = 0;
  std::function<void()> onPump;
  HWND mainWindow = nullptr;
  bool closePending = false;
  bool autostartWorks = true;
  bool secureAreaLoggedOut = false;
  bool internetMailOnly = false;

 private:
  void record(CAppMessage* message, const char* how) {
    std::string text = how;
    if (auto* login = dynamic_cast<CLoginMessage*>(message)) {
      text += ":login " + std::to_string(login->type);
    } else if (auto* status = dynamic_cast<CSyncStatus*>(message)) {
      text += ":status " + std::to_string(status->code);
      statusCodes.push_back(status->code);
    } else if (auto* progress = dynamic_cast<CProgress*>(message)) {
      if (progress->mode == CProgress::kPercent) {
        text += ":progress " + std::to_string(progress->percent);
        percents.push_back(progress->percent);
      } else {
        text += ":text " + utf8(progress->firstText);
      }
    } else {
      text += ":message";
    }
    messages.push_back(text);
  }
};

// A host with the drive and this computer's profile; the recorder installed for the test.
class SnapinTest : public apptest::ProfilesTest {
 protected:
  SnapinTest() {
    setDocumentHostServices(&services);
    getProfileDatabase().loadProfiles();
    TestOp::alive = 0;
  }
  ~SnapinTest() override { setDocumentHostServices(nullptr); }

  CSystemProfile* self() { return getProfileDatabase().getThisComputerProfile(); }

  // Runs the thread's messages until none is left.
  static void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }

  RecordingServices services;
  Journal journal;
};

}  // namespace snapintest
