// Fuzz harness of module resource sections and the version block: the first byte chooses what
// the rest is, so the fuzzer reaches each reader without first building a valid section.
//   0: a whole section (its trailer is added), loaded as a data module and walked;
//   1: a version block, read through GetFileVersionInfoW and walked by VerQueryValueW;
//   2: a string table block, read by LoadStringW;
//   3: an icon image under a valid group, loaded by LoadImageW and ExtractIconW.
#include <cstring>
#include <string>
#include <vector>

#include "platform/host/module_format.h"
#include "platform/win32/gdi.h"
#include "platform/win32/module.h"
#include "platform/win32/resource.h"
#include "platform/win32/cursor.h"
#include "platform/win32/version.h"
#include "tests/fuzz/fuzz_host.h"

namespace rsrc = platform::rsrc;

namespace {

std::vector<std::uint8_t> withTrailer(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out(data, data + size);
  const std::uint32_t n = static_cast<std::uint32_t>(size), crc = rsrc::crc32(data, size);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  out.insert(out.end(), rsrc::kTrailerMagic.begin(), rsrc::kTrailerMagic.end());
  return out;
}

BOOL CALLBACK countName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR) {
  HRSRC r = FindResourceW(module, name, type);
  if (r) {
    HGLOBAL g = LoadResource(module, r);
    const auto* p = static_cast<const std::uint8_t*>(LockResource(g));
    const DWORD n = SizeofResource(module, r);
    volatile std::uint8_t sum = 0;
    for (DWORD i = 0; p && i < n; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
  }
  return TRUE;
}

void walkModule(const std::u16string& path) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return;
  for (WORD type : {1, 2, 3, 4, 5, 6, 10, 12, 14, 16, 23, 24})
    EnumResourceNamesW(module, MAKEINTRESOURCEW(type), &countName, 0);
  char16_t text[64];
  for (UINT id : {0u, 1u, 15u, 16u, 100u, 65535u}) {
    LoadStringW(module, id, text, 64);
    LPWSTR direct = nullptr;
    LoadStringW(module, id, reinterpret_cast<LPWSTR>(&direct), 0);
  }
  for (WORD id : {1, 2, 100}) {
    if (HANDLE h = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)) DeleteObject(h);
    if (HANDLE h = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0)) DestroyIcon(static_cast<HICON>(h));
  }
  if (HANDLE h = LoadImageW(module, MAKEINTRESOURCEW(3), IMAGE_CURSOR, 0, 0, 0)) DestroyCursor(static_cast<HCURSOR>(h));
  FreeLibrary(module);
}

void walkVersion(const std::u16string& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (!size) return;
  std::vector<std::uint8_t> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return;
  for (const char16_t* query : {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904B0\\FileVersion",
                                u"\\StringFileInfo\\040904E4\\ProductName", u"\\StringFileInfo"}) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), query, &value, &length) && value) {
      volatile std::uint8_t sum = 0;
      const auto* p = static_cast<const std::uint8_t*>(value);
      // A text's length counts characters, the rest bytes; both lie inside the block.
      for (UINT i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    }
  }
}

void writeAndWalk(const std::vector<std::uint8_t>& file, bool version, bool icons) {
  static unsigned counter = 0;
  const std::string name = "module" + std::to_string(counter++ % 8) + ".dll";
  const std::u16string path = kipofuzz::writeFile(name, file.data(), file.size());
  walkModule(path);
  if (version) walkVersion(path);
  if (icons) {
    ExtractIconW(nullptr, path.c_str(), static_cast<UINT>(-1));
    if (HICON h = ExtractIconW(nullptr, path.c_str(), 0); h && h != reinterpret_cast<HICON>(1)) DestroyIcon(h);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureHost();
  if (size < 1) return 0;
  const std::uint8_t mode = data[0] % 4;
  ++data;
  --size;
  if (mode == 0) {
    std::vector<rsrc::Entry> entries;
    std::string problem;
    rsrc::parseSection(data, size, entries, problem);
    writeAndWalk(withTrailer(data, size), true, true);
    return 0;
  }
  const std::vector<std::uint8_t> bytes(data, data + size);
  std::vector<rsrc::Resource> resources;
  if (mode == 1) {
    resources.push_back({rsrc::Id::of(rsrc::kTypeVersion), rsrc::Id::of(1), 0x0409, bytes});
  } else if (mode == 2) {
    resources.push_back({rsrc::Id::of(rsrc::kTypeString), rsrc::Id::of(1), 0x0409, bytes});
    resources.push_back({rsrc::Id::of(rsrc::kTypeString), rsrc::Id::of(7), 0x0409, bytes});
  } else {
    // One 16x16 image in group 1, and the same bytes as a bitmap.
    const std::vector<std::uint8_t> group = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 1, 0};
    resources.push_back({rsrc::Id::of(rsrc::kTypeIcon), rsrc::Id::of(1), 0, bytes});
    resources.push_back({rsrc::Id::of(rsrc::kTypeGroupIcon), rsrc::Id::of(1), 0, group});
    resources.push_back({rsrc::Id::of(rsrc::kTypeBitmap), rsrc::Id::of(2), 0, bytes});
    resources.push_back({rsrc::Id::of(1), rsrc::Id::of(3), 0, bytes});  // a cursor: hotspot then image
    resources.push_back({rsrc::Id::of(12), rsrc::Id::of(3), 0, {0, 0, 2, 0, 1, 0, 16, 0, 32, 0, 1, 0, 32, 0, 0, 0, 0, 0, 3, 0}});
  }
  writeAndWalk(rsrc::writeResourceFile(resources), mode == 1, mode == 3);
  return 0;
}
