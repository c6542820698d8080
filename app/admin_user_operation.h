// An operation that needs an administrator: the document keeps a list of them and shows the
// administrator logon dialog after building the snap-ins when one is needed and the user is not
// an administrator.
#pragma once

class CAdminUserOperation {
 public:
  virtual ~CAdminUserOperation() = default;
  // The operation must run under an administrator's logon on this host.
  virtual bool isNeeded() = 0;
};
