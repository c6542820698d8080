// Change counters shared by every process of a host: a page of 64-bit slots in a shared-memory
// file, bumped after a committed change so that other processes notice it with one atomic read
// instead of a database query (drive table, registry caches, fault settings).
#pragma once

#include <cstdint>
#include <filesystem>

namespace platform::host {

enum class Counter : unsigned {
  Registry = 0,
  Drives = 1,
  Facts = 2,
  Faults = 3,
  Windows = 4,
  Processes = 5,
  Devices = 6,
  Atoms = 7,
  WindowHandles = 8,  // allocator of host-wide window handle values, not a change counter
  // Later facilities take the next numbers; the page holds 512 slots.
};

class SharedCounters {
 public:
  explicit SharedCounters(const std::filesystem::path& file);
  ~SharedCounters();
  SharedCounters(const SharedCounters&) = delete;
  SharedCounters& operator=(const SharedCounters&) = delete;

  std::uint64_t read(Counter c) const;
  // Returns the new value.
  std::uint64_t bump(Counter c);

 private:
  std::uint64_t* slots_ = nullptr;
};

}  // namespace platform::host
