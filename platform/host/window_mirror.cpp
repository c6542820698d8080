// The window rows in host.db (see window_mirror.h). Text and class names are stored as UTF-16
// blobs so any sequence of code units survives. Readers keep a snapshot of the other processes'
// rows, taken again whenever Counter::Windows moved, and check each owner's liveness at use.
#include "platform/host/window_mirror.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/host/host.h"
#include "platform/host/process_table.h"
#include "platform/host/window_table.h"

namespace platform::host {

namespace {

SchemaPart windowsSchema(
    "CREATE TABLE IF NOT EXISTS windows (handle INTEGER PRIMARY KEY, pid INTEGER NOT NULL, start INTEGER NOT NULL,"
    " thread INTEGER NOT NULL, class BLOB NOT NULL, atom INTEGER NOT NULL, text BLOB NOT NULL,"
    " style INTEGER NOT NULL, ex_style INTEGER NOT NULL, x1 INTEGER NOT NULL, y1 INTEGER NOT NULL,"
    " x2 INTEGER NOT NULL, y2 INTEGER NOT NULL, parent INTEGER NOT NULL, owner INTEGER NOT NULL,"
    " ctrl_id INTEGER NOT NULL)");
SchemaPart windowsIndex("CREATE INDEX IF NOT EXISTS windows_process ON windows(pid, start)");

constexpr const char* kColumns =
    "handle, pid, start, thread, class, atom, text, style, ex_style, x1, y1, x2, y2, parent, owner, ctrl_id";

WindowRow rowFrom(Query& q) {
  WindowRow r;
  r.handle = static_cast<std::uint32_t>(q.int64At(0));
  r.pid = static_cast<DWORD>(q.int64At(1));
  r.start = static_cast<std::uint64_t>(q.int64At(2));
  r.threadId = static_cast<DWORD>(q.int64At(3));
  r.className = q.u16At(4);
  r.atom = static_cast<ATOM>(q.int64At(5));
  r.text = q.u16At(6);
  r.style = static_cast<DWORD>(q.int64At(7));
  r.exStyle = static_cast<DWORD>(q.int64At(8));
  r.rect = RECT{static_cast<LONG>(q.int64At(9)), static_cast<LONG>(q.int64At(10)), static_cast<LONG>(q.int64At(11)),
                static_cast<LONG>(q.int64At(12))};
  r.parent = static_cast<std::uint32_t>(q.int64At(13));
  r.owner = static_cast<std::uint32_t>(q.int64At(14));
  r.id = static_cast<std::uint64_t>(q.int64At(15));
  return r;
}

bool isMe(DWORD pid, std::uint64_t start) {
  return pid == static_cast<DWORD>(::getpid()) && start == currentStartTime();
}

// What this process last wrote, so unchanged windows cost nothing.
struct Written {
  std::mutex mutex;
  std::uint64_t epoch = 0;
  std::unordered_map<std::uint32_t, WindowRow> rows;
};

Written& written() {
  static Written* w = new Written();
  return *w;
}

// The other processes' rows as last read.
struct Snapshot {
  std::mutex mutex;
  std::uint64_t epoch = 0;
  std::uint64_t counter = ~0ull;
  std::vector<WindowRow> rows;  // handle order
};

Snapshot& snapshot() {
  static Snapshot* s = new Snapshot();
  return *s;
}

void prune(const std::vector<std::pair<DWORD, std::uint64_t>>& dead) {
  if (dead.empty()) return;
  Host& host = Host::current();
  try {
    Database& db = host.db();
    Database::Transaction t(db);
    for (auto& [pid, start] : dead)
      db.query("DELETE FROM windows WHERE pid = ?1 AND start = ?2")
          .bind(1, static_cast<std::int64_t>(pid))
          .bind(2, static_cast<std::int64_t>(start))
          .run();
    t.commit();
  } catch (const DbError&) {
    return;  // another reader prunes them later
  }
  host.counters().bump(Counter::Windows);
}

// The living rows of other processes (pruning the dead ones), filtered by `keep`.
template <class Keep>
std::vector<WindowRow> living(Keep keep) {
  std::vector<WindowRow> out;
  {
    Snapshot& s = snapshot();
    std::lock_guard lock(s.mutex);
    Host& host = Host::current();
    const std::uint64_t epoch = Host::epoch();
    const std::uint64_t counter = host.counters().read(Counter::Windows);
    if (s.epoch != epoch || s.counter != counter) {
      std::vector<WindowRow> rows;
      try {
        Database& db = host.db();
        auto dbLock = db.lock();
        auto q = db.query(std::string("SELECT ") + kColumns + " FROM windows ORDER BY handle");
        while (q.step()) {
          WindowRow r = rowFrom(q);
          if (!isMe(r.pid, r.start)) rows.push_back(std::move(r));
        }
      } catch (const DbError&) {
        rows.clear();
      }
      s.rows = std::move(rows);
      s.epoch = epoch;
      s.counter = counter;
    }
    for (const WindowRow& r : s.rows)
      if (keep(r)) out.push_back(r);
  }
  std::map<std::pair<DWORD, std::uint64_t>, bool> alive;
  std::vector<std::pair<DWORD, std::uint64_t>> dead;
  std::erase_if(out, [&](const WindowRow& r) {
    auto key = std::make_pair(r.pid, r.start);
    auto it = alive.find(key);
    if (it == alive.end()) {
      it = alive.emplace(key, processAlive(r.pid, r.start)).first;
      if (!it->second) dead.push_back(key);
    }
    return !it->second;
  });
  prune(dead);
  return out;
}

WindowRow rowOf(const Window& w) {
  WindowRow r;
  r.handle = w.handle;
  r.pid = static_cast<DWORD>(::getpid());
  r.start = currentStartTime();
  r.threadId = w.threadId;
  if (w.cls) {
    r.className = w.cls->name;
    r.atom = w.cls->atom;
  }
  r.text = w.text;
  r.style = w.style;
  r.exStyle = w.exStyle;
  r.rect = w.rect;
  r.parent = w.parent;
  r.owner = w.owner;
  r.id = static_cast<std::uint64_t>(w.id);
  return r;
}

}  // namespace

bool WindowRow::operator==(const WindowRow& o) const {
  return handle == o.handle && pid == o.pid && start == o.start && threadId == o.threadId &&
         className == o.className && atom == o.atom && text == o.text && style == o.style &&
         exStyle == o.exStyle && rect.left == o.rect.left && rect.top == o.rect.top &&
         rect.right == o.rect.right && rect.bottom == o.rect.bottom && parent == o.parent && owner == o.owner &&
         id == o.id;
}

void mirrorWindow(const Window& w) {
  if (w.state != WindowState::Alive || !w.queue) return;
  WindowRow row = rowOf(w);
  Written& wr = written();
  std::lock_guard lock(wr.mutex);
  const std::uint64_t epoch = Host::epoch();
  if (wr.epoch != epoch) {
    wr.rows.clear();
    wr.epoch = epoch;
  }
  auto it = wr.rows.find(row.handle);
  if (it != wr.rows.end() && it->second == row) return;
  Host& host = Host::current();
  try {
    Database& db = host.db();
    Database::Transaction t(db);
    db.query(std::string("INSERT OR REPLACE INTO windows (") + kColumns +
             ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)")
        .bind(1, static_cast<std::int64_t>(row.handle))
        .bind(2, static_cast<std::int64_t>(row.pid))
        .bind(3, static_cast<std::int64_t>(row.start))
        .bind(4, static_cast<std::int64_t>(row.threadId))
        .bindBlob(5, row.className.data(), row.className.size() * 2)
        .bind(6, static_cast<std::int64_t>(row.atom))
        .bindBlob(7, row.text.data(), row.text.size() * 2)
        .bind(8, static_cast<std::int64_t>(row.style))
        .bind(9, static_cast<std::int64_t>(row.exStyle))
        .bind(10, static_cast<std::int64_t>(row.rect.left))
        .bind(11, static_cast<std::int64_t>(row.rect.top))
        .bind(12, static_cast<std::int64_t>(row.rect.right))
        .bind(13, static_cast<std::int64_t>(row.rect.bottom))
        .bind(14, static_cast<std::int64_t>(row.parent))
        .bind(15, static_cast<std::int64_t>(row.owner))
        .bind(16, static_cast<std::int64_t>(row.id))
        .run();
    t.commit();
  } catch (const DbError&) {
    return;
  }
  wr.rows[row.handle] = std::move(row);
  host.counters().bump(Counter::Windows);
}

void forgetMirrored(const std::vector<std::uint32_t>& handles) {
  if (handles.empty()) return;
  Written& wr = written();
  std::lock_guard lock(wr.mutex);
  bool any = false;
  for (std::uint32_t h : handles) any = wr.rows.erase(h) > 0 || any;
  if (!any || wr.epoch != Host::epoch()) return;
  Host& host = Host::current();
  try {
    Database& db = host.db();
    Database::Transaction t(db);
    for (std::uint32_t h : handles)
      db.query("DELETE FROM windows WHERE handle = ?1 AND pid = ?2")
          .bind(1, static_cast<std::int64_t>(h))
          .bind(2, static_cast<std::int64_t>(::getpid()))
          .run();
    t.commit();
  } catch (const DbError&) {
    return;
  }
  host.counters().bump(Counter::Windows);
}

std::optional<WindowRow> foreignWindow(std::uint32_t handle) {
  if (handle == 0 || handle == kDesktopHandle || handle == kMessageRootHandle) return std::nullopt;
  auto rows = living([&](const WindowRow& r) { return r.handle == handle; });
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::vector<WindowRow> foreignChildren(std::uint32_t parent) {
  auto rows = living([&](const WindowRow& r) { return r.parent == parent; });
  if (parent == kDesktopHandle || parent == kMessageRootHandle) std::reverse(rows.begin(), rows.end());
  return rows;
}

std::vector<WindowRow> hostWindows() {
  std::vector<WindowRow> out;
  Host& host = Host::current();
  std::vector<std::pair<DWORD, std::uint64_t>> dead;
  try {
    Database& db = host.db();
    auto dbLock = db.lock();
    auto q = db.query(std::string("SELECT ") + kColumns + " FROM windows ORDER BY handle");
    std::map<std::pair<DWORD, std::uint64_t>, bool> alive;
    while (q.step()) {
      WindowRow r = rowFrom(q);
      auto key = std::make_pair(r.pid, r.start);
      auto it = alive.find(key);
      if (it == alive.end()) {
        it = alive.emplace(key, processAlive(r.pid, r.start)).first;
        if (!it->second) dead.push_back(key);
      }
      if (it->second) out.push_back(std::move(r));
    }
  } catch (const DbError&) {
    return out;
  }
  prune(dead);
  return out;
}

}  // namespace platform::host
