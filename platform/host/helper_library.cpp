// Loading of the helper libraries (helper_library.h) with dlopen, from the platform library's
// own folder.
#include "platform/host/helper_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/error.h"

namespace platform::helper {

namespace {
const char kAnchor = 0;  // an address inside the platform library
}  // namespace

std::string platformFolder() {
  Dl_info info{};
  if (!dladdr(&kAnchor, &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const void* loadTable(const char* file, const char* entry, std::uint32_t tableSize, bool report, DWORD& error) {
  std::string folder = platformFolder();
  if (folder.empty()) {
    if (report) std::fprintf(stderr, "platform: no folder to load %s from\n", file);
    error = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  std::string path = folder + file;
  // RTLD_LOCAL: a helper's libraries serve the helper only; the platform's symbols it calls come
  // from the program's global scope, where the platform library already is.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    if (report) std::fprintf(stderr, "platform: cannot load %s\n", dlerror());
    error = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  const void* table = dlsym(library, entry);
  if (!table) {
    if (report) std::fprintf(stderr, "platform: %s has no %s\n", path.c_str(), entry);
    dlclose(library);
    error = ERROR_PROC_NOT_FOUND;
    return nullptr;
  }
  std::uint32_t size = 0;
  std::memcpy(&size, table, sizeof size);
  if (size != tableSize) {
    if (report) std::fprintf(stderr, "platform: %s is from another build\n", path.c_str());
    dlclose(library);
    error = ERROR_DLL_INIT_FAILED;
    return nullptr;
  }
  return table;
}

}  // namespace platform::helper
