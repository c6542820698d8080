// The start of a host program (to main and back) against a program without the platform, timed
// in the same run with the programs started in turn, so machine load weighs on all alike.
// Run: build/bench/startup_bench (counters in milliseconds, medians of the runs). With
// KIPO_START_COMPARE set to a folder holding another build's libplatform.so (a copy kept from
// before a change), the host program is also started over that library, and `ratio` is the
// platform's extra start cost now over the extra cost with that library.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
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
Start startOnce(const char* program, char** environment = environ) {
  char* argv[] = {const_cast<char*>(program), nullptr};
  auto begin = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program, nullptr, nullptr, argv, environment) != 0)
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

// The environment with the loader's search path set to the compared library's folder.
std::vector<std::string> compareEnvironment(const char* folder) {
  std::vector<std::string> entries;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("LD_LIBRARY_PATH=", 0) != 0) entries.emplace_back(*e);
  entries.push_back(std::string("LD_LIBRARY_PATH=") + folder);
  return entries;
}

struct Series {
  std::vector<double> wall, cpu;
  void add(const Start& s) {
    wall.push_back(s.wall);
    cpu.push_back(s.cpu);
  }
};

void BM_HostProgramStart(benchmark::State& state) {
  const char* compare = std::getenv("KIPO_START_COMPARE");
  std::vector<std::string> entries = compare ? compareEnvironment(compare) : std::vector<std::string>();
  std::vector<char*> compareEnv;
  for (auto& e : entries) compareEnv.push_back(e.data());
  compareEnv.push_back(nullptr);
  for (auto _ : state) {
    Series plain, host, other;
    startOnce(KIPO_START_PLAIN);  // first starts fill the page cache
    startOnce(KIPO_START_HOST);
    if (compare) startOnce(KIPO_START_HOST, compareEnv.data());
    for (int i = 0; i < kRuns; ++i) {
      plain.add(startOnce(KIPO_START_PLAIN));
      host.add(startOnce(KIPO_START_HOST));
      if (compare) other.add(startOnce(KIPO_START_HOST, compareEnv.data()));
    }
    state.counters["plain_ms"] = median(plain.wall);
    state.counters["host_ms"] = median(host.wall);
    state.counters["extra_ms"] = median(host.wall) - median(plain.wall);
    state.counters["extra_cpu_ms"] = median(host.cpu) - median(plain.cpu);
    if (compare) {
      state.counters["cmp_host_ms"] = median(other.wall);
      state.counters["cmp_extra_ms"] = median(other.wall) - median(plain.wall);
      state.counters["cmp_extra_cpu_ms"] = median(other.cpu) - median(plain.cpu);
      state.counters["ratio"] = state.counters["extra_ms"] / state.counters["cmp_extra_ms"];
      state.counters["ratio_cpu"] = state.counters["extra_cpu_ms"] / state.counters["cmp_extra_cpu_ms"];
    }
  }
}
BENCHMARK(BM_HostProgramStart)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

}  // namespace
