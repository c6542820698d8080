// The key dump of a preference-sized subtree grown to 10,000 values (100 keys of 100 values of
// mixed types): dumping it to a file and loading it back, raw and through the pref file, against
// a plain copy of the dump file and against writing the same values straight through the
// registry in one transaction per key (the floor any load on this host is measured against).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/preference_file.h"
#include "app/registry.h"
#include "platform/win32/file.h"
#include "platform/win32/registry.h"
#include "tests/support/test_host.h"

namespace {

const CString kTree(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs");
constexpr const char16_t* kDump = u"C:\\bench.dump";
constexpr const char16_t* kCopy = u"C:\\copy.dump";
constexpr int kKeys = 100;
constexpr int kValuesPerKey = 100;

CString keyPath(int k) {
  CString path;
  path.Format(u"%s\\Key%03d", kTree, k);
  return path;
}

// The subtree and its dump file on a fresh host.
void buildTree() {
  for (int k = 0; k < kKeys; ++k) {
    CRegistry key(keyPath(k), true, true);
    for (int v = 0; v < kValuesPerKey; ++v) {
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

// The same values as whole-key writes, read back from the registry.
struct KeySection {
  CString sub;
  std::vector<platform::registry::ValueChange> changes;
};
std::vector<KeySection> keySections() {
  std::vector<KeySection> sections;
  for (int k = 0; k < kKeys; ++k) {
    KeySection& s = sections.emplace_back();
    s.sub = CRegistry::subkeyFromName(keyPath(k));
    CRegistry key(keyPath(k));
    CStringList names;
    key.getValueNames(names);
    for (POSITION pos = names.GetHeadPosition(); pos;) {
      const CString name = names.GetNext(pos);
      std::vector<BYTE> data;
      DWORD type = 0;
      key.getValueType(name, type);
      key.getBytes(name, data);
      s.changes.push_back({std::u16string(name.view()), false, type, std::string(data.begin(), data.end())});
    }
  }
  return sections;
}

void writeSections(const std::vector<KeySection>& sections) {
  for (const KeySection& s : sections)
    platform::registry::writeKeySection(HKEY_CURRENT_USER, s.sub.view(), s.changes, nullptr);
}

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_DumpSubtree(benchmark::State& state) {
  kipotest::TestHost host;
  buildTree();
  CRegistry tree(kTree);
  for (auto _ : state) benchmark::DoNotOptimize(tree.saveToFile(CString(kDump)));
  state.SetItemsProcessed(state.iterations() * kKeys * kValuesPerKey);
}
BENCHMARK(BM_DumpSubtree)->Unit(benchmark::kMillisecond);

// Loading the dump and writing the same values through the registry one key at a time, in turn
// in each iteration: "ratio" is the load's time over the floor's (goal: at most 1.5).
void BM_LoadSubtree(benchmark::State& state) {
  kipotest::TestHost host;
  buildTree();
  const std::vector<KeySection> sections = keySections();
  double loadMs = 0, floorMs = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    CRegistry reader;
    benchmark::DoNotOptimize(reader.loadFromFile(CString(kDump)));
    loadMs += msSince(start);
    start = std::chrono::steady_clock::now();
    writeSections(sections);
    floorMs += msSince(start);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["load_ms"] = loadMs / n;
  state.counters["key_writes_ms"] = floorMs / n;
  state.counters["ratio"] = loadMs / floorMs;
}
BENCHMARK(BM_LoadSubtree)->Unit(benchmark::kMillisecond);

// The same through the pref file, which first deletes the whole Prefs subtree.
void BM_LoadPrefFile(benchmark::State& state) {
  kipotest::TestHost host;
  buildTree();
  const std::vector<KeySection> sections = keySections();
  CPreferenceFile& store = getDevicePrefs();
  store.setFilePath(CString(kDump));
  double loadMs = 0, floorMs = 0, deleteMs = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(store.load());
    loadMs += msSince(start);
    start = std::chrono::steady_clock::now();
    SHDeleteKeyW(HKEY_CURRENT_USER, CRegistry::subkeyFromName(kTree));
    deleteMs += msSince(start);
    start = std::chrono::steady_clock::now();
    writeSections(sections);
    floorMs += msSince(start);
  }
  store.setFilePath(CString());
  store.open(CString(), false, false);
  const double n = static_cast<double>(state.iterations());
  state.counters["load_ms"] = loadMs / n;
  state.counters["subtree_delete_ms"] = deleteMs / n;
  state.counters["key_writes_ms"] = floorMs / n;
  state.counters["ratio"] = loadMs / (floorMs + deleteMs);
}
BENCHMARK(BM_LoadPrefFile)->Unit(benchmark::kMillisecond);

void BM_CopyDumpFile(benchmark::State& state) {
  kipotest::TestHost host;
  buildTree();
  for (auto _ : state) benchmark::DoNotOptimize(CopyFileW(kDump, kCopy, FALSE));
}
BENCHMARK(BM_CopyDumpFile)->Unit(benchmark::kMillisecond);

}  // namespace
