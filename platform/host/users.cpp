// The host's users in host.db, with the host user's name and administrator flag taken from the
// facts (see users.h).
#include "platform/host/users.h"

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/registry_store.h"

namespace platform::host {

namespace {

// One row per user; the host user's row (when it has one) holds only its password that matters.
SchemaPart usersSchema(
    "CREATE TABLE IF NOT EXISTS host_users ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " upname TEXT NOT NULL UNIQUE,"
    " name TEXT NOT NULL,"
    " password TEXT NOT NULL DEFAULT '',"
    " admin INTEGER NOT NULL DEFAULT 0)");

std::string up8(std::u16string_view name) { return text::toUtf8(text::upcased(name)); }

HostUser hostUserOf(Host& host) {
  HostUser u;
  u.name = host.factW(fact::UserName);
  u.admin = host.fact(fact::UserIsAdmin) != "0";
  u.hostUser = true;
  return u;
}

// Gives the user its SID (its hive name) now, so relative ids follow the order of creation.
// Runs outside any database transaction: the registry lock comes before the database's.
void assignSid(std::u16string_view name) {
  auto lock = registry::lock();
  registry::Store::get().userSid(name);
}

}  // namespace

std::string userNameProblem(std::string_view name) {
  std::u16string wide = text::fromUtf8(name);
  if (wide.empty() || wide.size() > 20) return "a user name has 1 to 20 characters";
  for (char16_t c : wide)
    if (c < 0x20 || std::u16string_view(u"\"/\\[]:;|=,+*?<>").find(c) != std::u16string_view::npos)
      return "a user name has none of \"/\\[]:;|=,+*?<> and no control characters";
  if (wide.find_first_not_of(u". ") == std::u16string::npos) return "a user name is not only dots and spaces";
  return {};
}

std::vector<HostUser> listUsers(Host& host) {
  HostUser self = hostUserOf(host);
  std::vector<HostUser> out{self};
  const std::string selfUp = up8(self.name);
  auto lock = host.db().lock();
  auto q = host.db().query("SELECT upname, name, password, admin FROM host_users ORDER BY id");
  while (q.step()) {
    if (q.textAt(0) == selfUp) {
      out[0].password = text::fromUtf8(q.textAt(2));
      continue;
    }
    out.push_back({text::fromUtf8(q.textAt(1)), text::fromUtf8(q.textAt(2)), q.int64At(3) != 0, false});
  }
  return out;
}

std::optional<HostUser> findUser(Host& host, std::u16string_view name) {
  for (auto& u : listUsers(host))
    if (text::equalNoCase(u.name, name)) return u;
  return std::nullopt;
}

bool addUser(Host& host, const HostUser& user, std::string* problem) {
  std::string why = userNameProblem(text::toUtf8(user.name));
  if (why.empty() && findUser(host, user.name)) why = "there is already a user " + text::toUtf8(user.name);
  if (!why.empty()) {
    if (problem) *problem = why;
    return false;
  }
  {
    auto lock = host.db().lock();
    host.db()
        .query("INSERT INTO host_users(upname, name, password, admin) VALUES(?1, ?2, ?3, ?4)")
        .bind(1, up8(user.name))
        .bind(2, text::toUtf8(user.name))
        .bind(3, text::toUtf8(user.password))
        .bind(4, user.admin ? 1 : 0)
        .run();
  }
  assignSid(user.name);
  return true;
}

bool setUser(Host& host, std::u16string_view name, const std::optional<std::u16string>& password,
             std::optional<bool> admin, std::string* problem) {
  std::optional<HostUser> found = findUser(host, name);
  if (!found) {
    if (problem) *problem = "there is no user " + text::toUtf8(name);
    return false;
  }
  HostUser u = *found;
  if (password) u.password = *password;
  if (admin) u.admin = *admin;
  {
    auto lock = host.db().lock();
    host.db()
        .query("INSERT INTO host_users(upname, name, password, admin) VALUES(?1, ?2, ?3, ?4) "
               "ON CONFLICT(upname) DO UPDATE SET password = ?3, admin = ?4")
        .bind(1, up8(u.name))
        .bind(2, text::toUtf8(u.name))
        .bind(3, text::toUtf8(u.password))
        .bind(4, u.admin ? 1 : 0)
        .run();
  }
  if (u.hostUser && admin) host.setFact(fact::UserIsAdmin, *admin ? "1" : "0");
  assignSid(u.name);
  return true;
}

}  // namespace platform::host
