// The Outlook 2002/2003 account record (account_v10.h).
#include "outlook/account_v10.h"

#include "app/messages.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "outlook/account_outlook_link.h"
#include "outlook/mapi_internal.h"

namespace {

namespace p = accountprop;

constexpr const char16_t* kPersonalizeProfile = u"Kipo";
constexpr const char16_t* kWriteSettingsName = u"COutlookAccountV10::writeSettings";

const CAccountValueNames& table() {
  static const CAccountValueNames names = {
      {0, REG_BINARY, u"Account Name"},
      {1, REG_BINARY, u"Display Name"},
      {2, REG_SZ, u"clsid"},
      {3, REG_BINARY, u"Email"},
      {4, REG_BINARY, u"Reply Email"},
      {5, REG_BINARY, u"Organization"},
      {6, REG_DWORD, u"Timeout"},
      {7, REG_DWORD, u"Leave on Server"},
      {8, REG_BINARY, u"POP3 User"},
      {9, REG_BINARY, u"POP3 Password"},
      {10, REG_DWORD, u"POP3 Remember Passwd"},
      {11, REG_BINARY, u"POP3 Server"},
      {12, REG_DWORD, u"POP3 Port"},
      {13, REG_DWORD, u"POP3 Use SPA"},
      {14, REG_DWORD, u"POP3 Use SSL"},
      {15, REG_DWORD, u"Mini UID"},
      {16, REG_BINARY, u"SMTP User"},
      {17, REG_BINARY, u"SMTP Password"},
      {18, REG_DWORD, u"SMTP Remember Passwd"},
      {19, REG_BINARY, u"SMTP Server"},
      {20, REG_DWORD, u"SMTP Port"},
      {21, REG_DWORD, u"SMTP Use Auth"},
      {22, REG_DWORD, u"SMTP Auth Method"},
      {23, REG_DWORD, u"SMTP Use SPA"},
      {24, REG_DWORD, u"SMTP Use SSL"},
      {25, REG_BINARY, u"IMAP User"},
      {28, REG_BINARY, u"IMAP Server"},
      {29, REG_DWORD, u"IMAP Port"},
      {30, REG_BINARY, u"IMAP Folder Path"},
      {31, REG_DWORD, u"IMAP Use SPA"},
      {32, REG_DWORD, u"IMAP Use SSL"},
      {33, REG_BINARY, u"HTTP User"},
      {34, REG_BINARY, u"HTTP Password"},
      {35, REG_BINARY, u"HTTP Server URL"},
      {36, REG_DWORD, u"HTTP Use SPA"},
      {37, REG_BINARY, u"New Signature"},
      {38, REG_BINARY, u"Reply-Forward Signature"},
      {39, REG_DWORD, u"Is Default Account"},
  };
  return names;
}

}  // namespace

bool parseAccountList(const std::vector<BYTE>& bytes, std::vector<DWORD>& ids) {
  ids.clear();
  if (bytes.empty() || bytes.size() % 4) return false;
  for (std::size_t at = 0; at < bytes.size(); at += 4)
    ids.push_back(static_cast<DWORD>(bytes[at]) | static_cast<DWORD>(bytes[at + 1]) << 8 |
                  static_cast<DWORD>(bytes[at + 2]) << 16 | static_cast<DWORD>(bytes[at + 3]) << 24);
  return true;
}

std::vector<BYTE> accountListBytes(const std::vector<DWORD>& ids) {
  std::vector<BYTE> bytes;
  for (DWORD id : ids)
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(id >> shift));
  return bytes;
}

bool readAccountList(const CString& root, std::vector<DWORD>& ids) {
  ids.clear();
  CRegistry key(root, false, false);
  DWORD type = 0;
  std::vector<BYTE> bytes;
  if (!key.getValueType(kAccountListValue, type) || type != REG_BINARY || !key.getBytes(kAccountListValue, bytes))
    return false;
  return parseAccountList(bytes, ids);
}

const CAccountValueNames& COutlookAccountV10::initValueNames() { return table(); }

COutlookAccountV10::COutlookAccountV10() : CEMailAccountInRegistry(table()) {}

COutlookAccountV10::COutlookAccountV10(const CEMailAccountPropertyMap& other)
    : CEMailAccountInRegistry(table(), other) {}

bool COutlookAccountV10::read(const CString& accountKey) {
  if (!CEMailAccountInRegistry::read(accountKey)) return false;
  std::vector<DWORD> ids;
  if (readAccountList(parentKeyOf(accountKey), ids))
    setNumber(p::kIsDefault, accountIdText(ids.front()) == accountKeyName(accountKey) ? 1 : 0);
  return true;
}

bool COutlookAccountV10::personalizeMessageManager() {
  if (!m_link) return false;
  CMapiUtil::Store store;
  m_link->openPersonalizeMessageStore(store);
  return store && m_link->personalizeMessageManager(store.get(), CString(kPersonalizeProfile));
}

bool COutlookAccountV10::moveToFrontOfList(const CString& accountKey) {
  const CString root = parentKeyOf(accountKey);
  std::vector<DWORD> ids;
  if (!readAccountList(root, ids)) return true;
  bool found = false;
  for (std::size_t i = 0; i < ids.size(); ++i)
    if (accountIdText(ids[i]) == accountKeyName(accountKey)) {
      const DWORD id = ids[i];
      ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(i));
      ids.insert(ids.begin(), id);
      found = true;
      break;
    }
  const std::vector<BYTE> bytes = accountListBytes(ids);
  CRegistry key{root};
  const bool written = key.setBinary(kAccountListValue, bytes.data(), static_cast<DWORD>(bytes.size()));
  return found && written;
}

bool COutlookAccountV10::writeSettings(const CString& accountKey) {
  return mapilayer::guarded(kWriteSettingsName, false, [&] {
    LONG leave = 0;
    if (readNumber(p::kLeaveOnServer, leave) && (leave & 1) && !personalizeMessageManager()) {
      showMessageById(IDS_ACCOUNTS_LMOS_NOT_PERSONALIZED, getText(p::kAccountName));
      return false;
    }
    if (!CEMailAccountInRegistry::write(accountKey)) return false;
    if (getNumber(p::kIsDefault, 0) == 1) return moveToFrontOfList(accountKey);
    return true;
  });
}
