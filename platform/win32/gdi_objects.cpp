// GDI objects and device contexts: the process's handle tables, stock objects, pens, brushes,
// fonts and bitmaps, selecting and deleting, DC attributes, clipping, and the drawing record.
#include <utility>
#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/window.h"

namespace platform::gdi::detail {

namespace {

struct Tables {
  std::unordered_map<UINT_PTR, std::shared_ptr<Object>> objects;
  std::unordered_map<UINT_PTR, std::unique_ptr<Dc>> dcs;
  std::unordered_map<UINT_PTR, std::shared_ptr<Icon>> icons;
  // Handle ranges of their own, apart from the regions' (0x04000000 up).
  UINT_PTR nextObject = 0x08000010;
  UINT_PTR nextDc = 0x0A000010;
  UINT_PTR nextIcon = 0x0C000010;
  HGDIOBJ stock[DC_PEN + 1] = {};
  HBRUSH sysBrushes[31] = {};
  std::deque<DrawCall> record;
};

constexpr std::size_t kRecordLimit = 20000;

Tables& tables() {
  static Tables* t = new Tables();
  return *t;
}

std::shared_ptr<Object> makePen(UINT style, int width, COLORREF color) {
  auto o = std::make_shared<Object>();
  o->type = OBJ_PEN;
  o->pen = LOGPEN{style, POINT{std::max(width, 0), 0}, color & 0xFFFFFF};
  return o;
}

std::shared_ptr<Object> makeBrush(UINT style, COLORREF color, ULONG_PTR hatch) {
  auto o = std::make_shared<Object>();
  o->type = OBJ_BRUSH;
  o->brush = LOGBRUSH{style, color & 0xFFFFFF, hatch};
  return o;
}

std::shared_ptr<Object> makeFont(const LOGFONTW& lf) {
  auto o = std::make_shared<Object>();
  o->type = OBJ_FONT;
  o->font = lf;
  o->font.lfFaceName[LF_FACESIZE - 1] = 0;
  return o;
}

LOGFONTW logFont(LONG height, LONG weight, const char16_t* face) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::u16string_view f(face);
  std::copy_n(f.begin(), std::min<std::size_t>(f.size(), LF_FACESIZE - 1), lf.lfFaceName);
  return lf;
}

void makeStock(Tables& t) {
  auto add = [&](int index, std::shared_ptr<Object> o) {
    o->stock = true;
    UINT_PTR h = t.nextObject;
    t.nextObject += 4;
    t.objects.emplace(h, std::move(o));
    t.stock[index] = reinterpret_cast<HGDIOBJ>(h);
  };
  add(WHITE_BRUSH, makeBrush(BS_SOLID, RGB(255, 255, 255), 0));
  add(LTGRAY_BRUSH, makeBrush(BS_SOLID, RGB(192, 192, 192), 0));
  add(GRAY_BRUSH, makeBrush(BS_SOLID, RGB(128, 128, 128), 0));
  add(DKGRAY_BRUSH, makeBrush(BS_SOLID, RGB(64, 64, 64), 0));
  add(BLACK_BRUSH, makeBrush(BS_SOLID, RGB(0, 0, 0), 0));
  add(NULL_BRUSH, makeBrush(BS_NULL, 0, 0));
  add(WHITE_PEN, makePen(PS_SOLID, 0, RGB(255, 255, 255)));
  add(BLACK_PEN, makePen(PS_SOLID, 0, RGB(0, 0, 0)));
  add(NULL_PEN, makePen(PS_NULL, 0, 0));
  add(OEM_FIXED_FONT, makeFont(logFont(12, FW_NORMAL, u"Terminal")));
  add(ANSI_FIXED_FONT, makeFont(logFont(12, FW_NORMAL, u"Courier")));
  add(ANSI_VAR_FONT, makeFont(logFont(12, FW_NORMAL, u"MS Sans Serif")));
  add(SYSTEM_FONT, makeFont(logFont(16, FW_BOLD, u"System")));
  add(DEVICE_DEFAULT_FONT, makeFont(logFont(16, FW_BOLD, u"System")));
  add(SYSTEM_FIXED_FONT, makeFont(logFont(15, FW_NORMAL, u"Fixedsys")));
  add(DEFAULT_GUI_FONT, makeFont(defaultGuiFont()));
  add(DC_BRUSH, makeBrush(BS_SOLID, RGB(255, 255, 255), 0));
  add(DC_PEN, makePen(PS_SOLID, 0, 0));
  // The 1x1 monochrome bitmap a new memory DC holds.
  auto bmp = std::make_shared<Object>();
  bmp->type = OBJ_BITMAP;
  bmp->bitmap = std::make_shared<Bitmap>();
  bmp->bitmap->surface = makeSurface(1, 1, true);
  add(DEFAULT_PALETTE, bmp);  // slot reused: the palette is not offered; see stockBitmap()
}

Tables& ready() {
  Tables& t = tables();
  if (!t.stock[WHITE_BRUSH]) makeStock(t);
  return t;
}

HGDIOBJ stockBitmap() { return ready().stock[DEFAULT_PALETTE]; }

}  // namespace

