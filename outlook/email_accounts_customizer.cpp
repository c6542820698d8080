// The e-mail accounts snap-in (email_accounts_customizer.h).
#include "outlook/email_accounts_customizer.h"

#include <algorithm>

#include "app/app_messages.h"
#include "app/customizer_doc.h"
#include "app/document_host_services.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "outlook/account_outlook_link.h"
#include "outlook/account_signature_prefs.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_install.h"
#include "snapins/factory_context.h"
#include "ui/dont_ask_dialog.h"

namespace {

namespace p = accountprop;

constexpr const char16_t* kOutlookVersionValue = u"Outlook Version";
constexpr const char16_t* kCarriedV10Store = u"Accounts";
constexpr const char16_t* kCarriedV9Store = u"OMI Account Manager";
constexpr const char16_t* kSavedProfilesKey = u"Profiles";
constexpr const char16_t* kNoHostStoreValue = u"noHostAccountStore";
constexpr const char16_t* kStagedStoreKey = u"Staged account store";
constexpr const char16_t* kExchangeServerValue = u"exchangeServerName";
constexpr const char16_t* kExchangeMailboxValue = u"exchangeMailboxName";
constexpr const char16_t* kAccountNameValue = u"Account Name";
constexpr const char16_t* kLmosPreference = u"alertUserToLMOS";
constexpr const char16_t* kPostExecuteName = u"CEMailAccountsCustomizer::postExecuteSyncOps";
constexpr const char16_t* kAlertName = u"CEMailAccountsCustomizer::alertUserToLMOSAccounts";

constexpr const char16_t* kLogNoVersion = u"{EmailAccountsCustomizer}: Failed to get Outlook Version from %s registry.";
constexpr const char16_t* kLogBadVersion =
    u"{EmailAccountsCustomizer}: Failed to interpret Outlook Version from %s registry.";
constexpr const char16_t* kLogNoAccounts =
    u"{EmailAccountsCustomizer}: No POP/SMTP accounts are setup on source or target machines";
constexpr const char16_t* kLogExchangeEnabled = u"Exchange is enabled";
constexpr const char16_t* kLogExchangeDisabled = u"Exchange is NOT enabled";
constexpr const char16_t* kLogNoServerName =
    u"{Outlook Email Accounts Customizer}: Failed to get server name substring from distinguished name";
constexpr const char16_t* kLogNoMailboxName =
    u"{Outlook Email Accounts Customizer}: Failed to get mailbox name substring from distinguished name";
constexpr const char16_t* kLogMessageManager =
    u"{Outlook Email Accounts Customizer}: Failed to synchronize message manager";
constexpr const char16_t* kLogPruned =
    u"{EmailAccountsCustomizer}: Removing account from sync: %s because it is not associated with the source profile.";
constexpr const char16_t* kLogNotPruned =
    u"{EmailAccountsCustomizer}: Failed to remove account: %s from sync, even though it is not associated with "
    u"source profile.";

// The placeholder account a login without any carried POP3 account gets.
constexpr const char16_t* kPlaceholderName = u"Kipo";
constexpr const char16_t* kPlaceholderDisplay = u"Kipo Default Account";
constexpr const char16_t* kPlaceholderEmail = u"default_email_address";
constexpr const char16_t* kPlaceholderServer = u"default_email_server";
constexpr const char16_t* kPlaceholderUser = u"default_username";

bool keyExists(const CString& path) {
  CRegistry key(path, false, false);
  return key.isOpen();
}

// The text after the last "=" of a distinguished name; the whole name (and false) without one.
bool lastComponent(const CString& distinguishedName, CString& name) {
  const int at = distinguishedName.ReverseFind(u'=');
  name = at < 0 ? distinguishedName : distinguishedName.Mid(at + 1);
  return at >= 0;
}

bool endsWithNoCase(const CString& text, const char16_t* suffix) {
  const CString tail(suffix);
  return text.GetLength() >= tail.GetLength() && text.Right(tail.GetLength()).CompareNoCase(tail) == 0;
}

bool isOdd(const CEMailAccountInRegistry& account, ULONG number) {
  LONG value = 0;
  return account.readNumber(number, value) && (value & 1);
}

// What the names and the line breaks of a list of accounts add to a message.
CString withNames(const CString& text, const std::vector<CString>& names) {
  CString out = text;
  for (const CString& name : names) out += name + u"\n";
  return out;
}

}  // namespace

