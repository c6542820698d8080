// kipo-host: creates, inspects and operates a simulated Windows host (see `kipo-host help`).
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <string_view>
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

bool parseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& out, int base) {
  std::string_view digits = text;
  if (base == 0) {
    base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      digits.remove_prefix(2);
      base = 16;
    }
  }
  if (digits.empty()) return false;
  std::uint64_t value = 0;
  for (char c : digits) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    if (digit >= static_cast<unsigned>(base) || digit > max || value > (max - digit) / static_cast<unsigned>(base))
      return false;
    value = value * static_cast<unsigned>(base) + digit;
  }
  out = value;
  return true;
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
