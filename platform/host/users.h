// The users of a host (name, password, administrator or not), kept in host.db and shared by
// every process of the host. LogonUserW, the account lookups and `kipo-host user` work from here.
//
// The host's own user, the one every program of the host runs as, is the one the facts name:
// fact user_name is its name and fact user_is_admin its administrator flag. The facts are the
// source of truth for those two, so `kipo-host set --user-is-admin 0` and `kipo-host user set
// <host user> --admin no` change the same thing. The host_users table keeps that user's password
// (empty until set) and every other user. Renaming the host user through the facts makes the
// row of that name (if any) the host user; the previous host user stays only if it has a row.
//
// Each user's SID is the name of its registry hive (platform::registry::Store::userSid), given
// when the user is added, so relative ids follow the order users were made in (1003, 1004, ...).
// Passwords are kept as plain text: this is a simulated machine, and tests read them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::host {

class Host;

struct HostUser {
  std::u16string name;
  std::u16string password;
  bool admin = false;
  bool hostUser = false;  // the user the facts name
};

// Why `name` (UTF-8) cannot be a user name, or empty when it can: 1 to 20 characters, none of
// "/\[]:;|=,+*?<> and no control characters, not only dots and spaces.
std::string userNameProblem(std::string_view name);

// The host user first, then the other users in the order they were added.
std::vector<HostUser> listUsers(Host& host);
// The user of that name (case-insensitive), or nothing.
std::optional<HostUser> findUser(Host& host, std::u16string_view name);

// Adds a user; false with a reason in *problem when the name is unusable or taken.
bool addUser(Host& host, const HostUser& user, std::string* problem);
// Changes the password and/or administrator flag of an existing user (for the host user the
// flag is written to the fact user_is_admin); false with a reason when there is no such user.
bool setUser(Host& host, std::u16string_view name, const std::optional<std::u16string>& password,
             std::optional<bool> admin, std::string* problem);

}  // namespace platform::host
