// Image lists: objects of the process holding the bitmaps (with their masks or mask colours) and
// icons they were given, one image per call, the image size, flags and background colour. A
// handle that is not a live image list is refused, never followed.
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/win32/controls/commctrl.h"
#include "platform/win32/controls/imagelist_draw.h"
#include "platform/win32/gdi.h"

namespace {

struct Image {
  HBITMAP bitmap = nullptr;
  HBITMAP mask = nullptr;
  COLORREF maskColor = CLR_NONE;
  HICON icon = nullptr;
};

struct ImageList {
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
  int grow = 0;
  COLORREF background = CLR_NONE;
  std::vector<Image> images;
};

std::mutex g_mutex;
std::unordered_set<ImageList*>& lists() {
  static auto* s = new std::unordered_set<ImageList*>;
  return *s;
}

// Under g_mutex: the list behind a handle, or null.
ImageList* get(HIMAGELIST h) {
  auto* p = reinterpret_cast<ImageList*>(h);
  return lists().count(p) ? p : nullptr;
}

int append(HIMAGELIST himl, const Image& image) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l) return -1;
  l->images.push_back(image);
  return static_cast<int>(l->images.size()) - 1;
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow) {
  if (cx <= 0 || cy <= 0 || cInitial < 0) return nullptr;
  auto* l = new ImageList;
  l->cx = cx;
  l->cy = cy;
  l->flags = flags;
  l->grow = cGrow;
  l->images.reserve(static_cast<std::size_t>(cInitial));
  std::lock_guard lock(g_mutex);
  lists().insert(l);
  return reinterpret_cast<HIMAGELIST>(l);
}

BOOL ImageList_Destroy(HIMAGELIST himl) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l) return FALSE;
  lists().erase(l);
  delete l;
  return TRUE;
}

int ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask) {
  if (!hbmImage) return -1;
  Image image;
  image.bitmap = hbmImage;
  image.mask = hbmMask;
  return append(himl, image);
}

int ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask) {
  if (!hbmImage) return -1;
  Image image;
  image.bitmap = hbmImage;
  image.maskColor = crMask;
  return append(himl, image);
}

int ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon) {
  if (!hicon) return -1;
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l || i < -1 || i >= static_cast<int>(l->images.size())) return -1;
  Image image;
  image.icon = hicon;
  if (i == -1) {
    l->images.push_back(image);
    return static_cast<int>(l->images.size()) - 1;
  }
  l->images[static_cast<std::size_t>(i)] = image;
  return i;
}

BOOL ImageList_Replace(HIMAGELIST himl, int i, HBITMAP hbmImage, HBITMAP hbmMask) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l || !hbmImage || i < 0 || i >= static_cast<int>(l->images.size())) return FALSE;
  l->images[static_cast<std::size_t>(i)] = Image{hbmImage, hbmMask, CLR_NONE, nullptr};
  return TRUE;
}

BOOL ImageList_Remove(HIMAGELIST himl, int i) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l || i < -1 || i >= static_cast<int>(l->images.size())) return FALSE;
  if (i == -1) l->images.clear();
  else l->images.erase(l->images.begin() + i);
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST himl) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  return l ? static_cast<int>(l->images.size()) : 0;
}

BOOL ImageList_SetImageCount(HIMAGELIST himl, UINT uNewCount) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l) return FALSE;
  l->images.resize(uNewCount);
  return TRUE;
}

BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l || !cx || !cy) return FALSE;
  *cx = l->cx;
  *cy = l->cy;
  return TRUE;
}

BOOL ImageList_SetIconSize(HIMAGELIST himl, int cx, int cy) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l || cx <= 0 || cy <= 0) return FALSE;
  // A new size empties the list, as Windows does.
  l->cx = cx;
  l->cy = cy;
  l->images.clear();
  return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST himl, COLORREF clrBk) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  if (!l) return CLR_NONE;
  COLORREF old = l->background;
  l->background = clrBk;
  return old;
}

COLORREF ImageList_GetBkColor(HIMAGELIST himl) {
  std::lock_guard lock(g_mutex);
  ImageList* l = get(himl);
  return l ? l->background : CLR_NONE;
}

BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle) {
  if (fStyle != ILD_NORMAL || !hdcDst) return FALSE;
  Image image;
  int cx = 0, cy = 0;
  {
    std::lock_guard lock(g_mutex);
    ImageList* l = get(himl);
    if (!l || i < 0 || i >= static_cast<int>(l->images.size())) return FALSE;
    image = l->images[static_cast<std::size_t>(i)];
    cx = l->cx;
    cy = l->cy;
  }
  if (image.icon) return DrawIconEx(hdcDst, x, y, image.icon, cx, cy, 0, nullptr, DI_NORMAL);
  if (!image.bitmap) return FALSE;
  HDC source = CreateCompatibleDC(hdcDst);
  if (!source) return FALSE;
  HGDIOBJ old = SelectObject(source, image.bitmap);
  // A bitmap that no longer exists cannot be selected.
  const BOOL drawn = old ? BitBlt(hdcDst, x, y, cx, cy, source, 0, 0, SRCCOPY) : FALSE;
  if (old) SelectObject(source, old);
  DeleteDC(source);
  return drawn;
}
