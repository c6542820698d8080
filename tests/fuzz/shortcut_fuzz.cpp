// Fuzz harness of shortcut (.lnk) files: the shell-link object's load, as the program reads a
// shortcut's target, and the link format's decoder on its own.
#include <string_view>

#include "app/shortcut.h"
#include "platform/com/runtime.h"
#include "platform/com/shelllink.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  static const HRESULT com = CoInitialize(nullptr);
  (void)com;
  platform::com::ShortcutData decoded;
  platform::com::decodeShortcut(std::string_view(reinterpret_cast<const char*>(data), size), decoded);
  const CString path(kipofuzz::writeFile("link.lnk", data, size).c_str());
  CShortcut shortcut(path);
  shortcut.getTargetPath();
  shortcut.getTargetType();
  return 0;
}
