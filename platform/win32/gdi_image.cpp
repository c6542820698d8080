// Images: bitmaps and icons from .bmp/.ico files and from module resources (LoadImage,
// LoadBitmap, LoadIcon, ExtractIcon), the system icons, copying and drawing icons.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_bitmap.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/module.h"
#include "platform/win32/resource.h"
#include "platform/win32/window.h"

using namespace platform::gdi::detail;
using Guard = std::lock_guard<std::recursive_mutex>;

namespace {

constexpr DWORD kMaxImageFile = 64u * 1024 * 1024;

bool readFile(LPCWSTR path, std::vector<BYTE>& out) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;  // the open's error stands
  DWORD high = 0;
  DWORD size = GetFileSize(f, &high);
  if (high || size > kMaxImageFile) {
    CloseHandle(f);
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  out.resize(size);
  DWORD read = 0;
  BOOL ok = size == 0 || ReadFile(f, out.data(), size, &read, nullptr);
  CloseHandle(f);
  if (!ok || read != size) {
    SetLastError(ERROR_READ_FAULT);
    return false;
  }
  return true;
}

bool resourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type, const BYTE*& data, std::size_t& size) {
  HRSRC r = FindResourceW(module, name, type);
  if (!r) return false;
  HGLOBAL g = LoadResource(module, r);
  data = static_cast<const BYTE*>(LockResource(g));
  size = SizeofResource(module, r);
  return data != nullptr;
}

std::uint16_t le16(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const BYTE* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void map3dColors(Surface& s) {
  const std::uint32_t shadow = pixelOf(GetSysColor(COLOR_3DSHADOW)), face = pixelOf(GetSysColor(COLOR_3DFACE)),
                      light = pixelOf(GetSysColor(COLOR_3DLIGHT));
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      std::uint32_t v = s.get(x, y);
      if (v == 0x808080) s.set(x, y, shadow);
      else if (v == 0xC0C0C0) s.set(x, y, face);
      else if (v == 0xDFDFDF) s.set(x, y, light);
    }
}

HBITMAP bitmapFrom(Decoded& d, int cx, int cy, UINT flags) {
  std::shared_ptr<Surface> s = d.surface;
  if (flags & LR_LOADMAP3DCOLORS) map3dColors(*s);
  if (flags & LR_LOADTRANSPARENT) {
    std::uint32_t key = s->get(0, 0), window = pixelOf(GetSysColor(COLOR_WINDOW));
    for (int y = 0; y < s->height; ++y)
      for (int x = 0; x < s->width; ++x)
        if (s->get(x, y) == key) s->set(x, y, window);
  }
  if ((cx > 0 && cx != s->width) || (cy > 0 && cy != s->height))
    s = resized(*s, cx > 0 ? cx : s->width, cy > 0 ? cy : s->height);
  if (flags & LR_MONOCHROME) {
    s->mono = true;
    s->bitsPixel = 1;
    for (int y = 0; y < s->height; ++y)
      for (int x = 0; x < s->width; ++x) s->set(x, y, s->get(x, y));
  }
  auto o = bitmapObject(s);
  if ((flags & LR_CREATEDIBSECTION) && !s->mono) {
    // A bottom-up DIB section of the source's depth (24 bits, else 32).
    int bpp = d.bitCount == 24 ? 24 : 32;
    auto sec = std::make_shared<Surface>();
    sec->width = s->width;
    sec->height = s->height;
    sec->bytesPerPixel = bpp / 8;
    sec->bitsPixel = bpp;
    std::size_t stride = dibStride(s->width, bpp);
    sec->storage.assign(stride * static_cast<std::size_t>(s->height), 0);
    sec->top = sec->storage.data() + stride * static_cast<std::size_t>(s->height - 1);
    sec->rowBytes = -static_cast<std::ptrdiff_t>(stride);
    for (int y = 0; y < s->height; ++y)
      for (int x = 0; x < s->width; ++x) sec->set(x, y, s->get(x, y));
    o->bitmap->surface = sec;
    o->bitmap->dibSection = true;
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = s->width;
    h.biHeight = s->height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bpp);
    h.biSizeImage = static_cast<DWORD>(sec->storage.size());
    o->bitmap->dib = h;
  }
  Guard g(lock());
  return static_cast<HBITMAP>(addObject(o));
}

// ---- Icons ----

