// The "tooltips_class32" class: the tools (a window, or a rectangle of one, with its text) kept
// as data. Nothing pops up; the texts, the active flag, delays and maximum width answer as set.
// A text given as a resource number is loaded from the tool's module when the tool is added.
#include <algorithm>
#include <vector>

#include "platform/win32/controls/control_base.h"
#include "platform/win32/resource.h"

namespace platform::controls::detail {

namespace {

// Windows' default delays follow the double-click time (500 ms).
constexpr int kInitialDelay = 500;
constexpr int kAutoPopDelay = 5000;
constexpr int kReshowDelay = 100;
// What TTM_GETTEXTW copies at most: the record has no buffer size.
constexpr int kGetTextMax = 80;

struct Tool {
  UINT flags = 0;
  HWND window = nullptr;
  UINT_PTR id = 0;
  RECT rect{};
  HINSTANCE module = nullptr;
  std::u16string text;
  bool callback = false;
  LPARAM param = 0;
};

struct Tooltip : ControlState {
  Tooltip(HWND h, const CREATESTRUCTW&) : ControlState(h) {}

  std::vector<Tool> tools;
  bool active = true;
  int maxWidth = -1;
  int delays[4] = {kInitialDelay, kReshowDelay, kAutoPopDelay, kInitialDelay};

  Tool* find(const TOOLINFOW* ti) {
    if (!ti) return nullptr;
    auto it = std::find_if(tools.begin(), tools.end(),
                           [&](const Tool& t) { return t.window == ti->hwnd && t.id == ti->uId; });
    return it == tools.end() ? nullptr : &*it;
  }

  void setText(Tool& t, const TOOLINFOW& ti) {
    t.callback = ti.lpszText == LPSTR_TEXTCALLBACKW;
    if (t.callback || !ti.lpszText) {
      t.text.clear();
    } else if (IS_INTRESOURCE(ti.lpszText)) {
      WCHAR buffer[1024];
      int n = LoadStringW(ti.hinst, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(ti.lpszText)), buffer, 1024);
      t.text.assign(buffer, static_cast<std::size_t>(std::max(0, n)));
    } else {
      t.text = text::view(ti.lpszText);
    }
  }

  void fill(const Tool& t, TOOLINFOW& ti) const {
    ti.uFlags = t.flags;
    ti.hwnd = t.window;
    ti.uId = t.id;
    ti.rect = t.rect;
    ti.hinst = t.module;
    ti.lParam = t.param;
    if (ti.lpszText && !IS_INTRESOURCE(ti.lpszText) && ti.lpszText != LPSTR_TEXTCALLBACKW)
      copyOut(t.text, ti.lpszText, kGetTextMax);
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* ti = reinterpret_cast<TOOLINFOW*>(lParam);
    switch (msg) {
      case TTM_ADDTOOLW: {
        if (!ti) return FALSE;
        Tool t;
        t.flags = ti->uFlags;
        t.window = ti->hwnd;
        t.id = ti->uId;
        t.rect = ti->rect;
        t.module = ti->hinst;
        t.param = ti->lParam;
        setText(t, *ti);
        tools.push_back(std::move(t));
        return TRUE;
      }
      case TTM_DELTOOLW:
        if (Tool* t = find(ti)) tools.erase(tools.begin() + (t - tools.data()));
        return 0;
      case TTM_UPDATETIPTEXTW:
        if (Tool* t = find(ti)) {
          t->module = ti->hinst;
          setText(*t, *ti);
        }
        return 0;
      case TTM_NEWTOOLRECTW:
        if (Tool* t = find(ti)) t->rect = ti->rect;
        return 0;
      case TTM_GETTOOLINFOW:
        if (Tool* t = find(ti)) {
          fill(*t, *ti);
          return TRUE;
        }
        return FALSE;
      case TTM_SETTOOLINFOW:
        if (Tool* t = find(ti)) {
          t->flags = ti->uFlags;
          t->rect = ti->rect;
          t->module = ti->hinst;
          t->param = ti->lParam;
          setText(*t, *ti);
        }
        return 0;
      case TTM_GETTEXTW:
        if (Tool* t = find(ti)) copyOut(t->text, ti->lpszText, kGetTextMax);
        else if (ti && ti->lpszText) ti->lpszText[0] = 0;
        return 0;
      case TTM_GETTOOLCOUNT: return static_cast<LRESULT>(tools.size());
      case TTM_ACTIVATE: active = wParam != 0; return 0;
      case TTM_SETMAXTIPWIDTH: {
        int old = maxWidth;
        maxWidth = static_cast<int>(lParam);
        return old;
      }
      case TTM_GETMAXTIPWIDTH: return maxWidth;
      case TTM_SETDELAYTIME: {
        int v = static_cast<short>(LOWORD(lParam));
        if (wParam == TTDT_AUTOMATIC) {
          int base = v < 0 ? kInitialDelay : v;
          delays[TTDT_INITIAL] = base;
          delays[TTDT_RESHOW] = base / 5;
          delays[TTDT_AUTOPOP] = base * 10;
        } else if (wParam <= TTDT_INITIAL) {
          int defaults[4] = {kInitialDelay, kReshowDelay, kAutoPopDelay, kInitialDelay};
          delays[wParam] = v < 0 ? defaults[wParam] : v;
        }
        return 0;
      }
      case TTM_GETDELAYTIME: return wParam <= TTDT_INITIAL ? delays[wParam] : 0;
      case TTM_RELAYEVENT:
      case TTM_POP: return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK tooltipProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<Tooltip>(h, m, w, l); }

}  // namespace platform::controls::detail
