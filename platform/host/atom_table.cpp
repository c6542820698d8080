// Atoms in host.db, cached per process (an atom never changes its name, so a cached answer stays
// right for as long as the process keeps its host).
#include "platform/host/atom_table.h"

#include <map>
#include <mutex>

#include "platform/base/text.h"
#include "platform/host/host.h"

namespace platform::host {

namespace {

SchemaPart atomsSchema(
    "CREATE TABLE IF NOT EXISTS atoms (table_id INTEGER NOT NULL, atom INTEGER NOT NULL, name TEXT NOT NULL,"
    " upper TEXT NOT NULL, PRIMARY KEY(table_id, atom), UNIQUE(table_id, upper))");

constexpr std::size_t kMaxAtomName = 255;
constexpr int kLastAtom = 0xFFFF;

struct Cache {
  std::mutex mutex;
  std::uint64_t epoch = 0;
  std::map<std::pair<int, std::u16string>, ATOM> byName;
};

Cache& cache() {
  static Cache* c = new Cache();
  return *c;
}

// Drops the cache when the process switched hosts.
void checkEpoch(Cache& c) {
  std::uint64_t e = Host::epoch();
  if (c.epoch != e) {
    c.byName.clear();
    c.epoch = e;
  }
}

}  // namespace

ATOM findAtom(AtomTable table, std::u16string_view name, bool add) {
  if (name.empty() || name.size() > kMaxAtomName) return 0;
  const int id = static_cast<int>(table);
  std::u16string upper = text::upcased(name);
  Cache& c = cache();
  {
    std::lock_guard lock(c.mutex);
    checkEpoch(c);
    if (auto it = c.byName.find({id, upper}); it != c.byName.end()) return it->second;
  }
  Host& host = Host::current();
  Database& db = host.db();
  const std::string upper8 = text::toUtf8(upper);
  ATOM atom = 0;
  bool added = false;
  {
    Database::Transaction t(db);
    auto q = db.query("SELECT atom FROM atoms WHERE table_id = ?1 AND upper = ?2");
    q.bind(1, id).bind(2, upper8);
    if (q.step()) {
      atom = static_cast<ATOM>(q.int64At(0));
    } else if (add) {
      auto last = db.query("SELECT MAX(atom) FROM atoms WHERE table_id = ?1");
      last.bind(1, id);
      int next = kFirstStringAtom;
      if (last.step() && !last.isNull(0)) next = static_cast<int>(last.int64At(0)) + 1;
      if (next <= kLastAtom) {
        db.query("INSERT INTO atoms(table_id, atom, name, upper) VALUES(?1, ?2, ?3, ?4)")
            .bind(1, id)
            .bind(2, next)
            .bind(3, text::toUtf8(name))
            .bind(4, upper8)
            .run();
        atom = static_cast<ATOM>(next);
        added = true;
      }
    }
    t.commit();
  }
  if (added) host.counters().bump(Counter::Atoms);
  if (atom) {
    std::lock_guard lock(c.mutex);
    checkEpoch(c);
    c.byName[{id, upper}] = atom;
  }
  return atom;
}

std::u16string atomName(AtomTable table, ATOM atom) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT name FROM atoms WHERE table_id = ?1 AND atom = ?2");
  q.bind(1, static_cast<int>(table)).bind(2, atom);
  return q.step() ? text::fromUtf8(q.textAt(0)) : std::u16string();
}

}  // namespace platform::host
