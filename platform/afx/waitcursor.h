// CWaitCursor: the hourglass for the lifetime of an object, as the class library gives it. Wait
// cursors nest: the first one in the process shows IDC_WAIT and remembers the cursor it replaced,
// the last one to go puts that cursor back. Restore() shows the hourglass again after something
// (a message box) changed the cursor meanwhile.
#pragma once

#include "platform/base/types.h"

class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

  void Restore();

  // Wait cursors alive in the process.
  static int activeCount();
};
