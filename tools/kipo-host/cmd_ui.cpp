// kipo-host ui: the host's user interface from outside. Lists the top-level windows with their
// controls and states (contents read with the cross-process messages Windows marshals, a tree
// view's items through memory allocated in its program), open
// popup menus and the tray, and acts as a user does: the mouse and keyboard messages are posted
// to the target's queue, as input arrives, so an action that opens a modal dialog in the target
// never blocks the tool.
//
// ActiveX controls: `ui list` shows a control's class id and the address it shows (a browser's
// page, a player's movie) from the host's record of control windows; `ui links` lists a browser
// control's links and `ui follow` posts it the follow message a click on a link amounts to.
//
// Popup menus: an open menu is a "#32768" window whose items are "MenuItem" child windows (see
// platform/win32/menu.h); `ui menu` clicks one. A window with no open menu gets the WM_COMMAND
// that picking the item from its menu bar posts (the menu bar itself lives in the owner's memory).
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/controls.h"
#include "platform/host/ole_controls.h"
#include "platform/ui/tree_items.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/dialog.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/remote_memory.h"
#include "platform/win32/tray.h"
#include "platform/win32/window.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace text = platform::text;
using platform::controls::userReachable;

constexpr UINT kSendTimeoutMs = 5000;
constexpr int kMessageBoxTextId = 0xFFFF;

std::u16string classOf(HWND h) {
  WCHAR name[128] = {0};
  int n = GetClassNameW(h, name, 128);
  return std::u16string(name, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::u16string textOf(HWND h) {
  WCHAR buf[1024] = {0};
  int n = GetWindowTextW(h, buf, 1024);
  return std::u16string(buf, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string quoted(std::u16string_view s) {
  std::string out = "\"";
  for (char c : text::toUtf8(s)) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out + "\"";
}

std::string hex(HWND h) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(h)));
  return b;
}

// A query to the window's thread; nullopt when it does not answer in time.
std::optional<LRESULT> ask(HWND h, UINT msg, WPARAM w = 0, LPARAM l = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return std::nullopt;
  return static_cast<LRESULT>(result);
}

bool is(HWND h, const char16_t* cls) { return text::equalNoCase(classOf(h), cls); }

std::vector<HWND> topLevelWindows() {
  std::vector<HWND> out;
  EnumWindows([](HWND h, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&out));
  return out;
}

std::vector<HWND> childrenOf(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

// ---- list ----

// A buffer allocated in the process of a window of another program, for the list-view messages
// Windows does not carry between processes (an icon's position): the control fills the block and
// the answer is read back from it.
class ForeignBlock {
 public:
  explicit ForeignBlock(HWND h) : window_(h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) address_ = VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE);
  }
  ~ForeignBlock() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  ForeignBlock(const ForeignBlock&) = delete;
  ForeignBlock& operator=(const ForeignBlock&) = delete;

  // Writes `size` bytes to the start of the block (a record the message reads).
  bool put(const void* data, std::size_t size) {
    return address_ && size <= kSize && WriteProcessMemory(process_, address_, data, size, nullptr);
  }
  // Sends the message with the block as its pointer; on a nonzero answer copies `size` bytes of
  // the block to `out`.
  bool ask(UINT msg, WPARAM w, void* out, std::size_t size) {
    if (!address_ || size > kSize) return false;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window_, msg, w, reinterpret_cast<LPARAM>(address_), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result) ||
        !result)
      return false;
    return ReadProcessMemory(process_, address_, out, size, nullptr) != FALSE;
  }

 private:
  static constexpr std::size_t kSize = 4096;
  HWND window_;
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
};

