// Making a new host: the folder, host.db with the facts, drive C: laid out as a Windows XP
// machine for one user, and whatever each facility puts into a fresh host (registry contents,
// the drive table entry for C:). Facilities add their part with a CreateStep.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace platform::host {

class Host;

struct HostOptions {
  // Facts that differ from the defaults (see host.h).
  std::map<std::string, std::string> facts;
};

// Creates the host at `folder` (which must not exist or be empty) and leaves it as the process's
// current host, as if KIPO_HOST named it. Throws std::runtime_error with a clear reason (a
// folder on a file system without user extended attributes is refused).
void createHost(const std::filesystem::path& folder, const HostOptions& options);

// A facility's part of a new host, run in order of `order` with the new host current.
struct CreateStep {
  CreateStep(int order, std::function<void(Host&)> step);
};

// True when the file system holding `folder` keeps user extended attributes.
bool supportsUserXattrs(const std::filesystem::path& folder);

}  // namespace platform::host
