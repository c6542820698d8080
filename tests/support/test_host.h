// A private simulated host for one test: a copy of a template host made once per test program,
// current in this process for the test's lifetime and removed afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/create.h"

namespace kipotest {

// A fresh, unique, empty folder under the build's test-tmp folder.
std::filesystem::path freshTempDir(const std::string& hint);

class TestHost {
 public:
  // A copy of the default template host.
  TestHost();
  // A host made fresh with these options (slower; for tests of host facts).
  explicit TestHost(const platform::host::HostOptions& options);
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  // Linux path of a path under drive C:, e.g. c("WINDOWS/system32").
  std::filesystem::path c(const std::string& relative = "") const;

  // Files under drive C: by relative path, written and read behind the stand-in's back, for tests
  // that lay out a tree or check what a call left.
  void write(const std::string& relative, const std::string& data = "x") const;
  // The file's bytes, or "<missing>".
  std::string read(const std::string& relative) const;
  bool isFile(const std::string& relative) const { return std::filesystem::is_regular_file(c(relative)); }
  bool isDir(const std::string& relative) const { return std::filesystem::is_directory(c(relative)); }
  bool gone(const std::string& relative) const { return !std::filesystem::exists(c(relative)); }

 private:
  std::filesystem::path folder_;
};

// Runs the kipo-host tool against the current host (KIPO_HOST as set), capturing its standard
// output (and standard error into err when given); returns its exit code.
int runTool(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr);

// Runs any program with arguments, capturing output as runTool does.
int runProgram(const std::string& program, const std::vector<std::string>& args, std::string* out = nullptr,
               std::string* err = nullptr);

}  // namespace kipotest
