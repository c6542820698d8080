// The iPods connected to the host and the state the iPod maker's service keeps for each (its
// place among the connected ones, disk mode, disk use setting), in host.db. Disk mode is a real
// drive: mounting plugs the iPod's folder as a USB drive of the maker (vendor 05AC) at the iPod's
// letter, unmounting unplugs it, so every process sees the drive come and go. The service itself
// (platform/com/ipod_service.h) reads and changes this state; `kipo-host ipod` shows and sets it.
// The service is installed or not (a fact of the host): a host without it cannot start it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace platform::host {

struct IPodRecord {
  int index = 0;  // 1 for the first connected iPod, in the order they were connected
  std::u16string serial;
  char16_t letter = 0;  // the drive letter disk mode mounts it at
  std::filesystem::path folder;
  DWORD diskUse = 0;  // the "enable disk use" setting
  bool mounted = false;  // in disk mode: its drive is plugged at its letter
};

bool iPodServiceInstalled();
void setIPodServiceInstalled(bool installed);

// The connected iPods in index order.
std::vector<IPodRecord> connectedIPods();
std::optional<IPodRecord> iPodAt(int index);
// Adds a connected iPod (not in disk mode). Throws std::runtime_error for a serial already
// connected, a letter in use by another iPod, or a folder that does not exist.
void connectIPod(const std::u16string& serial, char16_t letter, const std::filesystem::path& folder, DWORD diskUse);
// Unmounts it when mounted and forgets it; false when no such iPod is connected.
bool disconnectIPod(const std::u16string& serial);
// Disk mode on (plugs the drive) or off (unplugs it). False when the iPod is not connected or
// already in that mode; throws std::runtime_error when the drive cannot be plugged.
bool setIPodMounted(const std::u16string& serial, bool mounted);
bool setIPodDiskUse(const std::u16string& serial, DWORD diskUse);

// The calls the service answered, oldest first ("<object> <dispatch id> <kind> <arguments>"),
// for tests and `kipo-host ipod calls`.
void recordIPodServiceCall(const std::string& call);
std::vector<std::string> iPodServiceCalls();
void clearIPodServiceCalls();

}  // namespace platform::host