std::recursive_mutex& lock() {
  static std::recursive_mutex* m = new std::recursive_mutex();
  return *m;
}

std::shared_ptr<Object> findObject(HGDIOBJ h) {
  Tables& t = ready();
  auto it = t.objects.find(reinterpret_cast<UINT_PTR>(h));
  return it == t.objects.end() ? nullptr : it->second;
}

Dc* findDc(HDC h) {
  Tables& t = ready();
  auto it = t.dcs.find(reinterpret_cast<UINT_PTR>(h));
  return it == t.dcs.end() ? nullptr : it->second.get();
}

Dc* liveDc(HDC h) {
  Dc* dc = findDc(h);
  if (!dc || dc->released) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return dc;
}

HGDIOBJ addObject(std::shared_ptr<Object> o) {
  Tables& t = ready();
  UINT_PTR h = t.nextObject;
  t.nextObject += 4;
  t.objects.emplace(h, std::move(o));
  return reinterpret_cast<HGDIOBJ>(h);
}

HDC addDc(std::unique_ptr<Dc> dc) {
  Tables& t = ready();
  UINT_PTR h = t.nextDc;
  t.nextDc += 4;
  t.dcs.emplace(h, std::move(dc));
  return reinterpret_cast<HDC>(h);
}

HICON addIcon(std::shared_ptr<Icon> icon) {
  Tables& t = ready();
  UINT_PTR h = t.nextIcon;
  t.nextIcon += 4;
  t.icons.emplace(h, std::move(icon));
  return reinterpret_cast<HICON>(h);
}

std::shared_ptr<Icon> findIcon(HICON h) {
  Tables& t = ready();
  auto it = t.icons.find(reinterpret_cast<UINT_PTR>(h));
  return it == t.icons.end() ? nullptr : it->second;
}

std::shared_ptr<Icon> liveIcon(HICON h) {
  auto icon = findIcon(h);
  if (!icon) SetLastError(ERROR_INVALID_ICON_HANDLE);
  return icon;
}

bool eraseIcon(HICON h) { return ready().icons.erase(reinterpret_cast<UINT_PTR>(h)) > 0; }

std::unique_ptr<Dc> newDc(DcKind kind) {
  Tables& t = ready();
  auto dc = std::make_unique<Dc>();
  dc->kind = kind;
  dc->state.penHandle = t.stock[BLACK_PEN];
  dc->state.pen = findObject(dc->state.penHandle);
  dc->state.brushHandle = t.stock[WHITE_BRUSH];
  dc->state.brush = findObject(dc->state.brushHandle);
  dc->state.fontHandle = t.stock[SYSTEM_FONT];
  dc->state.font = findObject(dc->state.fontHandle);
  if (kind == DcKind::Memory) {
    dc->bitmapHandle = stockBitmap();
    dc->bitmap = findObject(dc->bitmapHandle);
  } else {
    dc->screen = screen();
  }
  return dc;
}

std::shared_ptr<Object> brushFor(HBRUSH hbr) {
  auto v = reinterpret_cast<UINT_PTR>(hbr);
  // FillRect and window classes take a system colour index + 1 for a brush.
  if (v >= 1 && v <= 31) return findObject(GetSysColorBrush(static_cast<int>(v - 1)));
  auto o = findObject(hbr);
  return o && o->type == OBJ_BRUSH ? o : nullptr;
}

const LOGFONTW& fontOfDc(const Dc& dc) {
  if (dc.state.font) return dc.state.font->font;
  return defaultGuiFont();
}

