// The notification area as host state: one row per icon in host.db (texts as UTF-16 blobs), with
// the owning process's id and start time so the icons of a dead process are skipped and pruned.
#include "platform/win32/tray.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/host/database.h"
#include "platform/host/host.h"
#include "platform/host/process_table.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"

namespace {

using platform::host::Database;
using platform::host::DbError;
using platform::host::Host;

platform::host::SchemaPart traySchema(
    "CREATE TABLE IF NOT EXISTS tray_icons (seq INTEGER PRIMARY KEY AUTOINCREMENT, window INTEGER NOT NULL,"
    " uid INTEGER NOT NULL, pid INTEGER NOT NULL, start INTEGER NOT NULL, callback INTEGER NOT NULL,"
    " icon INTEGER NOT NULL, tip BLOB NOT NULL, state INTEGER NOT NULL, info BLOB NOT NULL,"
    " info_title BLOB NOT NULL, info_flags INTEGER NOT NULL, UNIQUE (window, uid))");

// The size of the first version of the structure (up to a 64-character szTip); older callers
// pass it.
constexpr DWORD kFirstVersionSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, szTip) + 64 * sizeof(WCHAR));
// Up to dwInfoFlags: the size that carries balloons and states.
constexpr DWORD kBalloonVersionSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, guidItem));

std::u16string field(const WCHAR* s, std::size_t max) {
  std::size_t n = 0;
  while (n < max && s[n]) ++n;
  // Cut as the shell does: one character kept for the terminator.
  return std::u16string(s, std::min(n, max - 1));
}

platform::tray::Icon rowFrom(platform::host::Query& q) {
  platform::tray::Icon i;
  i.window = static_cast<std::uint32_t>(q.int64At(0));
  i.id = static_cast<UINT>(q.int64At(1));
  i.pid = static_cast<DWORD>(q.int64At(2));
  i.callbackMessage = static_cast<UINT>(q.int64At(4));
  i.icon = static_cast<std::uint64_t>(q.int64At(5));
  i.tip = q.u16At(6);
  i.state = static_cast<DWORD>(q.int64At(7));
  i.info = q.u16At(8);
  i.infoTitle = q.u16At(9);
  i.infoFlags = static_cast<DWORD>(q.int64At(10));
  return i;
}

constexpr const char* kColumns = "window, uid, pid, start, callback, icon, tip, state, info, info_title, info_flags";

std::uint32_t handleOf(HWND h) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h)); }

bool find(Database& db, std::uint32_t window, UINT uid, platform::tray::Icon& out, std::uint64_t& start) {
  auto q = db.query(std::string("SELECT ") + kColumns + " FROM tray_icons WHERE window = ?1 AND uid = ?2");
  q.bind(1, static_cast<std::int64_t>(window)).bind(2, static_cast<std::int64_t>(uid));
  if (!q.step()) return false;
  out = rowFrom(q);
  start = static_cast<std::uint64_t>(q.int64At(3));
  return true;
}

void applyFields(platform::tray::Icon& icon, const NOTIFYICONDATAW& d) {
  if (d.uFlags & NIF_MESSAGE) icon.callbackMessage = d.uCallbackMessage;
  if (d.uFlags & NIF_ICON) icon.icon = reinterpret_cast<std::uintptr_t>(d.hIcon);
  const std::size_t tipMax = d.cbSize >= kBalloonVersionSize ? 128 : 64;
  if (d.uFlags & NIF_TIP) icon.tip = field(d.szTip, tipMax);
  if (d.cbSize < kBalloonVersionSize) return;
  if (d.uFlags & NIF_STATE) icon.state = (icon.state & ~d.dwStateMask) | (d.dwState & d.dwStateMask);
  if (d.uFlags & NIF_INFO) {
    icon.info = field(d.szInfo, 256);
    icon.infoTitle = field(d.szInfoTitle, 64);
    icon.infoFlags = d.dwInfoFlags;
  }
}

void write(Database& db, const platform::tray::Icon& i, std::uint64_t start, bool insert) {
  auto blob = [](const std::u16string& s) { return std::pair(s.data(), s.size() * 2); };
  auto q = db.query(insert ? "INSERT INTO tray_icons (window, uid, pid, start, callback, icon, tip, state, info,"
                             " info_title, info_flags) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"
                           : "UPDATE tray_icons SET pid = ?3, start = ?4, callback = ?5, icon = ?6, tip = ?7,"
                             " state = ?8, info = ?9, info_title = ?10, info_flags = ?11"
                             " WHERE window = ?1 AND uid = ?2");
  auto [tip, tipSize] = blob(i.tip);
  auto [info, infoSize] = blob(i.info);
  auto [title, titleSize] = blob(i.infoTitle);
  q.bind(1, static_cast<std::int64_t>(i.window))
      .bind(2, static_cast<std::int64_t>(i.id))
      .bind(3, static_cast<std::int64_t>(i.pid))
      .bind(4, static_cast<std::int64_t>(start))
      .bind(5, static_cast<std::int64_t>(i.callbackMessage))
      .bind(6, static_cast<std::int64_t>(i.icon))
      .bindBlob(7, tip, tipSize)
      .bind(8, static_cast<std::int64_t>(i.state))
      .bindBlob(9, info, infoSize)
      .bindBlob(10, title, titleSize)
      .bind(11, static_cast<std::int64_t>(i.infoFlags));
  q.run();
}

}  // namespace

