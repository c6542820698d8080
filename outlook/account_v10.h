// COutlookAccountV10: an account in the Outlook 2002/2003 layout (a subkey of the MAPI profile's
// account key "9375CFF0413111d3B88A00104B2A6676"). Texts are stored as binary UTF-16 values; the
// default account is the first id of the store's account list. An account that leaves its mail
// on the server needs the message-manager message of the store it is written into to name the
// profile, or Outlook downloads the mail again.
#pragma once

#include <vector>

#include "outlook/email_account.h"

// The store root's list of account ids, default account first (REG_BINARY of 32-bit ids).
inline constexpr const char16_t* kAccountListValue = u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}";

// The ids of a list value's bytes; false (and no ids) for an empty list or one whose size is not
// a multiple of 4.
bool parseAccountList(const std::vector<BYTE>& bytes, std::vector<DWORD>& ids);
std::vector<BYTE> accountListBytes(const std::vector<DWORD>& ids);
// The list of the store root; false when it is missing or unusable (as parseAccountList).
bool readAccountList(const CString& root, std::vector<DWORD>& ids);

class COutlookAccountV10 : public CEMailAccountInRegistry {
 public:
  COutlookAccountV10();
  explicit COutlookAccountV10(const CEMailAccountPropertyMap& other);

  bool write(const CString& accountKey) override { return writeSettings(accountKey); }
  // The message manager for an account that leaves mail on the server (message 549 when it
  // cannot be set up), the base write, then the default account moved to the front of the list.
  // Catches everything; false after any failure.
  bool writeSettings(const CString& accountKey);
  // The base read; the default mark from the store's list.
  bool read(const CString& accountKey) override;

  static const CAccountValueNames& initValueNames();

 private:
  bool personalizeMessageManager();
  bool moveToFrontOfList(const CString& accountKey);
};
