// The maker's USB drive as the product's tests plug it: drive E: over a folder of the test, with
// the maker's vendor and product ids.
#pragma once

#include <cstdint>
#include <filesystem>

#include "platform/host/device_tree.h"

namespace apptest {

// The request for the plain drive; a test adds the secure area, hint field or password it needs.
inline platform::host::PlugRequest makerDrive(const std::filesystem::path& publicFolder, const char16_t* serial,
                                              std::uint64_t capacity) {
  platform::host::PlugRequest r;
  r.letter = u'E';
  r.folder = publicFolder;
  r.device.vendorId = u"0EA0";
  r.device.productId = u"2469";
  r.device.serial = serial;
  r.capacity = capacity;
  return r;
}

}  // namespace apptest
