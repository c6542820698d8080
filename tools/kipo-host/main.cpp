// kipo-host: creates, inspects and operates a simulated Windows host (see `kipo-host help`).
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "tools/kipo-host/command.h"

namespace kipohost {

namespace {
std::map<std::string, Command>& commands() {
  static std::map<std::string, Command> table;
  return table;
}

int help() {
  std::printf("usage: kipo-host COMMAND [ARGS]\n"
              "The host folder is named by KIPO_HOST (create takes it as an argument).\n\n");
  for (const auto& [name, command] : commands()) std::printf("%s\n", command.usage);
  return 0;
}
}  // namespace

RegisterCommand::RegisterCommand(const Command& command) { commands().emplace(command.name, command); }

int usageError(const std::string& message) {
  std::fprintf(stderr, "kipo-host: %s\n", message.c_str());
  return 2;
}

int failure(const std::string& message) {
  std::fprintf(stderr, "kipo-host: %s\n", message.c_str());
  return 1;
}

}  // namespace kipohost

int main(int argc, char** argv) {
  using namespace kipohost;
  if (argc < 2 || std::string(argv[1]) == "help" || std::string(argv[1]) == "--help") return help();
  auto it = commands().find(argv[1]);
  if (it == commands().end()) return usageError(std::string("unknown command ") + argv[1] + " (try kipo-host help)");
  std::vector<std::string> args(argv + 2, argv + argc);
  try {
    if (it->second.needsHost) platform::host::Host::current();
    return it->second.run(args);
  } catch (const std::exception& e) {
    return failure(e.what());
  }
}
