// The costs of the hot message paths: a same-thread SendMessageW and a posted message taken by
// GetMessageW and dispatched.
#include <benchmark/benchmark.h>

#include "platform/win32/message.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

LRESULT CALLBACK countingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER) return static_cast<LRESULT>(w) + 1;
  return DefWindowProcW(h, m, w, l);
}

HWND benchWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = countingProc;
  wc.lpszClassName = u"KipoBenchWindow";
  RegisterClassW(&wc);
  return CreateWindowExW(0, u"KipoBenchWindow", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

void BM_SendMessageSameThread(benchmark::State& state) {
  kipotest::TestHost host;
  HWND h = benchWindow();
  WPARAM i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(SendMessageW(h, WM_USER, i++, 0));
  DestroyWindow(h);
}
BENCHMARK(BM_SendMessageSameThread);

void BM_PostGetDispatch(benchmark::State& state) {
  kipotest::TestHost host;
  HWND h = benchWindow();
  MSG m;
  for (auto _ : state) {
    PostMessageW(h, WM_USER, 1, 0);
    GetMessageW(&m, nullptr, 0, 0);
    benchmark::DoNotOptimize(DispatchMessageW(&m));
  }
  DestroyWindow(h);
}
BENCHMARK(BM_PostGetDispatch);

}  // namespace
