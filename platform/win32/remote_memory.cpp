// Blocks of memory in another process (see remote_memory.h): files of the host folder, the
// caller's reservations of their addresses, and the target's mappings of them.
#include "platform/win32/remote_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/process_table.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"

namespace fs = std::filesystem;

namespace platform::remote {

namespace {

constexpr std::uint64_t kPage = 4096;
constexpr std::uint64_t kGranularity = 64 * 1024;
// Larger requests are refused as XP refuses what a 2 GiB user space cannot hold.
constexpr std::uint64_t kMaxBlock = 1ull << 31;

BOOL fail(DWORD e) {
  SetLastError(e);
  return FALSE;
}

fs::path processFolder(DWORD pid, std::uint64_t start) {
  return host::Host::current().folder() / "shm" / ("vm-" + std::to_string(pid) + "-" + std::to_string(start));
}

std::string baseName(std::uint64_t base) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016" PRIx64, base);
  return buf;
}

struct Block {
  std::uint64_t base = 0;
  std::uint64_t size = 0;
  fs::path file;
};

// The block of the process holding `address`, found by its file.
std::optional<Block> blockAt(DWORD pid, std::uint64_t start, std::uint64_t address) {
  std::error_code ec;
  fs::path dir = processFolder(pid, start);
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != 16) continue;
    char* end = nullptr;
    const std::uint64_t base = std::strtoull(name.c_str(), &end, 16);
    if (*end || address < base) continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) != 0 || st.st_size <= 0) continue;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (address - base < size) return Block{base, size, entry.path()};
  }
  return std::nullopt;
}

// Copies between a block's file and a local buffer; the bytes moved.
std::size_t transfer(const Block& b, std::uint64_t address, void* local, std::size_t size, bool write) {
  const std::uint64_t offset = address - b.base;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, b.size - offset));
  int fd = ::open(b.file.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t done = 0;
  while (done < n) {
    ssize_t k = write ? ::pwrite(fd, static_cast<const char*>(local) + done, n - done, static_cast<off_t>(offset + done))
                      : ::pread(fd, static_cast<char*>(local) + done, n - done, static_cast<off_t>(offset + done));
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) break;
    done += static_cast<std::size_t>(k);
  }
  ::close(fd);
  return done;
}

// The caller's address reservations, so a block's address stays taken here while it lives.
struct Reservation {
  void* address = nullptr;
  std::size_t length = 0;
  ~Reservation() {
    if (address) ::munmap(address, length);
  }
};

struct State {
  std::mutex mutex;
  std::map<std::uint64_t, std::unique_ptr<Reservation>> reserved;  // by base
  std::map<std::uint64_t, std::size_t> ownBlocks;                   // blocks in this process's own memory
  struct Mapping {
    std::string file;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::unique_ptr<Reservation> view;
  };
  std::map<std::uint64_t, Mapping> mapped;  // this process's views of blocks allocated in it
  std::vector<std::unique_ptr<Reservation>> retired;  // views of freed blocks a procedure may still use
};

State& state() {
  static State* s = new State();
  return *s;
}

// A 64 KiB-aligned inaccessible range of `length` bytes in this process.
std::unique_ptr<Reservation> reserveAligned(std::size_t length) {
  const std::size_t span = length + kGranularity;
  void* p = ::mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto raw = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (raw + kGranularity - 1) & ~(kGranularity - 1);
  if (aligned > raw) ::munmap(p, aligned - raw);
  const std::uintptr_t tail = raw + span - (aligned + length);
  if (tail) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  auto r = std::make_unique<Reservation>();
  r->address = reinterpret_cast<void*>(aligned);
  r->length = length;
  return r;
}

bool isSelf(const process::HandleTarget& t) { return t.pid == static_cast<DWORD>(::getpid()); }

// Whether this process may touch [address, address + size) of its own memory, found without
// faulting (process_vm_readv reports what is not mapped).
std::size_t readableInSelf(const void* address, std::size_t size, void* out) {
  iovec local{out, size};
  iovec remote{const_cast<void*>(address), size};
  ssize_t k = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
  return k < 0 ? 0 : static_cast<std::size_t>(k);
}

