// Starting the window-owning test program (fixtures/winprobe.cpp) as another process of the
// current host, without waiting for it to end: the tests and the benchmark of windows and
// messages across processes use it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/types.h"

extern char** environ;

namespace kipotest {

class WinProbe {
 public:
  // Starts the probe with these arguments and waits (up to 10 s) until its windows exist.
  explicit WinProbe(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<char*> argv;
    std::string program = KIPO_WINPROBE;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
      ::close(fds[0]);
      throw std::runtime_error("cannot start " + program);
    }
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fds[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[256];
      ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (line.rfind("ready ", 0) != 0) {
      kill();
      throw std::runtime_error("the probe did not come up: " + line);
    }
    window_ = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::stoul(line.substr(6))));
  }

  ~WinProbe() { kill(); }
  WinProbe(const WinProbe&) = delete;
  WinProbe& operator=(const WinProbe&) = delete;

  HWND window() const { return window_; }
  pid_t pid() const { return pid_; }

  // The exit status once the probe ended within `ms`, else -1.
  int waitExit(int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (reaped_) return status_;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
      }
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // SIGKILL, then reaped.
  void kill() {
    if (reaped_ || pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitExit(10000);
  }

 private:
  pid_t pid_ = 0;
  HWND window_ = nullptr;
  bool reaped_ = false;
  int status_ = -1;
};

// Polls `done` until it holds or `ms` pass; returns its last answer.
template <class Done>
bool eventually(Done done, int ms = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace kipotest
