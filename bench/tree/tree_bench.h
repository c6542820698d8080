// What the benchmarks over the anchor tree share: a stopwatch, a quiet shell command, and the
// stand-in's own copy of a tree (the anchor a synchronizer's copy is held against).
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/win32/error.h"
#include "platform/win32/file.h"

namespace treebench {

// Wall seconds `fn` takes.
inline double seconds(const std::function<void()>& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs a shell command with its output thrown away; exits on failure.
inline void shell(const std::string& command) {
  if (std::system((command + " >/dev/null").c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

// CopyFileW of every file of `from` into `to`, folders made first as a synchronizer does.
inline void copyTree(const std::u16string& from, const std::u16string& to) {
  CreateDirectoryW(to.c_str(), nullptr);
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((from + u"\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::u16string name(d.cFileName);
    if (name == u"." || name == u"..") continue;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      copyTree(from + u"\\" + name, to + u"\\" + name);
    } else if (!CopyFileW((from + u"\\" + name).c_str(), (to + u"\\" + name).c_str(), TRUE)) {
      std::fprintf(stderr, "CopyFileW failed: %lu\n", static_cast<unsigned long>(GetLastError()));
      std::exit(1);
    }
  } while (FindNextFileW(h, &d));
  FindClose(h);
}

}  // namespace treebench
