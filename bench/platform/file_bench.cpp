// File hot paths beside their raw Linux counterparts, measured in one run: path resolution of an
// exact-case path against one stat, a wrong-case name in a folder of 1,000 entries, and
// CreateFileW + ReadFile + CloseHandle of a small file against open + read + close.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/host/paths.h"
#include "platform/win32/file.h"
#include "tests/support/test_host.h"

namespace {

const char16_t* kWinPath = u"C:\\Documents and Settings\\Robin\\My Documents\\notes.txt";
const char* kRel = "Documents and Settings/Robin/My Documents/notes.txt";

struct Fixture {
  kipotest::TestHost host;
  std::string linux;
  Fixture() {
    linux = host.c(kRel).string();
    std::ofstream(linux) << std::string(200, 'n');
    std::filesystem::create_directories(host.c("Big"));
    for (int i = 0; i < 1000; ++i) std::ofstream(host.c("Big/Entry Number " + std::to_string(i) + ".dat")) << i;
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture();
  return *f;
}

void BM_RawStat(benchmark::State& state) {
  const std::string& p = fixture().linux;
  struct stat st;
  for (auto _ : state) benchmark::DoNotOptimize(::stat(p.c_str(), &st));
}

void BM_ResolveExactCase(benchmark::State& state) {
  fixture();
  for (auto _ : state) {
    auto r = platform::host::resolvePath(kWinPath);
    benchmark::DoNotOptimize(r.exists);
  }
}

void BM_ResolveWrongCaseIn1000(benchmark::State& state) {
  fixture();
  for (auto _ : state) {
    auto r = platform::host::resolvePath(u"C:\\BIG\\ENTRY NUMBER 777.DAT");
    if (!r.exists) state.SkipWithError("not found");
  }
}

void BM_RawOpenReadClose(benchmark::State& state) {
  const std::string& p = fixture().linux;
  char buf[512];
  for (auto _ : state) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    benchmark::DoNotOptimize(::read(fd, buf, sizeof buf));
    ::close(fd);
  }
}

void BM_CreateFileReadClose(benchmark::State& state) {
  fixture();
  char buf[512];
  for (auto _ : state) {
    HANDLE h = CreateFileW(kWinPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD n = 0;
    ReadFile(h, buf, sizeof buf, &n, nullptr);
    CloseHandle(h);
    benchmark::DoNotOptimize(n);
  }
}

}  // namespace

BENCHMARK(BM_RawStat);
BENCHMARK(BM_ResolveExactCase);
BENCHMARK(BM_ResolveWrongCaseIn1000);
BENCHMARK(BM_RawOpenReadClose);
BENCHMARK(BM_CreateFileReadClose);
