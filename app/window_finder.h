// CWindowFinder: the top-level windows of the host with a given class and title, as the process
// snap-ins, the desktop icon code and the earlier-product remover look for the windows of
// another program.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CWindowFinder {
 public:
  explicit CWindowFinder(bool partialTitle = false) : m_partialTitle(partialTitle) {}

  // Clears `windows`, then appends every top-level window whose class name equals `className`
  // (when it is not empty) and whose title equals `title`, or contains it with partialTitle (when
  // it is not empty). Both comparisons are case-sensitive; names and titles are read with at most
  // 1,024 characters. True when at least one was found.
  bool findWindows(const CString& className, const CString& title, std::vector<HWND>& windows) const;

  bool m_partialTitle;
};
