// The stand-in's file calls over the anchor tree against the Linux tools doing the same work, in
// one run: a FindFirstFileW/FindNextFileW walk (names, sizes, times, attributes) against
// `find -printf '%s %T@\n'`, the walk with one GetFileAttributesW per file, CopyFileW of every file
// against `cp -a`, and creating files in a folder of 10,000 against one of 10. Prints each ratio's
// minimum and median over the repeats (argument 1, default 5). The trees live on drives F: (the
// anchor tree) and E: (the copies) in a folder on tmpfs (argument 2, default /dev/shm), so the
// disk's write-back does not swamp the figures.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/drives.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "bench/tree/tree_bench.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using treebench::copyTree;
using treebench::seconds;
using treebench::shell;

struct WalkTotals {
  std::uint64_t files = 0, folders = 0, bytes = 0, check = 0;
};

// Everything a sync calculation takes from a listing; `probe` adds one attribute query per file.
void walk(const std::u16string& folder, WalkTotals& t, bool probe, std::vector<std::u16string>* files = nullptr) {
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((folder + u"\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::u16string_view name(d.cFileName);
    if (name == u"." || name == u"..") continue;
    std::u16string path = folder + u"\\" + std::u16string(name);
    t.check += d.ftLastWriteTime.dwLowDateTime ^ d.dwFileAttributes;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ++t.folders;
      walk(path, t, probe, files);
    } else {
      ++t.files;
      t.bytes += (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
      if (probe) t.check += GetFileAttributesW(path.c_str());
      if (files) files->push_back(path);
    }
  } while (FindNextFileW(h, &d));
  FindClose(h);
}

// Seconds per file to create (CREATE_NEW, write 100 bytes, close) `count` files in `folder`;
// they are removed again, so the folder keeps its size from round to round.
double createCost(const std::u16string& folder, int count) {
  std::string data(100, 'x');
  double s = seconds([&] {
    for (int i = 0; i < count; ++i) {
      std::u16string path = folder + u"\\New file " + platform::text::fromUtf8(std::to_string(i)) + u".txt";
      HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "CreateFileW failed: %lu\n", static_cast<unsigned long>(GetLastError()));
        std::exit(1);
      }
      DWORD written = 0;
      WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
      CloseHandle(h);
    }
  });
  for (int i = 0; i < count; ++i)
    DeleteFileW((folder + u"\\New file " + platform::text::fromUtf8(std::to_string(i)) + u".txt").c_str());
  return s / count;
}

struct Series {
  const char* name;
  std::vector<double> values;
  void print() const {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    std::printf("%-44s min %6.3f  median %6.3f\n", name, v.front(), v[v.size() / 2]);
  }
};

}  // namespace

int main(int argc, char** argv) {
  int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  fs::path base = fs::path(argc > 2 ? argv[2] : "/dev/shm") / ("kipo-anchor-" + std::to_string(::getpid()));
  kipotest::TestHost host;
  fs::path f = base / "F", e = base / "E";
  fs::create_directories(f);
  fs::create_directories(e);
  platform::host::Drive drive;
  drive.name = u"E:";
  drive.root = e;
  platform::host::addDrive(drive);
  drive.name = u"F:";
  drive.root = f;
  platform::host::addDrive(drive);
  fs::path anchor = f / "Anchor";
  shell("python3 '" KIPO_ANCHOR_SCRIPT "' '" + anchor.string() + "'");
  // Folders of 10 and 10,000 files for the creation cost.
  for (auto [folder, n] : {std::pair{"Small", 10}, std::pair{"Large", 10000}}) {
    fs::create_directories(f / folder);
    for (int i = 0; i < n; ++i) std::ofstream(f / folder / ("Existing file " + std::to_string(i) + ".txt")) << i;
  }

  Series walkVsFind{"walk / find", {}}, probeVsFind{"walk + GetFileAttributesW per file / find", {}},
      copyVsCp{"CopyFileW / cp -a", {}}, largeVsSmall{"create in 10,000 / create in 10", {}};
  std::vector<double> walkTimes, findTimes, copyTimes, cpTimes;
  for (int round = 0; round < repeats; ++round) {
    double find = seconds([&] { shell("find '" + anchor.string() + "' -printf '%s %T@\\n'"); });
    WalkTotals t;
    double w = seconds([&] { walk(u"F:\\Anchor", t, false); });
    WalkTotals tp;
    double wp = seconds([&] { walk(u"F:\\Anchor", tp, true); });
    if (t.files != 20000 && round == 0) std::fprintf(stderr, "note: %llu files walked\n", static_cast<unsigned long long>(t.files));
    fs::remove_all(e / "Copy");
    fs::remove_all(e / "cp");
    double cp = seconds([&] { shell("cp -a '" + anchor.string() + "' '" + (e / "cp").string() + "'"); });
    double copy = seconds([&] { copyTree(u"F:\\Anchor", u"E:\\Copy"); });
    double small = createCost(u"F:\\Small", 1000);
    double large = createCost(u"F:\\Large", 1000);
    walkVsFind.values.push_back(w / find);
    probeVsFind.values.push_back(wp / find);
    copyVsCp.values.push_back(copy / cp);
    largeVsSmall.values.push_back(large / small);
    std::printf("round %d: find %.3fs walk %.3fs walk+probe %.3fs | cp -a %.3fs CopyFileW %.3fs | create %.1fus / %.1fus\n",
                round + 1, find, w, wp, cp, copy, small * 1e6, large * 1e6);
  }
  for (const Series* s : {&walkVsFind, &probeVsFind, &copyVsCp, &largeVsSmall}) s->print();
  fs::remove_all(base);
  return 0;
}