std::shared_ptr<Icon> iconFrom(Decoded& d, int cx, int cy) {
  auto icon = std::make_shared<Icon>();
  const int w = d.surface->width, h = d.surface->height;
  const int tw = cx > 0 ? cx : w, th = cy > 0 ? cy : h;
  icon->width = tw;
  icon->height = th;
  icon->color = makeSurface(tw, th, false);
  icon->mask.assign(static_cast<std::size_t>(tw) * static_cast<std::size_t>(th), 0);
  if (d.hasAlpha) icon->alpha.assign(icon->mask.size(), 255);
  for (int y = 0; y < th; ++y)
    for (int x = 0; x < tw; ++x) {
      int sx = static_cast<int>(static_cast<long long>(x) * w / tw), sy = static_cast<int>(static_cast<long long>(y) * h / th);
      std::size_t si = static_cast<std::size_t>(sy) * static_cast<std::size_t>(w) + static_cast<std::size_t>(sx);
      std::size_t ti = static_cast<std::size_t>(y) * static_cast<std::size_t>(tw) + static_cast<std::size_t>(x);
      icon->color->set(x, y, d.surface->get(sx, sy));
      icon->mask[ti] = d.mask.empty() ? (d.hasAlpha && d.alpha[si] == 0) : d.mask[si];
      if (d.hasAlpha) icon->alpha[ti] = d.alpha[si];
    }
  return icon;
}

struct Entry {
  int width, height, bits;
  std::size_t index;
};

// The entry whose size is nearest the one asked, the deepest colours among equals.
std::size_t bestEntry(const std::vector<Entry>& entries, int cx, int cy) {
  std::size_t best = 0;
  long bestScore = -1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    long score = std::abs(entries[i].width - cx) + std::abs(entries[i].height - cy);
    score = score * 64 - entries[i].bits;
    if (bestScore < 0 || score < bestScore) {
      bestScore = score;
      best = i;
    }
  }
  return best;
}

// An .ico/.cur file's bytes.
bool iconFromFile(const std::vector<BYTE>& f, int cx, int cy, std::shared_ptr<Icon>& out) {
  if (f.size() < 6 || le16(f.data()) != 0 || (le16(f.data() + 2) != 1 && le16(f.data() + 2) != 2)) return false;
  const bool cursor = le16(f.data() + 2) == 2;
  const std::size_t count = le16(f.data() + 4);
  if (count == 0 || f.size() < 6 + count * 16) return false;
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const BYTE* e = f.data() + 6 + i * 16;
    entries.push_back(Entry{e[0] ? e[0] : 256, e[1] ? e[1] : 256, cursor ? 0 : le16(e + 6), i});
  }
  const BYTE* e = f.data() + 6 + bestEntry(entries, cx, cy) * 16;
  std::uint32_t bytes = le32(e + 8), offset = le32(e + 12);
  if (offset > f.size() || bytes > f.size() - offset) return false;
  Decoded d;
  if (!decodeDib(f.data() + offset, bytes, nullptr, 0, true, d)) return false;
  out = iconFrom(d, cx, cy);
  out->isIcon = !cursor;
  if (cursor) out->hotspot = POINT{le16(e + 4), le16(e + 6)};
  return true;
}

bool iconFromResource(HMODULE module, LPCWSTR name, bool cursor, int cx, int cy, std::shared_ptr<Icon>& out) {
  const BYTE* group = nullptr;
  std::size_t size = 0;
  if (!resourceBytes(module, name, cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON, group, size)) return false;
  if (size < 6) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  const std::size_t count = le16(group + 4);
  if (count == 0 || size < 6 + count * 14) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const BYTE* e = group + 6 + i * 14;
    int w = cursor ? le16(e) : (e[0] ? e[0] : 256);
    int h = cursor ? le16(e + 2) / 2 : (e[1] ? e[1] : 256);
    entries.push_back(Entry{w, h, le16(e + 6), i});
  }
  const BYTE* e = group + 6 + bestEntry(entries, cx, cy) * 14;
  const WORD id = le16(e + 12);
  const BYTE* image = nullptr;
  std::size_t imageSize = 0;
  if (!resourceBytes(module, MAKEINTRESOURCEW(id), cursor ? RT_CURSOR : RT_ICON, image, imageSize)) return false;
  POINT hotspot{0, 0};
  if (cursor) {
    if (imageSize < 4) return false;
    hotspot = POINT{le16(image), le16(image + 2)};
    image += 4;
    imageSize -= 4;
  }
  Decoded d;
  if (!decodeDib(image, imageSize, nullptr, 0, true, d)) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  out = iconFrom(d, cx, cy);
  out->isIcon = !cursor;
  out->hotspot = hotspot;
  return true;
}

