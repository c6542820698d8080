// Inside the graphics facility: decoding the DIB layout (.bmp files, bitmap resources, icon
// images) and making bitmap objects, shared by gdi_bitmap.cpp and gdi_image.cpp.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/win32/gdi_internal.h"

namespace platform::gdi::detail {

struct Decoded {
  std::shared_ptr<Surface> surface;  // 32-bit pixels, top row first
  int bitCount = 0;                  // of the source
  std::vector<BYTE> mask;            // icons: 1 = transparent (AND mask), per pixel
  std::vector<BYTE> alpha;           // 32-bit sources: per pixel
  bool hasAlpha = false;
};

// `data` starts with a header of one of the DIB forms (core, info, V2 to V5) and its colour
// table; the bits follow unless given apart. `icon`: the height counts the XOR image and the AND
// mask. Nothing is read outside `data` and `bits`. False for a header of another size, anything
// that does not fit its bytes, compressed images (RLE, PNG) and images larger than the limit.
bool decodeDib(const BYTE* data, std::size_t size, const BYTE* bits, std::size_t bitsSize, bool icon, Decoded& out);
bool validSize(long long w, long long h);
std::size_t dibStride(int width, int bits);
std::shared_ptr<Object> bitmapObject(std::shared_ptr<Surface> surface);
std::shared_ptr<Surface> resized(const Surface& src, int w, int h);
inline std::uint32_t kVgaColor(int i) {
  static const std::uint32_t colors[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                           0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                           0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  return colors[i & 15];
}

}  // namespace platform::gdi::detail
