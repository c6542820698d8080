// CEMailAccountInRegistry: an Outlook Internet-mail account as it lives in a registry key, one
// key per account. Each Outlook layout (Outlook 2000: account_v9.h, Outlook 2002/2003:
// account_v10.h) has a table that names the registry value and type of each property number;
// reading and writing the key follow that table, and each layout adds the conversions its format
// needs. A record of one layout built from a record of the other is how accounts move between
// Outlook generations.
#pragma once

#include <vector>

#include "outlook/email_account_property_map.h"
#include "platform/afx/cstring.h"

class COutlookSnapinLink;

// One row of a layout's table: the registry type and the value name of a property number.
struct CAccountValueName {
  ULONG number;
  DWORD registryType;
  const char16_t* name;
};
using CAccountValueNames = std::vector<CAccountValueName>;

// The account kinds, from the class id (property 2).
inline constexpr int kAccountKindNone = 0;
inline constexpr int kAccountKindPop3 = 1;
inline constexpr int kAccountKindImap = 2;
inline constexpr int kAccountKindHttp = 3;
inline constexpr const char16_t* kPop3AccountClassId = u"{ED475411-B0D6-11D2-8C3B-00104B2A6676}";
inline constexpr const char16_t* kImapAccountClassId = u"{ED475412-B0D6-11D2-8C3B-00104B2A6676}";
inline constexpr const char16_t* kHttpAccountClassId = u"{4DB5CBF0-3B77-4852-BC8E-BB81908861F3}";

class CEMailAccountInRegistry : public CEMailAccountPropertyMap {
 public:
  explicit CEMailAccountInRegistry(const CAccountValueNames& valueNames);
  // A copy of another record's properties, read and written with this layout's table.
  CEMailAccountInRegistry(const CAccountValueNames& valueNames, const CEMailAccountPropertyMap& other);
  ~CEMailAccountInRegistry() override = default;

  // Writes every property of the table into the key (created when missing): present ones with
  // the row's type, absent ones deleted. False when the key cannot be written or a value fails;
  // the values after the one that failed are left as they were.
  virtual bool write(const CString& accountKey);
  // Reads every value of the table that the key holds. False when the key does not exist (a
  // read never creates a key); true also for a key without any of the values.
  virtual bool read(const CString& accountKey);

  // kAccountKindPop3, ...Imap, ...Http, or kAccountKindNone.
  int getAccountKind() const;

  const CAccountValueNames& valueNames() const { return m_valueNames; }
  // The Outlook snap-in the layout's extras go through (null: none of them runs).
  void setOutlookLink(COutlookSnapinLink* link) { m_link = link; }
  COutlookSnapinLink* getOutlookLink() const { return m_link; }

 protected:
  const CAccountValueNames& m_valueNames;
  COutlookSnapinLink* m_link = nullptr;
};

// The last component of a key path: an account key's name ("0000000a").
CString accountKeyName(const CString& accountKey);
// The key above: the store root of an account key.
CString parentKeyOf(const CString& path);
// "%08x" of an account id.
CString accountIdText(DWORD id);