// The system's icons, drawn once: a window for the application icon, a red disc for the error
// icon, a blue disc for the question and information icons, a yellow triangle for the warning.
std::shared_ptr<Icon> systemIcon(LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  if (id < 32512 || id > 32517) return nullptr;
  auto icon = std::make_shared<Icon>();
  icon->width = icon->height = 32;
  icon->color = makeSurface(32, 32, false);
  icon->mask.assign(32 * 32, 1);
  icon->shared = true;
  auto put = [&](int x, int y, std::uint32_t v) {
    icon->color->set(x, y, v);
    icon->mask[static_cast<std::size_t>(y) * 32 + static_cast<std::size_t>(x)] = 0;
  };
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      int dx = 2 * x - 31, dy = 2 * y - 31;
      bool disc = dx * dx + dy * dy <= 30 * 30;
      switch (id) {
        case 32512:
        case 32517:
          if (x >= 2 && x < 30 && y >= 4 && y < 28) put(x, y, y < 9 ? 0x0054E3 : 0xFFFFFF);
          break;
        case 32513:
          if (disc) put(x, y, (std::abs(dx - dy) < 5 || std::abs(dx + dy) < 5) && dx * dx + dy * dy < 18 * 18 ? 0xFFFFFF : 0xE00000);
          break;
        case 32515:
          if (y >= 2 && y < 30 && std::abs(dx) <= y - 1) put(x, y, (x >= 15 && x <= 16 && y >= 10 && y < 24) ? 0 : 0xFFD800);
          break;
        default:
          if (disc) put(x, y, (x >= 15 && x <= 16 && y >= 8 && y < 24) ? 0xFFFFFF : 0x1E5AC8);
      }
    }
  return icon;
}

struct IconCache {
  std::map<std::pair<HMODULE, std::u16string>, HICON> shared;
};
IconCache& iconCache() {
  static IconCache* c = new IconCache();
  return *c;
}

std::u16string nameKey(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return u"#" + platform::text::fromUtf8(std::to_string(reinterpret_cast<ULONG_PTR>(name)));
  return platform::text::upcased(platform::text::view(name));
}

HICON loadIcon(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
  const bool cursor = type == IMAGE_CURSOR;
  if (cx == 0 && cy == 0) cx = cy = 32;
  if (cx == 0) cx = cy;
  if (cy == 0) cy = cx;
  std::shared_ptr<Icon> icon;
  if (flags & LR_LOADFROMFILE) {
    std::vector<BYTE> f;
    if (!readFile(name, f)) return nullptr;
    if (!iconFromFile(f, cx, cy, icon)) {
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
  } else if (!hInst) {
    icon = systemIcon(name);
    if (!icon) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
  } else if (!iconFromResource(hInst, name, cursor, cx, cy, icon)) {
    return nullptr;
  }
  icon->shared = icon->shared || (flags & LR_SHARED);
  Guard g(lock());
  return addIcon(icon);
}

std::shared_ptr<Surface> copySurface(const Surface& s) {
  auto c = makeSurface(s.width, s.height, s.mono);
  c->bitsPixel = s.bitsPixel;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) c->set(x, y, s.get(x, y));
  return c;
}

}  // namespace

