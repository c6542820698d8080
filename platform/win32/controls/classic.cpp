// The classic drawing of the standard controls (classic.h) over the stand-in's GDI calls, so what
// a control draws is also recorded as any program's drawing is.
#include "platform/win32/controls/classic.h"

#include <algorithm>

#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/dialog.h"

namespace platform::controls::classic {
namespace {

RECT clientOf(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

void fill(HDC hdc, const RECT& r, int sysColor) {
  HBRUSH b = CreateSolidBrush(GetSysColor(sysColor));
  FillRect(hdc, &r, b);
  DeleteObject(b);
}

// Selects the control's font and the text colours for its life.
class TextScope {
 public:
  TextScope(HDC hdc, HWND hwnd, int textColor) : hdc_(hdc) {
    HFONT f = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    if (f) old_ = SelectObject(hdc, f);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(IsWindowEnabled(hwnd) ? textColor : COLOR_GRAYTEXT));
  }
  ~TextScope() {
    if (old_) SelectObject(hdc_, old_);
  }
  TextScope(const TextScope&) = delete;
  TextScope& operator=(const TextScope&) = delete;

 private:
  HDC hdc_;
  HGDIOBJ old_ = nullptr;
};

void text(HDC hdc, const std::u16string& s, RECT r, UINT format) {
  if (s.empty()) return;
  DrawTextW(hdc, s.c_str(), static_cast<int>(s.size()), &r, format);
}

}  // namespace

std::u16string windowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  if (n <= 0) return {};
  std::u16string s(static_cast<std::size_t>(n) + 1, u'\0');
  const int got = GetWindowTextW(hwnd, s.data(), n + 1);
  s.resize(static_cast<std::size_t>(std::max(got, 0)));
  return s;
}

