// Data shared by every process that runs the same program image, as a data section marked shared
// is on Windows (the single-instance counter). The section is a file in the host's shm/ folder
// named after the image file's device and inode and the section's name, mapped MAP_SHARED. A
// copy of the program is another image with its own section.
//
// It returns to zero when no process maps it any more, also after a SIGKILL: every mapper holds a
// shared flock on the file for its lifetime (the lock dies with the process); a new mapper first
// tries an exclusive lock, and when it gets it nobody else maps the section, so it clears it
// before taking its shared lock. Mappers that race wait for the clearing one (LOCK_SH blocks
// while the exclusive lock is held).
//
// Use, at namespace scope in the program:
//   KIPO_SHARED_DATA(LONG, g_instanceCount);
//   ... InterlockedIncrement(g_instanceCount.get()); ... LONG seen = *g_instanceCount;
#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>
#include <type_traits>

namespace platform {

class SharedSection {
 public:
  // Maps lazily, on the first data() call, for the program's own image.
  SharedSection(std::string name, std::size_t size);
  // For the image file `image` instead (tests).
  SharedSection(std::string name, std::size_t size, std::filesystem::path image);
  ~SharedSection();
  SharedSection(const SharedSection&) = delete;
  SharedSection& operator=(const SharedSection&) = delete;

  // The section's bytes (zero when this process is its first mapper). Without a host (or when
  // the file cannot be mapped) the section is private memory of this process, so the program
  // still runs as a first instance would.
  void* data();
  std::size_t size() const { return size_; }
  // The Linux file behind it (empty while unmapped or private).
  const std::filesystem::path& file() const { return file_; }

 private:
  void map();

  std::string name_;
  std::size_t size_;
  std::filesystem::path image_;
  std::filesystem::path file_;
  std::once_flag once_;
  void* data_ = nullptr;
  bool mapped_ = false;
  int fd_ = -1;
};

// A typed shared variable: zero-initialised, trivially copyable.
template <class T>
class SharedData {
  static_assert(std::is_trivially_copyable_v<T>, "shared data is raw memory");

 public:
  explicit SharedData(std::string name) : section_(std::move(name), sizeof(T)) {}
  T* get() { return static_cast<T*>(section_.data()); }
  T& operator*() { return *get(); }
  T* operator->() { return get(); }

 private:
  SharedSection section_;
};

}  // namespace platform

#define KIPO_SHARED_DATA(type, name) ::platform::SharedData<type> name(#name)
