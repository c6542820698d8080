// Explorer's taskbar buttons: one per top-level window that XP gives a button (a visible window
// with WS_EX_APPWINDOW, or a visible one that has no owner and is not a tool window), in the
// order the windows appeared, each showing its window's title.
//
// The buttons are push buttons, children of a "MSTaskSwWClass" window in "Shell_TrayWnd", so
// another program sees them and presses them as a user would; a button's control id is the
// handle of its window. Pressing one restores its window when minimized and brings it to the top,
// activating it, by the window calls Explorer may make on another program's window.
#pragma once

#include <vector>

#include "platform/base/types.h"

namespace hostapps::explorer {

class Taskbar {
 public:
  // The class of the window that holds the buttons.
  static constexpr char16_t kBandClass[] = u"MSTaskSwWClass";

  // Makes the buttons' window in the taskbar `tray` (the band class is registered by the caller).
  explicit Taskbar(HWND tray);

  HWND band() const { return band_; }
  // Brings the buttons in line with the windows of the host.
  void update();
  // The button `button` was pressed.
  void pressed(HWND button);

 private:
  struct Button {
    HWND window;
    HWND button;
  };
  void layout();

  HWND tray_;
  HWND band_ = nullptr;
  std::vector<Button> buttons_;
};

}  // namespace hostapps::explorer
