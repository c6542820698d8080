// Storage device handles and the storage IOCTLs over the host's device tree: CreateFileW opens a
// disk by its interface path ("\\?\usbstor#disk&ven_...#{53f56307-...}") or a volume by
// "\\.\E:", and DeviceIoControl answers IOCTL_STORAGE_GET_DEVICE_NUMBER and
// IOCTL_STORAGE_QUERY_PROPERTY (device descriptor) for the disks the tree holds: the system disk
// behind C: and the plugged USB drives. GetVolumeNameForVolumeMountPointW gives a drive root's
// "\\?\Volume{guid}\" name from MountedDevices, as the mount manager keeps it.
//
// Choices where Windows XP is not visible from here, or differs by driver:
// - A disk's device number is its place among the tree's disk drives (system disk 0), so a drive
//   keeps its number across plugs; a disk handle has partition number 0, a volume handle 1.
// - A drive letter with no volume in the tree (a share's letter, a drive added with `kipo-host
//   drive add`) opens, but has no storage stack: the IOCTLs fail with ERROR_INVALID_FUNCTION and
//   it has no volume name (ERROR_FILE_NOT_FOUND).
// - A handle whose drive was unplugged fails with ERROR_DEVICE_NOT_CONNECTED, also after the
//   drive comes back (a new arrival is a new device object); opening an absent disk's interface
//   path or a letter that does not exist fails with ERROR_FILE_NOT_FOUND.
// - The device descriptor is built from the tree (enumerator, hardware ids, volume kind) with the
//   36-byte inquiry data as its raw properties, the ASCII strings after it.
#pragma once

#include "platform/base/types.h"

// Control codes: device type << 16 | access << 14 | function << 2 | method.
#define FILE_DEVICE_CD_ROM 0x00000002
#define FILE_DEVICE_DISK 0x00000007
#define FILE_DEVICE_MASS_STORAGE 0x0000002D
#define IOCTL_STORAGE_GET_DEVICE_NUMBER 0x002D1080
#define IOCTL_STORAGE_QUERY_PROPERTY 0x002D1400

struct STORAGE_DEVICE_NUMBER {
  DWORD DeviceType;
  DWORD DeviceNumber;
  DWORD PartitionNumber;
};
using PSTORAGE_DEVICE_NUMBER = STORAGE_DEVICE_NUMBER*;

enum STORAGE_PROPERTY_ID { StorageDeviceProperty = 0, StorageAdapterProperty = 1 };
enum STORAGE_QUERY_TYPE { PropertyStandardQuery = 0, PropertyExistsQuery = 1, PropertyMaskQuery = 2 };

struct STORAGE_PROPERTY_QUERY {
  STORAGE_PROPERTY_ID PropertyId;
  STORAGE_QUERY_TYPE QueryType;
  BYTE AdditionalParameters[1];
};
using PSTORAGE_PROPERTY_QUERY = STORAGE_PROPERTY_QUERY*;

enum STORAGE_BUS_TYPE {
  BusTypeUnknown = 0,
  BusTypeScsi = 1,
  BusTypeAtapi = 2,
  BusTypeAta = 3,
  BusType1394 = 4,
  BusTypeSsa = 5,
  BusTypeFibre = 6,
  BusTypeUsb = 7,
  BusTypeRAID = 8,
};

struct STORAGE_DESCRIPTOR_HEADER {
  DWORD Version;
  DWORD Size;
};

// Variable length: Size covers the raw properties and the strings the offsets point to (an
// offset of 0 means the string is absent).
struct STORAGE_DEVICE_DESCRIPTOR {
  DWORD Version;  // sizeof(STORAGE_DEVICE_DESCRIPTOR)
  DWORD Size;
  BYTE DeviceType;  // SCSI peripheral type: 0 direct access
  BYTE DeviceTypeModifier;
  BOOLEAN RemovableMedia;
  BOOLEAN CommandQueueing;
  DWORD VendorIdOffset;
  DWORD ProductIdOffset;
  DWORD ProductRevisionOffset;
  DWORD SerialNumberOffset;
  STORAGE_BUS_TYPE BusType;  // at offset 28
  DWORD RawPropertiesLength;
  BYTE RawDeviceProperties[1];
};
using PSTORAGE_DEVICE_DESCRIPTOR = STORAGE_DEVICE_DESCRIPTOR*;

// Codes other than the two above fail with ERROR_INVALID_FUNCTION. Without lpOverlapped,
// lpBytesReturned is required (ERROR_INVALID_PARAMETER instead of the fault Windows takes).
// IOCTL_STORAGE_GET_DEVICE_NUMBER needs 12 bytes (ERROR_INSUFFICIENT_BUFFER). The device
// property needs an input of sizeof(STORAGE_PROPERTY_QUERY) (ERROR_INVALID_PARAMETER) and at
// least 8 bytes of output (ERROR_INSUFFICIENT_BUFFER); a shorter output than the descriptor
// succeeds with as much as fits, as XP's port drivers do, so a caller reads Size from the header
// and asks again. PropertyExistsQuery succeeds with no output; other property ids fail with
// ERROR_NOT_SUPPORTED.
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);

// "E:\" -> "\\?\Volume{...}\" (50 characters with the NUL; a smaller buffer gives
// ERROR_FILENAME_EXCED_RANGE). No trailing backslash or a null name: ERROR_INVALID_PARAMETER; a
// letter that does not exist or has no volume: ERROR_FILE_NOT_FOUND; an existing folder that is
// not a drive root: ERROR_NOT_A_REPARSE_POINT (no mounted folders are modelled).
BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR lpszVolumeMountPoint, LPWSTR lpszVolumeName, DWORD cchBufferLength);

namespace platform {

// CreateFileW's part for storage device names. False when `name` is not one (the caller goes on
// with files); true when it is, with `handle` the device handle or INVALID_HANDLE_VALUE and the
// last error set. Access, sharing and disposition are not checked, as storage drivers ignore
// them for these opens.
bool openStorageDevice(LPCWSTR name, HANDLE& handle);

}  // namespace platform
