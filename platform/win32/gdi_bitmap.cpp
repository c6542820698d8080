// Bitmaps and device-independent bitmaps: creating, reading and writing their bits, and
// decoding the DIB layout that .bmp files, bitmap resources and icon images share.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_bitmap.h"
#include "platform/win32/gdi_internal.h"

namespace platform::gdi::detail {

namespace {

// No bitmap larger than this (pixels); keeps a damaged header from asking for gigabytes.
constexpr long long kMaxPixels = 64ll * 1024 * 1024;

std::uint32_t readLE32(const BYTE* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

int shiftOf(std::uint32_t mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

std::uint32_t scaleChannel(std::uint32_t v, std::uint32_t mask) {
  int s = shiftOf(mask);
  std::uint32_t max = mask >> s;
  if (!max) return 0;
  return ((v & mask) >> s) * 255 / max;
}

}  // namespace

bool validSize(long long w, long long h) { return w > 0 && h > 0 && w * h <= kMaxPixels; }

std::size_t dibStride(int width, int bits) {
  return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}

namespace {

// The fields of any of the header forms, read only from bytes the header holds.
struct DibHeader {
  std::uint32_t size = 0;
  long long width = 0, height = 0;
  int planes = 0, bpp = 0;
  std::uint32_t compression = BI_RGB;
  std::uint32_t colorsUsed = 0;
  std::size_t paletteEntry = 4;  // RGBQUAD; the core form's table holds RGBTRIPLEs
  bool core = false;
};

// The header forms Windows defines: core (12), info (40), V2 (52, with the RGB masks), V3 (56,
// with the alpha mask), V4 (108) and V5 (124). Any other size is refused: a size of 41 to 51
// would leave the masks half outside the header, and nothing says where the colour table starts.
bool readHeader(const BYTE* data, std::size_t size, DibHeader& h) {
  if (size < 4) return false;
  h.size = readLE32(data);
  if (h.size > size) return false;
  auto le16 = [data](std::size_t at) { return static_cast<int>(data[at] | (data[at + 1] << 8)); };
  if (h.size == 12) {
    h.core = true;
    h.width = le16(4);
    h.height = le16(6);
    h.planes = le16(8);
    h.bpp = le16(10);
    h.paletteEntry = 3;
    return true;
  }
  if (h.size != 40 && h.size != 52 && h.size != 56 && h.size != 108 && h.size != 124) return false;
  BITMAPINFOHEADER info;
  std::memcpy(&info, data, sizeof info);
  h.width = info.biWidth;
  h.height = info.biHeight;
  h.planes = info.biPlanes;
  h.bpp = info.biBitCount;
  h.compression = info.biCompression;
  h.colorsUsed = info.biClrUsed;
  return true;
}

}  // namespace

bool decodeDib(const BYTE* data, std::size_t size, const BYTE* bits, std::size_t bitsSize, bool icon, Decoded& out) {
  DibHeader h;
  if (!data || !readHeader(data, size, h)) return false;
  if (h.planes != 1) return false;
  long long width = h.width;
  long long height = h.height;
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (icon) height /= 2;  // the XOR image above the AND mask
  if (!validSize(width, height)) return false;
  const int bpp = h.bpp;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (h.core && (bpp == 16 || bpp == 32)) return false;
  if (h.compression != BI_RGB && !(h.compression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return false;
  std::size_t offset = h.size;
  std::uint32_t masks[3] = {0, 0, 0};
  if (h.compression == BI_BITFIELDS) {
    // The info form keeps the masks after the header; the later forms inside it (bytes 40-51).
    const std::size_t at = h.size == 40 ? offset : 40;
    if (size - at < 12) return false;
    for (int i = 0; i < 3; ++i) masks[i] = readLE32(data + at + 4 * i);
    if (h.size == 40) offset += 12;
  } else if (bpp == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  std::vector<std::uint32_t> palette;
  if (bpp <= 8) {
    const std::size_t colors = h.colorsUsed ? h.colorsUsed : (1u << bpp);
    if (colors > 256) return false;
    if ((size - offset) / h.paletteEntry < colors) return false;
    for (std::size_t i = 0; i < colors; ++i) {
      const BYTE* c = data + offset + i * h.paletteEntry;
      palette.push_back(static_cast<std::uint32_t>(c[0]) | (static_cast<std::uint32_t>(c[1]) << 8) |
                        (static_cast<std::uint32_t>(c[2]) << 16));
    }
    offset += colors * h.paletteEntry;
    palette.resize(static_cast<std::size_t>(1) << bpp, 0);
  } else if (!bits && h.colorsUsed) {
    // A packed DIB of more than 8 bits may carry a table of colours to optimise for; the bits
    // follow it.
    if ((size - offset) / 4 < h.colorsUsed) return false;
    offset += static_cast<std::size_t>(h.colorsUsed) * 4;
  }
  if (!bits) {
    bits = data + offset;
    bitsSize = size - offset;
  }
  const std::size_t stride = dibStride(static_cast<int>(width), bpp);
  const std::size_t need = stride * static_cast<std::size_t>(height);
  if (bitsSize < need) return false;
  const int w = static_cast<int>(width), ht = static_cast<int>(height);
  out.bitCount = bpp;
  out.surface = makeSurface(w, ht, false);
  out.hasAlpha = false;
  out.alpha.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(ht), 255);
  for (int row = 0; row < ht; ++row) {
    const BYTE* line = bits + stride * static_cast<std::size_t>(row);
    int y = topDown ? row : ht - 1 - row;
    for (int x = 0; x < w; ++x) {
      std::uint32_t v = 0;
      switch (bpp) {
        case 1: v = palette[(line[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: v = palette[(line[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F]; break;
        case 8: v = palette[line[x]]; break;
        case 16: {
          std::uint32_t p = static_cast<std::uint32_t>(line[2 * x]) | (static_cast<std::uint32_t>(line[2 * x + 1]) << 8);
          v = (scaleChannel(p, masks[0]) << 16) | (scaleChannel(p, masks[1]) << 8) | scaleChannel(p, masks[2]);
          break;
        }
        case 24: v = static_cast<std::uint32_t>(line[3 * x]) | (static_cast<std::uint32_t>(line[3 * x + 1]) << 8) |
                     (static_cast<std::uint32_t>(line[3 * x + 2]) << 16);
          break;
        default: {
          std::uint32_t p = readLE32(line + 4 * x);
          if (h.compression == BI_BITFIELDS)
            v = (scaleChannel(p, masks[0]) << 16) | (scaleChannel(p, masks[1]) << 8) | scaleChannel(p, masks[2]);
          else
            v = p & 0xFFFFFF;
          BYTE a = static_cast<BYTE>(p >> 24);
          out.alpha[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] = a;
          if (a) out.hasAlpha = true;
        }
      }
      out.surface->set(x, y, v);
    }
  }
  out.mask.clear();
  if (icon) {
    const std::size_t maskStride = dibStride(w, 1);
    const std::size_t maskNeed = maskStride * static_cast<std::size_t>(ht);
    out.mask.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(ht), 0);
    // A 32-bit icon may leave its mask out; the alpha channel then decides.
    if (bitsSize >= need + maskNeed) {
      const BYTE* m = bits + need;
      for (int row = 0; row < ht; ++row) {
        int y = topDown ? row : ht - 1 - row;
        for (int x = 0; x < w; ++x)
          out.mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
              (m[maskStride * static_cast<std::size_t>(row) + static_cast<std::size_t>(x / 8)] >> (7 - x % 8)) & 1;
      }
    } else if (bpp != 32) {
      return false;
    }
  }
  return true;
}

std::shared_ptr<Object> bitmapObject(std::shared_ptr<Surface> surface) {
  auto o = std::make_shared<Object>();
  o->type = OBJ_BITMAP;
  o->bitmap = std::make_shared<Bitmap>();
  o->bitmap->surface = std::move(surface);
  return o;
}

std::shared_ptr<Surface> resized(const Surface& src, int w, int h) {
  auto s = makeSurface(w, h, src.mono);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      s->set(x, y, src.get(static_cast<int>(static_cast<long long>(x) * src.width / w),
                           static_cast<int>(static_cast<long long>(y) * src.height / h)));
  return s;
}

}  // namespace platform::gdi::detail

using namespace platform::gdi::detail;
using Guard = std::lock_guard<std::recursive_mutex>;

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  Guard g(lock());
  Dc* dc = hdc ? findDc(hdc) : nullptr;
  if (hdc && !dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (cx <= 0 || cy <= 0) {
    // As Windows: the 1x1 monochrome bitmap (a fresh one here, so it can be deleted).
    return static_cast<HBITMAP>(addObject(bitmapObject(makeSurface(1, 1, true))));
  }
  if (!validSize(cx, cy)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // A memory DC makes bitmaps like the one it holds: monochrome while it has its first one.
  bool mono = dc && dc->kind == DcKind::Memory && dc->bitmap->bitmap->surface->mono;
  return static_cast<HBITMAP>(addObject(bitmapObject(makeSurface(cx, cy, mono))));
}

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits) {
  if (nPlanes != 1 || !(nBitCount == 1 || nBitCount == 4 || nBitCount == 8 || nBitCount == 16 || nBitCount == 24 ||
                        nBitCount == 32)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (nWidth == 0 || nHeight == 0) return CreateCompatibleBitmap(nullptr, 0, 0);
  nWidth = std::abs(nWidth);
  nHeight = std::abs(nHeight);
  if (!validSize(nWidth, nHeight)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto s = makeSurface(nWidth, nHeight, nBitCount == 1);
  s->bitsPixel = static_cast<int>(nBitCount);
  if (lpBits) {
    const BYTE* b = static_cast<const BYTE*>(lpBits);
    const std::size_t stride = ((static_cast<std::size_t>(nWidth) * nBitCount + 15) / 16) * 2;
    for (int y = 0; y < nHeight; ++y) {
      const BYTE* line = b + stride * static_cast<std::size_t>(y);
      for (int x = 0; x < nWidth; ++x) {
        std::uint32_t v = 0;
        switch (nBitCount) {
          case 1: v = ((line[x / 8] >> (7 - x % 8)) & 1) ? 0xFFFFFF : 0; break;
          case 4: v = kVgaColor((line[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F); break;
          case 8: v = line[x] * 0x010101u; break;
          case 16: {
            std::uint32_t p = static_cast<std::uint32_t>(line[2 * x]) | (static_cast<std::uint32_t>(line[2 * x + 1]) << 8);
            v = (((p >> 10) & 0x1F) * 255 / 31 << 16) | (((p >> 5) & 0x1F) * 255 / 31 << 8) | ((p & 0x1F) * 255 / 31);
            break;
          }
          case 24: v = static_cast<std::uint32_t>(line[3 * x]) | (static_cast<std::uint32_t>(line[3 * x + 1]) << 8) |
                       (static_cast<std::uint32_t>(line[3 * x + 2]) << 16);
            break;
          default: v = (static_cast<std::uint32_t>(line[4 * x]) | (static_cast<std::uint32_t>(line[4 * x + 1]) << 8) |
                        (static_cast<std::uint32_t>(line[4 * x + 2]) << 16));
        }
        s->set(x, y, v);
      }
    }
  }
  Guard g(lock());
  return static_cast<HBITMAP>(addObject(bitmapObject(std::move(s))));
}

HBITMAP CreateBitmapIndirect(const BITMAP* pbm) {
  if (!pbm) return nullptr;
  return CreateBitmap(pbm->bmWidth, pbm->bmHeight, pbm->bmPlanes, pbm->bmBitsPixel, pbm->bmBits);
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection, DWORD) {
  if (ppvBits) *ppvBits = nullptr;
  if (!pbmi || hSection || usage != DIB_RGB_COLORS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER& h = pbmi->bmiHeader;
  const int bpp = h.biBitCount;
  long long width = h.biWidth, height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  if (h.biSize < 40 || (bpp != 24 && bpp != 32) || h.biCompression != BI_RGB || !validSize(width, height)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(lock());
  if (hdc && !findDc(hdc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto s = std::make_shared<Surface>();
  s->width = static_cast<int>(width);
  s->height = static_cast<int>(height);
  s->bytesPerPixel = bpp / 8;
  s->bitsPixel = bpp;
  const std::size_t stride = dibStride(s->width, bpp);
  s->storage.assign(stride * static_cast<std::size_t>(s->height), 0);
  if (h.biHeight < 0) {
    s->top = s->storage.data();
    s->rowBytes = static_cast<std::ptrdiff_t>(stride);
  } else {
    s->top = s->storage.data() + stride * static_cast<std::size_t>(s->height - 1);
    s->rowBytes = -static_cast<std::ptrdiff_t>(stride);
  }
  auto o = bitmapObject(s);
  o->bitmap->dibSection = true;
  o->bitmap->dib = h;
  o->bitmap->dib.biSize = 40;
  o->bitmap->dib.biSizeImage = static_cast<DWORD>(s->storage.size());
  if (ppvBits) *ppvBits = s->storage.data();
  return static_cast<HBITMAP>(addObject(o));
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT) {
  Guard g(lock());
  auto o = findObject(hbm);
  if (!o || o->type != OBJ_BITMAP || !lpbmi || !findDc(hdc) || lpbmi->bmiHeader.biSize < 40) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const Surface& s = *o->bitmap->surface;
  BITMAPINFOHEADER& h = lpbmi->bmiHeader;
  if (!lpvBits) {
    if (h.biBitCount == 0) {
      h.biWidth = s.width;
      h.biHeight = s.height;
      h.biPlanes = 1;
      h.biBitCount = static_cast<WORD>(s.bitsPixel);
      h.biCompression = BI_RGB;
    }
    h.biSizeImage = static_cast<DWORD>(dibStride(h.biWidth, h.biBitCount) * static_cast<std::size_t>(std::abs(h.biHeight)));
    return s.height;
  }
  const int bpp = h.biBitCount;
  if ((bpp != 1 && bpp != 24 && bpp != 32) || h.biCompression != BI_RGB || h.biWidth <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool topDown = h.biHeight < 0;
  const int lines = std::abs(h.biHeight);
  const int width = std::min<int>(h.biWidth, s.width);
  const std::size_t stride = dibStride(h.biWidth, bpp);
  if (bpp == 1) {
    lpbmi->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
    (&lpbmi->bmiColors[0])[1] = RGBQUAD{255, 255, 255, 0};
  }
  int copied = 0;
  for (UINT i = start; i < start + cLines && static_cast<int>(i) < lines; ++i) {
    int y = topDown ? static_cast<int>(i) : lines - 1 - static_cast<int>(i);
    if (y < 0 || y >= s.height) continue;
    BYTE* line = static_cast<BYTE*>(lpvBits) + stride * (i - start);
    std::memset(line, 0, stride);
    for (int x = 0; x < width; ++x) {
      std::uint32_t v = s.get(x, y);
      if (bpp == 32) {
        std::memcpy(line + 4 * x, &v, 4);
      } else if (bpp == 24) {
        line[3 * x] = static_cast<BYTE>(v);
        line[3 * x + 1] = static_cast<BYTE>(v >> 8);
        line[3 * x + 2] = static_cast<BYTE>(v >> 16);
      } else if (Surface::monoOf(v)) {
        line[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
      }
    }
    ++copied;
  }
  return copied;
}

int SetDIBits(HDC, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits, const BITMAPINFO* lpbmi, UINT) {
  Guard g(lock());
  auto o = findObject(hbm);
  if (!o || o->type != OBJ_BITMAP || !lpbmi || !lpBits) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const BITMAPINFOHEADER& h = lpbmi->bmiHeader;
  const std::size_t stride = dibStride(h.biWidth, h.biBitCount);
  const int lines = std::abs(h.biHeight);
  // Decode the whole DIB with its header and colour table, then take the lines asked for.
  std::size_t tableBytes = h.biBitCount <= 8 ? (h.biClrUsed ? h.biClrUsed : (1u << h.biBitCount)) * 4 : 0;
  if (h.biCompression == BI_BITFIELDS) tableBytes = 12;
  std::vector<BYTE> info(h.biSize + tableBytes);
  std::memcpy(info.data(), lpbmi, info.size());
  Decoded d;
  if (!decodeDib(info.data(), info.size(), static_cast<const BYTE*>(lpBits), stride * static_cast<std::size_t>(lines),
                 false, d)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Surface& s = *o->bitmap->surface;
  const bool topDown = h.biHeight < 0;
  int copied = 0;
  for (UINT i = start; i < start + cLines && static_cast<int>(i) < lines; ++i) {
    int y = topDown ? static_cast<int>(i) : lines - 1 - static_cast<int>(i);
    if (y >= s.height) continue;
    for (int x = 0; x < std::min(s.width, d.surface->width); ++x) s.set(x, y, d.surface->get(x, y));
    ++copied;
  }
  return copied;
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const void* pjBits, const BITMAPINFO* pbmi,
                       UINT iUsage) {
  if (!pbmih) return nullptr;
  HBITMAP b = CreateCompatibleBitmap(hdc, pbmih->biWidth, std::abs(pbmih->biHeight));
  if (b && (flInit & CBM_INIT) && pjBits && pbmi)
    SetDIBits(hdc, b, 0, static_cast<UINT>(std::abs(pbmih->biHeight)), pjBits, pbmi, iUsage);
  return b;
}

LONG GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits) {
  Guard g(lock());
  auto o = findObject(hbit);
  if (!o || o->type != OBJ_BITMAP || !lpvBits || cb <= 0) return 0;
  const Surface& s = *o->bitmap->surface;
  // 32 bits per pixel (1 for monochrome), rows padded to 16 bits.
  const int bpp = s.mono ? 1 : 32;
  const std::size_t stride = ((static_cast<std::size_t>(s.width) * bpp + 15) / 16) * 2;
  std::vector<BYTE> out(stride * static_cast<std::size_t>(s.height), 0);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      std::uint32_t v = s.get(x, y);
      BYTE* line = out.data() + stride * static_cast<std::size_t>(y);
      if (bpp == 32) std::memcpy(line + 4 * x, &v, 4);
      else if (v) line[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
  std::size_t n = std::min<std::size_t>(out.size(), static_cast<std::size_t>(cb));
  std::memcpy(lpvBits, out.data(), n);
  return static_cast<LONG>(n);
}

BOOL GetBitmapDimensionEx(HBITMAP hbit, LPSIZE lpsize) {
  Guard g(lock());
  auto o = findObject(hbit);
  if (!o || o->type != OBJ_BITMAP || !lpsize) return FALSE;
  *lpsize = o->bitmap->dimension;
  return TRUE;
}

namespace {

// Blits a decoded DIB through a temporary memory DC.
int blitDib(HDC hdc, int xDest, int yDest, int wDest, int hDest, int xSrc, int ySrc, int wSrc, int hSrc,
            const void* bits, const BITMAPINFO* bmi, DWORD rop, const char*) {
  if (!bits || !bmi) return 0;
  const BITMAPINFOHEADER& h = bmi->bmiHeader;
  std::size_t tableBytes = h.biBitCount <= 8 ? (h.biClrUsed ? h.biClrUsed : (1u << h.biBitCount)) * 4 : 0;
  if (h.biCompression == BI_BITFIELDS) tableBytes = 12;
  std::vector<BYTE> info(h.biSize + tableBytes);
  std::memcpy(info.data(), bmi, info.size());
  Decoded d;
  if (!decodeDib(info.data(), info.size(), static_cast<const BYTE*>(bits),
                 dibStride(h.biWidth, h.biBitCount) * static_cast<std::size_t>(std::abs(h.biHeight)), false, d))
    return 0;
  Guard g(lock());
  HBITMAP bmp = static_cast<HBITMAP>(addObject(bitmapObject(d.surface)));
  HDC mem = CreateCompatibleDC(hdc);
  HGDIOBJ old = SelectObject(mem, bmp);
  BOOL ok = StretchBlt(hdc, xDest, yDest, wDest, hDest, mem, xSrc, ySrc, wSrc, hSrc, rop);
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bmp);
  return ok ? hSrc : 0;
}

}  // namespace

int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                  int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi, UINT, DWORD rop) {
  return blitDib(hdc, xDest, yDest, DestWidth, DestHeight, xSrc, ySrc, SrcWidth, SrcHeight, lpBits, lpbmi, rop,
                 "StretchDIBits");
}

int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT, UINT cLines,
                      const void* lpvBits, const BITMAPINFO* lpbmi, UINT) {
  (void)cLines;
  return blitDib(hdc, xDest, yDest, static_cast<int>(w), static_cast<int>(h), xSrc, ySrc, static_cast<int>(w),
                 static_cast<int>(h), lpvBits, lpbmi, SRCCOPY, "SetDIBitsToDevice");
}