bool removeAccountPasswords(const CString& root) {
  CRegistry key(root, false, true);
  if (!key.isOpen()) return true;
  bool ok = true;
  CStringList values;
  key.getValueNames(values);
  for (POSITION pos = values.GetHeadPosition(); pos;) {
    const CString name = values.GetNext(pos);
    // "... Prompt for Password" is a setting, not a password: it is looked at first.
    if (endsWithNoCase(name, u" Prompt for Password")) {
      ok = key.setDword(name, 1) && ok;
    } else if (endsWithNoCase(name, u" Remember Passwd")) {
      ok = key.setDword(name, 0) && ok;
    } else if (endsWithNoCase(name, u" Password") || endsWithNoCase(name, u" Password2")) {
      ok = key.deleteValue(name) && ok;
    }
  }
  CStringList subkeys;
  key.getSubkeyNames(subkeys, true);
  for (POSITION pos = subkeys.GetHeadPosition(); pos;) ok = removeAccountPasswords(subkeys.GetNext(pos)) && ok;
  return ok;
}

CEMailAccountsCustomizer::CEMailAccountsCustomizer()
    : CCustomizer(CString(kEMailAccountsSnapinName)), m_document(factoryDocument()) {
  m_outlookCustomizer = findOutlookSnapin(m_document);
  m_link = outlookLinkOf(m_outlookCustomizer);
}

CEMailAccountsCustomizer::~CEMailAccountsCustomizer() { clearAccounts(); }

void CEMailAccountsCustomizer::createAccountManager(int kind, const CString& root) {
  if (kind != kAccountStoreV9 && kind != kAccountStoreV10) return;
  m_sourceStore = makeAccountManager(kind, root, m_link);
}

void CEMailAccountsCustomizer::createTargetAccountManager(int kind, const CString& root) {
  if (kind != kAccountStoreV9 && kind != kAccountStoreV10) return;
  m_targetStore = makeAccountManager(kind, root, m_link);
}

CString CEMailAccountsCustomizer::outlookLocalPrefsKey() {
  return m_outlookCustomizer ? m_outlookCustomizer->getLocalPrefsKey() : CString();
}

bool CEMailAccountsCustomizer::getExchangeNames(CSystemProfile* profile, CString& server, CString& mailbox) {
  if (!profile) return false;
  CRegistry key(getComputerPrefsKey(profile), false, false);
  key.getString(kExchangeServerValue, server);
  key.getString(kExchangeMailboxValue, mailbox);
  return !server.IsEmpty() && !mailbox.IsEmpty();
}

// ---- login ----

bool CEMailAccountsCustomizer::initAccountManagers(bool& built) {
  built = false;
  const CString key = outlookPrefsKeyFor(getProfileDatabase().getLoginProfile());
  CRegistry prefs(key, false, false);
  CString versionName;
  if (!prefs.getString(kOutlookVersionValue, versionName)) {
    writeLog(kLogNoVersion, CString(kProductName));
    return true;
  }
  const int kind = accountManagerKindFromVersionName(versionName);
  if (kind == kAccountStoreNone) {
    writeLog(kLogBadVersion, CString(kProductName));
    return false;
  }
  createAccountManager(kind, joinPath(key, CString(kind == kAccountStoreV10 ? kCarriedV10Store : kCarriedV9Store)));
  const CString profile = m_link ? m_link->getAccountsProfileName() : CString();
  createTargetAccountManager(accountManagerKindFromVersionCode(getOutlookVersion()),
                             CEMailAccountInRegistryManager::rootKeyFor(profile));
  built = m_sourceStore && m_targetStore;
  return true;
}

