// The "SysTreeView32" class: items (text, images, item data, state, child count) in a tree,
// insertion first, last, sorted or after a sibling, walking, expanding and collapsing, the
// selection, sorting and scrolling. Item handles are numbers that are never reused in the
// control, so a deleted item's handle names nothing.
// Notifications: TVN_SELCHANGING (a nonzero answer vetoes) and TVN_SELCHANGED for every change
// of the selection; TVN_ITEMEXPANDING (a nonzero answer vetoes) and TVN_ITEMEXPANDED for the
// user's expanding and collapsing, and for TVM_EXPAND only the first time an item is expanded
// (Windows skips them once TVIS_EXPANDEDONCE is set); TVN_DELETEITEM for each deleted item.
// Layout: rows of kTreeRowHeight in the order items are visible (children of expanded items
// after them), from the first visible row; an item's expand button is the kTreeIndent pixels
// before its label, which starts at (depth + 1 with TVS_LINESATROOT) * kTreeIndent.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"

namespace platform::controls::detail {

namespace {

constexpr int kCharWidth = 6;
constexpr int kTextPadding = 12;
constexpr int kChildrenFromList = -2;  // cChildren not set: whether the item has children

struct Node {
  std::uintptr_t id = 0;
  Node* parent = nullptr;
  std::vector<Node*> children;
  std::u16string text;
  int image = 0;
  int selectedImage = 0;
  UINT state = 0;
  int cChildren = kChildrenFromList;
  LPARAM param = 0;
};

HTREEITEM handleOf(const Node* n) { return n ? reinterpret_cast<HTREEITEM>(n->id) : nullptr; }

struct TreeView : ControlState {
  TreeView(HWND h, const CREATESTRUCTW&) : ControlState(h) { root.id = 0; }

  Node root;
  std::unordered_map<std::uintptr_t, std::unique_ptr<Node>> nodes;
  std::uintptr_t nextId = 1;
  Node* selected = nullptr;
  Node* dropHilite = nullptr;
  int top = 0;  // first visible row
  HIMAGELIST normalImages = nullptr;
  HIMAGELIST stateImages = nullptr;
  Node* pressed = nullptr;

  Node* find(HTREEITEM h) {
    auto it = nodes.find(reinterpret_cast<std::uintptr_t>(h));
    return it == nodes.end() ? nullptr : it->second.get();
  }
  Node* parentFor(HTREEITEM h) { return (!h || h == TVI_ROOT) ? &root : find(h); }

  static int depthOf(const Node* n) {
    int d = 0;
    for (const Node* p = n->parent; p && p->parent; p = p->parent) ++d;
    return d;
  }
  static bool hasChildren(const Node* n) {
    return n->cChildren == kChildrenFromList ? !n->children.empty() : n->cChildren != 0;
  }
  static Node* sibling(Node* n, int step) {
    auto& list = n->parent->children;
    auto it = std::find(list.begin(), list.end(), n);
    auto at = (it - list.begin()) + step;
    return at >= 0 && at < static_cast<std::ptrdiff_t>(list.size()) ? list[static_cast<std::size_t>(at)] : nullptr;
  }
  static bool below(const Node* n, const Node* ancestor) {
    for (const Node* p = n; p; p = p->parent)
      if (p == ancestor) return true;
    return false;
  }

  void visibleList(Node* n, std::vector<Node*>& out) {
    for (Node* c : n->children) {
      out.push_back(c);
      if (c->state & TVIS_EXPANDED) visibleList(c, out);
    }
  }
  std::vector<Node*> visible() {
    std::vector<Node*> out;
    visibleList(&root, out);
    return out;
  }
  int rowOf(Node* n) {
    auto v = visible();
    auto it = std::find(v.begin(), v.end(), n);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
  }
  int rowsPerPage() const { return std::max(1, clientHeight(hwnd) / kTreeRowHeight); }

  int labelLeft(const Node* n) const {
    int levels = depthOf(n) + ((style() & TVS_LINESATROOT) ? 1 : 0);
    return levels * kTreeIndent + (normalImages ? 16 : 0);
  }
  int labelRight(const Node* n) const { return labelLeft(n) + static_cast<int>(n->text.size()) * kCharWidth + kTextPadding; }
  int buttonLeft(const Node* n) const { return labelLeft(n) - (normalImages ? 16 : 0) - kTreeIndent; }

