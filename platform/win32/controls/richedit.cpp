// The rich-edit classes over the edit control: the rich-edit messages are turned into edit
// messages, and the event mask decides which change notifications reach the parent. See
// richedit.h.
#include "platform/win32/controls/richedit.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/error.h"

namespace platform::controls {

namespace {

constexpr LRESULT kDefaultLimit = 32767;
constexpr LRESULT kDefaultExLimit = 65536;  // EM_EXLIMITTEXT with 0

struct RichState {
  DWORD eventMask = ENM_NONE;
  COLORREF background = 0;
  bool systemBackground = true;
};

std::mutex g_mutex;
std::unordered_map<HWND, RichState> g_states;

// Runs `f` on the control's state under the lock; false for a window that is not a rich edit.
template <class F>
bool withState(HWND hwnd, F f) {
  std::lock_guard lock(g_mutex);
  auto it = g_states.find(hwnd);
  if (it == g_states.end()) return false;
  f(it->second);
  return true;
}

LRESULT CALLBACK richEditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE: {
      {
        std::lock_guard lock(g_mutex);
        g_states[hwnd] = RichState{};
      }
      const LRESULT r = detail::editProc(hwnd, msg, wParam, lParam);
      if (r) detail::editProc(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(kDefaultLimit), 0);
      return r;
    }
    case WM_NCDESTROY: {
      const LRESULT r = detail::editProc(hwnd, msg, wParam, lParam);
      std::lock_guard lock(g_mutex);
      g_states.erase(hwnd);
      return r;
    }
    case EM_EXGETSEL: {
      DWORD start = 0, end = 0;
      detail::editProc(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
      if (auto* range = reinterpret_cast<CHARRANGE*>(lParam)) *range = CHARRANGE{static_cast<LONG>(start), static_cast<LONG>(end)};
      return 0;
    }
    case EM_EXSETSEL: {
      const auto* range = reinterpret_cast<const CHARRANGE*>(lParam);
      if (!range) return 0;
      detail::editProc(hwnd, EM_SETSEL, static_cast<WPARAM>(range->cpMin), range->cpMax);
      DWORD start = 0, end = 0;
      detail::editProc(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
      return static_cast<LRESULT>(end);
    }
    case EM_EXLIMITTEXT:
      detail::editProc(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(lParam ? lParam : kDefaultExLimit), 0);
      return 0;
    case EM_GETTEXTLENGTHEX: {
      const auto* how = reinterpret_cast<const GETTEXTLENGTHEX*>(wParam);
      if (!how || ((how->flags & GTL_NUMCHARS) && (how->flags & GTL_NUMBYTES))) return E_INVALIDARG;
      const LRESULT chars = detail::editProc(hwnd, WM_GETTEXTLENGTH, 0, 0);
      // Bytes of wide text are two per character; an 8-bit count is at most that.
      return (how->flags & GTL_NUMBYTES) && how->codepage == 1200 ? chars * 2 : chars;
    }
    case EM_GETEVENTMASK: {
      DWORD mask = 0;
      withState(hwnd, [&](RichState& s) { mask = s.eventMask; });
      return static_cast<LRESULT>(mask);
    }
    case EM_SETEVENTMASK: {
      DWORD old = 0;
      withState(hwnd, [&](RichState& s) {
        old = s.eventMask;
        s.eventMask = static_cast<DWORD>(lParam);
      });
      return static_cast<LRESULT>(old);
    }
    case EM_SETBKGNDCOLOR: {
      COLORREF old = 0;
      withState(hwnd, [&](RichState& s) {
        old = s.systemBackground ? GetSysColor(COLOR_WINDOW) : s.background;
        s.systemBackground = wParam != 0;
        s.background = static_cast<COLORREF>(lParam);
      });
      InvalidateRect(hwnd, nullptr, TRUE);
      return static_cast<LRESULT>(old);
    }
    default: return detail::editProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

bool registerRichEditClasses(int version) {
  if (version != 1 && version != 2) return false;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const DWORD saved = GetLastError();
  const std::vector<const char16_t*> names =
      version == 1 ? std::vector<const char16_t*>{RICHEDIT_CLASS10W} : std::vector<const char16_t*>{RICHEDIT_CLASSW, u"RichEdit20A"};
  for (const char16_t* name : names) {
    WNDCLASSW existing;
    if (GetClassInfoW(nullptr, name, &existing)) continue;
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = richEditProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
  }
  SetLastError(saved);
  return true;
}

namespace detail {

bool richEditWants(HWND control, int code) {
  if (code != EN_CHANGE && code != EN_UPDATE) return true;
  bool wanted = true;
  withState(control, [&](RichState& s) { wanted = (s.eventMask & (code == EN_CHANGE ? ENM_CHANGE : ENM_UPDATE)) != 0; });
  return wanted;
}

}  // namespace detail
}  // namespace platform::controls
