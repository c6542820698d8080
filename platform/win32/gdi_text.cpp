// Text output and layout: TextOut, ExtTextOut and DrawText (line breaking, prefixes, tabs,
// alignment, ellipses and measurement) on the fixed font metrics of gdi.h. Each character is
// drawn as a glyph of a real font (DejaVu Sans, rendered by the drawing helper) centred in the
// cell the fixed metrics give it, so measurement stays the same everywhere; when the font or the
// helper is missing, a character is a filled cell.
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/host/helper_library.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/render_engine.h"
#include "platform/win32/window.h"

namespace platform::gdi::detail {

namespace {

bool blank(char16_t c) { return c == u' ' || c < 0x20 || c == 0x3000 || c == 0xA0; }

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kBoldFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
// Coverage from which a glyph's pixel is inked (the classic look has no smoothing).
constexpr std::uint8_t kInkCoverage = 96;

platform::helper::Helper<render::Engine> renderLibrary("libkipo_render.so", "kipoRenderEngine");

// Glyphs by character, pixel height and weight; nullopt for one the font cannot give. Used
// under the drawing lock.
const std::optional<render::Glyph>& glyphOf(char16_t c, int pixelHeight, bool bold) {
  static std::map<std::tuple<char16_t, int, bool>, std::optional<render::Glyph>> cache;
  auto key = std::make_tuple(c, pixelHeight, bold);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  std::optional<render::Glyph> g;
  DWORD error = 0;
  if (const render::Engine* engine = renderLibrary.get(error)) {
    render::Glyph out;
    if (engine->glyph(bold ? kBoldFontFile : kFontFile, c, pixelHeight, out)) g = std::move(out);
  }
  return cache.emplace(key, std::move(g)).first->second;
}

// Inks glyph g in the cell [cellX, cellX + cellWidth) with its baseline at `baseline`.
void drawGlyph(Target& t, const render::Glyph& g, int cellX, int cellWidth, int baseline, std::uint32_t ink) {
  const int penX = cellX + (cellWidth - g.advance) / 2;
  for (int row = 0; row < g.rows; ++row) {
    const int y = baseline - g.top + row;
    for (int col = 0; col < g.width; ++col) {
      if (g.coverage[static_cast<std::size_t>(row * g.width + col)] < kInkCoverage) continue;
      const int x = penX + g.left + col;
      if (x < cellX || x >= cellX + cellWidth) continue;  // a glyph never leaves its cell
      fillRect(t, RECT{x, y, x + 1, y + 1}, ink);
    }
  }
}

}  // namespace

int drawTextCells(Dc& dc, Target& t, int x, int y, std::u16string_view s, const FontMetrics& m,
                  const RECT* clipDevice) {
  const int width = widthOf(m, s);
  Target clipped = t;
  if (clipDevice) {
    RECT c = *clipDevice;
    OffsetRect(&c, t.offset.x, t.offset.y);
    std::vector<RECT> keep;
    for (const RECT& r : t.clip) {
      RECT i;
      if (IntersectRect(&i, &r, &c)) keep.push_back(i);
    }
    clipped.clip = std::move(keep);
  }
  if (dc.state.bkMode == OPAQUE) fillRect(clipped, RECT{x, y, x + width, y + m.height}, pixelOf(dc.state.bkColor));
  const std::uint32_t ink = pixelOf(dc.state.textColor);
  const LOGFONTW& lf = fontOfDc(dc);
  int cx = x;
  const bool bold = lf.lfWeight >= FW_BOLD;
  for (char16_t c : s) {
    int w = charWidth(m, c);
    if (!blank(c) && w > 2) {
      if (const auto& g = glyphOf(c, m.ascent, bold)) drawGlyph(clipped, *g, cx, w, y + m.ascent, ink);
      else fillRect(clipped, RECT{cx + 1, y + m.internalLeading, cx + w - 1, y + m.ascent}, ink);
    }
    cx += w;
  }
  if (lf.lfUnderline) fillRect(clipped, RECT{x, y + m.ascent, x + width, y + m.ascent + 1}, ink);
  if (lf.lfStrikeOut) {
    int mid = y + m.internalLeading + (m.ascent - m.internalLeading) / 2;
    fillRect(clipped, RECT{x, mid, x + width, mid + 1}, ink);
  }
  return width;
}

}  // namespace platform::gdi::detail

using namespace platform::gdi::detail;
using Guard = std::lock_guard<std::recursive_mutex>;

