// The file synchronizer: its decisions as tables of (A, B, S) cases with the 2-second tolerance,
// the file it was copying when a run died, conflict names, the byte delta of a deletion, the
// desktop.ini rule, whole runs on a host folder and its drive copy (a failed run that keeps its
// unrun deletions, a drive that fills up mid-run), and crash repair after a run killed in
// another process.
#include "snapins/file_synchronizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/file_util.h"
#include "app/system_profile.h"
#include "platform/base/fault.h"
#include "platform/host/drives.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/child_program.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;
using snapintest::SnapinTest;

constexpr int kNo = 7;
constexpr LONG kT = 1300000000;  // a time of the past, in seconds since 1970

class ScopedFault {
 public:
  ScopedFault(const char* call, DWORD error, const std::u16string& subject) {
    platform::fault::Fault f;
    f.call = call;
    f.error = error;
    f.subject = subject;
    id_ = platform::fault::inject(f);
  }
  ~ScopedFault() { platform::fault::removeLocal(id_); }

 private:
  std::uint64_t id_;
};

void setTime(const fs::path& file, LONG seconds) {
  const auto when = std::chrono::sys_seconds(std::chrono::seconds(seconds));
  fs::last_write_time(file, fs::file_time_type::clock::from_sys(when));
}

class FileSyncTest : public SnapinTest {
 protected:
  FileSyncTest() : spaceMan(none), record(&spaceMan, nullptr, nullptr, {}) {
    fs::create_directories(host.c("Data"));
    fs::create_directories(drive / "Sync");
    sync = make();
  }
  ~FileSyncTest() override {
    sync.reset();
    kipotest::destroyThreadWindows();
  }

  std::unique_ptr<CFileSynchronizer> make() {
    auto s = std::make_unique<CFileSynchronizer>();
    s->singleFolderMode = true;
    s->hostRoot = u"C:\\Data";
    s->driveRoot = u"E:\\Sync";
    s->driveSnapshotPath = u"E:\\data.snap";
    s->setBackupSnapshotPath(u"C:\\Backup\\data.snap");
    return s;
  }

  // Host file C:\Data\<name> and drive file E:\Sync\<name>, each with its time.
  void hostFile(const std::string& name, LONG time, const std::string& data = "host") {
    host.write("Data/" + name, data);
    setTime(host.c("Data/" + name), time);
  }
  void driveFile(const std::string& name, LONG time, const std::string& data = "drive") {
    fs::create_directories((drive / "Sync" / name).parent_path());
    writeBytes(drive / "Sync" / name, data);
    setTime(drive / "Sync" / name, time);
  }
  std::string onDrive(const std::string& name) { return fs::exists(drive / "Sync" / name) ? readBytes(drive / "Sync" / name) : "<missing>"; }

  int calculate(CFileSynchronizer& s, DWORD mode = kSyncBothWays) {
    spaceMan.freeSyncOps();
    return s.calculateSyncOps(&record, mode);
  }
  // The planned ops as "<kind> <file name>", in run order.
  std::vector<std::string> planned() {
    std::vector<std::string> out;
    for (const auto& op : spaceMan.getRunList()) {
      const auto* f = dynamic_cast<const CFileSyncOp*>(op.get());
      out.push_back(std::to_string(op->kind) + " " + utf8(getFileName(f->pathA)));
    }
    return out;
  }
  // Runs the planned ops as the coordinator does: a failed op asks whether to go on.
  int execute(CFileSynchronizer& s, DWORD mode = kSyncBothWays) {
    s.preExecuteSyncOps();
    int result = kSyncDone;
    for (const auto& op : spaceMan.getRunList()) {
      if (op->execute(mode) != kSyncDone && !op->askToContinue()) {
        result = kSyncFailed;
        break;
      }
    }
    s.postExecuteSyncOps(true, result);
    spaceMan.freeSyncOps();
    return result;
  }
  int run(CFileSynchronizer& s) {
    const int calculated = calculate(s);
    return calculated == kSyncDone ? execute(s) : calculated;
  }

  CCustomizerList none;
  CSpaceMan spaceMan;
  CSpaceRecord record;
  std::unique_ptr<CFileSynchronizer> sync;
};

constexpr LONG kNone = -1;

