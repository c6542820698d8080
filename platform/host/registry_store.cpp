// The registry's tables in host.db and the per-process cache over them.
#include "platform/host/registry_store.h"

#include <algorithm>
#include <cassert>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/host/host.h"

namespace platform::registry {

namespace {

using host::Host;

// Keys: the two stored roots have a NULL parent. upname is the name upper-cased by the shared
// table, so lookups and the uniqueness of sibling names are case-insensitive.
host::SchemaPart keysSchema(
    "CREATE TABLE IF NOT EXISTS reg_keys ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER REFERENCES reg_keys(id) ON DELETE CASCADE,"
    " hive INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " upname TEXT NOT NULL,"
    " written INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_child ON reg_keys(parent, upname);");
// Values keep their creation order through their row id: setting a value again updates the row.
host::SchemaPart valuesSchema(
    "CREATE TABLE IF NOT EXISTS reg_values ("
    " id INTEGER PRIMARY KEY,"
    " key INTEGER NOT NULL REFERENCES reg_keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL,"
    " upname TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS reg_values_name ON reg_values(key, upname);");
// The SID-shaped hive name given to each user of the host.
host::SchemaPart usersSchema(
    "CREATE TABLE IF NOT EXISTS reg_users (upname TEXT PRIMARY KEY, name TEXT NOT NULL, sid TEXT NOT NULL)");

constexpr std::u16string_view kMachineName = u"HKEY_LOCAL_MACHINE";
constexpr std::u16string_view kUsersName = u"HKEY_USERS";
// Windows XP gives the first account made at setup the relative id 1003.
constexpr unsigned kFirstUserRid = 1003;

std::recursive_mutex g_mutex;
std::atomic<std::uint64_t> g_setupEpoch{0};

std::string up8(std::u16string_view name) { return text::toUtf8(text::upcased(name)); }

std::uint64_t nowTicks() {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  return unixToFileTimeTicks(ns / 1000000000, ns % 1000000000);
}

// 32-bit FNV-1a, to derive a stable machine part of the users' SIDs from the computer name.
std::uint32_t fnv(std::string_view s, std::uint32_t seed) {
  std::uint32_t h = 2166136261u ^ seed;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

}  // namespace

std::unique_lock<std::recursive_mutex> lock() { return std::unique_lock(g_mutex); }

Store& Store::get() {
  static Store* store = new Store();  // outlives static destructors that may close keys
  store->sync();
  return *store;
}

host::Database& Store::db() { return host_->db(); }

void Store::sync() {
  std::uint64_t epoch = Host::epoch();
  if (epoch != epoch_ || !host_) {
    host_ = &Host::current();
    epoch_ = Host::epoch();
    invalidate();
    seen_ = ~0ull;
  }
  if (writeDepth_ > 0) return;  // inside our own transaction the cache follows our writes
  std::uint64_t counter = host_->counters().read(host::Counter::Registry);
  if (counter != seen_) {
    invalidate();
    seen_ = counter;
  }
}

void Store::invalidate() {
  ++generation_;
  cacheVersion_ = -1;
  nodes_.clear();
  missing_.clear();
  machine_ = users_ = userHive_ = 0;
  userName_.clear();
}

KeyId Store::topRoot(std::u16string_view name) {
  auto find = [&]() -> KeyId {
    auto q = db().query("SELECT id FROM reg_keys WHERE parent IS NULL AND upname = ?1");
    q.bind(1, up8(name));
    return q.step() ? q.int64At(0) : 0;
  };
  if (KeyId id = find()) return id;
  WriteScope w;
  if (KeyId id = find()) return id;  // another process made it meanwhile
  db().query("INSERT INTO reg_keys(parent, hive, name, upname, written) VALUES(NULL, 0, ?1, ?2, ?3)")
      .bind(1, text::toUtf8(name))
      .bind(2, up8(name))
      .bind(3, static_cast<std::int64_t>(nowTicks()))
      .run();
  KeyId id = db().lastInsertRowid();
  db().query("UPDATE reg_keys SET hive = id WHERE id = ?1").bind(1, id).run();
  dirty_ = true;
  w.commit();
  return id;
}

KeyId Store::machineRoot() {
  if (!machine_) machine_ = topRoot(kMachineName);
  return machine_;
}

KeyId Store::usersRoot() {
  if (!users_) users_ = topRoot(kUsersName);
  return users_;
}

std::u16string Store::userSid(std::u16string_view userName) {
  std::string up = up8(userName);
  auto find = [&]() -> std::string {
    auto q = db().query("SELECT sid FROM reg_users WHERE upname = ?1");
    q.bind(1, up);
    return q.step() ? q.textAt(0) : std::string();
  };
  if (std::string sid = find(); !sid.empty()) return text::fromUtf8(sid);
  WriteScope w;
  if (std::string sid = find(); !sid.empty()) return text::fromUtf8(sid);
  std::string prefix;
  unsigned count = 0;
  {
    auto q = db().query("SELECT sid FROM reg_users ORDER BY rowid");
    while (q.step()) {
      std::string sid = q.textAt(0);
      if (prefix.empty()) prefix = sid.substr(0, sid.rfind('-'));
      ++count;
    }
  }
  if (prefix.empty()) {
    std::string computer = host_->fact(host::fact::ComputerName);
    char buf[64];
    std::snprintf(buf, sizeof buf, "S-1-5-21-%u-%u-%u", fnv(computer, 1) % 2000000000u + 100000000u,
                  fnv(computer, 2) % 2000000000u + 100000000u, fnv(computer, 3) % 2000000000u + 100000000u);
    prefix = buf;
  }
  std::string sid = prefix + "-" + std::to_string(kFirstUserRid + count);
  db().query("INSERT INTO reg_users(upname, name, sid) VALUES(?1, ?2, ?3)")
      .bind(1, up)
      .bind(2, text::toUtf8(userName))
      .bind(3, sid)
      .run();
  dirty_ = true;
  w.commit();
  return text::fromUtf8(sid);
}

KeyId Store::currentUserHive() {
  std::u16string user = host_->factW(host::fact::UserName);
  if (userHive_ && user == userName_ && node(userHive_)) return userHive_;
  std::u16string sid = userSid(user);
  KeyId hive = child(usersRoot(), sid);
  if (!hive) {
    WriteScope w;
    if ((hive = child(usersRoot(), sid))) return hive;
    hive = createChild(usersRoot(), sid);
    KeyId software = createChild(hive, u"Software");
    createChild(software, u"Classes");
    w.commit();
  }
  userName_ = user;
  userHive_ = hive;
  return hive;
}

Node* Store::node(KeyId id) {
  if (id <= 0) return nullptr;
  if (auto it = nodes_.find(id); it != nodes_.end()) return it->second.get();
  if (missing_.count(id)) return nullptr;
  auto q = db().query("SELECT parent, hive, name, written FROM reg_keys WHERE id = ?1");
  q.bind(1, id);
  if (!q.step()) {
    missing_.emplace(id, true);
    return nullptr;
  }
  auto n = std::make_unique<Node>();
  n->id = id;
  n->parent = q.isNull(0) ? 0 : q.int64At(0);
  n->hive = q.int64At(1);
  n->name = text::fromUtf8(q.textAt(2));
  n->written = static_cast<std::uint64_t>(q.int64At(3));
  Node* raw = n.get();
  nodes_.emplace(id, std::move(n));
  return raw;
}

void Store::loadValues(Node& n) {
  if (n.valuesLoaded) return;
  n.values.clear();
  n.valueIndex.clear();
  auto q = db().query("SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY id");
  q.bind(1, n.id);
  while (q.step()) {
    Value v;
    v.name = text::fromUtf8(q.textAt(0));
    v.type = static_cast<DWORD>(q.int64At(1));
    v.data = std::string(q.blobAt(2));
    n.valueIndex.emplace(text::upcased(v.name), n.values.size());
    n.values.push_back(std::move(v));
  }
  n.valuesLoaded = true;
}

void Store::loadChildren(Node& n) {
  if (n.childrenLoaded) return;
  n.children.clear();
  n.childIndex.clear();
  auto q = db().query("SELECT id, name FROM reg_keys WHERE parent = ?1");
  q.bind(1, n.id);
  while (q.step()) {
    Child c{text::fromUtf8(q.textAt(1)), q.int64At(0)};
    n.childIndex.emplace(text::upcased(c.name), c.id);
    n.children.push_back(std::move(c));
  }
  std::sort(n.children.begin(), n.children.end(),
            [](const Child& a, const Child& b) { return text::compareNoCase(a.name, b.name) < 0; });
  n.childrenLoaded = true;
}

KeyId Store::child(KeyId parent, std::u16string_view name) {
  Node* n = node(parent);
  if (!n) return 0;
  loadChildren(*n);
  auto it = n->childIndex.find(text::upcased(name));
  return it == n->childIndex.end() ? 0 : it->second;
}

KeyId Store::walk(KeyId from, std::u16string_view path) {
  KeyId id = from;
  while (id && !path.empty()) {
    std::size_t cut = path.find(u'\\');
    std::u16string_view part = path.substr(0, cut);
    if (part.empty()) return 0;
    id = child(id, part);
    path = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut + 1);
  }
  return node(id) ? id : 0;
}

const std::vector<Child>& Store::children(KeyId id) {
  static const std::vector<Child> none;
  Node* n = node(id);
  if (!n) return none;
  loadChildren(*n);
  return n->children;
}

const std::vector<Value>& Store::values(KeyId id) {
  static const std::vector<Value> none;
  Node* n = node(id);
  if (!n) return none;
  loadValues(*n);
  return n->values;
}

const Value* Store::value(KeyId id, std::u16string_view name) {
  Node* n = node(id);
  if (!n) return nullptr;
  loadValues(*n);
  auto it = n->valueIndex.find(text::upcased(name));
  return it == n->valueIndex.end() ? nullptr : &n->values[it->second];
}

std::u16string Store::pathOf(KeyId id) {
  std::u16string path;
  for (Node* n = node(id); n; n = node(n->parent)) path = n->name + (path.empty() ? u"" : u"\\") + path;
  return path;
}

std::size_t Store::depth(KeyId id) {
  std::size_t levels = 0;
  for (Node* n = node(id); n && n->id != n->hive && n->parent; n = node(n->parent)) ++levels;
  return levels;
}

void Store::touch(KeyId id, std::uint64_t now) {
  db().query("UPDATE reg_keys SET written = ?2 WHERE id = ?1").bind(1, id).bind(2, static_cast<std::int64_t>(now)).run();
  if (auto it = nodes_.find(id); it != nodes_.end()) it->second->written = now;
}

KeyId Store::createChild(KeyId parent, std::u16string_view name) {
  assert(writeDepth_ > 0);
  assert(!name.empty() && name.find(u'\0') == std::u16string_view::npos && name.find(u'\\') == std::u16string_view::npos);
  Node* p = node(parent);
  if (!p) return 0;
  // Keys directly under HKEY_USERS are hives of their own: writes there follow the user.
  KeyId hive = parent == usersRoot() ? 0 : p->hive;
  std::uint64_t now = nowTicks();
  db().query("INSERT INTO reg_keys(parent, hive, name, upname, written) VALUES(?1, ?2, ?3, ?4, ?5)")
      .bind(1, parent)
      .bind(2, hive)
      .bind(3, text::toUtf8(name))
      .bind(4, up8(name))
      .bind(5, static_cast<std::int64_t>(now))
      .run();
  KeyId id = db().lastInsertRowid();
  if (!hive) db().query("UPDATE reg_keys SET hive = id WHERE id = ?1").bind(1, id).run();
  touch(parent, now);
  dirty_ = true;
  invalidate();
  return id;
}

void Store::setValue(KeyId id, std::u16string_view name, DWORD type, std::string_view data) {
  assert(writeDepth_ > 0);
  db().query(
          "INSERT INTO reg_values(key, name, upname, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
          "ON CONFLICT(key, upname) DO UPDATE SET type = excluded.type, data = excluded.data")
      .bind(1, id)
      .bind(2, text::toUtf8(name))
      .bind(3, up8(name))
      .bind(4, static_cast<std::int64_t>(type))
      .bindBlob(5, data.data(), data.size())
      .run();
  touch(id, nowTicks());
  dirty_ = true;
  // The cache follows the write (a synchronizer writes a value per file it copies; dropping the
  // cache each time made every next call read the key path afresh). A value set again keeps its
  // place and first spelling, a new one comes last, as the rows are ordered.
  auto it = nodes_.find(id);
  if (it == nodes_.end() || !it->second->valuesLoaded) return;
  Node& n = *it->second;
  std::u16string up = text::upcased(name);
  if (auto v = n.valueIndex.find(up); v != n.valueIndex.end()) {
    n.values[v->second].type = type;
    n.values[v->second].data.assign(data);
    return;
  }
  n.valueIndex.emplace(std::move(up), n.values.size());
  n.values.push_back(Value{std::u16string(name), type, std::string(data)});
}

bool Store::deleteValue(KeyId id, std::u16string_view name) {
  assert(writeDepth_ > 0);
  db().query("DELETE FROM reg_values WHERE key = ?1 AND upname = ?2").bind(1, id).bind(2, up8(name)).run();
  bool deleted = db().changes() > 0;
  if (deleted) {
    touch(id, nowTicks());
    dirty_ = true;
  }
  invalidate();
  return deleted;
}

void Store::deleteTree(KeyId id) {
  assert(writeDepth_ > 0);
  Node* n = node(id);
  if (!n) return;
  KeyId parent = n->parent;
  // The foreign keys cascade through the subtree and its values.
  db().query("DELETE FROM reg_keys WHERE id = ?1").bind(1, id).run();
  if (parent) touch(parent, nowTicks());
  dirty_ = true;
  invalidate();
}

WriteScope::WriteScope() : lock_(lock()), store_(Store::get()), tx_(store_.db()) {
  // Another process may have committed between our last look and BEGIN IMMEDIATE without having
  // bumped the counter yet: decisions inside the transaction must read the database afresh. The
  // connection's data version tells whether anyone else committed since the cache was emptied;
  // when nobody did, what the cache holds is what the transaction would read.
  if (store_.writeDepth_ == 0) {
    const std::int64_t version = store_.db().dataVersion();
    if (version != store_.cacheVersion_) {
      store_.invalidate();
      store_.cacheVersion_ = version;
    }
    store_.dirty_ = false;
  }
  ++store_.writeDepth_;
}

WriteScope::~WriteScope() {
  --store_.writeDepth_;
  if (!committed_) store_.invalidate();
}

void WriteScope::commit() {
  tx_.commit();
  committed_ = true;
  if (store_.writeDepth_ == 1 && store_.dirty_) {
    // The cache followed the writes. A bump of someone else's between our last look and ours
    // would otherwise hide their change behind our own.
    const std::uint64_t before = store_.seen_;
    store_.seen_ = store_.host_->counters().bump(host::Counter::Registry);
    if (store_.seen_ != before + 1) store_.invalidate();
  }
}

void beginSetup() { g_setupEpoch.store(Host::epoch()); }
void endSetup() { g_setupEpoch.store(0); }
bool setupActive() { return g_setupEpoch.load() == Host::epoch(); }

}  // namespace platform::registry
