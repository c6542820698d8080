// Fuzz harness of the image readers: the same bytes as a DIB (bitmap and icon image), a .bmp
// file, an .ico file and a .cur file, as the customization file's images and program icons reach
// them.
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_bitmap.h"
#include "platform/win32/cursor.h"
#include "tests/fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureHost();
  platform::gdi::detail::Decoded d;
  platform::gdi::detail::decodeDib(data, size, nullptr, 0, false, d);
  platform::gdi::detail::decodeDib(data, size, nullptr, 0, true, d);

  const std::u16string path = kipofuzz::writeFile("image", data, size);
  if (HANDLE h = LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)) DeleteObject(h);
  if (HANDLE h = LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION))
    DeleteObject(h);
  if (HANDLE h = LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE))
    DestroyIcon(static_cast<HICON>(h));
  if (HANDLE h = LoadImageW(nullptr, path.c_str(), IMAGE_CURSOR, 0, 0, LR_LOADFROMFILE))
    DestroyCursor(static_cast<HCURSOR>(h));
  if (HICON h = ExtractIconW(nullptr, path.c_str(), 0); h && h != reinterpret_cast<HICON>(1)) DestroyIcon(h);
  return 0;
}
