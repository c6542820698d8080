// The file synchronizer over the anchor tree (20,000 files in 400 folders, host tree on drive C:,
// its copy on drive E:, snapshot present) against the Linux tools and the stand-in's own calls
// doing the same work, in one run:
// - the calculation with no changes against `find A B -printf '%s %T@\n'` over both trees and
//   against a FindFirstFileW/FindNextFileW walk of both trees;
// - the first full copy (calculated and executed into an empty drive folder) against `cp -a` of
//   the tree and against CopyFileW of every file;
// - one changed file, calculated and executed, against the same find;
// - 75 host folders (3,750 files) deleted, calculated and executed (deletions on the drive), against
//   the same find.
// Both ways the synchronizer is used are measured: one folder (the folder snap-ins) and a
// preference record of the file snap-in (drive places under "My Computer"). Prints each run's
// figures and each ratio's minimum and median over the repeats (argument 1, default 3). Drive E:
// and the host tree are folders on tmpfs (argument 2, default /dev/shm), so the disk's write-back
// does not swamp the copies.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/win32.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "bench/tree/anchor_host.h"
#include "bench/tree/tree_bench.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using treebench::copyTree;
using treebench::seconds;
using treebench::shell;

// Names, sizes, times and attributes of every entry, as a synchronizer needs them.
std::uint64_t walk(const std::u16string& folder) {
  std::uint64_t check = 0;
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((folder + u"\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    std::u16string_view name(d.cFileName);
    if (name == u"." || name == u"..") continue;
    check += d.ftLastWriteTime.dwLowDateTime ^ d.dwFileAttributes ^ d.nFileSizeLow;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) check += walk(folder + u"\\" + std::u16string(name));
  } while (FindNextFileW(h, &d));
  FindClose(h);
  return check;
}

struct Series {
  std::string name;
  std::vector<double> values;
  void print() const {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    std::printf("%-58s min %6.3f  median %6.3f\n", name.c_str(), v.front(), v[v.size() / 2]);
  }
};

// One way of using the synchronizer: its settings and where its copy lives on the drive.
struct Setup {
  const char* name;
  bool singleFolder;
  std::u16string driveRoot;     // what the synchronizer mirrors into
  fs::path driveCopy;           // the Linux folder that holds the copy of the anchor tree
};

class Harness {
 public:
  Harness(const Setup& setup, CSpaceMan& spaceMan, CSpaceRecord& record)
      : records_(setup.singleFolder ? 0 : 1), setup_(setup), spaceMan_(spaceMan), record_(record) {
    for (CFileSyncPrefRecord& pref : records_) {
      pref.hostPath = u"C:\\Anchor";
      pref.recursive = true;
    }
  }

  std::unique_ptr<CFileSynchronizer> make() {
    auto sync = std::make_unique<CFileSynchronizer>();
    sync->singleFolderMode = setup_.singleFolder;
    sync->unlimitedDepth = true;
    sync->hostRoot = u"C:\\Anchor";
    sync->driveRoot = setup_.driveRoot.c_str();
    sync->driveSnapshotPath = u"E:\\anchor.snap";
    sync->setBackupSnapshotPath(u"C:\\Backup\\anchor.snap");
    if (!setup_.singleFolder) sync->prefRecords = &records_;
    return sync;
  }
  // Calculated ops, or -1 when the calculation failed.
  long calculate(CFileSynchronizer& sync) {
    spaceMan_.freeSyncOps();
    if (sync.calculateSyncOps(&record_, kSyncBothWays) != kSyncDone) return -1;
    return static_cast<long>(spaceMan_.getRunList().size());
  }
  bool execute(CFileSynchronizer& sync) {
    bool ok = sync.preExecuteSyncOps();
    for (const auto& op : spaceMan_.getRunList()) ok = op->execute(kSyncBothWays) == kSyncDone && ok;
    ok = sync.postExecuteSyncOps(true, ok ? kSyncDone : kSyncFailed) && ok;
    spaceMan_.freeSyncOps();
    return ok;
  }

  std::vector<CFileSyncPrefRecord> records_;

