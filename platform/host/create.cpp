// kipo-host create: a fresh host folder. Facilities fill it through CreateStep; this file lays
// out the folder, the database and drive C:'s folders.
#include "platform/host/create.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/host/host.h"

namespace platform::host {

namespace {

struct Step {
  int order;
  std::function<void(Host&)> run;
};

std::vector<Step>& steps() {
  static std::vector<Step> s;
  return s;
}

// Folders of drive C: on an XP machine, relative to C/; "%USER%" is the user's name.
const char* const kLayout[] = {
    "WINDOWS/system32",
    "WINDOWS/Fonts",
    "WINDOWS/Temp",
    "WINDOWS/Web/Wallpaper",
    "Program Files/Common Files",
    "Documents and Settings/%USER%/Application Data/Microsoft",
    "Documents and Settings/%USER%/Local Settings/Application Data",
    "Documents and Settings/%USER%/Local Settings/History",
    "Documents and Settings/%USER%/Local Settings/Temporary Internet Files",
    "Documents and Settings/%USER%/Local Settings/Temp",
    "Documents and Settings/%USER%/Cookies",
    "Documents and Settings/%USER%/Desktop",
    "Documents and Settings/%USER%/Favorites",
    "Documents and Settings/%USER%/My Documents/My Pictures",
    "Documents and Settings/%USER%/My Documents/My Music",
    "Documents and Settings/%USER%/NetHood",
    "Documents and Settings/%USER%/PrintHood",
    "Documents and Settings/%USER%/Recent",
    "Documents and Settings/%USER%/SendTo",
    "Documents and Settings/%USER%/Start Menu/Programs/Startup",
    "Documents and Settings/%USER%/Templates",
    "Documents and Settings/All Users/Application Data",
    "Documents and Settings/All Users/Desktop",
    "Documents and Settings/All Users/Documents",
    "Documents and Settings/All Users/Start Menu/Programs/Startup",
    "Documents and Settings/Default User",
};

std::string withUser(std::string path, const std::string& user) {
  const std::string token = "%USER%";
  if (auto at = path.find(token); at != std::string::npos) path.replace(at, token.size(), user);
  return path;
}

}  // namespace

CreateStep::CreateStep(int order, std::function<void(Host&)> step) { steps().push_back({order, std::move(step)}); }

bool supportsUserXattrs(const std::filesystem::path& folder) {
  const char* name = "user.kipo.probe";
  std::string p = folder.string();
  if (::setxattr(p.c_str(), name, "1", 1, 0) != 0) return false;
  ::removexattr(p.c_str(), name);
  return true;
}

void createHost(const std::filesystem::path& where, const HostOptions& options) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::absolute(where);
  std::error_code ec;
  if (fs::exists(folder, ec) && !fs::is_empty(folder, ec))
    throw std::runtime_error(folder.string() + " exists and is not empty");
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error("cannot create " + folder.string() + ": " + ec.message());
  if (!supportsUserXattrs(folder))
    throw std::runtime_error(folder.string() +
                             " is on a file system without user extended attributes; file attributes "
                             "could not be kept there. Choose a folder on ext4, xfs or btrfs.");

  const auto& defaults = defaultFacts();
  for (const auto& [name, value] : options.facts)
    if (!defaults.count(name)) throw std::runtime_error("unknown host fact " + name);

  {
    Database db(folder / "host.db", true);
    Database::Transaction t(db);
    for (const auto& [name, value] : defaults) {
      auto it = options.facts.find(name);
      db.query("INSERT OR REPLACE INTO facts(name, value) VALUES(?1, ?2)")
          .bind(1, name)
          .bind(2, it != options.facts.end() ? it->second : value)
          .run();
    }
    t.commit();
  }

  std::string user = defaults.at(fact::UserName);
  if (auto it = options.facts.find(fact::UserName); it != options.facts.end()) user = it->second;
  for (const char* rel : kLayout) fs::create_directories(folder / "C" / withUser(rel, user));

  ::setenv("KIPO_HOST", folder.c_str(), 1);
  Host::reopen();
  Host& host = Host::current();
  auto ordered = steps();
  std::stable_sort(ordered.begin(), ordered.end(), [](const Step& a, const Step& b) { return a.order < b.order; });
  for (auto& step : ordered) step.run(host);
}

}  // namespace platform::host