void record(const Dc& dc, HDC h, const char* call, RECT device, std::u16string_view text, COLORREF color) {
  Tables& t = ready();
  DrawCall c;
  c.call = call;
  c.window = dc.hwnd;
  c.dc = h;
  c.rect = device;
  c.text = std::u16string(text);
  c.color = color;
  t.record.push_back(std::move(c));
  if (t.record.size() > kRecordLimit) t.record.pop_front();
}

}  // namespace platform::gdi::detail

using namespace platform::gdi::detail;
using Guard = std::lock_guard<std::recursive_mutex>;

// ---- Stock objects, selecting, deleting ----

HGDIOBJ GetStockObject(int i) {
  Guard g(lock());
  if (i < 0 || i > DC_PEN || i == DEFAULT_PALETTE || i == 9) return nullptr;
  return ready().stock[i];
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return nullptr;
  std::vector<RECT> rects;
  if (regionRects(static_cast<HRGN>(h), rects)) {
    int kind = SelectClipRgn(hdc, static_cast<HRGN>(h));
    return reinterpret_cast<HGDIOBJ>(static_cast<INT_PTR>(kind));
  }
  auto o = findObject(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  DcState& s = dc->state;
  HGDIOBJ old = nullptr;
  switch (o->type) {
    case OBJ_PEN:
      old = s.penHandle;
      s.pen = o;
      s.penHandle = h;
      break;
    case OBJ_BRUSH:
      old = s.brushHandle;
      s.brush = o;
      s.brushHandle = h;
      break;
    case OBJ_FONT:
      old = s.fontHandle;
      s.font = o;
      s.fontHandle = h;
      break;
    case OBJ_BITMAP: {
      if (dc->kind != DcKind::Memory) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      if (o == dc->bitmap) return h;
      // A bitmap lives in one DC at a time (the shared 1x1 stock bitmap excepted).
      if (o->bitmap->selectedInto && !o->stock) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      old = dc->bitmapHandle;
      if (dc->bitmap && !dc->bitmap->stock) dc->bitmap->bitmap->selectedInto = nullptr;
      dc->bitmap = o;
      dc->bitmapHandle = h;
      if (!o->stock) o->bitmap->selectedInto = hdc;
      break;
    }
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
  }
  return old;
}

BOOL DeleteObject(HGDIOBJ ho) {
  Guard g(lock());
  if (deleteRegion(ho)) return TRUE;
  Tables& t = ready();
  auto it = t.objects.find(reinterpret_cast<UINT_PTR>(ho));
  if (it == t.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second->stock) return TRUE;
  if (it->second->type == OBJ_BITMAP && it->second->bitmap->selectedInto) return FALSE;
  // Pens, brushes and fonts still selected somewhere stay alive through the DC's reference.
  t.objects.erase(it);
  return TRUE;
}

DWORD GetObjectType(HGDIOBJ h) {
  Guard g(lock());
  std::vector<RECT> rects;
  if (regionRects(static_cast<HRGN>(h), rects)) return OBJ_REGION;
  if (auto o = findObject(h)) return o->type;
  if (Dc* dc = findDc(static_cast<HDC>(h)); dc && !dc->released) return dc->kind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

namespace {

template <class T>
int copyOut(const T& value, int c, LPVOID pv) {
  if (!pv) return static_cast<int>(sizeof(T));
  int n = std::min<int>(c, static_cast<int>(sizeof(T)));
  if (n <= 0) return 0;
  std::memcpy(pv, &value, static_cast<std::size_t>(n));
  return n;
}

BITMAP bitmapOf(const Bitmap& b) {
  const Surface& s = *b.surface;
  BITMAP bm{};
  bm.bmType = 0;
  bm.bmWidth = s.width;
  bm.bmHeight = s.height;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = static_cast<WORD>(s.bitsPixel);
  bm.bmWidthBytes = b.dibSection ? ((s.width * s.bitsPixel + 31) / 32) * 4 : ((s.width * s.bitsPixel + 15) / 16) * 2;
  bm.bmBits = b.dibSection ? (s.rowBytes < 0 ? s.top + (s.height - 1) * s.rowBytes : s.top) : nullptr;
  return bm;
}

}  // namespace

int GetObjectW(HANDLE h, int c, LPVOID pv) {
  Guard g(lock());
  auto o = findObject(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->type) {
    case OBJ_PEN: return copyOut(o->pen, c, pv);
    case OBJ_BRUSH: return copyOut(o->brush, c, pv);
    case OBJ_FONT: return copyOut(o->font, c, pv);
    case OBJ_BITMAP: {
      const Bitmap& b = *o->bitmap;
      if (b.dibSection && (c >= static_cast<int>(sizeof(DIBSECTION)) || !pv)) {
        DIBSECTION ds{};
        ds.dsBm = bitmapOf(b);
        ds.dsBmih = b.dib;
        return copyOut(ds, c, pv);
      }
      return copyOut(bitmapOf(b), c, pv);
    }
    default:
      return 0;
  }
}

int GetObjectA(HANDLE h, int c, LPVOID pv) {
  Guard g(lock());
  auto o = findObject(h);
  if (o && o->type == OBJ_FONT) {
    // LOGFONTA: the same fields with a 32-byte face name.
    struct LogFontA {
      LONG f[5];
      BYTE b[8];
      char face[LF_FACESIZE];
    } a{};
    std::memcpy(&a, &o->font, 28);
    std::string face = platform::text::wideToAnsi(platform::text::view(o->font.lfFaceName));
    std::copy_n(face.begin(), std::min<std::size_t>(face.size(), LF_FACESIZE - 1), a.face);
    return copyOut(a, c, pv);
  }
  return GetObjectW(h, c, pv);
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->state.penHandle;
    case OBJ_BRUSH: return dc->state.brushHandle;
    case OBJ_FONT: return dc->state.fontHandle;
    case OBJ_BITMAP: return dc->kind == DcKind::Memory ? dc->bitmapHandle : nullptr;
    default: return nullptr;
  }
}

// ---- Pens and brushes ----

HPEN CreatePen(int iStyle, int cWidth, COLORREF color) {
  if (iStyle < PS_SOLID || iStyle > PS_INSIDEFRAME) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(lock());
  return static_cast<HPEN>(addObject(makePen(static_cast<UINT>(iStyle), cWidth, color)));
}

HPEN CreatePenIndirect(const LOGPEN* p) {
  if (!p) return nullptr;
  return CreatePen(static_cast<int>(p->lopnStyle), p->lopnWidth.x, p->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  Guard g(lock());
  return static_cast<HBRUSH>(addObject(makeBrush(BS_SOLID, color, 0)));
}

HBRUSH CreateHatchBrush(int iHatch, COLORREF color) {
  if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(lock());
  return static_cast<HBRUSH>(addObject(makeBrush(BS_HATCHED, color, static_cast<ULONG_PTR>(iHatch))));
}

HBRUSH CreatePatternBrush(HBITMAP hbm) {
  Guard g(lock());
  auto b = findObject(hbm);
  if (!b || b->type != OBJ_BITMAP) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto o = makeBrush(BS_PATTERN, 0, reinterpret_cast<ULONG_PTR>(hbm));
  const Surface& src = *b->bitmap->surface;
  o->pattern = makeSurface(src.width, src.height, false);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) o->pattern->set(x, y, src.get(x, y));
  return static_cast<HBRUSH>(addObject(o));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* p) {
  if (!p) return nullptr;
  switch (p->lbStyle) {
    case BS_SOLID: return CreateSolidBrush(p->lbColor);
    case BS_NULL: return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    case BS_HATCHED: return CreateHatchBrush(static_cast<int>(p->lbHatch), p->lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(p->lbHatch));
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HBRUSH GetSysColorBrush(int nIndex) {
  if (nIndex < 0 || nIndex > COLOR_MENUBAR || nIndex == 25) return nullptr;
  Guard g(lock());
  Tables& t = ready();
  HBRUSH& slot = t.sysBrushes[nIndex];
  if (!slot) {
    auto o = makeBrush(BS_SOLID, GetSysColor(nIndex), 0);
    o->stock = true;
    slot = static_cast<HBRUSH>(addObject(o));
  }
  return slot;
}

// ---- Fonts ----

HFONT CreateFontIndirectW(const LOGFONTW* lplf) {
  if (!lplf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(lock());
  return static_cast<HFONT>(addObject(makeFont(*lplf)));
}

HFONT CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                  DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                  DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
  LOGFONTW lf{};
  lf.lfHeight = cHeight;
  lf.lfWidth = cWidth;
  lf.lfEscapement = cEscapement;
  lf.lfOrientation = cOrientation;
  lf.lfWeight = cWeight;
  lf.lfItalic = static_cast<BYTE>(bItalic ? 1 : 0);
  lf.lfUnderline = static_cast<BYTE>(bUnderline ? 1 : 0);
  lf.lfStrikeOut = static_cast<BYTE>(bStrikeOut ? 1 : 0);
  lf.lfCharSet = static_cast<BYTE>(iCharSet);
  lf.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
  lf.lfQuality = static_cast<BYTE>(iQuality);
  lf.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
  if (pszFaceName) {
    std::u16string_view f = platform::text::view(pszFaceName);
    std::copy_n(f.begin(), std::min<std::size_t>(f.size(), LF_FACESIZE - 1), lf.lfFaceName);
  }
  return CreateFontIndirectW(&lf);
}

int GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return 0;
  std::u16string_view face = platform::text::view(fontOfDc(*dc).lfFaceName);
  if (!lpName) return static_cast<int>(face.size()) + 1;
  if (c <= 0) return 0;
  std::size_t n = std::min<std::size_t>(face.size(), static_cast<std::size_t>(c - 1));
  std::copy_n(face.begin(), n, lpName);
  lpName[n] = 0;
  return static_cast<int>(n);
}

int MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  long long p = static_cast<long long>(nNumber) * nNumerator;
  long long half = std::abs(static_cast<long long>(nDenominator)) / 2;
  bool negative = (p < 0) != (nDenominator < 0);
  long long q = (std::abs(p) + half) / std::abs(static_cast<long long>(nDenominator));
  if (q > 0x7FFFFFFF) return -1;
  return static_cast<int>(negative ? -q : q);
}

// ---- Device contexts ----

namespace {

HDC windowDc(HWND hWnd, bool whole) {
  (void)whole;  // no non-client area: the window's DC and its client DC coincide
  if (hWnd && hWnd != GetDesktopWindow() && !IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  Guard g(lock());
  bool screenDc = !hWnd || hWnd == GetDesktopWindow();
  auto dc = newDc(screenDc ? DcKind::Screen : DcKind::Window);
  dc->hwnd = screenDc ? nullptr : hWnd;
  dc->fromGetDC = true;
  if (!dc->screen) return nullptr;
  return addDc(std::move(dc));
}

void endDc(HDC h) {
  Tables& t = ready();
  auto it = t.dcs.find(reinterpret_cast<UINT_PTR>(h));
  if (it == t.dcs.end()) return;
  Dc& dc = *it->second;
  if (dc.bitmap && !dc.bitmap->stock) dc.bitmap->bitmap->selectedInto = nullptr;
  t.dcs.erase(it);
}

}  // namespace

HDC GetDC(HWND hWnd) { return windowDc(hWnd, false); }
HDC GetWindowDC(HWND hWnd) { return windowDc(hWnd, true); }

HDC GetDCEx(HWND hWnd, HRGN hrgnClip, DWORD flags) {
  HDC h = windowDc(hWnd, flags & DCX_WINDOW);
  if (h && hrgnClip) SelectClipRgn(h, hrgnClip);
  return h;
}

int ReleaseDC(HWND, HDC hDC) {
  Guard g(lock());
  Dc* dc = findDc(hDC);
  if (!dc || !dc->fromGetDC) return 0;
  endDc(hDC);
  return 1;
}

HWND WindowFromDC(HDC hDC) {
  Guard g(lock());
  Dc* dc = findDc(hDC);
  if (!dc) return nullptr;
  if (dc->kind == DcKind::Screen) return GetDesktopWindow();
  return dc->hwnd;
}

HDC CreateCompatibleDC(HDC hdc) {
  Guard g(lock());
  if (hdc && !liveDc(hdc)) return nullptr;
  return addDc(newDc(DcKind::Memory));
}

HDC CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR, const void*) {
  auto isDisplay = [](LPCWSTR s) {
    if (!s) return false;
    std::u16string v = platform::text::upcased(platform::text::view(s));
    return v == u"DISPLAY" || v == u"\\\\.\\DISPLAY1";
  };
  if (!isDisplay(pwszDriver) && !isDisplay(pwszDevice)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(lock());
  auto dc = newDc(DcKind::Screen);
  dc->created = true;
  return addDc(std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
  Guard g(lock());
  Dc* dc = findDc(hdc);
  if (!dc || dc->fromGetDC || dc->paint) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  endDc(hdc);
  return TRUE;
}

int SaveDC(HDC hdc) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->state);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int nSavedDC) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return FALSE;
  int n = static_cast<int>(dc->saved.size());
  int index = nSavedDC < 0 ? n + nSavedDC : nSavedDC - 1;
  if (index < 0 || index >= n) return FALSE;
  dc->state = dc->saved[static_cast<std::size_t>(index)];
  dc->saved.resize(static_cast<std::size_t>(index));
  return TRUE;
}

