// Shared data sections of a program image (see shared_section.h).
#include "platform/host/shared_section.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/host/host.h"

namespace platform {

SharedSection::SharedSection(std::string name, std::size_t size)
    : SharedSection(std::move(name), size, "/proc/self/exe") {}

SharedSection::SharedSection(std::string name, std::size_t size, std::filesystem::path image)
    : name_(std::move(name)), size_(size ? size : 1), image_(std::move(image)) {}

SharedSection::~SharedSection() {
  if (mapped_)
    ::munmap(data_, size_);
  else
    std::free(data_);
  if (fd_ >= 0) ::close(fd_);  // drops this process's shared lock
}

void* SharedSection::data() {
  std::call_once(once_, [this] { map(); });
  return data_;
}

void SharedSection::map() {
  struct stat st {};
  if (std::getenv("KIPO_HOST") && host::Host::available() && ::stat(image_.c_str(), &st) == 0) {
    std::string safe;
    for (char c : name_) safe += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : '-';
    std::filesystem::path dir = host::Host::current().folder() / "shm";
    std::filesystem::path file = dir / ("section-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino) +
                                        "-" + safe);
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
      bool ok;
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Nobody maps it: whatever it holds is left from processes that are gone.
        ok = ::ftruncate(fd, 0) == 0 && ::ftruncate(fd, static_cast<off_t>(size_)) == 0;
        ok = ::flock(fd, LOCK_SH) == 0 && ok;
      } else {
        int rc;
        while ((rc = ::flock(fd, LOCK_SH)) != 0 && errno == EINTR) {
        }
        ok = rc == 0;
      }
      void* p = ok ? ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
      if (p != MAP_FAILED) {
        data_ = p;
        mapped_ = true;
        fd_ = fd;
        file_ = file;
        return;
      }
      ::close(fd);
    }
  }
  data_ = std::calloc(1, size_);
}

}  // namespace platform