namespace {

std::u16string_view textOf(LPCWSTR s, int c) {
  if (!s) return {};
  if (c < 0) return platform::text::view(s);
  return std::u16string_view(s, static_cast<std::size_t>(c));
}

// The top-left corner of text `width` wide drawn at (x, y) under the DC's text alignment; with
// TA_UPDATECP the DC's current position is used and moved past the text.
POINT placeText(Dc& dc, int x, int y, int width, const FontMetrics& m) {
  const UINT align = dc.state.textAlign;
  if (align & TA_UPDATECP) {
    x = dc.state.position.x;
    y = dc.state.position.y;
  }
  int left = x;
  if ((align & TA_CENTER) == TA_CENTER) left = x - width / 2;
  else if (align & TA_RIGHT) left = x - width;
  int top = y;
  if ((align & TA_BASELINE) == TA_BASELINE) top = y - m.ascent;
  else if (align & TA_BOTTOM) top = y - m.height;
  if (align & TA_UPDATECP) dc.state.position.x = left + width;
  return POINT{left, top};
}

}  // namespace

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c, const INT* lpDx) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !targetOf(*dc, t)) return FALSE;
  std::u16string_view s = lpString ? std::u16string_view(lpString, c) : std::u16string_view();
  FontMetrics m = metricsOf(fontOfDc(*dc));
  int width = 0;
  if (lpDx)
    for (UINT i = 0; i < s.size(); ++i) width += lpDx[i];
  else
    width = widthOf(m, s);
  auto [left, top] = placeText(*dc, x, y, width, m);

  RECT rectDevice{};
  if (lprect) rectDevice = toDevice(*dc, *lprect);
  RECT textDevice = toDevice(*dc, RECT{left, top, left + width, top + m.height});
  const bool fill = lprect && (options & ETO_OPAQUE);
  RECT recorded = s.empty() && lprect ? rectDevice : textDevice;
  platform::gdi::detail::record(*dc, hdc, "ExtTextOutW", recorded, s, s.empty() ? dc->state.bkColor : dc->state.textColor);
  if (fill) fillRect(t, rectDevice, pixelOf(dc->state.bkColor));
  if (s.empty()) return TRUE;
  // The rectangle's own fill stands in for the cells' background.
  int savedMode = dc->state.bkMode;
  if (fill) dc->state.bkMode = TRANSPARENT;
  const RECT* clip = (lprect && (options & ETO_CLIPPED)) ? &rectDevice : nullptr;
  if (lpDx) {
    int cx = textDevice.left;
    for (UINT i = 0; i < s.size(); ++i) {
      drawTextCells(*dc, t, cx, textDevice.top, s.substr(i, 1), m, clip);
      cx += lpDx[i];
    }
  } else {
    drawTextCells(*dc, t, textDevice.left, textDevice.top, s, m, clip);
  }
  dc->state.bkMode = savedMode;
  return TRUE;
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  if (c < 0 || (c > 0 && !lpString)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !targetOf(*dc, t)) return FALSE;
  std::u16string_view s = textOf(lpString, c);
  FontMetrics m = metricsOf(fontOfDc(*dc));
  const int width = widthOf(m, s);
  auto [left, top] = placeText(*dc, x, y, width, m);
  RECT d = toDevice(*dc, RECT{left, top, left + width, top + m.height});
  record(*dc, hdc, "TextOutW", d, s, dc->state.textColor);
  drawTextCells(*dc, t, d.left, d.top, s, m, nullptr);
  return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  if (c < 0 || (c > 0 && !lpString)) return FALSE;
  std::u16string w = platform::text::ansiToWide(std::string_view(lpString ? lpString : "", static_cast<std::size_t>(c)));
  return TextOutW(hdc, x, y, w.c_str(), static_cast<int>(w.size()));
}

// ---- DrawText ----

namespace {

constexpr std::u16string_view kDots = u"...";

struct Layout {
  const FontMetrics* m = nullptr;
  int tabWidth = 0;  // 0: tabs are ordinary characters
};

int lineWidth(const Layout& l, std::u16string_view s) {
  if (!l.tabWidth) return widthOf(*l.m, s);
  int x = 0;
  for (char16_t c : s) {
    if (c == u'\t') x = (x / l.tabWidth + 1) * l.tabWidth;
    else x += charWidth(*l.m, c);
  }
  return x;
}

// "&x" shows x and "&&" shows "&"; a lone "&" at the end shows nothing.
std::u16string stripPrefixes(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size()) out.push_back(s[++i]);
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

std::vector<std::u16string> hardLines(std::u16string_view s, bool single) {
  std::vector<std::u16string> lines;
  if (single) {
    lines.emplace_back(s);
    return lines;
  }
  std::u16string cur;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'\r' || c == u'\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ++i;
      continue;
    }
    cur.push_back(c);
  }
  lines.push_back(cur);
  return lines;
}

