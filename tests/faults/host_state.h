// What a fault run compares: the host's registry (as `kipo-host reg export` writes it) and a file
// tree (names, sizes, content hashes), taken before a login and again after the recovery and the
// repeated session, with the differences the program may legitimately leave set apart.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace faults {

struct FileEntry {
  bool folder = false;
  std::uintmax_t size = 0;
  std::uint64_t hash = 0;
};

// A folder tree by relative path ("/" separators, exact case).
using FileTree = std::map<std::string, FileEntry>;

// Reads every file under `root`; a path for which `skip` holds is left out (with what is below it).
FileTree readTree(const std::filesystem::path& root, const std::function<bool(const std::string&)>& skip = {});

std::uint64_t hashBytes(const std::string& bytes);
std::uint64_t hashFile(const std::filesystem::path& file);

// A registry export as key path -> (value line key -> data), each value line joined with its
// continuation lines. Key paths are upper-cased (the registry ignores case).
using RegistryState = std::map<std::string, std::map<std::string, std::string>>;

// Parses an export in the registry editor's text format (UTF-16 with a byte-order mark, or UTF-8).
RegistryState parseExport(const std::string& bytes);

// Exports each root key of the current host and parses it; empty with `error` set on failure.
RegistryState exportRegistry(const std::vector<std::string>& roots, std::string& error);

// The differences between two states, one line each ("+ added", "- removed", "~ changed"),
// leaving out keys/paths for which `ignore` holds.
std::vector<std::string> compareRegistry(const RegistryState& before, const RegistryState& after,
                                         const std::function<bool(const std::string& key)>& ignore);
std::vector<std::string> compareTrees(const FileTree& before, const FileTree& after,
                                      const std::function<bool(const std::string& path)>& ignore);

}  // namespace faults