std::size_t writeInSelf(void* address, const void* data, std::size_t size) {
  iovec local{const_cast<void*>(data), size};
  iovec remote{address, size};
  ssize_t k = ::process_vm_writev(::getpid(), &local, 1, &remote, 1, 0);
  return k < 0 ? 0 : static_cast<std::size_t>(k);
}

}  // namespace

bool blockHolds(DWORD pid, std::uint64_t start, std::uint64_t address, std::size_t size) {
  std::optional<Block> b = blockAt(pid, start, address);
  return b && size <= b->size - (address - b->base);
}

bool readBlock(DWORD pid, std::uint64_t start, std::uint64_t address, void* out, std::size_t size) {
  std::optional<Block> b = blockAt(pid, start, address);
  return b && size <= b->size - (address - b->base) && transfer(*b, address, out, size, false) == size;
}

void* resolveInSelf(std::uint64_t address, std::size_t size, std::size_t* room) {
  if (!host::Host::available()) return nullptr;
  std::optional<Block> b =
      blockAt(static_cast<DWORD>(::getpid()), host::currentStartTime(), address);
  if (!b || size > b->size - (address - b->base)) return nullptr;
  struct stat st {};
  if (::stat(b->file.c_str(), &st) != 0) return nullptr;
  State& s = state();
  std::lock_guard lock(s.mutex);
  auto it = s.mapped.find(b->base);
  if (it != s.mapped.end() &&
      (it->second.file != b->file.string() || it->second.inode != st.st_ino || it->second.size != b->size)) {
    s.retired.push_back(std::move(it->second.view));
    s.mapped.erase(it);
    it = s.mapped.end();
  }
  if (it == s.mapped.end()) {
    int fd = ::open(b->file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return nullptr;
    void* p = ::mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return nullptr;
    State::Mapping m;
    m.file = b->file.string();
    m.inode = st.st_ino;
    m.size = b->size;
    m.view = std::make_unique<Reservation>();
    m.view->address = p;
    m.view->length = b->size;
    it = s.mapped.emplace(b->base, std::move(m)).first;
  }
  if (room) *room = static_cast<std::size_t>(b->size - (address - b->base));
  return static_cast<char*>(it->second.view->address) + (address - b->base);
}

}  // namespace platform::remote

using namespace platform;

