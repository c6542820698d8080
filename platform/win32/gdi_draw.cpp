// Drawing: where a DC's pixels land (window, screen, bitmap) and what they may touch, raster
// operations and blits, rectangles, lines and shapes, frames and edges.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/window.h"

namespace platform::gdi::detail {

namespace {

RECT intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) return RECT{0, 0, 0, 0};
  return r;
}

bool empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

void clipTo(std::vector<RECT>& clip, const std::vector<RECT>& by) {
  std::vector<RECT> out;
  for (const RECT& a : clip)
    for (const RECT& b : by) {
      RECT r = intersect(a, b);
      if (!empty(r)) out.push_back(r);
    }
  clip = std::move(out);
}

void clipTo(std::vector<RECT>& clip, const RECT& r) { clipTo(clip, std::vector<RECT>{r}); }

std::vector<RECT> offsetAll(std::vector<RECT> rs, POINT by) {
  for (RECT& r : rs) OffsetRect(&r, by.x, by.y);
  return rs;
}

}  // namespace

bool sourceOf(Dc& dc, Target& t) {
  t = Target{};
  if (dc.kind == DcKind::Memory) {
    t.surface = dc.bitmap->bitmap->surface.get();
  } else {
    t.surface = dc.screen.get();
    if (dc.kind == DcKind::Window) {
      RECT wr{0, 0, 0, 0};
      if (!GetWindowRect(dc.hwnd, &wr)) return false;
      t.offset = POINT{wr.left, wr.top};
    }
  }
  if (!t.surface) return false;
  t.clip.push_back(RECT{0, 0, t.surface->width, t.surface->height});
  return true;
}

bool targetOf(Dc& dc, Target& t) {
  if (!sourceOf(dc, t)) return false;
  if (dc.kind == DcKind::Window) {
    // Visible windows only, within the window, its ancestors and its window region.
    if (!IsWindowVisible(dc.hwnd)) {
      t.clip.clear();
      return true;
    }
    RECT wr{0, 0, 0, 0};
    GetWindowRect(dc.hwnd, &wr);
    clipTo(t.clip, wr);
    HWND desktop = GetDesktopWindow();
    for (HWND a = GetAncestor(dc.hwnd, GA_PARENT); a && a != desktop; a = GetAncestor(a, GA_PARENT)) {
      RECT ar{0, 0, 0, 0};
      if (!GetWindowRect(a, &ar)) break;
      clipTo(t.clip, ar);
    }
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    std::vector<RECT> shapeRects;
    if (GetWindowRgn(dc.hwnd, shape) != ERROR && regionRects(shape, shapeRects))
      clipTo(t.clip, offsetAll(shapeRects, t.offset));
    DeleteObject(shape);
    if (dc.paintRect) clipTo(t.clip, offsetAll({*dc.paintRect}, t.offset));
  }
  if (dc.state.clip) clipTo(t.clip, offsetAll(*dc.state.clip, t.offset));
  return true;
}

namespace {

std::uint32_t rop2Apply(int rop2, std::uint32_t pen, std::uint32_t d) {
  switch (rop2) {
    case R2_BLACK: return 0;
    case R2_WHITE: return 0xFFFFFF;
    case R2_NOT: return ~d & 0xFFFFFF;
    case R2_XORPEN: return (pen ^ d) & 0xFFFFFF;
    default: return pen;
  }
}

}  // namespace

void fillRect(Target& t, RECT device, std::uint32_t pixel, int rop2) {
  OffsetRect(&device, t.offset.x, t.offset.y);
  for (const RECT& c : t.clip) {
    RECT r = intersect(c, device);
    if (empty(r)) continue;
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x)
        t.surface->set(x, y, rop2 == R2_COPYPEN ? pixel : rop2Apply(rop2, pixel, t.surface->get(x, y)));
  }
}

