// CLogoutButtonClient: the logout button's callback (the customizer view): the user asked to log
// out; false when the request was declined.
#pragma once

class CLogoutButtonClient {
 public:
  virtual ~CLogoutButtonClient() = default;
  virtual bool onLogoutRequest() = 0;
};