void pushButton(HDC hdc, HWND hwnd, bool pushed, bool isDefault, bool focused) {
  RECT r = clientOf(hwnd);
  RECT face = r;
  if (isDefault) {
    // The default button's extra black frame.
    HBRUSH black = CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME));
    FrameRect(hdc, &r, black);
    DeleteObject(black);
    InflateRect(&face, -1, -1);
  }
  DrawFrameControl(hdc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  TextScope scope(hdc, hwnd, COLOR_BTNTEXT);
  RECT t = face;
  if (pushed) OffsetRect(&t, 1, 1);
  text(hdc, windowText(hwnd), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (focused) {
    RECT f = face;
    InflateRect(&f, -4, -4);
    DrawFocusRect(hdc, &f);
  }
}

void checkBox(HDC hdc, HWND hwnd, int kind, UINT check, bool pushed) {
  RECT r = clientOf(hwnd);
  UINT state = kind == 1 ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
  if (check == BST_CHECKED) state |= DFCS_CHECKED;
  if (check == BST_INDETERMINATE) state |= DFCS_CHECKED | DFCS_BUTTON3STATE;
  if (pushed) state |= DFCS_PUSHED;
  if (!IsWindowEnabled(hwnd)) state |= DFCS_INACTIVE;
  RECT box = r;
  box.right = std::min<LONG>(r.right, r.left + 13);
  DrawFrameControl(hdc, &box, DFC_BUTTON, state);
  TextScope scope(hdc, hwnd, COLOR_BTNTEXT);
  RECT t{r.left + 13 + 4, r.top, r.right, r.bottom};
  text(hdc, windowText(hwnd), t, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void groupBox(HDC hdc, HWND hwnd) {
  RECT r = clientOf(hwnd);
  const std::u16string label = windowText(hwnd);
  TextScope scope(hdc, hwnd, COLOR_BTNTEXT);
  TEXTMETRICW tm{};
  GetTextMetricsW(hdc, &tm);
  RECT frame = r;
  frame.top += tm.tmHeight / 2;
  DrawEdge(hdc, &frame, EDGE_ETCHED, BF_RECT);
  if (label.empty()) return;
  SIZE size{};
  GetTextExtentPoint32W(hdc, label.c_str(), static_cast<int>(label.size()), &size);
  RECT t{r.left + 8, r.top, r.left + 8 + size.cx + 4, r.top + tm.tmHeight};
  fill(hdc, t, COLOR_BTNFACE);
  OffsetRect(&t, 2, 0);
  text(hdc, label, t, DT_LEFT | DT_TOP | DT_SINGLELINE);
}

void staticText(HDC hdc, HWND hwnd, DWORD style) {
  const DWORD kind = style & SS_TYPEMASK;
  RECT r = clientOf(hwnd);
  switch (kind) {
    case SS_ETCHEDHORZ: {
      RECT line{r.left, r.top, r.right, r.top + 2};
      DrawEdge(hdc, &line, EDGE_ETCHED, BF_TOP);
      return;
    }
    case SS_ETCHEDFRAME: DrawEdge(hdc, &r, EDGE_ETCHED, BF_RECT); return;
    case SS_BLACKFRAME:
    case SS_GRAYFRAME:
    case SS_WHITEFRAME: {
      HBRUSH b = CreateSolidBrush(GetSysColor(kind == SS_BLACKFRAME ? COLOR_WINDOWFRAME
                                              : kind == SS_GRAYFRAME ? COLOR_BTNSHADOW
                                                                     : COLOR_WINDOW));
      FrameRect(hdc, &r, b);
      DeleteObject(b);
      return;
    }
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_LEFTNOWORDWRAP:
    case SS_SIMPLE: break;
    default: return;  // icons, bitmaps and owner-drawn statics draw elsewhere
  }
  UINT format = DT_WORDBREAK | DT_EXPANDTABS;
  if (kind == SS_CENTER) format |= DT_CENTER;
  if (kind == SS_RIGHT) format |= DT_RIGHT;
  if (kind == SS_LEFTNOWORDWRAP || kind == SS_SIMPLE) format = DT_SINGLELINE | DT_LEFT;
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if (style & SS_CENTERIMAGE) format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
  TextScope scope(hdc, hwnd, COLOR_BTNTEXT);
  text(hdc, windowText(hwnd), r, format);
}

void edit(HDC hdc, HWND hwnd, const std::u16string& value, WCHAR passwordChar) {
  RECT r = clientOf(hwnd);
  const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
  const DWORD ex = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
  const bool grey = (style & ES_READONLY) || !IsWindowEnabled(hwnd);
  if (ex & WS_EX_CLIENTEDGE) {
    DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  } else if (style & WS_BORDER) {
    HBRUSH b = CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME));
    FrameRect(hdc, &r, b);
    DeleteObject(b);
    InflateRect(&r, -1, -1);
  }
  fill(hdc, r, grey ? COLOR_BTNFACE : COLOR_WINDOW);
  TextScope scope(hdc, hwnd, COLOR_WINDOWTEXT);
  std::u16string shown = passwordChar ? std::u16string(value.size(), passwordChar) : value;
  RECT t = r;
  InflateRect(&t, -2, -1);
  UINT format = DT_NOPREFIX | DT_EXPANDTABS;
  if (!(style & ES_MULTILINE)) format |= DT_SINGLELINE;
  else format |= DT_WORDBREAK;
  if (style & ES_CENTER) format |= DT_CENTER;
  if (style & ES_RIGHT) format |= DT_RIGHT;
  text(hdc, shown, t, format);
}

void listBox(HDC hdc, HWND hwnd, const Rows& rows, bool border) {
  RECT r = clientOf(hwnd);
  if (border) DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  fill(hdc, r, COLOR_WINDOW);
  TextScope scope(hdc, hwnd, COLOR_WINDOWTEXT);
  int y = r.top + rows.firstY;
  for (std::size_t i = static_cast<std::size_t>(std::max(rows.top, 0)); i < rows.texts.size() && y < r.bottom; ++i) {
    RECT row{r.left, y, r.right, y + rows.rowHeight};
    const bool sel = i < rows.selected.size() && rows.selected[i];
    if (sel) fill(hdc, row, COLOR_HIGHLIGHT);
    SetTextColor(hdc, GetSysColor(sel ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT t = row;
    t.left += 2;
    text(hdc, rows.texts[i], t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    y += rows.rowHeight;
  }
}

RECT comboField(HWND hwnd) {
  RECT r = clientOf(hwnd);
  const TEXTMETRICW tm = platform::gdi::fontMetrics(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
  return RECT{r.left, r.top, r.right, std::min<LONG>(r.bottom, r.top + tm.tmHeight + 8)};
}

void comboBox(HDC hdc, HWND hwnd, const std::u16string& current) {
  TextScope scope(hdc, hwnd, COLOR_WINDOWTEXT);
  // The field is as high as the closed control, whatever the list's height.
  RECT field = comboField(hwnd);
  DrawEdge(hdc, &field, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  fill(hdc, field, IsWindowEnabled(hwnd) ? COLOR_WINDOW : COLOR_BTNFACE);
  RECT arrow{std::max<LONG>(field.left, field.right - 16), field.top, field.right, field.bottom};
  DrawFrameControl(hdc, &arrow, DFC_SCROLL, 0);
  RECT t{field.left + 2, field.top, arrow.left, field.bottom};
  text(hdc, current, t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void progressBar(HDC hdc, HWND hwnd, int low, int high, int pos) {
  RECT r = clientOf(hwnd);
  DrawEdge(hdc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  fill(hdc, r, COLOR_BTNFACE);
  if (high <= low) return;
  const int span = std::clamp(pos, low, high) - low;
  const LONG width = r.right - r.left - 2;
  const LONG filled = static_cast<LONG>(static_cast<long long>(width) * span / (high - low));
  // Classic blocks: two thirds of the height wide, two pixels apart.
  const LONG block = std::max<LONG>(2, (r.bottom - r.top) * 2 / 3);
  for (LONG x = 0; x < filled; x += block + 2) {
    RECT b{r.left + 1 + x, r.top + 1, r.left + 1 + std::min(x + block, filled), r.bottom - 1};
    fill(hdc, b, COLOR_HIGHLIGHT);
  }
}

void tabs(HDC hdc, HWND hwnd, const std::vector<std::u16string>& labels, int selected) {
  RECT r = clientOf(hwnd);
  TextScope scope(hdc, hwnd, COLOR_BTNTEXT);
  TEXTMETRICW tm{};
  GetTextMetricsW(hdc, &tm);
  const LONG headerHeight = tm.tmHeight + 6;
  RECT panel{r.left, r.top + headerHeight, r.right, r.bottom};
  DrawEdge(hdc, &panel, EDGE_RAISED, BF_RECT);
  LONG x = r.left + 2;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    SIZE size{};
    GetTextExtentPoint32W(hdc, labels[i].c_str(), static_cast<int>(labels[i].size()), &size);
    const bool sel = static_cast<int>(i) == selected;
    RECT tab{x, r.top + (sel ? 0 : 2), x + size.cx + 12, r.top + headerHeight + (sel ? 1 : 0)};
    fill(hdc, tab, COLOR_BTNFACE);
    DrawEdge(hdc, &tab, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT);
    text(hdc, labels[i], tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    x = tab.right;
  }
}

void listView(HDC hdc, HWND hwnd, const Report& report) {
  RECT r = clientOf(hwnd);
  const DWORD ex = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
  if ((ex & WS_EX_CLIENTEDGE) || (GetWindowLongW(hwnd, GWL_STYLE) & WS_BORDER))
    DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  fill(hdc, r, COLOR_WINDOW);
  TextScope scope(hdc, hwnd, COLOR_BTNTEXT);
  LONG x = r.left;
  if (report.headerHeight > 0) {
    for (std::size_t c = 0; c < report.headers.size() && c < report.widths.size(); ++c) {
      RECT h{x, r.top, x + report.widths[c], r.top + report.headerHeight};
      DrawFrameControl(hdc, &h, DFC_BUTTON, DFCS_BUTTONPUSH);
      RECT t = h;
      InflateRect(&t, -4, 0);
      text(hdc, report.headers[c], t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      x = h.right;
    }
  }
  int y = r.top + report.headerHeight;
  for (std::size_t i = static_cast<std::size_t>(std::max(report.top, 0)); i < report.cells.size() && y < r.bottom; ++i) {
    const bool sel = i < report.selected.size() && report.selected[i];
    SetTextColor(hdc, GetSysColor(sel ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    LONG cx = r.left;
    const auto& row = report.cells[i];
    for (std::size_t c = 0; c < row.size(); ++c) {
      const int width = c < report.widths.size() ? report.widths[c] : (c == 0 ? r.right - r.left : 0);
      RECT cell{cx, y, cx + width, y + report.rowHeight};
      if (sel && c == 0) fill(hdc, cell, COLOR_HIGHLIGHT);
      RECT t = cell;
      InflateRect(&t, -4, 0);
      text(hdc, row[c], t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      cx = cell.right;
      if (c == 0 && sel) SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
    }
    y += report.rowHeight;
  }
}

void treeView(HDC hdc, HWND hwnd, const std::vector<TreeRow>& rows, int rowHeight, int indent) {
  RECT r = clientOf(hwnd);
  const DWORD ex = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
  if ((ex & WS_EX_CLIENTEDGE) || (GetWindowLongW(hwnd, GWL_STYLE) & WS_BORDER))
    DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  fill(hdc, r, COLOR_WINDOW);
  TextScope scope(hdc, hwnd, COLOR_WINDOWTEXT);
  HBRUSH shadow = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
  HBRUSH ink = CreateSolidBrush(GetSysColor(COLOR_WINDOWTEXT));
  int y = r.top;
  for (const TreeRow& row : rows) {
    if (y >= r.bottom) break;
    if (row.button) {
      // The 9 x 9 box with its plus or minus, centred in the indent before the label.
      const LONG bx = r.left + row.labelLeft - indent + (indent - 9) / 2;
      const LONG by = y + (rowHeight - 9) / 2;
      RECT box{bx, by, bx + 9, by + 9};
      FrameRect(hdc, &box, shadow);
      RECT minus{bx + 2, by + 4, bx + 7, by + 5};
      FillRect(hdc, &minus, ink);
      if (!row.expanded) {
        RECT plus{bx + 4, by + 2, bx + 5, by + 7};
        FillRect(hdc, &plus, ink);
      }
    }
    SIZE size{};
    GetTextExtentPoint32W(hdc, row.text.c_str(), static_cast<int>(row.text.size()), &size);
    RECT label{r.left + row.labelLeft, y, r.left + row.labelLeft + size.cx + 4, y + rowHeight};
    if (row.selected) fill(hdc, label, COLOR_HIGHLIGHT);
    SetTextColor(hdc, GetSysColor(row.selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT t = label;
    t.left += 2;
    text(hdc, row.text, t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    y += rowHeight;
  }
  DeleteObject(shadow);
  DeleteObject(ink);
}

}  // namespace platform::controls::classic