// The decision with a record S: host time A, drive time B (kNone: missing), S's time.
TEST_F(FileSyncTest, DecisionWithARecordFollowsTheThreeWayTable) {
  struct Case {
    LONG a, b, s;
    DWORD kind;
  };
  const Case cases[] = {
      {kT, kT, kT, kFileOpNothing},
      {kT + 2, kT, kT, kFileOpNothing},         // 2 seconds apart: the same time
      {kT + 3, kT, kT, kFileOpHostToDrive},     // changed on the host
      {kT, kT + 3, kT, kFileOpDriveToHost},     // changed on the drive
      {kT + 10, kT + 3, kT, kFileOpConflict},   // changed on both
      {kT + 10, kT + 4, kT + 2, kFileOpHostToDrive},  // B within 2 seconds of S: unchanged
      {kT + 10, kT + 10, kT, kFileOpNothing},   // both changed alike
      {kT, kNone, kT, kFileOpHostToDrive},      // B gone: copied again
      {kNone, kT, kT, kFileOpDeleteOnDrive},    // A deleted on the host
      {kNone, kNone, kT, kFileOpNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.a - kT) + " " + std::to_string(c.b - kT) + " " + std::to_string(c.s - kT));
    fs::remove(host.c("Data/f.txt"));
    fs::remove(drive / "Sync/f.txt");
    if (c.a != kNone) hostFile("f.txt", c.a);
    if (c.b != kNone) driveFile("f.txt", c.b);
    CFileSnapshot s;
    s.hostPath = u"C:\\Data\\f.txt";
    s.modificationTime = static_cast<DWORD>(c.s);
    EXPECT_EQ(sync->decide(u"C:\\Data\\f.txt", u"E:\\Sync\\f.txt", &s), c.kind);
    EXPECT_TRUE(s.hasState(kSnapshotVisited));
    // A record already visited in this calculation plans nothing more.
    EXPECT_EQ(sync->decide(u"C:\\Data\\f.txt", u"E:\\Sync\\f.txt", &s), kFileOpNothing);
  }
}

TEST_F(FileSyncTest, DecisionWithoutARecordNeverDeletesAndConflictsOnlyInConflictMode) {
  struct Case {
    LONG a, b;
    bool conflictMode;
    DWORD kind;
  };
  const Case cases[] = {
      {kNone, kT, false, kFileOpDriveToHost},  {kT, kNone, false, kFileOpHostToDrive},
      {kT, kT + 2, false, kFileOpNothing},     {kT, kT + 3, false, kFileOpDriveToHost},
      {kT, kT + 3, true, kFileOpConflict},     {kT + 3, kT, false, kFileOpHostToDrive},
      {kT + 3, kT, true, kFileOpConflict},     {kNone, kNone, false, kFileOpNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.a - kT) + " " + std::to_string(c.b - kT) + " " + std::to_string(c.conflictMode));
    fs::remove(host.c("Data/f.txt"));
    fs::remove(drive / "Sync/f.txt");
    if (c.a != kNone) hostFile("f.txt", c.a);
    if (c.b != kNone) driveFile("f.txt", c.b);
    sync->conflictMode = c.conflictMode;
    EXPECT_EQ(sync->decide(u"C:\\Data\\f.txt", u"E:\\Sync\\f.txt", nullptr), c.kind);
  }
}

// The file being copied when a run died is a conflict only while both copies exist: after a
// crash during a delete nothing is left to be in conflict with.
TEST_F(FileSyncTest, TheInterruptedFileIsAConflictOnlyWhenBothCopiesExist) {
  CRegistry(CString(kLocalPrefsKey), true, true).setString(kExecutingSyncOpValue, CString(u"c:\\data\\F.TXT"));
  auto s = make();
  EXPECT_EQ(utf8(s->interruptedFile()), "c:\\data\\F.TXT");
  struct Case {
    LONG a, b;
    DWORD kind;
  };
  const Case cases[] = {
      {kT, kT, kFileOpConflict},
      {kNone, kT, kFileOpDeleteOnDrive},
      {kT, kNone, kFileOpHostToDrive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + " " + std::to_string(c.b));
    fs::remove(host.c("Data/f.txt"));
    fs::remove(drive / "Sync/f.txt");
    if (c.a != kNone) hostFile("f.txt", c.a);
    if (c.b != kNone) driveFile("f.txt", c.b);
    CFileSnapshot record;
    record.modificationTime = kT;
    EXPECT_EQ(s->decide(u"C:\\Data\\f.txt", u"E:\\Sync\\f.txt", &record), c.kind);
  }
}

