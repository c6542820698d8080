// The cost every file and registry call pays for fault injection when nothing matches it, and of
// reading the clocks.
#include <benchmark/benchmark.h>

#include "platform/base/fault.h"
#include "platform/win32/time.h"
#include "tests/support/test_host.h"

static void BM_FaultCheckNothingSet(benchmark::State& state) {
  kipotest::TestHost host;
  for (auto _ : state) benchmark::DoNotOptimize(platform::fault::check("CreateFileW", u"C:\\WINDOWS\\win.ini"));
}
BENCHMARK(BM_FaultCheckNothingSet);

// A host-wide fault on another call: the cached list is searched, the database is not touched.
static void BM_FaultCheckOtherCallSet(benchmark::State& state) {
  kipotest::TestHost host;
  platform::fault::Fault f;
  f.call = "RegSetValueExW";
  f.error = 5;
  platform::fault::addHostFault(f);
  for (auto _ : state) benchmark::DoNotOptimize(platform::fault::check("CreateFileW", u"C:\\WINDOWS\\win.ini"));
}
BENCHMARK(BM_FaultCheckOtherCallSet);

static void BM_GetTickCount(benchmark::State& state) {
  kipotest::TestHost host;
  for (auto _ : state) benchmark::DoNotOptimize(GetTickCount());
}
BENCHMARK(BM_GetTickCount);

static void BM_GetSystemTimeAsFileTime(benchmark::State& state) {
  FILETIME ft;
  for (auto _ : state) {
    GetSystemTimeAsFileTime(&ft);
    benchmark::DoNotOptimize(ft);
  }
}
BENCHMARK(BM_GetSystemTimeAsFileTime);
