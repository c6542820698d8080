// Fault settings of this process and of the host. The host's faults live in host.db (table
// "faults"); each process keeps a copy of their definitions, reloaded when the Faults counter or
// the host epoch changes, so that check() with nothing set reads two atomics and returns.
#include "platform/base/fault.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/host.h"

namespace platform::fault {

namespace {

using platform::host::Counter;
using platform::host::Host;

platform::host::SchemaPart faultsSchema(
    "CREATE TABLE IF NOT EXISTS faults ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, call TEXT NOT NULL, subject TEXT NOT NULL,"
    " action TEXT NOT NULL, error INTEGER NOT NULL, delay_ms INTEGER NOT NULL,"
    " nth INTEGER NOT NULL, count INTEGER NOT NULL, seen INTEGER NOT NULL DEFAULT 0)");

struct LocalFault {
  std::uint64_t id;
  Fault fault;
  std::uint32_t seen = 0;
};

struct CachedHostFault {
  std::int64_t id;
  Fault fault;
  bool exhausted = false;  // seen only grows, so once past its last call it never acts again
};

std::mutex g_localMutex;
std::vector<LocalFault> g_local;
std::atomic<bool> g_anyLocal{false};
std::uint64_t g_nextLocalId = 1;

std::mutex g_hostMutex;
std::vector<CachedHostFault> g_hostFaults;
std::atomic<std::uint64_t> g_hostEpochSeen{0};
std::atomic<std::uint64_t> g_hostCounterSeen{~0ull};
std::atomic<bool> g_anyHost{false};

bool subjectMatches(std::u16string_view prefix, std::u16string_view subject) {
  return prefix.size() <= subject.size() && text::compareNoCase(prefix, subject.substr(0, prefix.size())) == 0;
}

bool matches(const Fault& f, std::string_view call, std::u16string_view subject) {
  return f.call == call && subjectMatches(f.subject, subject);
}

// Whether the matching call numbered `n` (from 1) is affected.
bool inWindow(const Fault& f, std::uint64_t n) {
  std::uint64_t first = f.nth == 0 ? 1 : f.nth;
  return n >= first && (f.count == 0 || n < first + f.count);
}

bool pastWindow(const Fault& f, std::uint64_t n) {
  std::uint64_t first = f.nth == 0 ? 1 : f.nth;
  return f.count != 0 && n >= first + f.count - 1;
}

// Not a constant, so that the compiler emits the write rather than a trap of its own.
volatile std::uintptr_t g_crashAddress = 0;

[[noreturn]] void crash() {
  *reinterpret_cast<volatile int*>(g_crashAddress) = 0;
  // Reached only when a handler resumed after the fault: end as the fault would have.
  ::signal(SIGSEGV, SIG_DFL);
  for (;;) ::raise(SIGSEGV);
}

DWORD act(const Fault& f) {
  switch (f.action) {
    case Action::Fail:
      return f.error;
    case Action::Delay:
      clock::sleepMs(f.delayMs);
      return 0;
    case Action::Kill:
      ::kill(::getpid(), SIGKILL);
      for (;;) ::pause();
    case Action::Crash:
      crash();
  }
  return 0;
}

Fault faultFromRow(const platform::host::Query& q) {
  Fault f;
  f.call = q.textAt(1);
  f.subject = text::fromUtf8(q.textAt(2));
  parseAction(q.textAt(3), f.action);
  f.error = static_cast<DWORD>(q.int64At(4));
  f.delayMs = static_cast<std::uint32_t>(q.int64At(5));
  f.nth = static_cast<std::uint32_t>(q.int64At(6));
  f.count = static_cast<std::uint32_t>(q.int64At(7));
  return f;
}

// Brings the cached host faults up to date; returns whether any is set. A process without a
// host (a unit test of text or collections) has none, rather than being stopped for want of one.
bool refreshHostFaults() {
  static std::atomic<bool> hostAvailable{false};
  std::uint64_t epoch = Host::epoch();
  if (epoch != g_hostEpochSeen.load(std::memory_order_acquire)) {
    hostAvailable.store(Host::available(), std::memory_order_release);
    g_hostCounterSeen.store(~0ull, std::memory_order_release);
  }
  if (!hostAvailable.load(std::memory_order_acquire)) {
    g_hostEpochSeen.store(epoch, std::memory_order_release);
    return false;
  }
  Host& host = Host::current();
  std::uint64_t counter = host.counters().read(Counter::Faults);
  if (epoch == g_hostEpochSeen.load(std::memory_order_acquire) &&
      counter == g_hostCounterSeen.load(std::memory_order_acquire))
    return g_anyHost.load(std::memory_order_acquire);
  std::vector<CachedHostFault> loaded;
  {
    auto& db = host.db();
    auto lock = db.lock();
    auto q = db.query("SELECT id, call, subject, action, error, delay_ms, nth, count, seen FROM faults ORDER BY id");
    while (q.step()) {
      CachedHostFault c{q.int64At(0), faultFromRow(q)};
      c.exhausted = pastWindow(c.fault, static_cast<std::uint64_t>(q.int64At(8)));
      loaded.push_back(std::move(c));
    }
  }
  std::lock_guard lock(g_hostMutex);
  g_hostFaults = std::move(loaded);
  g_anyHost.store(!g_hostFaults.empty(), std::memory_order_release);
  g_hostCounterSeen.store(counter, std::memory_order_release);
  g_hostEpochSeen.store(epoch, std::memory_order_release);
  return !g_hostFaults.empty();
}

// A local fault due for this call, counting the call against every matching local fault.
bool localDue(std::string_view call, std::u16string_view subject, Fault& due) {
  std::lock_guard lock(g_localMutex);
  bool found = false;
  for (auto& lf : g_local) {
    if (!matches(lf.fault, call, subject)) continue;
    ++lf.seen;
    if (!found && inWindow(lf.fault, lf.seen)) {
      due = lf.fault;
      found = true;
    }
  }
  return found;
}

bool hostDue(std::string_view call, std::u16string_view subject, Fault& due) {
  std::vector<std::pair<std::int64_t, Fault>> candidates;
  {
    std::lock_guard lock(g_hostMutex);
    for (const auto& c : g_hostFaults)
      if (!c.exhausted && matches(c.fault, call, subject)) candidates.emplace_back(c.id, c.fault);
  }
  if (candidates.empty()) return false;
  bool found = false;
  auto& db = Host::current().db();
  for (const auto& [id, f] : candidates) {
    std::int64_t seen = 0;
    {
      auto lock = db.lock();
      auto q = db.query("UPDATE faults SET seen = seen + 1 WHERE id = ?1 RETURNING seen");
      q.bind(1, id);
      if (!q.step()) continue;  // removed meanwhile
      seen = q.int64At(0);
    }
    if (pastWindow(f, static_cast<std::uint64_t>(seen))) {
      std::lock_guard lock(g_hostMutex);
      for (auto& c : g_hostFaults)
        if (c.id == id) c.exhausted = true;
    }
    if (!found && inWindow(f, static_cast<std::uint64_t>(seen))) {
      due = f;
      found = true;
    }
  }
  return found;
}

// The fault points of the loaded modules; a name joined twice (two modules) counts twice.
struct PointTable {
  std::mutex mutex;
  std::map<std::string, int, std::less<>> names;
};

PointTable& pointTable() {
  // Built by the first Points to join, so it is destroyed after the last one leaves.
  static PointTable table;
  return table;
}

void requirePoint(std::string_view call) {
  if (!isPoint(call)) throw UnknownPoint(call);
}

}  // namespace

Points::Points(std::initializer_list<std::string_view> names) : names_(names) {
  PointTable& t = pointTable();
  std::lock_guard lock(t.mutex);
  for (std::string_view n : names_) ++t.names[std::string(n)];
}

Points::~Points() {
  PointTable& t = pointTable();
  std::lock_guard lock(t.mutex);
  for (std::string_view n : names_) {
    auto it = t.names.find(n);
    if (it != t.names.end() && --it->second == 0) t.names.erase(it);
  }
}

bool isPoint(std::string_view call) {
  PointTable& t = pointTable();
  std::lock_guard lock(t.mutex);
  return t.names.find(call) != t.names.end();
}

std::vector<std::string> points() {
  PointTable& t = pointTable();
  std::lock_guard lock(t.mutex);
  std::vector<std::string> out;
  for (const auto& [name, joins] : t.names) out.push_back(name);
  return out;
}

UnknownPoint::UnknownPoint(std::string_view call)
    : std::invalid_argument("no fault point named \"" + std::string(call) +
                            "\": a fault on it could never act (kipo-host fault points lists them)") {}

DWORD check(std::string_view call, std::u16string_view subject) {
  Fault due;
  if (g_anyLocal.load(std::memory_order_acquire) && localDue(call, subject, due)) return act(due);
  if (refreshHostFaults() && hostDue(call, subject, due)) return act(due);
  return 0;
}

std::uint64_t inject(const Fault& fault) {
  requirePoint(fault.call);
  std::lock_guard lock(g_localMutex);
  std::uint64_t id = g_nextLocalId++;
  g_local.push_back({id, fault});
  g_anyLocal.store(true, std::memory_order_release);
  return id;
}

bool removeLocal(std::uint64_t id) {
  std::lock_guard lock(g_localMutex);
  for (auto it = g_local.begin(); it != g_local.end(); ++it)
    if (it->id == id) {
      g_local.erase(it);
      g_anyLocal.store(!g_local.empty(), std::memory_order_release);
      return true;
    }
  return false;
}

void clearLocal() {
  std::lock_guard lock(g_localMutex);
  g_local.clear();
  g_anyLocal.store(false, std::memory_order_release);
}

std::int64_t addHostFault(const Fault& fault) {
  requirePoint(fault.call);
  Host& host = Host::current();
  std::int64_t id = 0;
  {
    auto& db = host.db();
    auto lock = db.lock();
    db.query("INSERT INTO faults(call, subject, action, error, delay_ms, nth, count) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)")
        .bind(1, fault.call)
        .bind(2, text::toUtf8(fault.subject))
        .bind(3, actionName(fault.action))
        .bind(4, static_cast<std::int64_t>(fault.error))
        .bind(5, static_cast<std::int64_t>(fault.delayMs))
        .bind(6, static_cast<std::int64_t>(fault.nth == 0 ? 1 : fault.nth))
        .bind(7, static_cast<std::int64_t>(fault.count))
        .run();
    id = db.lastInsertRowid();
  }
  host.counters().bump(Counter::Faults);
  return id;
}

std::vector<HostFault> listHostFaults() {
  std::vector<HostFault> out;
  auto& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT id, call, subject, action, error, delay_ms, nth, count, seen FROM faults ORDER BY id");
  while (q.step()) out.push_back({q.int64At(0), faultFromRow(q), static_cast<std::uint32_t>(q.int64At(8))});
  return out;
}

bool clearHostFault(std::int64_t id) {
  Host& host = Host::current();
  int removed = 0;
  {
    auto lock = host.db().lock();
    host.db().query("DELETE FROM faults WHERE id = ?1").bind(1, id).run();
    removed = host.db().changes();
  }
  if (removed) host.counters().bump(Counter::Faults);
  return removed != 0;
}

void clearHostFaults() {
  Host& host = Host::current();
  {
    auto lock = host.db().lock();
    host.db().query("DELETE FROM faults").run();
  }
  host.counters().bump(Counter::Faults);
}

const char* actionName(Action action) {
  switch (action) {
    case Action::Fail:
      return "fail";
    case Action::Delay:
      return "delay";
    case Action::Kill:
      return "kill";
    case Action::Crash:
      return "crash";
  }
  return "fail";
}

bool parseAction(std::string_view text, Action& action) {
  if (text == "fail") action = Action::Fail;
  else if (text == "delay") action = Action::Delay;
  else if (text == "kill") action = Action::Kill;
  else if (text == "crash") action = Action::Crash;
  else return false;
  return true;
}

}  // namespace platform::fault
