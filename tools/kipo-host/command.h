// The command table of kipo-host: each cmd_*.cpp registers its commands at namespace scope.
#pragma once

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

}  // namespace kipohost
