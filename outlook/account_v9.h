// COutlookAccountV9: an account in the Outlook 2000 layout ("OMI Account Manager\Accounts\<id>").
// Outlook 2000 keeps some settings in forms of its own: whether passwords are asked for instead
// of remembered, one "SMTP Use Sicily" number for the authentication settings, the class id only
// by which server is set, the signature in the MAPI profile and the default account in the store
// root. Reading turns them into the shared property numbers; writing turns them back, and adds
// the account's Internet mail service to the MAPI profile "Kipo".
#pragma once

#include "outlook/email_account.h"

class COutlookAccountV9 : public CEMailAccountInRegistry {
 public:
  COutlookAccountV9();
  explicit COutlookAccountV9(const CEMailAccountPropertyMap& other);

  // The base write, the profile's service for the account, then the derived values. False when
  // any of them failed.
  bool write(const CString& accountKey) override { return writeSettings(accountKey); }
  bool writeSettings(const CString& accountKey);
  // The base read, then the derived properties (prompts, class id, authentication, signature,
  // default).
  bool read(const CString& accountKey) override;

  static const CAccountValueNames& initValueNames();

 private:
  bool addProfileService();
};
