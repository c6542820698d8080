// Device notification registrations in host.db, and the WM_DEVICECHANGE broadcast a plug or
// unplug makes (see device_notify.h).
#include "platform/win32/device_notify.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>

#include "platform/base/clock.h"
#include "platform/host/host.h"
#include "platform/host/process_table.h"
#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"

using namespace platform::host;

namespace {

SchemaPart deviceNotifySchema(
    "CREATE TABLE IF NOT EXISTS device_notify (id INTEGER PRIMARY KEY AUTOINCREMENT, pid INTEGER NOT NULL,"
    " start INTEGER NOT NULL, hwnd INTEGER NOT NULL, all_classes INTEGER NOT NULL, class_guid BLOB NOT NULL)");

// How long a broadcast waits for one window (monotonic time, so the host's time scale applies).
constexpr UINT kWindowTimeoutMs = 5000;

bool sameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

struct Registration {
  std::int64_t id;
  DWORD pid;
  std::uint64_t start;
  std::uint32_t hwnd;
  bool allClasses;
  GUID guid;
};

// Registrations of living processes; the dead ones' rows are removed on the way.
std::vector<Registration> livingRegistrations() {
  std::vector<Registration> out, dead;
  Host& host = Host::current();
  Database& db = host.db();
  {
    auto lock = db.lock();
    auto q = db.query("SELECT id, pid, start, hwnd, all_classes, class_guid FROM device_notify ORDER BY id");
    std::map<std::pair<DWORD, std::uint64_t>, bool> alive;
    while (q.step()) {
      Registration r{};
      r.id = q.int64At(0);
      r.pid = static_cast<DWORD>(q.int64At(1));
      r.start = static_cast<std::uint64_t>(q.int64At(2));
      r.hwnd = static_cast<std::uint32_t>(q.int64At(3));
      r.allClasses = q.int64At(4) != 0;
      std::string_view g = q.blobAt(5);
      if (g.size() == sizeof(GUID)) std::memcpy(&r.guid, g.data(), sizeof(GUID));
      auto key = std::make_pair(r.pid, r.start);
      auto it = alive.find(key);
      if (it == alive.end()) it = alive.emplace(key, processAlive(r.pid, r.start)).first;
      (it->second ? out : dead).push_back(r);
    }
  }
  if (!dead.empty()) {
    Database::Transaction t(db);
    for (auto& r : dead) db.query("DELETE FROM device_notify WHERE id = ?1").bind(1, r.id).run();
    t.commit();
  }
  return out;
}

bool deliver(HWND hwnd, UINT event, const DEV_BROADCAST_HDR* record) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record), SMTO_ABORTIFHUNG,
                             kWindowTimeoutMs, &result) != 0;
}

}  // namespace

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags) {
  if (Flags & ~static_cast<DWORD>(DEVICE_NOTIFY_ALL_INTERFACE_CLASSES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* hdr = static_cast<const DEV_BROADCAST_HDR*>(NotificationFilter);
  if (!hdr || hdr->dbch_size < sizeof(DEV_BROADCAST_HDR)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (hdr->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  if (hdr->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::uint32_t hwnd = fromHwnd(static_cast<HWND>(hRecipient));
  {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    Window* w = t.find(hwnd);
    if (!w || !w->queue) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
  }
  const GUID guid = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(NotificationFilter)->dbcc_classguid;
  Host& host = Host::current();
  Database& db = host.db();
  std::int64_t id;
  {
    Database::Transaction t(db);
    db.query("INSERT INTO device_notify (pid, start, hwnd, all_classes, class_guid) VALUES (?1, ?2, ?3, ?4, ?5)")
        .bind(1, static_cast<std::int64_t>(::getpid()))
        .bind(2, static_cast<std::int64_t>(currentStartTime()))
        .bind(3, static_cast<std::int64_t>(hwnd))
        .bind(4, (Flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) ? 1 : 0)
        .bindBlob(5, &guid, sizeof guid)
        .run();
    id = db.lastInsertRowid();
    t.commit();
  }
  host.counters().bump(Counter::Devices);
  return reinterpret_cast<HDEVNOTIFY>(static_cast<std::intptr_t>(id));
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY Handle) {
  Database& db = Host::current().db();
  int removed;
  {
    Database::Transaction t(db);
    db.query("DELETE FROM device_notify WHERE id = ?1 AND pid = ?2 AND start = ?3")
        .bind(1, static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(Handle)))
        .bind(2, static_cast<std::int64_t>(::getpid()))
        .bind(3, static_cast<std::int64_t>(currentStartTime()))
        .run();
    removed = db.changes();
    t.commit();
  }
  if (!removed) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

namespace platform::host {

int broadcastDeviceChange(UINT event, const DEV_BROADCAST_HDR* record) {
  int reached = 0;
  if (record && record->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
    const GUID guid = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(record)->dbcc_classguid;
    std::vector<std::uint32_t> sentTo;
    for (const Registration& r : livingRegistrations()) {
      if (!r.allClasses && !sameGuid(r.guid, guid)) continue;
      // A window registered twice hears of the device once.
      if (std::find(sentTo.begin(), sentTo.end(), r.hwnd) != sentTo.end()) continue;
      sentTo.push_back(r.hwnd);
      if (deliver(toHwnd(r.hwnd), event, record)) ++reached;
    }
    return reached;
  }
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND h, LPARAM p) {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  for (HWND h : windows)
    if (deliver(h, event, record)) ++reached;
  return reached;
}

std::vector<std::uint8_t> interfaceRecord(const GUID& classGuid, std::u16string_view name) {
  const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(WCHAR);
  std::vector<std::uint8_t> out(std::max(size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)), 0);
  auto* r = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(out.data());
  r->dbcc_size = static_cast<DWORD>(size);
  r->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  r->dbcc_classguid = classGuid;
  std::memcpy(out.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name), name.data(), name.size() * 2);
  return out;
}

DEV_BROADCAST_VOLUME volumeRecord(DWORD unitMask, WORD flags) {
  DEV_BROADCAST_VOLUME v{};
  v.dbcv_size = sizeof v;
  v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  v.dbcv_unitmask = unitMask;
  v.dbcv_flags = flags;
  return v;
}

}  // namespace platform::host