HANDLE LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (type == IMAGE_ICON || type == IMAGE_CURSOR) {
    if ((fuLoad & LR_SHARED) && !(fuLoad & LR_LOADFROMFILE)) {
      Guard g(lock());
      auto key = std::make_pair(hInst, nameKey(name));
      auto& cache = iconCache().shared;
      if (auto it = cache.find(key); it != cache.end() && findIcon(it->second)) return it->second;
      HICON h = loadIcon(hInst, name, type, cx, cy, fuLoad);
      if (h) cache[key] = h;
      return h;
    }
    return loadIcon(hInst, name, type, cx, cy, fuLoad);
  }
  if (type != IMAGE_BITMAP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Decoded d;
  if (fuLoad & LR_LOADFROMFILE) {
    std::vector<BYTE> f;
    if (!readFile(name, f)) return nullptr;
    BITMAPFILEHEADER fh{};
    if (f.size() < sizeof fh + 12) {  // the smallest header is the core form's
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
    std::memcpy(&fh, f.data(), sizeof fh);
    const std::size_t header = sizeof fh;
    if (fh.bfType != 0x4D42 || fh.bfOffBits < header + 12 || fh.bfOffBits > f.size() ||
        !decodeDib(f.data() + header, fh.bfOffBits - header, f.data() + fh.bfOffBits, f.size() - fh.bfOffBits, false,
                   d)) {
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
  } else {
    if (!hInst) {  // the system's bitmaps are not offered
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
    const BYTE* data = nullptr;
    std::size_t size = 0;
    if (!resourceBytes(hInst, name, RT_BITMAP, data, size)) return nullptr;
    if (!decodeDib(data, size, nullptr, 0, false, d)) {
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
  }
  return bitmapFrom(d, (fuLoad & LR_DEFAULTSIZE) && cx == 0 ? 0 : cx, cy, fuLoad);
}

HANDLE LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad) {
  if (IS_INTRESOURCE(name)) return LoadImageW(hInst, reinterpret_cast<LPCWSTR>(name), type, cx, cy, fuLoad);
  std::u16string w = platform::text::ansiToWide(name ? name : "");
  return LoadImageW(hInst, w.c_str(), type, cx, cy, fuLoad);
}

HBITMAP LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
  return static_cast<HBITMAP>(LoadImageW(hInstance, lpBitmapName, IMAGE_BITMAP, 0, 0, 0));
}

HICON LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  return static_cast<HICON>(LoadImageW(hInstance, lpIconName, IMAGE_ICON, 32, 32, LR_SHARED));
}

HICON CopyIcon(HICON hIcon) {
  Guard g(lock());
  auto icon = liveIcon(hIcon);
  if (!icon) return nullptr;
  auto copy = std::make_shared<Icon>(*icon);
  copy->color = copySurface(*icon->color);
  copy->shared = false;
  return addIcon(copy);
}

HANDLE CopyImage(HANDLE h, UINT type, int cx, int cy, UINT flags) {
  Guard g(lock());
  if (type == IMAGE_BITMAP) {
    auto o = findObject(h);
    if (!o || o->type != OBJ_BITMAP) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    const Surface& s = *o->bitmap->surface;
    auto copy = (cx > 0 || cy > 0) ? resized(s, cx > 0 ? cx : s.width, cy > 0 ? cy : s.height) : copySurface(s);
    if (flags & LR_MONOCHROME) {
      copy->mono = true;
      copy->bitsPixel = 1;
      for (int y = 0; y < copy->height; ++y)
        for (int x = 0; x < copy->width; ++x) copy->set(x, y, copy->get(x, y));
    }
    HANDLE out = addObject(bitmapObject(copy));
    if (flags & LR_COPYDELETEORG) DeleteObject(h);
    return out;
  }
  if (type == IMAGE_ICON || type == IMAGE_CURSOR) {
    auto icon = liveIcon(static_cast<HICON>(h));
    if (!icon) return nullptr;
    Decoded d;
    d.surface = icon->color;
    d.mask = icon->mask;
    d.alpha = icon->alpha;
    d.hasAlpha = !icon->alpha.empty();
    auto copy = iconFrom(d, cx > 0 ? cx : icon->width, cy > 0 ? cy : icon->height);
    copy->isIcon = icon->isIcon;
    copy->hotspot = icon->hotspot;
    HICON out = addIcon(copy);
    if (flags & LR_COPYDELETEORG) DestroyIcon(static_cast<HICON>(h));
    return out;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

HICON CreateIconIndirect(PICONINFO piconinfo) {
  if (!piconinfo) return nullptr;
  Guard g(lock());
  auto mask = findObject(piconinfo->hbmMask);
  auto color = piconinfo->hbmColor ? findObject(piconinfo->hbmColor) : nullptr;
  if (!mask || mask->type != OBJ_BITMAP || (piconinfo->hbmColor && (!color || color->type != OBJ_BITMAP))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const Surface& m = *mask->bitmap->surface;
  Decoded d;
  if (color) {
    d.surface = copySurface(*color->bitmap->surface);
  } else {
    // A monochrome icon: the AND mask above the XOR image in one bitmap twice as high.
    d.surface = makeSurface(m.width, m.height / 2, false);
    for (int y = 0; y < m.height / 2; ++y)
      for (int x = 0; x < m.width; ++x) d.surface->set(x, y, m.get(x, y + m.height / 2));
  }
  const int w = d.surface->width, h = d.surface->height;
  d.mask.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  for (int y = 0; y < std::min(h, m.height); ++y)
    for (int x = 0; x < std::min(w, m.width); ++x)
      d.mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] = m.get(x, y) ? 1 : 0;
  auto icon = iconFrom(d, w, h);
  icon->isIcon = piconinfo->fIcon != FALSE;
  icon->hotspot = POINT{static_cast<LONG>(piconinfo->xHotspot), static_cast<LONG>(piconinfo->yHotspot)};
  return addIcon(icon);
}

BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo) {
  Guard g(lock());
  auto icon = findIcon(hIcon);
  if (!icon || !piconinfo) {
    SetLastError(ERROR_INVALID_ICON_HANDLE);
    return FALSE;
  }
  auto mask = makeSurface(icon->width, icon->height, true);
  for (int y = 0; y < icon->height; ++y)
    for (int x = 0; x < icon->width; ++x)
      if (icon->mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(icon->width) + static_cast<std::size_t>(x)])
        mask->set(x, y, 0xFFFFFF);
  piconinfo->fIcon = icon->isIcon;
  piconinfo->xHotspot = icon->isIcon ? static_cast<DWORD>(icon->width / 2) : static_cast<DWORD>(icon->hotspot.x);
  piconinfo->yHotspot = icon->isIcon ? static_cast<DWORD>(icon->height / 2) : static_cast<DWORD>(icon->hotspot.y);
  piconinfo->hbmMask = static_cast<HBITMAP>(addObject(bitmapObject(mask)));
  piconinfo->hbmColor = static_cast<HBITMAP>(addObject(bitmapObject(copySurface(*icon->color))));
  return TRUE;
}

namespace {

BOOL drawIcon(HDC hdc, int x, int y, HICON hIcon, int cx, int cy, HBRUSH background, UINT flags, const char* call) {
  Guard g(lock());
  Dc* dc = findDc(hdc);
  auto icon = findIcon(hIcon);
  if (!dc || !icon) {
    SetLastError(icon ? ERROR_INVALID_HANDLE : ERROR_INVALID_ICON_HANDLE);
    return FALSE;
  }
  if (cx == 0) cx = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : icon->width;
  if (cy == 0) cy = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : icon->height;
  Target t;
  if (!targetOf(*dc, t)) return FALSE;
  RECT d = toDevice(*dc, RECT{x, y, x + cx, y + cy});
  record(*dc, hdc, call, d);
  if (background)
    if (auto b = brushFor(background)) fillWithBrush(*dc, t, d, *b);
  if (!(flags & DI_NORMAL)) flags |= DI_NORMAL;
  for (const RECT& c : t.clip) {
    RECT s = d;
    OffsetRect(&s, t.offset.x, t.offset.y);
    RECT r;
    if (!IntersectRect(&r, &c, &s)) continue;
    for (LONG py = r.top; py < r.bottom; ++py)
      for (LONG px = r.left; px < r.right; ++px) {
        int ix = static_cast<int>(static_cast<long long>(px - s.left) * icon->width / cx);
        int iy = static_cast<int>(static_cast<long long>(py - s.top) * icon->height / cy);
        std::size_t i = static_cast<std::size_t>(iy) * static_cast<std::size_t>(icon->width) + static_cast<std::size_t>(ix);
        std::uint32_t dst = t.surface->get(px, py), img = icon->color->get(ix, iy);
        std::uint32_t andMask = icon->mask[i] ? 0xFFFFFF : 0;
        std::uint32_t out;
        if ((flags & DI_NORMAL) == DI_MASK) {
          out = dst & andMask;
        } else if ((flags & DI_NORMAL) == DI_IMAGE) {
          out = img;
        } else if (!icon->alpha.empty()) {
          unsigned a = icon->alpha[i];
          auto mix = [&](int shift) {
            unsigned s = (img >> shift) & 0xFF, b = (dst >> shift) & 0xFF;
            return ((s * a + b * (255 - a)) / 255) << shift;
          };
          out = mix(16) | mix(8) | mix(0);
        } else {
          out = (dst & andMask) ^ img;
        }
        t.surface->set(px, py, out);
      }
  }
  return TRUE;
}

}  // namespace

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
  return drawIcon(hDC, X, Y, hIcon, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE, "DrawIcon");
}

BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT, HBRUSH hbrFlickerFreeDraw,
                UINT diFlags) {
  return drawIcon(hdc, xLeft, yTop, hIcon, cxWidth, cyWidth, hbrFlickerFreeDraw, diFlags, "DrawIconEx");
}

// ---- Icons of program files ----

namespace {

// An icon group's name as enumerated: a number, or a text handed back to FindResourceW as it
// is (which reads a text "#123" as the number 123 and refuses "#abc", as Windows does).
struct GroupName {
  WORD id = 0;
  std::u16string text;
  LPCWSTR arg() const { return id ? MAKEINTRESOURCEW(id) : text.c_str(); }
};

BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto* names = reinterpret_cast<std::vector<GroupName>*>(param);
  if (IS_INTRESOURCE(name))
    names->push_back(GroupName{static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)), {}});
  else
    names->push_back(GroupName{0, std::u16string(platform::text::view(name))});
  return TRUE;
}

// The icon groups of a file, opened as data. Returns the number of groups, or -1 when the file
// is missing (error set), -2 when it is not a module.
int extract(LPCWSTR file, int index, int count, int size, HICON* out) {
  HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    std::vector<BYTE> f;
    if (!readFile(file, f)) return -1;
    std::shared_ptr<Icon> icon;
    if (!iconFromFile(f, size, size, icon)) return -2;
    if (out && index == 0 && count > 0) {
      Guard g(lock());
      out[0] = addIcon(icon);
    }
    return 1;
  }
  std::vector<GroupName> names;
  EnumResourceNamesW(module, RT_GROUP_ICON, &collectName, reinterpret_cast<LONG_PTR>(&names));
  if (out) {
    for (int k = 0; k < count; ++k) {
      out[k] = nullptr;
      GroupName name;
      if (index < 0) {
        // A negative index names the group by its number; there is none above 0xFFFF.
        if (k > 0) break;
        const long long id = -static_cast<long long>(index);
        if (id > 0xFFFF) break;
        name.id = static_cast<WORD>(id);
      } else if (static_cast<std::size_t>(index) + static_cast<std::size_t>(k) < names.size()) {
        name = names[static_cast<std::size_t>(index) + static_cast<std::size_t>(k)];
      } else {
        break;
      }
      std::shared_ptr<Icon> icon;
      if (iconFromResource(module, name.arg(), false, size, size, icon)) {
        Guard g(lock());
        out[k] = addIcon(icon);
      }
    }
  }
  FreeLibrary(module);
  return static_cast<int>(names.size());
}

}  // namespace

