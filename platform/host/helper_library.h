// Helper libraries: the parts of the stand-in built over a large Linux library (libxml2 with ICU
// for the XML DOM, libcrypto for the CryptoAPI, libcurl for the network calls) are shared
// libraries of their own, loaded the first time a call needs them, so that a program that never
// parses XML or hashes does not load those libraries at its start.
//
// A helper "libkipo_<name>.so" lies in the folder the platform library was loaded from (as the
// dynamic loader found it), whatever folder the program runs from: a program installed into a
// host finds the platform library through its run path, and the helpers beside it. A helper
// exports one object, `extern "C" const Table <entry>`, a table of functions whose first member
// is the table's size, so that a helper left over from another build is refused rather than
// called wrongly. A loaded helper stays until the process ends (objects it made may
// outlive every caller). Build rule: kipo_add_platform_helper in cmake/Kipo.cmake.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/base/types.h"

namespace platform::helper {

// The folder the platform library was loaded from, ending in '/'; empty when it cannot be told.
std::string platformFolder();

// Loads the helper file `file` from platformFolder() and finds its table `entry`. The table, or null
// with `error` set to a Windows error: ERROR_MOD_NOT_FOUND when the file cannot be loaded,
// ERROR_PROC_NOT_FOUND when it has no such entry, ERROR_DLL_INIT_FAILED when its table is not
// `tableSize` bytes. `report` writes why to standard error.
const void* loadTable(const char* file, const char* entry, std::uint32_t tableSize, bool report, DWORD& error);

// One helper library with its table type. The first `get` loads it, under a lock so concurrent
// first callers load it once; a failed load is tried again at the next call, as a failed
// LoadLibrary is, and reported once.
template <class Table>
class Helper {
 public:
  constexpr Helper(const char* file, const char* entry) : file_(file), entry_(entry) {}
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  // The table, or null with `error` set as loadTable sets it.
  const Table* get(DWORD& error) {
    if (const Table* table = table_.load(std::memory_order_acquire)) return table;
    std::lock_guard lock(mutex_);
    if (const Table* table = table_.load(std::memory_order_relaxed)) return table;
    const auto* table = static_cast<const Table*>(loadTable(file_, entry_, sizeof(Table), !reported_, error));
    reported_ = reported_ || !table;
    table_.store(table, std::memory_order_release);
    return table;
  }

 private:
  const char* file_;
  const char* entry_;
  std::mutex mutex_;
  std::atomic<const Table*> table_{nullptr};
  bool reported_ = false;
};

}  // namespace platform::helper