namespace {

// The brush's pixel at a device point; false where a hatched brush leaves the background
// alone (transparent mode).
bool brushPixel(const Dc& dc, const Object& brush, int x, int y, std::uint32_t& out) {
  switch (brush.brush.lbStyle) {
    case BS_SOLID: out = pixelOf(brush.brush.lbColor); return true;
    case BS_PATTERN: {
      const Surface& p = *brush.pattern;
      if (p.width == 0 || p.height == 0) return false;
      int px = ((x - dc.state.brushOrg.x) % p.width + p.width) % p.width;
      int py = ((y - dc.state.brushOrg.y) % p.height + p.height) % p.height;
      out = p.get(px, py);
      return true;
    }
    case BS_HATCHED: {
      int hx = ((x - dc.state.brushOrg.x) % 8 + 8) % 8, hy = ((y - dc.state.brushOrg.y) % 8 + 8) % 8;
      bool on = false;
      switch (brush.brush.lbHatch) {
        case HS_HORIZONTAL: on = hy == 7; break;
        case HS_VERTICAL: on = hx == 7; break;
        case HS_FDIAGONAL: on = hx == hy; break;
        case HS_BDIAGONAL: on = hx == 7 - hy; break;
        case HS_CROSS: on = hx == 7 || hy == 7; break;
        default: on = hx == hy || hx == 7 - hy; break;
      }
      if (on) {
        out = pixelOf(brush.brush.lbColor);
        return true;
      }
      if (dc.state.bkMode == OPAQUE) {
        out = pixelOf(dc.state.bkColor);
        return true;
      }
      return false;
    }
    default: return false;
  }
}

bool isDcBrush(const Dc& dc) { return dc.state.brushHandle == GetStockObject(DC_BRUSH); }

}  // namespace

void fillWithBrush(Dc& dc, Target& t, RECT device, const Object& brush) {
  if (brush.brush.lbStyle == BS_NULL) return;
  if (brush.brush.lbStyle == BS_SOLID) {
    COLORREF c = (&brush == dc.state.brush.get() && isDcBrush(dc)) ? dc.state.dcBrushColor : brush.brush.lbColor;
    fillRect(t, device, pixelOf(c));
    return;
  }
  RECT s = device;
  OffsetRect(&s, t.offset.x, t.offset.y);
  for (const RECT& c : t.clip) {
    RECT r = intersect(c, s);
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) {
        std::uint32_t v;
        if (brushPixel(dc, brush, x - t.offset.x, y - t.offset.y, v)) t.surface->set(x, y, v);
      }
  }
}

}  // namespace platform::gdi::detail

using namespace platform::gdi::detail;
using Guard = std::lock_guard<std::recursive_mutex>;

namespace {

RECT normalized(int l, int t, int r, int b) {
  return RECT{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
}

bool usesSource(DWORD rop) {
  BYTE code = static_cast<BYTE>(rop >> 16);
  return ((code >> 2) & 0x33) != (code & 0x33);
}
bool usesPattern(DWORD rop) {
  BYTE code = static_cast<BYTE>(rop >> 16);
  return ((code >> 4) & 0x0F) != (code & 0x0F);
}

// A ternary raster operation on 24-bit values: bit i of the code is the result for
// pattern, source and destination bits (P << 2) | (S << 1) | D.
std::uint32_t rop3(BYTE code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  switch (code) {
    case 0xCC: return s;
    case 0xF0: return p;
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFF;
    case 0x55: return ~d & 0xFFFFFF;
    case 0xEE: return s | d;
    case 0x88: return s & d;
    case 0x66: return s ^ d;
    case 0x5A: return p ^ d;
    case 0x33: return ~s & 0xFFFFFF;
    default: break;
  }
  std::uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((code >> i) & 1)) continue;
    std::uint32_t term = ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    r |= term;
  }
  return r & 0xFFFFFF;
}

std::uint32_t patternAt(Dc& dc, int x, int y) {
  std::uint32_t v = 0;
  if (dc.state.brush && !brushPixel(dc, *dc.state.brush, x, y, v)) v = pixelOf(dc.state.bkColor);
  if (dc.state.brush && dc.state.brush->brush.lbStyle == BS_SOLID && isDcBrush(dc)) v = pixelOf(dc.state.dcBrushColor);
  return v;
}

// The source pixels of a blit, copied out first so that a blit within one surface (scrolling)
// reads what was there before.
struct SourceBlock {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::vector<BYTE> present;
  bool at(int x, int y, std::uint32_t& v) const {
    if (x < left || y < top || x >= left + width || y >= top + height) return false;
    std::size_t i = static_cast<std::size_t>(y - top) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x - left);
    if (!present[i]) return false;
    v = pixels[i];
    return true;
  }
};

