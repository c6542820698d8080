// The administrator operation of opening the drive's protected area: the secure-drive layer keeps
// one in its logon object's list. Its work is done by the device library once the impersonation
// is in force, so running it only keeps the rights.
#pragma once

#include "app/admin_user_operation.h"

class CTrekAdminOperation : public CAdminUserOperation {
 public:
  // True when the current user is not a member of the Administrators group.
  bool needsAdminRights() override;
  bool keepsAdminRights() override { return true; }
  bool execute() override { return true; }
  CString getTitle() override;
  CString getDescription() override;
};
