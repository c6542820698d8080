// Reading and picking a tree view's items from its own program or another (see tree_items.h).
#include "platform/ui/tree_items.h"

#include <cstring>

#include "platform/base/text.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/remote_memory.h"
#include "platform/win32/window.h"

namespace platform::ui {

namespace {

constexpr WPARAM kMkLButton = 0x0001;
constexpr int kTextChars = 1024;
// The record first, the text buffer after it.
constexpr std::size_t kTextOffset = 256;
constexpr std::size_t kBlockSize = kTextOffset + kTextChars * 2;
// Items read at most: a tree that keeps growing while it is read cannot hold the caller.
constexpr std::size_t kMaxItems = 100000;

bool isTree(HWND h) {
  WCHAR name[64] = {0};
  return GetClassNameW(h, name, 64) > 0 && text::equalNoCase(text::view(name), WC_TREEVIEWW);
}

// A block in the tree's process that the control reads and writes for us.
class Block {
 public:
  explicit Block(HWND tree) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    if (pid == GetCurrentProcessId()) {
      process_ = GetCurrentProcess();
    } else {
      process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
      owned_ = process_ != nullptr;
    }
    if (process_) address_ = static_cast<std::byte*>(VirtualAllocEx(process_, nullptr, kBlockSize, MEM_COMMIT, PAGE_READWRITE));
  }
  ~Block() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (owned_) CloseHandle(process_);
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  bool ok() const { return address_ != nullptr; }
  std::byte* at(std::size_t offset) const { return address_ + offset; }
  bool put(std::size_t offset, const void* data, std::size_t size) {
    return WriteProcessMemory(process_, at(offset), data, size, nullptr) != FALSE;
  }
  bool get(std::size_t offset, void* out, std::size_t size) {
    return ReadProcessMemory(process_, at(offset), out, size, nullptr) != FALSE;
  }

 private:
  HANDLE process_ = nullptr;
  bool owned_ = false;
  std::byte* address_ = nullptr;
};

std::optional<LRESULT> ask(HWND h, UINT msg, WPARAM w, LPARAM l, UINT timeoutMs) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, timeoutMs, &result)) return std::nullopt;
  return static_cast<LRESULT>(result);
}

HTREEITEM next(HWND tree, UINT code, HTREEITEM item, UINT timeoutMs, bool& failed) {
  auto r = ask(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item), timeoutMs);
  if (!r) failed = true;
  return reinterpret_cast<HTREEITEM>(r.value_or(0));
}

bool readItem(HWND tree, Block& block, HTREEITEM handle, TreeItem& out, UINT timeoutMs) {
  TVITEMW item{};
  item.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_CHILDREN;
  item.hItem = handle;
  item.stateMask = TVIS_SELECTED | TVIS_EXPANDED;
  item.pszText = reinterpret_cast<LPWSTR>(block.at(kTextOffset));
  item.cchTextMax = kTextChars;
  const char16_t none = 0;
  if (!block.put(0, &item, sizeof item) || !block.put(kTextOffset, &none, sizeof none)) return false;
  auto r = ask(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.at(0)), timeoutMs);
  if (!r || !*r || !block.get(0, &item, sizeof item)) return false;
  std::u16string textBuffer(kTextChars, u'\0');
  if (!block.get(kTextOffset, textBuffer.data(), kTextChars * 2)) return false;
  textBuffer.resize(std::min<std::size_t>(textBuffer.find(u'\0'), kTextChars - 1));
  out.handle = handle;
  out.text = std::move(textBuffer);
  out.data = item.lParam;
  out.selected = (item.state & TVIS_SELECTED) != 0;
  out.expanded = (item.state & TVIS_EXPANDED) != 0;
  out.hasChildren = item.cChildren != 0;
  return true;
}

// The label rectangle of a visible item.
bool labelRect(HWND tree, Block& block, HTREEITEM item, RECT& r, UINT timeoutMs) {
  r = RECT{};
  std::memcpy(&r, &item, sizeof item);
  if (!block.put(0, &r, sizeof r)) return false;
  auto got = ask(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(block.at(0)), timeoutMs);
  return got && *got && block.get(0, &r, sizeof r);
}