SourceBlock readSource(const Target& src, RECT device) {
  SourceBlock b;
  b.left = device.left;
  b.top = device.top;
  b.width = std::max<LONG>(0, device.right - device.left);
  b.height = std::max<LONG>(0, device.bottom - device.top);
  b.pixels.assign(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height), 0);
  b.present.assign(b.pixels.size(), 0);
  const Surface& s = *src.surface;
  for (int y = 0; y < b.height; ++y) {
    int sy = b.top + y + src.offset.y;
    if (sy < 0 || sy >= s.height) continue;
    for (int x = 0; x < b.width; ++x) {
      int sx = b.left + x + src.offset.x;
      if (sx < 0 || sx >= s.width) continue;
      std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width) + static_cast<std::size_t>(x);
      b.pixels[i] = s.get(sx, sy);
      b.present[i] = 1;
    }
  }
  return b;
}

// Destination pixels of `dest` (device rectangle) through the target's clip.
template <class F>
void eachDestPixel(Target& t, RECT device, F f) {
  RECT s = device;
  OffsetRect(&s, t.offset.x, t.offset.y);
  for (const RECT& c : t.clip) {
    RECT r{std::max(c.left, s.left), std::max(c.top, s.top), std::min(c.right, s.right), std::min(c.bottom, s.bottom)};
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) f(x, y, x - t.offset.x, y - t.offset.y);
  }
}

BOOL stretch(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
             int hSrc, DWORD rop, const char* call, bool transparentKey = false, COLORREF key = 0) {
  Guard g(lock());
  Dc* dst = liveDc(hdcDest);
  if (!dst) return FALSE;
  const bool needSource = usesSource(rop) || transparentKey;
  Dc* src = nullptr;
  if (needSource) {
    src = liveDc(hdcSrc);
    if (!src) return FALSE;
  }
  Target dt, st;
  if (!targetOf(*dst, dt)) return FALSE;
  if (src && !sourceOf(*src, st)) return FALSE;
  // A negative extent runs leftwards (upwards) from the origin pixel, which it includes.
  auto span = [](int origin, int extent) {
    return extent < 0 ? std::pair<int, int>{origin + extent + 1, origin + 1} : std::pair<int, int>{origin, origin + extent};
  };
  auto [dl, dr] = span(xDest, wDest);
  auto [dtop, dbottom] = span(yDest, hDest);
  RECT destDevice = toDevice(*dst, RECT{dl, dtop, dr, dbottom});
  record(*dst, hdcDest, call, destDevice);
  if (wDest == 0 || hDest == 0 || (needSource && (wSrc == 0 || hSrc == 0))) return TRUE;
  const BYTE code = static_cast<BYTE>(rop >> 16);
  const bool pattern = usesPattern(rop);
  const int dw = std::abs(wDest), dh = std::abs(hDest);
  const int sw = needSource ? std::abs(wSrc) : dw, sh = needSource ? std::abs(hSrc) : dh;
  const bool mirrorX = needSource && ((wDest < 0) != (wSrc < 0));
  const bool mirrorY = needSource && ((hDest < 0) != (hSrc < 0));
  // The common case (a capture, a bitmap drawn at its size) copies whole rows.
  if (src && code == 0xCC && !transparentKey && !mirrorX && !mirrorY && sw == dw && sh == dh &&
      st.surface->bytesPerPixel == 4 && dt.surface->bytesPerPixel == 4 && !dt.surface->mono) {
    const POINT so{span(xSrc, wSrc).first + src->state.viewportOrg.x + st.offset.x,
                   span(ySrc, hSrc).first + src->state.viewportOrg.y + st.offset.y};
    const LONG shiftX = so.x - (destDevice.left + dt.offset.x), shiftY = so.y - (destDevice.top + dt.offset.y);
    RECT d = destDevice;
    OffsetRect(&d, dt.offset.x, dt.offset.y);
    for (const RECT& c : dt.clip) {
      RECT r{std::max(c.left, d.left), std::max(c.top, d.top), std::min(c.right, d.right), std::min(c.bottom, d.bottom)};
      // Source pixels outside the source leave the destination alone.
      r.left = std::max<LONG>(r.left, -shiftX);
      r.right = std::min<LONG>(r.right, st.surface->width - shiftX);
      r.top = std::max<LONG>(r.top, -shiftY);
      r.bottom = std::min<LONG>(r.bottom, st.surface->height - shiftY);
      if (r.right <= r.left || r.bottom <= r.top) continue;
      const std::size_t bytes = static_cast<std::size_t>(r.right - r.left) * 4;
      // Within one surface, rows go in the order that reads each before it is overwritten.
      const bool upwards = st.surface == dt.surface && shiftY < 0;
      for (LONG i = 0; i < r.bottom - r.top; ++i) {
        LONG y = upwards ? r.bottom - 1 - i : r.top + i;
        BYTE* to = dt.surface->top + y * dt.surface->rowBytes + r.left * 4;
        const BYTE* from = st.surface->top + (y + shiftY) * st.surface->rowBytes + (r.left + shiftX) * 4;
        std::memmove(to, from, bytes);
      }
    }
    return TRUE;
  }
  SourceBlock block;
  if (src) {
    POINT so{span(xSrc, wSrc).first + src->state.viewportOrg.x, span(ySrc, hSrc).first + src->state.viewportOrg.y};
    block = readSource(st, RECT{so.x, so.y, so.x + sw, so.y + sh});
  }
  const int mode = dst->state.stretchMode;
  const std::uint32_t keyPixel = pixelOf(key);
  eachDestPixel(dt, destDevice, [&](LONG sx, LONG sy, LONG devX, LONG devY) {
    int dx = devX - destDevice.left, dy = devY - destDevice.top;
    if (mirrorX) dx = dw - 1 - dx;
    if (mirrorY) dy = dh - 1 - dy;
    std::uint32_t s = 0;
    if (src) {
      // The source span this destination pixel covers: one pixel when growing, several when
      // shrinking, combined by the stretch mode.
      int x0 = static_cast<int>(static_cast<long long>(dx) * sw / dw);
      int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long long>(dx + 1) * sw / dw));
      int y0 = static_cast<int>(static_cast<long long>(dy) * sh / dh);
      int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(dy + 1) * sh / dh));
      if (sw == dw && sh == dh) {
        x1 = x0 + 1;
        y1 = y0 + 1;
      }
      bool any = false;
      unsigned long long sumR = 0, sumG = 0, sumB = 0, n = 0;
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
          std::uint32_t v;
          if (!block.at(block.left + x, block.top + y, v)) continue;
          if (!any) {
            s = v;
            any = true;
          } else if (mode == BLACKONWHITE) {
            s &= v;
          } else if (mode == WHITEONBLACK) {
            s |= v;
          }
          sumR += (v >> 16) & 0xFF;
          sumG += (v >> 8) & 0xFF;
          sumB += v & 0xFF;
          ++n;
          if (mode == COLORONCOLOR || transparentKey) y = y1, x = x1;
        }
      if (!any) return;
      if (mode == HALFTONE && n > 1 && !transparentKey)
        s = static_cast<std::uint32_t>(((sumR / n) << 16) | ((sumG / n) << 8) | (sumB / n));
      if (transparentKey && s == keyPixel) return;
    }
    std::uint32_t d = dt.surface->get(sx, sy);
    std::uint32_t p = pattern ? patternAt(*dst, devX, devY) : 0;
    dt.surface->set(sx, sy, transparentKey ? s : rop3(code, p, s, d));
  });
  return TRUE;
}

}  // namespace

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  return stretch(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop & 0x00FFFFFF, "BitBlt");
}

BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
                int hSrc, DWORD rop) {
  return stretch(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, rop & 0x00FFFFFF, "StretchBlt");
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  if (usesSource(rop)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return stretch(hdc, x, y, w, h, nullptr, 0, 0, w, h, rop, "PatBlt");
}

BOOL TransparentBlt(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc, int xoriginSrc,
                    int yoriginSrc, int wSrc, int hSrc, UINT crTransparent) {
  if (wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0) return FALSE;
  return stretch(hdcDest, xoriginDest, yoriginDest, wDest, hDest, hdcSrc, xoriginSrc, yoriginSrc, wSrc, hSrc, SRCCOPY,
                 "TransparentBlt", true, crTransparent);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !targetOf(*dc, t)) return CLR_INVALID;
  if (dc->kind != DcKind::Window) t.clip = {RECT{0, 0, t.surface->width, t.surface->height}};
  POINT p{x + dc->state.viewportOrg.x + t.offset.x, y + dc->state.viewportOrg.y + t.offset.y};
  for (const RECT& c : t.clip)
    if (PtInRect(&c, p)) return colorOf(t.surface->get(p.x, p.y));
  return CLR_INVALID;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !targetOf(*dc, t)) return CLR_INVALID;
  RECT r = toDevice(*dc, RECT{x, y, x + 1, y + 1});
  record(*dc, hdc, "SetPixel", r, {}, color & 0xFFFFFF);
  POINT p{r.left + t.offset.x, r.top + t.offset.y};
  for (const RECT& c : t.clip)
    if (PtInRect(&c, p)) {
      t.surface->set(p.x, p.y, pixelOf(color));
      return colorOf(t.surface->get(p.x, p.y));
    }
  return CLR_INVALID;
}

