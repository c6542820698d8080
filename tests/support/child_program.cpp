// The watched child program: posix_spawn with standard output on a close-on-exec pipe.
#include "tests/support/child_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace kipotest {

ChildProgram::ChildProgram(const std::string& program, const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::string path = program;
  std::vector<std::string> copy = args;
  std::vector<char*> argv{path.data()};
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  out_ = fds[0];
}

ChildProgram::~ChildProgram() {
  kill();
  ::close(out_);
}

void ChildProgram::kill() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    reaped_ = true;
  }
}

const std::string& ChildProgram::readUntil(const std::string& marker) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (text_.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) break;
    text_.append(buf, static_cast<std::size_t>(n));
  }
  return text_;
}

int ChildProgram::wait() {
  int status = 0;
  ::waitpid(pid_, &status, 0);
  reaped_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kipotest
