// Plugs a USB drive into the test's host directly (no kipo-host process): the tests of the
// device tree and of the storage requests share it.
#pragma once

#include <filesystem>
#include <string>

#include "platform/host/device_tree.h"

namespace kipotest {

inline platform::host::UsbDriveNodes plugUsbDrive(char16_t letter, const std::filesystem::path& folder,
                                                  const std::u16string& vid, const std::u16string& pid,
                                                  const std::u16string& serial) {
  platform::host::PlugRequest r;
  r.letter = letter;
  r.folder = folder;
  r.device.vendorId = vid;
  r.device.productId = pid;
  r.device.serial = serial;
  return platform::host::plugDrive(r);
}

}  // namespace kipotest
