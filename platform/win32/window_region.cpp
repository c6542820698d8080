// Regions as sets of non-overlapping rectangles, for window shapes (SetWindowRgn). Combining
// cuts both operands along every edge into a grid, keeps the cells the operation selects, and
// joins them back into bands, which is plenty for the few rectangles a window shape has.
// Polygons are scanned one pixel row at a time into such bands.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/window.h"

namespace {

using Rects = std::vector<RECT>;

struct RegionTable {
  std::mutex mutex;
  std::unordered_map<UINT_PTR, Rects> regions;
  UINT_PTR next = 0x04000000;
};

RegionTable& regions() {
  static RegionTable* t = new RegionTable();
  return *t;
}

HRGN addRegion(Rects rects) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  UINT_PTR h = t.next;
  t.next += 4;
  t.regions.emplace(h, std::move(rects));
  return reinterpret_cast<HRGN>(h);
}

// Under the table mutex.
Rects* findRegion(HRGN h) {
  auto& t = regions();
  auto it = t.regions.find(reinterpret_cast<UINT_PTR>(h));
  return it == t.regions.end() ? nullptr : &it->second;
}

RECT normalized(int x1, int y1, int x2, int y2) {
  return RECT{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

Rects single(const RECT& r) {
  if (r.right <= r.left || r.bottom <= r.top) return {};
  return {r};
}

bool contains(const Rects& rs, LONG x, LONG y) {
  for (auto& r : rs)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

// Joins vertically adjacent bands with the same horizontal runs.
Rects mergeBands(const std::vector<std::pair<std::pair<LONG, LONG>, std::vector<std::pair<LONG, LONG>>>>& bands) {
  Rects out;
  std::vector<std::pair<LONG, LONG>> prevRuns;
  std::size_t prevStart = 0;
  LONG prevBottom = 0;
  for (auto& [ys, runs] : bands) {
    if (!out.empty() && runs == prevRuns && ys.first == prevBottom) {
      for (std::size_t i = prevStart; i < out.size(); ++i) out[i].bottom = ys.second;
    } else {
      prevStart = out.size();
      for (auto& [l, r] : runs) out.push_back(RECT{l, ys.first, r, ys.second});
      prevRuns = runs;
    }
    prevBottom = ys.second;
    if (runs.empty()) prevRuns.clear();
  }
  return out;
}

Rects combine(const Rects& a, const Rects& b, int mode) {
  std::vector<LONG> xs, ys;
  for (const Rects* set : {&a, &b})
    for (auto& r : *set) {
      xs.insert(xs.end(), {r.left, r.right});
      ys.insert(ys.end(), {r.top, r.bottom});
    }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<std::pair<std::pair<LONG, LONG>, std::vector<std::pair<LONG, LONG>>>> bands;
  for (std::size_t j = 0; j + 1 < ys.size(); ++j) {
    std::vector<std::pair<LONG, LONG>> runs;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
      bool inA = contains(a, xs[i], ys[j]), inB = contains(b, xs[i], ys[j]);
      bool keep = mode == RGN_AND ? (inA && inB) : mode == RGN_OR ? (inA || inB) : mode == RGN_XOR ? (inA != inB) : (inA && !inB);
      if (!keep) continue;
      if (!runs.empty() && runs.back().second == xs[i]) runs.back().second = xs[i + 1];
      else runs.emplace_back(xs[i], xs[i + 1]);
    }
    if (!runs.empty()) bands.push_back({{ys[j], ys[j + 1]}, std::move(runs)});
  }
  return mergeBands(bands);
}

int kindOf(const Rects& rs) { return rs.empty() ? NULLREGION : rs.size() == 1 ? SIMPLEREGION : COMPLEXREGION; }

// Rows of a rectangle whose corners are cut by an ellipse of the given diameters.
Rects roundRect(const RECT& box, int ew, int eh) {
  const LONG w = box.right - box.left, h = box.bottom - box.top;
  if (w <= 0 || h <= 0) return {};
  double rx = std::min<double>(std::abs(ew), w) / 2.0, ry = std::min<double>(std::abs(eh), h) / 2.0;
  if (rx < 1 || ry < 1) return single(box);
  std::vector<std::pair<std::pair<LONG, LONG>, std::vector<std::pair<LONG, LONG>>>> bands;
  for (LONG row = 0; row < h; ++row) {
    double fromEdge = std::min<double>(row, h - 1 - row) + 0.5;  // distance of the row's middle to the edge
    LONG inset = 0;
    if (fromEdge < ry) {
      double dy = (ry - fromEdge) / ry;
      inset = static_cast<LONG>(std::lround(rx - rx * std::sqrt(std::max(0.0, 1.0 - dy * dy))));
    }
    if (box.left + inset >= box.right - inset) continue;
    bands.push_back({{box.top + row, box.top + row + 1}, {{box.left + inset, box.right - inset}}});
  }
  return mergeBands(bands);
}

// Rows of a polygon, sampled at pixel centres: on each row the edges crossing the row's middle
// are sorted, and the runs between them kept by the fill rule (odd crossings for ALTERNATE, a
// non-zero sum of edge directions for WINDING).
Rects polygon(const POINT* pts, int count, int mode) {
  LONG top = pts[0].y, bottom = pts[0].y;
  for (int i = 1; i < count; ++i) {
    top = std::min(top, pts[i].y);
    bottom = std::max(bottom, pts[i].y);
  }
  std::vector<std::pair<std::pair<LONG, LONG>, std::vector<std::pair<LONG, LONG>>>> bands;
  std::vector<std::pair<LONG, int>> crossings;  // pixel column where inside starts or ends, direction
  for (LONG row = top; row < bottom; ++row) {
    const double y = row + 0.5;
    crossings.clear();
    for (int i = 0; i < count; ++i) {
      const POINT& a = pts[i];
      const POINT& b = pts[(i + 1) % count];
      if (a.y == b.y) continue;
      const bool down = b.y > a.y;
      const double y0 = down ? a.y : b.y, y1 = down ? b.y : a.y;
      if (y < y0 || y >= y1) continue;
      const double x = a.x + (y - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y);
      // The first pixel whose centre is right of the crossing.
      crossings.emplace_back(static_cast<LONG>(std::ceil(x - 0.5)), down ? 1 : -1);
    }
    std::sort(crossings.begin(), crossings.end());
    std::vector<std::pair<LONG, LONG>> runs;
    int winding = 0;
    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
      winding = mode == WINDING ? winding + crossings[i].second : winding ^ 1;
      const LONG from = crossings[i].first, to = crossings[i + 1].first;
      if (winding == 0 || from >= to) continue;
      if (!runs.empty() && runs.back().second >= from) runs.back().second = std::max(runs.back().second, to);
      else runs.emplace_back(from, to);
    }
    if (!runs.empty()) bands.push_back({{row, row + 1}, std::move(runs)});
  }
  return mergeBands(bands);
}

}  // namespace

