// The table-driven account record (email_account.h).
#include "outlook/email_account.h"

#include "app/registry.h"
#include "platform/base/format.h"

CEMailAccountInRegistry::CEMailAccountInRegistry(const CAccountValueNames& valueNames) : m_valueNames(valueNames) {}

CEMailAccountInRegistry::CEMailAccountInRegistry(const CAccountValueNames& valueNames,
                                                 const CEMailAccountPropertyMap& other)
    : CEMailAccountPropertyMap(other), m_valueNames(valueNames) {}

bool CEMailAccountInRegistry::read(const CString& accountKey) {
  CRegistry key(accountKey, false, false);
  if (!key.isOpen()) return false;
  for (const CAccountValueName& row : m_valueNames) {
    VARIANT value;
    VariantInit(&value);
    if (key.getVariant(row.name, row.registryType, getPropertyType(row.number), &value)) setProperty(row.number, value);
    VariantClear(&value);
  }
  return true;
}

bool CEMailAccountInRegistry::write(const CString& accountKey) {
  CRegistry key(accountKey, true, true);
  if (!key.isOpen()) return false;
  for (const CAccountValueName& row : m_valueNames) {
    auto it = values().find(row.number);
    const bool done = it != values().end() ? key.setVariant(row.name, row.registryType, it->second)
                                           : key.deleteValue(row.name);
    // The rows after a failed one are not written: the account is incomplete, and says so.
    if (!done) return false;
  }
  return true;
}

int CEMailAccountInRegistry::getAccountKind() const {
  if (!hasProperty(accountprop::kClassId)) return kAccountKindNone;
  const CString classId = getText(accountprop::kClassId);
  if (classId == kPop3AccountClassId) return kAccountKindPop3;
  if (classId == kImapAccountClassId) return kAccountKindImap;
  if (classId == kHttpAccountClassId) return kAccountKindHttp;
  return kAccountKindNone;
}

CString accountKeyName(const CString& accountKey) {
  const int slash = accountKey.ReverseFind(u'\\');
  return slash < 0 ? accountKey : accountKey.Mid(slash + 1);
}

CString parentKeyOf(const CString& path) {
  const int slash = path.ReverseFind(u'\\');
  return slash < 0 ? CString() : path.Left(slash);
}

CString accountIdText(DWORD id) {
  CString text;
  text.Format(u"%08x", id);
  return text;
}