TEST_F(FileSyncTest, ConflictNamesRunUpToNine) {
  driveFile("r.txt", kT);
  driveFile("n(1).txt", kT);
  for (int n = 1; n <= 8; ++n) driveFile("r(" + std::to_string(n) + ").txt", kT);
  EXPECT_EQ(utf8(CFileSynchronizer::makeConflictPath(u"E:\\Sync\\r.txt")), "E:\\Sync\\r(9).txt");
  // A name that already ends in (1): its own name is the first candidate, then (2) follows it.
  EXPECT_EQ(utf8(CFileSynchronizer::makeConflictPath(u"E:\\Sync\\n(1).txt")), "E:\\Sync\\n(1)(2).txt");
  EXPECT_EQ(utf8(CFileSynchronizer::makeConflictPath(u"E:\\Sync\\No extension")), "E:\\Sync\\No extension(1)");
  EXPECT_EQ(utf8(CFileSynchronizer::makeConflictPath(u"E:\\Sync.d\\file")), "E:\\Sync.d\\file(1)");
  EXPECT_TRUE(boxes.empty());
  driveFile("r(9).txt", kT);
  EXPECT_TRUE(CFileSynchronizer::makeConflictPath(u"E:\\Sync\\r.txt").IsEmpty());
  EXPECT_EQ(boxes.size(), 1u);  // message 523
}

TEST_F(FileSyncTest, DesktopIniIsMatchedAsAFileNameWithoutCase) {
  const std::map<std::u16string, bool> cases = {
      {u"C:\\Data\\desktop.ini", true},           {u"C:\\Data\\Sub\\DESKTOP.INI", true},
      {u"E:/Sync/Desktop.Ini", true},             {u"C:\\Data\\desktop.ini.bak", false},
      {u"C:\\Data\\mydesktop.ini", false},        {u"C:\\desktop.ini files\\a.txt", false},
  };
  for (const auto& [path, excluded] : cases) {
    SCOPED_TRACE(utf8(CString(path.c_str())));
    EXPECT_EQ(isDesktopIniFile(CString(path.c_str())), excluded);
    EXPECT_EQ(sync->isExcluded(CString(path.c_str()), true), excluded);
  }
}

// A FAT32 drive keeps write times to 2 seconds, rounded up: copies of files with odd times come
// back a second newer. The 2-second tolerance makes the next calculation plan nothing; without
// it every such file would look changed on the drive and be copied back.
TEST_F(FileSyncTest, AFatDriveRoundsTimesAndTheToleranceAbsorbsIt) {
  const fs::path fat = kipotest::freshTempDir("fat-drive");
  platform::host::Drive d;
  d.name = u"F:";
  d.root = fat;
  d.type = DRIVE_REMOVABLE;
  d.fileSystem = u"FAT32";
  platform::host::addDrive(d);
  const auto onFat = [&](const std::function<void(CFileSynchronizer&)>& tune) {
    auto s = make();
    s->driveRoot = u"F:\\Sync";
    s->driveSnapshotPath = u"F:\\data.snap";
    s->setBackupSnapshotPath(u"C:\\Backup\\fat.snap");
    tune(*s);
    return s;
  };
  hostFile("odd.txt", kT + 1, "odd");
  hostFile("even.txt", kT, "even");
  auto first = onFat([](CFileSynchronizer&) {});
  ASSERT_EQ(run(*first), kSyncDone);
  EXPECT_EQ(getFileModificationTime(u"F:\\Sync\\odd.txt"), kT + 2);
  EXPECT_EQ(getFileModificationTime(u"F:\\Sync\\even.txt"), kT);

  auto quiet = onFat([](CFileSynchronizer&) {});
  ASSERT_EQ(calculate(*quiet), kSyncDone);
  EXPECT_TRUE(planned().empty());
  auto strict = onFat([](CFileSynchronizer& s) { s.twoSecondTolerance = false; });
  ASSERT_EQ(calculate(*strict), kSyncDone);
  EXPECT_EQ(planned(), (std::vector<std::string>{"2 odd.txt"}));
  spaceMan.freeSyncOps();
  platform::host::removeDrive(u"F:");
}

