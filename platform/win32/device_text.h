// The 8-bit form of a device registry property, shared by the Setup API's and the configuration
// manager's "A" calls: texts (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) converted to the ANSI code page,
// with their terminating NULs; other types unchanged.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/host/device_tree.h"

namespace platform::device {

std::vector<std::uint8_t> ansiPropertyData(const platform::host::DeviceProperty& property);

}  // namespace platform::device
