// CProgramCloser: a snap-in that runs a program the user must close before a login or a logout
// (Outlook, Word...). The close-programs dialog lists the document's snap-ins that are closers.
#pragma once

#include "platform/afx/cstring.h"

class CProgramCloser {
 public:
  virtual ~CProgramCloser() = default;
  virtual bool needsCloseAtLogin() = 0;
  virtual bool needsCloseAtLogout() = 0;
  // The name shown in the list.
  virtual CString getProgramName() = 0;
  // Closes the program; false when it refused.
  virtual bool closeProcess() = 0;
};
