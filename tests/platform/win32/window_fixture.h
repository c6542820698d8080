// Shared by the window, message and timer tests: a private host, one window class whose
// procedure records every message it gets and lets a test answer some of them, and a clean
// thread (no windows, nothing queued) after each test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace wintest {

inline constexpr const char16_t* kClass = u"KipoTestWindow";

struct Seen {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

// Everything the recording procedure saw, in order (any thread).
inline std::mutex g_logMutex;
inline std::vector<Seen> g_log;
// A test's own handling: an answer ends the message, nullopt passes it to DefWindowProcW.
inline std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> g_hook;

inline LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard lock(g_logMutex);
    g_log.push_back({hwnd, msg, wParam, lParam});
  }
  if (g_hook)
    if (auto r = g_hook(hwnd, msg, wParam, lParam)) return *r;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The messages in `wanted` that `hwnd` (null: any window) received, in order.
inline std::vector<UINT> received(HWND hwnd, std::initializer_list<UINT> wanted) {
  std::lock_guard lock(g_logMutex);
  std::vector<UINT> out;
  for (auto& s : g_log)
    if ((!hwnd || s.hwnd == hwnd) && std::find(wanted.begin(), wanted.end(), s.msg) != wanted.end())
      out.push_back(s.msg);
  return out;
}

inline void clearLog() {
  std::lock_guard lock(g_logMutex);
  g_log.clear();
}

inline DWORD thisThread() { return platform::host::currentThreadId(); }

class WindowFixture : public ::testing::Test {
 protected:
  WindowFixture() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = kClass;
    if (!RegisterClassW(&wc)) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    }
    clearLog();
  }

  ~WindowFixture() override {
    g_hook = nullptr;
    kipotest::destroyThreadWindows();
    clearLog();
  }

  HWND make(DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr, UINT_PTR id = 0, const char16_t* title = u"",
            RECT r = {10, 20, 110, 220}) {
    return CreateWindowExW(0, kClass, title, style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(id), nullptr, nullptr);
  }

  kipotest::TestHost host_;
};

}  // namespace wintest
