// Account stores: one registry tree that holds Outlook's Internet-mail accounts, one subkey per
// account, in the Outlook 2000 layout (COutlookAccountManagerV9: "OMI Account Manager" with its
// "Accounts" key) or the Outlook 2002/2003 layout (COutlookAccountManagerV10: the MAPI profile's
// account key). The same classes serve for the host's live store and for the copy kept under a
// computer's device preferences. A store hands out records of its own layout, allocates account
// ids, keeps the default-account marker and removes all mail accounts at once. It keeps nothing
// but its root path: every operation opens the registry again.
#pragma once

#include <memory>

#include "outlook/email_account.h"
#include "platform/afx/cstring.h"

class COutlookSnapinLink;

// Store kinds.
inline constexpr int kAccountStoreNone = 0;
inline constexpr int kAccountStoreV9 = 1;   // Outlook 2000
inline constexpr int kAccountStoreV10 = 2;  // Outlook 2002, 2003

// Outlook version code (outlook_install.h) to store kind: 3 -> 1; 4, 5 -> 2; else 0.
int accountManagerKindFromVersionCode(int versionCode);
// Stored version name ("2000", "2002", "2003") to store kind; anything else 0.
int accountManagerKindFromVersionName(const CString& versionName);

class CEMailAccountInRegistryManager {
 public:
  explicit CEMailAccountInRegistryManager(const CString& root, COutlookSnapinLink* link = nullptr);
  virtual ~CEMailAccountInRegistryManager() = default;
  CEMailAccountInRegistryManager(const CEMailAccountInRegistryManager&) = delete;
  CEMailAccountInRegistryManager& operator=(const CEMailAccountInRegistryManager&) = delete;

  virtual int getStoreKind() const = 0;
  // The key whose subkeys are the accounts.
  virtual CString getAccountsKey() const { return m_root; }
  // A record of this layout holding a copy of the account's properties.
  virtual std::unique_ptr<CEMailAccountInRegistry> createAccountCopy(const CEMailAccountPropertyMap& account) const = 0;
  virtual std::unique_ptr<CEMailAccountInRegistry> createAccount() const = 0;
  // Allocates the next account id and returns its key path (the key itself is made by the
  // record's write); empty when the root cannot be written. An id whose key exists already is
  // passed over, so a new account never lands on an old one.
  virtual CString createAccountKey(bool makeDefault) = 0;
  // Deletes every POP3, IMAP and HTTP account key; other keys (directory services) stay. A store
  // without an accounts key has none to remove (true, and nothing is created).
  virtual bool removeMailAccounts();

  // The host's store root for the installed Outlook: Outlook 2000's fixed key, else the account
  // key of the MAPI profile. Nothing is opened.
  static CString rootKeyFor(const CString& profileName);

  const CString& getRoot() const { return m_root; }
  COutlookSnapinLink* getOutlookLink() const { return m_link; }

 protected:
  // The next free id from the counter value `counterName` of the root (1 when missing); the
  // counter is advanced past it. 0 when the root cannot be written.
  DWORD takeAccountId(LPCWSTR counterName);
  template <class Record>
  std::unique_ptr<CEMailAccountInRegistry> linked(std::unique_ptr<Record> record) const {
    record->setOutlookLink(m_link);
    return record;
  }

  CString m_root;
  COutlookSnapinLink* m_link;
};

class COutlookAccountManagerV9 : public CEMailAccountInRegistryManager {
 public:
  using CEMailAccountInRegistryManager::CEMailAccountInRegistryManager;
  int getStoreKind() const override { return kAccountStoreV9; }
  CString getAccountsKey() const override;
  std::unique_ptr<CEMailAccountInRegistry> createAccountCopy(const CEMailAccountPropertyMap& account) const override;
  std::unique_ptr<CEMailAccountInRegistry> createAccount() const override;
  CString createAccountKey(bool makeDefault) override;
  // Then points "Default Mail Account" at the id the next account will get.
  bool removeMailAccounts() override;
};

class COutlookAccountManagerV10 : public CEMailAccountInRegistryManager {
 public:
  using CEMailAccountInRegistryManager::CEMailAccountInRegistryManager;
  int getStoreKind() const override { return kAccountStoreV10; }
  std::unique_ptr<CEMailAccountInRegistry> createAccountCopy(const CEMailAccountPropertyMap& account) const override;
  std::unique_ptr<CEMailAccountInRegistry> createAccount() const override;
  // Also enters the id in the account list: first with makeDefault, else last. A list that is
  // empty or not a multiple of 4 bytes is left alone.
  CString createAccountKey(bool makeDefault) override;
  // Then deletes the account list.
  bool removeMailAccounts() override;
};

// A store of that kind over `root`, or null for any other kind.
std::unique_ptr<CEMailAccountInRegistryManager> makeAccountManager(int kind, const CString& root,
                                                                   COutlookSnapinLink* link = nullptr);
