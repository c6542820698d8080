// Reading and picking tree view items: in this process, and in another program's tree through
// memory allocated in it (the tree probe), where a record that is not in such memory is refused
// before the probe could read it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/ui/tree_items.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"
#include "tests/support/child_program.h"
#include "tests/support/test_host.h"

namespace {

using platform::ui::TreeItem;

constexpr int kTreeId = 1357;

// Texts with their depth, as "  Inbox" for a child, and the flags read.
std::vector<std::string> outline(const std::vector<TreeItem>& items) {
  std::vector<std::string> out;
  for (const TreeItem& it : items) {
    std::string line(static_cast<std::size_t>(it.depth) * 2, ' ');
    line += platform::text::toUtf8(it.text) + " parent=" + std::to_string(it.parent) + " data=" + std::to_string(it.data);
    if (it.hasChildren) line += it.expanded ? " open" : " closed";
    if (it.selected) line += " selected";
    out.push_back(line);
  }
  return out;
}

const std::vector<std::string> kProbeTree = {
    "Outlook parent=-1 data=1 open",   "  Inbox parent=0 data=2 closed", "    Sub parent=1 data=3",
    "  Sent Items parent=0 data=4",    "Other parent=-1 data=5",
};

// A tree of this process under a parent that records the selection changes it is told of.
struct LocalTree {
  HWND parent = nullptr;
  HWND tree = nullptr;
  static inline std::vector<std::pair<LPARAM, UINT>> changes;

  static LRESULT CALLBACK parentProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NOTIFY) {
      auto* nm = reinterpret_cast<const NMTREEVIEWW*>(l);
      if (nm->hdr.code == TVN_SELCHANGEDW) changes.emplace_back(nm->itemNew.lParam, nm->action);
      return 0;
    }
    return DefWindowProcW(h, msg, w, l);
  }

  LocalTree() {
    changes.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = parentProc;
    wc.lpszClassName = u"KipoTreeItemsParent";
    RegisterClassW(&wc);
    parent = CreateWindowExW(0, u"KipoTreeItemsParent", u"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300,
                             nullptr, nullptr, nullptr, nullptr);
    tree = CreateWindowExW(0, WC_TREEVIEWW, u"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_LINESATROOT, 0, 0, 280,
                           260, parent, reinterpret_cast<HMENU>(kTreeId), nullptr, nullptr);
  }
  ~LocalTree() { DestroyWindow(parent); }

  HTREEITEM add(HTREEITEM under, const char16_t* text, LPARAM data) {
    TVINSERTSTRUCTW is{};
    is.hParent = under;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_PARAM;
    is.item.pszText = const_cast<LPWSTR>(text);
    is.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
  }
};

void pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

TEST(TreeItems, ATreeOfThisProcessIsReadAndPickedAsAPersonWould) {
  kipotest::TestHost host;
  LocalTree t;
  HTREEITEM outlook = t.add(TVI_ROOT, u"Outlook", 1);
  HTREEITEM inbox = t.add(outlook, u"Inbox", 2);
  HTREEITEM sub = t.add(inbox, u"Sub", 3);
  t.add(outlook, u"Sent Items", 4);
  t.add(TVI_ROOT, u"Other", 5);
  SendMessageW(t.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(outlook));
  auto items = platform::ui::readTreeItems(t.tree);
  ASSERT_TRUE(items);
  EXPECT_EQ(outline(*items), kProbeTree);

  // The deepest item: its closed parent is opened by its button, then its label is clicked.
  ASSERT_TRUE(platform::ui::clickTreeItem(t.tree, sub));
  pump();
  ASSERT_EQ(LocalTree::changes.size(), 1u);
  EXPECT_EQ(LocalTree::changes[0], std::make_pair(LPARAM{3}, UINT{TVC_BYMOUSE}));
  EXPECT_EQ(SendMessageW(t.tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(inbox), TVIS_EXPANDED), TVIS_EXPANDED);
  items = platform::ui::readTreeItems(t.tree);
  ASSERT_TRUE(items);
  EXPECT_TRUE((*items)[2].selected);

  // A window of another class is no tree.
  SetLastError(0);
  EXPECT_FALSE(platform::ui::readTreeItems(t.parent));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(platform::ui::clickTreeItem(t.parent, sub));
}

TEST(TreeItems, FindingAnItemByItsTexts) {
  std::vector<TreeItem> items(5);
  const char16_t* texts[] = {u"Outlook", u"Inbox", u"Sub", u"Inbox", u"Other"};
  const int parents[] = {-1, 0, 1, -1, -1};
  for (int i = 0; i < 5; ++i) {
    items[static_cast<std::size_t>(i)].text = texts[i];
    items[static_cast<std::size_t>(i)].parent = parents[i];
    items[static_cast<std::size_t>(i)].depth = parents[i] < 0 ? 0 : items[static_cast<std::size_t>(parents[i])].depth + 1;
  }
  struct Case {
    const char16_t* path;
    int index;
  } cases[] = {
      {u"Outlook\\Inbox\\Sub", 2}, {u"Inbox", 3},  // a top item, not the child of the same name
      {u"Outlook\\Inbox", 1},      {u"Sub", -1},   {u"Outlook\\Sub", -1}, {u"", -1}, {u"outlook", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::text::toUtf8(c.path));
    EXPECT_EQ(platform::ui::findTreeItem(items, c.path), c.index);
  }
}

TEST(TreeItems, AnotherProgramsTreeIsReadAndPickedThroughMemoryAllocatedInIt) {
  kipotest::TestHost host;
  kipotest::ChildProgram probe(KIPO_TREEPROBE, {});
  ASSERT_TRUE(probe.saw("ready")) << probe.output();
  HWND main = FindWindowW(u"KipoTreeProbe", nullptr);
  ASSERT_NE(main, nullptr);
  HWND tree = GetDlgItem(main, kTreeId);
  ASSERT_NE(tree, nullptr);

  auto items = platform::ui::readTreeItems(tree);
  ASSERT_TRUE(items);
  EXPECT_EQ(outline(*items), kProbeTree);

  // A record in the caller's own memory never reaches the probe: it is refused here.
  WCHAR text[32] = {u'#', 0};
  TVITEMW item{};
  item.mask = TVIF_TEXT | TVIF_HANDLE;
  item.hItem = (*items)[0].handle;
  item.pszText = text;
  item.cchTextMax = 32;
  RECT rect{};
  TVHITTESTINFO hit{};
  TVINSERTSTRUCTW insert{};
  struct Case {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  } cases[] = {
      {TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)},     {TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)},
      {TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect)}, {TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)},
      {TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.msg);
    DWORD_PTR result = 7;
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(tree, c.msg, c.wParam, c.lParam, SMTO_NORMAL, 5000, &result), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(text[0], u'#');
  EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 5);

  // Picking the deepest item opens its parent and tells the probe of a selection by mouse.
  ASSERT_TRUE(platform::ui::clickTreeItem(tree, (*items)[2].handle));
  EXPECT_TRUE(probe.saw("selected Sub by 1")) << probe.output();
  items = platform::ui::readTreeItems(tree);
  ASSERT_TRUE(items);
  EXPECT_EQ((*items)[1].expanded, true);
  EXPECT_EQ((*items)[2].selected, true);

  // Once the probe is gone its tree cannot be read.
  probe.kill();
  EXPECT_FALSE(platform::ui::readTreeItems(tree, 2000));
}

}  // namespace
