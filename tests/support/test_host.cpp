// Template host per test program, copied for each test.
#include "tests/support/test_host.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "platform/host/host.h"

extern char** environ;

namespace kipotest {

namespace fs = std::filesystem;

namespace {

// Every host a test makes is a test host, unless the test says otherwise.
platform::host::HostOptions testHostOptions(platform::host::HostOptions options) {
  options.facts.emplace(platform::host::fact::TestHost, "1");
  return options;
}

std::once_flag g_templateOnce;
fs::path g_template;

void removeAtExit() {
  std::error_code ec;
  if (!g_template.empty()) fs::remove_all(g_template.parent_path(), ec);
}

const fs::path& templateHost() {
  std::call_once(g_templateOnce, [] {
    g_template = freshTempDir("template") / "host";
    platform::host::createHost(g_template, testHostOptions({}));
    platform::host::Host::reopen();
    std::atexit(removeAtExit);
  });
  return g_template;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

fs::path freshTempDir(const std::string& hint) {
  static std::atomic<int> counter{0};
  fs::path base = KIPO_TEST_TMP;
  fs::create_directories(base);
  for (;;) {
    fs::path p = base / (hint + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) return p;
    if (ec) throw std::runtime_error("cannot create " + p.string() + ": " + ec.message());
  }
}

TestHost::TestHost() {
  const fs::path& tmpl = templateHost();
  folder_ = freshTempDir("host");
  fs::copy(tmpl, folder_, fs::copy_options::recursive);
  // The counters page belongs to the template's processes; a copy starts its own.
  std::error_code ec;
  fs::remove(folder_ / "shm" / "counters", ec);
  ::setenv("KIPO_HOST", folder_.c_str(), 1);
  platform::host::Host::reopen();
}

TestHost::TestHost(const platform::host::HostOptions& options) {
  folder_ = freshTempDir("host");
  fs::remove(folder_);
  platform::host::createHost(folder_, testHostOptions(options));
}

TestHost::~TestHost() {
  platform::host::Host::reopen();
  ::unsetenv("KIPO_HOST");
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

fs::path TestHost::c(const std::string& relative) const { return relative.empty() ? folder_ / "C" : folder_ / "C" / relative; }

void TestHost::write(const std::string& relative, const std::string& data) const {
  fs::create_directories(c(relative).parent_path());
  std::ofstream(c(relative), std::ios::binary) << data;
}

std::string TestHost::read(const std::string& relative) const {
  if (!fs::exists(c(relative))) return "<missing>";
  return slurp(c(relative));
}

int runProgram(const std::string& program, const std::vector<std::string>& args, std::string* out, std::string* err) {
  fs::path dir = freshTempDir("run");
  fs::path outFile = dir / "out", errFile = dir / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (out) *out = slurp(outFile);
  if (err) *err = slurp(errFile);
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

int runTool(const std::vector<std::string>& args, std::string* out, std::string* err) {
  return runProgram(KIPO_HOST_TOOL, args, out, err);
}

}  // namespace kipotest