namespace platform::gdi {

HDC beginPaintDC(HWND hwnd, const RECT& update) {
  Guard g(lock());
  auto dc = newDc(DcKind::Window);
  dc->hwnd = hwnd;
  dc->paint = true;
  dc->paintRect = update;
  if (!dc->screen) return nullptr;
  return addDc(std::move(dc));
}

void endPaintDC(HWND, HDC h) {
  Guard g(lock());
  Dc* dc = findDc(h);
  if (dc && dc->paint) endDc(h);
}

std::vector<DrawCall> drawRecord() {
  Guard g(lock());
  Tables& t = ready();
  return std::vector<DrawCall>(t.record.begin(), t.record.end());
}

void clearDrawRecord() {
  Guard g(lock());
  ready().record.clear();
}

HFONT fontOf(HDC h) {
  Guard g(lock());
  Dc* dc = findDc(h);
  return dc ? static_cast<HFONT>(dc->state.fontHandle) : nullptr;
}

}  // namespace platform::gdi

// ---- Attributes ----

namespace {

template <class F>
auto withDc(HDC hdc, decltype(std::declval<F>()(std::declval<Dc&>())) failure, F f) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return failure;
  return f(*dc);
}

}  // namespace

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  return withDc(hdc, CLR_INVALID, [&](Dc& dc) { return std::exchange(dc.state.textColor, color & 0xFFFFFF); });
}
COLORREF GetTextColor(HDC hdc) {
  return withDc(hdc, CLR_INVALID, [&](Dc& dc) { return dc.state.textColor; });
}
COLORREF SetBkColor(HDC hdc, COLORREF color) {
  return withDc(hdc, CLR_INVALID, [&](Dc& dc) { return std::exchange(dc.state.bkColor, color & 0xFFFFFF); });
}
COLORREF GetBkColor(HDC hdc) {
  return withDc(hdc, CLR_INVALID, [&](Dc& dc) { return dc.state.bkColor; });
}
int SetBkMode(HDC hdc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return withDc(hdc, 0, [&](Dc& dc) { return std::exchange(dc.state.bkMode, mode); });
}
int GetBkMode(HDC hdc) {
  return withDc(hdc, 0, [&](Dc& dc) { return dc.state.bkMode; });
}
int SetStretchBltMode(HDC hdc, int mode) {
  if (mode < BLACKONWHITE || mode > HALFTONE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return withDc(hdc, 0, [&](Dc& dc) { return std::exchange(dc.state.stretchMode, mode); });
}
int GetStretchBltMode(HDC hdc) {
  return withDc(hdc, 0, [&](Dc& dc) { return dc.state.stretchMode; });
}
int SetROP2(HDC hdc, int rop2) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
  return withDc(hdc, 0, [&](Dc& dc) { return std::exchange(dc.state.rop2, rop2); });
}
UINT SetTextAlign(HDC hdc, UINT align) {
  return withDc(hdc, static_cast<UINT>(GDI_ERROR), [&](Dc& dc) { return std::exchange(dc.state.textAlign, align); });
}
UINT GetTextAlign(HDC hdc) {
  return withDc(hdc, static_cast<UINT>(GDI_ERROR), [&](Dc& dc) { return dc.state.textAlign; });
}
COLORREF SetDCBrushColor(HDC hdc, COLORREF color) {
  return withDc(hdc, CLR_INVALID, [&](Dc& dc) { return std::exchange(dc.state.dcBrushColor, color & 0xFFFFFF); });
}
COLORREF SetDCPenColor(HDC hdc, COLORREF color) {
  return withDc(hdc, CLR_INVALID, [&](Dc& dc) { return std::exchange(dc.state.dcPenColor, color & 0xFFFFFF); });
}

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return withDc(hdc, FALSE, [&](Dc& dc) {
    if (lppt) *lppt = dc.state.viewportOrg;
    dc.state.viewportOrg = POINT{x, y};
    return TRUE;
  });
}
BOOL GetViewportOrgEx(HDC hdc, LPPOINT lppt) {
  return withDc(hdc, FALSE, [&](Dc& dc) {
    if (lppt) *lppt = dc.state.viewportOrg;
    return TRUE;
  });
}
BOOL OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return withDc(hdc, FALSE, [&](Dc& dc) {
    if (lppt) *lppt = dc.state.viewportOrg;
    dc.state.viewportOrg.x += x;
    dc.state.viewportOrg.y += y;
    return TRUE;
  });
}
BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return withDc(hdc, FALSE, [&](Dc& dc) {
    if (lppt) *lppt = dc.state.brushOrg;
    dc.state.brushOrg = POINT{x, y};
    return TRUE;
  });
}