  TVITEMW describe(Node* n) const {
    TVITEMW it{};
    if (!n) return it;
    it.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
    it.hItem = handleOf(n);
    it.state = n->state | (n == selected ? TVIS_SELECTED : 0);
    it.stateMask = 0xFFFF;
    it.lParam = n->param;
    return it;
  }

  LRESULT notifyTree(UINT code, UINT action, Node* oldItem, Node* newItem) {
    NMTREEVIEWW nm{};
    nm.action = action;
    nm.itemOld = describe(oldItem);
    nm.itemNew = describe(newItem);
    return notify(hwnd, nm.hdr, code);
  }

  // Changes the selection with its notifications; false when vetoed.
  bool select(Node* n, UINT action) {
    if (n == selected) return true;
    if (notifyTree(TVN_SELCHANGINGW, action, selected, n)) return false;
    Node* old = selected;
    selected = n;
    if (n) {
      for (Node* p = n->parent; p && p != &root; p = p->parent)
        if (!(p->state & TVIS_EXPANDED)) expand(p, TVE_EXPAND, false);
      ensureVisible(n);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    notifyTree(TVN_SELCHANGEDW, action, old, selected);
    return true;
  }

  // Expands or collapses; `byUser` decides whether the notifications always go out.
  bool expand(Node* n, UINT code, bool byUser) {
    if (!n || n == &root) return false;
    UINT kind = code & 3;
    bool open = (n->state & TVIS_EXPANDED) != 0;
    if (kind == TVE_TOGGLE) kind = open ? TVE_COLLAPSE : TVE_EXPAND;
    if (kind == TVE_EXPAND && open) return true;
    if (kind == TVE_COLLAPSE && !open && !(code & TVE_COLLAPSERESET)) return true;
    if (kind == TVE_EXPAND && !hasChildren(n)) return false;
    UINT action = kind;
    bool tell = byUser || (kind == TVE_EXPAND && !(n->state & TVIS_EXPANDEDONCE));
    if (tell && notifyTree(TVN_ITEMEXPANDINGW, action, nullptr, n)) return false;
    if (!find(handleOf(n))) return false;
    if (kind == TVE_EXPAND) {
      n->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    } else {
      n->state &= ~static_cast<UINT>(TVIS_EXPANDED);
      // The selection does not stay hidden inside a collapsed item.
      if (selected && selected != n && below(selected, n)) select(n, TVC_UNKNOWN);
      if (code & TVE_COLLAPSERESET) {
        while (!n->children.empty()) remove(n->children.back(), false);
        n->state &= ~static_cast<UINT>(TVIS_EXPANDEDONCE);
      }
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    if (tell) notifyTree(TVN_ITEMEXPANDEDW, action, nullptr, n);
    return true;
  }

  void ensureVisible(Node* n) {
    for (Node* p = n->parent; p && p != &root; p = p->parent)
      if (!(p->state & TVIS_EXPANDED)) expand(p, TVE_EXPAND, false);
    int row = rowOf(n);
    if (row < 0) return;
    if (row < top) top = row;
    else if (row >= top + rowsPerPage()) top = row - rowsPerPage() + 1;
  }

  void applyItem(Node& n, const TVITEMW& it) {
    if (it.mask & TVIF_TEXT) n.text = (it.pszText && it.pszText != LPSTR_TEXTCALLBACKW) ? text::view(it.pszText) : u"";
    if (it.mask & TVIF_IMAGE) n.image = it.iImage;
    if (it.mask & TVIF_SELECTEDIMAGE) n.selectedImage = it.iSelectedImage;
    if (it.mask & TVIF_PARAM) n.param = it.lParam;
    if (it.mask & TVIF_CHILDREN) n.cChildren = it.cChildren;
    if (it.mask & TVIF_STATE) {
      UINT mask = it.stateMask & ~static_cast<UINT>(TVIS_SELECTED);
      n.state = (n.state & ~mask) | (it.state & mask);
    }
  }

  HTREEITEM insert(const TVINSERTSTRUCTW* is) {
    if (!is) return nullptr;
    Node* parent = parentFor(is->hParent);
    if (!parent) return nullptr;
    auto node = std::make_unique<Node>();
    node->id = nextId++;
    node->parent = parent;
    applyItem(*node, is->item);
    auto& list = parent->children;
    std::size_t at = list.size();
    if (is->hInsertAfter == TVI_FIRST) {
      at = 0;
    } else if (is->hInsertAfter == TVI_SORT) {
      at = 0;
      while (at < list.size() && text::compareNoCase(list[at]->text, node->text) <= 0) ++at;
    } else if (is->hInsertAfter != TVI_LAST && is->hInsertAfter) {
      Node* after = find(is->hInsertAfter);
      auto it = after ? std::find(list.begin(), list.end(), after) : list.end();
      if (it != list.end()) at = static_cast<std::size_t>(it - list.begin()) + 1;
    }
    Node* raw = node.get();
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), raw);
    nodes.emplace(raw->id, std::move(node));
    InvalidateRect(hwnd, nullptr, FALSE);
    return handleOf(raw);
  }