bool CEMailAccountsCustomizer::loadAccounts() {
  clearAccounts();
  if (!m_sourceStore) return false;
  const CString accountsKey = m_sourceStore->getAccountsKey();
  CRegistry accounts(accountsKey, false, false);
  // A store that does not exist holds no accounts; it is not made just to be read.
  if (!accounts.isOpen()) return !keyExists(accountsKey);
  CStringList names;
  if (!accounts.getSubkeyNames(names, true)) return false;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    std::unique_ptr<CEMailAccountInRegistry> account = m_sourceStore->createAccount();
    if (!account || !account->read(names.GetNext(pos))) continue;
    // Passwords are never carried, nor remembered on the host the accounts go to.
    account->removeProperty(p::kPop3Password);
    account->setNumber(p::kPop3RememberPassword, 0);
    account->removeProperty(p::kSmtpPassword);
    account->setNumber(p::kSmtpRememberPassword, 0);
    account->removeProperty(p::kHttpPassword);
    if (account->getAccountKind() != kAccountKindNone) m_accounts.push_back(std::move(account));
  }
  return true;
}

std::unique_ptr<CEMailAccountInRegistry> CEMailAccountsCustomizer::findHostSmtpDonor() {
  if (!m_targetStore) return nullptr;
  CString accountsKey;
  if (m_targetStore->getStoreKind() == kAccountStoreV10) {
    if (m_hostDefaultProfile.IsEmpty()) return nullptr;
    accountsKey = CEMailAccountInRegistryManager::rootKeyFor(m_hostDefaultProfile);
  } else {
    accountsKey = joinPath(CString(kOmiAccountManagerKey), CString(u"Accounts"));
  }
  CRegistry accounts(accountsKey, false, false);
  CStringList names;
  if (!accounts.isOpen() || !accounts.getSubkeyNames(names, true)) return nullptr;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    std::unique_ptr<CEMailAccountInRegistry> account = m_targetStore->createAccount();
    if (!account || !account->read(names.GetNext(pos))) continue;
    if (account->getAccountKind() != kAccountKindPop3 || !account->hasProperty(p::kSmtpServer)) continue;
    LONG useAuth = 0, method = 0;
    const bool hasAuth = account->readNumber(p::kSmtpUseAuth, useAuth);
    const bool hasMethod = account->readNumber(p::kSmtpAuthMethod, method);
    if (!hasAuth || useAuth == 0 || ((!hasMethod || method == 0) && account->hasProperty(p::kPop3Password)) ||
        (hasMethod && method != 0 && account->hasProperty(p::kSmtpPassword)))
      return account;
  }
  return nullptr;
}

bool CEMailAccountsCustomizer::prepareAccounts() {
  m_accounts.erase(std::remove_if(m_accounts.begin(), m_accounts.end(),
                                  [](const auto& a) { return a->getAccountKind() != kAccountKindPop3; }),
                   m_accounts.end());

  const bool bothV10 = m_sourceStore && m_targetStore && m_sourceStore->getStoreKind() == kAccountStoreV10 &&
                       m_targetStore->getStoreKind() == kAccountStoreV10;
  if (!bothV10) {
    std::vector<CString> dropped;
    for (auto it = m_accounts.begin(); it != m_accounts.end();) {
      if (isOdd(**it, p::kLeaveOnServer)) {
        dropped.push_back((*it)->getText(p::kAccountName));
        it = m_accounts.erase(it);
      } else {
        ++it;
      }
    }
    if (!dropped.empty()) showMessageText(withNames(loadResString(IDS_ACCOUNTS_LMOS_DROPPED), dropped));
  }

  if (m_accounts.empty()) {
    writeLog(kLogNoAccounts);
    const bool exchangeMode = m_link && m_link->isExchangeMode();
    if (!exchangeMode && m_sourceStore) {
      std::unique_ptr<CEMailAccountInRegistry> placeholder = m_sourceStore->createAccount();
      placeholder->setText(p::kClassId, CString(kPop3AccountClassId));
      placeholder->setText(p::kAccountName, CString(kPlaceholderName));
      placeholder->setText(p::kDisplayName, CString(kPlaceholderDisplay));
      placeholder->setText(p::kEmail, CString(kPlaceholderEmail));
      placeholder->setText(p::kPop3Server, CString(kPlaceholderServer));
      placeholder->setText(p::kPop3User, CString(kPlaceholderUser));
      m_accounts.push_back(std::move(placeholder));
    }
  }

  if (std::unique_ptr<CEMailAccountInRegistry> donor = findHostSmtpDonor()) {
    for (auto& account : m_accounts)
      if (account->getAccountKind() == kAccountKindPop3) account->copySmtpSettings(*donor);
    return true;
  }
  CEMailAccountInRegistry* donor = nullptr;
  for (auto& account : m_accounts)
    if (account->getAccountKind() == kAccountKindPop3 && account->getNumber(p::kSmtpUseAuth, 0) != 0) {
      donor = account.get();
      break;
    }
  if (donor)
    for (auto& account : m_accounts)
      if (account.get() != donor && account->getAccountKind() == kAccountKindPop3 &&
          account->getNumber(p::kSmtpUseAuth, 0) == 0)
        account->copySmtpSettings(*donor);
  return true;
}

