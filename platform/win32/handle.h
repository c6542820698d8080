// Kernel object handles of a process (files, find handles, later processes, events, threads):
// one table, so CloseHandle works for every kind and a closed or foreign value fails with
// ERROR_INVALID_HANDLE instead of touching freed memory. Registry keys (HKEY) have their own table.
#pragma once

#include <memory>
#include <string_view>

#include "platform/base/types.h"

namespace platform {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called by CloseHandle before the table lets go of the object; the object may outlive the
  // handle while another thread still uses it.
  virtual void onClose() {}
  // What a fault on a call with this handle is matched against (a file's path), or nothing.
  virtual std::u16string_view faultSubject() const { return {}; }
};

// Returns a new handle value (a multiple of 4, never null or INVALID_HANDLE_VALUE).
HANDLE registerHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null (without touching the last error).
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> lookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(lookupHandle(handle));
}

}  // namespace platform

BOOL CloseHandle(HANDLE handle);
