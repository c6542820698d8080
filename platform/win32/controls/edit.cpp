// The "Edit" class: single- and multi-line text with a selection, a length limit (30,000 by
// default), password masking, digits-only, read-only and case-folding styles. Typed characters,
// EM_REPLACESEL and WM_SETTEXT send the parent EN_UPDATE then EN_CHANGE (WM_SETTEXT on a
// multi-line edit sends EN_UPDATE only, as Windows does); a character refused for the limit sends
// EN_MAXTEXT. Lines of a multi-line edit end in CR LF.
#include <algorithm>
#include <vector>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"

namespace platform::controls::detail {

namespace {

constexpr UINT kDefaultLimit = 30000;
constexpr UINT kNoLimitSingle = 0x7FFFFFFE;
constexpr UINT kNoLimitMulti = 0xFFFFFFFF;
constexpr WCHAR kDefaultPasswordChar = u'*';
constexpr WPARAM kVkHome = 0x24;
constexpr WPARAM kVkEnd = 0x23;

struct Edit : ControlState {
  Edit(HWND h, const CREATESTRUCTW& cs) : ControlState(h) {
    if (cs.style & ES_PASSWORD) passwordChar = kDefaultPasswordChar;
    if (cs.lpszName && !IS_INTRESOURCE(cs.lpszName)) text = text::view(cs.lpszName);
  }

  std::u16string text;
  std::size_t anchor = 0;
  std::size_t caret = 0;
  UINT limit = kDefaultLimit;
  WCHAR passwordChar = 0;
  bool modified = false;

  bool multiline() const { return (style() & ES_MULTILINE) != 0; }
  std::size_t selStart() const { return std::min(anchor, caret); }
  std::size_t selEnd() const { return std::max(anchor, caret); }

  // Start offsets of the lines (a multi-line edit splits at CR LF).
  std::vector<std::size_t> lineStarts() const {
    std::vector<std::size_t> starts{0};
    if (!multiline()) return starts;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
      if (text[i] == u'\r' && text[i + 1] == u'\n') starts.push_back(i + 2);
    return starts;
  }
  std::size_t lineOf(std::size_t pos) const {
    auto starts = lineStarts();
    return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin()) - 1;
  }
  std::u16string_view line(std::size_t index) const {
    auto starts = lineStarts();
    if (index >= starts.size()) return {};
    std::size_t begin = starts[index];
    std::size_t end = index + 1 < starts.size() ? starts[index + 1] - 2 : text.size();
    return std::u16string_view(text).substr(begin, end - begin);
  }

  void storeText() {
    // The window text (seen by GetWindowTextW, also from other processes) follows the contents.
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(hwnd, nullptr, TRUE);
  }

  void changed(bool sendChange = true) {
    notifyCommand(hwnd, EN_UPDATE);
    if (sendChange) notifyCommand(hwnd, EN_CHANGE);
  }

  // Replaces the selection with `s`, cut to the limit (EN_MAXTEXT when cut); false when nothing
  // changed. Marks the contents modified.
  bool replaceSelection(std::u16string_view s) {
    std::size_t keep = text.size() - (selEnd() - selStart());
    std::size_t room = keep >= limit ? 0 : limit - keep;
    bool cut = s.size() > room;
    if (cut) {
      s = s.substr(0, room);
      // Never split a CR LF pair.
      if (!s.empty() && s.back() == u'\r') s.remove_suffix(1);
    }
    if (cut) notifyCommand(hwnd, EN_MAXTEXT);
    if (s.empty() && selStart() == selEnd()) return false;
    text.replace(selStart(), selEnd() - selStart(), s);
    anchor = caret = selStart() + s.size();
    modified = true;
    storeText();
    changed();
    return true;
  }

  WCHAR fold(WCHAR c) const {
    if (style() & ES_UPPERCASE) return text::upcase(c);
    if ((style() & ES_LOWERCASE) && c >= u'A' && c <= u'Z') return static_cast<WCHAR>(c - u'A' + u'a');
    return c;
  }

  void typeChar(WCHAR c) {
    if (style() & ES_READONLY) return;
    if (c == VK_BACK) {
      if (selStart() == selEnd()) {
        if (caret == 0) return;
        std::size_t back = (multiline() && caret >= 2 && text[caret - 2] == u'\r' && text[caret - 1] == u'\n') ? 2 : 1;
        anchor = caret - back;
      }
      replaceSelection(u"");
      return;
    }
    if (c == u'\r') {
      if (multiline()) replaceSelection(u"\r\n");
      return;
    }
    if (c < 0x20 && !(c == u'\t' && multiline())) return;  // control keys (copy, paste, ...) do nothing here
    if ((style() & ES_NUMBER) && !(c >= u'0' && c <= u'9')) return;
    WCHAR folded = fold(c);
    replaceSelection(std::u16string_view(&folded, 1));
  }

  void key(WPARAM vk) {
    switch (vk) {
      case VK_DELETE:
        if (style() & ES_READONLY) return;
        if (selStart() == selEnd()) {
          if (caret >= text.size()) return;
          std::size_t n = (multiline() && caret + 1 < text.size() && text[caret] == u'\r' && text[caret + 1] == u'\n') ? 2 : 1;
          caret += n;
        }
        replaceSelection(u"");
        return;
      case VK_LEFT: if (caret > 0) --caret; anchor = caret; return;
      case VK_RIGHT: if (caret < text.size()) ++caret; anchor = caret; return;
      case kVkHome: anchor = caret = 0; return;
      case kVkEnd: anchor = caret = text.size(); return;
      default: return;
    }
  }

