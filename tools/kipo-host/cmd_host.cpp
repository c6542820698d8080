// kipo-host create, info, set: making a host and showing or changing its facts.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/host/create.h"
#include "platform/host/host.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

using platform::host::Host;

// "--computer-name X" and "--computer_name X" both name the fact computer_name.
bool parseFactOptions(const std::vector<std::string>& args, std::size_t from,
                      std::map<std::string, std::string>& facts, std::string& problem) {
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0 || i + 1 >= args.size()) {
      problem = "expected --FACT VALUE, got " + a;
      return false;
    }
    std::string name = a.substr(2);
    for (auto& ch : name)
      if (ch == '-') ch = '_';
    if (!platform::host::defaultFacts().count(name)) {
      problem = "unknown host fact " + name;
      return false;
    }
    facts[name] = args[++i];
  }
  return true;
}

int create(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("create needs a folder");
  platform::host::HostOptions options;
  std::string problem;
  if (!parseFactOptions(args, 1, options.facts, problem)) return usageError(problem);
  platform::host::createHost(args[0], options);
  std::printf("created host %s\n", Host::current().folder().c_str());
  return 0;
}

int info(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("info takes no arguments");
  Host& host = Host::current();
  std::printf("host folder: %s\n", host.folder().c_str());
  for (const auto& [name, value] : platform::host::defaultFacts())
    std::printf("%s: %s\n", name.c_str(), host.fact(name).c_str());
  return 0;
}

int set(const std::vector<std::string>& args) {
  std::map<std::string, std::string> facts;
  std::string problem;
  if (args.empty()) return usageError("set needs --FACT VALUE");
  if (!parseFactOptions(args, 0, facts, problem)) return usageError(problem);
  Host& host = Host::current();
  for (const auto& [name, value] : facts) host.setFact(name, value);
  return 0;
}

RegisterCommand createCommand({"create",
                               "create DIR [--FACT VALUE ...]   make a new host (facts as in `info`)",
                               false, create});
RegisterCommand infoCommand({"info", "info                            show the host's facts", true, info});
RegisterCommand setCommand({"set", "set --FACT VALUE ...             change host facts", true, set});

}  // namespace
}  // namespace kipohost
