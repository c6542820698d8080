// The nesting count behind CWaitCursor; see waitcursor.h.
#include "platform/afx/waitcursor.h"

#include <mutex>

#include "platform/win32/cursor.h"

namespace {

std::mutex g_mutex;
int g_depth = 0;
HCURSOR g_saved = nullptr;

}  // namespace

CWaitCursor::CWaitCursor() {
  std::lock_guard lock(g_mutex);
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (g_depth++ == 0) g_saved = previous;
}

CWaitCursor::~CWaitCursor() {
  std::lock_guard lock(g_mutex);
  if (--g_depth == 0) {
    SetCursor(g_saved);
    g_saved = nullptr;
  }
}

void CWaitCursor::Restore() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }

int CWaitCursor::activeCount() {
  std::lock_guard lock(g_mutex);
  return g_depth;
}
