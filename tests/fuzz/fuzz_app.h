// What the harnesses of the product's readers add to the shared host: the program's path, no
// log file, and message boxes answered with their default button instead of waiting for a user.
#pragma once

#include <mutex>

#include "app/log.h"
#include "app/messages.h"
#include "platform/host/module_registry.h"
#include "tests/fuzz/fuzz_host.h"

namespace kipofuzz {

inline void ensureApp() {
  static std::once_flag once;
  std::call_once(once, [] {
    ensureHost();
    platform::module::setProgramWindowsPath(u"C:\\Program Files\\Kipo\\Kipo.exe");
    setMessageBoxSink([](const MessageBoxRequest& box) { return defaultButtonOf(box.style); });
    setLogPath(CString());
  });
}

}  // namespace kipofuzz
