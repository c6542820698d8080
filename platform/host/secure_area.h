// Drives of the secure-drive maker: a public and a secure area (two folders), the device
// password, the stored hint field, the sizes in MB and the count of wrong passwords, kept per
// drive (by USB serial number) in host.db across plugs. The drive letter shows the public area
// until the secure one is opened; opening, closing and formatting swap what the letter shows
// for every process. Used by `kipo-host plug` and by the controller library stand-in "OPDSL.dll".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace platform::host {

struct SecureAreaDrive {
  std::u16string serial;
  std::u16string vendorId, productId;
  char16_t letter = 0;  // 0 while unplugged
  std::filesystem::path publicRoot, secureRoot;
  std::uint32_t capacityMb = 0, secureMb = 0, lun2Mb = 0;
  std::u16string devicePassword;
  std::string hintField;  // raw, as the last password change or format left it
  bool open = false;
  int wrongPasswords = 0;
};

// The device password a drive carries when plugged without one (3 capital letters or digits);
// the program's fixed device password has this value.
inline constexpr char16_t kFactoryDevicePassword[] = u"K7P";

// Default capacity (MB) of a drive plugged without one.
inline constexpr std::uint32_t kDefaultSecureDriveMb = 1000;

// Plugged drives in letter order.
std::vector<SecureAreaDrive> pluggedSecureAreaDrives();
std::optional<SecureAreaDrive> secureAreaDrive(std::u16string_view serial);
void saveSecureAreaDrive(const SecureAreaDrive& drive);

// Makes the drive letter show the secure area (open) or the public one, with the area's size as
// the drive's capacity; records the state. False when the drive is not plugged.
bool showSecureArea(const SecureAreaDrive& drive, bool open);

// The drive table entry for the area the record says is shown.
struct Drive;
Drive driveEntryFor(const SecureAreaDrive& drive);

// The folder that holds a drive's secure area when it was plugged without one.
std::filesystem::path defaultSecureFolder(std::u16string_view serial);

}  // namespace platform::host