bool expanded(HWND tree, HTREEITEM item, UINT timeoutMs) {
  return ask(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED, timeoutMs).value_or(0) != 0;
}

LPARAM at(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

// Opens the collapsed ancestors of `item`, top down, with a click on each one's button.
bool openAncestors(HWND tree, Block& block, HTREEITEM item, UINT timeoutMs) {
  bool failed = false;
  HTREEITEM parent = next(tree, TVGN_PARENT, item, timeoutMs, failed);
  if (failed) return false;
  if (!parent) return true;
  if (!openAncestors(tree, block, parent, timeoutMs)) return false;
  if (expanded(tree, parent, timeoutMs)) return true;
  ask(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(parent), timeoutMs);
  RECT label{};
  if (!labelRect(tree, block, parent, label, timeoutMs)) return false;
  const bool images = ask(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0, timeoutMs).value_or(0) != 0;
  TVHITTESTINFO hit{};
  hit.pt = POINT{label.left - (images ? 16 : 0) - controls::kTreeIndent / 2, (label.top + label.bottom) / 2};
  if (!block.put(0, &hit, sizeof hit) ||
      !ask(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(block.at(0)), timeoutMs) || !block.get(0, &hit, sizeof hit))
    return false;
  if (hit.hItem != parent || !(hit.flags & TVHT_ONITEMBUTTON)) return false;
  ask(tree, WM_LBUTTONDOWN, kMkLButton, at(hit.pt.x, hit.pt.y), timeoutMs);
  ask(tree, WM_LBUTTONUP, 0, at(hit.pt.x, hit.pt.y), timeoutMs);
  return expanded(tree, parent, timeoutMs);
}

}  // namespace

std::optional<std::vector<TreeItem>> readTreeItems(HWND tree, UINT timeoutMs) {
  if (!isTree(tree)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return std::nullopt;
  }
  Block block(tree);
  if (!block.ok()) return std::nullopt;
  std::vector<TreeItem> items;
  bool failed = false;
  // Depth first without recursion: each level's next sibling is found after the subtree.
  struct Level {
    HTREEITEM item;
    int index;
  };
  std::vector<Level> path;
  HTREEITEM item = next(tree, TVGN_ROOT, nullptr, timeoutMs, failed);
  while (item && !failed && items.size() < kMaxItems) {
    TreeItem read;
    if (!readItem(tree, block, item, read, timeoutMs)) return std::nullopt;
    read.depth = static_cast<int>(path.size());
    read.parent = path.empty() ? -1 : path.back().index;
    items.push_back(std::move(read));
    const int index = static_cast<int>(items.size()) - 1;
    if (HTREEITEM child = next(tree, TVGN_CHILD, item, timeoutMs, failed)) {
      path.push_back({item, index});
      item = child;
      continue;
    }
    item = next(tree, TVGN_NEXT, item, timeoutMs, failed);
    while (!item && !failed && !path.empty()) {
      item = next(tree, TVGN_NEXT, path.back().item, timeoutMs, failed);
      path.pop_back();
    }
  }
  if (failed) return std::nullopt;
  return items;
}

int findTreeItem(const std::vector<TreeItem>& items, std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = path.find(u'\\', start);
    parts.push_back(path.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].depth + 1 != static_cast<int>(parts.size())) continue;
    int at = static_cast<int>(i);
    bool same = true;
    for (std::size_t k = parts.size(); k-- > 0 && same; at = items[static_cast<std::size_t>(at)].parent)
      same = items[static_cast<std::size_t>(at)].text == parts[k];
    if (same) return static_cast<int>(i);
  }
  return -1;
}

bool clickTreeItem(HWND tree, HTREEITEM item, UINT timeoutMs) {
  if (!isTree(tree) || !controls::userReachable(tree)) return false;
  Block block(tree);
  if (!block.ok() || !openAncestors(tree, block, item, timeoutMs)) return false;
  ask(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item), timeoutMs);
  RECT label{};
  if (!labelRect(tree, block, item, label, timeoutMs)) return false;
  const LPARAM point = at(label.left + 2, (label.top + label.bottom) / 2);
  return PostMessageW(tree, WM_LBUTTONDOWN, kMkLButton, point) && PostMessageW(tree, WM_LBUTTONUP, 0, point);
}

}  // namespace platform::ui
