// The shared window chores of the tests.
#include "tests/support/test_windows.h"

#include <vector>

#include "platform/win32/process.h"

namespace kipotest {

ATOM registerWindowClass(LPCWSTR name, WNDPROC proc) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = name;
  return RegisterClassW(&wc);
}

void destroyThreadWindows(bool dispatchLeftovers) {
  std::vector<HWND> mine;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM p) {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&mine));
  for (HWND h : mine) DestroyWindow(h);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
    if (dispatchLeftovers) DispatchMessageW(&m);
}

}  // namespace kipotest
