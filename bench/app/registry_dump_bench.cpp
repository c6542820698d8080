// The key dump of a preference-sized subtree grown to 10,000 values (100 keys of 100 values of
// mixed types): dumping it to a file and loading it back, against a plain copy of the dump file
// (the floor any dump or load on this host is measured against).
#include <benchmark/benchmark.h>

#include <string>

#include "app/registry.h"
#include "platform/win32/file.h"
#include "tests/support/test_host.h"

namespace {

const CString kTree(u"HKEY_CURRENT_USER\\Software\\KipoBench\\Prefs");
constexpr const char16_t* kDump = u"C:\\bench.dump";
constexpr const char16_t* kCopy = u"C:\\copy.dump";

// The subtree and its dump file on a fresh host.
void buildTree() {
  for (int k = 0; k < 100; ++k) {
    CString path;
    path.Format(u"%s\\Key%03d", kTree, k);
    CRegistry key(path, true, true);
    for (int v = 0; v < 100; ++v) {
      CString name;
      name.Format(u"value%03d", v);
      switch (v % 3) {
        case 0:
          key.setDword(name, static_cast<DWORD>(k * 100 + v));
          break;
        case 1:
          key.setString(name, CString(u"C:\\Documents and Settings\\user\\My Documents\\file.txt"));
          break;
        default: {
          BYTE data[64];
          for (int i = 0; i < 64; ++i) data[i] = static_cast<BYTE>(i + v);
          key.setBinary(name, data, sizeof data);
        }
      }
    }
  }
  CRegistry(kTree).saveToFile(CString(kDump));
}

void BM_DumpSubtree(benchmark::State& state) {
  kipotest::TestHost host;
  buildTree();
  CRegistry tree(kTree);
  for (auto _ : state) benchmark::DoNotOptimize(tree.saveToFile(CString(kDump)));
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_DumpSubtree)->Unit(benchmark::kMillisecond);

void BM_LoadSubtree(benchmark::State& state) {
  kipotest::TestHost host;
  buildTree();
  for (auto _ : state) {
    CRegistry reader;
    benchmark::DoNotOptimize(reader.loadFromFile(CString(kDump)));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_LoadSubtree)->Unit(benchmark::kMillisecond);

void BM_CopyDumpFile(benchmark::State& state) {
  kipotest::TestHost host;
  buildTree();
  for (auto _ : state) benchmark::DoNotOptimize(CopyFileW(kDump, kCopy, FALSE));
}
BENCHMARK(BM_CopyDumpFile)->Unit(benchmark::kMillisecond);

}  // namespace
