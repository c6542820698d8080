// Where the file synchronizer's first full copy of the anchor tree spends its time: the same
// first copy as file_sync_compare, then its parts one by one in the same run, each over a fresh
// empty drive folder: the calculation alone, the ops carried out by CFileSyncOp::perform without
// the crash mark, the crash mark alone (one "executingSyncOp" write per file), doFileOperation
// alone and CopyFileW alone, with cp -a as the anchor. Prints seconds and each part per file.
// Argument 1: the folder for the trees (default /dev/shm).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/document_host_services.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/lingrove.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "platform/host/drives.h"
#include "platform/host/module_registry.h"
#include "platform/win32/win32.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
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
  const fs::path base = fs::path(argc > 1 ? argv[1] : "/dev/shm") / ("kipo-breakdown-" + std::to_string(::getpid()));
  kipotest::TestHost host;
  platform::module::setProgramWindowsPath(u"C:\\Program Files\\Kipo\\Kipo.exe");
  fs::create_directories(host.c("Program Files/Kipo"));
  fs::copy_file(fs::path(KIPO_LANGUAGE_DIR) / "Lingrove_USA.DLL", host.c("Program Files/Kipo/Lingrove_USA.DLL"),
                fs::copy_options::overwrite_existing);
  setMessageBoxSink([](const MessageBoxRequest& box) { return defaultButtonOf(box.style); });
  setLogPath(CString());
  Lingrove language(CString(u"USA"), TRUE);
  const fs::path e = base / "E";
  fs::create_directories(e);
  platform::host::Drive drive;
  drive.name = u"E:";
  drive.root = e;
  drive.type = DRIVE_REMOVABLE;
  platform::host::addDrive(drive);
  CDocumentHostServices services;
  setDocumentHostServices(&services);
  const fs::path anchor = base / "C-Anchor";
  fs::create_directory_symlink(anchor, host.c("Anchor"));
  shell("python3 '" KIPO_ANCHOR_SCRIPT "' '" + anchor.string() + "'");

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
    setDocumentHostServices(nullptr);
    fs::remove_all(base);
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
  setDocumentHostServices(nullptr);
  fs::remove_all(base);
  return 0;
}