// ---- Rectangles and shapes ----

namespace {

struct PenInfo {
  bool visible = false;
  int width = 1;
  std::uint32_t pixel = 0;
};

PenInfo penOf(const Dc& dc) {
  PenInfo p;
  if (!dc.state.pen || dc.state.pen->pen.lopnStyle == PS_NULL) return p;
  p.visible = true;
  p.width = std::max<LONG>(1, dc.state.pen->pen.lopnWidth.x);
  COLORREF c = dc.state.penHandle == GetStockObject(DC_PEN) ? dc.state.dcPenColor : dc.state.pen->pen.lopnColor;
  p.pixel = pixelOf(c);
  return p;
}

COLORREF brushColorOf(const Dc& dc) {
  if (!dc.state.brush || dc.state.brush->brush.lbStyle == BS_NULL) return CLR_INVALID;
  if (isDcBrush(dc)) return dc.state.dcBrushColor;
  return dc.state.brush->brush.lbColor;
}

// Fills a set of device rectangles with the pen colour (raster op ROP2).
void penRects(Dc& dc, Target& t, const std::vector<RECT>& rs, const PenInfo& pen) {
  for (const RECT& r : rs) fillRect(t, r, pen.pixel, dc.state.rop2);
}

std::vector<RECT> rgnRects(HRGN h) {
  std::vector<RECT> out;
  regionRects(h, out);
  return out;
}

// A shape given as a region: its inside in the brush, a band of the pen's width along its edge
// in the pen.
BOOL drawShape(HDC hdc, const char* call, RECT logical, HRGN (*make)(const RECT&, int, int), int ew, int eh) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !targetOf(*dc, t)) return FALSE;
  RECT d = toDevice(*dc, logical);
  record(*dc, hdc, call, d, {}, brushColorOf(*dc));
  PenInfo pen = penOf(*dc);
  HRGN outer = make(d, ew, eh);
  int w = pen.visible ? pen.width : 0;
  RECT inset{d.left + w, d.top + w, d.right - w, d.bottom - w};
  HRGN inner = make(inset, std::max(0, ew - 2 * w), std::max(0, eh - 2 * w));
  if (dc->state.brush) {
    for (const RECT& r : rgnRects(pen.visible ? inner : outer)) fillWithBrush(*dc, t, r, *dc->state.brush);
  }
  if (pen.visible) {
    HRGN band = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(band, outer, inner, RGN_DIFF);
    penRects(*dc, t, rgnRects(band), pen);
    DeleteObject(band);
  }
  DeleteObject(outer);
  DeleteObject(inner);
  return TRUE;
}

HRGN rectRegion(const RECT& r, int, int) {
  return r.right > r.left && r.bottom > r.top ? CreateRectRgnIndirect(&r) : CreateRectRgn(0, 0, 0, 0);
}
HRGN ellipseRegion(const RECT& r, int, int) {
  return r.right > r.left && r.bottom > r.top ? CreateEllipticRgn(r.left, r.top, r.right, r.bottom)
                                              : CreateRectRgn(0, 0, 0, 0);
}
HRGN roundRegion(const RECT& r, int w, int h) {
  return r.right > r.left && r.bottom > r.top ? CreateRoundRectRgn(r.left, r.top, r.right, r.bottom, w, h)
                                              : CreateRectRgn(0, 0, 0, 0);
}