HICON ExtractIconW(HINSTANCE, LPCWSTR pszExeFileName, UINT nIconIndex) {
  if (!pszExeFileName) return nullptr;
  const int index = static_cast<int>(nIconIndex);
  if (index == -1) {
    int n = extract(pszExeFileName, 0, 0, 32, nullptr);
    return reinterpret_cast<HICON>(static_cast<INT_PTR>(std::max(n, 0)));
  }
  HICON icon = nullptr;
  int n = extract(pszExeFileName, index, 1, 32, &icon);
  if (n == -2) return reinterpret_cast<HICON>(static_cast<INT_PTR>(1));
  return icon;
}

UINT ExtractIconExW(LPCWSTR lpszFile, int nIconIndex, HICON* phiconLarge, HICON* phiconSmall, UINT nIcons) {
  if (!lpszFile) return 0;
  if (nIconIndex == -1 && !phiconLarge && !phiconSmall) return static_cast<UINT>(std::max(extract(lpszFile, 0, 0, 32, nullptr), 0));
  UINT got = 0;
  const int count = static_cast<int>(std::min<UINT>(nIcons, 1024));
  if (phiconLarge) {
    extract(lpszFile, nIconIndex, count, 32, phiconLarge);
    for (int i = 0; i < count; ++i) got += phiconLarge[i] ? 1 : 0;
  }
  if (phiconSmall) {
    extract(lpszFile, nIconIndex, count, 16, phiconSmall);
    if (!phiconLarge)
      for (int i = 0; i < count; ++i) got += phiconSmall[i] ? 1 : 0;
  }
  return got;
}