BOOL Shell_NotifyIconW(DWORD dwMessage, PNOTIFYICONDATAW lpData) {
  if (!lpData || lpData->cbSize < kFirstVersionSize || !IsWindow(lpData->hWnd)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwMessage == NIM_SETFOCUS || dwMessage == NIM_SETVERSION) return TRUE;
  if (dwMessage > NIM_DELETE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::uint32_t window = handleOf(lpData->hWnd);
  try {
    Database& db = Host::current().db();
    Database::Transaction t(db);
    platform::tray::Icon icon;
    std::uint64_t start = 0;
    bool exists = find(db, window, lpData->uID, icon, start);
    // A row left by a dead process under a reused handle is not an icon.
    if (exists && !platform::host::processAlive(icon.pid, start)) {
      db.query("DELETE FROM tray_icons WHERE window = ?1 AND uid = ?2")
          .bind(1, static_cast<std::int64_t>(window))
          .bind(2, static_cast<std::int64_t>(lpData->uID))
          .run();
      exists = false;
    }
    switch (dwMessage) {
      case NIM_ADD:
        if (exists) return FALSE;
        icon = platform::tray::Icon{};
        icon.window = window;
        icon.id = lpData->uID;
        icon.pid = static_cast<DWORD>(::getpid());
        applyFields(icon, *lpData);
        write(db, icon, platform::host::currentStartTime(), true);
        break;
      case NIM_MODIFY:
        if (!exists) return FALSE;
        applyFields(icon, *lpData);
        write(db, icon, start, false);
        break;
      case NIM_DELETE:
        if (!exists) return FALSE;
        db.query("DELETE FROM tray_icons WHERE window = ?1 AND uid = ?2")
            .bind(1, static_cast<std::int64_t>(window))
            .bind(2, static_cast<std::int64_t>(lpData->uID))
            .run();
        break;
    }
    t.commit();
  } catch (const DbError&) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

std::vector<platform::tray::Icon> platform::tray::icons() {
  std::vector<Icon> out;
  std::vector<std::pair<DWORD, std::uint64_t>> dead;
  try {
    Database& db = Host::current().db();
    auto lock = db.lock();
    auto q = db.query(std::string("SELECT ") + kColumns + " FROM tray_icons ORDER BY seq");
    while (q.step()) {
      Icon i = rowFrom(q);
      auto start = static_cast<std::uint64_t>(q.int64At(3));
      if (platform::host::processAlive(i.pid, start)) out.push_back(std::move(i));
      else dead.emplace_back(i.pid, start);
    }
  } catch (const DbError&) {
    return out;
  }
  if (!dead.empty()) {
    try {
      Database& db = Host::current().db();
      Database::Transaction t(db);
      for (auto& [pid, start] : dead)
        db.query("DELETE FROM tray_icons WHERE pid = ?1 AND start = ?2")
            .bind(1, static_cast<std::int64_t>(pid))
            .bind(2, static_cast<std::int64_t>(start))
            .run();
      t.commit();
    } catch (const DbError&) {
      // Pruned by a later reader.
    }
  }
  return out;
}

bool platform::tray::click(const Icon& icon, Click how) {
  HWND w = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(icon.window));
  if ((icon.state & NIS_HIDDEN) || !IsWindow(w)) return false;
  if (!icon.callbackMessage) return true;  // the icon takes the click and tells nobody
  auto send = [&](UINT mouse) {
    PostMessageW(w, icon.callbackMessage, icon.id, static_cast<LPARAM>(mouse));
  };
  switch (how) {
    case Click::Left:
      send(WM_LBUTTONDOWN);
      send(WM_LBUTTONUP);
      break;
    case Click::Right:
      send(WM_RBUTTONDOWN);
      send(WM_RBUTTONUP);
      break;
    case Click::Double:
      send(WM_LBUTTONDOWN);
      send(WM_LBUTTONUP);
      send(WM_LBUTTONDBLCLK);
      send(WM_LBUTTONUP);
      break;
  }
  return true;
}
