// The graphics facility's inside: pixel surfaces, the object and DC tables, the screen mapping
// and the drawing primitives the gdi_*.cpp files share. Not part of win32.h.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/gdi.h"

namespace platform::gdi::detail {

// Pixels as 0x00RRGGBB (the bytes B G R x of a 32-bit DIB); 3 or 4 bytes per pixel in storage.
struct Surface {
  int width = 0;
  int height = 0;
  BYTE* top = nullptr;          // the top row
  std::ptrdiff_t rowBytes = 0;  // negative for a bottom-up DIB
  int bytesPerPixel = 4;
  int bitsPixel = 32;           // what GetObject reports: 1 for monochrome, else 24 or 32
  bool mono = false;            // every pixel is kept black or white
  std::vector<BYTE> storage;    // owned pixels (empty when `top` points into a mapping)
  std::shared_ptr<void> keep;   // keeps a mapping alive (the screen)

  std::uint32_t get(int x, int y) const {
    const BYTE* p = top + y * rowBytes + x * bytesPerPixel;
    if (bytesPerPixel == 4) return *reinterpret_cast<const std::uint32_t*>(p) & 0xFFFFFFu;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16);
  }
  void set(int x, int y, std::uint32_t v) {
    if (mono) v = monoOf(v);
    BYTE* p = top + y * rowBytes + x * bytesPerPixel;
    if (bytesPerPixel == 4) {
      *reinterpret_cast<std::uint32_t*>(p) = v;
    } else {
      p[0] = static_cast<BYTE>(v);
      p[1] = static_cast<BYTE>(v >> 8);
      p[2] = static_cast<BYTE>(v >> 16);
    }
  }
  static std::uint32_t monoOf(std::uint32_t v) {
    unsigned sum = (v & 0xFF) + ((v >> 8) & 0xFF) + ((v >> 16) & 0xFF);
    return sum >= 384 ? 0xFFFFFFu : 0u;
  }
};

// An owned 32-bit (or monochrome) surface, black.
std::shared_ptr<Surface> makeSurface(int width, int height, bool mono);

inline std::uint32_t pixelOf(COLORREF c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF colorOf(std::uint32_t p) { return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF); }

// ---- Objects ----

struct Bitmap {
  std::shared_ptr<Surface> surface;
  HDC selectedInto = nullptr;
  bool dibSection = false;
  BITMAPINFOHEADER dib{};  // for DIB sections
  SIZE dimension{0, 0};
};

struct Icon {
  int width = 0;
  int height = 0;
  std::shared_ptr<Surface> color;   // 32-bit
  std::vector<BYTE> mask;           // 1 = transparent, one byte per pixel
  std::vector<BYTE> alpha;          // per-pixel alpha for 32-bit images (empty: none)
  bool shared = false;              // LoadIcon / LR_SHARED: DestroyIcon leaves it
  bool isIcon = true;
  POINT hotspot{0, 0};
};

struct Object {
  DWORD type = 0;  // OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_BITMAP
  bool stock = false;   // stock objects and system-colour brushes are never deleted
  LOGPEN pen{};
  LOGBRUSH brush{};
  std::shared_ptr<Surface> pattern;  // pattern brushes
  LOGFONTW font{};
  std::shared_ptr<Bitmap> bitmap;
};

enum class DcKind { Window, Screen, Memory };

struct DcState {
  std::shared_ptr<Object> pen, brush, font;
  HGDIOBJ penHandle = nullptr, brushHandle = nullptr, fontHandle = nullptr;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  int stretchMode = BLACKONWHITE;
  int rop2 = R2_COPYPEN;
  UINT textAlign = TA_LEFT | TA_TOP;
  POINT viewportOrg{0, 0};
  POINT brushOrg{0, 0};
  POINT position{0, 0};
  COLORREF dcBrushColor = 0xFFFFFF;
  COLORREF dcPenColor = 0;
  std::optional<std::vector<RECT>> clip;  // device coordinates; none = no clipping region
};

