// CEMailAccountsCustomizer, the snap-in "Outlook Email Accounts": carries the user's Outlook
// Internet-mail accounts (POP3 and SMTP settings, signature choice) and the names of the user's
// Exchange server and mailbox. After every synchronization run it copies the host's account store
// of the carried MAPI profile into this computer's Outlook preferences on the drive, without any
// password; at login on another host it writes the stored accounts into that host's account
// store, converting between the Outlook 2000 and 2002/2003 layouts. On an Outlook 2000 host, whose
// accounts live outside the MAPI profiles, it backs the host's own accounts up and puts them back
// at logout as they were.
//
// It works through the Outlook snap-in ("Outlook", made before it) and does nothing without one.
#pragma once

#include <memory>
#include <vector>

#include "outlook/email_account.h"
#include "outlook/email_account_manager.h"
#include "snapins/customizer.h"

class CCustomizerDoc;
class COutlookSnapinLink;

// Its name in the document, which the Outlook snap-in looks it up by.
inline constexpr const char16_t* kEMailAccountsSnapinName = u"Outlook Email Accounts";

class CEMailAccountsCustomizer : public CCustomizer {
 public:
  // Looks up the Outlook snap-in in the document being built.
  CEMailAccountsCustomizer();
  ~CEMailAccountsCustomizer() override;

  bool personalize() override;
  bool backup() override;
  bool restore() override;
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  int getSourceState() override;

  // "exchangeServerName" and "exchangeMailboxName" stored for that computer; true only when both
  // are set.
  bool getExchangeNames(CSystemProfile* profile, CString& server, CString& mailbox);

  // The steps of a login, each usable on its own.
  // Builds the source store (the login computer's carried store) and the target store (the host's
  // store of the accounts profile). `built` is false when the login computer has no "Outlook
  // Version": there is nothing to carry and the stores are not touched.
  bool initAccountManagers(bool& built);
  // The source store's accounts, without passwords and with remembering passwords off.
  bool loadAccounts();
  // Keeps the POP3 accounts that the target Outlook can take, adds the placeholder account when
  // none is left, and gives them the SMTP settings of a donor account.
  bool prepareAccounts();
  bool writeAccounts();
  void clearAccounts() { m_accounts.clear(); }
  // Asks the user about accounts of the carried profile that leave mail on the server; true when
  // there is at least one.
  bool alertUserToLMOSAccounts();

  CEMailAccountInRegistryManager* getSourceStore() const { return m_sourceStore.get(); }
  CEMailAccountInRegistryManager* getTargetStore() const { return m_targetStore.get(); }
  const std::vector<std::unique_ptr<CEMailAccountInRegistry>>& accounts() const { return m_accounts; }

  // Store factories: kind 1 or 2 replaces the member; any other kind leaves it as it is.
  void createAccountManager(int kind, const CString& root);
  void createTargetAccountManager(int kind, const CString& root);

 private:
  bool outlookReady(bool forLogin);
  CString outlookLocalPrefsKey();
  bool backupOutlook2000Store();
  bool restoreOutlook2000Store();
  void storeExchangeNames();
  // Replaces the drive's copy at `carried` with the host's store at `host`, without passwords.
  // False when the host's store could not be copied whole; the drive's copy is then kept.
  bool carryHostStore(const CString& host, const CString& carried);
  bool carryOutlook2002Store(CSystemProfile* self, bool lmos);
  bool carryOutlook2000Store(CSystemProfile* self);
  bool getSourceProfileAccountNames(std::vector<CString>& names);
  bool pruneAccountsNotInSourceProfile(const CString& storeRoot, const std::vector<CString>& names);
  // The host's account (of the target layout) whose SMTP settings the carried accounts take.
  std::unique_ptr<CEMailAccountInRegistry> findHostSmtpDonor();

  CCustomizerDoc* m_document = nullptr;
  CCustomizer* m_outlookCustomizer = nullptr;
  COutlookSnapinLink* m_link = nullptr;
  std::unique_ptr<CEMailAccountInRegistryManager> m_sourceStore;
  std::unique_ptr<CEMailAccountInRegistryManager> m_targetStore;
  std::vector<std::unique_ptr<CEMailAccountInRegistry>> m_accounts;
  CString m_hostDefaultProfile;
};

// Deletes every password value of the account tree at `root` and turns remembering passwords
// off, so that a copy of a host's store carries none. False when a value could not be changed.
bool removeAccountPasswords(const CString& root);
