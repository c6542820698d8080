// Where the file synchronizer's first full copy of the anchor tree spends its time: the same
// first copy as file_sync_compare, then its parts one by one in the same run, each over a fresh
// empty drive folder: the calculation alone, the ops carried out by CFileSyncOp::perform without
// the crash mark, the crash mark alone (one "executingSyncOp" write per file), doFileOperation
// alone and CopyFileW alone, with cp -a as the anchor. Prints seconds and each part per file.
// Argument 1: the folder for the trees (default /dev/shm).

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "platform/win32/win32.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "bench/tree/anchor_host.h"
#include "bench/tree/tree_bench.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using treebench::seconds;
using treebench::shell;

struct Op {
  CString a, b;
};

}  // namespace

int main(int argc, char** argv) {
  treebench::AnchorHost bench(argc > 1 ? fs::path(argv[1]) : fs::path("/dev/shm"), "kipo-breakdown");
  kipotest::TestHost& host = bench.host;
  const fs::path& e = bench.e;
  const fs::path& anchor = bench.anchor;

  // Argument 2 "mark": only the crash mark, 20,000 writes (to look at one part under a profiler).
  if (argc > 2 && std::string(argv[2]) == "mark") {
    CRegistry local;
    local.open(CString(kLocalPrefsKey), true, true);
    const double s = seconds([&] {
      for (int i = 0; i < 20000; ++i) {
        CString path;
        path.Format(u"C:\\Anchor\\Folder %03d\\Document number %04d.dat", i / 50, i);
        local.setString(kExecutingSyncOpValue, path);
      }
    });
    std::printf("crash mark alone: %.3fs, %.1fus per write\n", s, s / 20000 * 1e6);
    return 0;
  }
  CCustomizerList none;
  CSpaceMan spaceMan(none);
  CSpaceRecord record(&spaceMan, nullptr, nullptr, {});
  const auto fresh = [&] {
    fs::remove_all(e / "Sync");
    fs::remove(e / "anchor.snap");
    fs::remove(host.c("Backup/anchor.snap"));
  };
  const auto make = [&] {
    auto sync = std::make_unique<CFileSynchronizer>();
    sync->singleFolderMode = true;
    sync->unlimitedDepth = true;
    sync->hostRoot = u"C:\\Anchor";
    sync->driveRoot = u"E:\\Sync";
    sync->driveSnapshotPath = u"E:\\anchor.snap";
    sync->setBackupSnapshotPath(u"C:\\Backup\\anchor.snap");
    return sync;
  };

  fresh();
  fs::remove_all(e / "cp");
  const double cp = seconds([&] { shell("cp -a '" + anchor.string() + "' '" + (e / "cp").string() + "'"); });

  // The whole first copy, as the comparison benchmark times it.
  fresh();
  double calc = 0, exec = 0, pre = 0, post = 0;
  std::vector<Op> ops;
  {
    auto sync = make();
    calc = seconds([&] { sync->calculateSyncOps(&record, kSyncBothWays); });
    for (const auto& op : spaceMan.getRunList()) {
      auto* f = dynamic_cast<CFileSyncOp*>(op.get());
      if (f) ops.push_back({f->pathA, f->pathB});
    }
    pre = seconds([&] { sync->preExecuteSyncOps(); });
    exec = seconds([&] {
      for (const auto& op : spaceMan.getRunList()) op->execute(kSyncBothWays);
    });
    post = seconds([&] { sync->postExecuteSyncOps(true, kSyncDone); });
    spaceMan.freeSyncOps();
  }
  const double n = static_cast<double>(ops.size());

  // The ops without the crash mark.
  fresh();
  double perform = 0;
  {
    auto sync = make();
    sync->calculateSyncOps(&record, kSyncBothWays);
    perform = seconds([&] {
      for (const auto& op : spaceMan.getRunList())
        if (auto* f = dynamic_cast<CFileSyncOp*>(op.get())) f->perform(kSyncBothWays, &sync->snapshot());
    });
    spaceMan.freeSyncOps();
  }
  // The crash mark alone.
  CRegistry local;
  local.open(CString(kLocalPrefsKey), true, true);
  const double mark = seconds([&] {
    for (const Op& op : ops) local.setString(kExecutingSyncOpValue, op.a);
  });
  // The engine alone, and the system's copy alone.
  fresh();
  const double engine = seconds([&] {
    for (const Op& op : ops) doFileOperation(op.a, op.b, kFileOpCopy);
  });
  fresh();
  std::vector<CString> folders;
  const double copy = seconds([&] {
    for (const Op& op : ops)
      if (!CopyFileW(op.a.GetString(), op.b.GetString(), FALSE)) {
        createDirectoryTree(getParentFolder(op.b));
        CopyFileW(op.a.GetString(), op.b.GetString(), FALSE);
      }
  });

  std::printf("%zu ops; cp -a %.3fs (%.1fus per file)\n", ops.size(), cp, cp / n * 1e6);
  const auto row = [&](const char* what, double s) {
    std::printf("%-44s %7.3fs %8.1fus per file %6.2f x cp -a\n", what, s, s / n * 1e6, s / cp);
  };
  row("first copy: calculation", calc);
  row("first copy: preExecute", pre);
  row("first copy: execution (mark + perform)", exec);
  row("first copy: postExecute (snapshot save)", post);
  row("first copy: whole", calc + pre + exec + post);
  row("perform alone (no crash mark)", perform);
  row("crash mark alone (executingSyncOp writes)", mark);
  row("doFileOperation alone", engine);
  row("CopyFileW alone", copy);
  return 0;
}