  // Removes `n` and its subtree, sending TVN_DELETEITEM (children first).
  void remove(Node* n, bool moveSelection) {
    if (moveSelection && selected && below(selected, n)) {
      Node* next = sibling(n, 1);
      if (!next) next = sibling(n, -1);
      if (!next && n->parent != &root) next = n->parent;
      select(next, TVC_UNKNOWN);
      if (!find(handleOf(n))) return;
    }
    while (!n->children.empty()) remove(n->children.back(), false);
    notifyTree(TVN_DELETEITEMW, 0, n, nullptr);
    if (selected == n) selected = nullptr;
    if (dropHilite == n) dropHilite = nullptr;
    if (pressed == n) pressed = nullptr;
    std::erase(n->parent->children, n);
    nodes.erase(n->id);
  }

  void removeAll() {
    if (selected) {
      // Deleting everything leaves no selection, and says so.
      Node* old = selected;
      selected = nullptr;
      notifyTree(TVN_SELCHANGEDW, TVC_UNKNOWN, old, nullptr);
    }
    while (!root.children.empty()) remove(root.children.back(), false);
    top = 0;
    InvalidateRect(hwnd, nullptr, TRUE);
  }

  Node* next(UINT code, Node* n) {
    switch (code) {
      case TVGN_ROOT: return root.children.empty() ? nullptr : root.children.front();
      case TVGN_CARET: return selected;
      case TVGN_DROPHILITE: return dropHilite;
      case TVGN_FIRSTVISIBLE: {
        auto v = visible();
        return top < static_cast<int>(v.size()) ? v[static_cast<std::size_t>(top)] : nullptr;
      }
      case TVGN_LASTVISIBLE: {
        auto v = visible();
        return v.empty() ? nullptr : v.back();
      }
      case TVGN_CHILD: {
        Node* p = n ? n : &root;
        return p->children.empty() ? nullptr : p->children.front();
      }
      default: break;
    }
    if (!n) return nullptr;
    switch (code) {
      case TVGN_NEXT: return sibling(n, 1);
      case TVGN_PREVIOUS: return sibling(n, -1);
      case TVGN_PARENT: return n->parent == &root ? nullptr : n->parent;
      case TVGN_NEXTVISIBLE:
      case TVGN_PREVIOUSVISIBLE: {
        auto v = visible();
        auto it = std::find(v.begin(), v.end(), n);
        if (it == v.end()) return nullptr;
        if (code == TVGN_NEXTVISIBLE) return it + 1 == v.end() ? nullptr : *(it + 1);
        return it == v.begin() ? nullptr : *(it - 1);
      }
      default: return nullptr;
    }
  }

  void sortChildren(Node* n, bool recurse) {
    std::stable_sort(n->children.begin(), n->children.end(),
                     [](const Node* a, const Node* b) { return text::compareNoCase(a->text, b->text) < 0; });
    if (recurse)
      for (Node* c : n->children) sortChildren(c, true);
  }

  // The item at a point and where on it (TVHT_*).
  Node* hitTest(int x, int y, UINT* flags) {
    auto v = visible();
    int row = y < 0 ? -1 : top + y / kTreeRowHeight;
    if (row < 0 || row >= static_cast<int>(v.size())) {
      *flags = TVHT_NOWHERE;
      return nullptr;
    }
    Node* n = v[static_cast<std::size_t>(row)];
    int button = buttonLeft(n);
    if (x >= labelRight(n)) *flags = TVHT_ONITEMRIGHT;
    else if (x >= labelLeft(n)) *flags = TVHT_ONITEMLABEL;
    else if (x >= labelLeft(n) - (normalImages ? 16 : 0) && normalImages) *flags = TVHT_ONITEMICON;
    else if (x >= button && hasChildren(n) && (style() & TVS_HASBUTTONS) && (n->parent != &root || (style() & TVS_LINESATROOT)))
      *flags = TVHT_ONITEMBUTTON;
    else *flags = TVHT_ONITEMINDENT;
    return n;
  }

