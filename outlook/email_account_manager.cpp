// The account stores (email_account_manager.h).
#include "outlook/email_account_manager.h"

#include <vector>

#include "app/file_util.h"
#include "app/log.h"
#include "app/registry.h"
#include "outlook/account_signature_prefs.h"
#include "outlook/account_v10.h"
#include "outlook/account_v9.h"
#include "outlook/outlook_install.h"

namespace {

constexpr const char16_t* kAccountsKeyName = u"Accounts";
constexpr const char16_t* kV9CounterValue = u"Account Name";
constexpr const char16_t* kV10CounterValue = u"NextAccountID";
constexpr const char16_t* kDefaultAccountValue = u"Default Mail Account";
constexpr const char16_t* kProfileAccountsKey = u"9375CFF0413111d3B88A00104B2A6676";
constexpr const char16_t* kLogListNotSet = u"{Outlook Account}: Failed to set new account list in registry.";

bool keyExists(const CString& path) {
  CRegistry key(path, false, false);
  return key.isOpen();
}

}  // namespace

int accountManagerKindFromVersionCode(int versionCode) {
  if (versionCode == 3) return kAccountStoreV9;
  if (versionCode == 4 || versionCode == 5) return kAccountStoreV10;
  return kAccountStoreNone;
}

int accountManagerKindFromVersionName(const CString& versionName) {
  if (versionName == u"2000") return kAccountStoreV9;
  if (versionName == u"2002" || versionName == u"2003") return kAccountStoreV10;
  return kAccountStoreNone;
}

CEMailAccountInRegistryManager::CEMailAccountInRegistryManager(const CString& root, COutlookSnapinLink* link)
    : m_root(root), m_link(link) {}

CString CEMailAccountInRegistryManager::rootKeyFor(const CString& profileName) {
  if (getOutlookVersion() < 4) return CString(kOmiAccountManagerKey);
  CString root;
  root.Format(u"%s\\%s\\%s", getOutlookProfilesRegkey(), profileName, CString(kProfileAccountsKey));
  return root;
}

DWORD CEMailAccountInRegistryManager::takeAccountId(LPCWSTR counterName) {
  CRegistry root(m_root, true, true);
  if (!root.isOpen()) return 0;
  DWORD id = 1;
  if (!root.getDword(counterName, id)) id = 1;
  // The counter is Outlook's own; an account another program added past it keeps its key.
  const CString accounts = getAccountsKey();
  for (DWORD tries = 0; id == 0 || keyExists(joinPath(accounts, accountIdText(id))); ++tries) {
    if (tries == 0xFFFF) return 0;
    ++id;
  }
  root.setDword(counterName, id + 1);
  return id;
}

bool CEMailAccountInRegistryManager::removeMailAccounts() {
  CRegistry accounts(getAccountsKey(), false, true);
  if (!accounts.isOpen()) return !keyExists(getAccountsKey());
  CStringList names;
  if (!accounts.getSubkeyNames(names, true)) return false;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    const CString path = names.GetNext(pos);
    std::unique_ptr<CEMailAccountInRegistry> account = createAccount();
    if (account && account->read(path) && account->getAccountKind() != kAccountKindNone) {
      CRegistry doomed{path};
      doomed.deleteKey();
    }
  }
  return true;
}

// ---- Outlook 2000 ----

CString COutlookAccountManagerV9::getAccountsKey() const { return joinPath(m_root, CString(kAccountsKeyName)); }

std::unique_ptr<CEMailAccountInRegistry> COutlookAccountManagerV9::createAccountCopy(
    const CEMailAccountPropertyMap& account) const {
  return linked(std::make_unique<COutlookAccountV9>(account));
}

std::unique_ptr<CEMailAccountInRegistry> COutlookAccountManagerV9::createAccount() const {
  return linked(std::make_unique<COutlookAccountV9>());
}

CString COutlookAccountManagerV9::createAccountKey(bool makeDefault) {
  const DWORD id = takeAccountId(kV9CounterValue);
  if (!id) return CString();
  const CString name = accountIdText(id);
  if (makeDefault) {
    CRegistry root{m_root};
    root.setString(kDefaultAccountValue, name, REG_SZ);
  }
  return joinPath(getAccountsKey(), name);
}

bool COutlookAccountManagerV9::removeMailAccounts() {
  if (!CEMailAccountInRegistryManager::removeMailAccounts()) return false;
  CRegistry root(m_root, true, true);
  DWORD next = 1;
  if (!root.getDword(kV9CounterValue, next)) next = 1;
  root.setString(kDefaultAccountValue, accountIdText(next), REG_SZ);
  return true;
}

// ---- Outlook 2002/2003 ----

std::unique_ptr<CEMailAccountInRegistry> COutlookAccountManagerV10::createAccountCopy(
    const CEMailAccountPropertyMap& account) const {
  return linked(std::make_unique<COutlookAccountV10>(account));
}

std::unique_ptr<CEMailAccountInRegistry> COutlookAccountManagerV10::createAccount() const {
  return linked(std::make_unique<COutlookAccountV10>());
}

CString COutlookAccountManagerV10::createAccountKey(bool makeDefault) {
  const DWORD id = takeAccountId(kV10CounterValue);
  if (!id) return CString();
  CRegistry root(m_root, false, true);
  DWORD size = 0;
  if (!root.getValueSize(kAccountListValue, size)) {
    const std::vector<BYTE> bytes = accountListBytes({id});
    if (!root.setBinary(kAccountListValue, bytes.data(), static_cast<DWORD>(bytes.size()))) writeLog(kLogListNotSet);
  } else if (size != 0 && size % 4 == 0) {
    std::vector<BYTE> old;
    std::vector<DWORD> ids;
    if (root.getBytes(kAccountListValue, old) && parseAccountList(old, ids)) {
      if (makeDefault) {
        ids.insert(ids.begin(), id);
      } else {
        ids.push_back(id);
      }
      const std::vector<BYTE> bytes = accountListBytes(ids);
      if (!root.setBinary(kAccountListValue, bytes.data(), static_cast<DWORD>(bytes.size()))) writeLog(kLogListNotSet);
    }
  }
  return joinPath(m_root, accountIdText(id));
}

bool COutlookAccountManagerV10::removeMailAccounts() {
  if (!CEMailAccountInRegistryManager::removeMailAccounts()) return false;
  CRegistry root(m_root, false, true);
  if (root.isOpen()) root.deleteValue(kAccountListValue);
  return true;
}

std::unique_ptr<CEMailAccountInRegistryManager> makeAccountManager(int kind, const CString& root,
                                                                   COutlookSnapinLink* link) {
  if (kind == kAccountStoreV9) return std::make_unique<COutlookAccountManagerV9>(root, link);
  if (kind == kAccountStoreV10) return std::make_unique<COutlookAccountManagerV10>(root, link);
  return nullptr;
}
