// What the tests of the synchronize dialog, the progress dialogs and the device usage strip share:
// the drive and this computer's profile, a real switchboard that delivers the run coordinator's
// status and progress messages to the dialogs, a document with a coordinator, the file snap-in
// (for its Desktop and Favorites choices, not registered for runs) and a scripted snap-in whose
// synchronizer plans and executes the file operations each test gives it, and a login host that
// records the view's synchronization run.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_messages.h"
#include "app/customizer_doc.h"
#include "app/document_host_services.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/switchboard.h"
#include "platform/base/clock.h"
#include "platform/host/drives.h"
#include "snapins/file_customizer.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/test_windows.h"
#include "ui/login_host.h"

namespace synctest {

using snapintest::Journal;
using snapintest::TestSnapin;

// The switchboard of the application: messages reach the registered dialogs.
class SwitchboardServices : public CDocumentHostServices {
 public:
  SwitchboardServices() { setDocumentHostServices(this); }
  ~SwitchboardServices() override { setDocumentHostServices(nullptr); }
  bool sendAppMessage(CAppMessage* message) override {
    if (board) return board->sendMessage(message);
    delete message;
    return true;
  }
  bool postAppMessage(CAppMessage* message) override {
    if (board) return board->postMessage(message);
    delete message;
    return true;
  }
  CSwitchboard* board = nullptr;
};

class RecordingHost : public CLoginHost {
 public:
  RecordingHost() { setLoginHost(this); }
  ~RecordingHost() override { setLoginHost(nullptr); }
  CCustomizerDoc* document() override { return doc; }
  bool addListener(CSwitchboardListener* listener) override { return board && board->addListener(listener); }
  bool removeListener(CSwitchboardListener* listener) override { return board && board->removeListener(listener); }
  void synchronize(DWORD mode) override {
    runs.push_back(mode);
    if (onSynchronize) onSynchronize(mode);
  }
  CCustomizerDoc* doc = nullptr;
  CSwitchboard* board = nullptr;
  std::vector<DWORD> runs;
  std::function<void(DWORD)> onSynchronize;
};

// Plans the file operations it is given on every calculation and executes them into the journal.
class FileOpSynchronizer : public CSynchronizer {
 public:
  struct Plan {
    DWORD kind;
    LONGLONG delta;
    const char16_t* pathA;
    const char16_t* pathB;
    int result = kSyncDone;
  };
  explicit FileOpSynchronizer(Journal& journal) : journal_(journal) {}

  int calculateSyncOps(CSpaceRecord* record, DWORD) override {
    journal_.push_back("calculate");
    ++calculations;
    byteCount = 0;
    for (std::size_t i = 0; i < plans.size(); ++i) {
      if (record->isCancelled()) return kSyncCancelled;
      if (duringCalculation) duringCalculation(i);
      const Plan& p = plans[i];
      byteCount += p.delta;
      record->addSyncOp(std::make_unique<CFileSyncOp>(p.kind, this, p.delta, CString(p.pathA), CString(p.pathB)));
    }
    if (moreOps) moreOps(record);
    if (record->isCancelled()) return kSyncCancelled;
    return kSyncDone;
  }
  bool preExecuteSyncOps() override { return true; }
  bool postExecuteSyncOps(bool, int) override { return true; }
  int executeSyncOp(CSyncOp* op, DWORD) override {
    auto* file = dynamic_cast<CFileSyncOp*>(op);
    if (!file) return kSyncNotMine;
    journal_.push_back("exec:" + snapintest::utf8(file->pathA));
    // As the file synchronizer does, the op is announced as it starts.
    documentHostServices().sendAppMessage(new CSyncStatus(CSyncStatus::kOpExecuting, op));
    if (duringExecution) duringExecution(*file);
    // As the file synchronizer does between files: messages flow and a stop is seen.
    if (spaceMan && spaceMan->isCancelled()) return kSyncCancelled;
    return kSyncDone;
  }

  std::vector<Plan> plans;
  CSpaceMan* spaceMan = nullptr;
  int calculations = 0;
  std::function<void(std::size_t)> duringCalculation;
  // Ops of other kinds (an item synchronizer's) planned after the file ops.
  std::function<void(CSpaceRecord*)> moreOps;
  std::function<void(CFileSyncOp&)> duringExecution;

 private:
  Journal& journal_;
};

class SyncUiTest : public apptest::ProfilesTest {
 protected:
  SyncUiTest() {
    // A drive of its own size: the free-space warning must not depend on the disk the tests run on.
    setDriveCapacity(std::uint64_t{1} << 30);
    getProfileDatabase().loadProfiles();
    // The keys the pref file's load makes for the snap-ins whose choices the dialogs store.
    for (const char16_t* snapin : {u"Files", u"Scripted", u"Cookies"})
      CRegistry(CPreferenceFile::getComputerPrefsPath(*self()) + u"\\" + snapin, true, true);
    // This computer was named at an earlier run: the synchronize dialog does not ask for it.
    openThisComputerPrefs().setBool(u"nicknameSet", true);
    board = std::make_unique<CSwitchboard>();
    services.board = board.get();
    login.board = board.get();
    login.doc = &doc;
    auto filesSnapin = std::make_unique<CFileCustomizer>(nullptr);
    files = filesSnapin.get();
    doc.addCustomizer(std::move(filesSnapin));
    auto scriptedSnapin = std::make_unique<TestSnapin>(journal, u"Scripted");
    scripted = scriptedSnapin.get();
    doc.addCustomizer(std::move(scriptedSnapin));
    synchronizer = std::make_unique<FileOpSynchronizer>(journal);
    synchronizer->spaceMan = &doc.getSpaceMan();
    doc.getSpaceMan().addSynchronizer(scripted, synchronizer.get());
    doc.getSpaceMan().buildSpaceRecords();
  }
  ~SyncUiTest() override {
    kipotest::destroyThreadWindows();
    services.board = nullptr;
    login.board = nullptr;
  }

  CSystemProfile* self() { return getProfileDatabase().getThisComputerProfile(); }

  // Drive E: again, with a capacity of `bytes` (free space is then the capacity less what it holds).
  void setDriveCapacity(std::uint64_t bytes) {
    platform::host::removeDrive(u"E:");
    platform::host::Drive d;
    d.name = u"E:";
    d.root = drive;
    d.type = DRIVE_REMOVABLE;
    d.serial = apptest::kDriveSerial;
    d.capacity = bytes;
    platform::host::addDrive(d);
  }

  CWinApp application{u"Kipo"};
  platform::clock::VirtualClock clock;
  SwitchboardServices services;
  std::unique_ptr<CSwitchboard> board;
  RecordingHost login;
  Journal journal;
  CCustomizerDoc doc;
  CFileCustomizer* files = nullptr;
  TestSnapin* scripted = nullptr;
  std::unique_ptr<FileOpSynchronizer> synchronizer;
};

}  // namespace synctest