  void setSel(LONG_PTR start, LONG_PTR end) {
    const auto n = static_cast<LONG_PTR>(text.size());
    if (start == -1) {
      anchor = caret;  // deselects, keeping the caret
      return;
    }
    if (start < 0 || start > n) start = n;
    if (end < 0 || end > n) end = n;
    anchor = static_cast<std::size_t>(start);
    caret = static_cast<std::size_t>(end);
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_NCCREATE: {
        LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        storeText();
        return r;
      }
      case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | (multiline() ? DLGC_WANTALLKEYS : 0);
      case WM_SETTEXT:
        text = textOf(lParam);
        anchor = caret = 0;
        modified = false;
        storeText();
        changed(!multiline());
        return TRUE;
      case WM_CHAR: typeChar(static_cast<WCHAR>(wParam)); return 0;
      case WM_KEYDOWN: key(wParam); return 0;
      case WM_CLEAR:
        if (!(style() & ES_READONLY) && selStart() != selEnd()) replaceSelection(u"");
        return 0;
      case EM_GETSEL: {
        auto s = static_cast<DWORD>(selStart()), e = static_cast<DWORD>(selEnd());
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = s;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = e;
        return MAKELRESULT(std::min<DWORD>(s, 0xFFFF), std::min<DWORD>(e, 0xFFFF));
      }
      case EM_SETSEL: setSel(static_cast<LONG_PTR>(static_cast<int>(wParam)), static_cast<int>(lParam)); return 0;
      case EM_REPLACESEL: replaceSelection(text::view(reinterpret_cast<LPCWSTR>(lParam))); return 0;
      case EM_GETMODIFY: return modified ? TRUE : FALSE;
      case EM_SETMODIFY: modified = wParam != 0; return 0;
      case EM_LIMITTEXT:
        limit = wParam ? static_cast<UINT>(wParam) : (multiline() ? kNoLimitMulti : kNoLimitSingle);
        return 0;
      case EM_GETLIMITTEXT: return static_cast<LRESULT>(limit);
      case EM_SETPASSWORDCHAR: {
        if (multiline()) return 0;
        passwordChar = static_cast<WCHAR>(wParam);
        LONG_PTR s = GetWindowLongPtrW(hwnd, GWL_STYLE);
        SetWindowLongPtrW(hwnd, GWL_STYLE, passwordChar ? (s | ES_PASSWORD) : (s & ~static_cast<LONG_PTR>(ES_PASSWORD)));
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      }
      case EM_GETPASSWORDCHAR: return passwordChar;
      case EM_SETREADONLY: {
        LONG_PTR s = GetWindowLongPtrW(hwnd, GWL_STYLE);
        SetWindowLongPtrW(hwnd, GWL_STYLE, wParam ? (s | ES_READONLY) : (s & ~static_cast<LONG_PTR>(ES_READONLY)));
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      }
      case EM_GETLINECOUNT: return static_cast<LRESULT>(lineStarts().size());
      case EM_LINEINDEX: {
        auto starts = lineStarts();
        auto index = static_cast<int>(wParam);
        std::size_t l = index < 0 ? lineOf(caret) : static_cast<std::size_t>(index);
        return l < starts.size() ? static_cast<LRESULT>(starts[l]) : -1;
      }
      case EM_LINEFROMCHAR: {
        auto pos = static_cast<int>(wParam);
        return static_cast<LRESULT>(lineOf(pos < 0 ? caret : std::min<std::size_t>(pos, text.size())));
      }
      case EM_LINELENGTH: {
        if (!multiline()) return static_cast<LRESULT>(text.size());
        auto pos = static_cast<int>(wParam);
        if (pos < 0) return static_cast<LRESULT>(line(lineOf(caret)).size() - (selEnd() - selStart()));
        if (static_cast<std::size_t>(pos) > text.size()) return 0;
        return static_cast<LRESULT>(line(lineOf(static_cast<std::size_t>(pos))).size());
      }
      case EM_GETLINE: {
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer) return 0;
        WORD max = *reinterpret_cast<const WORD*>(buffer);
        std::u16string_view l = multiline() ? line(wParam) : std::u16string_view(text);
        if (multiline() && wParam >= lineStarts().size()) return 0;
        std::size_t n = std::min<std::size_t>(l.size(), max);
        std::copy_n(l.data(), n, buffer);  // no terminating NUL, as Windows
        return static_cast<LRESULT>(n);
      }
      case EM_CANUNDO: return FALSE;
      case EM_EMPTYUNDOBUFFER: return 0;
      case EM_GETFIRSTVISIBLELINE: return 0;
      case WM_SETFOCUS: notifyCommand(hwnd, EN_SETFOCUS); return 0;
      case WM_KILLFOCUS: notifyCommand(hwnd, EN_KILLFOCUS); return 0;
      case WM_LBUTTONDOWN:
        if (GetFocus() != hwnd) SetFocus(hwnd);
        return 0;
      case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
      case WM_PAINT: {
        bool grey = (style() & ES_READONLY) || !IsWindowEnabled(hwnd);
        paint(hwnd, grey ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
              [&](HDC hdc) { classic::edit(hdc, hwnd, text, passwordChar); });
        return 0;
      }
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK editProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<Edit>(h, m, w, l); }

}  // namespace platform::controls::detail