// Greedy breaking at spaces; the spaces at a break are dropped. A word too wide for a line of
// its own stays whole unless `breakWords`.
void wrap(const Layout& l, const std::u16string& line, int width, bool breakWords, std::vector<std::u16string>& out) {
  const std::u16string_view sv(line);
  const std::size_t n = line.size();
  if (n == 0) {
    out.emplace_back();
    return;
  }
  std::size_t pos = 0;
  while (pos < n) {
    std::size_t end = pos, i = pos;
    for (;;) {
      std::size_t ws = i;
      while (ws < n && line[ws] == u' ') ++ws;
      if (ws == n) break;
      std::size_t we = ws;
      while (we < n && line[we] != u' ') ++we;
      const int w = lineWidth(l, sv.substr(pos, we - pos));
      if (end == pos) {
        if (w > width && breakWords) {
          std::size_t k = ws + 1;
          while (k < we && lineWidth(l, sv.substr(pos, k + 1 - pos)) <= width) ++k;
          end = k;
          break;
        }
        end = i = we;
        if (w > width) break;
        continue;
      }
      if (w > width) break;
      end = i = we;
    }
    out.push_back(line.substr(pos, end - pos));
    pos = end;
    while (pos < n && line[pos] == u' ') ++pos;
  }
}

std::u16string endEllipsis(const Layout& l, std::u16string_view s, int width, bool byWord) {
  if (lineWidth(l, s) <= width) return std::u16string(s);
  std::size_t n = s.size();
  if (byWord) {
    std::size_t cut = s.find_last_of(u' ', n ? n - 1 : 0);
    while (cut != std::u16string_view::npos && cut > 0) {
      std::u16string t = std::u16string(s.substr(0, cut)) + std::u16string(kDots);
      if (lineWidth(l, t) <= width) return t;
      cut = s.find_last_of(u' ', cut - 1);
    }
  }
  while (n > 0 && lineWidth(l, std::u16string(s.substr(0, n)) + std::u16string(kDots)) > width) --n;
  if (n > 0) return std::u16string(s.substr(0, n)) + std::u16string(kDots);
  std::size_t d = kDots.size();
  while (d > 0 && lineWidth(l, kDots.substr(0, d)) > width) --d;
  return std::u16string(kDots.substr(0, d));
}

// Keeps the last path element and cuts the folders before it.
std::u16string pathEllipsis(const Layout& l, std::u16string_view s, int width) {
  if (lineWidth(l, s) <= width) return std::u16string(s);
  std::size_t cut = s.find_last_of(u'\\');
  if (cut == std::u16string_view::npos || cut == 0) return endEllipsis(l, s, width, false);
  std::u16string last(s.substr(cut));
  std::u16string_view head = s.substr(0, cut);
  std::size_t n = head.size();
  while (n > 0 && lineWidth(l, std::u16string(head.substr(0, n)) + std::u16string(kDots) + last) > width) --n;
  std::u16string t = std::u16string(head.substr(0, n)) + std::u16string(kDots) + last;
  if (lineWidth(l, t) <= width) return t;
  return endEllipsis(l, std::u16string(kDots) + last, width, false);
}

// Draws one line, expanding tabs into gaps.
void drawLine(Dc& dc, Target& t, const Layout& l, int x, int y, std::u16string_view s, const RECT* clip) {
  if (!l.tabWidth) {
    drawTextCells(dc, t, x, y, s, *l.m, clip);
    return;
  }
  int cx = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && s[i] != u'\t') continue;
    std::u16string_view part = s.substr(start, i - start);
    drawTextCells(dc, t, x + cx, y, part, *l.m, clip);
    cx += widthOf(*l.m, part);
    if (i < s.size()) cx = (cx / l.tabWidth + 1) * l.tabWidth;
    start = i + 1;
  }
}

