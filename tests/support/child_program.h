// A program started as another process of the current host with its standard output on a pipe,
// for tests that watch what it prints; killed when the test lets go of it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kipotest {

class ChildProgram {
 public:
  // Starts `program` with `args`; a program that cannot start prints nothing and waits as -1.
  ChildProgram(const std::string& program, const std::vector<std::string>& args);
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // Reads output until `marker` appears (or the output ends, or 10 s pass); all of it so far.
  const std::string& readUntil(const std::string& marker);
  // Whether `marker` appeared, reading as readUntil does.
  bool saw(const std::string& marker) { return readUntil(marker).find(marker) != std::string::npos; }
  const std::string& output() const { return text_; }
  // Waits for the end; the exit code, or -1 when it did not exit normally.
  int wait();
  void kill();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool reaped_ = false;
  std::string text_;
};

}  // namespace kipotest
