// Fuzz harness of registry export files (.reg text, UTF-16 with a byte-order mark or 8-bit), as
// `kipo-host reg import` reads them into the host's registry.
#include <string_view>

#include "platform/host/registry_file.h"
#include "tests/fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureHost();
  platform::registry::importBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