void plotLine(Dc& dc, Target& t, POINT a, POINT b, const PenInfo& pen, bool last) {
  int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
  int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  int err = dx + dy;
  POINT p = a;
  const int half = (pen.width - 1) / 2;
  for (;;) {
    bool atEnd = p.x == b.x && p.y == b.y;
    if (atEnd && !last) break;
    fillRect(t, RECT{p.x - half, p.y - half, p.x - half + pen.width, p.y - half + pen.width}, pen.pixel,
             dc.state.rop2);
    if (atEnd) break;
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      p.x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      p.y += sy;
    }
  }
}

}  // namespace

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  return drawShape(hdc, "Rectangle", normalized(left, top, right, bottom), rectRegion, 0, 0);
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  return drawShape(hdc, "Ellipse", normalized(left, top, right, bottom), ellipseRegion, 0, 0);
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  return drawShape(hdc, "RoundRect", normalized(left, top, right, bottom), roundRegion, width, height);
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->state.position;
  dc->state.position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !targetOf(*dc, t)) return FALSE;
  POINT a = dc->state.position, b{x, y};
  RECT d = toDevice(*dc, normalized(a.x, a.y, b.x + 1, b.y + 1));
  PenInfo pen = penOf(*dc);
  record(*dc, hdc, "LineTo", d, {}, pen.visible ? colorOf(pen.pixel) : CLR_INVALID);
  if (pen.visible) {
    POINT o = dc->state.viewportOrg;
    plotLine(*dc, t, POINT{a.x + o.x, a.y + o.y}, POINT{b.x + o.x, b.y + o.y}, pen, false);
  }
  dc->state.position = b;
  return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* apt, int cpt) {
  if (!apt || cpt < 2) return FALSE;
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return FALSE;
  POINT saved = dc->state.position;
  MoveToEx(hdc, apt[0].x, apt[0].y, nullptr);
  for (int i = 1; i < cpt; ++i) LineTo(hdc, apt[i].x, apt[i].y);
  dc->state.position = saved;
  return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* apt, int cpt) {
  if (!apt || cpt < 2) return FALSE;
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !targetOf(*dc, t)) return FALSE;
  LONG minY = apt[0].y, maxY = apt[0].y, minX = apt[0].x, maxX = apt[0].x;
  for (int i = 1; i < cpt; ++i) {
    minY = std::min(minY, apt[i].y);
    maxY = std::max(maxY, apt[i].y);
    minX = std::min(minX, apt[i].x);
    maxX = std::max(maxX, apt[i].x);
  }
  record(*dc, hdc, "Polygon", toDevice(*dc, RECT{minX, minY, maxX + 1, maxY + 1}), {}, brushColorOf(*dc));
  // The inside by even-odd scan lines through pixel centres.
  if (dc->state.brush) {
    for (LONG y = minY; y <= maxY; ++y) {
      double cy = y + 0.5;
      std::vector<double> xs;
      for (int i = 0; i < cpt; ++i) {
        POINT a = apt[i], b = apt[(i + 1) % cpt];
        if ((a.y <= cy) == (b.y <= cy)) continue;
        xs.push_back(a.x + (cy - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y));
      }
      std::sort(xs.begin(), xs.end());
      for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
        LONG x0 = static_cast<LONG>(xs[k] + 0.5), x1 = static_cast<LONG>(xs[k + 1] + 0.5);
        if (x1 > x0) fillWithBrush(*dc, t, toDevice(*dc, RECT{x0, y, x1, y + 1}), *dc->state.brush);
      }
    }
  }
  PenInfo pen = penOf(*dc);
  if (pen.visible) {
    POINT o = dc->state.viewportOrg;
    for (int i = 0; i < cpt; ++i) {
      POINT a = apt[i], b = apt[(i + 1) % cpt];
      plotLine(*dc, t, POINT{a.x + o.x, a.y + o.y}, POINT{b.x + o.x, b.y + o.y}, pen, false);
    }
  }
  return TRUE;
}

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  Guard g(lock());
  Dc* dc = liveDc(hDC);
  Target t;
  if (!dc || !lprc || !targetOf(*dc, t)) return 0;
  auto brush = brushFor(hbr);
  if (!brush) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  RECT d = toDevice(*dc, *lprc);
  record(*dc, hDC, "FillRect", d, {}, brush->brush.lbStyle == BS_NULL ? CLR_INVALID : brush->brush.lbColor);
  fillWithBrush(*dc, t, d, *brush);
  return 1;
}

int FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  Guard g(lock());
  Dc* dc = liveDc(hDC);
  Target t;
  if (!dc || !lprc || !targetOf(*dc, t)) return 0;
  auto brush = brushFor(hbr);
  if (!brush) return 0;
  RECT d = toDevice(*dc, *lprc);
  record(*dc, hDC, "FrameRect", d, {}, brush->brush.lbColor);
  if (d.right <= d.left || d.bottom <= d.top) return 1;
  for (RECT edge : {RECT{d.left, d.top, d.right, d.top + 1}, RECT{d.left, d.bottom - 1, d.right, d.bottom},
                    RECT{d.left, d.top, d.left + 1, d.bottom}, RECT{d.right - 1, d.top, d.right, d.bottom}})
    fillWithBrush(*dc, t, edge, *brush);
  return 1;
}

