// Opening the process's host and reading its facts.
#include "platform/host/host.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/base/text.h"

namespace platform::host {

namespace {

SchemaPart factsSchema(
    "CREATE TABLE IF NOT EXISTS facts (name TEXT PRIMARY KEY, value TEXT NOT NULL)");

std::mutex g_openMutex;
std::unique_ptr<Host> g_host;
std::atomic<Host*> g_current{nullptr};
std::atomic<std::uint64_t> g_epoch{1};

}  // namespace

const std::map<std::string, std::string>& defaultFacts() {
  static const std::map<std::string, std::string> facts = {
      {fact::ComputerName, "ALPHA"},
      {fact::UserName, "Robin"},
      {fact::UserIsAdmin, "1"},
      {fact::WindowsVersion, "5.1"},
      {fact::WindowsBuild, "2600"},
      {fact::ServicePack, "Service Pack 2"},
      {fact::ShellVersion, "6.0"},
      {fact::IeVersion, "6.0.2900.2180"},
      {fact::UserLocale, "0409"},
      {fact::SystemLocale, "0409"},
      {fact::TimeZone, "UTC"},
      {fact::ScreenWidth, "1024"},
      {fact::ScreenHeight, "768"},
      {fact::TaskbarPosition, "bottom"},
      {fact::TimeScale, "1"},
      {fact::MemoryBytes, "536870912"},
      {fact::TestHost, "0"},
  };
  return facts;
}

std::string hostProblem(const std::filesystem::path& folder) {
  std::error_code ec;
  if (folder.empty()) return "KIPO_HOST is not set";
  if (!std::filesystem::is_directory(folder, ec)) return "host folder " + folder.string() + " does not exist";
  if (!std::filesystem::exists(folder / "host.db", ec))
    return folder.string() + " is not a host (no host.db)";
  return {};
}

bool Host::available() {
  const char* env = std::getenv("KIPO_HOST");
  return env && hostProblem(env).empty();
}

Host& Host::current() {
  if (Host* h = g_current.load(std::memory_order_acquire)) return *h;
  std::lock_guard lock(g_openMutex);
  if (!g_host) {
    const char* env = std::getenv("KIPO_HOST");
    std::string problem = hostProblem(env ? env : "");
    if (!problem.empty()) {
      std::fprintf(stderr,
                   "This program runs on a simulated Windows host: %s.\n"
                   "Set KIPO_HOST to a host folder (kipo-host create DIR makes one).\n",
                   problem.c_str());
      std::exit(3);
    }
    g_host = std::make_unique<Host>(env);
    g_current.store(g_host.get(), std::memory_order_release);
  }
  return *g_host;
}

void Host::reopen() {
  std::lock_guard lock(g_openMutex);
  g_current.store(nullptr, std::memory_order_release);
  g_host.reset();
  g_epoch.fetch_add(1);
}

std::uint64_t Host::epoch() { return g_epoch.load(std::memory_order_acquire); }

Host::Host(const std::filesystem::path& folder) : folder_(std::filesystem::absolute(folder)) {
  std::filesystem::create_directories(folder_ / "shm");
  db_ = std::make_unique<Database>(folder_ / "host.db", false);
  counters_ = std::make_unique<SharedCounters>(folder_ / "shm" / "counters");
}

Host::~Host() = default;

std::string Host::fact(std::string_view name) {
  std::uint64_t seen = counters_->read(Counter::Facts);
  auto lock = db_->lock();
  if (seen != factsSeen_) {
    facts_.clear();
    auto q = db_->query("SELECT name, value FROM facts");
    while (q.step()) facts_.emplace(q.textAt(0), q.textAt(1));
    factsSeen_ = seen;
  }
  if (auto it = facts_.find(name); it != facts_.end()) return it->second;
  auto& defaults = defaultFacts();
  if (auto it = defaults.find(std::string(name)); it != defaults.end()) return it->second;
  return {};
}

void Host::setFact(std::string_view name, std::string_view value) {
  {
    auto lock = db_->lock();
    db_->query("INSERT INTO facts(name, value) VALUES(?1, ?2) ON CONFLICT(name) DO UPDATE SET value = ?2")
        .bind(1, name)
        .bind(2, value)
        .run();
  }
  counters_->bump(Counter::Facts);
}

std::u16string Host::factW(std::string_view name) { return text::fromUtf8(fact(name)); }

long Host::factNumber(std::string_view name, long fallback) {
  std::string v = fact(name);
  if (v.empty()) return fallback;
  char* end = nullptr;
  long n = std::strtol(v.c_str(), &end, 10);
  return (end && *end == 0) ? n : fallback;
}

}  // namespace platform::host
