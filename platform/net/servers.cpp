// The host's server table and trusted roots in host.db (see servers.h).
#include "platform/net/servers.h"

#include <arpa/inet.h>

#include <cstdint>
#include <stdexcept>

#include "platform/base/text.h"
#include "platform/host/database.h"
#include "platform/host/host.h"

namespace platform::net {
namespace {

namespace host = platform::host;

// `key` is the upper-cased name, so that lookups without case use the index.
host::SchemaPart serversSchema(
    "CREATE TABLE IF NOT EXISTS net_servers (key TEXT PRIMARY KEY, name TEXT NOT NULL,"
    " address TEXT NOT NULL, reachable INTEGER NOT NULL, rtt_ms INTEGER NOT NULL)");
host::SchemaPart rootsSchema(
    "CREATE TABLE IF NOT EXISTS net_trusted_roots (id INTEGER PRIMARY KEY, pem TEXT NOT NULL UNIQUE)");

std::string keyOf(std::u16string_view name) { return text::toUtf8(text::upcased(name)); }

Server rowToServer(const host::Query& q) {
  Server s;
  s.name = text::fromUtf8(q.textAt(0));
  s.address = q.textAt(1);
  s.reachable = q.int64At(2) != 0;
  s.rttMs = static_cast<unsigned>(q.int64At(3));
  return s;
}

}  // namespace

bool isNumericAddress(std::string_view text) {
  if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return false;
  std::string s(text);
  unsigned char buffer[16];
  return inet_pton(AF_INET, s.c_str(), buffer) == 1 || inet_pton(AF_INET6, s.c_str(), buffer) == 1;
}

void addServer(const Server& server) {
  if (server.name.empty()) throw std::invalid_argument("a server needs a name");
  if (!isNumericAddress(server.address))
    throw std::invalid_argument("not a numeric IPv4 or IPv6 address: " + server.address);
  host::Database& db = host::Host::current().db();
  host::Database::Transaction t(db);
  db.query("INSERT OR REPLACE INTO net_servers (key, name, address, reachable, rtt_ms) VALUES (?,?,?,?,?)")
      .bind(1, keyOf(server.name))
      .bind(2, text::toUtf8(server.name))
      .bind(3, server.address)
      .bind(4, server.reachable ? 1 : 0)
      .bind(5, static_cast<std::int64_t>(server.rttMs))
      .run();
  t.commit();
}

bool removeServer(std::u16string_view name) {
  host::Database& db = host::Host::current().db();
  host::Database::Transaction t(db);
  db.query("DELETE FROM net_servers WHERE key = ?").bind(1, keyOf(name)).run();
  bool removed = db.changes() > 0;
  t.commit();
  return removed;
}

std::vector<Server> servers() {
  std::vector<Server> list;
  host::Database& db = host::Host::current().db();
  auto lock = db.lock();
  host::Query q = db.query("SELECT name, address, reachable, rtt_ms FROM net_servers ORDER BY key");
  while (q.step()) list.push_back(rowToServer(q));
  return list;
}

std::optional<Server> findServer(std::u16string_view name) {
  if (name.empty()) return std::nullopt;
  host::Database& db = host::Host::current().db();
  auto lock = db.lock();
  host::Query q = db.query("SELECT name, address, reachable, rtt_ms FROM net_servers WHERE key = ?");
  q.bind(1, keyOf(name));
  if (!q.step()) return std::nullopt;
  return rowToServer(q);
}

std::optional<std::string> resolveAddress(std::u16string_view name) {
  std::string utf8 = text::toUtf8(name);
  if (isNumericAddress(utf8)) return utf8;
  std::optional<Server> server = findServer(name);
  if (!server) return std::nullopt;
  return server->address;
}

std::vector<std::string> trustedRoots() {
  std::vector<std::string> roots;
  host::Database& db = host::Host::current().db();
  auto lock = db.lock();
  host::Query q = db.query("SELECT pem FROM net_trusted_roots ORDER BY id");
  while (q.step()) roots.push_back(q.textAt(0));
  return roots;
}

void addTrustedRoot(const std::string& pem) {
  host::Database& db = host::Host::current().db();
  host::Database::Transaction t(db);
  db.query("INSERT OR IGNORE INTO net_trusted_roots (pem) VALUES (?)").bind(1, pem).run();
  t.commit();
}

}  // namespace platform::net
