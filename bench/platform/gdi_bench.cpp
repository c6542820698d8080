// The graphics paths a screen capture and a text layout take: a full 1024x768 BitBlt from the
// screen into a memory bitmap, and measuring a paragraph with DrawText DT_CALCRECT | DT_WORDBREAK.
#include <benchmark/benchmark.h>

#include "platform/win32/gdi.h"
#include "tests/support/test_host.h"

namespace {

void BM_ScreenBitBlt1024x768(benchmark::State& state) {
  kipotest::TestHost host;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 1024, 768);
  HGDIOBJ old = SelectObject(mem, bmp);
  for (auto _ : state) benchmark::DoNotOptimize(BitBlt(mem, 0, 0, 1024, 768, screen, 0, 0, SRCCOPY));
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}
BENCHMARK(BM_ScreenBitBlt1024x768)->Unit(benchmark::kMillisecond);

void BM_DrawTextMeasureParagraph(benchmark::State& state) {
  kipotest::TestHost host;
  HDC screen = GetDC(nullptr);
  SelectObject(screen, GetStockObject(DEFAULT_GUI_FONT));
  const char16_t* text =
      u"The drive could not be synchronized because another program holds files open. Close the "
      u"programs that use files of the drive and try again; your changes are kept until then.";
  for (auto _ : state) {
    RECT r{0, 0, 300, 0};
    benchmark::DoNotOptimize(DrawTextW(screen, text, -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX));
  }
  ReleaseDC(nullptr, screen);
}
BENCHMARK(BM_DrawTextMeasureParagraph);

}  // namespace
