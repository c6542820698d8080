// Reading a host fact (cached per process, checked against the shared change counter).
#include <benchmark/benchmark.h>

#include "platform/host/host.h"
#include "tests/support/test_host.h"

static void BM_FactRead(benchmark::State& state) {
  kipotest::TestHost host;
  auto& h = platform::host::Host::current();
  for (auto _ : state) benchmark::DoNotOptimize(h.fact(platform::host::fact::ComputerName));
}
BENCHMARK(BM_FactRead);
