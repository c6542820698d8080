// The host's device tree in host.db: device nodes (instance id, setup class, presence, parent),
// their registry properties and their device interfaces, plus the USB storage devices that
// `kipo-host plug` adds (USB device -> disk -> volume) and the MountedDevices values that tie
// their volumes to drive letters. Nodes are never deleted: an unplugged device stays in the tree
// as not present, as Windows keeps it under Enum, so a drive plugged again gets the same
// nodes, instance ids and volume interface name. The Setup API and configuration-manager calls
// (platform/win32/setupapi.h, cfgmgr.h) read this.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace platform::host {

// Setup classes and interface classes of the devices the tree holds.
extern const GUID kClassUsb;        // {36FC9E60-C465-11CF-8056-444553540000}
extern const GUID kClassDiskDrive;  // {4D36E967-E325-11CE-BFC1-08002BE10318}
extern const GUID kClassVolume;     // {71A27CDD-812A-11D0-BEC7-08002BE10318}
// The machine's own devices (a new host has one of each under the root).
extern const GUID kClassComputer;      // {4D36E966-E325-11CE-BFC1-08002BE10318}
extern const GUID kClassProcessor;     // {50127DC3-0F36-415E-A6CC-4CB3BE910B65}
extern const GUID kClassKeyboard;      // {4D36E96B-E325-11CE-BFC1-08002BE10318}
extern const GUID kClassLegacyDriver;  // {8ECC055D-047F-11D1-A537-0000F8753ED1}: non-Plug and Play drivers
extern const GUID kInterfaceUsbDevice;  // {A5DCBF10-6530-11D2-901F-00C04FB951ED}
extern const GUID kInterfaceDisk;       // {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}
extern const GUID kInterfaceVolume;     // {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}

// "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}" (upper case) or lower case.
std::u16string guidText(const GUID& guid, bool lowerCase = false);
bool sameGuid(const GUID& a, const GUID& b);

struct DeviceNode {
  DWORD id = 0;      // the DEVINST
  DWORD parent = 0;  // 0 for the root
  std::u16string instanceId;
  GUID classGuid{};
  bool present = false;
};

struct DeviceProperty {
  DWORD type = 0;  // REG_SZ, REG_MULTI_SZ, REG_DWORD
  std::vector<std::uint8_t> data;
};

struct DeviceInterfaceEntry {
  DWORD node = 0;
  GUID classGuid{};
  std::u16string path;  // "\\?\usb#vid_0ea0&pid_2469#SN#{a5dcbf10-...}"
};

// The root node ("HTREE\ROOT\0"), created when missing.
DWORD deviceRoot();
std::optional<DeviceNode> deviceNode(DWORD id);
// By instance id, compared without regard to case.
std::optional<DeviceNode> deviceByInstanceId(std::u16string_view instanceId);
// Every node in creation order (root first).
std::vector<DeviceNode> deviceNodes(bool presentOnly);
std::vector<DWORD> deviceChildren(DWORD id, bool presentOnly);
// A registry property by its SPDRP_ code; none when the device does not have it.
std::optional<DeviceProperty> deviceProperty(DWORD node, DWORD code);
std::vector<DeviceInterfaceEntry> deviceInterfaces(DWORD node);

// ---- USB storage ----

enum class UsbDriveKind { Flash, SecureDrive, IPod };

struct UsbDriveSpec {
  std::u16string vendorId;   // 4 hex digits, any case (stored upper case)
  std::u16string productId;
  std::u16string serial;     // the last part of the instance id
  UsbDriveKind kind = UsbDriveKind::Flash;
};

// The kind a vendor id stands for: the secure-drive maker (0EA0), the iPod's maker (05AC), or
// a plain flash drive.
UsbDriveKind usbDriveKindOf(std::u16string_view vendorId);

struct UsbDriveNodes {
  DWORD usb = 0, disk = 0, volume = 0;
  std::u16string usbInterface, diskInterface, volumeInterface;
  std::u16string volumeGuidName;  // "\??\Volume{...}"
  std::u16string mountTarget;     // the MountedDevices data, as text
};

// The nodes a USB drive has (made, or made present again) in the tree, its drive letter
// recorded on the volume, and MountedDevices updated: "\DosDevices\E:" and "\??\Volume{...}"
// name the volume, and any other letter that named it loses its value. Throws
// std::runtime_error for a device description that is not well formed.
UsbDriveNodes plugUsbDriveNodes(const UsbDriveSpec& spec, char16_t letter);
// The USB drive whose volume is at this letter (present), or none.
std::optional<UsbDriveNodes> usbDriveAt(char16_t letter);
// The present volume node tied to this drive letter (the system disk's or a plugged drive's),
// or none.
std::optional<DWORD> volumeAt(char16_t letter);
// Marks the drive's three nodes not present. MountedDevices keeps its values, as on Windows.
void unplugUsbDriveNodes(const UsbDriveNodes& nodes);

// ---- plugging and unplugging a drive (`kipo-host plug` / `unplug`) ----

struct PlugRequest {
  char16_t letter = 0;
  std::filesystem::path folder;          // the drive's (public) contents
  UsbDriveSpec device;
  std::optional<std::uint64_t> capacity;  // bytes
  std::optional<std::u16string> label;    // the volume label (none: the drive has none)
  // A drive of the secure-drive maker with a secure area: its folder, device password, and the
  // stored hint field; all optional (a known drive keeps what it had).
  std::optional<std::filesystem::path> secureFolder;
  std::optional<std::u16string> devicePassword;
  std::optional<std::string> hintField;
};

// Adds the drive to the table, the tree and MountedDevices, then sends the arrivals: the USB
// device, disk and volume interfaces to windows registered for them, and the volume record
// to every top-level window. Returns the nodes. Throws std::runtime_error with a reason.
UsbDriveNodes plugDrive(const PlugRequest& request);
// Removes the drive from the table, marks its nodes absent, closes its secure area, and sends
// the remove-complete notifications (volume record first, then the interfaces). False when no
// USB drive is plugged at that letter.
bool unplugDrive(char16_t letter);

}  // namespace platform::host
