// A tree view's items as another program (or a test) reads and picks them: the items depth first
// with their depth, parent, text, item data and states, and a person's click on one. The item
// records and rectangles travel through memory allocated in the tree's process (VirtualAllocEx),
// as a tool on Windows must hand them; in the caller's own process that memory is its own, so the
// same calls serve both.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/controls/commctrl.h"

namespace platform::ui {

struct TreeItem {
  HTREEITEM handle = nullptr;
  int depth = 0;    // 0 for a top item
  int parent = -1;  // index of the parent in the list, -1 for a top item
  std::u16string text;
  LPARAM data = 0;  // the item data, as a number (a pointer means nothing outside its program)
  bool selected = false;
  bool expanded = false;
  bool hasChildren = false;
};

// Every item of the tree, each followed by its children in order. nullopt when the window is no
// tree view, its program does not answer within `timeoutMs` per call, or no memory can be
// allocated in it (the Windows error is left in GetLastError).
std::optional<std::vector<TreeItem>> readTreeItems(HWND tree, UINT timeoutMs = 5000);

// The index of the first item whose texts from its top item down equal `path` (split at '\\'),
// or -1.
int findTreeItem(const std::vector<TreeItem>& items, std::u16string_view path);

// What a person does to pick an item: clicks the expand buttons of its collapsed ancestors, top
// down (sent, so each is open before the next is looked at), then the item's label (posted, as
// input arrives: whatever the click opens never holds the caller). The control selects it and
// tells its parent (TVN_SELCHANGED, by mouse). False when the tree or item cannot be reached, an
// ancestor does not open, or the label cannot be located.
bool clickTreeItem(HWND tree, HTREEITEM item, UINT timeoutMs = 5000);

}  // namespace platform::ui