// A first run copies the folder; then a host change goes to the drive, a drive change to the
// host, a host deletion deletes the drive copy with a delta of minus its size, and a run with
// nothing changed plans nothing.
TEST_F(FileSyncTest, RunsKeepHostAndDriveInStep) {
  hostFile("a.txt", kT, "a1");
  hostFile("b.txt", kT, "b1");
  hostFile("c.txt", kT, std::string(5000, 'c'));
  hostFile("desktop.ini", kT);
  ASSERT_EQ(run(*sync), kSyncDone);
  EXPECT_EQ(onDrive("a.txt"), "a1");
  EXPECT_EQ(onDrive("desktop.ini"), "<missing>");
  EXPECT_TRUE(fileExists(u"E:\\data.snap"));
  EXPECT_EQ(readBytes(drive / "data.snap"), readBytes(host.c("Backup/data.snap")));

  hostFile("a.txt", kT + 100, "a2");
  driveFile("b.txt", kT + 100, "b2");
  fs::remove(host.c("Data/c.txt"));
  auto next = make();
  ASSERT_EQ(calculate(*next), kSyncDone);
  EXPECT_EQ(planned(), (std::vector<std::string>{"4 c.txt", "1 a.txt", "2 b.txt"}));
  const CSyncOp* deletion = spaceMan.getRunList().front().get();
  EXPECT_EQ(deletion->byteDelta, -5000);
  ASSERT_EQ(execute(*next), kSyncDone);
  EXPECT_EQ(onDrive("a.txt"), "a2");
  EXPECT_EQ(host.read("Data/b.txt"), "b2");
  EXPECT_EQ(onDrive("c.txt"), "<missing>");

  auto quiet = make();
  ASSERT_EQ(calculate(*quiet), kSyncDone);
  EXPECT_TRUE(planned().empty());
}

// A run that fails puts back the records of the deletions it did not get to: the next run must
// not take the drive copy for a new file and copy it back to the host.
TEST_F(FileSyncTest, AFailedRunKeepsTheRecordsOfDeletionsThatDidNotRun) {
  hostFile("d1.txt", kT);
  hostFile("d2.txt", kT);
  ASSERT_EQ(run(*sync), kSyncDone);
  fs::remove(host.c("Data/d1.txt"));
  fs::remove(host.c("Data/d2.txt"));
  auto next = make();
  ASSERT_EQ(calculate(*next), kSyncDone);
  ASSERT_EQ(planned().size(), 2u);
  const auto* first = dynamic_cast<const CFileSyncOp*>(spaceMan.getRunList().front().get());
  answers.push_back(kNo);
  {
    ScopedFault fault("DeleteFileW", ERROR_ACCESS_DENIED, first->pathB.GetString());
    EXPECT_EQ(execute(*next), kSyncFailed);
  }
  EXPECT_TRUE(fs::exists(drive / "Sync/d1.txt"));
  EXPECT_TRUE(fs::exists(drive / "Sync/d2.txt"));

  auto again = make();
  ASSERT_EQ(calculate(*again), kSyncDone);
  EXPECT_EQ(planned(), (std::vector<std::string>{"4 d2.txt", "4 d1.txt"}));
}

// The user goes on past ops that failed (the drive was pulled): the run ends as done, but a failed
// op's record must not claim its outcome. The drive file whose copy to the host failed stays one to
// copy, not one the host deleted (which would delete it from the drive), and the deletion that
// failed is planned again rather than its drive copy taken for new.
TEST_F(FileSyncTest, OpsThatFailedInARunThatWentOnAreTriedAgainNotUndone) {
  hostFile("gone.txt", kT);
  ASSERT_EQ(run(*sync), kSyncDone);
  fs::remove(host.c("Data/gone.txt"));
  driveFile("new.txt", kT + 50);
  const std::vector<std::string> both{"2 new.txt", "4 gone.txt"};
  const auto sortedPlan = [&] {
    std::vector<std::string> plan = planned();
    std::sort(plan.begin(), plan.end());
    return plan;
  };
  auto next = make();
  ASSERT_EQ(calculate(*next), kSyncDone);
  EXPECT_EQ(sortedPlan(), both);
  {
    ScopedFault copy("CopyFileW", ERROR_FILE_NOT_FOUND, u"E:\\Sync\\new.txt");
    ScopedFault remove("DeleteFileW", ERROR_ACCESS_DENIED, u"E:\\Sync\\gone.txt");
    EXPECT_EQ(execute(*next), kSyncDone);  // each failure answered with going on
  }
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(onDrive("new.txt"), "drive");
  EXPECT_EQ(onDrive("gone.txt"), "host");

  auto again = make();
  ASSERT_EQ(calculate(*again), kSyncDone);
  EXPECT_EQ(sortedPlan(), both);
  ASSERT_EQ(execute(*again), kSyncDone);
  EXPECT_EQ(host.read("Data/new.txt"), "drive");
  EXPECT_EQ(onDrive("new.txt"), "drive");
  EXPECT_EQ(onDrive("gone.txt"), "<missing>");
}