BOOL InvertRect(HDC hDC, const RECT* lprc) {
  if (!lprc) return FALSE;
  return stretch(hDC, lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top, nullptr, 0, 0, 0, 0,
                 DSTINVERT, "InvertRect");
}

BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  std::vector<RECT> rs;
  if (!dc || !targetOf(*dc, t) || !regionRects(hrgn, rs)) return FALSE;
  auto brush = brushFor(hbr);
  if (!brush) return FALSE;
  RECT box{0, 0, 0, 0};
  GetRgnBox(hrgn, &box);
  record(*dc, hdc, "FillRgn", box, {}, brush->brush.lbColor);
  for (const RECT& r : rs) fillWithBrush(*dc, t, r, *brush);
  return TRUE;
}

BOOL PaintRgn(HDC hdc, HRGN hrgn) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return FALSE;
  return FillRgn(hdc, hrgn, static_cast<HBRUSH>(dc->state.brushHandle));
}

BOOL FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h) {
  Guard g(lock());
  std::vector<RECT> rs;
  if (!regionRects(hrgn, rs)) return FALSE;
  // The band: the region less what stays inside it when moved by the frame's width each way.
  HRGN inner = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(inner, hrgn, nullptr, RGN_COPY);
  HRGN moved = CreateRectRgn(0, 0, 0, 0);
  for (POINT by : {POINT{w, 0}, POINT{-w, 0}, POINT{0, h}, POINT{0, -h}}) {
    CombineRgn(moved, hrgn, nullptr, RGN_COPY);
    OffsetRgn(moved, by.x, by.y);
    CombineRgn(inner, inner, moved, RGN_AND);
  }
  HRGN band = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(band, hrgn, inner, RGN_DIFF);
  BOOL ok = FillRgn(hdc, band, hbr);
  DeleteObject(inner);
  DeleteObject(moved);
  DeleteObject(band);
  return ok;
}

BOOL DrawFocusRect(HDC hDC, const RECT* lprc) {
  Guard g(lock());
  Dc* dc = liveDc(hDC);
  Target t;
  if (!dc || !lprc || !targetOf(*dc, t)) return FALSE;
  RECT d = toDevice(*dc, *lprc);
  record(*dc, hDC, "DrawFocusRect", d);
  // Every other pixel of the frame, inverted.
  auto dot = [&](LONG x, LONG y) {
    if ((x + y) % 2) return;
    fillRect(t, RECT{x, y, x + 1, y + 1}, 0xFFFFFF, R2_XORPEN);
  };
  for (LONG x = d.left; x < d.right; ++x) {
    dot(x, d.top);
    if (d.bottom - 1 > d.top) dot(x, d.bottom - 1);
  }
  for (LONG y = d.top + 1; y < d.bottom - 1; ++y) {
    dot(d.left, y);
    if (d.right - 1 > d.left) dot(d.right - 1, y);
  }
  return TRUE;
}

namespace {

// One pixel wide edge lines: top and left in one colour, bottom and right in the other.
void edgeLines(Target& t, const RECT& d, UINT flags, COLORREF topLeft, COLORREF bottomRight) {
  if (flags & BF_TOP) fillRect(t, RECT{d.left, d.top, d.right, d.top + 1}, pixelOf(topLeft));
  if (flags & BF_LEFT) fillRect(t, RECT{d.left, d.top, d.left + 1, d.bottom}, pixelOf(topLeft));
  if (flags & BF_BOTTOM) fillRect(t, RECT{d.left, d.bottom - 1, d.right, d.bottom}, pixelOf(bottomRight));
  if (flags & BF_RIGHT) fillRect(t, RECT{d.right - 1, d.top, d.right, d.bottom}, pixelOf(bottomRight));
}

void drawEdgeOn(Target& t, RECT& d, UINT edge, UINT flags) {
  if (edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER)) {
    if (edge & BDR_RAISEDOUTER) edgeLines(t, d, flags, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DDKSHADOW));
    else edgeLines(t, d, flags, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
    InflateRect(&d, -1, -1);
  }
  if (edge & (BDR_RAISEDINNER | BDR_SUNKENINNER)) {
    if (edge & BDR_RAISEDINNER) edgeLines(t, d, flags, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
    else edgeLines(t, d, flags, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT));
    InflateRect(&d, -1, -1);
  }
  if (flags & BF_MIDDLE) fillRect(t, d, pixelOf(GetSysColor(COLOR_BTNFACE)));
}

}  // namespace

