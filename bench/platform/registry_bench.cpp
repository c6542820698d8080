// Registry hot paths: a value read on an open key (goal: under 5 microseconds, served from the
// process's cache while nothing changes), opening a key, and a value write (one transaction).
#include <benchmark/benchmark.h>

#include "platform/win32/registry.h"
#include "tests/support/test_host.h"

namespace {

HKEY benchKey() {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Bench\\Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  for (int i = 0; i < 20; ++i) {
    std::u16string name = u"Value" + std::u16string(1, static_cast<char16_t>(u'A' + i));
    DWORD v = static_cast<DWORD>(i);
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
  }
  return key;
}

void BM_ReadValueOnOpenKey(benchmark::State& state) {
  kipotest::TestHost host;
  HKEY key = benchKey();
  for (auto _ : state) {
    DWORD type = 0, value = 0, size = sizeof value;
    benchmark::DoNotOptimize(RegQueryValueExW(key, u"ValueK", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
  }
  RegCloseKey(key);
}
BENCHMARK(BM_ReadValueOnOpenKey);

void BM_ReadValueThroughShGetValue(benchmark::State& state) {
  kipotest::TestHost host;
  RegCloseKey(benchKey());
  for (auto _ : state) {
    DWORD type = 0, value = 0, size = sizeof value;
    benchmark::DoNotOptimize(SHGetValueW(HKEY_CURRENT_USER, u"Software\\Bench\\Settings", u"ValueK", &type, &value, &size));
  }
}
BENCHMARK(BM_ReadValueThroughShGetValue);

void BM_OpenAndCloseKey(benchmark::State& state) {
  kipotest::TestHost host;
  RegCloseKey(benchKey());
  for (auto _ : state) {
    HKEY key = nullptr;
    benchmark::DoNotOptimize(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Bench\\Settings", 0, KEY_READ, &key));
    RegCloseKey(key);
  }
}
BENCHMARK(BM_OpenAndCloseKey);

void BM_WriteValue(benchmark::State& state) {
  kipotest::TestHost host;
  HKEY key = benchKey();
  DWORD v = 0;
  for (auto _ : state) {
    ++v;
    benchmark::DoNotOptimize(RegSetValueExW(key, u"ValueK", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4));
  }
  RegCloseKey(key);
}
BENCHMARK(BM_WriteValue);

// A read right after a write: the cache is reloaded once per write.
void BM_WriteThenRead(benchmark::State& state) {
  kipotest::TestHost host;
  HKEY key = benchKey();
  DWORD v = 0;
  for (auto _ : state) {
    ++v;
    RegSetValueExW(key, u"ValueK", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    DWORD type = 0, value = 0, size = sizeof value;
    benchmark::DoNotOptimize(RegQueryValueExW(key, u"ValueA", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
  }
  RegCloseKey(key);
}
BENCHMARK(BM_WriteThenRead);

}  // namespace