  LRESULT mouse(UINT msg, LPARAM lParam) {
    int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    UINT flags = 0;
    Node* n = hitTest(x, y, &flags);
    switch (msg) {
      case WM_LBUTTONDOWN:
        if (GetFocus() != hwnd) SetFocus(hwnd);
        pressed = n;
        if (!n) return 0;
        if (flags & TVHT_ONITEMBUTTON) expand(n, TVE_TOGGLE, true);
        else if (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON)) select(n, TVC_BYMOUSE);
        return 0;
      case WM_LBUTTONUP: {
        NMHDR hdr{};
        notify(hwnd, hdr, NM_CLICK);
        pressed = nullptr;
        return 0;
      }
      case WM_LBUTTONDBLCLK: {
        NMHDR hdr{};
        if (n && (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON))) select(n, TVC_BYMOUSE);
        // A double click left to the control toggles the item.
        if (!notify(hwnd, hdr, NM_DBLCLK) && n && (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON)))
          expand(n, TVE_TOGGLE, true);
        return 0;
      }
      case WM_RBUTTONUP: {
        NMHDR hdr{};
        notify(hwnd, hdr, NM_RCLICK);
        return 0;
      }
      default: return 0;
    }
  }

  void keyDown(WPARAM vk) {
    Node* n = selected;
    switch (vk) {
      case VK_DOWN: {
        Node* to = n ? next(TVGN_NEXTVISIBLE, n) : next(TVGN_ROOT, nullptr);
        if (to) select(to, TVC_BYKEYBOARD);
        return;
      }
      case VK_UP:
        if (Node* to = n ? next(TVGN_PREVIOUSVISIBLE, n) : nullptr) select(to, TVC_BYKEYBOARD);
        return;
      case VK_RIGHT:
        if (n && !(n->state & TVIS_EXPANDED)) expand(n, TVE_EXPAND, true);
        return;
      case VK_LEFT:
        if (!n) return;
        if (n->state & TVIS_EXPANDED) expand(n, TVE_COLLAPSE, true);
        else if (n->parent != &root) select(n->parent, TVC_BYKEYBOARD);
        return;
      case VK_SPACE:
        if (n && (style() & TVS_CHECKBOXES)) {
          UINT image = (n->state & TVIS_STATEIMAGEMASK) >> 12;
          n->state = (n->state & ~static_cast<UINT>(TVIS_STATEIMAGEMASK)) | (image == 2 ? 0x1000u : 0x2000u);
          InvalidateRect(hwnd, nullptr, FALSE);
        }
        return;
      default: return;
    }
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_DESTROY: removeAll(); return 0;
      case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
      case TVM_INSERTITEMW: return reinterpret_cast<LRESULT>(insert(reinterpret_cast<const TVINSERTSTRUCTW*>(lParam)));
      case TVM_DELETEITEM: {
        auto h = reinterpret_cast<HTREEITEM>(lParam);
        if (!h || h == TVI_ROOT) {
          removeAll();
          return TRUE;
        }
        Node* n = find(h);
        if (!n) return FALSE;
        remove(n, true);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      }
      case TVM_GETNEXTITEM: {
        auto h = reinterpret_cast<HTREEITEM>(lParam);
        Node* n = h && h != TVI_ROOT ? find(h) : nullptr;
        if (h && h != TVI_ROOT && !n) return 0;
        return reinterpret_cast<LRESULT>(handleOf(next(static_cast<UINT>(wParam), n)));
      }
      case TVM_EXPAND: return expand(find(reinterpret_cast<HTREEITEM>(lParam)), static_cast<UINT>(wParam), false);
      case TVM_SELECTITEM: {
        auto h = reinterpret_cast<HTREEITEM>(lParam);
        Node* n = find(h);
        if (h && !n) return FALSE;
        switch (wParam) {
          case TVGN_CARET: return select(n, TVC_UNKNOWN) ? TRUE : FALSE;
          case TVGN_DROPHILITE:
            dropHilite = n;
            InvalidateRect(hwnd, nullptr, FALSE);
            return TRUE;
          case TVGN_FIRSTVISIBLE:
            if (n) {
              ensureVisible(n);
              top = std::max(0, rowOf(n));
            }
            return TRUE;
          default: return FALSE;
        }
      }
      case TVM_GETITEMW: {
        auto* it = reinterpret_cast<TVITEMW*>(lParam);
        Node* n = it ? find(it->hItem) : nullptr;
        if (!n) return FALSE;
        if (it->mask & TVIF_TEXT) copyOut(n->text, it->pszText, it->cchTextMax);
        if (it->mask & TVIF_IMAGE) it->iImage = n->image;
        if (it->mask & TVIF_SELECTEDIMAGE) it->iSelectedImage = n->selectedImage;
        if (it->mask & TVIF_PARAM) it->lParam = n->param;
        if (it->mask & TVIF_CHILDREN) it->cChildren = n->cChildren == kChildrenFromList ? (n->children.empty() ? 0 : 1) : n->cChildren;
        if (it->mask & TVIF_STATE) it->state = (n->state | (n == selected ? TVIS_SELECTED : 0)) & it->stateMask;
        return TRUE;
      }
      case TVM_SETITEMW: {
        auto* it = reinterpret_cast<const TVITEMW*>(lParam);
        Node* n = it ? find(it->hItem) : nullptr;
        if (!n) return FALSE;
        applyItem(*n, *it);
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
      }
      case TVM_GETITEMSTATE: {
        Node* n = find(reinterpret_cast<HTREEITEM>(wParam));
        if (!n) return 0;
        return (n->state | (n == selected ? TVIS_SELECTED : 0)) & static_cast<UINT>(lParam);
      }
      case TVM_GETCOUNT: return static_cast<LRESULT>(nodes.size());
      case TVM_GETVISIBLECOUNT: return rowsPerPage();
      case TVM_SETIMAGELIST: {
        HIMAGELIST& slot = wParam == TVSIL_STATE ? stateImages : normalImages;
        if (wParam != TVSIL_STATE && wParam != TVSIL_NORMAL) return 0;
        HIMAGELIST old = slot;
        slot = reinterpret_cast<HIMAGELIST>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
      }
      case TVM_GETIMAGELIST:
        return reinterpret_cast<LRESULT>(wParam == TVSIL_STATE ? stateImages : wParam == TVSIL_NORMAL ? normalImages : nullptr);
      case TVM_ENSUREVISIBLE: {
        Node* n = find(reinterpret_cast<HTREEITEM>(lParam));
        if (!n) return FALSE;
        ensureVisible(n);
        return TRUE;
      }
      case TVM_SORTCHILDREN: {
        auto h = reinterpret_cast<HTREEITEM>(lParam);
        Node* n = parentFor(h);
        if (!n) return FALSE;
        sortChildren(n, wParam != 0);
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
      }
      case TVM_GETITEMRECT: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        if (!r) return FALSE;
        HTREEITEM h;
        std::memcpy(&h, r, sizeof(h));
        Node* n = find(h);
        int row = n ? rowOf(n) : -1;
        if (row < 0) return FALSE;
        int y = (row - top) * kTreeRowHeight;
        *r = wParam ? RECT{labelLeft(n), y, labelRight(n), y + kTreeRowHeight}
                    : RECT{0, y, clientWidth(hwnd), y + kTreeRowHeight};
        return TRUE;
      }
      case TVM_HITTEST: {
        auto* ht = reinterpret_cast<TVHITTESTINFO*>(lParam);
        if (!ht) return 0;
        ht->hItem = handleOf(hitTest(ht->pt.x, ht->pt.y, &ht->flags));
        return reinterpret_cast<LRESULT>(ht->hItem);
      }
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONUP: return mouse(msg, lParam);
      case WM_KEYDOWN: keyDown(wParam); return 0;
      case WM_PAINT:
        paint(hwnd, 0, [&](HDC hdc) {
          std::vector<classic::TreeRow> rows;
          auto v = visible();
          for (std::size_t k = static_cast<std::size_t>(std::max(top, 0)); k < v.size(); ++k) {
            const Node* n = v[k];
            classic::TreeRow row;
            row.text = n->text;
            row.labelLeft = labelLeft(n);
            row.button = hasChildren(n) && (style() & TVS_HASBUTTONS) &&
                         (n->parent != &root || (style() & TVS_LINESATROOT));
            row.expanded = (n->state & TVIS_EXPANDED) != 0;
            row.selected = n == selected;
            rows.push_back(std::move(row));
          }
          classic::treeView(hdc, hwnd, rows, kTreeRowHeight, kTreeIndent);
        });
        return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK treeViewProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<TreeView>(h, m, w, l); }

}  // namespace platform::controls::detail
