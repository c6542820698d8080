// kipo_faults: the crash and drive-pull fault runner. It makes a template host, runs one clean
// session to count the calls a session makes at each fault point (and to check a session without
// a fault), then runs sessions with a kill or a drive pull at points drawn from each run's seed,
// up to three at once, each on its own host, and reports the runs, the kill points covered and
// every failure with the seed that reproduces it.
//
//   kipo_faults [--seed N] [--runs N] [--jobs N] [--mode mixed|crash|pull] [--work DIR] [--keep]
//   kipo_faults --repeat SEED [--mode M] [--point CALL:N|ms:N]   one run again, as reported
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/create.h"
#include "platform/host/host.h"
#include "tests/faults/fault_run.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using faults::KillPoint;
using faults::Mode;
using faults::RunResult;
using faults::RunSpec;

constexpr int kMaxJobs = 3;  // the machine is shared

struct Options {
  std::uint64_t seed = 1;
  int runs = 18;
  int jobs = kMaxJobs;
  std::string mode = "mixed";
  fs::path work;
  bool keep = false;
  bool repeat = false;
  std::string point;
  // A child's one run.
  bool one = false;
  fs::path templateHost, folder, resultFile;
};

int usage(const std::string& why) {
  std::cerr << "kipo_faults: " << why << "\n"
            << "usage: kipo_faults [--seed N] [--runs N] [--jobs N (at most 3)] [--mode mixed|crash|pull] [--work DIR] [--keep]\n"
            << "       kipo_faults --repeat SEED [--mode crash|pull] [--point CALL:N|ms:N] [--work DIR]\n";
  return 2;
}

Mode parseMode(const std::string& m) {
  if (m == "pull") return Mode::Pull;
  if (m == "clean") return Mode::Clean;
  if (m == "cleanpull") return Mode::CleanPull;
  return Mode::Crash;
}

bool parsePoint(const std::string& text, KillPoint& point) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string what = text.substr(0, colon);
  unsigned long n = std::strtoul(text.c_str() + colon + 1, nullptr, 10);
  if (what == "ms") {
    point.call.clear();
    point.delayMs = static_cast<std::uint32_t>(n);
  } else {
    if (n == 0) return false;
    point.call = what;
    point.nth = static_cast<std::uint32_t>(n);
  }
  return true;
}

// ---- the result file a child writes ----

void writeResult(const fs::path& file, const RunResult& r) {
  std::ofstream out(file, std::ios::trunc);
  out << "passed " << r.passed << "\nstruck " << r.struck << "\nsessionMs " << r.sessionMs << "\nsyncMs " << r.syncMs << "\n";
  if (!r.strikeNote.empty()) out << "note " << r.strikeNote << "\n";
  for (const auto& [call, n] : r.callCounts) out << "count " << n << " " << call << "\n";
  std::istringstream failure(r.failure);
  for (std::string line; std::getline(failure, line);) out << "failure " << line << "\n";
  for (const std::string& entry : r.log) {
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) out << "log " << line << "\n";
  }
}

RunResult readResult(const fs::path& file) {
  RunResult r;
  std::ifstream in(file);
  bool any = false;
  for (std::string line; std::getline(in, line);) {
    any = true;
    std::size_t sp = line.find(' ');
    std::string key = line.substr(0, sp), rest = sp == std::string::npos ? "" : line.substr(sp + 1);
    if (key == "passed") r.passed = rest == "1";
    else if (key == "struck") r.struck = rest == "1";
    else if (key == "sessionMs") r.sessionMs = static_cast<std::uint32_t>(std::stoul(rest));
    else if (key == "syncMs") r.syncMs = static_cast<std::uint32_t>(std::stoul(rest));
    else if (key == "note") r.strikeNote = rest;
    else if (key == "count") {
      std::size_t s2 = rest.find(' ');
      r.callCounts[rest.substr(s2 + 1)] = static_cast<std::uint32_t>(std::stoul(rest.substr(0, s2)));
    } else if (key == "failure") r.failure += (r.failure.empty() ? "" : "\n") + rest;
    else if (key == "log") r.log.push_back(rest);
  }
  if (!any) r.failure = "the run's process ended without a result (see output.txt in its folder)";
  return r;
}

// ---- choosing a run's fault ----

struct Calibration {
  std::map<std::string, std::uint32_t> counts;
  std::uint32_t ms = 0;
};