// ---- Clipping ----

namespace {

int kindOf(const std::vector<RECT>& rs) { return rs.empty() ? NULLREGION : rs.size() == 1 ? SIMPLEREGION : COMPLEXREGION; }

// Rectangle set operations on a DC's clip list through the region code.
std::vector<RECT> combineRects(const std::vector<RECT>& a, const RECT& r, int mode) {
  HRGN ra = CreateRectRgn(0, 0, 0, 0);
  for (const RECT& x : a) {
    HRGN one = CreateRectRgnIndirect(&x);
    CombineRgn(ra, ra, one, RGN_OR);
    DeleteObject(one);
  }
  HRGN rb = CreateRectRgnIndirect(&r);
  CombineRgn(ra, ra, rb, mode);
  std::vector<RECT> out;
  regionRects(ra, out);
  DeleteObject(ra);
  DeleteObject(rb);
  return out;
}

// The DC's own bounds in device coordinates, for a DC without a clipping region.
RECT boundsOf(Dc& dc) {
  if (dc.kind == DcKind::Memory) {
    const Surface& s = *dc.bitmap->bitmap->surface;
    return RECT{0, 0, s.width, s.height};
  }
  if (dc.kind == DcKind::Screen) {
    SIZE s = screenSizeFromFacts();
    return RECT{0, 0, s.cx, s.cy};
  }
  RECT r{0, 0, 0, 0};
  GetClientRect(dc.hwnd, &r);
  return r;
}

}  // namespace

