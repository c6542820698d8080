// The start of a host program (to main and back) against a program without the platform, timed
// in the same run with the two started in turn, so machine load weighs on both alike.
// Run: build/bench/startup_bench (counters in milliseconds, medians of the runs).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kRuns = 41;

struct Start {
  double wall;  // from the spawn until the exit is reaped
  double cpu;   // the child's user and system time: less swayed by other work on the machine
};

double milliseconds(const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

// One start of `program` until it has exited, in milliseconds.
Start startOnce(const char* program) {
  char* argv[] = {const_cast<char*>(program), nullptr};
  auto begin = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
    throw std::runtime_error(std::string("cannot start ") + program);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(std::string(program) + " failed");
  double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
  return {wall, milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime)};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void BM_HostProgramStart(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<double> plain, host, plainCpu, hostCpu;
    startOnce(KIPO_START_PLAIN);  // first starts fill the page cache
    startOnce(KIPO_START_HOST);
    for (int i = 0; i < kRuns; ++i) {
      Start p = startOnce(KIPO_START_PLAIN);
      Start h = startOnce(KIPO_START_HOST);
      plain.push_back(p.wall);
      host.push_back(h.wall);
      plainCpu.push_back(p.cpu);
      hostCpu.push_back(h.cpu);
    }
    state.counters["plain_ms"] = median(plain);
    state.counters["host_ms"] = median(host);
    state.counters["extra_ms"] = median(host) - median(plain);
    state.counters["extra_cpu_ms"] = median(hostCpu) - median(plainCpu);
  }
}
BENCHMARK(BM_HostProgramStart)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

}  // namespace