 private:
  const Setup& setup_;
  CSpaceMan& spaceMan_;
  CSpaceRecord& record_;
};

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  treebench::AnchorHost bench(argc > 2 ? fs::path(argv[2]) : fs::path("/dev/shm"), "kipo-sync");
  kipotest::TestHost& host = bench.host;
  const fs::path& base = bench.base;
  const fs::path& e = bench.e;
  const fs::path& anchor = bench.anchor;
  const std::string findBoth = "find '" + anchor.string() + "' '%s' -printf '%%s %%T@\\n'";

  CCustomizerList none;
  CSpaceMan spaceMan(none);
  CSpaceRecord record(&spaceMan, nullptr, nullptr, {});

  std::vector<Setup> setups = {
      {"one folder", true, u"E:\\Sync", e / "Sync"},
      {"preference record", false, u"E:\\Profile", e / "Profile" / "My Computer" / "C" / "Anchor"},
  };
  // Argument 3, when given, picks one setup by the start of its name ("one", "preference").
  const std::string only = argc > 3 ? argv[3] : "";
  for (const Setup& setup : setups) {
    if (std::string(setup.name).rfind(only, 0) != 0) continue;
    Harness harness(setup, spaceMan, record);
    const std::u16string driveCopy =
        setup.singleFolder ? setup.driveRoot : setup.driveRoot + u"\\My Computer\\C\\Anchor";
    char findCommand[1024];
    std::snprintf(findCommand, sizeof findCommand, findBoth.c_str(), setup.driveCopy.string().c_str());
    Series calcVsFind{std::string(setup.name) + ": no-change calculation / find", {}};
    Series calcVsWalk{std::string(setup.name) + ": no-change calculation / FindFirstFileW walk", {}};
    Series copyVsCp{std::string(setup.name) + ": first full copy / cp -a", {}};
    Series copyVsCopyFile{std::string(setup.name) + ": first full copy / CopyFileW of every file", {}};
    Series changeVsFind{std::string(setup.name) + ": one changed file, calculated and executed / find", {}};
    Series deleteVsFind{std::string(setup.name) + ": 75 host folders deleted, calculated and executed / find", {}};
    for (int round = 0; round < repeats; ++round) {
      // The first full copy, into an empty drive folder without snapshots.
      fs::remove_all(e / "Sync");
      fs::remove_all(e / "Profile");
      fs::remove_all(e / "cp");
      fs::remove_all(e / "CopyFileW");
      fs::remove(e / "anchor.snap");
      fs::remove(host.c("Backup/anchor.snap"));
      const double cp = seconds([&] { shell("cp -a '" + anchor.string() + "' '" + (e / "cp").string() + "'"); });
      const double copyFile = seconds([&] { copyTree(u"C:\\Anchor", u"E:\\CopyFileW"); });
      long planned = 0;
      bool copied = false;
      const double first = seconds([&] {
        auto sync = harness.make();
        planned = harness.calculate(*sync);
        copied = harness.execute(*sync);
      });
      if (planned != 20000 || !copied) std::fprintf(stderr, "note: first copy planned %ld ops, ok %d\n", planned, copied);

      // Nothing changed.
      std::uint64_t check = 0;
      const double find = seconds([&] { shell(findCommand); });
      const double walked = seconds([&] { check += walk(u"C:\\Anchor") + walk(driveCopy); });
      long quiet = 0;
      const double calc = seconds([&] {
        auto sync = harness.make();
        quiet = harness.calculate(*sync);
      });
      spaceMan.freeSyncOps();
      if (quiet != 0) std::fprintf(stderr, "note: the no-change calculation planned %ld ops\n", quiet);

      // One file changed on the host.
      const std::string changed = "Folder 001/Document number 0001 of folder 001.dat";
      std::ofstream(anchor / changed, std::ios::binary | std::ios::trunc) << "changed in round " << round;
      long one = 0;
      bool executed = false;
      const double change = seconds([&] {
        auto sync = harness.make();
        one = harness.calculate(*sync);
        executed = harness.execute(*sync);
      });
      if (one != 1 || !executed) std::fprintf(stderr, "note: one change planned %ld ops, ok %d\n", one, executed);

      // Host folders deleted: the drive loses their files, one snapshot record at a time.
      const fs::path aside = base / "aside";
      fs::create_directories(aside);
      std::vector<std::string> gone;
      for (int f = 1; f < 100; ++f) {
        if (f % 4 == 0) continue;
        char folderName[32];
        std::snprintf(folderName, sizeof folderName, "Folder %03d", f);
        gone.push_back(folderName);
        fs::rename(anchor / folderName, aside / folderName);
      }
      long deletions = 0;
      bool deleted = false;
      const double deletion = seconds([&] {
        auto sync = harness.make();
        deletions = harness.calculate(*sync);
        deleted = harness.execute(*sync);
      });
      for (const std::string& folderName : gone) fs::rename(aside / folderName, anchor / folderName);
      if (deletions < 3750 || !deleted)
        std::fprintf(stderr, "note: the deletion planned %ld ops, ok %d\n", deletions, deleted);

      calcVsFind.values.push_back(calc / find);
      calcVsWalk.values.push_back(calc / walked);
      copyVsCp.values.push_back(first / cp);
      copyVsCopyFile.values.push_back(first / copyFile);
      changeVsFind.values.push_back(change / find);
      deleteVsFind.values.push_back(deletion / find);
      std::printf("%s, round %d: find %.3fs walk %.3fs calc %.3fs | cp -a %.3fs CopyFileW %.3fs first copy %.3fs | "
                  "one change %.3fs | deletion %.3fs (%llu)\n",
                  setup.name, round + 1, find, walked, calc, cp, copyFile, first, change, deletion,
                  static_cast<unsigned long long>(check % 10));
      std::fflush(stdout);
    }
    for (const Series* s : {&calcVsFind, &calcVsWalk, &copyVsCp, &copyVsCopyFile, &changeVsFind, &deleteVsFind})
      s->print();
  }
  return 0;
}
