// Fuzz harness of the Base64 decoder and the device fields built on it (plain and encrypted).
#include <string>

#include "app/device_sdk.h"
#include "app/windows_helpers.h"
#include "tests/fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureHost();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  base64Decode(CString(bytes.c_str(), static_cast<int>(bytes.size())));
  base64Decode(CString(kipofuzz::utf16Of(data, size).c_str()));
  CString text;
  decodeDeviceField(bytes, false, text);
  decodeDeviceField(bytes, true, text);
  return 0;
}
