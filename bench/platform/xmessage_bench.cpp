// The cost of a message to a window of another process: a send answered by the other process's
// window procedure (round trip over the channel), with plain parameters and with a text buffer
// marshalled both ways, a lookup of another process's window in the host's window table, and
// the check that another process still runs, which every lookup of its windows makes.
#include <benchmark/benchmark.h>

#include "platform/host/process_table.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"
#include "tests/platform/win32/winprobe_client.h"
#include "tests/support/test_host.h"

namespace {

void BM_SendToAnotherProcess(benchmark::State& state) {
  kipotest::TestHost host;
  kipotest::WinProbe probe({"--class", "KipoBenchProbe", "--title", "bench probe"});
  for (auto _ : state) benchmark::DoNotOptimize(SendMessageW(probe.window(), WM_GETTEXTLENGTH, 0, 0));
}
BENCHMARK(BM_SendToAnotherProcess);

void BM_GetTextFromAnotherProcess(benchmark::State& state) {
  kipotest::TestHost host;
  kipotest::WinProbe probe({"--class", "KipoBenchProbe", "--title", "bench probe"});
  WCHAR buf[64];
  for (auto _ : state)
    benchmark::DoNotOptimize(SendMessageW(probe.window(), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(buf)));
}
BENCHMARK(BM_GetTextFromAnotherProcess);

void BM_FindWindowOfAnotherProcess(benchmark::State& state) {
  kipotest::TestHost host;
  kipotest::WinProbe probe({"--class", "KipoBenchProbe", "--title", "bench probe"});
  for (auto _ : state) benchmark::DoNotOptimize(FindWindowW(u"KipoBenchProbe", nullptr));
}
BENCHMARK(BM_FindWindowOfAnotherProcess);

void BM_LivenessOfAnotherProcess(benchmark::State& state) {
  kipotest::TestHost host;
  kipotest::WinProbe probe({"--class", "KipoBenchProbe", "--title", "bench probe"});
  DWORD pid = 0;
  GetWindowThreadProcessId(probe.window(), &pid);
  const std::uint64_t start = platform::host::processStartTime(static_cast<pid_t>(pid));
  for (auto _ : state) benchmark::DoNotOptimize(platform::host::processAlive(pid, start));
  if (!platform::host::processAlive(pid, start)) state.SkipWithError("the probe is not seen running");
}
BENCHMARK(BM_LivenessOfAnotherProcess);

}  // namespace