// A point drawn from the calls a clean run made: one run in six by time, the others at the nth
// call of a fault point that run reached.
KillPoint drawPoint(std::mt19937_64& rng, const std::vector<std::string>& calls, const Calibration& cal) {
  KillPoint point;
  std::vector<std::string> reached;
  for (const std::string& call : calls) {
    auto c = cal.counts.find(call);
    if (c != cal.counts.end() && c->second > 0) reached.push_back(call);
  }
  if (reached.empty() || rng() % 6 == 0) {
    point.delayMs = static_cast<std::uint32_t>(rng() % (cal.ms + 1));
  } else {
    point.call = reached[rng() % reached.size()];
    point.nth = static_cast<std::uint32_t>(1 + rng() % cal.counts.at(point.call));
  }
  return point;
}

RunSpec specFor(std::uint64_t seed, const std::string& mode, const Calibration& crash, const Calibration& pull) {
  std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + 1);
  RunSpec spec;
  spec.seed = seed;
  if (mode == "pull") spec.mode = Mode::Pull;
  else if (mode == "crash") spec.mode = Mode::Crash;
  else spec.mode = rng() % 4 == 0 ? Mode::Pull : Mode::Crash;
  spec.point = spec.mode == Mode::Pull ? drawPoint(rng, faults::pullCalls(), pull) : drawPoint(rng, faults::killCalls(), crash);
  return spec;
}

// ---- children ----

std::string selfPath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

