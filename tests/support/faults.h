// Fault injection from a test, in its own process.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/base/fault.h"

namespace kipotest {

// Makes this process's calls named `call` (on `subject` and below) fail with `error`, from the
// nth matching call on, for `count` calls (0: all). Returns the fault's id.
inline std::uint64_t failCall(const char* call, DWORD error, std::u16string subject = {}, std::uint32_t nth = 1,
                              std::uint32_t count = 0) {
  platform::fault::Fault f;
  f.call = call;
  f.subject = std::move(subject);
  f.error = error;
  f.nth = nth;
  f.count = count;
  return platform::fault::inject(f);
}

}  // namespace kipotest
