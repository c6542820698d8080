// The process's handle table.
#include "platform/win32/handle.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "platform/base/fault.h"
#include "platform/win32/error.h"

namespace platform {

namespace {

struct HandleTable {
  std::shared_mutex mutex;
  std::unordered_map<UINT_PTR, std::shared_ptr<KernelObject>> objects;
  UINT_PTR next = 0x100;
};

HandleTable& table() {
  static HandleTable* t = new HandleTable();  // outlives static destructors that close handles
  return *t;
}

}  // namespace

HANDLE registerHandle(std::shared_ptr<KernelObject> object) {
  auto& t = table();
  std::unique_lock lock(t.mutex);
  UINT_PTR value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
  auto& t = table();
  std::shared_lock lock(t.mutex);
  auto it = t.objects.find(reinterpret_cast<UINT_PTR>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

}  // namespace platform

BOOL CloseHandle(HANDLE handle) {
  // The current process and thread pseudo handles (-1, -2) close successfully and stay valid.
  if (handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)) ||
      handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)))
    return TRUE;
  auto& t = platform::table();
  std::shared_ptr<platform::KernelObject> object = platform::lookupHandle(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Asked outside the table's lock (a delay fault sleeps); a failed close leaves the handle open.
  if (DWORD e = platform::fault::check("CloseHandle", object->faultSubject())) {
    SetLastError(e);
    return FALSE;
  }
  object.reset();
  {
    std::unique_lock lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<UINT_PTR>(handle));
    if (it == t.objects.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(it->second);
    t.objects.erase(it);
  }
  object->onClose();
  return TRUE;
}
