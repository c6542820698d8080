// The administrator logon's user name and password. The application keeps the pair that last
// logged on successfully in this run, so that the next administrator logon can try it silently.
#pragma once

#include "platform/afx/cstring.h"

class CUserCredentials {
 public:
  CUserCredentials() = default;
  CUserCredentials(const CString& user, const CString& pass) : userName(user), password(pass) {}
  CUserCredentials(const CUserCredentials&) = default;
  CUserCredentials& operator=(const CUserCredentials&) = default;

  CString userName;
  CString password;
};