// The drive fills up at the second copy and the user stops: the saved snapshot claims only the
// copy that was made, so the next run plans the others again and nothing is lost.
TEST_F(FileSyncTest, ADriveThatFillsUpMidRunClaimsNothingThatWasNotCopied) {
  hostFile("one.txt", kT, "1");
  hostFile("two.txt", kT, "2");
  hostFile("three.txt", kT, "3");
  ASSERT_EQ(calculate(*sync), kSyncDone);
  ASSERT_EQ(planned().size(), 3u);
  const auto* second = dynamic_cast<const CFileSyncOp*>(spaceMan.getRunList()[1].get());
  const std::string failing = utf8(getFileName(second->pathA));
  answers.push_back(kNo);
  {
    ScopedFault fault("CopyFileW", ERROR_DISK_FULL, second->pathA.GetString());
    EXPECT_EQ(execute(*sync), kSyncFailed);
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("There is not enough space on the disk."), std::string::npos);
  EXPECT_EQ(onDrive(failing), "<missing>");

  CSyncSnapshot saved;
  ASSERT_TRUE(saved.read(u"E:\\data.snap"));
  EXPECT_EQ(saved.getCount(), 1);
  auto next = make();
  ASSERT_EQ(calculate(*next), kSyncDone);
  EXPECT_EQ(planned().size(), 2u);
  ASSERT_EQ(execute(*next), kSyncDone);
  for (const char* name : {"one.txt", "two.txt", "three.txt"}) EXPECT_NE(onDrive(name), "<missing>") << name;
}

// A run killed outright in the middle of its copies: the snapshot copies stay as the last good
// run left them (a synchronizer of the next session that runs nothing does not write them), and
// the next run makes the interrupted file a conflict in which both versions survive.
TEST_F(FileSyncTest, ARunKilledMidExecutionIsRepairedByTheNextRun) {
  hostFile("a.txt", kT, "a1");
  hostFile("b.txt", kT, "b1");
  hostFile("c.txt", kT, "c1");
  ASSERT_EQ(run(*sync), kSyncDone);
  sync.reset();
  const std::string drivedSnapshot = readBytes(drive / "data.snap");
  ASSERT_EQ(drivedSnapshot, readBytes(host.c("Backup/data.snap")));

  hostFile("a.txt", kT + 100, "a2");
  hostFile("b.txt", kT + 100, "b2");
  hostFile("c.txt", kT + 100, "c2");
  std::string interrupted;
  {
    kipotest::ChildProgram child(KIPO_SYNC_PROBE, {"run", drive.string(), utf8(CString(apptest::kLogPath))});
    ASSERT_TRUE(child.saw("copying ")) << child.output();
    const std::string out = child.readUntil("\n");
    interrupted = out.substr(out.find("copying ") + 8);
    interrupted = interrupted.substr(0, interrupted.find('\n'));
    child.kill();
  }
  ASSERT_FALSE(interrupted.empty());
  CRegistry local{CString(kLocalPrefsKey)};
  bool inProgress = false;
  EXPECT_TRUE(local.getBool(kSyncInProgressValue, inProgress) && inProgress);
  EXPECT_EQ(regText(kLocalPrefsKey, kExecutingSyncOpValue), interrupted);
  EXPECT_EQ(readBytes(drive / "data.snap"), drivedSnapshot);
  EXPECT_EQ(readBytes(host.c("Backup/data.snap")), drivedSnapshot);

  // A session that calculates but never runs leaves both copies as they were, and the mark stays
  // for the synchronize dialog.
  {
    auto idle = make();
    ASSERT_EQ(calculate(*idle), kSyncDone);
    spaceMan.freeSyncOps();
  }
  EXPECT_EQ(readBytes(drive / "data.snap"), drivedSnapshot);
  EXPECT_EQ(readBytes(host.c("Backup/data.snap")), drivedSnapshot);
  EXPECT_TRUE(local.getBool(kSyncInProgressValue, inProgress) && inProgress);

  auto repair = make();
  ASSERT_EQ(calculate(*repair), kSyncDone);
  const std::string name = utf8(getFileName(CString(platform::text::fromUtf8(interrupted))));
  const std::vector<std::string> plan = planned();
  EXPECT_NE(std::find(plan.begin(), plan.end(), "5 " + name), plan.end());
  ASSERT_EQ(execute(*repair), kSyncDone);
  const std::string base = name.substr(0, name.size() - 4);
  EXPECT_EQ(onDrive(name), base + "2");
  EXPECT_EQ(onDrive(base + "(1).txt"), base + "1");  // the drive's version survives beside it
  EXPECT_EQ(host.read("Data/" + base + "(1).txt"), base + "1");
  EXPECT_EQ(host.read("Data/" + name), base + "2");
  EXPECT_TRUE(local.getBool(kSyncInProgressValue, inProgress) && !inProgress);
  EXPECT_EQ(regText(kLocalPrefsKey, kExecutingSyncOpValue), "<none>");
  EXPECT_EQ(readBytes(drive / "data.snap"), readBytes(host.c("Backup/data.snap")));
}