int drawText(HDC hdc, std::u16string_view text, LPRECT lprc, UINT format, int tabChars, int leftMargin,
             int rightMargin, LPWSTR modifiable, int capacity) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc || !lprc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (format & DT_TABSTOP) {
    tabChars = static_cast<int>((format >> 8) & 0xFF);
    format &= ~static_cast<UINT>(0xFF00);
  }
  FontMetrics m = metricsOf(fontOfDc(*dc));
  Layout l{&m, (format & DT_EXPANDTABS) ? std::max(1, tabChars) * m.charWidth : 0};
  RECT area = *lprc;
  area.left += leftMargin;
  area.right -= rightMargin;
  const int width = area.right - area.left;
  const bool single = format & DT_SINGLELINE;

  std::u16string shown = (format & DT_NOPREFIX) ? std::u16string(text) : stripPrefixes(text);
  std::vector<std::u16string> lines;
  for (const std::u16string& hard : hardLines(shown, single)) {
    if ((format & DT_WORDBREAK) && !single) wrap(l, hard, width, format & DT_EDITCONTROL, lines);
    else lines.push_back(hard);
  }
  if (text.empty()) lines.clear();
  if (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS)) {
    for (std::u16string& line : lines) {
      if (format & DT_PATH_ELLIPSIS) line = pathEllipsis(l, line, width);
      else if (single || !(format & DT_WORDBREAK)) line = endEllipsis(l, line, width, format & DT_WORD_ELLIPSIS);
    }
    // The cut text goes back to the caller only where it fits in the caller's buffer.
    if ((format & DT_MODIFYSTRING) && modifiable && lines.size() == 1 && static_cast<int>(lines[0].size()) < capacity) {
      std::copy(lines[0].begin(), lines[0].end(), modifiable);
      modifiable[lines[0].size()] = 0;
    }
  }
  const int lineHeight = m.height;
  const int total = static_cast<int>(lines.size()) * lineHeight;
  int maxWidth = 0;
  for (const std::u16string& line : lines) maxWidth = std::max(maxWidth, lineWidth(l, line));

  if (format & DT_CALCRECT) {
    lprc->right = lprc->left + leftMargin + maxWidth + rightMargin;
    lprc->bottom = lprc->top + total;
    return total;
  }
  int y0 = area.top;
  if (single && lines.size() == 1) {
    if (format & DT_VCENTER) y0 = area.top + (area.bottom - area.top - lineHeight) / 2;
    else if (format & DT_BOTTOM) y0 = area.bottom - lineHeight;
  }
  Target t;
  if (!targetOf(*dc, t)) return 0;
  RECT deviceArea = toDevice(*dc, area);
  platform::gdi::detail::record(*dc, hdc, "DrawTextW", deviceArea, text, dc->state.textColor);
  const RECT* clip = (format & DT_NOCLIP) ? nullptr : &deviceArea;
  int y = y0;
  for (const std::u16string& line : lines) {
    int w = lineWidth(l, line);
    int x = area.left;
    if (format & DT_CENTER) x = area.left + (width - w) / 2;
    else if (format & DT_RIGHT) x = area.right - w;
    POINT o = dc->state.viewportOrg;
    drawLine(*dc, t, l, x + o.x, y + o.y, line, clip);
    y += lineHeight;
  }
  return (y0 - lprc->top) + total;
}

}  // namespace

int DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  if (!lpchText && cchText != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string_view s = textOf(lpchText, cchText);
  int capacity = cchText < 0 ? static_cast<int>(s.size()) + 1 : 0;
  return drawText(hdc, s, lprc, format, 8, 0, 0, const_cast<LPWSTR>(lpchText), capacity);
}

int DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  if (!lpchText && cchText != 0) return 0;
  std::string_view a = cchText < 0 ? std::string_view(lpchText ? lpchText : "")
                                   : std::string_view(lpchText, static_cast<std::size_t>(cchText));
  std::u16string w = platform::text::ansiToWide(a);
  return drawText(hdc, w, lprc, format & ~static_cast<UINT>(DT_MODIFYSTRING), 8, 0, 0, nullptr, 0);
}

int DrawTextExW(HDC hdc, LPWSTR lpchText, int cchText, LPRECT lprc, UINT format, LPDRAWTEXTPARAMS lpdtp) {
  if (!lpchText && cchText != 0) return 0;
  if (lpdtp && lpdtp->cbSize != sizeof(DRAWTEXTPARAMS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string_view s = textOf(lpchText, cchText);
  int tab = lpdtp && lpdtp->iTabLength > 0 ? lpdtp->iTabLength : 8;
  int capacity = cchText < 0 ? static_cast<int>(s.size()) + 1 : 0;
  int r = drawText(hdc, s, lprc, format, tab, lpdtp ? lpdtp->iLeftMargin : 0, lpdtp ? lpdtp->iRightMargin : 0,
                   lpchText, capacity);
  if (lpdtp) lpdtp->uiLengthDrawn = static_cast<UINT>(s.size());
  return r;
}
