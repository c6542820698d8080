// What the host knows of the ActiveX controls in its windows and of what they printed: each
// control window's class id and shown address (a page's URL or a movie's path), the links of the
// page a browser control shows, and the print jobs the browser's documents were asked for. Rows
// live in host.db so that `kipo-host ui` and tests in other processes see them; a control's rows
// go when its window is destroyed, and rows of a window that no longer exists are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace platform::host {

struct ControlLink {
  std::u16string text;  // the anchor's text, blanks collapsed
  std::u16string href;  // as written in the page
  std::u16string url;   // href resolved against the page's address
};

struct ControlState {
  std::u16string clsid;     // "{xxxxxxxx-...}"
  std::u16string property;  // "LocationURL" or "Movie"
  std::u16string value;
  std::int64_t page = 0;    // grows with each page shown, so a stale link number is refused
  std::vector<ControlLink> links;
};

// Replaces what is recorded for the control window (its links too).
void recordControlState(HWND control, const ControlState& state);
void forgetControl(HWND control);
// The record of a control window that exists; nullopt otherwise.
std::optional<ControlState> controlState(HWND control);

struct PrintJob {
  std::int64_t id = 0;
  std::uint64_t time = 0;  // FILETIME ticks
  DWORD pid = 0;
  std::u16string document;  // the printed page's address
  DWORD option = 0;         // how the caller asked (prompt the user, do not prompt, default)
};
void recordPrintJob(const PrintJob& job);
// Oldest first.
std::vector<PrintJob> printJobs();

}  // namespace platform::host