bool CEMailAccountsCustomizer::writeAccounts() {
  if (!m_sourceStore || !m_targetStore) return false;
  const bool convert = m_sourceStore->getStoreKind() != m_targetStore->getStoreKind();
  bool ok = true;
  for (auto& account : m_accounts) {
    const CString key = m_targetStore->createAccountKey(false);
    if (!ok) continue;
    if (key.IsEmpty()) {
      ok = false;
    } else if (convert) {
      std::unique_ptr<CEMailAccountInRegistry> copy = m_targetStore->createAccountCopy(*account);
      ok = copy && copy->write(key);
    } else {
      ok = account->write(key);
    }
  }
  return ok;
}

bool CEMailAccountsCustomizer::outlookReady(bool forLogin) {
  if (!m_outlookCustomizer || !m_link) return false;
  if (!(forLogin ? m_link->isSupportedOutlookVersion() : isSupportedOutlookVersion())) return false;
  if (m_outlookCustomizer->getSourceState() < kSourceCarry) return false;
  if (forLogin && !m_outlookCustomizer->isPersonalized()) return false;
  return m_link->drivePstExists(getProfileDatabase().getLoginProfile());
}

bool CEMailAccountsCustomizer::personalize() {
  if (!outlookReady(true)) return true;
  setPersonalized(true);
  bool built = false;
  if (!initAccountManagers(built)) return false;
  // No Outlook version stored for the login computer: it never carried accounts.
  if (!built) return true;
  bool ok = loadAccounts() && prepareAccounts() && m_targetStore->removeMailAccounts() && writeAccounts();
  clearAccounts();
  return ok;
}

// ---- the host's own accounts (Outlook 2000) ----

bool CEMailAccountsCustomizer::backupOutlook2000Store() {
  const CString local = outlookLocalPrefsKey();
  const CString saved = joinPath(local, CString(kCarriedV9Store));
  CRegistry localKey(local, true, true);
  if (keyExists(CString(kOmiAccountManagerKey))) {
    if (!CRegistry::copyTree(CString(kOmiAccountManagerKey), saved)) return false;
    localKey.deleteValue(kNoHostStoreValue);
  } else {
    // The host has no account store: the saved copy stays empty and the restore removes the
    // store the login made.
    CRegistry empty(saved, true, true);
    if (!empty.isOpen() || !localKey.setBool(kNoHostStoreValue, true)) return false;
  }
  CRegistry preferences(CString(kOutlook2000PreferencesKey), false, false);
  if (preferences.valueExists(kAddSigToReplyNoteValue)) return preferences.copyValueTo(kAddSigToReplyNoteValue, local);
  return localKey.deleteValue(kAddSigToReplyNoteValue);
}

bool CEMailAccountsCustomizer::restoreOutlook2000Store() {
  const CString local = outlookLocalPrefsKey();
  if (local.IsEmpty()) return true;
  CRegistry localKey(local, false, false);
  bool noHostStore = false;
  localKey.getBool(kNoHostStoreValue, noHostStore);
  if (noHostStore) {
    CRegistry host{CString(kOmiAccountManagerKey)};
    if (keyExists(CString(kOmiAccountManagerKey)) && !host.deleteKey()) return false;
  } else if (!CRegistry::copyTree(joinPath(local, CString(kCarriedV9Store)), CString(kOmiAccountManagerKey))) {
    return false;
  }
  if (localKey.valueExists(kAddSigToReplyNoteValue))
    return localKey.copyValueTo(kAddSigToReplyNoteValue, CString(kOutlook2000PreferencesKey));
  CRegistry preferences(CString(kOutlook2000PreferencesKey), false, true);
  return !preferences.isOpen() || preferences.deleteValue(kAddSigToReplyNoteValue);
}

