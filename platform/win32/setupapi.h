// The Setup API over the host's device tree (platform/host/device_tree.h): device information
// sets of devices or of device interfaces, their instance ids, registry properties and
// interface details. A set is a snapshot of the tree taken when it is made; a device unplugged
// later stays in it (its properties still read, as the tree keeps the node).
#pragma once

#include "platform/base/types.h"
#include "platform/win32/registry.h"

using HDEVINFO = void*;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

// Registry property codes.
#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_COMPATIBLEIDS 0x00000002
#define SPDRP_SERVICE 0x00000004
#define SPDRP_CLASS 0x00000007
#define SPDRP_CLASSGUID 0x00000008
#define SPDRP_DRIVER 0x00000009
#define SPDRP_CONFIGFLAGS 0x0000000A
#define SPDRP_MFG 0x0000000B
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_LOCATION_INFORMATION 0x0000000D
#define SPDRP_PHYSICAL_DEVICE_OBJECT_NAME 0x0000000E
#define SPDRP_CAPABILITIES 0x0000000F
#define SPDRP_UI_NUMBER 0x00000010
#define SPDRP_ENUMERATOR_NAME 0x00000016
#define SPDRP_REMOVAL_POLICY 0x0000001F
#define SPDRP_MAXIMUM_PROPERTY 0x00000025

// Setup API errors (customer bit and error severity set, as Windows reports them).
#define ERROR_INVALID_REG_PROPERTY 0xE0000209L
#define ERROR_NO_SUCH_DEVINST 0xE000020BL
#define ERROR_INVALID_MACHINENAME 0xE0000220L
#define ERROR_INVALID_CLASS 0xE0000206L

struct SP_DEVINFO_DATA {
  DWORD cbSize;  // sizeof(SP_DEVINFO_DATA)
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};
using PSP_DEVINFO_DATA = SP_DEVINFO_DATA*;

struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;  // sizeof(SP_DEVICE_INTERFACE_DATA)
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};
using PSP_DEVICE_INTERFACE_DATA = SP_DEVICE_INTERFACE_DATA*;

#define SPINT_ACTIVE 0x00000001
#define SPINT_DEFAULT 0x00000002
#define SPINT_REMOVED 0x00000004

// Variable length: the caller sets cbSize to sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) and
// gives a buffer large enough for the path.
struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
  DWORD cbSize;
  WCHAR DevicePath[1];
};
using PSP_DEVICE_INTERFACE_DETAIL_DATA_W = SP_DEVICE_INTERFACE_DETAIL_DATA_W*;

// The 8-bit form: the path in the ANSI code page. cbSize is sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A).
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  CHAR DevicePath[1];
};
using PSP_DEVICE_INTERFACE_DETAIL_DATA_A = SP_DEVICE_INTERFACE_DETAIL_DATA_A*;

// Interface classes.
extern const GUID GUID_DEVINTERFACE_DISK;
extern const GUID GUID_DEVINTERFACE_VOLUME;
extern const GUID GUID_DEVINTERFACE_USB_DEVICE;

// Devices of one setup class (or of all, DIGCF_ALLCLASSES); with DIGCF_DEVICEINTERFACE the
// devices that expose an interface of ClassGuid (or any interface, with DIGCF_ALLCLASSES).
// DIGCF_PRESENT keeps only plugged devices. INVALID_HANDLE_VALUE with ERROR_INVALID_PARAMETER
// when neither a class nor DIGCF_ALLCLASSES is given, ERROR_INVALID_FLAGS for unknown flags.
HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent, DWORD Flags);
// As above; with DeviceInfoSet the devices are added to that set, which is returned. Only the
// local machine (MachineName null or empty): ERROR_INVALID_MACHINENAME otherwise.
HDEVINFO SetupDiGetClassDevsExW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent, DWORD Flags,
                                HDEVINFO DeviceInfoSet, PCWSTR MachineName, PVOID Reserved);
HDEVINFO SetupDiCreateDeviceInfoList(const GUID* ClassGuid, HWND hwndParent);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

// FALSE with ERROR_NO_MORE_ITEMS past the last device.
BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA DeviceInfoData);
// The MemberIndex-th interface of class InterfaceClassGuid of one device (DeviceInfoData) or
// of the whole set in device order. FALSE with ERROR_NO_MORE_ITEMS past the last.
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, const GUID* InterfaceClassGuid,
                                 DWORD MemberIndex, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);
// The interface's device path. A null or small buffer: FALSE with ERROR_INSUFFICIENT_BUFFER and
// RequiredSize set (in bytes); a wrong cbSize in the buffer: ERROR_INVALID_USER_BUFFER.
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData);
// RequiredSize in characters, with the NUL.
BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, PWSTR DeviceInstanceId,
                                 DWORD DeviceInstanceIdSize, PDWORD RequiredSize);
// ERROR_INVALID_DATA when the device does not have the property, ERROR_INVALID_REG_PROPERTY for
// a code past SPDRP_MAXIMUM_PROPERTY, ERROR_INSUFFICIENT_BUFFER (RequiredSize in bytes).
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                       PDWORD PropertyRegDataType, PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize);

// ---- 8-bit forms: texts in the ANSI code page ----

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent, DWORD Flags);
// RequiredSize in bytes of the 8-bit detail.
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData);
// Text properties (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) in 8-bit form, sizes in bytes of that
// form; other types as they are stored.
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                       PDWORD PropertyRegDataType, PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize);

// ---- the class image list ----
//
// One small icon per setup class the host displays: the classes of the host's devices (USB,
// disk drives, volumes, the computer, processors, keyboards) and the other common ones. A class
// the device manager does not display (non-Plug and Play drivers) has no image, nor has a class
// that is not installed: SetupDiGetClassImageIndex fails for them with ERROR_INVALID_CLASS.

struct HIMAGELIST__;
struct SP_CLASSIMAGELIST_DATA {
  DWORD cbSize;  // sizeof(SP_CLASSIMAGELIST_DATA)
  HIMAGELIST__* ImageList;  // an image list of the controls (HIMAGELIST)
  ULONG_PTR Reserved;
};
using PSP_CLASSIMAGELIST_DATA = SP_CLASSIMAGELIST_DATA*;

// ERROR_INVALID_USER_BUFFER for a wrong cbSize.
BOOL SetupDiGetClassImageList(PSP_CLASSIMAGELIST_DATA ClassImageListData);
// The image of the class; ERROR_INVALID_CLASS when it has none, ERROR_INVALID_PARAMETER for a
// list that was not made by SetupDiGetClassImageList.
BOOL SetupDiGetClassImageIndex(PSP_CLASSIMAGELIST_DATA ClassImageListData, const GUID* ClassGuid, int* ImageIndex);
BOOL SetupDiDestroyClassImageList(PSP_CLASSIMAGELIST_DATA ClassImageListData);
