// Fuzz harness of the device-information text the secure drive's library reports (tagged
// blocks "otidevice0" .. "otidevice1023" with Base64 fields), as the drive layer parses it.
#include <memory>

#include "app/device_sdk.h"
#include "app/secure_drive_services.h"
#include "platform/base/clock.h"
#include "tests/fuzz/fuzz_app.h"

namespace {

// The drive layer's calls to the program, answered without ending anything.
class QuietServices : public CSecureDriveServices {
 public:
  void endProgram(UINT) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  // The layer's waits pass at once on the virtual clock; the host has no library to call.
  static platform::clock::VirtualClock clock;
  static QuietServices services;
  static std::once_flag once;
  std::call_once(once, [] { setSecureDriveServices(&services); });
  static COtiSdk sdk;
  // The library's text is 8-bit, read up to its first NUL.
  std::size_t n = 0;
  while (n < size && data[n]) ++n;
  sdk.parseDeviceInfo(CString(reinterpret_cast<const char*>(data), static_cast<int>(n)));
  return 0;
}