bool CEMailAccountsCustomizer::backup() {
  if (!outlookReady(false)) return true;
  if (getOutlookVersion() < 4 && !backupOutlook2000Store()) return false;
  m_hostDefaultProfile = readHostDefaultProfile();
  return CCustomizer::backup();
}

bool CEMailAccountsCustomizer::restore() {
  if (!isPersonalized()) return true;
  CCustomizer::restore();
  if (!isSupportedOutlookVersion() || accountManagerKindFromVersionCode(getOutlookVersion()) != kAccountStoreV9)
    return true;
  return restoreOutlook2000Store();
}

int CEMailAccountsCustomizer::getSourceState() {
  if (!isSupportedOutlookVersion()) return kSourceNothing;
  const CString local = outlookLocalPrefsKey();
  if (local.IsEmpty()) return kSourceNothing;
  const bool v10 = accountManagerKindFromVersionCode(getOutlookVersion()) == kAccountStoreV10;
  return keyExists(joinPath(local, CString(v10 ? kSavedProfilesKey : kCarriedV9Store))) ? kSourcePresent
                                                                                        : kSourceNothing;
}

// ---- after a synchronization run ----

bool CEMailAccountsCustomizer::alertUserToLMOSAccounts() {
  return mapilayer::guarded(kAlertName, false, [&] {
    const CString profile = m_link ? m_link->getSourceProfileName() : CString();
    const int kind = accountManagerKindFromVersionCode(getOutlookVersion());
    createAccountManager(kind, CEMailAccountInRegistryManager::rootKeyFor(profile));
    if (!loadAccounts()) return false;
    std::vector<CString> names;
    for (const auto& account : m_accounts)
      if (isOdd(*account, p::kLeaveOnServer)) names.push_back(account->getText(p::kAccountName));
    if (!names.empty()) {
      const UINT text = kind >= kAccountStoreV10 ? IDS_ACCOUNTS_LMOS_LOGIN_ONLY : IDS_ACCOUNTS_LMOS_OUTLOOK2000;
      askUnlessSuppressed(nullptr, withNames(loadResString(text), names), loadResString(IDS_DEV_ADMIN_WARNING_CHECK),
                          CString(kLmosPreference), false, 500, 250);
    }
    clearAccounts();
    return !names.empty();
  });
}

void CEMailAccountsCustomizer::storeExchangeNames() {
  CMapiUtil* util = m_link->getMapiUtil();
  if (!util || !util->isMsmapi32Installed()) return;
  CMapiUtil::Session session;
  m_link->getSourceMapiSession(session);
  const bool enabled = m_link->isExchangeEnabled();
  writeLog(enabled ? kLogExchangeEnabled : kLogExchangeDisabled);
  if (!enabled || !session || !util->isOneOfServiceExchange(session.get())) return;
  CString server, mailbox;
  if (!lastComponent(getExchangeServerDistinguishedName(session.get()), server)) writeLog(kLogNoServerName);
  if (!lastComponent(getExchangeMailboxDistinguishedName(session.get()), mailbox)) writeLog(kLogNoMailboxName);
  if (server.IsEmpty()) return;
  CRegistry prefs(getCurrentPrefsKey(), true, true);
  prefs.setString(kExchangeServerValue, server, REG_SZ);
  prefs.setString(kExchangeMailboxValue, mailbox, REG_SZ);
}

bool CEMailAccountsCustomizer::carryHostStore(const CString& host, const CString& carried) {
  // The copy is made and stripped of its passwords on the host side (the local key never goes to
  // the drive), and replaces the drive's copy only once whole: a host store that cannot be read
  // leaves the accounts of the last run on the drive.
  const CString staged = joinPath(getLocalPrefsKey(), CString(kStagedStoreKey));
  CRegistry leftover{staged};
  leftover.deleteKey();
  if (!keyExists(host)) {
    // A store that does not exist holds no accounts: none are carried.
    CRegistry old{carried};
    return !keyExists(carried) || old.deleteKey();
  }
  bool ok = CRegistry::copyTree(host, staged) && removeAccountPasswords(staged);
  if (ok && !CRegistry::copyTree(staged, carried)) {
    CRegistry partial{carried};
    partial.deleteKey();
    ok = false;
  }
  CRegistry done{staged};
  done.deleteKey();
  return ok;
}

