// What the parts of Fennock share: the module's state and the drive letter list.
#pragma once

#include <string>
#include <vector>

#include "fennock/fennock.h"

namespace fennock {

// Kept at process attach: the dialog templates are resources of this module.
extern HINSTANCE g_module;
// The window handle of the last drive-dialog call (kept, not used further).
extern HWND g_setupWindow;

// The letters of the drives that answer the device-number request, in A to Z order (USB-bus
// drives only when usbOnly), once each; empty when the disk interface class cannot be listed.
std::vector<char> driveLetters(bool usbOnly);
// The letter at `position` of the list of all disk-backed drives, 0 outside it.
char driveLetterAt(int position);

// The name upper-cased through the ANSI code page.
std::string upperAnsi(const std::string& text);

}  // namespace fennock