LPVOID VirtualAllocEx(HANDLE hProcess, LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
  std::optional<process::HandleTarget> t = process::targetOf(hProcess);
  if (!t) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!(t->access & PROCESS_VM_OPERATION)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (dwSize == 0 || dwSize > remote::kMaxBlock || !(flAllocationType & MEM_COMMIT) ||
      (flAllocationType & ~(MEM_COMMIT | MEM_RESERVE)) || flProtect != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (lpAddress) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  if (t->ended) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const std::size_t size = static_cast<std::size_t>((dwSize + remote::kPage - 1) & ~(remote::kPage - 1));
  remote::State& s = remote::state();
  if (remote::isSelf(*t)) {
    std::unique_ptr<remote::Reservation> r = remote::reserveAligned(size);
    if (!r || ::mprotect(r->address, size, PROT_READ | PROT_WRITE) != 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    void* p = r->address;
    r->address = nullptr;  // now the caller's memory, given back by VirtualFreeEx
    std::lock_guard lock(s.mutex);
    s.ownBlocks[reinterpret_cast<std::uintptr_t>(p)] = size;
    return p;
  }
  std::error_code ec;
  const fs::path dir = remote::processFolder(t->pid, t->start);
  fs::create_directories(dir, ec);
  // Another caller may hold the same address in its own space: the file's name decides.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::unique_ptr<remote::Reservation> r = remote::reserveAligned(size);
    if (!r) break;
    const auto base = reinterpret_cast<std::uintptr_t>(r->address);
    const fs::path file = dir / remote::baseName(base);
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ::close(fd);
    if (!ok) {
      fs::remove(file, ec);
      break;
    }
    std::lock_guard lock(s.mutex);
    s.reserved[base] = std::move(r);
    return reinterpret_cast<LPVOID>(base);
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

BOOL VirtualFreeEx(HANDLE hProcess, LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
  std::optional<process::HandleTarget> t = process::targetOf(hProcess);
  if (!t) return remote::fail(ERROR_INVALID_HANDLE);
  if (!(t->access & PROCESS_VM_OPERATION)) return remote::fail(ERROR_ACCESS_DENIED);
  if (dwFreeType == MEM_DECOMMIT) return remote::fail(ERROR_NOT_SUPPORTED);
  if (dwFreeType != MEM_RELEASE || dwSize != 0) return remote::fail(ERROR_INVALID_PARAMETER);
  const auto base = reinterpret_cast<std::uintptr_t>(lpAddress);
  remote::State& s = remote::state();
  if (remote::isSelf(*t)) {
    std::lock_guard lock(s.mutex);
    auto it = s.ownBlocks.find(base);
    if (it == s.ownBlocks.end()) return remote::fail(ERROR_INVALID_ADDRESS);
    ::munmap(lpAddress, it->second);
    s.ownBlocks.erase(it);
    return TRUE;
  }
  std::optional<remote::Block> b = remote::blockAt(t->pid, t->start, base);
  if (!b || b->base != base) return remote::fail(ERROR_INVALID_ADDRESS);
  std::error_code ec;
  if (!fs::remove(b->file, ec)) return remote::fail(ERROR_INVALID_ADDRESS);
  std::lock_guard lock(s.mutex);
  s.reserved.erase(base);
  return TRUE;
}

BOOL ReadProcessMemory(HANDLE hProcess, LPCVOID lpBaseAddress, LPVOID lpBuffer, SIZE_T nSize,
                       SIZE_T* lpNumberOfBytesRead) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  std::optional<process::HandleTarget> t = process::targetOf(hProcess);
  if (!t) return remote::fail(ERROR_INVALID_HANDLE);
  if (!(t->access & PROCESS_VM_READ)) return remote::fail(ERROR_ACCESS_DENIED);
  if (nSize == 0) return TRUE;
  if (!lpBuffer) return remote::fail(ERROR_NOACCESS);
  std::size_t done;
  if (remote::isSelf(*t)) {
    done = remote::readableInSelf(lpBaseAddress, nSize, lpBuffer);
  } else {
    const auto address = reinterpret_cast<std::uintptr_t>(lpBaseAddress);
    std::optional<remote::Block> b = remote::blockAt(t->pid, t->start, address);
    done = b ? remote::transfer(*b, address, lpBuffer, nSize, false) : 0;
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return done == nSize ? TRUE : remote::fail(ERROR_PARTIAL_COPY);
}

BOOL WriteProcessMemory(HANDLE hProcess, LPVOID lpBaseAddress, LPCVOID lpBuffer, SIZE_T nSize,
                        SIZE_T* lpNumberOfBytesWritten) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  std::optional<process::HandleTarget> t = process::targetOf(hProcess);
  if (!t) return remote::fail(ERROR_INVALID_HANDLE);
  if ((t->access & (PROCESS_VM_WRITE | PROCESS_VM_OPERATION)) != (PROCESS_VM_WRITE | PROCESS_VM_OPERATION))
    return remote::fail(ERROR_ACCESS_DENIED);
  if (nSize == 0) return TRUE;
  if (!lpBuffer) return remote::fail(ERROR_NOACCESS);
  std::size_t done;
  if (remote::isSelf(*t)) {
    done = remote::writeInSelf(lpBaseAddress, lpBuffer, nSize);
  } else {
    const auto address = reinterpret_cast<std::uintptr_t>(lpBaseAddress);
    std::optional<remote::Block> b = remote::blockAt(t->pid, t->start, address);
    done = b ? remote::transfer(*b, address, const_cast<void*>(lpBuffer), nSize, true) : 0;
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return done == nSize ? TRUE : remote::fail(ERROR_PARTIAL_COPY);
}