int SelectClipRgn(HDC hdc, HRGN hrgn) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return ERROR;
  if (!hrgn) {
    dc->state.clip.reset();
    return SIMPLEREGION;
  }
  std::vector<RECT> rects;
  if (!regionRects(hrgn, rects)) return ERROR;
  // Region coordinates are device coordinates.
  dc->state.clip = rects;
  return kindOf(rects);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return ERROR;
  RECT r = toDevice(*dc, RECT{left, top, right, bottom});
  std::vector<RECT> base = dc->state.clip ? *dc->state.clip : std::vector<RECT>{boundsOf(*dc)};
  dc->state.clip = combineRects(base, r, RGN_AND);
  return kindOf(*dc->state.clip);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc) return ERROR;
  RECT r = toDevice(*dc, RECT{left, top, right, bottom});
  std::vector<RECT> base = dc->state.clip ? *dc->state.clip : std::vector<RECT>{boundsOf(*dc)};
  dc->state.clip = combineRects(base, r, RGN_DIFF);
  return kindOf(*dc->state.clip);
}

int GetClipBox(HDC hdc, LPRECT lprect) {
  Guard g(lock());
  Dc* dc = liveDc(hdc);
  if (!dc || !lprect) return ERROR;
  std::vector<RECT> rs = dc->state.clip ? *dc->state.clip : std::vector<RECT>{boundsOf(*dc)};
  if (dc->paintRect) rs = combineRects(rs, *dc->paintRect, RGN_AND);
  RECT box{0, 0, 0, 0};
  for (const RECT& r : rs) UnionRect(&box, &box, &r);
  OffsetRect(&box, -dc->state.viewportOrg.x, -dc->state.viewportOrg.y);
  *lprect = box;
  return kindOf(rs);
}

// ---- Icons ----

BOOL DestroyIcon(HICON hIcon) {
  Guard g(lock());
  auto icon = liveIcon(hIcon);
  if (!icon) return FALSE;
  if (!icon->shared) eraseIcon(hIcon);
  return TRUE;
}
