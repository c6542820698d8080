// The command table of kipo-host: each cmd_*.cpp registers its commands at namespace scope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kipohost {

struct Command {
  const char* name;     // first word: "create", "reg", "drive", ...
  const char* usage;    // one or more lines shown by `kipo-host help`
  bool needsHost;       // opened from KIPO_HOST before run
  int (*run)(const std::vector<std::string>& args);  // args after the command word; exit code
};

struct RegisterCommand {
  explicit RegisterCommand(const Command& command);
};

// Prints "kipo-host: <message>" to stderr and returns 2 (bad usage) for `return usageError(...)`.
int usageError(const std::string& message);
// Prints "kipo-host: <message>" to stderr and returns 1.
int failure(const std::string& message);

// A number typed on the command line: digits of `base` only (0: decimal, or hex after "0x"), at
// most `max`. strtoull alone would take "-1" as 2^64-1, skip spaces and saturate on overflow, so a
// typing slip would become a huge value instead of an error.
bool parseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& out, int base = 0);

}  // namespace kipohost