void listItems(HWND h, const std::string& indent) {
  auto rows = [&](UINT countMsg, UINT textMsg, UINT selMsg, bool multi) {
    auto count = ask(h, countMsg);
    if (!count || *count < 0) return;
    auto sel = ask(h, selMsg);
    for (LRESULT i = 0; i < *count && i < 1000; ++i) {
      WCHAR buf[1024] = {0};
      auto n = ask(h, textMsg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
      std::string line = indent + "item " + std::to_string(i) + " " + quoted(n && *n >= 0 ? buf : u"");
      bool selected = multi ? ask(h, LB_GETSEL, static_cast<WPARAM>(i)).value_or(0) > 0 : (sel && *sel == i);
      if (selected) line += " selected";
      std::printf("%s\n", line.c_str());
    }
  };
  const DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
  if (is(h, u"ListBox")) rows(LB_GETCOUNT, LB_GETTEXT, LB_GETCURSEL, (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0);
  else if (is(h, u"ComboBox")) rows(CB_GETCOUNT, CB_GETLBTEXT, CB_GETCURSEL, false);
  else if (is(h, WC_LISTVIEWW)) {
    auto count = ask(h, LVM_GETITEMCOUNT);
    const DWORD view = style & LVS_TYPEMASK;
    std::optional<ForeignBlock> block;
    if (count && *count > 0 && (view == LVS_ICON || view == LVS_SMALLICON)) block.emplace(h);
    for (LRESULT i = 0; count && i < *count && i < 1000; ++i) {
      WCHAR buf[1024] = {0};
      LVITEMW item{};
      item.iSubItem = 0;
      item.pszText = buf;
      item.cchTextMax = 1024;
      ask(h, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      std::string line = indent + "item " + std::to_string(i) + " " + quoted(buf);
      if (block) {
        POINT p{};
        if (block->ask(LVM_GETITEMPOSITION, static_cast<WPARAM>(i), &p, sizeof p))
          line += " at " + std::to_string(p.x) + "," + std::to_string(p.y);
      }
      if (ask(h, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED).value_or(0) & LVIS_SELECTED)
        line += " selected";
      std::printf("%s\n", line.c_str());
    }
  } else if (is(h, WC_TREEVIEWW)) {
    // Read through memory allocated in the tree's program, as Windows requires of a tool.
    auto items = platform::ui::readTreeItems(h, kSendTimeoutMs);
    if (!items) {
      std::printf("%sitems unreadable (error %lu)\n", indent.c_str(), static_cast<unsigned long>(GetLastError()));
      return;
    }
    for (std::size_t i = 0; i < items->size() && i < 1000; ++i) {
      const auto& it = (*items)[i];
      char data[32];
      std::snprintf(data, sizeof data, "0x%llX", static_cast<unsigned long long>(it.data));
      std::string line = indent + "item " + std::to_string(i) + " " + quoted(it.text) +
                         " depth=" + std::to_string(it.depth) + " parent=" + std::to_string(it.parent) + " data=" + data;
      if (it.hasChildren) line += it.expanded ? " expanded" : " collapsed";
      if (it.selected) line += " selected";
      std::printf("%s\n", line.c_str());
    }
  }
}

void listControl(HWND h, const std::string& indent) {
  const DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
  std::string line = indent + (is(h, u"MenuItem") ? "menu item " : "control ") +
                     std::to_string(GetDlgCtrlID(h)) + " class=" + text::toUtf8(classOf(h)) + " text=" +
                     quoted(textOf(h));
  if (is(h, u"Button") || is(h, u"MenuItem")) {
    auto check = ask(h, BM_GETCHECK);
    if (check && *check == BST_CHECKED) line += " checked";
    else if (check && *check == BST_INDETERMINATE) line += " indeterminate";
  }
  if (auto control = platform::host::controlState(h)) {
    line += " clsid=" + text::toUtf8(control->clsid);
    if (control->property == u"LocationURL") line += " url=" + quoted(control->value);
    else if (control->property == u"Movie") line += " movie=" + quoted(control->value);
    if (!control->links.empty()) line += " links=" + std::to_string(control->links.size());
  }
  if (!IsWindowEnabled(h)) line += " disabled";
  if (!(style & WS_VISIBLE)) line += " hidden";
  std::printf("%s\n", line.c_str());
  listItems(h, indent + "  ");
  for (HWND c : childrenOf(h)) listControl(c, indent + "  ");
}

void listWindow(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  std::string kind = is(h, u"#32768") ? "menu " : "window ";
  std::string line = kind + hex(h) + " class=" + text::toUtf8(classOf(h)) + " text=" + quoted(textOf(h)) +
                     " pid=" + std::to_string(pid);
  if (!IsWindowVisible(h)) line += " hidden";
  if (!IsWindowEnabled(h)) line += " disabled";
  std::printf("%s\n", line.c_str());
  for (HWND c : childrenOf(h)) listControl(c, "  ");
}

// ---- finding the target ----

struct Options {
  std::string window;
  std::optional<int> control;
  std::optional<int> index;
  std::optional<int> state;
  std::optional<std::string> text;
  std::optional<UINT> command;
  std::optional<int> icon;
  std::optional<int> link;
  std::optional<std::string> href;
  bool right = false;
  bool twice = false;
  bool all = false;
};

std::optional<long> number(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (*end) return std::nullopt;
  return v;
}

// Parses --name value pairs; the error message, or empty.
std::string parse(const std::vector<std::string>& args, std::size_t from, Options& o) {
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto intValue = [&](std::optional<int>& out) -> bool {
      auto v = value();
      auto n = v ? number(*v) : std::nullopt;
      if (!n) return false;
      out = static_cast<int>(*n);
      return true;
    };
    if (a == "--right") o.right = true;
    else if (a == "--double") o.twice = true;
    else if (a == "--all") o.all = true;
    else if (a == "--window") {
      auto v = value();
      if (!v) return "--window needs a title or class";
      o.window = *v;
    } else if (a == "--text") {
      auto v = value();
      if (!v) return "--text needs a value";
      o.text = *v;
    } else if (a == "--control" || a == "--button") {
      if (!intValue(o.control)) return a + " needs a number";
    } else if (a == "--index") {
      if (!intValue(o.index)) return "--index needs a number";
    } else if (a == "--state") {
      if (!intValue(o.state)) return "--state needs 0, 1 or 2";
    } else if (a == "--link") {
      if (!intValue(o.link)) return "--link needs a number";
    } else if (a == "--href") {
      auto v = value();
      if (!v) return "--href needs the link's address as the page writes it";
      o.href = *v;
    } else if (a == "--icon") {
      if (!intValue(o.icon)) return "--icon needs a number";
    } else if (a == "--command") {
      std::optional<int> c;
      if (!intValue(c)) return "--command needs a number";
      o.command = static_cast<UINT>(*c);
    } else {
      return "unknown option " + a;
    }
  }
  return {};
}

bool isMessageBox(HWND h) { return is(h, u"#32770") && GetDlgItem(h, kMessageBoxTextId) != nullptr; }

// The top-level window named by title or class: a reachable one first, newest first.
HWND findWindow(const std::string& name) {
  const std::u16string n = text::fromUtf8(name);
  HWND fallback = nullptr;
  for (HWND h : topLevelWindows()) {
    if (!text::equalNoCase(textOf(h), n) && !text::equalNoCase(classOf(h), n)) continue;
    if (userReachable(h)) return h;
    if (!fallback) fallback = h;
  }
  return fallback;
}

HWND findControl(HWND parent, int id) {
  for (HWND c : childrenOf(parent)) {
    if (GetDlgCtrlID(c) == id) return c;
    if (HWND d = findControl(c, id)) return d;
  }
  return nullptr;
}

LPARAM at(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

void postClick(HWND h, int x, int y) {
  PostMessageW(h, WM_LBUTTONDOWN, 0x0001 /* MK_LBUTTON */, at(x, y));
  PostMessageW(h, WM_LBUTTONUP, 0, at(x, y));
}

void postClickMiddle(HWND h) {
  RECT r{};
  GetClientRect(h, &r);
  postClick(h, (r.right - r.left) / 2, (r.bottom - r.top) / 2);
}

// The window and control an action names, or an exit code after the message.
struct Target {
  HWND window = nullptr;
  HWND control = nullptr;
  int error = 0;
};

Target target(const Options& o, bool needsControl) {
  Target t;
  if (o.window.empty()) {
    t.error = usageError("--window is needed");
    return t;
  }
  t.window = findWindow(o.window);
  if (!t.window) {
    t.error = failure("no window " + o.window);
    return t;
  }
  if (!needsControl) return t;
  if (!o.control) {
    t.error = usageError("--control is needed");
    return t;
  }
  t.control = findControl(t.window, *o.control);
  if (!t.control) {
    t.error = failure("no control " + std::to_string(*o.control) + " in " + o.window);
    return t;
  }
  if (!userReachable(t.control)) t.error = failure("control " + std::to_string(*o.control) + " is disabled or hidden");
  return t;
}

// ---- actions ----

int click(const Options& o) {
  Target t = target(o, true);
  if (t.error) return t.error;
  postClickMiddle(t.control);
  return 0;
}

int type(const Options& o) {
  if (!o.text) return usageError("type needs --text");
  Target t = target(o, true);
  if (t.error) return t.error;
  // Typing into a field replaces what it holds, as when Tab selected it.
  ask(t.control, EM_SETSEL, 0, -1);
  for (char16_t c : text::fromUtf8(*o.text)) PostMessageW(t.control, WM_CHAR, c, 1);
  return 0;
}

int check(const Options& o) {
  if (!o.state || *o.state < 0 || *o.state > 2) return usageError("check needs --state 0, 1 or 2");
  Target t = target(o, true);
  if (t.error) return t.error;
  auto now = ask(t.control, BM_GETCHECK);
  if (!now) return failure("the control does not answer");
  const DWORD kind = static_cast<DWORD>(GetWindowLongW(t.control, GWL_STYLE)) & 0x0F;
  const bool threeState = kind == BS_3STATE || kind == BS_AUTO3STATE;
  const int states = threeState ? 3 : 2;
  if (*o.state >= states) return failure("the control has no state " + std::to_string(*o.state));
  // Each click moves an automatic box one state on: unchecked, checked (, indeterminate).
  int clicks = static_cast<int>((*o.state - *now + states) % states);
  for (int i = 0; i < clicks; ++i) postClickMiddle(t.control);
  return 0;
}

// A tree item by its number in `ui list` or by its texts from a top item down ("A\\B").
int selectTreeItem(const Options& o, HWND tree) {
  auto items = platform::ui::readTreeItems(tree, kSendTimeoutMs);
  if (!items) return failure("the tree's items cannot be read");
  int index = -1;
  if (o.text) {
    index = platform::ui::findTreeItem(*items, text::fromUtf8(*o.text));
    if (index < 0) return failure("the tree has no item " + *o.text);
  } else if (static_cast<std::size_t>(*o.index) < items->size()) {
    index = *o.index;
  } else {
    return failure("the tree has no item " + std::to_string(*o.index));
  }
  if (!platform::ui::clickTreeItem(tree, (*items)[static_cast<std::size_t>(index)].handle, kSendTimeoutMs))
    return failure("the item cannot be clicked");
  return 0;
}

int select(const Options& o) {
  const bool byIndex = o.index && *o.index >= 0;
  if (!byIndex && !o.text) return usageError("select needs --index N (or --text PATH in a tree)");
  Target t = target(o, true);
  if (t.error) return t.error;
  if (is(t.control, WC_TREEVIEWW)) return selectTreeItem(o, t.control);
  if (!byIndex) return usageError("select needs --index N");
  const int index = *o.index;
  RECT r{};
  GetClientRect(t.control, &r);
  if (is(t.control, u"ListBox")) {
    auto count = ask(t.control, LB_GETCOUNT).value_or(0);
    if (index >= count) return failure("the list has no item " + std::to_string(index));
    auto height = static_cast<int>(ask(t.control, LB_GETITEMHEIGHT).value_or(13));
    int rows = std::max(1, static_cast<int>(r.bottom - r.top) / std::max(1, height));
    auto top = static_cast<int>(ask(t.control, LB_GETTOPINDEX).value_or(0));
    if (index < top || index >= top + rows) {
      ask(t.control, LB_SETTOPINDEX, static_cast<WPARAM>(index));
      top = static_cast<int>(ask(t.control, LB_GETTOPINDEX).value_or(0));
    }
    postClick(t.control, std::max<int>(16, (r.right - r.left) / 2), (index - top) * height + height / 2);
    return 0;
  }
  if (is(t.control, u"ComboBox")) {
    auto count = ask(t.control, CB_GETCOUNT).value_or(0);
    if (index >= count) return failure("the list has no item " + std::to_string(index));
    auto height = static_cast<int>(ask(t.control, CB_GETITEMHEIGHT).value_or(13));
    // Drop the list, then click the entry below the field.
    if (!ask(t.control, CB_GETDROPPEDSTATE).value_or(0)) postClickMiddle(t.control);
    postClick(t.control, (r.right - r.left) / 2, (r.bottom - r.top) + index * height + height / 2 + 1);
    return 0;
  }
  if (is(t.control, WC_LISTVIEWW)) {
    auto count = ask(t.control, LVM_GETITEMCOUNT).value_or(0);
    if (index >= count) return failure("the list has no item " + std::to_string(index));
    const DWORD view = static_cast<DWORD>(GetWindowLongW(t.control, GWL_STYLE)) & LVS_TYPEMASK;
    if (view == LVS_ICON || view == LVS_SMALLICON) {
      // An icon is clicked where it stands: on its icon, in its box's upper half.
      RECT box{LVIR_ICON, 0, 0, 0};
      ForeignBlock block(t.control);
      if (!block.put(&box, sizeof box) || !block.ask(LVM_GETITEMRECT, static_cast<WPARAM>(index), &box, sizeof box))
        return failure("cannot find where icon " + std::to_string(index) + " stands");
      postClick(t.control, (box.left + box.right) / 2, (box.top + box.bottom) / 2);
      return 0;
    }
    ask(t.control, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    auto top = static_cast<int>(ask(t.control, LVM_GETTOPINDEX).value_or(0));
    const int y = platform::controls::kListViewHeaderHeight + (index - top) * platform::controls::kListViewRowHeight +
                  platform::controls::kListViewRowHeight / 2;
    postClick(t.control, platform::controls::kListViewCheckWidth + 4, y);
    return 0;
  }
  return failure("the control is not a list");
}

// The open popup menu of the named window (its own, or one it owns), if any.
HWND openMenuOf(HWND window) {
  if (is(window, u"#32768")) return window;
  for (HWND h : topLevelWindows())
    if (is(h, u"#32768") && IsWindowVisible(h) && GetWindow(h, GW_OWNER) == window) return h;
  return nullptr;
}

int menu(const Options& o) {
  if (!o.command) return usageError("menu needs --command ID");
  HWND w = nullptr;
  if (o.window.empty()) {
    // The only open menu of the host.
    for (HWND h : topLevelWindows())
      if (is(h, u"#32768") && IsWindowVisible(h)) w = h;
    if (!w) return failure("no menu is open");
  } else {
    Target t = target(o, false);
    if (t.error) return t.error;
    w = t.window;
  }
  if (HWND open = openMenuOf(w)) {
    HWND item = findControl(open, static_cast<int>(*o.command));
    if (!item || !*o.command) return failure("the menu has no item " + std::to_string(*o.command));
    if (!IsWindowEnabled(item)) return failure("menu item " + std::to_string(*o.command) + " is grayed");
    postClickMiddle(item);
    return 0;
  }
  if (!userReachable(w)) return failure("the window is disabled or hidden");
  PostMessageW(w, WM_COMMAND, MAKEWPARAM(*o.command, 0), 0);
  return 0;
}

int answer(const Options& o) {
  if (!o.control) return usageError("answer needs --button ID");
  HWND box = nullptr;
  if (!o.window.empty()) {
    box = findWindow(o.window);
  } else {
    for (HWND h : topLevelWindows())
      if (isMessageBox(h) && IsWindowVisible(h)) {
        box = h;
        break;
      }
  }
  if (!box || !isMessageBox(box)) return failure("no message box is open");
  HWND button = GetDlgItem(box, *o.control);
  if (!button) return failure("the box has no button " + std::to_string(*o.control));
  if (!userReachable(button)) return failure("button " + std::to_string(*o.control) + " is disabled or hidden");
  postClickMiddle(button);
  return 0;
}

int close(const Options& o) {
  Target t = target(o, false);
  if (t.error) return t.error;
  if (!userReachable(t.window)) return failure("the window is disabled or hidden");
  PostMessageW(t.window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return 0;
}

// The browser control the options name, with the host's record of its page.
struct Browser {
  Target target;
  platform::host::ControlState state;
};
Browser browserOf(const Options& o) {
  Browser b;
  b.target = target(o, true);
  if (b.target.error) return b;
  auto state = platform::host::controlState(b.target.control);
  if (!state || state->property != u"LocationURL") {
    b.target.error = failure("control " + std::to_string(*o.control) + " is not a web browser control");
    return b;
  }
  b.state = std::move(*state);
  return b;
}

int links(const Options& o) {
  Browser b = browserOf(o);
  if (b.target.error) return b.target.error;
  std::printf("page %s\n", quoted(b.state.value).c_str());
  for (std::size_t i = 0; i < b.state.links.size(); ++i) {
    const auto& l = b.state.links[i];
    std::printf("link %zu text=%s href=%s url=%s\n", i, quoted(l.text).c_str(), quoted(l.href).c_str(),
                quoted(l.url).c_str());
  }
  return 0;
}

int follow(const Options& o) {
  if (o.link.has_value() == o.href.has_value()) return usageError("follow needs --link N or --href TEXT");
  Browser b = browserOf(o);
  if (b.target.error) return b.target.error;
  std::size_t index = b.state.links.size();
  if (o.link) {
    if (*o.link >= 0) index = static_cast<std::size_t>(*o.link);
  } else {
    // The href as the page writes it, the first link that has it.
    const std::u16string wanted = text::fromUtf8(*o.href);
    for (std::size_t i = 0; i < b.state.links.size() && index == b.state.links.size(); ++i)
      if (b.state.links[i].href == wanted) index = i;
  }
  if (index >= b.state.links.size())
    return failure(o.link ? "the page has no link " + std::to_string(*o.link) : "the page has no link " + *o.href);
  // Posted, as a click is: a handler that opens a dialog does not hold the tool.
  const UINT message = RegisterWindowMessageW(platform::com::kFollowLinkMessage);
  if (!message || !PostMessageW(b.target.control, message, index, static_cast<LPARAM>(b.state.page)))
    return failure("the control's program cannot be reached");
  return 0;
}

int tray(const std::vector<std::string>& args) {
  Options o;
  const bool clicking = args.size() > 1 && args[1] == "click";
  if (std::string e = parse(args, clicking ? 2 : 1, o); !e.empty()) return usageError(e);
  const std::vector<platform::tray::Icon> icons = platform::tray::icons();
  if (!clicking) {
    for (std::size_t i = 0; i < icons.size(); ++i) {
      const auto& ic = icons[i];
      std::string line = "icon " + std::to_string(i) + " window=" +
                         hex(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(ic.window))) +
                         " id=" + std::to_string(ic.id) + " pid=" + std::to_string(ic.pid) +
                         " message=" + std::to_string(ic.callbackMessage) + " tip=" + quoted(ic.tip);
      if (!ic.info.empty()) line += " balloon=" + quoted(ic.infoTitle) + ":" + quoted(ic.info);
      if (ic.state & NIS_HIDDEN) line += " hidden";
      std::printf("%s\n", line.c_str());
    }
    return 0;
  }
  if (!o.icon) return usageError("tray click needs --icon N");
  if (*o.icon < 0 || static_cast<std::size_t>(*o.icon) >= icons.size()) return failure("no tray icon " + std::to_string(*o.icon));
  auto how = o.twice ? platform::tray::Click::Double : o.right ? platform::tray::Click::Right : platform::tray::Click::Left;
  if (!platform::tray::click(icons[static_cast<std::size_t>(*o.icon)], how)) return failure("the icon is hidden or gone");
  return 0;
}

// Explorer's taskbar buttons: push buttons in the taskbar's "MSTaskSwWClass" window, each with
// its window's handle as control id.
struct TaskButton {
  HWND button;
  HWND window;
};

std::vector<TaskButton> taskButtons() {
  std::vector<TaskButton> out;
  HWND tray = FindWindowW(u"Shell_TrayWnd", nullptr);
  HWND band = tray ? FindWindowExW(tray, nullptr, u"MSTaskSwWClass", nullptr) : nullptr;
  if (!band) return out;
  for (HWND b : childrenOf(band)) {
    const auto id = static_cast<std::uint32_t>(GetDlgCtrlID(b));
    out.push_back({b, reinterpret_cast<HWND>(static_cast<std::uintptr_t>(id))});
  }
  return out;
}

int taskbar(const std::vector<std::string>& args) {
  Options o;
  const bool clicking = args.size() > 1 && args[1] == "click";
  if (std::string e = parse(args, clicking ? 2 : 1, o); !e.empty()) return usageError(e);
  if (!FindWindowW(u"Shell_TrayWnd", nullptr)) return failure("the taskbar is not running");
  const std::vector<TaskButton> buttons = taskButtons();
  if (!clicking) {
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      const auto& b = buttons[i];
      DWORD pid = 0;
      GetWindowThreadProcessId(b.window, &pid);
      std::string line = "button " + std::to_string(i) + " window=" + hex(b.window) + " class=" +
                         text::toUtf8(classOf(b.window)) + " text=" + quoted(textOf(b.button)) +
                         " pid=" + std::to_string(pid);
      if (IsIconic(b.window)) line += " minimized";
      std::printf("%s\n", line.c_str());
    }
    return 0;
  }
  if (o.window.empty()) return usageError("taskbar click needs --window W (handle, title or class)");
  const std::u16string name = text::fromUtf8(o.window);
  const std::optional<long> handle = number(o.window);
  for (const auto& b : buttons) {
    const bool named = handle ? static_cast<std::uint32_t>(*handle) ==
                                    static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(b.window))
                              : text::equalNoCase(textOf(b.window), name) || text::equalNoCase(classOf(b.window), name);
    if (!named) continue;
    postClickMiddle(b.button);
    return 0;
  }
  return failure("no taskbar button for " + o.window);
}

int ui(const std::vector<std::string>& args) {
  if (args.empty())
    return usageError(
        "ui needs a subcommand (list, click, type, check, select, menu, answer, close, links, follow, tray, taskbar)");
  const std::string& sub = args[0];
  if (sub == "tray") return tray(args);
  if (sub == "taskbar") return taskbar(args);
  Options o;
  if (std::string e = parse(args, 1, o); !e.empty()) return usageError(e);
  if (sub == "list") {
    for (HWND h : topLevelWindows()) {
      if (!o.window.empty() && !text::equalNoCase(textOf(h), text::fromUtf8(o.window)) &&
          !text::equalNoCase(classOf(h), text::fromUtf8(o.window)))
        continue;
      // Hidden windows (message windows, helpers) only when asked for.
      if (!o.all && o.window.empty() && !IsWindowVisible(h)) continue;
      listWindow(h);
    }
    return 0;
  }
  if (sub == "click") return click(o);
  if (sub == "type") return type(o);
  if (sub == "check") return check(o);
  if (sub == "select") return select(o);
  if (sub == "menu") return menu(o);
  if (sub == "answer") return answer(o);
  if (sub == "close") return close(o);
  if (sub == "links") return links(o);
  if (sub == "follow") return follow(o);
  return usageError("unknown ui subcommand " + sub);
}

RegisterCommand uiCommand(
    {"ui",
     "ui list [--window W] [--all]           top-level windows, controls, states, list contents (icons\n"
     "                                        with their positions, tree items with their depth,\n"
     "                                        parent and item data), open menus\n"
     "  ui click --window W --control ID      a left click on the control (W: title or class)\n"
     "  ui type --window W --control ID --text T   replaces the field's text by typing T\n"
     "  ui check --window W --control ID --state 0|1|2\n"
     "  ui select --window W --control ID --index N   a row of a list box, combo box or list view,\n"
     "                                        an icon where it stands, or a tree item (its number in\n"
     "                                        ui list, or --text 'A\\B' by its texts from a top item)\n"
     "  ui menu [--window W] --command ID     picks an item of the open menu (or W's menu bar)\n"
     "  ui answer [--window CAPTION] --button ID   presses a message box's button\n"
     "  ui close --window W                   the caption's Close\n"
     "  ui links --window W --control ID      a web browser control's page and links (text, href, URL)\n"
     "  ui follow --window W --control ID --link N|--href TEXT   follows a link as a click does\n"
     "  ui tray [click --icon N [--right] [--double]]   lists or clicks the tray's icons\n"
     "  ui taskbar [click --window W]         lists the taskbar's buttons, or presses W's (restores\n"
     "                                        it when minimized, and activates it)",
     true, ui});

}  // namespace
}  // namespace kipohost