// The first run killed while copying a file new to the drive: the torn copy has no record to be
// held against and is newer than the host's file, so only the mark written before that copy keeps
// it from being copied back over the host's file. A mark written less often than before every
// copy would lose the host's data here.
TEST_F(FileSyncTest, AFirstRunKilledMidCopyNeverCopiesTheTornFileBack) {
  hostFile("a.txt", kT, "a-host");
  hostFile("b.txt", kT, "b-host");
  hostFile("c.txt", kT, "c-host");
  std::string interrupted;
  {
    kipotest::ChildProgram child(KIPO_SYNC_PROBE, {"run", drive.string(), utf8(CString(apptest::kLogPath))});
    ASSERT_TRUE(child.saw("copying ")) << child.output();
    const std::string out = child.readUntil("\n");
    interrupted = out.substr(out.find("copying ") + 8);
    interrupted = interrupted.substr(0, interrupted.find('\n'));
    child.kill();
  }
  ASSERT_FALSE(interrupted.empty());
  const std::string name = utf8(getFileName(CString(platform::text::fromUtf8(interrupted))));
  const std::string base = name.substr(0, name.size() - 4);
  // What a copy cut off leaves: part of the data, the time of the cut.
  writeBytes(drive / "Sync" / name, "to");
  ASSERT_FALSE(fs::exists(drive / "data.snap"));

  auto repair = make();
  ASSERT_EQ(calculate(*repair), kSyncDone);
  const std::vector<std::string> plan = planned();
  EXPECT_NE(std::find(plan.begin(), plan.end(), "5 " + name), plan.end());
  EXPECT_EQ(std::find(plan.begin(), plan.end(), "2 " + name), plan.end());
  ASSERT_EQ(execute(*repair), kSyncDone);
  EXPECT_EQ(host.read("Data/" + name), base + "-host");
  EXPECT_EQ(onDrive(name), base + "-host");
  EXPECT_EQ(onDrive(base + "(1).txt"), "to");  // the torn copy is kept aside, not taken for news
  for (const std::string other : {"a", "b", "c"}) {
    if (other == base) continue;
    EXPECT_EQ(onDrive(other + ".txt"), other + "-host");
  }
}

// The crash mark belongs to the run that set it: a synchronizer whose own run ended, or that
// never ran, writes nothing when it goes away while another run holds the mark, neither its
// stale snapshot nor an empty or unloaded one.
TEST_F(FileSyncTest, OnlyTheRunThatSetTheMarkRevertsOnDestruction) {
  hostFile("a.txt", kT);
  ASSERT_EQ(run(*sync), kSyncDone);
  hostFile("a.txt", kT + 100, "newer");
  {
    auto later = make();
    ASSERT_EQ(run(*later), kSyncDone);
  }
  const std::string stored = readBytes(host.c("Backup/data.snap"));
  CRegistry(CString(kLocalPrefsKey), true, true).setBool(kSyncInProgressValue, true);
  sync.reset();
  EXPECT_EQ(readBytes(host.c("Backup/data.snap")), stored);
  {
    auto other = make();
    ASSERT_EQ(calculate(*other), kSyncDone);
    other->snapshot().clear();
    spaceMan.freeSyncOps();
  }
  EXPECT_EQ(readBytes(host.c("Backup/data.snap")), stored);
  {
    auto unloaded = make();
    unloaded->preExecuteSyncOps();
  }
  EXPECT_EQ(readBytes(host.c("Backup/data.snap")), stored);
}

}  // namespace