struct Dc {
  DcKind kind = DcKind::Memory;
  HWND hwnd = nullptr;       // window DCs
  bool released = false;     // ReleaseDC/EndPaint done
  bool fromGetDC = false;    // given by GetDC/GetWindowDC (ReleaseDC ends it)
  bool paint = false;        // given by BeginPaint
  bool created = false;      // CreateDC: DeleteDC ends it
  std::optional<RECT> paintRect;  // BeginPaint's update rectangle (client coordinates)
  std::shared_ptr<Surface> screen;  // window and screen DCs
  std::shared_ptr<Object> bitmap;   // memory DCs: the selected bitmap object
  HGDIOBJ bitmapHandle = nullptr;
  DcState state;
  std::vector<DcState> saved;
};

// The one lock of the facility (held for whole calls; taken before the window table's lock).
std::recursive_mutex& lock();
// Under lock(): the object or DC, or null.
std::shared_ptr<Object> findObject(HGDIOBJ h);
Dc* findDc(HDC h);
// findDc for the API calls: a missing or released DC fails with ERROR_INVALID_HANDLE.
Dc* liveDc(HDC h);
HGDIOBJ addObject(std::shared_ptr<Object> o);
HDC addDc(std::unique_ptr<Dc> dc);
// A fresh DC of a kind with the default objects selected.
std::unique_ptr<Dc> newDc(DcKind kind);

// Icons: a table of their own.
HICON addIcon(std::shared_ptr<Icon> icon);
std::shared_ptr<Icon> findIcon(HICON h);
// findIcon for the API calls: an unknown icon fails with ERROR_INVALID_ICON_HANDLE.
std::shared_ptr<Icon> liveIcon(HICON h);
bool eraseIcon(HICON h);

// Regions (window_region.cpp): the rectangles of a region, false when it is none.
bool regionRects(HRGN h, std::vector<RECT>& out);
bool deleteRegion(HGDIOBJ h);

// ---- The screen ----

// The host's screen image (mapped on first use; remapped when the host or its size changes).
std::shared_ptr<Surface> screen();
std::uint32_t desktopPixel();

// ---- Drawing ----

// Where a DC's drawing lands: the surface, the offset from device to surface coordinates and
// the rectangles (surface coordinates) it may touch.
struct Target {
  Surface* surface = nullptr;
  POINT offset{0, 0};
  std::vector<RECT> clip;
};
// Under lock(). Returns false for a DC with nowhere to draw.
bool targetOf(Dc& dc, Target& t);
// The surface a DC reads from (no clipping, but the surface bounds), for blit sources.
bool sourceOf(Dc& dc, Target& t);

// Fills a device rectangle with a pixel value combined by a binary raster op (R2_*).
void fillRect(Target& t, RECT device, std::uint32_t pixel, int rop2 = R2_COPYPEN);
// Fills with a brush object (solid, hatched, pattern; null brushes do nothing).
void fillWithBrush(Dc& dc, Target& t, RECT device, const Object& brush);
// The brush object a brush handle names, including the system colour indexes + 1 FillRect takes.
std::shared_ptr<Object> brushFor(HBRUSH hbr);

// Logical to device.
inline RECT toDevice(const Dc& dc, RECT r) {
  return RECT{r.left + dc.state.viewportOrg.x, r.top + dc.state.viewportOrg.y, r.right + dc.state.viewportOrg.x,
              r.bottom + dc.state.viewportOrg.y};
}

// Records a call.
void record(const Dc& dc, HDC h, const char* call, RECT device, std::u16string_view text = {},
            COLORREF color = CLR_INVALID);

// Fonts.
struct FontMetrics {
  int height = 13;
  int ascent = 11;
  int descent = 2;
  int internalLeading = 2;
  int charWidth = 6;
};
FontMetrics metricsOf(const LOGFONTW& lf);
const LOGFONTW& defaultGuiFont();
int charWidth(const FontMetrics& m, char16_t c);
int widthOf(const FontMetrics& m, std::u16string_view s);
const LOGFONTW& fontOfDc(const Dc& dc);

// Draws text cells at a device position (top-left of the cell); returns the width drawn.
int drawTextCells(Dc& dc, Target& t, int x, int y, std::u16string_view s, const FontMetrics& m,
                  const RECT* clipDevice);

// Sizes from the host facts.
SIZE screenSizeFromFacts();

}  // namespace platform::gdi::detail
