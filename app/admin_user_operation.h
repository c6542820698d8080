// An operation that needs an administrator: the document keeps a list of them and shows the
// administrator logon dialog after building the snap-ins when one is needed and the user is not
// an administrator; the secure-drive layer keeps one for opening the drive's protected area.
#pragma once

#include "platform/afx/cstring.h"

class CAdminUserOperation {
 public:
  virtual ~CAdminUserOperation() = default;
  // The operation must run under an administrator's logon on this host.
  virtual bool needsAdminRights() = 0;
  // The impersonation must stay in force after the logon dialog has run the operation.
  virtual bool keepsAdminRights() = 0;
  // Runs the operation (under the administrator when it needs one); true on success.
  virtual bool execute() = 0;
  // The line the logon dialog lists, and the text of its "more information".
  virtual CString getTitle() = 0;
  virtual CString getDescription() = 0;
};
