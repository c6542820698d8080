// The file synchronizer's calculation when nothing changed, over a generated tree (files spread
// over folders of 50, sizes 100 B to 20 KB) on the host and its copy on a drive, snapshot present,
// against a stat walk of both trees by `find A B -printf '%s %T@\n'` in the same run. The first
// full copy is made once, before timing. Counters: calc_ms, find_ms, ratio (calc over find),
// planned (ops of the no-change calculation: 0 when the tolerance and the snapshot hold).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "app/document_host_services.h"
#include "app/lingrove.h"
#include "app/log.h"
#include "app/messages.h"
#include "platform/host/drives.h"
#include "platform/host/host.h"
#include "platform/host/module_registry.h"
#include "platform/win32/win32.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void makeTree(const fs::path& root, int files) {
  std::mt19937 random(18);
  std::uniform_int_distribution<int> size(100, 20 * 1024);
  const std::string bytes(20 * 1024, 'k');
  for (int i = 0; i < files; ++i) {
    const fs::path folder = root / ("folder " + std::to_string(i / 50));
    if (i % 50 == 0) fs::create_directories(folder);
    std::ofstream(folder / ("file " + std::to_string(i) + ".dat"), std::ios::binary).write(bytes.data(), size(random));
  }
}

std::unique_ptr<CFileSynchronizer> makeSynchronizer() {
  auto sync = std::make_unique<CFileSynchronizer>();
  sync->singleFolderMode = true;
  sync->unlimitedDepth = true;
  sync->hostRoot = u"C:\\Data";
  sync->driveRoot = u"E:\\Sync";
  sync->driveSnapshotPath = u"E:\\data.snap";
  sync->setBackupSnapshotPath(u"C:\\Backup\\data.snap");
  return sync;
}

void BM_NoChangeCalculation(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  kipotest::TestHost host;
  platform::module::setProgramWindowsPath(u"C:\\Program Files\\Kipo\\Kipo.exe");
  fs::create_directories(host.c("Program Files/Kipo"));
  fs::copy_file(fs::path(KIPO_LANGUAGE_DIR) / "Lingrove_USA.DLL", host.c("Program Files/Kipo/Lingrove_USA.DLL"),
                fs::copy_options::overwrite_existing);
  MessageBoxSink previousSink = setMessageBoxSink([](const MessageBoxRequest& box) { return defaultButtonOf(box.style); });
  {
    Lingrove language(CString(u"USA"), TRUE);
    const fs::path drive = kipotest::freshTempDir("bench-sync-drive");
    platform::host::Drive d;
    d.name = u"E:";
    d.root = drive;
    d.type = DRIVE_REMOVABLE;
    platform::host::addDrive(d);
    CDocumentHostServices services;
    setDocumentHostServices(&services);
    makeTree(host.c("Data"), files);
    fs::create_directories(drive / "Sync");

    CCustomizerList none;
    CSpaceMan spaceMan(none);
    CSpaceRecord record(&spaceMan, nullptr, nullptr, {});
    {
      auto first = makeSynchronizer();
      first->calculateSyncOps(&record, kSyncBothWays);
      first->preExecuteSyncOps();
      for (const auto& op : spaceMan.getRunList()) op->execute(kSyncBothWays);
      first->postExecuteSyncOps(true, kSyncDone);
      spaceMan.freeSyncOps();
    }
    const std::string find = "find '" + host.c("Data").string() + "' '" + (drive / "Sync").string() +
                             "' -printf '%s %T@\\n' > /dev/null";
    double calcMs = 0, findMs = 0;
    double planned = 0;
    for (auto _ : state) {
      auto sync = makeSynchronizer();
      auto start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(sync->calculateSyncOps(&record, kSyncBothWays));
      calcMs += msSince(start);
      planned += static_cast<double>(spaceMan.getRunList().size());
      spaceMan.freeSyncOps();
      start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(std::system(find.c_str()));
      findMs += msSince(start);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["calc_ms"] = calcMs / n;
    state.counters["find_ms"] = findMs / n;
    state.counters["ratio"] = calcMs / findMs;
    state.counters["planned"] = planned / n;
    setDocumentHostServices(nullptr);
  }
  setMessageBoxSink(previousSink);
  platform::module::setProgramWindowsPath(u"");
}
BENCHMARK(BM_NoChangeCalculation)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
