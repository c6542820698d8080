// Explorer's taskbar buttons (see taskbar.h).
#include "tools/hostapps/explorer/taskbar.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/win32/controls/commctrl.h"
#include "platform/win32/window.h"

namespace hostapps::explorer {

namespace {

constexpr int kStartWidth = 60;  // room left for the Start button
constexpr int kButtonLength = 160;
constexpr int kButtonThickness = 24;  // a button's height in a taskbar along a side

bool hasButton(HWND w) {
  if (!IsWindowVisible(w)) return false;
  const auto ex = static_cast<DWORD>(GetWindowLongW(w, GWL_EXSTYLE));
  if (ex & WS_EX_APPWINDOW) return true;
  return !GetWindow(w, GW_OWNER) && !(ex & WS_EX_TOOLWINDOW);
}

std::u16string titleOf(HWND w) {
  char16_t buf[512] = {};
  int n = GetWindowTextW(w, buf, 512);
  return std::u16string(buf, static_cast<std::size_t>(std::max(n, 0)));
}

HMENU idFor(HWND w) {
  return reinterpret_cast<HMENU>(static_cast<UINT_PTR>(static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(w))));
}

}  // namespace

Taskbar::Taskbar(HWND tray) : tray_(tray) {
  RECT r{};
  GetClientRect(tray_, &r);
  const bool across = r.right - r.left >= r.bottom - r.top;
  band_ = CreateWindowExW(0, kBandClass, u"Running Applications", WS_CHILD | WS_VISIBLE, across ? kStartWidth : 0,
                          across ? 0 : kStartWidth, across ? std::max<int>(r.right - kStartWidth, 0) : r.right,
                          across ? r.bottom : std::max<int>(r.bottom - kStartWidth, 0), tray_, nullptr, nullptr,
                          nullptr);
}

void Taskbar::update() {
  if (!band_) return;
  std::vector<HWND> now;
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        if (hasButton(h)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&now));
  bool moved = false;
  // Buttons of windows that went, or lost their button, go.
  for (auto it = buttons_.begin(); it != buttons_.end();) {
    if (std::find(now.begin(), now.end(), it->window) != now.end()) {
      ++it;
      continue;
    }
    DestroyWindow(it->button);
    it = buttons_.erase(it);
    moved = true;
  }
  // New windows get theirs at the end, oldest first (the enumeration gives the newest first).
  for (auto it = now.rbegin(); it != now.rend(); ++it) {
    HWND w = *it;
    auto known = std::find_if(buttons_.begin(), buttons_.end(), [w](const Button& b) { return b.window == w; });
    const std::u16string title = titleOf(w);
    if (known != buttons_.end()) {
      if (titleOf(known->button) != title) SetWindowTextW(known->button, title.c_str());
      continue;
    }
    HWND b = CreateWindowExW(0, WC_BUTTONW, title.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, kButtonLength,
                             1, band_, idFor(w), nullptr, nullptr);
    if (!b) continue;
    buttons_.push_back({w, b});
    moved = true;
  }
  if (moved) layout();
}

void Taskbar::layout() {
  RECT r{};
  GetClientRect(band_, &r);
  const bool across = r.right - r.left >= r.bottom - r.top;
  int at = 0;
  for (const auto& b : buttons_) {
    if (across) MoveWindow(b.button, at, 0, kButtonLength, r.bottom, TRUE);
    else MoveWindow(b.button, 0, at, r.right, kButtonThickness, TRUE);
    at += across ? kButtonLength : kButtonThickness;
  }
}

void Taskbar::pressed(HWND button) {
  auto b = std::find_if(buttons_.begin(), buttons_.end(), [button](const Button& x) { return x.button == button; });
  if (b == buttons_.end()) return;
  HWND w = b->window;
  if (!IsWindow(w)) {
    update();
    return;
  }
  if (IsIconic(w)) ShowWindow(w, SW_RESTORE);
  // Brought to the top without SWP_NOACTIVATE: its own thread activates it.
  SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace hostapps::explorer