pid_t spawnRun(const Options& opt, const RunSpec& spec, const fs::path& folder) {
  fs::create_directories(folder);
  std::vector<std::string> args = {selfPath(), "--one", std::to_string(spec.seed), "--mode", faults::modeName(spec.mode),
                                   "--template", opt.templateHost.string(), "--folder", folder.string(),
                                   "--result", (folder / "result.txt").string()};
  if (spec.mode == Mode::Crash || spec.mode == Mode::Pull)
    args.insert(args.end(), {"--point", spec.point.call.empty() ? "ms:" + std::to_string(spec.point.delayMs)
                                                                : spec.point.call + ":" + std::to_string(spec.point.nth)});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string output = (folder / "output.txt").string();
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

int childRun(const Options& opt) {
  RunSpec spec;
  spec.seed = opt.seed;
  spec.mode = parseMode(opt.mode);
  if (!opt.point.empty() && !parsePoint(opt.point, spec.point)) return usage("bad --point " + opt.point);
  RunResult r = faults::runOne(spec, opt.templateHost, opt.folder, KIPO_PROGRAM);
  writeResult(opt.resultFile, r);
  return r.passed ? 0 : 1;
}

struct Done {
  RunSpec spec;
  RunResult result;
  fs::path folder;
};

std::string describe(const RunSpec& s) {
  return std::string(faults::modeName(s.mode)) + (s.mode == Mode::Crash || s.mode == Mode::Pull ? " at " + s.point.text() : "");
}

int drive(Options opt) {
  if (opt.work.empty()) opt.work = fs::path(KIPO_TEST_TMP) / ("faults-" + std::to_string(::getpid()));
  fs::create_directories(opt.work);
  opt.templateHost = opt.work / "template";
  std::error_code ec;
  fs::remove_all(opt.templateHost, ec);
  ::unsetenv("KIPO_HOST");
  platform::host::HostOptions hostOptions;
  hostOptions.facts.emplace(platform::host::fact::TestHost, "1");
  platform::host::createHost(opt.templateHost, hostOptions);
  platform::host::Host::reopen();

  std::vector<Done> done;
  auto started = std::chrono::steady_clock::now();
  auto finish = [&](Done d) {
    const RunResult& r = d.result;
    std::printf("run seed=%llu %s: %s%s\n", static_cast<unsigned long long>(d.spec.seed), describe(d.spec).c_str(),
                r.passed ? "passed" : r.failure.empty() ? "inconclusive" : "FAILED",
                r.struck ? "" : r.strikeNote.empty() ? " (fault not reached)" : (" (" + r.strikeNote + ")").c_str());
    std::fflush(stdout);
    // A host process still ending may take its own files away meanwhile: a removal never throws.
    std::error_code removed;
    if (r.passed && !opt.keep) fs::remove_all(d.folder, removed);
    done.push_back(std::move(d));
  };

  // The calibration: a clean session of each kind (an odd seed's, after an earlier
  // synchronization, and an even seed's, with the first synchronization in the session) and a
  // clean synchronization of the drive-pull scenario, counting the calls of each fault point;
  // each is also a run without a fault. A run's points are drawn from its own kind's counts.
  std::array<Calibration, 2> crashCal;
  Calibration pullCal;
  Options childOpt = opt;
  std::vector<RunSpec> specs;
  KillPoint forced;
  bool force = !opt.point.empty();
  if (force && !parsePoint(opt.point, forced)) return usage("bad --point " + opt.point);
  if (!force) {
    std::vector<RunSpec> cleanSpecs;
    for (const auto& [seed, m] : {std::pair{opt.seed, Mode::Clean}, std::pair{opt.seed + 1, Mode::Clean},
                                  std::pair{opt.seed, Mode::CleanPull}}) {
      RunSpec clean;
      clean.seed = seed;
      clean.mode = m;
      cleanSpecs.push_back(clean);
    }
    std::map<pid_t, Done> cleanRuns;
    std::size_t nextClean = 0;
    while (nextClean < cleanSpecs.size() || !cleanRuns.empty()) {
      while (nextClean < cleanSpecs.size() && static_cast<int>(cleanRuns.size()) < opt.jobs) {
        const RunSpec& clean = cleanSpecs[nextClean++];
        fs::path folder = opt.work / ("run-" + std::to_string(clean.seed) + "-" + faults::modeName(clean.mode));
        std::error_code ec;
        fs::remove_all(folder, ec);
        cleanRuns.emplace(spawnRun(childOpt, clean, folder), Done{clean, {}, folder});
      }
      int status = 0;
      pid_t pid = ::waitpid(-1, &status, 0);
      auto it = cleanRuns.find(pid);
      if (it == cleanRuns.end()) continue;
      Done d = std::move(it->second);
      cleanRuns.erase(it);
      d.result = readResult(d.folder / "result.txt");
      Calibration& cal = d.spec.mode == Mode::Clean ? crashCal[d.spec.seed % 2] : pullCal;
      cal.counts = d.result.callCounts;
      cal.ms = d.spec.mode == Mode::Clean ? d.result.sessionMs : d.result.syncMs;
      d.result.struck = true;
      finish(std::move(d));
    }
    for (const Calibration* cal : {&crashCal[1], &crashCal[0], &pullCal}) {
      std::printf("calibration (%s): %u ms; calls:",
                  cal == &crashCal[1]   ? "session after an earlier synchronization"
                  : cal == &crashCal[0] ? "session with the first synchronization"
                                        : "synchronization",
                  cal->ms);
      for (const auto& [call, n] : cal->counts)
        if (n) std::printf(" %s=%u", call.c_str(), n);
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  if (opt.repeat) {
    RunSpec s = specFor(opt.seed, opt.mode, crashCal[opt.seed % 2], pullCal);
    if (force) s.point = forced;
    specs.push_back(s);
  } else {
    for (int i = 1; i <= opt.runs; ++i) {
      const std::uint64_t seed = opt.seed + static_cast<std::uint64_t>(i);
      specs.push_back(specFor(seed, opt.mode, crashCal[seed % 2], pullCal));
    }
  }

  std::map<pid_t, Done> running;
  std::size_t next = 0;
  while (next < specs.size() || !running.empty()) {
    while (next < specs.size() && static_cast<int>(running.size()) < opt.jobs) {
      const RunSpec& s = specs[next++];
      fs::path folder = opt.work / ("run-" + std::to_string(s.seed));
      std::error_code ec;
      fs::remove_all(folder, ec);
      pid_t pid = spawnRun(childOpt, s, folder);
      if (pid < 0) {
        Done d{s, {}, folder};
        d.result.failure = "cannot start the run's process";
        finish(std::move(d));
        continue;
      }
      running.emplace(pid, Done{s, {}, folder});
    }
    int status = 0;
    pid_t pid = ::waitpid(-1, &status, 0);
    auto it = running.find(pid);
    if (it == running.end()) continue;
    Done d = std::move(it->second);
    running.erase(it);
    d.result = readResult(d.folder / "result.txt");
    finish(std::move(d));
  }

  // The report.
  int failed = 0, inconclusive = 0, struck = 0;
  std::map<std::string, int> covered;
  std::set<std::string> reachedCalls;
  for (const Done& d : done) {
    if (d.spec.mode == Mode::Clean || d.spec.mode == Mode::CleanPull) continue;
    if (!d.result.passed && d.result.failure.empty()) ++inconclusive;
    if (!d.result.passed && !d.result.failure.empty()) ++failed;
    if (d.result.struck) {
      ++struck;
      covered[std::string(d.spec.mode == Mode::Pull ? "pull: " : "kill: ") +
              (d.spec.point.call.empty() ? "by time" : d.spec.point.call)]++;
    }
  }
  const double minutes =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 60.0;
  std::printf("\n== fault runs: %zu runs (%d with the fault acting), %d failed, %d inconclusive, %.1f min, seed %llu ==\n",
              specs.size(), struck, failed, inconclusive, minutes, static_cast<unsigned long long>(opt.seed));
  std::printf("kill points covered:");
  for (const auto& [point, n] : covered) std::printf(" %s (%d)", point.c_str(), n);
  if (!force) {
    // Calls by the session after an earlier synchronization / with the first one.
    auto calls = [&](const std::string& call, int kind) {
      auto c = crashCal[kind].counts.find(call);
      return c == crashCal[kind].counts.end() ? 0u : c->second;
    };
    std::printf("\nkill points the calibration sessions reached (calls after an earlier synchronization/with the first):");
    for (const std::string& call : faults::killCalls())
      if (calls(call, 1) + calls(call, 0) > 0) std::printf(" %s (%u/%u)", call.c_str(), calls(call, 1), calls(call, 0));
    std::printf("\nfault points a session never reached:");
    for (const std::string& call : faults::killCalls())
      if (calls(call, 1) + calls(call, 0) == 0) std::printf(" %s", call.c_str());
    std::printf("\n");
  }
  // Failures grouped by their first line (numbers made alike), so that a fault met by many runs
  // shows as one cause.
  std::map<std::string, int> causes;
  for (const Done& d : done) {
    if (d.result.passed || d.result.failure.empty()) continue;
    std::string cause = d.result.failure.substr(0, d.result.failure.find('\n'));
    std::string alike;
    for (char ch : cause)
      if (!std::isdigit(static_cast<unsigned char>(ch))) alike += ch;
      else if (alike.empty() || alike.back() != '#') alike += '#';
    causes[alike]++;
  }
  if (!causes.empty()) {
    std::printf("\nfailures by cause:\n");
    for (const auto& [cause, n] : causes) std::printf("  %d x %s\n", n, cause.c_str());
  }
  int failures = 0;
  for (const Done& d : done) {
    if (d.result.passed || d.result.failure.empty()) continue;
    ++failures;
    std::printf("\nFAILED seed=%llu mode=%s kill point=%s\n  repeat: tools/faults.sh --repeat %llu --mode %s%s\n  host kept in %s\n  %s\n",
                static_cast<unsigned long long>(d.spec.seed), faults::modeName(d.spec.mode), d.spec.point.text().c_str(),
                static_cast<unsigned long long>(d.spec.seed), faults::modeName(d.spec.mode),
                d.spec.mode != Mode::Crash && d.spec.mode != Mode::Pull ? ""
                                           : (" --point " + (d.spec.point.call.empty() ? "ms:" + std::to_string(d.spec.point.delayMs)
                                                                                       : d.spec.point.call + ":" + std::to_string(d.spec.point.nth))).c_str(),
                d.folder.c_str(), d.result.failure.c_str());
    for (const std::string& line : d.result.log) std::printf("    %s\n", line.c_str());
  }
  fs::remove_all(opt.templateHost, ec);
  if (failures == 0 && !opt.keep) fs::remove_all(opt.work, ec);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--seed") opt.seed = std::stoull(value());
      else if (a == "--runs") opt.runs = std::stoi(value());
      else if (a == "--jobs") opt.jobs = std::stoi(value());
      else if (a == "--mode") opt.mode = value();
      else if (a == "--work") opt.work = value();
      else if (a == "--keep") opt.keep = true;
      else if (a == "--repeat") {
        opt.repeat = true;
        opt.seed = std::stoull(value());
      } else if (a == "--point") opt.point = value();
      else if (a == "--one") {
        opt.one = true;
        opt.seed = std::stoull(value());
      } else if (a == "--template") opt.templateHost = value();
      else if (a == "--folder") opt.folder = value();
      else if (a == "--result") opt.resultFile = value();
      else return usage("unknown option " + a);
    } catch (const std::exception& e) {
      return usage(e.what());
    }
  }
  if (opt.jobs < 1 || opt.jobs > kMaxJobs) return usage("--jobs is 1 to 3");
  if (opt.runs < 0) return usage("--runs must not be negative");
  if (opt.mode != "mixed" && opt.mode != "crash" && opt.mode != "pull" && opt.mode != "clean" &&
      opt.mode != "cleanpull") return usage("bad --mode");
  if (opt.one) return childRun(opt);
  return drive(opt);
}
