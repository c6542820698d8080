// kiporc's compiler: a resource script (the familiar .rc statements, see FORMAT.md) with its
// headers and #define'd ids, turned into the list of resources in their Windows binary layouts.
#pragma once

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/host/module_format.h"

namespace kiporc {

struct CompileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::vector<std::filesystem::path> includeDirs;
  std::map<std::string, std::string> defines;  // -D NAME=VALUE
};

// Compiles the script; throws CompileError("file:line: message") on the first error.
std::vector<platform::rsrc::Resource> compile(const std::filesystem::path& script, const Options& options);

}  // namespace kiporc
