// The host-wide window table in host.db. Every process writes one row for each of its windows
// (handle, class, text, styles, rectangle, parent, owner, control id, owning process and thread),
// so other processes can find and query its windows without asking it: the answers stay right
// while the owner is busy or hung. A row is written only when one of those fields changed
// (creation, destruction, text, style, position, parent), never per message; a process answers
// queries about its own windows from memory (window_table.h).
//
// Rows carry the owner's process id and start time: a row whose process has ended (a killed
// process cannot remove its rows) is ignored by every query and pruned on the way.
//
// Order: rows hold no z-order. Other processes' top-level windows are listed newest first (a new
// window comes up on top), children in creation order (as they are created at the bottom).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace platform::host {

struct Window;

struct WindowRow {
  std::uint32_t handle = 0;
  DWORD pid = 0;
  std::uint64_t start = 0;
  DWORD threadId = 0;
  std::u16string className;
  ATOM atom = 0;
  std::u16string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};  // relative to the parent's client area, as Window::rect
  std::uint32_t parent = 0;  // kDesktopHandle or kMessageRootHandle for top-level windows
  std::uint32_t owner = 0;
  std::uint64_t id = 0;

  bool operator==(const WindowRow&) const;
};

// Under the window table's mutex: writes the window's row when a mirrored field changed since
// the last write (a window still being created is written once it is alive). Bumps
// Counter::Windows after a write. A failing database leaves the row stale, never throws.
void mirrorWindow(const Window& w);
// Removes the rows of windows of this process that are gone.
void forgetMirrored(const std::vector<std::uint32_t>& handles);

// A living window of another process of the host.
std::optional<WindowRow> foreignWindow(std::uint32_t handle);
// Living windows of other processes whose parent is `parent` (kDesktopHandle: top-level windows,
// kMessageRootHandle: message-only windows), in the order described above.
std::vector<WindowRow> foreignChildren(std::uint32_t parent);
// Every living window of the host, this process's included, in handle order (for the tool).
std::vector<WindowRow> hostWindows();

}  // namespace platform::host
