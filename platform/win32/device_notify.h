// Device notifications: RegisterDeviceNotificationW/UnregisterDeviceNotification for windows, the
// WM_DEVICECHANGE event numbers and the records its lParam points to. Registrations live in
// host.db (keyed by the registering process's id and start time), so whoever plugs or unplugs a
// drive (`kipo-host plug`) reaches every registered window of every process of the host through
// platform::host::broadcastDeviceChange.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

using HDEVNOTIFY = void*;

// ---- WM_DEVICECHANGE events (wParam); those from 0x8000 carry a record in lParam ----

#define DBT_DEVNODES_CHANGED 0x0007
#define DBT_QUERYCHANGECONFIG 0x0017
#define DBT_CONFIGCHANGED 0x0018
#define DBT_CONFIGCHANGECANCELED 0x0019
#define DBT_DEVICEARRIVAL 0x8000
#define DBT_DEVICEQUERYREMOVE 0x8001
#define DBT_DEVICEQUERYREMOVEFAILED 0x8002
#define DBT_DEVICEREMOVEPENDING 0x8003
#define DBT_DEVICEREMOVECOMPLETE 0x8004
#define DBT_DEVICETYPESPECIFIC 0x8005
#define DBT_CUSTOMEVENT 0x8006

// ---- Record kinds (dbch_devicetype) ----

#define DBT_DEVTYP_OEM 0x00000000
#define DBT_DEVTYP_VOLUME 0x00000002
#define DBT_DEVTYP_PORT 0x00000003
#define DBT_DEVTYP_DEVICEINTERFACE 0x00000005
#define DBT_DEVTYP_HANDLE 0x00000006

// dbcv_flags of a volume record.
#define DBTF_MEDIA 0x0001
#define DBTF_NET 0x0002

// RegisterDeviceNotificationW flags.
#define DEVICE_NOTIFY_WINDOW_HANDLE 0x00000000
#define DEVICE_NOTIFY_SERVICE_HANDLE 0x00000001
#define DEVICE_NOTIFY_ALL_INTERFACE_CLASSES 0x00000004

struct DEV_BROADCAST_HDR {
  DWORD dbch_size;
  DWORD dbch_devicetype;
  DWORD dbch_reserved;
};
using PDEV_BROADCAST_HDR = DEV_BROADCAST_HDR*;

struct DEV_BROADCAST_VOLUME {
  DWORD dbcv_size;
  DWORD dbcv_devicetype;
  DWORD dbcv_reserved;
  DWORD dbcv_unitmask;  // bit 0 is A:
  WORD dbcv_flags;
};
using PDEV_BROADCAST_VOLUME = DEV_BROADCAST_VOLUME*;

// Variable length: dbcc_size covers the NUL-terminated name.
struct DEV_BROADCAST_DEVICEINTERFACE_W {
  DWORD dbcc_size;
  DWORD dbcc_devicetype;
  DWORD dbcc_reserved;
  GUID dbcc_classguid;
  WCHAR dbcc_name[1];
};
using PDEV_BROADCAST_DEVICEINTERFACE_W = DEV_BROADCAST_DEVICEINTERFACE_W*;

// hRecipient is a window of the calling process; the filter a DBT_DEVTYP_DEVICEINTERFACE record
// (its class GUID is the filter unless DEVICE_NOTIFY_ALL_INTERFACE_CLASSES). NULL with
// ERROR_INVALID_PARAMETER for other flags or a short record, ERROR_INVALID_DATA for another kind
// of record, ERROR_INVALID_WINDOW_HANDLE for a window that is not this process's.
HDEVNOTIFY RegisterDeviceNotificationW(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags);
// FALSE with ERROR_INVALID_HANDLE for a handle this process did not get.
BOOL UnregisterDeviceNotification(HDEVNOTIFY Handle);

namespace platform::host {

// Sends WM_DEVICECHANGE(event, record) as Windows does when a device comes or goes: an interface
// record to every window of the host registered for its class (or for all classes), a volume
// record (or any other) to every top-level window of every process. Waits for each window a
// few seconds at most and skips hung ones. Returns how many windows answered.
int broadcastDeviceChange(UINT event, const DEV_BROADCAST_HDR* record);

// Builds the records (sizes set, name NUL-terminated).
std::vector<std::uint8_t> interfaceRecord(const GUID& classGuid, std::u16string_view name);
DEV_BROADCAST_VOLUME volumeRecord(DWORD unitMask, WORD flags);

}  // namespace platform::host