HRGN CreatePolygonRgn(const POINT* pptl, int cPoint, int iMode) {
  constexpr LONG kMaxRows = 65536;
  if (!pptl || cPoint < 2 || (iMode != ALTERNATE && iMode != WINDING)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LONG top = pptl[0].y, bottom = pptl[0].y;
  for (int i = 1; i < cPoint; ++i) {
    top = std::min(top, pptl[i].y);
    bottom = std::max(bottom, pptl[i].y);
  }
  if (static_cast<std::int64_t>(bottom) - top > kMaxRows) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return addRegion(polygon(pptl, cPoint, iMode));
}

HRGN CreateRectRgn(int x1, int y1, int x2, int y2) { return addRegion(single(normalized(x1, y1, x2, y2))); }

HRGN CreateRectRgnIndirect(const RECT* lprect) {
  if (!lprect) return nullptr;
  return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

HRGN CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h) {
  return addRegion(roundRect(normalized(x1, y1, x2, y2), w, h));
}

HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  RECT box = normalized(x1, y1, x2, y2);
  return addRegion(roundRect(box, box.right - box.left, box.bottom - box.top));
}

int CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  Rects* dst = findRegion(hrgnDst);
  Rects* a = findRegion(hrgnSrc1);
  if (!dst || !a || iMode < RGN_AND || iMode > RGN_COPY) return ERROR;
  if (iMode == RGN_COPY) {
    *dst = *a;
    return kindOf(*dst);
  }
  Rects* b = findRegion(hrgnSrc2);
  if (!b) return ERROR;
  *dst = combine(*a, *b, iMode);
  return kindOf(*dst);
}

BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  Rects* r = findRegion(hrgn);
  if (!r) return FALSE;
  *r = single(normalized(left, top, right, bottom));
  return TRUE;
}

BOOL PtInRegion(HRGN hrgn, int x, int y) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  Rects* r = findRegion(hrgn);
  return r && contains(*r, x, y);
}

int GetRgnBox(HRGN hrgn, LPRECT lprc) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  Rects* r = findRegion(hrgn);
  if (!r || !lprc) return ERROR;
  RECT box{0, 0, 0, 0};
  for (auto& x : *r) UnionRect(&box, &box, &x);
  *lprc = box;
  return kindOf(*r);
}

int OffsetRgn(HRGN hrgn, int x, int y) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  Rects* r = findRegion(hrgn);
  if (!r) return ERROR;
  for (auto& rc : *r) OffsetRect(&rc, x, y);
  return kindOf(*r);
}

BOOL EqualRgn(HRGN hrgn1, HRGN hrgn2) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  Rects* a = findRegion(hrgn1);
  Rects* b = findRegion(hrgn2);
  if (!a || !b) return ERROR;
  return combine(*a, *b, RGN_XOR).empty() ? TRUE : FALSE;
}

// DeleteObject (gdi_objects.cpp) hands regions here; drawing clips by their rectangles.
namespace platform::gdi::detail {

bool deleteRegion(HGDIOBJ ho) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  return t.regions.erase(reinterpret_cast<UINT_PTR>(ho)) > 0;
}

bool regionRects(HRGN h, std::vector<RECT>& out) {
  auto& t = regions();
  std::lock_guard lock(t.mutex);
  Rects* r = findRegion(h);
  if (!r) return false;
  out = *r;
  return true;
}

}  // namespace platform::gdi::detail

int SetWindowRgn(HWND hWnd, HRGN hRgn, BOOL bRedraw) {
  using namespace platform::host;
  if (hRgn) {
    auto& t = regions();
    std::lock_guard lock(t.mutex);
    if (!findRegion(hRgn)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
  }
  HRGN old;
  {
    WindowTable& wt = WindowTable::get();
    std::lock_guard lock(wt.mutex);
    Window* w = wt.find(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    old = w->region;
    w->region = hRgn;
  }
  if (old && old != hRgn) DeleteObject(old);
  if (bRedraw) InvalidateRect(hWnd, nullptr, TRUE);
  return 1;
}

int GetWindowRgn(HWND hWnd, HRGN hRgn) {
  using namespace platform::host;
  HRGN own;
  {
    WindowTable& wt = WindowTable::get();
    std::lock_guard lock(wt.mutex);
    Window* w = wt.find(hWnd);
    if (!w) return ERROR;
    own = w->region;
  }
  if (!own) return ERROR;
  return CombineRgn(hRgn, own, nullptr, RGN_COPY);
}
