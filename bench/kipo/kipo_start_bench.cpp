// The main program's start on a host with Explorer and a USB drive: from starting "Kipo.exe" to
// its tray icon, and from the tray icon (the frame and documents built, the device not yet
// opened) to the end of start-up (the device opened, the document's preferences loaded and its
// snap-ins built, the view's first steps done: the tray's balloon). The anchor, timed in the same
// run with the programs started in turn, is a trivial program of the platform started and ended
// in the same host, so the figures read as ratios of a plain process start.
// Run: build/bench/kipo_start_bench (milliseconds, medians of the runs).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/win32/tray.h"
#include "tests/Utilities/helper_fixture.h"

namespace {

using namespace helpers;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 9;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double msSince(Clock::time_point begin) {
  return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

// The tray icon of the process: 0 none, 1 present, 2 present with its balloon.
int trayState(DWORD pid) {
  int state = 0;
  for (const platform::tray::Icon& icon : platform::tray::icons()) {
    if (icon.pid != pid) continue;
    state = std::max(state, icon.info.empty() ? 1 : 2);
  }
  return state;
}

bool noKipoLeft() {
  return FindWindowW(u"KipoMainFrameClass", nullptr) == nullptr;
}

void BM_KipoStart(benchmark::State& state) {
  kipotest::TestHost host;
  std::string err;
  kipotest::runTool({"install"}, nullptr, &err);
  fs::path drive = kipotest::freshTempDir("bench-drive");
  kipotest::runTool({"plug", "E:", "--folder", drive.string(), "--serial", "4B1D0E5A"}, nullptr, &err);
  fs::copy_file(KIPO_PROGRAM, drive / "Kipo.exe", fs::copy_options::overwrite_existing);
  kipotest::runTool({"boot"}, nullptr, &err);
  placeProgram(KIPO_START_HOST, u"C:\\bench\\trivial.exe");
  WCHAR appData[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
  const std::u16string folder = std::u16string(appData) + u"\\Brackwater\\Kipo\\";
  const std::u16string kipo = u"\"" + folder + u"Kipo.exe\" /handoff E:\\";

  for (auto _ : state) {
    std::vector<double> anchor, toTray, toEnd;
    for (int i = 0; i < kRuns; ++i) {
      auto begin = Clock::now();
      {
        Started trivial = start(u"C:\\bench\\trivial.exe");
        trivial.waitEnd(30);
      }
      anchor.push_back(msSince(begin));

      begin = Clock::now();
      Started program = start(kipo, folder);
      while (trayState(program.pid) < 1 && program.running()) std::this_thread::sleep_for(std::chrono::microseconds(200));
      double tray = msSince(begin);
      while (trayState(program.pid) < 2 && program.running()) std::this_thread::sleep_for(std::chrono::microseconds(200));
      double end = msSince(begin);
      toTray.push_back(tray);
      toEnd.push_back(end - tray);
      if (HWND frame = FindWindowW(u"KipoMainFrameClass", nullptr)) PostMessageW(frame, WM_CLOSE, 0, 0);
      program.waitEnd(30);
      // The watcher's recovery run follows; the next start waits for it to be over.
      eventually([] { return noKipoLeft(); }, 30);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    state.counters["anchor_ms"] = median(anchor);
    state.counters["start_to_tray_ms"] = median(toTray);
    state.counters["open_device_ms"] = median(toEnd);
    state.counters["tray_ratio"] = median(toTray) / median(anchor);
    state.counters["open_ratio"] = median(toEnd) / median(anchor);
  }
  kipotest::runTool({"shutdown"});
}
BENCHMARK(BM_KipoStart)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
