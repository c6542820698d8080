// The counters page is mapped shared; slots are updated with atomic operations only.
#include "platform/host/counters.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace platform::host {

namespace {
constexpr std::size_t kPageSize = 4096;
constexpr unsigned kSlots = kPageSize / sizeof(std::uint64_t);
}  // namespace

SharedCounters::SharedCounters(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot open counters " + file.string());
  struct stat st {};
  if (::fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(kPageSize) && ::ftruncate(fd, kPageSize) != 0)) {
    ::close(fd);
    throw std::runtime_error("cannot size counters " + file.string());
  }
  void* p = ::mmap(nullptr, kPageSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (p == MAP_FAILED) throw std::runtime_error("cannot map counters " + file.string());
  slots_ = static_cast<std::uint64_t*>(p);
}

SharedCounters::~SharedCounters() {
  if (slots_) ::munmap(slots_, kPageSize);
}

std::uint64_t SharedCounters::read(Counter c) const {
  unsigned i = static_cast<unsigned>(c);
  if (i >= kSlots) return 0;
  return std::atomic_ref<std::uint64_t>(slots_[i]).load(std::memory_order_acquire);
}

std::uint64_t SharedCounters::bump(Counter c) {
  unsigned i = static_cast<unsigned>(c);
  if (i >= kSlots) return 0;
  return std::atomic_ref<std::uint64_t>(slots_[i]).fetch_add(1, std::memory_order_acq_rel) + 1;
}

}  // namespace platform::host
