// Memory allocated in another process of the host (VirtualAllocEx and its companions), as tools
// use it to hand a control of another program a buffer that control can read and write.
//
// A block lives in a file of the host folder ("shm/vm-<pid>-<start>/<base in hex>") that both
// processes map, never in the target's own memory: the target's window channel maps the block
// when a message points into it, so a control fills the block and the caller reads it back. As on
// XP, whole 4,096-byte pages are committed on a base aligned to 64 KiB, and the base is reserved
// (inaccessible) in the caller, so it can never be mistaken for one of the caller's own pointers.
// In the caller's own process the calls work on its real memory.
#pragma once

#include <cstdint>

#include "platform/base/types.h"

#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_DECOMMIT 0x00004000
#define MEM_RELEASE 0x00008000
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04

// Commits pages in the process (PROCESS_VM_OPERATION, else ERROR_ACCESS_DENIED). The stand-in
// chooses the address (a given one fails with ERROR_INVALID_ADDRESS), commits at once (MEM_COMMIT
// is required) and makes PAGE_READWRITE pages only (another protection: ERROR_INVALID_PARAMETER).
LPVOID VirtualAllocEx(HANDLE hProcess, LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect);
// MEM_RELEASE with size 0 at the base VirtualAllocEx gave (else ERROR_INVALID_PARAMETER, or
// ERROR_INVALID_ADDRESS for an address that is no block's base). MEM_DECOMMIT is not offered.
BOOL VirtualFreeEx(HANDLE hProcess, LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);
// PROCESS_VM_READ, else ERROR_ACCESS_DENIED. A range that leaves committed pages fails with
// ERROR_PARTIAL_COPY after copying what lies inside; a null local buffer with ERROR_NOACCESS.
BOOL ReadProcessMemory(HANDLE hProcess, LPCVOID lpBaseAddress, LPVOID lpBuffer, SIZE_T nSize,
                       SIZE_T* lpNumberOfBytesRead);
// PROCESS_VM_WRITE and PROCESS_VM_OPERATION, else ERROR_ACCESS_DENIED; otherwise as
// ReadProcessMemory.
BOOL WriteProcessMemory(HANDLE hProcess, LPVOID lpBaseAddress, LPCVOID lpBuffer, SIZE_T nSize,
                        SIZE_T* lpNumberOfBytesWritten);

namespace platform::remote {

// Whether [address, address + size) lies inside the committed pages of one block allocated in
// the process (pid, start) of the current host.
bool blockHolds(DWORD pid, std::uint64_t start, std::uint64_t address, std::size_t size);
// Copies from such a range; false when it is not wholly inside one block.
bool readBlock(DWORD pid, std::uint64_t start, std::uint64_t address, void* out, std::size_t size);
// In the process the blocks were allocated in: this process's view of [address, address + size)
// of one of its blocks, or null when the range is not wholly inside one. `room`: the bytes from
// `address` to the block's end.
void* resolveInSelf(std::uint64_t address, std::size_t size, std::size_t* room = nullptr);

}  // namespace platform::remote
