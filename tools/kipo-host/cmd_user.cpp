// kipo-host user: the users of the host (see platform/host/users.h). The host user is the one
// the facts name; `user set` on it changes the fact user_is_admin.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/users.h"
#include "platform/win32/security.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

using platform::host::Host;
namespace text = platform::text;

struct UserOptions {
  std::optional<std::u16string> password;
  std::optional<bool> admin;
};

// Parses [--password P] [--admin yes|no] from args[from]; empty when fine, else the problem.
std::string parseOptions(const std::vector<std::string>& args, std::size_t from, UserOptions& out) {
  for (std::size_t i = from; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return args[i] + " needs a value";
    const std::string& value = args[i + 1];
    if (args[i] == "--password") {
      out.password = text::fromUtf8(value);
    } else if (args[i] == "--admin") {
      if (value != "yes" && value != "no") return "--admin is yes or no";
      out.admin = value == "yes";
    } else {
      return "unknown option " + args[i];
    }
  }
  return {};
}

int add(const std::vector<std::string>& args) {
  if (args.size() < 2) return usageError("user add NAME [--password P] [--admin yes|no]");
  UserOptions o;
  if (std::string problem = parseOptions(args, 2, o); !problem.empty()) return usageError(problem);
  platform::host::HostUser u{text::fromUtf8(args[1]), o.password.value_or(u""), o.admin.value_or(false), false};
  std::string problem;
  if (!platform::host::addUser(Host::current(), u, &problem)) return failure(problem);
  return 0;
}

int set(const std::vector<std::string>& args) {
  if (args.size() < 2) return usageError("user set NAME [--password P] [--admin yes|no]");
  UserOptions o;
  if (std::string problem = parseOptions(args, 2, o); !problem.empty()) return usageError(problem);
  if (!o.password && !o.admin) return usageError("user set needs --password or --admin");
  std::string problem;
  if (!platform::host::setUser(Host::current(), text::fromUtf8(args[1]), o.password, o.admin, &problem))
    return failure(problem);
  return 0;
}

// One line per user: name, "administrator" or "user", SID, and "host user" for the facts' one.
int list(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("user list takes no arguments");
  for (const auto& u : platform::host::listUsers(Host::current())) {
    std::printf("%-20s %-13s %s%s\n", text::toUtf8(u.name).c_str(), u.admin ? "administrator" : "user",
                text::toUtf8(platform::security::userSid(u.name)).c_str(), u.hostUser ? "  host user" : "");
  }
  return 0;
}

int user(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("user add|list|set");
  if (args[0] == "add") return add(args);
  if (args[0] == "set") return set(args);
  if (args[0] == "list") return list(args);
  return usageError("unknown user command " + args[0]);
}

RegisterCommand userCommand({"user",
                             "user add NAME [--password P] [--admin yes|no]   add a user of the host\n"
                             "user set NAME [--password P] [--admin yes|no]   change a user\n"
                             "user list                       the users: name, administrator or user, SID",
                             true, user});

}  // namespace
}  // namespace kipohost