bool CEMailAccountsCustomizer::carryOutlook2002Store(CSystemProfile* self, bool lmos) {
  const CString carried = joinPath(outlookPrefsKeyFor(self), CString(kCarriedV10Store));
  if (!carryHostStore(CEMailAccountInRegistryManager::rootKeyFor(m_link->getSourceProfileName()), carried)) {
    showMessageById(IDS_ACCOUNTS_NOT_COPIED);
    return false;
  }
  if (lmos) {
    CMapiUtil::Store source, target;
    m_link->openDefaultMessageStore(source);
    m_link->openSyncMessageStore(target);
    if (!source || !target || !m_link->synchronizeMessageManager(source.get(), target.get()))
      writeLog(kLogMessageManager);
  }
  return true;
}

bool CEMailAccountsCustomizer::getSourceProfileAccountNames(std::vector<CString>& names) {
  CMapiUtil* util = m_link->getMapiUtil();
  if (!util) return false;
  CMapiUtil::ProfAdmin admin;
  util->getMapiProfAdmin(admin);
  if (!admin) return false;
  return util->getImailMessageServiceList(admin.get(), m_link->getSourceProfileName(), names);
}

bool CEMailAccountsCustomizer::pruneAccountsNotInSourceProfile(const CString& storeRoot,
                                                               const std::vector<CString>& names) {
  CRegistry accounts(joinPath(storeRoot, CString(u"Accounts")), false, true);
  CStringList keys;
  if (!accounts.isOpen() || !accounts.getSubkeyNames(keys, true)) return false;
  bool ok = true;
  for (POSITION pos = keys.GetHeadPosition(); pos;) {
    CRegistry account(keys.GetNext(pos), false, true);
    CString name;
    if (!account.getString(kAccountNameValue, name)) continue;
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    if (account.deleteKey()) {
      writeLog(kLogPruned, name);
    } else {
      writeLog(kLogNotPruned, name);
      ok = false;
    }
  }
  return ok;
}

bool CEMailAccountsCustomizer::carryOutlook2000Store(CSystemProfile* self) {
  const CString prefs = outlookPrefsKeyFor(self);
  const CString carried = joinPath(prefs, CString(kCarriedV9Store));
  if (!carryHostStore(CString(kOmiAccountManagerKey), carried)) {
    showMessageById(IDS_ACCOUNTS_NOT_COPIED);
    return false;
  }
  const CString profile = m_link->getSourceProfileName();
  std::vector<CString> names;
  if (!profile.IsEmpty() && m_link->isMsmapiInstalled() && getSourceProfileAccountNames(names))
    pruneAccountsNotInSourceProfile(carried, names);
  CString signature;
  DWORD addToReplies = 0;
  readOutlook2000SignaturePrefs(profile, signature, addToReplies);
  CRegistry prefsKey(prefs, true, true);
  prefsKey.setString(kV9WhichSignatureValue, signature, REG_SZ);
  prefsKey.setDword(kV9AddSigToReplyNoteValue, addToReplies);
  return true;
}

bool CEMailAccountsCustomizer::postExecuteSyncOps(CSystemProfile*, int) {
  return mapilayer::guarded(kPostExecuteName, false, [&] {
    if (m_link ? !m_link->isSupportedOutlookVersion() : !isSupportedOutlookVersion()) return true;
    if (!m_link || !m_link->isSynchronizerReady()) return false;
    documentHostServices().postAppMessage(new CProgress(loadResString(IDS_ACCOUNTS_SYNC_PROGRESS), CString()));
    CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
    if (!self) return false;
    storeExchangeNames();
    const bool lmos = alertUserToLMOSAccounts();
    const int version = getOutlookVersion();
    if (version >= 4) return carryOutlook2002Store(self, lmos);
    if (version == 0) return false;
    return carryOutlook2000Store(self);
  });
}
