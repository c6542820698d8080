// Memory allocated in another process and what reaches through it: the page-granular blocks, the
// rights, the caller's reservation of a block's address, and a list view of another process
// reading and writing through a block.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <vector>

#include "platform/host/process_table.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "platform/win32/remote_memory.h"
#include "tests/platform/win32/window_fixture.h"
#include "tests/platform/win32/winprobe_client.h"

using kipotest::WinProbe;

namespace {

using RemoteMemory = wintest::WindowFixture;

constexpr DWORD kVm = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE;

DWORD probePid(const WinProbe& p) { return static_cast<DWORD>(p.pid()); }

struct Handle {
  HANDLE h;
  explicit Handle(HANDLE h) : h(h) {}
  ~Handle() {
    if (h) CloseHandle(h);
  }
};

TEST_F(RemoteMemory, BlocksArePageGranularAndReservedInTheCaller) {
  WinProbe probe({});
  Handle proc(OpenProcess(kVm | PROCESS_QUERY_INFORMATION, FALSE, probePid(probe)));
  ASSERT_NE(proc.h, nullptr);
  void* block = VirtualAllocEx(proc.h, nullptr, 520, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  const auto base = reinterpret_cast<std::uintptr_t>(block);
  EXPECT_EQ(base % 65536, 0u);

  // The address is taken here and cannot be read as one of ours.
  EXPECT_EQ(::mmap(block, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0), MAP_FAILED);
  char own[8];
  SIZE_T n = 99;
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), block, own, sizeof own, &n));
  EXPECT_EQ(n, 0u);

  std::vector<unsigned char> pattern(520);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i * 7 + 1);
  ASSERT_TRUE(WriteProcessMemory(proc.h, block, pattern.data(), pattern.size(), &n));
  EXPECT_EQ(n, 520u);
  // A whole page is committed: reading 2,048 bytes of a 520-byte block succeeds, the rest zero.
  std::vector<unsigned char> back(2048, 0xEE);
  ASSERT_TRUE(ReadProcessMemory(proc.h, block, back.data(), back.size(), &n));
  EXPECT_EQ(n, 2048u);
  EXPECT_EQ(std::memcmp(back.data(), pattern.data(), 520), 0);
  EXPECT_EQ(std::count(back.begin() + 520, back.end(), 0), 2048 - 520);

  struct Case {
    std::uintptr_t offset;
    SIZE_T size;
    BOOL ok;
    SIZE_T done;
  } cases[] = {
      {4092, 4, TRUE, 4},           // the last bytes of the page
      {4092, 8, FALSE, 4},          // runs off the committed page: what lies inside is copied
      {4096, 4, FALSE, 0},          // just past it
      {65536 * 3, 4, FALSE, 0},     // nowhere
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    char buf[8] = {'s', 's', 's', 's', 's', 's', 's', 's'};
    n = 99;
    SetLastError(0);
    EXPECT_EQ(ReadProcessMemory(proc.h, reinterpret_cast<void*>(base + c.offset), buf, c.size, &n), c.ok);
    EXPECT_EQ(n, c.done);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PARTIAL_COPY));
    }
    EXPECT_EQ(buf[7], 's');
    n = 99;
    EXPECT_EQ(WriteProcessMemory(proc.h, reinterpret_cast<void*>(base + c.offset), "abcdefgh", c.size, &n), c.ok);
    EXPECT_EQ(n, c.done);
  }
  EXPECT_FALSE(ReadProcessMemory(proc.h, block, nullptr, 4, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));

  // Released only at its base, once.
  EXPECT_FALSE(VirtualFreeEx(proc.h, reinterpret_cast<void*>(base + 4096), 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_FALSE(VirtualFreeEx(proc.h, block, 520, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(VirtualFreeEx(proc.h, block, 0, MEM_RELEASE));
  EXPECT_FALSE(ReadProcessMemory(proc.h, block, own, 4, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PARTIAL_COPY));
  EXPECT_FALSE(VirtualFreeEx(proc.h, block, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST_F(RemoteMemory, EachCallNeedsItsRights) {
  WinProbe probe({});
  Handle all(OpenProcess(kVm, FALSE, probePid(probe)));
  ASSERT_NE(all.h, nullptr);
  void* block = VirtualAllocEx(all.h, nullptr, 64, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  struct Case {
    DWORD access;
    bool alloc, read, write;
  } cases[] = {
      {PROCESS_VM_OPERATION, true, false, false},
      {PROCESS_VM_READ, false, true, false},
      {PROCESS_VM_WRITE, false, false, false},
      {PROCESS_VM_WRITE | PROCESS_VM_OPERATION, true, false, true},
      {PROCESS_QUERY_INFORMATION, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.access);
    Handle h(OpenProcess(c.access, FALSE, probePid(probe)));
    ASSERT_NE(h.h, nullptr);
    void* p = VirtualAllocEx(h.h, nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
    EXPECT_EQ(p != nullptr, c.alloc);
    if (p) {
      EXPECT_TRUE(VirtualFreeEx(h.h, p, 0, MEM_RELEASE));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    int v = 0;
    SIZE_T n;
    EXPECT_EQ(ReadProcessMemory(h.h, block, &v, sizeof v, &n) != FALSE, c.read);
    if (!c.read) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(WriteProcessMemory(h.h, block, &v, sizeof v, &n) != FALSE, c.write);
    if (!c.write) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
  }
  // What the stand-in does not offer fails rather than pretending.
  EXPECT_EQ(VirtualAllocEx(all.h, block, 16, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_EQ(VirtualAllocEx(all.h, nullptr, 16, MEM_RESERVE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAllocEx(all.h, nullptr, 16, MEM_COMMIT, PAGE_READONLY), nullptr);
  EXPECT_EQ(VirtualAllocEx(all.h, nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // Another user's process refuses the rights that reach into it, not the others.
  std::optional<platform::host::ProcessRow> row = platform::host::findLivingProcess(probePid(probe));
  ASSERT_TRUE(row);
  row->user = u"SYSTEM";
  platform::host::recordStartedProcess(*row);
  for (DWORD access : {DWORD(PROCESS_VM_READ), DWORD(PROCESS_VM_OPERATION), DWORD(PROCESS_VM_WRITE)}) {
    EXPECT_EQ(OpenProcess(access, FALSE, probePid(probe)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  Handle query(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, probePid(probe)));
  EXPECT_NE(query.h, nullptr);
}

TEST_F(RemoteMemory, InTheCallersOwnProcessTheBlockIsItsMemory) {
  void* block = VirtualAllocEx(GetCurrentProcess(), nullptr, 100, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 65536, 0u);
  std::memcpy(static_cast<char*>(block) + 4000, "page", 4);
  char buf[4];
  SIZE_T n;
  ASSERT_TRUE(ReadProcessMemory(GetCurrentProcess(), static_cast<char*>(block) + 4000, buf, 4, &n));
  EXPECT_EQ(std::memcmp(buf, "page", 4), 0);
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), static_cast<char*>(block) + 4094, buf, 4, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PARTIAL_COPY));
  EXPECT_EQ(n, 2u);
  EXPECT_TRUE(VirtualFreeEx(GetCurrentProcess(), block, 0, MEM_RELEASE));
}

}  // namespace
