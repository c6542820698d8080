// The process's cursor state: standard and resource cursors, the current cursor and the show
// count. See cursor.h.
#include "platform/win32/cursor.h"

#include <atomic>
#include <mutex>

#include "platform/win32/error.h"
#include "platform/win32/resource.h"

namespace platform::cursor {
namespace {

constexpr ULONG_PTR kStandardBase = 0x7F020000;
constexpr int kStandardIds[] = {32512, 32513, 32514, 32515, 32516, 32640, 32641, 32642,
                                32643, 32644, 32645, 32646, 32648, 32649, 32650, 32651};

std::mutex g_mutex;
HCURSOR g_current = nullptr;
int g_showCount = 0;
std::atomic<int> g_setCount{0};

bool isStandardId(ULONG_PTR id) {
  for (int s : kStandardIds)
    if (static_cast<ULONG_PTR>(s) == id) return true;
  return false;
}

}  // namespace

HCURSOR standardCursor(LPCWSTR id) {
  if (!IS_INTRESOURCE(id)) return nullptr;
  const auto n = reinterpret_cast<ULONG_PTR>(id);
  return isStandardId(n) ? reinterpret_cast<HCURSOR>(kStandardBase | n) : nullptr;
}

int standardCursorId(HCURSOR cursor) {
  const auto v = reinterpret_cast<ULONG_PTR>(cursor);
  if ((v & ~static_cast<ULONG_PTR>(0xFFFF)) != kStandardBase) return 0;
  return isStandardId(v & 0xFFFF) ? static_cast<int>(v & 0xFFFF) : 0;
}

int setCursorCount() { return g_setCount.load(); }

}  // namespace platform::cursor

using namespace platform::cursor;

HCURSOR LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  if (!hInstance) {
    if (HCURSOR c = standardCursor(lpCursorName)) return c;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HCURSOR>(FindResourceW(hInstance, lpCursorName, RT_GROUP_CURSOR));
}

HCURSOR SetCursor(HCURSOR hCursor) {
  ++g_setCount;
  std::lock_guard lock(g_mutex);
  HCURSOR old = g_current;
  g_current = hCursor;
  return old;
}

HCURSOR GetCursor() {
  std::lock_guard lock(g_mutex);
  return g_current;
}

int ShowCursor(BOOL bShow) {
  std::lock_guard lock(g_mutex);
  return bShow ? ++g_showCount : --g_showCount;
}

BOOL DestroyCursor(HCURSOR) { return TRUE; }