BOOL DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !qrc || !targetOf(*dc, t)) return FALSE;
  RECT d = toDevice(*dc, *qrc);
  record(*dc, hdc, "DrawEdge", d);
  drawEdgeOn(t, d, edge, grfFlags);
  if (grfFlags & BF_ADJUST) {
    OffsetRect(&d, -dc->state.viewportOrg.x, -dc->state.viewportOrg.y);
    *qrc = d;
  }
  return TRUE;
}

BOOL DrawFrameControl(HDC hdc, LPRECT lprc, UINT uType, UINT uState) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  Target t;
  if (!dc || !lprc || !targetOf(*dc, t)) return FALSE;
  if (uType < DFC_CAPTION || uType > DFC_BUTTON) return FALSE;
  RECT d = toDevice(*dc, *lprc);
  record(*dc, hdc, "DrawFrameControl", d);
  const bool box = uType == DFC_BUTTON && !(uState & DFCS_BUTTONPUSH);
  if (box) {
    // A 13 x 13 check box or radio button, centred vertically at the left.
    const LONG size = 13;
    LONG top = d.top + (d.bottom - d.top - size) / 2;
    RECT b{d.left, top, d.left + size, top + size};
    const RECT outer = b;
    drawEdgeOn(t, b, EDGE_SUNKEN, BF_RECT);
    COLORREF inside = (uState & (DFCS_INACTIVE | DFCS_PUSHED)) ? GetSysColor(COLOR_BTNFACE) : GetSysColor(COLOR_WINDOW);
    fillRect(t, b, pixelOf(inside));
    const bool radio = (uState & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) != 0;
    const bool grey = (uState & (DFCS_INACTIVE | DFCS_BUTTON3STATE)) != 0;
    const std::uint32_t markPixel = pixelOf(grey ? GetSysColor(COLOR_GRAYTEXT) : GetSysColor(COLOR_WINDOWTEXT));
    if (radio) {
      // The round button: the square's corners give way to the face, the dot sits in the middle.
      const std::uint32_t face = pixelOf(GetSysColor(COLOR_BTNFACE));
      static constexpr int kCorner[] = {4, 2, 1, 1};  // pixels cut at each corner row
      for (int row = 0; row < 4; ++row) {
        for (int k = 0; k < kCorner[row]; ++k) {
          for (LONG y : {outer.top + row, outer.bottom - 1 - row}) {
            fillRect(t, RECT{outer.left + k, y, outer.left + k + 1, y + 1}, face);
            fillRect(t, RECT{outer.right - 1 - k, y, outer.right - k, y + 1}, face);
          }
        }
      }
      if (uState & DFCS_CHECKED) {
        fillRect(t, RECT{outer.left + 5, outer.top + 4, outer.left + 8, outer.top + 9}, markPixel);
        fillRect(t, RECT{outer.left + 4, outer.top + 5, outer.left + 9, outer.top + 8}, markPixel);
      }
      return TRUE;
    }
    if (uState & DFCS_CHECKED) {
      // The classic tick: seven columns, three pixels high, down then up.
      static constexpr int kTick[] = {2, 3, 4, 3, 2, 1, 0};
      for (int x = 0; x < 7; ++x)
        fillRect(t, RECT{outer.left + 3 + x, outer.top + 3 + kTick[x], outer.left + 4 + x, outer.top + 6 + kTick[x]},
                 markPixel);
    }
    return TRUE;
  }
  const bool down = (uState & (DFCS_PUSHED | DFCS_CHECKED)) != 0;
  RECT inner = d;
  if (uState & DFCS_FLAT) {
    edgeLines(t, inner, BF_RECT, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNSHADOW));
    InflateRect(&inner, -1, -1);
  } else {
    drawEdgeOn(t, inner, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  }
  fillRect(t, inner, pixelOf(GetSysColor(COLOR_BTNFACE)));
  if (uState & DFCS_ADJUSTRECT) InflateRect(lprc, -2, -2);
  return TRUE;
}
